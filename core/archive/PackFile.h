#pragma once

#include <string>

namespace velmorant {

class Clock;

// Packs the one file `sourcePath` into a new single-entry ZIP archive `archivePath` (raw
// deflate, level 9), replacing any file of that name. The entry is named after the source's
// file name without its folder and carries the source's last-write time (local time, DOS
// form), or the clock's time when the last-write time cannot be taken as a local time. The
// compressed data collects in memory for a source of up to 4 MiB and above that in a
// temporary file in `tempFolder` ("pack.tmp", or 0001 ... FFFF when that exists), which is
// deleted afterwards; the exchange passes the program's folder.
//
// Returns true only when the whole source was read and the whole archive written. The
// archive is written beside its place and takes it only when whole: on false, or when the
// process is killed meanwhile, an earlier file at `archivePath` stays as it was. False when
// the source does not exist or is not a regular file, when it holds 0xFFFFFFFF bytes or more
// (the format's sizes are 32-bit, and readers take that value for the mark of a 64-bit size),
// when it cannot be read whole or changes size while being read, when the archive or the
// temporary file cannot be written whole (a full disk), when `archivePath` is something other
// than a file (a folder, a device), and when a zlib call fails: `zlibError`, when given, then
// receives zlib's text for its code, for the caller to show. Shows no message itself.
bool PackFile(const std::string& sourcePath, const std::string& archivePath,
              const std::string& tempFolder, const Clock& clock, std::string* zlibError = nullptr);

}  // namespace velmorant
