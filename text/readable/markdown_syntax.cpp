#include "text/readable/markdown_syntax.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>
#include <vector>

namespace quillan::text::readable {
namespace {

// Letters and digits, and any byte of a character past ASCII: what a
// delimiter between them is inside a word.
bool wordByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x80 || (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

bool onlyOf(std::string_view word, char c)
{
    return !word.empty() && word.find_first_not_of(c) == std::string_view::npos;
}

// What would read as a character reference from `at` (an &): &name; or
// &#digits; or &#xhex;. A word may come in pieces (the text around a
// character reference is handed on apart): one that ends before the
// reference could is taken to go on into one.
bool referenceAt(std::string_view word, std::size_t at)
{
    std::size_t i = at + 1;
    if (i < word.size() && word[i] == '#')
        ++i;
    while (i < word.size() && wordByte(word[i]) && static_cast<unsigned char>(word[i]) < 0x80)
        ++i;
    return i == word.size() || (i > at + 1 && word[i] == ';');
}

// A byte an address's host may start with, after www. (`hyphen`) or a
// scheme's //: a letter, a digit, a byte of a character past ASCII.
bool hostStart(std::string_view word, std::size_t at, bool hyphen)
{
    return at < word.size() && (wordByte(word[at]) || (hyphen && word[at] == '-'));
}

bool asciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Whether the . at `at` ends a www. that would start a bare link.
bool wwwDotAt(std::string_view word, std::size_t at)
{
    if (at < 3 || word.compare(at - 3, 3, "www") != 0 || !hostStart(word, at + 1, true))
        return false;
    if (at == 3)
        return true;
    const char before = word[at - 4];
    return before == '*' || before == '_' || before == '~' || before == '(';
}

// Whether the : at `at` ends the scheme of a bare link: http, https or ftp
// (in any case) not after a letter, then // and a host.
bool schemeColonAt(std::string_view word, std::size_t at)
{
    if (word.compare(at + 1, 2, "//") != 0 || !hostStart(word, at + 3, false))
        return false;
    std::size_t start = at;
    while (start > 0 && at - start < 6 && asciiLetter(word[start - 1]))
        --start;
    if (start > 0 && asciiLetter(word[start - 1]))
        return false;
    std::string scheme(word.substr(start, at - start));
    for (char &c : scheme)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme == "http" || scheme == "https" || scheme == "ftp";
}

// The index of the character a line starting with `word` would need
// escaped to stay text, or npos.
std::size_t blockStartEscape(std::string_view word)
{
    switch (word[0]) {
    case '>': return 0;
    case '#': return onlyOf(word, '#') ? 0 : std::string_view::npos;
    case '=':
    case '-': return onlyOf(word, word[0]) ? 0 : std::string_view::npos;
    case '+': return word.size() == 1 ? 0 : std::string_view::npos;
    default: break;
    }
    // "1." or "1)": an ordered list item.
    std::size_t i = 0;
    while (i < word.size() && digit(word[i]))
        ++i;
    if (i > 0 && i <= 9 && i + 1 == word.size() && (word[i] == '.' || word[i] == ')'))
        return i;
    return std::string_view::npos;
}

// The code point of the UTF-8 character at `at`, and its size.
std::pair<char32_t, std::size_t> decodeAt(std::string_view text, std::size_t at)
{
    const auto b = static_cast<unsigned char>(text[at]);
    const std::size_t size = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (size == 1 || at + size > text.size())
        return {b, 1};
    char32_t c = b & (0x7F >> size);
    for (std::size_t i = 1; i < size; ++i)
        c = (c << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    return {c, size};
}

CharClass classOf(char32_t c)
{
    if (c < 0x80) {
        // White space is what CommonMark counts as such: other control
        // characters are neither space nor punctuation, as letters are.
        if (c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r')
            return CharClass::Space;
        if (c < ' ' || c == 0x7F)
            return CharClass::Word;
        const auto a = static_cast<char>(c);
        return (a >= '0' && a <= '9') || (a >= 'a' && a <= 'z') || (a >= 'A' && a <= 'Z') ? CharClass::Word
                                                                                          : CharClass::Punctuation;
    }
    if (c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x205F || c == 0x3000)
        return CharClass::Space;
    // The punctuation pages use: Latin-1's, general punctuation (quotes,
    // dashes, ellipsis), CJK and full-width punctuation.
    if (c == 0xA1 || c == 0xA7 || c == 0xAB || c == 0xB6 || c == 0xB7 || c == 0xBB || c == 0xBF ||
        (c >= 0x2010 && c <= 0x2027) || (c >= 0x2030 && c <= 0x205E) || (c >= 0x3001 && c <= 0x3003) ||
        (c >= 0x3008 && c <= 0x3011) || (c >= 0x3014 && c <= 0x301F) || (c >= 0xFF01 && c <= 0xFF0F) ||
        (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF3D) || c == 0xFF3F || c == 0xFF5B || c == 0xFF5D ||
        (c >= 0xFF5F && c <= 0xFF65))
        return CharClass::Punctuation;
    return CharClass::Word;
}

// What a byte may be to AppendEscaped(): nothing (most), escaped in some
// places, or the . and : of a bare address's www. and ://.
enum EscapeClass : std::uint8_t { kPlainByte, kMaybeEscaped, kAddressDot, kAddressColon };
constexpr auto kEscapeClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (const unsigned char c : std::string_view("\\`*[]<~_&"))
        classes[c] = kMaybeEscaped;
    classes[static_cast<unsigned char>(kRowMark)] = classes[static_cast<unsigned char>(kCellMark)] = kMaybeEscaped;
    classes['.'] = kAddressDot;
    classes[':'] = kAddressColon;
    return classes;
}();

// Whether AppendEscaped() writes `word` as it is but for the start of a
// block: no byte that may be escaped, no www. or :// outside a link's text.
// One pass over the word.
bool plainInside(std::string_view word, bool linkText)
{
    for (std::size_t i = 0;; ++i) {
        while (i < word.size() && kEscapeClasses[static_cast<unsigned char>(word[i])] == kPlainByte)
            ++i;
        if (i == word.size())
            return true;
        switch (kEscapeClasses[static_cast<unsigned char>(word[i])]) {
        case kMaybeEscaped: return false;
        case kAddressDot:
            if (!linkText && i >= 3 && word.compare(i - 3, 3, "www") == 0)
                return false;
            break;
        case kAddressColon:
            if (!linkText && word.compare(i + 1, 2, "//") == 0)
                return false;
            break;
        default: break;
        }
    }
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

} // namespace

std::size_t CharBytesBefore(std::string_view text, std::size_t end)
{
    std::size_t start = end;
    while (start > 0 && end - start < 4) {
        --start;
        if ((static_cast<unsigned char>(text[start]) & 0xC0) != 0x80)
            break;
    }
    return end - start;
}

CharClass ClassBefore(std::string_view text, std::size_t end)
{
    if (end == 0)
        return CharClass::Space;
    return classOf(decodeAt(text, end - CharBytesBefore(text, end)).first);
}

CharClass ClassAt(std::string_view text, std::size_t at)
{
    return at < text.size() ? classOf(decodeAt(text, at).first) : CharClass::Space;
}

InlineMark InlineMarkOf(std::string_view name)
{
    if (name == "em" || name == "i")
        return InlineMark::Emphasis;
    if (name == "strong" || name == "b")
        return InlineMark::Strong;
    if (name == "del" || name == "s" || name == "strike")
        return InlineMark::Strikethrough;
    // (tt asks only for a typewriter's letters: it marks no code.)
    if (name == "code" || name == "kbd" || name == "samp")
        return InlineMark::Code;
    return InlineMark::None;
}

std::string_view OpeningOf(InlineMark mark)
{
    switch (mark) {
    case InlineMark::Emphasis: return "*";
    case InlineMark::Strong: return "**";
    case InlineMark::Strikethrough: return "~~";
    case InlineMark::Code: return "`";
    case InlineMark::Link: return "[";
    case InlineMark::None: break;
    }
    return {};
}

std::string_view ClosingOf(InlineMark mark)
{
    return mark == InlineMark::Link ? "]" : OpeningOf(mark);
}

bool NeedsNoEscape(std::string_view word, bool blockStart, bool linkText)
{
    if (blockStart && !word.empty() &&
        (word.starts_with(kByteOrderMark) || blockStartEscape(word) != std::string_view::npos))
        return false;
    return plainInside(word, linkText);
}

void AppendEscaped(std::string &out, std::string_view word, bool blockStart, bool linkText)
{
    // A zero-width no-break space starting the text would be read as its
    // byte order mark: a character reference keeps it (and the line then
    // starts with that).
    if (blockStart && word.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        out.append("&#xFEFF;");
        word.remove_prefix(kByteOrderMark.size());
        blockStart = false;
    }
    const std::size_t startEscape = blockStart && !word.empty() ? blockStartEscape(word) : std::string_view::npos;
    // Most words need nothing: those go in one piece.
    if (startEscape == std::string_view::npos && plainInside(word, linkText)) {
        out.append(word);
        return;
    }
    // (A bare address may become a link.)
    const bool address =
        !linkText && (word.find("www.") != std::string_view::npos || word.find("://") != std::string_view::npos);
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i];
        bool escape = i == startEscape;
        switch (c) {
        case '\\':
        case '`':
        case '*':
        case '[':
        case ']':
        case '<':
        case '~': escape = true; break;
        case '_': escape = i == 0 || i + 1 == word.size() || !wordByte(word[i - 1]) || !wordByte(word[i + 1]); break;
        case '&': escape = referenceAt(word, i); break;
        case '.': escape = escape || (address && wwwDotAt(word, i)); break;
        case ':': escape = escape || (address && schemeColonAt(word, i)); break;
        case kRowMark:
        case kCellMark:
            // Not to be taken for the marks of a table's text.
            out.append(c == kRowMark ? "&#x1E;" : "&#x1F;");
            continue;
        default: break;
        }
        if (escape)
            out.push_back('\\');
        out.push_back(c);
    }
}

std::size_t WrittenReferenceBefore(std::string_view text, std::size_t end)
{
    if (end == 0 || end > text.size() || text[end - 1] != ';')
        return 0;
    std::size_t at = end - 1;
    while (at > 0 && std::isxdigit(static_cast<unsigned char>(text[at - 1])))
        --at;
    if (at == end - 1 || at < 3 || text.compare(at - 3, 3, "&#x") != 0)
        return 0;
    at -= 3;
    // (A backslash before the & makes it text, unless it is escaped itself.)
    std::size_t backslashes = 0;
    while (backslashes < at && text[at - backslashes - 1] == '\\')
        ++backslashes;
    return backslashes % 2 == 0 ? end - at : 0;
}

bool OpensBlock(std::string_view word)
{
    return !word.empty() && blockStartEscape(word) != std::string_view::npos;
}

std::size_t BlockStartEscapeAfter(std::string_view start, std::string_view word)
{
    // Only a number ends in a character of its own that would open a block
    // (a #, -, = or + already written is escaped, and so is what follows >).
    if (start.empty() || start.size() > 9 || word.empty() || !std::all_of(start.begin(), start.end(), digit))
        return std::string_view::npos;
    std::string whole(start);
    whole.append(word);
    const std::size_t at = blockStartEscape(whole);
    return at == std::string_view::npos ? at : at - start.size();
}

std::size_t LongestBacktickRun(std::string_view text)
{
    std::size_t longest = 0, run = 0;
    for (const char c : text) {
        run = c == '`' ? run + 1 : 0;
        if (run > longest)
            longest = run;
    }
    return longest;
}

std::string_view CodeLanguage(std::string_view classAttribute)
{
    std::size_t at = 0;
    while (at < classAttribute.size()) {
        const std::size_t end = classAttribute.find_first_of(" \t\n\r\f", at);
        const std::string_view name = classAttribute.substr(at, end - at);
        for (const std::string_view prefix : {std::string_view("language-"), std::string_view("lang-")}) {
            if (name.size() > prefix.size() && name.substr(0, prefix.size()) == prefix) {
                const std::string_view language = name.substr(prefix.size());
                if (language.find('`') == std::string_view::npos && language.find('~') == std::string_view::npos)
                    return language;
            }
        }
        if (end == std::string_view::npos)
            break;
        at = end + 1;
    }
    return {};
}

void AppendLinkDestination(std::string &out, std::string_view address)
{
    // Most addresses go as they are: one pass finds those.
    static constexpr auto kSpecial = [] {
        std::array<bool, 256> special{};
        for (unsigned c = 0; c < 0x20; ++c)
            special[c] = true;
        for (const unsigned char c : std::string_view(" ()<>\\\x7f"))
            special[c] = true;
        return special;
    }();
    if (!address.empty() &&
        std::none_of(address.begin(), address.end(), [](char c) { return kSpecial[static_cast<unsigned char>(c)]; })) {
        out.append(address);
        return;
    }
    // What makes the address bracketed, and what is encoded in it.
    bool bracketed = address.empty(), encoded = false;
    for (const char c : address) {
        const auto b = static_cast<unsigned char>(c);
        bracketed = bracketed || c == ' ' || c == '(' || c == ')' || c == '<' || c == '>';
        encoded = encoded || b < 0x20 || b == 0x7F || c == '\\';
    }
    if (!bracketed && !encoded) {
        out.append(address); // most addresses as they are
        return;
    }
    if (bracketed)
        out.push_back('<');
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : address) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '<' || c == '>' || c == '\\' || (!bracketed && c == ' ')) {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        } else {
            out.push_back(c);
        }
    }
    if (bracketed)
        out.push_back('>');
}

