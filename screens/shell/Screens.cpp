#include "screens/shell/Screens.h"

#include <QPointer>

#include "screens/documents/DocumentEditor.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/exchange/SettingsDialog.h"
#include "screens/journal/JournalWindow.h"
#include "screens/shell/AboutBox.h"

namespace velmorant {

JournalScreens ProgramScreens(const Clock& clock, ExchangeGuard* guard) {
    JournalScreens screens;
    screens.createEditor = [&clock](JournalWindow& journal, const std::string& guid) -> QWidget* {
        // Refreshes only a journal that still exists when the editor closes.
        QPointer<JournalWindow> owner(&journal);
        return CreateDocumentEditor(journal, guid, clock, [owner](const std::string& saved) {
            if (owner) owner->refresh(saved);
        });
    };
    screens.createDraftEditor = [&clock](JournalWindow& journal, const TDocHead& draft,
                                         const std::string& clientInfo) -> QWidget* {
        QPointer<JournalWindow> owner(&journal);
        return CreateDraftEditor(journal, draft, clientInfo, clock,
                                 [owner](const std::string& saved) {
                                     if (owner) owner->refresh(saved);
                                 });
    };
    screens.createExchangeScreen = [&clock, guard](JournalWindow& journal) -> QWidget* {
        return new ExchangeScreen(clock, &journal, guard);  // hidden; closes and frees itself
    };
    screens.runSettings = [](QWidget* parent) { RunSettingsDialog(parent); };
    screens.runAbout = [](QWidget* parent) { RunAboutBox(parent); };
    return screens;
}

}  // namespace velmorant
