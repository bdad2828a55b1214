#pragma once

#include <QWidget>

namespace velmorant {

// The application's main window (the journal) once it exists: it owns every message box and
// its caption is theirs; dialogs are created over it. nullptr before start-up made it.
QWidget* MainWindow();
void SetMainWindow(QWidget* window);

}  // namespace velmorant
