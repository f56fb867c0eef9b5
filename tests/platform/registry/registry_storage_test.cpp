// The hive files: REGEDIT4 import/export, concurrent writers in separate
// processes, damaged hives, and changes made by other processes.
#include "registry_fixture.h"
#include "support/environment.h"
#include "support/process.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <set>

using namespace platform;

namespace {

// Every value of every key below (root, sub), in a comparable form.
void collect(HKEY root, const std::string &sub, std::vector<std::string> &out)
{
    for (const RegValue &v : RegValues(root, sub))
        out.push_back(sub + "|" + v.name + "|" + std::to_string(v.type) + "|" +
                      std::string(v.data.begin(), v.data.end()));
    for (const std::string &child : RegSubKeyNames(root, sub)) {
        const std::string path = sub.empty() ? child : sub + "\\" + child;
        out.push_back(path + "/");
        collect(root, path, out);
    }
}

std::vector<std::string> snapshot(HKEY root)
{
    std::vector<std::string> out;
    collect(root, "", out);
    return out;
}

void setRaw(HKEY root, const char *key, const char *name, DWORD type, const std::vector<BYTE> &data)
{
    RegKey k;
    ASSERT_EQ(k.create(root, key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(k.get(), name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
}

} // namespace

TEST_F(RegistryTest, ExportImportRoundTripKeepsOddBytes)
{
    std::vector<BYTE> every(256);
    for (int i = 0; i < 256; ++i)
        every[static_cast<size_t>(i)] = static_cast<BYTE>(i);
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "every byte", REG_BINARY, every);
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "every byte as text", REG_SZ, every);
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "no zero", REG_SZ, bytesOf("plain", false));
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "two zeros", REG_SZ, bytesOf(std::string("a\0b", 3), true));
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "quote \"and\" back\\slash", REG_SZ, bytesOf("say \"hi\" \\ c:\\", true));
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "line break", REG_SZ, bytesOf("one\r\ntwo", true));
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "utf8", REG_SZ, bytesOf("caf\xC3\xA9 \xE2\x82\xAC", true));
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "latin1", REG_SZ, bytesOf("caf\xE9", true));
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "", REG_EXPAND_SZ, bytesOf("%HOME%", true));
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "short dword", REG_DWORD, {1, 2, 3});
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "dword", REG_DWORD, {0xEF, 0xBE, 0xAD, 0xDE});
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "empty sz", REG_SZ, {});
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "empty bin", REG_BINARY, {});
    setRaw(HKEY_CURRENT_USER, "Odd\\Bytes", "big type", 0xFFFFFFFFu, {9});
    setRaw(HKEY_CURRENT_USER, "Odd\\Name]with [brackets", "x", REG_SZ, bytesOf("y", true));
    RegKey empty;
    ASSERT_EQ(empty.create(HKEY_CURRENT_USER, "Odd\\Empty key"), ERROR_SUCCESS);
    const std::vector<std::string> before = snapshot(HKEY_CURRENT_USER);

    const std::filesystem::path exported = registry_ / "export.reg";
    ASSERT_EQ(RegExportFile(HKEY_CURRENT_USER, "Odd", exported), ERROR_SUCCESS);
    const std::string text = readFile(exported);
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    // Plain strings stay readable; those that are not exactly text fall back
    // to the typed hex form.
    EXPECT_NE(text.find("\"quote \\\"and\\\" back\\\\slash\"=\"say \\\"hi\\\" \\\\ c:\\\\\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"no zero\"=hex(1):70,6c,61,69,6e\n"), std::string::npos);
    EXPECT_NE(text.find("\"dword\"=dword:deadbeef\n"), std::string::npos);
    EXPECT_NE(text.find("@=hex(2):"), std::string::npos);

    ASSERT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Odd"), ERROR_SUCCESS);
    ASSERT_TRUE(RegSubKeyNames(HKEY_CURRENT_USER, "").empty());
    ASSERT_EQ(RegImportFile(exported), ERROR_SUCCESS) << RegLastErrorMessage();
    EXPECT_EQ(snapshot(HKEY_CURRENT_USER), before);

    // The hive file itself round-trips as well: a fresh parse (another
    // process's view) holds the same tree.
    std::string again;
    ASSERT_EQ(RegExportText(HKEY_CURRENT_USER, "Odd", again), ERROR_SUCCESS);
    EXPECT_EQ(again, text);
}

