// velmorant-cli send, fetch, sync: the exchange over FTP as the exchange screen's
// "FTP - отправить" (without the question that follows it) and "FTP - получить" run it, and
// both in a row as the automatic exchange runs them (sync: the answer is fetched only when
// the upload worked), with the settings stored in MY_OPTIONS. For a cron job or a timer on a
// device without the window. The exchange log goes to stdout line by line as the steps
// happen, message boxes to stderr; the exit code is 0 when the operation returned true.
//
// Ctrl+C during a transfer stops it as " Прервать " does ("Прервано.", exit code 1); a second
// Ctrl+C, or one at another moment, ends the program as usual.
#include <signal.h>

#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/ConsoleExchangePort.h"
#include "cli/ConsoleImportLoop.h"
#include "core/db/Database.h"
#include "core/db/Notifier.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/FtpExchange.h"
#include "core/exchange/PollTransferLoop.h"

namespace velmorant::cli {
namespace {

const char* const kDatabaseFailed = "Ошибка при открытии БД.";

template <typename Operation>
int runFtp(const CliArgs& a, Operation operation) {
    if (!PrepareDatabase()) {
        notifier().message(kDatabaseFailed, MessageIcon::Error);
        return kExitFailed;
    }
    ConsoleExchangePort screen(ExchangeFolder(), LoadAppOptions(), a.clock);
    if (!screen.Options().UseFTP) {
        // The screen would only keep its FTP commands disabled; say why here.
        std::fprintf(stderr,
                     "velmorant-cli: FTP is off: the options UseFTP (\"1\") and FTPAddress "
                     "must be set\n");
        return kExitFailed;
    }
    PollTransferLoop loop({SIGINT});
    return operation(screen, loop) ? kExitOk : kExitFailed;
}

int runSend(const CliArgs& a) { return runFtp(a, &SendByFtp); }
int runFetch(const CliArgs& a) {
    return runFtp(a, [](ExchangePort& screen, TransferLoop& loop) {
        ConsoleImportLoop importLoop;  // Ctrl+C stops the import that follows the download
        return FetchByFtp(screen, loop, &importLoop);
    });
}

int runSync(const CliArgs& a) {
    return runFtp(a, [](ExchangePort& screen, TransferLoop& loop) {
        if (!SendByFtp(screen, loop)) return false;
        ConsoleImportLoop importLoop;
        return FetchByFtp(screen, loop, &importLoop);
    });
}

const CliRegistration sendCommand({"send", "", 0, 0, &runSend});
const CliRegistration fetchCommand({"fetch", "", 0, 0, &runFetch});
const CliRegistration syncCommand({"sync", "", 0, 0, &runSync});

}  // namespace
}  // namespace velmorant::cli
