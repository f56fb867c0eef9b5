#include "base/fd_limit.h"

#include <dirent.h>
#include <sys/resource.h>

#include <cstdio>

namespace base {

namespace {

// The most files a process may ever have open (fs.nr_open); 0 if unknown.
std::uint64_t systemMaximum()
{
    std::FILE *file = std::fopen("/proc/sys/fs/nr_open", "re");
    if (!file)
        return 0;
    unsigned long long value = 0;
    const bool read = std::fscanf(file, "%llu", &value) == 1;
    std::fclose(file);
    return read ? value : 0;
}

} // namespace

std::uint64_t RaiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        if (raised.rlim_max == RLIM_INFINITY) {
            if (const std::uint64_t most = systemMaximum(); most > 0)
                raised.rlim_cur = rlim_t(most);
        } else {
            raised.rlim_cur = raised.rlim_max;
        }
        if (raised.rlim_cur > limit.rlim_cur && ::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : std::uint64_t(limit.rlim_cur);
}

std::uint64_t CountOpenFds()
{
    DIR *folder = ::opendir("/proc/self/fd");
    if (!folder)
        return 0;
    std::uint64_t count = 0;
    while (const dirent *entry = ::readdir(folder))
        if (entry->d_name[0] != '.')
            ++count;
    ::closedir(folder);
    return count > 0 ? count - 1 : 0; // the folder's own descriptor
}

} // namespace base
