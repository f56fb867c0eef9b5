// Type library description: parsing, the ITypeLib / ITypeInfo objects over
// it, loading from a library file or through the registry, and DispInvoke.
#include "com/typelib.h"

#include "com/object.h"
#include "common/text.h"
#include "registry/registry.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

// Splits a line into blank-separated tokens; "..." keeps blanks, and a
// backslash inside quotes takes the next character literally. An attribute
// like helpstring="a b" stays one token (quotes removed). Returns false on
// an unterminated quote.
bool tokenize(std::string_view line, std::vector<std::string>& tokens)
{
    tokens.clear();
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size())
            break;
        std::string tok;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
            if (line[i] == '"') {
                ++i;
                bool closed = false;
                while (i < line.size()) {
                    if (line[i] == '\\' && i + 1 < line.size()) {
                        tok.push_back(line[i + 1]);
                        i += 2;
                    } else if (line[i] == '"') {
                        ++i;
                        closed = true;
                        break;
                    } else {
                        tok.push_back(line[i++]);
                    }
                }
                if (!closed)
                    return false;
            } else {
                tok.push_back(line[i++]);
            }
        }
        tokens.push_back(std::move(tok));
    }
    return true;
}

bool parseNumber(std::string_view s, std::uint64_t& value, int defaultBase = 10)
{
    int base = defaultBase;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        base = 16;
    }
    if (s.empty())
        return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    return ec == std::errc() && p == s.data() + s.size();
}

bool parseVersion(std::string_view s, WORD& major, WORD& minor)
{
    auto dot = s.find('.');
    if (dot == std::string_view::npos)
        return false;
    std::uint64_t a = 0, b = 0;
    if (!parseNumber(s.substr(0, dot), a) || !parseNumber(s.substr(dot + 1), b) || a > 0xFFFF || b > 0xFFFF)
        return false;
    major = static_cast<WORD>(a);
    minor = static_cast<WORD>(b);
    return true;
}

}  // namespace

