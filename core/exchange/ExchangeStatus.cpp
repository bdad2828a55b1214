#include "core/exchange/ExchangeStatus.h"

#include "core/db/Money.h"
#include "core/db/QueryResult.h"

namespace velmorant {

namespace {
const char* const kRun = "Обмен ";
const char* const kSent = " — отправлено ";
const char* const kWaiting = "Ждут отправки: ";
const char* const kFailedWithoutText = "ошибка.";

std::string hoursAndMinutes(DateTime when) { return TimeToText(when).substr(0, 5); }
}  // namespace

int CountDocumentsToSend() {
    auto q = Query("select count(*) as N from DOC_HEADS where DOC_STATE=1");
    if (!q || q->RowCount() == 0) return -1;
    q->First();
    return static_cast<int>(TextToInt(q->Value("N", ""), -1));
}

std::string ExchangeStatusLine(const LastExchangeRun& last, int waiting) {
    if (last.ran && !last.ok) {
        return kRun + hoursAndMinutes(last.when) + ": " +
               (last.failure.empty() ? std::string(kFailedWithoutText) : last.failure);
    }
    if (waiting > 0) return kWaiting + std::to_string(waiting);
    if (last.ran) return kRun + hoursAndMinutes(last.when) + kSent + std::to_string(last.sent);
    return {};
}

}  // namespace velmorant
