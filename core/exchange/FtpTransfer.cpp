#include "core/exchange/FtpTransfer.h"

#include <curl/curl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/sockios.h>
#endif

#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "core/db/AtomicFile.h"
#include "core/db/Text.h"
#include "core/exchange/AppOptions.h"
#include "core/exchange/ExchangePort.h"
#include "core/exchange/TransferLoop.h"

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
constexpr const char* kCancelled = "Прервано.";
// Why a secure connection failed, the line after kNoConnection.
constexpr const char* kNoTls = "Сервер не поддерживает шифрование (TLS).";
constexpr const char* kUntrusted = "Сертификат сервера не является доверенным.";
constexpr const char* kPinMismatch = "Ключ сервера не совпадает с FTPCertPin.";
constexpr const char* kTlsFailed = "Не удалось установить защищённое соединение (TLS).";
constexpr const char* kBadPin = "Неверное значение FTPCertPin.";

// The name standard anonymous servers accept, tried once when they refuse kAnonymousLogin.
constexpr const char* kStandardAnonymousLogin = "anonymous";
constexpr int kLoginRefused = 530;

// How often the drain of an upload's last bytes is looked at, and how often the progress
// bar is redrawn at most.
constexpr std::chrono::milliseconds kDrainCheck{10};
constexpr std::chrono::milliseconds kProgressInterval{50};
// How often libcurl looks at all of its connections besides the ones it asked to watch (see
// Attempt::kick), and how long the final step's thread waits at most between two looks.
constexpr std::chrono::milliseconds kKick{20};
constexpr int kFinalPollMs = 20;

// An upload arrives on the server under its name with this ending and is renamed once it is
// complete, so that the office never takes a file that is still arriving or was cut off.
constexpr const char* kUploadSuffix = ".part";

using SteadyClock = std::chrono::steady_clock;

bool curlAvailable() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

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

// One pin as libcurl takes it: "sha256//" and the base64 text of a 32-byte hash.
bool validPin(const std::string& pin) {
    constexpr std::string_view prefix = "sha256//";
    if (pin.size() != prefix.size() + 44 || pin.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    for (std::size_t i = prefix.size(); i + 1 < pin.size(); ++i) {
        const char c = pin[i];
        const bool base64 = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                            (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (!base64) return false;
    }
    return pin.back() == '=';
}

// FTPCertPin as libcurl takes it: the pins separated by ";", blanks around each removed.
// Nothing when one of them is not a pin: libcurl would read a file of that name instead.
std::optional<std::string> pinsForCurl(const std::string& text) {
    std::string rest = text;
    std::string pins;
    while (!rest.empty()) {
        const std::string pin = CutToken(rest, ';');
        if (pin.empty()) continue;
        if (!validPin(pin)) return std::nullopt;
        if (!pins.empty()) pins += ';';
        pins += pin;
    }
    if (pins.empty()) return std::nullopt;
    return pins;
}

// The reason line of a secure connection that failed before the login.
const char* tlsFailureReason(CURLcode code) {
    switch (code) {
        case CURLE_USE_SSL_FAILED:
            return kNoTls;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
            return kUntrusted;
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return kPinMismatch;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
            return kTlsFailed;
        default:
            return nullptr;
    }
}

// The reply code of a final reply line ("250 ..."); 0 for continuation lines and other text.
int finalReplyCode(std::string_view line) {
    if (line.size() < 3) return 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
    }
    if (line.size() > 3 && line[3] != ' ' && line[3] != '\r' && line[3] != '\n') return 0;
    return (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
}

// What the control connection shows of the session's progress: libcurl runs the login, the
// change of folder and the transfer as one request, and the log tells those steps apart.
class ControlWatch {
public:
    void commandSent(std::string_view line) {
        if (startsWith(line, "USER ") || startsWith(line, "PASS ") || startsWith(line, "ACCT ")) {
            m_last = Command::Login;
        } else if (startsWith(line, "CWD ")) {
            m_last = Command::Cwd;
        } else if (startsWith(line, "SIZE ")) {
            m_last = Command::Size;
        } else if (startsWith(line, "STOR ") || startsWith(line, "RNFR ") ||
                   startsWith(line, "RNTO ")) {
            m_last = Command::Store;
        } else {
            m_last = Command::Other;
        }
    }

    void replyReceived(std::string_view text) {
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            const std::string_view line = text.substr(0, end);
            const int code = finalReplyCode(line);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            if (code == 0) continue;
            if (m_last == Command::Login) {
                m_loginReply = code;
                if (code / 100 == 2) m_loggedIn = true;
            } else if (m_last == Command::Cwd && m_cwdReply == 0) {
                m_cwdReply = code;
            } else if (m_last == Command::Size && code == 213) {
                m_remoteSize = sizeIn(line);
            } else if (m_last == Command::Store && code >= 500) {
                m_storeRefused = true;
            }
            m_last = Command::None;  // one final reply per command
        }
    }

    bool loggedIn() const { return m_loggedIn; }
    int loginReply() const { return m_loginReply; }
    int cwdReply() const { return m_cwdReply; }
    // The size the server gave in its last answer to SIZE; -1 before one, or when it made no
    // sense.
    long long remoteSize() const { return m_remoteSize; }
    // Whether the server refused to store the file or to rename it (a permanent 5xx reply).
    bool storeRefused() const { return m_storeRefused; }

private:
    enum class Command { None, Login, Cwd, Size, Store, Other };

    // The number of "213 <size>"; -1 when it is not one.
    static long long sizeIn(std::string_view line) {
        std::string_view digits = line.substr(std::min<std::size_t>(4, line.size()));
        while (!digits.empty() && (digits.back() == '\r' || digits.back() == ' '))
            digits.remove_suffix(1);
        long long size = -1;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), size);
        if (error != std::errc() || end != digits.data() + digits.size() || size < 0) return -1;
        return size;
    }

    Command m_last = Command::None;
    bool m_loggedIn = false;
    int m_loginReply = 0;
    int m_cwdReply = 0;
    long long m_remoteSize = -1;
    bool m_storeRefused = false;
};

