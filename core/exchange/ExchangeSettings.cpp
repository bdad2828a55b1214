#include "core/exchange/ExchangeSettings.h"

#include "core/db/QueryResult.h"
#include "core/db/Text.h"

namespace velmorant {

namespace {

enum class Key {
    None,
    UseFtp,
    FtpAuth,
    UseZip,
    FtpAddress,
    FtpPort,
    FtpLogin,
    FtpPassword,
    FtpPath,
    FtpAuto,
    FtpSecure,
    AutoExchange,
    AnswerKey
};

Key keyOf(const std::string& name) {
    const std::string n = AsciiUpper(name);
    if (n == "USEFTP") return Key::UseFtp;
    if (n == "FTPAUTH") return Key::FtpAuth;
    if (n == "USEZIP") return Key::UseZip;
    if (n == "FTPADDRESS") return Key::FtpAddress;
    if (n == "FTPPORT") return Key::FtpPort;
    if (n == "FTPLOGIN") return Key::FtpLogin;
    if (n == "FTPPASSWORD") return Key::FtpPassword;
    if (n == "FTPPATH") return Key::FtpPath;
    if (n == "FTPAUTO") return Key::FtpAuto;
    if (n == "FTPSECURE") return Key::FtpSecure;
    if (n == "AUTOEXCHANGE") return Key::AutoExchange;
    if (n == "ANSWERKEY") return Key::AnswerKey;
    return Key::None;
}

std::string insertStatement(const std::string& name, const std::string& value) {
    return "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (" + SqlQuoted(Trim(name)) + ", " +
           SqlQuoted(Trim(value)) + ")";
}

const char* switchText(bool on) { return on ? "1" : "0"; }

}  // namespace

bool LoadExchangeSettings(ExchangeSettings& settings) {
    auto q = Query("select OPT_NAME, OPT_VAL from MY_OPTIONS order by rowid");
    if (!q) return false;
    ExchangeSettings s;
    for (q->First(); !q->AtEnd(); q->Next()) {
        const std::string name = Trim(q->Value("OPT_NAME", ""));
        const std::string value = Trim(q->Value("OPT_VAL", ""));
        switch (keyOf(name)) {
            case Key::UseFtp:
                s.useFtp = value == "1";
                break;
            case Key::FtpAuth:
                s.ftpAuth = value == "1";
                break;
            case Key::UseZip:
                s.useZip = value == "1";
                break;
            case Key::FtpAuto:
                s.ftpAuto = value == "1";
                break;
            case Key::FtpSecure:
                s.ftpSecure = value == "1";
                break;
            case Key::FtpAddress:
                s.ftpAddress = value;
                break;
            case Key::FtpPort:
                s.ftpPort = value;
                break;
            case Key::FtpPath:
                s.ftpPath = value;
                break;
            case Key::FtpLogin:
                s.ftpLogin = value;
                break;
            case Key::FtpPassword:
                s.ftpPassword = value;
                break;
            case Key::AutoExchange:
                s.autoExchange = value;
                break;
            case Key::AnswerKey:
                s.answerKey = value;
                break;
            case Key::None:
                s.otherOptions.emplace_back(name, value);
                break;
        }
    }
    settings = std::move(s);
    return true;
}

bool SaveExchangeSettings(const ExchangeSettings& s) {
    auto q = TQueryResult::Create(DatabasePath(), true);
    if (!q) return false;
    // The table is emptied first: without the transaction one failing insert would lose its
    // option for good.
    Transaction transaction(*q);
    if (!transaction.Begin()) return false;
    std::vector<std::string> statements = {
        "delete from MY_OPTIONS",
        insertStatement("UseFTP", switchText(s.useFtp)),
        insertStatement("FTPAuth", switchText(s.ftpAuth)),
        insertStatement("UseZip", switchText(s.useZip)),
        insertStatement("FTPAddress", s.ftpAddress),
        insertStatement("FTPPort", s.ftpPort),
        insertStatement("FTPPath", s.ftpPath),
        insertStatement("FTPLogin", s.ftpLogin),
        insertStatement("FTPPassword", s.ftpPassword),
        insertStatement("FTPAuto", switchText(s.ftpAuto)),
        insertStatement("FTPSecure", switchText(s.ftpSecure)),
    };
    if (!Trim(s.autoExchange).empty())
        statements.push_back(insertStatement("AutoExchange", s.autoExchange));
    if (!Trim(s.answerKey).empty())
        statements.push_back(insertStatement("AnswerKey", Trim(s.answerKey)));
    for (const auto& [name, value] : s.otherOptions) {
        if (!Trim(name).empty()) statements.push_back(insertStatement(name, value));
    }
    for (const auto& sql : statements) {
        if (!q->Exec(sql)) return false;
    }
    return transaction.Commit();
}

}  // namespace velmorant
