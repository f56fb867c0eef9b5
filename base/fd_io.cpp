#include "base/fd_io.h"

#include <cerrno>

#include <unistd.h>

namespace base {

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::reset(int fd)
{
    int error = 0;
    if (fd_ >= 0 && ::close(fd_) != 0)
        error = errno;
    fd_ = fd;
    return error;
}

int WriteAll(int fd, const void *data, std::size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size != 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

ssize_t ReadSome(int fd, void *buffer, std::size_t size)
{
    for (;;) {
        const ssize_t n = ::read(fd, buffer, size);
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return -errno;
    }
}

ssize_t ReadFull(int fd, void *buffer, std::size_t size)
{
    char *p = static_cast<char *>(buffer);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ReadSome(fd, p + got, size - got);
        if (n < 0)
            return n;
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

int ReadToEnd(int fd, std::string &out)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ReadFull(fd, buffer, sizeof buffer);
        if (n < 0)
            return static_cast<int>(-n);
        out.append(buffer, static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < sizeof buffer)
            return 0;
    }
}

} // namespace base
