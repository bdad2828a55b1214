#include "app/Screens.h"

#include "documents/DocumentEditor.h"
#include "journal/JournalHooks.h"

namespace velmorant {

void InstallScreens() {
    JournalHooks& hooks = journalHooks();
    // Each screen fills in its hook here, for example:
    //   hooks.createEditor = [](JournalWindow& journal, const std::string& guid) {
    //       return CreateDocumentEditor(journal, guid);  // hidden; the journal shows it
    //   };
    //   hooks.createExchangeScreen = [](JournalWindow& journal) { ... };
    //   hooks.runSettings = [](QWidget* parent) { RunSettingsDialog(parent); };
    hooks.createEditor = [](JournalWindow& journal, const std::string& guid) {
        return CreateDocumentEditor(journal, guid);
    };
    (void)hooks;
}

}  // namespace velmorant
