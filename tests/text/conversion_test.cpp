// The kinds of text behind one interface: each kind made from its name,
// fed in pieces of any size, handing back what it learnt about the page
// (its encoding, the text's, its title, the article chosen).
#include "support/converted_text.h"
#include "text/conversion.h"
#include "text/page_title.h"
#include "text/strip/tag_stripper.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

namespace {

using quillan::text::Envelope;
using quillan::text::Kind;
using quillan::text::MetadataSearch;
using quillan::text::Options;
using quillan::text::Result;
using quillan::text::TitleSearch;

// `page` fed in pieces of `piece` bytes (0: whole).
testsupport::ConvertedText convert(std::string_view page, const Options &options, std::size_t piece = 0)
{
    return testsupport::convertInPieces(page, options, piece);
}

Options kindOf(Kind kind, TitleSearch title = TitleSearch::Skip)
{
    Options options;
    options.kind = kind;
    options.title = title;
    return options;
}

const std::string Page = "<html><head><meta charset=koi8-r><title>\xf0\xd2\xc9\xd7\xc5\xd4 &amp; co</title></head>\r\n"
                         "<body><nav><a href=/a>Home</a> <a href=/b>News</a></nav>\r\n<article><h1>Headline</h1>\r\n"
                         "<p>\xf0\xd2\xc9\xd7\xc5\xd4, a first paragraph of the story with enough words in it to be "
                         "taken for an article by any reader.</p>\r\n<p>A second paragraph, as long, with more words "
                         "in it than the menu has, and a comma, and another.</p></article></body></html>\r\n";

TEST(TextConversion, EachKindTheSameTextWhereverThePageIsCut)
{
    for (const Kind kind : {Kind::Stripped, Kind::Readable, Kind::Article}) {
        const std::string whole = convert(Page, kindOf(kind, TitleSearch::Find)).text;
        EXPECT_FALSE(whole.empty()) << quillan::text::kindName(kind);
        for (const std::size_t piece : {1u, 7u, 64u})
            EXPECT_EQ(convert(Page, kindOf(kind, TitleSearch::Find), piece).text, whole)
                << quillan::text::kindName(kind) << ", pieces of " << piece;
    }
    // The stripped kind is the tag stripper's text, byte for byte.
    std::string stripped;
    quillan::text::strip::TagStripper stripper([&stripped](std::string_view text) { stripped.append(text); });
    stripper.feed(Page);
    stripper.finish();
    EXPECT_EQ(convert(Page, kindOf(Kind::Stripped)).text, stripped);
    // Looking for the title changes no text.
    EXPECT_EQ(convert(Page, kindOf(Kind::Readable)).text,
              convert(Page, kindOf(Kind::Readable, TitleSearch::Find)).text);
}

TEST(TextConversion, TheResultCarriesEncodingsTitleAndArticle)
{
    const std::string title = "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 & co"; // "Привет & co"
    ASSERT_EQ(quillan::text::pageTitle(Page), title);
    for (const Kind kind : {Kind::Stripped, Kind::Readable, Kind::Article}) {
        SCOPED_TRACE(std::string(quillan::text::kindName(kind)));
        const Result found = convert(Page, kindOf(kind, TitleSearch::Find), 5).result;
        EXPECT_EQ(found.title, title);
        EXPECT_EQ(found.pageEncoding, "KOI8-R");
        // The stripped text keeps the page's bytes; the readable kinds write UTF-8.
        EXPECT_EQ(found.textEncoding, kind == Kind::Stripped ? "KOI8-R" : "UTF-8");
        EXPECT_EQ(found.article.has_value(), kind == Kind::Article);

        const Result skipped = convert(Page, kindOf(kind)).result;
        EXPECT_EQ(skipped.title, "");
        EXPECT_EQ(skipped.textEncoding, kind == Kind::Stripped ? "" : "UTF-8");
    }
    const Result article = convert(Page, kindOf(Kind::Article)).result;
    ASSERT_TRUE(article.article);
    EXPECT_EQ(article.article->title, "Headline");

    // The HTTP charset speaks before the page's <meta>; the title found
    // past the first MiB is none, as the title bar shows.
    Options latin = kindOf(Kind::Readable, TitleSearch::Find);
    latin.httpCharset = "iso-8859-1";
    EXPECT_EQ(convert("<title>Caf\xe9</title>", latin).result.title, "Caf\xc3\xa9");
    EXPECT_EQ(convert("<title>Caf\xe9</title>", latin).result.pageEncoding, "windows-1252");
    const std::string far = std::string(quillan::text::kTitleScanBytes, ' ') + "<title>Too far</title>";
    EXPECT_EQ(convert(far, kindOf(Kind::Stripped, TitleSearch::Find), 4096).result.title, "");
}

} // namespace