// The local side of a download: a temporary file of a fixed name beside the target, created
// when the first bytes arrive and renamed over the target only when the transfer completed.
// A crash leaves at most this one file, which the next download removes.
class DownloadFile {
public:
    explicit DownloadFile(const std::string& target)
        : m_target(target), m_partPath(PartialDownloadPath(target)) {}
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    void removeLeftover() { ::unlink(m_partPath.c_str()); }

    bool write(const char* data, std::size_t size) {
        if (!m_file && !open()) return false;
        return m_file->Write(data, size);
    }

    // Puts the complete file in place of the target; an empty remote file gives an empty file.
    bool commit() {
        if (!m_file && !open()) return false;
        const bool ok = m_file->Commit();
        m_file.reset();
        return ok;
    }

    void discard() { m_file.reset(); }

private:
    bool open() {
        ::unlink(m_partPath.c_str());
        m_file = std::make_unique<AtomicFile>(m_target);
        if (m_file->Open(std::filesystem::path(m_partPath).filename().string())) return true;
        m_file.reset();
        return false;
    }

    std::string m_target;
    std::string m_partPath;
    std::unique_ptr<AtomicFile> m_file;
};

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

// What one transfer needs besides its login: the same for every attempt.
struct Job {
    bool sending;
    const FtpConnection& connection;
    CURLU* url;
    const std::string& pins;  // empty: no pinning
    FILE* upload;             // sending
    curl_off_t uploadSize;
    DownloadFile* download;  // fetching
    curl_slist* rename;      // sending: the commands after the upload (afterUploadCommands)
    std::string word;        // "Отправка" or "Загрузка "
};

// How one attempt ended.
enum class End {
    Finished,   // libcurl completed the request; see code
    Cancelled,  // the person asked, or the program is ending
    TimedOut,   // our own limit: no login in time, or nothing moved for too long
    Broken,     // a callback failed inside (out of memory and the like)
};

struct Outcome {
    End end = End::Broken;
    CURLcode code = CURLE_OK;
    bool loggedIn = false;
    bool pathOk = false;  // the change of folder worked, or none was asked for
    bool pathFailureLogged = false;
    int loginReply = 0;
    bool storeRefused = false;  // the server refused STOR, RNFR or RNTO
    bool setUp = true;          // false: libcurl could not be set up at all
};

// The sockets libcurl opened for one attempt and still holds. Guarded, because the last step
// of a request runs on a thread of its own (see FinalStep) while the loop's thread may have to
// shut them down.
class SocketSet {
public:
    void add(int fd) {
        const std::lock_guard lock(m_mutex);
        m_fds.insert(fd);
    }

    int close(int fd) {
        const std::lock_guard lock(m_mutex);
        m_fds.erase(fd);
        return ::close(fd);
    }

    // Ends every wait on them at once: a blocked read returns, a blocked write fails.
    void shutdownAll() {
        const std::lock_guard lock(m_mutex);
        for (const int fd : m_fds) ::shutdown(fd, SHUT_RDWR);
    }

    // The bytes written to them that the peer has not acknowledged yet; -1 when the system
    // cannot tell.
    long unsentBytes() const {
#ifdef SIOCOUTQ
        const std::lock_guard lock(m_mutex);
        long total = 0;
        for (const int fd : m_fds) {
            int queued = 0;
            if (::ioctl(fd, SIOCOUTQ, &queued) != 0) return -1;
            total += queued;
        }
        return total;
#else
        return -1;
#endif
    }

private:
    mutable std::mutex m_mutex;
    std::set<int> m_fds;
};

// libcurl ends a request with waits that never return to its caller: for the server's final
// reply after the data and, after an upload, for the replies to the rename. A server that is
// silent then would hold the program's loop for the whole reply timeout. So that last step
// runs on a thread of its own while the loop keeps serving the program and watches the
// thread's eventfd; the loop's thread does not touch libcurl meanwhile. Abandoning it shuts
// the sockets down, which ends any wait at once.
class FinalStep {
public:
    FinalStep() = default;
    ~FinalStep() { join(); }
    FinalStep(const FinalStep&) = delete;
    FinalStep& operator=(const FinalStep&) = delete;

