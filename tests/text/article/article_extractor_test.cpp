// "Article only" from bytes to text: boilerplate around an article left out,
// the article kept in order, the title first, a page without an article
// giving its largest content region, never an empty text when the page
// shows text, the readable mode's layout and options inside, and the same
// text wherever the input is cut.
#include "support/converted_text.h"
#include "text/article/name_hints.h"
#include "text/page_title.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using quillan::text::Options;
using quillan::text::article::Decision;
using quillan::text::article::Rule;
using quillan::text::article::Verdict;

std::string article(std::string_view page, std::size_t piece = 0, Options options = {})
{
    options.kind = quillan::text::Kind::Article;
    return testsupport::convertInPieces(page, options, piece).text;
}

bool has(const std::string &text, std::string_view what)
{
    return text.find(what) != std::string::npos;
}

std::string firstLine(const std::string &text)
{
    return text.substr(0, text.find('\n'));
}

// Paragraphs of prose, each with its own marker word.
std::string prose(const std::string &marker, int sentences = 4)
{
    std::string p = "<p>";
    for (int i = 0; i < sentences; ++i)
        p += "The " + marker + " sentence number " + std::to_string(i) +
             " goes on for a while, with commas, clauses and enough words to read as prose. ";
    return p + "</p>";
}

// A news page: the article amid the usual boilerplate.
std::string newsPage()
{
    return "<!DOCTYPE html><html><head><title>Harbour bridge reopens after repairs | The Daily Site</title></head>"
           "<body><header class=\"site-header\"><a href=/>The Daily Site</a>"
           "<nav><ul><li><a href=/world>WorldMenu</a><li><a href=/sport>SportMenu</a><li><a href=/arts>ArtsMenu</a>"
           "</ul></nav></header>"
           "<div class=\"cookie-banner\">We use cookies CookieWord to improve your experience, accept them all.</div>"
           "<ol class=breadcrumb><li><a href=/>Home</a><li><a href=/news>CrumbNews</a></ol>"
           "<div id=main><article class=\"story\"><h1>Harbour bridge reopens after repairs</h1>"
           "<p class=byline>By A. Writer</p>" +
           prose("alpha") + prose("beta") +
           "<div class=\"share-tools\"><a href=/s/fb>ShareFacebook</a> <a href=/s/tw>ShareTwitter</a></div>" +
           prose("gamma") + "<h2>What comes next</h2>" + prose("delta") +
           "<ul><li>A kept list item that belongs to the article text<li>Another kept item of the article</ul>" +
           prose("epsilon") +
           "<div class=related-stories><h3>Related</h3><ul><li><a href=/r1>RelatedOne story title here</a>"
           "<li><a href=/r2>RelatedTwo story title here</a></ul></div>"
           "<div class=newsletter-signup><p>Sign up to our NewsletterWord, every morning, in your inbox, for free."
           "</p><form><input type=email><button>Subscribe</button></form></div>"
           "</article><aside class=sidebar><h3>Most read</h3><ul><li><a href=/m1>SidebarOne headline</a>"
           "<li><a href=/m2>SidebarTwo headline</a></ul></aside></div>"
           "<section class=comments><h3>Comments</h3><p>CommentWord: I think this is great, really, truly, "
           "absolutely great, and I wanted to say so at length.</p></section>"
           "<footer><p>Copyright FooterWord, all rights reserved, terms, privacy, contact us.</p></footer>"
           "</body></html>";
}

TEST(ArticleText, KeepsTheArticleAndDropsWhatSurroundsIt)
{
    const std::string text = article(newsPage());
    // The article, in document order.
    std::size_t at = 0;
    for (const char *marker :
         {"Harbour bridge", "alpha", "beta", "gamma", "What comes next", "delta", "* A kept list item", "epsilon"}) {
        const std::size_t found = text.find(marker, at);
        EXPECT_NE(found, std::string::npos) << marker << "\n" << text;
        at = found == std::string::npos ? at : found;
    }
    // None of the boilerplate.
    for (const char *junk : {"WorldMenu", "CookieWord", "CrumbNews", "ShareFacebook", "RelatedOne", "NewsletterWord",
                             "Subscribe", "SidebarOne", "CommentWord", "FooterWord", "The Daily Site"})
        EXPECT_FALSE(has(text, junk)) << junk << "\n" << text;
    // Laid out as the readable mode lays it out.
    EXPECT_TRUE(has(text, "\n\nWhat comes next\n\n")) << text;
    EXPECT_EQ(text.back(), '\n');
}

TEST(ArticleText, TitleComesFirstOnce)
{
    // The heading that matches the document's title, once, first.
    std::string text = article(newsPage());
    EXPECT_EQ(firstLine(text), "Harbour bridge reopens after repairs") << text;
    EXPECT_EQ(text.find("Harbour bridge", 1), std::string::npos) << text;

    // A date line before the heading stays after it.
    text = article("<title>Storm warning - Weather Site</title><div class=post><p class=date>12 May</p>"
                   "<h1>Storm warning</h1>" +
                   prose("storm") + "</div>");
    EXPECT_EQ(firstLine(text), "Storm warning") << text;
    EXPECT_TRUE(has(text, "12 May")) << text;
    EXPECT_LT(text.find("Storm warning"), text.find("12 May"));

    // No heading: the document's title without the site's name.
    text = article("<title>Ferry timetable changes for winter | Coastal News</title><div>" + prose("ferry") +
                   prose("winter") + "</div>");
    EXPECT_EQ(firstLine(text), "Ferry timetable changes for winter") << text;
    text = article("<title>Coastal News \xE2\x80\x94 Lighthouse keepers meet again</title><div>" + prose("keeper") +
                   "</div>");
    EXPECT_EQ(firstLine(text), "Lighthouse keepers meet again") << text;

    // A site logo in an h1 that matches nothing is not the title.
    text = article("<title>Garden notes for spring</title><h1 class=logo>GardenLogo</h1><h1>Garden notes for spring"
                   "</h1><div>" +
                   prose("garden") + "</div>");
    EXPECT_EQ(firstLine(text), "Garden notes for spring") << text;
    EXPECT_FALSE(has(text, "GardenLogo")) << text;

    // A title longer than is kept ends on a whole character.
    std::string longTitle;
    for (int i = 0; i < 300; ++i)
        longTitle += "\xC3\xA9t\xE2\x82\xAC";
    text = article("<title>" + longTitle + "</title><div>" + prose("euro") + "</div>");
    const std::string first = firstLine(text);
    ASSERT_GT(first.size(), 100u) << text.substr(0, 100);
    EXPECT_EQ(longTitle.compare(0, first.size(), first), 0);
    EXPECT_TRUE(first.back() == 't' || first.back() == '\xA9' || first.back() == '\xAC') << first;
}

TEST(ArticleText, APageWithoutArticleGivesItsLargestContentRegion)
{
    // A shop's listing: short entries only, no paragraph of prose.
    std::string page = "<title>Shop</title><nav><a href=/a>NavA</a> <a href=/b>NavB</a> <a href=/c>NavC</a></nav>"
                       "<div class=grid>";
    for (int i = 0; i < 12; ++i)
        page += "<div class=item><h3>Item " + std::to_string(i) + "</h3><span>Price " + std::to_string(10 + i) +
                "</span><div>Blue cotton</div></div>";
    page += "</div><footer><a href=/t>FooterTerms</a> <a href=/p>FooterPrivacy</a></footer>";
    const std::string text = article(page);
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(has(text, "Item " + std::to_string(i))) << text;
    EXPECT_FALSE(has(text, "NavA")) << text;
    EXPECT_FALSE(has(text, "FooterTerms")) << text;
}

TEST(ArticleText, NeverEmptyWhenThePageShowsText)
{
    EXPECT_TRUE(has(article("Just a few words"), "Just a few words"));
    EXPECT_TRUE(has(article("<span>one</span> <b>two</b>"), "one two"));
    // Even when everything looks like boilerplate.
    EXPECT_TRUE(has(article("<div class=sidebar><a href=/x>Only a link</a></div>"), "Only a link"));
    EXPECT_TRUE(has(article("<nav><ul><li><a href=/>Home</a><li><a href=/b>Blog</a></ul></nav>"), "Home"));
    // NUL characters, which are never shown, are no content to choose.
    EXPECT_TRUE(has(article(std::string("Words first<body><p>\0\0\0\0\0\0\0\0</p>", 32)), "Words first"));
    // Nothing shown, nothing written.
    EXPECT_EQ(article(""), "");
    EXPECT_EQ(article("<script>x()</script><style>p{}</style><p hidden>hidden</p>"), "");
}

TEST(ArticleText, WhatAClosedDetailsFoldsAwayIsNoContent)
{
    // Text, then an unclosed details holding the larger block: the text a
    // reader sees, not an empty page.
    std::string text = article("Words a reader sees<details>" + prose("folded", 8));
    EXPECT_TRUE(has(text, "Words a reader sees")) << text;
    EXPECT_FALSE(has(text, "folded sentence")) << text;
    // Its summary shows, the rest stays folded: the visible story is the article.
    const std::string page = "<title>Harvest</title><div class=story>" + prose("story", 3) +
                             "</div><details><summary>More about the harvest</summary><div class=content>" +
                             prose("folded", 8) + "</div></details>";
    text = article(page);
    EXPECT_TRUE(has(text, "story sentence")) << text;
    EXPECT_FALSE(has(text, "folded")) << text;
    // An open one is content like any other.
    text = article("<title>Harvest</title><p>Short lead.</p><details open><summary>Open</summary>" +
                   prose("unfolded", 8) + "</details>");
    EXPECT_TRUE(has(text, "unfolded sentence")) << text;
    // Content the scoring counts that lays out as nothing (a details folded
    // in MathML's text, where the scoring sees foreign elements only) gives
    // the whole body, not nothing.
    text = article("<div><math><mi><details>" + prose("unseen", 8) +
                   "</details></mi></math></div><footer>Words in the footer</footer>");
    EXPECT_TRUE(has(text, "Words in the footer")) << text;
    EXPECT_FALSE(has(text, "unseen sentence")) << text;
    // When all that shows of it is the heading that became the title, the
    // title alone: the content did show text.
    text = article("<title>Big news</title><div class=story><h1>Big news</h1><div><math><mi><details>" +
                   prose("unseen", 8) + "</details></mi></math></div></div><footer>Words in the footer</footer>");
    EXPECT_TRUE(has(text, "Big news")) << text;
    EXPECT_FALSE(has(text, "Words in the footer")) << text;
}

