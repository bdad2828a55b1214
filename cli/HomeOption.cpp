#include "cli/HomeOption.h"

#include <filesystem>

#include "core/db/DataFolder.h"
#include "core/db/Database.h"

namespace velmorant::cli {

bool TakeHomeOption(std::vector<std::string>& args, std::size_t at, HomeOption& home,
                    std::string& error) {
    if (at >= args.size() || args[at] != "--home") return true;
    if (at + 1 >= args.size() || args[at + 1].empty()) {
        error = "--home needs a folder name";
        return false;
    }
    home.given = true;
    home.folder = args[at + 1];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(at),
               args.begin() + static_cast<std::ptrdiff_t>(at) + 2);
    return true;
}

void UseHomeFolder(const HomeOption& home, bool create) {
    if (!home.given) {
        SetProgramFolder(ResolveProgramFolder());
        return;
    }
    std::error_code ec;
    std::string folder = std::filesystem::absolute(home.folder, ec).string();
    if (ec) folder = home.folder;
    if (folder.empty() || folder.back() != '/') folder += '/';
    if (create) std::filesystem::create_directories(folder, ec);
    SetProgramFolder(folder);
}

}  // namespace velmorant::cli
