#pragma once
// Feeding a renderer tokens written as simple markup, without the
// tokenizer: "<p class=a>text</p>" gives startTag(p, class=a),
// characters("text"), endTag(p). Attributes are name, name=value or
// name="value" ('...' too); "<x/>" is self-closing; "&" is not special.
// Text between tags is handed on as one characters() call, or cut into
// pieces of `piece` bytes when piece > 0.

#include "text/readable/text_renderer.h"

#include <string>
#include <string_view>
#include <vector>

namespace testing_readable {

// Collects the rendered text and the sizes of the pieces it came in.
class StringSink : public quillan::text::readable::TextSink {
public:
    void write(std::string_view utf8) override
    {
        text.append(utf8);
        largestPiece = std::max(largestPiece, utf8.size());
        ++pieces;
    }
    std::string text;
    std::size_t largestPiece = 0;
    std::size_t pieces = 0;
};

inline void feedScript(quillan::html::TokenSink &sink, std::string_view script, std::size_t piece = 0)
{
    std::size_t i = 0;
    auto text = [&](std::string_view t) {
        while (!t.empty()) {
            const std::size_t n = piece ? std::min(piece, t.size()) : t.size();
            sink.characters(t.substr(0, n));
            t.remove_prefix(n);
        }
    };
    while (i < script.size()) {
        const std::size_t lt = script.find('<', i);
        if (lt != i) {
            text(script.substr(i, lt == std::string_view::npos ? std::string_view::npos : lt - i));
            if (lt == std::string_view::npos)
                break;
        }
        const std::size_t gt = script.find('>', lt);
        std::string_view inside = script.substr(lt + 1, gt - lt - 1);
        i = gt + 1;
        const bool end = !inside.empty() && inside.front() == '/';
        if (end)
            inside.remove_prefix(1);
        quillan::html::Tag tag;
        if (!inside.empty() && inside.back() == '/') {
            tag.selfClosing = true;
            inside.remove_suffix(1);
        }
        std::size_t p = inside.find(' ');
        tag.name = inside.substr(0, p);
        std::vector<quillan::html::Attribute> attributes;
        while (p != std::string_view::npos && p < inside.size()) {
            while (p < inside.size() && inside[p] == ' ')
                ++p;
            if (p >= inside.size())
                break;
            std::size_t q = p;
            while (q < inside.size() && inside[q] != '=' && inside[q] != ' ')
                ++q;
            quillan::html::Attribute a{inside.substr(p, q - p), std::string_view("", 0)};
            p = q;
            if (p < inside.size() && inside[p] == '=') {
                ++p;
                if (inside[p] == '"' || inside[p] == '\'') {
                    const std::size_t close = inside.find(inside[p], p + 1);
                    a.value = inside.substr(p + 1, close - p - 1);
                    p = close + 1;
                } else {
                    q = inside.find(' ', p);
                    a.value = inside.substr(p, q - p);
                    p = q;
                }
            }
            attributes.push_back(a);
        }
        tag.attributes = attributes;
        if (end)
            sink.endTag(tag);
        else
            sink.startTag(tag);
    }
    sink.endOfFile();
}

inline std::string render(std::string_view script, const quillan::text::readable::RenderOptions &options = {},
                          std::size_t piece = 0)
{
    StringSink out;
    quillan::text::readable::TextRenderer renderer(out, options);
    feedScript(renderer, script, piece);
    return out.text;
}

} // namespace testing_readable
