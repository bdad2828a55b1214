#pragma once

// Taps on a screen as the agent does: a command of its bottom menu bar, an entry of the
// sub-menu that a command opens above the bar, a row of a list.

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "screens/widgets/MenuBar.h"

namespace velmorant::test {

// Taps the top-level menu command whose caption is exactly `caption`.
inline void TapMenu(MenuBar* bar, const char* caption) {
    QAction* action = bar->findCommand(QString::fromUtf8(caption));
    if (!action) qFatal("no menu command %s", caption);
    QToolButton* button = bar->buttonOf(action);
    if (!button || !button->isVisible()) qFatal("menu command %s is not shown", caption);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Taps (or double-taps) a row of a list.
inline void TapRow(QTreeWidget* list, int row, bool twice = false) {
    QTreeWidgetItem* item = list->topLevelItem(row);
    if (!item) qFatal("no row %d", row);
    list->scrollToItem(item);
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice) QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// Taps the top-level entry `top`, then, in the sub-menu that opens, the entry `item`
// (captions exactly as shown). Fails the process when either is missing or not shown; a
// disabled entry is tapped all the same (and does nothing, as on the device).
inline void TapMenuItem(MenuBar* bar, const char* top, const char* item) {
    QAction* opener = bar->findCommand(QString::fromUtf8(top));
    QMenu* menu = bar->menuOf(opener);
    if (!menu) qFatal("no sub-menu %s", top);
    QToolButton* button = bar->buttonOf(opener);
    if (!button || !button->isVisible()) qFatal("menu command %s is not shown", top);
    QTest::mouseClick(button, Qt::LeftButton);
    if (!QTest::qWaitForWindowExposed(menu)) qFatal("sub-menu %s did not open", top);
    QAction* entry = nullptr;
    for (QAction* a : menu->actions()) {
        if (a->text() == QString::fromUtf8(item)) entry = a;
    }
    if (!entry) qFatal("no entry %s under %s", item, top);
    const QPoint at = menu->actionGeometry(entry).center();
    QTest::mouseMove(menu, at);
    QTest::mouseClick(menu, Qt::LeftButton, {}, at);
    if (menu->isVisible()) menu->hide();  // a disabled entry leaves the menu open
}

}  // namespace velmorant::test
