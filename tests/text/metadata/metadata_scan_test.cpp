// What a page says about itself: each source, the order in which they are
// trusted, and what is never taken for a field.
#include "text/metadata/metadata_scan.h"

#include "html/tree/parser.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using namespace quillan::text::metadata;

TEST(MetadataScan, JsonLdArticleInGraphsArraysAndReferences)
{
    const Metadata m = pageMetadata(
        R"(<script type="application/ld+json">{"@context":"https://schema.org","@graph":[
             {"@type":"WebSite","name":"Site Name"},
             {"@type":"WebPage","name":"Page name","description":"page"},
             {"@type":["NewsArticle"],"headline":"Head line","author":[{"@id":"#a"},{"name":"Bob"},"Carol"],
              "publisher":{"@type":"Organization","name":"Pub"},"datePublished":"2020-01-02T03:04:05Z",
              "dateModified":"2020-01-03","description":"About it","inLanguage":"de_DE",
              "image":[{"@type":"ImageObject","url":"/i.png"}],"mainEntityOfPage":{"@id":"https://ex.org/a"}},
             {"@type":"Person","@id":"#a","name":"Alice"}]}</script>
           <script type="application/ld+json">[{"@type":"BlogPosting","headline":"Second"}]</script>
           <meta property="og:title" content="OG title"><title>T</title>)",
        {}, "https://ex.org/dir/page");
    EXPECT_EQ(m.title, "Head line");
    EXPECT_EQ(m.author, "Alice, Bob, Carol");
    EXPECT_EQ(m.site, "Pub");
    EXPECT_EQ(m.date, "2020-01-02T03:04:05Z");
    EXPECT_EQ(m.modified, "2020-01-03");
    EXPECT_EQ(m.description, "About it");
    EXPECT_EQ(m.language, "de-DE");
    EXPECT_EQ(m.image, "https://ex.org/i.png");
    EXPECT_EQ(m.url, "https://ex.org/a");

    // A WebPage alone still speaks, a WebSite gives the site, and a block
    // that is not JSON (or is wrapped for old browsers) costs nothing else.
    const Metadata page = pageMetadata(
        R"(<script type="application/ld+json">{"@type":"WebPage","name":"Just a page",}</script>
           <script type="Application/LD+JSON"> //<![CDATA[
             {"@type":"http://schema.org/WebPage","name":"Page","author":"Dee"} //]]> </script>
           <script type="application/ld+json"><!-- {"@type":"WebSite","name":"Sitename"} --></script>)");
    EXPECT_EQ(page.title, "Page");
    EXPECT_EQ(page.author, "Dee");
    EXPECT_EQ(page.site, "Sitename");

    // Of a headline and a name, the one the page's <title> holds.
    const std::string both = R"(<script type="application/ld+json">{"@type":"Article",
        "headline":"A summary, not a title","name":"The Title"}</script>)";
    EXPECT_EQ(pageMetadata(both + "<title>The Title - Site</title>").title, "The Title");
    EXPECT_EQ(pageMetadata(both + "<title>Other</title>").title, "A summary, not a title");
}

TEST(MetadataScan, SourcesInTheirOrderOfTrust)
{
    std::string page = R"(<html lang="fr"><head><title>From title</title>
        <meta http-equiv="Content-Language" content="it">
        <meta itemprop="headline datePublished" content="From itemprop">
        <meta name="DC.Title" content="From dc"><meta name="dcterms.created" content="2001-02-03">
        <meta name="title" content="From meta"><meta name="date" content="2002-03-04">
        <meta name="twitter:title" content="From twitter">
        <meta property="og:title og:description" content="From og">
        <meta property="article:published_time" content="2003-04-05">
        <meta property="og:locale" content="en_GB">)";
    const std::string jsonLd =
        R"(<script type="application/ld+json">{"@type":"Article","headline":"From JSON-LD"}</script>)";
    const char *titles[] = {"From JSON-LD", "From dc", "From og", "From twitter", "From meta", "From itemprop"};
    page.insert(page.find("<title>"), jsonLd);
    for (const char *expected : titles) {
        const Metadata m = pageMetadata(page);
        EXPECT_EQ(m.title, expected);
        // Cut the most trusted source away.
        const std::size_t at = page.find(
            std::string(expected) == "From JSON-LD" ? std::string("<script") : std::string("content=\"") + expected);
        ASSERT_NE(at, std::string::npos) << expected;
        const std::size_t tagStart = page.rfind('<', at), tagEnd = page.find('>', at);
        page.erase(tagStart, tagEnd - tagStart + 1 + (std::string(expected) == "From JSON-LD" ? 9 : 0));
    }
    const Metadata last = pageMetadata(page);
    EXPECT_EQ(last.title, "From title");
    EXPECT_EQ(pageMetadata("<html lang=fr><meta property=og:locale content=en_GB>").language, "en-GB");
    EXPECT_EQ(pageMetadata("<html lang=fr><meta http-equiv=content-language content=it>").language, "fr");
    EXPECT_EQ(pageMetadata("<html><meta http-equiv=content-language content=it>").language, "it");
    EXPECT_EQ(pageMetadata("<meta property=article:published_time content=2003-04-05>"
                           "<meta name=date content=2002-03-04>")
                  .date,
              "2003-04-05");
    EXPECT_EQ(pageMetadata("<meta name=date content=2002-03-04><meta name=DC.date content=2001-02-03>").date,
              "2002-03-04");
    EXPECT_EQ(pageMetadata("<meta name=DC:Creator content=Ann><meta itemprop=author content=Ben>").author, "Ann");
    // Dublin Core catalogues the document: its title, creator and
    // description before a share card's; the site's name as the card gives
    // it.
    const Metadata catalogued =
        pageMetadata("<meta property=og:title content=Card><meta name=dc.title content=Catalogued>"
                     "<meta property=og:description content=Teaser><meta name=dcterms.abstract content=Abstract>"
                     "<meta name=author content=Desk><meta name=dc.creator content=Ann>"
                     "<meta property=og:site_name content='Le Site'><meta name=dc.publisher content='Le Site Ltd'>");
    EXPECT_EQ(catalogued.title, "Catalogued");
    EXPECT_EQ(catalogued.description, "Abstract");
    EXPECT_EQ(catalogued.author, "Ann");
    EXPECT_EQ(catalogued.site, "Le Site");
}

