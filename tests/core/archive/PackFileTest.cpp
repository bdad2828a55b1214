#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <map>

#include "core/archive/PackFile.h"
#include "core/archive/Unzipper.h"
#include "core/archive/ZipFormat.h"
#include "core/archive/ZipTestSupport.h"
#include "support/FixedClock.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

uint16_t le16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1])
                                                                   << 8);
}

uint32_t le32(const std::string& s, size_t at) {
    return le16(s, at) | uint32_t{le16(s, at + 2)} << 16;
}

std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

void setModified(const std::filesystem::path& p, std::time_t t) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, p.c_str(), times, 0));
}

std::time_t modified(const std::filesystem::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return -1;
    return st.st_mtime;
}

// Names created in a folder while it is watched.
class CreatedNames {
public:
    explicit CreatedNames(const std::filesystem::path& folder) {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        inotify_add_watch(m_fd, folder.c_str(), IN_CREATE);
    }
    ~CreatedNames() { ::close(m_fd); }
    std::vector<std::string> take() {
        std::vector<std::string> names;
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                if (e->len > 0) names.emplace_back(e->name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
        return names;
    }

private:
    int m_fd = -1;
};

class PackFileTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(m_dir / "program"); }
    // Where the temporary file of a large source goes.
    std::filesystem::path programFolder() const { return m_dir.path() / "program"; }
    bool pack(const std::string& source, const std::string& archive) const {
        return PackFile(source, archive, programFolder().string(), m_clock);
    }

    TempDir m_dir;
    FixedClock m_clock;  // 14 March 2030, 10:20:30
};

TEST_F(PackFileTest, RoundTripGivesSameBytesAndEvenSecondTime) {
    struct Case {
        const char* label;
        std::string name;
        std::string content;
    };
    const std::vector<Case> cases = {
        {"empty", "PDATo1C.xml", ""},
        {"one byte", "one.bin", "x"},
        {"text", "PDATo1C.xml", mixedText(100000, 7)},
        {"binary", "data.bin",
         [] {
             std::string s(300000, '\0');
             uint32_t x = 12345;
             for (char& c : s) {
                 x = x * 1103515245 + 12345;
                 c = static_cast<char>(x >> 24);
             }
             return s;
         }()},
        {"at the memory limit", "limit.txt", mixedText(4194304, 3)},
        {"one byte over", "over.txt", mixedText(4194305, 4)},
        {"cyrillic name", "Заявка №1.xml", "<doc/>\r\n"},
    };
    const std::time_t sourceTime = localTime(2024, 3, 15, 10, 20, 31);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto source = m_dir / c.name;
        const auto archive = m_dir / "out.zip";
        writeFile(source, c.content);
        setModified(source, sourceTime);
        ASSERT_TRUE(pack(source.string(), archive.string()));

        const CommandResult tested = runCommand("unzip -t '" + archive.string() + "'");
        EXPECT_EQ(0, tested.exitCode) << tested.out << tested.err;

        const auto target = m_dir / "unpacked";
        TUnzipper unzipper;
        ASSERT_EQ(1, UnpackFiles(unzipper, archive.string(), target.string(), c.name));
        EXPECT_TRUE(readFile(target / c.name) == c.content);
        EXPECT_EQ(sourceTime - 1, modified(target / c.name));
        std::filesystem::remove_all(target);
        EXPECT_EQ(std::vector<std::string>{}, filesUnder(programFolder()));
    }
}

