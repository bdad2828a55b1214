#include "core/archive/Unzipper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <utility>

#include "core/archive/FileIo.h"
#include "core/archive/ZipFormat.h"
#include "core/db/Text.h"

namespace velmorant {

using namespace zip;

namespace {

// The most of the central directory that is read; entries beyond are not seen.
constexpr uint32_t kMaxDirectorySize = 262128;
// The end record is searched for in windows of this size, from the end of the file.
constexpr uint32_t kEndSearchWindow = 4096;
// The output a run may produce unless told otherwise: this much, or this many times the
// archive's size when that is more. Real exchange files stay far below it; an archive that
// expands beyond it is made to exhaust the disk.
constexpr uint64_t kDefaultOutputLimit = uint64_t{1} << 30;
constexpr uint64_t kOutputLimitRatio = 64;

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

// The components of an entry name that name something: empty ones and "." dropped.
std::vector<std::string> nameComponents(const std::string& name) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

// The name under which an entry lands: its components joined by "/". Entries that differ
// only by empty or "." components or a trailing separator land on the same file.
std::string landingName(const std::string& name) {
    std::string out;
    for (const std::string& part : nameComponents(name)) {
        if (!out.empty()) out += '/';
        out += part;
    }
    return out;
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

TUnzipper::~TUnzipper() = default;

int TUnzipper::unpack(const std::string& archivePath, const std::string& targetFolder,
                      const std::string& mask) {
    if (targetFolder.empty()) return kUnzipNoTarget;
    m_rec = TZipRec{};  // closes whatever an earlier run left open
    m_unwritten.clear();
    m_rec.targetFolder = targetFolder;
    if (m_rec.targetFolder.back() != '/') m_rec.targetFolder += '/';

    UniqueFd archive(::open(archivePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!archive) return kUnzipCannotOpen;
    struct stat st {};
    if (::fstat(archive.get(), &st) != 0 || !S_ISREG(st.st_mode)) return kUnzipCannotOpen;
    const int fd = archive.get();
    m_rec.archive = std::move(archive);
    const auto fileSize = static_cast<uint64_t>(st.st_size);
    m_runLimit = m_outputLimit != 0 ? m_outputLimit
                                    : std::max(kDefaultOutputLimit, fileSize * kOutputLimitRatio);
    m_runOutput = 0;

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
    m_spans.clear();
    m_spanEndMax.clear();
    m_rec.archive.reset();
    return result;
}

int TUnzipper::findEndRecord(uint64_t fileSize, uint64_t& endOffset) {
    if (fileSize == 0) return kUnzipNoDirectory;
    std::vector<uint8_t> window(kEndSearchWindow);
    uint64_t length = std::min<uint64_t>(fileSize, kEndSearchWindow);
    uint64_t start = fileSize - length;
    for (;;) {
        const ssize_t n = readAt(m_rec.archive.get(), window.data(), length, start);
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
    const ssize_t n = readAt(m_rec.archive.get(), end, sizeof end, endOffset);
    if (n < 0) return kUnzipReadError;
    if (n != static_cast<ssize_t>(sizeof end)) return kUnzipNoDirectory;
    const uint64_t directoryOffset = get32(end + 16);
    if (directoryOffset >= endOffset) return kUnzipNoDirectory;
    const uint64_t size = std::min<uint64_t>(endOffset + 4 - directoryOffset, kMaxDirectorySize);
    m_rec.buffer.assign(size, 0);
    const ssize_t got = readAt(m_rec.archive.get(), m_rec.buffer.data(), size, directoryOffset);
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
    return true;
}

// The span of an entry: its local header, name, extra field and compressed data. Sizes in a
// data descriptor are the central directory's.
void TUnzipper::collectSpans() {
    m_spans.clear();
    m_spanEndMax.clear();
    m_rec.position = 0;
    while (nextEntry()) {
        const uint64_t begin = m_rec.localHeaderOffset;
        uint64_t end = begin + kLocalHeaderSize;
        uint8_t header[kLocalHeaderSize];
        if (readAt(m_rec.archive.get(), header, sizeof header, begin) ==
                static_cast<ssize_t>(sizeof header) &&
            get32(header) == kLocalHeaderSignature) {
            const bool descriptor = ((get16(header + 6) | m_rec.flags) & kFlagDataDescriptor) != 0;
            end += get16(header + 26) + get16(header + 28) +
                   uint64_t{descriptor ? m_rec.compressedSize : get32(header + 18)};
        }
        m_spans.push_back({begin, end});
    }
    m_rec.position = 0;
    std::sort(m_spans.begin(), m_spans.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    uint64_t furthest = 0;
    for (const Span& span : m_spans) {
        furthest = std::max(furthest, span.end);
        m_spanEndMax.push_back(furthest);
    }
}

// True when another entry's span shares a byte with [begin, end): two entries that start at
// the same place, one that starts inside this one, or one that reaches into it.
bool TUnzipper::overlapsOtherEntry(uint64_t begin, uint64_t end) const {
    const auto byBegin = [](const Span& span, uint64_t value) { return span.begin < value; };
    const auto first = std::lower_bound(m_spans.begin(), m_spans.end(), begin, byBegin);
    auto after = first;
    while (after != m_spans.end() && after->begin == begin) ++after;
    if (after - first > 1) return true;
    if (after != m_spans.end() && after->begin < end) return true;
    const auto before = static_cast<size_t>(first - m_spans.begin());
    return before > 0 && m_spanEndMax[before - 1] > begin;
}

int TUnzipper::runEntries(const std::string& mask) {
    if (!nextEntry()) return kUnzipNoDirectory;
    collectSpans();
    nextEntry();
    // The names this run has completed: a later entry of the same name replaces the file but
    // does not count it twice, and one that fails leaves it in place.
    std::set<std::string> completed;
    do {
        if (!ZipNameMatchesMask(m_rec.entryName, mask)) continue;
        errno = 0;
        const int r = handleEntry();
        if (r == kUnzipWriteError) {
            const int failure = errno;  // the call that failed set it; cleaning up keeps it
            m_unwritten.push_back(m_rec.entryName + ": " +
                                  (failure ? std::strerror(failure) : "cannot be written"));
        }
        if (r == kUnzipReadError || r == kUnzipDamaged) return r;
        if (r == 0) completed.insert(landingName(m_rec.entryName));
    } while (nextEntry());
    return static_cast<int>(completed.size());
}

int TUnzipper::handleEntry() {
    if (m_rec.nameDamaged) return kUnzipUnsafeName;
    const int opened = openOutput();
    if (opened < 0) return opened;
    const int result = m_rec.folderFlag ? 0 : extractEntry();
    return closeOutput(result);
}

int TUnzipper::openOutput() {
    TZipRec& r = m_rec;
    r.output.reset();
    r.outputFolder.reset();
    // The target folder is the caller's and may be reached through links; below it, every
    // folder of the entry's name is entered without following one, so that a link planted in
    // the target folder cannot lead the entry elsewhere.
    std::error_code ec;
    std::filesystem::create_directories(r.targetFolder, ec);
    UniqueFd folder(::open(r.targetFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return kUnzipWriteError;
    std::vector<std::string> parts = nameComponents(r.entryName);
    std::string leaf;
    if (!r.folderFlag) {
        if (parts.empty()) return kUnzipWriteError;
        leaf = parts.back();
        parts.pop_back();
    }
    for (const std::string& part : parts) {
        if (::mkdirat(folder.get(), part.c_str(), 0777) != 0 && errno != EEXIST) {
            return kUnzipWriteError;
        }
        folder = UniqueFd(
            ::openat(folder.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder) return kUnzipWriteError;
    }
    r.outputFolder = std::move(folder);
    if (r.folderFlag) return 0;
    r.output = std::make_unique<AtomicFile>(r.outputFolder.get(), leaf);
    if (r.output->Open()) return 0;
    r.output.reset();
    return kUnzipWriteError;
}

int TUnzipper::closeOutput(int result) {
    TZipRec& r = m_rec;
    std::time_t when = 0;
    const bool validTime = TimeFromDosDateTime(r.dosDateTime, when);
    struct timespec times[2] = {};
    times[0].tv_sec = when;
    times[1].tv_sec = when;
    if (r.output) {
        const std::unique_ptr<AtomicFile> output = std::move(r.output);
        const int fd = output->Fd();
        if (result == 0 && validTime && ::futimens(fd, times) != 0) result = kUnzipWriteError;
        // DOS read-only: clear the write bits. The next run replaces the file all the same,
        // since it renames a new one over it.
        struct stat st {};
        if (result == 0 && (r.attributes & 0x01) && ::fstat(fd, &st) == 0) {
            ::fchmod(fd, st.st_mode & ~static_cast<mode_t>(0222) & 07777);
        }
        if (result == 0 && !output->Commit()) result = kUnzipWriteError;
    } else if (result == 0 && r.folderFlag && validTime && r.outputFolder) {
        ::futimens(r.outputFolder.get(), times);
    }
    r.outputFolder.reset();
    return result;
}

int TUnzipper::extractEntry() {
    TZipRec& r = m_rec;
    m_limitPassed = false;
    uint8_t header[kLocalHeaderSize];
    const ssize_t n = readAt(r.archive.get(), header, sizeof header, r.localHeaderOffset);
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
    // Entries that share their data expand one small archive many times over.
    if (overlapsOtherEntry(r.localHeaderOffset, dataStart + m_compressedSize)) {
        return kUnzipOverlap;
    }
    m_limitPassed = m_uncompressedSize > m_runLimit - m_runOutput;
    if (m_limitPassed) return kUnzipDamaged;

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
    if (m_limitPassed) result = kUnzipDamaged;
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