namespace {

// Text without the spaces and line ends around it.
std::string_view trimmedLines(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \n") + 1 - first);
}

// Whether a line of Markdown the renderer wrote starts a block other than
// a paragraph: a list item, quote, heading or code fence. (Its text never
// does: what would is escaped.)
bool startsBlock(std::string_view line)
{
    if (line.empty())
        return false;
    switch (line[0]) {
    case '-':
    case '*':
    case '+': return line.size() == 1 || line[1] == ' ' || line.substr(0, 3) == "---";
    case '>':
    case '#':
    case '|': return true;
    case '`':
    case '~': return line.substr(0, 3) == std::string(3, line[0]);
    default: break;
    }
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    return digits > 0 && digits < line.size() && (line[digits] == '.' || line[digits] == ')');
}

// A cell's lines as one line, when they are paragraphs and hard breaks
// only; false when one starts another block.
bool joinParagraphs(std::string &text)
{
    std::string joined;
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string_view line = trimmedLines(std::string_view(text).substr(at, end - at));
        if (!line.empty() && line.back() == '\\' && (line.size() < 2 || line[line.size() - 2] != '\\'))
            line.remove_suffix(1); // a hard break
        if (startsBlock(line))
            return false;
        if (!line.empty())
            joined.append(joined.empty() ? "" : " ").append(line);
        at = end + 1;
    }
    text = std::move(joined);
    return true;
}

} // namespace

