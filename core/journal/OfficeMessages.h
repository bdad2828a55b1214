#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/db/Dates.h"

namespace velmorant {

// One message of the office, as the import script stored it in MY_MESSAGES.
struct OfficeMessage {
    std::int64_t rowId = 0;  // the row's own number in the table: the key for marking it read
    std::string GUID;
    std::string M_DATE;  // as stored, trimmed
    DateTime date = 0;   // M_DATE read (see ReadMessageDate); 0 when it is not a date
    std::string S_TITLE;
    std::string S_BODY;
    bool unread = false;  // IS_NEW read as a number is not 0
};

// M_DATE as the office may write it: "yyyy-MM-dd" or "dd.MM.yyyy" (any separator that dates
// take), either followed by a time "HH:mm" or "HH:mm:ss" after a blank or a "T", or a day
// number. 0 when it is none of them.
DateTime ReadMessageDate(const std::string& text);

// M_DATE as the list shows it: "dd.MM.yyyy HH:mm", or "dd.MM.yyyy" when no time was given;
// the stored text itself when it is no date.
std::string MessageDateText(const OfficeMessage& message);

// The body as the agent reads it: trimmed, each "|" a line break, as in a client's INFO (a
// data row of the office's script cannot carry a line break of its own).
std::string MessageBodyText(const std::string& body);

// Every row of MY_MESSAGES, newest first (rows without a readable date last, later stored
// rows before earlier ones). Empty after a failed statement (the library's message has been
// shown).
std::vector<OfficeMessage> ReadOfficeMessages();

// How many rows of MY_MESSAGES are unread; 0 when the table cannot be read. Silent: the
// journal asks it on every reload, and a failure is reported when the list is opened.
int CountUnreadMessages();

// Sets IS_NEW = 0 in the row `rowId`. False when the statement failed (shown by the library).
bool MarkMessageRead(std::int64_t rowId);

}  // namespace velmorant
