#pragma once
// The values a page offers for each field of its metadata, each with where
// it was found, and the choice among them: the most trusted source that
// gives a value of the right shape. Plain C++.

#include "text/metadata/metadata.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillan::text::metadata {

// Where a value was found, most trusted first.
enum class Source : std::uint8_t {
    JsonLd,       // schema.org data in <script type="application/ld+json">
    OpenGraph,    // og:*, article:*
    Twitter,      // twitter:*
    Meta,         // <meta name=author|description|...>
    DublinCore,   // dc.*, dcterms.*
    Itemprop,     // <meta itemprop=...>
    Link,         // <link rel=canonical>
    Html,         // <html lang>
    HttpEquiv,    // <meta http-equiv=Content-Language>
    TitleElement, // <title>
    Byline,       // the text of the first element marked as the author's (rel, itemprop, class "byline")
    Paragraph     // the first paragraph of the page's article (else of its body), for the description
};

enum class Field : std::uint8_t { Title, Author, Date, Modified, Site, Language, Description, Url, Image };
inline constexpr std::size_t kFieldCount = 9;

class Candidates {
public:
    struct Candidate {
        Source source;
        std::string value;
    };

    // Keeps `value` (its white space collapsed) unless it is empty.
    void add(Field field, Source source, std::string_view value);
    const std::vector<Candidate> &of(Field field) const { return fields_[std::size_t(field)]; }

private:
    std::array<std::vector<Candidate>, kFieldCount> fields_;
};

// The metadata chosen from `candidates`: for each field the first value of
// the right shape, most trusted first (Dublin Core before OpenGraph for the
// title, the author and the description); of several titles from the most
// trusted source, the first the page's <title> holds, never one that is the
// site's name alone, and a title from the <title> without the site's name.
// Relative addresses are resolved against `base`, the page's base address
// (empty: none, and a relative address is left out). `titleFrom`, when
// given, is set to where the title was found (Source::TitleElement also
// when there is none).
Metadata choose(const Candidates &candidates, std::string_view base, Source *titleFrom = nullptr);

// Where a title was found, as a person knows the tag: "og:title",
// "JSON-LD data", "<title>", ...
std::string_view titleSourceName(Source source);

} // namespace quillan::text::metadata
