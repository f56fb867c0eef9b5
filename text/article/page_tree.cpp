#include "text/article/page_tree.h"

#include "base/text.h"
#include "base/utf8.h"
#include "text/article/name_hints.h"
#include "text/readable/elements.h"
#include "text/readable/text_renderer.h"
#include "text/readable/tokenizer_switch.h"

#include <array>
#include <cstring>
#include <limits>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillan::text::article {
namespace {

// The renderer's element flags (kBlock, kCell, kList and the rest).
using enum readable::ElementFlag;

constexpr std::size_t kMaxHeadingBytes = 400;
constexpr std::size_t kMaxStream = std::numeric_limits<std::uint32_t>::max() - 65536;
constexpr std::size_t kFirstBytes = 4096; // the stream's first capacity; it doubles from there

// A record's kind, in the low three bits of its first byte.
enum Record : std::uint8_t {
    kTextRecord = 0,     // size, bytes
    kStartRecord = 1,    // element, [name], [attributes]
    kAttachedRecord = 2, // a start tag that opens no element (html, head, body again)
    kEndRecord = 3,      // element, [name]
    kCloseRecord = 4,    // an element without a node leaves the stack
    kCloseNodeRecord = 5 // a node leaves the stack: [text, link text, commas]
};
constexpr std::uint8_t kRecordMask = 7;
// Flags of start records.
constexpr std::uint8_t kNodeBit = 1u << 3;
constexpr std::uint8_t kPushedBit = 1u << 4;
constexpr std::uint8_t kSelfClosingBit = 1u << 5;
constexpr std::uint8_t kAttributesBit = 1u << 6;
constexpr std::uint8_t kHiddenBit = 1u << 7;
// Flags of end records: the end tag of the document's head.
constexpr std::uint8_t kHeadEndBit = 1u << 3;
// Flags of close records of nodes.
constexpr std::uint8_t kSentenceEndBit = 1u << 3;
constexpr std::uint8_t kMeasuresBit = 1u << 4;

static_assert(sizeof(PageNode) == 8, "a node of a dense page costs eight bytes");

// The flags of elements that lay out as blocks; a block opening makes
// nodes of the elements around it.
constexpr std::uint32_t kBlockish = kBlock | kCell | kTable | kListItem | kList | kRow | kRowGroup;

std::size_t varintSize(std::uint32_t value)
{
    std::size_t size = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++size;
    }
    return size;
}

char *putVarint(char *to, std::uint32_t value)
{
    while (value >= 0x80) {
        *to++ = static_cast<char>((value & 0x7F) | 0x80);
        value >>= 7;
    }
    *to++ = static_cast<char>(value);
    return to;
}

std::size_t stringSize(std::string_view s)
{
    return varintSize(static_cast<std::uint32_t>(s.size())) + s.size();
}

char *putString(char *to, std::string_view s)
{
    to = putVarint(to, static_cast<std::uint32_t>(s.size()));
    if (s.size() <= 8) {
        for (char c : s) // short names and values: cheaper than a call
            *to++ = c;
        return to;
    }
    std::memcpy(to, s.data(), s.size());
    return to + s.size();
}

// Reads the stream's records.
class Cursor {
public:
    explicit Cursor(std::string_view stream) : s_(stream) {}
    bool done() const { return at_ >= s_.size(); }
    std::size_t at() const { return at_; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(s_[at_++]); }
    void skip(std::size_t bytes) { at_ += bytes; }
    std::uint32_t varint()
    {
        std::uint32_t value = 0;
        for (int shift = 0;; shift += 7) {
            const std::uint8_t b = byte();
            value |= static_cast<std::uint32_t>(b & 0x7F) << shift;
            if (!(b & 0x80))
                return value;
        }
    }
    std::string_view string()
    {
        const std::uint32_t size = varint();
        const std::string_view s = s_.substr(at_, size);
        at_ += size;
        return s;
    }
    // An element and, for one that is no known element, its name.
    std::pair<Element, std::string_view> element()
    {
        const auto e = static_cast<Element>(byte());
        return {e, e == Element::Other ? string() : std::string_view()};
    }

private:
    std::string_view s_;
    std::size_t at_ = 0;
};

// A replayed tag's known name: a known element's, else looked up by the
// name the record holds.
std::uint32_t knownOf(Element element)
{
    return element == Element::Other ? html::Tag::kNotGiven : readable::KnownNameOf(element);
}

bool isSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool allSpace(std::string_view s)
{
    for (unsigned char c : s)
        if (!isSpace(c))
            return false;
    return true;
}

bool isTitleHeading(Element e)
{
    return e == Element::H1 || e == Element::H2 || e == Element::H3;
}

// Appends `text` to a heading's or the title's text with runs of white
// space as one space, up to kMaxHeadingBytes. The bytes kept are the same
// however the text came in pieces; the end is cut to a whole character
// once the page has ended (cutTail).
// The text is the end of `to` from `from` on.
void appendHeading(std::string &to, std::size_t from, std::string_view text)
{
    for (char c : text) {
        if (to.size() - from >= kMaxHeadingBytes)
            return;
        if (!isSpace(static_cast<unsigned char>(c)))
            to += c;
        else if (to.size() > from && to.back() != ' ')
            to += ' ';
    }
}

// The size of the text of `size` bytes at `begin` cut to a whole character,
// without a space at the end.
std::size_t cutTail(const char *begin, std::size_t size)
{
    size = static_cast<std::size_t>(base::IncompleteUtf8Tail(begin, begin + size) - begin);
    if (size != 0 && begin[size - 1] == ' ')
        --size;
    return size;
}

