#pragma once

#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/MixedText.h"

// Hand-built ZIP archives for the reader's tests: every field can be set, so that damaged,
// unusual and legacy-method entries can be put in front of the real reader.
namespace velmorant::test {

struct ZipEntryFields {
    std::string name;  // raw name bytes as stored
    std::string data;  // the entry's data as stored (compressed form)
    uint16_t method = 0;
    uint16_t flags = 0;
    uint32_t crc32 = 0;
    uint32_t uncompressedSize = 0;
    uint32_t dosDateTime = (uint32_t{(44u << 9) | (6u << 5) | 1u} << 16) |
                           ((12u << 11) | (34u << 5) | 28u);  // 2024-06-01 12:34:56
    uint16_t madeBy = 10;                                     // MS-DOS host
    uint32_t externalAttributes = 0x20;
    // With flag bit 3: the local header's CRC and sizes are zero and a data descriptor
    // (with signature) follows the data.

    // Only a central header, naming `localOffset` as its local header's place: no local
    // header or data of its own is written. Makes entries that share or overlap data.
    bool onlyInDirectory = false;
    uint32_t localOffset = 0;
};

// Where the local header of entries[index] starts in buildZip(entries).
uint32_t localHeaderOffset(const std::vector<ZipEntryFields>& entries, size_t index);

// A stored entry of `content`, with its CRC-32 and sizes.
ZipEntryFields storedEntry(const std::string& name, const std::string& content);
// A raw-deflated entry of `content`.
ZipEntryFields deflatedEntry(const std::string& name, const std::string& content);

// The archive: local headers with data, the central directory, the end record.
std::string buildZip(const std::vector<ZipEntryFields>& entries);
// Writes `entries` as the archive folder/a.zip and removes folder/out with all in it; returns
// folder/out, the target of the next unpacking.
std::filesystem::path freshArchive(const std::filesystem::path& folder,
                                   const std::vector<ZipEntryFields>& entries);

uint32_t crc32Of(const std::string& bytes);

// Every regular file under `folder`, by path relative to it.
std::vector<std::string> filesUnder(const std::filesystem::path& folder);

// Limits the size of files this process writes while it lives: writes beyond fail as on a
// full disk (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct rlimit m_previous {};
    void (*m_previousHandler)(int) = nullptr;
};

}  // namespace velmorant::test