    // Starts the thread, which lets the held request go on and drives it to its end. False
    // when the thread could not be made.
    bool start(CURLM* multi, CURL* easy) {
        m_done.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!m_done) return false;
        m_thread = std::thread([this, multi, easy] { drive(multi, easy); });
        return true;
    }

    int doneFd() const { return m_done.get(); }
    void join() {
        if (m_thread.joinable()) m_thread.join();
    }

    void abandon(SocketSet& sockets, CURLM* multi) {
        if (!m_thread.joinable()) return;
        m_abandoned = true;
        sockets.shutdownAll();
        curl_multi_wakeup(multi);
        m_thread.join();
    }

private:
    void drive(CURLM* multi, CURL* easy) noexcept {
        curl_easy_pause(easy, CURLPAUSE_CONT);
        int running = 1;
        while (!m_abandoned && running > 0) {
            if (curl_multi_perform(multi, &running) != CURLM_OK) break;
            if (running > 0) curl_multi_poll(multi, nullptr, 0, kFinalPollMs, nullptr);
        }
        const std::uint64_t one = 1;
        if (::write(m_done.get(), &one, sizeof one) < 0) {
            // The eventfd cannot be full; the loop's deadline ends the attempt all the same.
        }
    }

    UniqueFd m_done;
    std::thread m_thread;
    std::atomic<bool> m_abandoned{false};
};

// The progress bar of one transfer: shown once the size is known, redrawn at most every
// kProgressInterval, and filled when the file is complete.
class ProgressBar {
public:
    explicit ProgressBar(ExchangePort& screen) : m_screen(screen) {}

    void update(curl_off_t done, curl_off_t total, SteadyClock::time_point now) {
        if (total < 0) return;
        ExchangeProgress& bar = m_screen.Progress();
        if (!m_shown) {
            m_shown = true;
            while (total / m_scale > INT_MAX) m_scale *= 1024;
            bar.setVisible(true);
            bar.setValue(0);
            m_max = static_cast<int>(total / m_scale);
            bar.setRange(0, m_max);
            m_value = 0;
            m_drawn = now;
        }
        const int value = static_cast<int>(std::min(done, total) / m_scale);
        if (value == m_value) {
            m_due.reset();
            return;
        }
        if (now - m_drawn >= kProgressInterval || done >= total) {
            bar.setValue(value);
            m_value = value;
            m_drawn = now;
            m_due.reset();
        } else if (!m_due) {
            // Drawn a moment ago: draw again soon, also when nothing more arrives by then.
            m_due = m_drawn + kProgressInterval;
        }
    }

    // The last redraw may have been put off: a complete file fills the bar now.
    void fill() {
        if (m_shown && m_value != m_max) {
            m_screen.Progress().setValue(m_max);
            m_value = m_max;
        }
        m_due.reset();
    }

    std::optional<SteadyClock::time_point> due() const { return m_due; }

private:
    ExchangePort& m_screen;
    bool m_shown = false;
    curl_off_t m_scale = 1;
    int m_value = 0;
    int m_max = 0;
    SteadyClock::time_point m_drawn;
    std::optional<SteadyClock::time_point> m_due;
};

// One connection of a transfer, driven by the loop through libcurl's multi interface: the
// loop watches the sockets libcurl names and runs its timer; every time libcurl has done
// something, the new steps go to the log with their own moment. No libcurl callback here lets
// an exception out: each catches it, marks the attempt broken, and the loop is stopped once
// libcurl has returned.
class Attempt final : public TransferLoop::Client {
public:
    Attempt(ExchangePort& screen, TransferLoop& loop, const Job& job)
        : m_screen(screen), m_loop(loop), m_job(job), m_bar(screen) {}

    ~Attempt() override {
        if (m_inFinal) m_final.abandon(m_sockets, m_multi);
        if (m_multi && m_easy) curl_multi_remove_handle(m_multi, m_easy);
        if (m_easy) curl_easy_cleanup(m_easy);
        if (m_multi) curl_multi_cleanup(m_multi);
        m_loop.setTimer(-1);
    }
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;

    // False when libcurl could not be set up at all.
    bool prepare(const std::string& login);

    // Runs the attempt to its end and closes its connection.
    Outcome run();

    // TransferLoop::Client
    void socketReady(int fd, bool readable, bool writable) override {
        guarded([&] {
            if (m_inFinal) {
                if (fd == m_final.doneFd()) finalStepDone();
                return;
            }
            const int mask = (readable ? CURL_CSELECT_IN : 0) | (writable ? CURL_CSELECT_OUT : 0);
            int running = 0;
            curl_multi_socket_action(m_multi, fd, mask, &running);
            afterCurl();
        });
    }
    void timerExpired() override {
        guarded([&] {
            const auto now = SteadyClock::now();
            if (m_inFinal) {
                checkDeadline(now);
                return;
            }
            int running = 0;
            if (m_curlDue && now >= *m_curlDue) {
                m_curlDue.reset();
                curl_multi_socket_action(m_multi, CURL_SOCKET_TIMEOUT, 0, &running);
            }
            if (now >= m_kickDue) kick(now);
            afterCurl();
        });
    }
    void cancelRequested() override { finish(End::Cancelled); }

private:
    template <class F>
    void guarded(F&& work) {
        if (m_over) return;
        try {
            work();
        } catch (...) {
            finish(End::Broken);
        }
    }