// An href that leads to a place in the page itself: a fragment alone,
// after any leading white space.
bool inPageLink(std::string_view href)
{
    const std::size_t at = href.find_first_not_of(" \t\n\f\r");
    return at != std::string_view::npos && href[at] == '#';
}

bool silentElement(Element e)
{
    switch (e) {
    case Element::Head:
    case Element::Title:
    case Element::Script:
    case Element::Style:
    case Element::Template:
    case Element::Noembed:
    case Element::Noframes:
    case Element::Iframe:
    case Element::Svg:
    case Element::Audio:
    case Element::Video:
    case Element::Select:
    case Element::Datalist: return true;
    default: return false;
    }
}

// Elements that always get a node, besides blocks and silent ones: what
// the scoring counts or drops by its element, and what the replay always
// hands on.
bool nodeElement(Element e)
{
    switch (e) {
    case Element::A:
    case Element::Style:
    case Element::Base:
    case Element::Math:
    case Element::Button:
    case Element::Textarea:
    case Element::Input:
    case Element::Object:
    case Element::Embed:
    case Element::Noscript: return true;
    default: return false;
    }
}

// An element without a node of its own counts at the node it is part of:
// as one of its other children (a br also as a break) when `own`, the
// node's own child; an img always as one of its images.
template <typename Counts>
void countWithoutNode(Counts &counts, bool own, Element element)
{
    if (own)
        ++counts.otherChildren;
    if (own && element == Element::Br)
        ++counts.breaks;
    if (element == Element::Img)
        ++counts.images;
}

} // namespace

void PageTree::Bytes::reserveTotal(std::size_t bytes)
{
    std::size_t capacity = std::max(capacity_, kFirstBytes);
    while (capacity < bytes && capacity * 2 <= kMaxStream)
        capacity *= 2;
    if (capacity > capacity_)
        reserve(capacity - size_);
}

void PageTree::Bytes::reserve(std::size_t bytes)
{
    const std::size_t capacity = std::max({capacity_ * 2, size_ + bytes, kFirstBytes});
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0)
        std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

void PageTree::Bytes::open(std::size_t at, std::size_t bytes)
{
    grow(bytes);
    std::memmove(data_.get() + at + bytes, data_.get() + at, size_ - bytes - at);
}

PageTree::PageTree(TokenizerSwitch *tokenizer) : tokenizer_(tokenizer)
{
    document_.node = true;
}

void PageTree::reserve(std::size_t pageBytes)
{
    stream_.reserveTotal(pageBytes);
}

std::size_t PageTree::bytesInUse() const
{
    return streamBytes() + nodes_.size() * sizeof(PageNode) + counts_.size() * sizeof(Entry) +
           wide_.size() * sizeof(wide_[0]) + classes_.size() * sizeof(classes_[0]) +
           headings_.size() * sizeof(PageHeading) + headingText_.size() + title_.size() +
           dialogs_.size() * sizeof(dialogs_[0]);
}

void PageTree::measure(Open &at, std::string_view utf8)
{
    if (at.silent || at.closedDetails)
        return;
    if (pendingEnd_) {
        // The last piece ended with . ! or ?: a sentence ends when this
        // one starts with white space.
        if (isSpace(static_cast<unsigned char>(utf8.front())))
            at.sentenceEnd = true;
        pendingEnd_ = false;
    }
    // What each byte is: most are a character and nothing else.
    // NUL is no character either: the renderer drops it from HTML text.
    enum : std::uint8_t { kSpace = 1, kTrail = 2, kComma = 4, kStop = 8, kWide = 16, kNul = 32 };
    static constexpr auto kClass = [] {
        std::array<std::uint8_t, 256> c{};
        for (unsigned char b : {' ', '\t', '\n', '\r', '\f'})
            c[b] = kSpace;
        for (int b = 0x80; b < 0xC0; ++b)
            c[b] = kTrail;
        c[','] = kComma;
        c['.'] = c['!'] = c['?'] = kStop;
        c[0xEF] = kWide;
        c[0] = kNul;
        return c;
    }();
    std::uint32_t count = 0, commas = 0;
    bool end = false;
    const auto *bytes = reinterpret_cast<const unsigned char *>(utf8.data());
    const std::size_t size = utf8.size();
    // A byte that is more than a character: a comma, an end of a
    // sentence, the start of a full-width comma.
    auto rare = [&](std::size_t i, std::uint8_t k) {
        if (k == kComma)
            ++commas;
        else if (k == kWide && i + 2 < size && bytes[i + 1] == 0xBC && bytes[i + 2] == 0x8C)
            ++commas; // a full-width comma
        else if (k == kStop && i + 1 == size)
            pendingEnd_ = true; // the next piece of the text decides
        else if (k == kStop && (kClass[bytes[i + 1]] & kSpace))
            end = true;
    };
    std::size_t i = 0;
#if defined(__SSE2__)
    // Sixteen bytes at a time: the characters are the bytes that are
    // neither white space, NUL nor a continuation byte (0x80 to 0xBF).
    for (; size - i >= 16; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
        auto is = [&x](char c) { return _mm_cmpeq_epi8(x, _mm_set1_epi8(c)); };
        const __m128i space =
            _mm_or_si128(_mm_or_si128(_mm_or_si128(is(' '), is('\t')), _mm_or_si128(is('\n'), is('\r'))), is('\f'));
        const __m128i trail = _mm_cmplt_epi8(x, _mm_set1_epi8(-64));
        const auto notCharacters =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(space, trail), is('\0'))));
        count += static_cast<std::uint32_t>(16 - __builtin_popcount(notCharacters));
        const __m128i special = _mm_or_si128(
            _mm_or_si128(_mm_or_si128(is(','), is('.')), _mm_or_si128(is('!'), is('?'))), is(static_cast<char>(0xEF)));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(special)); mask != 0; mask &= mask - 1) {
            const std::size_t where = i + static_cast<std::size_t>(__builtin_ctz(mask));
            rare(where, kClass[bytes[where]]);
        }
    }
