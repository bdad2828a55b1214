#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <functional>
#include <sstream>

#include "core/archive/Unzipper.h"
#include "core/archive/ZipTestSupport.h"
#include "core/db/Text.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

std::string quoted(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

struct StatInfo {
    bool exists = false;
    mode_t mode = 0;
    std::time_t modified = 0;
};

StatInfo statOf(const std::filesystem::path& p) {
    struct stat st {};
    StatInfo info;
    if (::stat(p.c_str(), &st) == 0) {
        info.exists = true;
        info.mode = st.st_mode;
        info.modified = st.st_mtime;
    }
    return info;
}

// The source tree that other tools pack: files at two depths, an empty file and an empty
// folder.
void writeSourceTree(const std::filesystem::path& root) {
    std::filesystem::create_directories(root / "sub" / "deeper");
    std::filesystem::create_directories(root / "emptydir");
    writeFile(root / "ToPDA.sqd", mixedText(50000, 11));
    writeFile(root / "sub" / "ToPDA.sql", mixedText(3000, 12));
    writeFile(root / "empty.txt", "");
    std::string binary(70000, '\0');
    uint32_t x = 99;
    for (char& c : binary) {
        x = x * 1664525 + 1013904223;
        c = static_cast<char>(x >> 24);
    }
    writeFile(root / "sub" / "deeper" / "data.bin", binary);
}

int entryCount(const std::filesystem::path& archive) {
    const CommandResult r = runCommand(
        "/usr/bin/python3 -c \"import zipfile,sys; "
        "print(len(zipfile.ZipFile(sys.argv[1]).infolist()))\" " +
        quoted(archive));
    return std::stoi(r.out);
}

bool anyDataDescriptor(const std::filesystem::path& archive) {
    const CommandResult r = runCommand(
        "/usr/bin/python3 -c \"import zipfile,sys; print(any(i.flag_bits & 8 for i in "
        "zipfile.ZipFile(sys.argv[1]).infolist()))\" " +
        quoted(archive));
    return r.out == "True\n";
}

TEST(UnpackFiles, ReadsArchivesOfOtherTools) {
    TempDir dir;
    const auto src = dir / "src";
    writeSourceTree(src);
    const std::string python = R"PY(
import os, sys, zipfile
mode, out = sys.argv[1], sys.argv[2]
method = zipfile.ZIP_STORED if mode == 'stored' else zipfile.ZIP_DEFLATED
stream = sys.stdout.buffer if out == '-' else open(out, 'wb')
with zipfile.ZipFile(stream, 'w', method) as z:
    for root, dirs, files in os.walk('.'):
        for d in sorted(dirs):
            z.write(os.path.join(root, d))
        for f in sorted(files):
            z.write(os.path.join(root, f))
)PY";
    writeFile(dir / "make.py", python);
    struct Case {
        const char* label;
        std::string command;  // run inside the source folder
        bool dataDescriptors;
    };
    const std::vector<Case> cases = {
        {"zip deflated", "zip -q -r -9 ../a.zip .", false},
        {"zip stored", "zip -q -r -0 ../a.zip .", false},
        {"zip streamed", "zip -q -r - . | cat > ../a.zip", true},
        {"python stored", "/usr/bin/python3 ../make.py stored ../a.zip", false},
        {"python deflated", "/usr/bin/python3 ../make.py deflated ../a.zip", false},
        {"python streamed", "/usr/bin/python3 ../make.py deflated - | cat > ../a.zip", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto archive = dir / "a.zip";
        std::filesystem::remove(archive);
        const CommandResult made = runCommand("(cd " + quoted(src) + " && " + c.command + ")");
        ASSERT_EQ(0, made.exitCode) << made.err;
        EXPECT_EQ(c.dataDescriptors, anyDataDescriptor(archive));

        const auto target = dir / "out";
        std::filesystem::remove_all(target);
        TUnzipper unzipper;
        EXPECT_EQ(entryCount(archive),
                  UnpackFiles(unzipper, archive.string(), target.string(), "*"));
        EXPECT_EQ(filesUnder(src), filesUnder(target));
        for (const std::string& name : filesUnder(src)) {
            EXPECT_TRUE(readFile(src / name) == readFile(target / name)) << name;
        }
        EXPECT_TRUE(std::filesystem::is_directory(target / "emptydir"));
    }
}

TEST(UnpackFiles, MaskSelectsWholeNames) {
    TempDir dir;
    const auto archive = dir / "ToPDA.zip";
    std::vector<ZipEntryFields> entries;
    for (const char* name :
         {"ToPDA.sqd", "topda.sqd", "sub/ToPDA.sqd", "ToPDA.sql", "noext", "win\\ToPDA.sqd"}) {
        entries.push_back(storedEntry(name, std::string("content of ") + name));
    }
    writeFile(archive, buildZip(entries));
    struct Case {
        std::string mask;
        std::vector<std::string> files;
    };
    const std::vector<std::string> all = {"ToPDA.sqd",     "ToPDA.sql", "noext",
                                          "sub/ToPDA.sqd", "topda.sqd", "win/ToPDA.sqd"};
    const std::vector<Case> cases = {
        {"ToPDA.sqd", {"ToPDA.sqd"}},
        {"ToPDA.sql", {"ToPDA.sql"}},
        {"TOPDA.SQD", {}},
        {"", all},
        {"*", all},
        {"*.*", all},
        {"ToPDA.sq?", {"ToPDA.sqd", "ToPDA.sql"}},
        {"*.sqd", {"ToPDA.sqd", "sub/ToPDA.sqd", "topda.sqd", "win/ToPDA.sqd"}},
        {"sub\\ToPDA.sqd", {"sub/ToPDA.sqd"}},
        {"win/*", {"win/ToPDA.sqd"}},
        {"?", {}},
        {"n*x*t", {"noext"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mask " + c.mask);
        const auto target = dir / "out";
        std::filesystem::remove_all(target);
        TUnzipper unzipper;
        EXPECT_EQ(static_cast<int>(c.files.size()),
                  UnpackFiles(unzipper, archive.string(), target.string(), c.mask));
        EXPECT_EQ(c.files, filesUnder(target));
    }
}

TEST(UnpackFiles, AppliesTimesAttributesAndNameEncodings) {
    TempDir dir;
    // A file written now carries the file system's time: an entry without a valid time of
    // its own is stamped no earlier.
    writeFile(dir / "probe", "");
    const std::time_t before = statOf(dir / "probe").modified;
    struct Case {
        const char* label;
        ZipEntryFields entry;
        std::string file;  // expected name on disk
        bool readOnly;
        bool timeFromEntry;
    };
    auto entry = [](std::string name, uint16_t madeBy, uint32_t attributes, uint32_t dos,
                    uint16_t flags = 0) {
        ZipEntryFields e = storedEntry(name, "data of " + name);
        e.madeBy = madeBy;
        e.externalAttributes = attributes;
        e.dosDateTime = dos;
        e.flags = flags;
        return e;
    };
    const uint32_t dos =
        (uint32_t{(39u << 9) | (6u << 5) | 1u} << 16) | ((12u << 11) | (34u << 5) | 28u);
    const uint32_t badMonth = (uint32_t{(39u << 9) | (13u << 5) | 1u} << 16);
    const std::vector<Case> cases = {
        {"DOS read-only", entry("ro.txt", 10, 0x21, dos), "ro.txt", true, true},
        {"DOS archive bit", entry("rw.txt", 20, 0x20, dos), "rw.txt", false, true},
        {"Unix host ignores DOS bits", entry("unix.txt", 0x0314, 0x81A40001, dos), "unix.txt",
         false, true},
        {"invalid date leaves the time", entry("bad.txt", 10, 0x20, badMonth), "bad.txt", false,
         false},
        {"CP866 name", entry("\xE2\xA5\xE1\xE2.txt", 10, 0x20, dos), "тест.txt", false, true},
        {"UTF-8 name (bit 11)", entry("тест2.txt", 10, 0x20, dos, 0x0800), "тест2.txt", false,
         true},
        {"backslash separators", entry("a\\b.txt", 10, 0x20, dos), "a/b.txt", false, true},
    };
    std::tm tm{};
    tm.tm_year = 2019 - 1900;
    tm.tm_mon = 5;
    tm.tm_mday = 1;
    tm.tm_hour = 12;
    tm.tm_min = 34;
    tm.tm_sec = 56;
    tm.tm_isdst = -1;
    const std::time_t entryTime = std::mktime(&tm);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto archive = dir / "a.zip";
        writeFile(archive, buildZip({c.entry}));
        const auto target = dir / c.label;
        TUnzipper unzipper;
        ASSERT_EQ(1, UnpackFiles(unzipper, archive.string(), target.string(), "*"));
        const StatInfo info = statOf(target / c.file);
        ASSERT_TRUE(info.exists);
        EXPECT_EQ(c.readOnly, (info.mode & 0222) == 0);
        if (c.timeFromEntry) {
            EXPECT_EQ(entryTime, info.modified);
        } else {
            EXPECT_GE(info.modified, before);
        }
    }
}

TEST(UnpackFiles, FolderEntriesAndOverwriting) {
    TempDir dir;
    const auto target = dir / "out";
    std::filesystem::create_directories(target);
    writeFile(target / "ToPDA.sqd", std::string(10000, 'x'));
    ZipEntryFields folder = storedEntry("exchange/", "");
    writeFile(dir / "a.zip", buildZip({folder, deflatedEntry("ToPDA.sqd", "short")}));
    TUnzipper unzipper;
    EXPECT_EQ(2, UnpackFiles(unzipper, (dir / "a.zip").string(), target.string() + "/", "*"));
    EXPECT_EQ("short", readFile(target / "ToPDA.sqd"));
    EXPECT_TRUE(std::filesystem::is_directory(target / "exchange"));
}

// The names in `folder` (not below it), sorted, with "@" after a symbolic link and "/" after
// a folder: what a person listing it would see, temporary files included.
std::string listing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (entry.is_symlink()) {
            name += "@";
        } else if (entry.is_directory()) {
            name += "/";
        }
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : " ") + n;
    return out;
}

