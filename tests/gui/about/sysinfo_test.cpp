// The System Information launcher on every registry case, each test in its
// own registry. "Started" is proven by a small program that leaves a mark.
#include "gui/about/SysInfo.h"
#include "support/environment.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace platform;
using testsupport::readFile;
using testsupport::waitForFile;
using testsupport::writeMarkProgram;

namespace {

const std::string Location1 = SysInfo::ToolKey;
const std::string Location2 = SysInfo::FolderKey;

void setValue(const std::string &key, const char *name, DWORD type, const std::string &bytes)
{
    RegKey k;
    ASSERT_EQ(k.create(HKEY_LOCAL_MACHINE, key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(k.get(), name, 0, type, reinterpret_cast<const BYTE *>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

void setText(const std::string &key, const char *name, const std::string &text)
{
    setValue(key, name, REG_SZ, text + '\0');
}

std::string hklm()
{
    std::string text;
    RegExportText(HKEY_LOCAL_MACHINE, "", text);
    return text;
}

struct Shown {
    int count = 0;
    std::string message;
    std::string reason;
};

SysInfo::Outcome startSysInfo(Shown &shown)
{
    return SysInfo::StartSysInfo([&shown](const std::string &message, const std::string &reason) {
        ++shown.count;
        shown.message = message;
        shown.reason = reason;
    });
}

class LauncherTest : public ::testing::Test {
protected:
    std::filesystem::path markOf(const std::string &name) const { return dir_ / (name + ".mark"); }
    // A program that leaves the mark `name`.mark when started.
    std::string tool(const std::string &name) const { return writeMarkProgram(dir_ / name, markOf(name)).string(); }
    bool noMarks() const
    {
        for (const auto &entry : std::filesystem::directory_iterator(dir_.path()))
            if (entry.path().extension() == ".mark")
                return false;
        return true;
    }
    void expectUnavailable(const Shown &shown, const SysInfo::Outcome &outcome)
    {
        EXPECT_FALSE(outcome.started);
        EXPECT_EQ(shown.count, 1);
        EXPECT_EQ(shown.message, "System Information Is Unavailable At This Time");
        EXPECT_TRUE(noMarks());
    }

    testsupport::RegistrySandbox registry_;
    testsupport::TempDir dir_;
};

} // namespace

TEST_F(LauncherTest, StringsReadWithOrWithoutTheirZeroUpTo1024Bytes)
{
    setValue(Location1, "zero", REG_SZ, std::string("/bin/tool") + '\0');
    setValue(Location1, "bare", REG_SZ, "/bin/tool");
    setValue(Location1, "full", REG_SZ, std::string(1023, 'a') + '\0');
    setValue(Location1, "fullBare", REG_SZ, std::string(1024, 'b'));
    setValue(Location1, "over", REG_SZ, std::string(1024, 'c') + '\0');
    setValue(Location1, "empty", REG_SZ, "");

    std::string value = "left over";
    EXPECT_EQ(SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, Location1, "zero", value), VARIANT_TRUE);
    EXPECT_EQ(value, "/bin/tool");
    value = "left over";
    EXPECT_EQ(SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, Location1, "bare", value), VARIANT_TRUE);
    EXPECT_EQ(value, "/bin/tool");
    EXPECT_EQ(SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, Location1, "full", value), VARIANT_TRUE);
    EXPECT_EQ(value, std::string(1023, 'a'));
    EXPECT_EQ(SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, Location1, "fullBare", value), VARIANT_TRUE);
    EXPECT_EQ(value, std::string(1024, 'b'));

    // Not read: one byte too many, no data, no such value, no such key.
    for (const char *name : {"over", "empty", "missing"}) {
        value = "left over";
        EXPECT_EQ(SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, Location1, name, value), VARIANT_FALSE) << name;
        EXPECT_EQ(value, "") << name;
    }
    value = "left over";
    EXPECT_EQ(SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nowhere", "PATH", value), VARIANT_FALSE);
    EXPECT_EQ(value, "");
}

