// The export file, byte for byte, through real SQLite files and real folders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>

#include "core/db/Dates.h"
#include "core/db/QueryResult.h"
#include "core/exchange/Export.h"
#include "support/RecordingScreen.h"
#include "support/TestSupport.h"

namespace velmorant::test {
namespace {

// Cyrillic words as the file must hold them, in Windows-1251.
#define CP_ROGA "\xD0\xEE\xE3\xE0"
#define CP_KOPYTA "\xCA\xEE\xEF\xFB\xF2\xE0"
#define CP_YUG "\xDE\xE3"
#define CP_SAHAR "\xD1\xE0\xF5\xE0\xF0"
#define CP_CHAI "\xD7\xE0\xE9"
#define CP_KOFE "\xCA\xEE\xF4\xE5"
#define CP_ZAMETKA "\xC7\xE0\xEC\xE5\xF2\xEA\xE0"
#define CP_IVANOV "\xC8\xE2\xE0\xED\xEE\xE2"

const char* const kXmlLine = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n";
const char* const kRootPrefix = "<Velmorant ProtoVersion=\"0002-0000-0000-0002\" DateTime=\"";

std::string headOf(const char* guid, int state, const char* recTime, const char* cliName, int lines,
                   const std::string& prim) {
    return std::string(
               "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, "
               "CLI_NAME, ORD_LINES, STR_PRIM) values ('") +
           guid + "', '2026-12-05', " + std::to_string(state) + ", '" + recTime + "', ' C-1 ', '" +
           cliName + "', " + std::to_string(lines) + ", " + prim + ")";
}

std::string lineOf(const char* doc, int order, const char* guid, const char* name,
                   const char* count) {
    return std::string(
               "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
               "values ('") +
           doc + "', " + std::to_string(order) + ", '" + guid + "', '" + name + "', '" + count +
           "', 1.00)";
}

// The DateTime attribute is the time of the run: checked against the screen's clock, then replaced
// by
// "<now>" so that the rest of the file compares byte for byte.
std::string withNowReplaced(const std::string& bytes, const std::string& before,
                            const std::string& after) {
    static const std::regex dateTime(
        "DateTime=\"(\\d\\d)\\.(\\d\\d)\\.(\\d{4}) (\\d\\d:\\d\\d:\\d\\d)\"");
    std::smatch m;
    if (!std::regex_search(bytes, m, dateTime)) return bytes;
    const std::string sortable = m[3].str() + m[2].str() + m[1].str() + m[4].str();
    EXPECT_LE(before, sortable);
    EXPECT_LE(sortable, after);
    return m.prefix().str() + "DateTime=\"<now>\"" + m.suffix().str();
}

std::string sortableNow(const Clock& clock) {
    const DateTime now = clock.Now();
    int y, mo, d;
    DecodeDate(now, y, mo, d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, mo, d);
    return buf + TimeToText(now);
}

// The names in `folder` that end in ".tmp".
std::vector<std::string> temporaryFilesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = e.path().filename().string();
        if (name.size() > 4 && name.substr(name.size() - 4) == ".tmp") names.push_back(name);
    }
    return names;
}

class ExportTest : public ::testing::Test {
protected:
    TempProgramFolder program;
    RecordingNotifier notes;
    RecordingScreen screen;
    std::string folder = (program / "out").string();
    std::string xmlPath = folder + "/PDATo1C.xml";

    // Exports into `folder` and returns the file with DateTime replaced.
    std::string exportAndRead(const std::string& target) {
        const std::string before = sortableNow(screen.ExchangeClock());
        EXPECT_TRUE(ExportDocuments(screen, target));
        const std::string after = sortableNow(screen.ExchangeClock());
        return withNowReplaced(readFile(xmlPath), before, after);
    }
};

struct FileCase {
    const char* name;
    std::vector<std::string> setup;
    std::string expected;
};

