#pragma once

#include <string>
#include <vector>

#include "db/QueryResult.h"
#include "exchange/ExchangeScreen.h"
#include "support/FixedClock.h"

namespace velmorant::test {

// The exchange screen as the export and the import see it, without a window: records the
// log texts and the progress calls, answers the folder chooser with a preset folder; its
// clock stands still at TestNow().
class RecordingScreen : public TExchangeScreen {
public:
    class Progress : public ExchangeProgress {
    public:
        void setRange(int minimum, int maximum) override {
            this->minimum = minimum;
            this->maximum = maximum;
        }
        void setValue(int v) override {
            value = v;
            ++valueCalls;
        }
        void setVisible(bool v) override { visible = v; }

        int minimum = -1;
        int maximum = -1;
        int value = -1;
        int valueCalls = 0;
        bool visible = false;
    };

    void AddLogLine(const std::string& text) override { log.push_back(text); }
    const Clock& clock() const override { return fixedClock; }
    std::string ChooseFolder() override {
        ++chooserCalls;
        return chosenFolder;
    }
    ExchangeProgress& progress() override { return bar; }
    const TAppOptions& options() const override { return appOptions; }

    std::vector<std::string> log;
    FixedClock fixedClock;
    std::string chosenFolder;
    int chooserCalls = 0;
    Progress bar;
    TAppOptions appOptions;
};

// Runs statements on the global database; throws when one fails, which fails the test.
void execSql(const std::vector<std::string>& statements);
// The rows of a query, each as its cells joined by "|".
std::vector<std::string> rowsOf(const std::string& sql);

}  // namespace velmorant::test
