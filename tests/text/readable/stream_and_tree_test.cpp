// What the renderer's own open-element stack hides against what the tree
// builder's tree of the same page hides: the streamed text and the text of
// the tree (walked into the same renderer) show the same words.
#include "tree_text.h"

#include "text/conversion.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace {

using testing_readable::treeText;
using testing_readable::wordsOf;

// The page fed whole (piece 0) or in pieces of `piece` bytes.
std::string streamed(std::string_view page, std::size_t piece = 0)
{
    testing_readable::TreeTextSink out;
    quillan::text::Options options;
    options.kind = quillan::text::Kind::Readable;
    const auto text = quillan::text::makeConverter(options, out);
    if (piece == 0)
        piece = page.size();
    for (std::size_t i = 0; i < page.size(); i += piece)
        text->feed(page.substr(i, piece));
    text->finish();
    return out.text;
}

void expectSameWords(std::initializer_list<std::string_view> pages, std::size_t piece = 0)
{
    for (const std::string_view page : pages) {
        const std::string tree = treeText(page);
        EXPECT_EQ(wordsOf(streamed(page, piece)), wordsOf(tree)) << page << "\ntree:\n" << tree;
    }
}

TEST(StreamAndTree, TablePartsOutsideATableAreIgnored)
{
    expectSameWords({"<th><h5 style=display:none><td>x</h5>y", "<div hidden><td>x</div>y",
                     "<tr><span hidden><td>x</span>y", "<colgroup>shown<caption>too",
                     "<table><tr><td><div hidden><td>x</table>y"});
}

TEST(StreamAndTree, CaptionsColumnsAndRowGroupsEndTheOpenRowGroupRowAndCell)
{
    for (const std::size_t piece : {std::size_t(0), std::size_t(3)})
        expectSameWords({"<table><tbody hidden><tr><td>x<col><tr><td>shown</table>",
                         "<table><tr style=display:none><td>x<caption>shown</caption></table>",
                         "<table><thead hidden><tr><th>x<colgroup><col><tbody><tr><td>shown</table>",
                         "<table><caption hidden>x<col><tr><td>shown</table>",
                         // A row group ends the cell and the row, in a row
                         // group the page wrote or not.
                         "<table><th><tbody hidden><td>x</table>y", "<table><tr><td>a<tfoot hidden><tr><td>x</table>y",
                         "<table><caption>a<thead style=display:none><tr><td>x</table>y"},
                        piece);
}

TEST(StreamAndTree, ATemplateHoldsWhatFollowsUntilItsEndTag)
{
    expectSameWords(
        {"<head><template>x</head><p>hidden</p>", "<html><head><template><p>hidden</template></head><p>shown",
         "<template><table><tr><td>hidden</template>shown", "<p><template><div><span>hidden</template>shown"});
}

TEST(StreamAndTree, ContentMovedOutOfATableShowsAsTheTablesParent)
{
    expectSameWords({"<table><tbody hidden><tr><td>x</td></tr>text</tbody></table>after",
                     "<table hidden>text<tr><td>x</table>after",
                     "<table><tr hidden><div>shown <b>too</b></div><td>hidden</table>after",
                     "<table><tr style=display:none><p hidden>no</p><span>yes</span></table>",
                     "<div hidden><table>text<div>x</div></table></div>after",
                     "<table><tbody hidden><template>x</template><script>y</script><tr><td>z</table>after"});
}

TEST(StreamAndTree, SelectsEndByAnotherSelectOrAnInput)
{
    expectSameWords({"<select><option>a<select><b>after</b>", "<select><option>a<input>after",
                     "<select><optgroup label=g><option>a<p>b<option>c</select>d", "<optgroup><p>a<optgroup>b"});
}

TEST(StreamAndTree, EndTagsLookPastSelectAndDialog)
{
    // Neither is special to the tree builder: an end tag looking for its
    // element goes on past them.
    expectSameWords({"<ruby>a<rp>(<select><option>x</ruby>shown", "<span hidden><dialog open>x</span>shown",
                     "<select><option>a<ul><li><option>b</select>c", "<dialog open><ul><li>a</dialog>b"});
}

