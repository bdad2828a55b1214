#pragma once

#include <cstdint>
#include <string>

namespace velmorant {

class TExchangeScreen;

enum class FtpDirection { Send, Fetch };

// Moves one file between the exchange folder and the FTP server over one connection of its
// own: log in with `login` and `password`, change once into the screen's FTPPath when it is
// set, transfer in binary mode over a passive data connection under the local file's own name,
// log out. Every step goes to screen.AddLogLine; the password is logged as asterisks only.
//
// Send uploads `localPath`. Fetch downloads into a temporary file beside `localPath` (the
// folder is created first) that replaces `localPath` only once the whole file has arrived, so
// a broken transfer leaves an earlier file untouched and no partial one behind.
//
// Blocks until the transfer ends (called from the user-interface thread). Returns true when
// the file was transferred completely.
bool FtpTransfer(TExchangeScreen& screen, FtpDirection direction, const std::string& host,
                 std::uint16_t port, const std::string& login, const std::string& password,
                 const std::string& localPath);

// The password as the log shows it: one "*" per character (UTF-8 aware).
std::string MaskedPassword(const std::string& password);

}  // namespace velmorant
