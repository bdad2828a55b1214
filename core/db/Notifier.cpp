#include "core/db/Notifier.h"

#include <cstdio>

namespace velmorant {

namespace {
StderrNotifier g_stderrNotifier;
Notifier* g_notifier = &g_stderrNotifier;
}  // namespace

Notifier& notifier() { return *g_notifier; }

Notifier* setNotifier(Notifier* n) {
    Notifier* previous = g_notifier;
    g_notifier = n ? n : &g_stderrNotifier;
    return previous;
}

MessageAnswer StderrNotifier::show(const std::string& text, MessageIcon, MessageButtons buttons) {
    // One box, one line: line breaks inside the text become blanks.
    std::string line = text;
    for (char& c : line) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    std::fprintf(stderr, "%s\n", line.c_str());
    return UnattendedAnswer(buttons);
}

MessageAnswer UnattendedAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            return MessageAnswer::Ok;
        case MessageButtons::YesNo:
            return MessageAnswer::No;
        case MessageButtons::YesNoCancel:
        case MessageButtons::RetryCancel:
            return MessageAnswer::Cancel;
    }
    return MessageAnswer::Cancel;
}

}  // namespace velmorant
