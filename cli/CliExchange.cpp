// velmorant-cli export, import: the exchange through a folder, as the exchange screen's
// "Выгрузить" and "Загрузить" do it, with the settings stored in MY_OPTIONS.
#include "cli/CliCommand.h"
#include "cli/ConsoleExchangePort.h"
#include "cli/ConsoleImportLoop.h"
#include "core/db/Database.h"
#include "core/db/Notifier.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/Export.h"
#include "core/exchange/Import.h"

namespace velmorant::cli {
namespace {

const char* const kDatabaseFailed = "Ошибка при открытии БД.";

int runExport(const CliArgs& a) {
    if (!PrepareDatabase()) {
        notifier().message(kDatabaseFailed, MessageIcon::Error);
        return kExitFailed;
    }
    ConsoleExchangePort screen(a.args[0], LoadAppOptions(), a.clock);
    return ExportDocuments(screen, a.args[0]) ? kExitOk : kExitFailed;
}

int runImport(const CliArgs& a) {
    if (!PrepareDatabase()) {
        notifier().message(kDatabaseFailed, MessageIcon::Error);
        return kExitFailed;
    }
    ConsoleExchangePort screen(a.args[0], LoadAppOptions(), a.clock);
    ConsoleImportLoop loop;  // Ctrl+C stops the run: "Прервано.", exit code 1
    ImportHooks hooks;
    hooks.loop = &loop;
    return ImportScript(screen, a.args[0], hooks) ? kExitOk : kExitFailed;
}

const CliRegistration exportCommand({"export", "FOLDER", 1, 1, &runExport});
const CliRegistration importCommand({"import", "FOLDER", 1, 1, &runImport});

}  // namespace
}  // namespace velmorant::cli
