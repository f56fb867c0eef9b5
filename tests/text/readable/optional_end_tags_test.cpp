// Every element whose end tag a page may leave out, left out: the readable
// text has the words the tree builder's tree shows, in the same order,
// whether the page comes whole or in small pieces.
#include "tree_words.h"

#include "html/tree/parser.h"
#include "support/converted_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using testing_readable::treeWords;
using testing_readable::visibleWords;

std::string readable(std::string_view page, std::size_t piece)
{
    quillan::text::Options options;
    options.kind = quillan::text::Kind::Readable;
    return testsupport::convertInPieces(page, options, piece).text;
}

void expectTreeWords(std::string_view element, std::initializer_list<std::string_view> pages)
{
    for (const std::string_view page : pages) {
        const std::vector<std::string> tree = treeWords(quillan::html::parseDocument(page));
        EXPECT_FALSE(tree.empty()) << element << ": " << page;
        for (const std::size_t piece : {page.size() + 1, std::size_t{3}})
            EXPECT_EQ(visibleWords(readable(page, piece)), tree)
                << element << ": " << page << " (pieces of " << piece << ")";
    }
}

TEST(OptionalEndTags, ListsAndParagraphs)
{
    expectTreeWords("li", {"<ul><li>one<li>two<li>three</ul>after", "<ol><li>a<ul><li>b<li>c</ul><li>d</ol>e"});
    expectTreeWords("dt", {"<dl><dt>term<dt>other<dd>def</dl>after"});
    expectTreeWords("dd", {"<dl><dt>t<dd>one<dd>two<dt>u<dd>three</dl>after"});
    expectTreeWords("p", {"<p>one<p>two<div>three</div><p>four<ul><li>five</ul><p>six<table><tr><td>seven</table>end",
                          "<p>a<h2>b</h2><p>c<pre>d</pre><p>e<blockquote>f</blockquote>g"});
}

TEST(OptionalEndTags, RubyAndSelect)
{
    expectTreeWords("rt", {"<ruby>base<rt>one<rt>two</ruby>after", "<ruby>a<rt>b<rb>c<rt>d</ruby>e"});
    expectTreeWords("rp", {"<ruby>kan<rp>(<rt>reading<rp>)</ruby>after", "<ruby>x<rp>[<rt>y<rp>]<rt>z</ruby>w"});
    expectTreeWords("option", {"<select><option>one<option>two</select>after"});
    expectTreeWords("optgroup", {"<select><optgroup label=g><option>one<optgroup label=h><option>two</select>after"});
}

TEST(OptionalEndTags, TableParts)
{
    expectTreeWords("colgroup",
                    {"<table><colgroup><col><col><tr><td>a<td>b</table>after",
                     "<table><colgroup span=2><tbody><tr><td>a</table>after",
                     "<table><colgroup><col><thead><tr><th>h<tbody><tr><td>d</table>after",
                     "<table><colgroup><col><caption>cap</caption><tr><td>a</table>after",
                     "<table><colgroup> <col> text<tr><td>a</table>after",
                     "<table><colgroup><col></div>x<tr><td>a</table>after",
                     "<table><colgroup><colgroup><col><tr><td>a</table>after", "<table><colgroup></table>after"});
    expectTreeWords("caption", {"<table><caption>cap<tr><td>a</table>after",
                                "<table><caption>cap<colgroup><col><tr><td>a</table>after",
                                "<table><caption>cap<tbody><tr><td>a</table>after"});
    expectTreeWords("thead", {"<table><thead><tr><th>h<tbody><tr><td>d</table>after"});
    expectTreeWords("tbody", {"<table><tbody><tr><td>a<tbody><tr><td>b<tfoot><tr><td>c</table>after"});
    expectTreeWords("tfoot", {"<table><tfoot><tr><td>f<tbody><tr><td>b</table>after"});
    expectTreeWords("tr", {"<table><tr><td>a<tr><td>b<tbody><tr><td>c</table>after"});
    expectTreeWords("td", {"<table><tr><td>a<td>b<tr><td>c</table>after"});
    expectTreeWords("th", {"<table><tr><th>a<th>b<td>c<tr><th>d</table>after"});
}

TEST(OptionalEndTags, HtmlHeadAndBody)
{
    expectTreeWords("html", {"<html><head><title>t</title><body><p>text", "<html>a<p>b"});
    expectTreeWords("head", {"<html><head><title>t</title><meta charset=utf-8>text", "<head><style>p{}</style><p>a"});
    expectTreeWords("body", {"<body><p>a<div>b</div>c</html>d", "<html><body>a</body>b"});
}

} // namespace
