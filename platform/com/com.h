// The binary interface of the component model, as plain C++: identifiers,
// status codes, the automation value types late binding needs, and the
// IUnknown / IClassFactory / IDispatch interfaces in the platform's
// virtual-table order.
//
// Interfaces are abstract classes with pure virtual member functions only and
// no virtual destructor, so that the virtual table holds exactly the methods
// in declaration order: IUnknown (QueryInterface, AddRef, Release), then
// IClassFactory (CreateInstance, LockServer) or IDispatch (GetTypeInfoCount,
// GetTypeInfo, GetIDsOfNames, Invoke). Objects are deleted by their own
// Release, never through an interface pointer.
//
// Threading: the apartment model. An object is created on one thread and is
// called on that thread only; objects of this runtime assert it in debug
// builds. The activation functions themselves may be called from any thread.
//
// Text: the narrow functions of this runtime take UTF-8; OLECHAR is 16 bits
// wide (UTF-16) as in the platform, and BSTR is a length-prefixed OLECHAR
// string allocated by SysAllocString.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = std::int32_t;
using LCID = DWORD;
using HRESULT = std::int32_t;
using SCODE = HRESULT;
using DISPID = LONG;
using MEMBERID = DISPID;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR *;
using LPCOLESTR = const OLECHAR *;
using BSTR = OLECHAR *;

// Some C headers define these as macros; then theirs serve.
#ifndef TRUE
inline constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
inline constexpr BOOL FALSE = 0;
#endif

// Automation Booleans: true is all bits set.
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// ---------------------------------------------------------------------------
// Identifiers

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::uint8_t Data4[8] = {};

    friend constexpr bool operator==(const GUID &a, const GUID &b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i])
                return false;
        return true;
    }
};
static_assert(sizeof(GUID) == 16, "GUID must keep its 16-byte binary layout");

using IID = GUID;
using CLSID = GUID;
using REFIID = const IID &;
using REFCLSID = const CLSID &;
using REFGUID = const GUID &;

inline constexpr bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return a == b;
}

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ITypeInfo{0x00020401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_ITypeLib{0x00020402, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// The automation marshaller (PSOAInterface), named as the proxy/stub of
// dispatch-based interfaces.
inline constexpr CLSID CLSID_PSOAInterface{
    0x00020424, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case hexadecimal.
std::string GuidToString(REFGUID guid);
// Parses the braced form (hex digits in either case). Empty when malformed.
std::optional<GUID> GuidFromString(std::string_view text);

// ---------------------------------------------------------------------------
// Status codes

inline constexpr HRESULT hresultOf(std::uint32_t bits)
{
    return static_cast<HRESULT>(bits);
}
inline constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}
inline constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error)
{
    return error == 0 ? 0 : hresultOf((error & 0xFFFFu) | 0x80070000u);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = hresultOf(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = hresultOf(0x80004002);
inline constexpr HRESULT E_POINTER = hresultOf(0x80004003);
inline constexpr HRESULT E_ABORT = hresultOf(0x80004004);
inline constexpr HRESULT E_FAIL = hresultOf(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = hresultOf(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = hresultOf(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = hresultOf(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = hresultOf(0x80070057);
inline constexpr HRESULT RPC_E_WRONG_THREAD = hresultOf(0x8001010E);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = hresultOf(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = hresultOf(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = hresultOf(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = hresultOf(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = hresultOf(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = hresultOf(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = hresultOf(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = hresultOf(0x80020009);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = hresultOf(0x8002000E);
inline constexpr HRESULT TYPE_E_INVDATAREAD = hresultOf(0x80028018);
inline constexpr HRESULT TYPE_E_UNSUPFORMAT = hresultOf(0x80028019);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = hresultOf(0x8002801D);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = hresultOf(0x8002802B);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = hresultOf(0x80029C4A);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = hresultOf(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresultOf(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = hresultOf(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = hresultOf(0x80040151);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = hresultOf(0x80040154);
inline constexpr HRESULT SELFREG_E_TYPELIB = hresultOf(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = hresultOf(0x80040201);
inline constexpr HRESULT CO_E_CLASSSTRING = hresultOf(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = hresultOf(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = hresultOf(0x800401F9);

// What a status means, in words ("Class not registered" ...); a generic
// text for codes this runtime does not know.
std::string HResultMessage(HRESULT hr);
// "0x80040154".
std::string HResultHex(HRESULT hr);

// ---------------------------------------------------------------------------
// Automation values

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
};

struct IUnknown;
struct IDispatch;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        std::int16_t iVal;
        LONG lVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IUnknown *punkVal;
        IDispatch *pdispVal;
        std::uint64_t padding[2];
    };
};
using VARIANTARG = VARIANT;

void VariantInit(VARIANT *v);
// Frees what the value owns (a BSTR, an interface reference) and empties it.
HRESULT VariantClear(VARIANT *v);

BSTR SysAllocString(const OLECHAR *text);
BSTR SysAllocStringLen(const OLECHAR *text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
// Conversions between UTF-8 and BSTR / OLECHAR text (ASCII and the basic
// multilingual plane; enough for names and messages).
BSTR SysAllocStringUtf8(std::string_view text);
std::u16string Utf8ToOle(std::string_view text);
std::string OleToUtf8(const OLECHAR *text);

struct DISPPARAMS {
    VARIANTARG *rgvarg;
    DISPID *rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void *pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO *);
    SCODE scode;
};
// Frees the strings of an exception record and empties it.
void ClearExcepInfo(EXCEPINFO *info);

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr LCID LOCALE_NEUTRAL = 0;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;

// ---------------------------------------------------------------------------
// Interfaces

struct ITypeInfo;

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void **ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT *pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid, DISPID *rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS *pDispParams,
                           VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr) = 0;

protected:
    ~IDispatch() = default;
};

// Number of IUnknown + IDispatch slots: the first own member of a dual
// interface sits at this index of its virtual table.
inline constexpr UINT kDispatchVtableSlots = 7;

// Signatures of the in-process server exports.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID rclsid, REFIID riid, void **ppv);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

} // namespace platform
