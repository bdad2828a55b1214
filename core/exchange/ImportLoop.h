#pragma once

#include "core/db/Dates.h"

namespace velmorant {

// The event loop as a running import sees it. The import stays on the thread that started it
// (the user-interface thread of the program); while the office's statements run it calls
// serve() every few tens of milliseconds, from between two statements or from inside the
// library between two steps of one, so that the program keeps painting and taking input and
// the person can stop the run (" Прервать ", Ctrl+C). The GUI's loop is the exchange screen's;
// velmorant-cli stops on SIGINT.
class ImportLoop {
public:
    virtual ~ImportLoop() = default;

    // The import starts (true) or has ended (false) running the answer's statements; in
    // between, the screen offers the person a way to stop it.
    virtual void running(bool on) = 0;
    // Serves the pending events briefly; true once the person asked to stop the import. It
    // must not start another exchange nor throw.
    virtual bool serve() = 0;
    // Takes the day's copy of base.sdb that a completed run owes (it has marked the copies
    // behind) to make between the program's other work, so that the run ends without waiting
    // for it; false: the run makes the copy at once.
    virtual bool copyDayLater(DateTime day) {
        (void)day;
        return false;
    }
};

}  // namespace velmorant