HRESULT ParseTypeLibraryText(std::string_view text, LibraryDescription& out, std::string* error)
{
    out = LibraryDescription{};
    auto nul = text.find('\0');
    if (nul != std::string_view::npos)
        text = text.substr(0, nul);

    bool haveLibrary = false;
    std::vector<std::string> tok;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "line " + std::to_string(lineNo) + ": " + why;
        return TYPE_E_UNSUPFORMAT;
    };

    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!tokenize(line, tok))
            return fail("unterminated quote");
        if (tok.empty() || tok[0][0] == '#')
            continue;
        const std::string& kw = tok[0];

        if (kw == "library") {
            if (haveLibrary || tok.size() < 4)
                return fail("bad library line");
            auto id = GuidFromString(tok[2]);
            if (!id || !parseVersion(tok[3], out.majorVersion, out.minorVersion))
                return fail("bad library identifier or version");
            out.name = tok[1];
            out.libid = *id;
            for (std::size_t i = 4; i < tok.size(); ++i) {
                std::string_view a = tok[i];
                auto eq = a.find('=');
                std::string_view key = a.substr(0, eq);
                std::string_view val = eq == std::string_view::npos ? std::string_view{} : a.substr(eq + 1);
                std::uint64_t n = 0;
                if (key == "lcid" && parseNumber(val, n, 16)) {
                    out.lcid = static_cast<LCID>(n);
                } else if (key == "flags") {
                    std::size_t p = 0;
                    while (p <= val.size()) {
                        auto bar = val.find('|', p);
                        std::string_view f = val.substr(p, bar == std::string_view::npos ? val.npos : bar - p);
                        if (f == "control")
                            out.flags |= LIBFLAG_FCONTROL;
                        else if (f == "restricted")
                            out.flags |= LIBFLAG_FRESTRICTED;
                        else if (f == "hidden")
                            out.flags |= LIBFLAG_FHIDDEN;
                        else
                            return fail("unknown library flag");
                        if (bar == std::string_view::npos)
                            break;
                        p = bar + 1;
                    }
                } else if (key == "helpstring") {
                    out.helpString = std::string(val);
                } else if (key == "helpfile") {
                    out.helpFile = std::string(val);
                } else if (key == "helpcontext" && parseNumber(val, n)) {
                    out.helpContext = static_cast<DWORD>(n);
                } else {
                    return fail("unknown library attribute");
                }
            }
            haveLibrary = true;
        } else if (!haveLibrary) {
            return fail("the library line must come first");
        } else if (kw == "importlib") {
            if (tok.size() != 2)
                return fail("bad importlib line");
            out.imports.push_back(tok[1]);
        } else if (kw == "interface" || kw == "dispinterface" || kw == "coclass") {
            if (tok.size() < 4)
                return fail("bad type line");
            TypeDescription t;
            t.kind = kw == "interface" ? TKIND_INTERFACE : kw == "dispinterface" ? TKIND_DISPATCH : TKIND_COCLASS;
            t.name = tok[1];
            auto id = GuidFromString(tok[2]);
            if (!id || !parseVersion(tok[3], t.majorVersion, t.minorVersion))
                return fail("bad type identifier or version");
            t.guid = *id;
            for (std::size_t i = 4; i < tok.size(); ++i) {
                const std::string& f = tok[i];
                if (f == "dual")
                    t.flags |= TYPEFLAG_FDUAL;
                else if (f == "hidden")
                    t.flags |= TYPEFLAG_FHIDDEN;
                else if (f == "nonextensible")
                    t.flags |= TYPEFLAG_FNONEXTENSIBLE;
                else if (f == "oleautomation")
                    t.flags |= TYPEFLAG_FOLEAUTOMATION;
                else if (f == "creatable")
                    t.flags |= TYPEFLAG_FCANCREATE;
                else if (f == "control")
                    t.flags |= TYPEFLAG_FCONTROL;
                else
                    return fail("unknown type flag " + f);
            }
            // A dual interface is also dispatchable and automation compatible.
            if (t.flags & TYPEFLAG_FDUAL)
                t.flags |= TYPEFLAG_FOLEAUTOMATION;
            out.types.push_back(std::move(t));
        } else if (kw == "propget") {
            if (out.types.empty() || out.types.back().kind == TKIND_COCLASS || tok.size() != 4)
                return fail("propget outside an interface");
            MemberDescription m;
            m.name = tok[1];
            std::uint64_t id = 0;
            if (!parseNumber(tok[2], id) || id > 0xFFFFFFFFu)
                return fail("bad dispatch identifier");
            m.memid = static_cast<MEMBERID>(static_cast<std::uint32_t>(id));
            if (tok[3] == "VARIANT_BOOL")
                m.resultType = VT_BOOL;
            else if (tok[3] == "LONG")
                m.resultType = VT_I4;
            else
                return fail("unsupported result type " + tok[3]);
            for (const auto& other : out.types.back().members)
                if (other.memid == m.memid || EqualsNoCase(other.name, m.name))
                    return fail("duplicate member " + m.name);
            out.types.back().members.push_back(std::move(m));
        } else if (kw == "implements") {
            if (out.types.empty() || out.types.back().kind != TKIND_COCLASS || tok.size() < 2)
                return fail("implements outside a coclass");
            ImplementedType it;
            it.name = tok[1];
            for (std::size_t i = 2; i < tok.size(); ++i) {
                if (tok[i] == "default")
                    it.flags |= IMPLTYPEFLAG_FDEFAULT;
                else if (tok[i] == "source")
                    it.flags |= IMPLTYPEFLAG_FSOURCE;
                else
                    return fail("unknown implements flag");
            }
            out.types.back().implemented.push_back(std::move(it));
        } else {
            return fail("unknown keyword " + kw);
        }
    }
    if (!haveLibrary) {
        lineNo = 0;
        return fail("no library line");
    }
    return S_OK;
}

// ---------------------------------------------------------------------------
// Objects

namespace {

// Hands a value out through a caller's pointer.
template <typename T>
HRESULT writeOut(T* out, const T& value)
{
    if (!out)
        return E_POINTER;
    *out = value;
    return S_OK;
}

class TypeInfoImpl final : public RefCounted<TypeInfoImpl, ITypeInfo> {
public:
    TypeInfoImpl(std::shared_ptr<const LibraryDescription> lib, std::size_t index) : lib_(std::move(lib)), index_(index)
    {
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        return QueryInterfaceFor<ITypeInfo>(this, riid, ppv, {IID_IUnknown, IID_ITypeInfo});
    }

