#pragma once
// The meeting point of quillan-convert and its network program,
// quillan-convert-net: that program holds everything that needs Qt (the
// runner of addresses and batches, the conversion jobs), so quillan-convert
// itself links nothing but the C library (statically where the build can)
// and starts quickly on the file road. For a command line that needs the
// runner (needsRunner in convert_files.h) quillan-convert replaces itself,
// with exec, by the network program from its own folder, handing over the
// command line unchanged; the network program reads it again itself.

namespace quillan::cli {

// The network program's file name, beside quillan-convert.
inline constexpr const char *NetProgramFile = "quillan-convert-net";

} // namespace quillan::cli
