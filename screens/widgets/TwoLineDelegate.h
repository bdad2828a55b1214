#pragma once

#include <QStyledItemDelegate>

namespace velmorant {

// Draws a list cell as two lines: its own text, and under it, smaller and greyed, the text
// of kSecondLineRole (a folder's name, the date of an order). A cell whose model gives no
// value for that role is drawn as a plain one-line cell. Long lines are cut with "…".
class TwoLineDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kSecondLineRole = Qt::UserRole + 16;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The font of the second line for a cell drawn in `font`.
    static QFont secondLineFont(const QFont& font);
};

}  // namespace velmorant
