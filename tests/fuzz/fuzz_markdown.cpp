// libFuzzer target: the Markdown round trip. The page's Markdown, read by
// cmark-gfm (with its table and strikethrough extensions) and the HTML it
// gives rendered as readable text again, must give the plain readable text
// of the same page, white space aside; and the Markdown must not depend on
// where the page is cut in two.
//
// Tolerated: the numbers of ordered lists (a list whose numbers skip or go
// down cannot be written in CommonMark, whose items count up from the
// first), so "N. " and "N) " at the start of a line are left out of both
// texts before they are compared, and after any white space too, for an
// item numbered other than 1 cannot interrupt a paragraph and may read back
// as the end of the line before; and how link addresses are
// percent-encoded (the Markdown encodes < and >, cmark-gfm's HTML all that
// an address may not hold as it is), so %XX is read as its byte in both.
// With numbered links, the numbers and the list of addresses are left out
// too: a link whose text runs over blocks is one link to the plain text
// but one per block in Markdown, and a link in code cannot be one at all.
// So a part of such a link that holds only pictures is named by their alt
// text in Markdown read back, where the plain text's link has words: a page
// whose round trip differs with numbered links must make it with links
// left unnumbered, where no picture names a link.
// In an article the other Unicode spaces (no-break, fixed widths,
// ideographic) count as white space too: its plain text trims them off
// its lines' ends, where a table's cell or a quote's line does not end in
// Markdown.
//
// QUILLAN_FUZZ_READ_BACK=0 leaves the read-back comparison out (for memory
// faults and the pieces alone): make test fuzzes so, and reads back the
// seed corpus only (see tests/fuzz/CMakeLists.txt).
//
// By hand, for longer:  build-asan/bin/fuzz_markdown -max_total_time=600 CORPUS_DIR
#include "fuzz_text.h"

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using quillan::text::Kind;
using quillan::text::Options;
using quillan::text::Syntax;

// The HTML cmark-gfm makes of `markdown`, as its command line does by
// default (raw HTML and unsafe addresses left out).
std::string commonMarkHtml(std::string_view markdown)
{
    cmark_gfm_core_extensions_ensure_registered();
    cmark_parser *parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    for (const char *name : {"table", "strikethrough"})
        cmark_parser_attach_syntax_extension(parser, cmark_find_syntax_extension(name));
    cmark_parser_feed(parser, markdown.data(), markdown.size());
    cmark_node *document = cmark_parser_finish(parser);
    char *html = cmark_render_html(document, CMARK_OPT_DEFAULT, cmark_parser_get_syntax_extensions(parser));
    std::string out(html);
    cmark_get_default_mem_allocator()->free(html);
    cmark_node_free(document);
    cmark_parser_free(parser);
    return out;
}