TEST(StreamAndTree, ForeignElementsTakeTheNamespaceOfTheirParent)
{
    // A MathML svg and its title: no picture, no integration point, so the
    // title's text is no RCDATA and the tags after it are tags.
    expectSameWords({"<math><svg><title>a<b>b</b></title>c</svg></math>d<i>e</i>",
                     "<svg><foreignobject><math><mi>x</mi></math></foreignobject></svg>y"});
    // An integration point bounds the scope a heading's end tag looks in,
    // and stops any other end tag as a special element does.
    expectSameWords({"<h5><svg><title><b>x</h5>y", "<h2><math><mi><i>x</h2>y</mi></math>z", "<x><svg><title></x>y",
                     "<span><math><mi><b>a</span>b</mi></math>c"});
    // Neither svg nor math is head content: either ends the head.
    expectSameWords({"<head><math>x</math><p>shown", "<html><head><math><template>x</template></math>y",
                     "<head><template><math>x</math></template></head>y"});
}

TEST(StreamAndTree, FormattingElementsReopenAndSplitAsInTheTree)
{
    for (const std::size_t piece : {std::size_t(0), std::size_t(3)}) {
        // Reopened before text and ordinary elements after an element
        // that closed them; not past a marker, nor past a fourth equal one.
        expectSameWords({"<table><a hidden></table>text", "<p><b hidden>x</p>y<div>z</div>",
                         "<p><i style=display:none>x<p>y</i>z", "<ul><li><s hidden>a<li>b</ul><span>c</span>",
                         "<table><tr><td><b hidden>x</td><td>y</table>z", "<p><u hidden>a</p><object>b</object><br>c",
                         "<p><em hidden>1<em hidden>2<em hidden>3<em>4</p>5",
                         "<p><em hidden>1<em hidden>2<em hidden>3<em hidden>4<em>5</p>6"},
                        piece);
        // Split about a block by a misnested end tag: what the block holds
        // stays in a copy, what follows the block does not.
        expectSameWords({"<b style=display:none>x<p>y</b>z", "<a hidden>1<div>2</a>3</div>4",
                         "<b hidden>1<span><div>2</b>3</div>4", "<b>1<i hidden>2<div>3</b>4</div>5",
                         "<a hidden>1<div>2<a>3</a>4</div>5", "<nobr hidden>1<div>2<nobr>3</nobr>4</div>5",
                         "<font hidden>1<p>2<font>3</font>4</p>5", "<b hidden>1<h1>2<p>3</b>4</p>5</h1>6",
                         "<b style=text-transform:uppercase>a<p>b</b>c", "<em hidden>1<li>2</em>3<li>4",
                         // Moved into a closed details: hidden there; reopened
                         // in it or after it: hidden or shown as it stands.
                         "<details><a><dl><a>x", "<details open><a><dl><a>x", "<details><h2>y<b></h2>y",
                         "<details><a><s><a>t", "<details><b>x</details>y", "<details><b hidden>x</details>y"},
                        piece);
    }
}

// Past the stack's bound a hidden element ends where the tree closes it:
// a start tag that closes a p of the stack closes it too, unless what is
// open past the stack keeps the p out of reach.
TEST(StreamAndTree, StartTagsClosingAParagraphEndHidingPastTheStack)
{
    std::string deep = "<p>";
    for (std::size_t i = 0; i < 600; ++i)
        deep += "<b>";
    for (const std::string_view tail :
         {"<span hidden>secret<div>in</div></span>z</p>tail", "<span hidden>s<ul><li>in</ul>z",
          "<span style=display:none>s<h2>in</h2>z", "<span hidden>s<hr>in", "<span hidden>s<p>in<div>in</div>z",
          "<span hidden><span>s<li>in",
          // Kept hidden: a button, foreign content or a formatting element
          // (reopened after the block starts) past the stack.
          "<span hidden>s<button>x<div>out</div>z", "<button><span hidden>s<div>out</div>z",
          "<span hidden><svg><desc><div>out</div></svg>z", "<i style=display:none>s<h2>out</h2>z"}) {
        const std::string page = deep + std::string(tail);
        const std::string tree = treeText(page);
        EXPECT_EQ(wordsOf(streamed(page)), wordsOf(tree)) << tail << "\ntree:\n" << tree;
    }
}

} // namespace
