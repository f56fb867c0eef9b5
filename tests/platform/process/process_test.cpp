// Command lines split as the shell splits them, and programs started
// detached: proven by a small program that leaves a mark.
#include "platform/process/command_line.h"
#include "platform/process/spawn.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using platform::SplitCommandLine;
using platform::StartDetached;
using Words = std::vector<std::string>;

TEST(SplitCommandLine, SplitsAsTheShellDoes)
{
    // Each line checked against what `sh -c 'printf "<%s>" LINE'` prints.
    const struct {
        const char *line;
        Words words;
    } cases[] = {
        {"/usr/bin/hardinfo", {"/usr/bin/hardinfo"}},
        {"  prog \t a\n b  ", {"prog", "a", "b"}},
        {"\"/opt/my tools/info\" -r --x=1", {"/opt/my tools/info", "-r", "--x=1"}},
        {"'/opt/it'\\''s/info' 'a  b'", {"/opt/it's/info", "a  b"}},
        {"\"a\\\"b\\\\c\\$d\\e\"", {"a\"b\\c$d\\e"}},
        {"a\\ b c\\\\d \\'e", {"a b", "c\\d", "'e"}},
        {"a\"b c\"d '' \"\"", {"ab cd", "", ""}},
        {"x\\\ny \"p\\\nq\"", {"xy", "pq"}},
        {"$HOME ~ *.txt a;b|c #d", {"$HOME", "~", "*.txt", "a;b|c", "#d"}},
        {"", {}},
        {"   ", {}},
    };
    for (const auto &c : cases) {
        const auto words = SplitCommandLine(c.line);
        ASSERT_TRUE(words.has_value()) << c.line;
        EXPECT_EQ(*words, c.words) << c.line;
    }
}

TEST(SplitCommandLine, RefusesOpenQuotesAndATrailingBackslash)
{
    for (const char *line : {"\"/opt/info", "'abc", "a \"b\\\"", "prog \\"})
        EXPECT_FALSE(SplitCommandLine(line).has_value()) << line;
}

class StartDetachedTest : public ::testing::Test {
protected:
    testsupport::TempDir dir_;
};

TEST_F(StartDetachedTest, StartsTheProgramDetachedWithItsArguments)
{
    const auto mark = dir_ / "mark";
    const auto program = testsupport::writeMarkProgram(dir_ / "tool with blank", mark);

    // A descriptor left open without close-on-exec must not reach it.
    const int leaked = ::open(program.c_str(), O_RDONLY);
    ASSERT_GE(leaked, 0);
    const int high = ::dup2(leaked, 47);
    ::close(leaked);
    ASSERT_EQ(high, 47);

    const int rc = StartDetached({program.string(), "--flag", "two words", ""});
    ::close(high);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(testsupport::waitForFile(mark));

    const std::string text = testsupport::readFile(mark);
    EXPECT_NE(text.find("program=" + program.string() + "\narg=--flag\narg=two words\narg=\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("ppid=" + std::to_string(::getpid()) + "\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("sid=" + std::to_string(::getsid(0)) + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("stdin=/dev/null\n"), std::string::npos) << text;
    const auto fds = text.substr(text.find("fds="));
    EXPECT_EQ(fds.find(" 47 "), std::string::npos) << text;
}

TEST_F(StartDetachedTest, BareNamesAreLookedUpInPath)
{
    const auto mark = dir_ / "mark";
    testsupport::writeMarkProgram(dir_ / "quillan-mark-tool", mark);
    const std::string oldPath = ::getenv("PATH") ? ::getenv("PATH") : "";
    ::setenv("PATH", (dir_.path().string() + ":" + oldPath).c_str(), 1);
    const int rc = StartDetached({"quillan-mark-tool"});
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(testsupport::waitForFile(mark));
}

TEST_F(StartDetachedTest, ReportsWhyNothingStarted)
{
    const auto plain = testsupport::writeFile(dir_ / "plain", "#!/bin/sh\nexit 0\n"); // not executable
    const auto noInterpreter = testsupport::writeFile(dir_ / "text", "just words\n");
    std::filesystem::permissions(noInterpreter, std::filesystem::perms::owner_all);

    EXPECT_EQ(StartDetached({}), ENOENT);
    EXPECT_EQ(StartDetached({""}), ENOENT);
    EXPECT_EQ(StartDetached({(dir_ / "missing").string()}), ENOENT);
    EXPECT_EQ(StartDetached({"quillan-no-such-program-anywhere"}), ENOENT);
    EXPECT_EQ(StartDetached({plain.string()}), EACCES);
    EXPECT_EQ(StartDetached({dir_.path().string()}), EACCES);
    EXPECT_EQ(StartDetached({noInterpreter.string()}), ENOEXEC);
    EXPECT_EQ(StartDetached({std::string("/bin/true\0x", 11)}), EINVAL);
}