TEST_F(LauncherTest, DwordsAsHexadecimalAndOtherTypesLeaveTheText)
{
    ASSERT_EQ(RegWriteDword(HKEY_LOCAL_MACHINE, Location1, "number", 0x12345678), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteDword(HKEY_LOCAL_MACHINE, Location1, "small", 0x0001002A), ERROR_SUCCESS);
    setValue(Location1, "binary", REG_BINARY, "\x01\x02");

    std::string value;
    EXPECT_EQ(SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, Location1, "number", value), VARIANT_TRUE);
    EXPECT_EQ(value, "&h12345678");
    // The last byte is zero and dropped; the digits still give the number.
    EXPECT_EQ(SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, Location1, "small", value), VARIANT_TRUE);
    EXPECT_EQ(value, "&h01002A");
    value = "as it came";
    EXPECT_EQ(SysInfo::GetKeyValue(HKEY_LOCAL_MACHINE, Location1, "binary", value), VARIANT_TRUE);
    EXPECT_EQ(value, "as it came");
}

TEST_F(LauncherTest, Location1IsStartedAndLocation2NotUsed)
{
    const std::string first = tool("first");
    std::filesystem::create_directory(dir_ / "second");
    writeMarkProgram(dir_ / "second" / "MSINFO32.EXE", markOf("second"));
    setText(Location1, "PATH", first);
    setText(Location2, "MSINFO", (dir_ / "second").string());
    const std::string before = hklm();

    Shown shown;
    const SysInfo::Outcome outcome = startSysInfo(shown);
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.command, std::vector<std::string>{first});
    EXPECT_EQ(shown.count, 0);
    ASSERT_TRUE(waitForFile(markOf("first")));
    EXPECT_FALSE(std::filesystem::exists(markOf("second")));
    EXPECT_EQ(hklm(), before); // the launcher writes nothing

    // Without location 1 the same location 2 does start its tool.
    ASSERT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, Location1.c_str()), ERROR_SUCCESS);
    const SysInfo::Outcome fallback = startSysInfo(shown);
    EXPECT_TRUE(fallback.started);
    EXPECT_EQ(fallback.command, std::vector<std::string>{(dir_ / "second" / "MSINFO32.EXE").string()});
    EXPECT_TRUE(waitForFile(markOf("second")));
    EXPECT_EQ(shown.count, 0);
}

TEST_F(LauncherTest, Location2FolderWithoutTheToolGivesTheMessage)
{
    std::filesystem::create_directory(dir_ / "folder");
    std::filesystem::create_directory(dir_ / "folder" / "MSINFO32.EXE"); // a folder is not the file
    setText(Location2, "MSINFO", (dir_ / "folder").string());

    Shown shown;
    const SysInfo::Outcome outcome = startSysInfo(shown);
    expectUnavailable(shown, outcome);
    // Found missing before any start was tried.
    EXPECT_EQ(shown.reason, "There is no file " + (dir_ / "folder" / "MSINFO32.EXE").string() + ".");
}

TEST_F(LauncherTest, NothingFoundOrUnusableGivesTheMessage)
{
    Shown shown;
    expectUnavailable(shown, startSysInfo(shown)); // neither location
    EXPECT_EQ(shown.reason, "");

    // A value with no data counts as not found, at either location.
    setValue(Location1, "PATH", REG_SZ, "");
    setValue(Location2, "MSINFO", REG_SZ, "");
    shown = {};
    expectUnavailable(shown, startSysInfo(shown));

    // A number where the path should be is found, but starts nothing.
    ASSERT_EQ(RegWriteDword(HKEY_LOCAL_MACHINE, Location1, "PATH", 7), ERROR_SUCCESS);
    shown = {};
    expectUnavailable(shown, startSysInfo(shown));

    // So is an open quote.
    setText(Location1, "PATH", "\"" + tool("quoted"));
    shown = {};
    expectUnavailable(shown, startSysInfo(shown));
}

TEST_F(LauncherTest, AValueTooLongToReadIsGivenAsTheReason)
{
    const std::string tooLong(1024, 'x'); // with its zero, one byte more than is read
    setText(Location1, "PATH", tooLong);
    Shown shown;
    expectUnavailable(shown, startSysInfo(shown));
    const std::string first = "The registry value PATH of HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared "
                              "Tools\\MSINFO holds 1025 bytes, more than the 1024 that can be read.";
    EXPECT_EQ(shown.reason, first);

    // Both locations, each named.
    setValue(Location2, "MSINFO", REG_SZ, std::string(3000, 'y'));
    shown = {};
    expectUnavailable(shown, startSysInfo(shown));
    EXPECT_EQ(shown.reason, first + "\nThe registry value MSINFO of HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared "
                                    "Tools Location holds 3000 bytes, more than the 1024 that can be read.");
}