    void finish(End end) {
        if (m_over) return;
        m_over = true;
        m_end = end;
        if (m_inFinal) {
            m_final.abandon(m_sockets, m_multi);
            m_loop.watchSocket(m_final.doneFd(), false, false);
            m_inFinal = false;
        }
        m_loop.stop();
    }

    // libcurl names the sockets it waits for, but while it sets up a data connection it
    // stops naming the control connection, and a reply that arrives there meanwhile (the
    // answer to SIZE, to a refused STOR or RETR, the server's TLS handshake waiting for the
    // transfer command) would wait for nothing. So libcurl also gets to look at all of its
    // connections every kKick.
    void kick(SteadyClock::time_point now) {
        m_kickDue = now + kKick;
        int running = 0;
        curl_multi_perform(m_multi, &running);
    }

    // After every call into libcurl: log the steps it reached, look at the clock.
    void afterCurl() {
        if (m_over) return;
        noteSteps();
        if (m_callbackFailed) {
            finish(End::Broken);
            return;
        }
        readMessages();
        if (m_over) return;
        const auto now = SteadyClock::now();
        noteProgress(now);
        if (m_draining) checkDrain(now);
        if (m_finalPending) startFinalStep(now);
        if (!m_over) checkDeadline(now);
    }

    void checkDeadline(SteadyClock::time_point now) {
        if (now >= deadline()) {
            finish(End::TimedOut);
            return;
        }
        reschedule(now);
    }

    void noteSteps() {
        const bool needsPath = !m_job.connection.path.empty();
        if (!m_connectedLogged && m_watch.loggedIn()) {
            m_connectedLogged = true;
            m_lastMove = SteadyClock::now();
            m_screen.AddLogLine(kConnected);
            if (!needsPath) startTransfer();
        }
        if (m_connectedLogged && needsPath && !m_pathDone && m_watch.cwdReply() != 0) {
            m_pathDone = true;
            if (m_watch.cwdReply() / 100 == 2) {
                startTransfer();
            } else {
                m_screen.AddLogLine(kNoFolderChange);
                m_pathFailureLogged = true;
            }
        }
    }

    void startTransfer() {
        m_pathOk = true;
        m_screen.AddLogLine(m_job.word + kFileSuffix);
    }

