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
    return screen && isHandheldSize(screen->size());
}

bool ScreenFitter::isHandheldSize(const QSize& size) {
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
        // No caption bar: the window takes the whole screen. Asked of the window manager as
        // the full-screen state, not as a frameless window: a handheld's window manager keeps
        // a frameless full-screen window above every other, so the screens opened over the
        // journal would open behind it.
        // Without a window manager the state does nothing: the window covers the screen itself.
        QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
        if (screen) window->setGeometry(screen->geometry());
        window->setWindowState(window->windowState() | Qt::WindowFullScreen);
    } else {
        window->resize(kDesktopMainWindowSize);
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame(QPoint(), kDesktopMainWindowSize);
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    }
}

void ScreenFitter::placeScreen(QWidget* window) {
    if (!window || !window->isWindow() || !handheld(window)) return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen) window->setGeometry(screen->availableGeometry());
    fitWindow(window);
}

void ScreenFitter::fitWindow(QWidget* window) {
    if (!window || !window->isWindow() || !handheld(window) || m_fitting) return;
    // Screens only: drop-up menus, tool tips and other pop-ups keep their own size.
    const Qt::WindowType type = window->windowType();
    if (type != Qt::Window && type != Qt::Dialog) return;
    // A full-screen window is the window manager's to place (the journal has no text field
    // that calls up the keyboard).
    if (window->windowState() & Qt::WindowFullScreen) return;
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
    QRect inner = window->geometry();
    QRect outer = window->frameGeometry();
    if (window->isVisible()) {
        // Where the window really is: a window manager that places its windows itself and
        // does not say so (a handheld's) leaves Qt with the position it asked for. Such a
        // window lies inside the screen, and resizing it would be refused without a word.
        const QPoint shift = window->mapToGlobal(QPoint(0, 0)) - inner.topLeft();
        inner.translate(shift);
        outer.translate(shift);
    }
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
