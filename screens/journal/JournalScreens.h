#pragma once

#include <QWidget>

#include <functional>
#include <string>

#include "core/documents/Document.h"

namespace velmorant {

class JournalWindow;

// The screens the journal starts but does not own, handed to it when it is created (the
// program's own set is ProgramScreens(clock) in app/Screens.h; tests pass their own). An empty
// entry makes its menu command do nothing.
struct JournalScreens {
    // Creates the document editor, hidden, on the document `guid` (empty text: a new
    // document) and returns it; the journal shows it as an ordinary non-modal window, keeps
    // a reference to it, and does not reload. The editor calls journal.refresh() when it
    // closes. Return nullptr when there is nothing to show.
    std::function<QWidget*(JournalWindow& journal, const std::string& guid)> createEditor;

    // Creates the document editor, hidden, on `draft`, a new document not stored yet (a
    // repeated order), with the client's information `clientInfo`; shown and kept like the
    // editor above.
    std::function<QWidget*(JournalWindow& journal, const TDocHead& draft,
                           const std::string& clientInfo)>
        createDraftEditor;

    // Creates the exchange screen, hidden, with the journal as parent; the journal shows it
    // non-modally and does not reload afterwards.
    std::function<QWidget*(JournalWindow& journal)> createExchangeScreen;

    // Runs the settings dialog modally over `parent`; its result is not used.
    std::function<void(QWidget* parent)> runSettings;

    // Runs the About box modally over `parent`.
    std::function<void(QWidget* parent)> runAbout;
};

}  // namespace velmorant