    void readMessages() {
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
            if (message->msg != CURLMSG_DONE) continue;
            m_code = message->data.result;
            if (m_code == CURLE_OK && !m_connectedLogged) {
                // A server whose acceptance of the login went unseen.
                m_connectedLogged = true;
                m_screen.AddLogLine(kConnected);
                startTransfer();
            }
            // Also when run() returns only later (under a message box).
            if (m_code == CURLE_OK) m_bar.fill();
            finish(End::Finished);
            return;
        }
    }

    void noteProgress(SteadyClock::time_point now) {
        curl_off_t done = 0;
        curl_off_t total = -1;
        if (m_job.sending) {
            // What left the device: handed to the system and acknowledged by the server.
            curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &done);
            const long queued = m_sockets.unsentBytes();
            if (queued > 0) done = std::max<curl_off_t>(0, done - queued);
            total = m_job.uploadSize;
        } else {
            curl_easy_getinfo(m_easy, CURLINFO_SIZE_DOWNLOAD_T, &done);
            curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
        }
        if (done != m_bytes) {
            m_bytes = done;
            m_lastMove = now;
        }
        if (m_pathOk) m_bar.update(done, total, now);
    }

    // The end of an upload waits until the system's buffers have let its last bytes out (on
    // a slow line that takes a while), so that the final step starts with the data sent.
    void checkDrain(SteadyClock::time_point now) {
        const long queued = m_sockets.unsentBytes();
        if (queued > 0) {
            if (m_queued < 0 || queued < m_queued) m_lastMove = now;
            m_queued = queued;
            m_drainDue = now + kDrainCheck;
            return;
        }
        m_draining = false;
        m_drained = true;
        m_drainDue.reset();
        m_finalPending = true;
    }

    // Hands the held request to the final step's thread (see FinalStep).
    void startFinalStep(SteadyClock::time_point now) {
        m_finalPending = false;
        for (const int fd : m_watched) m_loop.watchSocket(fd, false, false);
        m_watched.clear();
        m_curlDue.reset();
        m_lastMove = now;
        m_inFinal = true;
        if (!m_final.start(m_multi, m_easy)) {
            m_inFinal = false;
            finish(End::Broken);
            return;
        }
        m_loop.watchSocket(m_final.doneFd(), true, false);
    }

    void finalStepDone() {
        m_final.join();
        m_loop.watchSocket(m_final.doneFd(), false, false);
        m_inFinal = false;
        noteSteps();
        readMessages();
        // The thread stops only once the request is over; anything else is a failure.
        if (!m_over) finish(End::Broken);
    }

    // The last bytes of a download of known size are held back until the final step's
    // thread takes over the request: libcurl waits for the final reply as soon as it has them.
    bool holdsLastBytes(std::size_t bytes) {
        if (m_finalPending || m_inFinal) return false;
        curl_off_t total = -1;
        curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
        if (total < 0 || m_written + static_cast<curl_off_t>(bytes) < total) return false;
        m_finalPending = true;
        return true;
    }

    SteadyClock::time_point deadline() const {
        if (!m_connectedLogged) return m_start + m_job.connection.timeouts.connect;
        return m_lastMove + m_job.connection.timeouts.stall;
    }

    void reschedule(SteadyClock::time_point now) {
        SteadyClock::time_point due = deadline();
        if (!m_inFinal) {
            due = std::min(due, m_kickDue);
            if (m_curlDue) due = std::min(due, *m_curlDue);
            if (m_drainDue) due = std::min(due, *m_drainDue);
            if (m_bar.due()) due = std::min(due, *m_bar.due());
            if (m_finalPending) due = now;
        }
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
        m_loop.setTimer(std::max<long>(0, static_cast<long>(ms)));
    }

    // The request's options, in prepare().
    void setRequestOptions(CURL* e);
    void setTlsOptions(CURL* e);
    void setCallbacks(CURL* e);

    // libcurl's callbacks. None lets an exception out into the library's C frames: each one
    // runs through guarded(), which catches everything and makes the attempt fail through
    // m_callbackFailed. While the final step runs they are called on its thread: then they
    // leave the loop alone.
    template <typename Result, typename Body>
    static Result guarded(void* user, Result onFailure, Body&& body) noexcept {
        auto* self = static_cast<Attempt*>(user);
        try {
            return body(*self);
        } catch (...) {
            self->m_callbackFailed = true;
            return onFailure;
        }
    }

    static int onSocket(CURL*, curl_socket_t fd, int what, void* user, void*) noexcept {
        return guarded(user, 0, [&](Attempt& self) {
            if (self.m_inFinal) return 0;
            if (what == CURL_POLL_REMOVE) {
                self.m_loop.watchSocket(fd, false, false);
                self.m_watched.erase(fd);
            } else {
                self.m_loop.watchSocket(fd, what & CURL_POLL_IN, what & CURL_POLL_OUT);
                self.m_watched.insert(fd);
            }
            return 0;
        });
    }

    static int onTimer(CURLM*, long ms, void* user) noexcept {
        return guarded(user, 0, [&](Attempt& self) {
            if (self.m_inFinal) return 0;
            if (ms < 0)
                self.m_curlDue.reset();
            else
                self.m_curlDue = SteadyClock::now() + std::chrono::milliseconds(ms);
            self.reschedule(SteadyClock::now());
            return 0;
        });
    }

    static int onDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) noexcept {
        return guarded(user, 0, [&](Attempt& self) {
            const std::string_view text(data, size);
            if (type == CURLINFO_HEADER_OUT) {
                self.m_watch.commandSent(text);
            } else if (type == CURLINFO_HEADER_IN) {
                self.m_watch.replyReceived(text);
                if (self.m_job.sending) self.checkUploadedSize();
            }
            return 0;
        });
    }

    static size_t onWrite(char* data, size_t size, size_t count, void* user) noexcept {
        return guarded(user, size_t{0}, [&](Attempt& self) -> size_t {
            const std::size_t bytes = size * count;
            if (bytes == 0) return 0;
            if (self.holdsLastBytes(bytes)) return CURL_WRITEFUNC_PAUSE;
            if (!self.m_job.download->write(data, bytes)) return 0;
            self.m_written += static_cast<curl_off_t>(bytes);
            return bytes;
        });
    }

    static size_t onRead(char* buffer, size_t size, size_t count, void* user) noexcept {
        return guarded(user, size_t{CURL_READFUNC_ABORT}, [&](Attempt& self) -> size_t {
            FILE* file = self.m_job.upload;
            const std::size_t got = std::fread(buffer, size, count, file);
            if (got < count && std::ferror(file)) return CURL_READFUNC_ABORT;
            if (got == 0 && !self.m_drained) {
                self.m_draining = true;
                self.m_queued = -1;
                return CURL_READFUNC_PAUSE;
            }
            self.m_read += static_cast<curl_off_t>(got * size);
            return got;
        });
    }

    // A server may take a data connection that ended early for the end of the file and
    // confirm it all the same. Its answer to SIZE, asked before the rename, tells; when it
    // holds fewer or more bytes than were sent, the session is cut before the rename goes out,
    // and the file keeps its temporary name.
    void checkUploadedSize() {
        const long long remote = m_watch.remoteSize();
        if (remote < 0 || remote == m_read || m_sizeMismatch) return;
        m_sizeMismatch = true;
        m_sockets.shutdownAll();
    }

    static int onSocketOpened(void* user, curl_socket_t fd, curlsocktype) noexcept {
        return guarded(user, int{CURL_SOCKOPT_ERROR}, [&](Attempt& self) {
            self.m_sockets.add(fd);
            return int{CURL_SOCKOPT_OK};
        });
    }

    static int onSocketClosed(void* user, curl_socket_t fd) noexcept {
        try {
            return static_cast<Attempt*>(user)->m_sockets.close(fd);
        } catch (...) {
            return ::close(fd);
        }
    }

    ExchangePort& m_screen;
    TransferLoop& m_loop;
    const Job& m_job;
    std::string m_login;
    SocketSet m_sockets;
    std::set<int> m_watched;  // the sockets the loop watches for libcurl
    std::unique_ptr<curl_slist, SlistDeleter> m_quote;
    CURLM* m_multi = nullptr;
    CURL* m_easy = nullptr;

    ControlWatch m_watch;
    bool m_callbackFailed = false;
    bool m_over = false;
    End m_end = End::Broken;
    CURLcode m_code = CURLE_OK;

    SteadyClock::time_point m_start;
    SteadyClock::time_point m_lastMove;
    SteadyClock::time_point m_kickDue;
    std::optional<SteadyClock::time_point> m_curlDue;
    curl_off_t m_bytes = 0;
    curl_off_t m_read = 0;  // of an upload, from its file
    bool m_sizeMismatch = false;
    curl_off_t m_written = 0;  // of a download, into its file

    bool m_connectedLogged = false;
    bool m_pathDone = false;
    bool m_pathOk = false;
    bool m_pathFailureLogged = false;

    bool m_draining = false;
    bool m_drained = false;
    long m_queued = -1;
    std::optional<SteadyClock::time_point> m_drainDue;

    // Set and cleared on the loop's thread only, and read by the callbacks on the final
    // step's thread while it runs: the thread's start and join order those accesses.
    bool m_finalPending = false;
    bool m_inFinal = false;
    FinalStep m_final;

    ProgressBar m_bar;
};

