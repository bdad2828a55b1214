#pragma once

#include "screens/journal/JournalScreens.h"

namespace velmorant {

class Clock;

// The screens the program's journal starts: the document editor (its closing refreshes the
// journal), the exchange screen, the settings dialog and the About box, the screens reading
// the time from `clock`, which outlives them.
JournalScreens ProgramScreens(const Clock& clock);

}  // namespace velmorant
