// Type libraries: the description of a component library's classes and
// interfaces, carried inside the library file, and the late-binding helpers
// built on it.
//
// Where the description lives: an ELF section named ".quillan.typelib" of
// the library file (library_file.h), holding UTF-8 text ended by a zero byte. It is read from
// the file without loading or running the library. The text is line based;
// '#' starts a comment line; tokens are separated by blanks; values with
// blanks are written in double quotes:
//
//   library NAME {LIBID} MAJOR.MINOR [lcid=HEX] [flags=control|restricted|hidden]
//           [helpstring="..."] [helpfile="..."] [helpcontext=N]
//   importlib FILE
//   interface NAME {IID} MAJOR.MINOR [dual] [hidden] [nonextensible] [oleautomation]
//   dispinterface NAME {IID} MAJOR.MINOR [hidden] [nonextensible]
//   coclass NAME {CLSID} MAJOR.MINOR [creatable] [control]
//   propget NAME DISPID TYPE      member of the last interface, in vtable order
//   implements NAME [default] [source]    of the last coclass
//
// TYPE is VARIANT_BOOL or LONG. DISPID is decimal or 0x hexadecimal.
//
// The interfaces here are this runtime's reduced forms of ITypeLib and
// ITypeInfo (IUnknown first, then the methods below in this order); they
// follow the apartment model of com.h.
#pragma once

#include "platform/com/com.h"
#include "platform/com/library_file.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum TYPEKIND : int { TKIND_INTERFACE = 3, TKIND_DISPATCH = 4, TKIND_COCLASS = 5 };
enum INVOKEKIND : int { INVOKE_FUNC = 1, INVOKE_PROPERTYGET = 2 };

inline constexpr WORD LIBFLAG_FRESTRICTED = 0x1;
inline constexpr WORD LIBFLAG_FCONTROL = 0x2;
inline constexpr WORD LIBFLAG_FHIDDEN = 0x4;

inline constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
inline constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
inline constexpr WORD TYPEFLAG_FCONTROL = 0x20;
inline constexpr WORD TYPEFLAG_FDUAL = 0x40;
inline constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
inline constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;

inline constexpr int IMPLTYPEFLAG_FDEFAULT = 0x1;
inline constexpr int IMPLTYPEFLAG_FSOURCE = 0x2;

// The parsed description.
struct MemberDescription {
    std::string name;
    MEMBERID memid = 0;
    INVOKEKIND kind = INVOKE_PROPERTYGET;
    VARTYPE resultType = VT_EMPTY; // VT_BOOL or VT_I4
};

struct ImplementedType {
    std::string name;
    int flags = 0; // IMPLTYPEFLAG_*
};

struct TypeDescription {
    TYPEKIND kind = TKIND_INTERFACE;
    std::string name;
    GUID guid;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD flags = 0;                           // TYPEFLAG_*
    std::vector<MemberDescription> members;   // interfaces: vtable order
    std::vector<ImplementedType> implemented; // coclasses
};

struct LibraryDescription {
    std::string name;
    GUID libid;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    LCID lcid = 0;
    WORD flags = 0; // LIBFLAG_*
    std::string helpString;
    std::string helpFile;
    DWORD helpContext = 0;
    std::vector<std::string> imports;
    std::vector<TypeDescription> types;
};

// Parses description text. On failure returns TYPE_E_UNSUPFORMAT and, when
// error is given, a message naming the line.
HRESULT ParseTypeLibraryText(std::string_view text, LibraryDescription &out, std::string *error = nullptr);

struct ITypeInfo : IUnknown {
    virtual HRESULT GetTypeKind(TYPEKIND *kind) = 0;
    virtual HRESULT GetGuid(GUID *guid) = 0;
    // The type's flags (TYPEFLAG_*) and member count.
    virtual HRESULT GetTypeFlags(WORD *flags) = 0;
    virtual HRESULT GetFuncCount(UINT *count) = 0;
    // Member index -> identifier, kind and result type.
    virtual HRESULT GetFuncDesc(UINT index, MEMBERID *memid, INVOKEKIND *kind, VARTYPE *resultType) = 0;
    // Names -> member identifiers, case-insensitively. Unknown names answer
    // DISP_E_UNKNOWNNAME and get DISPID_UNKNOWN.
    virtual HRESULT GetIDsOfNames(LPOLESTR *rgszNames, UINT cNames, MEMBERID *pMemId) = 0;
    // Member identifier -> its name (a BSTR for the caller to free); the
    // type's own name for DISPID_UNKNOWN.
    virtual HRESULT GetName(MEMBERID memid, BSTR *name) = 0;

protected:
    ~ITypeInfo() = default;
};

struct ITypeLib : IUnknown {
    virtual UINT GetTypeInfoCount() = 0;
    virtual HRESULT GetTypeInfo(UINT index, ITypeInfo **ppTInfo) = 0;
    virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo **ppTInfo) = 0;
    // The library's name, identifier and version.
    virtual HRESULT GetLibAttr(GUID *libid, WORD *majorVersion, WORD *minorVersion, LCID *lcid, WORD *flags) = 0;
    virtual HRESULT GetDocumentation(BSTR *name, BSTR *helpString, BSTR *helpFile) = 0;

protected:
    ~ITypeLib() = default;
};

// A type library object over a parsed description.
HRESULT CreateTypeLib(LibraryDescription description, ITypeLib **out);
// Parses text and makes the object.
HRESULT CreateTypeLibFromText(std::string_view text, ITypeLib **out);
// Reads the description out of a library file (without loading it).
// TYPE_E_CANTLOADLIBRARY when the file cannot be read or has no description.
HRESULT LoadTypeLibFromFile(const std::filesystem::path &file, ITypeLib **out);

// The registry key below HKCR\TypeLib\{libid}\<version>\<locale> that names
// the library file on this platform.
const char *TypeLibPlatformKey();

// Finds the library registered under HKCR\TypeLib\{libid}: the registered
// version with the same major number and the highest minor number not below
// wMinor, then the locale key (lcid, its primary language, or 0), then the
// platform key, whose default value is the file. TYPE_E_LIBNOTREGISTERED
// when nothing is registered.
HRESULT LoadRegTypeLib(REFGUID libid, WORD wMajor, WORD wMinor, LCID lcid, ITypeLib **out);

// Late binding over a dual interface described by typeInfo: finds the member
// by its identifier and calls its virtual-table slot
// (kDispatchVtableSlots + member index) on thisInterface. Property gets with
// no arguments returning VT_BOOL or VT_I4 are supported. A failing accessor
// comes back as DISP_E_EXCEPTION with its status in pExcepInfo->scode.
HRESULT DispInvoke(void *thisInterface, ITypeInfo *typeInfo, DISPID dispIdMember, WORD wFlags, DISPPARAMS *pDispParams,
                   VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr);

} // namespace platform
