// The line and tag rules, byte transparency and independence from how the
// input is cut into chunks.
#include "support/reference_stripper.h"
#include "text/strip/strip_helpers.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace std::string_literals;

TEST(LineAndTagRules, WorkedExampleCarriesTheTagAcrossLines)
{
    const std::string input = "<html><head><title>News</title></head>\r\n"
                              "<body><p>Hello&nbsp;world</p>\r\n"
                              "<a href=\"x.htm\"\r\n"
                              "  class=\"big\">Read more</a>\r\n"
                              "<p>5</p>\r\n"
                              "&nbsp;&nbsp;Price &amp; terms\r\n"
                              "if (a < b) { go(); }\r\n"
                              "</script> x > y";
    EXPECT_EQ(strip(input), "News\r\n"
                            "Hello world\r\n"
                            "Read more\r\n"
                            "Price &amp; terms\r\n"
                            "if (a\r\n"
                            "x  y\r\n");
}

TEST(LineAndTagRules, ShortAndEmptyResultsAreNotWritten)
{
    EXPECT_EQ(strip(""), "");
    EXPECT_EQ(strip("<p>x</p>"), "");
    EXPECT_EQ(strip("<p>xy</p>"), "xy\r\n");
    EXPECT_EQ(strip("<br><hr>\r<img src=a>\r\n"), "");
    EXPECT_EQ(strip("  a  \r"), "");
    EXPECT_EQ(strip("\r\r\r\n\r\n"), "");
}

TEST(LineAndTagRules, NbspIsExactAndReplacedBeforeTags)
{
    EXPECT_EQ(strip("&nbsp;&nbsp;ab"), "ab\r\n");
    EXPECT_EQ(strip("a&nbsp;b"), "a b\r\n");
    EXPECT_EQ(strip("&NBSP;ab"), "&NBSP;ab\r\n");
    EXPECT_EQ(strip("&Nbsp;ab"), "&Nbsp;ab\r\n");
    EXPECT_EQ(strip("x<a&nbsp;b>y"), "xy\r\n");
    // The replacement is not rescanned: "&&nbsp;nbsp;" leaves "& nbsp;".
    EXPECT_EQ(strip("&&nbsp;nbsp;"), "& nbsp;\r\n");
    EXPECT_EQ(strip("&nbsp&nbsp;;"), "&nbsp ;\r\n");
    EXPECT_EQ(strip("ab&nbsp"), "ab&nbsp\r\n");
    // A line end breaks a half-seen entity.
    EXPECT_EQ(strip("a&nb\rsp;b"), "a&nb\r\nsp;b\r\n");
}

TEST(LineAndTagRules, AngleBracketsNeverReachTheOutput)
{
    EXPECT_EQ(strip("5 < 6 and 7 > 3"), "5  3\r\n");
    EXPECT_EQ(strip("a > b > c"), "a  b  c\r\n");
    EXPECT_EQ(strip("<<<>>>ok"), "ok\r\n");
    // A tag over three lines hides the end of the first, all of the second
    // and the start of the third.
    EXPECT_EQ(strip("start<a\rmiddle line\rhref>end"), "start\r\nend\r\n");
    // Script and comment text survives where it has no brackets.
    EXPECT_EQ(strip("<script>var x = 1;</script>\r\n<!-- note -->"), "var x = 1;\r\n");
}

TEST(LineAndTagRules, OnlySpacesAreTrimmed)
{
    EXPECT_EQ(strip("\tab"), "\tab\r\n");
    EXPECT_EQ(strip("ab\t "), "ab\t\r\n");
    EXPECT_EQ(strip("   a   b   "), "a   b\r\n");
    EXPECT_EQ(strip(" <b> ab </b> "), "ab\r\n");
}

TEST(LineAndTagRules, LineEndsAreCrOrCrLfAndLoneLfIsText)
{
    EXPECT_EQ(strip("ab\rcd\r\nef\n\rgh"), "ab\r\ncd\r\nef\n\r\ngh\r\n");
    EXPECT_EQ(strip("<p>one</p>\n<p>two</p>\n"), "one\ntwo\n\r\n");
    EXPECT_EQ(strip("ab\r\r\ncd"), "ab\r\ncd\r\n");
    EXPECT_EQ(strip("ab\n\ncd"), "ab\n\ncd\r\n");
    EXPECT_EQ(strip("\nx"), "\nx\r\n");
}

