#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace velmorant::cli {

// "--home DIR": the folder velmorant-cli works in instead of the program's own.
struct HomeOption {
    bool given = false;
    std::string folder;
};

// The one reading of --home. When args[at] is "--home", takes it and the folder after it out of
// `args` into `home`. False, with the reason in `error`, when the folder is missing or empty
// (an empty one would put data/ at the root of the file system).
bool TakeHomeOption(std::vector<std::string>& args, std::size_t at, HomeOption& home,
                    std::string& error);

// Makes the folder of `home` the program folder (absolute, created when missing and
// `create` is set); without --home, the program's own folder (created on the first start when
// it is per-user).
void UseHomeFolder(const HomeOption& home, bool create);

}  // namespace velmorant::cli