    HRESULT GetTypeKind(TYPEKIND* kind) override { return writeOut(kind, type().kind); }
    HRESULT GetGuid(GUID* guid) override { return writeOut(guid, type().guid); }
    HRESULT GetTypeFlags(WORD* flags) override { return writeOut(flags, type().flags); }
    HRESULT GetFuncCount(UINT* count) override { return writeOut(count, static_cast<UINT>(type().members.size())); }
    HRESULT GetFuncDesc(UINT index, MEMBERID* memid, INVOKEKIND* kind, VARTYPE* resultType) override
    {
        const auto& members = type().members;
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
    HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override
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
        for (const auto& m : type().members) {
            if (EqualsNoCase(m.name, wanted)) {
                ids[0] = m.memid;
                found = true;
                break;
            }
        }
        if (!found || count > 1)
            hr = DISP_E_UNKNOWNNAME;
        return hr;
    }
    HRESULT GetName(MEMBERID memid, BSTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = nullptr;
        if (memid == DISPID_UNKNOWN) {
            *name = SysAllocStringUtf8(type().name);
            return S_OK;
        }
        for (const auto& m : type().members) {
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
    const TypeDescription& type() const { return lib_->types[index_]; }

    std::shared_ptr<const LibraryDescription> lib_;
    std::size_t index_;
};

class TypeLibImpl final : public RefCounted<TypeLibImpl, ITypeLib> {
public:
    explicit TypeLibImpl(LibraryDescription d) : lib_(std::make_shared<const LibraryDescription>(std::move(d))) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        return QueryInterfaceFor<ITypeLib>(this, riid, ppv, {IID_IUnknown, IID_ITypeLib});
    }

    UINT GetTypeInfoCount() override { return static_cast<UINT>(lib_->types.size()); }
    HRESULT GetTypeInfo(UINT index, ITypeInfo** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (index >= lib_->types.size())
            return TYPE_E_ELEMENTNOTFOUND;
        *out = new TypeInfoImpl(lib_, index);
        return S_OK;
    }
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        for (std::size_t i = 0; i < lib_->types.size(); ++i)
            if (lib_->types[i].guid == guid)
                return GetTypeInfo(static_cast<UINT>(i), out);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT GetLibAttr(GUID* libid, WORD* major, WORD* minor, LCID* lcid, WORD* flags) override
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
    HRESULT GetDocumentation(BSTR* name, BSTR* helpString, BSTR* helpFile) override
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

}  // namespace

HRESULT CreateTypeLib(LibraryDescription description, ITypeLib** out)
{
    if (!out)
        return E_POINTER;
    *out = new TypeLibImpl(std::move(description));
    return S_OK;
}

HRESULT CreateTypeLibFromText(std::string_view text, ITypeLib** out)
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

HRESULT LoadTypeLibFromFile(const std::filesystem::path& file, ITypeLib** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    auto text = ReadElfSection(file, kTypeLibSection);
    if (!text)
        return TYPE_E_CANTLOADLIBRARY;
    return CreateTypeLibFromText(*text, out);
}

const char* TypeLibPlatformKey()
{
    return sizeof(void*) == 8 ? "linux64" : "linux32";
}

HRESULT LoadRegTypeLib(REFGUID libid, WORD wMajor, WORD wMinor, LCID lcid, ITypeLib** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const std::string base = "TypeLib\\" + GuidToString(libid);

    // Version keys are "major.minor" in hexadecimal.
    std::string bestKey;
    int bestMinor = -1;
    for (const auto& name : RegSubKeyNames(HKEY_CLASSES_ROOT, base)) {
        auto dot = name.find('.');
        if (dot == std::string::npos)
            continue;
        std::uint64_t maj = 0, min = 0;
        if (!parseNumber(std::string_view(name).substr(0, dot), maj, 16) ||
            !parseNumber(std::string_view(name).substr(dot + 1), min, 16))
            continue;
        if (maj == wMajor && min >= wMinor && static_cast<int>(min) > bestMinor) {
            bestMinor = static_cast<int>(min);
            bestKey = name;
        }
    }
    if (bestKey.empty())
        return TYPE_E_LIBNOTREGISTERED;

    char buf[16];
    std::vector<std::string> locales;
    std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(lcid));
    locales.emplace_back(buf);
    std::snprintf(buf, sizeof buf, "%x", static_cast<unsigned>(lcid & 0x3FF));
    locales.emplace_back(buf);
    locales.emplace_back("0");
    for (const auto& loc : locales) {
        auto path = RegReadString(HKEY_CLASSES_ROOT, base + "\\" + bestKey + "\\" + loc + "\\" + TypeLibPlatformKey(), "");
        if (path && !path->empty())
            return LoadTypeLibFromFile(*path, out);
    }
    return TYPE_E_LIBNOTREGISTERED;
}

// ---------------------------------------------------------------------------
// Late binding

namespace {

using BoolGetter = HRESULT (*)(void*, VARIANT_BOOL*);
using LongGetter = HRESULT (*)(void*, LONG*);

// Calls virtual-table slot `slot` of a C++ interface object the way the
// platform's binary interface defines it: the object pointer first, then the
// out parameter.
template <typename Fn, typename Out>
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
HRESULT callSlot(void* object, UINT slot, Out* out)
{
    void* const* vtable = *static_cast<void* const* const*>(object);
    auto fn = reinterpret_cast<Fn>(vtable[slot]);
    return fn(object, out);
}

}  // namespace

HRESULT DispInvoke(void* thisInterface, ITypeInfo* typeInfo, DISPID dispIdMember, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr)
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

// ---------------------------------------------------------------------------
// ELF sections

namespace {

template <typename T>
bool readAt(std::ifstream& in, std::uint64_t offset, T& value)
{
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(&value), sizeof value);
    return static_cast<bool>(in);
}

struct SectionHeader64 {
    std::uint32_t name, type;
    std::uint64_t flags, addr, offset, size;
    std::uint32_t link, info;
    std::uint64_t addralign, entsize;
};
static_assert(sizeof(SectionHeader64) == 64);

}  // namespace