TEST(MetadataScan, TitleElementWithoutItsSiteName)
{
    // The site's name comes off the <title>, not off a title the page chose
    // for its share card.
    const std::string site = "<meta property=og:site_name content='The Daily'>";
    EXPECT_EQ(pageMetadata(site + "<title>Story | The Daily</title>").title, "Story");
    EXPECT_EQ(pageMetadata(site + "<title>The Daily - Story</title>").title, "Story");
    EXPECT_EQ(pageMetadata(site + "<meta property=og:title content='Story | The Daily'>").title, "Story | The Daily");
    // An unknown site's name: the last part after a pipe, where a title of
    // three words or more, longer than that part, is left.
    EXPECT_EQ(pageMetadata("<title>Get your code covered | Code | Ann Example</title>").title,
              "Get your code covered | Code");
    EXPECT_EQ(pageMetadata("<title>Night trains | Rail</title>").title, "Night trains | Rail");
    EXPECT_EQ(pageMetadata("<title>Rail | News | Night trains</title>").title, "Rail | News | Night trains");
    EXPECT_EQ(pageMetadata("<title>One two three | Four five six seven</title>").title,
              "One two three | Four five six seven");
    EXPECT_EQ(pageMetadata("<title>Night trains - return to the north</title>").title,
              "Night trains - return to the north");
}

TEST(MetadataScan, NeverTheSiteNameAloneForTheTitle)
{
    // A share card or JSON-LD title that is the site's name alone (in any
    // case and spacing) names no page: the next source, else the <title>
    // without the site's name; the scan tells where the title came from.
    const std::string site = "<meta property=og:site_name content='Coastal News'>";
    const std::string page = "<title>Ferry timetable changes | Coastal News</title>";
    const auto scanned = [](const std::string &bytes) {
        quillan::text::metadata::MetadataScan scan;
        scan.feed(bytes);
        const std::string title = scan.finish().title;
        return std::pair{title, scan.titleSource()};
    };
    using quillan::text::metadata::Source;
    EXPECT_EQ(scanned(site + "<meta property=og:title content='coastal  NEWS'>" + page),
              std::pair(std::string("Ferry timetable changes"), Source::TitleElement));
    EXPECT_EQ(scanned(site +
                      "<meta property=og:title content='Coastal News'>"
                      "<meta name=twitter:title content='Ferries run later'>" +
                      page),
              std::pair(std::string("Ferries run later"), Source::Twitter));
    EXPECT_EQ(scanned(site +
                      R"(<script type="application/ld+json">{"@type":"NewsArticle","headline":"Coastal News"}</script>)"
                      "<meta property=og:title content='Ferries run later'>" +
                      page),
              std::pair(std::string("Ferries run later"), Source::OpenGraph));
    // A title that holds more than the site's name is the page's.
    EXPECT_EQ(scanned(site + "<meta property=og:title content='Coastal News: ferries run later'>" + page),
              std::pair(std::string("Coastal News: ferries run later"), Source::OpenGraph));
    // Where the site's name is not known, nothing is taken for it.
    EXPECT_EQ(scanned("<meta property=og:title content='Coastal News'>" + page).first, "Coastal News");
    EXPECT_EQ(scanned("<p>No title at all</p>").second, Source::TitleElement);
    EXPECT_EQ(quillan::text::metadata::titleSourceName(Source::OpenGraph), "og:title");
}

