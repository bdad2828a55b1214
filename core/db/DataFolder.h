#pragma once

#include <string>

namespace velmorant {

// Where the program keeps its data/ (base.sdb) and exchange/ folders when no folder is named
// on the command line. Both the GUI program and velmorant-cli ask this one function, so the
// two always work on the same database.
//
// The rule:
//   - the executable's own folder, when the user may write into it and it is not a system
//     folder (/usr/..., /bin, /sbin): the build tree, `make run`, a copy unpacked by hand;
//   - otherwise (an installed program) "$XDG_DATA_HOME/velmorant/", or
//     "$HOME/.local/share/velmorant/" when XDG_DATA_HOME is unset, empty or not an absolute
//     path (as the XDG base directory rules ask). The folder and any missing parents are
//     created with mode 0700 on the first start.
//
// The result always ends with "/". A per-user folder that cannot be created is still
// returned: preparing the database there then fails with its usual message.

// The environment the rule reads; taken from the process by ProcessDataFolderEnvironment().
struct DataFolderEnvironment {
    std::string xdgDataHome;  // XDG_DATA_HOME, "" when unset
    std::string home;         // HOME, or the password database's home folder when HOME is unset
};
DataFolderEnvironment ProcessDataFolderEnvironment();

// The folder of the running executable (from /proc/self/exe), ending with "/"; "./" when it
// cannot be read.
std::string ExecutableFolder();

// The folder by the rule above, for an executable in `executableFolder`. Creates the
// per-user folder when it chooses that one.
std::string ResolveProgramFolder(const std::string& executableFolder,
                                 const DataFolderEnvironment& environment);
// The same for the running executable and the process's environment.
std::string ResolveProgramFolder();

// The per-user folder of the rule, without looking at the executable and without creating
// anything: "<XDG_DATA_HOME or HOME/.local/share>/velmorant/".
std::string UserDataFolder(const DataFolderEnvironment& environment);

}  // namespace velmorant
