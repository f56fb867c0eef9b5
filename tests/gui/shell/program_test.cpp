// The built program, started as a user starts it (without a display here):
// it shows the loading window, then the splash, and keeps running; and it
// tells its version the same way as quillan-convert.

#include "quillan_version.h"
#include "support/process.h"
#include "support/startup_probe.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

using namespace testsupport;

TEST(Program, ShowsTheLoadingWindowThenTheSplashAndKeepsRunning)
{
    const StartupProbe probe = probeStartup({QUILLAN_PROGRAM}, "frmSplash", 60000);
    ASSERT_TRUE(probe.started);
    ASSERT_TRUE(probe.shown) << "exited early: " << probe.exitedEarly << ", status " << probe.status << "\n"
                             << probe.err;
    ASSERT_GE(probe.windows.size(), 2u);
    EXPECT_EQ(probe.windows.front().window, "frmOpen");
    EXPECT_EQ(probe.windows.back().window, "frmSplash");
    // Still running when the probe ended it.
    EXPECT_EQ(probe.status, 128 + SIGTERM) << probe.err;
}

TEST(Program, ConverterTellsTheProjectVersion)
{
    const ProcessResult result = runProgram({QUILLAN_CONVERT, "--version"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, std::string("quillan-convert ") + quillan::version::Text + "\n");
}

} // namespace
