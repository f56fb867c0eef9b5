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

// The parts sorted by their first letter, and for each byte the run of
// parts that start with it: a name is read once, testing at each of its
// places only the parts that start with the letter there.
constexpr std::size_t kPartCount = std::size(kParts);
constexpr auto kSortedParts = [] {
    std::array<Pattern, kPartCount> parts{};
    std::copy(std::begin(kParts), std::end(kParts), parts.begin());
    std::sort(parts.begin(), parts.end(), [](const Pattern &a, const Pattern &b) { return a.text[0] < b.text[0]; });
    return parts;
}();
constexpr auto kRuns = [] {
    std::array<std::pair<std::uint8_t, std::uint8_t>, 256> runs{};
    for (std::size_t i = 0; i < kPartCount; ++i) {
        auto &run = runs[static_cast<unsigned char>(kSortedParts[i].text[0])];
        if (run.second == 0)
            run.first = static_cast<std::uint8_t>(i);
        run.second = static_cast<std::uint8_t>(i + 1);
    }
    return runs;
}();
static_assert(kPartCount < 256);

bool startsWithAt(std::string_view name, std::size_t at, std::string_view part)
{
    if (name.size() - at < part.size())
        return false;
    for (std::size_t k = 1; k < part.size(); ++k)
        if (lower(name[at + k]) != part[k])
            return false;
    return true;
}

bool isWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The findings of one attribute value, matched without regard to ASCII case.
std::uint8_t findingsOf(std::string_view name)
{
    std::uint8_t found = 0;
    std::size_t wordStart = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        const char c = i < name.size() ? lower(name[i]) : ' ';
        if (!isWordChar(c)) {
            const std::string_view word = name.substr(wordStart, i - wordStart);
            if (!word.empty() && word.size() <= 5) {
                for (const Pattern &w : kWords)
                    if (w.text.size() == word.size() && startsWithAt(word, 0, w.text) && lower(word[0]) == w.text[0])
                        found |= w.findings;
            }
            wordStart = i + 1;
        }
        if (i == name.size())
            break;
        const auto [first, last] = kRuns[static_cast<unsigned char>(c)];
        for (std::size_t p = first; p < last; ++p)
            if (startsWithAt(name, i, kSortedParts[p].text))
                found |= kSortedParts[p].findings;
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
