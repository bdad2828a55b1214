#pragma once

#include <string>
#include <vector>

#include "exchange/ExchangeScreen.h"

namespace velmorant::test {

// The exchange screen as the core sees it, recording what the core did to it: the texts of
// the log entries (without their time stamps), the progress bar and the two switches.
class ScreenRecorder : public TExchangeScreen, public ExchangeProgress {
public:
    void AddLogLine(const std::string& text) override { lines.push_back(text); }
    std::string ChooseFolder() override {
        ++folderQuestions;
        return chosenFolder;
    }
    ExchangeProgress& progress() override { return *this; }
    TAppOptions& options() override { return settings; }
    void setStartTimer(bool on) override { startTimer = on; }
    void setFtpCommandsEnabled(bool enabled) override { ftpCommandsEnabled = enabled; }

    void setRange(int minimum, int maximum) override {
        rangeMin = minimum;
        rangeMax = maximum;
    }
    void setValue(int value) override { progressValue = value; }
    void setVisible(bool visible) override { progressVisible = visible; }

    TAppOptions settings;
    std::vector<std::string> lines;
    std::string chosenFolder;
    int folderQuestions = 0;
    bool startTimer = false;
    bool ftpCommandsEnabled = false;
    int rangeMin = 0, rangeMax = 0, progressValue = 0;
    bool progressVisible = true;
};

}  // namespace velmorant::test
