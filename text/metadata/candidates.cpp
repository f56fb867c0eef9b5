#include "text/metadata/candidates.h"

#include "base/text.h"
#include "text/metadata/normalise.h"
#include "text/readable/url_parser.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace quillan::text::metadata {

namespace {

using Candidate = Candidates::Candidate;
using Shape = std::function<std::optional<std::string>(const std::string &)>;

std::vector<Candidate> byTrust(const std::vector<Candidate> &candidates)
{
    std::vector<Candidate> sorted = candidates;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const Candidate &a, const Candidate &b) { return a.source < b.source; });
    return sorted;
}

// The first value, most trusted first, that `shape` accepts, as it makes it.
std::string firstOfShape(const std::vector<Candidate> &candidates, const Shape &shape)
{
    for (const Candidate &c : byTrust(candidates))
        if (std::optional<std::string> value = shape(c.value))
            return *value;
    return {};
}

std::optional<std::string> anyText(const std::string &value)
{
    return value;
}

// The title without the site's name where the page's <title> adds it
// ("Title - Site", "Site | Title").
std::string withoutSiteName(std::string title, std::string_view site)
{
    if (site.empty())
        return title;
    static constexpr std::string_view Separators[] = {" - ",        " | ",  " \xE2\x80\x93 ", " \xE2\x80\x94 ",
                                                      " \xC2\xB7 ", " :: ", " \xC2\xBB ",     " \xE2\x80\xA2 ",
                                                      " : ",        " / "};
    for (const std::string_view separator : Separators) {
        const std::size_t tail = separator.size() + site.size();
        if (title.size() > tail && sameName(std::string_view(title).substr(title.size() - site.size()), site) &&
            std::string_view(title).substr(title.size() - tail, separator.size()) == separator)
            return title.substr(0, title.size() - tail);
        if (title.size() > tail && sameName(std::string_view(title).substr(0, site.size()), site) &&
            std::string_view(title).substr(site.size(), separator.size()) == separator)
            return title.substr(tail);
    }
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
// the first that the page's <title> holds.
std::string titleOf(const std::vector<Candidate> &candidates)
{
    const std::vector<Candidate> sorted = byTrust(candidates);
    if (sorted.empty())
        return {};
    const auto element =
        std::find_if(sorted.begin(), sorted.end(), [](const Candidate &c) { return c.source == Source::TitleElement; });
    if (element != sorted.end()) {
        const std::string pageTitle = lowerAscii(element->value);
        for (const Candidate &c : sorted)
            if (c.source == sorted.front().source && pageTitle.find(lowerAscii(c.value)) != std::string::npos)
                return c.value;
    }
    return sorted.front().value;
}

// A person's name: never an address, a date or the site's name. Several
// values from one kind of <meta> tag are several authors; a JSON-LD author
// list has been joined already.
std::string authorOf(const std::vector<Candidate> &candidates, std::string_view site)
{
    std::string joined;
    std::optional<Source> from;
    for (const Candidate &c : byTrust(candidates)) {
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

Metadata choose(const Candidates &candidates, std::string_view base)
{
    const Shape date = [](const std::string &value) { return isoDate(value); };
    const Shape address = [base](const std::string &value) -> std::optional<std::string> {
        std::optional<std::string> url = readable::parseUrl(value, base);
        if (!url || !(url->starts_with("http://") || url->starts_with("https://")))
            return std::nullopt;
        return url;
    };
    Metadata m;
    m.site = firstOfShape(candidates.of(Field::Site), anyText);
    m.title = withoutSiteName(titleOf(candidates.of(Field::Title)), m.site);
    m.author = authorOf(candidates.of(Field::Author), m.site);
    m.date = firstOfShape(candidates.of(Field::Date), date);
    m.modified = firstOfShape(candidates.of(Field::Modified), date);
    m.language =
        firstOfShape(candidates.of(Field::Language), [](const std::string &value) { return languageTag(value); });
    m.description = firstOfShape(candidates.of(Field::Description), anyText);
    m.url = firstOfShape(candidates.of(Field::Url), address);
    m.image = firstOfShape(candidates.of(Field::Image), address);
    return m;
}

} // namespace quillan::text::metadata
