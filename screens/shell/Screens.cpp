#include "screens/shell/Screens.h"

#include <QPointer>

#include "screens/shell/AboutBox.h"
#include "screens/documents/DocumentEditor.h"
#include "screens/exchange/ExchangeScreen.h"
#include "screens/exchange/SettingsDialog.h"
#include "screens/journal/JournalWindow.h"

namespace velmorant {

JournalScreens ProgramScreens(const Clock& clock) {
    JournalScreens screens;
    screens.createEditor = [&clock](JournalWindow& journal, const std::string& guid) -> QWidget* {
        // Refreshes only a journal that still exists when the editor closes.
        QPointer<JournalWindow> owner(&journal);
        return CreateDocumentEditor(journal, guid, clock, [owner] {
            if (owner) owner->refresh();
        });
    };
    screens.createDraftEditor = [&clock](JournalWindow& journal, const TDocHead& draft,
                                         const std::string& clientInfo) -> QWidget* {
        QPointer<JournalWindow> owner(&journal);
        return CreateDraftEditor(journal, draft, clientInfo, clock, [owner] {
            if (owner) owner->refresh();
        });
    };
    screens.createExchangeScreen = [&clock](JournalWindow& journal) -> QWidget* {
        return new ExchangeScreen(clock, &journal);  // hidden; closes and frees itself
    };
    screens.runSettings = [](QWidget* parent) { RunSettingsDialog(parent); };
    screens.runAbout = [](QWidget* parent) { RunAboutBox(parent); };
    return screens;
}

}  // namespace velmorant
