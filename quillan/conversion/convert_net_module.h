#pragma once
// The meeting point of quillan-convert and its network module,
// quillan-convert-net.so: the module holds everything that needs Qt (the
// runner of addresses and batches, the conversion jobs), so the program
// itself links no Qt and starts quickly on the file road; it loads the
// module, from its own folder, only for a command line that needs the
// runner (needsRunner in convert_files.h).
//
// Nothing but C types cross: the module has a C++ runtime of its own (the
// program may carry its own linked in), so the entry point is given the
// command line and reads it again itself, and no exception leaves it.

namespace quillan::cli {

// The module's file name, beside the program.
inline constexpr const char *NetModuleFile = "quillan-convert-net.so";
// The entry point's symbol name.
inline constexpr const char *NetModuleEntry = "quillan_convert_net_main";

// The entry point: runs the command line argv (already known to be a valid
// one that needs the runner) and returns the program's exit status.
using NetModuleMain = int (*)(int argc, char **argv);

} // namespace quillan::cli
