#include "screens/widgets/TouchTargets.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QProxyStyle>
#include <QScreen>
#include <QStyleOption>
#include <QTableView>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include "screens/widgets/ScreenFitter.h"

namespace velmorant {

double PixelsPerMillimetre(const QScreen* screen) {
    if (!screen) return 0;
    const QSizeF physical = screen->physicalSize();
    const QSize logical = screen->size();
    if (physical.width() <= 0 || physical.height() <= 0 || logical.isEmpty()) return 0;
    return (logical.width() / physical.width() + logical.height() / physical.height()) / 2;
}

int TouchTarget(const QScreen* screen) {
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return 0;
    const QSize size = screen->size();
    const bool handheldOwn = std::min(size.width(), size.height()) <= kHandheldScreen.width() &&
                             std::max(size.width(), size.height()) <= kHandheldScreen.height();
    if (handheldOwn || !ScreenFitter::isHandheldSize(size)) return 0;
    return static_cast<int>(std::ceil(kTouchMillimetres * PixelsPerMillimetre(screen)));
}

int TouchTarget(const QWidget* widget) {
    return TouchTarget(widget ? widget->screen() : QGuiApplication::primaryScreen());
}

int TouchSize(const QWidget* widget, int size) { return std::max(size, TouchTarget(widget)); }

void GrowRows(QAbstractItemView* view) {
    const int target = TouchTarget(view);
    if (!view || target <= 0) return;
    // A table's rows are its vertical header's sections; a tree's come from the style (below).
    if (auto* table = qobject_cast<QTableView*>(view)) {
        QHeaderView* rows = table->verticalHeader();
        rows->setMinimumSectionSize(std::min(rows->minimumSectionSize(), target));
        rows->setDefaultSectionSize(std::max(rows->defaultSectionSize(), target));
    }
}

namespace {
// The application's style with every touched control at least `target` pixels high.
class TouchStyle : public QProxyStyle {
public:
    explicit TouchStyle(int target) : m_target(target) {}

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& contents,
                           const QWidget* widget) const override {
        QSize size = QProxyStyle::sizeFromContents(type, option, contents, widget);
        switch (type) {
            case CT_MenuItem:
                if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
                    item && item->menuItemType == QStyleOptionMenuItem::Separator)
                    break;
                [[fallthrough]];
            case CT_ItemViewItem:
            case CT_PushButton:
            case CT_ToolButton:
            case CT_CheckBox:
            case CT_RadioButton:
            case CT_ComboBox:
            case CT_TabBarTab:
                size.setHeight(std::max(size.height(), m_target));
                break;
            default:
                break;
        }
        return size;
    }

private:
    int m_target;
};
}  // namespace

void InstallTouchStyle(QApplication& app) {
    const int target = TouchTarget(static_cast<const QScreen*>(nullptr));
    if (target <= 0) return;
    app.setStyle(new TouchStyle(target));  // the application owns the style
}

}  // namespace velmorant
