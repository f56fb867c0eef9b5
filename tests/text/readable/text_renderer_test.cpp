// The renderer fed tokens directly: layout of blocks, lines, tables, lists
// and kept white space; what is hidden; the open-element stack's implied
// ends; links and wrapping; the states it asks of the tokenizer; bounded
// memory on deep or long pages.
#include "token_script.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using quillan::text::readable::RenderOptions;
using quillan::text::readable::TextRenderer;
using quillan::text::readable::TextState;
using testing_readable::render;
using testing_readable::StringSink;

namespace {

// Each page of `cases` renders, in one piece, as its text.
void expectRenders(std::initializer_list<std::pair<std::string_view, std::string_view>> cases)
{
    for (const auto &[page, text] : cases)
        EXPECT_EQ(render(page), text) << "page: " << page;
}

TEST(TextRenderer, BlocksParagraphsHeadingsAndBreaks)
{
    expectRenders({
        {"<div>a</div><div>b</div>", "a\nb\n"},
        {"<div><div>a</div></div><div>b</div>", "a\nb\n"},
        {"<p>a</p><p>b</p>", "a\n\nb\n"},
        {"x<h1>T</h1>y", "x\n\nT\n\ny\n"},
        {"<p>a</p><div>b</div>", "a\n\nb\n"},
        {"a<br>b", "a\nb\n"},
        {"a<br><br>b", "a\n\nb\n"},
        {"a</br>b", "a\nb\n"},
        // Breaks at the very start and end of the text are dropped.
        {"<br><p><br></p><div>a</div><p></p><br>", "a\n"},
        {"", ""},
        {"<div> </div>", ""},
        {"a<hr>b", "a\nb\n"},
        // </p> alone is an empty paragraph.
        {"a</p>b", "a\n\nb\n"},
    });
}

TEST(TextRenderer, WhiteSpaceCollapsesAcrossInlineElements)
{
    expectRenders({
        {"  a \n\t <b> b </b>  c  ", "a b c\n"},
        {"<span>a</span><span>b</span>", "ab\n"},
        {"a<span> </span>b", "a b\n"},
        {"<div>  a  </div>  <div>  b  </div>", "a\nb\n"},
        {"a <br> b", "a\nb\n"},
        // A no-break space is not white space.
        {"a\xC2\xA0 b", "a\xC2\xA0 b\n"},
    });
    // Text cut into pieces anywhere gives the same.
    EXPECT_EQ(render("<p>one  two</p>  three <i>four</i>", {}, 1), "one two\n\nthree four\n");
}

TEST(TextRenderer, KeptWhiteSpace)
{
    expectRenders({
        {"<pre>\n  a  b\n c</pre>d", "  a  b\n c\nd\n"},
        {"<pre>\n\nx</pre>", "\nx\n"},
        {"<pre>a\r\nb\rc</pre>", "a\nb\nc\n"},
        {"x <textarea>\n a  b</textarea> y", "x  a  b y\n"},
        {"<listing>\nl  1</listing>", "l  1\n"},
        // The newline after the tag is dropped only right after it.
        {"a<pre><b>\nx</b></pre>", "a\n\nx\n"},
    });
    {
        // Likewise a comment.
        StringSink out;
        TextRenderer renderer(out);
        quillan::html::Tag pre;
        pre.name = "pre";
        renderer.startTag(pre);
        renderer.comment(" c ");
        renderer.characters("\nx");
        renderer.endTag(pre);
        renderer.endOfFile();
        EXPECT_EQ(out.text, "\nx\n");
    }
    EXPECT_EQ(render("<pre>a\n\n</pre><p>b</p>"), "a\n\nb\n");
    EXPECT_EQ(render("<pre>a  b</pre>", {}, 1), "a  b\n");
}

TEST(TextRenderer, Tables)
{
    expectRenders({
        {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr></table>x", "a\tb\nc\td\nx\n"},
        // Ends the page left out.
        {"<table><tr><td>a<td>b<tr><td>c<td>d</table>x", "a\tb\nc\td\nx\n"},
        {"<table><thead><tr><th>h1<th>h2<tbody><tr><td> 1 <td> 2 </table>", "h1\th2\n1\t2\n"},
        // Empty cells keep their place.
        {"<table><tr><td></td><td>b</td><td></td><td>d</td></tr></table>", "\tb\t\td\n"},
    });
    // A table in a cell counts its own cells.
    EXPECT_EQ(render("<table><tr><td>a</td><td><table><tr><td>x</td><td>y</td></tr></table></td><td>b</td></tr>"
                     "</table>"),
              "a\t\nx\ty\n\tb\n");
    EXPECT_EQ(render("<table><caption>Cap</caption><tr><td>a</td></tr></table>"), "Cap\na\n");
}

TEST(TextRenderer, Lists)
{
    expectRenders({
        {"<ul><li>a<li>b</ul>", "* a\n* b\n"},
        {"<ol><li>a</li><li>b</li></ol>", "1. a\n2. b\n"},
        {"<ol start=3><li>a<li value=7>b<li>c</ol>", "3. a\n7. b\n8. c\n"},
        {"<ol reversed start=3><li>a<li>b<li>c</ol>", "3. a\n2. b\n1. c\n"},
        {"<ul><li>a<ul><li>b<li>c</ul><li>d</ul>", "* a\n* b\n* c\n* d\n"},
        {"<ol><li>a<ol><li>b</ol><li>c</ol>", "1. a\n1. b\n2. c\n"},
        // An item with nothing shown writes no marker; its number is used.
        {"<ol><li></li><li><span hidden>x</span></li><li>c</ol>", "3. c\n"},
        {"<ul><li><p>para</p></li></ul>", "* para\n"},
        {"x<li>loose</li>", "x\n* loose\n"},
        {"<dl><dt>term<dd>meaning<dt>t2</dl>", "term\nmeaning\nt2\n"},
        {"<select><option>one<option>two<optgroup label=g><option>three</select>", "one\ntwo\nthree\n"},
    });
}

TEST(TextRenderer, HiddenContent)
{
    EXPECT_EQ(render("<html><head><title>T</title><meta charset=utf-8><style>p{}</style>"
                     "<script>var a;</script></head><body>shown</body></html>"),
              "shown\n");
    expectRenders({
        {"a<script>x</script>b<style>y</style>c<template>t</template>d", "abcd\n"},
        {"a<span hidden>x</span>b<div hidden=until-found>y</div>", "ab\n"},
        {"<noscript>no scripts</noscript>", "no scripts\n"},
        {"a<iframe>frame</iframe><video>v</video><audio>au</audio>b", "ab\n"},
        {"<div style=\"color: red; DISPLAY : none !important\">x</div>y", "y\n"},
        {"<div style='visibility:hidden'>x</div>y<div style='display:block'>z</div>", "y\nz\n"},
        {"<dialog>d</dialog><dialog open>o</dialog>", "o\n"},
    });
    EXPECT_EQ(render("<details><summary>S</summary>body<p>more</p></details><details open><summary>T</summary>"
                     "open</details>"),
              "S\nT\nopen\n");
    expectRenders({
        {"a<svg><title>pic</title><text>t</text></svg>b", "ab\n"},
        {"<math><mi>x</mi><mo>=</mo><mn>1</mn></math>", "x=1\n"},
        // Nested hidden elements: what follows the outer one shows again.
        {"<div hidden><div hidden>a</div>b</div>c", "c\n"},
        // Blocks inside a hidden element make no lines.
        {"a<span hidden><div>x</div></span>b", "ab\n"},
        // Head ends at the first thing that cannot be in it.
        {"<head><title>t</title>text", "text\n"},
        {"<head><link rel=x><div>d</div>", "d\n"},
        {"<p>a</p><head><title>t</title>", "a\n"},
    });
    // White space in head stays there, and a head start tag after the body
    // has begun is ignored, however the text is cut.
    for (const std::size_t piece : {0, 1, 2}) {
        EXPECT_EQ(render("<head><meta charset=utf-8> \n b c", {}, piece), "b c\n") << "pieces of " << piece;
        EXPECT_EQ(render("a<head><meta charset=utf-8> b", {}, piece), "a b\n") << "pieces of " << piece;
    }
}

TEST(TextRenderer, StyleRulesThatHide)
{
    const std::string page = "<style>.ad, #x { display: none } div.y{visibility:hidden} .a .b{display:none}"
                             "@media print { p { display: none } } /* .c{display:none} */ .d.e{display:none}"
                             "[hidden-too]{display:none} .f{display:none} .f{display:block}</style>"
                             "<p class=\"z ad\">1</p><p id=x>2</p><div class='y z'>3</div><span class=y>4</span>"
                             "<p class=b>5</p><p class=c>6</p><p class=d>7</p><p class='e d'>8</p><p class=f>9</p>";
    EXPECT_EQ(render(page), "4\n\n5\n\n6\n\n7\n\n9\n");
    // The same rules arriving a byte at a time.
    EXPECT_EQ(render(page, {}, 1), "4\n\n5\n\n6\n\n7\n\n9\n");
    // Braces in strings and comments do not end rules early.
    EXPECT_EQ(render("<style>.q::after{content:\"}\"} /* } */ .r{display:none}</style><i class=r>r</i>s"), "s\n");
    // Sheets for print or other media, or not CSS, hide nothing.
    EXPECT_EQ(render("<style media=print>.p{display:none}</style><style media='(max-width: 600px)'>.m{display:none}"
                     "</style><style type=text/less>.l{display:none}</style><style media=' Screen '>.s{display:none}"
                     "</style><i class=p>p</i><i class=m>m</i><i class=l>l</i><i class=s>s</i>"),
              "pml\n");
    // The sheet keeps a bounded number of hiding selectors: the first ones
    // hide, those past the bound do not.
    std::string many = "<style>";
    for (int i = 0; i < 20000; ++i)
        many += ".c" + std::to_string(i) + "{display:none}";
    many += "</style><i class=c0>first</i><i class=c16000>kept</i><i class=c19999>last</i>";
    EXPECT_EQ(render(many), "last\n");
    // Tag selectors; a tag in the sheet matches any case of the name.
    EXPECT_EQ(render("<style>ASIDE{display:none}</style><aside>x</aside>y"), "y\n");
}

TEST(TextRenderer, ImagesAndLinks)
{
    // Images show nothing of their own.
    EXPECT_EQ(render("<a href=/><img alt='Home page'></a> next"), "next\n");
    EXPECT_EQ(render("<img alt=picture>text"), "text\n");
    RenderOptions links;
    links.links = true;
    // With numbered links, an image names a link without text.
    EXPECT_EQ(render("<a href=/h><img alt='Home page'></a> next", links), "Home page[1] next\n\nReferences\n\n1. /h\n");
    EXPECT_EQ(render("<a href=/s><img alt=Logo>Shop</a>", links), "Shop[1]\n\nReferences\n\n1. /s\n");
    EXPECT_EQ(render("<a href=/g><input type=image alt=Go></a>", links), "Go[1]\n\nReferences\n\n1. /g\n");
    EXPECT_EQ(render("<img alt=picture>text", links), "text\n");
    EXPECT_EQ(render("<p><a href=/x>one</a> and <a href=' /y '>two</a>.</p><a href='javascript:go()'>js</a>", links),
              "one[1] and two[2].\n\njs\n\nReferences\n\n1. /x\n2. /y\n");
    EXPECT_EQ(render("<a href=/i><img alt=Icon></a>", links), "Icon[1]\n\nReferences\n\n1. /i\n");
    // A hidden link has no number.
    EXPECT_EQ(render("<div hidden><a href=/h>h</a></div><a href=/v>v</a>", links), "v[1]\n\nReferences\n\n1. /v\n");
    // A link inside a link ends the first.
    EXPECT_EQ(render("<a href=/a>a<a href=/b>b</a>", links), "a[1]b[2]\n\nReferences\n\n1. /a\n2. /b\n");
}

TEST(TextRenderer, LinksResolvedAgainstThePageAndItsBase)
{
    RenderOptions fetched;
    fetched.links = true;
    fetched.address = "http://example.org/news/today.html";
    EXPECT_EQ(render("<a href=../about>a</a> <a href=mailto:x@y.z>m</a> <a href=#top>t</a>", fetched),
              "a[1] m[2] t[3]\n\nReferences\n\n1. http://example.org/about\n2. mailto:x@y.z\n"
              "3. http://example.org/news/today.html#top\n");
    // The first base with an address decides, itself resolved against the
    // page; later ones change nothing, nor does a base without href.
    EXPECT_EQ(render("<base target=_top><base href='/archive/'><base href='http://other.example/'>"
                     "<a href=2019.html>old</a>",
                     fetched),
              "old[1]\n\nReferences\n\n1. http://example.org/archive/2019.html\n");
    // A file's page has no address: its links stay as written unless a base
    // gives an absolute one.
    RenderOptions file;
    file.links = true;
    EXPECT_EQ(render("<base href='sub/'><a href=x.html>x</a>", file), "x[1]\n\nReferences\n\n1. x.html\n");
    EXPECT_EQ(render("<base href='https://example.net/d/'><a href=x.html>x</a>", file),
              "x[1]\n\nReferences\n\n1. https://example.net/d/x.html\n");
    // Addresses are listed as a browser writes them out: spaces, controls
    // and non-ASCII encoded, scheme and host lowercased; one that is no
    // address at all stays as written, without its controls.
    EXPECT_EQ(render("<base href='HTTP://Example.NET:80/d/'><a href='my page.html?q=a b#top of'>p</a>"
                     "<a href='caf\xC3\xA9/\x01x'>c</a><a href='http://bad host/\x02'>b</a>",
                     file),
              "p[1]c[2]b[3]\n\nReferences\n\n1. http://example.net/d/my%20page.html?q=a%20b#top%20of\n"
              "2. http://example.net/d/caf%C3%A9/%01x\n3. http://bad host/\n");
    EXPECT_EQ(render("<a href='my page.html'>p</a>", file), "p[1]\n\nReferences\n\n1. my page.html\n");
}

TEST(TextRenderer, ManyLinksKeepBoundedMemory)
{
    RenderOptions links;
    links.links = true;
    StringSink out;
    TextRenderer renderer(out, links);
    std::string script;
    const int count = 30000;
    for (int i = 1; i <= count; ++i)
        script += "<a href='https://example.org/a/rather/long/address/" + std::to_string(i) + "'>l</a> ";
    testing_readable::feedScript(renderer, script);
    const std::string last = "\n30000. https://example.org/a/rather/long/address/30000\n";
    ASSERT_GE(out.text.size(), last.size());
    EXPECT_EQ(out.text.substr(out.text.size() - last.size()), last);
    EXPECT_NE(out.text.find("\n1. https://example.org/a/rather/long/address/1\n2. "), std::string::npos);
    EXPECT_NE(out.text.find("l[29999] l[30000]\n\nReferences\n\n"), std::string::npos);
}

TEST(TextRenderer, Wrapping)
{
    RenderOptions narrow;
    narrow.width = 7;
    EXPECT_EQ(render("aaa bbb ccc ddd", narrow), "aaa bbb\nccc ddd\n");
    EXPECT_EQ(render("aaaaaaaaaa b c", narrow), "aaaaaaaaaa\nb c\n");
    EXPECT_EQ(render("<p>aa bb cc dd</p><p>e</p>", narrow), "aa bb\ncc dd\n\ne\n");
    // Characters, not bytes, are counted.
    EXPECT_EQ(render("\xC3\xA9\xC3\xA9\xC3\xA9 \xC3\xA9\xC3\xA9\xC3\xA9 x", narrow),
              "\xC3\xA9\xC3\xA9\xC3\xA9 \xC3\xA9\xC3\xA9\xC3\xA9\nx\n");
    // The list of references is not broken: each address stays whole,
    // after its number.
    RenderOptions linked = narrow;
    linked.links = true;
    EXPECT_EQ(render("<a href='http://example.org/a b'>one two</a>", linked),
              "one\ntwo[1]\n\nReferences\n\n1. http://example.org/a%20b\n");
    // Every line of a long text is within the width, or one word.
    RenderOptions width;
    width.width = 20;
    std::string words;
    for (int i = 0; i < 20000; ++i)
        words += "word" + std::to_string(i % 97) + " ";
    const std::string text = render(words, width);
    std::size_t start = 0, lines = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - start, 20u);
        EXPECT_NE(text[start], ' ');
        start = end + 1;
        ++lines;
    }
    EXPECT_GT(lines, 20000u * 6 / 20);
}

