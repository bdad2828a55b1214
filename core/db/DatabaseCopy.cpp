#include "core/db/DatabaseCopy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "core/archive/FileIo.h"
#include "core/db/AtomicFile.h"
#include "core/db/QueryResult.h"
#include "core/db/UniqueFd.h"

namespace velmorant {

namespace {

namespace fs = std::filesystem;

// Opens the temporary file beside `to` under its fixed name, removing a leftover first.
bool openBeside(AtomicFile& file, const std::string& to, std::string& error) {
    const std::string name = fs::path(to).filename().string() + ".tmp";
    std::error_code ec;
    fs::remove(to + ".tmp", ec);
    fs::remove(to + ".tmp-journal", ec);
    if (file.Open(name)) return true;
    error = file.Error();
    return false;
}

bool onlineCopy(const std::string& from, const std::string& to, bool waitWhileBusy,
                std::string& error) {
    AtomicFile file(to);
    if (!openBeside(file, to, error)) return false;
    const std::string temporary = file.TemporaryPath();
    bool ok = false;
    {
        TQueryResult source(from);
        TQueryResult target(temporary);
        ok = source.OpenReadOnly(&error) && target.Open(&error) &&
             source.CopyInto(target, waitWhileBusy, &error);
        if (!target.Close() && ok) {
            error = "the copy cannot be closed";
            ok = false;
        }
    }
    if (ok && !file.Commit()) {
        error = file.Error();
        ok = false;
    }
    if (!ok) {
        std::error_code ec;
        fs::remove(temporary + "-journal", ec);
    }
    return ok;
}

// Copies the bytes of `from` into `to` through the file writer. True when there is no `from`
// and `optional` is set.
bool copyBytes(const std::string& from, const std::string& to, bool optional, std::string& error) {
    const UniqueFd source(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source) {
        if (optional && errno == ENOENT) return true;
        error = "cannot read " + from;
        return false;
    }
    AtomicFile file(to);
    if (!openBeside(file, to, error)) return false;
    std::vector<char> block(1 << 16);
    for (;;) {
        const ssize_t n = zip::readSome(source.get(), block.data(), block.size());
        if (n < 0) {
            error = "cannot read " + from;
            return false;
        }
        if (n == 0) break;
        if (!file.Write(block.data(), static_cast<size_t>(n))) break;
    }
    if (file.Commit()) return true;
    error = file.Error();
    return false;
}

}  // namespace

bool CopyDatabase(const std::string& from, const std::string& to, WhenBusy whenBusy,
                  std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) {
        error = "no database file at " + from;
        return false;
    }
    // One pass when files may be copied instead: a writer that holds the file past the busy
    // wait sends us to the file copy.
    if (onlineCopy(from, to, whenBusy == WhenBusy::Wait, error)) return true;
    if (whenBusy == WhenBusy::Wait) return false;
    // The journal or log goes first: the copy must never be found without it.
    for (const char* suffix : {"-journal", "-wal"}) {
        fs::remove(to + suffix, ec);
        if (!copyBytes(from + suffix, to + suffix, true, error)) return false;
    }
    if (!copyBytes(from, to, false, error)) return false;
    error.clear();
    return true;
}

}  // namespace velmorant
