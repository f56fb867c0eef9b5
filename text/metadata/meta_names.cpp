#include "text/metadata/meta_names.h"

#include <array>
#include <string>

namespace quillan::text::metadata {

namespace {

// <meta name=...> and <meta property=...>, lower case, "dc:" read as "dc.".
constexpr std::array<MetaName, 58> MetaKeys{{
    {"og:title", Field::Title, Source::OpenGraph},
    {"og:site_name", Field::Site, Source::OpenGraph},
    {"og:description", Field::Description, Source::OpenGraph},
    {"og:url", Field::Url, Source::OpenGraph},
    {"og:image", Field::Image, Source::OpenGraph},
    {"og:image:url", Field::Image, Source::OpenGraph},
    {"og:image:secure_url", Field::Image, Source::OpenGraph},
    {"og:locale", Field::Language, Source::OpenGraph},
    {"og:updated_time", Field::Modified, Source::OpenGraph},
    {"article:published_time", Field::Date, Source::OpenGraph},
    {"article:modified_time", Field::Modified, Source::OpenGraph},
    {"article:author", Field::Author, Source::OpenGraph},
    {"twitter:title", Field::Title, Source::Twitter},
    {"twitter:description", Field::Description, Source::Twitter},
    {"twitter:image", Field::Image, Source::Twitter},
    {"twitter:image:src", Field::Image, Source::Twitter},
    {"twitter:url", Field::Url, Source::Twitter},
    {"title", Field::Title, Source::Meta},
    {"author", Field::Author, Source::Meta},
    {"byl", Field::Author, Source::Meta},
    {"sailthru.author", Field::Author, Source::Meta},
    {"parsely-author", Field::Author, Source::Meta},
    {"description", Field::Description, Source::Meta},
    {"application-name", Field::Site, Source::Meta},
    {"date", Field::Date, Source::Meta},
    {"pubdate", Field::Date, Source::Meta},
    {"publishdate", Field::Date, Source::Meta},
    {"publish-date", Field::Date, Source::Meta},
    {"publish_date", Field::Date, Source::Meta},
    {"publication_date", Field::Date, Source::Meta},
    {"article.published", Field::Date, Source::Meta},
    {"sailthru.date", Field::Date, Source::Meta},
    {"parsely-pub-date", Field::Date, Source::Meta},
    {"last-modified", Field::Modified, Source::Meta},
    {"article.updated", Field::Modified, Source::Meta},
    {"language", Field::Language, Source::Meta},
    {"dc.title", Field::Title, Source::DublinCore},
    {"dc.creator", Field::Author, Source::DublinCore},
    {"dc.date", Field::Date, Source::DublinCore},
    {"dc.date.issued", Field::Date, Source::DublinCore},
    {"dc.date.created", Field::Date, Source::DublinCore},
    {"dc.date.modified", Field::Modified, Source::DublinCore},
    {"dc.description", Field::Description, Source::DublinCore},
    {"dc.language", Field::Language, Source::DublinCore},
    {"dc.publisher", Field::Site, Source::DublinCore},
    {"dc.identifier", Field::Url, Source::DublinCore},
    {"dcterms.title", Field::Title, Source::DublinCore},
    {"dcterms.creator", Field::Author, Source::DublinCore},
    {"dcterms.date", Field::Date, Source::DublinCore},
    {"dcterms.issued", Field::Date, Source::DublinCore},
    {"dcterms.created", Field::Date, Source::DublinCore},
    {"dcterms.available", Field::Date, Source::DublinCore},
    {"dcterms.modified", Field::Modified, Source::DublinCore},
    {"dcterms.description", Field::Description, Source::DublinCore},
    {"dcterms.abstract", Field::Description, Source::DublinCore},
    {"dcterms.language", Field::Language, Source::DublinCore},
    {"dcterms.publisher", Field::Site, Source::DublinCore},
    {"dcterms.identifier", Field::Url, Source::DublinCore},
}};

// <meta itemprop=...> and <link itemprop=...>: schema.org's names, lower case.
constexpr std::array<MetaName, 9> ItempropKeys{{
    {"headline", Field::Title, Source::Itemprop},
    {"author", Field::Author, Source::Itemprop},
    {"datepublished", Field::Date, Source::Itemprop},
    {"datecreated", Field::Date, Source::Itemprop},
    {"datemodified", Field::Modified, Source::Itemprop},
    {"description", Field::Description, Source::Itemprop},
    {"inlanguage", Field::Language, Source::Itemprop},
    {"image", Field::Image, Source::Itemprop},
    {"url", Field::Url, Source::Itemprop},
}};

// "dc:creator", "DC.Creator", "dcterms:created" as the table writes them.
std::string keyOf(std::string_view word)
{
    for (const std::string_view prefix : {"dcterms:", "dcterm:", "dcterm.", "dc:"}) {
        if (word.starts_with(prefix))
            return std::string(prefix.starts_with("dcterm") ? "dcterms." : "dc.") +
                   std::string(word.substr(prefix.size()));
    }
    return std::string(word);
}

template <std::size_t N>
const MetaName *lookUp(const std::array<MetaName, N> &keys, std::string_view name)
{
    for (const MetaName &key : keys)
        if (key.name == name)
            return &key;
    return nullptr;
}

} // namespace

const MetaName *metaName(std::string_view word)
{
    return lookUp(MetaKeys, keyOf(word));
}

const MetaName *itempropName(std::string_view word)
{
    return lookUp(ItempropKeys, word);
}

} // namespace quillan::text::metadata
