// The Netvane control, its class factory, and the exports that hand them
// out and tell whether the library may be unloaded.
#include "netvane/module.h"
#include "netvane/netvane_ids.h"
#include "platform/com/object.h"
#include "platform/netstate/netstate.h"

#include <cassert>
#include <thread>

using namespace platform;

#define NETVANE_EXPORT extern "C" __attribute__((visibility("default")))

namespace netvane {

namespace {

constexpr HRESULT DISP_E_BADINDEX = hresultOf(0x8002000B);

// The control. It holds nothing but its reference count and, for the
// apartment check, the thread that created it: every property read asks
// the connection state afresh.
class Netvane final : public RefCounted<Netvane, _Netvane, ULONG> {
public:
    Netvane() : owner_(std::this_thread::get_id()) { ++detail::liveObjects; }

    HRESULT QueryInterface(REFIID riid, void **ppv) override
    {
        checkApartment();
        return QueryInterfaceFor<_Netvane>(this, riid, ppv, {IID_IUnknown, IID_IDispatch, IID__Netvane});
    }

    HRESULT GetTypeInfoCount(UINT *pctinfo) override
    {
        checkApartment();
        if (!pctinfo)
            return E_POINTER;
        *pctinfo = detail::netvaneTypeInfo() ? 1 : 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT iTInfo, LCID, ITypeInfo **ppTInfo) override
    {
        checkApartment();
        if (!ppTInfo)
            return E_POINTER;
        *ppTInfo = nullptr;
        ITypeInfo *info = detail::netvaneTypeInfo();
        if (iTInfo != 0 || !info)
            return DISP_E_BADINDEX;
        info->AddRef();
        *ppTInfo = info;
        return S_OK;
    }
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID, DISPID *rgDispId) override
    {
        ITypeInfo *info = nullptr;
        if (const HRESULT hr = bindingInfo(riid, info); FAILED(hr))
            return hr;
        return info->GetIDsOfNames(rgszNames, cNames, rgDispId);
    }
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS *pDispParams, VARIANT *pVarResult,
                   EXCEPINFO *pExcepInfo, UINT *puArgErr) override
    {
        ITypeInfo *info = nullptr;
        if (const HRESULT hr = bindingInfo(riid, info); FAILED(hr))
            return hr;
        return DispInvoke(static_cast<_Netvane *>(this), info, dispIdMember, wFlags, pDispParams, pVarResult,
                          pExcepInfo, puArgErr);
    }

    // The bit properties look only at the flag word, ConnectedOnline only
    // at the query's return value.
    HRESULT get_ConnectedViaLAN(VARIANT_BOOL *value) override { return readFlag(INTERNET_CONNECTION_LAN, value); }
    HRESULT get_ConnectedViaModem(VARIANT_BOOL *value) override { return readFlag(INTERNET_CONNECTION_MODEM, value); }
    HRESULT get_ConnectedViaProxy(VARIANT_BOOL *value) override { return readFlag(INTERNET_CONNECTION_PROXY, value); }
    HRESULT get_ConnectedOnline(VARIANT_BOOL *value) override
    {
        return readState(value, [](BOOL online, DWORD) { return online != 0; });
    }

private:
    friend RefCounted;
    ~Netvane() { --detail::liveObjects; }

    // What both late-binding calls check first: the calling thread, the
    // reserved interface identifier, and the description to bind against.
    HRESULT bindingInfo(REFIID riid, ITypeInfo *&info) const
    {
        checkApartment();
        if (riid != IID_NULL)
            return DISP_E_UNKNOWNINTERFACE;
        info = detail::netvaneTypeInfo();
        return info ? S_OK : E_UNEXPECTED;
    }

    HRESULT readFlag(DWORD bit, VARIANT_BOOL *value)
    {
        return readState(value, [bit](BOOL, DWORD flags) { return (flags & bit) != 0; });
    }

    // One query per read, answered by `answer(returnValue, flags)`; a
    // connection state that cannot be read is a failure, not an answer.
    template <typename Answer>
    HRESULT readState(VARIANT_BOOL *value, Answer answer)
    {
        checkApartment();
        if (!value)
            return E_POINTER;
        DWORD flags = 0;
        const BOOL online = InternetGetConnectedState(&flags, 0);
        if (!online && NetstateLastError() != 0)
            return E_FAIL;
        *value = answer(online, flags) ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    void checkApartment() const
    {
        assert(std::this_thread::get_id() == owner_ && "a Netvane object is called on the thread that created it");
    }

    std::thread::id owner_;
};

// The class factory: one static instance; its references and locks keep
// the library loaded.
class NetvaneFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(REFIID riid, void **ppv) override
    {
        return QueryInterfaceFor<IClassFactory>(this, riid, ppv, {IID_IUnknown, IID_IClassFactory});
    }
    ULONG AddRef() override { return static_cast<ULONG>(++detail::factoryReferences) + 1; }
    ULONG Release() override { return static_cast<ULONG>(--detail::factoryReferences) + 1; }

    HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (pUnkOuter)
            return CLASS_E_NOAGGREGATION;
        auto *object = new Netvane();
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT LockServer(BOOL fLock) override
    {
        if (fLock)
            ++detail::serverLocks;
        else if (detail::serverLocks > 0)
            --detail::serverLocks;
        return S_OK;
    }
};

NetvaneFactory factory;

} // namespace

} // namespace netvane

NETVANE_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != netvane::CLSID_Netvane)
        return CLASS_E_CLASSNOTAVAILABLE;
    return netvane::factory.QueryInterface(riid, ppv);
}

NETVANE_EXPORT HRESULT DllCanUnloadNow()
{
    using namespace netvane::detail;
    return liveObjects == 0 && serverLocks == 0 && factoryReferences == 0 ? S_OK : S_FALSE;
}
