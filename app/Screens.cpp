#include "app/Screens.h"

#include "documents/DocumentEditor.h"
#include "exchange/ExchangeScreenForm.h"
#include "exchange/SettingsDialog.h"
#include "journal/JournalHooks.h"
#include "journal/JournalWindow.h"

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
    hooks.createExchangeScreen = [](JournalWindow& journal) -> QWidget* {
        return new ExchangeScreenForm(&journal);  // hidden; closes and frees itself
    };
    hooks.runSettings = [](QWidget* parent) { RunSettingsDialog(parent); };
    (void)hooks;
}

}  // namespace velmorant
