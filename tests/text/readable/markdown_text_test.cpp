// The readable text as Markdown: each construct as CommonMark writes it,
// and the Markdown read back by an independent reader (cmark-gfm, turned
// into text again by the plain renderer) giving the same text as the plain
// rendering of the same page, however the page comes in pieces.
#include "support/converted_text.h"
#include "support/process.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

namespace {

using quillan::text::Kind;
using quillan::text::Options;
using quillan::text::Syntax;

std::string markdown(std::string_view page, Kind kind = Kind::Readable, bool links = false, std::size_t piece = 0,
                     std::size_t width = 0)
{
    Options options;
    options.kind = kind;
    options.syntax = Syntax::Markdown;
    options.links = links;
    options.width = width;
    return testsupport::convertInPieces(page, options, piece).text;
}

std::string plain(std::string_view page)
{
    Options options;
    options.kind = Kind::Readable;
    return testsupport::convertInPieces(page, options).text;
}

void expectMarkdown(std::initializer_list<std::pair<std::string_view, std::string_view>> cases)
{
    for (const auto &[page, text] : cases)
        EXPECT_EQ(markdown(page), text) << "page: " << page;
}

std::string withoutSpace(std::string_view text)
{
    std::string out;
    for (const char c : text)
        if (c != ' ' && c != '\n' && c != '\t')
            out.push_back(c);
    return out;
}

TEST(MarkdownText, BlocksAsCommonMarkWritesThem)
{
    expectMarkdown({
        {"<h1>Title</h1><p>One</p><h3>Three</h3><div>a</div><div>b</div>", "# Title\n\nOne\n\n### Three\n\na\n\nb\n"},
        {"<h2>A<br>B</h2>", "## A B\n"},
        // (#s that would close the heading are its text)
        {"<h2>A ## B #</h2>", "## A \\## B \\#\n"},
        {"<p>a<br>b</p><p>c<br></p><p>d</p>", "a\\\nb\n\nc\n\nd\n"},
        {"<ul><li>a<li>b<ul><li>c</ul></ul>", "- a\n- b\n  - c\n"},
        {"<ol start=3><li>x<li>y</ol>", "3. x\n4. y\n"},
        {"<ul><li>x<ol start=5><li>y</ol><li>z<ol><li>w</ol></ul>", "- x\n\n  5. y\n- z\n  1. w\n"},
        {"<ul><li>x<ol><li><li>y</ol></ul>", "- x\n\n  2. y\n"},
        {"<ul><li><p>a</p><p>b</p></ul>", "- a\n\n  b\n"},
        // A list right after another of its kind is a new list.
        {"<ol><li>a</ol><ol><li>b</ol>", "1. a\n\n1) b\n"},
        // A list right inside a list goes under the item before it.
        {"<ol><li>a</li><ol><li>b<li>c</ol><li>d</ol><ul><li>e</li><ul><li>f</ul></ul>",
         "1. a\n   1. b\n   2. c\n2. d\n\n- e\n  - f\n"},
        // Content right in a list but in none of its items: a line of its
        // own after the item before it, in that item, however deep.
        {"<ul><li>a<ul>c</ul></ul>", "- a\\\n  c\n"},
        {"<ul><li>a</li>b<li>c</ul>", "- a\\\nb\n- c\n"},
        {"<ul><li>i</li>o<ul><li>t</li>u<ul>v</ul></ul></ul>", "- i\\\no\n  - t\\\n  u\\\n    v\n"},
        {"<blockquote><p>a</p><blockquote><p>b</p></blockquote><p>c</p></blockquote>", "> a\n>\n> > b\n>\n> c\n"},
        {"<p>a</p><hr><p>b</p>", "a\n\n---\n\nb\n"},
        // A term in strong letters, its definition a paragraph.
        {"<dl><dt>Term<dd>Its definition.</dl>", "**Term**\n\nIts definition.\n"},
        {"<pre class='language-js'>let a = 1;\n</pre>", "```js\nlet a = 1;\n```\n"},
        {"<pre><code class='lang-sh'>echo ```\n</code></pre>", "````sh\necho ```\n````\n"},
        {"<blockquote><pre>x\n\ny</pre></blockquote>", "> ```\n> x\n>\n> y\n> ```\n"},
        {"<table><tr><th>A<th>B|C<tr><td colspan=2>wide<tr><td>1</table>",
         "| A | B\\|C |\n| --- | --- |\n| wide | |\n| 1 | |\n"},
        // (a cell's reader would trim a vertical tab off its start)
        {"<table><tr><td>\x0By</table>", "| &#x0B;y |\n| --- |\n"},
        // A mark opens at a cell's start, before punctuation too.
        {"<table><tr><td><a href=/x>+64</a><td><b>.nz</b></table>", "| [+64](/x) | **.nz** |\n| --- | --- |\n"},
        // What a pipe table cannot hold: its cells one after another.
        {"<table><caption>Cap</caption><tr><td rowspan=2>a<td>b<tr><td>c</table>", "Cap\n\na\n\nb\n\nc\n"},
        // Marks around the table close in its cells; the page's own
        // control characters are not the table's marks.
        {"<b><table><td>i<td>j</table>k</b>", "| **i** | **j** |\n| --- | --- |\n\n**k**\n"},
        {"<table><td>\x1Ft\x1E</table>", "| &#x1F;t&#x1E; |\n| --- |\n"},
        // A table in a quote: its lines quoted once the table is written.
        {"<blockquote><p>M<table><tr><td>a<br>b</table></blockquote>", "> M\n>\n> | a b |\n> | --- |\n"},
        // Text between the rows stays there.
        {"<table><tr><td>b<tr><y>c</y><td>d</table>", "b\n\nc\n\nd\n"},
        // (A list in a cell has the plain markers: no list can stand in a pipe table.)
        {"<table><tr><td><ul><li>x<li>y</ul><td>z</table>", "* x\n* y\n\nz\n"},
        // What a cell holds keeps its own indents: a code block in an item.
        {"<table><tr><td><ul><li><pre>x\n&lt;li></pre></ul><td>z</table>", "* ```\n  x\n  <li>\n  ```\n\nz\n"},
        // Paragraphs and lines in a cell are one line of it.
        {"<table><tr><td><p>a</p><p>b<br>c</p><td>d</table>", "| a b c | d |\n| --- | --- |\n"},
    });
}

TEST(MarkdownText, AFiguresCaptionIsAnHtmlBlockAroundItsMarkdown)
{
    expectMarkdown({
        {"<figure><img src='/a.png' alt='A'><figcaption>The <a href='/c'>caption</a></figcaption></figure><p>b",
         "![A](/a.png)\n\n<figcaption>\n\nThe [caption](/c)\n\n</figcaption>\n\nb\n"},
        // Its text is escaped as any block's start.
        {"<figcaption>1. <b>x</b></figcaption>", "<figcaption>\n\n1\\. **x**\n\n</figcaption>\n"},
        // In an item or a quote the block stands after the marker, its lines
        // indented or quoted; a list inside it after the start tag.
        {"<ul><li><figcaption>c</figcaption></ul>", "- <figcaption>\n\n  c\n\n  </figcaption>\n"},
        {"<blockquote><figcaption>q</figcaption></blockquote>", "> <figcaption>\n>\n> q\n>\n> </figcaption>\n"},
        {"<figcaption><ul><li>i</ul></figcaption>", "<figcaption>\n\n- i\n\n</figcaption>\n"},
        // An empty caption writes nothing; in a cell, a heading or code the
        // caption is text there.
        {"<figcaption> </figcaption><p>x", "x\n"},
        {"<table><tr><td><figcaption>c</figcaption></table>", "| c |\n| --- |\n"},
        {"<h2>h<figcaption>c</figcaption></h2>", "## h\nc\n"},
        {"<pre>a<figcaption>c</figcaption></pre>", "```\na\nc\n```\n"},
        // One inside another is a line of the outer.
        {"<figcaption>a<figcaption>b</figcaption></figcaption>", "<figcaption>\n\na\nb\n\n</figcaption>\n"},
    });
}

TEST(MarkdownText, ATableInsideATableIsATableOfItsOwn)
{
    expectMarkdown({
        // The outer table's texts are paragraphs, before the inner table and
        // after it; the inner one a pipe table.
        {"<table><tr><th>Most<tr><td><table><tr><th colspan=2>By<tr><td>a<td>1</table><td>x</table><p>after",
         "Most\n\n| By | |\n| --- | --- |\n| a | 1 |\n\nx\n\nafter\n"},
        {"<table><tr><td>a<td><b>b<table><tr><td>i</table>c</b><tr><td>d</table>",
         "a\n\n**b**\n\n| **i** |\n| --- |\n\n**c**\n\nd\n"},
        // Two deep, and in a quote around the outer table.
        {"<table><td>o<table><td>m<table><td>i<td>j</table></table></table>", "o\n\nm\n\n| i | j |\n| --- | --- |\n"},
        {"<blockquote><table><tr><td>o<td><table><tr><td>i</table></table></blockquote>",
         "> o\n>\n> | i |\n> | --- |\n"},
        // A quote or item of a cell open: every text of the outer table in
        // order, as before.
        {"<table><tr><td><blockquote>q<table><tr><td>i<td>j</table></blockquote></table>", "> q\n>\n> i j\n"},
        // A mark closed after punctuation in the outer table's text: where
        // it closed is gone with that text, and no later word moves it.
        {"<table><td><p><b><<table><td>y", "**\\<**\n\n| y |\n| --- |\n"},
    });
}

TEST(MarkdownText, InlineMarksLinksAndImages)
{
    expectMarkdown({
        {"<p><b>b</b> <i>i</i> <strong><em>both</em></strong> <s>gone</s></p>", "**b** *i* ***both*** ~~gone~~\n"},
        {"<p><code>a `b` c</code> <code>`</code></p>", "``a `b` c`` `` ` ``\n"},
        {"<p><a href='https://x.org/a b'>link</a> <a href='javascript:f()'>js</a> <a name=n>anchor</a></p>",
         "[link](https://x.org/a%20b) js anchor\n"},
        {"<base href='https://x.org/d/'><p><img src='i.png' alt=' An  image '><a href='p'><img src='j.png'></a></p>",
         "![An image](https://x.org/d/i.png)[![](https://x.org/d/j.png)](https://x.org/d/p)\n"},
        // Marks close before the spaces they hold and open after them; an
        // empty mark is none; the same mark inside itself adds nothing.
        {"<p>a<b> b </b>c <b> </b>d <em>x<i>y</i></em></p>", "a **b** c d *xy*\n"},
        {"<p><b>x&nbsp;</b>y</p>", "**x**\xC2\xA0y\n"},
        // Punctuation before a letter would keep a closing mark from closing:
        // the mark closes before it.
        {"<p><b>Note:</b>Text <em>a</em><em>b</em></p>", "**Note**:Text *ab*\n"},
        {"<p>run on</em> word<em>. Next</em></p>", "run on word. *Next*\n"},
        // A mark of nothing but punctuation is none before a letter, where
        // it could not close; elsewhere it stands.
        {"<p><b>&gt;</b>b <i>&amp;</i>c <b>!?</b> d <b>&gt; ;</b>e <a href=/a>a</a><i>.</i></p>",
         "\\>b \\&c **!?** d > ;e [a](/a)*.*\n"},
        // (a link's bracket is punctuation; so is what follows a picture,
        // where a mark cannot close before a letter)
        {"<p>x <em>(</em><a href=/a>b</a> <i>z<img src=b.png alt=B>]</i>c</p>", "x *(*[b](/a) z![B](b.png)\\]c\n"},
        // (and then it is no longer there to go on from)
        {"<p><em>x <b>y></em><em>b</em></p>", "*x **y***>*b*\n"},
        // A mark spans a line break; across a paragraph's end it closes
        // before it and opens again after it, and so does a code span at
        // a line break.
        {"<p><b>a<br>b</b></p>", "**a\\\nb**\n"},
        {"<b>a<p>b</b>", "**a**\n\n**b**\n"},
        {"<p><code>a<br>b</code></p>", "`a`\\\n`b`\n"},
        {"<p>a!<a href='/x'>b</a></p>", "a\\![b](/x)\n"},
        {"<p><b><em>b</em>;</b>s</p>", "***b***;s\n"},
        {"<p>b<s><em>c</em> d</s> <b><i>e</i></b></p>", "b*c* d ***e***\n"},
        // Code right after code goes on in the same span.
        {"<p><code>a</code><code>b`</code> <code>c</code><kbd>d</kbd></p>", "`` ab` `` `cd`\n"},
        // A control character is no space to CommonMark: a mark opens
        // before punctuation only after space or punctuation.
        {"<p>a;\x0B<b>&amp;b</b></p>", "a;\x0B\\&**b**\n"},
        // Inside a word a * opens only where it cannot close the mark of *s
        // around it.
        {"<p><b><i>p</i>x<i>p</i></b> <b>b <i>p</i>x<i>p</i></b></p>", "***p*xp** **b *p*x*p***\n"},
        {"<p><b><i>p</i>x<a href=/a>l</a>y<code>c</code></b></p>", "***p*x[l](/a)y`c`**\n"},
        // ... and so it does between punctuation.
        {"<p><em><b>x</b> &lt;<b>&amp;y</b></em></p>", "***x** \\<\\&y*\n"},
        // Right after a link or code span a mark cannot close before a
        // letter: it is left out.
        {"<p><b><a href=/x>z</a></b>s x <b>a <i><code>z</code></i></b>s <b><kbd>k</kbd></b>.</p>",
         "[z](/x)s x a `z`s **`k`**.\n"},
        // A closing mark moves before a character reference, never into it.
        {"<p><b>a&#x1E;</b>b</p>", "**a**&#x1E;b\n"},
        // ... and opens after one, which starts with punctuation; one of
        // nothing but that is none.
        {"<p>x<em>&#x1F;y</em>z <b>&#x1E;</b>x</p>", "x&#x1F;*y*z &#x1E;x\n"},
    });
    // A link in a link (a table's cell between them): the text is the outer one's.
    EXPECT_EQ(markdown("<a href=/o>x<table><td>a <a href=/i>b</a></table></a>"), "[x](/o)\n\n| [a b](/o) |\n| --- |\n");
    EXPECT_EQ(markdown("<p><a href='https://x.org/'>one</a> <a href='/two'>two</a></p>", Kind::Readable, true),
              "[one][1] [two][2]\n\n[1]: https://x.org/\n[2]: /two\n");
    // With numbered links a picture that cannot be shown (no address, in
    // code) names a link with its alt text, as in the plain text.
    EXPECT_EQ(markdown("<p><a href=/u><img alt=p></a> <a href=/v><img src=a.png alt=A><img alt=B></a> "
                       "<a><code><img alt=c></code></a> <a href=/w><img alt=d><img src=b.png alt=B></a></p>",
                       Kind::Readable, true),
              "p [![A](a.png)][1] c d\n\n[1]: /v\n");
    // ... also when the next link's start ends the link (the alt text is
    // not the next one's), and a number that text after it ends.
    EXPECT_EQ(markdown("<p><a href=/v><img alt=p><img alt=\"x</a\"> <a href=/w><img src=b.png alt=B></a>c</p>"
                       "<p><a href=/x><img alt=1></a><span>. y</span></p>",
                       Kind::Readable, true),
              "p[![B](b.png)][1]c\n\n1\\. y\n\n[1]: /w\n");
    // A link without an address is no link in Markdown: its picture's alt
    // text names it as in the plain text.
    EXPECT_EQ(markdown("<p><a><img src=x.png><img src=a.png alt=A></a>c</p>", Kind::Readable, true), "![](x.png)Ac\n");
}

TEST(MarkdownText, AMarkThatGoesOnKeepsItsOpening)
{
    // A mark that goes on after the same mark closed is the one that
    // opened first: left out before a letter, its own opening goes, not
    // another's (or its closing moves before the punctuation).
    expectMarkdown({
        {"<p><b>px<i>p</i></b> <b>a</b><b><i>=</i></b>c</p>", "**px*p*** **a**=c\n"},
        // Punctuation after the letter it goes on from stands outside the
        // marks that open before it, as after any letter.
        {"<p><b>a</b><b><i>=&lt;>c</p>", "**a**=\\<>***c***\n"},
        {"<p><b><i>a</i></b><b><i>=c</p>", "***a***=***c***\n"},
        {"<p><em>a</em><em>b</em> <b><i>a</i></b><b><i>b</i></b>c</p>", "*ab* ***ab***c\n"},
        {"<p><b>x</b> <b>a</b><b>.</b>c</p>", "**x** **a**.c\n"},
    });
}

TEST(MarkdownText, ALinkToAPlaceInThePageStaysAFragment)
{
    Options options;
    options.kind = Kind::Readable;
    options.syntax = Syntax::Markdown;
    options.address = "http://example.org/a/page.html";
    const auto md = [&options](std::string_view page) { return testsupport::convertInPieces(page, options).text; };
    const std::string text = md("<p><a href=\"#usage\">Usage</a> and <a href=\"other.html#usage\">Other</a></p>");
    EXPECT_EQ(text, "[Usage](#usage) and [Other](http://example.org/a/other.html#usage)\n");
    // A base element that sends the links to another page sends the
    // fragment there too.
    EXPECT_EQ(md("<base href=\"http://example.org/b/\"><p><a href=\"#usage\">Usage</a></p>"),
              "[Usage](http://example.org/b/#usage)\n");
    // The list of references of plain text holds addresses to follow.
    options.syntax = Syntax::Plain;
    options.links = true;
    EXPECT_NE(md("<p><a href=\"#usage\">Usage</a></p>").find("http://example.org/a/page.html#usage"),
              std::string::npos);
}

TEST(MarkdownText, WrappedWithoutBreakingTheSyntax)
{
    const auto wrapped = [](std::string_view page) { return markdown(page, Kind::Readable, false, 0, 12); };
    // Between words, also inside a link's text and in quotes and items,
    // whose next lines go on lazily; never in an address or a code span.
    EXPECT_EQ(wrapped("<p>one two three four five</p>"), "one two\nthree four\nfive\n");
    EXPECT_EQ(wrapped("<p><a href='https://example.org/a'>some link text</a> after</p>"),
              "[some link\ntext](https://example.org/a)\nafter\n");
    EXPECT_EQ(wrapped("<p><code>a b c d e f g h</code> x</p>"), "`a b c d e f g h`\nx\n");
    EXPECT_EQ(wrapped("<blockquote>aaaa bbbb cccc dddd</blockquote>"), "> aaaa bbbb\ncccc dddd\n");
    // Never a line that starts a block, never a heading or a table row.
    EXPECT_EQ(wrapped("<p>aaaaaaaa 1. bbbbbbbb - cccc</p>"), "aaaaaaaa 1.\nbbbbbbbb -\ncccc\n");
    EXPECT_EQ(wrapped("<h2>one two three four</h2>"), "## one two three four\n");
    EXPECT_EQ(wrapped("<table><tr><td>one two three four<td>x</table>"), "| one two three four | x |\n| --- | --- |\n");
}

TEST(MarkdownText, TextThatWouldBeMarkupIsEscaped)
{
    expectMarkdown({
        {"<p>1. not a list</p><p># not a heading</p><p>- no item</p><p>&gt; no quote</p>",
         "1\\. not a list\n\n\\# not a heading\n\n\\- no item\n\n\\> no quote\n"},
        // (a NUL character, dropped, inside such a word too)
        {std::string_view("<p>1\0.</p>", 10), "1\\.\n"},
        // (and a zero-width no-break space where it would be a byte order mark)
        {"<p>&#xFEFF;# x &#xFEFF;y</p>", "&#xFEFF;# x \xEF\xBB\xBFy\n"},
        // (a word in pieces, a tag between them, too)
        {"<p>1<span>. a</span></p><ul><li>2<b></b>) b</ul><blockquote>3<i>.</i> c</blockquote>",
         "1\\. a\n\n- 2\\) b\n\n> 3\\. c\n"},
        {"<p>a*b [c] &lt;d&gt; e_f _g_ &amp;amp; `h` ~i~ 2. #j</p>",
         "a\\*b \\[c\\] \\<d> e_f \\_g\\_ \\&amp; \\`h\\` \\~i\\~ 2. #j\n"},
    });
}

TEST(MarkdownText, ABareAddressIsNoLink)
{
    // GitHub's Markdown would link a bare address: only the page's own
    // links are links, read back with its autolinks on.
    const std::string page = "<h2>www.a.org</h2><p><a href=/x>http://b.org</a> http://c.org <b>www.d.org</b>"
                             " <img src=i.png alt=www.e.org></p><table><tr><td>ftp://f.org</table>";
    const std::string md = markdown(page);
    EXPECT_EQ(md, "## www\\.a.org\n\n[http://b.org](/x) http\\://c.org **www\\.d.org** ![www.e.org](i.png)\n\n"
                  "| ftp\\://f.org |\n| --- |\n");
    const testsupport::ProcessResult html =
        testsupport::runProgram({"cmark-gfm", "-e", "table", "-e", "autolink"}, {md, {}});
    ASSERT_EQ(html.status, 0) << "cmark-gfm: " << html.err;
    std::size_t links = 0;
    for (std::size_t at = html.out.find("<a "); at != std::string::npos; at = html.out.find("<a ", at + 1))
        ++links;
    EXPECT_EQ(links, 1u) << html.out;
}

TEST(MarkdownText, ACodeBlockHoldsThePlainText)
{
    // No Markdown inside code: what would be marks is the plain text's.
    expectMarkdown({
        {"<pre>a<img src=i.png alt=x>b<br>c<hr>d</pre><p><code>e<img src=i.png>f</code></p>",
         "```\nab\nc\nd\n```\n\n`ef`\n"},
        {"<pre>x<ul><li>i</ul><ol><li>n</ol><h2>h<br>g</h2></pre>", "```\nx\n\n* i\n\n1. n\n\nh\ng\n```\n"},
        {"<blockquote><pre>x<blockquote>q</blockquote></pre></blockquote>", "> ```\n> x\n>\n> q\n> ```\n"},
    });
}

// The pages of the tests above and a few more that mix what can go wrong.
constexpr std::string_view kPages[] = {
    "<h1>T <em>x</em></h1><p>Some <b>bold</b>, <i>it</i>, <code>c`d</code> and "
    "<a href='http://e.org/(x)'>a (link)</a>.</p><ul><li>One<li>Two<ol><li>2a<li>2b</ol><li><p>P</p><p>Q</p></ul>",
    "<blockquote><p>q1</p><ul><li>in quote</ul><blockquote>deeper<pre>a\n  b</pre></blockquote></blockquote>",
    "<p>1. x<br>- y<br>+ z<br>=== <br>--- <br># h<br>&gt; q</p>",
    "<table><tr><th>h1<th>h2<tr><td>a|b<td><b>bold</b><tr><td>1<td>2<td>3</table><p>after</p>",
    "<p><b>Note:</b>Text, <em>(paren)</em>x, x<em>(y)</em>, <b>a<i>b</b>c</i>, <b>\xE2\x80\x9Cq\xE2\x80\x9D</b>z</p>",
    "<div>a<div>b<p>c</p>d</div>e</div><dl><dt>term<dd>definition</dl><hr><p>end</p>",
    "<p>a&nbsp;<b>&nbsp;b&nbsp;</b>&nbsp;c <s>d</s>e <kbd>f</kbd>g</p><ol start=7><li>seven<li>eight</ol>"
    "<ol><li>one</ol><ul><li>u</ul><ul><li>v</ul>",
    "<p>x!<a href='/l'>link</a> <img src='a.png' alt='[alt]'> *star* _und_ \\back\\ &lt;tag&gt;</p>",
    "<ul><li>a<ul><li>b<blockquote>c</blockquote></ul></ul><p>a<br><br>b</p><h2>h<br>2</h2>",
    // Words whose escapes depend on all of them, however the text is cut.
    "<p>snake_case_name x_ 2024. AT&amp;T &amp;amp; a*b</p><p>-</p><p>12.</p>",
    "<pre>a<img src=i.png alt=x>b<ul><li>item</ul><h2>he<br>ad</h2><blockquote>q</blockquote><hr>y<br>z</pre>"
    "<p><code>c<img src=j.png alt=y>d</code></p>",
    "<table><x>a</x><td>b<tr><y>c</y></table>",
    "<p><em>x <b>am></em><em>b</em> <i>c.</i><i>d</i></p>",
    "&#xFEFF;<p>&#xFEFF;</p>",
    "<ul><li>x<ol start=5><li>y</ol><li>z<ol><li value=3>w</ol><li><ol start=2><li>v</ol></ul>",
    "<p><b>&gt;</b>b &amp;;<b>&gt;</b>2 <em>x<b>.</b></em>y</p>",
    "<b><table><td>i<td>j</table>k</b><table><td>\x1Ft\x1E</table>",
    "<p><code>a</code><code>b`</code> <code>c</code><kbd>d</kbd> a;\x0B<b>&amp;b</b> <i>x\x01</i>.y</p>",
    "<p><b><i>p</i>x<i>p</i></b> <i><b>p</b>x<b>p</b></i> <b><i>a</i></b><b><i>b</i></b>c</p>",
    "<p><b><a href=/x>z</a></b>s x <b>a <i><code>z</code></i></b>s <b><img src=a.png alt=i></b>j</p>",
    "<p><b>a&#x1E;</b>b x<em>&#x1F;y</em>z <b>&#x1E;</b>x</p><table><tr><td>\x0By<td>\x0Cz</table>",
    "<ol><li>a</li><ol start=4><li>b<p>c</p></ol><li>d</ol><a href=/o>x<table><td>a <a href=/i>b</a></table></a>",
    "<table><tr><th>h<tr><td><table><tr><td>a|b<td><i>c</i></table>d<td>e</table><table><td>o<table><td>i</table>"
    "</table>",
    "<p><b>px<i>p</i></b> <b>a</b><b><i>=</i></b>c <em>a</em><em>b</em> <b><i>a</i></b><b><i>b</i></b>c</p>"
    "<p><b>a</b><b><i>=&lt;>c</i></b> <b><i>a</i></b><b><i>=c</p>",
    "<figure><img src=a.png alt=p><figcaption>1. <a href=/c>cap</a><ul><li>i</ul></figcaption></figure>"
    "<blockquote><figcaption><b>q</b></figcaption>x</blockquote><ol><li><figcaption>- c</figcaption></ol>",
};

TEST(MarkdownText, ReadBackItGivesThePlainText)
{
    for (const std::string_view page : kPages) {
        const std::string md = markdown(page);
        const testsupport::ProcessResult html =
            testsupport::runProgram({"cmark-gfm", "-e", "table", "-e", "strikethrough"}, {md, {}});
        ASSERT_EQ(html.status, 0) << "cmark-gfm: " << html.err;
        EXPECT_EQ(withoutSpace(plain("<meta charset=utf-8>" + html.out)), withoutSpace(plain(page)))
            << "page: " << page << "\nmarkdown:\n"
            << md << "\nread back:\n"
            << html.out;
        for (const std::size_t piece : {1, 3, 7})
            EXPECT_EQ(markdown(page, Kind::Readable, false, piece), md) << "pieces of " << piece << ": " << page;
        // Wrapped, it reads back the same.
        const std::string narrow = markdown(page, Kind::Readable, false, 0, 10);
        const testsupport::ProcessResult narrowHtml =
            testsupport::runProgram({"cmark-gfm", "-e", "table", "-e", "strikethrough"}, {narrow, {}});
        EXPECT_EQ(withoutSpace(plain("<meta charset=utf-8>" + narrowHtml.out)), withoutSpace(plain(page)))
            << "page: " << page << "\nmarkdown wrapped:\n"
            << narrow;
    }
}

TEST(MarkdownText, TheArticleAndTheStrippedText)
{
    std::string prose;
    for (int i = 0; i < 6; ++i)
        prose += "<p>The sentence " + std::to_string(i) +
                 " goes on for a while, with <b>bold words</b>, commas, clauses and enough text to read as prose.</p>";
    prose += "<p>Then <b>bold<i>both</b>italic.</i> Words go on for a while, with commas, and clauses.</p>";
    const std::string md =
        markdown("<title>Story</title><nav><a href=/>Home</a></nav><article><h1>Story</h1>" + prose + "</article>",
                 Kind::Article);
    EXPECT_EQ(md.substr(0, md.find('\n')), "# Story");
    EXPECT_NE(md.find("**bold words**"), std::string::npos) << md;
    EXPECT_EQ(md.find("Home"), std::string::npos) << md;
    // The article's tree opens the i again after </b>: a mark that would
    // open right after another of its character closed is left out.
    EXPECT_NE(md.find("**bold*both***italic."), std::string::npos) << md;
    // Marks that close together and open again together go on together.
    EXPECT_EQ(markdown("<p><b><strong><em>x</b>y</p>", Kind::Article), "***xy***\n");

    Options stripped;
    stripped.syntax = Syntax::Markdown;
    EXPECT_THROW(testsupport::convertInPieces("<p>a</p>", stripped), std::invalid_argument);
}

} // namespace