std::optional<std::string> ReadElfSection(const std::filesystem::path& file, std::string_view sectionName)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    in.seekg(0, std::ios::end);
    const auto fileSize = static_cast<std::uint64_t>(in.tellg());
    unsigned char ident[16] = {};
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(ident), sizeof ident))
        return std::nullopt;
    // 64-bit little-endian ELF only.
    if (std::memcmp(ident, "\x7f" "ELF", 4) != 0 || ident[4] != 2 || ident[5] != 1)
        return std::nullopt;
    std::uint64_t shoff = 0;
    std::uint16_t shentsize = 0, shnum = 0, shstrndx = 0;
    if (!readAt(in, 0x28, shoff) || !readAt(in, 0x3A, shentsize) || !readAt(in, 0x3C, shnum) ||
        !readAt(in, 0x3E, shstrndx))
        return std::nullopt;
    if (shentsize != sizeof(SectionHeader64) || shnum == 0 || shstrndx >= shnum || shoff > fileSize ||
        shnum * std::uint64_t{shentsize} > fileSize - shoff)
        return std::nullopt;

    auto header = [&](std::uint16_t i, SectionHeader64& h) { return readAt(in, shoff + std::uint64_t{i} * shentsize, h); };
    SectionHeader64 strtab{};
    if (!header(shstrndx, strtab) || strtab.offset > fileSize || strtab.size > fileSize - strtab.offset)
        return std::nullopt;
    std::string names(strtab.size, '\0');
    in.seekg(static_cast<std::streamoff>(strtab.offset));
    if (!in.read(names.data(), static_cast<std::streamsize>(names.size())))
        return std::nullopt;

    for (std::uint16_t i = 0; i < shnum; ++i) {
        SectionHeader64 h{};
        if (!header(i, h))
            return std::nullopt;
        if (h.name >= names.size())
            continue;
        std::string_view name(names.c_str() + h.name);
        if (name != sectionName)
            continue;
        constexpr std::uint32_t SHT_NOBITS = 8;
        if (h.type == SHT_NOBITS || h.offset > fileSize || h.size > fileSize - h.offset)
            return std::nullopt;
        std::string data(h.size, '\0');
        in.seekg(static_cast<std::streamoff>(h.offset));
        if (!in.read(data.data(), static_cast<std::streamsize>(data.size())))
            return std::nullopt;
        return data;
    }
    return std::nullopt;
}

}  // namespace platform