TEST(TextRenderer, WrappingEastAsianText)
{
    RenderOptions narrow;
    narrow.width = 10;
    // Wide characters take two columns; a line breaks between ideographs
    // or kana without a space, but never before a closing mark or after
    // an opening one.
    EXPECT_EQ(render("日本語のテキストです。", narrow), "日本語のテ\nキストで\nす。\n");
    RenderOptions eight;
    eight.width = 8;
    EXPECT_EQ(render("これは「引用」です。", eight), "これは\n「引用」\nです。\n");
    EXPECT_EQ(render("한국어 텍스트입니다", narrow), "한국어 텍\n스트입니다\n");
    // Between a word of Latin letters and an ideograph too; within the word
    // only at spaces, as before; combining marks take no column.
    EXPECT_EQ(render("abcd日本語text", narrow), "abcd日本語\ntext\n");
    const std::string accented = "e\xCC\x81"; // e and a combining acute accent
    std::string five;
    for (int i = 0; i < 5; ++i)
        five += accented;
    EXPECT_EQ(render(five + " abcd", narrow), five + " abcd\n");
    // A long text: every line within the width, none starting with a
    // closing mark.
    std::string page;
    for (int i = 0; i < 400; ++i)
        page += i % 3 ? "東京では、" : "雨が降った。";
    const std::string text = render(page, narrow);
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(start, end - start);
        EXPECT_LE(line.size() / 3 * 2, 10u) << line; // three bytes, two columns each
        EXPECT_NE(line.rfind("、", 0), 0u) << line;
        EXPECT_NE(line.rfind("。", 0), 0u) << line;
        start = end + 1;
    }
}

