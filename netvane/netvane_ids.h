// Public identifiers of the Netvane control library, for hosts. Header only:
// usable without linking the library (it needs only the component runtime's
// type header, com/com.h).
//
// Hosts create the control by its ProgID through the component runtime
// (CoCreateInstance / CreateObjectByName) after the library has been
// registered, and read its properties late-bound through IDispatch by the
// dispatch identifiers below, or early-bound through the `_Netvane` virtual
// table. Every property read asks the operating system afresh.
//
// Threading: apartment model. An object is created on one thread and must be
// called on that thread only (debug builds assert it).
#pragma once

#include "platform/com/com.h"

namespace netvane {

using platform::CLSID;
using platform::DISPID;
using platform::GUID;
using platform::IID;

// Type library "Vanelink" {60096899-8E37-44E6-9D07-CD3047EAE329}, 1.0.
inline constexpr GUID LIBID_Vanelink{0x60096899, 0x8E37, 0x44E6, {0x9D, 0x07, 0xCD, 0x30, 0x47, 0xEA, 0xE3, 0x29}};
inline constexpr platform::WORD kTypeLibMajor = 1;
inline constexpr platform::WORD kTypeLibMinor = 0;

// Class Netvane {876FE8FE-D42A-41FB-9020-ECB11B32F145}.
inline constexpr CLSID CLSID_Netvane{0x876FE8FE, 0xD42A, 0x41FB, {0x90, 0x20, 0xEC, 0xB1, 0x1B, 0x32, 0xF1, 0x45}};
// Default dual interface _Netvane {04BE33B5-1345-42C5-8965-11EFA8A2DCF1}.
inline constexpr IID IID__Netvane{0x04BE33B5, 0x1345, 0x42C5, {0x89, 0x65, 0x11, 0xEF, 0xA8, 0xA2, 0xDC, 0xF1}};
// Event (source) dispinterface __Netvane {4FF53BEE-6A80-4D71-903E-678051706651}.
inline constexpr IID DIID___Netvane{0x4FF53BEE, 0x6A80, 0x4D71, {0x90, 0x3E, 0x67, 0x80, 0x51, 0x70, 0x66, 0x51}};

inline constexpr const char *kProgID = "Vanelink.Netvane";

// Dispatch identifiers of the four read-only Boolean properties.
inline constexpr DISPID DISPID_ConnectedOnline = 0x68030000;
inline constexpr DISPID DISPID_ConnectedViaProxy = 0x68030001;
inline constexpr DISPID DISPID_ConnectedViaModem = 0x68030002;
inline constexpr DISPID DISPID_ConnectedViaLAN = 0x68030003;

// OLE status word the class is registered with (MiscStatus).
inline constexpr platform::DWORD kMiscStatus = 0x00020591; // 132497
// Resource number of the toolbox picture named in ToolboxBitmap32: type
// "BITMAP", a 16 x 15 picture, 24 bits per pixel, as a BMP file.
inline constexpr int kToolboxBitmapId = 30000;
inline constexpr int kToolboxBitmapWidth = 16;
inline constexpr int kToolboxBitmapHeight = 15;
// Resources (name 1) holding the identifiers of `_Netvane` and
// `__Netvane`: a 32-bit little-endian length (16), then the identifier in
// its 16-byte binary layout.
inline constexpr const char *kIidResourceType = "_IID_NETVANE";
inline constexpr const char *kSourceIidResourceType = "_SRCIID_NETVANE";

} // namespace netvane

// The dual interface: IDispatch, then the four property getters in this
// virtual-table order. Each writes -1 (true) or 0 (false) and returns S_OK,
// or returns a failure status when the connection state cannot be read.
struct _Netvane : platform::IDispatch {
    virtual platform::HRESULT get_ConnectedViaLAN(platform::VARIANT_BOOL *value) = 0;
    virtual platform::HRESULT get_ConnectedViaModem(platform::VARIANT_BOOL *value) = 0;
    virtual platform::HRESULT get_ConnectedViaProxy(platform::VARIANT_BOOL *value) = 0;
    virtual platform::HRESULT get_ConnectedOnline(platform::VARIANT_BOOL *value) = 0;

protected:
    ~_Netvane() = default;
};