TEST_F(ExportTest, WritesTheFileByteForByte) {
    const std::string noDocs = std::string(kXmlLine) + kRootPrefix +
                               "<now>\" Agent=\"Test\" PDA_ID=\"\" LastLoadDate=\" \">\r\n"
                               "</Velmorant>\r\n";
    const std::vector<FileCase> cases = {
        {"no documents, no load date", {}, noDocs},
        {"only documents in other states",
         {headOf("B", 2, "2026-12-01", "x", 0, "''"), headOf("Z", 0, "2026-12-01", "x", 0, "''")},
         noDocs},
        {"LLD_Def when LLD is missing, agent and device from the options",
         {"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('LLD_Def', '05.12.2026 10:00:00')",
          "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('LLD', '   ')",
          "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('agentname', ' Иванов & Co ')",
          "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('PDA_ID', 'PDA-7')"},
         std::string(kXmlLine) + kRootPrefix +
             "<now>\" Agent=\"" CP_IVANOV
             " &amp; Co\" PDA_ID=\"PDA-7\" LastLoadDate=\"05.12.2026 10:00:00\">\r\n"
             "</Velmorant>\r\n"},
        {"LLD before LLD_Def",
         {"insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('LLD_Def', '05.12.2026 10:00:00')",
          "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('LLD', '01.12.2026')"},
         std::string(kXmlLine) + kRootPrefix +
             "<now>\" Agent=\"Test\" PDA_ID=\"\" LastLoadDate=\"01.12.2026\">\r\n"
             "</Velmorant>\r\n"},
        {"documents with quotes, ampersands, line breaks and Cyrillic text",
         {headOf("A-1", 1, " 2026-12-04 ", "Рога & Копыта \"Юг\"", 2,
                 "' Заметка <10:00>' || char(13) || char(10) || 'O''Neil' || char(9) || 'x  '"),
          headOf("B-2", 2, "2026-12-04", "Office", 1, "''"),
          headOf("C-3", 1, "2026-12-06", "Кофе ✓", 1, "'   '"),
          headOf("D-4", 1, "2026-12-06", "", 0, "NULL"),
          lineOf("A-1", 0, " G-1 ", "Сахар \"Best\" & Co", " 2.50 "),
          lineOf("B-2", 0, "G-9", "never", "1"), lineOf("C-3", 0, "G-3", "Кофе ✓", "1"),
          lineOf("A-1", 1, "G-2", "Чай <green>", "10")},
         std::string(kXmlLine) + kRootPrefix +
             "<now>\" Agent=\"Test\" PDA_ID=\"\" LastLoadDate=\" \">\r\n"
             "<DOC ID=\"A-1\" DATEREC=\"2026-12-04\" DOCDATE=\"2026-12-05\" CLIENT=\"C-1\" "
             "CLIENTNAME=\"" CP_ROGA " &amp; " CP_KOPYTA " &quot;" CP_YUG
             "&quot;\" LINES=\"2\" PRIM=\"" CP_ZAMETKA " &lt;10:00&gt;  O'Neil x\" >\r\n"
             "<TABLE1>\r\n"
             "<ROW NGUID=\"G-1\" NNAME=\"" CP_SAHAR
             " &quot;Best&quot; &amp; Co\" NCOUNT=\"2.50\" />\r\n"
             "<ROW NGUID=\"G-2\" NNAME=\"" CP_CHAI " &lt;green&gt;\" NCOUNT=\"10\" />\r\n"
             "</TABLE1>\r\n"
             "</DOC>\r\n"
             "<DOC ID=\"C-3\" DATEREC=\"2026-12-06\" DOCDATE=\"2026-12-05\" CLIENT=\"C-1\" "
             "CLIENTNAME=\"" CP_KOFE " ?\" LINES=\"1\" PRIM=\"\" >\r\n"
             "<TABLE1>\r\n"
             "<ROW NGUID=\"G-3\" NNAME=\"" CP_KOFE " ?\" NCOUNT=\"1\" />\r\n"
             "</TABLE1>\r\n"
             "</DOC>\r\n"
             "<DOC ID=\"D-4\" DATEREC=\"2026-12-06\" DOCDATE=\"2026-12-05\" CLIENT=\"C-1\" "
             "CLIENTNAME=\"\" LINES=\"0\" PRIM=\"\" >\r\n"
             "<TABLE1>\r\n"
             "</TABLE1>\r\n"
             "</DOC>\r\n"
             "</Velmorant>\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        execSql({"delete from DOC_HEADS", "delete from DOC_ORDERS", "delete from MY_OPTIONS"});
        execSql(c.setup);
        for (const std::string& target : {folder, folder + "/"}) {
            screen.log.clear();
            EXPECT_EQ(exportAndRead(target), c.expected);
            EXPECT_TRUE(notes.texts().empty());
            const auto lint = runCommand("xmllint --noout '" + xmlPath + "'");
            EXPECT_EQ(lint.exitCode, 0) << lint.err;
            EXPECT_EQ(screen.log, (std::vector<std::string>{"Начата выгрузка...",
                                                            "Выгрузка завершена.\r\n" + xmlPath}));
            EXPECT_FALSE(std::filesystem::exists(xmlPath + ".tmp"));
        }
    }
    // Documents stay in state 1: the office's answer moves them on, not the export.
    EXPECT_EQ(joinedRows("select GUID from DOC_HEADS where DOC_STATE=1"),
              (std::vector<std::string>{"A-1", "C-3", "D-4"}));
}

// Every attribute is valid XML 1.0 whatever the database holds: with every control character
// in each of them, strict parsers (python's xml.etree, xmllint) read the file; in an identifier
// tab, line feed and carriage return arrive as they were and the other controls as blanks, in a
// free text every control arrives as a blank.
TEST_F(ExportTest, EveryAttributeIsValidXmlWhateverItHolds) {
    std::string codes;
    std::string asIdentifier = "A";
    std::string asFreeText = "A";
    for (int c = 1; c < 32; ++c) {
        codes += std::to_string(c) + ",";
        asIdentifier += (c == 9 || c == 10 || c == 13) ? static_cast<char>(c) : ' ';
        asFreeText += ' ';
    }
    codes += "127";
    asIdentifier += "\x7fZ";
    asFreeText += "\x7fZ";
    const std::string v = "('A' || char(" + codes + ") || 'Z')";
    execSql({"delete from MY_OPTIONS",
             "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('agentname', " + v + ")",
             "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('PDA_ID', " + v + ")",
             "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('LLD', " + v + ")",
             "insert into DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME, "
             "ORD_LINES, STR_PRIM) values (" +
                 v + ", " + v + ", 1, " + v + ", " + v + ", " + v + ", " + v + ", " + v + ")",
             "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) select GUID, "
             "0, " +
                 v + ", " + v + ", " + v + ", 1 from DOC_HEADS"});
    ASSERT_TRUE(ExportDocuments(screen, folder));

    const auto lint = runCommand("xmllint --noout '" + xmlPath + "'");
    EXPECT_EQ(lint.exitCode, 0) << lint.err;
    // Every attribute as python reads it: "<element> <name> <UTF-8 bytes in hex>".
    const auto parsed = runCommand(
        "/usr/bin/python3 -c 'import sys, xml.etree.ElementTree as E\n"
        "for e in E.parse(sys.argv[1]).getroot().iter():\n"
        "  for k, x in sorted(e.attrib.items()): print(e.tag, k, x.encode().hex())' '" +
        xmlPath + "'");
    ASSERT_EQ(parsed.exitCode, 0) << parsed.err;
    const auto hex = [](const std::string& text) {
        std::string out;
        char buf[3];
        for (const unsigned char c : text) {
            std::snprintf(buf, sizeof buf, "%02x", c);
            out += buf;
        }
        return out;
    };
    std::vector<std::string> expected;
    for (const char* a : {"Agent", "LastLoadDate", "PDA_ID"})
        expected.push_back(std::string("Velmorant ") + a + " " + hex(asIdentifier));
    expected.push_back("Velmorant ProtoVersion " + hex("0002-0000-0000-0002"));
    for (const char* a : {"CLIENT", "CLIENTNAME", "DATEREC", "DOCDATE", "ID", "LINES", "PRIM"}) {
        const bool free = std::string(a) == "CLIENTNAME" || std::string(a) == "PRIM";
        expected.push_back(std::string("DOC ") + a + " " + hex(free ? asFreeText : asIdentifier));
    }
    for (const char* a : {"NCOUNT", "NGUID", "NNAME"}) {
        const bool free = std::string(a) == "NNAME";
        expected.push_back(std::string("ROW ") + a + " " + hex(free ? asFreeText : asIdentifier));
    }
    std::vector<std::string> got;
    std::istringstream lines(parsed.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Velmorant DateTime ", 0) != 0) got.push_back(line);
    }
    EXPECT_EQ(got, expected);
}

TEST_F(ExportTest, ReportsProgressPerDocument) {
    execSql({headOf("A", 1, "2026-12-01", "a", 0, "''"), headOf("B", 1, "2026-12-01", "b", 0, "''"),
             headOf("C", 1, "2026-12-01", "c", 0, "''")});
    ASSERT_TRUE(ExportDocuments(screen, folder));
    EXPECT_TRUE(screen.bar.visible);
    EXPECT_EQ(screen.bar.minimum, 0);
    EXPECT_EQ(screen.bar.maximum, 3);
    EXPECT_EQ(screen.bar.value, 3);
}

TEST_F(ExportTest, PacksIntoAnArchiveThatUnzipOpens) {
    execSql({headOf("A-1", 1, "2026-12-04", "Рога & Копыта", 1, "''"),
             lineOf("A-1", 0, "G-1", "Сахар", "3")});
    std::filesystem::create_directories(folder);
    writeFile(xmlPath, "an older export");
    screen.appOptions.UseZip = true;
    ASSERT_TRUE(ExportDocuments(screen, folder));
    const std::string zipPath = folder + "/PDATo1C.zip";
    EXPECT_FALSE(std::filesystem::exists(xmlPath));
    EXPECT_EQ(screen.log, (std::vector<std::string>{"Начата выгрузка...", "Упаковка...",
                                                    "Выгрузка завершена.\r\n" + zipPath}));
    const auto listing = runCommand("unzip -Z1 '" + zipPath + "'");
    ASSERT_EQ(listing.exitCode, 0) << listing.err;
    EXPECT_EQ(listing.out, "PDATo1C.xml\n");
    const auto content = runCommand("unzip -p '" + zipPath + "' PDATo1C.xml");
    ASSERT_EQ(content.exitCode, 0) << content.err;
    EXPECT_NE(content.out.find("<DOC ID=\"A-1\" DATEREC=\"2026-12-04\" DOCDATE=\"2026-12-05\" "
                               "CLIENT=\"C-1\" CLIENTNAME=\"" CP_ROGA " &amp; " CP_KOPYTA
                               "\" LINES=\"1\" PRIM=\"\" >\r\n<TABLE1>\r\n<ROW NGUID=\"G-1\" "
                               "NNAME=\"" CP_SAHAR "\" NCOUNT=\"3\" />\r\n</TABLE1>\r\n"),
              std::string::npos)
        << content.out;
    EXPECT_EQ(content.out.substr(content.out.size() - 14), "</Velmorant>\r\n");
}

TEST_F(ExportTest, FailuresLeaveNoTruncatedFile) {
    struct FailureCase {
        const char* name;
        std::string folderGiven;
        std::string chosen;
        std::vector<std::string> setup;
        std::vector<std::string> messages;  // the last boxes shown
        bool oldFileKept;
    };
    writeFile(program / "blocker", "a file where a folder should be");
    const std::vector<FailureCase> cases = {
        {"chooser cancelled", "  ", "", {}, {}, true},
        {"folder cannot be created",
         (program / "blocker" / "sub").string(),
         "",
         {},
         {"Не удалось открыть файл для записи."},
         false},
        {"DOC_HEADS missing",
         folder,
         "",
         {"drop table DOC_HEADS"},
         {"no such table: DOC_HEADS", "Таблица DOC_HEADS недоступна."},
         true},
        {"DOC_ORDERS missing",
         folder,
         "",
         {"create table DOC_HEADS (GUID, DOC_DATE, DOC_STATE, REC_TIME, CLI_GUID, CLI_NAME, "
          "ORD_LINES, STR_PRIM)",
          "drop table DOC_ORDERS"},
         {"no such table: DOC_ORDERS", "Таблица DOC_ORDERS недоступна."},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::create_directories(folder);
        writeFile(xmlPath, "old export");
        execSql(c.setup);
        notes.clear();
        screen.chosenFolder = c.chosen;
        EXPECT_FALSE(ExportDocuments(screen, c.folderGiven));
        EXPECT_EQ(notes.texts(), c.messages);
        if (c.oldFileKept) {
            EXPECT_EQ(readFile(xmlPath), "old export");
        }
        EXPECT_EQ(temporaryFilesIn(folder), std::vector<std::string>{});
    }
    ASSERT_GE(notes.shown().size(), 1u);
    EXPECT_EQ(notes.shown().back().icon, MessageIcon::Warning);
}

TEST_F(ExportTest, ChoosesTheFolderWhenNoneIsGiven) {
    screen.chosenFolder = "  " + folder + "  ";
    EXPECT_TRUE(ExportDocuments(screen, ""));
    EXPECT_EQ(screen.chooserCalls, 1);
    EXPECT_TRUE(std::filesystem::exists(xmlPath));
}

// A folder whose name holds a line break is written to as it is named, and its name stays on
// the log's one line.
TEST_F(ExportTest, AFolderNameWithALineBreakStaysOnItsLogLine) {
    const std::string odd = (program / "out\nnext").string();
    ASSERT_TRUE(ExportDocuments(screen, odd));
    EXPECT_TRUE(std::filesystem::exists(odd + "/PDATo1C.xml"));
    EXPECT_EQ(screen.log,
              (std::vector<std::string>{
                  "Начата выгрузка...",
                  "Выгрузка завершена.\r\n" + (program / "out\\nnext").string() + "/PDATo1C.xml"}));
}

TEST_F(ExportTest, AWriteErrorKeepsTheOldFileAndReportsFailure) {
    // Enough documents to pass the file-size limit set below.
    std::vector<std::string> setup;
    for (int i = 0; i < 200; ++i) {
        const std::string guid = "DOC-" + std::to_string(i);
        setup.push_back(headOf(guid.c_str(), 1, "2026-12-01", "client", 1, "''"));
    }
    execSql(setup);
    std::filesystem::create_directories(folder);
    writeFile(xmlPath, "old export");

    // The process may not write files beyond 8 KiB: a write past it fails like a full disk.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 8192;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool result = ExportDocuments(screen, folder);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_FALSE(result);
    EXPECT_EQ(notes.texts(), std::vector<std::string>{"Не удалось записать файл."});
    EXPECT_EQ(notes.shown().back().icon, MessageIcon::Error);
    EXPECT_EQ(readFile(xmlPath), "old export");
    EXPECT_EQ(temporaryFilesIn(folder), std::vector<std::string>{});
    EXPECT_EQ(screen.log, std::vector<std::string>{"Начата выгрузка..."});
}

// Names planted in the folder, where the export writes its temporary file and its result:
// a link is never written through and a planted file never taken over.
TEST_F(ExportTest, PlantedLinksAndFilesAreNeverWrittenThrough) {
    const auto victim = program / "victim.txt";
    struct Case {
        const char* label;
        std::string name;  // planted in the folder
        bool link;         // a symbolic link to the victim, else a file of its own
        bool replaced;     // the export's result takes the planted name's place
    };
    const std::vector<Case> cases = {
        {"link named like the temporary file", "PDATo1C.xml.tmp", true, false},
        {"file named like the temporary file", "PDATo1C.xml.tmp", false, false},
        {"link in the export's place", "PDATo1C.xml", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        writeFile(victim, "not to be touched");
        const auto planted = std::filesystem::path(folder) / c.name;
        if (c.link) {
            std::filesystem::create_symlink(victim, planted);
        } else {
            writeFile(planted, "planted");
        }
        EXPECT_TRUE(ExportDocuments(screen, folder));
        EXPECT_EQ(readFile(victim), "not to be touched");
        EXPECT_FALSE(std::filesystem::is_symlink(xmlPath));
        EXPECT_EQ(readFile(xmlPath).rfind(kXmlLine, 0), 0u);
        if (!c.replaced) {
            EXPECT_EQ(std::filesystem::is_symlink(planted), c.link);
            if (!c.link) {
                EXPECT_EQ(readFile(planted), "planted");
            }
        }
        std::vector<std::string> left = temporaryFilesIn(folder);
        if (!c.replaced) left.erase(std::remove(left.begin(), left.end(), c.name), left.end());
        EXPECT_EQ(left, std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace velmorant::test