TEST(ArticleText, HiddenPartsStayHiddenAndOptionsHold)
{
    const std::string page = "<style>.note{display:none}</style><title>Rivers</title><div class=content><h1>Rivers"
                             "</h1><p>Rivers carry water, silt and stories, and <a href=\"/delta\">deltas</a> "
                             "spread where they meet the sea, slowly, over many years of floods.</p>"
                             "<p class=note>HiddenNote text that is never shown to the reader at all.</p>"
                             "<p style=\"display:none\">InlineHidden text that is not shown either.</p>" +
                             prose("river") + "</div><nav><a href=\"/other\">NavLink</a></nav>";
    std::string text = article(page);
    EXPECT_FALSE(has(text, "HiddenNote")) << text;
    EXPECT_FALSE(has(text, "InlineHidden")) << text;

    Options links;
    links.links = true;
    links.address = "https://example.org/a/page.html";
    text = article(page, 0, links);
    EXPECT_TRUE(has(text, "deltas[1]")) << text;
    EXPECT_TRUE(has(text, "References\n\n1. https://example.org/delta\n")) << text;
    EXPECT_FALSE(has(text, "example.org/other")) << text; // the left-out navigation's link is not listed

    Options narrow;
    narrow.width = 30;
    text = article(page, 0, narrow);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        EXPECT_LE(line.size(), 30u) << line;
        start = end == std::string::npos ? text.size() : end + 1;
    }
}

TEST(ArticleText, LayoutTablesAndPagesWithoutMarkup)
{
    // An old page laid out in a table: the article's rows are kept together,
    // the menu column is not.
    std::string page = "<title>Vapour pressure</title><body><table><tr><td><a href=/1>MenuOne</a><br><a href=/2>"
                       "MenuTwo</a><br><a href=/3>MenuThree</a></td><td>" +
                       prose("first") + prose("second") + "</td></tr><tr><td></td><td>" + prose("third") +
                       prose("fourth") + "</td></tr><tr><td></td><td>" + prose("fifth") + "</td></tr></table>";
    std::string text = article(page);
    for (const char *marker : {"first", "second", "third", "fourth", "fifth"})
        EXPECT_TRUE(has(text, marker)) << marker << "\n" << text;
    EXPECT_FALSE(has(text, "MenuOne")) << text;

    // A table of data in the article stays, however little text it holds;
    // so do its header cells and rows, with or without their groups.
    for (const std::string table :
         {"<table><tr><th>Year<th>Sales<tr><td>2022<td>120<tr><td>2023<td>95</table>",
          "<table><thead><tr><th>Year<th>Sales</thead><tbody><tr><td>2022<td>120<tr><td>2023<td>95</tbody></table>"}) {
        text = article("<title>Sales</title><nav><a href=/>Home</a></nav><article>" + prose("lead") + table +
                       prose("after") + "</article>");
        EXPECT_TRUE(has(text, "Year\tSales\n2022\t120\n2023\t95")) << text;
        EXPECT_TRUE(has(text, "after sentence")) << text;
    }

    // Text straight in the body, with no container at all.
    text = article("<title>Notes</title>" + prose("loose") + prose("free"));
    EXPECT_TRUE(has(text, "loose")) << text;
    EXPECT_TRUE(has(text, "free")) << text;
}

TEST(ArticleText, TableCellsAndAnchorsThatAreNotLinks)
{
    const std::string menu = "<td><a href=/1>MenuOne</a><br><a href=/2>MenuTwo</a><br><a href=/3>MenuThree</a></td>";
    // The content cell's text sits in a division of its own: the cell, and
    // with it the other cells of the table, make the article.
    std::string page = "<title>Tides</title><table><tr>" + menu + "<td><h4>Notes</h4><div class=box>" + prose("first") +
                       prose("second") + "</div></td></tr><tr><td></td><td>" + prose("third") + "</td></tr></table>";
    std::string text = article(page);
    for (const char *marker : {"first", "second", "third"})
        EXPECT_TRUE(has(text, marker)) << marker << "\n" << text;
    EXPECT_FALSE(has(text, "MenuOne")) << text;

    // A page built of one-cell tables, one after another.
    page = "<title>Tides</title><table><tr>" + menu + "</tr></table><table><tr><td><blockquote>" + prose("fourth") +
           prose("fifth") + "</blockquote></td></tr></table><table><tr><td>" + prose("sixth") + "</td></tr></table>";
    text = article(page);
    for (const char *marker : {"fourth", "fifth", "sixth"})
        EXPECT_TRUE(has(text, marker)) << marker << "\n" << text;
    EXPECT_FALSE(has(text, "MenuOne")) << text;

    // A named anchor is no link: neither the text it wraps nor the cells
    // after it (where it was never closed) count as link text.
    page = "<title>Tides</title><table><tr>" + menu + "<td>" + prose("seventh") + "</td></tr><tr><a name=more><td>" +
           prose("eighth") + prose("ninth") + "</td></tr></table>";
    text = article(page);
    for (const char *marker : {"seventh", "eighth", "ninth"})
        EXPECT_TRUE(has(text, marker)) << marker << "\n" << text;
    text = article("<title>Tides</title><div class=links><a href=/a>LinkA</a> <a href=/b>LinkB</a></div><div>" +
                   prose("aside", 2) + "</div><div><a name=start><div>" + prose("tenth") + "</div><div>" +
                   prose("eleventh") + "</div></a></div>");
    EXPECT_TRUE(has(text, "tenth")) << text;
    EXPECT_TRUE(has(text, "eleventh")) << text;

    // A table of data in the article keeps its short cells.
    text = article("<title>Tides</title><div>" + prose("port") +
                   "<table><tr><th>Year<th>Tonnes<tr><td>2001<td>2400<tr><td>2002<td>3100</table>" + prose("later") +
                   "</div>");
    EXPECT_TRUE(has(text, "Year")) << text;
    EXPECT_TRUE(has(text, "2001")) << text;
    EXPECT_TRUE(has(text, "3100")) << text;
}

TEST(ArticleText, WhatBelongsToTheArticleAroundItsBody)
{
    // The article element's heading and summary go with its body.
    std::string text = article("<title>Glaciers retreat</title><nav><a href=/a>NavWord</a></nav><article><header>"
                               "<h1>Glaciers retreat</h1><p>SummaryWord: the ice keeps melting.</p></header>"
                               "<div class=body>" +
                               prose("ice") + prose("melt") + "</div></article>");
    EXPECT_EQ(firstLine(text), "Glaciers retreat") << text;
    EXPECT_TRUE(has(text, "SummaryWord")) << text;
    EXPECT_TRUE(has(text, "melt sentence")) << text;
    EXPECT_FALSE(has(text, "NavWord")) << text;

    // A box of dates and names beside the body does not join it for its
    // name alone.
    text = article("<title>Glaciers</title><div class=main><div class=post-head><div>PostedWord at 12:05 AM, "
                   "1 May 2012</div><div>By the staff desk</div></div><div class=text>" +
                   prose("glacier") + "</div></div>");
    EXPECT_TRUE(has(text, "glacier sentence")) << text;
    EXPECT_FALSE(has(text, "PostedWord")) << text;

    // A short paragraph named as boilerplate inside the article goes; a
    // long one stays.
    text = article("<title>Glaciers</title><div class=main>" + prose("ice") +
                   "<p class=meta>MetaWord: posted by the desk | Permalink</p>" +
                   "<p class=footnote>FootWord: the survey of the ice took ten years, four teams and more than a "
                   "thousand measurements along the edge of the glacier, in summer and in winter.</p>" +
                   prose("melt") + "</div>");
    EXPECT_FALSE(has(text, "MetaWord")) << text;
    EXPECT_TRUE(has(text, "FootWord")) << text;
    EXPECT_TRUE(has(text, "melt sentence")) << text;

    // Text set apart by line breaks only is prose, however many icons the
    // links beside it carry.
    text = article("<title>Ports</title><div><script>x()</script><div class=story>"
                   "Ships came in at dawn, with grain, coal and timber from the north.<br><br>"
                   "The harbour master, busy as ever, counted them all before noon.<br><br>"
                   "<a href=/mail><img src=m.gif> Mail</a> <a href=/print><img src=p.gif> Print</a> "
                   "<a href=/save><img src=s.gif> Save</a></div>" +
                   prose("quay", 3) + "</div>");
    EXPECT_TRUE(has(text, "Ships came in at dawn")) << text;
    EXPECT_TRUE(has(text, "harbour master")) << text;
    EXPECT_TRUE(has(text, "quay sentence")) << text;
}

TEST(ArticleText, NoTitleFromInsideNoscriptAsTheTitleBarReadsIt)
{
    // A browser runs scripts, so noscript's content is text, not a title;
    // the article's first line and the title bar agree.
    const std::string page =
        "<body><noscript><title>Enable scripts</title></noscript><title>Real title</title>" + prose("real") + "</body>";
    EXPECT_EQ(quillan::text::pageTitle(page), "Real title");
    EXPECT_EQ(firstLine(article(page)), "Real title") << article(page);
}

