#include "core/exchange/AppOptions.h"

#include "core/db/Money.h"
#include "core/db/Notifier.h"
#include "core/db/Options.h"
#include "core/db/Text.h"

namespace velmorant {

namespace {
const char* const kNoFtpServer = "Не указан FTP-сервер.";

bool isOn(const char* name) { return GetOption(name, "") == "1"; }
}  // namespace

std::uint16_t FtpPortFromText(const std::string& text) {
    // Only the low 16 bits count, as a port field of 16 bits would keep them.
    const auto port = static_cast<std::uint16_t>(TextToInt(text, 0));
    return port == 0 ? 21 : port;
}

int AutoExchangeMinutes() {
    constexpr std::int64_t kWeek = 7 * 24 * 60;
    const std::int64_t minutes = TextToInt(GetOption("AutoExchange", "0"), 0);
    return minutes <= 0 ? 0 : static_cast<int>(minutes > kWeek ? kWeek : minutes);
}

TAppOptions LoadAppOptions() {
    TAppOptions o;
    o.UseZip = isOn("UseZip");
    const bool useFtp = isOn("UseFTP");
    o.FTPAuth = isOn("FTPAuth");
    o.FTPAuto = useFtp && isOn("FTPAuto");
    o.FTPAddress = GetOption("FTPAddress", "");
    o.FTPPath = Trim(GetOption("FTPPath", ""));
    if (o.FTPAuth) {
        o.FTPLogin = GetOption("FTPLogin", "");
        o.FTPPassword = GetOption("FTPPassword", "");
    } else {
        o.FTPLogin = kAnonymousLogin;
        o.FTPPassword = kAnonymousPassword;
    }
    if (useFtp && o.FTPAddress.empty()) notifier().message(kNoFtpServer, MessageIcon::Warning);
    o.UseFTP = useFtp && !o.FTPAddress.empty();
    o.FTPPort = FtpPortFromText(GetOption("FTPPort", ""));
    o.FTPSecure = isOn("FTPSecure");
    o.FTPCertPin = GetOption("FTPCertPin", "");
    o.AnswerKey = Trim(GetOption("AnswerKey", ""));
    return o;
}

}  // namespace velmorant
