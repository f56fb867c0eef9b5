#pragma once
// Runs the built quillan-convert, for the tests of the tool in both its
// modes. The including target defines QUILLAN_CONVERT as the tool's path.
#include "support/files.h"
#include "support/process.h"

#include <string>
#include <vector>

namespace testsupport {

// Runs the built quillan-convert with `args` in `dir`, feeding `input` on
// standard input.
inline ProcessResult runConvertTool(const TempDir &dir, std::vector<std::string> args, const std::string &input = {})
{
    args.insert(args.begin(), QUILLAN_CONVERT);
    return runProgram(args, {.input = input, .workDir = dir.path()});
}

} // namespace testsupport
