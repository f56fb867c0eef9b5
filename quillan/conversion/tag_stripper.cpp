#include "conversion/tag_stripper.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillan {
namespace {

constexpr char kNbsp[] = "&nbsp;";
constexpr std::uint8_t kNbspLength = 6;

// Bytes that need a decision outside tags; everything else is copied.
enum : std::uint8_t { Plain = 0, Open, Close, Amp, CR, Space };

constexpr std::array<std::uint8_t, 256> makeClasses()
{
    std::array<std::uint8_t, 256> t{};
    t[static_cast<unsigned char>('<')] = Open;
    t[static_cast<unsigned char>('>')] = Close;
    t[static_cast<unsigned char>('&')] = Amp;
    t[static_cast<unsigned char>('\r')] = CR;
    t[static_cast<unsigned char>(' ')] = Space;
    return t;
}
constexpr auto kClass = makeClasses();

inline std::uint8_t classOf(char c) { return kClass[static_cast<unsigned char>(c)]; }

// The first ">" or CR in [p, end): inside a tag nothing else matters (an
// "&nbsp;" there would become a space that is dropped anyway).
inline const char *findTagEnd(const char *p, const char *end)
{
#if defined(__SSE2__)
    const __m128i gt = _mm_set1_epi8('>');
    const __m128i cr = _mm_set1_epi8('\r');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_cmpeq_epi8(v, cr));
        if (const int mask = _mm_movemask_epi8(hit))
            return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    while (p < end && *p != '>' && *p != '\r')
        ++p;
    return p;
}

// Classifies the input 64 bytes at a time into two bit masks, the bytes that
// end a run of text ("<", ">", "&", CR) and those that end a tag (">", CR),
// so that finding the next stop costs a shift and a bit scan. Each byte is
// classified about once, however the stops fall.
class StopFinder {
public:
    StopFinder(const char *begin, const char *end) : end_(end) { load(begin); }

    // The first stop at or after `from`, or the end of the input.
    const char *textStop(const char *from) { return next(from, false); }
    const char *tagStop(const char *from) { return next(from, true); }

private:
    const char *next(const char *from, bool inTag)
    {
        for (;;) {
            if (from - block_ >= 64)
                load(from);
            const std::uint64_t bits = (inTag ? tag_ : text_) >> (from - block_);
            if (bits != 0)
                return from + __builtin_ctzll(bits);
            from = block_ + 64;
            if (from >= end_)
                return end_;
        }
    }

    void load(const char *at)
    {
        block_ = at;
        // The last bytes are classified from a zero-padded copy: zero is not
        // a stop, so nothing is found past the end.
        alignas(16) char tail[64];
        const char *bytes = at;
        if (end_ - at < 64) {
            std::memset(tail, 0, sizeof tail);
            std::memcpy(tail, at, static_cast<std::size_t>(end_ - at));
            bytes = tail;
        }
        std::uint64_t text = 0;
        std::uint64_t tag = 0;
#if defined(__SSE2__)
        const __m128i lt = _mm_set1_epi8('<');
        const __m128i gt = _mm_set1_epi8('>');
        const __m128i amp = _mm_set1_epi8('&');
        const __m128i cr = _mm_set1_epi8('\r');
        for (int i = 0; i < 4; ++i) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + 16 * i));
            const __m128i tagEnd = _mm_or_si128(_mm_cmpeq_epi8(v, gt), _mm_cmpeq_epi8(v, cr));
            const __m128i textEnd =
                _mm_or_si128(tagEnd, _mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, amp)));
            tag |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(tagEnd))) << (16 * i);
            text |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(textEnd))) << (16 * i);
        }
#else
        for (int i = 0; i < 64; ++i) {
            const std::uint8_t k = classOf(bytes[i]);
            const std::uint64_t bit = std::uint64_t{1} << i;
            if (k == Close || k == CR)
                tag |= bit;
            if (k == Close || k == CR || k == Open || k == Amp)
                text |= bit;
        }
