#pragma once

#include "journal/JournalScreens.h"

namespace velmorant {

// The screens the program's journal starts: the document editor (its closing refreshes the
// journal), the exchange screen, the settings dialog and the About box.
JournalScreens ProgramScreens();

}  // namespace velmorant
