// velmorant-cli commands of the archive: pack one file into a ZIP archive, unpack entries.
#include <cstdio>

#include "cli/CliCommand.h"
#include "core/archive/PackFile.h"
#include "core/archive/Unzipper.h"
#include "core/db/Database.h"
#include "core/db/Notifier.h"

namespace velmorant::cli {

namespace {

// The temporary file of a large source goes into the program folder, as in the exchange.
int packCommand(const CliArgs& a) {
    std::string zlibError;
    if (PackFile(a.args[0], a.args[1], ProgramFolder(), a.clock, &zlibError)) return kExitOk;
    if (!zlibError.empty()) notifier().message(zlibError);
    return kExitFailed;
}

// Prints the result of the unpacking: the number of entries extracted, or a negative code.
// An entry that matched but could not be written (a full disk, a read-only folder) fails the
// command: its name and the reason go to stderr, exit code 1.
int unpackCommand(const CliArgs& a) {
    TUnzipper unzipper;
    const int result = UnpackFiles(unzipper, a.args[0], a.args[1], a.args[2]);
    std::printf("%d\n", result);
    for (const auto& entry : unzipper.unwritten())
        std::fprintf(stderr, "velmorant-cli: not written: %s\n", entry.c_str());
    return result >= 0 && unzipper.unwritten().empty() ? kExitOk : kExitFailed;
}

const CliRegistration packRegistration({"pack", "SOURCE ARCHIVE", 2, 2, &packCommand});
const CliRegistration unpackRegistration({"unpack", "ARCHIVE FOLDER MASK", 3, 3, &unpackCommand});

}  // namespace

}  // namespace velmorant::cli