#endif
    for (; i < size; ++i) {
        const std::uint8_t k = kClass[bytes[i]];
        if (k == 0) {
            ++count;
            continue;
        }
        if (k & (kSpace | kTrail | kNul))
            continue;
        ++count;
        rare(i, k);
    }
    at.text += count;
    if (at.inLink)
        at.linkText += count;
    at.commas += commas;
    at.sentenceEnd = at.sentenceEnd || end;
    // Only the last heading is open: a heading starts only outside any other.
    if (at.heading != kNoNode && at.heading + 1 == headings_.size())
        appendHeading(headingText_, headings_.back().at, utf8);
}

void PageTree::endHeading()
{
    if (headings_.empty())
        return;
    const std::size_t at = headings_.back().at;
    headingText_.resize(at + cutTail(headingText_.data() + at, headingText_.size() - at));
}

void PageTree::characters(std::string_view utf8)
{
    if (utf8.empty())
        return;
    if (head_ && !headClosed_ && !stack_.empty() && stack_.back().element == Element::Head && !allSpace(utf8)) {
        departed_ = departed_ || keeping_ == Keeping::Nodes;
        popTo(0), headClosed_ = true;
    }
    if (streamBytes() + utf8.size() + 16 > kMaxStream)
        throw std::length_error("page too large for article extraction");
    if (keeping_ == Keeping::Nodes) {
        // Only the size the record would have.
        const auto size = static_cast<std::uint32_t>(utf8.size());
        if (lastText_ != std::string::npos) {
            streamSize_ += varintSize(lastTextSize_ + size) - varintSize(lastTextSize_) + size;
            lastTextSize_ += size;
        } else {
            lastText_ = streamSize_;
            streamSize_ += 1 + stringSize(utf8);
            lastTextSize_ = size;
        }
    } else if (lastText_ != std::string::npos) {
        // One more piece of the same text: its size grows in place (a
        // longer size field shifts the text, at most four times a record).
        Cursor c(stream_.view().substr(lastText_ + 1));
        const std::uint32_t size = c.varint();
        const std::size_t oldBytes = c.at();
        const auto newSize = static_cast<std::uint32_t>(size + utf8.size());
        char field[8];
        const std::size_t newBytes = static_cast<std::size_t>(putVarint(field, newSize) - field);
        if (newBytes > oldBytes)
            stream_.open(lastText_ + 1 + oldBytes, newBytes - oldBytes);
        std::memcpy(stream_.data() + lastText_ + 1, field, newBytes);
        std::memcpy(stream_.grow(utf8.size()), utf8.data(), utf8.size());
    } else {
        lastText_ = stream_.size();
        char *to = stream_.grow(1 + stringSize(utf8));
        *to++ = static_cast<char>(kTextRecord);
        putString(to, utf8);
    }
    Open &at = top();
    // A title inside noscript is no title: a browser runs scripts and reads
    // noscript's content as text, as the page's title bar does.
    if (at.element == Element::Title && !titleDone_ && !at.foreign &&
        openCount_[static_cast<std::size_t>(Element::Noscript)] == 0)
        appendHeading(title_, 0, utf8);
    if (styleDepth_ != 0 && styleDepth_ == stack_.size())
        sheet_.feed(utf8);
    measure(at, utf8);
}

void PageTree::writeTag(std::uint8_t kind, Element element, const html::Tag &tag, bool attributes)
{
    lastText_ = std::string::npos;
    attributes = attributes && !tag.attributes.empty();
    std::size_t block = 0; // the attributes' bytes after the block's size
    if (attributes) {
        kind |= kAttributesBit;
        block = varintSize(static_cast<std::uint32_t>(tag.attributes.size()));
        for (const html::Attribute &a : tag.attributes)
            block += stringSize(a.name) + stringSize(a.value);
    }
    const std::size_t size =
        2 + (element == Element::Other ? stringSize(tag.name) : 0) +
        (attributes ? varintSize(static_cast<std::uint32_t>(std::min(block, kMaxStream))) + block : 0);
    if (streamBytes() + size + 16 > kMaxStream)
        throw std::length_error("page too large for article extraction");
    if (keeping_ == Keeping::Nodes) {
        streamSize_ += size;
        return;
    }
    char *to = stream_.grow(size);
    *to++ = static_cast<char>(kind);
    *to++ = static_cast<char>(element);
    if (element == Element::Other)
        to = putString(to, tag.name);
    if (attributes) {
        to = putVarint(to, static_cast<std::uint32_t>(block));
        to = putVarint(to, static_cast<std::uint32_t>(tag.attributes.size()));
        for (const html::Attribute &a : tag.attributes) {
            to = putString(to, a.name);
            to = putString(to, a.value);
        }
    }
}

