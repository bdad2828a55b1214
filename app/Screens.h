#pragma once

namespace velmorant {

// Connects the journal to the screens it starts (journalHooks()): the document editor, the
// exchange screen and the settings dialog. Called once at start-up.
void InstallScreens();

}  // namespace velmorant
