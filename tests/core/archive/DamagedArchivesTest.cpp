#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/archive/Unzipper.h"
#include "core/archive/ZipTestSupport.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

const std::set<int> kRunResults = {kUnzipNotZip, kUnzipNoDirectory, kUnzipReadError, kUnzipDamaged};

// Every file in `target` must be one of `contents`, whole: damaged output is never kept.
void expectOnlyWholeFiles(const std::filesystem::path& target,
                          const std::set<std::string>& contents) {
    for (const std::string& name : filesUnder(target)) {
        EXPECT_TRUE(contents.count(readFile(target / name)) == 1) << "partial file " << name;
    }
}

TEST(DamagedArchives, SkippedEntriesDoNotCountAndLeaveNoFile) {
    TempDir dir;
    const std::string good = "the good entry\r\n";
    auto with = [](ZipEntryFields e, auto change) {
        change(e);
        return e;
    };
    struct Case {
        const char* label;
        ZipEntryFields bad;
    };
    const std::string text = mixedText(5000, 2);
    // The last good entry defers its sizes and CRC-32 to a data descriptor.
    ZipEntryFields lastEntry = deflatedEntry("last.txt", good);
    lastEntry.flags = 8;
    const std::vector<Case> cases = {
        {"wrong CRC", with(deflatedEntry("bad.txt", text), [](auto& e) { e.crc32 ^= 1; })},
        {"wrong size",
         with(deflatedEntry("bad.txt", text), [](auto& e) { e.uncompressedSize += 1; })},
        {"method 9", with(storedEntry("bad.txt", text), [](auto& e) { e.method = 9; })},
        {"method 7", with(storedEntry("bad.txt", text), [](auto& e) { e.method = 7; })},
        {"method 12", with(storedEntry("bad.txt", text), [](auto& e) { e.method = 12; })},
        {"encrypted", with(storedEntry("bad.txt", text), [](auto& e) { e.flags = 1; })},
        {"64-bit sizes",
         with(storedEntry("bad.txt", text), [](auto& e) { e.uncompressedSize = 0xFFFFFFFF; })},
        {"parent folder", storedEntry("../evil.txt", text)},
        {"parent folder inside", storedEntry("a/../../evil.txt", text)},
        {"parent folder, backslashes", storedEntry("..\\evil.txt", text)},
        {"absolute path", storedEntry("/tmp/velmorant-evil.txt", text)},
        {"drive part", storedEntry("C:/evil.txt", text)},
        {"drive-relative", storedEntry("c:evil.txt", text)},
        {"only a parent", storedEntry("..", text)},
        {"NUL in the name", storedEntry(std::string("bad\0.txt", 8), text)},
        {"data descriptor with wrong CRC", with(deflatedEntry("bad.txt", text),
                                                [](auto& e) {
                                                    e.flags = 8;
                                                    e.crc32 ^= 0x100;
                                                })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto archive = dir / "a.zip";
        writeFile(archive, buildZip({storedEntry("first.txt", good), c.bad,
                                     deflatedEntry("last.txt", good)}));
        const auto target = dir / "t" / "out";
        std::filesystem::remove_all(dir / "t");
        TUnzipper unzipper;
        EXPECT_EQ(2, UnpackFiles(unzipper, archive.string(), target.string(), "*"));
        EXPECT_EQ((std::vector<std::string>{"out/first.txt", "out/last.txt"}),
                  filesUnder(dir / "t"));
        EXPECT_FALSE(std::filesystem::exists("/tmp/velmorant-evil.txt"));
        EXPECT_FALSE(std::filesystem::exists(dir / "evil.txt"));
    }
}

TEST(DamagedArchives, RunLevelResultCodes) {
    TempDir dir;
    auto bytes = [](size_t size, char fill) { return std::string(size, fill); };
    const std::string sig("PK\x03\x04", 4);
    // A valid end record naming a directory that starts at the end record itself.
    const std::string selfDirectory = sig + bytes(60, '\0') + buildZip({}).substr(0, 16) +
                                      std::string("\x40\x00\x00\x00\x00\x00", 6);
    struct Case {
        const char* label;
        std::string content;  // written to the archive file unless `archive` is given
        int result;
        std::string archive = "";
        std::string target = "out";
    };
    const std::vector<Case> cases = {
        {"empty target folder", buildZip({storedEntry("a", "a")}), kUnzipNoTarget, "", ""},
        {"missing archive", "", kUnzipCannotOpen, (dir / "missing.zip").string()},
        {"archive is a folder", "", kUnzipCannotOpen, dir.str()},
        {"empty file", "", kUnzipNotZip},
        {"4 bytes", "PK\x05\x06", kUnzipNotZip},
        {"5 bytes", "hello", kUnzipNotZip},
        {"63 bytes", bytes(63, 'a'), kUnzipNotZip},
        {"64 KiB text", mixedText(65536, 3), kUnzipNotZip},
        {"1 MiB of zeros", bytes(1 << 20, '\0'), kUnzipNotZip},
        {"only an end record", buildZip({}), kUnzipNotZip},
        {"signature at 43 of 63+", bytes(43, 'x') + sig + bytes(100, 'y'), kUnzipNoDirectory},
        {"signature at 44 of 63+", bytes(44, 'x') + sig + bytes(100, 'y'), kUnzipNotZip},
        {"signature at 1 of 6", "x" + sig + "a", kUnzipNotZip},
        {"signature at 1 of 7", "x" + sig + "ab", kUnzipNoDirectory},
        {"signature alone", sig, kUnzipNoDirectory},
        {"directory offset not before the end record", selfDirectory, kUnzipNoDirectory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string archive = c.archive;
        if (archive.empty()) {
            archive = (dir / "f.bin").string();
            writeFile(archive, c.content);
        }
        const std::string target = c.target.empty() ? "" : (dir / c.target).string();
        TUnzipper unzipper;
        EXPECT_EQ(c.result, UnpackFiles(unzipper, archive, target, "*"));
        EXPECT_FALSE(std::filesystem::exists(dir / "out"));
    }
}

// An archive made by Info-ZIP zip: deflated and stored entries in folders.
std::string infoZipArchive(const TempDir& dir, std::set<std::string>& contents) {
    const auto src = dir / "src";
    std::filesystem::create_directories(src / "sub");
    const std::vector<std::pair<std::string, std::string>> files = {
        {"ToPDA.sqd", mixedText(20000, 21)},
        {"sub/ToPDA.sql", mixedText(700, 22)},
        {"sub/stored.txt", "tiny"},
    };
    for (const auto& [name, content] : files) {
        writeFile(src / name, content);
        contents.insert(content);
    }
    const CommandResult r =
        runCommand("cd '" + src.string() + "' && zip -q -r ../in.zip . -n .txt");
    EXPECT_EQ(0, r.exitCode) << r.err;
    return readFile(dir / "in.zip");
}

TEST(DamagedArchives, TruncatedArchivesNeverLeavePartialFiles) {
    TempDir dir;
    std::set<std::string> contents;
    const std::string archive = infoZipArchive(dir, contents);
    std::set<int> seen;
    for (size_t length = 0; length < archive.size(); length += (length < 200 ? 1 : 97)) {
        SCOPED_TRACE(length);
        writeFile(dir / "cut.zip", archive.substr(0, length));
        const auto target = dir / "out";
        std::filesystem::remove_all(target);
        TUnzipper unzipper;
        const int r = UnpackFiles(unzipper, (dir / "cut.zip").string(), target.string(), "*");
        EXPECT_TRUE(r >= 0 || kRunResults.count(r)) << r;
        seen.insert(r);
        expectOnlyWholeFiles(target, contents);
    }
    // Cutting the end record away leaves the directory unreadable.
    EXPECT_TRUE(seen.count(kUnzipNoDirectory));
}

TEST(DamagedArchives, FlippedBytesNeverLeaveDamagedFiles) {
    TempDir dir;
    std::set<std::string> contents;
    const std::string archive = infoZipArchive(dir, contents);
    int damagedRuns = 0;
    for (size_t at = 0; at < archive.size(); at += (at < 400 ? 1 : 13)) {
        for (const uint8_t mask : {0x01, 0x80, 0xFF}) {
            std::string bytes = archive;
            bytes[at] = static_cast<char>(bytes[at] ^ mask);
            writeFile(dir / "flip.zip", bytes);
            const auto target = dir / "out";
            std::filesystem::remove_all(target);
            TUnzipper unzipper;
            const int r = UnpackFiles(unzipper, (dir / "flip.zip").string(), target.string(), "*");
            ASSERT_TRUE(r >= 0 || kRunResults.count(r)) << "offset " << at << " result " << r;
            if (r < 0) ++damagedRuns;
            expectOnlyWholeFiles(target, contents);
        }
    }
    EXPECT_GT(damagedRuns, 0);
}

TEST(DamagedArchives, DirectoryBeyondTheLimitIsNotSeen) {
    TempDir dir;
    std::vector<ZipEntryFields> entries;
    const std::string padding(150, 'n');
    for (int i = 0; i < 1900; ++i) {
        entries.push_back(storedEntry(padding + std::to_string(10000 + i), "x"));
    }
    // Each central header takes 46 + 155 bytes; the first 262 128 bytes hold 1304 of them whole.
    const size_t perEntry = 46 + padding.size() + 5;
    const int visible = static_cast<int>(262128 / perEntry);
    writeFile(dir / "big.zip", buildZip(entries));
    TUnzipper unzipper;
    EXPECT_EQ(visible,
              UnpackFiles(unzipper, (dir / "big.zip").string(), (dir / "out").string(), "*"));
    EXPECT_EQ(static_cast<size_t>(visible), filesUnder(dir / "out").size());
}

TEST(DamagedArchives, WriteFailureSkipsTheEntryAndRemovesItsFile) {
    TempDir dir;
    const std::string big = mixedText(3 << 20, 4);
    writeFile(dir / "a.zip",
              buildZip({deflatedEntry("big.txt", big), storedEntry("small.txt", "small")}));
    TUnzipper unzipper;
    int r = 0;
    {
        FileSizeLimit limit(1 << 20);
        r = UnpackFiles(unzipper, (dir / "a.zip").string(), (dir / "out").string(), "*");
    }
    EXPECT_EQ(1, r);
    EXPECT_EQ(std::vector<std::string>{"small.txt"}, filesUnder(dir / "out"));
}

TEST(DamagedArchives, DamagedDataEndsTheRunButKeepsEarlierEntries) {
    TempDir dir;
    ZipEntryFields broken = deflatedEntry("broken.txt", mixedText(10000, 5));
    broken.data[0] = static_cast<char>(0xFF);  // block type 3 does not exist
    writeFile(dir / "a.zip", buildZip({storedEntry("first.txt", "first"), broken,
                                       storedEntry("after.txt", "after")}));
    TUnzipper unzipper;
    EXPECT_EQ(kUnzipDamaged,
              UnpackFiles(unzipper, (dir / "a.zip").string(), (dir / "out").string(), "*"));
    EXPECT_EQ(std::vector<std::string>{"first.txt"}, filesUnder(dir / "out"));
}

// Every name in `folder` and below, temporary files and folders included.
std::vector<std::string> everythingUnder(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec)) {
        names.push_back(std::filesystem::relative(e.path(), folder).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Sizes an entry's header may claim against the run's limit: 1 GiB, or 64 times the
// archive's size when that is more. A claim beyond it stops the run before anything of the
// entry is written; within it, the entry is tried (here its data is short: a CRC error).
TEST(DamagedArchives, ClaimsBeyondTheOutputLimitStopTheRun) {
    TempDir dir;
    constexpr uint32_t MiB = 1 << 20;
    std::string padding(17 * MiB, '\0');
    uint32_t x = 5;
    for (char& c : padding) {
        x = x * 1664525 + 1013904223;
        c = static_cast<char>(x >> 24);
    }
    struct Case {
        const char* label;
        bool bigArchive;  // a 17 MiB entry beside it: the limit becomes 1088 MiB
        uint32_t claimed;
        int result;
    };
    const std::vector<Case> cases = {
        {"small archive, 1040 MiB", false, 1040 * MiB, kUnzipDamaged},
        {"small archive, 4 GiB", false, 0xFFFFFFF0u, kUnzipDamaged},
        {"17 MiB archive, 1040 MiB", true, 1040 * MiB, 0},
        {"17 MiB archive, 1100 MiB", true, 1100 * MiB, kUnzipDamaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ZipEntryFields bomb = deflatedEntry("ToPDA.sqd", std::string(100000, 'a'));
        bomb.uncompressedSize = c.claimed;
        std::vector<ZipEntryFields> entries = {storedEntry("first.txt", "first"), bomb};
        if (c.bigArchive) entries.push_back(storedEntry("padding.bin", padding));
        writeFile(dir / "a.zip", buildZip(entries));
        const auto target = dir / "out";
        std::filesystem::remove_all(target);
        TUnzipper unzipper;
        EXPECT_EQ(c.result,
                  UnpackFiles(unzipper, (dir / "a.zip").string(), target.string(), "ToPDA.sqd"));
        EXPECT_EQ(std::vector<std::string>{}, everythingUnder(target));
    }
}

// The output of all entries of a run together is held to the limit: the entry that would
// pass it ends the run, the ones before stay whole, nothing is left of it.
TEST(DamagedArchives, TheRunsTotalOutputIsLimited) {
    TempDir dir;
    const std::string part(400 << 10, 'z');
    ZipEntryFields stored = storedEntry("c.txt", part);
    ZipEntryFields understated = deflatedEntry("c.txt", part);
    understated.uncompressedSize = 5 << 10;
    struct Case {
        const char* label;
        uint64_t limit;
        std::vector<ZipEntryFields> entries;
        int result;
        std::vector<std::string> files;
    };
    const std::vector<Case> cases = {
        {"deflated third entry passes 1 MiB",
         1 << 20,
         {deflatedEntry("a.txt", part), deflatedEntry("b.txt", part), deflatedEntry("c.txt", part)},
         kUnzipDamaged,
         {"a.txt", "b.txt"}},
        {"stored third entry passes 1 MiB",
         1 << 20,
         {deflatedEntry("a.txt", part), deflatedEntry("b.txt", part), stored},
         kUnzipDamaged,
         {"a.txt", "b.txt"}},
        {"a third entry that holds more than it claims",
         2 * part.size() + (10 << 10),
         {deflatedEntry("a.txt", part), deflatedEntry("b.txt", part), understated},
         kUnzipDamaged,
         {"a.txt", "b.txt"}},
        {"exactly the limit",
         3 * part.size(),
         {deflatedEntry("a.txt", part), deflatedEntry("b.txt", part), stored},
         3,
         {"a.txt", "b.txt", "c.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto target = freshArchive(dir.path(), c.entries);
        TUnzipper unzipper;
        unzipper.setOutputLimit(c.limit);
        EXPECT_EQ(c.result, UnpackFiles(unzipper, (dir / "a.zip").string(), target.string(), "*"));
        EXPECT_EQ(c.files, everythingUnder(target));
        for (const std::string& name : c.files) EXPECT_TRUE(readFile(target / name) == part);
    }
}

// Entries that share their data are how small archives expand without bound: every entry
// whose local header and data overlap another entry's is refused, whatever the mask.
TEST(DamagedArchives, EntriesWithOverlappingDataAreRefused) {
    TempDir dir;
    const std::string text = mixedText(20000, 8);
    // An entry whose stored data holds a whole second entry, header and all.
    const std::string innerZip = buildZip({storedEntry("inner.txt", "inner")});
    const std::string innerEntry = innerZip.substr(0, 30 + 9 + 5);
    auto pointingAt = [](const std::string& name, const ZipEntryFields& like, uint32_t offset) {
        ZipEntryFields e = like;
        e.name = name;
        e.onlyInDirectory = true;
        e.localOffset = offset;
        return e;
    };
    struct Case {
        const char* label;
        std::vector<ZipEntryFields> entries;
        std::string mask;
        int result;
        std::vector<std::string> files;
    };
    std::vector<ZipEntryFields> shared = {storedEntry("good.txt", "good"),
                                          deflatedEntry("a.txt", text)};
    shared.push_back(pointingAt("b.txt", shared[1], localHeaderOffset(shared, 1)));
    std::vector<ZipEntryFields> nested = {storedEntry("good.txt", "good"),
                                          storedEntry("outer.bin", innerEntry)};
    nested.push_back(pointingAt("inner.txt", storedEntry("inner.txt", "inner"),
                                localHeaderOffset(nested, 1) + 30 + 9));
    const std::vector<Case> cases = {
        {"two entries share one local header", shared, "*", 1, {"good.txt"}},
        {"only the second is asked for", shared, "b.txt", 0, {}},
        {"an entry inside another's data", nested, "*", 1, {"good.txt"}},
        {"only the inner one is asked for", nested, "inner.txt", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto target = freshArchive(dir.path(), c.entries);
        TUnzipper unzipper;
        EXPECT_EQ(c.result,
                  UnpackFiles(unzipper, (dir / "a.zip").string(), target.string(), c.mask));
        EXPECT_EQ(c.files, everythingUnder(target));
    }
}

}  // namespace
}  // namespace velmorant::test
