#pragma once

// Drives the program's controls in GUI tests as the agent's finger would, beside the taps of
// Taps.h: typed text, the texts of a list column, the keypad.

#include <QAbstractItemView>
#include <QIcon>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTreeWidget>

#include "screens/documents/QuantityDialog.h"
#include "support/ModalAnswer.h"
#include "support/Taps.h"

namespace velmorant::test {

// Types `text` into `widget` character by character, Cyrillic letters included (QTest's own
// keyClicks takes Latin-1 only).
inline void TypeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

// The texts of one column, top to bottom.
inline QStringList Column(QTreeWidget* list, int column) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i) out << list->topLevelItem(i)->text(column);
    return out;
}

// A list over a model (the journal's): its number of rows, the text, icon and alignment of a
// cell (empty or null outside the rows), the place of a cell on the screen.
inline int RowCount(const QAbstractItemView* list) { return list->model()->rowCount(); }
inline QString CellText(const QAbstractItemView* list, int row, int column) {
    return list->model()->index(row, column).data().toString();
}
inline QIcon CellIcon(const QAbstractItemView* list, int row, int column) {
    return list->model()->index(row, column).data(Qt::DecorationRole).value<QIcon>();
}
inline int CellAlignment(const QAbstractItemView* list, int row, int column) {
    return list->model()->index(row, column).data(Qt::TextAlignmentRole).toInt();
}
inline QRect CellRect(const QAbstractItemView* list, int row, int column) {
    return list->visualRect(list->model()->index(row, column));
}

// Types `keys` on the keypad that opens next and confirms with "Oк"; `priceShown` (when
// given) learns whether it showed the price.
inline void AnswerKeypad(const QStringList& keys, bool* priceShown = nullptr) {
    whenModalOpens<TQuantityDialog>([keys, priceShown](TQuantityDialog* d) {
        if (priceShown) *priceShown = d->priceShown();
        for (const QString& k : keys) {
            QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("key") + k),
                              Qt::LeftButton);
        }
        QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    });
}

}  // namespace velmorant::test
