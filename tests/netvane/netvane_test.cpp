// Conformance of the Netvane library and the component runtime that hosts
// it: activation, late binding, registration, type library, unloading,
// exports, and the tools end to end. Every test uses its own registry
// folder.
#include "netvane/netvane_ids.h"
#include "platform/com/activation.h"
#include "platform/com/com.h"
#include "platform/com/typelib.h"
#include "platform/netstate/netstate.h"
#include "platform/registry/registry.h"
#include "support/environment.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

using namespace platform;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

const std::string kLibrary = NETVANE_LIBRARY;
const std::string kRegsvr = REGSVR_TOOL;
const std::string kDispget = DISPGET_TOOL;

std::string exportClasses()
{
    std::string text;
    RegExportText(HKEY_LOCAL_MACHINE, "Software\\Classes", text);
    return text;
}

HRESULT invokeGet(IDispatch *d, DISPID id, VARIANT &result, WORD flags = DISPATCH_PROPERTYGET)
{
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(&result);
    EXCEPINFO ex{};
    UINT argErr = 0;
    HRESULT hr = d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &none, &result, &ex, &argErr);
    ClearExcepInfo(&ex);
    return hr;
}

// Calls a getter by its raw virtual-table slot, as a client compiled
// against the binary interface would.
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
HRESULT
callSlot(void *itf, int slot, VARIANT_BOOL *out)
{
    using Getter = HRESULT (*)(void *, VARIANT_BOOL *);
    void *const *vtable = *static_cast<void *const *const *>(itf);
    return reinterpret_cast<Getter>(vtable[slot])(itf, out);
}

class NetvaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearProxyEnvironment();
        handle_ = dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        registerServer_ = reinterpret_cast<DllRegisterServerFn>(dlsym(handle_, "DllRegisterServer"));
        unregisterServer_ = reinterpret_cast<DllUnregisterServerFn>(dlsym(handle_, "DllUnregisterServer"));
        canUnloadNow_ = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle_, "DllCanUnloadNow"));
        getClassObject_ = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle_, "DllGetClassObject"));
        ASSERT_TRUE(registerServer_ && unregisterServer_ && canUnloadNow_ && getClassObject_);
    }
    void TearDown() override
    {
        CoFreeUnusedLibraries();
        if (handle_)
            dlclose(handle_);
    }

    IDispatch *createByProgId()
    {
        IDispatch *d = nullptr;
        CLSID clsid;
        EXPECT_EQ(CLSIDFromProgID(netvane::kProgID, &clsid), S_OK);
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void **>(&d)),
                  S_OK);
        return d;
    }

    RegistrySandbox registry_;
    void *handle_ = nullptr;
    DllRegisterServerFn registerServer_ = nullptr;
    DllUnregisterServerFn unregisterServer_ = nullptr;
    DllCanUnloadNowFn canUnloadNow_ = nullptr;
    DllGetClassObjectFn getClassObject_ = nullptr;
};

struct Property {
    const char *name;
    DISPID id;
    int slot;
    DWORD flag; // the connection-state bit it reports; 0: online at all
};
constexpr std::array<Property, 4> kProperties{{
    {"ConnectedViaLAN", netvane::DISPID_ConnectedViaLAN, 7, INTERNET_CONNECTION_LAN},
    {"ConnectedViaModem", netvane::DISPID_ConnectedViaModem, 8, INTERNET_CONNECTION_MODEM},
    {"ConnectedViaProxy", netvane::DISPID_ConnectedViaProxy, 9, INTERNET_CONNECTION_PROXY},
    {"ConnectedOnline", netvane::DISPID_ConnectedOnline, 10, 0},
}};

} // namespace

// ---------------------------------------------------------------------------
// Activation

TEST_F(NetvaneTest, CreatingBeforeRegistrationFailsWithClassNotRegistered)
{
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID("Vanelink.Netvane", &clsid), REGDB_E_CLASSNOTREG);
    IUnknown *unk = nullptr;
    EXPECT_EQ(CoCreateInstance(netvane::CLSID_Netvane, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void **>(&unk)),
              hresultOf(0x80040154));
    EXPECT_EQ(unk, nullptr);
    EXPECT_TRUE(LoadedComLibraries().empty());
}

