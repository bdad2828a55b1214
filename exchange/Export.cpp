#include "exchange/Export.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/PackFile.h"
#include "db/Dates.h"
#include "db/Notifier.h"
#include "db/Options.h"
#include "db/QueryResult.h"
#include "db/Text.h"
#include "exchange/ExchangeScreen.h"

namespace velmorant {

namespace {

const char* const kFileName = "PDATo1C.xml";
const char* const kArchiveName = "PDATo1C.zip";
const char* const kTempSuffix = ".tmp";

const char* const kCannotCreate = "Не удалось открыть файл для записи.";
const char* const kCannotWrite = "Не удалось записать файл.";
const char* const kHeadsUnavailable = "Таблица DOC_HEADS недоступна.";
const char* const kLinesUnavailable = "Таблица DOC_ORDERS недоступна.";
const char* const kCannotPackLog = "(!) Не удалось упаковать файл!";
const char* const kCannotPack = "Не удалось упаковать файл.";
const char* const kStarted = "Начата выгрузка...";
const char* const kPacking = "Упаковка...";
const char* const kFinished = "Выгрузка завершена.\r\n";

const char* const kHeadsQuery =
    "select GUID, DOC_DATE, REC_TIME, CLI_GUID, CLI_NAME, ORD_LINES, STR_PRIM from DOC_HEADS "
    "where (DOC_STATE=1)";
// The lines of every document in state 1 in one pass. A table scan returns them in the
// order in which a query per document would return them, so each document gets its lines
// in the same order, without one scan of DOC_ORDERS per document.
const char* const kLinesQuery =
    "select DOC_ID, G_GUID, G_NAME, G_WT from DOC_ORDERS where DOC_ID in "
    "(select GUID from DOC_HEADS where (DOC_STATE=1))";

// Replaces the characters that XML does not allow as they are inside a double-quoted
// attribute value.
void appendEscaped(std::string& out, std::string_view value) {
    for (char c : value) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
                break;
        }
    }
}

// A free text made attribute-safe: trimmed, control characters turned into blanks, then
// escaped like every other value.
void appendSafeText(std::string& out, std::string_view value) {
    std::string text = Trim(value);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 32) c = ' ';
    }
    appendEscaped(out, text);
}

void appendAttr(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendEscaped(out, value);
    out += '"';
}

void appendSafeAttr(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendSafeText(out, value);
    out += '"';
}

// Writes the lines of the file: each trimmed, ended with CR LF, converted to Windows-1251
// in blocks of whole lines. Remembers the first write error; Finish() reports it.
class ExportWriter {
  public:
    explicit ExportWriter(int fd) : m_fd(fd) {}
    ~ExportWriter() {
        if (m_fd >= 0) ::close(m_fd);
    }
    ExportWriter(const ExportWriter&) = delete;
    ExportWriter& operator=(const ExportWriter&) = delete;

    void Line(std::string_view text) {
        size_t begin = 0;
        size_t end = text.size();
        while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
        while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
        m_pending.append(text.substr(begin, end - begin));
        m_pending += "\r\n";
        if (m_pending.size() >= kBlockSize) Flush();
    }

    // Writes what is pending, forces it to the disk and closes the file.
    bool Finish() {
        Flush();
        if (!m_failed && ::fsync(m_fd) != 0) m_failed = true;
        if (::close(m_fd) != 0) m_failed = true;
        m_fd = -1;
        return !m_failed;
    }

  private:
    static constexpr size_t kBlockSize = 64 * 1024;

    void Flush() {
        if (m_pending.empty() || m_failed) {
            m_pending.clear();
            return;
        }
        const std::string bytes = Utf8ToCp1251(m_pending);
        m_pending.clear();
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                m_failed = true;
                return;
            }
            done += static_cast<size_t>(n);
        }
    }

    int m_fd;
    std::string m_pending;
    bool m_failed = false;
};

std::string rootLine(const std::string& agent, const std::string& pdaId,
                     const std::string& lastLoad) {
    const TDate now = Now();
    std::string line = "<Velmorant";
    appendAttr(line, "ProtoVersion", "0002-0000-0000-0002");
    appendAttr(line, "DateTime", DateToText(now) + " " + TimeToText(now));
    appendAttr(line, "Agent", agent);
    appendAttr(line, "PDA_ID", pdaId);
    appendAttr(line, "LastLoadDate", lastLoad);
    line += '>';
    return line;
}

// Row numbers of the lines query, grouped by the document they belong to.
using LinesByDocument = std::unordered_map<std::string, std::vector<int>>;

