// Bulk searches over text: where the next byte of interest lies, sixteen
// bytes at a time where the processor has SSE2.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace base {

namespace detail {

#if defined(__SSE2__)
// The bytes of x equal to one of `needles`, one bit each.
template <typename... Needles>
[[gnu::always_inline]] inline unsigned MatchMask(__m128i x, const Needles &...needles)
{
    return static_cast<unsigned>(_mm_movemask_epi8((_mm_cmpeq_epi8(x, needles) | ...)));
}
#endif

} // namespace detail

// The first byte in [p, end) equal to one of `bytes` (chars, two to eight);
// end when there is none. One pass, however many bytes are looked for; a
// range of sixteen bytes or more is read sixteen at a time to its end (its
// last bytes by a load that overlaps the ones already read).
template <typename... Bytes>
[[gnu::always_inline]] inline const char *FindAnyOf(const char *p, const char *end, Bytes... bytes)
{
    static_assert(sizeof...(Bytes) >= 2 && sizeof...(Bytes) <= 8);
#if defined(__SSE2__)
    if (end - p >= 16) {
        while (end - p >= 32) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
            const unsigned mask =
                detail::MatchMask(x, _mm_set1_epi8(bytes)...) | (detail::MatchMask(y, _mm_set1_epi8(bytes)...) << 16);
            if (mask != 0)
                return p + __builtin_ctz(mask);
            p += 32;
        }
        if (end - p >= 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const unsigned mask = detail::MatchMask(x, _mm_set1_epi8(bytes)...);
            if (mask != 0)
                return p + __builtin_ctz(mask);
            p += 16;
        }
        if (p < end) {
            // The range's last sixteen bytes, of which those before p were
            // read already.
            const char *const last = end - 16;
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(last));
            const unsigned mask = detail::MatchMask(x, _mm_set1_epi8(bytes)...) >> (p - last);
            return mask != 0 ? p + __builtin_ctz(mask) : end;
        }
        return end;
    }
#endif
    for (; p < end; ++p) {
        const char x = *p;
        if (((x == bytes) || ...))
            return p;
    }
    return end;
}

// The first byte in [p, end) equal to one of a, b, c, d (repeat one to look
// for fewer); end when there is none.
[[gnu::always_inline]] inline const char *FindAny(const char *p, const char *end, char a, char b, char c, char d)
{
    return FindAnyOf(p, end, a, b, c, d);
}

// The first byte in [p, end) other than c; end when all of them are c.
inline const char *SkipRun(const char *p, const char *end, char c)
{
#if defined(__SSE2__)
    const __m128i vc = _mm_set1_epi8(c);
    while (end - p >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, vc))) ^ 0xFFFFu;
        if (mask != 0)
            return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (p < end && *p == c)
        ++p;
    return p;
}
} // namespace base
