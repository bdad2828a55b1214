#include "screens/widgets/TwoLineDelegate.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPainter>
#include <QTableView>
#include <QTextLayout>
#include <QToolTip>
#include <QTreeView>

namespace velmorant {

namespace {
// The width of the cell `index` in its view (less the indentation of a tree's first column);
// the width of the option's rectangle in any other view.
int cellWidth(const QStyleOptionViewItem& option, const QModelIndex& index) {
    // A table's grid line takes the last pixel of each cell.
    if (const auto* table = qobject_cast<const QTableView*>(option.widget))
        return table->columnWidth(index.column()) - (table->showGrid() ? 1 : 0);
    if (const auto* tree = qobject_cast<const QTreeView*>(option.widget)) {
        int width = tree->columnWidth(index.column());
        if (tree->header()->visualIndex(index.column()) == 0) {
            int depth = tree->rootIsDecorated() ? 1 : 0;
            for (QModelIndex p = index.parent(); p.isValid(); p = p.parent()) ++depth;
            width -= depth * tree->indentation();
        }
        return width;
    }
    return option.rect.width();
}

// Where the style draws the text of the cell `opt`: its text rectangle less the margins
// that the style's own drawing of item texts keeps on either side.
QRect textRect(const QStyleOptionViewItem& opt) {
    const QWidget* widget = opt.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget)
        .adjusted(margin, 0, -margin, 0);
}

// The height of a cell's two lines: the first in `first`, the second in `second`.
int twoLinesHeight(const QFont& first, const QFont& second) {
    return QFontMetrics(first).height() + QFontMetrics(second).height() + 3;
}
}  // namespace

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

QStringList TwoLineDelegate::wrapInTwo(const QString& text, const QFont& font, int width) {
    if (width <= 0 || QFontMetrics(font).horizontalAdvance(text) <= width) return {text};
    QTextLayout layout(text, font);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(wrap);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    int length = 0;
    if (line.isValid()) {
        line.setLineWidth(width);
        length = line.textLength();
    }
    layout.endLayout();
    if (length <= 0 || length >= text.size()) return {text};
    return {text.left(length).trimmed(), text.mid(length).trimmed()};
}

int TwoLineDelegate::textWidth(QStyleOptionViewItem& opt, int width) const {
    opt.rect = QRect(opt.rect.topLeft(), QSize(width, qMax(1, opt.rect.height())));
    return textRect(opt).width();
}

void TwoLineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QVariant second = index.data(kSecondLineRole);
    const bool noted = second.isValid();
    const QFont smallFont = noted ? secondLineFont(opt.font) : opt.font;
    QStringList lines;
    if (noted) {
        lines = {opt.text, second.toString()};
    } else {
        QStyleOptionViewItem measure = opt;
        lines = wrapInTwo(opt.text, opt.font, textWidth(measure, opt.rect.width()));
        // One line, or a row too low for two: drawn as the style draws any cell.
        if (lines.size() < 2 || opt.rect.height() < twoLinesHeight(opt.font, smallFont)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
    }
    opt.text.clear();
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const QRect text = textRect(opt);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        (opt.state & QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
    const QColor ink =
        opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    QColor grey = ink;
    if (noted && !selected) {
        const QColor base = opt.palette.color(group, QPalette::Base);
        grey = QColor((ink.red() + base.red()) / 2, (ink.green() + base.green()) / 2,
                      (ink.blue() + base.blue()) / 2);
    }
    const QFontMetrics firstMetrics(opt.font);
    const QFontMetrics smallMetrics(smallFont);
    // The two lines together in the middle of a row that is higher than they are.
    const int top = text.top() + qMax(0, (text.height() - twoLinesHeight(opt.font, smallFont)) / 2);

    painter->save();
    painter->setClipRect(opt.rect);
    painter->setFont(opt.font);
    painter->setPen(ink);
    const QRect firstLine(text.left(), top, text.width(), firstMetrics.height());
    painter->drawText(firstLine, Qt::AlignLeft | Qt::AlignVCenter,
                      firstMetrics.elidedText(lines[0], Qt::ElideRight, text.width()));
    painter->setFont(smallFont);
    painter->setPen(grey);
    const QRect secondLine(text.left(), firstLine.bottom() + 1, text.width(),
                           smallMetrics.height());
    painter->drawText(secondLine, Qt::AlignLeft | Qt::AlignVCenter,
                      smallMetrics.elidedText(lines[1], Qt::ElideRight, text.width()));
    painter->restore();
}

int TwoLineDelegate::lineCount(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    if (index.data(kSecondLineRole).isValid()) return 2;
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString text = opt.text;
    return static_cast<int>(
        wrapInTwo(text, opt.font, textWidth(opt, cellWidth(option, index))).size());
}

QSize TwoLineDelegate::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    if (index.data(kSecondLineRole).isValid()) {
        size.setHeight(qMax(size.height(), twoLinesHeight(opt.font, secondLineFont(opt.font))));
        return size;
    }
    if (lineCount(option, index) > 1)
        size.setHeight(qMax(size.height(), twoLinesHeight(opt.font, opt.font)));
    return size;
}

bool TwoLineDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (!event || event->type() != QEvent::ToolTip || index.data(Qt::ToolTipRole).isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QString full = opt.text;
    const QFontMetrics metrics(opt.font);
    const int width = textWidth(opt, option.rect.width());
    bool whole = metrics.horizontalAdvance(full) <= width;
    if (!whole && !index.data(kSecondLineRole).isValid()) {
        // Wrapped: whole when both lines are drawn and the second fits.
        const QStringList lines = wrapInTwo(full, opt.font, width);
        whole = option.rect.height() >= twoLinesHeight(opt.font, opt.font) &&
                metrics.horizontalAdvance(lines.value(1)) <= width;
    }
    if (whole) return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), full, view, option.rect);
    return true;
}

}  // namespace velmorant
