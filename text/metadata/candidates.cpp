#include "text/metadata/candidates.h"

#include "base/text.h"
#include "text/metadata/normalise.h"
#include "text/readable/url_parser.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <span>

namespace quillan::text::metadata {

namespace {

using Candidate = Candidates::Candidate;
using Shape = std::function<std::optional<std::string>(const std::string &)>;

// How far `source` is trusted for `field`: lower first. Dublin Core is
// written to catalogue the document itself, so its title, creator and
// description come before a share card's; its publisher is often the legal
// name of the company, so the site's name keeps the order of the sources.
int trust(Field field, Source source)
{
    const bool catalogued = field == Field::Title || field == Field::Author || field == Field::Description;
    if (catalogued && source == Source::DublinCore)
        return int(Source::JsonLd) * 2 + 1;
    return int(source) * 2;
}

std::vector<Candidate> byTrust(const Candidates &candidates, Field field)
{
    std::vector<Candidate> sorted = candidates.of(field);
    std::stable_sort(sorted.begin(), sorted.end(), [field](const Candidate &a, const Candidate &b) {
        return trust(field, a.source) < trust(field, b.source);
    });
    return sorted;
}

// The first value, most trusted first, that `shape` accepts, as it makes it.
std::string firstOfShape(const Candidates &candidates, Field field, const Shape &shape)
{
    for (const Candidate &c : byTrust(candidates, field))
        if (std::optional<std::string> value = shape(c.value))
            return *value;
    return {};
}

std::optional<std::string> anyText(const std::string &value)
{
    return value;
}

// A title's parts: "Story | Section | Site" has three.
constexpr std::string_view kPipe = " | ";

// The words of a title, its pipes not counted.
std::size_t wordCount(std::string_view text)
{
    std::size_t words = 0;
    bool inWord = false;
    for (const char c : text) {
        const bool space = c == ' ' || c == '|';
        words += !space && !inWord;
        inWord = !space;
    }
    return words;
}

// The page's <title> without the site's name it adds ("Title - Site",
// "Site | Title"). Where the site's name is not known, the last of the
// parts a pipe divides is taken for it when what is left is a title of at
// least three words, and longer than that part ("Story | Section | Blog
// Name" -> "Story | Section").
std::string withoutSiteName(std::string title, std::string_view site)
{
    static constexpr std::string_view Separators[] = {" - ",        " | ",  " \xE2\x80\x93 ", " \xE2\x80\x94 ",
                                                      " \xC2\xB7 ", " :: ", " \xC2\xBB ",     " \xE2\x80\xA2 ",
                                                      " : ",        " / "};
    for (const std::string_view separator : site.empty() ? std::span<const std::string_view>() : Separators) {
        const std::size_t tail = separator.size() + site.size();
        if (title.size() > tail && sameName(std::string_view(title).substr(title.size() - site.size()), site) &&
            std::string_view(title).substr(title.size() - tail, separator.size()) == separator)
            return title.substr(0, title.size() - tail);
        if (title.size() > tail && sameName(std::string_view(title).substr(0, site.size()), site) &&
            std::string_view(title).substr(site.size(), separator.size()) == separator)
            return title.substr(tail);
    }
    const std::size_t pipe = title.rfind(kPipe);
    if (pipe == std::string::npos)
        return title;
    const std::string_view head = std::string_view(title).substr(0, pipe);
    const std::size_t headWords = wordCount(head);
    if (headWords >= 3 && headWords > wordCount(std::string_view(title).substr(pipe + kPipe.size())))
        return std::string(head);
    return title;
}

std::string lowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char &c : lower)
        c = base::AsciiLower(c);
    return lower;
}

// The title from the most trusted source; where that source gives several,
// the first that the page's <title> holds. A title a share card or the
// page's data gives that is the site's name alone names no page: the next
// source speaks.
Candidate titleOf(const Candidates &candidates, std::string_view site)
{
    std::vector<Candidate> sorted = byTrust(candidates, Field::Title);
    std::erase_if(sorted, [site](const Candidate &c) {
        return c.source != Source::TitleElement && !site.empty() && sameName(c.value, site);
    });
    if (sorted.empty())
        return {Source::TitleElement, {}};
    const auto element =
        std::find_if(sorted.begin(), sorted.end(), [](const Candidate &c) { return c.source == Source::TitleElement; });
    if (element != sorted.end()) {
        const std::string pageTitle = lowerAscii(element->value);
        for (const Candidate &c : sorted)
            if (c.source == sorted.front().source && pageTitle.find(lowerAscii(c.value)) != std::string::npos)
                return c;
    }
    return sorted.front();
}

// A person's name: never an address, a date or the site's name. Several
// values from one kind of <meta> tag are several authors; a JSON-LD author
// list has been joined already.
std::string authorOf(const Candidates &candidates, std::string_view site)
{
    std::string joined;
    std::optional<Source> from;
    for (const Candidate &c : byTrust(candidates, Field::Author)) {
        if (from && (c.source != *from || c.source == Source::JsonLd))
            break;
        if (looksLikeAddress(c.value) || isoDate(c.value) || (!site.empty() && sameName(c.value, site)))
            continue;
        if (joined.find(c.value) != std::string::npos)
            continue;
        from = c.source;
        if (!joined.empty())
            joined += ", ";
        joined += c.value;
    }
    return joined;
}

} // namespace

void Candidates::add(Field field, Source source, std::string_view value)
{
    std::string text = collapseSpace(value);
    if (!text.empty())
        fields_[std::size_t(field)].push_back({source, std::move(text)});
}

std::string_view titleSourceName(Source source)
{
    switch (source) {
    case Source::JsonLd: return "JSON-LD data";
    case Source::OpenGraph: return "og:title";
    case Source::Twitter: return "twitter:title";
    case Source::Meta: return "<meta name=title>";
    case Source::DublinCore: return "Dublin Core title";
    case Source::Itemprop: return "itemprop headline";
    case Source::TitleElement: return "<title>";
    default: return {};
    }
}

Metadata choose(const Candidates &candidates, std::string_view base, Source *titleFrom)
{
    const Shape date = [](const std::string &value) { return isoDate(value); };
    const Shape address = [base](const std::string &value) -> std::optional<std::string> {
        std::optional<std::string> url = readable::parseUrl(value, base);
        if (!url || !(url->starts_with("http://") || url->starts_with("https://")))
            return std::nullopt;
        return url;
    };
    Metadata m;
    m.site = firstOfShape(candidates, Field::Site, anyText);
    // A title from the page's other sources is the page's own choice, its
    // site's name and all.
    const Candidate title = titleOf(candidates, m.site);
    m.title = title.source == Source::TitleElement ? withoutSiteName(title.value, m.site) : title.value;
    if (titleFrom)
        *titleFrom = title.source;
    m.author = authorOf(candidates, m.site);
    m.date = firstOfShape(candidates, Field::Date, date);
    m.modified = firstOfShape(candidates, Field::Modified, date);
    m.language = firstOfShape(candidates, Field::Language, [](const std::string &value) { return languageTag(value); });
    m.description = firstOfShape(candidates, Field::Description, anyText);
    m.url = firstOfShape(candidates, Field::Url, address);
    m.image = firstOfShape(candidates, Field::Image, address);
    return m;
}

} // namespace quillan::text::metadata
