#pragma once

#include <string>

namespace velmorant {

// How a message box looks: the icon it carries and the buttons it offers.
enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, YesNo, YesNoCancel, RetryCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel, Retry };

// The port through which the core shows message boxes and asks questions. The core never
// talks to a window itself: the GUI installs an implementation with real message boxes, the
// command-line companion one that prints to stderr, tests one that records and answers.
// Called from the user-interface thread only.
class Notifier {
public:
    virtual ~Notifier() = default;

    // Shows one box with the given text, icon and buttons and returns the button chosen.
    virtual MessageAnswer show(const std::string& text, MessageIcon icon,
                               MessageButtons buttons) = 0;

    // A box with an OK button.
    void message(const std::string& text, MessageIcon icon = MessageIcon::None) {
        show(text, icon, MessageButtons::Ok);
    }
    // A Yes/No question with the question icon; true for Yes.
    bool ask(const std::string& question) {
        return show(question, MessageIcon::Question, MessageButtons::YesNo) == MessageAnswer::Yes;
    }
};

// The notifier the core uses. One of the three globals of the program (with the program folder
// and the database path): a failure anywhere in the core, however deep, is shown to the
// person, and the program has exactly one person to show it to. Never null: before anyone
// installs one, messages go to stderr and questions are answered No (Cancel for
// Retry/Cancel); velmorant-cli keeps that default.
Notifier& notifier();

// Installs a notifier (not owned; it must outlive its use) and returns the previous one.
// Passing nullptr restores the stderr default. RunProgram installs the message boxes; tests
// install test::RecordingNotifier (which restores the previous one when it goes).
Notifier* setNotifier(Notifier* n);

// The answer to a box that nobody sees: OK to a message, No to a question, Cancel where
// that is an answer.
MessageAnswer UnattendedAnswer(MessageButtons buttons);

// Prints every box as one line on stderr and answers as UnattendedAnswer().
class StderrNotifier : public Notifier {
public:
    MessageAnswer show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;
};

}  // namespace velmorant
