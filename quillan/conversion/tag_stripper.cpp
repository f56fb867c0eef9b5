#include "tag_stripper.h"

#include <array>
#include <cstring>

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

} // namespace

TagStripper::TagStripper(Sink sink, std::size_t bufferSize)
    : sink_(std::move(sink)), capacity_(bufferSize < 16 ? 16 : bufferSize)
{
    buf_.reserve(capacity_);
}

void TagStripper::flush()
{
    if (!buf_.empty()) {
        sink_(buf_);
        buf_.clear();
    }
}

void TagStripper::put(char c)
{
    if (buf_.size() == capacity_)
        flush();
    buf_.push_back(c);
}

void TagStripper::put(const char *p, std::size_t n)
{
    while (n > 0) {
        if (buf_.size() == capacity_)
            flush();
        const std::size_t room = capacity_ - buf_.size();
        const std::size_t take = n < room ? n : room;
        buf_.append(p, take);
        p += take;
        n -= take;
    }
}

void TagStripper::putSpaces(std::uint64_t n)
{
    while (n > 0) {
        if (buf_.size() == capacity_)
            flush();
        const std::size_t room = capacity_ - buf_.size();
        const std::size_t take = n < room ? static_cast<std::size_t>(n) : room;
        buf_.append(take, ' ');
        n -= take;
    }
}

// The trimmer: leading spaces are never counted, inner spaces are written
// once a later byte shows they are not trailing, and the first kept byte is
// held back until a second one proves the line long enough to write.
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
            // Inside a tag only its end and line ends matter: an "&nbsp;"
            // there would become a space that is dropped anyway.
            while (p < end && *p != '>' && *p != '\r')
                ++p;
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

        if (trim_ == Trim::Writing && pendingSpaces_ == 0) {
            const char *q = p;
            while (q < end && classOf(*q) == Plain)
                ++q;
            put(p, static_cast<std::size_t>(q - p));
            p = q;
            if (p == end)
                break;
        }

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
