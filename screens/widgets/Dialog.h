#pragma once

#include <QAction>
#include <QDialog>
#include <QPointer>

#include "screens/widgets/MenuBar.h"

namespace velmorant {

// The base of every modal screen: a client area (body) above a menu bar at the bottom.
// Its modal result is 1 when confirmed and 2 when cancelled: exec() returns one of them.
// Closing the window, Escape without a cancel command, reject() all give 2; accept() gives 1.
//
// Enter (Return or the keypad's Enter) that no control used itself triggers the default
// command; Escape triggers the cancel command (or cancels when there is none). A disabled
// command ignores the key.
class Dialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int Confirmed = 1;
    static constexpr int Cancelled = 2;

    explicit Dialog(QWidget* parent = nullptr);

    // The client area: screens place their controls here (by layout or by position).
    QWidget* body() const { return m_body; }
    MenuBar* menuBar() const { return m_menuBar; }

    // The command Enter triggers; it is shown bold only if the screen asks MenuBar for that.
    void setDefaultCommand(QAction* action) { m_defaultCommand = action; }
    QAction* defaultCommand() const { return m_defaultCommand; }
    // The command Escape triggers.
    void setCancelCommand(QAction* action) { m_cancelCommand = action; }
    QAction* cancelCommand() const { return m_cancelCommand; }

    // Ends the dialog: modal result 1 when confirmed, 2 otherwise.
    void closeDialog(bool confirmed) { done(confirmed ? Confirmed : Cancelled); }

    void accept() override { done(Confirmed); }
    void reject() override { done(Cancelled); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* m_body;
    MenuBar* m_menuBar;
    QPointer<QAction> m_defaultCommand;
    QPointer<QAction> m_cancelCommand;
};

// Routes Enter to `defaultCommand` and Escape to `cancelCommand`. Returns true when the key
// was one of them and a command took it.
bool RouteEnterEscape(QKeyEvent* event, QAction* defaultCommand, QAction* cancelCommand);

// Lays out a screen as every screen of the program looks: a client area (`body`, named
// "body") above the menu bar at the bottom. Used by Dialog and Form.
void BuildScreenLayout(QWidget* screen, QWidget*& body, MenuBar*& menuBar);

}  // namespace velmorant