TEST_F(PackFileTest, WritesTheSingleEntryLayout) {
    const auto source = m_dir / "PDATo1C.xml";
    const auto archive = m_dir / "PDATo1C.zip";
    writeFile(source, "");
    setModified(source, localTime(2023, 12, 31, 23, 59, 59));
    ASSERT_TRUE(pack(source.string(), archive.string()));
    const std::string z = readFile(archive);
    const size_t n = 11;
    ASSERT_EQ(30 + n + 2 + 46 + n + 22, z.size());
    EXPECT_EQ(0x04034B50u, le32(z, 0));
    EXPECT_EQ(10, le16(z, 4));  // version needed
    EXPECT_EQ(0, le16(z, 6));   // flags
    EXPECT_EQ(8, le16(z, 8));   // deflate
    EXPECT_EQ((23u << 11) | (59u << 5) | 29u, le16(z, 10));
    EXPECT_EQ((43u << 9) | (12u << 5) | 31u, le16(z, 12));
    EXPECT_EQ(0u, le32(z, 14));  // CRC-32 of nothing
    EXPECT_EQ(2u, le32(z, 18));  // the empty final block
    EXPECT_EQ(0u, le32(z, 22));
    EXPECT_EQ(n, le16(z, 26));
    EXPECT_EQ(0, le16(z, 28));
    EXPECT_EQ("PDATo1C.xml", z.substr(30, n));
    EXPECT_EQ(std::string("\x03\x00", 2), z.substr(30 + n, 2));
    const size_t central = 30 + n + 2;
    EXPECT_EQ(0x02014B50u, le32(z, central));
    EXPECT_EQ(10, le16(z, central + 4));
    EXPECT_EQ(z.substr(4, 26), z.substr(central + 6, 26));
    EXPECT_EQ(0x20u, le32(z, central + 38));
    EXPECT_EQ(0u, le32(z, central + 42));
    const size_t end = central + 46 + n;
    EXPECT_EQ(0x06054B50u, le32(z, end));
    EXPECT_EQ(1, le16(z, end + 8));
    EXPECT_EQ(1, le16(z, end + 10));
    EXPECT_EQ(46 + n, le32(z, end + 12));
    EXPECT_EQ(central, le32(z, end + 16));
}

// A last-write time that is no local time (its year does not fit the calendar) gives way to
// the clock's time.
TEST_F(PackFileTest, EntryTimeFromTheClockWhenTheSourceTimeIsNoLocalTime) {
    // The system's temporary folder may clamp such a time; the memory file system keeps it.
    const std::filesystem::path source = "/dev/shm/velmorant-pack-" + std::to_string(::getpid());
    writeFile(source, "x");
    struct FileRemover {
        std::filesystem::path path;
        ~FileRemover() { std::filesystem::remove(path); }
    } remover{source};
    const std::time_t absurd = static_cast<std::time_t>(1) << 60;
    struct timespec times[2] = {{absurd, 0}, {absurd, 0}};
    if (::utimensat(AT_FDCWD, source.c_str(), times, 0) != 0 || modified(source) != absurd) {
        GTEST_SKIP() << "/dev/shm does not keep a last-write time of 2^60 seconds";
    }
    const auto archive = m_dir / "a.zip";
    ASSERT_TRUE(pack(source.string(), archive.string()));
    const std::string z = readFile(archive);
    EXPECT_EQ((10u << 11) | (20u << 5) | 15u, le16(z, 10));
    EXPECT_EQ((50u << 9) | (3u << 5) | 14u, le16(z, 12));
}

TEST(ZipFormat, DosDateTimeOfADateValue) {
    struct Case {
        const char* label;
        DateTime date;
        uint32_t expected;
    };
    const DateTime noon = 0.5;
    const Case cases[] = {
        {"a time of day, odd second down to even", EncodeDate(2030, 3, 14) + 37231.0 / 86400,
         (((50u << 9) | (3u << 5) | 14u) << 16) | (10u << 11) | (20u << 5) | 15u},
        {"the last moment of a day", EncodeDate(2023, 12, 31) + 0.99999999,
         (((43u << 9) | (12u << 5) | 31u) << 16) | (23u << 11) | (59u << 5) | 29u},
        {"before 1980", EncodeDate(1975, 6, 1) + noon, ((1u << 5) | 1u) << 16},
        {"after 2107", EncodeDate(2200, 1, 1) + noon,
         (((127u << 9) | (12u << 5) | 31u) << 16) | (23u << 11) | (59u << 5) | 29u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, zip::DosDateTimeFromDate(c.date)) << c.label;
    }
}

