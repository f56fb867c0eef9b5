// The process's limit on open files: raising it as far as it may go, and
// counting the descriptors open now, so that a program starting many
// transfers at once can size them to what it may open.
#pragma once

#include <cstdint>

namespace base {

// Raises the soft limit on open files (RLIMIT_NOFILE) to the hard one (or,
// for an unlimited hard limit, to the most the system allows) and returns
// the soft limit in force afterwards; 0 when it cannot be read.
std::uint64_t RaiseOpenFileLimit();

// The descriptors this process has open at the moment (those listed in
// /proc/self/fd, less the one reading it); 0 when that cannot be read.
std::uint64_t CountOpenFds();

} // namespace base