namespace {

TEST(TextConversion, MetadataBesideEveryKindAndAroundItsText)
{
    const std::string page = "<meta name=author content='Ann Author'>" + Page;
    for (const Kind kind : {Kind::Stripped, Kind::Readable, Kind::Article}) {
        Options options = kindOf(kind);
        // The article's title is the one it shows first.
        const std::string title =
            kind == Kind::Article ? "Headline" : "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 & co";
        const testsupport::ConvertedText plain = convert(page, options);
        EXPECT_TRUE(plain.result.metadata.author.empty());
        options.metadata = MetadataSearch::Find;
        for (const std::size_t piece : {std::size_t(0), std::size_t(7)}) {
            const testsupport::ConvertedText found = convert(page, options, piece);
            // The text is the same, the result knows more.
            EXPECT_EQ(found.text, plain.text);
            EXPECT_EQ(found.result.metadata.author, "Ann Author");
            EXPECT_EQ(found.result.metadata.title, title);
            EXPECT_EQ(found.result.pageEncoding, "KOI8-R");
        }
        // Front matter first, then the same text; line ends as the text's.
        options.envelope = Envelope::FrontMatter;
        const std::string lineEnd = kind == Kind::Stripped ? "\r\n" : "\n";
        const std::string matter =
            "---" + lineEnd + "title: \"" + title + "\"" + lineEnd + "author: \"Ann Author\"" + lineEnd;
        const std::string framed = convert(page, options, 5).text;
        EXPECT_TRUE(framed.starts_with(matter)) << framed;
        EXPECT_TRUE(framed.ends_with(lineEnd + "---" + lineEnd + plain.text)) << framed;
        options.envelope = Envelope::JsonLine;
        options.source = "in.html";
        const std::string object = convert(page, options).text;
        EXPECT_TRUE(object.starts_with("{\"title\":")) << object;
        EXPECT_TRUE(object.ends_with("\"source\":\"in.html\"}\n")) << object;
    }
}

} // namespace

namespace {

// A story's body, and a title that teases more than it tells.
constexpr std::string_view kStory = "<div class=post><p>A first paragraph of the story with enough words in it to "
                                    "be taken for an article by any reader, and a comma.</p><p>A second paragraph, "
                                    "as long, with more words in it than a menu has, and a comma, and another.</p>";
constexpr std::string_view kTeaser = "<title>You will not believe this | Coastal News</title>";

// The article's title is decided once, with the title the page gives itself
// handed over from its metadata: the first line, the choice's title and the
// metadata's title agree, asked for or not, in every envelope and wherever
// the page is cut.
TEST(TextConversion, TheMetadatasTitleIsTheArticlesFirstLine)
{
    const std::string story(kStory);
    const std::string teaser(kTeaser);
    const std::string site = "<meta property=og:site_name content='Coastal News'>";
    // Each page, and the title it shows first.
    const std::pair<std::string, std::string> pages[] = {
        {teaser + story, "You will not believe this"},
        {teaser + "<meta property=og:title content='Ferries run later in winter'>" + story,
         "Ferries run later in winter"},
        {teaser + "<meta property=og:title content='Ferries run later'>" + story + "<h2>Ferries run later now</h2>",
         "Ferries run later now"},
        {site + "<meta property=og:title content='Coastal News'><title>Ferries run later | Coastal News</title>" +
             story,
         "Ferries run later"},
        {teaser + R"(<script type="application/ld+json">{"@type":"NewsArticle","headline":"Ferries"}</script>)" +
             story + "<h1>Ferries and more ferries</h1>",
         "Ferries and more ferries"},
    };
    for (const auto &[page, title] : pages) {
        SCOPED_TRACE(page.substr(0, 120));
        Options options = kindOf(Kind::Article);
        const testsupport::ConvertedText plain = convert(page, options);
        ASSERT_TRUE(plain.result.article);
        EXPECT_EQ(plain.result.article->title, title);
        EXPECT_EQ(plain.text.substr(0, plain.text.find('\n')), title);
        options.metadata = MetadataSearch::Find;
        for (const std::size_t piece : {std::size_t(0), std::size_t(3)}) {
            const testsupport::ConvertedText found = convert(page, options, piece);
            EXPECT_EQ(found.text, plain.text);
            EXPECT_EQ(found.result.metadata.title, title);
        }
        options.envelope = Envelope::JsonLine;
        const std::string object = convert(page, options).text;
        EXPECT_TRUE(object.starts_with("{\"title\":\"" + title + "\"")) << object;
    }
}

TEST(TextConversion, TheArticlesOwnTitleWhereverItsHeadEnds)
{
    const std::string story(kStory);
    const std::string teaser(kTeaser);
    const std::string own = "<meta property=og:title content='Ferries run later in winter'>";
    // A style sheet of `bytes` bytes in the head.
    const auto styles = [](std::size_t bytes) {
        std::string sheet = "<style>";
        while (sheet.size() < bytes)
            sheet += ".a{color:red}\n";
        return sheet + "</style>";
    };
    // Each page, and the title it shows first: the page's own title is read
    // however long its head is, within the first few MiB of the page; past
    // them it is not, and the document's title shows.
    const std::pair<std::string, std::string> pages[] = {
        {teaser + own + "<body>" + story, "Ferries run later in winter"},
        {teaser + styles(std::size_t{3} << 19) + own + "<body>" + story, "Ferries run later in winter"},
        {teaser + own + story, "Ferries run later in winter"},
        {teaser + styles(std::size_t{9} << 19) + own + "<body>" + story, "You will not believe this"},
    };
    for (const auto &[page, title] : pages) {
        SCOPED_TRACE(page.size());
        for (const std::size_t piece : {std::size_t(0), std::size_t(5000), std::size_t(70000)}) {
            const testsupport::ConvertedText converted = convert(page, kindOf(Kind::Article), piece);
            ASSERT_TRUE(converted.result.article);
            EXPECT_EQ(converted.result.article->title, title) << "pieces of " << piece;
        }
    }
}

} // namespace
