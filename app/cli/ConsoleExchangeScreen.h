#pragma once

#include <cstdio>
#include <string>

#include "exchange/ExchangeScreen.h"

namespace velmorant::cli {

// The exchange screen of velmorant-cli: log entries go to stdout as "HH:mm:ss text" (an entry
// holding line breaks takes several lines), message boxes go through the console notifier
// (stderr), and the folder "chosen" is the one given on the command line. There is no timer
// and there are no menu commands; their state is only remembered.
class ConsoleExchangeScreen : public TExchangeScreen {
public:
    explicit ConsoleExchangeScreen(std::string folder, std::FILE* log = stdout);

    void AddLogLine(const std::string& text) override;
    std::string ChooseFolder() override { return m_folder; }
    ExchangeProgress& progress() override { return m_progress; }
    TAppOptions& options() override { return m_options; }
    void setStartTimer(bool on) override { m_startTimer = on; }
    void setFtpCommandsEnabled(bool enabled) override { m_ftpCommandsEnabled = enabled; }

    bool startTimerOn() const { return m_startTimer; }
    bool ftpCommandsEnabled() const { return m_ftpCommandsEnabled; }
    // The text of the last entry, without its time stamp.
    const std::string& lastLine() const { return m_lastLine; }

private:
    // A console has no progress bar to draw.
    class SilentProgress : public ExchangeProgress {
    public:
        void setRange(int, int) override {}
        void setValue(int) override {}
        void setVisible(bool) override {}
    };

    std::string m_folder;
    std::FILE* m_log;
    SilentProgress m_progress;
    TAppOptions m_options;
    bool m_startTimer = false;
    bool m_ftpCommandsEnabled = false;
    std::string m_lastLine;
};

}  // namespace velmorant::cli
