#include "converter.h"

#include "stream_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillan {
namespace {

std::string systemReason(int error) { return std::strerror(error); }

// A file descriptor that closes itself; close() reports what the system says.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int close()
    {
        const int r = ::close(fd_);
        fd_ = -1;
        return r == 0 ? 0 : errno;
    }

private:
    int fd_;
};

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

ConversionError::ConversionError(std::string path, std::string reason)
    : std::runtime_error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason))
{
}

std::filesystem::path textPathFor(const std::filesystem::path &htmlPath)
{
    const std::string &s = htmlPath.native();
    const std::size_t slash = s.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = nameStart + 1 < s.size() ? s.find('.', nameStart + 1) : std::string::npos;
    if (dot == std::string::npos)
        return s + ".TXT";
    return s.substr(0, dot + 1) + "TXT";
}

void convertStream(int inFd, int outFd, const std::string &inName, const std::string &outName)
{
    try {
        pumpFile(inFd, outFd);
    } catch (const ReadFailure &f) {
        throw ConversionError(inName, systemReason(f.error));
    } catch (const WriteFailure &f) {
        throw ConversionError(outName, systemReason(f.error));
    }
}

void convertHtmlFile(const std::filesystem::path &htmlPath, const std::filesystem::path &textPath)
{
    if (htmlPath.empty())
        throw ConversionError("", "no file name given");
    const std::string in = htmlPath.string();
    const std::string out = textPath.string();

    Fd input(::open(in.c_str(), O_RDONLY | O_CLOEXEC));
    if (input.get() < 0)
        throw ConversionError(in, systemReason(errno));
    struct stat inStat {};
    if (::fstat(input.get(), &inStat) != 0)
        throw ConversionError(in, systemReason(errno));
    if (S_ISDIR(inStat.st_mode))
        throw ConversionError(in, systemReason(EISDIR));

    // Opened without truncation first, so that a text path that turns out to
    // be the input itself (by name, link or hard link) leaves it untouched.
    Fd output(::open(out.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (output.get() < 0)
        throw ConversionError(out, systemReason(errno));
    struct stat outStat {};
    if (::fstat(output.get(), &outStat) != 0)
        throw ConversionError(out, systemReason(errno));
    if (sameFile(inStat, outStat))
        throw ConversionError(in, "the text file " + out + " is the input file itself");

    // Only a regular file is ours to remove; a device such as /dev/null or a
    // pipe named as the output is left alone.
    const bool removable = S_ISREG(outStat.st_mode);
    auto fail = [&](const std::string &path, int error) {
        output.close();
        if (removable)
            ::unlink(out.c_str());
        throw ConversionError(path, systemReason(error));
    };

    if (removable && ::ftruncate(output.get(), 0) != 0)
        fail(out, errno);
    ::posix_fadvise(input.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    try {
        pumpFile(input.get(), output.get());
    } catch (const ReadFailure &f) {
        fail(in, f.error);
    } catch (const WriteFailure &f) {
        fail(out, f.error);
    }
    if (const int error = output.close(); error != 0) {
        if (removable)
            ::unlink(out.c_str());
        throw ConversionError(out, systemReason(error));
    }
}

std::filesystem::path convertHtmlFile(const std::filesystem::path &htmlPath)
{
    if (htmlPath.empty())
        throw ConversionError("", "no file name given");
    std::filesystem::path textPath = textPathFor(htmlPath);
    convertHtmlFile(htmlPath, textPath);
    return textPath;
}

} // namespace quillan
