// Archives and raw streams of the old methods (shrink, reduce, implode) made by other tools,
// driven by the manifest that lists every entry with its size and CRC-32.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "core/archive/Unzipper.h"
#include "core/archive/ZipTestSupport.h"
#include "core/db/Text.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

// The archives come from ../shared/testdata beside the checkout; VELMORANT_TESTDATA_DIR in the
// environment names another folder.
std::filesystem::path testdataFolder() {
    const char* other = std::getenv("VELMORANT_TESTDATA_DIR");
    return std::filesystem::path(other && *other ? other : VELMORANT_TESTDATA_DIR)
        .lexically_normal();
}

const std::filesystem::path kLegacy = testdataFolder() / "zip-legacy";

// Without the archives the tests fail, naming the folder where they were looked for: a
// checkout without them must not look as if the old methods were tested.
void requireLegacyArchives() {
    ASSERT_TRUE(std::filesystem::is_regular_file(kLegacy / "MANIFEST.tsv"))
        << "the legacy archives are missing: no " << (kLegacy / "MANIFEST.tsv").string()
        << " (the tests read them from the folder " << testdataFolder().string()
        << ", ../shared/testdata beside the checkout)";
}

struct ManifestRow {
    std::string archive;
    std::string name;  // raw bytes as stored ("-" for a raw stream)
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t uncompressed = 0;
    uint32_t compressed = 0;
    uint32_t crc = 0;
    std::string plain;  // expected plain file, may be empty
};

std::string fromHex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::vector<ManifestRow> readManifest() {
    std::ifstream in(kLegacy / "MANIFEST.tsv");
    std::vector<ManifestRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream fields(line);
        std::string cell;
        while (std::getline(fields, cell, '\t')) f.push_back(cell);
        if (f.size() < 8) continue;
        ManifestRow r;
        r.archive = f[0];
        r.name = f[1].rfind("hex:", 0) == 0 ? fromHex(f[1].substr(4)) : f[1];
        r.method = static_cast<uint16_t>(std::stoi(f[3]));
        r.flags = static_cast<uint16_t>(std::stoi(f[4], nullptr, 16));
        r.uncompressed = static_cast<uint32_t>(std::stoul(f[5]));
        r.compressed = static_cast<uint32_t>(std::stoul(f[6]));
        r.crc = static_cast<uint32_t>(std::stoul(f[7], nullptr, 16));
        r.plain = f.size() > 8 ? f[8] : "";
        rows.push_back(r);
    }
    return rows;
}

// The expected plain bytes: a file, or "FILE + N zero bytes".
std::string expectedPlain(const std::string& plain) {
    const size_t plus = plain.find(" + ");
    if (plus == std::string::npos) return readFile(kLegacy / plain);
    const size_t zeros = std::stoul(plain.substr(plus + 3));
    return readFile(kLegacy / plain.substr(0, plus)) + std::string(zeros, '\0');
}

TEST(LegacyArchives, EveryManifestEntryExtractsWithItsCrc) {
    ASSERT_NO_FATAL_FAILURE(requireLegacyArchives());
    const std::vector<ManifestRow> rows = readManifest();
    std::map<std::string, std::vector<ManifestRow>> byArchive;
    for (const ManifestRow& r : rows) {
        if (r.name != "-") byArchive[r.archive].push_back(r);
    }
    ASSERT_GE(byArchive.size(), 26u);
    std::map<uint16_t, int> methodsSeen;
    TempDir dir;
    TUnzipper unzipper;  // one unpacker serves every run, as in the import
    for (const auto& [archive, entries] : byArchive) {
        SCOPED_TRACE(archive);
        const auto target = dir / "out";
        std::filesystem::remove_all(target);
        ASSERT_EQ(static_cast<int>(entries.size()),
                  UnpackFiles(unzipper, (kLegacy / archive).string(), target.string(), "*"));
        for (const ManifestRow& e : entries) {
            SCOPED_TRACE(e.name);
            const std::string bytes = readFile(target / Cp866ToUtf8(e.name));
            EXPECT_EQ(e.uncompressed, bytes.size());
            EXPECT_EQ(e.crc, crc32Of(bytes));
            if (!e.plain.empty()) {
                EXPECT_TRUE(bytes == expectedPlain(e.plain));
            }
            ++methodsSeen[e.method];
        }
    }
    for (uint16_t method : {0, 1, 2, 3, 4, 5, 6}) EXPECT_GT(methodsSeen[method], 0) << method;
}

TEST(LegacyArchives, RawStreamsDecodeInsideAnArchive) {
    ASSERT_NO_FATAL_FAILURE(requireLegacyArchives());
    const std::vector<ManifestRow> rows = readManifest();
    TempDir dir;
    int streams = 0;
    for (const ManifestRow& r : rows) {
        if (r.name != "-") continue;
        SCOPED_TRACE(r.archive);
        ZipEntryFields e;
        e.name = "stream.out";
        e.data = readFile(kLegacy / r.archive);
        ASSERT_EQ(r.compressed, e.data.size());
        e.method = r.method;
        e.flags = r.flags;
        e.crc32 = r.crc;
        e.uncompressedSize = r.uncompressed;
        writeFile(dir / "raw.zip", buildZip({e}));
        TUnzipper unzipper;
        ASSERT_EQ(1, UnpackFiles(unzipper, (dir / "raw.zip").string(), (dir / "out").string(),
                                 "stream.out"));
        EXPECT_TRUE(readFile(dir / "out" / "stream.out") == expectedPlain(r.plain));
        ++streams;
    }
    EXPECT_EQ(21, streams);
}

TEST(LegacyArchivesFolder, MissingFolderFailsTheTestsNamingIt) {
    TempDir dir;
    const std::string missing = (dir / "no-testdata").string();
    const CommandResult r =
        runCommand("VELMORANT_TESTDATA_DIR='" + missing + "' /proc/" + std::to_string(::getpid()) +
                   "/exe --gtest_filter='LegacyArchives.*'");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(
        r.out.find("the legacy archives are missing: no " + missing + "/zip-legacy/MANIFEST.tsv"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("2 FAILED TESTS"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace velmorant::test
