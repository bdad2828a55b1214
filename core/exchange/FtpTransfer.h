#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace velmorant {

class ExchangePort;
class TransferLoop;
struct TAppOptions;

enum class FtpDirection { Send, Fetch };

// How long a transfer waits for a silent server.
struct FtpTimeouts {
    // From the start until the server has accepted the login (TLS handshake included).
    std::chrono::milliseconds connect{20000};
    // After the login: the longest time in which not one byte of the file moves.
    std::chrono::milliseconds stall{30000};
};

// Where and how one transfer connects.
struct FtpConnection {
    std::string host;
    std::uint16_t port = 21;
    std::string login;
    std::string password;
    std::string path;  // FTPPath: one change of folder when it is not empty
    // FTPAuth off: when the server refuses the login "anonimous" with reply 530, log in once
    // more as "anonymous" with the same password.
    bool anonymousFallback = false;
    // FTPSecure: explicit TLS (AUTH TLS) for the control and the data connection, never
    // plain FTP. The certificate is checked against the system's authorities, unless
    // `certPin` is set: then the server's public key must match one of its pins
    // ("sha256//BASE64", several separated by ";") and the certificate may be self-signed.
    bool secure = false;
    std::string certPin;
    // The authorities to trust instead of the system's (a file of PEM certificates); empty
    // for the system's own. The program leaves it empty.
    std::string caFile;
    FtpTimeouts timeouts;
};

// The connection of the exchange as the settings describe it.
FtpConnection FtpConnectionFor(const TAppOptions& options);

// Moves one file between the exchange folder and the FTP server over one connection of its
// own: log in, change once into connection.path when it is set, transfer in binary mode over
// a passive data connection under the local file's own name, log out. Each step goes to
// screen.AddLogLine the moment it happens; the password is logged as asterisks only. The
// progress bar shows the bytes of the file when its size is known.
//
// Runs `loop` while it waits, so the program keeps serving its events; the person may cancel
// through the loop, and the transfer then ends at once with the log line "Прервано.".
// Connecting and logging in give up after timeouts.connect, a transfer that moves nothing
// after timeouts.stall.
//
// Send uploads `localPath`. Fetch downloads into `localPath` + ".part" beside it (the folder
// is created first; an earlier ".part" left by a crash is removed), which replaces
// `localPath` only once the whole file has arrived: a broken or cancelled transfer leaves an
// earlier file untouched and no partial one behind.
//
// Returns true when the file was transferred completely. Called on the thread of the loop.
bool FtpTransfer(ExchangePort& screen, TransferLoop& loop, FtpDirection direction,
                 const FtpConnection& connection, const std::string& localPath);

// The password as the log shows it: one "*" per character (UTF-8 aware).
std::string MaskedPassword(const std::string& password);

// The temporary name of a download into `localPath`.
std::string PartialDownloadPath(const std::string& localPath);

}  // namespace velmorant
