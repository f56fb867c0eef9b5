#pragma once
// A page's metadata (metadata.h), read from its bytes beside any
// conversion: the page decoded as the readable conversion decodes it and
// read by the HTML tokenizer, switched into the text states a tree builder
// would use, so that a JSON-LD script arrives as its text and nothing inside
// a script, a style sheet or a comment is taken for a tag. Plain C++.
//
// The sources, most trusted first (candidates.h): JSON-LD, OpenGraph,
// Twitter cards, <meta name>, Dublin Core (any case, "dc." or "dc:"; for
// the title, the author and the description next after JSON-LD), <meta
// itemprop>, <link rel=canonical>, <html lang> (else <meta
// http-equiv=Content-Language>), and last the <title> for the title.

#include "text/metadata/candidates.h"
#include "text/metadata/metadata.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillan::html {
class TokenSink;
}

namespace quillan::text::metadata {

// Only the start of a page is read. Most of what a page says about itself
// lies in its head, but JSON-LD blocks are often placed at the end of the
// body, after the article; a few MiB hold nearly every page whole, and bound
// the cost of the second reading on pages that are mostly data.
inline constexpr std::size_t kMetadataScanBytes = 4 * 1024 * 1024;

// How far a scan reads: the whole page (within kMetadataScanBytes), or its
// head only, up to the first tag that starts the body: what the page says
// of itself there (its OpenGraph and Twitter titles, its head's JSON-LD),
// at the cost of reading its head.
enum class Reach : std::uint8_t { Page, Head };

// What a scan reads: the page's bytes, decoded and tokenized by the scan
// (feed()); or, for Reach::Head, the tokens of the page's own parse
// (tokens(): html::Parser::watch()), which within the head are the ones the
// scan's own reading gives, as long as the page's bytes so far are well
// within kMetadataScanBytes. The caller then hands over every token from
// the first, until done(), and endOfFile() when the page ends before.
enum class Input : std::uint8_t { Bytes, Tokens };

class MetadataScan {
public:
    // `httpCharset` as for html::Decoder; `address`: the page's own address
    // when it came by one, against which its relative addresses (and its
    // <base href>) are resolved; empty otherwise.
    // Input::Tokens: `httpCharset` is not used; std::invalid_argument with
    // Reach::Page.
    explicit MetadataScan(std::string_view httpCharset = {}, std::string_view address = {}, Reach reach = Reach::Page,
                          Input input = Input::Bytes);
    ~MetadataScan();
    MetadataScan(const MetadataScan &) = delete;
    MetadataScan &operator=(const MetadataScan &) = delete;

    // Input::Bytes; does nothing with Input::Tokens.
    void feed(std::string_view bytes);
    // Input::Tokens only: where the tokens go. It switches no tokenizer.
    html::TokenSink &tokens();
    // Whether more bytes (or tokens) would change nothing.
    bool done() const;
    // What the page says about itself. Call once.
    Metadata finish();
    // After finish(): where its title was found; Source::TitleElement when
    // it is the page's <title>, or when the page has none.
    Source titleSource() const;
    // The WHATWG name of the encoding the page is decoded with; empty while
    // it is not decided (always decided after finish()). Input::Tokens: empty
    // (the caller decodes).
    std::string_view encodingName() const;

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// The metadata of the page held in `page`.
Metadata pageMetadata(std::string_view page, std::string_view httpCharset = {}, std::string_view address = {});

} // namespace quillan::text::metadata
