// Owning a file descriptor, and reading and writing whole buffers through
// one without losing bytes to short transfers or interrupted calls.
#pragma once

#include <cstddef>
#include <string>

#include <sys/types.h>

namespace base {

// A file descriptor closed when its owner goes out of scope.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor held (if any) and takes fd; returns 0 or the
    // errno of a failed close, which for a file being written can be the
    // first report of a failed write.
    int reset(int fd = -1);

private:
    int fd_ = -1;
};

// Writes all `size` bytes; returns 0 or errno (EIO for a write of nothing).
int WriteAll(int fd, const void *data, std::size_t size);

// One read of at most `size` bytes, repeated only when interrupted before
// any arrived; returns the count (0 at the end of the input) or -errno.
ssize_t ReadSome(int fd, void *buffer, std::size_t size);

// Reads until `size` bytes have arrived or the input ends; returns the
// count, or -errno.
ssize_t ReadFull(int fd, void *buffer, std::size_t size);

// Appends everything readable from fd to `out`; returns 0 or errno.
int ReadToEnd(int fd, std::string &out);

} // namespace base