TEST(TextRenderer, ImpliedEndTags)
{
    expectRenders({
        {"<p>a<div>b</div>c", "a\n\nb\nc\n"},
        {"<p>a<p>b", "a\n\nb\n"},
        {"<p>a <b>bold<p>next", "a bold\n\nnext\n"},
        // An end tag of an inline element does not end the block around it.
        {"<div><b>x<div>y</b>z</div>w</div>v", "x\nyz\nw\nv\n"},
        {"<h1>a<h2>b</h2>", "a\n\nb\n"},
        // A cell ends the paragraph in the cell before it.
        {"<table><tr><td><p>a<td>b</table>", "a\n\n\tb\n"},
        {"<ul><li>a<div>b<li>c</ul>", "* a\nb\n* c\n"},
        {"<select><option>a<option>b</select>c", "a\nb\nc\n"},
    });
}

TEST(TextRenderer, DeepAndLongPagesKeepBoundedMemory)
{
    // Far deeper than the stack: the text still comes out, in pieces.
    StringSink out;
    TextRenderer renderer(out);
    std::string script;
    for (int i = 0; i < 20000; ++i)
        script += "<div><span>w" + std::to_string(i) + " ";
    testing_readable::feedScript(renderer, script);
    EXPECT_EQ(out.text.substr(0, 8), "w0\nw1\nw2");
    EXPECT_NE(out.text.find("w19999\n"), std::string::npos);
    EXPECT_GT(out.pieces, 1u);
    EXPECT_LE(out.largestPiece, 128u * 1024);

    // A link deeper than the stack shows its text, unnumbered; the stack
    // works as before once the page comes back up.
    RenderOptions links;
    links.links = true;
    std::string deep;
    for (int i = 0; i < 600; ++i)
        deep += "<div>";
    deep += "<a href=/d>deep</a>";
    for (int i = 0; i < 600; ++i)
        deep += "</div>";
    deep += "<a href=/s>s</a>";
    EXPECT_EQ(render(deep, links), "deep\ns[1]\n\nReferences\n\n1. /s\n");

    // A list of 100000 items that is never closed.
    std::string list = "<ul>";
    for (int i = 0; i < 100000; ++i)
        list += "<li>item";
    const std::string text = render(list);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 100000);
}

