#include "screens/widgets/TouchTargets.h"

#include <QAbstractButton>
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

double TouchScale(const QWidget* widget, int designHeight) {
    const int target = TouchTarget(widget);
    if (target <= 0 || designHeight <= 0) return 1.0;
    return std::max(1.0, double(target) / designHeight);
}

void ScaleChildren(QWidget* area, double fx, double fy) {
    if (!area || (fx == 1.0 && fy == 1.0)) return;
    const auto scaled = [fx, fy](const QRect& r) {
        return QRect(qRound(r.x() * fx), qRound(r.y() * fy), qRound(r.width() * fx),
                     qRound(r.height() * fy));
    };
    const int target = TouchTarget(area);
    for (QWidget* child : area->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow()) continue;
        QRect r = scaled(child->geometry());
        if (qobject_cast<QAbstractButton*>(child)) {
            const QPoint centre = r.center();
            r.setSize(r.size().expandedTo(QSize(target, target)));
            r.moveCenter(centre);
        }
        child->setGeometry(r);
    }
    const QSize least = area->minimumSize();
    area->setMinimumSize(qRound(least.width() * fx), qRound(least.height() * fy));
}

void GrowRows(QAbstractItemView* view) {
    const int target = TouchTarget(view);
    if (!view || target <= 0) return;
    // A table's rows are its vertical header's sections; a tree's come from the style (below).
    if (auto* table = qobject_cast<QTableView*>(view)) {
        QHeaderView* rows = table->verticalHeader();
        // A grid line takes a pixel of each row.
        const int height = target + (table->showGrid() ? 1 : 0);
        rows->setMinimumSectionSize(std::min(rows->minimumSectionSize(), height));
        rows->setDefaultSectionSize(std::max(rows->defaultSectionSize(), height));
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
            case CT_ComboBox:
            case CT_TabBarTab:
            case CT_CheckBox:
            case CT_RadioButton:
            case CT_LineEdit:
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