TEST(ArticleText, EntriesTitledByLinksStayLinksAloneGo)
{
    // A listing's entries: a linked title, a teaser, a link to read on.
    std::string page = "<title>Market news</title><div class=main>" + prose("intro");
    for (int i = 0; i < 4; ++i)
        page += "<div class=item><h3><a href=/s" + std::to_string(i) + ">Entry title " + std::to_string(i) +
                "</a></h3><p>Teaser " + std::to_string(i) +
                " tells what the story is about in a sentence or two of plain words.</p><a href=/s" +
                std::to_string(i) + ">Read on</a></div>";
    // Titles with next to nothing beside them are a list of links.
    page += "<div class=more><h3><a href=/o1>OtherOne headline of elsewhere</a></h3>May 1<h3><a href=/o2>OtherTwo "
            "headline of elsewhere</a></h3>May 2</div></div>";
    const std::string text = article(page);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(has(text, "Entry title " + std::to_string(i))) << text;
        EXPECT_TRUE(has(text, "Teaser " + std::to_string(i))) << text;
    }
    EXPECT_FALSE(has(text, "OtherOne")) << text;
}

TEST(ArticleText, TheTitleIsTheHeadingClosestToTheDocumentsTitle)
{
    // The site's name in an h1 and a "related" heading both match the
    // document's title; the article's own heading is the closest.
    std::string text =
        article("<title>Cargo bikes win over the city: Town Cycling Blog</title>"
                "<h1>Town Cycling Blog</h1><div class=post><h3>Cargo bikes win over the city</h3>" +
                prose("bike") + prose("cargo") + "<h3>More posts on cargo bikes win over the city</h3></div>");
    EXPECT_EQ(firstLine(text), "Cargo bikes win over the city") << text;
    // A heading written with no-break spaces matches, and is shown once.
    text = article("<title>Wind farms grow - Energy Site</title><div class=post><h2>Wind&nbsp;farms&nbsp;grow</h2>" +
                   prose("wind") + "</div>");
    EXPECT_EQ(text.rfind("Wind\xC2\xA0", 0), 0u) << text;
    EXPECT_EQ(text.find("farms", 12), std::string::npos) << text;
    // A heading longer than is kept ends on a whole character.
    std::string longHeading;
    for (int i = 0; i < 300; ++i)
        longHeading += "\xC3\xA9t\xE2\x82\xAC";
    text = article("<div><h1>" + longHeading + "</h1>" + prose("euro") + "</div>");
    const std::string first = firstLine(text);
    ASSERT_GT(first.size(), 100u) << text.substr(0, 100);
    EXPECT_EQ(longHeading.compare(0, first.size(), first), 0);
    EXPECT_TRUE(first.back() == 't' || first.back() == '\xA9' || first.back() == '\xAC') << first;
}

// A page's <title>, its share card or data, and its story.
std::string titledPage(const std::string &head, const std::string &story)
{
    return "<html><head>" + head + "</head><body><div class=post>" + story + prose("bridge") + prose("repair") +
           "</div></body></html>";
}

std::size_t occurrences(const std::string &text, std::string_view what)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

TEST(ArticleText, TheTitleFollowsTheHeadlineAndTheTitleThePageGivesItself)
{
    const std::string headline = "Harbour bridge reopens after repairs";
    const std::string teaser = "<title>You will not believe what happened | The Daily Site</title>";
    // A teaser in the <title>, no heading: the title the page gives itself,
    // from its share card or its data, before the <title>; its site's name
    // cut off as the <title>'s is.
    for (const std::string &own :
         {"<meta property=og:title content='" + headline + "'>", "<meta name=twitter:title content='" + headline + "'>",
          R"(<script type="application/ld+json">{"@type":"NewsArticle","headline":")" + headline + R"("}</script>)",
          "<meta property=og:title content='" + headline + " | Daily'>"}) {
        const std::string text = article(titledPage(teaser + own, ""));
        EXPECT_EQ(firstLine(text), headline) << own << "\n" << text;
        EXPECT_FALSE(has(text, "believe")) << text;
    }
    // A heading that matches it is the title as the reader sees it, shown
    // once: before a heading that matches the <title>, and where a logo's h1
    // beside it leaves no h1 alone.
    const std::string card = "<meta property=og:title content='Bridge reopens after repairs'>";
    std::string text = article(titledPage(teaser + card, "<h1 class=logo>DailyLogo</h1><h3>You will not believe</h3>"
                                                         "<h2>The bridge reopens after repairs</h2>"));
    EXPECT_EQ(firstLine(text), "The bridge reopens after repairs") << text;
    EXPECT_EQ(occurrences(text, "bridge reopens after"), 1u) << text;
    EXPECT_TRUE(has(text, "You will not believe")) << text;
    // Without a title of its own, the page's headings and <title> decide as
    // ever: the heading that matches the <title>; a title of its own that
    // the <title> agrees with changes nothing.
    const std::string plain =
        titledPage(teaser, "<h3>You will not believe what happened</h3><h2>" + headline + "</h2>");
    text = article(plain);
    EXPECT_EQ(firstLine(text), "You will not believe what happened") << text;
    const std::string agreeing = "<meta property=og:title content='You will not believe what happened'>";
    EXPECT_EQ(
        article(titledPage(teaser + agreeing, "<h3>You will not believe what happened</h3><h2>" + headline + "</h2>")),
        text);
    // A share card that gives the site's name alone names no page.
    text = article(titledPage("<meta property=og:site_name content='The Daily Site'><meta property=og:title "
                              "content='the daily  SITE'><title>" +
                                  headline + " | The Daily Site</title>",
                              ""));
    EXPECT_EQ(firstLine(text), headline) << text;
}

TEST(ArticleText, TheAccountTellsWhereTheTitleCameFrom)
{
    Options options;
    options.account = quillan::text::Account::Keep;
    const auto titleOf = [&options](const std::string &page) {
        options.kind = quillan::text::Kind::Article;
        const auto choice = testsupport::convertInPieces(page, options).result.article;
        const auto at = std::find_if(choice->account.begin(), choice->account.end(),
                                     [](const Decision &d) { return d.verdict == Verdict::Title; });
        return at != choice->account.end() ? *at : Decision{Verdict::Chosen, Rule::BestScore, {}, {}, {}};
    };
    const std::string teaser = "<title>Read this now | Site</title>";
    const Decision own =
        titleOf(titledPage(teaser + "<meta property=og:title content='Ferries run later in winter'>", ""));
    EXPECT_EQ(own.rule, Rule::OwnTitle);
    EXPECT_EQ(own.words, "Ferries run later in winter");
    EXPECT_EQ(describe(own), "title: \"Ferries run later in winter\" (the title the page gives itself: og:title)");
    const Decision heading =
        titleOf(titledPage(teaser + "<meta name=twitter:title content='Ferries run later in winter'>",
                           "<h1 class=logo>Logo</h1><h2 id=hed>Ferries run later in winter</h2>"));
    EXPECT_EQ(heading.rule, Rule::OwnTitleHeading);
    EXPECT_EQ(heading.block, "h2#hed");
    EXPECT_EQ(heading.detail, "twitter:title");
    EXPECT_EQ(titleOf(titledPage(teaser, "")).rule, Rule::DocumentTitle);
}

TEST(ArticleText, CommentsKeptOnlyWhenAskedAndNeverTheirForms)
{
    Options keep;
    keep.comments = quillan::text::Comments::Keep;
    // A blog's comment section after the article: its list of comments, a
    // reply link on each, and the form that posts one; a sidebar's list of
    // recent comments.
    const std::string blog =
        "<title>Notes on tides</title><div id=content><article><h1>Notes on tides</h1>" + prose("tide") +
        prose("moon") +
        "</article></div><div id=comments class=comments-area><h2 class=comments-title>Two thoughts</h2>"
        "<ol class=comment-list><li class=comment><div class=comment-author>Ann</div>"
        "<p>FirstComment: the neap tides here are odd, I have watched them for years.</p>"
        "<div class=reply><a class=comment-reply-link href=#r>ReplyLink</a></div></li>"
        "<li class=comment><p>SecondComment: thanks, that explains the spring tide we had.</p></li></ol>"
        "<ul class=comment-tabs><li><a href=#a>TabOne</a><li><a href=#b>TabTwo</a></ul>"
        "<div id=respond class=comment-respond><h3 id=reply-title>LeaveAReply</h3>"
        "<form id=commentform><p>Your email address will not be published FormNote.</p>"
        "<textarea name=comment></textarea><input type=submit value=PostComment></form></div></div>"
        "<aside class=widget_recent_comments><ul><li class=recentcomments>RecentAnn Whitfield on <a href=/a>Notes on "
        "tides</a><li class=recentcomments>RecentBob Carmody on <a href=/b>The harbour in winter</a></ul></aside>"
        "<footer><p>Copyright FooterWord, all rights reserved, terms, privacy, contact us.</p></footer>";
    const std::string plain = article(blog);
    EXPECT_FALSE(has(plain, "FirstComment")) << plain;
    const std::string kept = article(blog, 0, keep);
    ASSERT_TRUE(has(kept, "FirstComment") && has(kept, "SecondComment") && has(kept, "Two thoughts")) << kept;
    EXPECT_LT(kept.find("moon"), kept.find("Two thoughts")) << kept;
    EXPECT_LT(kept.find("FirstComment"), kept.find("SecondComment")) << kept;
    for (const char *control :
         {"ReplyLink", "TabOne", "LeaveAReply", "FormNote", "PostComment", "RecentAnn", "FooterWord"})
        EXPECT_FALSE(has(kept, control)) << control << "\n" << kept;
    // Without comments, the same text as without asking for them.
    EXPECT_EQ(article(newsPage().replace(newsPage().find("<section class=comments>"), 0, ""), 0, keep),
              article(newsPage(), 0, keep));
    const std::string news = article(newsPage(), 0, keep);
    EXPECT_TRUE(has(news, "CommentWord")) << news;
    // Inside the chosen content, they stay where they are.
    const std::string inside = "<title>Tides</title><div id=post>" + prose("tide") +
                               "<div class=comments><p>InsideComment: well put, and I agree with the moon part.</p>"
                               "</div>" +
                               prose("moon") + "</div>";
    const std::string within = article(inside, 0, keep);
    EXPECT_LT(within.find("InsideComment"), within.find("moon")) << within;
    EXPECT_FALSE(has(article(inside), "InsideComment"));
}

