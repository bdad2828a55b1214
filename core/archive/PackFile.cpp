#include "core/archive/PackFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "core/archive/FileIo.h"
#include "core/archive/ZipFormat.h"
#include "core/db/AtomicFile.h"
#include "core/db/Clock.h"
#include "core/db/UniqueFd.h"

namespace velmorant {

using namespace zip;

namespace {

constexpr uint32_t kBlockSize = 16384;
constexpr uint64_t kMemoryLimit = 4194304;  // larger sources collect in a temporary file
// Sizes and offsets of the format are 32-bit, and readers take 0xFFFFFFFF in any of them for
// the mark of a 64-bit value elsewhere: every one must stay below it.
constexpr uint64_t kSizeLimit = 0xFFFFFFFFULL;

// The text of a failing zlib result, as zError gives it for the codes it knows.
std::string zlibErrorText(int code) {
    switch (code) {
        case Z_NEED_DICT:
        case Z_STREAM_END:
        case Z_ERRNO:
        case Z_STREAM_ERROR:
        case Z_DATA_ERROR:
        case Z_MEM_ERROR:
        case Z_BUF_ERROR:
        case Z_VERSION_ERROR:
            return zError(code);
        default:
            return "Unknown zlib error " + std::to_string(code);
    }
}

// Where the compressed data collects: memory, or a temporary file in a given folder.
class CompressedData {
public:
    // Creates the temporary file in `folder`: "pack.tmp", or the first of 0001 ... FFFF that
    // does not exist. O_EXCL: a file that appears meanwhile is never taken over.
    bool useTemporaryFile(std::string folder) {
        if (folder.empty() || folder.back() != '/') folder += '/';
        for (unsigned number = 0; number <= 0xFFFF; ++number) {
            std::string name = "pack.tmp";
            if (number > 0) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "%04X", number);
                name = hex;
            }
            const std::string path = folder + name;
            UniqueFd file(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (file) {
                // Nobody needs its name: unlinked at once, it goes with the descriptor, even
                // when the process is killed.
                ::unlink(path.c_str());
                m_file = std::move(file);
                return true;
            }
            if (errno != EEXIST) return false;
        }
        return false;
    }

    bool append(const uint8_t* data, size_t size) {
        m_size += size;
        if (!m_file) {
            m_memory.insert(m_memory.end(), data, data + size);
            return true;
        }
        return writeAll(m_file.get(), data, size);
    }

    uint64_t size() const { return m_size; }

