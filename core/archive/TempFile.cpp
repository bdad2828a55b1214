#include "core/archive/TempFile.h"

#include <fcntl.h>
#include <sys/random.h>

#include <cerrno>
#include <cstdint>

namespace velmorant {

namespace {

constexpr int kAttempts = 100;
constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// Six random characters. Should getrandom() fail, the attempt number still makes each try
// another name.
std::string randomPart(int attempt) {
    uint8_t bytes[6] = {};
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        got += static_cast<size_t>(n);
    }
    std::string out;
    for (size_t i = 0; i < sizeof bytes; ++i) {
        const unsigned value = bytes[i] + (i == 0 ? static_cast<unsigned>(attempt) : 0u);
        out += kLetters[value % (sizeof kLetters - 1)];
    }
    return out;
}

}  // namespace

UniqueFd CreateTempFileAt(int folderFd, const std::string& base, std::string& name) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string candidate = base + "." + randomPart(attempt) + ".tmp";
        UniqueFd file(::openat(folderFd, candidate.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file) {
            name = candidate;
            return file;
        }
        if (errno != EEXIST) return UniqueFd();
    }
    errno = EEXIST;
    return UniqueFd();
}

}  // namespace velmorant
