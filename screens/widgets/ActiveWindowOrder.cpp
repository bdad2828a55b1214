#include "screens/widgets/ActiveWindowOrder.h"

#include <QApplication>
#include <QEvent>

namespace velmorant {

ActiveWindowOrder::ActiveWindowOrder(QObject* parent) : QObject(parent) {
    if (qApp) qApp->installEventFilter(this);
}

bool ActiveWindowOrder::isShownScreen(const QWidget* window) {
    if (!window || !window->isWindow() || !window->isVisible()) return false;
    const Qt::WindowType type = window->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

QList<QWidget*> ActiveWindowOrder::visibleWindows() const {
    QList<QWidget*> windows;
    for (const QPointer<QWidget>& w : m_order) {
        if (isShownScreen(w)) windows.append(w);
    }
    return windows;
}

QWidget* ActiveWindowOrder::lastVisible() const {
    for (auto it = m_order.crbegin(); it != m_order.crend(); ++it) {
        if (isShownScreen(*it)) return *it;
    }
    return nullptr;
}

bool ActiveWindowOrder::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow()) {
            m_order.removeAll(QPointer<QWidget>(widget));
            m_order.removeAll(QPointer<QWidget>());  // windows destroyed meanwhile
            m_order.append(widget);
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace velmorant