    // Copies everything collected to `out`.
    bool copyTo(AtomicFile& out) {
        if (!m_file) return out.Write(m_memory.data(), m_memory.size());
        std::vector<uint8_t> block(kBlockSize);
        uint64_t offset = 0;
        while (offset < m_size) {
            const ssize_t n = readAt(m_file.get(), block.data(), block.size(), offset);
            if (n <= 0 || !out.Write(block.data(), static_cast<size_t>(n))) return false;
            offset += static_cast<uint64_t>(n);
        }
        return true;
    }

private:
    std::vector<uint8_t> m_memory;
    UniqueFd m_file;  // the temporary file, when one is used
    uint64_t m_size = 0;
};

// Reads the source, folds it into the CRC-32 and deflates it into `data`. False on a read
// error, a zlib failure (its text goes to `zlibError` when given), a failed append, or when
// the source does not hold exactly `expectedSize` bytes.
bool compress(int source, uint64_t expectedSize, CompressedData& data, uint32_t& crc,
              std::string* zlibError) {
    auto fail = [zlibError](int code) {
        if (zlibError) *zlibError = zlibErrorText(code);
        return false;
    };
    z_stream stream{};
    int ret = deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    if (ret != Z_OK) return fail(ret);
    // zlib's state is freed on every way out, a failed allocation of ours included.
    struct DeflateEnd {
        z_stream& z;
        ~DeflateEnd() { deflateEnd(&z); }
    } end{stream};
    std::vector<uint8_t> input(kBlockSize);
    std::vector<uint8_t> output(kBlockSize);
    crc = ::crc32(0L, Z_NULL, 0);
    uint64_t total = 0;
    bool ok = true;
    // Hands the pending input to deflate; every filled stretch of the output goes to `data`.
    auto run = [&](int flush) {
        do {
            stream.next_out = output.data();
            stream.avail_out = kBlockSize;
            ret = deflate(&stream, flush);
            if (ret < 0 && ret != Z_BUF_ERROR) return fail(ret);
            const size_t produced = kBlockSize - stream.avail_out;
            if (produced > 0 && !data.append(output.data(), produced)) return false;
        } while (stream.avail_out == 0 || (flush == Z_FINISH && ret != Z_STREAM_END));
        return true;
    };
    for (;;) {
        const ssize_t n = readSome(source, input.data(), input.size());
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        total += static_cast<uint64_t>(n);
        if (total > expectedSize) {
            ok = false;
            break;
        }
        crc = ::crc32(crc, input.data(), static_cast<uInt>(n));
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(n);
        if (!run(Z_NO_FLUSH)) {
            ok = false;
            break;
        }
    }
    if (ok && total != expectedSize) ok = false;
    if (ok) ok = run(Z_FINISH);
    return ok;
}

bool writeArchive(AtomicFile& out, const std::string& name, uint32_t dosDateTime, uint32_t crc,
                  uint32_t compressedSize, uint32_t uncompressedSize, CompressedData& data) {
    const auto nameLength = static_cast<uint16_t>(name.size());
    // Names are UTF-8 here; flag bit 11 says so when the name is not plain ASCII, so that
    // readers do not take it for the DOS code page.
    uint16_t flags = 0;
    for (unsigned char c : name) {
        if (c >= 0x80) flags = kFlagUtf8Name;
    }
    uint8_t local[kLocalHeaderSize] = {};
    put32(local, kLocalHeaderSignature);
    put16(local + 4, 10);
    put16(local + 6, flags);
    put16(local + 8, 8);
    put32(local + 10, dosDateTime);
    put32(local + 14, crc);
    put32(local + 18, compressedSize);
    put32(local + 22, uncompressedSize);
    put16(local + 26, nameLength);
    put16(local + 28, 0);

    uint8_t central[kCentralHeaderSize] = {};
    put32(central, kCentralHeaderSignature);
    put16(central + 4, 10);
    std::copy(local + 4, local + 30, central + 6);
    put16(central + 32, 0);
    put16(central + 34, 0);
    put16(central + 36, 0);
    put32(central + 38, 0x20);
    put32(central + 42, 0);

    uint8_t end[kEndRecordSize] = {};
    put32(end, kEndRecordSignature);
    put16(end + 8, 1);
    put16(end + 10, 1);
    put32(end + 12, static_cast<uint32_t>(kCentralHeaderSize + nameLength));
    put32(end + 16, static_cast<uint32_t>(kLocalHeaderSize + nameLength + compressedSize));

    return out.Write(local, sizeof local) && out.Write(name) && data.copyTo(out) &&
           out.Write(central, sizeof central) && out.Write(name) && out.Write(end, sizeof end);
}

}  // namespace

bool PackFile(const std::string& sourcePath, const std::string& archivePath,
              const std::string& tempFolder, const Clock& clock, std::string* zlibError) {
    if (zlibError) zlibError->clear();
    struct stat sourceInfo {};
    if (::stat(sourcePath.c_str(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode)) {
        return false;
    }
    const auto size = static_cast<uint64_t>(sourceInfo.st_size);
    if (size >= kSizeLimit) return false;
    uint32_t dosDateTime = 0;
    if (!DosDateTimeFromTime(sourceInfo.st_mtime, dosDateTime)) {
        dosDateTime = DosDateTimeFromDate(clock.Now());
    }
    const std::string name = std::filesystem::path(sourcePath).filename().string();
    if (name.empty() || name.size() > 255) return false;

    UniqueFd source(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!source) return false;
    // Packing a file onto itself would cut the source before it is read.
    struct stat archiveInfo {};
    if (::stat(archivePath.c_str(), &archiveInfo) == 0 && archiveInfo.st_dev == sourceInfo.st_dev &&
        archiveInfo.st_ino == sourceInfo.st_ino) {
        return false;
    }
    // The archive is written beside its place and renamed over it only when whole: a failure
    // or a kill at any point leaves the earlier archive as it was.
    AtomicFile out(archivePath);
    if (!out.Open()) return false;

    bool ok = true;
    uint32_t crc = 0;
    {
        CompressedData data;
        if (size > kMemoryLimit) ok = data.useTemporaryFile(tempFolder);
        ok = ok && compress(source.get(), size, data, crc, zlibError);
        // The end record names where the central directory starts, after the local header,
        // the name and the data.
        const uint64_t directoryOffset = kLocalHeaderSize + name.size() + data.size();
        const uint64_t archiveSize =
            directoryOffset + kCentralHeaderSize + name.size() + kEndRecordSize;
        ok = ok && data.size() < kSizeLimit && directoryOffset < kSizeLimit &&
             archiveSize <= 0x100000000ULL;
        ok = ok && writeArchive(out, name, dosDateTime, crc, static_cast<uint32_t>(data.size()),
                                static_cast<uint32_t>(size), data);
    }
    source.reset();
    return ok && out.Commit();
    return ok;
}

}  // namespace velmorant
