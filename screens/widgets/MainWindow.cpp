#include "screens/widgets/MainWindow.h"

#include <QPointer>

namespace velmorant {

namespace {
QPointer<QWidget> g_mainWindow;
}

QWidget* MainWindow() { return g_mainWindow; }
void SetMainWindow(QWidget* window) { g_mainWindow = window; }

}  // namespace velmorant
