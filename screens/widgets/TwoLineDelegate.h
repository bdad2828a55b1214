#pragma once

#include <QStringList>
#include <QStyledItemDelegate>

namespace velmorant {

// Draws a list cell as two lines: its own text, and under it, smaller and greyed, the text
// of kSecondLineRole (a folder's name, the date of an order); a long first line is cut with
// "…". A cell whose model gives no value for that role is drawn on one line, or, when its
// text does not fit the width of its column, wrapped onto a second line (at a blank where
// there is one, the rest cut with "…"), and its size hint is then two lines high: a view with
// rows of their own heights shows such a name whole (see FitVisibleRows for a table). A cell
// whose text is cut shows the whole text as its tooltip.
class TwoLineDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int kSecondLineRole = Qt::UserRole + 16;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // On how many lines (1 or 2) the cell `index` is drawn in a row high enough for two.
    int lineCount(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    // The font of the second line for a cell drawn in `font`.
    static QFont secondLineFont(const QFont& font);
    // `text` as the lines it is drawn on in `width` pixels: itself when it fits, else the part
    // up to the last blank that fits (or as many letters as fit) and the rest.
    static QStringList wrapInTwo(const QString& text, const QFont& font, int width);

private:
    // The style's options of the cell `index` laid out `width` pixels wide, and the width its
    // text has there.
    int textWidth(QStyleOptionViewItem& opt, int width) const;
};

}  // namespace velmorant
