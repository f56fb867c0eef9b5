// The tree builder's own cases, for what the public suite does not cover:
// input cut into chunks anywhere gives the same tree; hostile nesting stays
// within linear time and memory; a watcher reads the tokens the tree is
// built from.
#include "html/tree/parser.h"
#include "tree_dump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillan::html;

std::string repeat(std::string_view s, std::size_t n)
{
    std::string out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

Document parseInChunks(std::string_view html, std::size_t chunk)
{
    Parser parser;
    for (std::size_t at = 0; at < html.size(); at += chunk)
        parser.feed(html.substr(at, chunk));
    return parser.finish();
}

std::size_t depthOf(const Document &doc)
{
    std::size_t deepest = 0;
    std::vector<std::pair<NodeId, std::size_t>> todo{{doc.root(), 0}};
    while (!todo.empty()) {
        const auto [n, d] = todo.back();
        todo.pop_back();
        deepest = std::max(deepest, d);
        for (NodeId c = doc.firstChild(n); c != kNoNode; c = doc.nextSibling(c))
            todo.emplace_back(c, d + 1);
    }
    return deepest;
}

TEST(TreeBuilder, ChunksDoNotChangeTheTree)
{
    const std::string page =
        "<!DOCTYPE html><html><head><title>A &amp; B</title><style>p{}</style></head><body>"
        "<pre>\nkept</pre><textarea>\n\nline</textarea><listing>\nx</listing>"
        "<table> <tr><td>cell &lt; 1<td>two</table>text<table>foster<tr>more</table>"
        "<p>one<b>bold<i>both</b>italic</i> tail<svg viewbox='0 0 1 1'><foreignObject><p>in</p></foreignObject>"
        "<![CDATA[raw <b>]]></svg><math><mi>x</mi><annotation-xml encoding='text/html'><div>d</div>"
        "</annotation-xml></math><template><tr><td>t</template><select><option>a<option>b</select>"
        "<script>if (a < b) document.write('</p>')</script>caf\xC3\xA9 \xE2\x82\xAC end";
    const std::string whole = treetest::dumpTree(parseDocument(page));
    EXPECT_NE(whole.find("\"kept\""), std::string::npos);
    EXPECT_NE(whole.find("\"\nline\""), std::string::npos);
    // Foster-parented text merges with the text before the table.
    EXPECT_NE(whole.find("\"textfostermore\""), std::string::npos);
    for (std::size_t chunk = 1; chunk <= 9; ++chunk)
        EXPECT_EQ(treetest::dumpTree(parseInChunks(page, chunk)), whole) << "chunks of " << chunk;
}

TEST(TreeBuilder, TheStackOfOpenElementsCountsAgainstTheLimit)
{
    // Nesting keeps every element on the stack of open elements, which then
    // costs more than the nodes themselves: a limit the nodes alone stay
    // under is passed, before the stack grows past it.
    constexpr std::size_t kCount = 20000;
    constexpr std::size_t kLimit = std::size_t{1} << 20;
    const auto parse = [](const std::string &page) {
        Parser parser;
        parser.limitBytes(kLimit);
        parser.feed(page);
        const std::size_t used = parser.bytesInUse();
        return parser.finish().bytesInUse() <= kLimit && used <= kLimit;
    };
    // The same elements side by side: under the limit.
    EXPECT_TRUE(parse(repeat("<i></i>", kCount)));
    EXPECT_TRUE(parse(repeat("<table><td></td></table>", kCount / 4)));
    EXPECT_THROW(parse(repeat("<i>", kCount)), DocumentTooLarge);
    EXPECT_THROW(parse(repeat("<table><td>", kCount / 4)), DocumentTooLarge);
    EXPECT_THROW(parse(repeat("<span>", kCount)), DocumentTooLarge);
}

TEST(TreeBuilder, DeepNestingStaysLinear)
{
    // Each of these would be quadratic with a walk of the whole stack per
    // token; at this depth that takes minutes, so the test's timeout fails.
    constexpr std::size_t kDepth = 100000;
    {
        const Document doc = parseDocument(repeat("<div>", kDepth) + repeat("</p>", kDepth));
        // The last </p> makes an empty p in the deepest div.
        EXPECT_EQ(depthOf(doc), kDepth + 3);
        // Nodes, the p elements each </p> makes, and the names: a bounded
        // cost per element.
        EXPECT_LT(doc.memoryBytes(), 2 * kDepth * 64 + (1u << 20));
    }
    {
        // A p out of scope below an object, under a deep run of spans: the
        // divs each ask whether a p is in button scope.
        const Document doc = parseDocument("<p><object>" + repeat("<span>", kDepth) + repeat("<div>x", kDepth));
        EXPECT_EQ(depthOf(doc), 2 * kDepth + 5);
    }
    {
        // Unknown end tags that match nothing, under deep unknown elements.
        const Document doc = parseDocument(repeat("<x-a>", kDepth) + repeat("</x-b>", kDepth) + "<table></table>" +
                                           repeat("<table></table>", 1000));
        EXPECT_EQ(depthOf(doc), kDepth + 3);
    }
    {
        // List items deep inside inline elements: each closes the one before.
        const Document doc = parseDocument("<ul>" + repeat("<span>", kDepth) + repeat("<li>", kDepth));
        EXPECT_EQ(depthOf(doc), kDepth + 4);
    }
}

TEST(TreeBuilder, ManyFormattingElementsStayBounded)
{
    // Distinct formatting elements that are never closed: each paragraph
    // reopens them; the list keeps at most its bound, so the tree grows
    // linearly with the input.
    std::string page;
    for (int i = 0; i < 5000; ++i)
        page += "<b id=" + std::to_string(i) + ">";
    page += repeat("<p>x</p>", 2000);
    const Document doc = parseDocument(page);
    EXPECT_LT(doc.nodeCount(), 5000 + 2000 * (TreeBuilder::kMaxFormattingEntries + 3));
    // Misnested end tags over many open formatting elements.
    const Document misnested = parseDocument(repeat("<a><div>", 20000) + repeat("</a>", 20000));
    EXPECT_GT(misnested.nodeCount(), 40000u);
}

TEST(TreeBuilder, EachCharacterIsATokenOfItsOwn)
{
    // Where the characters that are not white space are dropped one by one,
    // the white space among them is still inserted, however the run is cut.
    const std::string inTemplate = "<template><col>ab\f c</template>";
    const std::string frameset = "<frameset> a b<frame></frameset>";
    for (std::size_t chunk = 1; chunk <= 4; ++chunk) {
        EXPECT_EQ(treetest::dumpTree(parseInChunks(inTemplate, chunk)),
                  "| <html>\n|   <head>\n|     <template>\n|       content\n|         <col>\n|         \"\f \"\n|   "
                  "<body>\n");
        EXPECT_EQ(treetest::dumpTree(parseInChunks(frameset, chunk)),
                  "| <html>\n|   <head>\n|   <frameset>\n|     \"  \"\n|     <frame>\n");
    }
    EXPECT_EQ(treetest::dumpTree(parseDocument(inTemplate)), treetest::dumpTree(parseInChunks(inTemplate, 1)));
}

// The tokens written out as a page again, for comparing.
class TokenRecord final : public TokenSink {
public:
    explicit TokenRecord(TokenSink *next = nullptr) : next_(next) {}
    void characters(std::string_view utf8) override
    {
        text += utf8;
        if (next_)
            next_->characters(utf8);
    }
    void startTag(const Tag &tag) override
    {
        ++starts;
        text += "<" + std::string(tag.name);
        for (const Attribute &a : tag.attributes)
            text += " " + std::string(a.name) + "=\"" + std::string(a.value) + "\"";
        text += tag.selfClosing ? "/>" : ">";
        if (next_)
            next_->startTag(tag);
    }
    void endTag(const Tag &tag) override
    {
        text += "</" + std::string(tag.name) + ">";
        if (next_)
            next_->endTag(tag);
    }
    void comment(std::string_view comment) override
    {
        text += "<!--" + std::string(comment) + "-->";
        if (next_)
            next_->comment(comment);
    }
    void endOfFile() override
    {
        text += "[end]";
        if (next_)
            next_->endOfFile();
    }
    std::string text;
    std::size_t starts = 0;

private:
    TokenSink *next_;
};

TEST(Parser, AWatcherReadsTheTokensTheTreeIsBuiltFrom)
{
    // Text the tree builder switches the tokenizer for: what a watcher reads
    // of it depends on the switches.
    const std::string page = "<!DOCTYPE html><html lang=en><head><title>A <b>bold</b> &amp; title</title>"
                             "<noscript><style>p{}</style></noscript><script>if (a</p>) x('<b>')</script></head>"
                             "<body><p class=x>One<svg><![CDATA[<i>]]></svg><textarea><p></textarea><!-- c -->"
                             "<table>two<tr><td>three</table><plaintext></body><b>";
    const std::string tree = treetest::dumpTree(parseDocument(page));
    for (const std::size_t chunk : {std::size_t(1), std::size_t(5), page.size()}) {
        SCOPED_TRACE(chunk);
        // What a tokenizer driven by a tree builder hands it.
        Document document(NodeKind::Document);
        TreeBuilder builder(document, {});
        TokenRecord reference(&builder);
        Tokenizer tokenizer(reference);
        builder.attach(tokenizer);
        for (std::size_t at = 0; at < page.size(); at += chunk)
            tokenizer.feed(std::string_view(page).substr(at, chunk));
        tokenizer.finish();
        EXPECT_NE(reference.text.find("<title>A <b>bold</b> & title</title>"), std::string::npos) << reference.text;

        Parser parser;
        TokenRecord watcher;
        parser.watch(&watcher);
        TokenRecord partly;
        Parser stopped;
        stopped.watch(&partly, [&partly] { return partly.starts == 4; });
        for (std::size_t at = 0; at < page.size(); at += chunk) {
            parser.feed(std::string_view(page).substr(at, chunk));
            stopped.feed(std::string_view(page).substr(at, chunk));
        }
        EXPECT_EQ(treetest::dumpTree(parser.finish()), tree);
        EXPECT_EQ(treetest::dumpTree(stopped.finish()), tree);
        EXPECT_EQ(watcher.text, reference.text);
        // Up to the fourth start tag (<noscript>) and nothing after it.
        const std::string fourth = "<noscript>";
        EXPECT_EQ(partly.text, reference.text.substr(0, reference.text.find(fourth) + fourth.size()));
    }
    // Watching stops where it is told to, and the tree is the same.
    Parser parser;
    TokenRecord watcher;
    parser.watch(&watcher);
    parser.feed(std::string_view(page).substr(0, page.find("<body>")));
    parser.watch(nullptr);
    parser.feed(std::string_view(page).substr(page.find("<body>")));
    EXPECT_EQ(treetest::dumpTree(parser.finish()), tree);
    EXPECT_TRUE(watcher.text.ends_with("</head>")) << watcher.text;
}

TEST(TreeBuilder, FragmentsKeepTheirNodesAtTheRoot)
{
    FragmentContext context;
    context.localName = "tr";
    const Document doc = parseFragment("<td>a<td>b", context);
    EXPECT_EQ(doc.kind(doc.root()), NodeKind::DocumentFragment);
    EXPECT_EQ(treetest::dumpTree(doc), "| <td>\n|   \"a\"\n| <td>\n|   \"b\"\n");
}

} // namespace

