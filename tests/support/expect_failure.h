#pragma once
// Expecting a failure that names a file: the converters' errors carry the
// path and a reason, and say both in what().
#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// Runs `run` and expects it to throw an Error whose path() is `path`, whose
// reason() is not empty (and is `reason` when one is given) and whose what()
// names the path.
template <typename Error, typename F>
void expectFailureNaming(F &&run, const std::string &path, const std::string &reason = {})
{
    try {
        run();
        ADD_FAILURE() << "no failure reported for " << path;
    } catch (const Error &e) {
        EXPECT_EQ(e.path(), path);
        EXPECT_FALSE(e.reason().empty());
        if (!reason.empty()) {
            EXPECT_EQ(e.reason(), reason);
        }
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
}

} // namespace testsupport
