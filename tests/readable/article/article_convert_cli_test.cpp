// quillan-convert --article end to end: files, standard streams, -o, the
// options that go with it.
#include "conversion/convert_tool.h"
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

} // namespace
