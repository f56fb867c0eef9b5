// libFuzzer target: the readable text as the renderer streams it against the
// text of the tree builder's tree of the same page walked into the same
// renderer. The renderer's open-element stack stands in for the tree: both
// must show the same words in the same order. Four kinds of page are left
// out, each for a reason given where it is found: formatting elements
// copied by the tree builder, content moved out of a table, templates of
// columns and the selectedcontent element.
//
// The page is taken as UTF-8 (other inputs are passed over), so that both
// roads read the same characters: the streamed one is given a byte-order
// mark, which the decoder trusts before anything the page says.
//
// By hand, for longer:  build-asan/bin/fuzz_readable_tree -max_total_time=600 CORPUS_DIR
#include "encoding/utf8.h"
#include "fuzz_text.h"
#include "readable/render/tree_text.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string lowerCase(std::string_view s)
{
    std::string lower(s);
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

constexpr std::string_view kFormatting[] = {"a",    "b", "big",   "code",   "em",     "font", "i",
                                            "nobr", "s", "small", "strike", "strong", "tt",   "u"};

bool formatting(std::string_view name)
{
    for (const std::string_view n : kFormatting)
        if (n == name)
            return true;
    return false;
}

// The tree builder fed by a tokenizer, with the formatting elements (a, b,
// font, ...) the page's start tags open counted on the way.
class CountingBuilder final : public quillan::html::TokenSink {
public:
    explicit CountingBuilder(quillan::html::TreeBuilder &builder) : builder_(builder) {}
    void characters(std::string_view utf8) override { builder_.characters(utf8); }
    void startTag(const quillan::html::Tag &tag) override
    {
        if (formatting(tag.name))
            ++opened;
        builder_.startTag(tag);
    }
    void endTag(const quillan::html::Tag &tag) override { builder_.endTag(tag); }
    void comment(std::string_view text) override { builder_.comment(text); }
    void doctype(const quillan::html::Doctype &d) override { builder_.doctype(d); }
    void endOfFile() override { builder_.endOfFile(); }
    std::size_t opened = 0;

private:
    quillan::html::TreeBuilder &builder_;
};

// Left out of the comparison: pages whose tree holds more formatting
// elements than their start tags opened. The tree builder opens such an
// element again after an element that closed it (the active formatting
// elements are reconstructed) and splits it about a block (the adoption
// agency, which also ends the elements between); so a hidden one hides
// text far after it, and the elements it ends stop hiding. The renderer's
// stack follows neither rule.
bool formattingCopied(const quillan::html::Document &document, std::size_t opened)
{
    using namespace quillan::html;
    std::size_t inTree = 0;
    for (NodeId n = 0; n < document.nodeCount(); ++n)
        if (document.isElement(n) && document.ns(n) == Namespace::Html && formatting(document.localName(n)))
            ++inTree;
    return inTree > opened;
}

// Left out too: pages where the tree builder moved content out of a table
// (foster parenting): it stands before the table in the tree, but where it
// came in the stream, which a renderer that writes as it reads cannot
// change. Nodes are made in the page's order, so content moved before an
// older table has the higher id; text moved there may have joined a text
// node already before the table, so any text right before a table counts.
bool fosterParented(const quillan::html::Document &document)
{
    using namespace quillan::html;
    for (NodeId n = 0; n < document.nodeCount(); ++n) {
        if (!document.isElement(n) || document.ns(n) != Namespace::Html || document.localName(n) != "table")
            continue;
        const NodeId before = document.previousSibling(n);
        if (before != kNoNode && (before > n || document.kind(before) == NodeKind::Text))
            return true;
    }
    return false;
}

// Left out as well: a template whose contents hold a col element. The tree
// builder then reads the rest of the template as a column group and drops
// every tag but col, so that it never switches the tokenizer for a title
// or a script in it; the renderer does, and reads on as their text.
bool templateOfColumns(const quillan::html::Document &document)
{
    using namespace quillan::html;
    for (NodeId n = 0; n < document.nodeCount(); ++n) {
        if (!document.isElement(n) || document.ns(n) != Namespace::Html || document.localName(n) != "template")
            continue;
        for (NodeId c = document.firstChild(document.templateContents(n)); c != kNoNode; c = document.nextSibling(c))
            if (document.isElement(c) && document.localName(c) == "col")
                return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view page(reinterpret_cast<const char *>(data), size);
    // And pages with a selectedcontent element, where the tree builder
    // copies the chosen option's content: text the page holds once shows
    // twice in the tree.
    if (quillan::html::utf8::validPrefix(page) != page.size() ||
        lowerCase(page).find("selectedcontent") != std::string::npos)
        return 0;
    const std::string streamed = fuzztext::render("\xEF\xBB\xBF" + std::string(page), {}, {});
    quillan::html::Document document;
    quillan::html::TreeBuilder builder(document, {});
    CountingBuilder counting(builder);
    quillan::html::Tokenizer tokenizer(counting);
    builder.attach(tokenizer);
    tokenizer.feed(page);
    tokenizer.finish();
    if (fosterParented(document) || formattingCopied(document, counting.opened) || templateOfColumns(document))
        return 0;
    const std::string tree = testing_readable::treeText(document);
    if (testing_readable::wordsOf(streamed) != testing_readable::wordsOf(tree)) {
        std::fprintf(stderr, "streamed:\n%s\ntree:\n%s\n", streamed.c_str(), tree.c_str());
        std::abort();
    }
    return 0;
}
