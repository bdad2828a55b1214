#include "ui/Dialog.h"

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

Dialog::Dialog(QWidget* parent) : QDialog(parent) {
    setModal(true);
    setSizeGripEnabled(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("body"));
    m_menuBar = new MenuBar(this);
    layout->addWidget(m_body, 1);
    layout->addWidget(m_menuBar, 0);
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
