#pragma once
// UTF-8 checks over raw bytes, in bulk: the decoder's fast path and its test
// of whether a page is UTF-8. Valid means the Encoding Standard's UTF-8: no
// overlong forms, no surrogates (U+D800-U+DFFF), nothing above U+10FFFF.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillan::html::utf8 {

// U+FFFD REPLACEMENT CHARACTER.
inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The number of bytes at the start of `bytes` below 0x80.
std::size_t asciiPrefix(std::string_view bytes) noexcept;

// The length of the longest prefix of `bytes` made of whole, valid UTF-8
// sequences. It stops before the first invalid byte and before a sequence
// that the end of `bytes` cuts short.
std::size_t validPrefix(std::string_view bytes) noexcept;

// What is wrong at the start of `bytes`, a place where validPrefix() stopped
// (so `bytes` does not begin with a whole valid sequence; it is not empty).
struct Fault {
    // The bytes of the maximal subpart: the lead byte and those continuation
    // bytes that fitted it (1 to 3). One U+FFFD stands for all of them.
    std::size_t length;
    // The subpart runs to the end of `bytes`: more bytes may complete it.
    bool truncated;
};
Fault faultAt(std::string_view bytes) noexcept;

// Appends `bytes` to `out` with every maximal subpart of an invalid sequence
// replaced by one U+FFFD, the whole of `bytes` being the input (a sequence
// cut short at its end becomes U+FFFD as well). Returns the number of
// replacements made.
std::size_t appendReplacingInvalid(std::string_view bytes, std::string &out);

} // namespace quillan::html::utf8
