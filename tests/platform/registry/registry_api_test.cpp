// The registry functions' contract: types and exact bytes, buffer sizes,
// names, the HKEY_CLASSES_ROOT view, access rights, deletion, enumeration
// and handles.
#include "platform/registry/hive.h"
#include "registry_fixture.h"

#include <cstring>

using namespace platform;

namespace {

HKEY createKey(HKEY root, const char *path, REGSAM sam = KEY_ALL_ACCESS, DWORD *disposition = nullptr)
{
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyEx(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, sam, nullptr, &h, disposition),
              ERROR_SUCCESS);
    return h;
}

LONG setBytes(HKEY k, const char *name, DWORD type, const std::vector<BYTE> &data)
{
    return RegSetValueEx(k, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
}

// Reads a value through a caller's buffer of `bufferSize` bytes.
struct Read {
    LONG status = -1;
    DWORD type = 0xFFFF;
    DWORD size = 0;
    std::vector<BYTE> data;
};
Read readValue(HKEY k, const char *name, DWORD bufferSize)
{
    Read r;
    r.data.assign(bufferSize, 0xAB);
    r.size = bufferSize;
    r.status = RegQueryValueEx(k, name, nullptr, &r.type, r.data.data(), &r.size);
    if (r.status == ERROR_SUCCESS)
        r.data.resize(r.size);
    return r;
}

} // namespace

