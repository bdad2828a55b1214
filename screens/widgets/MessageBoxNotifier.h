#pragma once

#include <memory>

#include "core/db/Notifier.h"
#include "screens/widgets/ActiveWindowOrder.h"

class QWidget;

namespace velmorant {

// Shows the core's messages and questions as real message boxes (QMessageBox, objectName
// "messageBox"). A box carries the caption of the application's main window (the journal,
// MainWindow.h) and belongs to the window that asks: the active window of the program, or,
// while none is active (a window only just shown, another program in front), the program's
// window that was active last and is still shown, and only then the journal. So the window
// manager keeps the asking screen in front of the journal while the box is open and after
// it. Before the journal exists a box has no owner and an empty caption. Every box is
// brought to the front.
// Icons: None, Information, Warning, Error (stop) and Question map to QMessageBox's; buttons
// Ok, Yes+No, Yes+No+Cancel, Retry+Cancel. Closing a box without a button answers No for a
// Yes/No question, Cancel where Cancel is offered, Ok for a plain message.
class MessageBoxNotifier : public Notifier {
public:
    MessageBoxNotifier();
    ~MessageBoxNotifier() override;
    MessageBoxNotifier(const MessageBoxNotifier&) = delete;
    MessageBoxNotifier& operator=(const MessageBoxNotifier&) = delete;

    // The window a box asked now belongs to (nullptr before the journal exists).
    QWidget* askingWindow() const;

    MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;

private:
    std::unique_ptr<ActiveWindowOrder> m_active;
};

}  // namespace velmorant
