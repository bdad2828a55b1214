#pragma once

#include <QObject>
#include <QWidget>

namespace velmorant {

// The on-screen keyboard (the platform's input method panel). A control attached with
// showOnFocus() switches the keyboard on when it receives the focus and off when it loses
// it. requested() tells what the program last asked for, whether or not the platform has a
// keyboard to show (a desktop usually has none).
class SoftKeyboard : public QObject {
    Q_OBJECT
public:
    static void showOnFocus(QWidget* control);
    static void show();
    static void hide();
    static bool requested();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
    static SoftKeyboard* instance();
};

}  // namespace velmorant
