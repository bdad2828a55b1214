#pragma once

#include "core/db/Notifier.h"

namespace velmorant {

// Shows the core's messages and questions as real message boxes (QMessageBox, objectName
// "messageBox"). A box belongs to the application's main window (the journal,
// ui/MainWindow.h) and carries its caption; before it exists a box has no owner and an empty
// caption. Every box is brought to the front.
// Icons: None, Information, Warning, Error (stop) and Question map to QMessageBox's; buttons
// Ok, Yes+No, Yes+No+Cancel, Retry+Cancel. Closing a box without a button answers No for a
// Yes/No question, Cancel where Cancel is offered, Ok for a plain message.
class MessageBoxNotifier : public Notifier {
public:
    MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;
};

}  // namespace velmorant
