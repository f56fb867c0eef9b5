// Bulk searches over text: where the next byte of interest lies, sixteen
// bytes at a time where the processor has SSE2.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace base {

// The first byte in [p, end) equal to one of a, b, c, d (repeat one to look
// for fewer); end when there is none.
inline const char *FindAny(const char *p, const char *end, char a, char b, char c, char d)
{
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a);
    const __m128i vb = _mm_set1_epi8(b);
    const __m128i vc = _mm_set1_epi8(c);
    const __m128i vd = _mm_set1_epi8(d);
    while (end - p >= 32) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
        const __m128i mx = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)),
                                        _mm_or_si128(_mm_cmpeq_epi8(x, vc), _mm_cmpeq_epi8(x, vd)));
        const __m128i my = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(y, va), _mm_cmpeq_epi8(y, vb)),
                                        _mm_or_si128(_mm_cmpeq_epi8(y, vc), _mm_cmpeq_epi8(y, vd)));
        const unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(mx)) | (static_cast<unsigned>(_mm_movemask_epi8(my)) << 16);
        if (mask != 0)
            return p + __builtin_ctz(mask);
        p += 32;
    }
    if (end - p >= 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i m = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, va), _mm_cmpeq_epi8(x, vb)),
                                       _mm_or_si128(_mm_cmpeq_epi8(x, vc), _mm_cmpeq_epi8(x, vd)));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(m));
        if (mask != 0)
            return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    for (; p < end; ++p) {
        const char x = *p;
        if (x == a || x == b || x == c || x == d)
            return p;
    }
    return end;
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
