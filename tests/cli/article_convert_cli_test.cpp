// quillan-convert --article end to end: files, standard streams, -o, the
// options that go with it.
#include "cli/convert_tool.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

const std::string kPage =
    "<title>Night trains return | Rail Site</title><nav><a href=/a>MenuWord</a> <a href=/b>Other</a></nav>"
    "<div class=article><h1>Night trains return</h1><p>The sleeper service runs again from May, with new cars, "
    "quieter berths and a <a href=\"https://example.org/map\">route map</a> that covers the whole line.</p>"
    "<p>Tickets go on sale next week, and the first trains are already, by all accounts, nearly full.</p></div>"
    "<footer>FooterWord, all rights reserved</footer>";

const std::string kText = "Night trains return\n\nThe sleeper service runs again from May, with new cars, quieter "
                          "berths and a route map that covers the whole line.\n\nTickets go on sale next week, and "
                          "the first trains are already, by all accounts, nearly full.\n";

TEST(ArticleCommandLine, FilesStreamsAndOutputPaths)
{
    TempDir dir;
    writeFile(dir / "a.html", kPage);
    ProcessResult r = runConvertTool(dir, {"--article", "a.html"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(dir / "a.TXT"), kText);

    EXPECT_EQ(runConvertTool(dir, {"--article"}, kPage).out, kText);
    EXPECT_EQ(runConvertTool(dir, {"--article", "-"}, kPage).out, kText);
    EXPECT_EQ(runConvertTool(dir, {"--article", "-o", "-", "a.html"}).out, kText);
    r = runConvertTool(dir, {"-o", "out.txt", "--article"}, kPage);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir / "out.txt"), kText);
    // The readable mode still gives everything.
    const std::string all = runConvertTool(dir, {"--readable"}, kPage).out;
    EXPECT_NE(all.find("MenuWord"), std::string::npos);
    EXPECT_NE(all.find("FooterWord"), std::string::npos);
}

