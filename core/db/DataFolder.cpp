#include "core/db/DataFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace velmorant {

namespace {

constexpr char kFolderName[] = "velmorant";

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string environmentVariable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// Folders of the operating system: an installed program never keeps its data there, not
// even when it runs as root and could write into them.
bool isSystemFolder(const std::string& folder) {
    const std::string f = withSlash(folder);
    return f.rfind("/usr/", 0) == 0 || f == "/bin/" || f == "/sbin/";
}

bool isWritableFolder(const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

// mkdir -p with mode 0700 for every folder it creates; existing ones are left as they are.
void createPrivateFolders(const std::string& folder) {
    std::vector<std::string> missing;
    std::filesystem::path p(folder);
    if (!p.has_filename()) p = p.parent_path();  // "a/b/" -> "a/b"
    struct stat st {};
    while (!p.empty() && p != p.root_path() && ::stat(p.c_str(), &st) != 0) {
        missing.push_back(p.string());
        p = p.parent_path();
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        // A failure shows up when the database cannot be opened there.
        if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

}  // namespace

DataFolderEnvironment ProcessDataFolderEnvironment() {
    DataFolderEnvironment env;
    env.xdgDataHome = environmentVariable("XDG_DATA_HOME");
    env.home = environmentVariable("HOME");
    if (env.home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) env.home = pw->pw_dir;
    }
    return env;
}

std::string ExecutableFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || self.parent_path().empty()) return "./";
    return withSlash(self.parent_path().string());
}

std::string UserDataFolder(const DataFolderEnvironment& environment) {
    std::string base = environment.xdgDataHome;
    // The base directory rules: a relative XDG_DATA_HOME is invalid and is ignored.
    if (base.empty() || base.front() != '/') {
        const std::string home = environment.home.empty() ? std::string("/") : environment.home;
        base = withSlash(home) + ".local/share";
    }
    return withSlash(base) + kFolderName + "/";
}

std::string ResolveProgramFolder(const std::string& executableFolder,
                                 const DataFolderEnvironment& environment) {
    std::error_code ec;
    std::string beside =
        std::filesystem::absolute(executableFolder, ec).lexically_normal().string();
    if (ec) beside = executableFolder;
    beside = withSlash(beside);
    if (!isSystemFolder(beside) && isWritableFolder(beside)) return beside;
    const std::string folder = UserDataFolder(environment);
    createPrivateFolders(folder);
    return folder;
}

std::string ResolveProgramFolder() {
    return ResolveProgramFolder(ExecutableFolder(), ProcessDataFolderEnvironment());
}

}  // namespace velmorant
