#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/db/AtomicFile.h"
#include "core/db/UniqueFd.h"

namespace velmorant {

// The reader's record of the current entry and of the unpacking run. Paths use "/" as the
// separator: entry names have every "\" turned into "/", and the target folder ends with "/".
struct TZipRec {
    std::vector<uint8_t> buffer;     // the central directory as read; freed when a run ends
    uint32_t bufferSize = 0;         // bytes in the buffer
    uint32_t position = 0;           // offset in the buffer of the next central header
    uint32_t localHeaderOffset = 0;  // from the central header's offset 42
    uint32_t dosDateTime = 0;        // time in the low half, date in the high half
    uint32_t uncompressedSize = 0;   // from the central header
    uint32_t compressedSize = 0;     // from the central header
    std::string targetFolder;        // ends with "/"
    std::string entryName;           // UTF-8, "/" as separator
    uint32_t attributes = 0;         // DOS attributes, 0 when not made on an MS-DOS host
    UniqueFd archive;                // the archive being read
    uint16_t method = 0;             // compression method
    uint8_t folderFlag = 0;          // the entry name ends with a separator

    // Kept from the central header so that entries whose local header defers its sizes and
    // CRC-32 to a data descriptor (flag bit 3) can be checked against the directory's values.
    uint16_t flags = 0;        // general-purpose flags
    uint32_t crc32 = 0;        // CRC-32 of the uncompressed data
    bool nameDamaged = false;  // the name cannot be placed safely in the target folder

    // The folder that holds the current entry's file (open without following links); the
    // output writes beside the file and takes its place once complete.
    UniqueFd outputFolder;  // that folder, when one is open
    // The current output file (none for folders); declared after its folder, which it uses
    // until it is gone.
    std::unique_ptr<AtomicFile> output;
};

}  // namespace velmorant
