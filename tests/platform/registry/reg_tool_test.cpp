// The `reg` tool end to end: add, query, export, delete, import, and its
// exit status and messages.
#include "registry_fixture.h"

#include "support/process.h"

using namespace platform;
using testsupport::ProcessResult;

namespace {

// Runs the tool with the test's registry folder, feeding `input` on stdin.
ProcessResult reg(std::vector<std::string> args, const std::string &input = {})
{
    args.insert(args.begin(), REG_TOOL);
    return testsupport::runProgram(args, {.input = input, .workDir = {}});
}

} // namespace

TEST_F(RegistryTest, RegToolAddQueryDelete)
{
    ProcessResult r =
        reg({"add", "HKLM\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "/v", "PATH", "/d", "/opt/msinfo32"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH"), "/opt/msinfo32");

    ASSERT_EQ(reg({"add", "HKEY_CLASSES_ROOT\\Thing", "/ve", "/d", "default text"}).status, 0);
    ASSERT_EQ(reg({"add", "hkcr\\Thing", "/v", "Count", "/t", "REG_DWORD", "/d", "0x10"}).status, 0);
    ASSERT_EQ(reg({"add", "HKCR\\Thing", "/v", "Blob", "/t", "REG_BINARY", "/d", "00ff7f"}).status, 0);
    ASSERT_EQ(reg({"add", "HKCR\\Thing\\Child"}).status, 0);
    EXPECT_EQ(RegReadDword(HKEY_LOCAL_MACHINE, "Software\\Classes\\Thing", "Count"), 16u);
    RegValue blob;
    ASSERT_EQ(RegGetValue(HKEY_CLASSES_ROOT, "Thing", "Blob", blob), ERROR_SUCCESS);
    EXPECT_EQ(blob.data, (std::vector<BYTE>{0x00, 0xFF, 0x7F}));

    r = reg({"query", "HKCR\\Thing"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("HKEY_CLASSES_ROOT\\Thing\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    (Default)    REG_SZ    default text\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    Count    REG_DWORD    0x10\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    Blob    REG_BINARY    00FF7F\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("HKEY_CLASSES_ROOT\\Thing\\Child\n"), std::string::npos) << r.out;

    r = reg({"query", "HKCR\\Thing", "/v", "count"});
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Count    REG_DWORD    0x10"), std::string::npos);
    EXPECT_EQ(r.out.find("Blob"), std::string::npos);

    // An existing value is overwritten only with /f or a "yes".
    r = reg({"add", "HKCR\\Thing", "/v", "Count", "/t", "REG_DWORD", "/d", "1"}, "no\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(RegReadDword(HKEY_CLASSES_ROOT, "Thing", "Count"), 16u);
    EXPECT_EQ(reg({"add", "HKCR\\Thing", "/v", "Count", "/t", "REG_DWORD", "/d", "1", "/f"}).status, 0);
    EXPECT_EQ(RegReadDword(HKEY_CLASSES_ROOT, "Thing", "Count"), 1u);

    EXPECT_EQ(reg({"delete", "HKCR\\Thing", "/v", "Blob", "/f"}).status, 0);
    EXPECT_EQ(RegGetValue(HKEY_CLASSES_ROOT, "Thing", "Blob", blob), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg({"delete", "HKCR\\Thing"}, "n\n").status, 1);
    EXPECT_EQ(RegSubKeyNames(HKEY_CLASSES_ROOT, "").size(), 1u);
    EXPECT_EQ(reg({"delete", "HKCR\\Thing"}, "yes\n").status, 0);
    EXPECT_TRUE(RegSubKeyNames(HKEY_CLASSES_ROOT, "").empty());
}

TEST_F(RegistryTest, RegToolFailuresExitOneWithAMessage)
{
    ProcessResult r = reg({"query", "HKLM\\Software\\Missing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR:"), std::string::npos);
    EXPECT_TRUE(r.out.empty());

    for (const std::vector<std::string> &args :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"query", "HKXX\\Software"},
                                               {"add", "HKCU\\A", "/t", "REG_DWORD", "/d", "12abc"},
                                               {"add", "HKCU\\A", "/t", "REG_WHATEVER"},
                                               {"add", "HKCU\\A", "/v"},
                                               {"import", (registry_ / "absent.reg").string()},
                                               {"delete", "HKCU\\Nothing", "/f"}}) {
        r = reg(args);
        EXPECT_EQ(r.status, 1) << (args.empty() ? std::string("(none)") : args[0]);
        EXPECT_FALSE(r.err.empty());
    }

    writeFile(hiveFile("HKCU.reg"), "not a hive\n");
    r = reg({"add", "HKCU\\A", "/v", "x", "/d", "y", "/f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("damaged"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(hiveFile("HKCU.reg")), "not a hive\n");
}

TEST_F(RegistryTest, RegToolExportAndImport)
{
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Export\\Sub", "name", "value"), ERROR_SUCCESS);
    const std::vector<BYTE> odd = {'a', 0, 0xFF};
    RegKey k;
    ASSERT_EQ(k.create(HKEY_CURRENT_USER, "Export"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(k.get(), "odd", 0, REG_SZ, odd.data(), 3), ERROR_SUCCESS);
    k.reset();

    const std::string file = (registry_ / "out.reg").string();
    ProcessResult r = reg({"export", "HKCU\\Export", file});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string text = readFile(file);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Export\\Sub]\n\"name\"=\"value\"\n"), std::string::npos) << text;

    // An existing file is kept unless the user agrees.
    EXPECT_EQ(reg({"export", "HKCU\\Export", file}, "no\n").status, 1);
    EXPECT_EQ(reg({"export", "HKCU\\Export", file, "/y"}).status, 0);

    ASSERT_EQ(reg({"delete", "HKCU\\Export", "/f"}).status, 0);
    EXPECT_TRUE(RegSubKeyNames(HKEY_CURRENT_USER, "").empty());
    r = reg({"import", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Export\\Sub", "name"), "value");
    RegValue v;
    ASSERT_EQ(RegGetValue(HKEY_CURRENT_USER, "Export", "odd", v), ERROR_SUCCESS);
    EXPECT_EQ(v.data, odd);
    EXPECT_EQ(v.type, REG_SZ);
}

TEST_F(RegistryTest, RegToolRefusesTooDeepKeysAndExportsOntoTheHive)
{
    std::string deep = "HKCU";
    for (int i = 1; i <= 513; ++i)
        deep += "\\L" + std::to_string(i);
    ProcessResult r = reg({"add", deep, "/v", "x", "/d", "y", "/f"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("more than 512 levels"), std::string::npos) << r.err;
    EXPECT_TRUE(RegSubKeyNames(HKEY_CURRENT_USER, "").empty());
    r = reg({"add", deep.substr(0, deep.rfind('\\')), "/v", "x", "/d", "y", "/f"});
    EXPECT_EQ(r.status, 0) << r.err;

    // reg export KEY <the hive itself> /y would have left only that key.
    const std::string hive = readFile(hiveFile("HKCU.reg"));
    r = reg({"export", "HKCU\\L1\\L2", hiveFile("HKCU.reg").string(), "/y"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("file of the registry"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(hiveFile("HKCU.reg")), hive);
}
