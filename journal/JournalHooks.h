#pragma once

#include <QWidget>

#include <functional>
#include <string>

namespace velmorant {

class JournalWindow;

// The screens the journal starts but does not own. Start-up code fills them in (see
// app/Screens.cpp); the journal reads them at the moment of each action, so they may be set
// before or after the journal is created. An empty hook makes its menu entry do nothing.
struct JournalHooks {
    // Creates the document editor, hidden, on the document `guid` (empty text: a new
    // document) and returns it; the journal shows it as an ordinary non-modal window, keeps
    // a reference to it, and does not reload. The editor calls journal.refresh() when it
    // closes. Return nullptr when there is nothing to show.
    std::function<QWidget*(JournalWindow& journal, const std::string& guid)> createEditor;

    // Creates the exchange screen, hidden, with the journal as parent; the journal shows it
    // non-modally and does not reload afterwards.
    std::function<QWidget*(JournalWindow& journal)> createExchangeScreen;

    // Runs the settings dialog modally over `parent`; its result is not used.
    std::function<void(QWidget* parent)> runSettings;
};

// The hooks every journal uses.
JournalHooks& journalHooks();

}  // namespace velmorant