TEST(ArticleText, PrecisionAndRecallLeanWhereABlockCouldGoEitherWay)
{
    Options precision, recall;
    precision.bias = quillan::text::Bias::Precision;
    recall.bias = quillan::text::Bias::Recall;
    // Inside the content, a box with some link text (a sixth of it); beside
    // it, a line of plain text with no full stop, some seventy letters long.
    const std::string page =
        "<title>Tides</title><body><div><div>" + prose("tide") + prose("moon") +
        "<div>BorderlineBox tells of the almanac, see <a href=/almanac>the almanac</a>"
        " for the tables of the year</div>" +
        prose("sea") +
        "</div><p>NeighbourLine about the harbour and the fishing boats that wait there for the evening water</p>"
        "</div></body>";
    const std::string balanced = article(page);
    ASSERT_TRUE(has(balanced, "BorderlineBox") && has(balanced, "sea")) << balanced;
    EXPECT_FALSE(has(balanced, "NeighbourLine")) << balanced;
    const std::string cleaner = article(page, 0, precision);
    EXPECT_FALSE(has(cleaner, "BorderlineBox")) << cleaner;
    EXPECT_TRUE(has(cleaner, "moon") && has(cleaner, "sea")) << cleaner;
    const std::string fuller = article(page, 0, recall);
    EXPECT_TRUE(has(fuller, "NeighbourLine") && has(fuller, "BorderlineBox")) << fuller;
}

TEST(ArticleText, WhatClosesTheArticleIsTheSitesButItsLastWordsStay)
{
    // Past the last paragraph: a link back to the list, and the heading of
    // a box of share links the cleaning drops.
    const std::string closing = "<title>Tides</title><body><div id=story>" + prose("tide") + prose("moon") +
                                "<p><a href=/news>BackToAllNews</a></p><h3>ShareThis:</h3>"
                                "<ul><li><a href=/fb>Facebook</a><li><a href=/tw>Twitter</a></ul></div></body>";
    for (std::size_t piece : {0, 7}) {
        const std::string text = article(closing, piece);
        EXPECT_TRUE(has(text, "tide") && has(text, "moon")) << text;
        EXPECT_FALSE(has(text, "BackToAllNews")) << text;
        EXPECT_FALSE(has(text, "ShareThis")) << text;
    }
    // What ends an article of its own: a heading over a last short word, a
    // line with a link in it, a link to the top of the page, a heading that
    // is a sentence; and a line of links before prose.
    const std::string own = "<title>Tides</title><body><div id=story>" + prose("tide") +
                            "<p><a href=/almanac>MiddleLink</a></p>" + prose("moon") +
                            "<h2>ClosingHeading</h2><p>LastWords of the writer.</p>"
                            "<p>SignOff and <a href=/more>more</a> on the rest of the coast</p>"
                            "<p><a href=\"#top\">ToTheTop</a></p><h3>QuoteHeading is a sentence.</h3></div></body>";
    const std::string kept = article(own);
    for (const char *word : {"MiddleLink", "ClosingHeading", "LastWords", "SignOff", "ToTheTop", "QuoteHeading"})
        EXPECT_TRUE(has(kept, word)) << word << "\n" << kept;
    // A box's heading over links that are gone goes, though a section of
    // the writer's own follows; a heading over a smaller one that keeps a
    // line stays.
    const std::string boxes = "<title>Tides</title><body><div id=story>" + prose("tide") + prose("moon") +
                              "<h3>ReadAlso</h3><ul><li><a href=/r1>First other story</a>"
                              "<li><a href=/r2>Second other story</a></ul>"
                              "<h2>AboutTheNotes</h2><h3>AboutTheAuthor</h3><p>AuthorLine writes on tides.</p>"
                              "</div></body>";
    const std::string boxed = article(boxes);
    EXPECT_FALSE(has(boxed, "ReadAlso")) << boxed;
    for (const char *word : {"AboutTheNotes", "AboutTheAuthor", "AuthorLine"})
        EXPECT_TRUE(has(boxed, word)) << word << "\n" << boxed;
    // Without a paragraph of prose nothing closes it.
    const std::string noProse = "<title>Links</title><body><div><p>A short line.</p>"
                                "<p><a href=/one>OnlyLinkOne</a></p><h3>OnlyHeading</h3></div></body>";
    const std::string bare = article(noProse);
    EXPECT_TRUE(has(bare, "OnlyLinkOne") && has(bare, "OnlyHeading")) << bare;
}

TEST(ArticleText, AShortCaptionGoesWithItsPicture)
{
    const std::string page =
        "<title>Tides</title><body><div id=story>" + prose("tide") +
        "<figure><img src=a.jpg><figcaption>Photo: CreditName / Agency</figcaption></figure>" + prose("moon") +
        "<figure><img src=b.jpg><figcaption>SentenceCaption: the bridge at dawn, from the north bank.</figcaption>"
        "</figure>" +
        "<figure><img src=c.jpg><figcaption>LongCaption " + std::string(30, 'x') + " " + std::string(30, 'y') + " " +
        std::string(30, 'z') + " " + std::string(30, 'w') + " " + std::string(30, 'v') + "</figcaption></figure>" +
        prose("sea") + "</div></body>";
    const std::string text = article(page);
    EXPECT_TRUE(has(text, "tide") && has(text, "moon") && has(text, "sea")) << text;
    EXPECT_FALSE(has(text, "CreditName")) << text;
    EXPECT_TRUE(has(text, "SentenceCaption")) << text;
    EXPECT_TRUE(has(text, "LongCaption")) << text;
}

std::string markdownArticle(std::string_view page, quillan::text::Images images = quillan::text::Images::Keep)
{
    Options options;
    options.syntax = quillan::text::Syntax::Markdown;
    options.images = images;
    return article(page, 0, options);
}

TEST(ArticleText, BesideItsPictureInMarkdownACaptionStays)
{
    const std::string page =
        "<title>Tides</title><body><div id=story>" + prose("tide") +
        "<figure><img src=a.jpg alt=Harbour><figcaption>CaptionLabel at dawn</figcaption>"
        "</figure>" +
        prose("moon") +
        "<figure><div><img src=b-small.jpg><img data-src=b.jpg><noscript><img src=b.jpg></noscript></div>"
        "<figcaption>LazyLabel</figcaption>"
        "</figure>" +
        prose("sea") + "</div></body>";
    const std::string shown = markdownArticle(page);
    EXPECT_TRUE(has(shown, "![Harbour]") && has(shown, "CaptionLabel")) << shown;
    // A figure whose picture comes late (a blurred stand-in first) is the
    // picture's all the same.
    EXPECT_TRUE(has(shown, "LazyLabel")) << shown;
    // Without its picture, as in plain text, the label goes.
    const std::string bare = markdownArticle(page, quillan::text::Images::Drop);
    EXPECT_TRUE(has(bare, "tide") && has(bare, "moon")) << bare;
    EXPECT_FALSE(has(bare, "CaptionLabel") || has(bare, "LazyLabel")) << bare;
    const std::string plain = article(page);
    EXPECT_FALSE(has(plain, "CaptionLabel") || has(plain, "LazyLabel")) << plain;
}

TEST(ArticleText, InMarkdownTheTitleIsTheOneFirstRankHeading)
{
    const std::string page = "<title>Tides of the coast</title><body><div id=story><h1>Tides of the coast</h1>" +
                             prose("tide") + "<h1>FirstSection</h1>" + prose("moon") + "<h2>SubSection</h2>" +
                             prose("sea") + "</div></body>";
    const std::string text = markdownArticle(page);
    EXPECT_EQ(firstLine(text), "# Tides of the coast") << text;
    EXPECT_TRUE(has(text, "\n## FirstSection\n")) << text;
    // Lower ranks keep theirs; plain text shows no ranks.
    EXPECT_TRUE(has(text, "\n## SubSection\n")) << text;
    EXPECT_FALSE(has(text, "### SubSection")) << text;
    const std::string plain = article(page);
    EXPECT_TRUE(has(plain, "\nFirstSection\n") && !has(plain, "#")) << plain;
}

TEST(ArticleText, ASectionsTitleInABoxOfItsOwnStays)
{
    // Each section's heading sits in a box of its own, its text in the next.
    const std::string page = "<title>Tides</title><body><div id=story>" + prose("tide") +
                             "<div class=section><div id=glossary><h2>GlossaryTitle</h2></div></div>"
                             "<div class=section>" +
                             prose("moon") + "</div><div class=section><h3>UsageTitle</h3></div><div class=section>" +
                             prose("sea") + "</div></div></body>";
    const std::string text = article(page);
    EXPECT_TRUE(has(text, "GlossaryTitle") && has(text, "UsageTitle")) << text;
    // Near misses: a site's name as an h1 in a box, a heading beside what
    // was set aside (a widget), and a short box of more than a heading.
    const std::string boxes = "<title>Tides</title><body><div id=story><div class=top><h1>SiteNameHeading</h1></div>" +
                              prose("tide") + "<div class=likes><h3>LikeThis:</h3><div class=widget>Like</div></div>" +
                              prose("moon") + "<div class=box><h3>Tag</h3>ShortScrap words</div>" + prose("sea") +
                              "</div></body>";
    const std::string cleaned = article(boxes);
    EXPECT_TRUE(has(cleaned, "tide") && has(cleaned, "moon") && has(cleaned, "sea")) << cleaned;
    for (const char *word : {"SiteNameHeading", "LikeThis", "ShortScrap"})
        EXPECT_FALSE(has(cleaned, word)) << word << "\n" << cleaned;
}

