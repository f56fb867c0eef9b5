// The resources the Netvane library file carries, read from the file
// without loading it: the toolbox picture, the interface identifier blocks,
// the type library and version block; missing and damaged resources; the
// registration naming the picture; and `regsvr -i` listing them.
#include "netvane/netvane_ids.h"
#include "platform/com/com.h"
#include "platform/com/resources.h"
#include "platform/com/typelib.h"
#include "platform/registry/registry.h"
#include "support/environment.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>

using namespace platform;
using testsupport::readFile;
using testsupport::runProgram;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kLibrary = NETVANE_LIBRARY;
const std::string kRegsvr = REGSVR_TOOL;

std::uint32_t le32(const std::string &data, std::size_t pos)
{
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;)
        v = v << 8 | static_cast<unsigned char>(data[pos + i]);
    return v;
}

std::uint16_t le16(const std::string &data, std::size_t pos)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(data[pos]) | static_cast<unsigned char>(data[pos + 1])
                                                                                  << 8);
}

class NetvaneResources : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fs::is_regular_file(kLibrary)) << kLibrary; }

    std::string resource(std::string_view type, std::string_view name)
    {
        std::string data;
        const HRESULT hr = ReadLibraryResource(kLibrary, type, name, data);
        EXPECT_EQ(hr, S_OK) << type << " " << name << ": " << HResultMessage(hr);
        return data;
    }

    testsupport::TempDir dir_;
};

} // namespace

TEST_F(NetvaneResources, ToolboxPictureIsA16By15TrueColourBmp)
{
    const std::string bmp = resource("BITMAP", std::to_string(netvane::kToolboxBitmapId));
    ASSERT_GE(bmp.size(), 54u);
    // File header.
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(le32(bmp, 2), bmp.size()) << "the file header states the file's size";
    const std::uint32_t pixels = le32(bmp, 10);
    // BITMAPINFOHEADER.
    EXPECT_EQ(le32(bmp, 14), 40u);
    const auto width = static_cast<std::int32_t>(le32(bmp, 18));
    const auto height = static_cast<std::int32_t>(le32(bmp, 22));
    EXPECT_EQ(width, 16);
    EXPECT_EQ(height < 0 ? -height : height, 15);
    EXPECT_EQ(le16(bmp, 26), 1) << "planes";
    EXPECT_EQ(le16(bmp, 28), 24) << "bits per pixel";
    EXPECT_EQ(le32(bmp, 30), 0u) << "uncompressed";
    EXPECT_EQ(le32(bmp, 46), 0u) << "a true-colour picture has no palette";
    // Rows of 16 three-byte pixels, padded to four bytes: 48 bytes each.
    const std::size_t stride = (16 * 3 + 3) / 4 * 4;
    ASSERT_GE(pixels, 54u);
    ASSERT_GE(bmp.size(), pixels + stride * 15);

    // Something is drawn on the background: more than one colour.
    std::set<std::string> colours;
    for (std::size_t row = 0; row < 15; ++row)
        for (std::size_t x = 0; x < 16; ++x)
            colours.insert(bmp.substr(pixels + row * stride + x * 3, 3));
    EXPECT_GE(colours.size(), 2u);

    // Types and names are found without regard to case.
    std::string again;
    EXPECT_EQ(ReadLibraryResource(kLibrary, "bitmap", "30000", again), S_OK);
    EXPECT_EQ(again, bmp);
}

TEST_F(NetvaneResources, IdentifierBlocksNameTheControlsInterfaces)
{
    const struct {
        const char *type;
        const char *expected;
    } cases[] = {
        {"_IID_NETVANE", "{04BE33B5-1345-42C5-8965-11EFA8A2DCF1}"},
        {"_SRCIID_NETVANE", "{4FF53BEE-6A80-4D71-903E-678051706651}"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type);
        const std::string block = resource(c.type, "1");
        ASSERT_EQ(block.size(), 20u);
        EXPECT_EQ(le32(block, 0), 16u);
        // The identifier's binary layout: Data1, Data2, Data3 little-endian,
        // then Data4's eight bytes in order.
        GUID id;
        id.Data1 = le32(block, 4);
        id.Data2 = le16(block, 8);
        id.Data3 = le16(block, 10);
        std::memcpy(id.Data4, block.data() + 12, 8);
        EXPECT_EQ(GuidToString(id), c.expected);
    }
}

