// The readable conversion from bytes to text: decoding on the way in, the
// same text wherever the input is cut, and the converter's file and failure
// rules (a text file replaced only by a complete text, failures naming the
// path).
#include "convert/conversion_test_helpers.h"
#include "convert/converter.h"
#include "support/converted_text.h"
#include "support/files.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <set>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

namespace {

using namespace testsupport;
using quillan::convert::ConversionError;
using quillan::convert::convertHtmlFile;
using quillan::text::Kind;

// The readable text's options, with links and width as given.
quillan::text::Options readableOptions(bool links = false, std::size_t width = 0)
{
    quillan::text::Options options;
    options.kind = Kind::Readable;
    options.links = links;
    options.width = width;
    return options;
}

// The readable text of htmlPath into its text path, which is returned.
std::filesystem::path convertReadableHtmlFile(const std::filesystem::path &htmlPath)
{
    const std::filesystem::path textPath = quillan::convert::textPathFor(htmlPath);
    convertHtmlFile(htmlPath, textPath, readableOptions());
    return textPath;
}
void convertReadableHtmlFile(const std::filesystem::path &htmlPath, const std::filesystem::path &textPath)
{
    convertHtmlFile(htmlPath, textPath, readableOptions());
}

// The text of `page` fed in pieces of `piece` bytes (0: whole).
std::string readable(std::string_view page, std::size_t piece = 0,
                     const quillan::text::Options &options = readableOptions())
{
    return convertInPieces(page, options, piece).text;
}

TEST(ReadableText, DecodesTokenizesAndRenders)
{
    EXPECT_EQ(readable("<!DOCTYPE html><title>T</title><p>caf&eacute; &amp; &lt;tea&gt;</p>\r\n<p>two\r\nlines</p>"),
              "caf\xC3\xA9 & <tea>\n\ntwo lines\n");
    // Script and style text never shows, whatever it holds.
    EXPECT_EQ(readable("<script>document.write('<p>no</p>')</script><style>p{}</style>yes"), "yes\n");
    EXPECT_EQ(readable("<textarea><b>kept</b></textarea>"), "<b>kept</b>\n");
    EXPECT_EQ(readable("a<!-- <p>comment</p> -->b"), "ab\n");
    EXPECT_EQ(readable("<plaintext><p>as is\n</p>"), "<p>as is\n</p>\n");
    // Legacy pages come out as UTF-8: windows-1252 when not UTF-8, the meta
    // declaration, the HTTP charset above both.
    EXPECT_EQ(readable("<p>na\xEFve</p>"), "na\xC3\xAFve\n");
    EXPECT_EQ(readable("<meta charset=koi8-r><p>\xF0\xD2\xC9\xD7\xC5\xD4</p>"),
              "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n");
    quillan::text::Options latin1 = readableOptions();
    latin1.httpCharset = "iso-8859-1";
    EXPECT_EQ(readable("<meta charset=utf-8><p>\xC3\xA9</p>", 0, latin1), "\xC3\x83\xC2\xA9\n");
    EXPECT_EQ(readable("\xEF\xBB\xBF<p>bom</p>"), "bom\n");
    // CDATA in svg and math is text, elsewhere a comment.
    EXPECT_EQ(readable("a<![CDATA[x]]>b<math><mi><![CDATA[y]]></mi></math>"), "aby\n");
}

TEST(ReadableText, TheSameTextWhereverTheInputIsCut)
{
    const std::string page =
        "<!DOCTYPE html><html><head><meta charset=\"windows-1252\"><title>x</title>"
        "<style>.ad{display:none} /* c */ #n{visibility:hidden}</style><script>if (a < b) { x = \"</p>\"; }</script>"
        "</head><body><h1>Caf\xE9 &eacute;&amp;&#233;&#x263A;&notin &notit;</h1><p class=ad>advert</p>"
        "<ul><li>one<li>two <a href=\"/x?a=1&amp;b=2\">link</a></ul><pre>\r\n  pre  \r\n</pre>"
        "<table><tr><td>a<td>b<tr><td>c</table><div id=n>n</div><svg><title>t</title></svg>"
        "<!-- comment --><textarea>\n&lt;t&gt;</textarea>end</body></html>";
    quillan::text::Options options = readableOptions();
    options.links = true;
    options.width = 12;
    const std::string whole = readable(page, 0, options);
    EXPECT_NE(whole.find("Caf\xC3\xA9"), std::string::npos);
    EXPECT_EQ(whole.find("advert"), std::string::npos);
    EXPECT_NE(whole.find("link[1]"), std::string::npos);
    for (std::size_t piece = 1; piece <= 7; ++piece)
        EXPECT_EQ(readable(page, piece, options), whole) << "pieces of " << piece;
    // Cut once at every place.
    for (std::size_t cut = 1; cut < page.size(); ++cut) {
        StringSink out;
        const auto text = quillan::text::makeConverter(options, out);
        text->feed(std::string_view(page).substr(0, cut));
        text->feed(std::string_view(page).substr(cut));
        text->finish();
        ASSERT_EQ(out.text, whole) << "cut at " << cut;
    }
}

std::string bigPage(int paragraphs)
{
    std::string page = "<!DOCTYPE html><body>";
    for (int i = 0; i < paragraphs; ++i)
        page += "<p>paragraph " + std::to_string(i) + " with <b>some</b> words in it</p>\n";
    return page;
}

TEST(ReadableFiles, ConvertsBesideTheInputByTheTextPathRule)
{
    TempDir dir;
    writeFile(dir / "report.final.html", "<p>first</p><p>second</p>");
    EXPECT_EQ(convertReadableHtmlFile(dir / "report.final.html"), dir / "report.TXT");
    EXPECT_EQ(readFile(dir / "report.TXT"), "first\n\nsecond\n");
    // An old text is replaced; an explicit path is honoured.
    writeFile(dir / "report.final.html", "<p>new</p>");
    convertReadableHtmlFile(dir / "report.final.html");
    EXPECT_EQ(readFile(dir / "report.TXT"), "new\n");
    convertReadableHtmlFile(dir / "report.final.html", dir / "other.txt");
    EXPECT_EQ(readFile(dir / "other.txt"), "new\n");
    // An empty page gives an empty text.
    writeFile(dir / "empty.html", "<html><head><title>t</title></head></html>");
    convertReadableHtmlFile(dir / "empty.html");
    EXPECT_EQ(readFile(dir / "empty.TXT"), "");
}

TEST(ReadableFiles, FailuresLeaveNoTextAndKeepThePreviousOne)
{
    TempDir dir;
    const auto missing = dir / "missing.html";
    expectConversionFailure([&] { convertReadableHtmlFile(missing); }, missing.string(), "No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.TXT"));