TEST_F(NetvaneTest, ActivationReportsBrokenRegistrations)
{
    // A ProgID whose CLSID value is not an identifier.
    ASSERT_EQ(RegWriteString(HKEY_CLASSES_ROOT, "Broken.Thing\\CLSID", "", "not-a-guid"), ERROR_SUCCESS);
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID("Broken.Thing", &clsid), CO_E_CLASSSTRING);
    // A class whose server file does not exist.
    const CLSID other{0x11111111, 0x2222, 0x3333, {4, 4, 5, 5, 5, 5, 5, 5}};
    ASSERT_EQ(RegWriteString(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(other) + "\\InprocServer32", "",
                             (registry_ / "missing.so").string()),
              ERROR_SUCCESS);
    IUnknown *unk = nullptr;
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&unk)),
              CO_E_DLLNOTFOUND);
    // The library itself refuses classes it does not carry.
    void *factory = nullptr;
    EXPECT_EQ(getClassObject_(other, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory, nullptr);
}

TEST_F(NetvaneTest, FactoryAndObjectAnswerOnlyTheirInterfaces)
{
    IClassFactory *factory = nullptr;
    ASSERT_EQ(getClassObject_(netvane::CLSID_Netvane, IID_IClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
    IUnknown *outer = factory; // any non-null outer object
    void *obj = nullptr;
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &obj), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITypeLib, &obj), E_NOINTERFACE);
    EXPECT_EQ(obj, nullptr);
    ASSERT_EQ(factory->CreateInstance(nullptr, netvane::IID__Netvane, &obj), S_OK);
    auto *nv = static_cast<_Netvane *>(obj);
    void *same = nullptr;
    EXPECT_EQ(nv->QueryInterface(IID_IDispatch, &same), S_OK);
    EXPECT_EQ(same, obj) << "the dual interface is also the dispatch interface";
    static_cast<IUnknown *>(same)->Release();
    EXPECT_EQ(nv->QueryInterface(netvane::DIID___Netvane, &same), E_NOINTERFACE)
        << "the event interface is for sinks, not implemented by the control";
    nv->Release();
    factory->Release();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

// ---------------------------------------------------------------------------
// Late binding

