#pragma once

#include <string>
#include <utility>
#include <vector>

namespace velmorant {

// What the settings dialog "Настройки" edits: the ten exchange keys and AnswerKey in their
// controls and
// every other row of MY_OPTIONS as a name and a value. Plain data, so that loading and saving
// are tested without a window.
struct ExchangeSettings {
    bool useFtp = false;
    bool ftpAuth = false;
    bool useZip = false;
    bool ftpAuto = false;
    bool ftpSecure = false;
    std::string ftpAddress;
    std::string ftpPort;
    std::string ftpPath;
    std::string ftpLogin;
    std::string ftpPassword;
    std::string autoExchange;  // minutes between automatic exchanges; empty or "0": none
    std::string answerKey;     // the office's public key: answers must be signed when it is set
    // Every other option, in the order MY_OPTIONS returned them: (name, value).
    std::vector<std::pair<std::string, std::string>> otherOptions;
};

// Reads MY_OPTIONS: names and values trimmed, the exchange keys recognised whatever the
// case of their ASCII letters (a later row of a key overwrites an earlier one), a switch on
// exactly when its value is "1". False when the table could not be read (the database layer
// has shown its message); `settings` then stays as it was.
bool LoadExchangeSettings(ExchangeSettings& settings);

// Rewrites MY_OPTIONS in one transaction: the ten exchange keys under their own spelling
// (switches as "1" or "0"; FTPSecure right after FTPAuto; AutoExchange and AnswerKey after
// them, each only when it is set), then every other option with a non-empty name; names and values
// trimmed, single quotes doubled, OPT_DESCR left empty. On any failure the database layer has
// shown its message, the table is rolled back to what it held before, and the result is false.
bool SaveExchangeSettings(const ExchangeSettings& settings);

}  // namespace velmorant