// Records what the renderer asks of the tokenizer.
class Recorder : public quillan::text::readable::TokenizerSwitch {
public:
    void switchTo(TextState state) override { calls.push_back(static_cast<int>(state)); }
    void setForeignContent(bool foreign) override { calls.push_back(foreign ? 100 : 101); }
    std::vector<int> calls;
};

TEST(TextRenderer, TellsTheTokenizerItsState)
{
    auto run = [](std::string_view script) {
        StringSink out;
        Recorder recorder;
        TextRenderer renderer(out, {}, &recorder);
        testing_readable::feedScript(renderer, script);
        return recorder.calls;
    };
    const int data = static_cast<int>(TextState::Data);
    (void)data;
    const int rcdata = static_cast<int>(TextState::Rcdata), rawtext = static_cast<int>(TextState::Rawtext),
              script = static_cast<int>(TextState::ScriptData), plain = static_cast<int>(TextState::Plaintext);
    EXPECT_EQ(run("<title></title><textarea></textarea>"), (std::vector<int>{rcdata, rcdata}));
    EXPECT_EQ(run("<style></style><xmp></xmp><iframe></iframe><noembed></noembed><noframes></noframes>"),
              (std::vector<int>{rawtext, rawtext, rawtext, rawtext, rawtext}));
    EXPECT_EQ(run("<script></script><script/><plaintext>"), (std::vector<int>{script, script, plain}));
    EXPECT_EQ(run("<noscript></noscript><div></div><pre></pre>"), std::vector<int>{});
    // Foreign content: on inside svg and math, off at their end, off for
    // HTML elements in an integration point, and a title in svg is no RCDATA.
    EXPECT_EQ(run("<svg><title>t</title><foreignobject><p>x</p></foreignobject></svg>"),
              (std::vector<int>{100, 101, 100, 101}));
    EXPECT_EQ(run("<math><mi>x</mi></math>"), (std::vector<int>{100, 101}));
    EXPECT_EQ(run("<math><mi><b>x</b></mi></math>"), (std::vector<int>{100, 101, 100, 101}));
    EXPECT_EQ(run("<svg/>"), std::vector<int>{});
    // An HTML element breaks out of foreign content.
    EXPECT_EQ(run("<svg><g><p>x"), (std::vector<int>{100, 101}));
}