TEST(MetadataScan, WhatIsNeverTakenForAField)
{
    // An author that is an address, a date or the site is passed over.
    Metadata m = pageMetadata(R"(<meta property="og:site_name" content="The Daily">
        <meta property="article:author" content="https://facebook.com/jane">
        <title>Story | The Daily</title>
        <meta name="author" content="The Daily"><meta name="dc.creator" content="2015-01-01">
        <meta itemprop="author" content="Jane  Doe">)");
    EXPECT_EQ(m.author, "Jane Doe");
    EXPECT_EQ(m.title, "Story");
    // Several <meta name=author> are several authors.
    EXPECT_EQ(pageMetadata("<meta name=author content=Ann><meta name=author content=Ben>").author, "Ann, Ben");
    // A date that cannot be read gives way to the next source, or to none.
    EXPECT_EQ(
        pageMetadata("<meta property=article:published_time content=soon><meta name=date content=2010-05-06>").date,
        "2010-05-06");
    EXPECT_EQ(pageMetadata("<meta name=date content=05/06/2010>").date, "");
    // Tags inside scripts, comments, style sheets and drawings are no tags.
    m = pageMetadata("<script>document.write('<meta name=author content=Script>')</script>"
                     "<!-- <meta name=author content=Comment> --><style><title>Style</title></style>"
                     "<svg><title>Drawing</title></svg><title>Real</title>");
    EXPECT_EQ(m.author, "");
    EXPECT_EQ(m.title, "Real");
    // Relative addresses need a base: <base href> against the page's address.
    EXPECT_EQ(pageMetadata("<link rel=canonical href=/a><meta property=og:image content=b.png>").url, "");
    m = pageMetadata("<base href=/sub/><link rel=canonical href=a><meta property=og:image content='b c.png'>", {},
                     "http://ex.org/x/y");
    EXPECT_EQ(m.url, "http://ex.org/sub/a");
    EXPECT_EQ(m.image, "http://ex.org/sub/b%20c.png");
}

TEST(MetadataScan, ParagraphAndBylineStandInLast)
{
    const Metadata m = pageMetadata("<nav><p>Menu</p></nav><p>Intro</p><article><div class=byline>By <a>Ann</a> "
                                    "\xE2\x80\x94</div><p>First   of the article</p><p>Second</p></article>");
    EXPECT_EQ(m.description, "First of the article");
    EXPECT_EQ(m.author, "By Ann");
    const Metadata described = pageMetadata("<meta name=description content=Own><p>Intro</p>");
    EXPECT_EQ(described.description, "Own");
    EXPECT_EQ(pageMetadata("<p>Only <b>body</b> text<div>not</div>").description, "Only body text");
    // What no reader sees is not read: scripts, hidden elements.
    EXPECT_EQ(pageMetadata("<div style='visibility: hidden'><p>Hidden</p><div><p>Deeper</p></div></div>"
                           "<p hidden>Also</p><p>Shown<script>var p = '<p>';</script> text</p>")
                  .description,
              "Shown text");
    EXPECT_EQ(pageMetadata("<template><span rel=author>Nobody</span></template><a rel=author>Ann</a>").author, "Ann");
}

TEST(MetadataScan, BylinesAsAReaderFindsThem)
{
    const auto author = [](const std::string &body) { return pageMetadata(body).author; };
    // Classes and ids that name a byline; the outer of two is the byline.
    EXPECT_EQ(author("<div class=FeatureByline>By <b>Nat Example</b></div>"), "By Nat Example");
    EXPECT_EQ(author("<div class='post-author x'>By <a rel=author href=/ann>Ann Lee</a></div>"), "By Ann Lee");
    EXPECT_EQ(author("<div id=authorization>Sign in</div><span class=writer>Ann Lee</span>"), "Ann Lee");
    EXPECT_EQ(author("<body class=author-admin><p class=byline>By Ann<p>The story begins here."), "By Ann");
    // Not a reader's comment, an author to follow, nor a biography.
    EXPECT_EQ(author("<ol class=comment-list><li><div class=byline>Some Reader</div></li></ol>"
                     "<div class=author>Ann Lee</div>"),
              "Ann Lee");
    EXPECT_EQ(author("<li class=author-follow>Kay Other Her latest posts</li><span class=byline>By Ann</span>"),
              "By Ann");
    EXPECT_EQ(author("<div class=author-box>" + std::string(30, 'x') + " writes on rail, " + std::string(80, 'y') +
                     " <span class=author-name>Ann Lee</span></div>"),
              "Ann Lee");
    // A name marked inside the byline is the name alone.
    EXPECT_EQ(author("<p class=byline itemprop=author><a rel=author href=/d><span itemprop=name>Dan Example</span>"
                     "</a> - <time>Apr 16, 2015 8:02 pm UTC</time></p>"),
              "Dan Example");
}