TEST(ArticleText, ALinkInLooseTextIsPartOfItsSentence)
{
    // Text set between line breaks, with links in its sentences, past the
    // last paragraph.
    const std::string page = "<title>Tides</title><body><div id=story>" + prose("tide") + prose("moon") +
                             "<div class=post><p>How to get them.</p>Download the tables of the tides. You can get "
                             "them from "
                             "<a href=/repo>TheRepository</a>.<br><br>There is also a "
                             "<a href=/pdf>PrintedVersion</a> of them on the site.<br></div></div></body>";
    const std::string text = article(page);
    EXPECT_TRUE(has(text, "TheRepository") && has(text, "PrintedVersion")) << text;
    // A link loose between blocks with no more than a word beside it is
    // still the site's line.
    const std::string closing = "<title>Tides</title><body><div id=story>" + prose("tide") + prose("moon") +
                                "<p>A last short line.</p> | <a href=/next>NextStoryLink</a></div></body>";
    const std::string closed = article(closing);
    EXPECT_TRUE(has(closed, "moon")) << closed;
    EXPECT_FALSE(has(closed, "NextStoryLink")) << closed;
}

TEST(ArticleText, AListOfLinksIntoTheTextIsItsContents)
{
    const std::string contents = "<title>Tides</title><body><div id=story>" + prose("tide") +
                                 "<ul><li><a href=#moon>ContentsMoon</a><li><a href=#sea>ContentsSea</a></ul>"
                                 "<h2 id=moon>Moon</h2>" +
                                 prose("moon") + "<h2 id=sea>Sea</h2>" + prose("sea") + "</div></body>";
    const std::string text = article(contents);
    EXPECT_TRUE(has(text, "ContentsMoon") && has(text, "ContentsSea")) << text;
    // One link away from the page makes it the site's list again.
    std::string away = contents;
    away.replace(away.find("#sea"), 4, "/sea");
    EXPECT_FALSE(has(article(away), "ContentsMoon"));
}

TEST(ArticleText, TheSameTextWhereverTheInputIsCut)
{
    const std::string page = newsPage();
    const std::string whole = article(page);
    ASSERT_FALSE(whole.empty());
    for (std::size_t piece : {1, 2, 3, 7, 64, 1000})
        EXPECT_EQ(article(page, piece), whole) << "pieces of " << piece;

    // Short lines beside the article count when they end a sentence; a full
    // stop before a character reference or a cut does not end one.
    const std::string beside = "<title>Release</title><div>" + prose("main") + prose("more") +
                               "</div><p>Version 2.0 is out</p><p>Version 3.&#48; is out</p><p>That is all.</p>";
    const std::string besideWhole = article(beside);
    EXPECT_TRUE(has(besideWhole, "That is all.")) << besideWhole;
    EXPECT_EQ(has(besideWhole, "Version 3.0"), has(besideWhole, "Version 2.0")) << besideWhole;
    for (std::size_t piece : {1, 2, 3, 5, 11})
        EXPECT_EQ(article(beside, piece), besideWhole) << "pieces of " << piece;

    // A title that outgrows what is kept, a character of it at the limit and
    // its text coming in several runs (a "</" that ends nothing is text):
    // what is kept is where the title starts, however it came.
    std::string title;
    for (int i = 0; i < 134; ++i)
        title += "\xE2\x82\xAC";
    title += "</b>ab";
    const std::string titled = "<title>" + title + "</title><div>" + prose("euro") + "</div>";
    for (std::size_t piece : {0, 1, 2, 3, 5, 7}) {
        const std::string first = firstLine(article(titled, piece));
        EXPECT_GT(first.size(), 300u) << "pieces of " << piece;
        EXPECT_EQ(title.compare(0, first.size(), first), 0) << "pieces of " << piece << ": " << first;
    }
}

TEST(ArticleText, BrokenAndDeepMarkupStillGivesText)
{
    // Unclosed elements, stray end tags, nesting deeper than the tree keeps.
    std::string deep;
    for (int i = 0; i < 2000; ++i)
        deep += "<div>";
    deep += prose("deep");
    std::string text = article("<title>Deep</title>" + deep);
    EXPECT_TRUE(has(text, "deep sentence")) << text.substr(0, 200);
    text = article("</div></p></article><p>Stray ends before, <b>unclosed <i>inline</p><p>" + std::string(300, 'x') +
                   "</td></tr></table>");
    EXPECT_TRUE(has(text, "Stray ends before")) << text;
    EXPECT_TRUE(has(text, std::string(300, 'x'))) << text;
    // Foreign content and raw text elements do not confuse the tree.
    text = article("<div><svg><title>SvgTitle</title><p>in svg</svg>" + prose("after") +
                   "<textarea><div>kept as text</div></textarea></div>");
    EXPECT_TRUE(has(text, "after sentence")) << text;
    EXPECT_FALSE(has(text, "SvgTitle")) << text;
}

// A page that holds several articles (the next ones of the site loaded
// ahead) names its own with its title: the article element of the h1 that
// matches the document's title, though a longer one scores better; not an
// h1 alone in a box of its own, nor an h1 the title does not name.
TEST(ArticleText, OfSeveralArticlesTheOneItsTitleNames)
{
    Options options;
    options.kind = quillan::text::Kind::Article;
    options.account = quillan::text::Account::Keep;
    const auto titledArticle = [](const quillan::text::article::ArticleChoice &choice) {
        return std::any_of(choice.account.begin(), choice.account.end(),
                           [](const Decision &d) { return d.rule == Rule::TitledArticle; });
    };
    const std::string next = "<div class=more><article class=entry><h2>Ferry timetable changes</h2>" +
                             prose("omega", 6) + prose("psi", 6) + prose("chi", 6) + "</article></div>";
    const std::string page = "<title>Harbour bridge reopens | The Daily Site</title><body><main>"
                             "<article class=entry><h1>Harbour bridge reopens</h1>" +
                             prose("alpha") + prose("beta") + "</article>" + next + "</main></body>";
    const auto chosen = testsupport::convertInPieces(page, options);
    ASSERT_TRUE(chosen.result.article);
    EXPECT_TRUE(has(chosen.text, "alpha sentence") && has(chosen.text, "beta sentence")) << chosen.text;
    EXPECT_FALSE(has(chosen.text, "omega sentence") || has(chosen.text, "chi sentence")) << chosen.text;
    EXPECT_EQ(firstLine(chosen.text), "Harbour bridge reopens");
    const auto &account = chosen.result.article->account;
    const auto widened =
        std::find_if(account.begin(), account.end(), [](const Decision &d) { return d.rule == Rule::TitledArticle; });
    ASSERT_NE(widened, account.end()) << tell(*chosen.result.article);
    EXPECT_EQ(widened->verdict, Verdict::Widened);
    EXPECT_TRUE(widened->block.starts_with("article.entry")) << describe(*widened);
    EXPECT_TRUE(has(describe(*widened), "the article element of the heading that matches the title"))
        << describe(*widened);

    // Near misses, the longer article still chosen (its neighbours joining
    // as before): the h1 in an article of
    // its own with a line below it, the body in the next; an h1 that is
    // not the document's title.
    const std::string headline = "<title>Harbour bridge reopens | The Daily Site</title><body>"
                                 "<article><h1>Harbour bridge reopens</h1><p>By A. Writer, Monday</p></article>"
                                 "<div class=body>" +
                                 prose("alpha", 6) + prose("beta", 6) + "</div>" + "</body>";
    const auto body = testsupport::convertInPieces(headline, options);
    ASSERT_TRUE(body.result.article);
    EXPECT_TRUE(has(body.text, "alpha sentence") && has(body.text, "beta sentence")) << body.text;
    EXPECT_FALSE(titledArticle(*body.result.article)) << tell(*body.result.article);
    std::string other = page;
    other.replace(other.find("<title>Harbour"), std::string("<title>Harbour").size(), "<title>Ferry");
    const auto longer = testsupport::convertInPieces(other, options);
    ASSERT_TRUE(longer.result.article);
    EXPECT_TRUE(has(longer.text, "omega sentence") && has(longer.text, "chi sentence")) << longer.text;
    EXPECT_FALSE(titledArticle(*longer.result.article)) << tell(*longer.result.article);
}

// Short names ("ad", "nav", "tags", ...) count only as whole words of a
// class or id value, in either case: runs of letters and digits.
TEST(ArticleText, ShortNamesCountOnlyAsWholeWords)
{
    using quillan::text::article::ReadNameHints;
    struct Case {
        const char *name;
        int weight;
        bool unlikely;
    };
    const Case cases[] = {{"top-AD", -25, true},
                          {"ad_slot x", -25, true},
                          {"\xc3\xa9"
                           "ad",
                           -25, true},
                          {"box.Tags", -25, true},
                          {"col aside", 0, true},
                          {"rail2", 0, false},
                          {"shadow", 0, false},
                          {"adsads", 0, false},
                          {"com", -25, false},
                          {"footnote", -25, false},
                          {"ad content", 0, false}};
    for (const Case &c : cases) {
        EXPECT_EQ(ReadNameHints(c.name, "", "").weight, c.weight) << c.name;
        EXPECT_EQ(ReadNameHints("", c.name, "").unlikely, c.unlikely) << c.name;
    }
    EXPECT_EQ(ReadNameHints("platform", "x form", "").comments, quillan::text::article::CommentHint::Posting);
    EXPECT_EQ(ReadNameHints("platform", "", "").comments, quillan::text::article::CommentHint::None);
}