int hexDigit(char c)
{
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// The bytes of the Unicode space other than space and tab that starts `text`
// (no-break, Ogham, the fixed widths, narrow no-break, medium mathematical,
// ideographic), 0 for none.
std::size_t unicodeSpaceAt(std::string_view text)
{
    const auto byte = [&text](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0; };
    if (byte(0) == 0xC2 && byte(1) == 0xA0)
        return 2;
    if ((byte(0) == 0xE1 && byte(1) == 0x9A && byte(2) == 0x80) ||
        (byte(0) == 0xE2 && byte(1) == 0x80 && ((byte(2) >= 0x80 && byte(2) <= 0x8A) || byte(2) == 0xAF)) ||
        (byte(0) == 0xE2 && byte(1) == 0x81 && byte(2) == 0x9F) ||
        (byte(0) == 0xE3 && byte(1) == 0x80 && byte(2) == 0x80))
        return 3;
    return 0;
}

// `text` without white space (with `unicodeSpaces`, the other Unicode
// spaces too), without the number of an ordered list's item where a line
// or a word starts with one, and with %XX read as its byte; with `links`,
// without the links' numbers ("[N]") and their list.
std::string compared(std::string_view encoded, bool links, bool unicodeSpaces)
{
    if (const std::size_t list = encoded.rfind("\n\nReferences\n\n"); links && list != std::string_view::npos)
        encoded = encoded.substr(0, list);
    std::string decoded;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (links && encoded[i] == '[') {
            std::size_t end = i + 1;
            while (end < encoded.size() && encoded[end] >= '0' && encoded[end] <= '9')
                ++end;
            if (end > i + 1 && end < encoded.size() && encoded[end] == ']') {
                i = end;
                continue;
            }
        }
        if (encoded[i] == '%' && i + 2 < encoded.size() && hexDigit(encoded[i + 1]) >= 0 &&
            hexDigit(encoded[i + 2]) >= 0) {
            decoded.push_back(char(hexDigit(encoded[i + 1]) * 16 + hexDigit(encoded[i + 2])));
            i += 2;
        } else {
            decoded.push_back(encoded[i]);
        }
    }
    const std::string_view text = decoded;
    std::string out;
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == ' ' || c == '\t') {
            lineStart = true;
            continue;
        }
        if (const std::size_t space = unicodeSpaces ? unicodeSpaceAt(text.substr(i)) : 0; space > 0) {
            i += space - 1;
            lineStart = true;
            continue;
        }
        if (lineStart && c >= '0' && c <= '9') {
            std::size_t end = i;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9')
                ++end;
            if (end + 1 < text.size() && (text[end] == '.' || text[end] == ')') && text[end + 1] == ' ') {
                i = end + 1;
                lineStart = false;
                continue;
            }
        }
        lineStart = false;
        out.push_back(c);
    }
    return out;
}

// Whether the Markdown is read back (unless QUILLAN_FUZZ_READ_BACK=0).
bool readingBack()
{
    static const bool on = fuzztext::comparing("QUILLAN_FUZZ_READ_BACK");
    return on;
}

[[noreturn]] void fail(std::string_view what, std::string_view a, std::string_view b)
{
    std::fprintf(stderr, "%.*s\n--- one:\n%.*s\n--- other:\n%.*s\n", int(what.size()), what.data(), int(a.size()),
                 a.data(), int(b.size()), b.data());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte chooses links and the kind, the next two where the page
    // is cut; the rest is the page.
    if (size < 4)
        return 0;
    Options plain;
    plain.links = data[0] & 1;
    plain.kind = (data[0] >> 1) & 1 ? Kind::Article : Kind::Readable;
    const std::string_view page(reinterpret_cast<const char *>(data) + 3, size - 3);
    const std::size_t cut = (data[1] | std::size_t{data[2]} << 8) % page.size();
    Options markdown = plain;
    markdown.syntax = Syntax::Markdown;

    const std::string md = fuzztext::render(page, {}, markdown);
    if (cut > 0 && fuzztext::render(page, {cut, page.size() - cut}, markdown) != md)
        fail("the Markdown depends on the pieces", md, fuzztext::render(page, {cut, page.size() - cut}, markdown));

    if (!readingBack())
        return 0;
    const bool article = plain.kind == Kind::Article;
    // The round trip in `options`: the plain text, and what the Markdown
    // gave (empty when both read the same).
    struct Trip {
        std::string expected, got;
    };
    const auto roundTrip = [&](const Options &options) {
        Options asMarkdown = options;
        asMarkdown.syntax = Syntax::Markdown;
        const std::string written = options.links == plain.links ? md : fuzztext::render(page, {}, asMarkdown);
        const std::string html = commonMarkHtml(written);
        Options readBack = options;
        readBack.kind = Kind::Readable;
        const std::string text = fuzztext::render("<meta charset=utf-8>" + html, {}, readBack);
        Trip trip{fuzztext::render(page, {}, options), {}};
        if (compared(text, options.links, article) != compared(trip.expected, options.links, article))
            trip.got = written + "\n--- as HTML:\n" + html + "\n--- as text:\n" + text;
        return trip;
    };
    const Trip numbered = roundTrip(plain);
    if (numbered.got.empty())
        return 0;
    Options unnumbered = plain;
    unnumbered.links = false;
    if (!plain.links || !roundTrip(unnumbered).got.empty())
        fail("the Markdown read back is not the plain text", numbered.expected, numbered.got);
    return 0;
}