#endif
        text_ = text;
        tag_ = tag;
    }

    const char *block_ = nullptr;
    const char *const end_;
    std::uint64_t text_ = 0;
    std::uint64_t tag_ = 0;
};

} // namespace

TagStripper::TagStripper(Sink sink, std::size_t bufferSize)
    : sink_(std::move(sink)), buf_(new char[bufferSize < 16 ? 16 : bufferSize]),
      capacity_(bufferSize < 16 ? 16 : bufferSize)
{
}

void TagStripper::flush()
{
    if (used_ != 0) {
        const std::size_t n = used_;
        used_ = 0;
        sink_(std::string_view(buf_.get(), n));
    }
}

inline void TagStripper::put(char c)
{
    if (used_ == capacity_)
        flush();
    buf_[used_++] = c;
}

inline void TagStripper::put(const char *p, std::size_t n)
{
    while (n > capacity_ - used_) {
        const std::size_t room = capacity_ - used_;
        std::memcpy(buf_.get() + used_, p, room);
        used_ = capacity_;
        p += room;
        n -= room;
        flush();
    }
    std::memcpy(buf_.get() + used_, p, n);
    used_ += n;
}

void TagStripper::putSpaces(std::uint64_t n)
{
    while (n != 0) {
        if (used_ == capacity_)
            flush();
        const std::size_t room = capacity_ - used_;
        const std::size_t take = n < room ? static_cast<std::size_t>(n) : room;
        std::memset(buf_.get() + used_, ' ', take);
        used_ += take;
        n -= take;
    }
}

// The trimmer, byte by byte: leading spaces are never counted, inner spaces
// are written once a later byte shows they are not trailing, and the first
// kept byte is held back until a second one proves the line long enough.
void TagStripper::text(char c)
{
    if (c == ' ') {
        if (trim_ != Trim::Empty)
            ++pendingSpaces_;
        return;
    }
    switch (trim_) {
    case Trim::Empty:
        held_ = c;
        trim_ = Trim::One;
        return;
    case Trim::One:
        put(held_);
        trim_ = Trim::Writing;
        break;
    case Trim::Writing:
        break;
    }
    if (pendingSpaces_ != 0) {
        putSpaces(pendingSpaces_);
        pendingSpaces_ = 0;
    }
    put(c);
}

// The common case: runs of text are copied whole, tags skipped whole, and
// entities and line ends decided on the spot, until the input ends or
// something may go on in the next chunk. Returns where it stopped.
//
// The output position and the count of pending spaces are kept in locals
// while the loop runs, and written back around every call that uses them.
const char *TagStripper::scan(const char *p, const char *end)
{
    char *const base = buf_.get();
    char *out = base + used_;
    std::uint64_t pending = pendingSpaces_;
    const auto save = [&] {
        used_ = static_cast<std::size_t>(out - base);
        pendingSpaces_ = pending;
    };
    const auto load = [&] {
        out = base + used_;
        pending = pendingSpaces_;
    };
    // Bytes free behind `out`, for the 16-byte stores below.
    const auto room = [&] { return static_cast<std::size_t>(base + capacity_ - out); };
    // Inner spaces, now known not to be trailing.
    const auto writePending = [&] {
        if (pending == 0)
            return;
#if defined(__SSE2__)
        if (pending <= 16 && room() >= 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_set1_epi8(' '));
            out += pending;
            pending = 0;
            return;
        }
#endif
        used_ = static_cast<std::size_t>(out - base);
        putSpaces(pending);
        out = base + used_;
        pending = 0;
    };
    // Short runs, the bulk of a page, are stored as one 16-byte block when
    // input and buffer have the room.
    const auto writeBytes = [&](const char *from, std::size_t n, const char *inputEnd) {
#if defined(__SSE2__)
        if (n <= 16 && inputEnd - from >= 16 && room() >= 16) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                             _mm_loadu_si128(reinterpret_cast<const __m128i *>(from)));
            out += n;
            return;
        }
