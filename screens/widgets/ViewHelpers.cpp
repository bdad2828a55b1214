#include "screens/widgets/ViewHelpers.h"

#include <QAbstractButton>
#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "screens/widgets/Dialog.h"
#include "screens/widgets/TwoLineDelegate.h"

namespace velmorant {

void CloseDialog(QWidget* form, bool confirmed) {
    if (!form || !form->isWindow()) return;
    auto* dialog = qobject_cast<QDialog*>(form);
    if (dialog && dialog->isModal() && dialog->isVisible()) {
        dialog->done(confirmed ? Dialog::Confirmed : Dialog::Cancelled);
        return;
    }
    QMetaObject::invokeMethod(form, &QWidget::close, Qt::QueuedConnection);
}

namespace {
// The width the columns of a view have: its width inside the frame, less a vertical scroll
// bar and 2 pixels.
int roomForColumns(QAbstractScrollArea* view) {
    const int clientWidth = view->width() - 2 * view->frameWidth();
    const int scrollBar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    return clientWidth - scrollBar - 2;
}

// The width that FitLastColumn gives `column`: the room for the columns less every other one.
int restOfWidth(QAbstractScrollArea* view, QHeaderView* header, int column) {
    int others = 0;
    for (int i = 0; i < header->count(); ++i) {
        if (i != column && !header->isSectionHidden(i)) others += header->sectionSize(i);
    }
    return roomForColumns(view) - others;
}

void fitColumn(QAbstractScrollArea* view, QHeaderView* header, int column, int minimumWidth) {
    if (!view || !header || column < 0 || column >= header->count()) return;
    header->resizeSection(column, std::max(minimumWidth, restOfWidth(view, header, column)));
}

// See StretchColumn: the rest of the width, but no more than the handheld's width plus
// what the window has beyond the handheld's screen.
void stretchColumn(QAbstractScrollArea* view, QHeaderView* header, int column, int handheldWidth) {
    if (!view || !header || column < 0 || column >= header->count()) return;
    const int extra = std::max(0, view->window()->width() - kHandheldScreenWidth);
    const int width = std::min(restOfWidth(view, header, column), handheldWidth + extra);
    header->resizeSection(column, std::max(handheldWidth, width));
}

// Refits one column of a view and shows the droppable columns that fit; see StretchColumn.
class ColumnStretcher : public QObject {
public:
    ColumnStretcher(QAbstractScrollArea* view, QHeaderView* header, int column, int minimumWidth,
                    const QList<int>& droppable)
        : QObject(view),
          m_view(view),
          m_header(header),
          m_column(column),
          m_minimum(minimumWidth),
          m_droppable(droppable) {
        view->installEventFilter(this);
        connect(header, &QHeaderView::sectionCountChanged, this, [this] { fit(); });
        connect(header, &QHeaderView::sectionResized, this, [this](int logical) {
            if (logical != m_column) fit();
        });
        fit();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_view && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
            fit();
        return QObject::eventFilter(watched, event);
    }

private:
    void fit() {
        if (m_fitting) return;
        m_fitting = true;
        dropColumns();
        stretchColumn(m_view, m_header, m_column, m_minimum);
        m_fitting = false;
    }

    // Shows the droppable columns, left to right, while each fits whole beside the others
    // with the stretched column at its least width; hides the first that does not and every
    // one after it.
    void dropColumns() {
        if (m_droppable.isEmpty()) return;
        int used = m_minimum;
        for (int i = 0; i < m_header->count(); ++i) {
            if (i != m_column && !m_droppable.contains(i) && !m_header->isSectionHidden(i))
                used += m_header->sectionSize(i);
        }
        const int room = roomForColumns(m_view);
        bool fits = true;
        for (int c : m_droppable) {
            if (c < 0 || c >= m_header->count() || c == m_column) continue;
            const int width =
                m_header->isSectionHidden(c) ? hiddenWidth(c) : m_header->sectionSize(c);
            fits = fits && used + width <= room;
            if (fits) used += width;
            if (m_header->isSectionHidden(c) == fits) m_header->setSectionHidden(c, !fits);
        }
    }

    // The width a hidden section will have when shown (Qt gives a hidden one none): shown and
    // hidden again unheard by the view, which then has nothing to redo.
    int hiddenWidth(int section) {
        const QSignalBlocker quiet(m_header);
        m_header->setSectionHidden(section, false);
        const int width = m_header->sectionSize(section);
        m_header->setSectionHidden(section, true);
        return width;
    }

