#include "ui/Form.h"

#include <QKeyEvent>
#include <QVBoxLayout>

#include "ui/Dialog.h"

namespace velmorant {

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("body"));
    m_menuBar = new MenuBar(this);
    layout->addWidget(m_body, 1);
    layout->addWidget(m_menuBar, 0);
}

void Form::keyPressEvent(QKeyEvent* event) {
    if (RouteEnterEscape(event, m_defaultCommand, m_cancelCommand)) return;
    QWidget::keyPressEvent(event);
}

}  // namespace velmorant
