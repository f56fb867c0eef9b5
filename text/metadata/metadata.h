#pragma once
// What a page says about itself: its title, author, dates, site, language,
// description, address and picture. Plain C++.

#include <array>
#include <string>
#include <string_view>

namespace quillan::text::metadata {

// Each field is UTF-8 with its white space collapsed; empty: not known.
struct Metadata {
    std::string title;
    std::string author;      // a person's name, or several joined by ", "
    std::string date;        // published: ISO 8601, a date or a date-time with its offset
    std::string modified;    // last changed, as date
    std::string site;        // the site's or publisher's name
    std::string language;    // a BCP 47 tag
    std::string description; // the page's own summary
    std::string url;         // the page's own (canonical) address, absolute
    std::string image;       // the page's picture, absolute

    bool operator==(const Metadata &) const = default;
};

// The fields by name, in the order they are written.
struct NamedField {
    std::string_view name;
    std::string Metadata::*member;
};
inline constexpr std::array<NamedField, 9> kFields{{
    {"title", &Metadata::title},
    {"author", &Metadata::author},
    {"date", &Metadata::date},
    {"modified", &Metadata::modified},
    {"site", &Metadata::site},
    {"language", &Metadata::language},
    {"description", &Metadata::description},
    {"url", &Metadata::url},
    {"image", &Metadata::image},
}};

} // namespace quillan::text::metadata
