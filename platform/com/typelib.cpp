// The ITypeLib / ITypeInfo objects over a parsed type library description,
// and making them from description text or from a library file.
#include "platform/com/typelib.h"

#include "base/text.h"
#include "platform/com/object.h"

#include <algorithm>
#include <memory>

namespace platform {

namespace {

// Hands a value out through a caller's pointer.
template <typename T>
HRESULT writeOut(T *out, const T &value)
{
    if (!out)
        return E_POINTER;
    *out = value;
    return S_OK;
}

class TypeInfoImpl final : public RefCounted<TypeInfoImpl, ITypeInfo> {
public:
    TypeInfoImpl(std::shared_ptr<const LibraryDescription> lib, std::size_t index) : lib_(std::move(lib)), index_(index)
    {}

    HRESULT QueryInterface(REFIID riid, void **ppv) override
    {
        return QueryInterfaceFor<ITypeInfo>(this, riid, ppv, {IID_IUnknown, IID_ITypeInfo});
    }

    HRESULT GetTypeKind(TYPEKIND *kind) override { return writeOut(kind, type().kind); }
    HRESULT GetGuid(GUID *guid) override { return writeOut(guid, type().guid); }
    HRESULT GetTypeFlags(WORD *flags) override { return writeOut(flags, type().flags); }
    HRESULT GetFuncCount(UINT *count) override { return writeOut(count, static_cast<UINT>(type().members.size())); }
    HRESULT GetFuncDesc(UINT index, MEMBERID *memid, INVOKEKIND *kind, VARTYPE *resultType) override
    {
        const auto &members = type().members;
        if (index >= members.size())
            return TYPE_E_ELEMENTNOTFOUND;
        if (memid)
            *memid = members[index].memid;
        if (kind)
            *kind = members[index].kind;
        if (resultType)
            *resultType = members[index].resultType;
        return S_OK;
    }
    HRESULT GetIDsOfNames(LPOLESTR *names, UINT count, MEMBERID *ids) override
    {
        if (!names || !ids)
            return E_POINTER;
        if (count == 0)
            return E_INVALIDARG;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        // The first name is the member; further names would be its
        // parameters, and these members take none.
        std::string wanted = OleToUtf8(names[0]);
        bool found = false;
        for (const auto &m : type().members) {
            if (base::EqualsNoCase(m.name, wanted)) {
                ids[0] = m.memid;
                found = true;
                break;
            }
        }
        if (!found || count > 1)
            hr = DISP_E_UNKNOWNNAME;
        return hr;
    }
    HRESULT GetName(MEMBERID memid, BSTR *name) override
    {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        if (memid == DISPID_UNKNOWN) {
            *name = SysAllocStringUtf8(type().name);
            return S_OK;
        }
        for (const auto &m : type().members) {
            if (m.memid == memid) {
                *name = SysAllocStringUtf8(m.name);
                return S_OK;
            }
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }

private:
    friend RefCounted;
    ~TypeInfoImpl() = default;
    const TypeDescription &type() const { return lib_->types[index_]; }

    std::shared_ptr<const LibraryDescription> lib_;
    std::size_t index_;
};

class TypeLibImpl final : public RefCounted<TypeLibImpl, ITypeLib> {
public:
    explicit TypeLibImpl(LibraryDescription d) : lib_(std::make_shared<const LibraryDescription>(std::move(d))) {}

    HRESULT QueryInterface(REFIID riid, void **ppv) override
    {
        return QueryInterfaceFor<ITypeLib>(this, riid, ppv, {IID_IUnknown, IID_ITypeLib});
    }

    UINT GetTypeInfoCount() override { return static_cast<UINT>(lib_->types.size()); }
    HRESULT GetTypeInfo(UINT index, ITypeInfo **out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (index >= lib_->types.size())
            return TYPE_E_ELEMENTNOTFOUND;
        *out = new TypeInfoImpl(lib_, index);
        return S_OK;
    }
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo **out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        for (std::size_t i = 0; i < lib_->types.size(); ++i)
            if (lib_->types[i].guid == guid)
                return GetTypeInfo(static_cast<UINT>(i), out);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetLibAttr(GUID *libid, WORD *major, WORD *minor, LCID *lcid, WORD *flags) override
    {
        if (libid)
            *libid = lib_->libid;
        if (major)
            *major = lib_->majorVersion;
        if (minor)
            *minor = lib_->minorVersion;
        if (lcid)
            *lcid = lib_->lcid;
        if (flags)
            *flags = lib_->flags;
        return S_OK;
    }
    HRESULT GetDocumentation(BSTR *name, BSTR *helpString, BSTR *helpFile) override
    {
        if (name)
            *name = SysAllocStringUtf8(lib_->name);
        if (helpString)
            *helpString = SysAllocStringUtf8(lib_->helpString);
        if (helpFile)
            *helpFile = SysAllocStringUtf8(lib_->helpFile);
        return S_OK;
    }

private:
    friend RefCounted;
    ~TypeLibImpl() = default;
    std::shared_ptr<const LibraryDescription> lib_;
};

} // namespace

HRESULT CreateTypeLib(LibraryDescription description, ITypeLib **out)
{
    if (!out)
        return E_POINTER;
    *out = new TypeLibImpl(std::move(description));
    return S_OK;
}

HRESULT CreateTypeLibFromText(std::string_view text, ITypeLib **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    LibraryDescription d;
    HRESULT hr = ParseTypeLibraryText(text, d);
    if (FAILED(hr))
        return hr;
    return CreateTypeLib(std::move(d), out);
}

HRESULT LoadTypeLibFromFile(const std::filesystem::path &file, ITypeLib **out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    auto text = ReadElfSection(file, kTypeLibSection);
    if (!text)
        return TYPE_E_CANTLOADLIBRARY;
    return CreateTypeLibFromText(*text, out);
}

} // namespace platform
