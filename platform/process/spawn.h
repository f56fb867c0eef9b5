// Starting a program detached from this process, without a shell.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Starts the program argv[0] with the arguments argv[1..], and returns
// without waiting for it. argv[0] containing a '/' is used as a path; a bare
// name is looked up in PATH, as a shell would.
//
// The program runs in a session of its own and is not a child of this
// process (an intermediate process starts it and ends at once), so it
// outlives this process and never has to be waited for. It gets this
// process's environment, standard output and error, /dev/null as standard
// input, default signal handling, an empty signal mask and no other open
// file descriptors.
//
// Returns 0 once the program has been executed, else the reason as an errno
// value: ENOENT for an empty argv or a program that is not there, EINVAL
// for a word holding a zero byte, and whatever executing it failed with
// (EACCES, ENOEXEC, ...).
int StartDetached(const std::vector<std::string> &argv);

} // namespace platform