TEST_F(RegistryTest, ImportAppliesDeletionsAndRejectsBadTextWhole)
{
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Gone", "", "x"), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Stay", "drop", "x"), ERROR_SUCCESS);
    const std::string good = "REGEDIT4\r\n\r\n"
                             "; a comment\r\n"
                             "[-HKEY_LOCAL_MACHINE\\Software\\Gone]\r\n"
                             "[HKEY_LOCAL_MACHINE\\Software\\Stay]\r\n"
                             "\"drop\"=-\r\n"
                             "\"long\"=hex:01,02,\\\r\n"
                             "  03,04\r\n"
                             "[HKEY_CLASSES_ROOT\\Vanelink.Netvane\\CLSID]\r\n"
                             "@=\"{876FE8FE-D42A-41FB-9020-ECB11B32F145}\"\r\n"
                             "[HKEY_CURRENT_USER\\Mine]\r\n"
                             "\"n\"=dword:2a\r\n";
    ASSERT_EQ(RegImportText(good), ERROR_SUCCESS) << RegLastErrorMessage();
    EXPECT_EQ(RegSubKeyNames(HKEY_LOCAL_MACHINE, "Software"), (std::vector<std::string>{"Classes", "Stay"}));
    const std::vector<RegValue> stay = RegValues(HKEY_LOCAL_MACHINE, "Software\\Stay");
    ASSERT_EQ(stay.size(), 1u);
    EXPECT_EQ(stay[0].data, (std::vector<BYTE>{1, 2, 3, 4}));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "Software\\Classes\\Vanelink.Netvane\\CLSID", ""),
              "{876FE8FE-D42A-41FB-9020-ECB11B32F145}");
    EXPECT_EQ(RegReadDword(HKEY_CURRENT_USER, "Mine", "n"), 42u);

    const std::vector<std::string> before = snapshot(HKEY_LOCAL_MACHINE);
    const std::string bad = "REGEDIT4\n\n"
                            "[HKEY_LOCAL_MACHINE\\Software\\New]\n"
                            "\"a\"=\"fine\"\n"
                            "\"b\"=dword:xyz\n";
    EXPECT_EQ(RegImportText(bad), ERROR_INVALID_PARAMETER);
    EXPECT_NE(RegLastErrorMessage().find("line 5"), std::string::npos) << RegLastErrorMessage();
    EXPECT_EQ(snapshot(HKEY_LOCAL_MACHINE), before);
    EXPECT_EQ(RegImportText("[HKEY_LOCAL_MACHINE\\X]\n"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegImportText("REGEDIT4\n[HKEY_NOWHERE\\X]\n"), ERROR_INVALID_PARAMETER);
    // Roots, also the classes view, cannot be deleted by an import.
    EXPECT_EQ(RegImportText("REGEDIT4\n[-HKEY_CLASSES_ROOT]\n"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegImportText("REGEDIT4\n[-HKEY_CURRENT_USER]\n"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(snapshot(HKEY_LOCAL_MACHINE), before);
}

TEST_F(RegistryTest, HiveFilesAreReadableRegedit4Text)
{
    ASSERT_EQ(
        RegWriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", "/usr/bin/msinfo"),
        ERROR_SUCCESS);
    ASSERT_EQ(RegWriteDword(HKEY_CURRENT_USER, "Prefs", "Size", 12), ERROR_SUCCESS);
    const std::string lm = readFile(hiveFile("HKLM.reg"));
    EXPECT_EQ(lm.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(
        lm.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO]\n\"PATH\"=\"/usr/bin/msinfo\"\n"),
        std::string::npos);
    EXPECT_NE(readFile(hiveFile("HKCU.reg")).find("[HKEY_CURRENT_USER\\Prefs]\n\"Size\"=dword:0000000c\n"),
              std::string::npos);

    // No temporary files are left beside the hives.
    for (const std::string &name : testsupport::fileNames(registry_.path()))
        EXPECT_TRUE(name == "HKLM.reg" || name == "HKCU.reg" || name == "HKLM.reg.wlock" || name == "HKCU.reg.wlock")
            << name;
}

TEST_F(RegistryTest, ChangesByAnotherWriterAreSeen)
{
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Shared", "v", "old"), ERROR_SUCCESS);
    ASSERT_EQ(RegReadString(HKEY_CURRENT_USER, "Shared", "v"), "old");

    // A separate process changes the value ...
    const auto child =
        testsupport::runInChild([] { return std::to_string(RegWriteString(HKEY_CURRENT_USER, "Shared", "v", "new")); });
    ASSERT_TRUE(child.completed);
    ASSERT_EQ(child.output, std::to_string(ERROR_SUCCESS));
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Shared", "v"), "new");

    // ... and a person edits the file in place, keeping its size.
    std::string text = readFile(hiveFile("HKCU.reg"));
    const size_t at = text.find("\"new\"");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 5, "\"NEW\"");
    {
        std::fstream f(hiveFile("HKCU.reg"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(at));
        f << "\"NEW\"";
    }
    // Make sure the modification time moves even on coarse clocks.
    struct timespec times[2] = {{0, UTIME_OMIT}, {1234567890, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, hiveFile("HKCU.reg").c_str(), times, 0), 0);
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Shared", "v"), "NEW");

    // The hive file removed: the registry is empty again.
    std::filesystem::remove(hiveFile("HKCU.reg"));
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, "Shared", "v"));
}