TEST_F(LauncherTest, EmptyLocation1FallsBackToLocation2)
{
    std::filesystem::create_directory(dir_ / "folder");
    writeMarkProgram(dir_ / "folder" / "MSINFO32.EXE", markOf("folder"));
    setValue(Location1, "PATH", REG_SZ, "");
    setText(Location2, "MSINFO", (dir_ / "folder").string());

    Shown shown;
    EXPECT_TRUE(startSysInfo(shown).started);
    EXPECT_TRUE(waitForFile(markOf("folder")));
    EXPECT_EQ(shown.count, 0);
}

TEST_F(LauncherTest, APathThatCannotBeStartedGivesTheMessageWithTheReason)
{
    const auto notExecutable = testsupport::writeFile(dir_ / "notexec", "#!/bin/sh\ntouch never\n");
    for (const std::string &path : {notExecutable.string(), (dir_ / "gone").string()}) {
        setText(Location1, "PATH", path);
        Shown shown;
        const SysInfo::Outcome outcome = startSysInfo(shown);
        expectUnavailable(shown, outcome);
        EXPECT_EQ(shown.reason.rfind(path + ": ", 0), 0u) << shown.reason;
    }
}

TEST_F(LauncherTest, QuotedPathsWithArgumentsAndPathsWithBlanks)
{
    std::filesystem::create_directory(dir_ / "my tools");
    const std::string quoted = writeMarkProgram(dir_ / "my tools" / "info", markOf("quoted")).string();
    setText(Location1, "PATH", "\"" + quoted + "\" --report 'two words'");
    Shown shown;
    EXPECT_TRUE(startSysInfo(shown).started);
    ASSERT_TRUE(waitForFile(markOf("quoted")));
    EXPECT_NE(readFile(markOf("quoted")).find("arg=--report\narg=two words\nppid"), std::string::npos);

    // An unquoted path with blanks that names a file is that file.
    const std::string blank = writeMarkProgram(dir_ / "my tools" / "plain info", markOf("blank")).string();
    setText(Location1, "PATH", blank);
    EXPECT_TRUE(startSysInfo(shown).started);
    ASSERT_TRUE(waitForFile(markOf("blank")));
    EXPECT_NE(readFile(markOf("blank")).find("program=" + blank + "\nppid"), std::string::npos);
    EXPECT_EQ(shown.count, 0);
}

// sysinfo-record, run by `make run`: records the given program under
// location 1 unless the value there still starts a program.
TEST_F(LauncherTest, RecordWritesOnlyAMissingOrStaleValue)
{
    const std::string program = tool("info");
    auto record = [](const std::string &path) { return testsupport::runProgram({SYSINFO_RECORD, path}); };
    auto location1 = []() { return RegReadString(HKEY_LOCAL_MACHINE, Location1, "PATH").value_or("<none>"); };

    EXPECT_EQ(record(program).status, 0); // missing
    EXPECT_EQ(location1(), program);

    const std::string other = tool("other");
    EXPECT_EQ(record(other).status, 0); // works: kept
    EXPECT_EQ(location1(), program);
    setText(Location1, "PATH", "\"" + program + "\" --flag");
    EXPECT_EQ(record(other).status, 0);
    EXPECT_EQ(location1(), "\"" + program + "\" --flag");

    setText(Location1, "PATH", (dir_ / "removed").string()); // stale: replaced
    EXPECT_EQ(record(other).status, 0);
    EXPECT_EQ(location1(), other);

    // Nothing usable to record: the stale value stays, and the run fails.
    setText(Location1, "PATH", (dir_ / "removed").string());
    for (const std::string &bad : {std::string("info"), (dir_ / "absent").string(), std::string()}) {
        const auto result = record(bad);
        EXPECT_EQ(result.status, 1) << bad;
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_EQ(location1(), (dir_ / "removed").string());
}
