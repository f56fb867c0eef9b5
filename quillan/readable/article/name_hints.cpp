#include "article/name_hints.h"

#include <array>
#include <string>
#include <string_view>

using namespace std::string_view_literals;

namespace quillan::readable::article {
namespace {

// Parts of names that mark boilerplate, wherever they stand in a name.
constexpr std::array kUnlikelyParts{
    "banner"sv,   "breadcrumb"sv, "combx"sv,     "comment"sv,   "community"sv, "cookie"sv,   "consent"sv,  "disqus"sv,
    "footer"sv,   "gdpr"sv,       "header"sv,    "menu"sv,      "modal"sv,     "masthead"sv, "navbar"sv,   "navigation"sv,
    "newsletter"sv, "outbrain"sv, "pagination"sv, "pager"sv,    "popup"sv,     "related"sv,  "remark"sv,   "rss"sv,
    "share"sv,    "sharing"sv,    "shoutbox"sv,  "sidebar"sv,   "skyscraper"sv, "social"sv,  "sponsor"sv,  "subscribe"sv,
    "taboola"sv,  "toolbar"sv,    "widget"sv,    "signup"sv,    "login"sv,     "promo"sv,    "advert"sv,   "trending"sv,
    "recommend"sv, "most-read"sv, "mostread"sv,  "popular"sv,   "nav-"sv,      "-nav"sv,     "_nav"sv,     "nav_"sv,
    "skip-link"sv, "skiplink"sv,  "byline-share"sv, "print-"sv, "author-bio"sv, "tag-list"sv, "taglist"sv,
};
// Whole words of names that mark boilerplate.
constexpr std::array kUnlikelyWords{"ad"sv, "ads"sv, "nav"sv, "tags"sv, "foot"sv, "side"sv, "aside"sv, "adv"sv, "dfp"sv, "rail"sv};
// Parts that keep an element a candidate whatever else its names say.
constexpr std::array kContentParts{"article"sv, "content"sv, "main"sv, "story"sv, "entry"sv, "body"sv, "text"sv, "column"sv, "post"sv};

// Parts that weigh against and for an element.
constexpr std::array kNegativeParts{
    "banner"sv, "combx"sv,  "comment"sv, "contact"sv, "footer"sv,  "footnote"sv, "masthead"sv, "media"sv,   "meta"sv,
    "outbrain"sv, "promo"sv, "related"sv, "scroll"sv,  "share"sv,   "shoutbox"sv, "sidebar"sv,  "skyscraper"sv, "sponsor"sv,
    "shopping"sv, "tool"sv,  "widget"sv,  "social"sv,  "cookie"sv,  "newsletter"sv, "subscribe"sv, "hidden"sv, "caption-share"sv,
};
constexpr std::array kNegativeWords{"ad"sv, "ads"sv, "tags"sv, "foot"sv, "com"sv, "hid"sv, "nav"sv};
constexpr std::array kPositiveParts{"article"sv, "body"sv, "content"sv, "entry"sv, "hentry"sv, "h-entry"sv, "main"sv, "page"sv,
                                    "pagination-none"sv, "post"sv, "text"sv, "blog"sv, "story"sv, "prose"sv};

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

template <std::size_t N> bool hasPart(const std::string &names, const std::array<std::string_view, N> &parts)
{
    for (std::string_view p : parts)
        if (names.find(p) != std::string::npos)
            return true;
    return false;
}

bool isWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

template <std::size_t N> bool hasWord(const std::string &names, const std::array<std::string_view, N> &words)
{
    std::size_t i = 0;
    while (i < names.size()) {
        while (i < names.size() && !isWordChar(names[i]))
            ++i;
        std::size_t j = i;
        while (j < names.size() && isWordChar(names[j]))
            ++j;
        if (j > i) {
            const std::string_view word(names.data() + i, j - i);
            for (std::string_view w : words)
                if (word == w)
                    return true;
        }
        i = j;
    }
    return false;
}

int weightOf(std::string_view name)
{
    if (name.empty())
        return 0;
    const std::string names = lower(name);
    int weight = 0;
    if (hasPart(names, kNegativeParts) || hasWord(names, kNegativeWords))
        weight -= 25;
    if (hasPart(names, kPositiveParts))
        weight += 25;
    return weight;
}

bool boilerplateRole(std::string_view role)
{
    const std::string r = lower(role);
    return r == "navigation" || r == "complementary" || r == "contentinfo" || r == "banner" || r == "dialog" ||
           r == "alertdialog" || r == "menu" || r == "menubar" || r == "search" || r == "toolbar";
}

} // namespace

NameHints ReadNameHints(std::string_view classes, std::string_view id, std::string_view role)
{
    NameHints hints;
    hints.weight = static_cast<std::int16_t>(weightOf(classes) + weightOf(id));
    if (!role.empty()) {
        const std::string r = lower(role);
        if (r == "main" || r == "article")
            hints.weight = static_cast<std::int16_t>(hints.weight + 25);
        if (boilerplateRole(r)) {
            hints.unlikely = true;
            return hints;
        }
    }
    if (classes.empty() && id.empty())
        return hints;
    std::string names = lower(classes);
    names += ' ';
    names += lower(id);
    if ((hasPart(names, kUnlikelyParts) || hasWord(names, kUnlikelyWords)) && !hasPart(names, kContentParts))
        hints.unlikely = true;
    return hints;
}

} // namespace quillan::readable::article