// A field whose label is hidden ("field--label-hidden") is shown: its
// names do not weigh against it; other names that say hidden still do.
TEST(ArticleText, AFieldWithAHiddenLabelIsShown)
{
    using quillan::text::article::ExplainNameHints;
    using quillan::text::article::ReadNameHints;
    EXPECT_EQ(ReadNameHints("field field--label-hidden", "", "").weight, 0);
    EXPECT_EQ(ReadNameHints("field-label-hidden", "", "").weight, 0);
    EXPECT_EQ(ReadNameHints("hidden-xs", "", "").weight, -25);
    EXPECT_EQ(ReadNameHints("visually-hidden", "box-hidden", "").weight, -50);
    EXPECT_EQ(ExplainNameHints("field field--label-hidden", "", ""), "");
    EXPECT_EQ(ExplainNameHints("is-hidden", "", ""), "class hidden (against)");

    const std::string page = "<title>Quiet</title><body><div id=story>" + prose("alpha") +
                             "<div class=\"field field--label-hidden\">" + prose("beta") + "</div>" +
                             "<div class=is-hidden><p>Buy now GammaWord, the offer ends soon.</p></div>" +
                             prose("delta") + "</div></body>";
    const std::string text = article(page);
    EXPECT_TRUE(has(text, "alpha sentence") && has(text, "beta sentence") && has(text, "delta sentence")) << text;
    EXPECT_FALSE(has(text, "GammaWord")) << text;
}

// The account of a choice: kept only when asked for, the same choice either
// way, every rule that decided named with its block.
TEST(ArticleText, TheAccountTellsWhichRulesDecided)
{
    const std::string page = newsPage();
    Options options;
    options.kind = quillan::text::Kind::Article;
    const testsupport::ConvertedText plain = testsupport::convertInPieces(page, options);
    options.account = quillan::text::Account::Keep;
    const testsupport::ConvertedText told = testsupport::convertInPieces(page, options);
    ASSERT_TRUE(plain.result.article && told.result.article);
    EXPECT_TRUE(plain.result.article->account.empty());
    EXPECT_EQ(told.text, plain.text);
    const auto &choice = *told.result.article;
    const std::string all = quillan::text::article::tell(choice);
    EXPECT_EQ(all.substr(0, all.find('\n')), quillan::text::article::describe(*plain.result.article));
    const auto find = [&choice](Verdict verdict, std::string_view block) -> const Decision * {
        for (const Decision &d : choice.account)
            if (d.verdict == verdict && d.block.starts_with(block))
                return &d;
        return nullptr;
    };
    // The article by its score and its names; the sidebar, the share box and
    // the comments set aside by theirs, the footer by its element; the title
    // from the matching heading, and that heading not shown twice.
    const Decision *chosen = find(Verdict::Chosen, "article.story");
    ASSERT_TRUE(chosen) << all;
    EXPECT_EQ(chosen->rule, Rule::BestScore);
    EXPECT_TRUE(has(chosen->detail, "story (content)")) << all;
    EXPECT_TRUE(has(chosen->words, "Harbour bridge reopens")) << all;
    for (const auto &[block, name] :
         {std::pair{"aside.sidebar", "sidebar (boilerplate)"}, {"section.comments", "comment (boilerplate)"}}) {
        const Decision *d = find(Verdict::SetAside, block);
        ASSERT_TRUE(d) << block << "\n" << all;
        EXPECT_EQ(d->rule, Rule::Names) << all;
        EXPECT_TRUE(has(d->detail, name)) << all;
    }
    const Decision *share = find(Verdict::SetAside, "div.share-tools");
    ASSERT_TRUE(share) << all;
    EXPECT_TRUE(share->rule == Rule::Names && has(share->detail, "share (boilerplate)")) << all;
    EXPECT_EQ(share->words, "ShareFacebook ShareTwitter");
    const Decision *title = find(Verdict::Title, "h1");
    ASSERT_TRUE(title) << all;
    EXPECT_EQ(title->rule, Rule::TitleHeading);
    EXPECT_EQ(title->words, "Harbour bridge reopens after repairs");
    EXPECT_TRUE(find(Verdict::Dropped, "h1") && find(Verdict::Dropped, "h1")->rule == Rule::TitleShown) << all;
    const Decision *footer = find(Verdict::SetAside, "footer");
    ASSERT_TRUE(footer) << all;
    EXPECT_EQ(footer->rule, Rule::Element) << all;

    // Inside the content: a list of links dropped for them, a hidden block;
    // blocks past what an account tells only counted.
    std::string hidden = "<title>Quiet</title><div>" + prose("quiet") +
                         "<p hidden>HiddenWord here</p><ul><li><a href=/a>First link</a><li><a href=/b>Second link</a>"
                         "</ul></div>";
    for (int i = 0; i < 30; ++i)
        hidden += "<div class=promo>Buy " + std::to_string(i) + "</div>";
    const auto quiet = testsupport::convertInPieces(hidden, options).result.article;
    ASSERT_TRUE(quiet);
    const auto hiddenAt = std::find_if(quiet->account.begin(), quiet->account.end(),
                                       [](const Decision &d) { return d.rule == Rule::Hidden; });
    ASSERT_NE(hiddenAt, quiet->account.end()) << tell(*quiet);
    EXPECT_EQ(hiddenAt->block + " " + hiddenAt->words, "p HiddenWord here");
    const auto links = std::find_if(quiet->account.begin(), quiet->account.end(),
                                    [](const Decision &d) { return d.rule == Rule::LinkDensity; });
    ASSERT_NE(links, quiet->account.end()) << tell(*quiet);
    EXPECT_EQ(describe(*links),
              "dropped: ul \"First link Second link\" (mostly links: link text 100% of 19 characters)");
    EXPECT_EQ(quiet->untold, 31u - 24u) << tell(*quiet);

    // What closes the content and a caption, each with its rule.
    const std::string closing = "<title>Tides</title><body><div id=story>" + prose("tide") +
                                "<figure><img src=a.jpg><figcaption>Photo: CreditName</figcaption></figure>" +
                                prose("moon") +
                                "<p><a href=/news>BackToAllNews</a></p><h3>ShareThis:</h3>"
                                "<ul><li><a href=/fb>Facebook</a><li><a href=/tw>Twitter</a></ul></div></body>";
    const auto closed = testsupport::convertInPieces(closing, options).result.article;
    ASSERT_TRUE(closed);
    const auto ruled = [&closed](Rule rule) {
        const auto at = std::find_if(closed->account.begin(), closed->account.end(),
                                     [rule](const Decision &d) { return d.rule == rule; });
        return at == closed->account.end() ? std::string() : describe(*at);
    };
    EXPECT_EQ(ruled(Rule::ClosingLinks), "dropped: p \"BackToAllNews\" (a closing line of links: link text 100% of 13 "
                                         "characters, past the last paragraph of prose)")
        << tell(*closed);
    EXPECT_EQ(ruled(Rule::ClosingHeading),
              "dropped: h3 \"ShareThis:\" (a closing heading with nothing kept below it: 10 characters)")
        << tell(*closed);
    EXPECT_EQ(ruled(Rule::Caption), "dropped: figcaption \"Photo: CreditName\" (a picture's caption: 16 characters)")
        << tell(*closed);

    // The names as the hints read them, each once.
    EXPECT_EQ(quillan::text::article::ExplainNameHints("nav-main big", "", "navigation"),
              "class nav- (boilerplate), main (content), nav (boilerplate), role \"navigation\" (boilerplate)");
    EXPECT_EQ(quillan::text::article::ExplainNameHints("ad ad--x", "top-ad", ""),
              "class ad (boilerplate), id ad (boilerplate)");
    EXPECT_EQ(quillan::text::article::ExplainNameHints("plain", "", ""), "");
}

} // namespace

namespace {

// The content in parts of about the same weight, each in a section of its
// own under one wrapper (no part a sibling of another), a teaser beside it.
// The first part scores best; each other is `others(marker)`.
std::string partsPage(const std::function<std::string(const std::string &)> &others)
{
    std::string parts = "<section><h2>Heading alpha</h2><div>" + prose("alpha") + prose("beta") + "</div></section>";
    for (const char *marker : {"gamma", "delta", "epsilon"})
        parts += std::string("<section><h2>Heading ") + marker + "</h2><div>" + others(marker) + "</div></section>";
    return "<title>Harbour works</title><body><div class=wrap><h1>Harbour works</h1>" + parts +
           "</div><div class=teaser><p>TeaserWord: read our other story about the ferry, with pictures, maps and "
           "more.</p></div></body>";
}

} // namespace