void PageTree::popTo(std::size_t size)
{
    while (stack_.size() > size) {
        if (styleDepth_ == stack_.size()) {
            sheet_.endStyleElement();
            styleDepth_ = 0;
        }
        Open &e = stack_.back();
        if (e.element == Element::Title && !title_.empty())
            titleDone_ = true;
        --openCount_[static_cast<std::size_t>(e.element)];
        lastText_ = std::string::npos;
        if (e.node) {
            const bool measures = e.text != 0 || e.linkText != 0 || e.commas != 0;
            char record[16];
            char *to = record;
            *to++ = static_cast<char>(kCloseNodeRecord | (e.sentenceEnd ? kSentenceEndBit : 0) |
                                      (measures ? kMeasuresBit : 0));
            if (measures) {
                to = putVarint(to, e.text);
                to = putVarint(to, e.linkText);
                to = putVarint(to, e.commas);
            }
            const auto bytes = static_cast<std::size_t>(to - record);
            if (keeping_ == Keeping::Nodes) {
                streamSize_ += bytes;
                nodes_[e.pageNode].sentenceEnd = e.sentenceEnd;
                closeCounts(e.entry, {e.text, e.linkText, e.commas, e.images, e.otherChildren, e.breaks});
            } else {
                std::memcpy(stream_.grow(bytes), record, bytes);
            }
            stack_.pop_back();
        } else {
            // Its measures are its parent's.
            if (keeping_ == Keeping::Nodes)
                ++streamSize_;
            else
                *stream_.grow(1) = static_cast<char>(kCloseRecord);
            const Open gone = e;
            stack_.pop_back();
            Open &parent = top();
            parent.text += gone.text;
            parent.linkText += gone.linkText;
            parent.commas += gone.commas;
            parent.sentenceEnd = parent.sentenceEnd || gone.sentenceEnd;
        }
    }
}

void PageTree::closeHead()
{
    for (std::size_t i = 0; i < stack_.size(); ++i)
        if (stack_[i].element == Element::Head) {
            popTo(i);
            break;
        }
    headClosed_ = true;
}

std::ptrdiff_t PageTree::find(Element element, std::string_view name, bool buttonScope, bool stopAtSpecial,
                              bool tableScope) const
{
    if (element != Element::Other && openCount_[static_cast<std::size_t>(element)] == 0)
        return -1;
    for (std::size_t i = stack_.size(); i-- > 0;) {
        const Open &e = stack_[i];
        if (e.element == element && (element != Element::Other || stream_.view().substr(e.nameAt, e.nameSize) == name))
            return static_cast<std::ptrdiff_t>(i);
        if (tableScope && e.element == Element::Table)
            return -1;
        if (buttonScope && ((e.flags & kScopeBoundary) || e.element == Element::Button))
            return -1;
        if (stopAtSpecial && (e.flags & kSpecial) && e.element != Element::Address && e.element != Element::Div &&
            e.element != Element::P)
            return -1;
    }
    return -1;
}

void PageTree::impliedEnds(Element element, std::uint32_t flags)
{
    const std::size_t before = stack_.size();
    impliedEndsOf(element, flags);
    // A walk of a Document closes its elements itself.
    departed_ = departed_ || (keeping_ == Keeping::Nodes && stack_.size() != before);
}

void PageTree::impliedEndsOf(Element element, std::uint32_t flags)
{
    auto closeFound = [this](std::ptrdiff_t at) {
        if (at >= 0)
            popTo(static_cast<std::size_t>(at));
    };
    if (flags & kClosesP)
        closeFound(find(Element::P, {}, true, false, false));
    switch (element) {
    case Element::Li: closeFound(find(Element::Li, {}, false, true, false)); break;
    case Element::Dd:
    case Element::Dt:
        closeFound(find(Element::Dd, {}, false, true, false));
        closeFound(find(Element::Dt, {}, false, true, false));
        break;
    case Element::Td:
    case Element::Th:
        closeFound(find(Element::Td, {}, false, false, true));
        closeFound(find(Element::Th, {}, false, false, true));
        break;
    case Element::Tr: closeFound(find(Element::Tr, {}, false, false, true)); break;
    case Element::Tbody:
    case Element::Thead:
    case Element::Tfoot:
        closeFound(find(Element::Tbody, {}, false, false, true));
        closeFound(find(Element::Thead, {}, false, false, true));
        closeFound(find(Element::Tfoot, {}, false, false, true));
        break;
    case Element::Option:
        if (top().element == Element::Option)
            popTo(stack_.size() - 1);
        break;
    case Element::A: closeFound(find(Element::A, {}, false, false, true)); break;
    default:
        if ((flags & kHeading) && (top().flags & kHeading))
            popTo(stack_.size() - 1);
        break;
    }
}

void PageTree::attached(const html::Tag &tag, Element element)
{
    departed_ = departed_ || keeping_ == Keeping::Nodes; // a Document has one of each
    writeTag(kAttachedRecord, element, tag, true);       // html, head and body come back never self-closing
}