std::string TableMarkdown(std::string_view marked, bool blocks)
{
    struct Cell {
        std::string text;
        int span = 1;
    };
    std::vector<std::vector<Cell>> rows;
    std::string outside;
    std::string *to = &outside;
    bool cells = false;
    for (std::size_t i = 0; i < marked.size();) {
        std::size_t mark = i;
        while (mark < marked.size() && marked[mark] != kRowMark && marked[mark] != kCellMark)
            ++mark;
        const std::string_view text = marked.substr(i, mark - i);
        to->append(text);
        // Text between the rows goes between them.
        if (to == &outside && cells && text.find_first_not_of(" \n") != std::string_view::npos)
            blocks = true;
        if (mark == marked.size())
            break;
        if (marked[mark] == kRowMark) {
            rows.emplace_back();
            to = &outside;
            i = mark + 1;
        } else {
            if (rows.empty())
                rows.emplace_back();
            const int span = mark + 1 < marked.size() ? marked[mark + 1] - '0' : 1;
            rows.back().push_back({{}, span});
            to = &rows.back().back().text;
            cells = true;
            i = mark + 2;
        }
    }
    std::size_t columns = 0;
    for (std::vector<Cell> &row : rows) {
        std::size_t width = 0;
        for (Cell &cell : row) {
            cell.text = std::string(trimmedLines(cell.text));
            // A cell's reader trims it of a vertical tab or form feed too:
            // one it starts with is written as a character reference.
            if (!cell.text.empty() && (cell.text[0] == '\v' || cell.text[0] == '\f'))
                cell.text.replace(0, 1, cell.text[0] == '\v' ? "&#x0B;" : "&#x0C;");
            if (cell.text.find('\n') != std::string::npos && !joinParagraphs(cell.text))
                blocks = true;
            width += static_cast<std::size_t>(cell.span);
        }
        columns = std::max(columns, width);
    }
    if (blocks) {
        // Every text of the table as a paragraph, in order.
        std::string out;
        const auto paragraph = [&out](std::string_view text) {
            if (const std::string_view kept = trimmedLines(text); !kept.empty())
                out.append(out.empty() ? "" : "\n\n").append(kept);
        };
        std::size_t start = 0;
        for (std::size_t i = 0; i < marked.size(); ++i) {
            if (marked[i] == kRowMark || marked[i] == kCellMark) {
                paragraph(marked.substr(start, i - start));
                i += marked[i] == kCellMark;
                start = i + 1;
            }
        }
        paragraph(marked.substr(std::min(start, marked.size())));
        return out;
    }
    std::string out(trimmedLines(outside));
    bool header = true;
    for (const std::vector<Cell> &row : rows) {
        if (row.empty())
            continue;
        if (!out.empty())
            out.append(header ? "\n\n" : "\n");
        out.push_back('|');
        std::size_t width = 0;
        for (const Cell &cell : row) {
            out.push_back(' ');
            for (std::size_t at = 0; at < cell.text.size();) {
                const std::size_t bar = std::min(cell.text.find('|', at), cell.text.size());
                out.append(cell.text, at, bar - at);
                if (bar == cell.text.size())
                    break;
                out.append("\\|");
                at = bar + 1;
            }
            out.append(cell.text.empty() ? "|" : " |");
            for (int extra = 1; extra < cell.span; ++extra)
                out.append(" |");
            width += static_cast<std::size_t>(cell.span);
        }
        for (; width < columns; ++width)
            out.append(" |");
        if (header) {
            out.append("\n|");
            for (std::size_t c = 0; c < columns; ++c)
                out.append(" --- |");
            header = false;
        }
    }
    return out;
}

} // namespace quillan::text::readable
