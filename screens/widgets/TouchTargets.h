#pragma once

#include <QSize>

class QAbstractItemView;
class QApplication;
class QScreen;
class QWidget;

namespace velmorant {

// Controls a finger can hit. A handheld's own screen (240x320, a stylus) keeps every size the
// screens were drawn for. A phone-class screen larger than that whose physical size is known
// (a 720x1440 panel at scale 2, a 480x800 one) gets rows, menu items, keys and buttons at
// least kTouchMillimetres high; desktops keep their sizes (a mouse).
inline constexpr double kTouchMillimetres = 7.0;
// The largest screen that is a handheld's own (in logical pixels, either orientation).
inline constexpr QSize kHandheldScreen{240, 320};

// Logical pixels per millimetre on `screen`; 0 when its physical size is unknown.
double PixelsPerMillimetre(const QScreen* screen);

// The least height of a touched control on `screen` (the primary screen for nullptr) in
// logical pixels: 0 where the sizes stay as drawn (see above).
int TouchTarget(const QScreen* screen);
// The same for the screen `widget` is on (or will be shown on).
int TouchTarget(const QWidget* widget);
// `size` grown to the touch target of `widget`'s screen.
int TouchSize(const QWidget* widget, int size);

// The factor by which a screen drawn for the handheld (its controls `designHeight` pixels
// high) grows so that they reach the touch target; 1 where sizes stay as drawn.
double TouchScale(const QWidget* widget, int designHeight);

// Scales the position and size of every child of `area` placed by position (not by a
// layout), and `area`'s minimum size: x and width by `fx`, y and height by `fy`. Buttons are
// then made at least the touch target wide and high, about their centre. Nothing when both are 1.
void ScaleChildren(QWidget* area, double fx, double fy);

// Rows of `view` at least the touch target high (nothing on a handheld or desktop).
void GrowRows(QAbstractItemView* view);

// Makes the drop-up menus' items, the push and tool buttons, check boxes, radio buttons and
// text fields of the whole application at least the touch target high, when the primary screen asks
// for it. Called once at start-up.
void InstallTouchStyle(QApplication& app);

}  // namespace velmorant
