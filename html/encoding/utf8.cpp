#include "html/encoding/utf8.h"

#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillan::html::utf8 {

namespace {

// The range the second byte of a sequence must fall in, by its lead byte;
// the third and fourth bytes are always 0x80-0xBF.
struct Lead {
    unsigned char length; // 0: not a lead byte
    unsigned char low;
    unsigned char high;
};

constexpr Lead leadOf(unsigned char c) noexcept
{
    if (c >= 0xC2 && c <= 0xDF)
        return {2, 0x80, 0xBF};
    if (c == 0xE0)
        return {3, 0xA0, 0xBF};
    if (c == 0xED)
        return {3, 0x80, 0x9F};
    if (c >= 0xE1 && c <= 0xEF)
        return {3, 0x80, 0xBF};
    if (c == 0xF0)
        return {4, 0x90, 0xBF};
    if (c == 0xF4)
        return {4, 0x80, 0x8F};
    if (c >= 0xF1 && c <= 0xF3)
        return {4, 0x80, 0xBF};
    return {0, 0, 0};
}

constexpr bool isContinuation(unsigned char c) noexcept
{
    return (c & 0xC0) == 0x80;
}

std::size_t asciiPrefix(const unsigned char *p, std::size_t n) noexcept
{
    std::size_t i = 0;
#if defined(__SSE2__)
    for (; i + 32 <= n; i += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i + 16));
        if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0) {
            const unsigned ma = static_cast<unsigned>(_mm_movemask_epi8(a));
            if (ma != 0)
                return i + static_cast<std::size_t>(__builtin_ctz(ma));
            const unsigned mb = static_cast<unsigned>(_mm_movemask_epi8(b));
            return i + 16 + static_cast<std::size_t>(__builtin_ctz(mb));
        }
    }
#endif
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        w &= 0x8080808080808080ull;
        if (w != 0)
            return i + static_cast<std::size_t>(__builtin_ctzll(w) >> 3);
    }
    for (; i < n; ++i)
        if (p[i] & 0x80)
            return i;
    return n;
}

} // namespace

std::size_t asciiPrefix(std::string_view bytes) noexcept
{
    return asciiPrefix(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

std::size_t validPrefix(std::string_view bytes) noexcept
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    for (;;) {
        i += asciiPrefix(p + i, n - i);
        if (i >= n)
            return n;
        // Multi-byte sequences until the next ASCII byte.
        do {
            const unsigned char c = p[i];
            if (c >= 0xC2 && c <= 0xDF) {
                if (i + 1 >= n || !isContinuation(p[i + 1]))
                    return i;
                i += 2;
            } else if (c >= 0xE0 && c <= 0xEF) {
                if (i + 2 >= n)
                    return i;
                const Lead lead = leadOf(c);
                if (p[i + 1] < lead.low || p[i + 1] > lead.high || !isContinuation(p[i + 2]))
                    return i;
                i += 3;
            } else if (c >= 0xF0 && c <= 0xF4) {
                if (i + 3 >= n)
                    return i;
                const Lead lead = leadOf(c);
                if (p[i + 1] < lead.low || p[i + 1] > lead.high || !isContinuation(p[i + 2]) ||
                    !isContinuation(p[i + 3]))
                    return i;
                i += 4;
            } else {
                return i;
            }
        } while (i < n && p[i] >= 0x80);
    }
}

Fault faultAt(std::string_view bytes) noexcept
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const Lead lead = leadOf(p[0]);
    if (lead.length == 0)
        return {1, false};
    std::size_t k = 1;
    for (; k < lead.length; ++k) {
        if (k >= bytes.size())
            return {k, true};
        const unsigned char low = k == 1 ? lead.low : 0x80;
        const unsigned char high = k == 1 ? lead.high : 0xBF;
        if (p[k] < low || p[k] > high)
            return {k, false};
    }
    // A whole valid sequence: not a place validPrefix() stops at.
    return {k, false};
}

std::size_t appendReplacingInvalid(std::string_view bytes, std::string &out)
{
    std::size_t replaced = 0;
    while (!bytes.empty()) {
        const std::size_t valid = validPrefix(bytes);
        out.append(bytes.data(), valid);
        bytes.remove_prefix(valid);
        if (bytes.empty())
            break;
        const Fault fault = faultAt(bytes);
        out.append(kReplacement);
        ++replaced;
        bytes.remove_prefix(fault.length);
    }
    return replaced;
}

} // namespace quillan::html::utf8