    QAbstractScrollArea* m_view;
    QHeaderView* m_header;
    int m_column;
    int m_minimum;
    QList<int> m_droppable;
    bool m_fitting = false;
};

// Lays a tree's rows out again (their heights) once a column's width has changed.
class RowsRelayout : public QObject {
public:
    RowsRelayout(QTreeView* view, int column) : QObject(view), m_view(view) {
        connect(view->header(), &QHeaderView::sectionResized, this,
                [this, column](int logical, int oldSize, int newSize) {
                    if (logical != column || oldSize == newSize || m_pending) return;
                    m_pending = true;
                    QMetaObject::invokeMethod(
                        this,
                        [this] {
                            m_pending = false;
                            m_view->doItemsLayout();
                        },
                        Qt::QueuedConnection);
                });
    }

private:
    QTreeView* m_view;
    bool m_pending = false;
};

// Fits the heights of a table's rows on the screen; see WrapNames.
class VisibleRowsFitter : public QObject {
public:
    VisibleRowsFitter(QTableView* view, int column, TwoLineDelegate* delegate)
        : QObject(view), m_view(view), m_column(column), m_delegate(delegate) {
        view->viewport()->installEventFilter(this);
        connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { later(); });
        connect(view->horizontalHeader(), &QHeaderView::sectionResized, this, [this] { later(); });
        if (QAbstractItemModel* model = view->model()) {
            connect(model, &QAbstractItemModel::modelReset, this, [this] { later(); });
            connect(model, &QAbstractItemModel::layoutChanged, this, [this] { later(); });
            connect(model, &QAbstractItemModel::rowsInserted, this, [this] { later(); });
            connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { later(); });
            connect(model, &QAbstractItemModel::dataChanged, this, [this] { later(); });
        }
        later();
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Show) later();
        return QObject::eventFilter(watched, event);
    }

private:
    // Once the view has laid out what changed (several changes, one fitting).
    void later() {
        if (m_pending) return;
        m_pending = true;
        QMetaObject::invokeMethod(
            this, [this] { fit(); }, Qt::QueuedConnection);
    }

    void fit() {
        m_pending = false;
        const QAbstractItemModel* model = m_view->model();
        if (!model || m_view->isColumnHidden(m_column)) return;
        QHeaderView* rows = m_view->verticalHeader();
        const int least = rows->defaultSectionSize();
        QStyleOptionViewItem option;
        option.initFrom(m_view);
        option.widget = m_view;
        option.font = m_view->font();
        option.decorationSize = m_view->iconSize();
        option.rect = QRect(0, 0, m_view->columnWidth(m_column), least);
        const int grid = m_view->showGrid() ? 1 : 0;
        // Rows that grow push others off the screen, and rows that shrink bring more on.
        for (int pass = 0; pass < 4; ++pass) {
            const int first = m_view->rowAt(0);
            if (first < 0) return;
            int last = m_view->rowAt(m_view->viewport()->height() - 1);
            if (last < 0) last = model->rowCount() - 1;
            bool changed = false;
            for (int r = first; r <= last; ++r) {
                if (rows->isSectionHidden(r)) continue;
                const QModelIndex cell = model->index(r, m_column);
                int height = least;
                if (m_delegate->lineCount(option, cell) > 1)
                    height = std::max(least, m_delegate->sizeHint(option, cell).height() + grid);
                if (rows->sectionSize(r) != height) {
                    rows->resizeSection(r, height);
                    changed = true;
                }
            }
            if (!changed) break;
        }
    }

    QTableView* m_view;
    int m_column;
    TwoLineDelegate* m_delegate;
    bool m_pending = false;
};

}  // namespace

