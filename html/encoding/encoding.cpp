#include "html/encoding/encoding.h"

#include <algorithm>
#include <array>
#include <string>

namespace quillan::html {

namespace {

#include "encoding_labels.inc"

constexpr bool isSpace(unsigned char c)
{
    return c == 0x09 || c == 0x0A || c == 0x0C || c == 0x0D || c == 0x20;
}

constexpr unsigned char lower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 0x20) : c;
}

constexpr bool isAlpha(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Where `word` (lower case) first occurs in `s` at or after `from`, ASCII
// letters compared without regard to case.
std::size_t findNoCase(std::string_view s, std::string_view word, std::size_t from)
{
    if (word.size() > s.size())
        return std::string_view::npos;
    for (std::size_t i = from; i + word.size() <= s.size(); ++i) {
        std::size_t k = 0;
        while (k < word.size() && lower(static_cast<unsigned char>(s[i + k])) == static_cast<unsigned char>(word[k]))
            ++k;
        if (k == word.size())
            return i;
    }
    return std::string_view::npos;
}

// The meta rule's last adjustments: a page cannot declare itself UTF-16 (its
// bytes were read as ASCII to find the declaration), and x-user-defined is
// read as windows-1252.
std::string_view adjustForMeta(std::string_view name)
{
    if (name == "UTF-16BE" || name == "UTF-16LE")
        return "UTF-8";
    if (name == "x-user-defined")
        return "windows-1252";
    return name;
}

// The prescan's cursor over the bytes it was given, with the Standard's
// "get an attribute" step. Every step reports running out of bytes, which
// ends the prescan without a result.
struct Prescan {
    explicit Prescan(std::string_view bytes) : input(bytes) {}

    enum class Got { Attribute, None, OutOfBytes };

    std::string_view input;
    std::size_t pos = 0;
    std::string name;
    std::string value;

    bool startsWithNoCase(std::string_view word) const
    {
        if (pos + word.size() > input.size())
            return false;
        for (std::size_t k = 0; k < word.size(); ++k)
            if (lower(byteAt(pos + k)) != static_cast<unsigned char>(word[k]))
                return false;
        return true;
    }
    unsigned char byteAt(std::size_t i) const { return static_cast<unsigned char>(input[i]); }
    bool more() const { return pos < input.size(); }

    // The next attribute of the tag the cursor is in: its name and value
    // lower-cased (ASCII letters), the cursor left after it.
    Got getAttribute()
    {
        while (more() && (isSpace(byteAt(pos)) || byteAt(pos) == '/'))
            ++pos;
        if (!more())
            return Got::OutOfBytes;
        if (byteAt(pos) == '>')
            return Got::None;
        name.clear();
        value.clear();
        // The name.
        for (;;) {
            if (!more())
                return Got::OutOfBytes;
            const unsigned char c = byteAt(pos);
            if (c == '=' && !name.empty()) {
                ++pos;
                return getValue();
            }
            if (isSpace(c))
                break;
            if (c == '/' || c == '>')
                return Got::Attribute;
            name.push_back(static_cast<char>(lower(c)));
            ++pos;
        }
        // White space after the name: an "=" may still follow.
        while (more() && isSpace(byteAt(pos)))
            ++pos;
        if (!more())
            return Got::OutOfBytes;
        if (byteAt(pos) != '=')
            return Got::Attribute;
        ++pos;
        return getValue();
    }

    Got getValue()
    {
        while (more() && isSpace(byteAt(pos)))
            ++pos;
        if (!more())
            return Got::OutOfBytes;
        const unsigned char first = byteAt(pos);
        if (first == '"' || first == '\'') {
            for (;;) {
                ++pos;
                if (!more())
                    return Got::OutOfBytes;
                const unsigned char c = byteAt(pos);
                if (c == first) {
                    ++pos;
                    return Got::Attribute;
                }
                value.push_back(static_cast<char>(lower(c)));
            }
        }
        if (first == '>')
            return Got::Attribute;
        value.push_back(static_cast<char>(lower(first)));
        ++pos;
        for (;;) {
            if (!more())
                return Got::OutOfBytes;
            const unsigned char c = byteAt(pos);
            if (isSpace(c) || c == '>')
                return Got::Attribute;
            value.push_back(static_cast<char>(lower(c)));
            ++pos;
        }
    }
};

// What a meta element's attributes said about the encoding.
enum class Charset { None, Failure, Found };
enum class Pragma { Unset, Needed, NotNeeded };

} // namespace

std::optional<EncodingInfo> encodingInfoForLabel(std::string_view label)
{
    std::size_t begin = 0;
    std::size_t end = label.size();
    while (begin < end && isSpace(static_cast<unsigned char>(label[begin])))
        ++begin;
    while (end > begin && isSpace(static_cast<unsigned char>(label[end - 1])))
        --end;
    if (end - begin == 0 || end - begin > kLongestLabel)
        return std::nullopt;
    std::array<char, kLongestLabel> folded{};
    for (std::size_t i = begin; i < end; ++i)
        folded[i - begin] = static_cast<char>(lower(static_cast<unsigned char>(label[i])));
    const std::string_view key(folded.data(), end - begin);
    const auto *it = std::lower_bound(std::begin(kLabels), std::end(kLabels), key,
                                      [](const LabelInfo &l, std::string_view k) { return l.label < k; });
    if (it == std::end(kLabels) || it->label != key)
        return std::nullopt;
    return kEncodings[it->encoding];
}

