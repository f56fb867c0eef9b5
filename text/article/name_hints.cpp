#include "text/article/name_hints.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

using namespace std::string_view_literals;

namespace quillan::text::article {
namespace {

// What a part or a word of a name says; a name's findings are the union.
enum Finding : std::uint8_t {
    kUnlikely = 1u << 0,    // boilerplate
    kContent = 1u << 1,     // keeps an element a candidate whatever else its names say
    kNegative = 1u << 2,    // weighs against
    kPositive = 1u << 3,    // weighs for
    kComments = 1u << 4,    // readers' comments
    kPosting = 1u << 5,     // the form, link or button that posts or answers a comment
    kHidden = 1u << 6,      // "hidden": weighs against, unless only a label is hidden
    kHiddenLabel = 1u << 7, // a field whose label is hidden ("field--label-hidden"): the field shows
};

struct Pattern {
    std::string_view text;
    std::uint8_t findings;
};

// Parts of names, wherever they stand in a name.
constexpr Pattern kParts[] = {
    {"banner"sv, kUnlikely | kNegative},
    {"breadcrumb"sv, kUnlikely},
    {"combx"sv, kUnlikely | kNegative},
    {"comment"sv, kUnlikely | kNegative | kComments},
    {"community"sv, kUnlikely},
    {"cookie"sv, kUnlikely | kNegative},
    {"consent"sv, kUnlikely},
    {"disqus"sv, kUnlikely | kComments},
    {"footer"sv, kUnlikely | kNegative},
    {"gdpr"sv, kUnlikely},
    {"header"sv, kUnlikely},
    {"menu"sv, kUnlikely},
    {"modal"sv, kUnlikely},
    {"masthead"sv, kUnlikely | kNegative},
    {"navbar"sv, kUnlikely},
    {"navigation"sv, kUnlikely},
    {"newsletter"sv, kUnlikely | kNegative},
    {"outbrain"sv, kUnlikely | kNegative},
    {"pagination"sv, kUnlikely},
    {"pager"sv, kUnlikely},
    {"popup"sv, kUnlikely},
    {"related"sv, kUnlikely | kNegative},
    {"remark"sv, kUnlikely},
    {"rss"sv, kUnlikely},
    {"share"sv, kUnlikely | kNegative},
    {"sharing"sv, kUnlikely},
    {"shoutbox"sv, kUnlikely | kNegative},
    {"sidebar"sv, kUnlikely | kNegative},
    {"skyscraper"sv, kUnlikely | kNegative},
    {"social"sv, kUnlikely | kNegative},
    {"sponsor"sv, kUnlikely | kNegative},
    {"subscribe"sv, kUnlikely | kNegative},
    {"taboola"sv, kUnlikely},
    {"toolbar"sv, kUnlikely},
    {"widget"sv, kUnlikely | kNegative},
    {"signup"sv, kUnlikely},
    {"login"sv, kUnlikely},
    {"promo"sv, kUnlikely | kNegative},
    {"advert"sv, kUnlikely},
    {"trending"sv, kUnlikely},
    {"recommend"sv, kUnlikely},
    {"most-read"sv, kUnlikely},
    {"mostread"sv, kUnlikely},
    {"popular"sv, kUnlikely},
    {"nav-"sv, kUnlikely},
    {"-nav"sv, kUnlikely},
    {"_nav"sv, kUnlikely},
    {"nav_"sv, kUnlikely},
    {"skip-link"sv, kUnlikely},
    {"skiplink"sv, kUnlikely},
    {"byline-share"sv, kUnlikely},
    {"print-"sv, kUnlikely},
    {"author-bio"sv, kUnlikely},
    {"tag-list"sv, kUnlikely},
    {"taglist"sv, kUnlikely},

    {"kommentar"sv, kComments},
    {"komentar"sv, kComments},
    {"comentario"sv, kComments},
    {"respond"sv, kPosting},
    {"reply"sv, kPosting},
    {"comment-form"sv, kPosting},
    {"commentform"sv, kPosting},
    {"comment_form"sv, kPosting},

    {"article"sv, kContent | kPositive},
    {"content"sv, kContent | kPositive},
    {"main"sv, kContent | kPositive},
    {"story"sv, kContent | kPositive},
    {"entry"sv, kContent | kPositive},
    {"body"sv, kContent | kPositive},
    {"text"sv, kContent | kPositive},
    {"column"sv, kContent},
    {"post"sv, kContent | kPositive},

    {"contact"sv, kNegative},
    {"footnote"sv, kNegative},
    {"media"sv, kNegative},
    {"meta"sv, kNegative},
    {"scroll"sv, kNegative},
    {"shopping"sv, kNegative},
    {"tool"sv, kNegative},
    {"hidden"sv, kHidden},
    {"label-hidden"sv, kHiddenLabel},
    {"labelhidden"sv, kHiddenLabel},
    {"caption-share"sv, kNegative},

    {"hentry"sv, kPositive},
    {"h-entry"sv, kPositive},
    {"page"sv, kPositive},
    {"pagination-none"sv, kPositive},
    {"blog"sv, kPositive},
    {"prose"sv, kPositive},
};

// Whole words of names (runs of lower-case letters and digits).
constexpr Pattern kWords[] = {
    {"ad"sv, kUnlikely | kNegative},
    {"ads"sv, kUnlikely | kNegative},
    {"nav"sv, kUnlikely | kNegative},
    {"tags"sv, kUnlikely | kNegative},
    {"foot"sv, kUnlikely | kNegative},
    {"side"sv, kUnlikely},
    {"aside"sv, kUnlikely},
    {"adv"sv, kUnlikely},
    {"dfp"sv, kUnlikely},
    {"rail"sv, kUnlikely},
    {"com"sv, kNegative},
    {"hid"sv, kNegative},
    {"form"sv, kPosting},
};

// The bytes of names, numbered: letters of either case, digits, '-', '_';
// every other byte is kOtherCode. Letters and digits make words.
constexpr std::size_t kWordCodes = 36;
constexpr std::size_t kOtherCode = 38;
constexpr std::size_t kCodeCount = 39;
constexpr std::size_t codeOf(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<std::size_t>(c - 'a');
    if (c >= 'A' && c <= 'Z')
        return static_cast<std::size_t>(c - 'A');
    if (c >= '0' && c <= '9')
        return static_cast<std::size_t>(c - '0' + 26);
    return c == '-' ? 36 : c == '_' ? 37 : kOtherCode;
}
constexpr auto kCodes = [] {
    std::array<std::uint8_t, 256> codes{};
    for (std::size_t b = 0; b < 256; ++b)
        codes[b] = static_cast<std::uint8_t>(codeOf(static_cast<char>(b)));
    return codes;
}();

// All parts at once: an automaton that reads a name byte by byte (the
// Aho-Corasick construction), each state with the findings of the parts
// that end where it stands.
constexpr std::size_t kMaxStates = [] {
    std::size_t states = 1;
    for (const Pattern &p : kParts)
        states += p.text.size();
    return states;
}();
static_assert(kMaxStates < 65536);
static_assert(
    [] {
        for (const Pattern &p : kParts)
            for (char c : p.text)
                if (codeOf(c) == kOtherCode || (c >= 'A' && c <= 'Z'))
                    return false;
        return true;
    }(),
    "parts are lower-case letters, digits, '-' and '_'");

struct Automaton {
    std::array<std::array<std::uint16_t, kCodeCount>, kMaxStates> next{};
    std::array<std::uint8_t, kMaxStates> findings{};
};

constexpr Automaton kAutomaton = [] {
    Automaton a;
    // The trie of the parts; 0 in `next` is "none yet" (no edge leads back
    // to the root in a trie).
    std::size_t states = 1;
    for (const Pattern &p : kParts) {
        std::size_t at = 0;
        for (char c : p.text) {
            auto &to = a.next[at][codeOf(c)];
            if (to == 0)
                to = static_cast<std::uint16_t>(states++);
            at = to;
        }
        a.findings[at] |= p.findings;
    }
    // Breadth first: each state's missing edges follow its fallback's, and
    // it finds what its fallback finds.
    std::array<std::uint16_t, kMaxStates> fallback{}, queue{};
    std::size_t head = 0, tail = 0;
    for (std::size_t code = 0; code < kCodeCount; ++code)
        if (a.next[0][code] != 0)
            queue[tail++] = a.next[0][code]; // their fallback is the root
    while (head < tail) {
        const std::uint16_t state = queue[head++];
        a.findings[state] |= a.findings[fallback[state]];
        for (std::size_t code = 0; code < kCodeCount; ++code) {
            std::uint16_t &to = a.next[state][code];
            if (to != 0) {
                fallback[to] = a.next[fallback[state]][code];
                queue[tail++] = to;
            } else {
                to = a.next[fallback[state]][code];
            }
        }
    }
    return a;
}();

// The automaton as one table of rows, a state's row holding the offsets of
// the next states' rows and, last, its findings: a byte costs one lookup.
constexpr std::size_t kRow = kCodeCount + 1;
static_assert(kMaxStates * kRow < 65536);
constexpr auto kRows = [] {
    std::array<std::uint16_t, kMaxStates * kRow> rows{};
    for (std::size_t state = 0; state < kMaxStates; ++state) {
        for (std::size_t code = 0; code < kCodeCount; ++code)
            rows[state * kRow + code] = static_cast<std::uint16_t>(kAutomaton.next[state][code] * kRow);
        rows[state * kRow + kCodeCount] = kAutomaton.findings[state];
    }
    return rows;
}();

char lowerChar(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isWord(std::string_view word, std::string_view lowerWord)
{
    if (word.size() != lowerWord.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (lowerChar(word[i]) != lowerWord[i])
            return false;
    return true;
}

// The whole words as numbers: their lower-case bytes, the first lowest. A
// word is letters and digits only (no NUL byte), so words of different
// sizes never make the same number.
constexpr std::size_t kMinWord = 2, kMaxWord = 5;
constexpr std::uint64_t packedWord(std::string_view lowerWord)
{
    std::uint64_t packed = 0;
    for (std::size_t i = lowerWord.size(); i-- > 0;)
        packed = (packed << 8) | static_cast<unsigned char>(lowerWord[i]);
    return packed;
}
static_assert(
    [] {
        for (const Pattern &w : kWords)
            if (w.text.size() < kMinWord || w.text.size() > kMaxWord)
                return false;
        return true;
    }(),
    "the words are matched by their size first");
struct PackedWord {
    std::uint64_t packed;
    std::uint8_t findings;
};
constexpr auto kPackedWords = [] {
    std::array<PackedWord, std::size(kWords)> packed{};
    for (std::size_t i = 0; i < std::size(kWords); ++i)
        packed[i] = {packedWord(kWords[i].text), kWords[i].findings};
    return packed;
}();

// What the word name[from, to) says as a whole word (most say nothing).
std::uint8_t wordFindings(std::string_view name, std::size_t from, std::size_t to)
{
    if (to - from < kMinWord || to - from > kMaxWord)
        return 0;
    std::uint64_t packed = 0;
    for (std::size_t i = to; i-- > from;)
        packed = (packed << 8) | static_cast<unsigned char>(lowerChar(name[i]));
    std::uint8_t found = 0;
    for (const PackedWord &w : kPackedWords)
        if (w.packed == packed)
            found |= w.findings;
    return found;
}

// The findings of one attribute value, matched without regard to ASCII case.
std::uint8_t findingsOf(std::string_view name)
{
    std::uint8_t found = 0;
    std::size_t state = 0, wordStart = 0;
    const std::size_t size = name.size();
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t code = kCodes[static_cast<unsigned char>(name[i])];
        if (code >= kWordCodes) { // a word ends here
            found |= wordFindings(name, wordStart, i);
            wordStart = i + 1;
        }
        state = kRows[state + code];
        found |= static_cast<std::uint8_t>(kRows[state + kCodeCount]);
    }
    return found | wordFindings(name, wordStart, size);
}

// "hidden" weighs against, but not where the names say that a field's
// label is hidden: the field itself is shown.
bool negative(std::uint8_t findings)
{
    return (findings & kNegative) || ((findings & kHidden) && !(findings & kHiddenLabel));
}

int weightOf(std::uint8_t findings)
{
    return (negative(findings) ? -25 : 0) + (findings & kPositive ? 25 : 0);
}

bool equalsLower(std::string_view value, std::string_view lowerWord)
{
    if (value.size() != lowerWord.size())
        return false;
    for (std::size_t i = 0; i < value.size(); ++i)
        if (lowerChar(value[i]) != lowerWord[i])
            return false;
    return true;
}

bool boilerplateRole(std::string_view role)
{
    for (std::string_view r : {"navigation"sv, "complementary"sv, "contentinfo"sv, "banner"sv, "dialog"sv,
                               "alertdialog"sv, "menu"sv, "menubar"sv, "search"sv, "toolbar"sv})
        if (equalsLower(role, r))
            return true;
    return false;
}

// What a finding says, in a word.
std::string_view findingWord(std::uint8_t findings)
{
    if (findings & kUnlikely)
        return "boilerplate";
    if (findings & kContent)
        return "content";
    return negative(findings) ? "against" : "for";
}

bool containsLower(std::string_view value, std::string_view lowerPart)
{
    for (std::size_t at = 0; at + lowerPart.size() <= value.size(); ++at)
        if (isWord(value.substr(at, lowerPart.size()), lowerPart))
            return true;
    return false;
}

// One attribute as ExplainNameHints() writes it, empty when none of its
// names says anything: the parts found anywhere, then the whole words,
// each once.
std::string explainValue(std::string_view attribute, std::string_view value)
{
    std::string found;
    const auto add = [&found](std::string_view name, std::uint8_t findings) {
        const std::string entry = std::string(name) + " (" + std::string(findingWord(findings)) + ")";
        if ((", " + found + ", ").find(", " + entry + ", ") != std::string::npos)
            return;
        found += found.empty() ? "" : ", ";
        found += entry;
    };
    const bool hiddenLabel = containsLower(value, "label-hidden") || containsLower(value, "labelhidden");
    for (const Pattern &p : kParts)
        if (containsLower(value, p.text) && !(p.findings & kHiddenLabel) && !(hiddenLabel && p.findings == kHidden))
            add(p.text, p.findings);
    std::size_t wordStart = 0;
    for (std::size_t i = 0; i <= value.size(); ++i) {
        if (i < value.size() && kCodes[static_cast<unsigned char>(value[i])] < kWordCodes)
            continue;
        for (const Pattern &w : kWords)
            if (isWord(value.substr(wordStart, i - wordStart), w.text))
                add(w.text, w.findings);
        wordStart = i + 1;
    }
    return found.empty() ? found : std::string(attribute) + " " + found;
}

} // namespace

std::string ExplainNameHints(std::string_view classes, std::string_view id, std::string_view role)
{
    std::string text;
    const auto add = [&text](std::string part) {
        if (part.empty())
            return;
        text += text.empty() ? "" : ", ";
        text += part;
    };
    add(explainValue("class", classes));
    add(explainValue("id", id));
    if (equalsLower(role, "main") || equalsLower(role, "article"))
        add("role \"" + std::string(role) + "\" (content)");
    else if (boilerplateRole(role))
        add("role \"" + std::string(role) + "\" (boilerplate)");
    return text;
}

NameHints ReadNameHints(std::string_view classes, std::string_view id, std::string_view role)
{
    NameHints hints;
    const std::uint8_t ofClasses = classes.empty() ? 0 : findingsOf(classes);
    const std::uint8_t ofId = id.empty() ? 0 : findingsOf(id);
    hints.weight = static_cast<std::int16_t>(weightOf(ofClasses) + weightOf(ofId));
    const std::uint8_t said = ofClasses | ofId;
    hints.comments = said & kPosting    ? CommentHint::Posting
                     : said & kComments ? CommentHint::Comments
                                        : CommentHint::None;
    if (!role.empty()) {
        if (equalsLower(role, "main") || equalsLower(role, "article"))
            hints.weight = static_cast<std::int16_t>(hints.weight + 25);
        if (boilerplateRole(role)) {
            hints.unlikely = true;
            hints.dialog = equalsLower(role, "dialog") || equalsLower(role, "alertdialog");
            return hints;
        }
    }
    hints.unlikely = (said & kUnlikely) && !(said & kContent);
    if (hints.unlikely)
        for (std::string_view part : {"cookie"sv, "consent"sv, "gdpr"sv})
            hints.dialog = hints.dialog || containsLower(classes, part) || containsLower(id, part);
    return hints;
}

} // namespace quillan::text::article