    std::filesystem::create_directory(dir / "folder.html");
    expectConversionFailure([&] { convertReadableHtmlFile(dir / "folder.html"); }, (dir / "folder.html").string(),
                            "Is a directory");

    // Never onto itself, by name or by link.
    writeFile(dir / "self.html", "<p>page</p>");
    std::filesystem::create_symlink("self.html", dir / "link.txt");
    expectConversionFailure([&] { convertReadableHtmlFile(dir / "self.html", dir / "link.txt"); },
                            (dir / "self.html").string());
    EXPECT_EQ(readFile(dir / "self.html"), "<p>page</p>");

    // A read error keeps the previous text, and no fresh file is left.
    writeFile(dir / "page.TXT", "yesterday\n");
    expectConversionFailure([&] { convertReadableHtmlFile("/proc/self/mem", dir / "page.TXT"); }, "/proc/self/mem");
    EXPECT_EQ(readFile(dir / "page.TXT"), "yesterday\n");

    // A device is written as it is: a full one fails.
    writeFile(dir / "big.html", bigPage(20000));
    if (std::filesystem::exists("/dev/full"))
        expectConversionFailure([&] { convertReadableHtmlFile(dir / "big.html", "/dev/full"); }, "/dev/full",
                                "No space left on device");

    // A write failing midway (files may not grow past 4 KiB in the child)
    // removes the partial text and keeps the old one.
    writeFile(dir / "big.TXT", "an earlier text\n");
    const ChildResult child = runInChild([&]() -> std::string {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {
            4096, 4096
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            convertReadableHtmlFile(dir / "big.html");
        } catch (const ConversionError &e) {
            return e.path() + ": " + e.reason();
        }
        return "no failure";
    });
    ASSERT_TRUE(child.completed);
    EXPECT_EQ(child.output, (dir / "big.TXT").string() + ": File too large");
    EXPECT_EQ(readFile(dir / "big.TXT"), "an earlier text\n");
    EXPECT_EQ(fileNames(dir.path()),
              (std::set<std::string>{"big.TXT", "big.html", "folder.html", "link.txt", "page.TXT", "self.html"}));
}

TEST(ReadableFiles, StreamsBetweenOpenFiles)
{
    TempDir dir;
    writeFile(dir / "in.html", bigPage(3000));
    const int in = ::open((dir / "in.html").c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open((dir / "out.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(in, 0);
    ASSERT_GE(out, 0);
    quillan::convert::convertStream(in, out, "in", "out", readableOptions());
    ::close(in);
    ::close(out);
    const std::string text = readFile(dir / "out.txt");
    EXPECT_EQ(text.substr(0, 38), "paragraph 0 with some words in it\n\npar");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 * 3000 - 1);

    const int closed = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(closed);
    expectConversionFailure(
        [&] { quillan::convert::convertStream(closed, STDOUT_FILENO, "gone", "out", readableOptions()); }, "gone",
        "Bad file descriptor");
}

} // namespace
