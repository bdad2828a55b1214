// velmorant-cli init, option: prepare the database, read one setting.
#include <cstdio>
#include <string>

#include "cli/CliCommand.h"
#include "core/db/Database.h"
#include "core/db/Notifier.h"
#include "core/db/Options.h"

namespace velmorant::cli {
namespace {

int runInit(const CliArgs&) {
    if (!PrepareDatabase()) {
        notifier().message("Ошибка при открытии БД.", MessageIcon::Error);
        return kExitFailed;
    }
    return kExitOk;
}

// An option name goes into the statement as it is, between double quotes: a name that
// could end that text or start another statement is refused before any SQL runs.
bool optionNameAllowed(const std::string& name) {
    for (const char c : name) {
        const auto code = static_cast<unsigned char>(c);
        if (c == '"' || c == ';' || code < 32 || code == 127) return false;
    }
    return true;
}

int runOption(const CliArgs& a) {
    if (!optionNameAllowed(a.args[0])) {
        std::fprintf(stderr,
                     "velmorant-cli: an option name must not hold a double quote, a semicolon or "
                     "a control character\n");
        return kExitUsage;
    }
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
