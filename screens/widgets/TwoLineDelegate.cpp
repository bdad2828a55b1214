#include "screens/widgets/TwoLineDelegate.h"

#include <QApplication>
#include <QPainter>

namespace velmorant {

QFont TwoLineDelegate::secondLineFont(const QFont& font) {
    QFont small = font;
    small.setBold(false);
    if (font.pointSizeF() > 0) {
        small.setPointSizeF(qMax(6.0, font.pointSizeF() * 0.85));
    } else if (font.pixelSize() > 0) {
        small.setPixelSize(qMax(8, font.pixelSize() * 85 / 100));
    }
    return small;
}

void TwoLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const QVariant second = index.data(kSecondLineRole);
    if (!second.isValid()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString first = opt.text;
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect text =
        style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(2, 0, -2, 0);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    const QColor ink =
        opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor grey = ink;
    if (!selected) {
        const QColor base = opt.palette.color(group, QPalette::Base);
        grey = QColor((ink.red() + base.red()) / 2, (ink.green() + base.green()) / 2,
                      (ink.blue() + base.blue()) / 2);
    }
    const QFontMetrics firstMetrics(opt.font);
    const QFont smallFont = secondLineFont(opt.font);
    const QFontMetrics smallMetrics(smallFont);

    painter->save();
    painter->setClipRect(opt.rect);
    painter->setFont(opt.font);
    painter->setPen(ink);
    const QRect firstLine(text.left(), text.top(), text.width(), firstMetrics.height());
    painter->drawText(firstLine, Qt::AlignLeft | Qt::AlignVCenter,
                      firstMetrics.elidedText(first, Qt::ElideRight, text.width()));
    painter->setFont(smallFont);
    painter->setPen(grey);
    const QRect secondLine(text.left(), firstLine.bottom() + 1, text.width(),
                           smallMetrics.height());
    painter->drawText(secondLine, Qt::AlignLeft | Qt::AlignVCenter,
                      smallMetrics.elidedText(second.toString(), Qt::ElideRight, text.width()));
    painter->restore();
}

QSize TwoLineDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (!index.data(kSecondLineRole).isValid()) return size;
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const int lines =
        QFontMetrics(opt.font).height() + QFontMetrics(secondLineFont(opt.font)).height() + 3;
    size.setHeight(qMax(size.height(), lines));
    return size;
}

}  // namespace velmorant