TEST_F(RegistryTest, EachTypeKeepsItsTypeAndExactBytes)
{
    RegKey key(createKey(HKEY_LOCAL_MACHINE, "Software\\Quillan\\Types"));
    const std::vector<BYTE> binary = {0x00, 0xFF, 0x0D, 0x0A, 0x22, 0x5C, 0x80};
    const struct {
        const char *name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {"sz", REG_SZ, bytesOf("C:\\tools\\msinfo32.exe", true)},
        {"expand", REG_EXPAND_SZ, bytesOf("%SystemRoot%\\x", true)},
        {"binary", REG_BINARY, binary},
        {"dword", REG_DWORD, {0x2A, 0x00, 0x00, 0x80}},
        {"none", REG_NONE, {}},
        {"multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
        {"odd type", 0x1234, {1, 2, 3}},
        {"empty sz", REG_SZ, {}},
        {"sz without zero", REG_SZ, bytesOf("path", false)},
    };
    for (const auto &c : cases)
        ASSERT_EQ(setBytes(key.get(), c.name, c.type, c.data), ERROR_SUCCESS) << c.name;
    for (const auto &c : cases) {
        const Read r = readValue(key.get(), c.name, 64);
        ASSERT_EQ(r.status, ERROR_SUCCESS) << c.name;
        EXPECT_EQ(r.type, c.type) << c.name;
        EXPECT_EQ(r.data, c.data) << c.name;
    }
    // Only the counted bytes are written into the caller's buffer.
    std::vector<BYTE> buf(8, 0xAB);
    DWORD size = 8;
    ASSERT_EQ(RegQueryValueEx(key.get(), "sz without zero", nullptr, nullptr, buf.data(), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buf[4], 0xAB);
}

TEST_F(RegistryTest, BufferEdgeAt1024Bytes)
{
    RegKey key(createKey(HKEY_LOCAL_MACHINE, "Software\\Edge"));
    // 1024 bytes including the terminating zero, and one more.
    ASSERT_EQ(setBytes(key.get(), "fits", REG_SZ, bytesOf(std::string(1023, 'x'), true)), ERROR_SUCCESS);
    ASSERT_EQ(setBytes(key.get(), "over", REG_SZ, bytesOf(std::string(1024, 'x'), true)), ERROR_SUCCESS);
    // The same lengths without the terminating zero.
    ASSERT_EQ(setBytes(key.get(), "fitsRaw", REG_SZ, bytesOf(std::string(1024, 'y'), false)), ERROR_SUCCESS);
    ASSERT_EQ(setBytes(key.get(), "overRaw", REG_SZ, bytesOf(std::string(1025, 'y'), false)), ERROR_SUCCESS);

    Read r = readValue(key.get(), "fits", 1024);
    EXPECT_EQ(r.status, ERROR_SUCCESS);
    EXPECT_EQ(r.size, 1024u);
    EXPECT_EQ(r.data.back(), 0);

    r = readValue(key.get(), "fitsRaw", 1024);
    EXPECT_EQ(r.status, ERROR_SUCCESS);
    EXPECT_EQ(r.size, 1024u);
    EXPECT_EQ(r.data.back(), 'y');

    for (const char *name : {"over", "overRaw"}) {
        r = readValue(key.get(), name, 1024);
        EXPECT_EQ(r.status, ERROR_MORE_DATA) << name;
        EXPECT_EQ(r.size, 1025u) << name;
        EXPECT_EQ(r.type, REG_SZ) << name;
        // The caller's buffer is left alone.
        EXPECT_EQ(r.data, std::vector<BYTE>(1024, 0xAB)) << name;
    }
}

TEST_F(RegistryTest, SizeQueryAndMoreData)
{
    RegKey key(createKey(HKEY_CURRENT_USER, "Sizes"));
    ASSERT_EQ(setBytes(key.get(), nullptr, REG_BINARY, {1, 2, 3, 4, 5, 6}), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueEx(key.get(), "", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_BINARY);

    BYTE small[5] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueEx(key.get(), nullptr, nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);

    // A data buffer without its size is refused, as is a reserved pointer.
    EXPECT_EQ(RegQueryValueEx(key.get(), nullptr, nullptr, &type, small, nullptr), ERROR_INVALID_PARAMETER);
    DWORD reserved = 0;
    size = sizeof small;
    EXPECT_EQ(RegQueryValueEx(key.get(), nullptr, &reserved, &type, small, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueEx(key.get(), "missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirCase)
{
    RegKey key(createKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"));
    ASSERT_EQ(setBytes(key.get(), "PATH", REG_SZ, bytesOf("/opt/msinfo", true)), ERROR_SUCCESS);

    DWORD disposition = 0;
    RegKey same(
        createKey(HKEY_LOCAL_MACHINE, "software\\MICROSOFT\\shared tools\\msinfo", KEY_ALL_ACCESS, &disposition));
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(readValue(same.get(), "path", 64).data, bytesOf("/opt/msinfo", true));

    // Setting through another spelling replaces the value, not adds one.
    ASSERT_EQ(setBytes(same.get(), "Path", REG_SZ, bytesOf("/x", true)), ERROR_SUCCESS);
    const std::vector<RegValue> values = RegValues(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Shared Tools\\MSINFO");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "PATH");
    EXPECT_EQ(values[0].data, bytesOf("/x", true));

    EXPECT_EQ(RegSubKeyNames(HKEY_LOCAL_MACHINE, "software"), std::vector<std::string>{"Microsoft"});
    EXPECT_EQ(RegSubKeyNames(HKEY_LOCAL_MACHINE, "Software\\Microsoft"), (std::vector<std::string>{"Shared Tools"}));
}

TEST_F(RegistryTest, ClassesRootIsTheViewOfMachineSoftwareClasses)
{
    ASSERT_EQ(RegWriteString(HKEY_CLASSES_ROOT, "Vanelink.Test\\CLSID", "", "{1234}"), ERROR_SUCCESS);
    EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, "Software\\Classes\\Vanelink.Test\\CLSID", ""), "{1234}");

    ASSERT_EQ(RegWriteDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\CLASSES\\Other", "n", 7), ERROR_SUCCESS);
    EXPECT_EQ(RegReadDword(HKEY_CLASSES_ROOT, "other", "N"), 7u);

    RegKey cr;
    ASSERT_EQ(cr.open(HKEY_CLASSES_ROOT, "Vanelink.Test", KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(RegSubKeyNames(cr.get(), ""), std::vector<std::string>{"CLSID"});

    ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "Vanelink.Test"), ERROR_SUCCESS);
    EXPECT_EQ(RegSubKeyNames(HKEY_LOCAL_MACHINE, "Software\\Classes"), std::vector<std::string>{"Other"});

    // The 64-bit sign-extended spelling of a root is the same root.
    const HKEY wide = reinterpret_cast<HKEY>(
        static_cast<std::uintptr_t>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000000u))));
    EXPECT_EQ(RegReadDword(wide, "Other", "n"), 7u);
}

TEST_F(RegistryTest, RightsOfTheHandleAreEnforced)
{
    ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, "Software\\Rights", "v", "x"), ERROR_SUCCESS);
    const BYTE data[] = {'y', 0};

    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Rights", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueEx(readOnly, "v", 0, REG_SZ, data, 2), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(readOnly, "v"), ERROR_ACCESS_DENIED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyEx(readOnly, "New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(child, nullptr);
    EXPECT_EQ(readValue(readOnly, "v", 16).status, ERROR_SUCCESS);
    RegCloseKey(readOnly);

    HKEY writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Rights", 0, KEY_SET_VALUE, &writeOnly), ERROR_SUCCESS);
    EXPECT_EQ(readValue(writeOnly, "v", 16).status, ERROR_ACCESS_DENIED);
    char name[32];
    DWORD cch = sizeof name;
    EXPECT_EQ(RegEnumKeyEx(writeOnly, 0, name, &cch, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueEx(writeOnly, "v", 0, REG_SZ, data, 2), ERROR_SUCCESS);
    RegCloseKey(writeOnly);

    // The mask the system information launcher asks for reads values.
    HKEY launcher = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Rights", 0, 0x2003F, &launcher), ERROR_SUCCESS);
    EXPECT_EQ(readValue(launcher, "v", 1024).data, std::vector<BYTE>({'y', 0}));
    RegCloseKey(launcher);

    // An unregistered handle, and a second close, are refused.
    EXPECT_EQ(RegCloseKey(launcher), ERROR_INVALID_HANDLE);
    EXPECT_EQ(readValue(launcher, "v", 16).status, ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegistryTest, OpeningMissingKeysAndBadNames)
{
    HKEY h = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", 0, 0x2003F, &h),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "a\\\\b", 0, KEY_READ, &h), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyEx(reinterpret_cast<HKEY>(0x1234), "", 0, KEY_READ, &h), ERROR_INVALID_HANDLE);
    RegKey k;
    EXPECT_EQ(k.create(HKEY_CURRENT_USER, "bad\nname"), ERROR_BAD_PATHNAME);
    ASSERT_EQ(k.create(HKEY_CURRENT_USER, "ok"), ERROR_SUCCESS);
    const BYTE b = 1;
    EXPECT_EQ(RegSetValueEx(k.get(), "two\nlines", 0, REG_BINARY, &b, 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(k.get(), "v", 0, REG_BINARY, nullptr, 1), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, DeletingValuesKeysAndTrees)
{
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Tree\\A\\B", "leaf", "1"), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Tree\\A", "mid", "2"), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Tree\\C", "", "3"), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(HKEY_CURRENT_USER, "Keep", "", "4"), ERROR_SUCCESS);

    RegKey a;
    ASSERT_EQ(a.open(HKEY_CURRENT_USER, "Tree\\A", KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(a.get(), "MID"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValue(a.get(), "mid"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, "Tree\\A", "mid"));

    // A key with sub-keys is not removed by RegDeleteKey.
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Tree\\A"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Tree\\C"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, "Tree\\C"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, nullptr), ERROR_ACCESS_DENIED);

    // The open handle outlives its key and then reports it deleted.
    ASSERT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "tree"), ERROR_SUCCESS);
    EXPECT_EQ(readValue(a.get(), "mid", 16).status, ERROR_KEY_DELETED);
    EXPECT_EQ(RegDeleteTree(HKEY_CURRENT_USER, "Tree"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSubKeyNames(HKEY_CURRENT_USER, ""), std::vector<std::string>{"Keep"});

    // An empty sub-key empties the key itself and keeps it.
    RegKey keep;
    ASSERT_EQ(keep.open(HKEY_CURRENT_USER, "Keep", KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(keep.get(), "Sub", "x", "y"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTree(keep.get(), nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(RegValues(keep.get(), "").empty());
    EXPECT_TRUE(RegSubKeyNames(keep.get(), "").empty());
    EXPECT_EQ(RegSubKeyNames(HKEY_CURRENT_USER, ""), std::vector<std::string>{"Keep"});
}

TEST_F(RegistryTest, EnumerationOfKeysAndValues)
{
    for (const char *name : {"beta", "Alpha", "gamma"})
        ASSERT_EQ(RegWriteString(HKEY_LOCAL_MACHINE, std::string("Software\\Enum\\") + name, "", name), ERROR_SUCCESS);
    RegKey key;
    ASSERT_EQ(key.open(HKEY_LOCAL_MACHINE, "Software\\Enum", KEY_ALL_ACCESS), ERROR_SUCCESS);
    std::vector<std::string> names;
    char buf[16];
    for (DWORD i = 0;; ++i) {
        DWORD cch = sizeof buf;
        const LONG st = RegEnumKeyEx(key.get(), i, buf, &cch, nullptr, nullptr, nullptr, nullptr);
        if (st == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(st, ERROR_SUCCESS);
        EXPECT_EQ(cch, std::strlen(buf));
        names.emplace_back(buf);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    DWORD tiny = 3;
    EXPECT_EQ(RegEnumKeyEx(key.get(), 0, buf, &tiny, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    EXPECT_EQ(tiny, 5u);

    const BYTE one[] = {1}, two[] = {2, 2};
    ASSERT_EQ(RegSetValueEx(key.get(), "second", 0, REG_BINARY, one, 1), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key.get(), "first", 0, REG_BINARY, two, 2), ERROR_SUCCESS);
    DWORD cch = sizeof buf, type = 0, cb = 0;
    ASSERT_EQ(RegEnumValue(key.get(), 1, buf, &cch, nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
    EXPECT_STREQ(buf, "first");
    EXPECT_EQ(cb, 2u);
    cch = sizeof buf;
    EXPECT_EQ(RegEnumValue(key.get(), 2, buf, &cch, nullptr, &type, nullptr, &cb), ERROR_NO_MORE_ITEMS);
}

namespace {

// "L1\L2\...\Ln".
std::string nested(size_t levels)
{
    std::string path;
    for (size_t i = 1; i <= levels; ++i)
        path += (i > 1 ? "\\L" : "L") + std::to_string(i);
    return path;
}

} // namespace

TEST_F(RegistryTest, KeysNestAtMost512LevelsWhereverTheyAreCreated)
{
    // By the API: 512 levels below the root, not one more.
    RegKey deepest;
    ASSERT_EQ(deepest.create(HKEY_LOCAL_MACHINE, nested(512)), ERROR_SUCCESS);
    HKEY h = nullptr;
    EXPECT_EQ(RegCreateKeyEx(deepest.get(), "One", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_NE(RegLastErrorMessage().find("more than 512 levels"), std::string::npos) << RegLastErrorMessage();
    EXPECT_EQ(RegWriteString(HKEY_CURRENT_USER, nested(513), "v", "x"), ERROR_BAD_PATHNAME);
    // HKEY_CLASSES_ROOT lies two levels down its hive.
    EXPECT_EQ(RegWriteString(HKEY_CLASSES_ROOT, nested(510), "v", "x"), ERROR_SUCCESS);
    EXPECT_EQ(RegWriteString(HKEY_CLASSES_ROOT, nested(511), "v", "x"), ERROR_BAD_PATHNAME);
    // Names of 255 characters, not 256.
    EXPECT_EQ(RegWriteString(HKEY_CURRENT_USER, std::string(255, 'n'), "v", "x"), ERROR_SUCCESS);
    EXPECT_EQ(RegWriteString(HKEY_CURRENT_USER, std::string(256, 'n'), "v", "x"), ERROR_BAD_PATHNAME);
    EXPECT_NE(RegLastErrorMessage().find("longer than 255"), std::string::npos) << RegLastErrorMessage();

    // By import: the whole text is refused, naming the line.
    const std::string ok = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Imported\\" + nested(511) + "]\n\"v\"=\"x\"\n";
    EXPECT_EQ(RegImportText(ok), ERROR_SUCCESS);
    const std::string tooDeep =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\First]\n\n[HKEY_CURRENT_USER\\Refused\\" + nested(512) + "]\n";
    EXPECT_EQ(RegImportText(tooDeep), ERROR_INVALID_PARAMETER);
    EXPECT_NE(RegLastErrorMessage().find("line 5: the key is more than 512 levels deep"), std::string::npos)
        << RegLastErrorMessage();
    RegKey first;
    EXPECT_EQ(first.open(HKEY_CURRENT_USER, "First"), ERROR_FILE_NOT_FOUND);

    // What exists at the limit reads back, exports and goes away whole.
    EXPECT_EQ(RegReadString(HKEY_CURRENT_USER, "Imported\\" + nested(511), "v"), "x");
    std::string text;
    EXPECT_EQ(RegExportText(HKEY_CURRENT_USER, "Imported", text), ERROR_SUCCESS);
    EXPECT_NE(text.find(nested(511) + "]"), std::string::npos);
    deepest.reset();
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "L1"), ERROR_SUCCESS);
    EXPECT_EQ(RegSubKeyNames(HKEY_LOCAL_MACHINE, ""), std::vector<std::string>{"Software"});
}

TEST_F(RegistryTest, KeyTreesOfAnyDepthAreCopiedAndDestroyedWithoutRecursion)
{
    // A tree far deeper than a hive may hold, built directly: copying it and
    // taking it apart must not need a stack frame per level.
    auto root = std::make_unique<detail::Key>();
    detail::Key *k = root.get();
    for (int i = 0; i < 300000; ++i)
        k = &k->ensureChild("K");
    detail::Key copy;
    detail::copyKey(*root, copy);
    size_t depth = 0;
    for (const detail::Key *c = &copy; !c->children.empty(); c = c->children.begin()->second.get())
        ++depth;
    EXPECT_EQ(depth, 300000u);
    root.reset();
}