// Moves a Tab's focus from any button of an exclusive group to its checked button.
class CheckedButtonFocus : public QObject {
public:
    explicit CheckedButtonFocus(QButtonGroup* group) : QObject(group), m_group(group) {
        for (QAbstractButton* b : group->buttons()) b->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            QAbstractButton* checked = m_group->checkedButton();
            // Tab, Shift+Tab, and the first focus of a window that opens.
            const bool keyboard = reason == Qt::TabFocusReason ||
                                  reason == Qt::BacktabFocusReason ||
                                  reason == Qt::ActiveWindowFocusReason;
            if (keyboard && checked && checked != watched && checked->isEnabled() &&
                checked->isVisibleTo(checked->window())) {
                checked->setFocus(reason);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QButtonGroup* m_group;
};

void TabToCheckedButton(QButtonGroup* group) {
    if (group && group->exclusive()) new CheckedButtonFocus(group);
}

namespace {
// Clicks its button on Enter; see ClickOnEnter.
class EnterClicks : public QObject {
public:
    explicit EnterClicks(QAbstractButton* button) : QObject(button), m_button(button) {
        button->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_button && event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
            if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
                if (m_button->isEnabled()) m_button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QAbstractButton* m_button;
};
}  // namespace

namespace {
// Runs its action once, on the window's activation or when its time is up; see WhenActive.
class ActivationWait : public QObject {
public:
    ActivationWait(QWidget* window, std::function<void()> action, int waitMs)
        : m_action(std::move(action)) {
        window->installEventFilter(this);
        connect(window, &QObject::destroyed, this, &ActivationWait::run);
        QTimer::singleShot(waitMs, this, &ActivationWait::run);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        // Queued: the activation ends first, and the focus is in the window.
        if (event->type() == QEvent::WindowActivate)
            QMetaObject::invokeMethod(this, &ActivationWait::run, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

private:
    void run() {
        if (m_done) return;
        m_done = true;
        deleteLater();
        if (m_action) m_action();
    }

    std::function<void()> m_action;
    bool m_done = false;
};
}  // namespace

void WhenActive(QWidget* window, std::function<void()> action, int waitMs) {
    if (!window || window->isActiveWindow()) {
        if (action) action();
        return;
    }
    new ActivationWait(window, std::move(action), waitMs);
}

void ClickOnEnter(QAbstractButton* button) {
    if (button) new EnterClicks(button);
}

void StretchColumn(QTableView* view, int column, int minimumWidth, const QList<int>& droppable) {
    if (view) new ColumnStretcher(view, view->horizontalHeader(), column, minimumWidth, droppable);
}

void StretchColumn(QTreeView* view, int column, int minimumWidth, const QList<int>& droppable) {
    if (view) new ColumnStretcher(view, view->header(), column, minimumWidth, droppable);
}

void WrapNames(QTableView* view, int column) {
    if (!view) return;
    auto* delegate = new TwoLineDelegate(view);
    view->setItemDelegateForColumn(column, delegate);
    new VisibleRowsFitter(view, column, delegate);
}

void WrapNames(QTreeView* view, int column) {
    if (!view) return;
    view->setItemDelegateForColumn(column, new TwoLineDelegate(view));
    view->setUniformRowHeights(false);
    // Scrolled by rows, a tree measures only the rows it shows; by pixels it would measure
    // every row above the one it scrolls to (half a second for 20 000 clients).
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    new RowsRelayout(view, column);
}

void FitLastColumn(QTableView* view, int column, int minimumWidth) {
    if (view) fitColumn(view, view->horizontalHeader(), column, minimumWidth);
}

void FitLastColumn(QTreeView* view, int column, int minimumWidth) {
    if (view) fitColumn(view, view->header(), column, minimumWidth);
}

namespace {
int countNodes(const QAbstractItemModel* model, const QModelIndex& parent, int limit) {
    int n = 0;
    for (int r = 0; r < model->rowCount(parent) && n < limit; ++r) {
        ++n;
        n += countNodes(model, model->index(r, 0, parent), limit - n);
    }
    return n;
}
}  // namespace

int TreeRowHeight(QTreeView* tree) {
    if (!tree || !tree->model()) return 4;
    const QAbstractItemModel* model = tree->model();
    QModelIndex first = tree->indexAt(QPoint(1, 1));
    if (!first.isValid()) first = model->index(0, 0, tree->rootIndex());
    if (!first.isValid()) return 4;
    const QRect firstRect = tree->visualRect(first);
    if (countNodes(model, tree->rootIndex(), 2) > 1) {
        QModelIndex next = first.sibling(first.row() + 1, 0);
        if (!next.isValid()) next = tree->indexBelow(first);
        if (next.isValid()) {
            return std::abs(firstRect.bottom() - tree->visualRect(next).bottom());
        }
    }
    return firstRect.height() + 4;
}

int ExpandOrCollapseAll(QTreeView* tree, bool expand, int maxDepth) {
    if (!tree || !tree->model()) return 0;
    // Walked with an explicit stack: a folder chain may be deeper than the call stack allows.
    const QAbstractItemModel* model = tree->model();
    struct Pending {
        QModelIndex index;
        int depth;
    };
    std::vector<Pending> pending;
    const QModelIndex root = tree->rootIndex();
    for (int r = model->rowCount(root) - 1; r >= 0; --r)
        pending.push_back({model->index(r, 0, root), 0});
    int n = 0;
    while (!pending.empty()) {
        const Pending node = pending.back();
        pending.pop_back();
        ++n;
        if (node.depth >= maxDepth) continue;
        if (expand)
            tree->expand(node.index);
        else
            tree->collapse(node.index);
        for (int r = model->rowCount(node.index) - 1; r >= 0; --r) {
            pending.push_back({model->index(r, 0, node.index), node.depth + 1});
        }
    }
    return n;
}

void HideTreeBranches(QTreeView* tree) {
    if (!tree) return;
    tree->setRootIsDecorated(false);
    tree->setStyleSheet(
        QStringLiteral("QTreeView::branch { image: none; border-image: none; background: "
                       "palette(base); }"));
}

void DeleteTreeItems(QTreeWidget* tree) {
    if (!tree) return;
    // Taken out of the view in one step, so the view is not told of every single removal.
    const QList<QTreeWidgetItem*> top = tree->invisibleRootItem()->takeChildren();
    std::vector<QTreeWidgetItem*> order;  // parents before their children
    std::vector<QTreeWidgetItem*> pending(top.rbegin(), top.rend());
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        order.push_back(item);
        for (int c = item->childCount() - 1; c >= 0; --c) pending.push_back(item->child(c));
    }
    // From the end every item's children are gone before it, so no deletion recurses.
    for (auto it = order.rbegin(); it != order.rend(); ++it) delete *it;
}

}  // namespace velmorant