TEST_F(PackFileTest, NonAsciiNameIsMarkedUtf8) {
    const auto source = m_dir / "тест.txt";
    const auto archive = m_dir / "a.zip";
    writeFile(source, "проба");
    ASSERT_TRUE(pack(source.string(), archive.string()));
    EXPECT_EQ(0x0800, le16(readFile(archive), 6));
    const CommandResult listed = runCommand(
        "/usr/bin/python3 -c \"import zipfile,sys; "
        "print(zipfile.ZipFile(sys.argv[1]).namelist()[0])\" '" +
        archive.string() + "'");
    EXPECT_EQ("тест.txt\n", listed.out);
}

TEST_F(PackFileTest, LargeSourcesCollectInATemporaryFile) {
    struct Case {
        const char* label;
        size_t size;
        bool packTmpExists;
        std::vector<std::string> created;  // names created in the program folder
    };
    const std::vector<Case> cases = {
        {"4 MiB stays in memory", 4194304, false, {}},
        {"one byte more uses pack.tmp", 4194305, false, {"pack.tmp"}},
        {"pack.tmp taken: 0001", 4194305, true, {"0001"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto source = m_dir / "big.txt";
        writeFile(source, mixedText(c.size, 9));
        if (c.packTmpExists) writeFile(programFolder() / "pack.tmp", "keep me");
        CreatedNames watch(programFolder());
        ASSERT_TRUE(pack(source.string(), (m_dir / "big.zip").string()));
        EXPECT_EQ(c.created, watch.take());
        std::vector<std::string> left;
        if (c.packTmpExists) left.push_back("pack.tmp");
        EXPECT_EQ(left, filesUnder(programFolder()));
        if (c.packTmpExists) {
            EXPECT_EQ("keep me", readFile(programFolder() / "pack.tmp"));
        }
        std::filesystem::remove(programFolder() / "pack.tmp");
    }
}

TEST_F(PackFileTest, FailuresLeaveTheEarlierArchive) {
    const auto text = m_dir / "text.txt";
    writeFile(text, mixedText(200000, 5));
    const auto big = m_dir / "big.txt";
    writeFile(big, mixedText(5000000, 6));
    const auto huge = m_dir / "huge.bin";
    {
        std::ofstream(huge).close();
        std::filesystem::resize_file(huge, 0x100000000ULL);  // sparse: 4 GiB
    }
    // Readers take a size field of 0xFFFFFFFF for the mark of a 64-bit size.
    const auto marker = m_dir / "marker.bin";
    {
        std::ofstream(marker).close();
        std::filesystem::resize_file(marker, 0xFFFFFFFFULL);
    }
    struct Case {
        const char* label;
        std::string source;
        std::string archive;
        rlim_t fileLimit;  // 0: none
    };
    const std::string archive = (m_dir / "out.zip").string();
    const std::vector<Case> cases = {
        {"missing source", (m_dir / "missing.txt").string(), archive, 0},
        {"source is a folder", m_dir.str(), archive, 0},
        {"source longer than its size says", "/proc/self/status", archive, 0},
        {"source of 4 GiB", huge.string(), archive, 0},
        {"source of 0xFFFFFFFF bytes", marker.string(), archive, 0},
        {"archive folder missing", text.string(), (m_dir / "no/out.zip").string(), 0},
        {"archive cannot be written whole", text.string(), archive, 1000},
        {"temporary file cannot be written whole", big.string(), archive, 256 << 10},
        {"packing onto itself", text.string(), text.string(), 0},
    };
    const std::string textBefore = readFile(text);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        writeFile(archive, "an older archive");
        bool packed = true;
        std::string zlibError = "left from before";
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (c.fileLimit) limit = std::make_unique<FileSizeLimit>(c.fileLimit);
            packed = PackFile(c.source, c.archive, programFolder().string(), m_clock, &zlibError);
        }
        EXPECT_FALSE(packed);
        // None of these is a failure of zlib: there is nothing for the caller to show.
        EXPECT_EQ("", zlibError);
        // The earlier archive stays whole, and nothing half-written is left beside it.
        if (c.archive == archive) {
            EXPECT_EQ("an older archive", readFile(archive));
        }
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
            EXPECT_EQ(std::string::npos, entry.path().string().find(".tmp"));
        }
        EXPECT_EQ(std::vector<std::string>{}, filesUnder(programFolder()));
        EXPECT_TRUE(readFile(text) == textBefore);
    }
    // A device is never removed, even when writing to it fails.
    EXPECT_FALSE(pack(text.string(), "/dev/full"));
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// Bytes of the folder's files other than `except`, by name, for seeing what a child began.
std::map<std::string, uintmax_t> sizesBeside(const std::filesystem::path& folder) {
    std::map<std::string, uintmax_t> sizes;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        sizes[it->path().filename().string()] = it->file_size(ec);
    }
    return sizes;
}

