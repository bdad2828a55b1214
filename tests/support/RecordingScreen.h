#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/exchange/ExchangePort.h"
#include "support/FixedClock.h"

namespace velmorant::test {

// The exchange screen as the export, the import and the FTP transfer see it, without a
// window: records the log texts (without their time stamps) and the progress calls, answers
// the folder chooser with a preset folder and hands out the settings set in appOptions; its
// clock stands still at TestNow(). `onLine` (when set) sees every log text the moment it is
// added.
class RecordingScreen : public ExchangePort {
public:
    class RecordedProgress : public ExchangeProgress {
    public:
        void setRange(int low, int high) override {
            minimum = low;
            maximum = high;
        }
        void setValue(int v) override {
            value = v;
            values.push_back(v);
        }
        void setVisible(bool v) override { visible = v; }

        int minimum = -1;
        int maximum = -1;
        int value = -1;
        std::vector<int> values;  // every value set, in order
        bool visible = false;
    };

    void AddLogLine(const std::string& text) override {
        log.push_back(text);
        if (onLine) onLine(text);
    }
    const Clock& ExchangeClock() const override { return fixedClock; }
    std::string ChooseFolder() override {
        ++chooserCalls;
        return chosenFolder;
    }
    ExchangeProgress& Progress() override { return bar; }
    const TAppOptions& Options() const override { return appOptions; }

    std::vector<std::string> log;
    std::function<void(const std::string&)> onLine;
    FixedClock fixedClock;
    std::string chosenFolder;
    int chooserCalls = 0;
    RecordedProgress bar;
    TAppOptions appOptions;
};

}  // namespace velmorant::test
