#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

// Whole reads and writes on file descriptors, retried after signals.
namespace velmorant::zip {

// Repeats `readOnce(done)` (a read into the buffer after the first `done` bytes) until `size`
// bytes are in or the file ends; a read that a signal interrupted is repeated. Returns the
// number of bytes read, or -1 when a read fails.
template <typename ReadOnce>
ssize_t readFully(size_t size, ReadOnce readOnce) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = readOnce(done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// Reads `size` bytes at `offset` unless the file ends first. Returns the number of bytes read,
// or -1 when the read fails.
inline ssize_t readAt(int fd, void* data, size_t size, uint64_t offset) {
    return readFully(size, [&](size_t done) {
        return ::pread(fd, static_cast<uint8_t*>(data) + done, size - done,
                       static_cast<off_t>(offset + done));
    });
}

// Reads up to `size` bytes from the current position; fewer only at the end of the file.
// Returns the number of bytes read, or -1 when the read fails.
inline ssize_t readSome(int fd, void* data, size_t size) {
    return readFully(size, [&](size_t done) {
        return ::read(fd, static_cast<uint8_t*>(data) + done, size - done);
    });
}

// Writes all `size` bytes; false when the file takes fewer (a full disk, a size limit).
inline bool writeAll(int fd, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace velmorant::zip