TEST_F(NetvaneTest, UnknownMembersAndWrongCallsAreRefused)
{
    ASSERT_EQ(registerServer_(), S_OK);
    IDispatch *d = createByProgId();
    ASSERT_NE(d, nullptr);
    VARIANT v;
    for (DISPID id : {0x68030004, 0x67FFFFFF, 0, -1, 1})
        EXPECT_EQ(invokeGet(d, id, v), DISP_E_MEMBERNOTFOUND) << std::hex << id;

    // Names resolve case-insensitively; unknown ones are reported.
    std::u16string lower = u"connectedonline", unknown = u"ConnectedViaSatellite";
    LPOLESTR names[1] = {lower.data()};
    DISPID id = 0;
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, netvane::DISPID_ConnectedOnline);
    names[0] = unknown.data();
    EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    // Read-only: a put finds no member; arguments are refused.
    EXPECT_EQ(invokeGet(d, netvane::DISPID_ConnectedOnline, v, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BOOL;
    DISPPARAMS one{&arg, nullptr, 1, 0};
    EXPECT_EQ(d->Invoke(netvane::DISPID_ConnectedOnline, IID_NULL, 0, DISPATCH_PROPERTYGET, &one, &v, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        d->Invoke(netvane::DISPID_ConnectedOnline, IID_IUnknown, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);
    // A method-style call of a property get is accepted, and no result
    // variant is needed.
    EXPECT_EQ(d->Invoke(netvane::DISPID_ConnectedOnline, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                        nullptr, nullptr, nullptr),
              S_OK);
    d->Release();
}

// Each property by name, identifier, raw table slot and method gives the
// connection state; the proxy bit is the one input a test can flip in place.
TEST_F(NetvaneTest, EachPropertyReadsTheConnectionStateByEveryRoute)
{
    ASSERT_EQ(registerServer_(), S_OK);
    IDispatch *d = createByProgId();
    ASSERT_NE(d, nullptr);
    _Netvane *nv = nullptr;
    ASSERT_EQ(d->QueryInterface(netvane::IID__Netvane, reinterpret_cast<void **>(&nv)), S_OK);

    // The type information lists the members in table order.
    UINT count = 0;
    EXPECT_EQ(d->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo *info = nullptr;
    ASSERT_EQ(d->GetTypeInfo(0, 0, &info), S_OK);
    UINT funcs = 0;
    info->GetFuncCount(&funcs);
    ASSERT_EQ(funcs, kProperties.size());
    for (UINT i = 0; i < funcs; ++i) {
        MEMBERID memid = 0;
        info->GetFuncDesc(i, &memid, nullptr, nullptr);
        EXPECT_EQ(memid, kProperties[i].id) << "member " << i;
    }
    info->Release();

    for (const char *proxy : {"", "http_proxy", "ALL_PROXY"}) {
        clearProxyEnvironment();
        if (*proxy)
            setenv(proxy, "http://127.0.0.1:3128", 1);
        const auto expected = netstate::query();
        ASSERT_TRUE(expected.readable);
        for (const auto &p : kProperties) {
            SCOPED_TRACE(std::string(p.name) + " proxy=" + proxy);
            std::u16string name = Utf8ToOle(p.name);
            LPOLESTR names[1] = {name.data()};
            DISPID id = 0;
            ASSERT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
            EXPECT_EQ(id, p.id);

            VARIANT v;
            ASSERT_EQ(invokeGet(d, p.id, v), S_OK);
            ASSERT_EQ(v.vt, VT_BOOL);
            const bool want = p.flag ? (expected.state.flags & p.flag) != 0 : expected.state.online;
            EXPECT_EQ(v.boolVal, want ? VARIANT_TRUE : VARIANT_FALSE) << "true is -1, false 0";

            VARIANT_BOOL bySlot = 1, byMethod = 1;
            ASSERT_EQ(callSlot(nv, p.slot, &bySlot), S_OK);
            EXPECT_EQ(bySlot, v.boolVal);
            switch (p.slot) {
            case 7: nv->get_ConnectedViaLAN(&byMethod); break;
            case 8: nv->get_ConnectedViaModem(&byMethod); break;
            case 9: nv->get_ConnectedViaProxy(&byMethod); break;
            default: nv->get_ConnectedOnline(&byMethod); break;
            }
            EXPECT_EQ(byMethod, bySlot);
            if (p.id == netvane::DISPID_ConnectedViaProxy) {
                EXPECT_EQ(bySlot, *proxy ? VARIANT_TRUE : VARIANT_FALSE);
            }
        }
    }
    clearProxyEnvironment();
    EXPECT_EQ(nv->get_ConnectedOnline(nullptr), E_POINTER);
    nv->Release();
    d->Release();
}

TEST_F(NetvaneTest, PropertiesFollowTheNamespaceTheyAreReadIn)
{
    if (!netns::available())
        GTEST_SKIP() << "needs root, network namespaces and the ip tool";
    ASSERT_EQ(registerServer_(), S_OK);
    auto r = netns::run([this] {
        std::string out;
        IDispatch *d = createByProgId();
        if (!d)
            return std::string("create failed");
        VARIANT online, lan;
        invokeGet(d, netvane::DISPID_ConnectedOnline, online);
        out += std::to_string(online.boolVal);
        if (!netns::addVethWithDefaultRoute())
            return std::string("setup failed");
        // The same object answers afresh: nothing is cached.
        invokeGet(d, netvane::DISPID_ConnectedOnline, online);
        invokeGet(d, netvane::DISPID_ConnectedViaLAN, lan);
        out += " " + std::to_string(online.boolVal) + " " + std::to_string(lan.boolVal);
        d->Release();
        return out;
    });
    ASSERT_TRUE(r.completed);
    EXPECT_EQ(r.output, "0 -1 -1");
}

TEST_F(NetvaneTest, UnreadableConnectionStateReachesTheHostAsAFailure)
{
    ASSERT_EQ(registerServer_(), S_OK);
    IDispatch *d = createByProgId();
    ASSERT_NE(d, nullptr);
    _Netvane *nv = nullptr;
    ASSERT_EQ(d->QueryInterface(netvane::IID__Netvane, reinterpret_cast<void **>(&nv)), S_OK);
    // The same calls once here, where they succeed: the child below has no
    // file descriptors left for the sanitizer's first look at these types.
    VARIANT_BOOL warm = 0;
    ASSERT_EQ(nv->get_ConnectedOnline(&warm), S_OK);
    VARIANT warmValue;
    ASSERT_EQ(invokeGet(d, netvane::DISPID_ConnectedViaLAN, warmValue), S_OK);
    const ChildResult child = runInChild([&] {
        // Without file descriptors the kernel's state cannot be read.
        rlimit none{0, 0};
        setrlimit(RLIMIT_NOFILE, &none);
        VARIANT_BOOL b = 7;
        HRESULT early = nv->get_ConnectedOnline(&b);
        VARIANT v;
        VariantInit(&v);
        EXCEPINFO ex{};
        DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
        HRESULT late =
            d->Invoke(netvane::DISPID_ConnectedViaLAN, IID_NULL, 0, DISPATCH_PROPERTYGET, &noArgs, &v, &ex, nullptr);
        std::string out = HResultHex(early) + " " + std::to_string(b) + " " + HResultHex(late) + " " +
                          HResultHex(ex.scode) + " " + std::to_string(v.vt);
        ClearExcepInfo(&ex);
        return out;
    });
    nv->Release();
    d->Release();
    ASSERT_TRUE(child.completed);
    EXPECT_EQ(child.output, "0x80004005 7 0x80020009 0x80004005 0") << "a failure status and no value, never a guess";
}

#ifndef NDEBUG
TEST_F(NetvaneTest, CallingFromAnotherThreadIsCaughtInDebugBuilds)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_EQ(registerServer_(), S_OK);
    IDispatch *d = createByProgId();
    ASSERT_NE(d, nullptr);
    EXPECT_DEATH(
        {
            std::thread t([d] {
                VARIANT v;
                invokeGet(d, netvane::DISPID_ConnectedOnline, v);
            });
            t.join();
        },
        "thread that created it");
    d->Release();
}
#endif

// ---------------------------------------------------------------------------
// Registration

TEST_F(NetvaneTest, RegistrationWritesEveryEntry)
{
    ASSERT_EQ(registerServer_(), S_OK);
    const std::string self = fs::canonical(kLibrary).string();
    const std::string cls = "CLSID\\{876FE8FE-D42A-41FB-9020-ECB11B32F145}";
    const std::string lib = "TypeLib\\{60096899-8E37-44E6-9D07-CD3047EAE329}\\1.0";
    const std::string marshaller = "{00020424-0000-0000-C000-000000000046}";
    struct Entry {
        std::string key, value, data;
    };
    const std::vector<Entry> entries = {
        {cls + "\\InprocServer32", "", self},
        {cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {cls + "\\ProgID", "", "Vanelink.Netvane"},
        {cls + "\\ToolboxBitmap32", "", self + ", 30000"},
        {cls + "\\MiscStatus\\1", "", "132497"},
        {cls + "\\TypeLib", "", "{60096899-8E37-44E6-9D07-CD3047EAE329}"},
        {cls + "\\Version", "", "1.0"},
        {"Vanelink.Netvane\\CLSID", "", "{876FE8FE-D42A-41FB-9020-ECB11B32F145}"},
        {lib, "", "Vanelink"},
        {lib + "\\0\\" + TypeLibPlatformKey(), "", self},
        {lib + "\\FLAGS", "", "2"},
        {lib + "\\HELPDIR", "", fs::path(self).parent_path().string()},
        {"Interface\\{04BE33B5-1345-42C5-8965-11EFA8A2DCF1}", "", "_Netvane"},
        {"Interface\\{04BE33B5-1345-42C5-8965-11EFA8A2DCF1}\\ProxyStubClsid32", "", marshaller},
        {"Interface\\{04BE33B5-1345-42C5-8965-11EFA8A2DCF1}\\TypeLib", "", "{60096899-8E37-44E6-9D07-CD3047EAE329}"},
        {"Interface\\{4FF53BEE-6A80-4D71-903E-678051706651}", "", "__Netvane"},
        {"Interface\\{4FF53BEE-6A80-4D71-903E-678051706651}\\ProxyStubClsid32", "", marshaller},
        {"Interface\\{4FF53BEE-6A80-4D71-903E-678051706651}\\TypeLib", "Version", "1.0"},
    };
    for (const auto &e : entries)
        EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, e.key, e.value).value_or("<missing>"), e.data)
            << e.key << " " << e.value;
    RegKey control;
    EXPECT_EQ(control.open(HKEY_CLASSES_ROOT, cls + "\\Control"), ERROR_SUCCESS) << "the class is marked a control";
    // Written through HKEY_CLASSES_ROOT, kept under HKLM\Software\Classes.
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, "Software\\Classes\\" + cls + "\\InprocServer32", "").has_value());
}