TEST_F(RegistryTest, EightProcessesWritingConcurrentlyLoseNothing)
{
    constexpr int kProcesses = 8;
    // Every write takes the hive's lock and rewrites the file, which the
    // unoptimised sanitizer build does several times slower: there fewer
    // keys each still make the writers meet, within the wait below.
#if defined(__SANITIZE_ADDRESS__)
    constexpr int kKeys = 30;
#elif defined(__has_feature)
    constexpr int kKeys = __has_feature(address_sanitizer) ? 30 : 100;
#else
    constexpr int kKeys = 100;
#endif
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int k = 0; k < kKeys; ++k) {
                const std::string key = "Software\\Load\\P" + std::to_string(p) + "\\K" + std::to_string(k);
                HKEY h = nullptr;
                if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                                   nullptr) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                const DWORD v = static_cast<DWORD>(p * 1000 + k);
                if (RegSetValueEx(h, "v", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), 4) != ERROR_SUCCESS)
                    ++failures;
                RegCloseKey(h);
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    // The deadline stays inside the test's own 120 s.
    for (const pid_t pid : children) {
        EXPECT_EQ(testsupport::waitForExit(pid, std::chrono::seconds(100)), 0);
    }
    for (int p = 0; p < kProcesses; ++p) {
        const std::string parent = "Software\\Load\\P" + std::to_string(p);
        EXPECT_EQ(RegSubKeyNames(HKEY_LOCAL_MACHINE, parent).size(), static_cast<size_t>(kKeys)) << parent;
        for (int k = 0; k < kKeys; ++k)
            ASSERT_EQ(RegReadDword(HKEY_LOCAL_MACHINE, parent + "\\K" + std::to_string(k), "v"),
                      static_cast<DWORD>(p * 1000 + k));
    }
}

