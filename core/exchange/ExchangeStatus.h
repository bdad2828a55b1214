#pragma once

#include <string>

#include "core/db/Dates.h"

namespace velmorant {

// How the last exchange that ran by itself ended, for the journal's status line.
struct LastExchangeRun {
    bool ran = false;
    DateTime when = 0;  // when it ended, by the program's clock
    bool ok = false;
    int sent = 0;         // documents the export wrote and the upload delivered
    std::string failure;  // a failed run's last log entry, without its time
};

// The number of documents waiting to be sent (state 1); -1 when they cannot be counted (the
// database layer has shown why).
int CountDocumentsToSend();

// The journal's one line about the exchange: a failure first ("Обмен 12:05: Сбой связи."),
// then the documents still waiting ("Ждут отправки: 2"), else the last success ("Обмен 12:05 —
// отправлено 3"); empty before any run with nothing waiting. A negative `waiting` counts as
// none.
std::string ExchangeStatusLine(const LastExchangeRun& last, int waiting);

}  // namespace velmorant
