#include "article/name_hints.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

using namespace std::string_view_literals;

namespace quillan::readable::article {
namespace {

// What a part or a word of a name says; a name's findings are the union.
enum Finding : std::uint8_t {
    kUnlikely = 1u << 0, // boilerplate
    kContent = 1u << 1,  // keeps an element a candidate whatever else its names say
    kNegative = 1u << 2, // weighs against
    kPositive = 1u << 3, // weighs for
};

struct Pattern {
    std::string_view text;
    std::uint8_t findings;
};

// Parts of names, wherever they stand in a name.
constexpr Pattern kParts[] = {
    {"banner"sv, kUnlikely | kNegative}, {"breadcrumb"sv, kUnlikely}, {"combx"sv, kUnlikely | kNegative},
    {"comment"sv, kUnlikely | kNegative}, {"community"sv, kUnlikely}, {"cookie"sv, kUnlikely | kNegative},
    {"consent"sv, kUnlikely}, {"disqus"sv, kUnlikely}, {"footer"sv, kUnlikely | kNegative},
    {"gdpr"sv, kUnlikely}, {"header"sv, kUnlikely}, {"menu"sv, kUnlikely}, {"modal"sv, kUnlikely},
    {"masthead"sv, kUnlikely | kNegative}, {"navbar"sv, kUnlikely}, {"navigation"sv, kUnlikely},
    {"newsletter"sv, kUnlikely | kNegative}, {"outbrain"sv, kUnlikely | kNegative}, {"pagination"sv, kUnlikely},
    {"pager"sv, kUnlikely}, {"popup"sv, kUnlikely}, {"related"sv, kUnlikely | kNegative},
    {"remark"sv, kUnlikely}, {"rss"sv, kUnlikely}, {"share"sv, kUnlikely | kNegative}, {"sharing"sv, kUnlikely},
    {"shoutbox"sv, kUnlikely | kNegative}, {"sidebar"sv, kUnlikely | kNegative},
    {"skyscraper"sv, kUnlikely | kNegative}, {"social"sv, kUnlikely | kNegative},
    {"sponsor"sv, kUnlikely | kNegative}, {"subscribe"sv, kUnlikely | kNegative}, {"taboola"sv, kUnlikely},
    {"toolbar"sv, kUnlikely}, {"widget"sv, kUnlikely | kNegative}, {"signup"sv, kUnlikely}, {"login"sv, kUnlikely},
    {"promo"sv, kUnlikely | kNegative}, {"advert"sv, kUnlikely}, {"trending"sv, kUnlikely},
    {"recommend"sv, kUnlikely}, {"most-read"sv, kUnlikely}, {"mostread"sv, kUnlikely}, {"popular"sv, kUnlikely},
    {"nav-"sv, kUnlikely}, {"-nav"sv, kUnlikely}, {"_nav"sv, kUnlikely}, {"nav_"sv, kUnlikely},
    {"skip-link"sv, kUnlikely}, {"skiplink"sv, kUnlikely}, {"byline-share"sv, kUnlikely}, {"print-"sv, kUnlikely},
    {"author-bio"sv, kUnlikely}, {"tag-list"sv, kUnlikely}, {"taglist"sv, kUnlikely},

    {"article"sv, kContent | kPositive}, {"content"sv, kContent | kPositive}, {"main"sv, kContent | kPositive},
    {"story"sv, kContent | kPositive}, {"entry"sv, kContent | kPositive}, {"body"sv, kContent | kPositive},
    {"text"sv, kContent | kPositive}, {"column"sv, kContent}, {"post"sv, kContent | kPositive},

    {"contact"sv, kNegative}, {"footnote"sv, kNegative}, {"media"sv, kNegative}, {"meta"sv, kNegative},
    {"scroll"sv, kNegative}, {"shopping"sv, kNegative}, {"tool"sv, kNegative}, {"hidden"sv, kNegative},
    {"caption-share"sv, kNegative},

    {"hentry"sv, kPositive}, {"h-entry"sv, kPositive}, {"page"sv, kPositive}, {"pagination-none"sv, kPositive},
    {"blog"sv, kPositive}, {"prose"sv, kPositive},
};

// Whole words of names (runs of lower-case letters and digits).
constexpr Pattern kWords[] = {
    {"ad"sv, kUnlikely | kNegative}, {"ads"sv, kUnlikely | kNegative}, {"nav"sv, kUnlikely | kNegative},
    {"tags"sv, kUnlikely | kNegative}, {"foot"sv, kUnlikely | kNegative}, {"side"sv, kUnlikely},
    {"aside"sv, kUnlikely}, {"adv"sv, kUnlikely}, {"dfp"sv, kUnlikely}, {"rail"sv, kUnlikely},
    {"com"sv, kNegative}, {"hid"sv, kNegative},
};

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The bytes of names, numbered: letters of either case, digits, '-', '_';
// every other byte is kNoStart. Letters and digits make words.
constexpr std::size_t kNoStart = 38;
constexpr std::size_t kWordCodes = 36;
constexpr std::size_t startCode(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<std::size_t>(c - 'a');
    if (c >= 'A' && c <= 'Z')
        return static_cast<std::size_t>(c - 'A');
    if (c >= '0' && c <= '9')
        return static_cast<std::size_t>(c - '0' + 26);
    return c == '-' ? 36 : c == '_' ? 37 : kNoStart;
}
constexpr auto kCodes = [] {
    std::array<std::uint8_t, 256> codes{};
    for (std::size_t b = 0; b < 256; ++b)
        codes[b] = static_cast<std::uint8_t>(startCode(static_cast<char>(b)));
    return codes;
}();
constexpr std::size_t pairCode(std::size_t first, std::size_t second)
{
    return first * (kNoStart + 1) + second;
}
constexpr std::size_t pairCode(char first, char second)
{
    return pairCode(startCode(first), startCode(second));
}

// The parts sorted by their first two letters, and for each such pair the
// run of parts that start with it: a name is read once, testing at each of
// its places only the parts that start with the two letters there.
constexpr std::size_t kPartCount = std::size(kParts);
constexpr auto kSortedParts = [] {
    std::array<Pattern, kPartCount> parts{};
    std::copy(std::begin(kParts), std::end(kParts), parts.begin());
    std::sort(parts.begin(), parts.end(), [](const Pattern &a, const Pattern &b) {
        return pairCode(a.text[0], a.text[1]) < pairCode(b.text[0], b.text[1]);
    });
    return parts;
}();
constexpr auto kRuns = [] {
    std::array<std::pair<std::uint8_t, std::uint8_t>, (kNoStart + 1) * (kNoStart + 1)> runs{};
    for (std::size_t i = 0; i < kPartCount; ++i) {
        auto &run = runs[pairCode(kSortedParts[i].text[0], kSortedParts[i].text[1])];
        if (run.second == 0)
            run.first = static_cast<std::uint8_t>(i);
        run.second = static_cast<std::uint8_t>(i + 1);
    }
    return runs;
}();
static_assert(kPartCount < 256);
static_assert([] {
    for (const Pattern &p : kParts)
        if (p.text.size() < 2 || startCode(p.text[0]) == kNoStart || startCode(p.text[1]) == kNoStart)
            return false;
    return true;
}(), "parts start with two letters, digits, '-' or '_'");

// Whether `part` (lower case) stands at `at` in `name`, its first letter
// already matched.
bool standsAt(std::string_view name, std::size_t at, std::string_view part)
{
    if (name.size() - at < part.size())
        return false;
    for (std::size_t k = 1; k < part.size(); ++k)
        if (lower(name[at + k]) != part[k])
            return false;
    return true;
}

std::size_t codeOf(char c)
{
    return kCodes[static_cast<unsigned char>(c)];
}

// The findings of one attribute value, matched without regard to ASCII case.
std::uint8_t findingsOf(std::string_view name)
{
    std::uint8_t found = 0;
    std::size_t wordStart = 0;
    const std::size_t size = name.size();
    std::size_t code = codeOf(name[0]);
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t next = i + 1 < size ? codeOf(name[i + 1]) : kNoStart;
        const auto [first, last] = kRuns[pairCode(code, next)];
        for (std::size_t p = first; p < last; ++p)
            if (standsAt(name, i, kSortedParts[p].text))
                found |= kSortedParts[p].findings;
        if (next >= kWordCodes && code < kWordCodes) {
            // A word ends here.
            const std::string_view word = name.substr(wordStart, i + 1 - wordStart);
            if (word.size() <= 5)
                for (const Pattern &w : kWords)
                    if (w.text.size() == word.size() && lower(word[0]) == w.text[0] && standsAt(word, 0, w.text))
                        found |= w.findings;
        } else if (code >= kWordCodes) {
            wordStart = i + 1;
        }
        code = next;
    }
    return found;
}

int weightOf(std::uint8_t findings)
{
    return (findings & kNegative ? -25 : 0) + (findings & kPositive ? 25 : 0);
}

bool equalsLower(std::string_view value, std::string_view lowerWord)
{
    if (value.size() != lowerWord.size())
        return false;
    for (std::size_t i = 0; i < value.size(); ++i)
        if (lower(value[i]) != lowerWord[i])
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

} // namespace

NameHints ReadNameHints(std::string_view classes, std::string_view id, std::string_view role)
{
    NameHints hints;
    const std::uint8_t ofClasses = classes.empty() ? 0 : findingsOf(classes);
    const std::uint8_t ofId = id.empty() ? 0 : findingsOf(id);
    hints.weight = static_cast<std::int16_t>(weightOf(ofClasses) + weightOf(ofId));
    if (!role.empty()) {
        if (equalsLower(role, "main") || equalsLower(role, "article"))
            hints.weight = static_cast<std::int16_t>(hints.weight + 25);
        if (boilerplateRole(role)) {
            hints.unlikely = true;
            return hints;
        }
    }
    const std::uint8_t names = ofClasses | ofId;
    hints.unlikely = (names & kUnlikely) && !(names & kContent);
    return hints;
}

} // namespace quillan::readable::article
