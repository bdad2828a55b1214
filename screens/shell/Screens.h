#pragma once

#include "screens/journal/JournalScreens.h"

namespace velmorant {

class Clock;
class ExchangeGuard;

// The screens the program's journal starts: the document editor (its closing refreshes the
// journal), the exchange screen, the settings dialog and the About box, the screens reading
// the time from `clock`, which outlives them. The exchange screens share `guard` (which
// outlives them too) with the automatic exchange; without one each keeps its own.
JournalScreens ProgramScreens(const Clock& clock, ExchangeGuard* guard = nullptr);

}  // namespace velmorant