TEST(MetadataScan, ArticleParagraphFromADivsOwnText)
{
    const std::string text = "Lorem ipsum dolor sit amet, consectetur adipisicing elit, sed do eiusmod tempor "
                             "incididunt ut labore.";
    EXPECT_EQ(
        pageMetadata("<article><h1>Head</h1><div>\n  " + text + "\n</div><div>Second</div></article>").description,
        text);
    // Too short to be a paragraph; outside an article, a <div> is not one.
    EXPECT_EQ(pageMetadata("<article><div>3 min read</div><p>First</p></article>").description, "First");
    EXPECT_EQ(pageMetadata("<div>" + text + "</div><p>First</p>").description, "First");
}

TEST(MetadataScan, FedInPiecesOrInALegacyEncoding)
{
    const std::string page = "<meta charset=windows-1252><title>Caf\xE9</title><meta name=author content='Jos\xE9'>";
    MetadataScan scan;
    for (const char c : page)
        scan.feed(std::string_view(&c, 1));
    const Metadata m = scan.finish();
    EXPECT_EQ(m.title, "Caf\u00e9");
    EXPECT_EQ(m.author, "Jos\u00e9");
    EXPECT_EQ(scan.encodingName(), "windows-1252");
    EXPECT_EQ(pageMetadata(page), m);
    // Past the bound, nothing more is read.
    const std::string late = std::string(kMetadataScanBytes, ' ') + "<meta name=author content=Late>";
    EXPECT_EQ(pageMetadata(late).author, "");
}

TEST(MetadataScan, TheHeadAloneWhenItsReachIsTheHead)
{
    // Read to the head's end: its JSON-LD and share cards count, and the
    // scan ends at the body's first tag, whether <body> is written or not;
    // what the body says is not read.
    const std::string head =
        "<html><head><title>Teaser</title>"
        R"(<script type="application/ld+json">{"@type":"NewsArticle","headline":"Ferries"}</script>)"
        "<meta property=og:title content='Boats'>";
    const std::string body = R"(<script type="application/ld+json">{"@type":"NewsArticle","author":"Ann"}</script>)"
                             "<p class=byline>By Bob Marsh</p><p>Text</p>";
    for (const std::string &opening : {std::string("</head><body>"), std::string("<div>")}) {
        MetadataScan scan({}, {}, Reach::Head);
        scan.feed(head + opening + body);
        const Metadata m = scan.finish();
        EXPECT_EQ(m.title, "Ferries");
        EXPECT_EQ(scan.titleSource(), Source::JsonLd);
        EXPECT_TRUE(m.author.empty()) << m.author;
    }
    MetadataScan whole;
    whole.feed(head + "</head><body>" + body);
    EXPECT_EQ(whole.finish().author, "Ann");
}

TEST(MetadataScan, TheHeadReadFromAParsesTokensAsFromItsBytes)
{
    const std::string body = "<body><p class=byline>By Bob Marsh</p><meta property=og:title content='Late'>";
    const std::string heads[] = {
        R"(<title>T</title><script type="application/ld+json">{"@type":"NewsArticle","headline":"Ferries"}</script>)"
        "<meta property=og:title content='Boats'>",
        // In a noscript, past text the tree builder puts in the body, past
        // a <title> holding markup as its text.
        "<title>T</title><noscript><meta property=og:title content='Hidden boats'></noscript>",
        "<title>T</title>Some text<meta name=twitter:title content='Text first'>",
        "<title>A <meta property=og:title content='No tag'></title><style><meta name=title content=X></style>"
        "<meta name=dc.title content='Dublin'>",
        "<title>Only the title</title>",
    };
    for (const std::string &head : heads) {
        // And a page that ends inside its head.
        for (const std::string &page : {head + body, head}) {
            SCOPED_TRACE(page);
            MetadataScan bytes({}, {}, Reach::Head);
            bytes.feed(page);
            const Metadata fromBytes = bytes.finish();

            MetadataScan tokens({}, {}, Reach::Head, Input::Tokens);
            quillan::html::Parser parser;
            parser.watch(&tokens.tokens(), [&tokens] { return tokens.done(); });
            parser.feed(page);
            EXPECT_EQ(tokens.done(), page.size() > head.size());
            parser.finish();
            const Metadata fromTokens = tokens.finish();
            EXPECT_EQ(fromTokens.title, fromBytes.title);
            EXPECT_EQ(tokens.titleSource(), bytes.titleSource());
            EXPECT_EQ(fromTokens.author, fromBytes.author);
            EXPECT_TRUE(tokens.encodingName().empty());
        }
    }
    EXPECT_THROW(MetadataScan({}, {}, Reach::Page, Input::Tokens), std::invalid_argument);
}

} // namespace
