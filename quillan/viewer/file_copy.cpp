#include "file_copy.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace quillan {

CopyError::CopyError(std::string path, std::string reason)
    : std::runtime_error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason))
{
}

namespace {

std::string errnoText(int err)
{
    return std::error_code(err, std::generic_category()).message();
}

[[noreturn]] void fail(const std::filesystem::path &path, int err)
{
    throw CopyError(path.string(), errnoText(err));
}

// A file descriptor closed when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    // Closes now; returns errno of a failed close, else 0.
    int reset()
    {
        int err = 0;
        if (fd_ >= 0 && ::close(fd_) != 0)
            err = errno;
        fd_ = -1;
        return err;
    }

private:
    int fd_;
};

// The new file in the target's folder; removed unless released.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) {}
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
    ~TempFile()
    {
        if (!released_)
            ::unlink(path_.c_str());
    }
    void release() { released_ = true; }

private:
    std::string path_;
    bool released_ = false;
};

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

void writeAll(int fd, const char *data, size_t size, const std::filesystem::path &target)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(target, errno);
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace

CopyOutcome copyFileIntoPlace(const std::filesystem::path &source,
                              const std::filesystem::path &target)
{
    if (target.empty())
        throw CopyError(target.string(), "no file name given");

    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        fail(source, errno);
    struct stat sourceStat {};
    if (::fstat(in.get(), &sourceStat) != 0)
        fail(source, errno);
    if (S_ISDIR(sourceStat.st_mode))
        fail(source, EISDIR);

    mode_t mode = newFileMode();
    struct stat targetStat {};
    if (::stat(target.c_str(), &targetStat) == 0) {
        if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino)
            return CopyOutcome::SameFile;
        if (S_ISDIR(targetStat.st_mode))
            fail(target, EISDIR);
        mode = targetStat.st_mode & 07777;
    }

    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    Fd out(::mkstemp(name.data()));
    if (out.get() < 0)
        fail(target, errno);
    TempFile temp(name.data());

    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(source, errno);
        }
        if (n == 0)
            break;
        writeAll(out.get(), buffer.data(), static_cast<size_t>(n), target);
    }
    if (::fchmod(out.get(), mode) != 0)
        fail(target, errno);
    if (::fsync(out.get()) != 0)
        fail(target, errno);
    if (const int err = out.reset(); err != 0)
        fail(target, err);
    if (::rename(name.data(), target.c_str()) != 0)
        fail(target, errno);
    temp.release();
    return CopyOutcome::Copied;
}

} // namespace quillan
