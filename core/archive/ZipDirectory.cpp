#include "core/archive/ZipDirectory.h"

#include <algorithm>

#include "core/archive/FileIo.h"
#include "core/archive/Unzipper.h"
#include "core/archive/ZipFormat.h"
#include "core/db/Text.h"

namespace velmorant {

using namespace zip;

namespace {

// The most of the central directory that is read; entries beyond are not seen.
constexpr uint32_t kMaxDirectorySize = 262128;
// The end record is searched for in windows of this size, from the end of the file.
constexpr uint32_t kEndSearchWindow = 4096;

// The name of an entry is unsafe when it is empty, holds a NUL byte, is absolute, starts with a
// drive part ("C:") or has a ".." component: joined to the target folder it could point
// outside of it.
bool isUnsafeName(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return true;
    if (name[0] == '/') return true;
    if (name.size() >= 2 && name[1] == ':' &&
        ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        return true;
    }
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        if (name.compare(start, end - start, "..") == 0) return true;
        start = end + 1;
    }
    return false;
}

int findEndRecord(int archive, uint64_t fileSize, uint64_t& endOffset) {
    if (fileSize == 0) return kUnzipNoDirectory;
    std::vector<uint8_t> window(kEndSearchWindow);
    uint64_t length = std::min<uint64_t>(fileSize, kEndSearchWindow);
    uint64_t start = fileSize - length;
    for (;;) {
        const ssize_t n = readAt(archive, window.data(), length, start);
        if (n < 0) return kUnzipReadError;
        if (static_cast<uint64_t>(n) != length) return kUnzipNoDirectory;
        if (length >= kEndRecordSize) {
            for (int64_t p = static_cast<int64_t>(length - kEndRecordSize); p >= 0; --p) {
                if (get32(window.data() + p) == kEndRecordSignature) {
                    endOffset = start + static_cast<uint64_t>(p);
                    return 0;
                }
            }
        }
        if (start == 0) return kUnzipNoDirectory;
        const uint64_t step = length - kEndRecordSize;
        start = start > step ? start - step : 0;
    }
}

}  // namespace

int RecogniseZipArchive(int archive, uint64_t fileSize) {
    // The local header signature at offset 0, or else at an offset from 1 to w - 5 within
    // the first w bytes (m = min(size, 63), w = m - m div 4).
    uint8_t head[63];
    const ssize_t headSize = readAt(archive, head, sizeof head, 0);
    if (headSize < 0) return kUnzipReadError;
    bool recognised = headSize >= 4 && get32(head) == kLocalHeaderSignature;
    if (!recognised && fileSize >= 5) {
        const auto m = static_cast<int64_t>(std::min<uint64_t>(fileSize, 63));
        const int64_t w = std::min<int64_t>(m - m / 4, headSize);
        for (int64_t offset = 1; offset <= w - 5 && !recognised; ++offset) {
            recognised = get32(head + offset) == kLocalHeaderSignature;
        }
    }
    return recognised ? 0 : kUnzipNotZip;
}

int ReadCentralDirectory(TZipRec& rec, uint64_t fileSize) {
    uint64_t endOffset = 0;
    if (const int r = findEndRecord(rec.archive.get(), fileSize, endOffset); r != 0) return r;
    if (endOffset < kCentralHeaderSize) return kUnzipNoDirectory;
    uint8_t end[kEndRecordSize];
    const ssize_t n = readAt(rec.archive.get(), end, sizeof end, endOffset);
    if (n < 0) return kUnzipReadError;
    if (n != static_cast<ssize_t>(sizeof end)) return kUnzipNoDirectory;
    const uint64_t directoryOffset = get32(end + 16);
    if (directoryOffset >= endOffset) return kUnzipNoDirectory;
    const uint64_t size = std::min<uint64_t>(endOffset + 4 - directoryOffset, kMaxDirectorySize);
    rec.buffer.assign(size, 0);
    const ssize_t got = readAt(rec.archive.get(), rec.buffer.data(), size, directoryOffset);
    if (got < 0) return kUnzipReadError;
    if (static_cast<uint64_t>(got) != size) return kUnzipNoDirectory;
    rec.bufferSize = static_cast<uint32_t>(size);
    rec.position = 0;
    return 0;
}

bool NextCentralEntry(TZipRec& r) {
    if (r.position > r.bufferSize || r.bufferSize - r.position < 4) return false;
    const uint8_t* p = r.buffer.data() + r.position;
    if (get32(p) == kEndRecordSignature) return false;
    if (get32(p) != kCentralHeaderSignature) return false;
    if (r.bufferSize - r.position < kCentralHeaderSize) return false;
    const uint32_t nameLength = get16(p + 28);
    const uint32_t total =
        static_cast<uint32_t>(kCentralHeaderSize) + nameLength + get16(p + 30) + get16(p + 32);
    if (r.bufferSize - r.position < total) return false;

    const uint16_t madeBy = get16(p + 4);
    r.flags = get16(p + 8);
    r.method = get16(p + 10);
    r.dosDateTime = get32(p + 12);
    r.crc32 = get32(p + 16);
    r.compressedSize = get32(p + 20);
    r.uncompressedSize = get32(p + 24);
    r.attributes = (madeBy >> 8) == 0 ? (get32(p + 38) & 0xFF) : 0;
    r.localHeaderOffset = get32(p + 42);
    const std::string raw(reinterpret_cast<const char*>(p + kCentralHeaderSize), nameLength);
    r.nameDamaged = raw.find('\0') != std::string::npos;
    r.entryName = (r.flags & kFlagUtf8Name) ? raw : Cp866ToUtf8(raw);
    std::replace(r.entryName.begin(), r.entryName.end(), '\\', '/');
    r.nameDamaged = r.nameDamaged || isUnsafeName(r.entryName);
    r.folderFlag = !r.entryName.empty() && r.entryName.back() == '/' ? 1 : 0;
    r.position += total;
    return true;
}

}  // namespace velmorant
