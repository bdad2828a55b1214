#include "core/exchange/Export.h"

#include <array>
#include <filesystem>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/archive/PackFile.h"
#include "core/db/AtomicFile.h"
#include "core/db/Clock.h"
#include "core/db/Database.h"
#include "core/db/Dates.h"
#include "core/db/Notifier.h"
#include "core/db/Options.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"
#include "core/exchange/ExchangePort.h"

namespace velmorant {

namespace {

const char* const kFileName = "PDATo1C.xml";
const char* const kArchiveName = "PDATo1C.zip";

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
    "where (DOC_STATE=1) order by rowid";
// The lines of every document in state 1 in one pass, each document's in the order in which
// they were stored. The office reads documents and lines in that order, the order of a scan
// of the tables: it is written out so that no index can change it.
const char* const kLinesQuery =
    "select DOC_ID, G_GUID, G_NAME, G_WT from DOC_ORDERS where DOC_ID in "
    "(select GUID from DOC_HEADS where (DOC_STATE=1)) order by DOC_ID, rowid";

std::string_view trimmed(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    return text.substr(begin, end - begin);
}

// Appends `value` as the text of a double-quoted XML 1.0 attribute value: the four characters
// XML reads as markup become entities; tab, line feed and carriage return become character
// references (a parser would read them raw as blanks); the other characters below 32, which
// XML 1.0 allows in no form, become blanks. With `blankControls` every character below 32
// becomes a blank.
// What appendEscaped does with a byte: 0 nothing, 1 an entity, 2 a blank, 3 a reference
// (a blank with `blankControls`).
constexpr std::array<unsigned char, 256> kEscapeKinds = [] {
    std::array<unsigned char, 256> kinds{};
    for (size_t c = 0; c < 32; ++c) kinds[c] = 2;
    for (const char c : {'\t', '\n', '\r'}) kinds[static_cast<unsigned char>(c)] = 3;
    for (const char c : {'&', '<', '>', '"'}) kinds[static_cast<unsigned char>(c)] = 1;
    return kinds;
}();

const char* entityFor(unsigned char c, bool blankControls) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\t':
            return blankControls ? " " : "&#9;";
        case '\n':
            return blankControls ? " " : "&#10;";
        case '\r':
            return blankControls ? " " : "&#13;";
        default:
            return " ";
    }
}

void appendEscaped(std::string& out, std::string_view value, bool blankControls) {
    size_t run = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        // Most bytes need nothing: letters, digits, blanks, UTF-8 sequences.
        if (kEscapeKinds[c] == 0) continue;
        out.append(value.substr(run, i - run));
        out += entityFor(c, blankControls);
        run = i + 1;
    }
    out.append(value.substr(run));
}

// name="value", escaped.
void appendAttr(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendEscaped(out, value, false);
    out += '"';
}

// A free text made attribute-safe: trimmed, control characters turned into blanks, escaped.
void appendSafeAttr(std::string& out, const char* name, std::string_view value) {
    out += ' ';
    out += name;
    out += "=\"";
    appendEscaped(out, trimmed(value), true);
    out += '"';
}

// Writes the lines of the file: each trimmed, ended with CR LF, converted to Windows-1251
// in blocks of whole lines. A failed write is remembered by the file; Finish() reports it.
class ExportWriter {
public:
    explicit ExportWriter(AtomicFile& file) : m_file(file) {}

    void Line(std::string_view text) {
        m_encoder.Append(trimmed(text), m_pending);
        m_pending += "\r\n";
        if (m_pending.size() >= kBlockSize) Flush();
    }

    // Writes what is pending and puts the complete file in place of the old one.
    bool Finish() {
        Flush();
        return m_file.Commit();
    }

private:
    static constexpr size_t kBlockSize = 64 * 1024;

    void Flush() {
        m_file.Write(m_pending);
        m_pending.clear();
    }

    AtomicFile& m_file;
    CodePageConverter m_encoder{"UTF-8", "CP1251"};
    std::string m_pending;
};

std::string rootLine(DateTime now, const std::string& agent, const std::string& pdaId,
                     const std::string& lastLoad) {
    std::string line = "<Velmorant";
    appendAttr(line, "ProtoVersion", "0002-0000-0000-0002");
    appendAttr(line, "DateTime", DateToText(now) + " " + TimeToText(now));
    appendAttr(line, "Agent", agent);
    appendAttr(line, "PDA_ID", pdaId);
    appendAttr(line, "LastLoadDate", lastLoad);
    line += '>';
    return line;
}

// The order lines of the exported documents, grouped by document: their texts kept one
// after the other in one buffer, in the order the query returned them.
class DocumentLines {
public:
    struct Line {
        size_t offset;
        size_t guidLength;
        size_t nameLength;
        size_t countLength;
    };

    // Runs the lines query on `q`'s connection, taking the rows as they come instead of
    // holding every cell as a text of its own. False when the query failed (its message
    // has been shown).
    bool Load(TQueryResult& q) {
        return q.ExecRows(kLinesQuery, [this](const ResultRow& row) { addRow(row); });
    }

