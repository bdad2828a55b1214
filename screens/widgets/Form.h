#pragma once

#include <QAction>
#include <QPointer>
#include <QWidget>

#include "screens/widgets/MenuBar.h"

namespace velmorant {

// The base of an ordinary (non-modal) top-level screen: a client area above a menu bar at
// the bottom, with Enter and Escape routed to a default and a cancel command like Dialog.
class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);

    QWidget* body() const { return m_body; }
    MenuBar* menuBar() const { return m_menuBar; }

    void setDefaultCommand(QAction* action) { m_defaultCommand = action; }
    QAction* defaultCommand() const { return m_defaultCommand; }
    void setCancelCommand(QAction* action) { m_cancelCommand = action; }
    QAction* cancelCommand() const { return m_cancelCommand; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* m_body;
    MenuBar* m_menuBar;
    QPointer<QAction> m_defaultCommand;
    QPointer<QAction> m_cancelCommand;
};

}  // namespace velmorant