// Past the stack's bound an element that hides its content still hides
// it, each kind, until its end tag; the page shows again after it.
TEST(TextRenderer, HidingHoldsDeeperThanTheStack)
{
    std::string deep;
    for (std::size_t i = 0; i < TextRenderer::kMaxDepth + 100; ++i)
        deep += "<div>";
    const std::pair<std::string_view, std::string_view> kinds[] = {
        {"script", "<script>var secret;</script>"},
        {"style", "<style>.x{color:red}</style>"},
        {"title", "<title>secret</title>"},
        {"hidden", "<span hidden>secret <b>bold</b></span>"},
        {"display none", "<span style='display:none'>secret</span>"},
        {"rule", "<style>.gone{display:none}</style>"},
        {"template", "<template><p>secret</p></template>"},
        {"svg", "<svg><text>secret</text></svg>"},
        {"nested", "<div hidden><div>inner</div>secret<div><div></div></div></div>"},
    };
    for (const auto &[kind, markup] : kinds) {
        SCOPED_TRACE(kind);
        EXPECT_EQ(render(deep + "a" + std::string(markup) + "b"), "ab\n");
    }
    // A rule from a style sheet read before the deep part.
    EXPECT_EQ(render("<style>.gone{display:none}</style>" + deep + "a<i class=gone>secret</i>b"), "ab\n");
    // Line breaks and empty paragraphs inside make no lines.
    EXPECT_EQ(render(deep + "a<span hidden>x<br></br></p>y</span>b"), "ab\n");
    // An end tag that closes an element of the stack ends the hidden one
    // too, as it closes everything inside it.
    std::string closing = deep + "a<span hidden>secret";
    for (std::size_t i = 0; i < TextRenderer::kMaxDepth + 100; ++i)
        closing += "</div>";
    EXPECT_EQ(render(closing + "after"), "a\nafter\n");
    // The tokenizer still reads script text as script text.
    StringSink out;
    Recorder recorder;
    TextRenderer renderer(out, {}, &recorder);
    testing_readable::feedScript(renderer, deep + "<span hidden><script></script><textarea></textarea></span>");
    EXPECT_EQ(recorder.calls,
              (std::vector<int>{static_cast<int>(TextState::ScriptData), static_cast<int>(TextState::Rcdata)}));
}

