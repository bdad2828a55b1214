#include "screens/widgets/ScreenFitter.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace velmorant {

namespace {
// Screens up to this size (in either orientation) are taken for a handheld's.
constexpr int kHandheldLongSide = 800;
constexpr int kHandheldShortSide = 480;
}  // namespace

QRect ScreenFitter::fittedGeometry(const QRect& window, const QRect& available,
                                   const QRect& keyboard) {
    if (window.left() > available.left()) return window;
    int bottom = available.bottom();
    if (!keyboard.isEmpty() && keyboard.top() > window.top()) {
        bottom = std::min(bottom, keyboard.top() - 1);
    }
    const int width = std::max(1, available.right() - window.left() + 1);
    const int height = std::max(1, bottom - window.top() + 1);
    return QRect(window.topLeft(), QSize(width, height));
}

bool ScreenFitter::isHandheldScreen(const QWidget* widget) {
    QScreen* screen = widget ? widget->screen() : QGuiApplication::primaryScreen();
    if (!screen) return false;
    const QSize size = screen->size();
    const int longSide = std::max(size.width(), size.height());
    const int shortSide = std::min(size.width(), size.height());
    return longSide <= kHandheldLongSide && shortSide <= kHandheldShortSide;
}

ScreenFitter::ScreenFitter(QObject* parent) : QObject(parent) {
    QInputMethod* im = QGuiApplication::inputMethod();
    connect(im, &QInputMethod::visibleChanged, this, &ScreenFitter::fitActiveWindow);
    connect(im, &QInputMethod::keyboardRectangleChanged, this, &ScreenFitter::fitActiveWindow);
}

ScreenFitter* ScreenFitter::install() {
    static ScreenFitter* fitter = [] {
        auto* f = new ScreenFitter(qApp);
        qApp->installEventFilter(f);
        return f;
    }();
    return fitter;
}

bool ScreenFitter::handheld(const QWidget* widget) const {
    if (m_override >= 0) return m_override == 1;
    return isHandheldScreen(widget);
}

void ScreenFitter::placeMainWindow(QWidget* window) {
    if (!window) return;
    if (handheld(window)) {
        // No caption bar: the window takes the screen like every full-screen screen.
        window->setWindowFlag(Qt::FramelessWindowHint, true);
        QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
        if (screen) window->setGeometry(screen->availableGeometry());
        fitWindow(window);
    } else {
        window->resize(kDesktopMainWindowSize);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), kDesktopMainWindowSize);
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    }
}

void ScreenFitter::fitWindow(QWidget* window) {
    if (!window || !window->isWindow() || !handheld(window) || m_fitting) return;
    // Screens only: drop-up menus, tool tips and other pop-ups keep their own size.
    const Qt::WindowType type = window->windowType();
    if (type != Qt::Window && type != Qt::Dialog) return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect keyboard;
    QInputMethod* im = QGuiApplication::inputMethod();
    if (im->isVisible()) {
        // The keyboard's rectangle comes in the coordinates of the window with the focus.
        const QRectF r = im->keyboardRectangle();
        QWidget* focusWindow = QApplication::activeWindow() ? QApplication::activeWindow() : window;
        keyboard = QRect(focusWindow->mapToGlobal(r.topLeft().toPoint()), r.size().toSize());
    }
    // The rule looks at the outer rectangle (frame included) and sets the inner one.
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    const QRect fitted = fittedGeometry(outer, screen->availableGeometry(), keyboard);
    if (fitted != outer) {
        const QRect target =
            fitted.adjusted(inner.left() - outer.left(), inner.top() - outer.top(),
                            inner.right() - outer.right(), inner.bottom() - outer.bottom());
        m_fitting = true;
        window->setGeometry(target);
        m_fitting = false;
    }
}

void ScreenFitter::fitActiveWindow() { fitWindow(QApplication::activeWindow()); }

bool ScreenFitter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->isWindow()) fitActiveWindow();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace velmorant