bool Attempt::prepare(const std::string& login) {
    m_login = login;
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    if (!m_multi || !m_easy) return false;
    const FtpConnection& c = m_job.connection;
    // The one change of folder is ours: the path goes to the server exactly as configured,
    // and the file is then named relative to the folder it leads to.
    if (!c.path.empty()) {
        m_quote.reset(curl_slist_append(nullptr, ("CWD " + c.path).c_str()));
        if (!m_quote) return false;
        curl_easy_setopt(m_easy, CURLOPT_QUOTE, m_quote.get());
    }
    setRequestOptions(m_easy);
    if (c.secure) setTlsOptions(m_easy);
    setCallbacks(m_easy);
    return true;
}

void Attempt::setRequestOptions(CURL* e) {
    const FtpConnection& c = m_job.connection;
    curl_easy_setopt(e, CURLOPT_CURLU, m_job.url);
    curl_easy_setopt(e, CURLOPT_USERNAME, m_login.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, c.password.c_str());
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    curl_easy_setopt(e, CURLOPT_FTP_CREATE_MISSING_DIRS,
                     static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    // Passive data connections with PASV, as the office servers have always been spoken to.
    curl_easy_setopt(e, CURLOPT_FTP_USE_EPSV, 0L);
    curl_easy_setopt(e, CURLOPT_FTP_USE_EPRT, 0L);
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 0L);  // binary: TYPE I
    // One connection per file, never taken from or left to another transfer.
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    // FTP through an HTTP proxy would not be FTP any more (no folder change, no binary mode).
    curl_easy_setopt(e, CURLOPT_PROXY, "");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // Our own clock gives up on a silent server (see deadline()); libcurl's limits only back
    // it up.
    const auto stallSeconds = std::chrono::ceil<std::chrono::seconds>(c.timeouts.stall).count();
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(c.timeouts.connect.count()));
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     static_cast<long>(std::max<long long>(1, stallSeconds)));
    if (m_job.sending) {
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        // The file arrives under a temporary name and gets its own only once the server holds
        // all of it (see afterUploadCommands).
        curl_easy_setopt(e, CURLOPT_POSTQUOTE, m_job.rename);
    }
}

void Attempt::setTlsOptions(CURL* e) {
    // Explicit TLS on the control and the data connection, never plain FTP.
    curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(e, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    if (!m_job.pins.empty()) {
        // The office's own server: its key is what is trusted, not a certificate chain.
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(e, CURLOPT_PINNEDPUBLICKEY, m_job.pins.c_str());
        return;
    }
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_job.connection.caFile.empty()) {
        curl_easy_setopt(e, CURLOPT_CAINFO, m_job.connection.caFile.c_str());
        curl_easy_setopt(e, CURLOPT_CAPATH, nullptr);
    }
}

