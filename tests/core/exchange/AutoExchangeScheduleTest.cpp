// When the automatic exchange runs, and what the journal's line says about it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/db/Clock.h"
#include "core/exchange/AutoExchangeSchedule.h"
#include "core/exchange/ExchangeStatus.h"
#include "support/FixedClock.h"

namespace velmorant {
namespace {

using std::chrono::milliseconds;

class ManualClock : public MonotonicClock {
public:
    milliseconds Elapsed() const override { return m_now; }
    void advance(long ms) { m_now += milliseconds(ms); }

private:
    milliseconds m_now{1000000};
};

// One step of a day: what happens (with the minute 1000 ms, the quiet time 100 ms), then
// whether a run should start.
struct Step {
    long advanceMs;
    std::string event;  // "", "saved", "online", "input", "ok", "fail", "period:N", "busy"
    bool startsWhenIdle;
};

TEST(AutoExchangeSchedule, RunsOnItsTimesAndBacksOffAfterFailures) {
    struct Case {
        const char* name;
        int period;
        std::vector<Step> steps;
    };
    const std::vector<Case> cases = {
        {"off: nothing ever runs", 0, {{0, "saved", false}, {10000, "online", false}}},
        {"the first run a minute after switching on, then every period",
         5,
         {{999, "", false}, {1, "", true}, {0, "ok", false}, {4999, "", false}, {1, "", true}}},
        {"a saved document brings the run forward to a minute",
         30,
         {{1000, "ok", false}, {2000, "saved", false}, {999, "", false}, {1, "", true}}},
        {"the agent's input holds the run back until the screen is quiet",
         5,
         {{1000, "input", false}, {99, "", false}, {1, "", true}}},
        {"failures pause 1, 2, 4 minutes, at most the period; success ends that",
         5,
         {{1000, "fail", false},
          {999, "", false},
          {1, "fail", false},
          {1999, "", false},
          {1, "fail", false},
          {3999, "", false},
          {1, "fail", false},  // 8 minutes would pass the period of 5
          {4999, "", false},
          {1, "ok", false},
          {4999, "", false},
          {1, "", true}}},
        {"a saved document does not cut a failure's pause short",
         20,
         {{1000, "fail", false},
          {1000, "fail", false},
          {0, "saved", false},
          {1000, "", false},
          {999, "", false},
          {1, "", true}}},
        {"the network coming back ends the pause at once",
         20,
         {{1000, "fail", false}, {1000, "fail", false}, {500, "online", true}}},
        {"a shorter period brings the next run forward",
         60,
         {{1000, "ok", false}, {1000, "period:2", false}, {1999, "", false}, {1, "", true}}},
        {"switched off and on: a fresh start a minute later",
         5,
         {{1000, "fail", false},
          {1000, "fail", false},
          {0, "period:0", false},
          {0, "period:5", false},
          {999, "", false},
          {1, "", true}}},
        {"never while the screen is busy", 5, {{1000, "busy", false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock clock;
        AutoExchangeSchedule schedule(clock, {milliseconds(1000), milliseconds(100)});
        schedule.SetPeriod(c.period);
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            SCOPED_TRACE("step " + std::to_string(i));
            clock.advance(s.advanceMs);
            bool idle = true;
            if (s.event == "saved") schedule.DocumentSaved();
            if (s.event == "online") schedule.NetworkOnline();
            if (s.event == "input") schedule.InputSeen();
            if (s.event == "ok" || s.event == "fail") {
                ASSERT_TRUE(schedule.ShouldStart(true)) << "a run ends that never started";
                schedule.Finished(s.event == "ok");
            }
            if (s.event.rfind("period:", 0) == 0) schedule.SetPeriod(std::stoi(s.event.substr(7)));
            if (s.event == "busy") {
                idle = false;
                EXPECT_TRUE(schedule.ShouldStart(true));
            }
            EXPECT_EQ(schedule.ShouldStart(idle), s.startsWhenIdle);
        }
    }
}

TEST(ExchangeStatusLine, SaysWhereTheExchangeStands) {
    const DateTime at = test::TestNow();  // 10:20:30
    struct Case {
        LastExchangeRun last;
        int waiting;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{}, 0, ""},
        {{}, -1, ""},
        {{}, 2, "Ждут отправки: 2"},
        {{true, at, true, 3, ""}, 0, "Обмен 10:20 — отправлено 3"},
        {{true, at, true, 3, ""}, 1, "Ждут отправки: 1"},
        {{true, at, false, 0, "Сбой связи."}, 4, "Обмен 10:20: Сбой связи."},
        {{true, at, false, 0, ""}, 0, "Обмен 10:20: ошибка."},
    };
    for (const Case& c : cases) EXPECT_EQ(ExchangeStatusLine(c.last, c.waiting), c.line);
}

}  // namespace
}  // namespace velmorant
