#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/db/Dates.h"

namespace velmorant {

class Clock;

// Texts of the order document, shown by the editor's status label and in message boxes.
inline constexpr const char* kDocStatusNew = "новый документ";
inline constexpr const char* kDocStatusWritten = "документ записан";
inline constexpr const char* kDocStatusSent = "документ передан в БД";
inline constexpr const char* kDocStatusUnknownTail = "] статус не опознан*";  // "[" + n + this
inline constexpr const char* kDocNoClient = "Не заполнено поле \"Клиент\".";
inline constexpr const char* kDocSaveRefused =
    "Изменение запрещено.\r\nДокумент выгружен в центр. БД.";
inline constexpr const char* kDocHeaderNotRead = "Не удалось прочитать заголовок.";
inline constexpr const char* kDocTotalsTooLarge =
    "Сумма или количество документа слишком велики.\r\nДокумент не записан.";

// One order line of a document.
struct TDocLine {
    std::string G_GUID;  // goods item (SPR_GOODS.GUID)
    std::string G_NAME;  // goods name as picked or as stored
    // The ordered quantity as the editor shows it: two decimals with "." ("12.50"); empty
    // when the quantity was set to zero. Such a line is still stored, with G_WT 0.00.
    std::string G_WT;
    std::int32_t PriceCents = 0;  // unit price in hundredths, cut toward zero
    std::string Sum;              // quantity x price, two decimals, when UseSums; else empty
};

// The document being edited. The editor window owns one; the functions below fill and store
// it. Not thread-safe: used from the user-interface thread only.
struct TDocHead {
    std::string GUID;            // 36 characters; empty while the document was never written
    DateTime DOC_DATE = 0;       // shipment date, whole days
    std::int32_t DOC_STATE = 0;  // as read from DOC_HEADS; 0 for a new document
    std::string CLI_GUID;
    std::string CLI_NAME;
    std::string STR_PRIM;   // the note, free text
    bool UseSums = false;   // option UseSUMS is "1"; read again by NewDocument and LoadDocument
    bool Modified = false;  // set by the editor's edits; cleared by New, Load and a good Save
    std::vector<TDocLine> Lines;  // in the order shown; the index is the stored ORDER_ID

    std::string statusText;  // what the editor's status label shows (DocStateText)
};

// The status text of a stored state: 0 and 1 "документ записан", 2 "документ передан в БД",
// any other n "[n] статус не опознан*".
std::string DocStateText(std::int32_t state);

// DOC_STATE as stored: an integer, or a real number such as 2.0 (or its text) that the
// office may have written. A fraction is taken up to the next integer, so that a state above
// 1 stays above 1; beyond the range of the field, its nearest end; not a number: 0.
std::int32_t DocStateFromText(const std::string& text);

// Resets `doc` to a new, empty document dated the clock's today ("новый документ", no GUID,
// state 0, Modified false) and reads UseSUMS.
void NewDocument(TDocHead& doc, const Clock& clock);

// True when `guid`, trimmed, is empty or the null GUID: it names no stored document, and
// LoadDocument reads nothing for it.
bool NamesNoDocument(const std::string& guid);

// Sets doc.GUID to `guid` and reads UseSUMS and that document's header and lines; Modified
// becomes false; a stored shipment date that cannot be read becomes the clock's today.
// Does nothing more when NamesNoDocument(guid) (returns true: there is
// nothing to read). Returns false when the header row was not found ("Не удалось прочитать
// заголовок.") or a query failed (the library's message); the document then holds what
// could be read. SaveDocument refuses a document whose header is gone; one whose lines could
// not be read would be saved without them, so after false the editor should not save.
bool LoadDocument(TDocHead& doc, const std::string& guid, const Clock& clock);

// Checks the client, computes the totals and writes the header and every line in one
// transaction. A new document gets its GUID, state 1, "документ записан" and the clock's today
// as REC_TIME. An existing one
// is refused when its state is above 1, in memory or as stored now (the office may have
// taken it while it was open; doc.DOC_STATE and statusText then show the stored state), and
// when its stored header is gone. Any document is refused when its total quantity or sum
// (or one line's term of it) would pass the range of a fixed-point value
// (kDocTotalsTooLarge): a wrapped total is never written. Returns true when everything was
// written; Modified is then cleared. On any failure (the messages have been shown) the
// stored document is unchanged, Modified stays as it was, and a new document stays new (GUID
// empty), so the next save inserts again. A rejected statement is shown by its own SQL text.
bool SaveDocument(TDocHead& doc, const Clock& clock);

// Removes the document `guid` (used unchanged) from DOC_HEADS, DOC_ORDERS, DOC_SKUS and
// DOC_COMPETS, each statement whether or not the one before succeeded. Returns true once the
// four were issued; false only when the database could not be opened or nothing could be
// committed (the library's message has been shown). Asking the person first is the
// caller's business.
bool DeleteDocument(const std::string& guid);

}  // namespace velmorant