void Attempt::setCallbacks(CURL* e) {
    // The debug callback sees the control connection; it only runs in verbose mode and
    // replaces libcurl's own output on stderr.
    curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, onDebug);
    curl_easy_setopt(e, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, onSocketOpened);
    curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, this);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETFUNCTION, onSocketClosed);
    curl_easy_setopt(e, CURLOPT_CLOSESOCKETDATA, this);
    if (m_job.sending) {
        // No size: libcurl then asks for more until the end of the file, where onRead holds
        // it back until the system's buffers have drained (see checkDrain).
        curl_easy_setopt(e, CURLOPT_READFUNCTION, onRead);
        curl_easy_setopt(e, CURLOPT_READDATA, this);
    } else {
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onWrite);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
    }
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
}

Outcome Attempt::run() {
    m_start = SteadyClock::now();
    m_lastMove = m_start;
    m_kickDue = m_start + kKick;
    if (curl_multi_add_handle(m_multi, m_easy) != CURLM_OK) {
        m_over = true;
        m_end = End::Broken;
    } else {
        reschedule(m_start);
        m_loop.run(*this);
        // The loop also returns when the program ends: that is a cancel nobody asked for.
        if (!m_over) finish(End::Cancelled);
    }
    // Closes the connection before the outcome is logged. A request that did not finish is
    // abandoned without waiting for the server.
    curl_multi_remove_handle(m_multi, m_easy);
    curl_easy_cleanup(m_easy);
    m_easy = nullptr;
    m_loop.setTimer(-1);

    Outcome o;
    o.end = m_end;
    // Whatever libcurl made of the cut session, the server does not hold the whole file.
    o.code = m_sizeMismatch && m_code == CURLE_OK ? CURLE_SEND_ERROR : m_code;
    o.loggedIn = m_connectedLogged;
    o.pathOk = m_pathOk;
    o.pathFailureLogged = m_pathFailureLogged;
    o.loginReply = m_watch.loginReply();
    o.storeRefused = m_watch.storeRefused();
    return o;
}

}  // namespace

std::string MaskedPassword(const std::string& password) {
    std::string stars;
    for (unsigned char c : password) {
        if ((c & 0xC0) != 0x80) stars += '*';
    }
    return stars;
}

std::string PartialDownloadPath(const std::string& localPath) { return localPath + ".part"; }

FtpConnection FtpConnectionFor(const TAppOptions& options) {
    FtpConnection c;
    c.host = options.FTPAddress;
    c.port = options.FTPPort;
    c.login = options.FTPLogin;
    c.password = options.FTPPassword;
    c.path = options.FTPPath;
    c.anonymousFallback = !options.FTPAuth;
    c.secure = options.FTPSecure;
    c.certPin = options.FTPCertPin;
    return c;
}

namespace {

// The connection's texts and pins, checked before anything goes out. Logs why and returns
// false when they cannot be used; `pins` gets FTPCertPin in libcurl's form.
bool acceptableSettings(ExchangePort& screen, const FtpConnection& connection,
                        const std::string& failure, std::string& pins) {
    if (!safeInCommand(connection.login) || !safeInCommand(connection.password)) {
        screen.AddLogLine(kNoConnection);
        return false;
    }
    if (!safeInCommand(connection.path)) {
        screen.AddLogLine(kNoFolderChange);
        screen.AddLogLine(failure);
        return false;
    }
    if (connection.secure && !Trim(connection.certPin).empty()) {
        const auto parsed = pinsForCurl(connection.certPin);
        if (!parsed) {
            screen.AddLogLine(kNoConnection);
            screen.AddLogLine(kBadPin);
            return false;
        }
        pins = *parsed;
    }
    return true;
}

// After an upload: SIZE of the file as stored (a server without SIZE may refuse it: "*" lets
// the session go on), then, for a file stored under a temporary name, RNFR/RNTO to its own;
// nullptr when out of memory.
std::unique_ptr<curl_slist, SlistDeleter> afterUploadCommands(const std::string& remoteName,
                                                              bool temporary) {
    const std::string stored = temporary ? remoteName + kUploadSuffix : remoteName;
    std::unique_ptr<curl_slist, SlistDeleter> list(
        curl_slist_append(nullptr, ("*SIZE " + stored).c_str()));
    if (!list || !temporary) return list;
    if (!curl_slist_append(list.get(), ("RNFR " + stored).c_str())) return nullptr;
    if (!curl_slist_append(list.get(), ("RNTO " + remoteName).c_str())) return nullptr;
    return list;
}

// Runs the attempts of one transfer: one; a second with the standard anonymous name when the
// server refused the office's; and for an upload under a temporary name that the server
// refused to store or to rename (some let anonymous users do neither), one more straight under
// the file's own name, `direct`.
Outcome runAttempts(ExchangePort& screen, TransferLoop& loop, const Job& job, const Job* direct,
                    const std::function<void(const std::string&)>& logAttempt) {
    const FtpConnection& connection = job.connection;
    Outcome o;
    std::string login = connection.login;
    const Job* current = &job;
    for (bool loginRetried = false;;) {
        try {
            Attempt a(screen, loop, *current);
            if (!a.prepare(login)) {
                o = Outcome{};
                o.setUp = false;
                return o;
            }
            o = a.run();
        } catch (const std::exception&) {
            o = Outcome{};
            o.end = End::Broken;
        }
        // The office's servers are set up for "anonimous"; standard anonymous servers know
        // only "anonymous".
        const bool retryLogin = !loginRetried && o.end == End::Finished && !o.loggedIn &&
                                o.loginReply == kLoginRefused && connection.anonymousFallback &&
                                login == kAnonymousLogin;
        const bool retryDirect = direct && current != direct && o.end == End::Finished &&
                                 o.loggedIn && o.pathOk && o.storeRefused;
        if (retryLogin) {
            loginRetried = true;
            login = kStandardAnonymousLogin;
        } else if (retryDirect) {
            current = direct;
        } else {
            return o;
        }
        if (job.upload) std::rewind(job.upload);
        logAttempt(login);
    }
}

// The log's last lines for how the transfer ended; true when the file arrived complete.
bool reportOutcome(ExchangePort& screen, const Job& job, const Outcome& o,
                   const std::string& failure) {
    DownloadFile* download = job.download;
    if (o.end == End::Cancelled) {
        if (download) download->discard();
        screen.AddLogLine(kCancelled);
        return false;
    }
    if (!o.loggedIn) {
        if (download) download->discard();
        screen.AddLogLine(kNoConnection);
        if (job.connection.secure && o.end == End::Finished) {
            if (const char* reason = tlsFailureReason(o.code)) screen.AddLogLine(reason);
        }
        return false;
    }
    bool result = false;
    if (!o.pathOk) {
        if (!o.pathFailureLogged) screen.AddLogLine(kNoFolderChange);
    } else {
        result =
            o.end == End::Finished && o.code == CURLE_OK && (job.sending || download->commit());
    }
    if (download && !result) download->discard();
    screen.AddLogLine(result ? job.word + kDoneSuffix : failure);
    return result;
}

}  // namespace

