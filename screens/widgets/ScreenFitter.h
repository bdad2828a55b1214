#pragma once

#include <QObject>
#include <QRect>
#include <QSize>

class QWidget;

namespace velmorant {

// Keeps the program's full-screen windows above the on-screen keyboard.
//
// On a handheld-sized screen every window that starts at the left edge of the screen is
// resized, whenever a window is activated or deactivated and whenever the keyboard opens,
// closes or moves, so that it reaches the right edge of the available screen and its bottom
// stops at the top of the keyboard (or at the bottom of the available screen when the
// keyboard is hidden); its position stays. A dialog placed inside the screen (left edge to
// the right of the screen's left) is never touched. The menu bar is part of each window
// here, so no room is kept below the window for a separate system menu bar.
//
// On a desktop (a screen larger than a handheld's) nothing is resized: the main window opens
// as a handheld-sized portrait window instead (see placeMainWindow).
class ScreenFitter : public QObject {
    Q_OBJECT
public:
    // The size of the main window on a desktop, a handheld held upright.
    static constexpr QSize kDesktopMainWindowSize{320, 480};

    // The fitted geometry of a window; `window` unchanged when its left edge lies inside the
    // available area. `keyboard` is the keyboard's rectangle in screen coordinates, empty
    // when the keyboard is hidden.
    static QRect fittedGeometry(const QRect& window, const QRect& available, const QRect& keyboard);

    // Whether the screen of `widget` (the primary screen for nullptr) is handheld-sized.
    static bool isHandheldScreen(const QWidget* widget);
    // Whether a screen of `size` logical pixels is handheld-sized (a phone's included).
    static bool isHandheldSize(const QSize& size);

    // Installs the application-wide fitter once. `handheld` forces the mode (tests); by
    // default it follows the screen.
    static ScreenFitter* install();
    void setHandheldOverride(int mode) { m_override = mode; }  // -1 auto, 0 desktop, 1 handheld

    // Places the main window before it is shown: full screen (the window manager's
    // full-screen state) on a handheld, a handheld-sized portrait window centred on a desktop.
    void placeMainWindow(QWidget* window);
    // Places a screen opened over the main window (the editor, the exchange screen) before it
    // is shown: on a handheld over the whole screen, fitted above the keyboard; on a desktop
    // it stays where its creator put it.
    void placeScreen(QWidget* window);

    // Fits the active window now (also called on every activation and keyboard change).
    void fitActiveWindow();
    // Fits one window now.
    void fitWindow(QWidget* window);
    // Keeps a shown window (frame included) inside the available screen: a larger one is
    // made smaller, down to its minimum size, and one that reaches over an edge is moved
    // back. Done for every window when it is shown, on every screen.
    void keepInside(QWidget* window);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit ScreenFitter(QObject* parent);
    bool handheld(const QWidget* widget) const;
    int m_override = -1;
    bool m_fitting = false;
};

}  // namespace velmorant
