#include "core/db/DataFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "support/TestSupport.h"

namespace velmorant {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// Runs `work` in a child process as an ordinary user (nobody when the test runs as root,
// which ignores file modes; the test's own user otherwise) and returns what it returned.
std::string asOrdinaryUser(const std::function<std::string()>& work) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(3);
        const std::string result = work();
        const ssize_t written = ::write(pipeFds[1], result.data(), result.size());
        ::_exit(written == static_cast<ssize_t>(result.size()) ? 0 : 4);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) result.append(buffer, n);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
    return result;
}

// A folder the ordinary user of asOrdinaryUser may write into.
void giveToOrdinaryUser(const fs::path& folder) {
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), kNobody, kNobody), 0);
    }
}

int modeOf(const fs::path& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

TEST(DataFolder, UserFolderFollowsTheBaseDirectoryRules) {
    struct Case {
        const char* name;
        DataFolderEnvironment env;
        std::string expected;
    };
    const Case cases[] = {
        {"XDG_DATA_HOME unset", {"", "/home/agent"}, "/home/agent/.local/share/velmorant/"},
        {"home with a slash", {"", "/home/agent/"}, "/home/agent/.local/share/velmorant/"},
        {"XDG_DATA_HOME set", {"/data/agent", "/home/agent"}, "/data/agent/velmorant/"},
        {"XDG_DATA_HOME with a slash", {"/data/agent/", "/home/agent"}, "/data/agent/velmorant/"},
        {"relative XDG_DATA_HOME is ignored",
         {"data", "/home/agent"},
         "/home/agent/.local/share/velmorant/"},
        {"non-ASCII home", {"", "/home/агент"}, "/home/агент/.local/share/velmorant/"},
    };
    for (const Case& c : cases) EXPECT_EQ(UserDataFolder(c.env), c.expected) << c.name;
}

TEST(DataFolder, WritableFolderBesideTheProgramIsKept) {
    test::TempDir exe;
    test::TempDir home;
    const DataFolderEnvironment env{"", home.str()};
    for (const std::string& given : {exe.str(), exe.str() + "/", exe.str() + "/./"}) {
        EXPECT_EQ(ResolveProgramFolder(given, env), exe.str() + "/") << given;
    }
    EXPECT_FALSE(fs::exists(home / ".local")) << "nothing is created in the home folder";
}

TEST(DataFolder, InstalledProgramUsesTheUsersFolderCreatedPrivate) {
    test::TempDir home;
    giveToOrdinaryUser(home.path());
    test::TempDir exe;
    fs::permissions(exe.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                    fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec);
    const DataFolderEnvironment env{"", home.str()};
    const std::string expected = home.str() + "/.local/share/velmorant/";
    // An ordinary user cannot write beside the program.
    EXPECT_EQ(asOrdinaryUser([&] { return ResolveProgramFolder(exe.str(), env); }), expected);
    EXPECT_EQ(modeOf(home / ".local"), 0700);
    EXPECT_EQ(modeOf(home / ".local/share/velmorant"), 0700);
    // The second start finds it.
    EXPECT_EQ(asOrdinaryUser([&] { return ResolveProgramFolder(exe.str(), env); }), expected);
    // A program folder that is gone counts as not writable.
    EXPECT_EQ(ResolveProgramFolder((exe / "missing").string(), env), expected);
}

TEST(DataFolder, SystemFoldersAreNeverUsedEvenWhenWritable) {
    test::TempDir home;
    const DataFolderEnvironment env{(home / "xdg").string(), home.str()};
    for (const char* system : {"/usr/bin", "/usr/bin/", "/usr/local/bin", "/bin", "/sbin/"}) {
        EXPECT_EQ(ResolveProgramFolder(system, env), (home / "xdg/velmorant/").string()) << system;
    }
    EXPECT_TRUE(fs::is_directory(home / "xdg/velmorant"));
    EXPECT_FALSE(fs::exists("/usr/bin/data/base.sdb"));
}

TEST(DataFolder, ExistingFoldersKeepTheirModes) {
    test::TempDir home;
    fs::create_directories(home / ".local/share");
    fs::permissions(home / ".local", fs::perms(0755));
    const std::string folder = ResolveProgramFolder("/usr/bin", {"", home.str()});
    EXPECT_EQ(folder, home.str() + "/.local/share/velmorant/");
    EXPECT_EQ(modeOf(home / ".local"), 0755);
    EXPECT_EQ(modeOf(home / ".local/share/velmorant"), 0700);
}

TEST(DataFolder, ExecutableFolderIsTheTestsOwn) {
    const std::string folder = ExecutableFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(fs::exists(folder + "db_tests"));
}

}  // namespace
}  // namespace velmorant