bool PageTree::open(const html::Tag &tag, Element element, std::uint32_t flags, bool special)
{
    const Open &parent = top();
    Open e;
    e.element = element;
    e.flags = flags;
    e.foreign = parent.foreign || element == Element::Svg || element == Element::Math;

    // The attributes that matter here, in one pass (names are unique, and
    // a value-less attribute reads as empty, as Tag::attribute() gives it).
    std::string_view id, classes, style, role, hrefValue;
    bool hiddenAttribute = false, openAttribute = false, href = false, modal = false;
    for (const html::Attribute &a : tag.attributes) {
        const std::string_view value = a.value.data() ? a.value : std::string_view("", 0);
        switch (a.name.size()) {
        case 2:
            if (a.name == "id")
                id = value;
            break;
        case 4:
            if (a.name == "open")
                openAttribute = true;
            else if (a.name == "role")
                role = value;
            else if (a.name == "href") {
                href = true;
                hrefValue = value;
            }
            break;
        case 5:
            if (a.name == "class")
                classes = value;
            else if (a.name == "style")
                style = value;
            break;
        case 6:
            if (a.name == "hidden")
                hiddenAttribute = true;
            break;
        case 10:
            if (a.name == "aria-modal")
                modal = base::EqualsNoCase(value, "true");
            break;
        default: break;
        }
    }
    // Only a hyperlink is link text; a table cell starts afresh, as the tree
    // builder does not carry formatting elements into cells.
    e.inLink = (parent.inLink && !(flags & kCell)) || (element == Element::A && href);
    bool hidden = (flags & (kNotDisplayed | kNoContent)) || hiddenAttribute ||
                  (element == Element::Dialog && !openAttribute) ||
                  (parent.closedDetails && element != Element::Summary);
    if (!hidden && !style.empty() && InlineStyle(style).hides)
        hidden = true;
    if (!hidden && !sheet_.empty() && sheet_.match(tag.name, id, classes).hides)
        hidden = true;
    e.silent = parent.silent || hidden || silentElement(element);
    e.closedDetails = element == Element::Details && !openAttribute && !e.silent;
    e.heading = parent.heading;
    // Ruby's readings are no part of a heading's text, as of the article's.
    if (element == Element::Rt || element == Element::Rp)
        e.heading = kNoNode;
    if (e.heading == kNoNode && isTitleHeading(element) && !e.silent) {
        if (headings_.size() == kMaxHeadings) {
            headingsCut_ = true;
        } else {
            endHeading();
            e.heading = static_cast<std::uint32_t>(headings_.size());
            headings_.push_back({kNoNode, static_cast<std::uint32_t>(headingText_.size())});
        }
    }
    e.node = special || (flags & kBlockish) || hidden || silentElement(element) || nodeElement(element) ||
             holdsBlock_ || modal;
    if (!e.node) {
        if ((!classes.empty() || !id.empty() || !role.empty()) && ReadNameHints(classes, id, role).unlikely)
            e.node = true;
    }
    const bool leaf = (flags & kVoid) || (tag.selfClosing && e.foreign);
    const bool pushed = special || (!leaf && stack_.size() < kMaxDepth);
    departed_ = departed_ || (keeping_ == Keeping::Nodes && !leaf && !pushed);
    e.withoutNode = parent.withoutNode + (e.node ? 0 : 1);

    if (e.node && (flags & kBlockish) && parent.withoutNode != 0) {
        // A block inside inline elements: they become nodes.
        for (std::size_t i = stack_.size(); i-- > 0 && stack_[i].withoutNode != 0;) {
            if (!stack_[i].node && keeping_ == Keeping::Nodes) {
                departed_ = true; // its node should have come with its start tag
            } else if (!stack_[i].node) {
                stack_[i].node = true;
                ++nodeCount_;
                stream_.data()[stack_[i].tokenAt] |= static_cast<char>(kNodeBit);
            }
            stack_[i].withoutNode = 0;
        }
        e.withoutNode = 0;
    }

    nodeCount_ += e.node ? 1 : 0;
    e.tokenAt = static_cast<std::uint32_t>(stream_.size());
    writeTag(static_cast<std::uint8_t>(kStartRecord | (e.node ? kNodeBit : 0) | (pushed ? kPushedBit : 0) |
                                       (tag.selfClosing && !special ? kSelfClosingBit : 0) | (hidden ? kHiddenBit : 0)),
             element, tag, true);
    if (keeping_ == Keeping::Nodes) {
        e.source = source_;
        if (e.node) {
            e.nodeLevel = static_cast<std::uint32_t>(stack_.size() + 1);
            makeNode(e, parent, hidden, pushed, id, classes, role, hrefValue, modal);
        } else {
            // Counted at the node it is part of.
            e.pageNode = parent.pageNode;
            e.nodeLevel = parent.nodeLevel;
            countWithoutNode(parent.nodeLevel == 0 ? document_ : stack_[parent.nodeLevel - 1], parent.node, element);
        }
    }
    if (element == Element::Other) {
        e.nameAt = e.tokenAt + 2 + static_cast<std::uint32_t>(varintSize(static_cast<std::uint32_t>(tag.name.size())));
        e.nameSize = static_cast<std::uint16_t>(std::min<std::size_t>(tag.name.size(), 65535));
    }
    if (pushed) {
        stack_.push_back(e);
        ++openCount_[static_cast<std::size_t>(element)];
    }
    return pushed;
}

void PageTree::foreignSwitch()
{
    const bool foreignNow = top().foreign;
    if (tokenizer_ && foreignNow != lastForeign_) {
        lastForeign_ = foreignNow;
        tokenizer_->setForeignContent(foreignNow);
    }
}

void PageTree::endTextRun()
{
    if (pendingEnd_)
        top().sentenceEnd = true;
    pendingEnd_ = false;
}

void PageTree::noteDialog(std::uint32_t node, Element element, bool named, bool modal)
{
    // The names of the page's root and body speak of its state ("cookies
    // set"), not of a box.
    if (element == Element::Html || element == Element::Body)
        return;
    if ((named || modal || element == Element::Dialog) && dialogs_.size() < kMaxDialogs)
        dialogs_.push_back(node);
}

