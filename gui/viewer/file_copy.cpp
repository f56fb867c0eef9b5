#include "gui/viewer/file_copy.h"

#include "base/fd_io.h"
#include "base/replace_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace quillan {

using base::FileReplacement;
using base::ReadFull;
using base::UniqueFd;
using base::WriteAll;

CopyError::CopyError(std::string path, std::string reason)
    : std::runtime_error(path + ": " + reason), path_(std::move(path)), reason_(std::move(reason))
{}

namespace {

std::string errnoText(int err)
{
    return std::error_code(err, std::generic_category()).message();
}

[[noreturn]] void fail(const std::filesystem::path &path, int err)
{
    throw CopyError(path.string(), errnoText(err));
}

} // namespace

CopyOutcome copyFileIntoPlace(const std::filesystem::path &source, const std::filesystem::path &target)
{
    if (target.empty())
        throw CopyError(target.string(), "no file name given");

    UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        fail(source, errno);
    struct stat sourceStat {};
    if (::fstat(in.get(), &sourceStat) != 0)
        fail(source, errno);
    if (S_ISDIR(sourceStat.st_mode))
        fail(source, EISDIR);

    struct stat targetStat {};
    if (::stat(target.c_str(), &targetStat) == 0) {
        if (targetStat.st_dev == sourceStat.st_dev && targetStat.st_ino == sourceStat.st_ino)
            return CopyOutcome::SameFile;
        if (S_ISDIR(targetStat.st_mode))
            fail(target, EISDIR);
    }

    FileReplacement out;
    if (const int err = out.open(target); err != 0)
        fail(target, err);
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const ssize_t n = ReadFull(in.get(), buffer.data(), buffer.size());
        if (n < 0)
            fail(source, static_cast<int>(-n));
        if (const int err = WriteAll(out.fd(), buffer.data(), static_cast<size_t>(n)); err != 0)
            fail(target, err);
        if (static_cast<size_t>(n) < buffer.size())
            break;
    }
    if (const int err = out.commit(); err != 0)
        fail(target, err);
    return CopyOutcome::Copied;
}

} // namespace quillan
