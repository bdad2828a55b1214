#pragma once

#include <string>

#include "core/exchange/AppOptions.h"

namespace velmorant {

class Clock;

// The progress bar of the exchange screen, as the export, the import and the transfer see it.
class ExchangeProgress {
public:
    virtual ~ExchangeProgress() = default;
    virtual void setRange(int minimum, int maximum) = 0;
    virtual void setValue(int value) = 0;
    virtual void setVisible(bool visible) = 0;
};

// A progress bar with nowhere to be drawn (the console, a check, a benchmark).
class NoProgress : public ExchangeProgress {
public:
    void setRange(int, int) override {}
    void setValue(int) override {}
    void setVisible(bool) override {}
};

// The port through which the export, the import and the FTP transfer reach the screen that
// drives them: its log, its clock, its folder chooser, its progress bar and the settings it
// was given (LoadAppOptions reads them; the screen keeps them, the core only reads them). The GUI's
// exchange screen implements it; velmorant-cli has a console implementation.
class ExchangePort {
public:
    virtual ~ExchangePort() = default;

    // Appends one time-stamped entry ("HH:mm:ss text") to the exchange log.
    virtual void AddLogLine(const std::string& text) = 0;
    // The clock of the exchange: it stamps the log, dates the export and the load.
    virtual const Clock& ExchangeClock() const = 0;
    // Lets the user pick a folder; empty text when cancelled.
    virtual std::string ChooseFolder() = 0;
    // The progress bar: the one place the export and the import report their progress to.
    virtual ExchangeProgress& Progress() = 0;
    virtual const TAppOptions& Options() const = 0;
};

}  // namespace velmorant