TEST(LineAndTagRules, LinesOfAnyLengthConvert)
{
    // Far past the old 32,766-character limit, LF-only as pages on Linux are.
    std::string line;
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        line += "<td>cell " + std::to_string(i) + "</td>\n";
        expected += "cell " + std::to_string(i) + "\n";
    }
    EXPECT_EQ(strip(line), expected + "\r\n");
    EXPECT_EQ(strip(std::string(40000, 'x')), std::string(40000, 'x') + "\r\n");
}

TEST(ByteTransparency, EveryKeptByteIsWrittenUnchanged)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        if (b != '<' && b != '>' && b != '\r')
            all.push_back(static_cast<char>(b));
    // Leading and trailing bytes are not spaces, so nothing is trimmed.
    EXPECT_EQ(strip(all), all + "\r\n");
    const std::string odd = "\xff\xfe\x00\x80 caf\xc3\xa9 \xc3\x28"s;
    EXPECT_EQ(strip(odd), odd + "\r\n");
    EXPECT_EQ(strip("a\0b<\0>c"s), "a\0bc\r\n"s);
}

TEST(BufferBoundaries, EverySplitOfTrickyInputsGivesTheSameText)
{
    const std::vector<std::string> inputs = {
        "a&nbsp;b\r\nc&nbsp;d", "x&nbs&nbsp;p;y\r",        "ab\r\ncd\r",
        "<a\r\nb>cd\r\n\r\n",   " a \r\n b b \r\n",        "&nbsp;x&nbsp;\r\n&&nbsp;;",
        "one  two   three\r\n", "<p>x</p>\r\n<p>yy</p>\r", "ab\r\n\ncd",
    };
    for (const std::string &in : inputs) {
        const std::string whole = reference::strip(in);
        for (std::size_t cut = 0; cut <= in.size(); ++cut) {
            std::string out;
            quillan::text::strip::TagStripper s([&out](std::string_view p) { out.append(p); }, 16);
            s.feed(std::string_view(in).substr(0, cut));
            s.feed(std::string_view(in).substr(cut));
            s.finish();
            EXPECT_EQ(out, whole) << "input " << testing::PrintToString(in) << " cut at " << cut;
        }
        EXPECT_EQ(stripChunked(in, {1}, 16), whole);
    }
}

TEST(BufferBoundaries, OutputIsHandedOverInBoundedPieces)
{
    // One long LF-only line: the filter never holds more than its buffer,
    // and long runs of inner spaces come out whole.
    std::size_t largest = 0;
    std::string out;
    quillan::text::strip::TagStripper s(
        [&](std::string_view p) {
            largest = std::max(largest, p.size());
            out.append(p);
        },
        4096);
    const std::string chunk = "<b>word</b>" + std::string(10000, ' ') + "more\n";
    std::string whole;
    for (int i = 0; i < 200; ++i) {
        s.feed(chunk);
        whole += chunk;
    }
    s.finish();
    EXPECT_LE(largest, 4096u);
    EXPECT_EQ(out, reference::strip(whole));
}

// Random inputs built from the bytes that matter, cut at random sizes, must
// match the plain whole-input version.
TEST(RandomisedComparison, StreamingMatchesTheReference)
{
    const std::vector<std::string> atoms = {
        "<",     ">",    "&nbsp;", "&nbsp", "&",  "\r",   "\n",   "\r\n",
        " ",     "  ",   "\t",     "a",     "bc", "\xe9", "\xff", std::string(1, '\0'),
        "nbsp;", "&amp;"};
    std::mt19937 rng(20261207);
    for (int round = 0; round < 20000; ++round) {
        std::string input;
        const int parts = std::uniform_int_distribution<int>(0, 60)(rng);
        for (int i = 0; i < parts; ++i)
            input += atoms[std::uniform_int_distribution<std::size_t>(0, atoms.size() - 1)(rng)];
        std::vector<std::size_t> sizes;
        for (int i = 0; i < 8; ++i)
            sizes.push_back(std::uniform_int_distribution<std::size_t>(1, 9)(rng));
        const std::size_t outBuffer = std::uniform_int_distribution<std::size_t>(16, 64)(rng);
        ASSERT_EQ(stripChunked(input, sizes, outBuffer), reference::strip(input))
            << "input " << testing::PrintToString(input);
    }
}

} // namespace
