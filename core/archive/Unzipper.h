#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// The unpacking object: the decoders' window and input buffer, the running CRC-32 and the
// record of the run. One object may serve any number of runs, one after the other; it is not
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
    void collectSpans();
    bool overlapsOtherEntry(uint64_t begin, uint64_t end) const;
    int findEndRecord(uint64_t fileSize, uint64_t& endOffset);
    int readCentralDirectory(uint64_t fileSize);
    bool nextEntry();
    int handleEntry();
    int extractEntry();

    // Decoders: each writes exactly m_uncompressedSize bytes (or fails) through putByte/flush.
    int decodeStored();
    int decodeShrunk();
    int decodeReduced(int factor);
    int decodeImploded();
    int decodeDeflated();

    // Compressed input, read in blocks of up to 4 096 bytes, never beyond the entry's data.
    int fillInput();
    int nextByte();
    uint32_t getBits(int count);
    bool inputOverrun() const { return m_overrunBytes > kInputSlack; }

    // Output through the 32 768-byte window.
    bool putByte(uint8_t byte);
    bool copyMatch(uint32_t distance, uint32_t length);
    bool flushWindow();

    static constexpr uint32_t kWindowSize = 32768;
    static constexpr uint32_t kInputSize = 4096;
    // Bytes of zeros a decoder may read past the end of its data before the data counts as
    // cut short (legacy decoders look ahead by a few bits).
    static constexpr uint32_t kInputSlack = 4;

    std::unique_ptr<uint8_t[]> m_window;
    uint64_t m_written = 0;  // bytes produced for the current entry
    uint64_t m_flushed = 0;  // bytes of them already written to the output
    uint8_t m_input[kInputSize];
    uint32_t m_inputPos = 0;
    uint32_t m_inputFill = 0;
    uint64_t m_inputLeft = 0;     // bytes of the entry's data not read yet
    uint64_t m_inputOffset = 0;   // archive offset of the next byte to read
    uint32_t m_overrunBytes = 0;  // zero bytes supplied after the data ended
    int m_inputError = 0;         // kUnzipReadError once a read failed
    bool m_writeFailed = false;
    uint32_t m_bitBuffer = 0;
    int m_bitCount = 0;
    uint32_t m_crc = 0;
    uint32_t m_compressedSize = 0;
    uint32_t m_uncompressedSize = 0;
    uint32_t m_expectedCrc = 0;
    uint16_t m_flags = 0;
    TZipRec m_rec;

    uint64_t m_outputLimit = 0;  // as set; 0 for the default
    uint64_t m_runLimit = 0;     // the limit of the current run
    uint64_t m_runOutput = 0;    // bytes produced by the current run
    bool m_limitPassed = false;  // the current entry would have passed the run's limit
    // Where each entry's local header and data lie in the archive, sorted by start, with the
    // furthest end among the spans up to each one.
    struct Span {
        uint64_t begin;
        uint64_t end;
    };
    std::vector<std::string> m_unwritten;
    std::vector<Span> m_spans;
    std::vector<uint64_t> m_spanEndMax;
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
