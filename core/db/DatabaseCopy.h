#pragma once

#include <string>

namespace velmorant {

// Copies the database file `from` into a new file `to` without writing to `from` or anything
// beside it. The copy goes through SQLite's backup API on a read-only connection, so it is
// consistent even while another program has the file open. A file that cannot be read that
// way (a journal left by a killed writer, which only a writer may roll back, or a write-ahead
// log) is copied as files together with its journal or log, and the copy recovers it when it
// is opened. False, with the reason in `error`, when neither works.
bool CopyDatabase(const std::string& from, const std::string& to, std::string& error);

}  // namespace velmorant
