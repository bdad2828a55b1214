#include "exchange/FtpTransfer.h"

#include <curl/curl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "exchange/ExchangeScreen.h"

namespace velmorant {

namespace {

// The exchange log's texts of a transfer.
constexpr const char* kNoInternet = "Функции интернета недоступны.";
constexpr const char* kTryConnect = "Try connect to ";
constexpr const char* kNoConnection = "Не удалось соединиться с сервером.";
constexpr const char* kConnected = "Соединение установлено.";
constexpr const char* kNoFolderChange = "Сменить путь не удалось.";
constexpr const char* kSendWord = "Отправка";
constexpr const char* kFetchWord = "Загрузка ";  // the blank belongs to the word
constexpr const char* kFileSuffix = " файла.";
constexpr const char* kDoneSuffix = " завершена.";
constexpr const char* kSendFailed = "Сбой связи.";
constexpr const char* kFetchFailed = "Файл не найден.";

// How long a blocked screen waits for a silent server before the transfer counts as broken.
constexpr long kConnectTimeoutSeconds = 60;
constexpr long kResponseTimeoutSeconds = 60;
constexpr long kStallSeconds = 60;

bool curlAvailable() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

struct CurlDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct UrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Texts that go into FTP commands must not carry line breaks or other control characters:
// they would end the command and smuggle in another one.
bool safeInCommand(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 32 || c == 127) return false;
    }
    return true;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i]) return false;
    }
    return true;
}

// What the control connection shows of the session's progress: libcurl runs login, the change
// of folder and the transfer in one call, and the log tells those steps apart.
struct SessionWatch {
    bool loggedIn = false;  // a command after USER/PASS went out: the server accepted the login
    bool cwdSent = false;
    int cwdReply = 0;  // the server's final reply code to our CWD
};

// The reply code of a final reply line ("250 ..."); 0 for continuation lines and other text.
int finalReplyCode(std::string_view line) {
    if (line.size() < 3) return 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
    }
    if (line.size() > 3 && line[3] != ' ' && line[3] != '\r' && line[3] != '\n') return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* watch = static_cast<SessionWatch*>(user);
    std::string_view text(data, size);
    if (type == CURLINFO_HEADER_OUT) {
        if (!startsWith(text, "USER ") && !startsWith(text, "PASS ") &&
            !startsWith(text, "ACCT ")) {
            watch->loggedIn = true;
        }
        if (startsWith(text, "CWD ")) {
            watch->cwdSent = true;
            watch->cwdReply = 0;
        }
    } else if (type == CURLINFO_HEADER_IN && watch->cwdSent && watch->cwdReply == 0) {
        while (!text.empty() && watch->cwdReply == 0) {
            const std::size_t end = text.find('\n');
            watch->cwdReply = finalReplyCode(text.substr(0, end));
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        }
    }
    return 0;
}

// The local side of a download: a temporary file in the target's folder, created when the
// first bytes arrive and renamed over the target only when the transfer has completed.
class DownloadFile {
public:
    explicit DownloadFile(std::string target) : m_target(std::move(target)) {}
    ~DownloadFile() { discard(); }
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    bool write(const char* data, std::size_t size) {
        if (!m_file && !open()) return false;
        return std::fwrite(data, 1, size, m_file.get()) == size;
    }

    // Puts the complete file in place of the target; an empty remote file gives an empty file.
    bool commit() {
        if (!m_file && !open()) return false;
        bool ok = std::fflush(m_file.get()) == 0 && ::fsync(::fileno(m_file.get())) == 0;
        ok = std::fclose(m_file.release()) == 0 && ok;
        if (ok && std::rename(m_tempPath.c_str(), m_target.c_str()) == 0) {
            m_tempPath.clear();
            return true;
        }
        discard();
        return false;
    }

    void discard() {
        m_file.reset();
        if (!m_tempPath.empty()) {
            std::remove(m_tempPath.c_str());
            m_tempPath.clear();
        }
    }

private:
    bool open() {
        std::string pattern = m_target + ".XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0) return false;
        m_tempPath = pattern;
        // mkstemp makes the file private; give the result the usual permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        m_file.reset(::fdopen(fd, "wb"));
        if (!m_file) {
            ::close(fd);
            discard();
            return false;
        }
        return true;
    }

    std::string m_target;
    std::string m_tempPath;
    std::unique_ptr<FILE, FileCloser> m_file;
};

size_t onWrite(char* data, size_t size, size_t count, void* user) {
    const std::size_t bytes = size * count;
    if (bytes == 0) return 0;
    return static_cast<DownloadFile*>(user)->write(data, bytes) ? bytes : 0;
}

size_t onRead(char* buffer, size_t size, size_t count, void* user) {
    FILE* file = static_cast<FILE*>(user);
    const std::size_t got = std::fread(buffer, size, count, file);
    if (got < count && std::ferror(file)) return CURL_READFUNC_ABORT;
    return got;
}

