// velmorant-cli: the headless companion of the order-taking program, for support staff,
// scripts and benchmarks. Every text that the GUI would show in a message box is printed on
// stderr, one line per box.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/HomeOption.h"
#include "core/db/Clock.h"
#include "core/db/DataFolder.h"
#include "core/db/Database.h"
#include "core/db/Notifier.h"

namespace velmorant::cli {

std::vector<CliCommand>& registry() {
    static std::vector<CliCommand> list;
    return list;
}

void registerCommand(const CliCommand& command) { registry().push_back(command); }
const std::vector<CliCommand>& commands() { return registry(); }

}  // namespace velmorant::cli

namespace {

using namespace velmorant;

void printUsage() {
    std::vector<cli::CliCommand> list = cli::commands();
    std::sort(list.begin(), list.end(),
              [](const auto& a, const auto& b) { return std::string(a.name) < b.name; });
    std::fprintf(stderr, "usage: velmorant-cli [--home DIR] COMMAND [ARGS...]\n\n");
    std::fprintf(stderr,
                 "DIR stands for the program's folder (it holds data/base.sdb and exchange/).\n"
                 "Without --home it is the folder of this executable when that is writable,\n"
                 "otherwise $XDG_DATA_HOME/velmorant (by default ~/.local/share/velmorant),\n"
                 "the same folder the program uses.\n\ncommands:\n");
    for (const auto& c : list) std::fprintf(stderr, "  %s %s\n", c.name, c.usage);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    cli::HomeOption home;
    std::string error;
    if (!cli::TakeHomeOption(args, 0, home, error)) {
        std::fprintf(stderr, "velmorant-cli: %s\n", error.c_str());
        printUsage();
        return cli::kExitUsage;
    }
    if (args.empty()) {
        printUsage();
        return cli::kExitUsage;
    }
    const cli::CliCommand* found = nullptr;
    for (const auto& c : cli::commands()) {
        if (args[0] == c.name) found = &c;
    }
    const SystemClock clock;
    cli::CliArgs cliArgs{std::vector<std::string>(args.begin() + 1, args.end()), clock};
    const int count = static_cast<int>(cliArgs.args.size());
    if (!found || count < found->minArgs || count > found->maxArgs) {
        printUsage();
        return cli::kExitUsage;
    }
    // A home folder named on the command line is created when missing.
    cli::UseHomeFolder(home, true);
    return found->handler(cliArgs);
}
