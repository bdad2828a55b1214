#pragma once

#include <cstdio>
#include <string>

#include "core/exchange/ExchangePort.h"

namespace velmorant::cli {

// The exchange screen of velmorant-cli: log entries go to stdout as "HH:mm:ss text" (an entry
// holding line breaks takes several lines), message boxes go through the console notifier
// (stderr), and the folder "chosen" is the one given on the command line. It runs with the
// settings it is given (LoadAppOptions()); there is no timer and there are no menu commands.
class ConsoleExchangePort : public ExchangePort {
public:
    // `clock` outlives the screen.
    ConsoleExchangePort(std::string folder, TAppOptions options, const Clock& clock,
                        std::FILE* log = stdout);

    void AddLogLine(const std::string& text) override;
    const Clock& ExchangeClock() const override { return m_clock; }
    std::string ChooseFolder() override { return m_folder; }
    ExchangeProgress& Progress() override { return m_progress; }
    const TAppOptions& Options() const override { return m_options; }

private:
    std::string m_folder;
    const Clock& m_clock;
    std::FILE* m_log;
    NoProgress m_progress;  // a console has no progress bar to draw
    TAppOptions m_options;
};

}  // namespace velmorant::cli