LinesByDocument groupLines(TQueryResult& lines) {
    LinesByDocument byDoc;
    const int docId = lines.ColumnIndex("DOC_ID");
    int row = 0;
    for (lines.First(); !lines.AtEnd(); lines.Next(), ++row) {
        byDoc[lines.Cell(docId)].push_back(row);
    }
    return byDoc;
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

}  // namespace

bool ExportDocuments(TExchangeScreen& screen, ExchangeProgress& progress,
                     const std::string& folderIn) {
    std::string folder = Trim(folderIn);
    if (folder.empty()) folder = Trim(screen.ChooseFolder());
    if (folder.empty()) return false;
    if (folder.back() != '/') folder += '/';

    const std::string agent = GetOption("AgentName", "Test");
    const std::string pdaId = GetOption("PDA_ID", "");

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);

    const std::string path = folder + kFileName;
    const std::string tempPath = path + kTempSuffix;
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        notifier().message(kCannotCreate, MessageIcon::Error);
        return false;
    }
    ExportWriter writer(fd);
    screen.AddLogLine(kStarted);

    writer.Line("<?xml version=\"1.0\" encoding=\"windows-1251\"?>");
    writer.Line(rootLine(agent, pdaId, GetOption("LLD", GetOption("LLD_Def", " "))));

    auto heads = Query(kHeadsQuery);
    if (!heads) {
        notifier().message(kHeadsUnavailable, MessageIcon::Warning);
        writer.Finish();
        removeQuietly(tempPath);
        return false;
    }
    auto lines = Query(kLinesQuery);
    if (!lines) {
        notifier().message(kLinesUnavailable, MessageIcon::Warning);
        writer.Finish();
        removeQuietly(tempPath);
        return false;
    }
    const LinesByDocument linesByDoc = groupLines(*lines);
    const int lineGuid = lines->ColumnIndex("G_GUID");
    const int lineName = lines->ColumnIndex("G_NAME");
    const int lineCount = lines->ColumnIndex("G_WT");

    progress.setVisible(true);
    progress.setValue(0);
    progress.setRange(0, heads->RowCount());

    const int guidCol = heads->ColumnIndex("GUID");
    const int docDateCol = heads->ColumnIndex("DOC_DATE");
    const int recTimeCol = heads->ColumnIndex("REC_TIME");
    const int cliGuidCol = heads->ColumnIndex("CLI_GUID");
    const int cliNameCol = heads->ColumnIndex("CLI_NAME");
    const int ordLinesCol = heads->ColumnIndex("ORD_LINES");
    const int primCol = heads->ColumnIndex("STR_PRIM");

    std::string line;
    int done = 0;
    for (heads->First(); !heads->AtEnd(); heads->Next()) {
        const std::string guid = heads->Cell(guidCol);
        line = "<DOC";
        appendAttr(line, "ID", guid);
        appendAttr(line, "DATEREC", Trim(heads->Cell(recTimeCol)));
        appendAttr(line, "DOCDATE", Trim(heads->Cell(docDateCol)));
        appendAttr(line, "CLIENT", Trim(heads->Cell(cliGuidCol)));
        appendSafeAttr(line, "CLIENTNAME", heads->Cell(cliNameCol));
        appendAttr(line, "LINES", Trim(heads->Cell(ordLinesCol)));
        appendSafeAttr(line, "PRIM", heads->Cell(primCol));
        line += " >";
        writer.Line(line);
        writer.Line("<TABLE1>");
        if (auto it = linesByDoc.find(guid); it != linesByDoc.end()) {
            for (int row : it->second) {
                lines->GoTo(row);
                line = "<ROW";
                appendAttr(line, "NGUID", Trim(lines->Cell(lineGuid)));
                appendSafeAttr(line, "NNAME", lines->Cell(lineName));
                appendAttr(line, "NCOUNT", Trim(lines->Cell(lineCount)));
                line += " />";
                writer.Line(line);
            }
        }
        writer.Line("</TABLE1>");
        writer.Line("</DOC>");
        progress.setValue(++done);
    }
    writer.Line("</Velmorant>");

    // Only a complete file takes the place of the old one.
    if (!writer.Finish() || std::rename(tempPath.c_str(), path.c_str()) != 0) {
        removeQuietly(tempPath);
        notifier().message(kCannotWrite, MessageIcon::Error);
        return false;
    }

    std::string result = path;
    if (screen.options().UseZip) {
        screen.AddLogLine(kPacking);
        const std::string archive = folder + kArchiveName;
        if (!PackFile(path, archive)) {
            screen.AddLogLine(kCannotPackLog);
            notifier().message(kCannotPack, MessageIcon::Warning);
            return false;
        }
        removeQuietly(path);
        result = archive;
    }
    screen.AddLogLine(kFinished + result);
    return true;
}

}  // namespace velmorant
