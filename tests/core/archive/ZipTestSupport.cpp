#include "core/archive/ZipTestSupport.h"

#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <stdexcept>

#include "support/TestSupport.h"

namespace velmorant::test {

namespace {

void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

uint32_t crc32Of(const std::string& bytes) {
    return static_cast<uint32_t>(
        ::crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

ZipEntryFields storedEntry(const std::string& name, const std::string& content) {
    ZipEntryFields e;
    e.name = name;
    e.data = content;
    e.crc32 = crc32Of(content);
    e.uncompressedSize = static_cast<uint32_t>(content.size());
    return e;
}

ZipEntryFields deflatedEntry(const std::string& name, const std::string& content) {
    ZipEntryFields e = storedEntry(name, content);
    z_stream s{};
    if (deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2");
    }
    std::string out(deflateBound(&s, content.size()), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(content.data()));
    s.avail_in = static_cast<uInt>(content.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    if (deflate(&s, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
    out.resize(s.total_out);
    deflateEnd(&s);
    e.data = out;
    e.method = 8;
    return e;
}

std::string buildZip(const std::vector<ZipEntryFields>& entries) {
    std::string archive;
    std::string directory;
    for (const ZipEntryFields& e : entries) {
        const auto offset =
            e.onlyInDirectory ? e.localOffset : static_cast<uint32_t>(archive.size());
        const bool descriptor = (e.flags & 0x0008) != 0;
        if (!e.onlyInDirectory) {
            put32(archive, 0x04034B50);
            put16(archive, 20);
            put16(archive, e.flags);
            put16(archive, e.method);
            put32(archive, e.dosDateTime);
            put32(archive, descriptor ? 0 : e.crc32);
            put32(archive, descriptor ? 0 : static_cast<uint32_t>(e.data.size()));
            put32(archive, descriptor ? 0 : e.uncompressedSize);
            put16(archive, static_cast<uint32_t>(e.name.size()));
            put16(archive, 0);
            archive += e.name;
            archive += e.data;
            if (descriptor) {
                put32(archive, 0x08074B50);
                put32(archive, e.crc32);
                put32(archive, static_cast<uint32_t>(e.data.size()));
                put32(archive, e.uncompressedSize);
            }
        }
        put32(directory, 0x02014B50);
        put16(directory, e.madeBy);
        put16(directory, 20);
        put16(directory, e.flags);
        put16(directory, e.method);
        put32(directory, e.dosDateTime);
        put32(directory, e.crc32);
        put32(directory, static_cast<uint32_t>(e.data.size()));
        put32(directory, e.uncompressedSize);
        put16(directory, static_cast<uint32_t>(e.name.size()));
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put16(directory, 0);
        put32(directory, e.externalAttributes);
        put32(directory, offset);
        directory += e.name;
    }
    const auto directoryOffset = static_cast<uint32_t>(archive.size());
    archive += directory;
    put32(archive, 0x06054B50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, static_cast<uint32_t>(std::min<size_t>(entries.size(), 0xFFFF)));
    put16(archive, static_cast<uint32_t>(std::min<size_t>(entries.size(), 0xFFFF)));
    put32(archive, static_cast<uint32_t>(directory.size()));
    put32(archive, directoryOffset);
    put16(archive, 0);
    return archive;
}

uint32_t localHeaderOffset(const std::vector<ZipEntryFields>& entries, size_t index) {
    uint32_t offset = 0;
    for (size_t i = 0; i < index; ++i) {
        const ZipEntryFields& e = entries[i];
        if (e.onlyInDirectory) continue;
        offset += static_cast<uint32_t>(30 + e.name.size() + e.data.size() +
                                        ((e.flags & 0x0008) ? 16 : 0));
    }
    return entries[index].onlyInDirectory ? entries[index].localOffset : offset;
}

std::vector<std::string> filesUnder(const std::filesystem::path& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    if (!std::filesystem::exists(folder, ec)) return out;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, ec)) {
        if (entry.is_regular_file()) {
            out.push_back(std::filesystem::relative(entry.path(), folder).generic_string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::filesystem::path freshArchive(const std::filesystem::path& folder,
                                   const std::vector<ZipEntryFields>& entries) {
    writeFile(folder / "a.zip", buildZip(entries));
    const auto target = folder / "out";
    std::filesystem::remove_all(target);
    return target;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_previous);
    struct rlimit limit = m_previous;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_previous);
    std::signal(SIGXFSZ, m_previousHandler);
}

}  // namespace velmorant::test
