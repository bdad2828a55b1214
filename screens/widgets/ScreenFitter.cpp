#include "screens/widgets/ScreenFitter.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QPointer>
#include <QScreen>
#include <QTimer>
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
    // A frame placed above or left of the screen (its caption bar or border out of reach)
    // comes into it.
    const QPoint topLeft(available.left(), std::max(window.top(), available.top()));
    int bottom = available.bottom();
    if (!keyboard.isEmpty() && keyboard.top() > topLeft.y()) {
        bottom = std::min(bottom, keyboard.top() - 1);
    }
    const int width = std::max(1, available.right() - topLeft.x() + 1);
    const int height = std::max(1, bottom - topLeft.y() + 1);
    return QRect(topLeft, QSize(width, height));
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

void ScreenFitter::keepInside(QWidget* window) {
    if (!window || !window->isWindow() || !window->isVisible()) return;
    const Qt::WindowType type = window->windowType();
    if (type != Qt::Window && type != Qt::Dialog) return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    const QSize frame = outer.size() - inner.size();
    const QSize most = available.size() - frame;
    if (inner.width() > most.width() || inner.height() > most.height()) {
        // A window may not ask for more than the screen has, whatever its contents would
        // like (a message box fixes its own size, a dialog drawn for 241 pixels gets its frame
        // on top): what does not fit is cut at its edge rather than left off the screen.
        const QSize least = window->minimumSize().boundedTo(most);
        window->setMinimumSize(least);
        window->setMaximumSize(window->maximumSize().boundedTo(most.expandedTo(least)));
        window->resize(inner.size().boundedTo(most));
    }
    const QRect now = window->frameGeometry();
    const int x = std::clamp(now.left(), available.left(),
                             std::max(available.left(), available.right() - now.width() + 1));
    const int y = std::clamp(now.top(), available.top(),
                             std::max(available.top(), available.bottom() - now.height() + 1));
    if (x != now.left() || y != now.top()) window->move(x, y);
}

bool ScreenFitter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::Move || type == QEvent::Resize) && watched->isWidgetType() && !m_fitting) {
        // The window manager has framed or moved the window: its frame is known only now.
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow() && widget->isVisible()) {
            m_fitting = true;
            keepInside(widget);
            m_fitting = false;
        }
    }
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow()) {
            // Now, where the dialog was placed over its owner, once more when it has sized
            // itself (a message box does that in its own show handling), and again when the
            // window manager will have framed it: the frame's size may come after the last
            // move or resize that the window manager reports.
            keepInside(widget);
            QPointer<QWidget> window(widget);
            for (const int ms : {0, 100, 250})
                QTimer::singleShot(ms, this, [this, window] { keepInside(window); });
        }
    }
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::WindowDeactivate) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->isWindow()) fitActiveWindow();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace velmorant
