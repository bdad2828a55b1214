#pragma once

#include <string>
#include <vector>

namespace velmorant {
class Clock;
}

namespace velmorant::cli {

// What a command of velmorant-cli gets: its arguments after the command name and the clock
// of the run. The program folder (--home) and the console notifier are set up before it runs.
struct CliArgs {
    std::vector<std::string> args;
    const Clock& clock;
};

// Exit codes of velmorant-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

using CliHandler = int (*)(const CliArgs&);

struct CliCommand {
    const char* name;
    const char* usage;  // the arguments, e.g. "NAME [DEFAULT]"
    int minArgs;
    int maxArgs;
    CliHandler handler;
};

// Each command file registers its commands with a static CliRegistration object.
void registerCommand(const CliCommand& command);
const std::vector<CliCommand>& commands();

struct CliRegistration {
    explicit CliRegistration(const CliCommand& command) { registerCommand(command); }
};

}  // namespace velmorant::cli
