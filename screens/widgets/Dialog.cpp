#include "screens/widgets/Dialog.h"

#include <QKeyEvent>
#include <QVBoxLayout>

namespace velmorant {

bool RouteEnterEscape(QKeyEvent* event, QAction* defaultCommand, QAction* cancelCommand) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (!plain) return false;
    QAction* command = nullptr;
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            command = defaultCommand;
            break;
        case Qt::Key_Escape:
            command = cancelCommand;
            break;
        default:
            return false;
    }
    if (!command) return false;
    if (command->isEnabled()) command->trigger();
    event->accept();
    return true;
}

void BuildScreenLayout(QWidget* screen, QWidget*& body, MenuBar*& menuBar) {
    auto* layout = new QVBoxLayout(screen);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    body = new QWidget(screen);
    body->setObjectName(QStringLiteral("body"));
    menuBar = new MenuBar(screen);
    layout->addWidget(body, 1);
    layout->addWidget(menuBar, 0);
}

Dialog::Dialog(QWidget* parent) : QDialog(parent) {
    setModal(true);
    setSizeGripEnabled(false);
    BuildScreenLayout(this, m_body, m_menuBar);
}

void Dialog::keyPressEvent(QKeyEvent* event) {
    if (RouteEnterEscape(event, m_defaultCommand, m_cancelCommand)) return;
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Without a default command Enter does nothing (QDialog would look for a button).
        event->ignore();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace velmorant
