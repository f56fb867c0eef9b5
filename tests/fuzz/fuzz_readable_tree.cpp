// libFuzzer target: the readable text as the renderer streams it against the
// text of the tree builder's tree of the same page walked into the same
// renderer. The renderer's open-element stack stands in for the tree: both
// must show the same words in the same order. Four kinds of page are left
// out, each for a reason given where it is found: content moved out of a
// table or out of hiding, templates of columns, the selectedcontent element
// and framesets.
//
// The page is taken as UTF-8 (other inputs are passed over), so that both
// roads read the same characters: the streamed one is given a byte-order
// mark, which the decoder trusts before anything the page says.
//
// QUILLAN_FUZZ_COMPARE=0 leaves the comparison out (for memory faults):
// make test fuzzes so, and compares on the seed corpus only (see
// tests/fuzz/CMakeLists.txt).
//
// By hand, for longer:  build-asan/bin/fuzz_readable_tree -max_total_time=600 CORPUS_DIR
#include "fuzz_text.h"
#include "html/encoding/utf8.h"
#include "text/readable/tree_text.h"

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

bool isAncestor(const quillan::html::Document &document, quillan::html::NodeId a, quillan::html::NodeId n)
{
    for (; n != quillan::html::kNoNode; n = document.parent(n))
        if (n == a)
            return true;
    return false;
}

// Whether an element may hide what it holds, or set its case, by its name or
// its attributes (`sheets`: the page has a style sheet).
// Generous on purpose: it only leaves pages out.
bool mayHide(const quillan::html::Document &document, quillan::html::NodeId n, bool sheets)
{
    static constexpr std::string_view kHiding[] = {"rp",   "template", "noscript", "script",  "style",
                                                   "head", "title",    "select",   "details", "dialog",
                                                   "svg",  "math",     "object",   "iframe",  "textarea"};
    const std::string_view name = document.localName(n);
    for (const std::string_view hiding : kHiding)
        if (name == hiding)
            return true;
    // An absent attribute's value is a null view, a present one's never. With
    // a style sheet, a class or an id may take a rule (hiding, or a case
    // that the text already written in stands in).
    const auto has = [&](std::string_view attribute) {
        return document.attributeValue(n, attribute).data() != nullptr;
    };
    return has("hidden") || has("style") || (sheets && (has("class") || has("id")));
}

// Left out too: pages where the adoption agency took a block out of an
// element that hides what it holds, or sets its case (`<a><ruby><rp><dl>...<a>`
// moves the dl out of the rp). The block's words came while it was hidden, and a
// renderer that writes as it reads cannot show them afterwards. The
// agency's copy of the formatting element takes the block's children, so
// it is the one element younger than its first child; the elements it took
// the block out of were made between the formatting element and the block.
bool blockTakenOutOfHiding(const quillan::html::Document &document)
{
    using namespace quillan::html;
    bool sheets = false;
    for (NodeId n = 0; n < document.nodeCount() && !sheets; ++n)
        sheets = document.isElement(n) && document.localName(n) == "style";
    for (NodeId copy = 0; copy < document.nodeCount(); ++copy) {
        if (!document.isElement(copy) || document.firstChild(copy) == kNoNode || document.firstChild(copy) > copy)
            continue;
        const NodeId block = document.parent(copy);
        if (block == kNoNode)
            continue;
        // (An HTML element: a foreign one of the same name is none.)
        NodeId formatting = kNoNode;
        for (NodeId n = block; n-- > 0;)
            if (document.isElement(n) && document.ns(n) == Namespace::Html &&
                document.localName(n) == document.localName(copy) && !isAncestor(document, n, block)) {
                formatting = n;
                break;
            }
        if (formatting == kNoNode)
            continue;
        for (NodeId n = formatting; n < block; ++n)
            if (document.isElement(n) && !isAncestor(document, n, block) && mayHide(document, n, sheets))
                return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool comparing = fuzztext::comparing("QUILLAN_FUZZ_COMPARE");
    const std::string_view page(reinterpret_cast<const char *>(data), size);
    // And pages with a selectedcontent element, where the tree builder
    // copies the chosen option's content: text the page holds once shows
    // twice in the tree; and pages with a frameset start tag, which the tree
    // builder ignores or lets replace the body by its frameset-ok rules,
    // where the renderer hides what follows it.
    const std::string lower = lowerCase(page);
    if (quillan::html::utf8::validPrefix(page) != page.size() || lower.find("selectedcontent") != std::string::npos ||
        lower.find("<frameset") != std::string::npos)
        return 0;
    quillan::text::Options readable;
    readable.kind = quillan::text::Kind::Readable;
    const std::string streamed = fuzztext::render("\xEF\xBB\xBF" + std::string(page), {}, readable);
    quillan::html::Document document;
    quillan::html::TreeBuilder builder(document, {});
    quillan::html::Tokenizer tokenizer(builder);
    builder.attach(tokenizer);
    tokenizer.feed(page);
    tokenizer.finish();
    const std::string tree = testing_readable::treeText(document);
    if (!comparing || fosterParented(document) || templateOfColumns(document) || blockTakenOutOfHiding(document))
        return 0;
    if (testing_readable::wordsOf(streamed) != testing_readable::wordsOf(tree)) {
        std::fprintf(stderr, "streamed:\n%s\ntree:\n%s\n", streamed.c_str(), tree.c_str());
        std::abort();
    }
    return 0;
}
