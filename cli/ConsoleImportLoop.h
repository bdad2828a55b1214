#pragma once

#include <signal.h>

#include "core/exchange/ImportLoop.h"

namespace velmorant::cli {

// The ImportLoop of velmorant-cli: there are no events to serve, and Ctrl+C (SIGINT) while the
// answer runs stops it as " Прервать " does. The handler is in place only while the import
// runs its statements; a second Ctrl+C ends the program as usual.
class ConsoleImportLoop : public ImportLoop {
public:
    ConsoleImportLoop() = default;
    ~ConsoleImportLoop() override;
    ConsoleImportLoop(const ConsoleImportLoop&) = delete;
    ConsoleImportLoop& operator=(const ConsoleImportLoop&) = delete;

    void running(bool on) override;
    bool serve() override;

private:
    struct sigaction m_previous {};
    bool m_installed = false;
};

}  // namespace velmorant::cli
