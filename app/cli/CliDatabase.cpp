// velmorant-cli init, option: prepare the database, read one setting.
#include <cstdio>

#include "app/cli/CliCommand.h"
#include "db/Database.h"
#include "db/Notifier.h"
#include "db/Options.h"

namespace velmorant::cli {
namespace {

int runInit(const CliArgs&) {
    if (!PrepareDatabase()) {
        notifier().message("Ошибка при открытии БД.", MessageIcon::Error);
        return kExitFailed;
    }
    return kExitOk;
}

int runOption(const CliArgs& a) {
    if (!PrepareDatabase()) {
        notifier().message("Ошибка при открытии БД.", MessageIcon::Error);
        return kExitFailed;
    }
    const std::string def = a.args.size() > 1 ? a.args[1] : std::string();
    std::printf("%s\n", GetOption(a.args[0], def).c_str());
    return kExitOk;
}

const CliRegistration initCommand({"init", "", 0, 0, &runInit});
const CliRegistration optionCommand({"option", "NAME [DEFAULT]", 1, 2, &runOption});

}  // namespace
}  // namespace velmorant::cli