TEST_F(RegistryTest, DamagedHiveIsReportedAndLeftUntouched)
{
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Before", "v", "x"), ERROR_SUCCESS);
    const std::string damaged = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Before]\n\"v\"=\"x\"\n\"w\"=hex:zz\n";
    writeFile(hiveFile("HKLM.reg"), damaged);
    struct stat before {};
    ASSERT_EQ(stat(hiveFile("HKLM.reg").c_str(), &before), 0);

    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Before", 0, KEY_READ, &h), ERROR_BADDB);
    const std::string message = RegLastErrorMessage();
    EXPECT_NE(message.find(hiveFile("HKLM.reg").string()), std::string::npos) << message;
    EXPECT_NE(message.find("line 5"), std::string::npos) << message;
    EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, "Anything", ""), std::nullopt);

    // Writes of every kind are refused rather than writing over it.
    EXPECT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\After", "v", "y"), ERROR_BADDB);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "Software"), ERROR_BADDB);
    EXPECT_EQ(RegImportText("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Z]\n"), ERROR_BADDB);
    EXPECT_EQ(RegDeleteValue(HKEY_LOCAL_MACHINE, "x"), ERROR_BADDB);

    EXPECT_EQ(readFile(hiveFile("HKLM.reg")), damaged);
    struct stat after {};
    ASSERT_EQ(stat(hiveFile("HKLM.reg").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    // The other hive is unaffected.
    EXPECT_EQ(RegWriteString(HKEY_CURRENT_USER, "Fine", "v", "z"), ERROR_SUCCESS);

    // Keys of another root, a missing header and an empty file are damage too.
    for (const std::string &text :
         {std::string("REGEDIT4\n[HKEY_CURRENT_USER\\X]\n"), std::string("[HKEY_LOCAL_MACHINE\\X]\n"), std::string()}) {
        writeFile(hiveFile("HKLM.reg"), text);
        EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &h), ERROR_BADDB) << text;
        EXPECT_EQ(RegWriteDword(HKEY_LOCAL_MACHINE, "Y", "v", 1), ERROR_BADDB) << text;
        EXPECT_EQ(readFile(hiveFile("HKLM.reg")), text);
    }
}

TEST_F(RegistryTest, FreshHiveFilesOfDeadWritersNeitherBlockNorStay)
{
    // Left by writers killed mid-write, one of them with this process's id
    // (an earlier process may have had it).
    for (int n = 1; n <= 100; ++n)
        writeFile(hiveFile(("HKLM.reg.new-" + std::to_string(getpid()) + "-" + std::to_string(n)).c_str()), "part");
    writeFile(hiveFile(".HKLM.reg.new-0123456789"), "REGEDIT4\n");
    writeFile(hiveFile("HKLM.reg.lock"), ""); // the lock of older versions
    EXPECT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\After", "v", "x"), ERROR_SUCCESS) << RegLastErrorMessage();
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "Software\\After", "v"), "x");
    EXPECT_EQ(testsupport::fileNames(registry_.path()), (std::set<std::string>{"HKLM.reg", "HKLM.reg.wlock"}));
}

TEST_F(RegistryTest, ExportNeverReplacesAHiveAndNeverLeavesHalfAFile)
{
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Kept", "v", "x"), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Mine", "v", "y"), ERROR_SUCCESS);
    const std::string machine = readFile(hiveFile("HKLM.reg"));
    const std::string user = readFile(hiveFile("HKCU.reg"));

    testsupport::TempDir elsewhere;
    std::filesystem::create_symlink(hiveFile("HKLM.reg"), elsewhere / "link.reg");
    for (const std::filesystem::path &target : {hiveFile("HKLM.reg"), hiveFile("HKCU.reg"), elsewhere / "link.reg",
                                                hiveFile("HKLM.reg.wlock"), hiveFile("HKLM.reg.lock")}) {
        EXPECT_EQ(RegExportFile(HKEY_LOCAL_MACHINE, "Software\\Kept", target), ERROR_ACCESS_DENIED) << target;
        EXPECT_NE(RegLastErrorMessage().find("file of the registry"), std::string::npos) << RegLastErrorMessage();
    }
    EXPECT_EQ(readFile(hiveFile("HKLM.reg")), machine);
    EXPECT_EQ(readFile(hiveFile("HKCU.reg")), user);

    // A failure part way leaves the earlier export as it was.
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Big\\K" + std::to_string(i), "v", std::string(100, 'z')),
                  ERROR_SUCCESS);
    const std::filesystem::path out = elsewhere / "export.reg";
    ASSERT_EQ(RegExportFile(HKEY_CURRENT_USER, "Mine", out), ERROR_SUCCESS);
    const std::string good = readFile(out);
    const testsupport::ChildResult child = testsupport::runInChild([&]() -> std::string {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            4096, 4096
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const LONG status = RegExportFile(HKEY_CURRENT_USER, "Big", out);
        return std::to_string(status) + " " + RegLastErrorMessage();
    });
    ASSERT_TRUE(child.completed);
    EXPECT_EQ(child.output.substr(0, 3), "29 ") << child.output;
    EXPECT_NE(child.output.find("File too large"), std::string::npos) << child.output;
    EXPECT_EQ(readFile(out), good);
    EXPECT_EQ(testsupport::fileNames(elsewhere.path()), (std::set<std::string>{"export.reg", "link.reg"}));
}