TEST(ArticleText, PartsOfAboutTheSameWeightMakeTheirAncestorTheContent)
{
    Options options;
    options.kind = quillan::text::Kind::Article;
    options.account = quillan::text::Account::Keep;
    // Each other part scores about seven tenths of the best: the wrapper of
    // all four is the content, and the account says by what share.
    const auto close = testsupport::convertInPieces(
        partsPage([](const std::string &m) { return prose(m) + prose(m + "x", 1); }), options);
    ASSERT_TRUE(close.result.article);
    for (const char *marker : {"alpha sentence", "beta sentence", "gamma sentence", "delta sentence",
                               "epsilon sentence", "epsilonx sentence", "Heading delta"})
        EXPECT_TRUE(has(close.text, marker)) << marker << "\n" << close.text;
    EXPECT_FALSE(has(close.text, "TeaserWord")) << close.text;
    const auto &account = close.result.article->account;
    const auto widened =
        std::find_if(account.begin(), account.end(), [](const Decision &d) { return d.rule == Rule::CloseScores; });
    ASSERT_NE(widened, account.end()) << tell(*close.result.article);
    EXPECT_EQ(widened->verdict, Verdict::Widened);
    EXPECT_TRUE(widened->block.starts_with("div.wrap")) << describe(*widened);
    EXPECT_EQ(widened->detail, "3 containers of at least 60% of the best score") << describe(*widened);

    // Near miss: the other parts score about half of the best; the best
    // part stays the content alone.
    const auto apart =
        testsupport::convertInPieces(partsPage([](const std::string &m) { return prose(m, 3); }), options);
    ASSERT_TRUE(apart.result.article);
    EXPECT_TRUE(has(apart.text, "alpha sentence") && has(apart.text, "beta sentence")) << apart.text;
    EXPECT_FALSE(has(apart.text, "gamma sentence") || has(apart.text, "epsilon sentence")) << apart.text;
    EXPECT_TRUE(std::none_of(apart.result.article->account.begin(), apart.result.article->account.end(),
                             [](const Decision &d) { return d.rule == Rule::CloseScores; }))
        << tell(*apart.result.article);
}

TEST(ArticleText, ASiblingJoinsFromASixthOrSoOfTheBestScore)
{
    Options options;
    options.kind = quillan::text::Kind::Article;
    options.account = quillan::text::Account::Keep;
    // Eight paragraphs of the article; beside them, a box with a paragraph
    // of its own. Of four sentences it scores about a sixth of the article
    // and joins; of three, less than the bar, and stays out.
    const auto pageWith = [](int sentences) {
        std::string main = "<div>";
        for (int i = 0; i < 8; ++i)
            main += prose("main" + std::to_string(i));
        return "<title>Tides</title><body><div class=wrap>" + main + "</div><div><div>" +
               prose("neighbour", sentences) + "</div></div></div></body>";
    };
    const auto joined = testsupport::convertInPieces(pageWith(4), options);
    ASSERT_TRUE(joined.result.article);
    EXPECT_TRUE(has(joined.text, "main0 sentence") && has(joined.text, "neighbour sentence")) << joined.text;
    const auto &account = joined.result.article->account;
    const auto sibling =
        std::find_if(account.begin(), account.end(), [](const Decision &d) { return d.rule == Rule::SiblingScore; });
    ASSERT_NE(sibling, account.end()) << tell(*joined.result.article);
    EXPECT_EQ(sibling->verdict, Verdict::Joined);
    EXPECT_TRUE(has(sibling->words, "neighbour sentence")) << describe(*sibling);

    const std::string kept = article(pageWith(3));
    EXPECT_TRUE(has(kept, "main7 sentence")) << kept;
    EXPECT_FALSE(has(kept, "neighbour sentence")) << kept;
}

TEST(ArticleText, TheContentDoesNotWidenPastItsArticleElement)
{
    Options options;
    options.kind = quillan::text::Kind::Article;
    options.account = quillan::text::Account::Keep;
    // The article in a box of its own; beside the box, lines of teasers
    // that make the wrapper of both score better than the box.
    const auto pageOf = [](const std::string &element) {
        std::string teasers;
        for (int i = 0; i < 4; ++i)
            teasers +=
                "<p>Teaser" + std::to_string(i) + " of another story, with a picture, a date, and a line or two</p>";
        return "<title>Harbour works</title><body><div class=wrap><div class=inner><" + element +
               "><h1>Harbour works</h1>" + prose("alpha") + prose("beta") + prose("gamma") + "</" + element +
               "></div>" + teasers + "</div></body>";
    };
    const auto kept = testsupport::convertInPieces(pageOf("article"), options);
    ASSERT_TRUE(kept.result.article);
    EXPECT_TRUE(has(kept.text, "alpha sentence") && has(kept.text, "gamma sentence")) << kept.text;
    EXPECT_FALSE(has(kept.text, "Teaser")) << kept.text;
    const auto &account = kept.result.article->account;
    const auto bound =
        std::find_if(account.begin(), account.end(), [](const Decision &d) { return d.rule == Rule::ArticleBound; });
    ASSERT_NE(bound, account.end()) << tell(*kept.result.article);
    EXPECT_EQ(bound->verdict, Verdict::KeptWithin);
    EXPECT_TRUE(bound->block.starts_with("article")) << describe(*bound);
    EXPECT_TRUE(describe(*bound).starts_with("kept within: article \"Harbour works")) << describe(*bound);
    EXPECT_TRUE(has(describe(*bound), "an ancestor outside it scores")) << describe(*bound);
    EXPECT_TRUE(std::none_of(account.begin(), account.end(), [](const Decision &d) {
        return d.rule == Rule::BetterAncestor;
    })) << tell(*kept.result.article);

    // Near miss: the same page with a section for the article; the
    // wrapper scores better and is the content, teasers and all.
    const auto widened = testsupport::convertInPieces(pageOf("section"), options);
    ASSERT_TRUE(widened.result.article);
    EXPECT_TRUE(has(widened.text, "alpha sentence") && has(widened.text, "Teaser3")) << widened.text;
    const auto &told = widened.result.article->account;
    EXPECT_TRUE(std::any_of(told.begin(), told.end(), [](const Decision &d) {
        return d.rule == Rule::BetterAncestor && d.block.starts_with("div.wrap");
    })) << tell(*widened.result.article);
    EXPECT_TRUE(std::none_of(told.begin(), told.end(), [](const Decision &d) { return d.rule == Rule::ArticleBound; }))
        << tell(*widened.result.article);
}

TEST(ArticleText, ALineThatPointsToAnotherPageGoesFromInsideTheText)
{
    // Between the paragraphs: labels, in any language, over links to other
    // pages; a label after its link too.
    const std::string page = "<title>Tides</title><body><div id=story>" + prose("tide") +
                             "<p>Read more: <a href=/other>PointerOne about the ferry</a></p>" + prose("moon") +
                             "<p>Czytaj też: <a href=/inne>PointerTwo o promie</a></p>" + prose("sea") +
                             "<p><a href=/more>PointerThree on the harbour</a> (see also)</p>" + prose("wind") +
                             "</div></body>";
    for (std::size_t piece : {0, 9}) {
        const std::string text = article(page, piece);
        for (const char *word : {"tide", "moon", "sea", "wind"})
            EXPECT_TRUE(has(text, word)) << word << "\n" << text;
        for (const char *word : {"PointerOne", "PointerTwo", "PointerThree"})
            EXPECT_FALSE(has(text, word)) << word << "\n" << text;
    }
    // What stays: a link alone on its line, a label over a quotation it
    // introduces, a line of links within the page, a line long enough to
    // say more, a line mostly of its own words, a heading.
    const std::string own =
        "<title>Tides</title><body><div id=story>" + prose("tide") + "<p><a href=/report.pdf>LinkAlone</a></p>" +
        prose("moon") + "<p>Here is <a href=/she>QuotedWriter</a>:</p><blockquote>" + prose("quoted") +
        "</blockquote>" + prose("sea") + "<p>Jump to <a href=#notes>InPageLink</a></p>" + prose("wind") +
        "<p>LongLine: <a href=/a>a link that runs on for a good long while</a> and still more words, here and "
        "there</p>" +
        prose("rain") + "<p>MostlyWords of the writer's own, and <a href=/x>one</a></p>" + prose("snow") +
        "<h3>Heading <a href=/h>HeadingLink to a page</a></h3>" + prose("hail") + "</div></body>";
    const std::string kept = article(own);
    for (const char *word : {"LinkAlone", "QuotedWriter", "InPageLink", "LongLine", "MostlyWords", "HeadingLink"})
        EXPECT_TRUE(has(kept, word)) << word << "\n" << kept;
    // Where the text shows where links lead, the pointers are links to
    // follow.
    Options markdown, numbered;
    markdown.syntax = quillan::text::Syntax::Markdown;
    numbered.links = true;
    for (const Options &shown : {markdown, numbered}) {
        const std::string text = article(page, 0, shown);
        for (const char *word : {"PointerOne", "PointerTwo", "PointerThree"})
            EXPECT_TRUE(has(text, word)) << word << "\n" << text;
    }

    // The account names the rule and what it weighed.
    Options options;
    options.kind = quillan::text::Kind::Article;
    options.account = quillan::text::Account::Keep;
    const auto told = testsupport::convertInPieces(page, options).result.article;
    ASSERT_TRUE(told);
    const auto at = std::find_if(told->account.begin(), told->account.end(),
                                 [](const Decision &d) { return d.rule == Rule::PointerLine; });
    ASSERT_NE(at, told->account.end()) << tell(*told);
    // Characters are counted without white space: 23 of 32 in the link.
    EXPECT_EQ(describe(*at), "dropped: p \"Read more: PointerOne about the ferry\" (a line that points to another "
                             "page: link text 72% of 32 characters, with words of its own)")
        << tell(*told);
}

