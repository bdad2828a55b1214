#pragma once

#include <unistd.h>

namespace velmorant {

// Owns one file descriptor and closes it when destroyed. Move-only: exactly one owner at a
// time, so that no path out can forget the descriptor or close it twice.
class UniqueFd {
public:
    UniqueFd() noexcept = default;
    // Takes over `fd`; a negative value holds nothing (the result of a failed open()).
    explicit UniqueFd(int fd) noexcept : m_fd(fd < 0 ? -1 : fd) {}
    ~UniqueFd() { reset(); }

    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return m_fd; }
    explicit operator bool() const noexcept { return m_fd >= 0; }

    // Gives the descriptor up without closing it.
    int release() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

    // Closes what is held, ignoring the result (for files whose written data is not kept, or
    // was checked by close() already), and takes `fd`.
    void reset(int fd = -1) noexcept {
        const int old = m_fd;
        m_fd = fd < 0 ? -1 : fd;
        if (old >= 0 && old != m_fd) ::close(old);
    }

    // Closes now, for a file whose written data matters: false when close() reports an error
    // (a write the system deferred has failed). Holds nothing afterwards in every case; true
    // when nothing was held.
    bool close() noexcept { return m_fd < 0 || ::close(release()) == 0; }

private:
    int m_fd = -1;
};

}  // namespace velmorant