TEST_F(NetvaneTest, RegisteringTwiceLeavesOneConsistentSet)
{
    ASSERT_EQ(registerServer_(), S_OK);
    const std::string once = exportClasses();
    // A stale value left in an owned key by some older registration goes.
    ASSERT_EQ(RegWriteString(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(netvane::CLSID_Netvane) + "\\InprocServer32",
                             "Stale", "x"),
              ERROR_SUCCESS);
    ASSERT_EQ(registerServer_(), S_OK);
    EXPECT_EQ(exportClasses(), once);
}

TEST_F(NetvaneTest, UnregisteringRemovesItsEntriesAndNothingElse)
{
    // Neighbours: another class, another interface, another version of the
    // same type library, and a value on the shared CLSID key.
    ASSERT_EQ(RegWriteString(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32", "",
                             "/opt/other.so"),
              ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(HKEY_CLASSES_ROOT, "Interface\\{11111111-2222-3333-4444-666666666666}", "", "IOther"),
              ERROR_SUCCESS);
    ASSERT_EQ(
        RegWriteString(HKEY_CLASSES_ROOT, "TypeLib\\{60096899-8E37-44E6-9D07-CD3047EAE329}\\2.0", "", "Vanelink 2"),
        ERROR_SUCCESS);
    ASSERT_EQ(RegWriteString(HKEY_CLASSES_ROOT, "CLSID", "Note", "shared"), ERROR_SUCCESS);
    const std::string before = exportClasses();

    ASSERT_EQ(registerServer_(), S_OK);
    EXPECT_NE(exportClasses(), before);
    ASSERT_EQ(unregisterServer_(), S_OK);
    EXPECT_EQ(exportClasses(), before);

    // Without neighbours, the type library's own key goes as well, but the
    // shared parents stay.
    ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "TypeLib\\{60096899-8E37-44E6-9D07-CD3047EAE329}"), ERROR_SUCCESS);
    ASSERT_EQ(registerServer_(), S_OK);
    ASSERT_EQ(unregisterServer_(), S_OK);
    RegKey key;
    EXPECT_EQ(key.open(HKEY_CLASSES_ROOT, "TypeLib\\{60096899-8E37-44E6-9D07-CD3047EAE329}"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.open(HKEY_CLASSES_ROOT, "TypeLib"), ERROR_SUCCESS);
    EXPECT_EQ(unregisterServer_(), S_OK) << "unregistering what is not registered is no failure";

    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(netvane::kProgID, &clsid), REGDB_E_CLASSNOTREG);
}

