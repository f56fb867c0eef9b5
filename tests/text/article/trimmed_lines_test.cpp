// The article's lines without white space at their ends, whatever the pieces
// the text comes in.
#include "text/article/trimmed_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using quillan::text::article::TrimmedLines;

class StringSink final : public quillan::text::readable::TextSink {
public:
    void write(std::string_view utf8) override { text.append(utf8); }
    std::string text;
};

// The text written in pieces cut at `cuts` (byte offsets, ascending).
std::string trimmed(std::string_view text, std::initializer_list<std::size_t> cuts = {})
{
    StringSink out;
    TrimmedLines lines(out);
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        lines.write(text.substr(from, cut - from));
        from = cut;
    }
    lines.write(text.substr(from));
    return out.text;
}

constexpr std::string_view kNbsp = "\xC2\xA0", kIdeographicSpace = "\xE3\x80\x80", kEmSpace = "\xE2\x80\x83";

TEST(TrimmedLines, EndsOfLinesLoseTheirWhiteSpace)
{
    const std::string nbsp(kNbsp), wide(kIdeographicSpace), em(kEmSpace);
    EXPECT_EQ(trimmed("A sentence." + nbsp + " \n"), "A sentence.\n");
    EXPECT_EQ(trimmed(nbsp + nbsp + "indented\n" + wide + "para\n"), "indented\npara\n");
    EXPECT_EQ(trimmed("a\t" + em + "\n\nb" + nbsp), "a\n\nb");
    // Inside a line it stays; spaces and tabs at a line's start stay (a
    // code block's indent, a row's empty first cell).
    EXPECT_EQ(trimmed("one" + nbsp + "two\n    code\n\tcell\n"), "one" + nbsp + "two\n    code\n\tcell\n");
    // A line of white space only becomes empty.
    EXPECT_EQ(trimmed("a\n" + nbsp + " \t\nb\n"), "a\n\nb\n");
}

TEST(TrimmedLines, PiecesDoNotMatter)
{
    const std::string text = "x" + std::string(kNbsp) + " \n" + std::string(kIdeographicSpace) + "y" +
                             std::string(kEmSpace) + "z" + std::string(kNbsp) + "\n\tw \n";
    const std::string whole = trimmed(text);
    EXPECT_EQ(whole, "x\ny" + std::string(kEmSpace) + "z\n\tw\n");
    for (std::size_t a = 0; a <= text.size(); ++a)
        for (std::size_t b = a; b <= text.size(); ++b)
            ASSERT_EQ(trimmed(text, {a, b}), whole) << "cut at " << a << " and " << b;
}

} // namespace
