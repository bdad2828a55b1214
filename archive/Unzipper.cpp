#include "archive/Unzipper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>

#include "archive/FileIo.h"
#include "archive/ZipFormat.h"
#include "db/Text.h"

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

// Splits UTF-8 text into characters; a byte that starts no valid sequence is one character.
std::vector<uint32_t> characters(const std::string& text) {
    std::vector<uint32_t> out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        size_t length = 1;
        uint32_t value = lead;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            value = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            value = lead & 0x07;
        }
        bool valid = i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
            } else {
                value = (value << 6) | (next & 0x3F);
            }
        }
        if (!valid) {
            length = 1;
            value = lead;
        }
        out.push_back(value);
        i += length;
    }
    return out;
}

}  // namespace

bool ZipNameMatchesMask(const std::string& name, const std::string& rawMask) {
    std::string maskText = rawMask;
    std::replace(maskText.begin(), maskText.end(), '\\', '/');
    if (maskText.empty() || maskText == "*.*" || maskText == "*") return true;
    const std::vector<uint32_t> text = characters(name);
    const std::vector<uint32_t> mask = characters(maskText);
    // Greedy matching with one backtrack point: the last "*" seen.
    size_t t = 0, m = 0;
    size_t starMask = std::string::npos, starText = 0;
    while (t < text.size()) {
        if (m < mask.size() && (mask[m] == '?' || (mask[m] != '*' && mask[m] == text[t]))) {
            ++t;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starText = t;
        } else if (starMask != std::string::npos) {
            m = starMask + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

TUnzipper::TUnzipper() = default;

TUnzipper::~TUnzipper() {
    if (m_rec.output >= 0) ::close(m_rec.output);
    if (m_rec.archive >= 0) ::close(m_rec.archive);
}

void TUnzipper::setProgressHandler(TUnzipProgressHandler handler, void* context) {
    m_progress = handler;
    m_progressContext = context;
}

void TUnzipper::setOverwriteHandler(TUnzipOverwriteHandler handler, void* context) {
    m_overwrite = handler;
    m_overwriteContext = context;
}

void TUnzipper::setOpenHandler(TUnzipOpenHandler handler, void* context) {
    m_openOutput = handler ? handler : &standardOpenOutput;
    m_openContext = context;
}

void TUnzipper::setCloseHandler(TUnzipCloseHandler handler, void* context) {
    m_closeOutput = handler ? handler : &standardCloseOutput;
    m_closeContext = context;
}

int TUnzipper::unpack(const std::string& archivePath, const std::string& targetFolder,
                      const std::string& mask) {
    if (targetFolder.empty()) return kUnzipNoTarget;
    if (m_rec.output >= 0) ::close(m_rec.output);
    if (m_rec.archive >= 0) ::close(m_rec.archive);
    m_rec = TZipRec{};
    m_rec.targetFolder = targetFolder;
    if (m_rec.targetFolder.back() != '/') m_rec.targetFolder += '/';

    const int fd = ::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return kUnzipCannotOpen;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return kUnzipCannotOpen;
    }
    m_rec.archive = fd;
    const auto fileSize = static_cast<uint64_t>(st.st_size);

    int result = 0;
    // Recognition: the local header signature at offset 0, or else at an offset from 1 to
    // w - 5 within the first w bytes (m = min(size, 63), w = m - m div 4).
    uint8_t head[63];
    const ssize_t headSize = readAt(fd, head, sizeof head, 0);
    if (headSize < 0) {
        result = kUnzipReadError;
    } else {
        bool recognised = headSize >= 4 && get32(head) == kLocalHeaderSignature;
        if (!recognised && fileSize >= 5) {
            const auto m = static_cast<int64_t>(std::min<uint64_t>(fileSize, 63));
            const int64_t w = std::min<int64_t>(m - m / 4, headSize);
            for (int64_t offset = 1; offset <= w - 5 && !recognised; ++offset) {
                recognised = get32(head + offset) == kLocalHeaderSignature;
            }
        }
        if (!recognised) result = kUnzipNotZip;
    }
    if (result == 0) result = readCentralDirectory(fileSize);
    if (result == 0) result = runEntries(mask);

    m_rec.buffer.clear();
    m_rec.buffer.shrink_to_fit();
    m_rec.bufferSize = 0;
    ::close(m_rec.archive);
    m_rec.archive = -1;
    return result;
}

int TUnzipper::findEndRecord(uint64_t fileSize, uint64_t& endOffset) {
    if (fileSize == 0) return kUnzipNoDirectory;
    std::vector<uint8_t> window(kEndSearchWindow);
    uint64_t length = std::min<uint64_t>(fileSize, kEndSearchWindow);
    uint64_t start = fileSize - length;
    for (;;) {
        const ssize_t n = readAt(m_rec.archive, window.data(), length, start);
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

int TUnzipper::readCentralDirectory(uint64_t fileSize) {
    uint64_t endOffset = 0;
    if (const int r = findEndRecord(fileSize, endOffset); r != 0) return r;
    if (endOffset < kCentralHeaderSize) return kUnzipNoDirectory;
    uint8_t end[kEndRecordSize];
    const ssize_t n = readAt(m_rec.archive, end, sizeof end, endOffset);
    if (n < 0) return kUnzipReadError;
    if (n != static_cast<ssize_t>(sizeof end)) return kUnzipNoDirectory;
    const uint64_t directoryOffset = get32(end + 16);
    if (directoryOffset >= endOffset) return kUnzipNoDirectory;
    const uint64_t size = std::min<uint64_t>(endOffset + 4 - directoryOffset, kMaxDirectorySize);
    m_rec.buffer.assign(size, 0);
    const ssize_t got = readAt(m_rec.archive, m_rec.buffer.data(), size, directoryOffset);
    if (got < 0) return kUnzipReadError;
    if (static_cast<uint64_t>(got) != size) return kUnzipNoDirectory;
    m_rec.bufferSize = static_cast<uint32_t>(size);
    m_rec.position = 0;
    return 0;
}

bool TUnzipper::nextEntry() {
    TZipRec& r = m_rec;
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
    r.percentDone = static_cast<uint8_t>(uint64_t{r.position} * 100 / r.bufferSize);
    return true;
}

int TUnzipper::runEntries(const std::string& mask) {
    if (!nextEntry()) return kUnzipNoDirectory;
    int count = 0;
    do {
        if (m_progress) m_progress(*this, m_progressContext);
        if (m_rec.cancelFlag) break;
        if (!ZipNameMatchesMask(m_rec.entryName, mask)) continue;
        const int r = handleEntry();
        if (r == kUnzipReadError || r == kUnzipDamaged) return r;
        if (r == 0) ++count;
    } while (nextEntry());
    return count;
}

int TUnzipper::handleEntry() {
    if (m_rec.nameDamaged) return kUnzipUnsafeName;
    if (m_overwrite && !m_rec.folderFlag) {
        struct stat st {};
        const std::string target = m_rec.targetFolder + m_rec.entryName;
        if (::lstat(target.c_str(), &st) == 0 && !m_overwrite(*this, target, m_overwriteContext)) {
            return 1;  // skipped at the person's wish: neither counted nor an error
        }
    }
    const int opened = m_openOutput(*this, m_openContext);
    if (opened < 0) return opened;
    const int result = m_rec.folderFlag ? 0 : extractEntry();
    return m_closeOutput(*this, result, m_closeContext);
}

int TUnzipper::standardOpenOutput(TUnzipper& unzipper, void*) {
    TZipRec& r = unzipper.m_rec;
    const std::filesystem::path target = r.targetFolder + r.entryName;
    std::error_code ec;
    const std::filesystem::path folder = r.folderFlag ? target : target.parent_path();
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) return kUnzipWriteError;
    if (r.folderFlag) return 0;
    // O_NOFOLLOW: an existing symbolic link in place of the target is not written through.
    r.output = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    return r.output < 0 ? kUnzipWriteError : 0;
}

int TUnzipper::standardCloseOutput(TUnzipper& unzipper, int result, void*) {
    TZipRec& r = unzipper.m_rec;
    const std::string target = r.targetFolder + r.entryName;
    std::time_t when = 0;
    const bool validTime = TimeFromDosDateTime(r.dosDateTime, when);
    struct timespec times[2] = {};
    times[0].tv_sec = when;
    times[1].tv_sec = when;
    if (r.output >= 0) {
        const int fd = r.output;
        r.output = -1;
        if (result == 0 && validTime && ::futimens(fd, times) != 0) result = kUnzipWriteError;
        // DOS read-only: clear the write bits.
        struct stat st {};
        if (result == 0 && (r.attributes & 0x01) && ::fstat(fd, &st) == 0) {
            ::fchmod(fd, st.st_mode & ~static_cast<mode_t>(0222) & 07777);
        }
        if (::close(fd) != 0 && result == 0) result = kUnzipWriteError;
        if (result != 0) ::unlink(target.c_str());
        return result;
    }
    if (result == 0 && r.folderFlag && validTime) {
        ::utimensat(AT_FDCWD, target.c_str(), times, 0);
    }
    return result;
}

int TUnzipper::extractEntry() {
    TZipRec& r = m_rec;
    uint8_t header[kLocalHeaderSize];
    const ssize_t n = readAt(r.archive, header, sizeof header, r.localHeaderOffset);
    if (n < 0) return kUnzipReadError;
    if (n != static_cast<ssize_t>(sizeof header) || get32(header) != kLocalHeaderSignature) {
        return kUnzipDamaged;
    }
    m_flags = get16(header + 6);
    const uint16_t method = get16(header + 8);
    m_expectedCrc = get32(header + 14);
    m_compressedSize = get32(header + 18);
    m_uncompressedSize = get32(header + 22);
    const uint64_t dataStart =
        uint64_t{r.localHeaderOffset} + kLocalHeaderSize + get16(header + 26) + get16(header + 28);
    if (method > 8 || method == 7) return kUnzipUnsupported;
    if ((m_flags | r.flags) & kFlagEncrypted) return kUnzipEncrypted;
    if ((m_flags | r.flags) & kFlagDataDescriptor) {
        // The local header defers sizes and CRC-32 to a descriptor after the data: the central
        // directory holds the real values.
        m_expectedCrc = r.crc32;
        m_compressedSize = r.compressedSize;
        m_uncompressedSize = r.uncompressedSize;
    }
    // 0xFFFFFFFF stands for a 64-bit size in an extension this reader does not support.
    if (m_compressedSize == 0xFFFFFFFF || m_uncompressedSize == 0xFFFFFFFF) {
        return kUnzipUnsupported;
    }

    m_inputOffset = dataStart;
    m_inputLeft = m_compressedSize;
    m_inputPos = m_inputFill = 0;
    m_overrunBytes = 0;
    m_inputError = 0;
    m_bitBuffer = 0;
    m_bitCount = 0;
    m_written = m_flushed = 0;
    m_writeFailed = false;
    m_crc = ::crc32(0L, Z_NULL, 0);
    m_window.reset(new uint8_t[kWindowSize]());

    int result = 0;
    switch (method) {
        case 0:
            result = decodeStored();
            break;
        case 1:
            result = decodeShrunk();
            break;
        case 2:
        case 3:
        case 4:
        case 5:
            result = decodeReduced(method - 1);
            break;
        case 6:
            result = decodeImploded();
            break;
        default:
            result = decodeDeflated();
            break;
    }
    if (result == 0 && !flushWindow()) result = kUnzipWriteError;
    // A failed read makes whatever the decoder concluded meaningless.
    if (m_inputError) result = m_inputError;
    m_window.reset();
    if (result != 0) return result;
    if (m_written != m_uncompressedSize || m_crc != m_expectedCrc) return kUnzipCrcError;
    return 0;
}

int UnpackFiles(TUnzipper& unzipper, const std::string& archivePath,
                const std::string& targetFolder, const std::string& mask) {
    return unzipper.unpack(archivePath, targetFolder, mask);
}

}  // namespace velmorant
