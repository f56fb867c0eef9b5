#pragma once
// Runs the built quillan-convert, for the tests of the tool in both its
// modes. The including target defines QUILLAN_CONVERT as the tool's path.
#include "support/files.h"
#include "support/process.h"

#include <algorithm>
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

// Standard error without the lines of the articles' accounts (--verbose),
// which are indented under each page's line.
inline std::string withoutAccounts(const std::string &err)
{
    std::string kept;
    for (std::size_t at = 0, end; at < err.size(); at = end + 1) {
        end = std::min(err.find('\n', at), err.size());
        if (err.compare(at, 2, "  ") != 0)
            kept += err.substr(at, end + 1 - at);
    }
    return kept;
}

} // namespace testsupport
