// Markdown's pieces: text escaped exactly where a mark would otherwise
// open, code fences longer than the code's own backticks, a code block's
// language from its class, and link destinations that read back whole.
#include "text/readable/markdown_syntax.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace quillan::text::readable;

std::string escaped(std::string_view word, bool blockStart = false)
{
    std::string out;
    AppendEscaped(out, word, blockStart);
    return out;
}

TEST(MarkdownSyntax, TextIsEscapedWhereAMarkWouldOpen)
{
    // What opens or closes something anywhere.
    EXPECT_EQ(escaped("a*b"), "a\\*b");
    EXPECT_EQ(escaped("[x]"), "\\[x\\]");
    EXPECT_EQ(escaped("`code`"), "\\`code\\`");
    EXPECT_EQ(escaped("<div>"), "\\<div>");
    EXPECT_EQ(escaped("C:\\dir"), "C:\\\\dir");
    EXPECT_EQ(escaped("~~gone~~"), "\\~\\~gone\\~\\~");
    // Underscores only at a word's edge; ampersands only before what would
    // read as a character reference.
    EXPECT_EQ(escaped("snake_case_name"), "snake_case_name");
    EXPECT_EQ(escaped("_under_"), "\\_under\\_");
    EXPECT_EQ(escaped("a&-b"), "a&-b");
    EXPECT_EQ(escaped("&amp;"), "\\&amp;");
    EXPECT_EQ(escaped("&#123;"), "\\&#123;");
    EXPECT_EQ(escaped("&x-y"), "&x-y");
    // A word's end may not be its end: the next piece may go on as "amp;".
    EXPECT_EQ(escaped("AT&"), "AT\\&");
    EXPECT_EQ(escaped("&x"), "\\&x");
    // At a block's start: headings, quotes, list items, setext underlines.
    EXPECT_EQ(escaped("#", true), "\\#");
    EXPECT_EQ(escaped("###", true), "\\###");
    EXPECT_EQ(escaped("#tag", true), "#tag");
    EXPECT_EQ(escaped(">", true), "\\>");
    EXPECT_EQ(escaped("-", true), "\\-");
    EXPECT_EQ(escaped("---", true), "\\---");
    EXPECT_EQ(escaped("-x", true), "-x");
    EXPECT_EQ(escaped("+", true), "\\+");
    EXPECT_EQ(escaped("==", true), "\\==");
    EXPECT_EQ(escaped("1.", true), "1\\.");
    EXPECT_EQ(escaped("2024)", true), "2024\\)");
    EXPECT_EQ(escaped("3.5", true), "3.5");
    EXPECT_EQ(escaped("1234567890.", true), "1234567890.");
    // Elsewhere in a line they are text.
    EXPECT_EQ(escaped("#"), "#");
    EXPECT_EQ(escaped("1."), "1.");
    EXPECT_EQ(escaped("-"), "-");
    // A block's first word in pieces: the number's end, after its start.
    EXPECT_EQ(BlockStartEscapeAfter("1", "."), 0u);
    EXPECT_EQ(BlockStartEscapeAfter("1", "2)"), 1u);
    EXPECT_EQ(BlockStartEscapeAfter("12345678", "90."), std::string_view::npos);
    EXPECT_EQ(BlockStartEscapeAfter("1", ".5"), std::string_view::npos);
    EXPECT_EQ(BlockStartEscapeAfter("a1", "."), std::string_view::npos);
    EXPECT_EQ(BlockStartEscapeAfter("", "1."), std::string_view::npos);
}

TEST(MarkdownSyntax, ABareAddressStaysText)
{
    // GitHub's Markdown makes a link of www. and of http://, https:// and
    // ftp:// (in any case) before a host: one character escaped breaks it.
    EXPECT_EQ(escaped("www.example.org"), "www\\.example.org");
    EXPECT_EQ(escaped("(www.x.org)"), "(www\\.x.org)");
    EXPECT_EQ(escaped("www.-x"), "www\\.-x");
    EXPECT_EQ(escaped("http://x.org/a"), "http\\://x.org/a");
    EXPECT_EQ(escaped("HTTPS://x"), "HTTPS\\://x");
    EXPECT_EQ(escaped("x:ftp://h,1http://h"), "x:ftp\\://h,1http\\://h");
    EXPECT_EQ(escaped("\xC3\xA9http://\xC3\xA9.org"), "\xC3\xA9http\\://\xC3\xA9.org");
    // Where none would be made: after a letter, without a host, with
    // another scheme, and in a link's or an image's text.
    EXPECT_EQ(escaped("xwww.x.org"), "xwww.x.org");
    EXPECT_EQ(escaped("Www.x.org"), "Www.x.org");
    EXPECT_EQ(escaped("www."), "www.");
    EXPECT_EQ(escaped("www._x"), "www.\\_x");
    EXPECT_EQ(escaped("xhttp://h"), "xhttp://h");
    EXPECT_EQ(escaped("http://"), "http://");
    EXPECT_EQ(escaped("http://-h"), "http://-h");
    EXPECT_EQ(escaped("gopher://h"), "gopher://h");
    std::string inLink;
    AppendEscaped(inLink, "http://x.org", false, true);
    AppendEscaped(inLink, "www.x.org", false, true);
    EXPECT_EQ(inLink, "http://x.orgwww.x.org");
    // (And at a block's start both escapes hold.)
    EXPECT_EQ(escaped("www.1.", true), "www\\.1.");
}

