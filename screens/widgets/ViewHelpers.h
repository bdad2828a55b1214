#pragma once

#include <QAbstractButton>
#include <QButtonGroup>
#include <QHeaderView>
#include <QList>
#include <QTableView>
#include <QTreeView>
#include <QTreeWidget>
#include <QWidget>

#include <climits>
#include <functional>

namespace velmorant {

// Ends a screen: a dialog shown modally gets modal result 1 (confirmed) or 2 and leaves its
// modal loop; any other top-level window gets a close request posted to it; a widget that is
// not a window (or nullptr) is left alone.
void CloseDialog(QWidget* form, bool confirmed);

// Sets column `column` of a report-style view to the rest of the view's width: the width
// inside the frame, less every other column, less a vertical scroll bar and 2 pixels, never
// less than `minimumWidth`. Out-of-range columns are ignored.
void FitLastColumn(QTableView* view, int column, int minimumWidth);
void FitLastColumn(QTreeView* view, int column, int minimumWidth);

// The width of the handheld's screen that the screens' column widths were made for.
inline constexpr int kHandheldScreenWidth = 240;

// Lets column `column` of a report-style view take the room of a window wider than the
// handheld's screen. `handheldWidth` is the column's width on the handheld: a window up to
// kHandheldScreenWidth wide keeps exactly that; a wider one gives the column its extra width,
// as far as the view has room for it (the rest of the width by the rule of FitLastColumn),
// and never less than `handheldWidth`. Refitted whenever the view is resized or shown, a
// column is added or removed, or another column changes its width; the rule stays with the
// view (a child object) for its whole life.
//
// `droppable` columns (left to right; a number the view does not have yet counts once it is
// added) are shown only while they fit whole beside the others with this column at
// `handheldWidth`: the first that does not fit is hidden with every droppable column after
// it, rather than cut to a misleading fragment ("5" of 527.86), and they come back once the
// view is wide enough again.
void StretchColumn(QTableView* view, int column, int minimumWidth,
                   const QList<int>& droppable = {});
void StretchColumn(QTreeView* view, int column, int minimumWidth, const QList<int>& droppable = {});

// Names in `column` of `view` are drawn by a TwoLineDelegate: one that does not fit the
// column wraps onto a second line, its row two lines high, and its tooltip is the whole name.
// A tree then has rows of their own heights, laid out again when the column's width changes.
// A table (call it after the table has its model) fits only the rows that can be seen, when
// they scroll, the view or a column is resized or the rows change: a list of many thousands
// costs no more than a short one; other rows keep their default height.
void WrapNames(QTreeView* view, int column);
void WrapNames(QTableView* view, int column);

// Tab (or Shift+Tab, or the first focus of a window that opens) into an exclusive group of
// buttons lands on the checked one, as on the handheld, instead of on the group's first
// button (where Space would change the choice).
// The arrow keys move within the group as before.
void TabToCheckedButton(QButtonGroup* group);

// Enter (Return or the keypad's Enter) on `button` while it has the focus clicks it, as Space
// does; without this a button outside a dialog ignores Enter, or the screen's default command
// takes it.
void ClickOnEnter(QAbstractButton* button);

// Runs `action` once `window` is the active window (at once when it is), so that what it
// asks is asked over that window; when the window system has not activated it within
// `waitMs` (a platform without a window manager), or it is gone, `action` runs anyway.
void WhenActive(QWidget* window, std::function<void()> action, int waitMs = 1000);

// The height of one tree row in pixels: with more than one node, the distance between the
// bottoms of the first visible row and the row after it; otherwise the first row's height
// plus 4 (4 for an empty tree).
int TreeRowHeight(QTreeView* tree);

// Expands (or collapses) every node of the tree, depth first, children before the next
// sibling; returns how many nodes were visited. With `maxDepth`, only the nodes of the first
// `maxDepth` levels are expanded (top-level nodes are level 0) and only the nodes that can
// then be seen, those of levels 0 to `maxDepth`, are visited: Qt lays out expanded rows
// recursively, one call per level, so an unbounded chain must not be expanded whole.
int ExpandOrCollapseAll(QTreeView* tree, bool expand, int maxDepth = INT_MAX);

// Makes a tree plain: no expand buttons and no connecting lines on any level (Qt's own
// setRootIsDecorated(false) drops them for the top level only).
void HideTreeBranches(QTreeView* tree);

// Removes and deletes every item of the tree, leaves first. Qt deletes an item's children
// recursively, which a deep enough folder chain turns into a stack overflow; call this
// instead of clear() and before the tree is destroyed whenever the depth is not bounded.
void DeleteTreeItems(QTreeWidget* tree);

}  // namespace velmorant
