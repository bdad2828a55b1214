#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <vector>

#include "core/journal/OfficeMessages.h"
#include "screens/widgets/Dialog.h"

namespace velmorant {

// "Сообщения": the office's messages of MY_MESSAGES, newest first, one row each with its
// title and, under it, its date; unread ones in bold. Opening one ("[ Открыть ]", Enter or a
// double tap) shows its whole text and marks it read (IS_NEW = 0). A full screen over its
// owner; modal result 2 when closed. User-interface thread only.
class MessagesDialog : public Dialog {
    Q_OBJECT
public:
    explicit MessagesDialog(QWidget* owner = nullptr);

    // Reads the messages again and lists them.
    void fill();
    // Opens the selected message, if any.
    void openSelected();

    QTreeWidget* list() const { return m_list; }
    const std::vector<OfficeMessage>& messages() const { return m_messages; }

private:
    void showRow(int row);

    QTreeWidget* m_list;
    QLabel* m_empty;
    std::vector<OfficeMessage> m_messages;
};

// One message: its title, its date and its whole text. "[ Закрыть ]", Enter or Escape close it.
class MessageView : public Dialog {
    Q_OBJECT
public:
    explicit MessageView(const OfficeMessage& message, QWidget* owner = nullptr);

    QLabel* title() const { return m_title; }
    QPlainTextEdit* text() const { return m_text; }

private:
    QLabel* m_title;
    QPlainTextEdit* m_text;
};

// Shows the messages over `owner` until the agent closes them.
void RunMessagesDialog(QWidget* owner);

}  // namespace velmorant
