#include "screens/widgets/Form.h"

#include <QKeyEvent>

#include "screens/widgets/Dialog.h"

namespace velmorant {

Form::Form(QWidget* parent) : QWidget(parent, Qt::Window) {
    BuildScreenLayout(this, m_body, m_menuBar);
}

void Form::keyPressEvent(QKeyEvent* event) {
    if (RouteEnterEscape(event, m_defaultCommand, m_cancelCommand)) return;
    QWidget::keyPressEvent(event);
}

}  // namespace velmorant
