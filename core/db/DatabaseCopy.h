#pragma once

#include <string>

namespace velmorant {

// What the copy does when another connection keeps the source busy.
enum class WhenBusy {
    Wait,       // wait for it and go on until the copy completes (the day's backup)
    CopyFiles,  // copy the file as it is, with its journal (a support copy of a device)
};

// The one way a database file is copied. The copy goes through SQLite's online backup on a
// read-only connection, so it is consistent even while another program writes, and nothing is
// written to `from` or beside it. It is written beside `to` (as `to` + ".tmp", a leftover of an
// interrupted copy being removed first) and takes the place of `to` only when complete, so an
// earlier file there stays whole whatever happens.
//
// With WhenBusy::CopyFiles a file that cannot be read that way (a writer holds it, or a journal
// left by a killed writer that only a writer may roll back) is copied as a file together with
// its journal or write-ahead log, and the copy recovers it when it is opened. False, with the
// reason in `error`, when the copy failed.
bool CopyDatabase(const std::string& from, const std::string& to, WhenBusy whenBusy,
                  std::string& error);

}  // namespace velmorant
