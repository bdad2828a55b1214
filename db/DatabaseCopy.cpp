#include "db/DatabaseCopy.h"

#include <sqlite3.h>

#include <filesystem>

namespace velmorant {

namespace {

bool backup(const std::string& from, const std::string& to, std::string& error) {
    sqlite3* source = nullptr;
    sqlite3* target = nullptr;
    bool ok = false;
    if (sqlite3_open_v2(from.c_str(), &source, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_open(to.c_str(), &target) == SQLITE_OK) {
        sqlite3_busy_timeout(source, 5000);
        if (sqlite3_backup* b = sqlite3_backup_init(target, "main", source, "main")) {
            const int rc = sqlite3_backup_step(b, -1);
            sqlite3_backup_finish(b);
            ok = rc == SQLITE_DONE;
            if (!ok) error = sqlite3_errstr(rc);
        } else {
            error = sqlite3_errmsg(target);
        }
    } else {
        error = sqlite3_errmsg(source ? source : target);
    }
    sqlite3_close_v2(source);
    sqlite3_close_v2(target);
    return ok;
}

}  // namespace

bool CopyDatabase(const std::string& from, const std::string& to, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) {
        error = "no database file at " + from;
        return false;
    }
    if (backup(from, to, error)) return true;
    for (const char* suffix : {"-journal", "-wal"}) fs::remove(to + suffix, ec);
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec)) {
        error = ec.message();
        return false;
    }
    for (const char* suffix : {"-journal", "-wal"}) {
        if (fs::exists(from + suffix, ec)) {
            fs::copy_file(from + suffix, to + suffix, fs::copy_options::overwrite_existing, ec);
        }
    }
    error.clear();
    return true;
}

}  // namespace velmorant
