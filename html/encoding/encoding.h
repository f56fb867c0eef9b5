#pragma once
// Which encoding a page is in: the WHATWG encoding labels and the <meta>
// prescan of the start of a page. Plain C++; nothing here allocates except
// where a std::string is returned.
//
// Names are the WHATWG names ("UTF-8", "windows-1252", "Shift_JIS", ...),
// returned as views into a static table: they stay valid for the whole run
// and compare equal byte for byte to the names in the WHATWG list.

#include <cstddef>
#include <optional>
#include <string_view>

namespace quillan::html {

// How an encoding is decoded.
enum class EncodingFamily : unsigned char {
    Utf8,
    SingleByte, // one byte, one code point; ASCII stays ASCII
    MultiByte,  // the Chinese, Japanese and Korean encodings that keep ASCII as ASCII
    Iso2022Jp,  // stateful: ASCII bytes mean different things after an escape
    Utf16Be,
    Utf16Le,
    Replacement, // decodes any non-empty input to a single U+FFFD
    UserDefined, // x-user-defined: 0x80-0xFF go to U+F780-U+F7FF
};

struct EncodingInfo {
    std::string_view name;
    EncodingFamily family;
};

struct LabelInfo {
    std::string_view label;
    unsigned short encoding; // index into the table of encodings
};

// The encoding `label` names, or nothing when no encoding has that label.
// Leading and trailing ASCII white space (TAB, LF, FF, CR, SPACE) is ignored;
// ASCII letters compare without regard to case; nothing else is folded
// ("utf8" and " UTF-8\n" are labels, "utf_8" is not).
std::optional<EncodingInfo> encodingInfoForLabel(std::string_view label);

// The WHATWG name of the encoding `label` names, or nothing (the same rules).
std::optional<std::string_view> encodingForLabel(std::string_view label);

// Every encoding the label table knows, in the WHATWG list's order.
std::size_t encodingCount();
EncodingInfo encodingAt(std::size_t index);

// The number of bytes at the start of a page the decoder hands to
// prescanMeta().
inline constexpr std::size_t kPrescanLength = 1024;

// The HTML Standard's prescan of a byte stream for its encoding, over exactly
// the bytes of `head` (the decoder passes the first kPrescanLength bytes of
// a page, or the whole page when it is shorter; its late scan passes more).
// What it finds in some bytes it finds in any longer run of the same start. It looks for a UTF-16 XML
// declaration at the very start ("<?x" as UTF-16) and then for the first
// <meta> element that declares an encoding by a charset attribute, or by
// http-equiv="content-type" with a content attribute holding "charset=...";
// comments, other tags and their attributes are skipped the way the Standard
// says. A meta element's UTF-16 encodings become UTF-8 and x-user-defined
// becomes windows-1252. Running out of bytes anywhere, even in the middle of
// a tag that would have declared an encoding, finds nothing.
//
// Returns the WHATWG name found, or nothing.
std::optional<std::string_view> prescanMeta(std::string_view head);

// The encoding named by the value of a content attribute of a meta element
// ("text/html; charset=koi8-r"), by the Standard's rule for extracting one:
// the first "charset" (any case) followed, after optional white space, by
// "=", then a quoted or bare label. Nothing when there is none or its label
// is unknown.
std::optional<std::string_view> encodingFromContentType(std::string_view content);

} // namespace quillan::html