    const std::vector<Line>* Of(const std::string& guid) const {
        const auto it = m_byDocument.find(guid);
        return it == m_byDocument.end() ? nullptr : &it->second;
    }
    std::string_view Guid(const Line& l) const { return {m_texts.data() + l.offset, l.guidLength}; }
    std::string_view Name(const Line& l) const {
        return {m_texts.data() + l.offset + l.guidLength, l.nameLength};
    }
    std::string_view Count(const Line& l) const {
        return {m_texts.data() + l.offset + l.guidLength + l.nameLength, l.countLength};
    }

private:
    void addRow(const ResultRow& row) {
        if (row.Count() < 4) return;
        const Line line{m_texts.size(), row.Value(1).size(), row.Value(2).size(),
                        row.Value(3).size()};
        m_texts.append(row.Value(1));
        m_texts.append(row.Value(2));
        m_texts.append(row.Value(3));
        m_key.assign(row.Value(0));
        m_byDocument[m_key].push_back(line);
    }

    std::string m_texts;
    std::string m_key;
    std::unordered_map<std::string, std::vector<Line>> m_byDocument;
};

// The documents of `heads` with their lines, one <DOC> each, counted on `progress`.
void writeDocuments(ExportWriter& writer, TQueryResult& heads, const DocumentLines& lines,
                    ExchangeProgress& progress) {
    progress.setVisible(true);
    progress.setValue(0);
    progress.setRange(0, heads.RowCount());

    const int guidCol = heads.ColumnIndex("GUID");
    const int docDateCol = heads.ColumnIndex("DOC_DATE");
    const int recTimeCol = heads.ColumnIndex("REC_TIME");
    const int cliGuidCol = heads.ColumnIndex("CLI_GUID");
    const int cliNameCol = heads.ColumnIndex("CLI_NAME");
    const int ordLinesCol = heads.ColumnIndex("ORD_LINES");
    const int primCol = heads.ColumnIndex("STR_PRIM");

    std::string line;
    int done = 0;
    for (heads.First(); !heads.AtEnd(); heads.Next()) {
        const std::string guid = heads.Cell(guidCol);
        line = "<DOC";
        appendAttr(line, "ID", guid);
        appendAttr(line, "DATEREC", trimmed(heads.Cell(recTimeCol)));
        appendAttr(line, "DOCDATE", trimmed(heads.Cell(docDateCol)));
        appendAttr(line, "CLIENT", trimmed(heads.Cell(cliGuidCol)));
        appendSafeAttr(line, "CLIENTNAME", heads.Cell(cliNameCol));
        appendAttr(line, "LINES", trimmed(heads.Cell(ordLinesCol)));
        appendSafeAttr(line, "PRIM", heads.Cell(primCol));
        line += " >";
        writer.Line(line);
        writer.Line("<TABLE1>");
        if (const auto* docLines = lines.Of(guid)) {
            for (const auto& l : *docLines) {
                line = "<ROW";
                appendAttr(line, "NGUID", trimmed(lines.Guid(l)));
                appendSafeAttr(line, "NNAME", lines.Name(l));
                appendAttr(line, "NCOUNT", trimmed(lines.Count(l)));
                line += " />";
                writer.Line(line);
            }
        }
        writer.Line("</TABLE1>");
        writer.Line("</DOC>");
        progress.setValue(++done);
    }
}

// The full path of a file, also when its folder was given relative to the current one. Only
// "." parts are dropped: folding "x/.." away could name another folder when x is a link.
std::string fullPath(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (ec) return path;
    std::filesystem::path out;
    for (const auto& part : absolute) {
        if (part != ".") out /= part;
    }
    return out.string();
}

void removeQuietly(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

}  // namespace

bool ExportDocuments(ExchangePort& screen, const std::string& folderIn) {
    std::string folder = Trim(folderIn);
    if (folder.empty()) folder = Trim(screen.ChooseFolder());
    if (folder.empty()) return false;
    if (folder.back() != '/') folder += '/';

    const std::string agent = GetOption("AgentName", "Test");
    const std::string pdaId = GetOption("PDA_ID", "");

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);

    const std::string path = folder + kFileName;
    // A new file of a name nobody could prepare: an existing file or link is never written
    // through, and only a complete file takes the place of the old one.
    AtomicFile file(path);
    if (!file.Open()) {
        notifier().message(kCannotCreate, MessageIcon::Error);
        return false;
    }
    ExportWriter writer(file);
    screen.AddLogLine(kStarted);

    writer.Line("<?xml version=\"1.0\" encoding=\"windows-1251\"?>");
    writer.Line(rootLine(screen.ExchangeClock().Now(), agent, pdaId,
                         GetOption("LLD", GetOption("LLD_Def", " "))));

    auto heads = Query(kHeadsQuery);
    if (!heads) {
        notifier().message(kHeadsUnavailable, MessageIcon::Warning);
        return false;
    }
    DocumentLines lines;
    if (!lines.Load(*heads)) {
        notifier().message(kLinesUnavailable, MessageIcon::Warning);
        return false;
    }

    writeDocuments(writer, *heads, lines, screen.Progress());
    writer.Line("</Velmorant>");

    if (!writer.Finish()) {
        notifier().message(kCannotWrite, MessageIcon::Error);
        return false;
    }

    std::string result = path;
    if (screen.Options().UseZip) {
        screen.AddLogLine(kPacking);
        const std::string archive = folder + kArchiveName;
        std::string zlibError;
        if (!PackFile(path, archive, ProgramFolder(), screen.ExchangeClock(), &zlibError)) {
            if (!zlibError.empty()) notifier().message(zlibError);
            screen.AddLogLine(kCannotPackLog);
            notifier().message(kCannotPack, MessageIcon::Warning);
            return false;
        }
        removeQuietly(path);
        result = archive;
    }
    screen.AddLogLine(kFinished + OneLineText(fullPath(result)));
    return true;
}

}  // namespace velmorant