#endif
        used_ = static_cast<std::size_t>(out - base);
        put(from, n);
        out = base + used_;
    };

    StopFinder stops(p, end);
    for (;;) {
        const char *q = stops.textStop(p);
        if (p != q && trim_ != Trim::Writing) {
            // The start of a line: leading spaces go, the first kept byte is
            // held, and the line is written once a second one turns up.
            if (trim_ == Trim::Empty) {
                while (p != q && *p == ' ')
                    ++p;
                if (p != q) {
                    held_ = *p++;
                    trim_ = Trim::One;
                }
            }
            while (p != q && *p == ' ') {
                ++pending;
                ++p;
            }
            if (p != q) {
                if (room() == 0) {
                    save();
                    flush();
                    load();
                }
                *out++ = held_;
                trim_ = Trim::Writing;
            }
        }
        if (p != q) {
            const char *last = q;
            while (last != p && last[-1] == ' ')
                --last;
            if (last != p) {
                writePending();
                writeBytes(p, static_cast<std::size_t>(last - p), end);
            }
            pending += static_cast<std::uint64_t>(q - last);
        }
        if (q == end) {
            p = q;
            break;
        }
        if (*q == '>') {
            p = q + 1;
            continue;
        }
        if (*q == '<') {
            q = stops.tagStop(q + 1);
            if (q == end || *q == '\r') {
                inTag_ = true;
                p = q;
                break;
            }
            p = q + 1;
            continue;
        }
        if (*q == '&') {
            if (end - q < kNbspLength) {
                p = q; // the entity may go on in the next chunk
                break;
            }
            const bool nbsp = std::memcmp(q, kNbsp, kNbspLength) == 0;
            if (nbsp && trim_ != Trim::Empty) {
                ++pending;
            } else if (!nbsp && trim_ == Trim::Writing) {
                writePending();
                writeBytes(q, 1, end);
            } else if (!nbsp) {
                save();
                text('&');
                load();
            }
            p = q + (nbsp ? kNbspLength : 1);
            continue;
        }
        // CR: the line ends here.
        save();
        endLine();
        load();
        if (q + 1 == end) {
            afterCR_ = true;
            p = end;
            break;
        }
        p = q[1] == '\n' ? q + 2 : q + 1;
    }
    save();
    return p;
}

void TagStripper::flushPartialEntity()
{
    // "&nbsp;" has no inner repeat of its first byte, so a broken match is
    // plain text and matching restarts at the byte that broke it.
    const std::uint8_t n = entityMatched_;
    entityMatched_ = 0;
    for (std::uint8_t i = 0; i < n; ++i)
        text(kNbsp[i]);
}

void TagStripper::endLine()
{
    if (trim_ == Trim::Writing) {
        put('\r');
        put('\n');
    }
    trim_ = Trim::Empty;
    pendingSpaces_ = 0;
}

void TagStripper::feed(std::string_view input)
{
    const char *p = input.data();
    const char *const end = p + input.size();

    while (p < end) {
        if (afterCR_) {
            afterCR_ = false;
            if (*p == '\n') {
                ++p;
                continue;
            }
        }

        if (entityMatched_ != 0) {
            if (*p == kNbsp[entityMatched_]) {
                ++p;
                if (++entityMatched_ == kNbspLength) {
                    entityMatched_ = 0;
                    text(' ');
                }
                continue;
            }
            flushPartialEntity(); // and look at *p afresh
        }

        if (inTag_) {
            p = findTagEnd(p, end);
            if (p == end)
                break;
            if (*p == '>') {
                inTag_ = false;
            } else {
                endLine();
                afterCR_ = true;
            }
            ++p;
            continue;
        }

        p = scan(p, end);
        if (p == end || inTag_)
            continue;

        const char c = *p++;
        switch (classOf(c)) {
        case Open:
            inTag_ = true;
            break;
        case Close:
            break;
        case Amp:
            entityMatched_ = 1;
            break;
        case CR:
            endLine();
            afterCR_ = true;
            break;
        default:
            text(c);
            break;
        }
    }
}

void TagStripper::finish()
{
    flushPartialEntity();
    endLine();
    flush();
    inTag_ = false;
    afterCR_ = false;
}

} // namespace quillan