TEST_F(RegistryTest, ImportAcrossRootsChecksEveryHiveBeforeApplyingAny)
{
    const std::string damaged = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Broken\n";
    writeFile(hiveFile("HKCU.reg"), damaged);
    const std::string text =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Imported]\n\"v\"=\"x\"\n\n[HKEY_CURRENT_USER\\Imported]\n";
    EXPECT_EQ(RegImportText(text), ERROR_BADDB);
    EXPECT_NE(RegLastErrorMessage().find(hiveFile("HKCU.reg").string()), std::string::npos) << RegLastErrorMessage();
    RegKey key;
    EXPECT_EQ(key.open(HKEY_LOCAL_MACHINE, "Software\\Imported"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(std::filesystem::exists(hiveFile("HKLM.reg")));
    EXPECT_EQ(readFile(hiveFile("HKCU.reg")), damaged);
}

TEST_F(RegistryTest, AWriterHoldingTheLockTooLongMakesOthersFailNotHang)
{
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Before", "v", "x"), ERROR_SUCCESS);
    const std::string before = readFile(hiveFile("HKLM.reg"));
    // A lock taken through a descriptor of its own conflicts with this
    // process's writers as another process's would (a stopped writer).
    const int held = ::open(hiveFile("HKLM.reg.wlock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\During", "v", "x"), ERROR_BUSY);
    EXPECT_NE(RegLastErrorMessage().find("the registry is busy"), std::string::npos) << RegLastErrorMessage();
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "Software\\Before", "v"), "x") << "reading needs no lock";
    EXPECT_EQ(RegWriteString(HKEY_CURRENT_USER, "Other", "v", "x"), ERROR_SUCCESS) << "the other hive is free";
    ::close(held);
    EXPECT_EQ(readFile(hiveFile("HKLM.reg")), before);
    EXPECT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\After", "v", "x"), ERROR_SUCCESS);
}

// ---------------------------------------------------------------------------
// The machine's hive and the user's: where each lives.

namespace {

namespace fs = std::filesystem;
using testsupport::ScopedEnvironment;
using testsupport::TempDir;

// Folders of a machine and of a user, with QUILLAN_REGISTRY_DIR unset.
struct MachineAndUser {
    TempDir machine;
    TempDir data;
    ScopedEnvironment single{"QUILLAN_REGISTRY_DIR", std::nullopt};
    ScopedEnvironment machineDir{"QUILLAN_MACHINE_REGISTRY_DIR", machine.path().string()};
    ScopedEnvironment dataHome{"XDG_DATA_HOME", data.path().string()};
    fs::path userFolder() const { return data / "quillan" / "registry"; }
};

} // namespace

TEST(RegistryFolders, MachineHiveInTheMachineFolderUserHiveInTheUserFolder)
{
    MachineAndUser folders;
    EXPECT_EQ(RegMachineDirectory(), folders.machine.path());
    EXPECT_EQ(RegDirectory(), folders.userFolder());
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Where", "v", "machine"), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(HKEY_CLASSES_ROOT, "Where.Class", "", "class"), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Where", "v", "user"), ERROR_SUCCESS);
    EXPECT_EQ(testsupport::fileNames(folders.machine.path()), (std::set<std::string>{"HKLM.reg", "HKLM.reg.wlock"}));
    EXPECT_EQ(testsupport::fileNames(folders.userFolder()), (std::set<std::string>{"HKCU.reg", "HKCU.reg.wlock"}));
    EXPECT_NE(readFile(folders.machine / "HKLM.reg").find("[HKEY_LOCAL_MACHINE\\Software\\Classes\\Where.Class]"),
              std::string::npos);

    // QUILLAN_REGISTRY_DIR still puts every hive in one folder.
    TempDir single;
    {
        ScopedEnvironment one("QUILLAN_REGISTRY_DIR", single.path().string());
        EXPECT_EQ(RegMachineDirectory(), single.path());
        EXPECT_EQ(RegDirectory(), single.path());
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "Software\\Where", "v"), std::nullopt);
        EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Where", "v"), std::nullopt);
        ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Where", "v", "single"), ERROR_SUCCESS);
        ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Where", "v", "single"), ERROR_SUCCESS);
    }
    EXPECT_TRUE(fs::exists(single / "HKLM.reg") && fs::exists(single / "HKCU.reg"));
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "Software\\Where", "v"), "machine");
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Where", "v"), "user");
}

