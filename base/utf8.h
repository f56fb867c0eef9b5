// Writing and cutting UTF-8, for the text the program produces. The bytes
// are not checked here: a caller that takes text from outside checks it
// first.
#pragma once

#include <cstddef>
#include <string_view>

namespace base {

// Writes the code point cp (at most U+10FFFF, not a surrogate) as UTF-8 to
// out, which has room for four bytes; answers how many it wrote.
constexpr std::size_t EncodeUtf8(char32_t cp, char *out) noexcept
{
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// Where a UTF-8 sequence that [p, end) cuts short begins, or end when the
// range ends on a whole character (or on bytes that are not UTF-8).
constexpr const char *IncompleteUtf8Tail(const char *p, const char *end) noexcept
{
    const char *q = end;
    for (int back = 0; back < 3 && q > p; ++back) {
        --q;
        const unsigned char b = static_cast<unsigned char>(*q);
        if (b < 0x80)
            return end;
        if (b >= 0xC0) {
            const int need = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
            return end - q < need ? q : end;
        }
    }
    return end;
}

// What DecodeUtf8 answers for a byte that does not start a whole UTF-8
// sequence.
inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// Decodes the character at the start of `s` (not empty) and sets `length`
// to its bytes. A byte that does not start a whole sequence is taken alone:
// kNotUtf8, length 1. Overlong forms and surrogates are not told apart.
constexpr char32_t DecodeUtf8(std::string_view s, std::size_t &length) noexcept
{
    const auto b = static_cast<unsigned char>(s[0]);
    const std::size_t need = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    length = 1;
    if (need == 0 || need > s.size())
        return kNotUtf8;
    char32_t c = need == 1 ? b : need == 2 ? (b & 0x1F) : need == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t i = 1; i < need; ++i) {
        const auto t = static_cast<unsigned char>(s[i]);
        if ((t & 0xC0) != 0x80)
            return kNotUtf8;
        c = (c << 6) | (t & 0x3F);
    }
    length = need;
    return c;
}

} // namespace base
