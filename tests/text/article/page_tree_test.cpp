// The article's page tree: the tokens it keeps come back as they came
// (names, attributes, texts of every length, pieces of one text joined), each
// with the node that holds it; inline elements get nodes only when a block
// opens inside them; a node's counts are exact however large (kept in the
// node up to a few characters, else apart, in node order); the headings'
// texts; the stream stays smaller than the page, and is reserved at once
// as it would grow; a replay stops once told.
#include "text/article/page_tree.h"
#include "text/readable/elements.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using quillan::html::Attribute;
using quillan::html::Tag;
using quillan::text::article::PageTree;
using quillan::text::article::TokenKind;
using quillan::text::article::TokenPlace;
using quillan::text::readable::Element;

// Tokens written down as text, one a line.
class Recorder : public quillan::html::TokenSink {
public:
    void characters(std::string_view utf8) override { log += "text " + std::string(utf8) + "\n"; }
    void startTag(const Tag &tag) override
    {
        log += "start " + std::string(tag.name);
        for (const Attribute &a : tag.attributes)
            log += " " + std::string(a.name) + "=" + std::string(a.value);
        log += tag.selfClosing ? " /\n" : "\n";
    }
    void endTag(const Tag &tag) override { log += "end " + std::string(tag.name) + "\n"; }
    std::string log;
};

void start(quillan::html::TokenSink &sink, std::string_view name, std::vector<Attribute> attributes = {},
           bool selfClosing = false)
{
    Tag tag;
    tag.name = name;
    tag.attributes = attributes;
    tag.selfClosing = selfClosing;
    sink.startTag(tag);
}

void end(quillan::html::TokenSink &sink, std::string_view name)
{
    Tag tag;
    tag.name = name;
    sink.endTag(tag);
}

std::string replayed(const PageTree &tree)
{
    Recorder out;
    tree.replay(out, [](const TokenPlace &) { return true; });
    return out.log;
}

TEST(PageTree, TokensComeBackAsTheyCame)
{
    const std::string longValue(20000, 'v');
    const std::string piece(100, 'a');
    PageTree tree(nullptr);
    Recorder fed;
    for (quillan::html::TokenSink *sink :
         {static_cast<quillan::html::TokenSink *>(&tree), static_cast<quillan::html::TokenSink *>(&fed)}) {
        start(*sink, "html", {{"lang", "en"}});
        start(*sink, "body");
        start(*sink, "my-widget", {{"data-x", longValue}, {"class", ""}, {"id", "w"}});
        start(*sink, "img", {{"src", "a.png"}, {"alt", "\xC3\xA9t\xC3\xA9"}}, true);
        start(*sink, "svg");
        start(*sink, "p", {}, true);
        end(*sink, "svg");
        end(*sink, "unknown-name");
        end(*sink, "my-widget");
    }
    // The pieces of one text (its size crossing 128, 16384 and 2097152
    // bytes as it grows) come back as one.
    std::string whole;
    for (int i = 0; i < 200; ++i) {
        tree.characters(piece);
        whole += piece;
    }
    const std::string more(2200000, 'z');
    tree.characters(more);
    fed.characters(whole + more);
    start(tree, "br");
    start(fed, "br");
    tree.characters(piece);
    fed.characters(piece);
    tree.endOfFile();
    EXPECT_EQ(replayed(tree), fed.log);
    EXPECT_LT(tree.streamBytes(), fed.log.size());
}