void PageTree::makeNode(Open &e, const Open &parent, bool hidden, bool pushed, std::string_view id,
                        std::string_view classes, std::string_view role, std::string_view href, bool modal)
{
    const auto node = static_cast<std::uint32_t>(nodes_.size());
    PageNode n;
    n.parent = parent.pageNode;
    n.wrapped = !parent.node;
    n.element = e.element;
    n.block = (e.flags & (kBlock | kCell | kTable | kListItem | kList)) != 0;
    n.heading = (e.flags & kHeading) != 0;
    n.inPage = e.element == Element::A && inPageLink(href);
    n.silent = nodes_[parent.pageNode].silent || hidden || silentElement(e.element);
    bool named = false;
    if (!classes.empty() || !id.empty() || !role.empty()) {
        const NameHints hints = ReadNameHints(classes, id, role);
        n.classWeight = static_cast<std::int8_t>(hints.weight);
        n.unlikely = hints.unlikely;
        named = hints.dialog;
    }
    n.unlikely = n.unlikely || modal;
    noteDialog(node, e.element, named, modal);
    if (!classes.empty())
        classes_.emplace_back(node, static_cast<std::uint32_t>(std::hash<std::string_view>{}(classes) | 1));
    if (e.heading != kNoNode && e.heading != parent.heading)
        headings_[e.heading].node = node;
    nodes_.push_back(n);
    sources_.push_back(e.source);
    e.pageNode = node;
    // Without being pushed (nothing inside it), its counts are none.
    if (pushed) {
        e.entry = static_cast<std::uint32_t>(counts_.size());
        counts_.push_back({node});
    }
}

bool PageTree::opensBlock(std::uint32_t flags)
{
    return (flags & kBlockish) != 0;
}

void PageTree::keep(Keeping keeping)
{
    keeping_ = keeping;
    if (keeping != Keeping::Nodes)
        return;
    nodes_.assign(1, PageNode{});
    sources_.assign(1, 0);
    counts_.assign(1, Entry{0});
}

void PageTree::startTag(const html::Tag &tag)
{
    holdsBlock_ = false;
    start(tag);
}

void PageTree::startTagOf(const html::Tag &tag, std::uint32_t source, bool holdsBlock)
{
    source_ = source;
    holdsBlock_ = holdsBlock;
    start(tag);
}

void PageTree::endTagOf(const html::Tag &tag, std::uint32_t source)
{
    source_ = source;
    endTag(tag);
}

void PageTree::start(const html::Tag &tag)
{
    endTextRun();
    const ElementInfo info = LookupElement(tag);
    Element element = info.element;
    std::uint32_t flags = info.flags;
    const bool inForeign = top().foreign;
    if (inForeign && element != Element::Svg && element != Element::Math) {
        element = Element::Other; // foreign elements share HTML names but none of their rules
        flags = 0;
    }

    switch (element) {
    case Element::Html:
        if (!html_) {
            html_ = true;
            open(tag, element, flags, true);
        } else {
            attached(tag, element);
        }
        return;
    case Element::Head:
        if (!head_ && !body_) {
            head_ = true;
            open(tag, element, flags, true);
        } else {
            attached(tag, element);
        }
        return;
    case Element::Body:
        if (!body_) {
            if (head_ && !headClosed_) {
                departed_ = departed_ || keeping_ == Keeping::Nodes;
                closeHead();
            }
            body_ = true;
            open(tag, element, flags, true);
        } else {
            attached(tag, element);
        }
        return;
    default: break;
    }

    // Content that cannot stay in head ends it.
    if (head_ && !headClosed_ && !(flags & kHeadContent) && !inForeign) {
        departed_ = departed_ || keeping_ == Keeping::Nodes;
        closeHead();
    }
    if (!inForeign)
        impliedEnds(element, flags);

    const bool pushed = open(tag, element, flags, false);
    if (!inForeign && tokenizer_)
        SwitchTokenizerAfter(*tokenizer_, element);
    if (pushed && element == Element::Style && styleDepth_ == 0) {
        const std::string_view media = tag.attribute("media");
        if (media.empty() || media.find("screen") != std::string_view::npos ||
            media.find("all") != std::string_view::npos)
            styleDepth_ = stack_.size();
    }
    foreignSwitch();
}

void PageTree::endTag(const html::Tag &tag)
{
    endTextRun();
    const ElementInfo info = LookupElement(tag);
    Element element = info.element;
    const bool inForeign = top().foreign;
    if (inForeign && element != Element::Svg && element != Element::Math)
        element = Element::Other;
    std::uint8_t kind = kEndRecord;
    switch (element) {
    case Element::Html:
    case Element::Body: break;
    case Element::Head:
        if (head_ && !headClosed_) {
            closeHead();
            kind |= kHeadEndBit;
        }
        break;
    default: {
        if (keeping_ == Keeping::Nodes) {
            // The walk's end tag closes the element it opened last.
            if (stack_.empty() || stack_.back().source != source_)
                departed_ = true;
            else
                popTo(stack_.size() - 1);
            break;
        }
        const bool paragraph = element == Element::P;
        const std::ptrdiff_t at = find(element, tag.name, paragraph, false, false);
        if (at >= 0)
            popTo(static_cast<std::size_t>(at));
        break;
    }
    }
    writeTag(kind, element, tag, false);
    foreignSwitch();
}

void PageTree::endOfFile()
{
    endOfStream();
    build();
}

void PageTree::endOfStream()
{
    endTextRun();
    popTo(0);
    if (keeping_ == Keeping::Nodes) {
        nodes_[0].sentenceEnd = document_.sentenceEnd;
    } else {
        PageNode document;
        document.sentenceEnd = document_.sentenceEnd;
        nodes_.reserve(nodeCount_);
        nodes_.assign(1, document);
    }
    std::vector<Open>().swap(stack_);
    // A text cut at the limit ends on a whole character.
    endHeading();
    title_.resize(cutTail(title_.data(), title_.size()));
}

