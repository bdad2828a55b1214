#include "core/db/DatabaseCopy.h"

#include <filesystem>

#include "core/db/QueryResult.h"

namespace velmorant {

namespace {

bool backup(const std::string& from, const std::string& to, std::string& error) {
    TQueryResult source(from);
    TQueryResult target(to);
    // One pass: a writer that holds the file past the busy wait sends us to the file copy.
    return source.OpenReadOnly(&error) && target.Open(&error) &&
           source.CopyInto(target, false, &error);
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
