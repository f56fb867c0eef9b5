#pragma once
// Checking a failure the converter reports, for the tests of both its
// modes.
#include "convert/converter.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace testsupport {

// Expects run() to throw a ConversionError naming `path`, with a reason
// (`reason` itself when one is given) and the path in its message.
template <typename F>
void expectConversionFailure(F &&run, const std::string &path, const std::string &reason = {})
{
    try {
        std::forward<F>(run)();
        ADD_FAILURE() << "no failure reported for " << path;
    } catch (const quillan::convert::ConversionError &e) {
        EXPECT_EQ(e.path(), path);
        EXPECT_FALSE(e.reason().empty());
        if (!reason.empty()) {
            EXPECT_EQ(e.reason(), reason);
        }
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
}

} // namespace testsupport
