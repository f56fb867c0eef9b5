// Late binding: DispInvoke calls a dual interface's property getters by
// their dispatch identifiers, as the type library describes them.
#include "platform/com/typelib.h"

#include <cstring>

namespace platform {

namespace {

using BoolGetter = HRESULT (*)(void *, VARIANT_BOOL *);
using LongGetter = HRESULT (*)(void *, LONG *);

// Calls virtual-table slot `slot` of a C++ interface object the way the
// platform's binary interface defines it: the object pointer first, then the
// out parameter.
template <typename Fn, typename Out>
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
HRESULT
callSlot(void *object, UINT slot, Out *out)
{
    void *const *vtable = *static_cast<void *const *const *>(object);
    auto fn = reinterpret_cast<Fn>(vtable[slot]);
    return fn(object, out);
}

} // namespace

HRESULT DispInvoke(void *thisInterface, ITypeInfo *typeInfo, DISPID dispIdMember, WORD wFlags, DISPPARAMS *pDispParams,
                   VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr)
{
    (void)puArgErr;
    if (!thisInterface || !typeInfo)
        return E_INVALIDARG;
    UINT count = 0;
    typeInfo->GetFuncCount(&count);
    UINT index = count;
    MEMBERID memid = 0;
    INVOKEKIND kind = INVOKE_PROPERTYGET;
    VARTYPE type = VT_EMPTY;
    for (UINT i = 0; i < count; ++i) {
        if (SUCCEEDED(typeInfo->GetFuncDesc(i, &memid, &kind, &type)) && memid == dispIdMember) {
            index = i;
            break;
        }
    }
    if (index == count)
        return DISP_E_MEMBERNOTFOUND;
    // Read-only properties: only a get (which a caller may also spell as a
    // method call) reaches them.
    if (!(wFlags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) || kind != INVOKE_PROPERTYGET)
        return DISP_E_MEMBERNOTFOUND;
    if (!pDispParams)
        return E_INVALIDARG;
    if (pDispParams->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;
    if (pDispParams->cArgs != 0)
        return DISP_E_BADPARAMCOUNT;

    UINT slot = kDispatchVtableSlots + index;
    HRESULT hr = E_FAIL;
    VARIANT value;
    VariantInit(&value);
    if (type == VT_BOOL) {
        VARIANT_BOOL b = VARIANT_FALSE;
        hr = callSlot<BoolGetter>(thisInterface, slot, &b);
        value.vt = VT_BOOL;
        value.boolVal = b;
    } else if (type == VT_I4) {
        LONG l = 0;
        hr = callSlot<LongGetter>(thisInterface, slot, &l);
        value.vt = VT_I4;
        value.lVal = l;
    } else {
        return DISP_E_BADVARTYPE;
    }

    if (FAILED(hr)) {
        if (pExcepInfo) {
            std::memset(pExcepInfo, 0, sizeof *pExcepInfo);
            pExcepInfo->scode = hr;
            BSTR memberName = nullptr;
            typeInfo->GetName(DISPID_UNKNOWN, &memberName);
            pExcepInfo->bstrSource = memberName;
            pExcepInfo->bstrDescription = SysAllocStringUtf8(HResultMessage(hr));
        }
        return DISP_E_EXCEPTION;
    }
    if (pVarResult) {
        VariantClear(pVarResult);
        *pVarResult = value;
    }
    return S_OK;
}

} // namespace platform
