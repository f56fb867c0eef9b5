// Identifiers, status texts, automation values and strings.
#include "platform/com/com.h"

#include "base/hex.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Reads `digits` hex digits at text[pos]; false on a non-digit.
bool readHex(std::string_view text, std::size_t pos, int digits, std::uint64_t &value)
{
    value = 0;
    for (int i = 0; i < digits; ++i) {
        int d = base::HexDigitValue(text[pos + static_cast<std::size_t>(i)]);
        if (d < 0)
            return false;
        value = value * 16 + static_cast<std::uint64_t>(d);
    }
    return true;
}

} // namespace

std::string GuidToString(REFGUID g)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::optional<GUID> GuidFromString(std::string_view t)
{
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (t.size() != 38 || t.front() != '{' || t.back() != '}' || t[9] != '-' || t[14] != '-' || t[19] != '-' ||
        t[24] != '-')
        return std::nullopt;
    GUID g;
    std::uint64_t v = 0;
    if (!readHex(t, 1, 8, v))
        return std::nullopt;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!readHex(t, 10, 4, v))
        return std::nullopt;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!readHex(t, 15, 4, v))
        return std::nullopt;
    g.Data3 = static_cast<std::uint16_t>(v);
    static constexpr std::size_t pos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!readHex(t, pos[i], 2, v))
            return std::nullopt;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

std::string HResultHex(HRESULT hr)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return buf;
}

std::string HResultMessage(HRESULT hr)
{
    switch (static_cast<std::uint32_t>(hr)) {
    case 0x00000000: return "Success";
    case 0x00000001: return "Success (false)";
    case 0x80004001: return "Not implemented";
    case 0x80004002: return "No such interface supported";
    case 0x80004003: return "Invalid pointer";
    case 0x80004004: return "Operation aborted";
    case 0x80004005: return "Unspecified error";
    case 0x8000FFFF: return "Catastrophic failure";
    case 0x80070002: return "The system cannot find the file specified";
    case 0x80070005: return "Access is denied";
    case 0x8007000D: return "The data is invalid";
    case 0x8007000E: return "Not enough memory";
    case 0x80070057: return "The parameter is incorrect";
    case 0x80070714: return "The specified image file did not contain a resource section";
    case 0x80070715: return "The specified resource type cannot be found in the image file";
    case 0x80070716: return "The specified resource name cannot be found in the image file";
    case 0x8001010E: return "The object was called from a thread other than the one that created it";
    case 0x80020001: return "Unknown interface";
    case 0x80020003: return "Member not found";
    case 0x80020004: return "Parameter not found";
    case 0x80020005: return "Type mismatch";
    case 0x80020006: return "Unknown name";
    case 0x80020007: return "No named arguments";
    case 0x80020008: return "Bad variable type";
    case 0x80020009: return "Exception occurred";
    case 0x8002000E: return "Invalid number of parameters";
    case 0x80028018: return "Error reading type library data";
    case 0x80028019: return "Unsupported type library format";
    case 0x8002801D: return "Library not registered";
    case 0x8002802B: return "Element not found";
    case 0x80029C4A: return "Error loading type library/DLL";
    case 0x80040110: return "Class does not support aggregation";
    case 0x80040111: return "ClassFactory cannot supply requested class";
    case 0x80040150: return "Could not read key from registry";
    case 0x80040151: return "Could not write key to registry";
    case 0x80040154: return "Class not registered";
    case 0x80040200: return "Failed to register/unregister type library";
    case 0x80040201: return "Failed to register/unregister class";
    case 0x800401F3: return "Invalid class string";
    case 0x800401F8: return "DLL for class not found";
    case 0x800401F9: return "Error in the DLL";
    default: break;
    }
    if ((static_cast<std::uint32_t>(hr) & 0xFFFF0000u) == 0x80070000u)
        return "System error " + std::to_string(static_cast<std::uint32_t>(hr) & 0xFFFFu);
    return FAILED(hr) ? "Unknown error" : "Success";
}

// ---------------------------------------------------------------------------
// Strings: a 32-bit byte count precedes the characters; a zero character
// follows them.

BSTR SysAllocStringLen(const OLECHAR *text, UINT length)
{
    auto *block = static_cast<unsigned char *>(std::malloc(sizeof(std::uint32_t) + (length + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    std::uint32_t bytes = length * static_cast<std::uint32_t>(sizeof(OLECHAR));
    std::memcpy(block, &bytes, sizeof bytes);
    auto *chars = reinterpret_cast<OLECHAR *>(block + sizeof(std::uint32_t));
    if (text && length)
        std::memcpy(chars, text, length * sizeof(OLECHAR));
    else if (length)
        std::memset(chars, 0, length * sizeof(OLECHAR));
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const OLECHAR *text)
{
    if (!text)
        return nullptr;
    UINT n = 0;
    while (text[n])
        ++n;
    return SysAllocStringLen(text, n);
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(reinterpret_cast<unsigned char *>(text) - sizeof(std::uint32_t));
}

UINT SysStringLen(BSTR text)
{
    if (!text)
        return 0;
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<unsigned char *>(text) - sizeof(std::uint32_t), sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

std::u16string Utf8ToOle(std::string_view text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
            len = 4; // outside the basic plane: replaced
        }
        out.push_back(static_cast<char16_t>(cp));
        i += len;
    }
    return out;
}

std::string OleToUtf8(const OLECHAR *text)
{
    std::string out;
    if (!text)
        return out;
    for (; *text; ++text) {
        char32_t cp = *text;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

BSTR SysAllocStringUtf8(std::string_view text)
{
    std::u16string wide = Utf8ToOle(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// ---------------------------------------------------------------------------
// Values

void VariantInit(VARIANT *v)
{
    if (!v)
        return;
    std::memset(v, 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT *v)
{
    if (!v)
        return E_POINTER;
    switch (v->vt) {
    case VT_BSTR: SysFreeString(v->bstrVal); break;
    case VT_UNKNOWN:
        if (v->punkVal)
            v->punkVal->Release();
        break;
    case VT_DISPATCH:
        if (v->pdispVal)
            v->pdispVal->Release();
        break;
    default: break;
    }
    VariantInit(v);
    return S_OK;
}

void ClearExcepInfo(EXCEPINFO *info)
{
    if (!info)
        return;
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    std::memset(info, 0, sizeof *info);
}

} // namespace platform
