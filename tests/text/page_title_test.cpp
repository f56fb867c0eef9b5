// A page's title as a browser's title bar shows it, found in the page's own
// encoding and never inside a script, a style sheet, a comment or a drawing.
#include "text/page_title.h"

#include "support/files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using quillan::text::pageTitle;

TEST(PageTitle, IsTheFirstTitleWithReferencesResolvedAndSpacesFolded)
{
    EXPECT_EQ(pageTitle("<html><head><title>News</title></head><body>x</body></html>"), "News");
    EXPECT_EQ(pageTitle("<TITLE lang=en>\r\n  Fish &amp; chips&nbsp;&lt;today&gt; \t\n</TITLE>"),
              "Fish & chips\u00a0<today>");
    EXPECT_EQ(pageTitle("<title>First</title><title>Second</title>"), "First");
    // In RCDATA a tag is text, as a browser reads it.
    EXPECT_EQ(pageTitle("<title>a <b>bold</b> word</title>"), "a <b>bold</b> word");
    // Not closed before the page ends: what there is.
    EXPECT_EQ(pageTitle("<title>Cut short"), "Cut short");
    EXPECT_EQ(pageTitle("<title> \r\n </title>"), "");
    EXPECT_EQ(pageTitle("<p>No title here</p>"), "");
    EXPECT_EQ(pageTitle(""), "");
}

TEST(PageTitle, IsNotTakenFromScriptsStylesCommentsOrDrawings)
{
    EXPECT_EQ(pageTitle("<script>document.write('<title>fake</title>')</script><title>Real</title>"), "Real");
    EXPECT_EQ(pageTitle("<style>/* <title>fake</title> */</style><title>Real</title>"), "Real");
    EXPECT_EQ(pageTitle("<!-- <title>fake</title> --><title>Real</title>"), "Real");
    EXPECT_EQ(pageTitle("<svg><title>Circle</title><svg><title>x</title></svg></svg><title>Real</title>"), "Real");
    EXPECT_EQ(pageTitle("<svg/><title>After</title>"), "After");
    EXPECT_EQ(pageTitle("<textarea><title>fake</title></textarea><title>Real</title>"), "Real");
    EXPECT_EQ(pageTitle("<plaintext><title>fake</title>"), "");
}

TEST(PageTitle, IsDecodedByThePagesEncoding)
{
    // windows-1252 bytes, undeclared: not UTF-8, so read as windows-1252.
    EXPECT_EQ(pageTitle("<title>Caf\xe9 \x80</title>"), "Caf\u00e9 \u20ac");
    EXPECT_EQ(pageTitle("<title>Caf\xc3\xa9</title>"), "Caf\u00e9");
    EXPECT_EQ(pageTitle("<meta charset=koi8-r><title>\xf0\xd2\xc9\xd7\xc5\xd4</title>"),
              "\u041f\u0440\u0438\u0432\u0435\u0442");
    EXPECT_EQ(pageTitle("<title>\xf0\xd2\xc9</title>", "koi8-r"), "\u041f\u0440\u0438");
    EXPECT_EQ(pageTitle(std::string("\xff\xfe<\0t\0i\0t\0l\0e\0>\0O\0K\0<\0/\0t\0i\0t\0l\0e\0>\0", 36)), "OK");
}

TEST(PageTitle, ReadsOnlyTheStartOfAPageAndCutsALongTitle)
{
    const std::string filler(quillan::text::kTitleScanBytes, ' ');
    EXPECT_EQ(pageTitle(filler + "<title>Too far</title>"), "");
    EXPECT_EQ(pageTitle(filler.substr(100) + "<title>Near</title>"), "Near");

    // Cut at the bound, never inside a character (two-byte e-acute).
    std::string long_;
    while (long_.size() < 2 * quillan::text::kMaxTitleBytes)
        long_ += "a\u00e9";
    const std::string title = pageTitle("<title>" + long_ + "</title>");
    EXPECT_LE(title.size(), quillan::text::kMaxTitleBytes);
    EXPECT_GE(title.size(), quillan::text::kMaxTitleBytes - 1);
    EXPECT_EQ(long_.compare(0, title.size(), title), 0);
}

TEST(PageTitle, OfAFile)
{
    testsupport::TempDir dir;
    const auto page = testsupport::writeFile(dir / "page.html", "<html><head><title>On disk</title>");
    EXPECT_EQ(quillan::text::pageTitleOfFile(page), "On disk");
    EXPECT_EQ(quillan::text::pageTitleOfFile(dir / "missing.html"), "");
    std::string big(3 * quillan::text::kTitleScanBytes, 'x');
    big += "<title>Far</title>";
    EXPECT_EQ(quillan::text::pageTitleOfFile(testsupport::writeFile(dir / "big.html", big)), "");
}

} // namespace