// A pack killed (SIGKILL) while it writes leaves the earlier archive byte for byte; killed as
// soon as it has begun a file beside it, or the archive itself, and once that file has data.
TEST_F(PackFileTest, KilledWhileWritingLeavesTheEarlierArchive) {
    struct Case {
        const char* label;
        size_t sourceSize;
        bool waitForData;  // kill only once the new file holds bytes
    };
    const std::vector<Case> cases = {
        {"compressed in memory, killed when begun", 3000000, false},
        {"through a temporary file, killed while writing", 8000000, true},
    };
    const auto source = m_dir / "PDATo1C.xml";
    const auto archive = m_dir / "PDATo1C.zip";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        writeFile(source, "the earlier export");
        ASSERT_TRUE(pack(source.string(), archive.string()));
        const std::string earlier = readFile(archive);
        writeFile(source, mixedText(c.sourceSize, 11));
        const auto before = sizesBeside(m_dir.path());
        bool killedMidway = false;
        for (int attempt = 0; attempt < 5 && !killedMidway; ++attempt) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                PackFile(source.string(), archive.string(), programFolder().string(), m_clock);
                ::_exit(0);
            }
            for (;;) {
                if (::waitpid(child, nullptr, WNOHANG) == child) break;  // finished first
                const auto now = sizesBeside(m_dir.path());
                bool begun = false;
                for (const auto& [name, bytes] : now) {
                    const auto was = before.find(name);
                    const bool changed = was == before.end() || was->second != bytes;
                    if (changed && (!c.waitForData || bytes > 0)) begun = true;
                }
                if (begun) {
                    ::kill(child, SIGKILL);
                    int status = 0;
                    ::waitpid(child, &status, 0);
                    killedMidway = WIFSIGNALED(status);
                    break;
                }
            }
            EXPECT_EQ(earlier, readFile(archive));
            // What a killed writer leaves is beside the archive, never in its place.
            for (const auto& [name, bytes] : sizesBeside(m_dir.path())) {
                if (name.find(".tmp") != std::string::npos) {
                    std::filesystem::remove(m_dir / name);
                }
            }
            std::filesystem::remove(programFolder() / "pack.tmp");
        }
        EXPECT_TRUE(killedMidway);
    }
}

TEST_F(PackFileTest, CommandLinePackAndUnpack) {
    const auto source = m_dir / "ToPDA.sqd";
    writeFile(source, mixedText(5000, 1));
    const std::string cli = VELMORANT_CLI_PATH;
    const auto archive = m_dir / "ToPDA.zip";
    struct Case {
        std::string command;
        int exitCode;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"pack '" + source.string() + "' '" + archive.string() + "'", 0, ""},
        {"pack '" + (m_dir / "missing").string() + "' '" + archive.string() + "x'", 1, ""},
        {"unpack '" + archive.string() + "' '" + (m_dir / "x").string() + "' ToPDA.sqd", 0, "1\n"},
        {"unpack '" + archive.string() + "' '" + (m_dir / "x").string() + "' ToPDA.sql", 0, "0\n"},
        {"unpack '" + archive.string() + "' '' '*'", 1, "-500\n"},
        {"unpack '" + (m_dir / "missing.zip").string() + "' '" + m_dir.str() + "' '*'", 1, "-14\n"},
        {"unpack '" + source.string() + "' '" + m_dir.str() + "' '*'", 1, "-12\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const CommandResult r = runCommand("'" + cli + "' " + c.command);
        EXPECT_EQ(c.exitCode, r.exitCode) << r.err;
        EXPECT_EQ(c.out, r.out);
    }
    EXPECT_TRUE(readFile(m_dir / "x" / "ToPDA.sqd") == readFile(source));
}

}  // namespace
}  // namespace velmorant::test