TEST_F(NetvaneTest, RegistrationFailsCleanlyWhenTheHiveIsDamaged)
{
    const fs::path hive = registry_ / "HKLM.reg";
    const std::string damaged = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\n\"broken\n";
    writeFile(hive, damaged);
    EXPECT_TRUE(FAILED(registerServer_()));
    EXPECT_EQ(readFile(hive), damaged) << "the damaged hive is left as it was";
    EXPECT_TRUE(FAILED(unregisterServer_()));
}

// ---------------------------------------------------------------------------
// Type library

TEST_F(NetvaneTest, TypeLibraryIsFoundWhileRegisteredThenGone)
{
    ITypeLib *lib = nullptr;
    EXPECT_EQ(LoadRegTypeLib(netvane::LIBID_Vanelink, 1, 0, 0, &lib), TYPE_E_LIBNOTREGISTERED);
    ASSERT_EQ(registerServer_(), S_OK);
    ASSERT_EQ(LoadRegTypeLib(netvane::LIBID_Vanelink, 1, 0, 0x409, &lib), S_OK);
    lib->Release();
    EXPECT_EQ(LoadRegTypeLib(netvane::LIBID_Vanelink, 2, 0, 0, &lib), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(LoadRegTypeLib(netvane::LIBID_Vanelink, 1, 1, 0, &lib), TYPE_E_LIBNOTREGISTERED);
    ASSERT_EQ(LoadRegTypeLib(netvane::LIBID_Vanelink, 1, 0, 0, &lib), S_OK);

    GUID libid;
    WORD major = 0, minor = 9, flags = 0;
    LCID lcid = 0;
    lib->GetLibAttr(&libid, &major, &minor, &lcid, &flags);
    EXPECT_EQ(libid, netvane::LIBID_Vanelink);
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(lcid, 0x409u);
    EXPECT_EQ(flags, LIBFLAG_FCONTROL);
    BSTR name = nullptr, help = nullptr, file = nullptr;
    lib->GetDocumentation(&name, &help, &file);
    EXPECT_EQ(OleToUtf8(name), "Vanelink");
    EXPECT_EQ(OleToUtf8(help), "Vanelink");
    EXPECT_EQ(OleToUtf8(file), "Netvane.chm");
    SysFreeString(name);
    SysFreeString(help);
    SysFreeString(file);

    // Three types in order: the interface, the class, the event interface.
    ASSERT_EQ(lib->GetTypeInfoCount(), 3u);
    const GUID order[3] = {netvane::IID__Netvane, netvane::CLSID_Netvane, netvane::DIID___Netvane};
    const TYPEKIND kinds[3] = {TKIND_INTERFACE, TKIND_COCLASS, TKIND_DISPATCH};
    const WORD typeFlags[3] = {TYPEFLAG_FDUAL | TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION,
                               TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL, TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE};
    for (UINT i = 0; i < 3; ++i) {
        ITypeInfo *info = nullptr;
        ASSERT_EQ(lib->GetTypeInfo(i, &info), S_OK);
        GUID g;
        TYPEKIND k;
        WORD f = 0;
        info->GetGuid(&g);
        info->GetTypeKind(&k);
        info->GetTypeFlags(&f);
        EXPECT_EQ(g, order[i]) << i;
        EXPECT_EQ(k, kinds[i]) << i;
        EXPECT_EQ(f, typeFlags[i]) << i;
        UINT funcs = 99;
        info->GetFuncCount(&funcs);
        EXPECT_EQ(funcs, i == 0 ? 4u : 0u) << "the event interface has no members";
        info->Release();
    }
    lib->Release();

    ASSERT_EQ(unregisterServer_(), S_OK);
    EXPECT_EQ(LoadRegTypeLib(netvane::LIBID_Vanelink, 1, 0, 0, &lib), TYPE_E_LIBNOTREGISTERED);
}

// ---------------------------------------------------------------------------
// Unloading

TEST_F(NetvaneTest, CanUnloadOnlyWhenNoObjectOrLockIsAlive)
{
    ASSERT_EQ(registerServer_(), S_OK);
    // The runtime loads its own instance of the file; the test's dlopen
    // shares it, so both see the same counts.
    IDispatch *d = createByProgId();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    IDispatch *second = createByProgId();
    d->Release();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "one object is still alive";
    CoFreeUnusedLibraries();
    EXPECT_EQ(LoadedComLibraries().size(), 1u) << "a library with live objects stays loaded";
    second->Release();
    EXPECT_EQ(canUnloadNow_(), S_OK);

    IClassFactory *factory = nullptr;
    ASSERT_EQ(CoGetClassObject(netvane::CLSID_Netvane, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void **>(&factory)),
              S_OK);
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "a held factory keeps the library";
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "a lock keeps the library";
    factory->LockServer(FALSE); // the static factory outlives its references
    EXPECT_EQ(canUnloadNow_(), S_OK);

    CoFreeUnusedLibraries();
    EXPECT_TRUE(LoadedComLibraries().empty());
    // Creating again loads it again.
    IDispatch *again = createByProgId();
    ASSERT_NE(again, nullptr);
    again->Release();
}

// ---------------------------------------------------------------------------
// The file

TEST_F(NetvaneTest, ExportsExactlyTheFourEntryPoints)
{
    const ProcessResult nm = runProgram({"nm", "-D", "--defined-only", "--format=posix", kLibrary});
    ASSERT_EQ(nm.status, 0) << nm.err;
    std::set<std::string> exported;
    std::istringstream lines(nm.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string name, type;
        fields >> name >> type;
        // Text and data symbols; the loader's own version markers (type A)
        // name no code.
        if (!name.empty() && type != "A")
            exported.insert(name);
    }
    EXPECT_EQ(exported, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                                               "DllUnregisterServer"}));
    // C linkage: the plain names resolve; the runtime's own code does not.
    EXPECT_NE(dlsym(handle_, "DllGetClassObject"), nullptr);
    EXPECT_EQ(dlsym(handle_, "InternetGetConnectedState"), nullptr);
}

