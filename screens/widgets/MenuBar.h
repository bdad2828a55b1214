#pragma once

#include <QAction>
#include <QHash>
#include <QList>
#include <QMenu>
#include <QToolButton>
#include <QWidget>

namespace velmorant {

// The handheld-style menu bar at the bottom of a screen: a row of top-level commands, each a
// flat button sized to its caption, some of which open a sub-menu that drops up above the bar.
// Captions are shown exactly as given (blanks and brackets included, "&" is not a mnemonic).
//
// Every entry is a QAction: enabling, hiding or renaming the action changes its button.
// A top-level command fires QAction::triggered when its button is tapped; a sub-menu entry
// fires when its menu item is chosen. The default command is shown bold.
//
// Keyboard: F1 and F2 are the handheld's two soft keys. While the bar's window is active, F1
// triggers the first visible top-level command and F2 the last one; an entry with a
// sub-menu opens it with its first item marked, and the arrow keys and Enter work inside it
// (F1 or F2 there closes it again). A disabled entry ignores its key. Tab reaches every
// button of the bar, and Enter or Space on a focused button is the same as a tap; a tap
// leaves the focus where it was. A screen opens with the focus on its own first control,
// never on a command of the bar.
class MenuBar : public QWidget {
    Q_OBJECT
public:
    explicit MenuBar(QWidget* parent = nullptr);

    // Appends a top-level command. The action belongs to the bar.
    QAction* addCommand(const QString& caption);
    // Appends a top-level entry that opens a drop-up sub-menu; fill the returned menu with
    // addItem/addSeparator (or QMenu's own calls). The menu belongs to the bar.
    QMenu* addMenu(const QString& caption);
    // Appends an item to a sub-menu made by addMenu.
    QAction* addItem(QMenu* menu, const QString& caption);
    QAction* addSeparator(QMenu* menu);

    // Shows `action` (top-level or sub-menu entry) bold, as the screen's default item.
    // nullptr clears the mark.
    void setDefaultCommand(QAction* action);
    QAction* defaultCommand() const { return m_default; }

    // The first entry, top-level or in a sub-menu, whose caption is exactly `caption`;
    // nullptr when there is none.
    QAction* findCommand(const QString& caption) const;
    // The top-level entries in order (for a sub-menu entry: its QAction::menu() is set).
    QList<QAction*> commands() const { return m_commands; }
    // The button of a top-level entry; nullptr for sub-menu items.
    QToolButton* buttonOf(QAction* action) const { return m_buttons.value(action); }
    // The sub-menu opened by a top-level entry, nullptr for plain commands.
    QMenu* menuOf(QAction* action) const { return action ? action->menu() : nullptr; }

    // Marks an action bold or plain (works for top-level and sub-menu entries).
    static void setBold(QAction* action, bool bold);

    // Opens the sub-menu of a top-level entry above its button (what a tap does).
    void popUp(QAction* topLevel);

    // The entries F1 and F2 stand for: the first and the last visible top-level entry
    // (nullptr on an empty bar).
    QAction* firstCommand() const;
    QAction* lastCommand() const;
    // What a soft key does with a top-level entry: triggers it, or opens its sub-menu with
    // the first enabled item marked. Nothing for a disabled entry or nullptr.
    void softKey(QAction* topLevel);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* addButton(QAction* action);
    void sync(QAction* action);

    QList<QAction*> m_commands;
    QHash<QAction*, QToolButton*> m_buttons;
    QAction* m_default = nullptr;
};

}  // namespace velmorant