TEST_F(NetvaneResources, TypeLibraryAndVersionBlockAreResourcesToo)
{
    ITypeLib *lib = nullptr;
    ASSERT_EQ(CreateTypeLibFromText(resource("TYPELIB", "1"), &lib), S_OK);
    GUID libid;
    ASSERT_EQ(lib->GetLibAttr(&libid, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(libid, netvane::LIBID_Vanelink);
    lib->Release();

    const std::string version = resource("VERSION", "1");
    EXPECT_NE(version.find("OriginalFilename=Netvane.ocx\n"), std::string::npos) << version;

    std::vector<LibraryResource> all;
    ASSERT_EQ(ReadLibraryResources(kLibrary, all), S_OK);
    std::set<std::pair<std::string, std::string>> listed;
    for (const auto &r : all)
        listed.emplace(r.type, r.name);
    EXPECT_EQ(
        listed,
        (std::set<std::pair<std::string, std::string>>{
            {"BITMAP", "30000"}, {"_IID_NETVANE", "1"}, {"_SRCIID_NETVANE", "1"}, {"TYPELIB", "1"}, {"VERSION", "1"}}));
    EXPECT_EQ(listed.size(), all.size()) << "no resource is listed twice";
}

TEST_F(NetvaneResources, MissingAndDamagedResourcesAreReported)
{
    std::string data = "left over";
    EXPECT_EQ(ReadLibraryResource(kLibrary, "BITMAP", "30001", data), HRESULT_RESOURCE_NAME_NOT_FOUND);
    EXPECT_TRUE(data.empty()) << "a failed read leaves no stale bytes";
    EXPECT_EQ(ReadLibraryResource(kLibrary, "ICON", "1", data), HRESULT_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(ReadLibraryResource(dir_ / "absent.so", "BITMAP", "30000", data), HRESULT_FILE_NOT_FOUND);
    writeFile(dir_ / "text.so", "not a library, just text");
    EXPECT_EQ(ReadLibraryResource(dir_ / "text.so", "BITMAP", "30000", data), HRESULT_RESOURCE_DATA_NOT_FOUND);
    EXPECT_NE(HResultMessage(HRESULT_RESOURCE_NAME_NOT_FOUND).find("resource name"), std::string::npos);

    // A copy whose first entry claims more data than the table holds: the
    // table is refused as a whole, by the reader and by the tool.
    std::string bytes = readFile(kLibrary);
    const auto mark = bytes.find(std::string("QRES\x01\x00\x00\x00", 8));
    ASSERT_NE(mark, std::string::npos);
    const std::size_t typeLength = le16(bytes, mark + 8);
    const std::size_t nameAt = mark + 10 + typeLength;
    const std::size_t sizeAt = nameAt + 2 + le16(bytes, nameAt);
    for (std::size_t i = 0; i < 4; ++i)
        bytes[sizeAt + i] = static_cast<char>(0xF0);
    const fs::path damaged = dir_ / "damaged.so";
    writeFile(damaged, bytes);
    std::vector<LibraryResource> all{{"stale", "stale", "stale"}};
    EXPECT_EQ(ReadLibraryResources(damaged, all), HRESULT_INVALID_DATA);
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(ReadLibraryResource(damaged, "TYPELIB", "1", data), HRESULT_INVALID_DATA);
    const auto tool = runProgram({kRegsvr, "-i", damaged.string()});
    EXPECT_NE(tool.status, 0) << tool.out;
    EXPECT_NE(tool.err.find("damaged"), std::string::npos) << tool.err;
}

TEST_F(NetvaneResources, RegistrationNamesAToolboxPictureThatExists)
{
    testsupport::RegistrySandbox registry;
    void *handle = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto registerServer = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, "DllRegisterServer"));
    auto unregisterServer = reinterpret_cast<DllUnregisterServerFn>(dlsym(handle, "DllUnregisterServer"));
    ASSERT_TRUE(registerServer && unregisterServer);
    ASSERT_EQ(registerServer(), S_OK);

    const auto entry =
        RegReadString(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(netvane::CLSID_Netvane) + "\\ToolboxBitmap32", "");
    EXPECT_EQ(unregisterServer(), S_OK);
    dlclose(handle);

    ASSERT_TRUE(entry.has_value());
    const auto comma = entry->rfind(", ");
    ASSERT_NE(comma, std::string::npos) << *entry;
    std::string bmp;
    EXPECT_EQ(ReadLibraryResource(entry->substr(0, comma), "BITMAP", entry->substr(comma + 2), bmp), S_OK) << *entry;
    EXPECT_EQ(bmp.substr(0, 2), "BM");
}

TEST_F(NetvaneResources, RegsvrListsTheResourcesAfterTheIdentity)
{
    const auto tool = runProgram({kRegsvr, "-i", kLibrary});
    ASSERT_EQ(tool.status, 0) << tool.err;
    const std::string &output = tool.out;
    EXPECT_NE(output.find("ProductName=Netvane\n"), std::string::npos) << output;
    std::vector<LibraryResource> all;
    ASSERT_EQ(ReadLibraryResources(kLibrary, all), S_OK);
    ASSERT_EQ(all.size(), 5u);
    std::size_t lastAt = 0;
    for (const auto &r : all) {
        const std::string line =
            "Resource " + r.type + " " + r.name + ": " + std::to_string(r.data.size()) + " bytes\n";
        const auto at = output.find(line);
        EXPECT_NE(at, std::string::npos) << line << output;
        if (at != std::string::npos) {
            EXPECT_GT(at, output.find("ProductName=")) << "resources come after the identity strings";
            EXPECT_GE(at, lastAt) << "in the stored order";
            lastAt = at;
        }
    }

    // A file that is no library: no identity block, nothing listed.
    const auto text = runProgram({kRegsvr, "-i", writeFile(dir_ / "text.so", "not a library").string()});
    EXPECT_NE(text.status, 0) << "no identity block";
    EXPECT_EQ(text.out.find("Resource "), std::string::npos) << text.out;
}