bool FtpTransfer(ExchangePort& screen, TransferLoop& loop, FtpDirection direction,
                 const FtpConnection& connection, const std::string& localPath) {
    const bool sending = direction == FtpDirection::Send;
    const std::string failure = sending ? kSendFailed : kFetchFailed;
    if (!curlAvailable()) {
        screen.AddLogLine(kNoInternet);
        return false;
    }
    const auto logAttempt = [&](const std::string& login) {
        screen.AddLogLine(kTryConnect + OneLineText(connection.host) + " : " +
                          std::to_string(connection.port));
        screen.AddLogLine("  (Username=" + OneLineText(login) +
                          "; Password=" + MaskedPassword(connection.password) + ")");
    };
    logAttempt(connection.login);

    const std::string remoteName = std::filesystem::path(localPath).filename().string();
    auto url = buildUrl(connection.host, connection.port,
                        sending ? remoteName + kUploadSuffix : remoteName);
    std::string pins;
    if (!url) {
        screen.AddLogLine(kNoConnection);
        return false;
    }
    if (!acceptableSettings(screen, connection, failure, pins)) return false;

    // The local side. An upload that cannot read its file does not reach the server at all.
    std::unique_ptr<FILE, FileCloser> upload;
    curl_off_t uploadSize = 0;
    std::unique_ptr<DownloadFile> download;
    std::unique_ptr<curl_slist, SlistDeleter> rename;
    std::unique_ptr<curl_slist, SlistDeleter> sizeOnly;
    std::unique_ptr<CURLU, UrlDeleter> directUrl;
    if (sending) {
        upload.reset(std::fopen(localPath.c_str(), "rb"));
        struct stat info {};
        if (!upload || ::fstat(::fileno(upload.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
            screen.AddLogLine(failure);
            return false;
        }
        uploadSize = info.st_size;
        rename = afterUploadCommands(remoteName, true);
        sizeOnly = afterUploadCommands(remoteName, false);
        directUrl = buildUrl(connection.host, connection.port, remoteName);
    } else {
        // Create the exchange folder for the answer; when that fails, the temporary file
        // cannot be created either and the download fails as a local file that cannot be
        // written.
        std::error_code ec;
        const auto folder = std::filesystem::path(localPath).parent_path();
        if (!folder.empty()) std::filesystem::create_directories(folder, ec);
        download = std::make_unique<DownloadFile>(localPath);
        download->removeLeftover();
    }
    const Job job{sending,        connection,   url.get(),
                  pins,           upload.get(), uploadSize,
                  download.get(), rename.get(), sending ? kSendWord : kFetchWord};
    const Job direct{sending,    connection,     directUrl.get(), pins,    upload.get(),
                     uploadSize, download.get(), sizeOnly.get(),  job.word};
    if (sending && (!job.rename || !direct.rename || !direct.url)) {
        screen.AddLogLine(kNoInternet);
        return false;
    }
    const Outcome o = runAttempts(screen, loop, job, sending ? &direct : nullptr, logAttempt);
    if (!o.setUp) {
        screen.AddLogLine(kNoInternet);
        return false;
    }
    return reportOutcome(screen, job, o, failure);
}

}  // namespace velmorant