ZipEntryFields readOnlyEntry(const std::string& name, const std::string& content) {
    ZipEntryFields e = deflatedEntry(name, content);
    e.externalAttributes = 0x21;  // DOS read-only and archive
    return e;
}

// What an ordinary user finds after unpacking yesterday's and today's archive into the same
// folder: yesterday's script came read-only, or the file was made read-only, or the folder
// holds a link in its place. Each run must replace the file (or leave it whole when the
// folder itself cannot be written).
TEST(UnpackFiles, ReadOnlyOrOlderFilesAreReplacedByTheNextRun) {
    struct Case {
        const char* label;
        std::function<void(const std::filesystem::path& target)> prepare;
        int secondResult;
        std::string content;  // of ToPDA.sqd after the second run
        std::string listing;  // of the target folder after it
    };
    TempDir dir;
    const auto outside = dir / "outside.txt";
    writeFile(outside, "not to be touched");
    const std::vector<Case> cases = {
        {"read-only entry of the last run", [](const auto&) {}, 1, "today", "ToPDA.sqd"},
        {"older file made read-only",
         [](const auto& target) {
             std::filesystem::remove(target / "ToPDA.sqd");
             writeFile(target / "ToPDA.sqd", "made read-only by hand");
             std::filesystem::permissions(target / "ToPDA.sqd", std::filesystem::perms::owner_read);
         },
         1, "today", "ToPDA.sqd"},
        {"a link in the file's place",
         [&](const auto& target) {
             std::filesystem::remove(target / "ToPDA.sqd");
             std::filesystem::create_symlink(outside, target / "ToPDA.sqd");
         },
         1, "today", "ToPDA.sqd"},
        {"folder made read-only",
         [](const auto& target) {
             std::filesystem::permissions(
                 target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
         },
         0, "yesterday", "ToPDA.sqd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto work = dir / "work";
        std::filesystem::remove_all(work);
        std::filesystem::create_directories(work / "exchange");
        writeFile(work / "yesterday.zip", buildZip({readOnlyEntry("ToPDA.sqd", "yesterday")}));
        writeFile(work / "today.zip", buildZip({readOnlyEntry("ToPDA.sqd", "today")}));
        GiveToUnprivileged(work);
        const auto target = work / "exchange";
        const std::string seen = RunUnprivileged([&] {
            std::ostringstream out;
            TUnzipper unzipper;
            out << UnpackFiles(unzipper, (work / "yesterday.zip").string(), target.string(),
                               "ToPDA.sqd");
            c.prepare(target);
            out << " "
                << UnpackFiles(unzipper, (work / "today.zip").string(), target.string(),
                               "ToPDA.sqd");
            const StatInfo info = statOf(target / "ToPDA.sqd");
            out << " " << readFile(target / "ToPDA.sqd") << " "
                << ((info.mode & 0222) == 0 ? "read-only" : "writable") << " "
                << (S_ISREG(info.mode) ? "file" : "other") << " | " << listing(target);
            return out.str();
        });
        // Both archives carry the read-only attribute: whichever file is left is read-only.
        EXPECT_EQ("1 " + std::to_string(c.secondResult) + " " + c.content + " read-only file | " +
                      c.listing,
                  seen);
        EXPECT_EQ("not to be touched", readFile(outside));
        std::filesystem::permissions(target, std::filesystem::perms::owner_all);
    }
}

// Several entries of one name: the file that an entry completed stays when a later one of the
// same name fails, and the count is the number of files the run left.
TEST(UnpackFiles, DuplicateNamesNeverLoseACompletedFile) {
    TempDir dir;
    const std::string good = "R_ODIRI RESPONSE 0002-0000-0000-0002\r\n";
    const std::string other = good + "// a later copy\r\n";
    auto badCrc = [](ZipEntryFields e) {
        e.crc32 ^= 1;
        return e;
    };
    auto badMethod = [](ZipEntryFields e) {
        e.method = 9;
        return e;
    };
    ZipEntryFields damaged = deflatedEntry("ToPDA.sqd", mixedText(10000, 7));
    damaged.data[0] = static_cast<char>(0xFF);  // block type 3 does not exist
    struct Case {
        const char* label;
        std::vector<ZipEntryFields> entries;
        int result;
        std::string content;  // of ToPDA.sqd afterwards
    };
    const std::vector<Case> cases = {
        {"good, then a CRC error",
         {storedEntry("ToPDA.sqd", good), badCrc(deflatedEntry("ToPDA.sqd", other))},
         1,
         good},
        {"good, then an unsupported method",
         {deflatedEntry("ToPDA.sqd", good), badMethod(storedEntry("ToPDA.sqd", other))},
         1,
         good},
        {"good, then damaged data", {storedEntry("ToPDA.sqd", good), damaged}, kUnzipDamaged, good},
        {"a CRC error, then good",
         {badCrc(storedEntry("ToPDA.sqd", other)), storedEntry("ToPDA.sqd", good)},
         1,
         good},
        {"two good copies: the later one, counted once",
         {storedEntry("ToPDA.sqd", good), deflatedEntry("ToPDA.sqd", other)},
         1,
         other},
        {"the same file through \"./\"",
         {storedEntry("ToPDA.sqd", good), storedEntry("./ToPDA.sqd", other)},
         1,
         other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto target = freshArchive(dir.path(), c.entries);
        TUnzipper unzipper;
        EXPECT_EQ(c.result, UnpackFiles(unzipper, (dir / "a.zip").string(), target.string(), "*"));
        EXPECT_EQ("ToPDA.sqd", listing(target));
        EXPECT_EQ(c.content, readFile(target / "ToPDA.sqd"));
    }
}

// Links planted in the target folder never lead an entry outside of it: a link in a file's
// place is replaced by the file, a link in a folder's place refuses the entry.
TEST(UnpackFiles, LinksInTheTargetFolderAreNeverFollowed) {
    TempDir dir;
    const auto elsewhere = dir / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    writeFile(elsewhere / "ToPDA.sqd", "not to be touched");
    const auto target = dir / "out";
    std::filesystem::create_directories(target);
    std::filesystem::create_symlink(elsewhere / "ToPDA.sqd", target / "ToPDA.sqd");
    std::filesystem::create_symlink(elsewhere, target / "sub");
    writeFile(dir / "a.zip", buildZip({storedEntry("ToPDA.sqd", "new script"),
                                       storedEntry("sub/ToPDA.sql", "new companion"),
                                       storedEntry("sub/deeper/", "")}));
    TUnzipper unzipper;
    EXPECT_EQ(1, UnpackFiles(unzipper, (dir / "a.zip").string(), target.string(), "*"));
    EXPECT_EQ("ToPDA.sqd sub@", listing(target));
    EXPECT_EQ("new script", readFile(target / "ToPDA.sqd"));
    EXPECT_EQ("ToPDA.sqd", listing(elsewhere));
    EXPECT_EQ("not to be touched", readFile(elsewhere / "ToPDA.sqd"));
}

}  // namespace
}  // namespace velmorant::test
