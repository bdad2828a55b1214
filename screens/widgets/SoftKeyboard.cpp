#include "screens/widgets/SoftKeyboard.h"

#include <QEvent>
#include <QGuiApplication>
#include <QInputMethod>

namespace velmorant {

namespace {
bool g_requested = false;
}

SoftKeyboard* SoftKeyboard::instance() {
    static SoftKeyboard* filter = new SoftKeyboard(qApp);
    return filter;
}

void SoftKeyboard::showOnFocus(QWidget* control) {
    if (control) control->installEventFilter(instance());
}

void SoftKeyboard::show() {
    g_requested = true;
    QGuiApplication::inputMethod()->show();
}

void SoftKeyboard::hide() {
    g_requested = false;
    QGuiApplication::inputMethod()->hide();
}

bool SoftKeyboard::requested() { return g_requested; }

bool SoftKeyboard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        show();
    else if (event->type() == QEvent::FocusOut)
        hide();
    return QObject::eventFilter(watched, event);
}

}  // namespace velmorant