TEST(ArticleCommandLine, LinksAndWidthGoWithIt)
{
    TempDir dir;
    ProcessResult r = runConvertTool(dir, {"--article", "--links"}, kPage);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("route map[1]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("References\n\n1. https://example.org/map\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("/a"), std::string::npos) << r.out;
    r = runConvertTool(dir, {"--article", "--width", "40"}, kPage);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Night trains return\n\nThe sleeper service runs again from May,\n", 0), 0u) << r.out;

    const ProcessResult help = runConvertTool(dir, {"--help"});
    EXPECT_NE(help.out.find("--article"), std::string::npos);
    r = runConvertTool(dir, {"--article", "--width", "wide"}, kPage);
    EXPECT_EQ(r.status, 2);
}

TEST(ArticleCommandLine, VerboseTellsWhatEachPageGaveOnStandardErrorOnly)
{
    TempDir dir;
    writeFile(dir / "a.html", kPage);
    // Its characters: the heading's and the paragraphs', white space not counted.
    const std::string told = "the article, 188 characters; title: Night trains return\n";
    ProcessResult r = runConvertTool(dir, {"--article", "--verbose", "a.html", "-o", "out.txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(withoutAccounts(r.err), "quillan-convert: a.html: " + told);
    EXPECT_EQ(readFile(dir / "out.txt"), kText);
    r = runConvertTool(dir, {"-v", "--article"}, kPage);
    EXPECT_EQ(r.out, kText);
    EXPECT_EQ(withoutAccounts(r.err), "quillan-convert: standard input: " + told);
    // A listing without prose, and a page with nothing to choose.
    std::string listing = "<title>Shop</title><div class=grid>";
    for (int i = 0; i < 4; ++i)
        listing += "<div class=item><h3>Item " + std::to_string(i) + "</h3><span>Price " + std::to_string(10 + i) +
                   "</span><div>Blue cotton</div></div>";
    EXPECT_EQ(withoutAccounts(runConvertTool(dir, {"--article", "-v"}, listing + "</div>").err),
              "quillan-convert: standard input: no article: the largest content region, 88 characters; "
              "title: Shop\n");
    EXPECT_EQ(runConvertTool(dir, {"--article", "-v"}, "").err,
              "quillan-convert: standard input: nothing chosen: the whole body\n");
    // A failed input tells only its failure.
    r = runConvertTool(dir, {"--article", "-v", "missing.html"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quillan-convert: missing.html: No such file or directory\n");

    // In an archive, each converted record by its offset and address.
    const std::string http = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + kPage;
    const std::string record = "WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: http://site.test/night\r\n"
                               "Content-Type: application/http; msgtype=response\r\nContent-Length: " +
                               std::to_string(http.size()) + "\r\n\r\n" + http + "\r\n\r\n";
    writeFile(dir / "pages.warc", record + record);
    r = runConvertTool(dir, {"--warc", "--article", "-v", "-q", "pages.warc", "-o", "texts.wet"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("quillan-convert: pages.warc: record at offset 0 (http://site.test/night): " + told), 0u)
        << r.err;
    EXPECT_NE(r.err.find("quillan-convert: pages.warc: record at offset " + std::to_string(record.size()) +
                         " (http://site.test/night): " + told),
              std::string::npos)
        << r.err;

    // It goes with --article only.
    EXPECT_EQ(runConvertTool(dir, {"--readable", "-v"}, kPage).status, 2);
    EXPECT_EQ(runConvertTool(dir, {"-v", "a.html"}).status, 2);
}

TEST(ArticleCommandLine, VerboseTellsTheRulesThatDecidedUnderEachPage)
{
    TempDir dir;
    const std::string page =
        "<title>Harbour tides | Coast News</title><div><div id=sidebar class=widget><h3>Popular</h3>"
        "<p>SidebarWord: cheap flights everywhere, all summer long, book now and save.</p></div>"
        "<ul class=toc><li><a href=/one>Chapter one</a><li><a href=/two>Chapter two</a></ul>"
        "<article><h1>Harbour tides</h1><p>The tides at the harbour rose higher this winter than in any year "
        "since the records began, and the quay flooded twice.</p><p>Engineers, called in by the council, "
        "propose a wall, a gate and, later, a pump house.</p><p>The work would start in spring, once the storms "
        "have passed, and take, by their reckoning, two years.</p><ul><li><a href=/a>LinkOne here</a><li><a "
        "href=/b>LinkTwo there</a></ul></article></div>";
    writeFile(dir / "tides.html", page);
    const ProcessResult r = runConvertTool(dir, {"--article", "-v", "-o", "-", "tides.html"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, runConvertTool(dir, {"--article", "-o", "-", "tides.html"}).out);
    // The first line as before; then a line a decision, naming its block.
    EXPECT_EQ(r.err.rfind("quillan-convert: tides.html: the article, ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("; title: Harbour tides\n  "), std::string::npos) << r.err;
    const auto line = [&r](std::string_view start) {
        const std::size_t at = r.err.find("\n  " + std::string(start));
        return at == std::string::npos ? std::string() : r.err.substr(at + 3, r.err.find('\n', at + 1) - at - 3);
    };
    const std::string sidebar = line("set aside: div#sidebar.widget");
    EXPECT_NE(sidebar.find("SidebarWord"), std::string::npos) << r.err;
    EXPECT_NE(sidebar.find("its names"), std::string::npos) << r.err;
    EXPECT_NE(sidebar.find("sidebar (boilerplate)"), std::string::npos) << r.err;
    const std::string chosen = line("chosen: article");
    EXPECT_NE(chosen.find("\"Harbour tides The tides"), std::string::npos) << r.err;
    EXPECT_NE(chosen.find("the best score"), std::string::npos) << r.err;
    EXPECT_NE(line("dropped: ul \"LinkOne here LinkTwo there\" (mostly links").find("100%"), std::string::npos)
        << r.err;
    EXPECT_NE(line("title: h1 \"Harbour tides\""), "") << r.err;
    // Without -v, nothing.
    EXPECT_EQ(runConvertTool(dir, {"--article", "tides.html"}).err, "");
}

TEST(ArticleCommandLine, MetadataTitleIsTheArticlesFirstLine)
{
    TempDir dir;
    // The share card's title is a teaser; the article shows the heading.
    const std::string page = "<meta property=\"og:title\" content=\"Sleeper trains: all you need to know\">" + kPage;
    ProcessResult r = runConvertTool(dir, {"--article", "--format", "json"}, page);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"title\": \"Night trains return\",\n"), std::string::npos) << r.out;
    r = runConvertTool(dir, {"--article", "--metadata"}, page);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("---\ntitle: \"Night trains return\"\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("---\n" + kText), std::string::npos) << r.out;
    // The readable text has no title of its own: the page's metadata gives it.
    r = runConvertTool(dir, {"--readable", "--format", "json"}, page);
    EXPECT_NE(r.out.find("\"title\": \"Sleeper trains: all you need to know\",\n"), std::string::npos) << r.out;
    // An article that shows no title line leaves the page's own.
    r = runConvertTool(dir, {"--article", "--format", "json"},
                       "<meta property=\"og:title\" content=\"Untitled notes\"><p>Only a few words here.</p>");
    EXPECT_NE(r.out.find("\"title\": \"Untitled notes\",\n"), std::string::npos) << r.out;
}

} // namespace
