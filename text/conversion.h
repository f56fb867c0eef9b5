#pragma once
// The kinds of text behind one interface.
//
// Contract:
// - makeConverter() gives the converter of a kind: the tag-stripped text
//   (text/strip/tag_stripper.h), the readable text a browser shows
//   (text/readable/text_renderer.h) or the article only
//   (text/article/article_input.h). Its text goes to the sink as it is
//   made; it does not depend on where the pieces fed to it end.
// - feed() takes the page's bytes in pieces of any size; finish() is
//   called once, after the last piece, and hands back what the conversion
//   learnt on the way (Result). Nothing is fed after finish().
// - The readable kinds decode the page (byte-order mark, the HTTP charset,
//   the page's <meta>, else UTF-8 or windows-1252) and write UTF-8 with LF
//   line ends. The stripped text keeps the page's bytes and CR LF line
//   ends; it decodes nothing, unless the title is asked for.
// - The title and the metadata, when asked for, are read beside the
//   conversion from the same bytes, by readers of their own; an Envelope
//   other than Text hands the text on with the metadata around it, once the
//   page has ended. Without them the text is the same, byte for byte. The
//   article reads the head's metadata whether it is asked for or not (from
//   the tokens its tree is built from, as a reader of its own would read
//   it): the title the page gives itself there (og:title, ...) goes over to
//   the article, which decides its first line with it; the metadata's title
//   is then that line.
// - Syntax: how the text is written. Plain text is the only syntax so far;
//   others are printers beside the kinds, chosen here.
// - Failures: what the sink throws passes through; a readable kind throws
//   std::system_error when the links' list cannot be kept aside, and
//   std::length_error for a page too large for the article's tree.

#include "text/article/article_extractor.h"
#include "text/metadata/metadata.h"
#include "text/readable/text_renderer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillan::text {

enum class Kind : std::uint8_t {
    Stripped, // the page with its tags stripped
    Readable, // the text a reader sees
    Article,  // the page's main content only, as Readable writes it
};

// "stripped text", "readable text", "article text".
std::string_view kindName(Kind kind);

enum class Syntax : std::uint8_t {
    Plain,
    Markdown, // the readable kinds only: CommonMark with GitHub's strikethrough
};

// Markdown: images written as images, or left out.
using readable::Images;

// Kind::Article: which way the choice leans, and whether readers' comments
// are kept (text/article/article_extractor.h).
using article::Bias;
using article::Comments;

// Kind::Article: whether the choice keeps an account of the rules that
// decided it (Result::article's account); keeping one costs a reading of
// the page's tokens more.
using article::Account;

// Whether the page's title (text/page_title.h) is looked for while it is
// converted. Looking costs a second reading of the page's first MiB.
enum class TitleSearch : std::uint8_t { Skip, Find };

// Whether the page's metadata (text/metadata/metadata_scan.h) is looked
// for while it is converted. Looking costs a second reading of the page's
// first few MiB.
enum class MetadataSearch : std::uint8_t { Skip, Find };

// What the sink receives: the text alone, or the text with the page's
// metadata around it (text/metadata/). Anything but Text looks for the
// metadata, and holds the whole text back until the page has ended, for
// the metadata comes first or the text goes inside.
enum class Envelope : std::uint8_t {
    Text,        // the text alone, as it is made
    FrontMatter, // YAML front matter, then the text
    Json,        // one JSON object, a field to a line: the metadata, the text, its source
    JsonLine,    // the same object on one line (JSON Lines)
};

struct Options {
    Kind kind = Kind::Stripped;
    Syntax syntax = Syntax::Plain;
    Images images = Images::Keep; // Syntax::Markdown only
    TitleSearch title = TitleSearch::Skip;
    MetadataSearch metadata = MetadataSearch::Skip;
    Envelope envelope = Envelope::Text;
    Bias bias = Bias::Balanced;         // Kind::Article only
    Comments comments = Comments::Drop; // Kind::Article only
    // Envelope::Json, JsonLine: where the page came from, as the object's
    // "source" names it (a file's name, "-" for standard input, an address).
    std::string source;
    // The charset parameter of the page's HTTP Content-Type, when it came by
    // address with one; empty otherwise.
    std::string httpCharset;
    // The page's address when it came by one, against which relative link
    // addresses (the readable kinds) and the metadata's addresses are made
    // absolute; empty otherwise.
    std::string address;
    // The readable kinds: number the links and list their addresses after
    // the text.
    bool links = false;
    // The readable kinds: break lines longer than this many characters at
    // spaces; 0: never.
    std::size_t width = 0;
    Account account = Account::Skip; // Kind::Article only
};

// What a conversion learnt about its page.
struct Result {
    // The WHATWG name of the encoding the page was decoded with; empty when
    // it was not decoded (the stripped text without its title).
    std::string pageEncoding;
    // The encoding the text is written in: UTF-8 for the readable kinds, the
    // page's own for the stripped text; empty when not known.
    std::string textEncoding;
    // The page's title, with TitleSearch::Find; empty when it has none.
    std::string title;
    // With MetadataSearch::Find (or an Envelope other than Text): what the
    // page says about itself; Kind::Article: with the article's title.
    metadata::Metadata metadata;
    // Kind::Article: what the extractor chose.
    std::optional<article::ArticleChoice> article;
};

using Sink = readable::TextSink;

class Converter {
public:
    virtual ~Converter() = default;
    virtual void feed(std::string_view bytes) = 0;
    virtual Result finish() = 0;
};

// `out` must outlive the converter. `sizeHint`: the page's size in bytes
// when known (0: not known), for the article's storage. The stripped text
// has no syntax but Plain (std::invalid_argument).
std::unique_ptr<Converter> makeConverter(const Options &options, Sink &out, std::size_t sizeHint = 0);

} // namespace quillan::text
