#include "html/tokenizer/tokenizer.h"

#include "base/byte_scan.h"
#include "base/hex.h"
#include "base/text.h"
#include "base/utf8.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>

namespace quillan::html {

namespace {

#include "named_references.inc"

constexpr int kEof = -1;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
// Bytes a feed() appends to a carried construct before trying it again; more
// than the longest lookahead (a named reference and the character after it).
constexpr std::size_t kCarryStep = 64;
static_assert(kCarryStep > kLongestNamedReference + 1);
// Characters collected outside the input are handed on once they reach this.
constexpr std::size_t kTextFlush = 8192;
// Up to this many attributes a tag's names are compared one by one.
constexpr std::size_t kLinearAttributeSearch = 16;
constexpr std::size_t kMaxText = Tokenizer::kMaxTokenText;
constexpr std::size_t kMaxAttributeText = Tokenizer::kMaxTagAttributeText;
constexpr std::size_t kMaxAttributes = Tokenizer::kMaxTagAttributes;

// The length of the longest prefix of `text` no longer than `max` that does
// not end inside a UTF-8 sequence (text longer than max).
[[gnu::noinline, gnu::cold]] std::size_t cutLength(std::string_view text, std::size_t max)
{
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    return n;
}
inline std::string_view bounded(std::string_view text)
{
    if (text.size() <= kMaxText) [[likely]]
        return text;
    return text.substr(0, cutLength(text, kMaxText));
}
// Cuts what `s` holds from `start` on back to the bound.
inline void bound(std::string &s, std::size_t start)
{
    if (s.size() > start + kMaxText) [[unlikely]]
        s.resize(start + cutLength(std::string_view(s).substr(start), kMaxText));
}
[[gnu::noinline, gnu::cold]] void appendCut(std::string &s, std::size_t start, const char *p, std::size_t length)
{
    // Room to see where the last character kept ends.
    const std::size_t limit = start + kMaxText + 4;
    s.append(p, s.size() >= limit ? 0 : std::min(length, limit - s.size()));
    bound(s, start);
}
// Appends [p, q) to `s` as far as the bound of the text from `start` lets it.
inline void appendBounded(std::string &s, std::size_t start, const char *p, const char *q)
{
    const auto length = static_cast<std::size_t>(q - p);
    if (s.size() + length <= start + kMaxText) [[likely]]
        s.append(p, length);
    else
        appendCut(s, start, p, length);
}

bool isWhitespace(int c)
{
    return c == '\t' || c == '\n' || c == '\f' || c == ' ';
}
bool isUpper(int c)
{
    return c >= 'A' && c <= 'Z';
}
bool isLower(int c)
{
    return c >= 'a' && c <= 'z';
}
bool isAlpha(int c)
{
    return isUpper(c) || isLower(c);
}
bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}
bool isAlnum(int c)
{
    return isAlpha(c) || isDigit(c);
}
char lowerByte(int c)
{
    return base::AsciiLower(static_cast<char>(c));
}
// Appends the character c (its text ch) to a name: NUL as U+FFFD, ASCII
// capitals in lower case.
void appendNameCharacter(std::string &name, int c, std::string_view ch)
{
    if (c == 0)
        name.append(kReplacement);
    else if (isUpper(c))
        name.push_back(lowerByte(c));
    else
        name.append(ch);
}

// Whether [p, end) starts with `word` (ASCII letters compared without case
// when `anyCase`); `more` is set when the bytes there are a proper prefix.
bool startsWith(const char *p, const char *end, std::string_view word, bool anyCase, bool &more)
{
    const std::size_t avail = static_cast<std::size_t>(end - p);
    const std::size_t n = std::min(avail, word.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char a = anyCase ? base::AsciiLower(p[i]) : p[i];
        if (a != word[i])
            return false;
    }
    if (n < word.size()) {
        more = true;
        return false;
    }
    return true;
}

// Byte classes for the runs read in bulk inside tags: a set bit means the
// byte simply extends the run.
enum : std::uint8_t { kTagNameRun = 1, kAttributeNameRun = 2, kUnquotedValueRun = 4 };

constexpr std::array<std::uint8_t, 256> makeByteClasses()
{
    std::array<std::uint8_t, 256> t{};
    for (int b = 0; b < 256; ++b) {
        const bool space = b == '\t' || b == '\n' || b == '\f' || b == ' ' || b == '\r';
        const bool stop = space || b == 0 || b == '>';
        const bool upper = b >= 'A' && b <= 'Z';
        std::uint8_t bits = 0;
        if (!stop && !upper && b != '/')
            bits |= kTagNameRun;
        if (!stop && !upper && b != '/' && b != '=')
            bits |= kAttributeNameRun;
        if (!stop && b != '&')
            bits |= kUnquotedValueRun;
        t[static_cast<std::size_t>(b)] = bits;
    }
    return t;
}
constexpr std::array<std::uint8_t, 256> kByteClasses = makeByteClasses();

// The end of the run of bytes of class `bits` that starts at p.
const char *runOf(const char *p, const char *end, std::uint8_t bits)
{
    while (p != end && (kByteClasses[static_cast<unsigned char>(*p)] & bits) != 0)
        ++p;
    return p;
}

// What a numeric reference to 0x80..0x9F stands for: the windows-1252
// character of that byte where it has one, else the code point itself.
std::uint32_t c1Replacement(std::uint32_t cp)
{
    static constexpr std::uint16_t table[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    return cp >= 0x80 && cp <= 0x9F ? table[cp - 0x80] : cp;
}

} // namespace

enum class Tokenizer::State : std::uint8_t {
    Data,
    Rcdata,
    Rawtext,
    ScriptData,
    Plaintext,
    TagOpen,
    EndTagOpen,
    TagName,
    RcdataLessThan,
    RcdataEndTagOpen,
    RcdataEndTagName,
    RawtextLessThan,
    RawtextEndTagOpen,
    RawtextEndTagName,
    ScriptDataLessThan,
    ScriptDataEndTagOpen,
    ScriptDataEndTagName,
    ScriptDataEscapeStart,
    ScriptDataEscapeStartDash,
    ScriptDataEscaped,
    ScriptDataEscapedDash,
    ScriptDataEscapedDashDash,
    ScriptDataEscapedLessThan,
    ScriptDataEscapedEndTagOpen,
    ScriptDataEscapedEndTagName,
    ScriptDataDoubleEscapeStart,
    ScriptDataDoubleEscaped,
    ScriptDataDoubleEscapedDash,
    ScriptDataDoubleEscapedDashDash,
    ScriptDataDoubleEscapedLessThan,
    ScriptDataDoubleEscapeEnd,
    BeforeAttributeName,
    AttributeName,
    AfterAttributeName,
    BeforeAttributeValue,
    AttributeValueDoubleQuoted,
    AttributeValueSingleQuoted,
    AttributeValueUnquoted,
    AfterAttributeValueQuoted,
    SelfClosingStartTag,
    BogusComment,
    MarkupDeclarationOpen,
    CommentStart,
    CommentStartDash,
    Comment,
    CommentLessThan,
    CommentLessThanBang,
    CommentLessThanBangDash,
    CommentLessThanBangDashDash,
    CommentEndDash,
    CommentEnd,
    CommentEndBang,
    Doctype,
    BeforeDoctypeName,
    DoctypeName,
    AfterDoctypeName,
    AfterDoctypePublicKeyword,
    BeforeDoctypePublicId,
    DoctypePublicIdDoubleQuoted,
    DoctypePublicIdSingleQuoted,
    AfterDoctypePublicId,
    BetweenDoctypePublicAndSystemIds,
    AfterDoctypeSystemKeyword,
    BeforeDoctypeSystemId,
    DoctypeSystemIdDoubleQuoted,
    DoctypeSystemIdSingleQuoted,
    AfterDoctypeSystemId,
    BogusDoctype,
    CdataSection,
    CdataSectionBracket,
    CdataSectionEnd,
    CharacterReference,
    NamedCharacterReference,
    AmbiguousAmpersand,
    NumericCharacterReference,
    HexadecimalReferenceStart,
    DecimalReferenceStart,
    HexadecimalReference,
    DecimalReference,
};

Tokenizer::Tokenizer(TokenSink &sink) : sink_(&sink), state_(State::Data), returnState_(State::Data) {}

void Tokenizer::setState(TextState state)
{
    switch (state) {
    case TextState::Data: state_ = State::Data; break;
    case TextState::Rcdata: state_ = State::Rcdata; break;
    case TextState::Rawtext: state_ = State::Rawtext; break;
    case TextState::ScriptData: state_ = State::ScriptData; break;
    case TextState::Plaintext: state_ = State::Plaintext; break;
    case TextState::CdataSection: state_ = State::CdataSection; break;
    }
}

void Tokenizer::feed(std::string_view chunk)
{
    if (finished_)
        return;
    // A construct left unfinished by the last chunk is tried again with a
    // little more input at a time, until it is decided.
    while (!carry_.empty() && !chunk.empty()) {
        const std::size_t n = std::min(chunk.size(), kCarryStep);
        carryWork_.swap(carry_);
        carryWork_.append(chunk.data(), n);
        chunk.remove_prefix(n);
        const char *begin = carryWork_.data();
        const char *end = begin + carryWork_.size();
        const char *stop = run(begin, end, false);
        carry_.assign(stop, end);
        carryWork_.clear();
    }
    if (!chunk.empty()) {
        const char *end = chunk.data() + chunk.size();
        const char *stop = run(chunk.data(), end, false);
        carry_.assign(stop, end);
    }
    flushText();
}

void Tokenizer::finish()
{
    if (finished_)
        return;
    carryWork_.swap(carry_);
    carry_.clear();
    const char *begin = carryWork_.data();
    run(begin, begin + carryWork_.size(), true);
    carryWork_.clear();
    finished_ = true;
}

void Tokenizer::emitView(std::string_view text)
{
    flushText();
    if (!text.empty())
        sink_->characters(text);
}

void Tokenizer::flushText()
{
    if (textBuffer_.empty())
        return;
    sink_->characters(textBuffer_);
    textBuffer_.clear();
}

void Tokenizer::emitEof()
{
    flushText();
    finished_ = true;
    sink_->endOfFile();
}

const char *Tokenizer::scanText(const char *p, const char *end, bool eof, char a, char b, char c, char d)
{
    const char *q = base::FindAny(p, end, a, b, c, d);
    if (q == end && !eof)
        q = base::IncompleteUtf8Tail(p, end);
    if (q != p)
        emitView({p, static_cast<std::size_t>(q - p)});
    return q;
}

void Tokenizer::beginTag(bool endTag)
{
    endTag_ = endTag;
    selfClosing_ = false;
    attributeOpen_ = false;
    tagName_.clear();
    attributeText_.clear();
    attributeRanges_.clear();
    fieldStart_ = 0;
    if (!attributeIndex_.empty())
        attributeIndex_.clear();
}

void Tokenizer::beginAttribute()
{
    closeAttribute();
    AttributeRange range;
    range.nameStart = static_cast<std::uint32_t>(attributeText_.size());
    attributeRanges_.push_back(range);
    attributeOpen_ = true;
    fieldStart_ = attributeText_.size();
    // Past the tag's bounds the attribute is read but dropped, as a repeated
    // name is.
    attributeDropped_ = attributeText_.size() >= kMaxAttributeText || attributeRanges_.size() > kMaxAttributes;
    attributeDuplicate_ = attributeDropped_;
}

void Tokenizer::endAttributeName()
{
    bound(attributeText_, fieldStart_);
    AttributeRange &range = attributeRanges_.back();
    range.nameLength = static_cast<std::uint32_t>(attributeText_.size()) - range.nameStart;
    range.valueStart = static_cast<std::uint32_t>(attributeText_.size());
    fieldStart_ = attributeText_.size();
    if (attributeDropped_)
        return;
    auto nameOf = [this](const AttributeRange &r) {
        return std::string_view(attributeText_.data() + r.nameStart, r.nameLength);
    };
    const std::string_view name = nameOf(range);
    const std::size_t index = attributeRanges_.size() - 1;
    if (index < kLinearAttributeSearch) {
        attributeDuplicate_ = std::any_of(attributeRanges_.begin(), attributeRanges_.end() - 1,
                                          [&](const AttributeRange &r) { return nameOf(r) == name; });
        return;
    }
    // A tag with many attributes: look names up by their hash.
    const std::hash<std::string_view> hash;
    if (attributeIndex_.empty())
        for (std::size_t i = 0; i < index; ++i)
            attributeIndex_.emplace(hash(nameOf(attributeRanges_[i])), static_cast<std::uint32_t>(i));
    const std::size_t h = hash(name);
    const auto [first, last] = attributeIndex_.equal_range(h);
    attributeDuplicate_ =
        std::any_of(first, last, [&](const auto &entry) { return nameOf(attributeRanges_[entry.second]) == name; });
    if (!attributeDuplicate_)
        attributeIndex_.emplace(h, static_cast<std::uint32_t>(index));
}

void Tokenizer::boundBuffers()
{
    bound(tagName_, 0);
    bound(attributeText_, fieldStart_);
    bound(comment_, 0);
    bound(doctypeName_, 0);
    bound(publicId_, 0);
    bound(systemId_, 0);
}

void Tokenizer::closeAttribute()
{
    if (!attributeOpen_)
        return;
    bound(attributeText_, fieldStart_);
    attributeOpen_ = false;
    AttributeRange &range = attributeRanges_.back();
    if (attributeDuplicate_) {
        attributeText_.resize(range.nameStart);
        attributeRanges_.pop_back();
        return;
    }
    range.valueLength = static_cast<std::uint32_t>(attributeText_.size()) - range.valueStart;
}

void Tokenizer::emitTag()
{
    bound(tagName_, 0);
    closeAttribute();
    attributeViews_.clear();
    for (const AttributeRange &r : attributeRanges_)
        attributeViews_.push_back({std::string_view(attributeText_.data() + r.nameStart, r.nameLength),
                                   std::string_view(attributeText_.data() + r.valueStart, r.valueLength)});
    Tag tag;
    tag.name = tagName_;
    tag.attributes = attributeViews_;
    tag.selfClosing = selfClosing_;
    flushText();
    if (endTag_) {
        sink_->endTag(tag);
    } else {
        sink_->startTag(tag);
        // The name is read afresh for the next tag: its buffer can simply
        // change hands.
        lastStartTag_.swap(tagName_);
    }
}

void Tokenizer::emitComment()
{
    bound(comment_, 0);
    flushText();
    sink_->comment(comment_);
}

void Tokenizer::beginDoctype()
{
    doctypeName_.clear();
    publicId_.clear();
    systemId_.clear();
    hasDoctypeName_ = hasPublicId_ = hasSystemId_ = forceQuirks_ = false;
}

void Tokenizer::emitDoctype()
{
    boundBuffers();
    Doctype doctype;
    doctype.name = doctypeName_;
    doctype.publicId = publicId_;
    doctype.systemId = systemId_;
    doctype.hasName = hasDoctypeName_;
    doctype.hasPublicId = hasPublicId_;
    doctype.hasSystemId = hasSystemId_;
    doctype.forceQuirks = forceQuirks_;
    flushText();
    sink_->doctype(doctype);
}

bool Tokenizer::returnsToAttribute() const
{
    return returnState_ == State::AttributeValueDoubleQuoted || returnState_ == State::AttributeValueSingleQuoted ||
           returnState_ == State::AttributeValueUnquoted;
}

void Tokenizer::appendReference(std::string_view text)
{
    if (returnsToAttribute()) {
        attributeText_.append(text);
    } else {
        textBuffer_.append(text);
        if (textBuffer_.size() >= kTextFlush)
            flushText();
    }
}

void Tokenizer::finishNumericReference()
{
    std::uint32_t cp = referenceCode_;
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    else
        cp = c1Replacement(cp);
    char buffer[4];
    appendReference({buffer, base::EncodeUtf8(cp, buffer)});
    state_ = returnState_;
}

bool Tokenizer::endTagNameStep(int c, State fallback)
{
    const bool appropriate = !lastStartTag_.empty() && tagName_ == lastStartTag_;
    if (appropriate && isWhitespace(c)) {
        state_ = State::BeforeAttributeName;
        return true;
    }
    if (appropriate && c == '/') {
        state_ = State::SelfClosingStartTag;
        return true;
    }
    if (appropriate && c == '>') {
        state_ = State::Data;
        return true;
    }
    // Once the name is longer than the last start tag's, the tag cannot
    // end the text: what was read goes out as text now, as it would at the
    // end of the name, and the letters that follow are plain text too.
    if (isAlpha(c) && tagName_.size() <= lastStartTag_.size()) {
        tagName_.push_back(lowerByte(c));
        temp_.push_back(static_cast<char>(c));
        return true;
    }
    textBuffer_.append("</");
    textBuffer_.append(temp_);
    state_ = fallback;
    return false;
}

void Tokenizer::copyTag(bool endTag, std::string_view name)
{
    beginTag(endTag);
    tagName_.assign(name);
    for (const Attribute &a : attributeViews_) {
        if (attributeText_.size() >= kMaxAttributeText)
            break;
        AttributeRange range;
        range.nameStart = static_cast<std::uint32_t>(attributeText_.size());
        range.nameLength = static_cast<std::uint32_t>(a.name.size());
        attributeText_.append(a.name);
        range.valueStart = static_cast<std::uint32_t>(attributeText_.size());
        range.valueLength = static_cast<std::uint32_t>(a.value.size());
        attributeText_.append(a.value);
        attributeRanges_.push_back(range);
    }
    fieldStart_ = attributeText_.size();
}

const char *Tokenizer::readTag(const char *p, const char *end)
{
    // The tag open and end tag open states.
    bool endTag = false;
    if (p != end && *p == '/') {
        if (end - p < 2 || !isAlpha(static_cast<unsigned char>(p[1]))) {
            state_ = State::EndTagOpen;
            return p + 1;
        }
        endTag = true;
        ++p;
    } else if (p == end || !isAlpha(static_cast<unsigned char>(*p))) {
        state_ = State::TagOpen;
        return p;
    }

    // The tag name state, for a name in lower case. Name and attributes stay
    // views of the input while the tag keeps to the common shape; where it
    // leaves it, they are copied to the buffers and the state machine goes on
    // from the state reached.
    const char *q = runOf(p, end, kTagNameRun);
    const std::string_view name = bounded({p, static_cast<std::size_t>(q - p)});
    p = q;
    if (p == end || !(isWhitespace(*p) || *p == '>')) {
        beginTag(endTag);
        tagName_.assign(name);
        state_ = State::TagName;
        return p;
    }

    // Attributes: before attribute name, attribute name, '=', a value in
    // quotes without references, CR or NUL, after the value.
    attributeViews_.clear();
    std::size_t keptText = 0; // as attributeText_ would hold it
    for (;;) {
        while (p != end && isWhitespace(*p))
            ++p;
        if (p != end && *p == '>')
            break;
        if (p == end || *p == '=' || (kByteClasses[static_cast<unsigned char>(*p)] & kAttributeNameRun) == 0 ||
            attributeViews_.size() >= kLinearAttributeSearch) {
            copyTag(endTag, name);
            state_ = State::BeforeAttributeName;
            return p;
        }
        q = runOf(p, end, kAttributeNameRun);
        const std::string_view attributeName = bounded({p, static_cast<std::size_t>(q - p)});
        p = q;
        if (p == end || *p != '=') {
            copyTag(endTag, name);
            beginAttribute();
            attributeText_.append(attributeName);
            state_ = State::AttributeName;
            return p;
        }
        ++p;
        if (p == end || (*p != '"' && *p != '\'')) {
            copyTag(endTag, name);
            beginAttribute();
            attributeText_.append(attributeName);
            endAttributeName();
            state_ = State::BeforeAttributeValue;
            return p;
        }
        const char quote = *p++;
        q = base::FindAny(p, end, quote, '&', '\r', '\0');
        const std::string_view value = bounded({p, static_cast<std::size_t>(q - p)});
        p = q;
        if (p == end || *p != quote) {
            copyTag(endTag, name);
            beginAttribute();
            attributeText_.append(attributeName);
            endAttributeName();
            attributeText_.append(value);
            state_ = quote == '"' ? State::AttributeValueDoubleQuoted : State::AttributeValueSingleQuoted;
            return p;
        }
        ++p;
        if (keptText < kMaxAttributeText && std::none_of(attributeViews_.begin(), attributeViews_.end(),
                                                         [&](const Attribute &a) { return a.name == attributeName; })) {
            attributeViews_.push_back({attributeName, value});
            keptText += attributeName.size() + value.size();
        }
        if (p == end || !(isWhitespace(*p) || *p == '>')) {
            copyTag(endTag, name);
            state_ = State::AfterAttributeValueQuoted;
            return p;
        }
    }

    // At the '>' of a whole tag.
    Tag tag;
    tag.name = name;
    tag.attributes = attributeViews_;
    state_ = State::Data;
    flushText();
    if (endTag) {
        sink_->endTag(tag);
    } else {
        lastStartTag_.assign(name);
        sink_->startTag(tag);
    }
    return p + 1;
}

const char *Tokenizer::run(const char *p, const char *end, bool eof)
{
    auto emitChar = [this](std::string_view ch) {
        textBuffer_.append(ch);
        if (textBuffer_.size() >= kTextFlush)
            flushText();
    };
    // At the first of a run of `c` (and after it) of which all but
    // the last stand as text whatever follows them ("<<<", "&&&"): hands
    // those on at once and answers where the last one ends.
    auto textBeforeLast = [this, end](const char *first, const char *afterFirst, char c) {
        if (afterFirst == end || *afterFirst != c)
            return afterFirst; // the common case: no run
        const char *q = base::SkipRun(afterFirst, end, c);
        if (q != afterFirst)
            emitView({first, static_cast<std::size_t>(q - afterFirst)});
        return q;
    };

    for (;;) {
        // Runs of ordinary characters, in bulk. The states that collect
        // text come back here after every step, so their buffers are held to
        // their bounds here.
        switch (state_) {
        case State::Data: p = scanText(p, end, eof, '<', '&', '\r', '\0'); break;
        case State::Rcdata: p = scanText(p, end, eof, '<', '&', '\r', '\0'); break;
        case State::Rawtext:
        case State::ScriptData: p = scanText(p, end, eof, '<', '\r', '\0', '\0'); break;
        case State::ScriptDataEscaped:
        case State::ScriptDataDoubleEscaped: p = scanText(p, end, eof, '-', '<', '\r', '\0'); break;
        case State::Plaintext: p = scanText(p, end, eof, '\r', '\0', '\0', '\0'); break;
        case State::CdataSection: p = scanText(p, end, eof, ']', '\r', ']', ']'); break;
        case State::AttributeValueDoubleQuoted:
        case State::AttributeValueSingleQuoted: {
            const char quote = state_ == State::AttributeValueDoubleQuoted ? '"' : '\'';
            const char *q = base::FindAny(p, end, quote, '&', '\r', '\0');
            appendBounded(attributeText_, fieldStart_, p, q);
            p = q;
            break;
        }
        case State::TagName: {
            const char *q = runOf(p, end, kTagNameRun);
            appendBounded(tagName_, 0, p, q);
            p = q;
            break;
        }
        case State::AttributeName: {
            const char *q = runOf(p, end, kAttributeNameRun);
            appendBounded(attributeText_, fieldStart_, p, q);
            p = q;
            break;
        }
        case State::AttributeValueUnquoted: {
            const char *q = runOf(p, end, kUnquotedValueRun);
            appendBounded(attributeText_, fieldStart_, p, q);
            p = q;
            break;
        }
        case State::DoctypeName: {
            // What a tag name may hold is a DOCTYPE name's text as it stands.
            const char *q = runOf(p, end, kTagNameRun);
            appendBounded(doctypeName_, 0, p, q);
            p = q;
            break;
        }
        case State::Comment: {
            const char *q = base::FindAny(p, end, '<', '-', '\r', '\0');
            appendBounded(comment_, 0, p, q);
            p = q;
            break;
        }
        case State::BogusComment: {
            const char *q = base::FindAny(p, end, '>', '\r', '\0', '\0');
            appendBounded(comment_, 0, p, q);
            p = q;
            break;
        }
        // The comment states that add to the text without passing through
        // the comment state again: a run of '-' after "--" and a run of '<'
        // each stay in their state, one character added at a time; "--!"
        // repeated passes through the end states.
        case State::CommentEnd: {
            const char *q = base::SkipRun(p, end, '-');
            appendBounded(comment_, 0, p, q);
            p = q;
            break;
        }
        case State::CommentLessThan: {
            const char *q = base::SkipRun(p, end, '<');
            appendBounded(comment_, 0, p, q);
            p = q;
            break;
        }
        case State::CommentEndBang: bound(comment_, 0); break;
        default: break;
        }

        // The next character: c is its first byte (kEof at the end of the
        // input), ch its text, next where the one after it starts. CR and CR
        // LF read as LF.
        int c = kEof;
        const char *next = p;
        std::string_view ch;
        if (p == end) {
            if (!eof)
                return p;
        } else {
            c = static_cast<unsigned char>(*p);
            next = p + 1;
            if (c == '\r') {
                if (next == end && !eof)
                    return p;
                c = '\n';
                if (next != end && *next == '\n')
                    ++next;
                ch = "\n";
            } else if (c >= 0xC0) {
                std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
                const auto avail = static_cast<std::size_t>(end - p);
                if (avail < need) {
                    if (!eof)
                        return p;
                    need = avail;
                }
                next = p + need;
                ch = {p, need};
            } else {
                ch = {p, 1};
            }
        }

        switch (state_) {
        case State::Data:
            if (c == '&') {
                returnState_ = State::Data;
                state_ = State::CharacterReference;
                p = next;
            } else if (c == '<') {
                p = readTag(textBeforeLast(p, next, '<'), end);
            } else if (c == kEof) {
                emitEof();
                return end;
            } else {
                emitChar(ch);
                p = next;
            }
            break;
        case State::Rcdata:
            if (c == '&') {
                returnState_ = State::Rcdata;
                state_ = State::CharacterReference;
            } else if (c == '<') {
                next = textBeforeLast(p, next, '<');
                state_ = State::RcdataLessThan;
            } else if (c == 0) {
                emitChar(kReplacement);
            } else if (c == kEof) {
                emitEof();
                return end;
            } else {
                emitChar(ch);
            }
            p = next;
            break;
        case State::Rawtext:
        case State::ScriptData:
            if (c == '<') {
                next = textBeforeLast(p, next, '<');
                state_ = state_ == State::Rawtext ? State::RawtextLessThan : State::ScriptDataLessThan;
            } else if (c == 0) {
                emitChar(kReplacement);
            } else if (c == kEof) {
                emitEof();
                return end;
            } else {
                emitChar(ch);
            }
            p = next;
            break;
        case State::Plaintext:
            if (c == 0) {
                emitChar(kReplacement);
            } else if (c == kEof) {
                emitEof();
                return end;
            } else {
                emitChar(ch);
            }
            p = next;
            break;

        case State::TagOpen:
            if (c == '!') {
                state_ = State::MarkupDeclarationOpen;
                p = next;
            } else if (c == '/') {
                state_ = State::EndTagOpen;
                p = next;
            } else if (isAlpha(c)) {
                beginTag(false);
                state_ = State::TagName;
            } else if (c == '?') {
                comment_.clear();
                state_ = State::BogusComment;
            } else if (c == kEof) {
                emitChar("<");
                emitEof();
                return end;
            } else {
                emitChar("<");
                state_ = State::Data;
            }
            break;
        case State::EndTagOpen:
            if (isAlpha(c)) {
                beginTag(true);
                state_ = State::TagName;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
            } else if (c == kEof) {
                emitChar("</");
                emitEof();
                return end;
            } else {
                comment_.clear();
                state_ = State::BogusComment;
            }
            break;
        case State::TagName:
            if (c == kEof) {
                emitEof();
                return end;
            }
            p = next;
            if (isWhitespace(c)) {
                state_ = State::BeforeAttributeName;
            } else if (c == '/') {
                state_ = State::SelfClosingStartTag;
            } else if (c == '>') {
                state_ = State::Data;
                emitTag();
            } else {
                appendNameCharacter(tagName_, c, ch);
            }
            break;

        case State::RcdataLessThan:
        case State::RawtextLessThan: {
            const bool rcdata = state_ == State::RcdataLessThan;
            if (c == '/') {
                temp_.clear();
                state_ = rcdata ? State::RcdataEndTagOpen : State::RawtextEndTagOpen;
                p = next;
            } else {
                emitChar("<");
                state_ = rcdata ? State::Rcdata : State::Rawtext;
            }
            break;
        }
        case State::RcdataEndTagOpen:
        case State::RawtextEndTagOpen:
        case State::ScriptDataEndTagOpen:
        case State::ScriptDataEscapedEndTagOpen: {
            const State s = state_;
            if (isAlpha(c)) {
                beginTag(true);
                state_ = s == State::RcdataEndTagOpen       ? State::RcdataEndTagName
                         : s == State::RawtextEndTagOpen    ? State::RawtextEndTagName
                         : s == State::ScriptDataEndTagOpen ? State::ScriptDataEndTagName
                                                            : State::ScriptDataEscapedEndTagName;
            } else {
                emitChar("</");
                state_ = s == State::RcdataEndTagOpen       ? State::Rcdata
                         : s == State::RawtextEndTagOpen    ? State::Rawtext
                         : s == State::ScriptDataEndTagOpen ? State::ScriptData
                                                            : State::ScriptDataEscaped;
            }
            break;
        }
        case State::RcdataEndTagName:
        case State::RawtextEndTagName:
        case State::ScriptDataEndTagName:
        case State::ScriptDataEscapedEndTagName: {
            const State s = state_;
            const State fallback = s == State::RcdataEndTagName       ? State::Rcdata
                                   : s == State::RawtextEndTagName    ? State::Rawtext
                                   : s == State::ScriptDataEndTagName ? State::ScriptData
                                                                      : State::ScriptDataEscaped;
            if (endTagNameStep(c, fallback)) {
                p = next;
                if (c == '>')
                    emitTag();
            }
            break;
        }

        case State::ScriptDataLessThan:
            if (c == '/') {
                temp_.clear();
                state_ = State::ScriptDataEndTagOpen;
                p = next;
            } else if (c == '!') {
                emitChar("<!");
                state_ = State::ScriptDataEscapeStart;
                p = next;
            } else {
                emitChar("<");
                state_ = State::ScriptData;
            }
            break;
        case State::ScriptDataEscapeStart:
        case State::ScriptDataEscapeStartDash:
            if (c == '-') {
                emitChar("-");
                state_ = state_ == State::ScriptDataEscapeStart ? State::ScriptDataEscapeStartDash
                                                                : State::ScriptDataEscapedDashDash;
                p = next;
            } else {
                state_ = State::ScriptData;
            }
            break;
        case State::ScriptDataEscaped:
        case State::ScriptDataEscapedDash:
        case State::ScriptDataEscapedDashDash: {
            if (c == kEof) {
                emitEof();
                return end;
            }
            const State s = state_;
            if (c == '-' && next != end && *next == '-') {
                // Every '-' of a run is text, and two of them lead to the
                // same state from any of these three.
                const char *q = base::SkipRun(next, end, '-');
                emitView({p, static_cast<std::size_t>(q - p)});
                p = q;
                state_ = State::ScriptDataEscapedDashDash;
                break;
            }
            if (c == '<')
                next = textBeforeLast(p, next, '<');
            p = next;
            if (c == '-') {
                emitChar("-");
                state_ =
                    s == State::ScriptDataEscaped ? State::ScriptDataEscapedDash : State::ScriptDataEscapedDashDash;
            } else if (c == '<') {
                state_ = State::ScriptDataEscapedLessThan;
            } else if (c == '>' && s == State::ScriptDataEscapedDashDash) {
                emitChar(">");
                state_ = State::ScriptData;
            } else if (c == 0) {
                emitChar(kReplacement);
                state_ = State::ScriptDataEscaped;
            } else {
                emitChar(ch);
                state_ = State::ScriptDataEscaped;
            }
            break;
        }
        case State::ScriptDataEscapedLessThan:
            if (c == '/') {
                temp_.clear();
                state_ = State::ScriptDataEscapedEndTagOpen;
                p = next;
            } else if (isAlpha(c)) {
                temp_.clear();
                emitChar("<");
                state_ = State::ScriptDataDoubleEscapeStart;
            } else {
                emitChar("<");
                state_ = State::ScriptDataEscaped;
            }
            break;
        case State::ScriptDataDoubleEscapeStart:
        case State::ScriptDataDoubleEscapeEnd: {
            const bool start = state_ == State::ScriptDataDoubleEscapeStart;
            if (isWhitespace(c) || c == '/' || c == '>') {
                const bool script = temp_ == "script";
                state_ = (script == start) ? State::ScriptDataDoubleEscaped : State::ScriptDataEscaped;
                emitChar(ch);
                p = next;
            } else if (isAlpha(c)) {
                // Only "script" matters: a longer name is not kept whole.
                if (temp_.size() <= 6)
                    temp_.push_back(lowerByte(c));
                emitChar(ch);
                p = next;
            } else {
                state_ = start ? State::ScriptDataEscaped : State::ScriptDataDoubleEscaped;
            }
            break;
        }
        case State::ScriptDataDoubleEscaped:
        case State::ScriptDataDoubleEscapedDash:
        case State::ScriptDataDoubleEscapedDashDash: {
            if (c == kEof) {
                emitEof();
                return end;
            }
            const State s = state_;
            p = next;
            if (c == '-') {
                emitChar("-");
                state_ = s == State::ScriptDataDoubleEscaped ? State::ScriptDataDoubleEscapedDash
                                                             : State::ScriptDataDoubleEscapedDashDash;
            } else if (c == '<') {
                emitChar("<");
                state_ = State::ScriptDataDoubleEscapedLessThan;
            } else if (c == '>' && s == State::ScriptDataDoubleEscapedDashDash) {
                emitChar(">");
                state_ = State::ScriptData;
            } else if (c == 0) {
                emitChar(kReplacement);
                state_ = State::ScriptDataDoubleEscaped;
            } else {
                emitChar(ch);
                state_ = State::ScriptDataDoubleEscaped;
            }
            break;
        }
        case State::ScriptDataDoubleEscapedLessThan:
            if (c == '/') {
                temp_.clear();
                emitChar("/");
                state_ = State::ScriptDataDoubleEscapeEnd;
                p = next;
            } else {
                state_ = State::ScriptDataDoubleEscaped;
            }
            break;

        case State::BeforeAttributeName:
            if (isWhitespace(c)) {
                p = next;
            } else if (c == '/' || c == '>' || c == kEof) {
                state_ = State::AfterAttributeName;
            } else if (c == '=') {
                beginAttribute();
                attributeText_.push_back('=');
                state_ = State::AttributeName;
                p = next;
            } else {
                beginAttribute();
                state_ = State::AttributeName;
            }
            break;
        case State::AttributeName:
            if (isWhitespace(c) || c == '/' || c == '>' || c == kEof) {
                endAttributeName();
                state_ = State::AfterAttributeName;
            } else if (c == '=') {
                endAttributeName();
                state_ = State::BeforeAttributeValue;
                p = next;
            } else {
                appendNameCharacter(attributeText_, c, ch);
                p = next;
            }
            break;
        case State::AfterAttributeName:
            if (isWhitespace(c)) {
                p = next;
            } else if (c == '/') {
                state_ = State::SelfClosingStartTag;
                p = next;
            } else if (c == '=') {
                state_ = State::BeforeAttributeValue;
                p = next;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
                emitTag();
            } else if (c == kEof) {
                emitEof();
                return end;
            } else {
                beginAttribute();
                state_ = State::AttributeName;
            }
            break;
        case State::BeforeAttributeValue:
            if (isWhitespace(c)) {
                p = next;
            } else if (c == '"') {
                state_ = State::AttributeValueDoubleQuoted;
                p = next;
            } else if (c == '\'') {
                state_ = State::AttributeValueSingleQuoted;
                p = next;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
                emitTag();
            } else {
                state_ = State::AttributeValueUnquoted;
            }
            break;
        case State::AttributeValueDoubleQuoted:
        case State::AttributeValueSingleQuoted:
            if (c == kEof) {
                emitEof();
                return end;
            }
            p = next;
            if (c == (state_ == State::AttributeValueDoubleQuoted ? '"' : '\'')) {
                state_ = State::AfterAttributeValueQuoted;
            } else if (c == '&') {
                returnState_ = state_;
                state_ = State::CharacterReference;
            } else if (c == 0) {
                attributeText_.append(kReplacement);
            } else {
                attributeText_.append(ch);
            }
            break;
        case State::AttributeValueUnquoted:
            if (c == kEof) {
                emitEof();
                return end;
            }
            p = next;
            if (isWhitespace(c)) {
                state_ = State::BeforeAttributeName;
            } else if (c == '&') {
                returnState_ = State::AttributeValueUnquoted;
                state_ = State::CharacterReference;
            } else if (c == '>') {
                state_ = State::Data;
                emitTag();
            } else if (c == 0) {
                attributeText_.append(kReplacement);
            } else {
                attributeText_.append(ch);
            }
            break;
        case State::AfterAttributeValueQuoted:
            if (isWhitespace(c)) {
                state_ = State::BeforeAttributeName;
                p = next;
            } else if (c == '/') {
                state_ = State::SelfClosingStartTag;
                p = next;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
                emitTag();
            } else if (c == kEof) {
                emitEof();
                return end;
            } else {
                state_ = State::BeforeAttributeName;
            }
            break;
        case State::SelfClosingStartTag:
            if (c == '>') {
                selfClosing_ = true;
                state_ = State::Data;
                p = next;
                emitTag();
            } else if (c == kEof) {
                emitEof();
                return end;
            } else {
                state_ = State::BeforeAttributeName;
            }
            break;

        case State::BogusComment:
            if (c == '>') {
                state_ = State::Data;
                p = next;
                emitComment();
            } else if (c == kEof) {
                emitComment();
                emitEof();
                return end;
            } else {
                comment_.append(c == 0 ? kReplacement : ch);
                p = next;
            }
            break;
        case State::MarkupDeclarationOpen: {
            bool more = false;
            if (startsWith(p, end, "--", false, more)) {
                comment_.clear();
                state_ = State::CommentStart;
                p += 2;
            } else if (startsWith(p, end, "doctype", true, more)) {
                state_ = State::Doctype;
                p += 7;
            } else if (foreign_ && startsWith(p, end, "[CDATA[", false, more)) {
                state_ = State::CdataSection;
                p += 7;
            } else if (more && !eof) {
                return p;
            } else {
                // "[CDATA[" outside foreign content lands here too: the
                // bogus comment then holds it.
                comment_.clear();
                state_ = State::BogusComment;
            }
            break;
        }
        case State::CommentStart:
            if (c == '-') {
                state_ = State::CommentStartDash;
                p = next;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
                emitComment();
            } else {
                state_ = State::Comment;
            }
            break;
        case State::CommentStartDash:
            if (c == '-') {
                state_ = State::CommentEnd;
                p = next;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
                emitComment();
            } else if (c == kEof) {
                emitComment();
                emitEof();
                return end;
            } else {
                comment_.push_back('-');
                state_ = State::Comment;
            }
            break;
        case State::Comment:
            if (c == kEof) {
                emitComment();
                emitEof();
                return end;
            }
            p = next;
            if (c == '<') {
                comment_.push_back('<');
                state_ = State::CommentLessThan;
            } else if (c == '-') {
                state_ = State::CommentEndDash;
            } else {
                comment_.append(c == 0 ? kReplacement : ch);
            }
            break;
        case State::CommentLessThan:
            if (c == '!') {
                comment_.push_back('!');
                state_ = State::CommentLessThanBang;
                p = next;
            } else if (c == '<') {
                comment_.push_back('<');
                p = next;
            } else {
                state_ = State::Comment;
            }
            break;
        case State::CommentLessThanBang:
            if (c == '-') {
                state_ = State::CommentLessThanBangDash;
                p = next;
            } else {
                state_ = State::Comment;
            }
            break;
        case State::CommentLessThanBangDash:
            if (c == '-') {
                state_ = State::CommentLessThanBangDashDash;
                p = next;
            } else {
                state_ = State::CommentEndDash;
            }
            break;
        case State::CommentLessThanBangDashDash: state_ = State::CommentEnd; break;
        case State::CommentEndDash:
            if (c == '-') {
                state_ = State::CommentEnd;
                p = next;
            } else if (c == kEof) {
                emitComment();
                emitEof();
                return end;
            } else {
                comment_.push_back('-');
                state_ = State::Comment;
            }
            break;
        case State::CommentEnd:
            if (c == '>') {
                state_ = State::Data;
                p = next;
                emitComment();
            } else if (c == '!') {
                state_ = State::CommentEndBang;
                p = next;
            } else if (c == '-') {
                comment_.push_back('-');
                p = next;
            } else if (c == kEof) {
                emitComment();
                emitEof();
                return end;
            } else {
                comment_.append("--");
                state_ = State::Comment;
            }
            break;
        case State::CommentEndBang:
            if (c == '-') {
                comment_.append("--!");
                state_ = State::CommentEndDash;
                p = next;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
                emitComment();
            } else if (c == kEof) {
                emitComment();
                emitEof();
                return end;
            } else {
                comment_.append("--!");
                state_ = State::Comment;
            }
            break;

        case State::Doctype:
            if (isWhitespace(c)) {
                state_ = State::BeforeDoctypeName;
                p = next;
            } else if (c == kEof) {
                beginDoctype();
                forceQuirks_ = true;
                emitDoctype();
                emitEof();
                return end;
            } else {
                state_ = State::BeforeDoctypeName;
            }
            break;
        case State::BeforeDoctypeName:
            if (isWhitespace(c)) {
                p = next;
            } else if (c == '>') {
                beginDoctype();
                forceQuirks_ = true;
                state_ = State::Data;
                p = next;
                emitDoctype();
            } else if (c == kEof) {
                beginDoctype();
                forceQuirks_ = true;
                emitDoctype();
                emitEof();
                return end;
            } else {
                beginDoctype();
                hasDoctypeName_ = true;
                appendNameCharacter(doctypeName_, c, ch);
                state_ = State::DoctypeName;
                p = next;
            }
            break;
        case State::DoctypeName:
            bound(doctypeName_, 0);
            if (c == kEof) {
                forceQuirks_ = true;
                emitDoctype();
                emitEof();
                return end;
            }
            p = next;
            if (isWhitespace(c)) {
                state_ = State::AfterDoctypeName;
            } else if (c == '>') {
                state_ = State::Data;
                emitDoctype();
            } else {
                appendNameCharacter(doctypeName_, c, ch);
            }
            break;
        case State::AfterDoctypeName: {
            if (isWhitespace(c)) {
                p = next;
                break;
            }
            if (c == '>') {
                state_ = State::Data;
                p = next;
                emitDoctype();
                break;
            }
            if (c == kEof) {
                forceQuirks_ = true;
                emitDoctype();
                emitEof();
                return end;
            }
            bool more = false;
            if (startsWith(p, end, "public", true, more)) {
                state_ = State::AfterDoctypePublicKeyword;
                p += 6;
            } else if (startsWith(p, end, "system", true, more)) {
                state_ = State::AfterDoctypeSystemKeyword;
                p += 6;
            } else if (more && !eof) {
                return p;
            } else {
                forceQuirks_ = true;
                state_ = State::BogusDoctype;
            }
            break;
        }
        case State::AfterDoctypePublicKeyword:
        case State::BeforeDoctypePublicId:
        case State::AfterDoctypeSystemKeyword:
        case State::BeforeDoctypeSystemId: {
            const bool publicId = state_ == State::AfterDoctypePublicKeyword || state_ == State::BeforeDoctypePublicId;
            const bool keyword =
                state_ == State::AfterDoctypePublicKeyword || state_ == State::AfterDoctypeSystemKeyword;
            if (isWhitespace(c)) {
                if (keyword)
                    state_ = publicId ? State::BeforeDoctypePublicId : State::BeforeDoctypeSystemId;
                p = next;
            } else if (c == '"' || c == '\'') {
                if (publicId) {
                    hasPublicId_ = true;
                    publicId_.clear();
                    state_ = c == '"' ? State::DoctypePublicIdDoubleQuoted : State::DoctypePublicIdSingleQuoted;
                } else {
                    hasSystemId_ = true;
                    systemId_.clear();
                    state_ = c == '"' ? State::DoctypeSystemIdDoubleQuoted : State::DoctypeSystemIdSingleQuoted;
                }
                p = next;
            } else if (c == '>') {
                forceQuirks_ = true;
                state_ = State::Data;
                p = next;
                emitDoctype();
            } else if (c == kEof) {
                forceQuirks_ = true;
                emitDoctype();
                emitEof();
                return end;
            } else {
                forceQuirks_ = true;
                state_ = State::BogusDoctype;
            }
            break;
        }
        case State::DoctypePublicIdDoubleQuoted:
        case State::DoctypePublicIdSingleQuoted:
        case State::DoctypeSystemIdDoubleQuoted:
        case State::DoctypeSystemIdSingleQuoted: {
            const bool publicId =
                state_ == State::DoctypePublicIdDoubleQuoted || state_ == State::DoctypePublicIdSingleQuoted;
            const int quote =
                state_ == State::DoctypePublicIdDoubleQuoted || state_ == State::DoctypeSystemIdDoubleQuoted ? '"'
                                                                                                             : '\'';
            std::string &id = publicId ? publicId_ : systemId_;
            bound(id, 0);
            if (c == kEof) {
                forceQuirks_ = true;
                emitDoctype();
                emitEof();
                return end;
            }
            p = next;
            if (c == quote) {
                state_ = publicId ? State::AfterDoctypePublicId : State::AfterDoctypeSystemId;
            } else if (c == '>') {
                forceQuirks_ = true;
                state_ = State::Data;
                emitDoctype();
            } else {
                id.append(c == 0 ? kReplacement : ch);
            }
            break;
        }
        case State::AfterDoctypePublicId:
        case State::BetweenDoctypePublicAndSystemIds:
            if (isWhitespace(c)) {
                state_ = State::BetweenDoctypePublicAndSystemIds;
                p = next;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
                emitDoctype();
            } else if (c == '"' || c == '\'') {
                hasSystemId_ = true;
                systemId_.clear();
                state_ = c == '"' ? State::DoctypeSystemIdDoubleQuoted : State::DoctypeSystemIdSingleQuoted;
                p = next;
            } else if (c == kEof) {
                forceQuirks_ = true;
                emitDoctype();
                emitEof();
                return end;
            } else {
                forceQuirks_ = true;
                state_ = State::BogusDoctype;
            }
            break;
        case State::AfterDoctypeSystemId:
            if (isWhitespace(c)) {
                p = next;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
                emitDoctype();
            } else if (c == kEof) {
                forceQuirks_ = true;
                emitDoctype();
                emitEof();
                return end;
            } else {
                state_ = State::BogusDoctype;
            }
            break;
        case State::BogusDoctype:
            if (c == '>') {
                state_ = State::Data;
                p = next;
                emitDoctype();
            } else if (c == kEof) {
                emitDoctype();
                emitEof();
                return end;
            } else {
                p = next;
            }
            break;

        case State::CdataSection:
            if (c == ']') {
                state_ = State::CdataSectionBracket;
                p = next;
            } else if (c == kEof) {
                emitEof();
                return end;
            } else {
                emitChar(ch);
                p = next;
            }
            break;
        case State::CdataSectionBracket:
            if (c == ']') {
                state_ = State::CdataSectionEnd;
                p = next;
            } else {
                emitChar("]");
                state_ = State::CdataSection;
            }
            break;
        case State::CdataSectionEnd:
            if (c == ']') {
                emitChar("]");
                p = next;
            } else if (c == '>') {
                state_ = State::Data;
                p = next;
            } else {
                emitChar("]]");
                state_ = State::CdataSection;
            }
            break;

        case State::CharacterReference:
            if (isAlnum(c)) {
                state_ = State::NamedCharacterReference;
            } else if (c == '#') {
                referenceCode_ = 0;
                state_ = State::NumericCharacterReference;
                p = next;
            } else if (c == '&') {
                // "&&&": each '&' but the last stands for itself; the last
                // may begin a reference.
                const char *last = base::SkipRun(next, end, '&') - 1;
                appendReference("&");
                if (returnsToAttribute())
                    appendBounded(attributeText_, fieldStart_, p, last);
                else
                    emitView({p, static_cast<std::size_t>(last - p)});
                p = last + 1;
            } else {
                appendReference("&");
                state_ = returnState_;
            }
            break;
        case State::NamedCharacterReference: {
            // The longest name in the table that the input starts with.
            std::size_t node = 0;
            std::size_t depth = 0;
            std::size_t match = 0; // the node where the longest name ends
            std::size_t matchDepth = 0;
            for (const char *q = p;; ++q) {
                if (q == end) {
                    if (!eof)
                        return p;
                    break;
                }
                const auto b = static_cast<unsigned char>(*q);
                std::size_t child = 0;
                if (node == 0) {
                    child = b < 128 ? kReferenceRoots[b] : 0;
                } else {
                    const ReferenceNode &n = kReferenceNodes[node];
                    for (std::size_t i = n.firstChild, last = i + n.childCount; i < last; ++i) {
                        if (static_cast<unsigned char>(kReferenceNodes[i].character) >= b) {
                            if (static_cast<unsigned char>(kReferenceNodes[i].character) == b)
                                child = i;
                            break;
                        }
                    }
                }
                if (child == 0)
                    break;
                node = child;
                ++depth;
                if (kReferenceNodes[node].value != kNoReference) {
                    match = node;
                    matchDepth = depth;
                }
                if (kReferenceNodes[node].childCount == 0)
                    break;
            }
            if (match == 0) {
                appendReference("&");
                state_ = State::AmbiguousAmpersand;
                break;
            }
            const std::size_t n = matchDepth;
            const char *after = p + n;
            if (returnsToAttribute() && kReferenceNodes[match].character != ';') {
                // In an attribute value a reference without its ';' that goes
                // on with '=' or a letter or digit stays as written.
                if (after == end && !eof)
                    return p;
                if (after != end && (*after == '=' || isAlnum(static_cast<unsigned char>(*after)))) {
                    appendReference("&");
                    appendReference({p, n});
                    p = after;
                    state_ = returnState_;
                    break;
                }
            }
            const ReferenceValue &value = kReferenceValues[kReferenceNodes[match].value];
            appendReference({kReferenceText + value.offset, value.length});
            p = after;
            state_ = returnState_;
            break;
        }
        case State::AmbiguousAmpersand:
            if (isAlnum(c)) {
                appendReference(ch);
                p = next;
            } else {
                state_ = returnState_;
            }
            break;
        case State::NumericCharacterReference:
            if (c == 'x' || c == 'X') {
                temp_.assign(1, static_cast<char>(c));
                state_ = State::HexadecimalReferenceStart;
                p = next;
            } else {
                state_ = State::DecimalReferenceStart;
            }
            break;
        case State::HexadecimalReferenceStart:
            if (base::HexDigitValue(static_cast<char>(c)) >= 0) {
                state_ = State::HexadecimalReference;
            } else {
                appendReference("&#");
                appendReference(temp_);
                state_ = returnState_;
            }
            break;
        case State::DecimalReferenceStart:
            if (isDigit(c)) {
                state_ = State::DecimalReference;
            } else {
                appendReference("&#");
                state_ = returnState_;
            }
            break;
        case State::HexadecimalReference:
        case State::DecimalReference: {
            const bool hex = state_ == State::HexadecimalReference;
            const int digit = hex ? base::HexDigitValue(static_cast<char>(c)) : (isDigit(c) ? c - '0' : -1);
            if (digit >= 0) {
                // Anything past the last code point reads as out of range.
                referenceCode_ = std::min<std::uint32_t>(
                    referenceCode_ * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit), 0x110000);
                p = next;
            } else {
                if (c == ';')
                    p = next;
                finishNumericReference();
            }
            break;
        }
        }
    }
}

} // namespace quillan::html