// NUL characters of the text are dropped, as the tree builder drops them;
// in foreign content they show as U+FFFD.
TEST(TextRenderer, NulCharactersAreDropped)
{
    using namespace std::string_literals;
    EXPECT_EQ(render("a\0b <pre>c\0\0d</pre><p>\0</p>e"s), "ab\ncd\n\ne\n");
    EXPECT_EQ(render("<math>x\0y<mi>z\0w</mi></math>"s), "x\xEF\xBF\xBDyzw\n");
    for (const std::size_t piece : {1, 2}) {
        const std::string text = render("one\0 two\0"s, {}, piece);
        EXPECT_EQ(text, "one two\n") << "pieces of " << piece;
    }
}

// </p> and </br> end foreign content and are read as in HTML.
TEST(TextRenderer, ParagraphAndBreakEndTagsEndForeignContent)
{
    expectRenders({
        {"a<svg><text>x</br>y</text></svg>z", "a\nyz\n"},
        {"<svg><g>x</p>y", "y\n"},
        {"a<svg><g>x</p>y", "a\n\ny\n"},
        {"<p>a<svg><text>b</p>c", "a\n\nc\n"},
        // Not in an integration point: there they are HTML already.
        {"<svg><foreignobject>a</br>b</foreignobject></svg>c", "c\n"},
    });
}

