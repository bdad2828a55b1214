#pragma once

// Timing helpers shared by the benchmarks.

#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <string>

#include "exchange/ExchangeScreen.h"

namespace velmorant::bench {

inline double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Processor time (user and system) of this process, and of its finished children.
inline double ownCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}
inline double childrenCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// An exchange screen with nowhere to show anything: the log keeps only its last entry (to
// explain a failed run), the progress bar is ignored, the folder chooser is cancelled.
class QuietScreen : public TExchangeScreen, public ExchangeProgress {
public:
    void AddLogLine(const std::string& text) override { last = text; }
    std::string ChooseFolder() override { return {}; }
    ExchangeProgress& progress() override { return *this; }
    const TAppOptions& options() const override { return appOptions; }
    void setRange(int, int) override {}
    void setValue(int) override {}
    void setVisible(bool) override {}

    std::string last;
    TAppOptions appOptions;
};

}  // namespace velmorant::bench
