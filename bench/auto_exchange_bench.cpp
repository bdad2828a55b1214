// The automatic exchange and the event loop. A hidden exchange screen runs the whole
// exchange as the automatic exchange runs it (RunAutomaticExchange: the export, the upload,
// the download of a 20 MB answer from a loopback FTP server and its import of 250 000 rows)
// while a timer of 1 ms probes Qt's event loop: the longest gap between two of its ticks is
// the longest time in which the agent's tap or a repaint could not have been served (goal:
// under 100 ms). The reference is the same exchange run by `velmorant-cli sync` in a process
// of its own, on an equal database, in the same run: the ratio of the wall-clock times tells
// what serving the loop costs.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/BenchSupport.h"
#include "core/db/Clock.h"
#include "core/db/Database.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "screens/exchange/ExchangeScreen.h"

using namespace velmorant;

namespace {

namespace fs = std::filesystem;

constexpr int kRows = 250000;

void writeAnswer(const fs::path& file) {
    std::string script =
        "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n<REPEAT \"insert into SPR_GOODS (GUID, ID, "
        "ROOTID, IS_FOLDER, IS_DELETED, ANAME, UNAME, PRICE) values ('%1', %2, %3, 0, 0, '%4', "
        "'%UPPER(%4)', %5)\">\r\n";
    for (int n = 0; n < kRows; ++n) {
        char guid[40];
        std::snprintf(guid, sizeof guid, "%08X-0000-4000-8000-%012X", n, n * 7919);
        script += std::string(guid) + "\t" + std::to_string(n) + "\t" + std::to_string(n / 50) +
                  "\tТовар номер " + std::to_string(n) + " из каталога офиса\t" +
                  std::to_string(n % 5000) + ".50\r\n";
    }
    script += "</REPEAT>\r\n";
    std::ofstream(file, std::ios::binary) << Utf8ToCp1251(script);
}

// A program folder with a fresh base.sdb that exchanges with the server on `port`.
bool prepare(const fs::path& home, int port) {
    fs::remove_all(home);
    fs::create_directories(home / "exchange");
    SetProgramFolder(home.string() + "/");
    if (!PrepareDatabase()) return false;
    auto q = TQueryResult::Create(DatabasePath(), true);
    return q && q->Exec("delete from MY_OPTIONS") &&
           q->Exec(
               "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('UseFTP', '1'), "
               "('FTPAddress', '127.0.0.1'), ('FTPPort', '" +
               std::to_string(port) + "')");
}

long long goods() {
    auto q = Query("select count(*) as N from SPR_GOODS");
    if (!q || q->RowCount() == 0) return -1;
    q->First();
    return std::atoll(q->Value("N", "").c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    char rootTemplate[] = "/tmp/velmorant-auto-bench-XXXXXX";
    if (!::mkdtemp(rootTemplate)) return 1;
    const fs::path work = rootTemplate;
    fs::create_directories(work / "server");
    writeAnswer(work / "server" / "ToPDA.sqd");
    const double megabytes =
        static_cast<double>(fs::file_size(work / "server" / "ToPDA.sqd")) / (1024.0 * 1024.0);
    bench::LocalFtpServer server(work / "server", work / "server.log");

    // The automatic exchange on Qt's loop, probed.
    if (!prepare(work / "gui", server.port())) return 1;
    const SystemClock clock;
    ExchangeScreen screen(clock);
    QElapsedTimer probeClock;
    qint64 last = -1, longest = 0;
    long ticks = 0;
    QString longestAfter;  // the log entry the longest gap came after
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    const auto measure = [&] {
        const qint64 now = probeClock.nsecsElapsed();
        if (last >= 0 && now - last > longest) {
            longest = now - last;
            const QString log = screen.log()->toPlainText();
            longestAfter = log.mid(log.lastIndexOf(QLatin1Char('\n')) + 1);
        }
        last = now;
    };
    QObject::connect(&probe, &QTimer::timeout, [&] {
        measure();
        ++ticks;
    });
    const auto started = std::chrono::steady_clock::now();
    probeClock.start();
    probe.start();
    const ExchangeScreen::AutomaticRun run = screen.RunAutomaticExchange();
    measure();  // the stretch from the last tick to the run's return is a gap too
    probe.stop();
    const double guiSeconds = bench::seconds(started);
    const long long guiGoods = goods();

    // The same exchange without a loop to serve: velmorant-cli sync.
    if (!prepare(work / "cli", server.port())) return 1;
    const bench::ChildRun cli =
        bench::runProgram({VELMORANT_CLI_PATH, "--home", (work / "cli").string(), "sync"});
    const long long cliGoods = goods();

    std::printf("automatic exchange of a %.1f MB answer (%d rows): %s, %lld goods, %.2f s\n",
                megabytes, kRows, run.ok ? "ok" : ("failed: " + run.lastMessage).c_str(), guiGoods,
                guiSeconds);
    std::printf("  longest event-loop gap: %.1f ms (goal < 100 ms), %ld ticks of 1 ms\n",
                static_cast<double>(longest) / 1e6, ticks);
    std::printf("  the longest gap ended with the log at: %s\n", qPrintable(longestAfter));
    std::printf("velmorant-cli sync, same answer: %lld goods, %.2f s\n", cliGoods, cli.wall);
    std::printf("ratio automatic/sync wall time: %.2f\n",
                cli.wall > 0 ? guiSeconds / cli.wall : 0.0);
    fs::remove_all(work);
    return run.ok && guiGoods == kRows && cliGoods == kRows ? 0 : 1;
}