TEST(TextRenderer, TextTransform)
{
    expectRenders({
        {"<p style='text-transform: uppercase'>Hello <b>world</b></p><p>plain</p>", "HELLO WORLD\n\nplain\n"},
        {"<div style='TEXT-TRANSFORM:Lowercase'>\xC3\x80"
         "B \xC3\x87"
         "d \xCE\xA3\xCE\x91 \xD0\x9F\xD0\xA0</div>",
         "\xC3\xA0"
         "b \xC3\xA7"
         "d \xCF\x83\xCE\xB1 \xD0\xBF\xD1\x80\n"},
        {"<div style='text-transform:uppercase'>stra\xC3\x9F"
         "e \xCE\xB1\xCE\xB2 \xD0\xBF\xD1\x80\xD0\xB8</div>",
         "STRASSE \xCE\x91\xCE\x92 \xD0\x9F\xD0\xA0\xD0\x98\n"},
        // capitalize: each word's first letter; an apostrophe keeps a word
        // going, a hyphen or a bracket starts one; the rest stays.
        {"<p style='text-transform:capitalize'>hello wORLD don't e-mail (note) 3rd</p>",
         "Hello WORLD Don't E-Mail (Note) 3rd\n"},
        // A word cut by an inline element is one word.
        {"<p style='text-transform:capitalize'>he<b>llo</b> <i>you</i></p>", "Hello You\n"},
        {"x<span style='text-transform:capitalize'>yz</span>", "xyz\n"},
        // Inherited, and none ends it.
        {"<div style='text-transform:uppercase'>a<span style='text-transform:none'>b<i>c</i></span>d</div>", "AbcD\n"},
        {"<div style='text-transform:uppercase'><pre>\nkept  text\nline</pre></div>", "KEPT  TEXT\nLINE\n"},
    });
    // Style rules: the most specific wins, then the last; the style
    // attribute wins over them all.
    EXPECT_EQ(render("<style>h1{text-transform:uppercase} .low{text-transform:lowercase} #x{text-transform:capitalize}"
                     " .low.more{text-transform:none} .late{text-transform:lowercase} .late{text-transform:uppercase}"
                     "</style><h1>Title</h1><p class=low>MiXed</p><p class=low id=x>two words</p>"
                     "<p class='more low'>KEEP as is</p><p class=late>late</p>"
                     "<p class=low style='text-transform:uppercase'>inline</p>"),
              "TITLE\n\nmixed\n\nTwo Words\n\nKEEP as is\n\nLATE\n\nINLINE\n");
    // A hiding rule and a transform on one selector do both.
    EXPECT_EQ(render("<style>.u{text-transform:uppercase}.h{display:none;text-transform:uppercase}</style>"
                     "<i class=h>x</i><i class=u>y</i>"),
              "Y\n");
}

TEST(TextRenderer, JavascriptLinksAndAddressesAsTheBrowserReadsThem)
{
    RenderOptions links;
    links.links = true;
    // The address parser drops tabs and line breaks and cuts controls and
    // spaces from the ends: all of these are javascript: links.
    for (const std::string_view href : {"java\tscript:go()", "java\nscript:go()", "\x01\x1f javascript:go()",
                                        "JavaScript\r:go()", " \tjavascript:go()\n"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(href)));
        EXPECT_EQ(render("<a href='" + std::string(href) + "'>js</a> <a href=/n>n</a>", links),
                  "js n[1]\n\nReferences\n\n1. /n\n");
    }
    // Tabs and line breaks are taken out of the addresses listed.
    EXPECT_EQ(render("<a href='/a\tb\nc\r\nd'>t</a>", links), "t[1]\n\nReferences\n\n1. /abcd\n");
    RenderOptions fetched = links;
    fetched.address = "http://example.org/";
    EXPECT_EQ(render("<a href='\x01 x\ty.html'>t</a>", fetched),
              "t[1]\n\nReferences\n\n1. http://example.org/xy.html\n");
}

} // namespace
