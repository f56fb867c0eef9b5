#pragma once
// The names of <meta> tags that tell a page's metadata, and the field and
// source each gives: OpenGraph ("og:title", "article:author"), Twitter
// cards, the common <meta name> ("author", "description", "date"), Dublin
// Core ("DC.Creator", "dc:date", "dcterms.created": any case, "." or ":"),
// and schema.org's names in itemprop. Plain C++.

#include "text/metadata/candidates.h"

#include <string_view>

namespace quillan::text::metadata {

struct MetaName {
    std::string_view name;
    Field field;
    Source source;
};

// A word of a <meta name> or <meta property> (lower case); nullptr when it
// tells none of the fields.
const MetaName *metaName(std::string_view word);

// A word of an itemprop (lower case); nullptr when it tells none.
const MetaName *itempropName(std::string_view word);

} // namespace quillan::text::metadata
