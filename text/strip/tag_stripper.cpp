#include "text/strip/tag_stripper.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillan::text::strip {
namespace {

constexpr char kNbsp[] = "&nbsp;";
constexpr std::uint8_t kNbspLength = 6;

#if !defined(__SSE2__)
// Bytes that stop a run of text or a tag, for the byte-wise classifier.
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

inline std::uint8_t classOf(char c)
{
    return kClass[static_cast<unsigned char>(c)];
}
#endif

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
            const __m128i textEnd = _mm_or_si128(tagEnd, _mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, amp)));
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
{}

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

// Spaces that stood between kept bytes, now known not to be trailing.
[[gnu::always_inline]] inline void TagStripper::writePending(Cursor &at)
{
    if (at.pending == 0)
        return;
#if defined(__SSE2__)
    if (at.pending <= 16 && room(at) >= 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(at.out), _mm_set1_epi8(' '));
        at.out += at.pending;
        at.pending = 0;
        return;
    }
#endif
    store(at);
    putSpaces(at.pending);
    at.out = buf_.get() + used_;
    at.pending = 0;
}

// Short runs, the bulk of a page, are stored as one 16-byte block when input
// (up to inputEnd) and buffer have the room.
[[gnu::always_inline]] inline void TagStripper::writeBytes(Cursor &at, const char *from, std::size_t n,
                                                           const char *inputEnd)
{
#if defined(__SSE2__)
    if (n <= 16 && inputEnd - from >= 16 && room(at) >= 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(at.out), _mm_loadu_si128(reinterpret_cast<const __m128i *>(from)));
        at.out += n;
        return;
    }
#else
    (void)inputEnd;
#endif
    store(at);
    put(from, n);
    at.out = buf_.get() + used_;
}

// The trimmer, for a run [p, q) of bytes outside tags that holds none of
// "<", ">", "&" or CR: leading spaces are never counted, inner spaces are
// written once a later byte shows they are not trailing, and the first kept
// byte of a line is held back until a second one proves the line long enough.
[[gnu::always_inline]] inline void TagStripper::textRun(Cursor &at, const char *p, const char *q, const char *inputEnd)
{
    if (trim_ != Trim::Writing) {
        if (trim_ == Trim::Empty) {
            while (p != q && *p == ' ')
                ++p;
            if (p != q) {
                held_ = *p++;
                trim_ = Trim::One;
            }
        }
        while (p != q && *p == ' ') {
            ++at.pending;
            ++p;
        }
        if (p == q)
            return;
        if (room(at) == 0) {
            store(at);
            flush();
            at.out = buf_.get() + used_;
        }
        *at.out++ = held_;
        trim_ = Trim::Writing;
    }
    const char *last = q;
    while (last != p && last[-1] == ' ')
        --last;
    if (last != p) {
        writePending(at);
        writeBytes(at, p, static_cast<std::size_t>(last - p), inputEnd);
    }
    at.pending += static_cast<std::uint64_t>(q - last);
}

// "&nbsp;" counts as one space: dropped at the start of a line like any
// leading space.
[[gnu::always_inline]] inline void TagStripper::nbspSpace(Cursor &at)
{
    if (trim_ != Trim::Empty)
        ++at.pending;
}

// The one scanner. Runs of text are copied whole and tags skipped whole;
// "&", CR and "<" are each decided in one place below, and what a chunk
// leaves open (a tag, an entity begun, a CR whose LF may follow) is carried
// to the next in inTag_, entityMatched_ and afterCR_.
void TagStripper::feed(std::string_view input)
{
    if (input.empty())
        return;
    const char *p = input.data();
    const char *const end = p + input.size();
    Cursor at = cursor();

    if (afterCR_) {
        afterCR_ = false;
        if (*p == '\n')
            ++p;
    }
    if (entityMatched_ != 0) {
        // The rest of an "&nbsp;" the last chunk began.
        const std::size_t matched = entityMatched_;
        const std::size_t wanted = kNbspLength - matched;
        const std::size_t have = std::min(wanted, static_cast<std::size_t>(end - p));
        if (std::memcmp(p, kNbsp + matched, have) == 0 && have < wanted) {
            entityMatched_ = static_cast<std::uint8_t>(matched + have);
            store(at);
            return;
        }
        entityMatched_ = 0;
        if (have == wanted && std::memcmp(p, kNbsp + matched, have) == 0) {
            nbspSpace(at);
            p += wanted;
        } else {
            // Not the entity: its bytes so far are plain text ("&nbsp;"
            // holds no second "&"), and the byte that broke it is looked at
            // afresh.
            textRun(at, kNbsp, kNbsp + matched, kNbsp + kNbspLength);
        }
    }

    StopFinder stops(p, end);
    bool inTag = inTag_;
    for (;;) {
        const char *q = nullptr;
        if (!inTag) {
            q = stops.textStop(p);
            if (p != q)
                textRun(at, p, q, end);
            if (q == end)
                break;
            if (*q == '>') {
                p = q + 1;
                continue;
            }
            if (*q == '&') {
                if (end - q >= kNbspLength) {
                    if (std::memcmp(q, kNbsp, kNbspLength) == 0) {
                        nbspSpace(at);
                        p = q + kNbspLength;
                        continue;
                    }
                } else if (std::memcmp(q, kNbsp, static_cast<std::size_t>(end - q)) == 0) {
                    entityMatched_ = static_cast<std::uint8_t>(end - q); // may go on in the next chunk
                    break;
                }
                textRun(at, q, q + 1, end); // any other "&" is an ordinary byte
                p = q + 1;
                continue;
            }
            if (*q == '<') {
                inTag = true; // and on to its end at once
                p = q + 1;
            }
        }
        if (inTag) {
            // Inside a tag only its end and a line end matter (an "&nbsp;"
            // there would become a space that is dropped anyway).
            q = stops.tagStop(p);
            if (q == end)
                break;
            if (*q == '>') {
                inTag = false;
                p = q + 1;
                continue;
            }
        }
        // CR, in a tag or not: the line ends here, and a LF right after it
        // belongs to the line end.
        store(at);
        endLine();
        at = cursor();
        if (q + 1 == end) {
            afterCR_ = true;
            break;
        }
        p = q[1] == '\n' ? q + 2 : q + 1;
    }
    inTag_ = inTag;
    store(at);
}

void TagStripper::flushPartialEntity()
{
    // A "&nbsp;" the input ended in the middle of: its bytes are plain text.
    const std::size_t n = entityMatched_;
    entityMatched_ = 0;
    if (n == 0)
        return;
    Cursor at = cursor();
    textRun(at, kNbsp, kNbsp + n, kNbsp + kNbspLength);
    store(at);
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

void TagStripper::finish()
{
    flushPartialEntity();
    endLine();
    flush();
    inTag_ = false;
    afterCR_ = false;
}

} // namespace quillan::text::strip