std::size_t PageTree::mostBytesBuilt() const
{
    // Each node at most: itself, an entry of counts, a class's hash.
    return streamBytes() + nodeCount_ * (sizeof(PageNode) + sizeof(Entry) + sizeof(classes_[0])) +
           headings_.size() * sizeof(PageHeading) + headingText_.size() + title_.size() +
           kMaxDialogs * sizeof(dialogs_[0]);
}

NodeCounts PageTree::wideCounts(std::uint32_t node) const
{
    return std::lower_bound(wide_.begin(), wide_.end(), node,
                            [](const auto &w, std::uint32_t n) { return w.first < n; })
        ->second;
}

NodeCounts PageTree::countsOf(std::uint32_t node) const
{
    if (!nodes_[node].counted)
        return {nodes_[node].few, 0, 0, 0, 0, 0};
    const Entry &entry = *std::lower_bound(counts_.begin(), counts_.end(), node,
                                           [](const Entry &e, std::uint32_t n) { return e.node < n; });
    return entry.wide ? wideCounts(node) : countsOf(entry);
}

std::uint32_t PageTree::classHash(std::uint32_t node) const
{
    const auto it = std::lower_bound(classes_.begin(), classes_.end(), node,
                                     [](const auto &c, std::uint32_t n) { return c.first < n; });
    return it != classes_.end() && it->first == node ? it->second : 0;
}

void PageTree::closeCounts(std::uint32_t at, const NodeCounts &c)
{
    Entry &e = counts_[at];
    PageNode &n = nodes_[e.node];
    if (c.text <= PageNode::kFewMax && (c.linkText | c.commas | c.images | c.otherChildren | c.breaks) == 0) {
        n.few = static_cast<std::uint8_t>(c.text);
        if (at + 1 == counts_.size()) {
            counts_.pop_back();
        } else {
            e.node = kNoNode; // given up: erased at the end
            gone_ = true;
        }
        return;
    }
    n.counted = true;
    e.text = c.text;
    if (c.linkText <= UINT16_MAX && c.commas <= UINT16_MAX && c.images <= UINT8_MAX && c.otherChildren <= UINT8_MAX &&
        c.breaks <= UINT8_MAX) {
        e.linkText = static_cast<std::uint16_t>(c.linkText);
        e.commas = static_cast<std::uint16_t>(c.commas);
        e.images = static_cast<std::uint8_t>(c.images);
        e.otherChildren = static_cast<std::uint8_t>(c.otherChildren);
        e.breaks = static_cast<std::uint8_t>(c.breaks);
    } else {
        e.wide = true;
        wide_.emplace_back(e.node, c);
    }
}

void PageTree::build()
{
    if (keeping_ == Keeping::Nodes) {
        // Built as the tags came: only the document's counts are left.
        closeCounts(0, {document_.text, document_.linkText, document_.commas, document_.images, document_.otherChildren,
                        document_.breaks});
        finishCounts();
        return;
    }
    // The stack again, as the records say: each level's node (its own, or
    // the one around it) and whether it is its own; a node's own level adds
    // up its counts of elements without a node until it is closed.
    struct Level {
        std::uint32_t node;
        std::uint32_t nodeLevel; // the level of its node, kNoNode: the document
        std::uint32_t entry;     // its node's place in counts_
        bool own;
        bool inHeading; // inside a heading of headings_
        std::uint32_t images = 0, otherChildren = 0, breaks = 0;
    };
    std::vector<Level> levels;
    Level document{0, kNoNode, 0, true, false};
    // At most one entry a node. Reserved, not grown: a large vector comes
    // from fresh pages that count only once written, where growing it would
    // hold the old copy and the new one at once.
    counts_.reserve(nodeCount_ + 1);
    counts_.push_back({0});
    std::size_t heading = 0;
    Cursor c(stream_.view());
    while (!c.done()) {
        const std::uint8_t kind = c.byte();
        // (A reference: it is not used once levels grows.)
        const Level &at = levels.empty() ? document : levels.back();
        switch (kind & kRecordMask) {
        case kTextRecord: c.string(); break;
        case kStartRecord: {
            const auto [element, name] = c.element();
            std::string_view id, classes, role, href, modal;
            if ((kind & kAttributesBit) && !(kind & kNodeBit)) {
                c.skip(c.varint());
            } else if (kind & kAttributesBit) {
                c.varint();
                for (std::uint32_t n = c.varint(); n > 0; --n) {
                    const std::string_view key = c.string();
                    const std::string_view value = c.string();
                    std::string_view *slot = key == "id"           ? &id
                                             : key == "class"      ? &classes
                                             : key == "role"       ? &role
                                             : key == "href"       ? &href
                                             : key == "aria-modal" ? &modal
                                                                   : nullptr;
                    if (slot && !slot->data())
                        *slot = value.data() ? value : std::string_view("", 0);
                }
            }
            if (kind & kNodeBit) {
                PageNode n;
                n.parent = at.node;
                n.wrapped = !at.own;
                n.element = element;
                const std::uint32_t flags = FlagsOf(element);
                n.block = (flags & (kBlock | kCell | kTable | kListItem | kList)) != 0;
                n.heading = (flags & kHeading) != 0;
                n.inPage = element == Element::A && inPageLink(href);
                n.silent = nodes_[at.node].silent || (kind & kHiddenBit) || silentElement(element);
                const bool isModal = base::EqualsNoCase(modal, "true");
                bool named = false;
                if (!classes.empty() || !id.empty() || !role.empty()) {
                    const NameHints hints = ReadNameHints(classes, id, role);
                    n.classWeight = static_cast<std::int8_t>(hints.weight);
                    n.unlikely = hints.unlikely;
                    named = hints.dialog;
                }
                n.unlikely = n.unlikely || isModal;
                const auto node = static_cast<std::uint32_t>(nodes_.size());
                noteDialog(node, element, named, isModal);
                if (!classes.empty())
                    classes_.emplace_back(node, static_cast<std::uint32_t>(std::hash<std::string_view>{}(classes) | 1));
                bool inHeading = at.inHeading;
                if (!at.inHeading && isTitleHeading(element) && !n.silent && heading < headings_.size()) {
                    headings_[heading++].node = node;
                    inHeading = true;
                }
                nodes_.push_back(n);
                // Without a close record (nothing inside it), its counts are none.
                if (kind & kPushedBit) {
                    levels.push_back({node, static_cast<std::uint32_t>(levels.size()),
                                      static_cast<std::uint32_t>(counts_.size()), true, inHeading});
                    counts_.push_back({node});
                }
            } else {
                countWithoutNode(at.nodeLevel == kNoNode ? document : levels[at.nodeLevel], at.own, element);
                if (kind & kPushedBit)
                    levels.push_back(Level{at.node, at.nodeLevel, at.entry, false, at.inHeading});
            }
            break;
        }
        case kAttachedRecord:
            c.element();
            if (kind & kAttributesBit)
                c.skip(c.varint());
            break;
        case kEndRecord: c.element(); break;
        case kCloseRecord: levels.pop_back(); break;
        case kCloseNodeRecord: {
            NodeCounts counts{0, 0, 0, at.images, at.otherChildren, at.breaks};
            nodes_[at.node].sentenceEnd = (kind & kSentenceEndBit) != 0;
            if (kind & kMeasuresBit) {
                counts.text = c.varint();
                counts.linkText = c.varint();
                counts.commas = c.varint();
            }
            closeCounts(at.entry, counts);
            levels.pop_back();
            break;
        }
        default: break;
        }
    }
    closeCounts(0, {document_.text, document_.linkText, document_.commas, document.images, document.otherChildren,
                    document.breaks});
    finishCounts();
}