TEST(PageTree, InlineElementsGetNodesOnlyAroundBlocks)
{
    PageTree tree(nullptr);
    start(tree, "body");
    start(tree, "span", {{"class", "outer"}});
    tree.characters("Loose words, then a block.");
    start(tree, "b");
    tree.characters("bold");
    end(tree, "b");
    start(tree, "div");
    tree.characters("In the block.");
    end(tree, "div");
    end(tree, "span");
    start(tree, "em");
    start(tree, "a", {{"href", "/x"}});
    tree.characters("link");
    end(tree, "a");
    start(tree, "img");
    end(tree, "em");
    tree.endOfFile();

    // body, span (a block opened inside it), div, a; not b, em or img.
    const auto &nodes = tree.nodes();
    ASSERT_EQ(nodes.size(), 5u);
    EXPECT_EQ(nodes[1].element, Element::Body);
    EXPECT_EQ(nodes[2].element, Element::Other);
    EXPECT_EQ(nodes[2].parent, 1u);
    EXPECT_EQ(tree.countsOf(2).text, 26u); // its own and b's, white space left out
    EXPECT_EQ(tree.countsOf(2).commas, 1u);
    EXPECT_TRUE(nodes[2].sentenceEnd);
    EXPECT_EQ(tree.countsOf(2).otherChildren, 1u); // b
    EXPECT_EQ(nodes[3].element, Element::Div);
    EXPECT_EQ(nodes[3].parent, 2u);
    EXPECT_FALSE(nodes[3].wrapped);
    EXPECT_EQ(nodes[4].element, Element::A);
    EXPECT_EQ(nodes[4].parent, 1u);
    EXPECT_TRUE(nodes[4].wrapped); // inside em
    EXPECT_EQ(tree.countsOf(4).linkText, 4u);
    EXPECT_EQ(tree.countsOf(1).images, 1u);
    EXPECT_EQ(tree.countsOf(1).otherChildren, 1u); // em

    // Each token with the node that holds it, own or inside an element
    // without a node.
    std::string places;
    Recorder out;
    tree.replay(out, [&places](const TokenPlace &t) {
        places += (t.kind == TokenKind::Start ? "S"
                   : t.kind == TokenKind::End ? "E"
                                              : "T") +
                  std::to_string(t.node) + (t.own ? "" : "'") + " ";
        return t.node != 4; // the link left out
    });
    EXPECT_EQ(places, "S1 S2 T2 S2' T2' E2' S3 T3 E3 E2 S1' S4 T4 E4 S1' E1' ");
    EXPECT_EQ(out.log.find("link"), std::string::npos);
    EXPECT_NE(out.log.find("start img"), std::string::npos);
}

TEST(PageTree, LinksWithinThePageAreTold)
{
    PageTree tree(nullptr);
    start(tree, "body");
    for (const char *href : {" #top", "/news", "", "page#part"}) {
        start(tree, "a", {{"href", href}});
        tree.characters("link");
        end(tree, "a");
    }
    start(tree, "div", {{"href", "#x"}});
    end(tree, "div");
    tree.endOfFile();
    const auto &nodes = tree.nodes();
    ASSERT_EQ(nodes.size(), 7u);
    EXPECT_TRUE(nodes[2].inPage); // a fragment alone, after white space
    EXPECT_FALSE(nodes[3].inPage);
    EXPECT_FALSE(nodes[4].inPage);
    EXPECT_FALSE(nodes[5].inPage); // another page's part
    EXPECT_FALSE(nodes[6].inPage); // no link
}

TEST(PageTree, ReplayStopsOnceDone)
{
    PageTree tree(nullptr);
    start(tree, "body");
    for (const char *text : {"first", "second"}) {
        start(tree, "p");
        tree.characters(text);
        end(tree, "p");
    }
    tree.endOfFile();
    Recorder out;
    int asked = 0;
    tree.replay(
        out,
        [&asked](const TokenPlace &) {
            ++asked;
            return true;
        },
        [&out] { return out.log.find("text") != std::string::npos; });
    EXPECT_EQ(out.log, "start body\nstart p\ntext first\n");
    EXPECT_EQ(asked, 3); // nothing after the first text is read
    EXPECT_EQ(replayed(tree), "start body\nstart p\ntext first\nend p\nstart p\ntext second\nend p\n");
}

