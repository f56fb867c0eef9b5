#include "base/json_string.h"

#include <cstdio>

namespace base {

namespace {

// The length of the valid UTF-8 sequence at p, or 0 when there is none.
std::size_t utf8SequenceAt(const unsigned char *p, const unsigned char *end)
{
    const unsigned char b = p[0];
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b < 0x80)
        return 1;
    if (b >= 0xC2 && b <= 0xDF)
        n = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0)
            lo = 0xA0;
        if (b == 0xED)
            hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0)
            lo = 0x90;
        if (b == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (std::size_t(end - p) < n)
        return 0;
    if (p[1] < lo || p[1] > hi)
        return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return n;
}

// Appends the UTF-8 character at p, or U+FFFD for a byte that starts none;
// answers where the next one starts.
const unsigned char *appendCharacter(std::string &out, const unsigned char *p, const unsigned char *end)
{
    const std::size_t n = utf8SequenceAt(p, end);
    if (n == 0) {
        out += "\xEF\xBF\xBD";
        return p + 1;
    }
    out.append(reinterpret_cast<const char *>(p), n);
    return p + n;
}

} // namespace

void AppendJsonString(std::string &out, std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            const unsigned char *q = p;
            while (q < end && *q >= 0x20 && *q < 0x80 && *q != '"' && *q != '\\')
                ++q;
            out.append(reinterpret_cast<const char *>(p), std::size_t(q - p));
            p = q;
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            ++p;
            continue;
        case '\\':
            out += "\\\\";
            ++p;
            continue;
        case '\n':
            out += "\\n";
            ++p;
            continue;
        case '\r':
            out += "\\r";
            ++p;
            continue;
        case '\t':
            out += "\\t";
            ++p;
            continue;
        default: break;
        }
        if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
            ++p;
            continue;
        }
        p = appendCharacter(out, p, end);
    }
}

void AppendUtf8Replacing(std::string &out, std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        const unsigned char *q = p;
        while (q < end && *q < 0x80)
            ++q;
        out.append(reinterpret_cast<const char *>(p), std::size_t(q - p));
        p = q;
        if (p == end)
            break;
        p = appendCharacter(out, p, end);
    }
}

} // namespace base