TEST(ArticleText, RubyReadingsStayOutOfTheArticleNotOutOfTheReadableText)
{
    // A reading is set above its word: the article's text gives the words
    // alone, with or without the parentheses for old browsers, with or
    // without end tags; the readable mode lays the page out as a browser's
    // innerText does, readings in line (the parentheses not shown).
    const std::string page =
        "<title>Kodomo</title><body><div id=story>" + prose("tide") +
        "<p>Wa<ruby>子<rt>こ</rt></ruby>ども no <ruby>法<rp>(</rp><rt>ほう</rt><rp>)</rp>律<rp>(</rp><rt>りつ</rt>"
        "<rp>)</rp></ruby> ga <ruby><rb>漢<rt>かん<rb>字<rt>じ</ruby> dekiru, and the line goes on long enough.</p>" +
        prose("moon") + "</div></body>";
    for (std::size_t piece : {0, 5}) {
        const std::string text = article(page, piece);
        EXPECT_TRUE(has(text, "Wa子ども no 法律 ga 漢字 dekiru, and the line")) << text;
        EXPECT_FALSE(has(text, "こ") || has(text, "ほう") || has(text, "(")) << text;
        EXPECT_TRUE(has(text, "tide") && has(text, "moon")) << text;
    }
    Options readable;
    readable.kind = quillan::text::Kind::Readable;
    const std::string shown = testsupport::convertInPieces(page, readable).text;
    EXPECT_TRUE(has(shown, "子こども")) << shown;
    EXPECT_TRUE(has(shown, "法ほう律りつ")) << shown;
    // Nor in a headline that becomes the article's title.
    const std::string headed = "<title>Site news</title><body><div id=story><h1><ruby>子<rt>こ</rt></ruby>ども no "
                               "<ruby>法<rp>(</rp><rt>ほう</rt><rp>)</rp>律</ruby></h1>" +
                               prose("tide") + prose("moon") + "</div></body>";
    for (std::size_t piece : {0, 5})
        EXPECT_TRUE(article(headed, piece).starts_with("子ども no 法律\n")) << article(headed, piece);
}

TEST(ArticleText, ADialogOrAConsentNoticeIsNeverTheContent)
{
    Options options;
    options.kind = quillan::text::Kind::Article;
    options.account = quillan::text::Account::Keep;
    // A short article (too short for the first attempt to stand) beside a
    // box of long prose: when the box is a dialog or a consent notice, the
    // attempts with fewer rules do not take it either.
    const std::string shortArticle = "<div class=story><h1>Ferry times</h1><p>The ferry leaves at nine, "
                                     "ArticleWord, and comes back at five.</p></div>";
    const auto pageWith = [&](const std::string &open, const std::string &close, const std::string &bodyTag) {
        return "<title>Ferry times</title>" + bodyTag + shortArticle + open + prose("consent") + prose("privacy") +
               prose("partners") + close + "</body>";
    };
    for (const auto &[open, close] : {std::pair<std::string, std::string>{"<div role=dialog>", "</div>"},
                                      {"<div role=AlertDialog>", "</div>"},
                                      {"<div aria-modal=true>", "</div>"},
                                      {"<div class=\"cmp-consent-layer\">", "</div>"},
                                      {"<div id=gdpr-box>", "</div>"},
                                      {"<section class=cookie-wall>", "</section>"},
                                      {"<dialog open>", "</dialog>"}}) {
        const auto text = testsupport::convertInPieces(pageWith(open, close, "<body>"), options);
        EXPECT_TRUE(has(text.text, "ArticleWord")) << open << "\n" << text.text;
        EXPECT_FALSE(has(text.text, "consent sentence")) << open << "\n" << text.text;
        ASSERT_TRUE(text.result.article);
        const auto &account = text.result.article->account;
        EXPECT_TRUE(
            std::any_of(account.begin(), account.end(),
                        [](const Decision &d) { return d.verdict == Verdict::SetAside && d.rule == Rule::Dialog; }))
            << open << "\n"
            << tell(*text.result.article);
    }

    // Near misses: a box of the same prose that is no dialog is taken when
    // the article is too short (aria-modal "false", a "modal" that is a
    // lightbox); and the names of the page's body speak of its state, not
    // of a notice.
    for (const auto &[open, close] : {std::pair<std::string, std::string>{"<div aria-modal=false>", "</div>"},
                                      {"<div class=modal-lightbox>", "</div>"},
                                      {"<div class=\"post tag-cookies\">", "</div>"}}) {
        const std::string text = article(pageWith(open, close, "<body>"));
        EXPECT_TRUE(has(text, "consent sentence")) << open << "\n" << text;
    }
    const std::string stateNames = article("<title>Ferry times</title><body class=\"page cookies-not-set\">"
                                           "<div class=story><h1>Ferry times</h1>" +
                                           prose("kept") + prose("also") + "</div></body>");
    EXPECT_TRUE(has(stateNames, "kept sentence") && has(stateNames, "also sentence")) << stateNames;
}

TEST(ArticleText, TheArticleInABoxNamedForItsPlaceIsStillTheContent)
{
    // The headline and the article inside a box whose names say boilerplate
    // (the page's header row, a modal the article opens in); beside it,
    // teasers enough to win once the box is set aside.
    std::string teasers = "<div class=stream>";
    for (int i = 0; i < 6; ++i)
        teasers += "<div class=teaser><p>Teaser" + std::to_string(i) +
                   " of another story, with a picture, a date, and a line or two, and more.</p></div>";
    teasers += "</div>";
    const auto pageOf = [&](const std::string &box, const std::string &body) {
        return "<title>Harbour works begin | The Site</title><body>" + teasers + "<div class=\"" + box +
               "\"><div><h1>Harbour works begin</h1></div><div class=body>" + body + "</div></div></body>";
    };
    const std::string article5 = prose("alpha") + prose("beta") + prose("gamma") + prose("delta") + prose("epsilon");
    for (const char *box : {"row site_header", "render-target-modal"}) {
        const std::string text = article(pageOf(box, article5));
        EXPECT_TRUE(has(text, "alpha sentence") && has(text, "epsilon sentence")) << box << "\n" << text;
        EXPECT_FALSE(has(text, "Teaser3")) << box << "\n" << text;
    }
    // Boxes inside it keep their own names' verdicts.
    const std::string withShare =
        article(pageOf("row site_header", article5 + "<div class=share-tools>" + prose("shared") + "</div>"));
    EXPECT_TRUE(has(withShare, "alpha sentence")) << withShare;
    EXPECT_FALSE(has(withShare, "shared sentence")) << withShare;

    // Near misses: the box holds the headline and a line (a page's header),
    // or the article without the headline: set aside for its names.
    const std::string header = article(pageOf("row site_header", "<p>A line under the headline, StandfirstWord.</p>"));
    EXPECT_FALSE(has(header, "StandfirstWord")) << header;
    const std::string untitled = article("<title>Harbour works begin</title><body>" + teasers +
                                         "<div class=site_header><h1>Other news</h1>" + article5 + "</div></body>");
    EXPECT_FALSE(has(untitled, "alpha sentence")) << untitled;
}

TEST(ArticleText, ALedeSetApartRightBeforeTheTextJoinsIt)
{
    // The page's summary in a box of its own above the text, a picture
    // between them, with or without its caption.
    const auto page = [](const std::string &before, const std::string &picture = "<img src=dog.jpg>") {
        return "<title>Snow walks</title><body><div class=menu-links><a href=/a>Home</a> <a href=/b>News</a></div>"
               "<div class=article>" +
               before + "<div class=picture>" + picture + "</div><div class=news-text>" + prose("snow") + prose("paw") +
               prose("cold") + "</div></div><div class=footer-box><a href=/c>Imprint</a></div></body>";
    };
    const std::string lede = "<div class=teaser><p>LedeWord: the temperatures fell, the first snow came, and "
                             "the dogs were out of their minds with joy.</p></div>";
    for (std::size_t piece : {0, 7}) {
        for (const std::string picture : {"<img src=dog.jpg>", "<img src=dog.jpg><p>The dog. Photo: A. Snapper</p>"}) {
            const std::string text = article(page(lede, picture), piece);
            EXPECT_TRUE(has(text, "LedeWord")) << text;
            EXPECT_LT(text.find("LedeWord"), text.find("snow sentence")) << text;
            EXPECT_FALSE(has(text, "Imprint")) << text;
        }
    }

    // What stays out: a box of lines that are no sentences (a date, a
    // category), a box with a heading, a box mostly of links, a box of more
    // paragraphs than a summary has, and a summary with a line of its own
    // between it and the text.
    const std::string notLedes[] = {
        "<div class=meta-box><p>DateWord 27.01.2022, Aktuelles</p><p>Experteninterviews, Hunde, Winter und "
        "Schnee im Januar</p></div>",
        "<div class=head-box><h2>HeadingWord over the box</h2><p>The temperatures fell, the first snow came, "
        "and the dogs were out of their minds.</p></div>",
        "<div class=list-box><p><a href=/x>LinkWord one of the other stories on the site today.</a> <a "
        "href=/y>And another story of the site, read it too.</a></p></div>",
        "<div class=many><p>ManyWord one, it is said.</p><p>Two, it is said.</p><p>Three, it is said.</p><p>Four, "
        "it is said.</p></div>",
        lede + "<div class=by>ByWord Anna Writer</div>"};
    const char *words[] = {"DateWord", "HeadingWord", "LinkWord", "ManyWord", "LedeWord"};
    for (std::size_t k = 0; k < std::size(notLedes); ++k) {
        const std::string text = article(page(notLedes[k]));
        EXPECT_FALSE(has(text, words[k])) << words[k] << "\n" << text;
        EXPECT_TRUE(has(text, "snow sentence") && has(text, "cold sentence")) << text;
    }

    // The account names the rule and what it weighed.
    Options options;
    options.kind = quillan::text::Kind::Article;
    options.account = quillan::text::Account::Keep;
    const auto told = testsupport::convertInPieces(page(lede), options).result.article;
    ASSERT_TRUE(told);
    const auto at = std::find_if(told->account.begin(), told->account.end(),
                                 [](const Decision &d) { return d.rule == Rule::Lede; });
    ASSERT_NE(at, told->account.end()) << tell(*told);
    EXPECT_EQ(at->verdict, Verdict::Joined);
    EXPECT_TRUE(at->block.starts_with("div.teaser")) << describe(*at);
}