TEST(PageTree, CountsAreExactWhereverTheyAreKept)
{
    PageTree tree(nullptr);
    start(tree, "body");
    start(tree, "div", {{"class", "post"}});
    tree.characters("a, b"); // the div's own, so that it is counted before its paragraphs
    start(tree, "p");
    tree.characters(std::string(255, 'a')); // the most a node keeps itself
    end(tree, "p");
    start(tree, "p");
    tree.characters(std::string(200, 'b'));
    tree.characters(std::string(100, 'c')); // one text in two pieces: 300
    end(tree, "p");
    start(tree, "p");
    tree.characters("x, y");
    for (int i = 0; i < 300; ++i)
        start(tree, "img"); // more than a narrow count holds
    start(tree, "a", {{"href", "/x"}});
    tree.characters(std::string(70000, 'l'));
    end(tree, "a");
    end(tree, "p");
    end(tree, "div");
    start(tree, "h2", {{"class", "title"}});
    tree.characters(" First \n heading ");
    end(tree, "h2");
    start(tree, "h2");
    tree.characters("Second");
    end(tree, "h2");
    tree.endOfFile();

    const auto &nodes = tree.nodes();
    ASSERT_EQ(nodes.size(), 9u); // document, body, div, three p, a, two h2
    const std::vector<std::uint32_t> text{0, 0, 3, 255, 300, 3, 70000, 12, 6};
    const std::vector<std::uint32_t> commas{0, 0, 1, 0, 0, 1, 0, 0, 0};
    PageTree::CountsCursor cursor(tree);
    for (std::uint32_t i = 0; i < nodes.size(); ++i) {
        // The search and the reading in order agree.
        EXPECT_EQ(tree.countsOf(i).text, text[i]) << i;
        EXPECT_EQ(cursor.at(i).text, text[i]) << i;
        EXPECT_EQ(tree.countsOf(i).commas, commas[i]) << i;
    }
    EXPECT_FALSE(nodes[3].counted);
    EXPECT_TRUE(nodes[4].counted);
    EXPECT_EQ(tree.countsOf(5).images, 300u);
    EXPECT_EQ(tree.countsOf(5).otherChildren, 300u); // the img elements (the a has a node)
    EXPECT_EQ(tree.countsOf(6).linkText, 70000u);
    EXPECT_EQ(cursor.at(8).linkText, 0u);
    EXPECT_NE(tree.classHash(2), 0u);
    EXPECT_NE(tree.classHash(7), 0u);
    EXPECT_NE(tree.classHash(2), tree.classHash(7));
    EXPECT_EQ(tree.classHash(5), 0u);
    EXPECT_EQ(tree.classHash(8), 0u);

    ASSERT_EQ(tree.headings().size(), 2u);
    EXPECT_EQ(tree.headings()[0].node, 7u);
    EXPECT_EQ(tree.headingText(0), "First heading");
    EXPECT_EQ(tree.headings()[1].node, 8u);
    EXPECT_EQ(tree.headingText(1), "Second");
}

TEST(PageTree, StreamOfManyShortElementsStaysSmallerThanThePage)
{
    PageTree tree(nullptr);
    constexpr int kCount = 100000;
    for (int i = 0; i < kCount; ++i) {
        start(tree, "b");
        tree.characters("x");
        end(tree, "b");
    }
    tree.endOfFile();
    EXPECT_EQ(tree.nodes().size(), 1u);
    EXPECT_LE(tree.streamBytes(), static_cast<std::size_t>(kCount) * 8); // "<b>x</b>" is 8 bytes
}

TEST(PageTree, ReservedStreamIsTakenOnceAsGrowingWouldTakeIt)
{
    // As much room as doubling from the first 4 KiB would come to, and no
    // more: the page's tokens then fit without the stream moving.
    PageTree tree(nullptr);
    tree.reserve(100000);
    EXPECT_EQ(tree.streamCapacity(), std::size_t{131072});
    start(tree, "body");
    for (int i = 0; i < 2000; ++i) {
        start(tree, "p", {{"class", "entry"}});
        tree.characters("Some words of the page.");
        end(tree, "p");
    }
    tree.endOfFile();
    EXPECT_GT(tree.streamBytes(), std::size_t{65536});
    EXPECT_EQ(tree.streamCapacity(), std::size_t{131072});

    PageTree small(nullptr);
    small.reserve(5000);
    EXPECT_EQ(small.streamCapacity(), std::size_t{8192});
    PageTree none(nullptr);
    none.reserve(0);
    EXPECT_EQ(none.streamCapacity(), std::size_t{4096});
}

} // namespace
