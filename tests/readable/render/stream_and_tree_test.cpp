// What the renderer's own open-element stack hides against what the tree
// builder's tree of the same page hides: the streamed text and the text of
// the tree (walked into the same renderer) show the same words.
#include "tree_text.h"

#include "conversion/readable_converter.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace {

using testing_readable::treeText;
using testing_readable::wordsOf;

std::string streamed(std::string_view page)
{
    testing_readable::TreeTextSink out;
    quillan::ReadableText text(out, {});
    text.feed(page);
    text.finish();
    return out.text;
}

void expectSameWords(std::initializer_list<std::string_view> pages)
{
    for (const std::string_view page : pages) {
        const std::string tree = treeText(page);
        EXPECT_EQ(wordsOf(streamed(page)), wordsOf(tree)) << page << "\ntree:\n" << tree;
    }
}

TEST(StreamAndTree, TablePartsOutsideATableAreIgnored)
{
    expectSameWords({"<th><h5 style=display:none><td>x</h5>y", "<div hidden><td>x</div>y",
                     "<tr><span hidden><td>x</span>y", "<colgroup>shown<caption>too",
                     "<table><tr><td><div hidden><td>x</table>y"});
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
}

} // namespace