TEST(Document, KnownNamesAreTheirIdsAndOtherNamesGetTheirOwn)
{
    Document doc;
    for (std::uint32_t k = 0; k < kKnownNameCount; ++k) {
        EXPECT_EQ(doc.findName(knownNameText(k)), k);
        EXPECT_EQ(doc.intern(knownNameText(k)), k);
        EXPECT_EQ(doc.nameText(k), knownNameText(k));
    }
    // Case counts: an HTML element written foreignobject is not SVG's.
    const NameId lower = doc.intern("foreignobject");
    EXPECT_GE(lower, kKnownNameCount);
    EXPECT_EQ(doc.findName("foreignobject"), lower);
    EXPECT_EQ(doc.intern("foreignObject"), k_foreignObject);
    const NameId custom = doc.intern("x-card");
    EXPECT_NE(custom, lower);
    EXPECT_EQ(doc.intern("x-card"), custom);
    EXPECT_EQ(doc.nameText(custom), "x-card");
    EXPECT_EQ(doc.findName("x-other"), kNoNode);
}

TEST(Document, NamesThatDifferInAnyOneByteStayApart)
{
    // Names of every length, each changed in one byte at every place: the
    // ones seen a moment ago are answered from a cache, which must still
    // tell each from the others.
    Document doc;
    std::vector<std::pair<std::string, NameId>> seen;
    for (std::size_t length = 1; length <= 20; ++length) {
        const std::string base(length, 'q');
        for (std::size_t at = 0; at <= length; ++at) {
            std::string name = base;
            if (at < length)
                name[at] = 'z';
            seen.emplace_back(name, doc.intern(name));
            EXPECT_EQ(doc.findName(base.substr(0, length - 1) + "y"), kNoNode) << name;
        }
    }
    for (const auto &[name, id] : seen) {
        EXPECT_EQ(doc.intern(name), id) << name;
        EXPECT_EQ(doc.findName(name), id) << name;
        EXPECT_EQ(doc.nameText(id), name);
    }
    std::vector<NameId> ids;
    for (const auto &entry : seen)
        ids.push_back(entry.second);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(std::unique(ids.begin(), ids.end()), ids.end());
}

