#include "screens/widgets/WrappingButton.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionButton>

#include <algorithm>

namespace velmorant {

namespace {
// The margins of the text inside the button.
constexpr int kHorizontal = 3;
constexpr int kVertical = 1;
constexpr Qt::Alignment kTextFlags = Qt::AlignLeft | Qt::AlignVCenter;
}  // namespace

WrappingButton::WrappingButton(QWidget* parent) : QPushButton(parent) {
    setFlat(true);
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int WrappingButton::heightForWidth(int width) const {
    const int textWidth = std::max(1, width - 2 * kHorizontal);
    const QRect needed = fontMetrics().boundingRect(QRect(0, 0, textWidth, 0),
                                                    int(kTextFlags) | Qt::TextWordWrap, text());
    // Never lower than the button the style draws for one line (a finger's height where
    // controls grow).
    return std::max(needed.height() + 2 * kVertical, QPushButton::sizeHint().height());
}

QSize WrappingButton::sizeHint() const {
    const int width = std::max(1, this->width());
    return {fontMetrics().horizontalAdvance(text()) + 2 * kHorizontal, heightForWidth(width)};
}

QSize WrappingButton::minimumSizeHint() const { return {0, heightForWidth(std::max(1, width()))}; }

QRect WrappingButton::textArea(const QRect& outer) const {
    return outer.adjusted(kHorizontal, kVertical, -kHorizontal, -kVertical);
}

void WrappingButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();  // the style draws the panel; the text is drawn here, wrapped
    style()->drawControl(QStyle::CE_PushButton, &option, &painter, this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(textArea(rect()), int(kTextFlags) | Qt::TextWordWrap, text());
}

}  // namespace velmorant
