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
#include "core/archive/ZipDirectory.h"
#include "core/archive/ZipEntryDecoder.h"
#include "core/archive/ZipFormat.h"
#include "core/db/Text.h"

namespace velmorant {

using namespace zip;

namespace {

// The output a run may produce unless told otherwise: this much, or this many times the
// archive's size when that is more. Real exchange files stay far below it; an archive that
// expands beyond it is made to exhaust the disk.
constexpr uint64_t kDefaultOutputLimit = uint64_t{1} << 30;
constexpr uint64_t kOutputLimitRatio = 64;

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
    for (size_t i = 0; i < text.size();) {
        std::int32_t cp = -1;
        const size_t length = DecodeUtf8(text, i, cp);
        out.push_back(cp >= 0 ? static_cast<uint32_t>(cp) : static_cast<uint8_t>(text[i]));
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

    int result = RecogniseZipArchive(fd, fileSize);
    if (result == 0) result = ReadCentralDirectory(m_rec, fileSize);
    if (result == 0) result = runEntries(mask);

    m_rec.buffer.clear();
    m_rec.buffer.shrink_to_fit();
    m_rec.bufferSize = 0;
    m_spans.Clear();
    m_rec.archive.reset();
    return result;
}

int TUnzipper::runEntries(const std::string& mask) {
    if (!NextCentralEntry(m_rec)) return kUnzipNoDirectory;
    m_spans.Collect(m_rec);
    NextCentralEntry(m_rec);
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
    } while (NextCentralEntry(m_rec));
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
    uint8_t header[kLocalHeaderSize];
    const ssize_t n = readAt(r.archive.get(), header, sizeof header, r.localHeaderOffset);
    if (n < 0) return kUnzipReadError;
    if (n != static_cast<ssize_t>(sizeof header) || get32(header) != kLocalHeaderSignature) {
        return kUnzipDamaged;
    }
    const uint16_t flags = get16(header + 6);
    const uint16_t method = get16(header + 8);
    uint32_t expectedCrc = get32(header + 14);
    uint32_t compressedSize = get32(header + 18);
    uint32_t uncompressedSize = get32(header + 22);
    const uint64_t dataStart =
        uint64_t{r.localHeaderOffset} + kLocalHeaderSize + get16(header + 26) + get16(header + 28);
    if (method > 8 || method == 7) return kUnzipUnsupported;
    if ((flags | r.flags) & kFlagEncrypted) return kUnzipEncrypted;
    if ((flags | r.flags) & kFlagDataDescriptor) {
        // The local header defers sizes and CRC-32 to a descriptor after the data: the central
        // directory holds the real values.
        expectedCrc = r.crc32;
        compressedSize = r.compressedSize;
        uncompressedSize = r.uncompressedSize;
    }
    // 0xFFFFFFFF stands for a 64-bit size in an extension this reader does not support.
    if (compressedSize == 0xFFFFFFFF || uncompressedSize == 0xFFFFFFFF) {
        return kUnzipUnsupported;
    }
    // Entries that share their data expand one small archive many times over.
    if (m_spans.OverlapsOther(r.localHeaderOffset, dataStart + compressedSize)) {
        return kUnzipOverlap;
    }
    if (uncompressedSize > m_runLimit - m_runOutput) return kUnzipDamaged;
    const ZipEntryData data{r.archive.get(),  dataStart,   compressedSize,
                            uncompressedSize, expectedCrc, flags};
    ZipEntryDecoder decoder(data, r.output.get(), m_runLimit, m_runOutput);
    return decoder.Decode(method);
}

int UnpackFiles(TUnzipper& unzipper, const std::string& archivePath,
                const std::string& targetFolder, const std::string& mask) {
    return unzipper.unpack(archivePath, targetFolder, mask);
}

}  // namespace velmorant
