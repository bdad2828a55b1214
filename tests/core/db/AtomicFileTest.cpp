#include "core/db/AtomicFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

namespace fs = std::filesystem;

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Every way a write may end, and what each must leave: the target's bytes (or "<none>" for no
// file, "<folder>"/"<fifo>" for what stood there) and nothing else beside it but `others`.
TEST(AtomicFile, TargetIsWholeOrAsBefore) {
    enum class End { Commit, Destroy, Discard };
    struct Case {
        const char* label;
        std::function<void(const fs::path& target)> prepare;
        bool opens;
        End end;
        std::string expected;
        std::set<std::string> others;
    };
    const std::vector<Case> cases = {
        {"new file", [](const fs::path&) {}, true, End::Commit, "new", {}},
        {"replaces a file",
         [](const fs::path& t) { writeFile(t, "earlier"); },
         true,
         End::Commit,
         "new",
         {}},
        {"replaces a link and never writes through it",
         [](const fs::path& t) {
             writeFile(t.parent_path() / "elsewhere", "kept");
             fs::create_symlink("elsewhere", t);
         },
         true,
         End::Commit,
         "new",
         {"elsewhere"}},
        {"dropped without commit",
         [](const fs::path& t) { writeFile(t, "earlier"); },
         true,
         End::Destroy,
         "earlier",
         {}},
        {"discarded",
         [](const fs::path& t) { writeFile(t, "earlier"); },
         true,
         End::Discard,
         "earlier",
         {}},
        {"a folder stands there",
         [](const fs::path& t) { fs::create_directory(t); },
         false,
         End::Commit,
         "<folder>",
         {}},
        {"a fifo stands there",
         [](const fs::path& t) { ::mkfifo(t.c_str(), 0600); },
         false,
         End::Commit,
         "<fifo>",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const fs::path target = dir / "out.xml";
        c.prepare(target);
        {
            AtomicFile file(target.string());
            ASSERT_EQ(c.opens, file.Open());
            EXPECT_EQ(c.opens, file.Error().empty()) << file.Error();
            if (c.opens) {
                EXPECT_TRUE(file.Write("ne") && file.Write(std::string("w")));
                // Until the commit the target is what it was.
                EXPECT_NE("new", fs::is_regular_file(target) ? readFile(target) : "");
                EXPECT_TRUE(fs::exists(file.TemporaryPath()));
                if (c.end == End::Commit) {
                    EXPECT_TRUE(file.Commit()) << file.Error();
                }
                if (c.end == End::Discard) file.Discard();
            }
        }
        const fs::file_status st = fs::symlink_status(target);
        const std::string found = fs::is_directory(st) ? "<folder>"
                                  : fs::is_fifo(st)    ? "<fifo>"
                                  : fs::exists(st)     ? readFile(target)
                                                       : "<none>";
        EXPECT_EQ(c.expected, found);
        EXPECT_FALSE(fs::is_symlink(st));
        std::set<std::string> expectedNames = c.others;
        expectedNames.insert("out.xml");
        EXPECT_EQ(expectedNames, namesIn(dir.path()));
        if (fs::exists(dir / "elsewhere")) {
            EXPECT_EQ("kept", readFile(dir / "elsewhere"));
        }
    }
}

// A temporary name of its own is taken only when free (a leftover is the caller's to remove),
// and a folder the writer may not write into fails with a reason and leaves no file.
TEST(AtomicFile, RefusesWhatItMayNotCreate) {
    TempDir dir;
    const fs::path target = dir / "ToPDA.sqd";
    writeFile(dir / "ToPDA.sqd.part", "someone else's");
    {
        AtomicFile file(target.string());
        EXPECT_FALSE(file.Open("ToPDA.sqd.part"));
        EXPECT_FALSE(file.Error().empty());
        EXPECT_FALSE(file.Commit());
    }
    EXPECT_EQ("someone else's", readFile(dir / "ToPDA.sqd.part"));
    EXPECT_FALSE(fs::exists(target));

    const fs::path locked = dir / "locked";
    fs::create_directory(locked);
    writeFile(locked / "file", "earlier");
    GiveToUnprivileged(locked);
    ::chmod(locked.c_str(), 0555);
    const std::string answer = RunUnprivileged([&] {
        AtomicFile file((locked / "file").string());
        if (file.Open()) return std::string("opened");
        return file.Error().empty() ? std::string("no reason") : std::string("refused");
    });
    EXPECT_EQ("refused", answer);
    EXPECT_EQ("earlier", readFile(locked / "file"));
    EXPECT_EQ((std::set<std::string>{"file"}), namesIn(locked));
    ::chmod(locked.c_str(), 0755);
}

}  // namespace
}  // namespace velmorant::test