TEST(Document, TextAtTheEndMergesAndEveryChangeKeepsTheLimit)
{
    Document doc;
    const NodeId body = doc.createElement(Namespace::Html, k_body, {});
    doc.insertText(body, kNoNode, "a");
    doc.insertText(body, kNoNode, "b");
    const NodeId img = doc.createElement(Namespace::Html, k_img, {});
    doc.appendChild(body, img);
    doc.insertText(body, kNoNode, "c");
    doc.insertText(body, img, "d");
    ASSERT_EQ(doc.firstChild(body), doc.previousSibling(img));
    EXPECT_EQ(doc.text(doc.firstChild(body)), "abd");
    EXPECT_EQ(doc.text(doc.lastChild(body)), "c");
    EXPECT_EQ(doc.parent(doc.lastChild(body)), body);
    EXPECT_EQ(doc.bytesInUse(), doc.memoryBytes());

    // Each kind of change that passes the limit throws, with its bytes
    // counted in full.
    const std::string big(4096, 'v');
    const NewAttribute attribute{AttributeNamespace::None, "data-x", big};
    const auto limited = [&] {
        auto d = std::make_unique<Document>();
        d->limitBytes(d->bytesInUse() + 2048);
        return d;
    };
    EXPECT_THROW(limited()->createElement(Namespace::Html, k_div, {&attribute, 1}), DocumentTooLarge);
    EXPECT_THROW(limited()->createText(big), DocumentTooLarge);
    const auto grown = limited();
    const NodeId div = grown->createElement(Namespace::Html, k_div, {});
    grown->insertText(div, kNoNode, "x");
    EXPECT_THROW(grown->insertText(div, kNoNode, big), DocumentTooLarge);
}