void PageTree::finishCounts()
{
    if (gone_)
        std::erase_if(counts_, [](const Entry &entry) { return entry.node == kNoNode; });
    // The wide ones came as their nodes closed.
    const auto byNode = [](const auto &a, const auto &b) { return a.first < b.first; };
    if (!std::is_sorted(wide_.begin(), wide_.end(), byNode))
        std::sort(wide_.begin(), wide_.end(), byNode);
}

void PageTree::replay(html::TokenSink &sink, const std::function<bool(const TokenPlace &)> &want,
                      const std::function<bool()> &done) const
{
    const auto finished = [&done] { return done && done(); };
    struct Level {
        std::uint32_t node;
        bool own;
    };
    std::vector<Level> levels;
    std::vector<html::Attribute> attributes;
    std::uint32_t nodes = 0, head = kNoNode;
    bool popped = false; // the element an end tag closed
    Level last{0, true};
    Cursor c(stream_.view());
    while (!c.done()) {
        const std::uint8_t kind = c.byte();
        const Level at = levels.empty() ? Level{0, true} : levels.back();
        switch (kind & kRecordMask) {
        case kTextRecord: {
            const std::string_view text = c.string();
            if (want({TokenKind::Text, at.node, at.own})) {
                sink.characters(text);
                if (finished())
                    return;
            }
            break;
        }
        case kStartRecord:
        case kAttachedRecord: {
            const auto [element, name] = c.element();
            TokenPlace place{TokenKind::Start, at.node, at.own};
            if ((kind & kRecordMask) == kStartRecord) {
                if (kind & kNodeBit) {
                    place = {TokenKind::Start, ++nodes, true};
                    if (element == Element::Head)
                        head = nodes;
                } else {
                    place.own = false;
                }
                if (kind & kPushedBit)
                    levels.push_back({place.node, place.own});
            }
            const bool wanted = want(place);
            attributes.clear();
            if ((kind & kAttributesBit) && !wanted) {
                c.skip(c.varint());
            } else if (kind & kAttributesBit) {
                c.varint();
                for (std::uint32_t n = c.varint(); n > 0; --n) {
                    const std::string_view key = c.string();
                    attributes.push_back({key, c.string()});
                }
            }
            if (wanted) {
                html::Tag tag;
                tag.name = element == Element::Other ? name : ElementName(element);
                tag.known = knownOf(element);
                tag.selfClosing = (kind & kSelfClosingBit) != 0;
                tag.attributes = attributes;
                sink.startTag(tag);
                if (finished())
                    return;
            }
            break;
        }
        case kEndRecord: {
            const auto [element, name] = c.element();
            Level of = popped ? last : at;
            if ((kind & kHeadEndBit) && head != kNoNode)
                of = {head, true};
            if (want({TokenKind::End, of.node, of.own})) {
                html::Tag tag;
                tag.name = element == Element::Other ? name : ElementName(element);
                tag.known = knownOf(element);
                sink.endTag(tag);
                if (finished())
                    return;
            }
            break;
        }
        case kCloseRecord:
        case kCloseNodeRecord:
            if ((kind & kRecordMask) == kCloseNodeRecord && (kind & kMeasuresBit)) {
                c.varint();
                c.varint();
                c.varint();
            }
            last = at;
            levels.pop_back();
            popped = true;
            continue;
        default: break;
        }
        popped = false;
    }
}

} // namespace quillan::text::article
