#pragma once

#include <cstdint>
#include <string>

namespace velmorant {

// The exchange settings as the exchange uses them, read from MY_OPTIONS every time the
// exchange screen is shown (LoadAppOptions).
struct TAppOptions {
    bool UseZip = false;
    bool UseFTP = false;  // option UseFTP = "1" and a server address is set
    bool FTPAuth = false;
    bool FTPAuto = false;  // only when option UseFTP = "1"
    std::string FTPAddress;
    std::string FTPPath;
    std::string FTPLogin;     // "anonimous" when FTPAuth is off
    std::string FTPPassword;  // the built-in anonymous password when FTPAuth is off
    std::uint16_t FTPPort = 21;
    bool FTPSecure = false;  // option FTPSecure = "1": explicit TLS, never plain FTP
    std::string FTPCertPin;  // the server's public-key pins, "sha256//BASE64" separated by ";"
    std::string AnswerKey;   // the office's Ed25519 public key (base64): answers must be signed
};

// The login and the e-mail-shaped password used when FTPAuth is off.
inline constexpr const char* kAnonymousLogin = "anonimous";
inline constexpr const char* kAnonymousPassword = "agent@velmorant.ru";

// Reads the settings from MY_OPTIONS with the defaults and derived values above; warns
// "Не указан FTP-сервер." when FTP is switched on without a server. Called every time the
// exchange screen is shown; the screen keeps the result, enables its FTP commands exactly
// when UseFTP holds and switches its start timer on exactly when FTPAuto holds.
TAppOptions LoadAppOptions();

// The option AutoExchange: the period of the automatic exchange in minutes, 0 (off) when it
// is missing, not a number or not positive; at most a week.
int AutoExchangeMinutes();

// The port as the exchange uses it: a decimal integer (0 when the text is not one) reduced to
// its low 16 bits; 0 becomes 21.
std::uint16_t FtpPortFromText(const std::string& text);

}  // namespace velmorant
