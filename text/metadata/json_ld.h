#pragma once
// schema.org data (JSON-LD) read into the page's metadata candidates.
// Plain C++.
//
// Every block is searched for creative works (Article, NewsArticle,
// BlogPosting and the other articles; WebPage and its kinds; the other
// CreativeWork types), at its top, in a top-level array, or in "@graph".
// Articles are trusted before other works, other works before web pages; a
// WebSite's name gives the site. A value given as {"@id": ...} is looked up
// among the blocks' nodes.

#include "text/metadata/candidates.h"
#include "text/metadata/json.h"

#include <vector>

namespace quillan::text::metadata {

void readJsonLd(const std::vector<json::Value> &blocks, Candidates &out);

} // namespace quillan::text::metadata
