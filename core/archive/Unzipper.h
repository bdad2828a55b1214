#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/archive/ZipEntrySpans.h"
#include "core/archive/ZipRec.h"

namespace velmorant {

// Result codes of UnpackFiles and of the extraction of one entry.
inline constexpr int kUnzipCrcError = -1;     // the data's CRC-32 or size is not the stored one
inline constexpr int kUnzipWriteError = -2;   // the output file cannot be created or written
inline constexpr int kUnzipReadError = -3;    // a read or seek in the archive failed
inline constexpr int kUnzipDamaged = -4;      // a local header or the compressed data is damaged
inline constexpr int kUnzipUnsupported = -6;  // a compression method this reader lacks
inline constexpr int kUnzipEncrypted = -7;    // an encrypted entry
inline constexpr int kUnzipUnsafeName = -8;   // the name would leave the target folder
inline constexpr int kUnzipNoDirectory = -9;  // the central directory is unreadable or empty
inline constexpr int kUnzipOverlap = -10;     // the entry's data overlaps another entry's
inline constexpr int kUnzipNotZip = -12;      // the file is not a ZIP archive
inline constexpr int kUnzipCannotOpen = -14;  // the archive cannot be opened
inline constexpr int kUnzipNoTarget = -500;   // the target folder is empty

// The unpacking object: the record of the run, the entries' spans, and the run's output
// limit; the central directory is read by ZipDirectory, each entry decoded by a
// ZipEntryDecoder. One object may serve any number of runs, one after the other; it is not
// meant to be shared between threads.
class TUnzipper {
public:
    TUnzipper();
    ~TUnzipper();
    TUnzipper(const TUnzipper&) = delete;
    TUnzipper& operator=(const TUnzipper&) = delete;

    // The most that one run may produce, all entries together; 0 (the default) stands for
    // 1 GiB, or 64 times the archive's size when that is larger. A run that would pass it
    // stops with kUnzipDamaged, and nothing is left of the entry it was writing.
    void setOutputLimit(uint64_t bytes) { m_outputLimit = bytes; }

    // The entries of the last run that matched but could not be written (kUnzipWriteError),
    // each as "<name>: <the system's reason>"; empty when every one could.
    const std::vector<std::string>& unwritten() const { return m_unwritten; }

    // See UnpackFiles. Every existing file of an entry's name is replaced.
    int unpack(const std::string& archivePath, const std::string& targetFolder,
               const std::string& mask);

private:
    // Creates the missing folders of the current entry's target (never following a symbolic
    // link inside the target folder) and a new temporary file beside the target. Returns 0
    // or a negative code.
    int openOutput();
    // When the entry is complete (`result` 0: data, size and CRC-32), sets the temporary
    // file's times and read-only attribute and renames it over the target, which replaces a
    // read-only or older file of that name; otherwise deletes it, leaving the target as it
    // was. Returns the entry's final result (a failing close turns 0 into a negative code).
    int closeOutput(int result);

    int runEntries(const std::string& mask);
    int handleEntry();
    // Reads the current entry's local header and decodes its data into the output.
    int extractEntry();

    TZipRec m_rec;
    ZipEntrySpans m_spans;
    uint64_t m_outputLimit = 0;  // as set; 0 for the default
    uint64_t m_runLimit = 0;     // the limit of the current run
    uint64_t m_runOutput = 0;    // bytes produced by the current run
    std::vector<std::string> m_unwritten;
};

// Extracts every entry of the archive whose name matches `mask` into `targetFolder`.
// Returns the number of entries extracted (0 when none matched) or a negative code:
// kUnzipNoTarget, kUnzipCannotOpen, kUnzipNotZip, kUnzipNoDirectory, kUnzipReadError,
// kUnzipDamaged (also when the run's output would pass its limit, see setOutputLimit).
// Each entry is written to a temporary file beside its target and takes the target's place
// only when complete. Entries with a CRC error, a write error, an unsupported method,
// encryption, a name that would leave the target folder, or data that overlaps another
// entry's are skipped (their temporary file is deleted; a file of that name, also one that an
// earlier entry of the run completed, stays as it was) and do not count. An entry whose name
// an earlier entry of the run completed already replaces that file but is not counted again,
// so the count is the number of files and folders the run produced. Entries extracted before
// a fatal error stay. Shows no message.
int UnpackFiles(TUnzipper& unzipper, const std::string& archivePath,
                const std::string& targetFolder, const std::string& mask);

// Mask matching on entry names: an empty mask, "*.*" and "*" match every name; otherwise the
// whole name must match the whole mask, "*" standing for any run of characters, "?" for
// exactly one, every other character compared exactly (case matters). "\" in the mask is
// taken as "/".
bool ZipNameMatchesMask(const std::string& name, const std::string& mask);

}  // namespace velmorant