TEST_F(NetvaneTest, ToolsRegisterReadAndUnregisterEndToEnd)
{
    const ProcessResult identity = runProgram({kRegsvr, "-i", kLibrary});
    ASSERT_EQ(identity.status, 0) << identity.err;
    for (const char *line :
         {"FileVersion=1.02.0005", "ProductVersion=1.02.0005", "ProductName=Netvane", "InternalName=Netvane",
          "OriginalFilename=Netvane.ocx", "OLESelfRegister=", "CompanyName=Vanelink"})
        EXPECT_NE(identity.out.find(std::string(line) + "\n"), std::string::npos) << line;
    EXPECT_TRUE(exportClasses().empty()) << "reading the identity registers nothing";

    const ProcessResult before = runProgram({kDispget, "Vanelink.Netvane", "ConnectedOnline"});
    EXPECT_NE(before.status, 0);
    EXPECT_NE(before.err.find("0x80040154 Class not registered"), std::string::npos) << before.err;

    const ProcessResult reg = runProgram({kRegsvr, kLibrary});
    ASSERT_EQ(reg.status, 0) << reg.err;
    EXPECT_NE(reg.out.find("succeeded"), std::string::npos);

    const auto state = netstate::query();
    ASSERT_TRUE(state.readable);
    const ProcessResult online = runProgram({kDispget, "Vanelink.Netvane", "ConnectedOnline"});
    EXPECT_EQ(online.status, 0) << online.err;
    EXPECT_EQ(online.out, state.state.online ? "-1\n" : "0\n");
    setenv("http_proxy", "http://p:1", 1);
    const ProcessResult byId = runProgram({kDispget, "{876FE8FE-D42A-41FB-9020-ECB11B32F145}", "0x68030001"});
    unsetenv("http_proxy");
    EXPECT_EQ(byId.out, "-1\n");
    const ProcessResult bad = runProgram({kDispget, "Vanelink.Netvane", "0x68030004"});
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.err.find("0x80020003"), std::string::npos) << bad.err;

    if (geteuid() == 0) {
        const ProcessResult isolated =
            runProgram({"unshare", "--net", kDispget, "Vanelink.Netvane", "ConnectedOnline"});
        if (isolated.status == 0) {
            EXPECT_EQ(isolated.out, "0\n") << "no route in a fresh namespace";
        }
    }

    const ProcessResult unreg = runProgram({kRegsvr, "-u", kLibrary});
    EXPECT_EQ(unreg.status, 0) << unreg.err;
    const ProcessResult after = runProgram({kDispget, "Vanelink.Netvane", "ConnectedOnline"});
    EXPECT_NE(after.err.find("0x80040154"), std::string::npos) << after.err;

    EXPECT_EQ(runProgram({kRegsvr, (registry_ / "nothing.so").string()}).status, 3);
    EXPECT_EQ(runProgram({kRegsvr}).status, 1);
}

