// libFuzzer target: the HTML tree builder, on the input as a page and as a
// fragment in a context the first byte chooses, fed whole and in chunks the
// next bytes choose: the two trees must be the same, and the tree must stay
// within a fixed number of nodes per input byte.
//
// By hand, for longer:  build-asan/bin/fuzz_html_tree -max_total_time=600 CORPUS_DIR
#include "html/tree/tree_dump.h"

#include "html/tree/parser.h"

#include <cstdint>
#include <cstdlib>

namespace {

using namespace quillan::html;

struct Context {
    Namespace ns;
    const char *name;
};

constexpr Context kContexts[] = {
    {Namespace::Html, "body"},
    {Namespace::Html, "table"},
    {Namespace::Html, "tr"},
    {Namespace::Html, "select"},
    {Namespace::Html, "template"},
    {Namespace::Html, "title"},
    {Namespace::Html, "html"},
    {Namespace::Svg, "desc"},
    {Namespace::Svg, "svg"},
    {Namespace::MathMl, "mi"},
    {Namespace::MathMl, "annotation-xml"},
};

Document parse(std::string_view input, int context, bool scripting, std::size_t chunk)
{
    TreeOptions options;
    options.scripting = scripting;
    std::unique_ptr<Parser> parser;
    if (context < 0) {
        parser = std::make_unique<Parser>(options);
    } else {
        FragmentContext c;
        c.ns = kContexts[context].ns;
        c.localName = kContexts[context].name;
        parser = std::make_unique<Parser>(c, options);
    }
    if (chunk == 0)
        parser->feed(input);
    for (std::size_t at = 0; chunk && at < input.size(); at += chunk)
        parser->feed(input.substr(at, chunk));
    return parser->finish();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int choice = data[0];
    const int contexts = static_cast<int>(sizeof kContexts / sizeof *kContexts);
    // Half of the inputs are pages.
    const int context = choice % 2 == 0 ? -1 : (choice / 2) % contexts;
    const bool scripting = (choice & 0x80) != 0;
    const std::size_t chunk = data[1] % 17 + 1;
    const std::string_view input(reinterpret_cast<const char *>(data) + 2, size - 2);

    const Document whole = parse(input, context, scripting, 0);
    const Document cut = parse(input, context, scripting, chunk);
    if (treetest::dumpTree(whole) != treetest::dumpTree(cut))
        std::abort();
    // Every token opens a bounded number of elements (the formatting elements
    // reopened are at most the list's bound).
    if (whole.nodeCount() > (TreeBuilder::kMaxFormattingEntries + 8) * (input.size() + 4))
        std::abort();
    return 0;
}
