#include "article/name_hints.h"

#include <array>
#include <string>

namespace quillan::readable::article {
namespace {

// Parts of names that mark boilerplate, wherever they stand in a name.
constexpr std::array kUnlikelyParts{
    "banner",   "breadcrumb", "combx",     "comment",   "community", "cookie",   "consent",  "disqus",
    "footer",   "gdpr",       "header",    "menu",      "modal",     "masthead", "navbar",   "navigation",
    "newsletter", "outbrain", "pagination", "pager",    "popup",     "related",  "remark",   "rss",
    "share",    "sharing",    "shoutbox",  "sidebar",   "skyscraper", "social",  "sponsor",  "subscribe",
    "taboola",  "toolbar",    "widget",    "signup",    "login",     "promo",    "advert",   "trending",
    "recommend", "most-read", "mostread",  "popular",   "nav-",      "-nav",     "_nav",     "nav_",
    "skip-link", "skiplink",  "byline-share", "print-", "author-bio", "tag-list", "taglist",
};
// Whole words of names that mark boilerplate.
constexpr std::array kUnlikelyWords{"ad", "ads", "nav", "tags", "foot", "side", "aside", "adv", "dfp", "rail"};
// Parts that keep an element a candidate whatever else its names say.
constexpr std::array kContentParts{"article", "content", "main", "story", "entry", "body", "text", "column", "post"};

// Parts that weigh against and for an element.
constexpr std::array kNegativeParts{
    "banner", "combx",  "comment", "contact", "footer",  "footnote", "masthead", "media",   "meta",
    "outbrain", "promo", "related", "scroll",  "share",   "shoutbox", "sidebar",  "skyscraper", "sponsor",
    "shopping", "tool",  "widget",  "social",  "cookie",  "newsletter", "subscribe", "hidden", "caption-share",
};
constexpr std::array kNegativeWords{"ad", "ads", "tags", "foot", "com", "hid", "nav"};
constexpr std::array kPositiveParts{"article", "body", "content", "entry", "hentry", "h-entry", "main", "page",
                                    "pagination-none", "post", "text", "blog", "story", "prose"};

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

template <std::size_t N> bool hasPart(const std::string &names, const std::array<const char *, N> &parts)
{
    for (const char *p : parts)
        if (names.find(p) != std::string::npos)
            return true;
    return false;
}

bool isWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

template <std::size_t N> bool hasWord(const std::string &names, const std::array<const char *, N> &words)
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
            for (const char *w : words)
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