TEST(RegistryFolders, AProgramRunFromItsBuildTreeNeverUsesTheMachineFolder)
{
    TempDir data;
    ScopedEnvironment single("QUILLAN_REGISTRY_DIR", std::nullopt);
    ScopedEnvironment machine("QUILLAN_MACHINE_REGISTRY_DIR", std::nullopt);
    ScopedEnvironment dataHome("XDG_DATA_HOME", data.path().string());
    EXPECT_EQ(RegMachineDirectory(), data / "quillan" / "registry");
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Dev", "v", "x"), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(data / "quillan" / "registry" / "HKLM.reg"));
}

TEST(RegistryFolders, AUserWhoCannotWriteTheMachineHiveIsDeniedAndNothingChanges)
{
    MachineAndUser folders;
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Fixed", "v", "before"), ERROR_SUCCESS);
    const std::string before = readFile(folders.machine / "HKLM.reg");
    // Readable by all, writable by its owner only; the user's own folder is
    // the user's.
    fs::permissions(folders.machine.path(), fs::perms(0755));
    fs::permissions(folders.data.path(), fs::perms(0777));
    const bool root = ::geteuid() == 0;
    if (!root)
        fs::permissions(folders.machine.path(), fs::perms(0555));

    const testsupport::ChildResult child = testsupport::runInChild([]() -> std::string {
        // Root writes anywhere: the check runs as an ordinary user.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return "could not drop root";
        std::string out;
        out += std::to_string(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Fixed", "v", "after")) + " ";
        out += std::to_string(RegWriteString(HKEY_CLASSES_ROOT, "New.Class", "", "x")) + " ";
        out += std::to_string(RegDeleteTree(HKEY_LOCAL_MACHINE, "Software")) + " ";
        out += std::to_string(RegImportText("REGEDIT4\n\n[HKEY_CURRENT_USER\\Imported]\n\n"
                                            "[HKEY_LOCAL_MACHINE\\Software\\Fixed]\n\"v\"=\"imported\"\n")) +
               " ";
        out += RegReadString(HKEY_LOCAL_MACHINE, "Software\\Fixed", "v").value_or("unreadable") + " ";
        out += std::to_string(RegWriteString(HKEY_CURRENT_USER, "Mine", "v", "x"));
        return out;
    });
    fs::permissions(folders.machine.path(), fs::perms(0755));
    ASSERT_TRUE(child.completed);
    EXPECT_EQ(child.output, "5 5 5 5 before 0");
    EXPECT_EQ(readFile(folders.machine / "HKLM.reg"), before);
    EXPECT_EQ(testsupport::fileNames(folders.machine.path()), (std::set<std::string>{"HKLM.reg", "HKLM.reg.wlock"}));
    EXPECT_EQ(testsupport::fileNames(folders.userFolder()), (std::set<std::string>{"HKCU.reg", "HKCU.reg.wlock"}))
        << "no private copy of the machine's hive";
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Mine", "v"), "x");
    RegKey imported;
    EXPECT_EQ(imported.open(HKEY_CURRENT_USER, "Imported"), ERROR_FILE_NOT_FOUND) << "the import is refused whole";
}

TEST(RegistryFolders, NoReaderCanHoldTheMachineHiveAgainstItsWriter)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: the machine's hive belongs to root, its reader is another user";
    if (testsupport::runProgram({"setpriv", "--version"}).status != 0)
        GTEST_SKIP() << "no setpriv";
    MachineAndUser folders;
    fs::permissions(folders.machine.path(), fs::perms(0755));
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Held", "v", "before"), ERROR_SUCCESS);
    writeFile(folders.machine / "HKLM.reg.lock", ""); // as older versions left it, readable by all
    fs::permissions(folders.machine / "HKLM.reg.lock", fs::perms(0644));
    for (const fs::directory_entry &entry : fs::directory_iterator(folders.machine.path())) {
        if (entry.path().filename() != "HKLM.reg" && entry.path().filename() != "HKLM.reg.lock") {
            EXPECT_EQ(fs::status(entry.path()).permissions() & fs::perms(077), fs::perms::none)
                << entry.path() << " is open to others";
        }
    }

    // An ordinary user opens every file of the hive's folder it can and holds
    // an exclusive flock on each, until its standard input closes.
    TempDir work;
    fs::permissions(work.path(), fs::perms::all);
    const fs::path ready = work / "ready";
    const std::string script = R"(i=3
for f in "$0"/*; do
  if [ -r "$f" ] && eval "exec $i<\"\$f\""; then
    flock -n -x $i && held="$held ${f##*/}"
    i=$((i+1))
  fi
