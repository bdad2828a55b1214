#include "core/journal/OfficeMessages.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "core/db/Money.h"
#include "core/db/QueryResult.h"
#include "core/db/Text.h"

namespace velmorant {

namespace {

bool AllDigits(const std::string& s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "HH:mm" or "HH:mm:ss" as a fraction of a day; -1 when it is neither.
double ReadTime(const std::string& text) {
    std::string t = text;
    const std::string h = CutToken(t, ':');
    const std::string m = CutToken(t, ':');
    const std::string s = t;
    if (h.size() < 1 || h.size() > 2 || m.size() != 2 || !AllDigits(h) || !AllDigits(m)) return -1;
    if (!s.empty() && (s.size() != 2 || !AllDigits(s))) return -1;
    const int hours = std::stoi(h);
    const int minutes = std::stoi(m);
    const int seconds = s.empty() ? 0 : std::stoi(s);
    if (hours > 23 || minutes > 59 || seconds > 59) return -1;
    return (hours * 3600 + minutes * 60 + seconds) / 86400.0;
}

bool HasTime(const std::string& text) { return text.find(':') != std::string::npos; }

}  // namespace

DateTime ReadMessageDate(const std::string& text) {
    const std::string t = Trim(text);
    if (t.empty()) return 0;
    std::string day = t;
    std::string time;
    const std::size_t cut = t.find_first_of(" T");
    if (cut != std::string::npos) {
        day = t.substr(0, cut);
        time = Trim(std::string_view(t).substr(cut + 1));
    }
    DateTime date = IsoToDate(day, 0);
    if (date <= 0) date = ParseDate(day, 0);  // "dd.MM.yyyy" and the like, or a day number
    if (!(date > 0) || !std::isfinite(date) || date > EncodeDate(9999, 12, 31) + 1) return 0;
    if (time.empty()) return date;
    const double fraction = ReadTime(time);
    if (fraction < 0) return 0;
    return std::trunc(date) + fraction;
}

std::string MessageDateText(const OfficeMessage& message) {
    if (message.date <= 0) return message.M_DATE;
    const std::string day = DateToText(message.date);
    if (!HasTime(message.M_DATE) && message.date == std::trunc(message.date)) return day;
    return day + " " + TimeToText(message.date).substr(0, 5);
}

std::string MessageBodyText(const std::string& body) {
    std::string out;
    for (char c : Trim(body)) {
        if (c == '|') {
            out += '\n';
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<OfficeMessage> ReadOfficeMessages() {
    std::vector<OfficeMessage> messages;
    std::unique_ptr<TQueryResult> q = Query(
        "select rowid as ROW_ID, GUID, M_DATE, S_TITLE, S_BODY, IS_NEW from MY_MESSAGES "
        "order by rowid");
    if (!q) return messages;
    const int cRow = q->ColumnIndex("ROW_ID");
    const int cGuid = q->ColumnIndex("GUID");
    const int cDate = q->ColumnIndex("M_DATE");
    const int cTitle = q->ColumnIndex("S_TITLE");
    const int cBody = q->ColumnIndex("S_BODY");
    const int cNew = q->ColumnIndex("IS_NEW");
    for (q->First(); !q->AtEnd(); q->Next()) {
        OfficeMessage m;
        m.rowId = TextToInt(q->Cell(cRow), 0);
        m.GUID = Trim(q->Cell(cGuid));
        m.M_DATE = Trim(q->Cell(cDate));
        m.date = ReadMessageDate(m.M_DATE);
        m.S_TITLE = Trim(q->Cell(cTitle));
        m.S_BODY = q->Cell(cBody);
        m.unread = TextToInt(q->Cell(cNew), 0) != 0;
        messages.push_back(std::move(m));
    }
    std::stable_sort(messages.begin(), messages.end(),
                     [](const OfficeMessage& a, const OfficeMessage& b) {
                         if (a.date != b.date) return a.date > b.date;
                         return a.rowId > b.rowId;
                     });
    return messages;
}

int CountUnreadMessages() {
    TQueryResult connection(DatabasePath());
    if (!connection.Open()) return 0;
    // Silent: a missing table or a locked file shows nothing, the rows read until then count.
    int unread = 0;
    connection.ExecRowsSilently("select IS_NEW from MY_MESSAGES", [&](const ResultRow& row) {
        if (!row.IsNull(0) && TextToInt(std::string(row.Value(0)), 0) != 0) ++unread;
    });
    return unread;
}

bool MarkMessageRead(std::int64_t rowId) {
    return Query("update MY_MESSAGES set IS_NEW=0 where (rowid=?)",
                 {static_cast<long long>(rowId)}) != nullptr;
}

}  // namespace velmorant