TEST(MarkdownSyntax, TheReferencesItWroteAreFoundWhole)
{
    const std::string written = "a" + escaped("\x1E") + "b";
    EXPECT_EQ(written, "a&#x1E;b");
    EXPECT_EQ(WrittenReferenceBefore(written, 7), 6u);
    EXPECT_EQ(WrittenReferenceBefore(written, 6), 0u);
    EXPECT_EQ(WrittenReferenceBefore("&#xFEFF;", 8), 8u);
    EXPECT_EQ(WrittenReferenceBefore("\\\\&#x1F;", 8), 6u);
    // Escaped, it is the page's text; &#x; and &x1E; are none.
    EXPECT_EQ(WrittenReferenceBefore(escaped("&#x1E;"), 7), 0u);
    EXPECT_EQ(WrittenReferenceBefore("&#x;", 4), 0u);
    EXPECT_EQ(WrittenReferenceBefore("&x1E;", 5), 0u);
}

TEST(MarkdownSyntax, WordsSaidToNeedNoEscapeAreWrittenAsTheyAre)
{
    // Words from pieces that are escaped somewhere (or only at a block's
    // start, in a link's text, beside letters), put together in twos.
    constexpr std::string_view pieces[] = {
        "word", "",     "1.",       "2)",   "#",     "##",   "-",   "=",    "+",    ">",     "_",
        "a_b",  "*",    "`",        "\\",   "[",     "]",    "<",   "~",    "&",    "&amp;", "&x",
        ".",    ":",    "www",      "www.", "www.a", "http", "://", "://x", "ftp:", "//x",   "\xEF\xBB\xBF",
        "\x1E", "\x1F", "\xC3\xA4", "(",    "!",     "|",    "'",   "a.b",  "x:y"};
    for (const std::string_view first : pieces)
        for (const std::string_view second : pieces) {
            const std::string word = std::string(first) + std::string(second);
            for (const bool blockStart : {false, true})
                for (const bool linkText : {false, true}) {
                    std::string out;
                    AppendEscaped(out, word, blockStart, linkText);
                    EXPECT_TRUE(!NeedsNoEscape(word, blockStart, linkText) || out == word)
                        << word << " block start " << blockStart << " link text " << linkText;
                }
        }
    // And most words are found so.
    for (const std::string_view word : {"word", "a.b", "x:y", "1.5", "\xC3\xA4", "(a)", "!", "it's"})
        EXPECT_TRUE(NeedsNoEscape(word, true) && NeedsNoEscape(word, false)) << word;
}

TEST(MarkdownSyntax, FencesLanguagesAndDestinations)
{
    EXPECT_EQ(LongestBacktickRun("no ticks"), 0u);
    EXPECT_EQ(LongestBacktickRun("a ` b ``` c ``"), 3u);

    EXPECT_EQ(CodeLanguage("language-cpp"), "cpp");
    EXPECT_EQ(CodeLanguage("hljs lang-js other"), "js");
    EXPECT_EQ(CodeLanguage("language-"), "");
    EXPECT_EQ(CodeLanguage("highlight"), "");
    EXPECT_EQ(CodeLanguage("language-a`b"), "");

    const auto destination = [](std::string_view address) {
        std::string out;
        AppendLinkDestination(out, address);
        return out;
    };
    EXPECT_EQ(destination("https://example.org/a?b=c"), "https://example.org/a?b=c");
    EXPECT_EQ(destination("page (1).html"), "<page (1).html>");
    EXPECT_EQ(destination("a<b>c"), "<a%3Cb%3Ec>");
    EXPECT_EQ(destination("line\nbreak"), "line%0Abreak");
    EXPECT_EQ(destination(""), "<>");
    // Each byte that brackets or is encoded, alone in an address.
    EXPECT_EQ(destination("a\\b"), "a%5Cb");
    EXPECT_EQ(destination("a\x7f\x01"
                          "b"),
              "a%7F%01b");
    EXPECT_EQ(destination("a)b"), "<a)b>");
    EXPECT_EQ(destination("a>b"), "<a%3Eb>");

    EXPECT_EQ(InlineMarkOf("em"), InlineMark::Emphasis);
    EXPECT_EQ(InlineMarkOf("b"), InlineMark::Strong);
    EXPECT_EQ(InlineMarkOf("s"), InlineMark::Strikethrough);
    EXPECT_EQ(InlineMarkOf("kbd"), InlineMark::Code);
    EXPECT_EQ(InlineMarkOf("span"), InlineMark::None);
    EXPECT_EQ(OpeningOf(InlineMark::Link), "[");
    EXPECT_EQ(ClosingOf(InlineMark::Link), "]");
}

} // namespace
