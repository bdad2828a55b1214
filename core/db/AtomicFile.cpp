#include "core/db/AtomicFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <utility>

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

UniqueFd createExclusively(int folder, const std::string& name) {
    return UniqueFd(
        ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
}

}  // namespace

AtomicFile::AtomicFile(std::string targetPath) {
    const std::filesystem::path path(targetPath);
    m_folderPath = path.parent_path().string();
    if (m_folderPath.empty()) m_folderPath = ".";
    m_leaf = path.filename().string();
    m_ownFolder = UniqueFd(::open(m_folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    m_folder = m_ownFolder.get();
    if (!m_ownFolder) fail("open the folder");
}

AtomicFile::AtomicFile(int folderFd, std::string leaf)
    : m_folder(folderFd), m_leaf(std::move(leaf)) {}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::fail(const char* step) {
    if (m_error.empty()) m_error = std::string("cannot ") + step + ": " + std::strerror(errno);
    return false;
}

bool AtomicFile::Open(const std::string& fixedName) {
    if (m_folder < 0) return false;
    if (m_leaf.empty() || m_leaf == "." || m_leaf == "..") {
        errno = EISDIR;
        return fail("write a file without a name");
    }
    struct stat st {};
    if (::fstatat(m_folder, m_leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return fail("replace what is not a file");
    }
    if (!fixedName.empty()) {
        m_file = createExclusively(m_folder, fixedName);
        if (!m_file) return fail("create the temporary file");
        m_temporary = fixedName;
        return true;
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string candidate = m_leaf + "." + randomPart(attempt) + ".tmp";
        m_file = createExclusively(m_folder, candidate);
        if (m_file) {
            m_temporary = candidate;
            return true;
        }
        if (errno != EEXIST) break;
    }
    return fail("create the temporary file");
}

std::string AtomicFile::TemporaryPath() const {
    if (m_temporary.empty()) return {};
    return m_folderPath.empty() ? m_temporary : m_folderPath + "/" + m_temporary;
}

bool AtomicFile::Write(const void* data, std::size_t size) {
    if (!m_file || !m_error.empty()) return false;
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(m_file.get(), p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return fail("write");
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool AtomicFile::Commit() {
    bool ok = m_file && m_error.empty();
    if (ok && ::fsync(m_file.get()) != 0) ok = fail("write to the disk");
    if (ok && !m_file.close()) ok = fail("close");
    if (ok && ::renameat(m_folder, m_temporary.c_str(), m_folder, m_leaf.c_str()) != 0) {
        ok = fail("rename");
    }
    if (!ok) {
        if (m_error.empty()) m_error = "cannot write: no file open";
        Discard();
        return false;
    }
    m_temporary.clear();
    // The rename itself is durable only once the folder is written. Some file systems cannot
    // sync a folder; the file is in place all the same.
    ::fsync(m_folder);
    return true;
}

void AtomicFile::Discard() {
    m_file.reset();
    if (!m_temporary.empty() && m_folder >= 0) ::unlinkat(m_folder, m_temporary.c_str(), 0);
    m_temporary.clear();
}

bool SyncFolderOf(const std::string& path) {
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd && ::fsync(fd.get()) == 0;
}

}  // namespace velmorant
