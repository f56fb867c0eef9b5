// The light tree made of a Document in one walk, without its stream, is the
// one the walk's tokens make as a stream: the same nodes, counts, class
// hashes, headings, title and stream size, and the same tokens with the
// same places for any choice; where the light tree's rules would make
// another structure of the Document (a p a table closes in quirks mode, a
// void element inside SVG, nesting past the light tree's depth), the walk
// says so, and the page is read as a stream instead.
#include "html/tree/parser.h"
#include "text/article/document_walk.h"
#include "text/article/page_tree.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using quillan::html::Document;
using quillan::text::article::Keeping;
using quillan::text::article::PageTree;
using quillan::text::article::TokenPlace;

Document parse(const std::string &page)
{
    quillan::html::Parser parser;
    parser.feed(page);
    return parser.finish();
}

// The tokens as text, each with its place and whether it was wanted.
class Recorder : public quillan::html::TokenSink {
public:
    void characters(std::string_view utf8) override { log += "'" + std::string(utf8) + "'\n"; }
    void startTag(const quillan::html::Tag &tag) override
    {
        log += "<" + std::string(tag.name);
        for (const quillan::html::Attribute &a : tag.attributes)
            log += " " + std::string(a.name) + "=" + std::string(a.value);
        log += tag.selfClosing ? "/>\n" : ">\n";
    }
    void endTag(const quillan::html::Tag &tag) override { log += "</" + std::string(tag.name) + ">\n"; }
    std::string log;
};

// Asks for every token, noting its place; wants those of every other node.
auto placesTo(std::string &log)
{
    return [&log](const TokenPlace &p) {
        log += std::to_string(static_cast<int>(p.kind)) + " " + std::to_string(p.node) + (p.own ? " own\n" : "\n");
        return p.node % 2 == 0;
    };
}

std::string describe(const PageTree &tree)
{
    std::string s = "title " + tree.title() + "\n";
    PageTree::CountsCursor cursor(tree);
    for (std::uint32_t i = 0; i < tree.nodes().size(); ++i) {
        const auto &n = tree.nodes()[i];
        const auto c = cursor.at(i);
        s += std::to_string(i) + " parent " + std::to_string(static_cast<int>(n.parent)) + " element " +
             std::to_string(static_cast<int>(n.element)) + " weight " + std::to_string(n.classWeight) + " flags " +
             std::to_string(n.unlikely) + std::to_string(n.silent) + std::to_string(n.sentenceEnd) +
             std::to_string(n.wrapped) + std::to_string(n.block) + std::to_string(n.heading) + " counts " +
             std::to_string(c.text) + "," + std::to_string(c.linkText) + "," + std::to_string(c.commas) + "," +
             std::to_string(c.images) + "," + std::to_string(c.otherChildren) + "," + std::to_string(c.breaks) +
             " class " + std::to_string(tree.classHash(i)) + "\n";
    }
    for (std::size_t k = 0; k < tree.headings().size(); ++k)
        s += "heading " + std::to_string(tree.headings()[k].node) + " " + std::string(tree.headingText(k)) + "\n";
    s += "stream " + std::to_string(tree.streamBytes()) + " most " + std::to_string(tree.mostBytesBuilt()) + "\n";
    return s;
}

// Whether the Document's walk builds the tree; when it does, that it is
// the stream's tree, and gives the same tokens.
bool builtAlike(const std::string &page)
{
    const Document document = parse(page);
    PageTree streamed(nullptr);
    quillan::text::article::walkDocument(document, streamed);
    streamed.endOfFile();

    PageTree walked(nullptr);
    walked.keep(Keeping::Nodes);
    if (!quillan::text::article::buildPageTree(document, walked))
        return false;
    walked.endOfFile();
    EXPECT_EQ(describe(walked), describe(streamed)) << page;
    EXPECT_EQ(walked.sources().size(), walked.nodes().size());

    std::string places, walkedPlaces;
    Recorder tokens, walkedTokens;
    streamed.replay(tokens, placesTo(places));
    quillan::text::article::replayDocument(document, walked.sources(), walkedTokens, placesTo(walkedPlaces));
    EXPECT_EQ(walkedPlaces, places) << page;
    EXPECT_EQ(walkedTokens.log, tokens.log) << page;
    return true;
}

TEST(DocumentWalkTree, TheWalkBuildsTheStreamsTree)
{
    const char *pages[] = {
        // Inline elements holding blocks get nodes in their place.
        "<!DOCTYPE html><title>A | Site</title><body><span class=x><b><div>one, two.</div></b> tail</span>"
        "<a href=/x><i><p>in a link</p></i></a><em>plain <br> text<img src=i></em>",
        // SVG and MathML inside links: none of their elements holds a block.
        "<!DOCTYPE html><p><a href=#><svg><g><rect/></g><foreignObject><div>f</div></foreignObject></svg>go</a>"
        "<math><mi>x</mi><annotation-xml encoding=text/html><div>m</div></annotation-xml></math>",
        // Hidden, folded away and never shown.
        "<!DOCTYPE html><style>.gone{display:none}</style><div hidden>h</div><p class=gone>g</p>"
        "<details><summary>s</summary><p>folded</p></details><details open><p>open</p></details>"
        "<noscript><p>n</p></noscript><dialog>d</dialog><p style='visibility:hidden'>v</p>",
        // What the tree builder mends: implied ends, tbody, foster parenting,
        // misnested formatting, headings, lists.
        "<!DOCTYPE html><h1>Title <a href=#>x</a></h1><table>lost<tr><td>a<td>b</table><p>1<p>2<ul><li>x<li>y</ul>"
        "<dl><dt>t<dd>d</dl><b>bold<p>across</b> more</p><h2>two</h2><h3>three</h3><select><option>o</select>",
        // Texts the stream joins: a comment between them, a pre's line break.
        "<!DOCTYPE html><div>a<!-- c -->b</div><pre>\nline</pre><pre><b>x</b></pre><textarea>t</textarea>"
        "<script>s</script><template><p>t</p></template>",
        // Text ending sentences, head content, a body with no head.
        "<html><head><meta charset=utf-8><base href=/><link rel=x></head><body>Done. <p>Yes!</p> again?</body>",
        "plain text only",
    };
    for (const char *page : pages)
        EXPECT_TRUE(builtAlike(page)) << page;
}

TEST(DocumentWalkTree, DepartsWhereTheLightTreesRulesDiffer)
{
    // Quirks mode: a table does not close the p before it.
    EXPECT_FALSE(builtAlike("<p>a<table><tr><td>cell</table>"));
    // A void element inside SVG's foreignObject is no void element to the
    // light tree: it stays open.
    EXPECT_FALSE(builtAlike("<!DOCTYPE html><svg><foreignObject><br>x<b>y</b></foreignObject></svg>"));
    // Past the light tree's depth its elements become part of their parent.
    std::string deep = "<!DOCTYPE html>";
    for (std::size_t i = 0; i < PageTree::kMaxDepth + 10; ++i)
        deep += "<div>";
    EXPECT_FALSE(builtAlike(deep + "deep"));
    EXPECT_TRUE(builtAlike("<!DOCTYPE html><p>a<table><tr><td>cell</table>"));
}

} // namespace