// ftp://host:port/name, with the host bracketed when it is an IPv6 address and the name
// percent-encoded; nullptr when the host or the port is not acceptable.
std::unique_ptr<CURLU, UrlDeleter> buildUrl(const std::string& host, std::uint16_t port,
                                            const std::string& name) {
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url || host.empty() || !safeInCommand(host)) return nullptr;
    std::string urlHost = host;
    if (urlHost.find(':') != std::string::npos && urlHost.front() != '[') {
        urlHost = "[" + urlHost + "]";
    }
    const std::string portText = std::to_string(port);
    const std::string path = "/" + name;
    if (curl_url_set(url.get(), CURLUPART_SCHEME, "ftp", 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, urlHost.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PORT, portText.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PATH, path.c_str(), CURLU_URLENCODE) != CURLUE_OK) {
        return nullptr;
    }
    return url;
}

}  // namespace

std::string MaskedPassword(const std::string& password) {
    std::string stars;
    for (unsigned char c : password) {
        if ((c & 0xC0) != 0x80) stars += '*';
    }
    return stars;
}

bool FtpTransfer(TExchangeScreen& screen, FtpDirection direction, const std::string& host,
                 std::uint16_t port, const std::string& login, const std::string& password,
                 const std::string& localPath) {
    const bool sending = direction == FtpDirection::Send;
    const std::string word = sending ? kSendWord : kFetchWord;
    const std::string failure = sending ? kSendFailed : kFetchFailed;
    const std::string ftpPath = screen.options().FTPPath;

    std::unique_ptr<CURL, CurlDeleter> curl(curlAvailable() ? curl_easy_init() : nullptr);
    if (!curl) {
        screen.AddLogLine(kNoInternet);
        return false;
    }
    screen.AddLogLine(kTryConnect + host + " : " + std::to_string(port));
    screen.AddLogLine("  (Username=" + login + "; Password=" + MaskedPassword(password) + ")");

    const std::string remoteName = std::filesystem::path(localPath).filename().string();
    auto url = buildUrl(host, port, remoteName);
    if (!url || !safeInCommand(login) || !safeInCommand(password)) {
        screen.AddLogLine(kNoConnection);
        return false;
    }
    if (!safeInCommand(ftpPath)) {
        screen.AddLogLine(kNoFolderChange);
        screen.AddLogLine(failure);
        return false;
    }

    // The local side. An upload that cannot read its file does not reach the server at all.
    std::unique_ptr<FILE, FileCloser> upload;
    curl_off_t uploadSize = 0;
    std::unique_ptr<DownloadFile> download;
    if (sending) {
        upload.reset(std::fopen(localPath.c_str(), "rb"));
        struct stat info {};
        if (!upload || ::fstat(::fileno(upload.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
            screen.AddLogLine(failure);
            return false;
        }
        uploadSize = info.st_size;
    } else {
        // Create the exchange folder for the answer; when that fails, the temporary file
        // cannot be created either and the download fails as a local file that cannot be
        // written.
        std::error_code ec;
        const auto folder = std::filesystem::path(localPath).parent_path();
        if (!folder.empty()) std::filesystem::create_directories(folder, ec);
        download = std::make_unique<DownloadFile>(localPath);
    }

    std::unique_ptr<curl_slist, SlistDeleter> quote;
    if (!ftpPath.empty()) quote.reset(curl_slist_append(nullptr, ("CWD " + ftpPath).c_str()));

    SessionWatch watch;
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_CURLU, url.get());
    curl_easy_setopt(c, CURLOPT_USERNAME, login.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    // The one change of folder is ours: FTPPath goes to the server exactly as configured,
    // and the file is then named relative to the folder it leads to.
    curl_easy_setopt(c, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    if (quote) curl_easy_setopt(c, CURLOPT_QUOTE, quote.get());
    curl_easy_setopt(c, CURLOPT_FTP_CREATE_MISSING_DIRS,
                     static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    // Passive data connections with PASV, as the office servers have always been spoken to.
    curl_easy_setopt(c, CURLOPT_FTP_USE_EPSV, 0L);
    curl_easy_setopt(c, CURLOPT_FTP_USE_EPRT, 0L);
    curl_easy_setopt(c, CURLOPT_TRANSFERTEXT, 0L);  // binary: TYPE I
    // One connection per file, never taken from or left to another transfer.
    curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    // FTP through an HTTP proxy would not be FTP any more (no folder change, no binary mode).
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, kResponseTimeoutSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    // The debug callback sees the control connection; it only runs in verbose mode and
    // replaces libcurl's own output on stderr.
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &watch);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    if (sending) {
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, onRead);
        curl_easy_setopt(c, CURLOPT_READDATA, upload.get());
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, uploadSize);
    } else {
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, onWrite);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, download.get());
    }

    const CURLcode code = curl_easy_perform(c);
    curl.reset();  // closes the connection before the outcome is logged

    bool result = false;
    if (code == CURLE_OK || watch.loggedIn) {
        screen.AddLogLine(kConnected);
        const bool pathOk = ftpPath.empty() || (watch.cwdReply >= 200 && watch.cwdReply < 300);
        if (!pathOk) {
            screen.AddLogLine(kNoFolderChange);
        } else {
            screen.AddLogLine(word + kFileSuffix);
            result = code == CURLE_OK && (sending || download->commit());
        }
    } else {
        if (download) download->discard();
        screen.AddLogLine(kNoConnection);
        return false;
    }
    if (download && !result) download->discard();
    screen.AddLogLine(result ? word + kDoneSuffix : failure);
    return result;
}

}  // namespace velmorant