// ---------------------------------------------------------------------------
// Registry failures reach the host and the tools as what they are

TEST_F(NetvaneTest, ADamagedHiveIsAReadFailureNamedByTheTools)
{
    ASSERT_EQ(registerServer_(), S_OK);
    const fs::path hive = registry_ / "HKLM.reg";
    const std::string damaged = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\n\"broken\n";
    writeFile(hive, damaged);

    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(netvane::kProgID, &clsid), REGDB_E_READREGDB);
    IUnknown *unk = nullptr;
    EXPECT_EQ(CoCreateInstance(netvane::CLSID_Netvane, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void **>(&unk)),
              REGDB_E_READREGDB);
    EXPECT_NE(RegLastErrorMessage().find(hive.string()), std::string::npos) << RegLastErrorMessage();

    const ProcessResult get = runProgram({kDispget, "Vanelink.Netvane", "ConnectedOnline"});
    EXPECT_EQ(get.status, 1);
    EXPECT_NE(get.err.find("0x80040150 Could not read key from registry\n"), std::string::npos) << get.err;
    EXPECT_NE(get.err.find("dispget: the registry hive " + hive.string() + " is damaged (line 3"), std::string::npos)
        << get.err;

    const ProcessResult reg = runProgram({kRegsvr, kLibrary});
    EXPECT_EQ(reg.status, 5);
    EXPECT_NE(reg.err.find("regsvr: the registry hive " + hive.string() + " is damaged (line 3"), std::string::npos)
        << reg.err;
    EXPECT_EQ(readFile(hive), damaged);
}