std::optional<std::string_view> encodingForLabel(std::string_view label)
{
    if (auto info = encodingInfoForLabel(label))
        return info->name;
    return std::nullopt;
}

std::size_t encodingCount()
{
    return std::size(kEncodings);
}

EncodingInfo encodingAt(std::size_t index)
{
    return kEncodings[index];
}

std::optional<std::string_view> encodingFromContentType(std::string_view s)
{
    std::size_t pos = 0;
    for (;;) {
        const std::size_t at = findNoCase(s, "charset", pos);
        if (at == std::string_view::npos)
            return std::nullopt;
        std::size_t i = at + 7;
        while (i < s.size() && isSpace(static_cast<unsigned char>(s[i])))
            ++i;
        if (i >= s.size() || s[i] != '=') {
            pos = i;
            continue;
        }
        ++i;
        while (i < s.size() && isSpace(static_cast<unsigned char>(s[i])))
            ++i;
        if (i >= s.size())
            return std::nullopt;
        const char quote = s[i];
        if (quote == '"' || quote == '\'') {
            const std::size_t close = s.find(quote, i + 1);
            if (close == std::string_view::npos)
                return std::nullopt;
            return encodingForLabel(s.substr(i + 1, close - i - 1));
        }
        std::size_t end = i;
        while (end < s.size() && !isSpace(static_cast<unsigned char>(s[end])) && s[end] != ';')
            ++end;
        return encodingForLabel(s.substr(i, end - i));
    }
}

namespace {

// Reads a tag's attributes to its end, calling onEach() with each one in
// scan.name and scan.value; false when the bytes run out first.
template <class OnEach>
bool readAttributes(Prescan &scan, OnEach onEach)
{
    for (;;) {
        const Prescan::Got got = scan.getAttribute();
        if (got == Prescan::Got::OutOfBytes)
            return false;
        if (got == Prescan::Got::None)
            return true;
        onEach();
    }
}

} // namespace

std::optional<std::string_view> prescanMeta(std::string_view head)
{
    using namespace std::string_view_literals;
    // A UTF-16 XML declaration's first three characters, "<?x".
    if (head.starts_with("<\0?\0x\0"sv))
        return "UTF-16LE";
    if (head.starts_with("\0<\0?\0x"sv))
        return "UTF-16BE";

    Prescan scan(head);
    const std::size_t n = head.size();
    while (scan.pos < n) {
        const unsigned char c = scan.byteAt(scan.pos);
        if (c != '<') { // nothing to do until the next "<"
            scan.pos = head.find('<', scan.pos + 1);
            if (scan.pos == std::string_view::npos)
                return std::nullopt;
            continue;
        }
        const unsigned char next = scan.pos + 1 < n ? scan.byteAt(scan.pos + 1) : 0;
        if (c == '<' && scan.startsWithNoCase("<!--")) {
            // The comment ends at the first "-->"; its dashes may be those of "<!--".
            const std::size_t end = head.find("-->", scan.pos + 2);
            if (end == std::string_view::npos)
                return std::nullopt;
            scan.pos = end + 2;
        } else if (c == '<' && scan.startsWithNoCase("<meta") && scan.pos + 5 < n &&
                   (isSpace(scan.byteAt(scan.pos + 5)) || scan.byteAt(scan.pos + 5) == '/')) {
            scan.pos += 6;
            std::array<bool, 3> seen{}; // the three names that matter, each counted once
            bool gotPragma = false;
            Pragma needPragma = Pragma::Unset;
            Charset charset = Charset::None;
            std::string_view found;
            const bool whole = readAttributes(scan, [&] {
                // Only the first of several attributes of one name counts.
                std::size_t slot;
                if (scan.name == "http-equiv")
                    slot = 0;
                else if (scan.name == "content")
                    slot = 1;
                else if (scan.name == "charset")
                    slot = 2;
                else
                    return;
                if (seen[slot])
                    return;
                seen[slot] = true;
                if (slot == 0) {
                    if (scan.value == "content-type")
                        gotPragma = true;
                } else if (slot == 1) {
                    if (charset == Charset::None) {
                        if (auto enc = encodingFromContentType(scan.value)) {
                            charset = Charset::Found;
                            found = *enc;
                            needPragma = Pragma::Needed;
                        }
                    }
                } else {
                    if (auto enc = encodingForLabel(scan.value)) {
                        charset = Charset::Found;
                        found = *enc;
                    } else {
                        charset = Charset::Failure;
                    }
                    needPragma = Pragma::NotNeeded;
                }
            });
            if (!whole)
                return std::nullopt;
            const bool declares = needPragma != Pragma::Unset && !(needPragma == Pragma::Needed && !gotPragma) &&
                                  charset == Charset::Found;
            if (declares)
                return adjustForMeta(found);
        } else if (c == '<' &&
                   (isAlpha(next) || (next == '/' && scan.pos + 2 < n && isAlpha(scan.byteAt(scan.pos + 2))))) {
            // Any other tag: skip its name, then its attributes.
            while (scan.pos < n && !isSpace(scan.byteAt(scan.pos)) && scan.byteAt(scan.pos) != '>')
                ++scan.pos;
            if (scan.pos >= n)
                return std::nullopt;
            if (!readAttributes(scan, [] {}))
                return std::nullopt;
        } else if (c == '<' && (next == '!' || next == '/' || next == '?')) {
            const std::size_t end = head.find('>', scan.pos + 1);
            if (end == std::string_view::npos)
                return std::nullopt;
            scan.pos = end;
        }
        ++scan.pos;
    }
    return std::nullopt;
}

} // namespace quillan::html
