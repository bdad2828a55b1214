#pragma once

#include <functional>
#include <string>
#include <vector>

#include "exchange/ExchangeScreen.h"
#include "support/FixedClock.h"

namespace velmorant::test {

// The exchange screen as the core sees it, recording what the core did to it: the texts of
// the log entries (without their time stamps) and the progress bar. `onLine` (when set) sees
// every entry the moment it is added.
class ScreenRecorder : public TExchangeScreen, public ExchangeProgress {
public:
    void AddLogLine(const std::string& text) override {
        lines.push_back(text);
        if (onLine) onLine(text);
    }
    const Clock& clock() const override { return fixedClock; }
    std::string ChooseFolder() override {
        ++folderQuestions;
        return chosenFolder;
    }
    ExchangeProgress& progress() override { return *this; }
    const TAppOptions& options() const override { return settings; }

    void setRange(int minimum, int maximum) override {
        rangeMin = minimum;
        rangeMax = maximum;
    }
    void setValue(int value) override {
        progressValue = value;
        progressValues.push_back(value);
    }
    void setVisible(bool visible) override { progressVisible = visible; }

    TAppOptions settings;
    FixedClock fixedClock;
    std::vector<std::string> lines;
    std::string chosenFolder;
    int folderQuestions = 0;
    int rangeMin = 0, rangeMax = 0, progressValue = 0;
    std::vector<int> progressValues;  // every value set, in order
    std::function<void(const std::string&)> onLine;
    bool progressVisible = true;
};

}  // namespace velmorant::test