TEST_F(NetvaneTest, RegsvrOnAFullDiskSaysSo)
{
    // A registry folder on a small file system that is full, in a mount
    // namespace of a child of its own.
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for a private mount";
    const ChildResult child = runInChild([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return "skip: no mount namespace";
        if (mount("quillan-full", registry_.path().c_str(), "tmpfs", 0, "size=64k") != 0)
            return "skip: no tmpfs";
        {
            std::ofstream filler(registry_ / "filler", std::ios::binary);
            const std::string block(4096, 'x');
            while (filler.write(block.data(), block.size()))
                ;
        }
        const ProcessResult reg = runProgram({kRegsvr, kLibrary});
        return std::to_string(reg.status) + "\n" + reg.err;
    });
    ASSERT_TRUE(child.completed);
    if (child.output.rfind("skip:", 0) == 0)
        GTEST_SKIP() << child.output;
    EXPECT_EQ(child.output.substr(0, 2), "5\n") << child.output;
    EXPECT_NE(child.output.find("regsvr: cannot write the registry hive " + registry_.path().string()),
              std::string::npos)
        << child.output;
    EXPECT_NE(child.output.find("No space left on device"), std::string::npos) << child.output;
}

TEST_F(NetvaneTest, ARelativeServerPathIsNeverLoaded)
{
    ASSERT_EQ(registerServer_(), S_OK);
    const std::string key = "CLSID\\" + GuidToString(netvane::CLSID_Netvane) + "\\InprocServer32";
    // Relative to the working folder, and a bare name for the library
    // search path: both would find the library.
    const std::string relative = fs::relative(kLibrary).string();
    for (const std::string &path : {relative, std::string("./") + relative, fs::path(kLibrary).filename().string()}) {
        ASSERT_EQ(RegWriteString(HKEY_CLASSES_ROOT, key, "", path), ERROR_SUCCESS);
        IUnknown *unk = nullptr;
        EXPECT_EQ(CoCreateInstance(netvane::CLSID_Netvane, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void **>(&unk)),
                  CO_E_DLLNOTFOUND)
            << path;
        EXPECT_EQ(unk, nullptr);
        EXPECT_TRUE(LoadedComLibraries().empty()) << path;
    }
}
