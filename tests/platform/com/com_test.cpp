// The component runtime on its own: identifiers, strings, type-library
// descriptions, late binding over a dual interface, and reading sections of
// library files.
#include "platform/com/activation.h"
#include "platform/com/com.h"
#include "platform/com/typelib.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace platform;
using testsupport::TempDir;
using testsupport::writeFile;
namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Identifiers and strings

TEST(ComIdentifiers, GuidTextRoundTripsAndRejectsMalformedText)
{
    const GUID g{0x876FE8FE, 0xD42A, 0x41FB, {0x90, 0x20, 0xEC, 0xB1, 0x1B, 0x32, 0xF1, 0x45}};
    EXPECT_EQ(GuidToString(g), "{876FE8FE-D42A-41FB-9020-ECB11B32F145}");
    auto lower = GuidFromString("{876fe8fe-d42a-41fb-9020-ecb11b32f145}");
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(*lower, g);
    EXPECT_EQ(GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");

    for (const char *bad : {"", "876FE8FE-D42A-41FB-9020-ECB11B32F145", "{876FE8FE-D42A-41FB-9020-ECB11B32F14}",
                            "{876FE8FE-D42A-41FB-9020-ECB11B32F1450}", "{876FE8FE_D42A-41FB-9020-ECB11B32F145}",
                            "{876FE8FE-D42A-41FB-9020-ECB11B32F14G}", "(876FE8FE-D42A-41FB-9020-ECB11B32F145)"})
        EXPECT_FALSE(GuidFromString(bad).has_value()) << bad;

    CLSID c;
    EXPECT_EQ(CLSIDFromString("{not a guid}", &c), CO_E_CLASSSTRING);
    EXPECT_EQ(CLSIDFromString("{00020400-0000-0000-C000-000000000046}", &c), S_OK);
    EXPECT_EQ(c, IID_IDispatch);
}

TEST(ComIdentifiers, StatusCodesHaveTheirNumbersAndWords)
{
    EXPECT_EQ(HResultHex(REGDB_E_CLASSNOTREG), "0x80040154");
    EXPECT_EQ(HResultMessage(REGDB_E_CLASSNOTREG), "Class not registered");
    EXPECT_EQ(HResultMessage(DISP_E_MEMBERNOTFOUND), "Member not found");
    EXPECT_EQ(HResultHex(HRESULT_FROM_WIN32(5)), "0x80070005");
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
}

TEST(ComStrings, BstrKeepsLengthAndConvertsUtf8)
{
    BSTR s = SysAllocStringUtf8("Grüße");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(OleToUtf8(s), "Grüße");
    SysFreeString(s);

    // Embedded zero characters count in the length.
    const OLECHAR withZero[] = {u'a', 0, u'b'};
    BSTR z = SysAllocStringLen(withZero, 3);
    EXPECT_EQ(SysStringLen(z), 3u);
    EXPECT_EQ(z[3], 0);
    SysFreeString(z);
    EXPECT_EQ(SysStringLen(nullptr), 0u);

    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringUtf8("owned");
    EXPECT_EQ(VariantClear(&v), S_OK); // frees the string (checked by the sanitizer build)
    EXPECT_EQ(v.vt, VT_EMPTY);
}

// ---------------------------------------------------------------------------
// Type-library descriptions

namespace {

const char *kSample = "# sample\n"
                      "library Sample {11111111-2222-3333-4444-555555555555} 2.3 lcid=409 flags=control|hidden "
                      "helpstring=\"Sample library\" helpfile=\"s.chm\" helpcontext=7\n"
                      "importlib stdole2.tlb\n"
                      "interface ISample {11111111-2222-3333-4444-666666666666} 1.0 dual\n"
                      "propget Count 0x10 LONG\n"
                      "propget Ready 0x11 VARIANT_BOOL\n"
                      "propget Broken 0x12 VARIANT_BOOL\n"
                      "coclass Sample {11111111-2222-3333-4444-777777777777} 1.0 creatable\n"
                      "implements ISample default\n";

constexpr IID IID_ISample{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66}};

// A dual interface with three getters, in the order the description gives.
struct ISample : IDispatch {
    virtual HRESULT get_Count(LONG *value) = 0;
    virtual HRESULT get_Ready(VARIANT_BOOL *value) = 0;
    virtual HRESULT get_Broken(VARIANT_BOOL *value) = 0;

protected:
    ~ISample() = default;
};

class SampleObject final : public ISample {
public:
    explicit SampleObject(ITypeInfo *info) : info_(info) {}
    HRESULT QueryInterface(REFIID, void **) override { return E_NOTIMPL; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR *names, UINT n, LCID, DISPID *ids) override
    {
        return info_->GetIDsOfNames(names, n, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *ex,
                   UINT *argErr) override
    {
        return DispInvoke(static_cast<ISample *>(this), info_, id, flags, params, result, ex, argErr);
    }
    HRESULT get_Count(LONG *value) override
    {
        *value = count;
        return S_OK;
    }
    HRESULT get_Ready(VARIANT_BOOL *value) override
    {
        *value = VARIANT_TRUE;
        return S_OK;
    }
    HRESULT get_Broken(VARIANT_BOOL *) override { return E_ACCESSDENIED; }

    LONG count = 42;

private:
    ITypeInfo *info_;
};

} // namespace

TEST(ComTypeLibrary, DescriptionParsesIntoLibraryTypesAndMembers)
{
    LibraryDescription d;
    std::string error;
    ASSERT_EQ(ParseTypeLibraryText(kSample, d, &error), S_OK) << error;
    EXPECT_EQ(d.name, "Sample");
    EXPECT_EQ(d.majorVersion, 2);
    EXPECT_EQ(d.minorVersion, 3);
    EXPECT_EQ(d.lcid, 0x409u);
    EXPECT_EQ(d.flags, LIBFLAG_FCONTROL | LIBFLAG_FHIDDEN);
    EXPECT_EQ(d.helpString, "Sample library");
    EXPECT_EQ(d.helpFile, "s.chm");
    EXPECT_EQ(d.helpContext, 7u);
    ASSERT_EQ(d.types.size(), 2u);
    ASSERT_EQ(d.types[0].members.size(), 3u);
    EXPECT_EQ(d.types[0].members[0].memid, 0x10);
    EXPECT_EQ(d.types[0].members[0].resultType, VT_I4);
    EXPECT_EQ(d.types[0].flags, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
    ASSERT_EQ(d.types[1].implemented.size(), 1u);
    EXPECT_EQ(d.types[1].implemented[0].flags, IMPLTYPEFLAG_FDEFAULT);
}

TEST(ComTypeLibrary, MalformedDescriptionsAreRefusedWithTheLine)
{
    struct Case {
        const char *text;
        const char *line;
    };
    const Case cases[] = {
        {"", "line 0"},
        {"interface I {11111111-2222-3333-4444-666666666666} 1.0\n", "line 1"},
        {"library L {bad} 1.0\n", "line 1"},
        {"library L {11111111-2222-3333-4444-555555555555} 1.0\nfrob x\n", "line 2"},
        {"library L {11111111-2222-3333-4444-555555555555} 1.0\npropget A 1 LONG\n", "line 2"},
        {"library L {11111111-2222-3333-4444-555555555555} 1.0 helpstring=\"open\n", "line 1"},
        {"library L {11111111-2222-3333-4444-555555555555} 1.0\ninterface I {11111111-2222-3333-4444-666666666666} "
         "1.0\n"
         "propget A 1 LONG\npropget a 2 LONG\n",
         "line 4"},
        {"library L {11111111-2222-3333-4444-555555555555} 1.0\ninterface I {11111111-2222-3333-4444-666666666666} "
         "1.0\n"
         "propget A 1 DOUBLE\n",
         "line 3"},
    };
    for (const auto &c : cases) {
        LibraryDescription d;
        std::string error;
        EXPECT_EQ(ParseTypeLibraryText(c.text, d, &error), TYPE_E_UNSUPFORMAT) << c.text;
        EXPECT_EQ(error.rfind(c.line, 0), 0u) << c.text << " -> " << error;
    }
}

TEST(ComTypeLibrary, TypeInfoResolvesNamesAndIdentifiers)
{
    ITypeLib *lib = nullptr;
    ASSERT_EQ(CreateTypeLibFromText(kSample, &lib), S_OK);
    ITypeInfo *info = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ISample, &info), S_OK);
    std::u16string ready = u"READY", nope = u"Nope";
    LPOLESTR names[2] = {ready.data(), nope.data()};
    MEMBERID ids[2] = {0, 0};
    EXPECT_EQ(info->GetIDsOfNames(names, 1, ids), S_OK);
    EXPECT_EQ(ids[0], 0x11);
    // A member name followed by a parameter name these members lack.
    EXPECT_EQ(info->GetIDsOfNames(names, 2, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 0x11);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    BSTR name = nullptr;
    EXPECT_EQ(info->GetName(0x10, &name), S_OK);
    EXPECT_EQ(OleToUtf8(name), "Count");
    SysFreeString(name);
    EXPECT_EQ(info->GetName(0x99, &name), TYPE_E_ELEMENTNOTFOUND);
    info->Release();
    ITypeInfo *none = nullptr;
    EXPECT_EQ(lib->GetTypeInfo(5, &none), TYPE_E_ELEMENTNOTFOUND);
    EXPECT_EQ(none, nullptr);
    lib->Release();
}

TEST(ComLateBinding, DispInvokeCallsTheSlotOfTheDescribedMember)
{
    ITypeLib *lib = nullptr;
    ASSERT_EQ(CreateTypeLibFromText(kSample, &lib), S_OK);
    ITypeInfo *info = nullptr;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(IID_ISample, &info), S_OK);
    SampleObject obj(info);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT v;
    VariantInit(&v);

    ASSERT_EQ(obj.Invoke(0x10, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
    EXPECT_EQ(v.vt, VT_I4);
    EXPECT_EQ(v.lVal, 42);
    obj.count = -7;
    ASSERT_EQ(obj.Invoke(0x10, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
    EXPECT_EQ(v.lVal, -7);
    ASSERT_EQ(obj.Invoke(0x11, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), S_OK);
    EXPECT_EQ(v.vt, VT_BOOL);
    EXPECT_EQ(v.boolVal, VARIANT_TRUE);

    // A failing accessor arrives as an exception carrying its status.
    EXCEPINFO ex{};
    EXPECT_EQ(obj.Invoke(0x12, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, &ex, nullptr), DISP_E_EXCEPTION);
    EXPECT_EQ(ex.scode, E_ACCESSDENIED);
    EXPECT_EQ(OleToUtf8(ex.bstrDescription), "Access is denied");
    EXPECT_EQ(OleToUtf8(ex.bstrSource), "ISample");
    ClearExcepInfo(&ex);

    EXPECT_EQ(obj.Invoke(0x13, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(obj.Invoke(0x10, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none, &v, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    DISPID named = 0;
    DISPPARAMS withNamed{nullptr, &named, 0, 1};
    EXPECT_EQ(obj.Invoke(0x10, IID_NULL, 0, DISPATCH_PROPERTYGET, &withNamed, &v, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    EXPECT_EQ(obj.Invoke(0x10, IID_NULL, 0, DISPATCH_PROPERTYGET, nullptr, &v, nullptr, nullptr), E_INVALIDARG);
    info->Release();
    lib->Release();
}

// ---------------------------------------------------------------------------
// Library files

TEST(ComFiles, SectionsAreReadOnlyFromSoundElfFiles)
{
    TempDir dir;
    // This test program is an ELF file without our sections.
    const fs::path self = fs::read_symlink("/proc/self/exe");
    EXPECT_FALSE(ReadElfSection(self, kTypeLibSection).has_value());
    auto text = ReadElfSection(self, ".text");
    ASSERT_TRUE(text.has_value());
    EXPECT_FALSE(text->empty());

    EXPECT_FALSE(ReadElfSection(dir / "absent.so", ".text").has_value());
    EXPECT_FALSE(ReadElfSection(writeFile(dir / "text.so", "not an ELF file at all, just text"), ".text").has_value());
    // A truncated copy of a real file: headers point past the end.
    std::ifstream in(self, std::ios::binary);
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    EXPECT_FALSE(ReadElfSection(writeFile(dir / "truncated.so", head), ".text").has_value());
    ITypeLib *lib = nullptr;
    EXPECT_EQ(LoadTypeLibFromFile(dir / "truncated.so", &lib), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(lib, nullptr);
    EXPECT_FALSE(ReadLibraryIdentity(dir / "truncated.so").has_value());
}