done
echo "held:$held" > "$1.part" && mv "$1.part" "$1"
exec cat >/dev/null
)";
    testsupport::RunningProgram reader({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "sh", "-c",
                                        script, folders.machine.path().string(), ready.string()},
                                       work.path());
    ASSERT_TRUE(reader.started());
    ASSERT_TRUE(testsupport::waitForFile(ready, 20000)) << "the reader never got going";
    const std::string held = readFile(ready);
    EXPECT_EQ(held.find("wlock"), std::string::npos) << held;

    // Root's writes go through at once, and the old lock file goes.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Held", "v", "after"), ERROR_SUCCESS)
        << RegLastErrorMessage() << " (the reader held" << held << ")";
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "Software\\Held"), ERROR_SUCCESS) << RegLastErrorMessage();
    // A writer kept out waits five seconds before it gives up.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_FALSE(fs::exists(folders.machine / "HKLM.reg.lock"));
    reader.closeInput();
    EXPECT_EQ(reader.wait(), 0);
}

TEST(RegistryFolders, AnInstalledProgramKeepsHklmInTheBuiltInMachineFolder)
{
    // The reg tool copied below the install prefix, with that folder and the
    // machine folder on private file systems of a child's own mount
    // namespace: the real ones are never touched.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root for a private mount";
    const fs::path bin = fs::path(INSTALL_PREFIX) / "bin";
    const fs::path machine = MACHINE_REGISTRY_DIR;
    TempDir data;
    const testsupport::ChildResult child = testsupport::runInChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return "skip: no mount namespace";
        fs::path existing = machine;
        while (!fs::exists(existing))
            existing = existing.parent_path();
        if (!fs::is_directory(bin) || ::mount("quillan-bin", bin.c_str(), "tmpfs", 0, nullptr) != 0 ||
            ::mount("quillan-machine", existing.c_str(), "tmpfs", 0, nullptr) != 0)
            return "skip: no private " + bin.string() + " or " + existing.string();
        std::error_code ec;
        fs::copy_file(REG_TOOL, bin / "reg", ec);
        if (ec)
            return "could not install reg: " + ec.message();
        ::unsetenv("QUILLAN_REGISTRY_DIR");
        ::unsetenv("QUILLAN_MACHINE_REGISTRY_DIR");
        ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
        const auto m = testsupport::runProgram({(bin / "reg").string(), "add", "HKLM\\Software\\Installed", "/f"});
        const auto u = testsupport::runProgram({(bin / "reg").string(), "add", "HKCU\\Installed", "/f"});
        return std::to_string(m.status) + std::to_string(u.status) + " " +
               (readFile(machine / "HKLM.reg").find("[HKEY_LOCAL_MACHINE\\Software\\Installed]") != std::string::npos
                    ? "machine"
                    : "no machine hive") +
               " " + (fs::exists(data / "quillan" / "registry" / "HKLM.reg") ? "private copy" : "no private copy") +
               " " + (fs::exists(data / "quillan" / "registry" / "HKCU.reg") ? "user" : "no user hive") + m.err + u.err;
    });
    ASSERT_TRUE(child.completed);
    if (child.output.rfind("skip:", 0) == 0)
        GTEST_SKIP() << child.output;
    EXPECT_EQ(child.output, "00 machine no private copy user");
}
