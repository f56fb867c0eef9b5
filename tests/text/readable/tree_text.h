#pragma once
// The readable text of a page's tree: the tree builder's Document walked
// into the renderer (as the article mode renders a whole page), so that the
// renderer's layout meets the tree the Standard builds. Set beside the
// streamed text of the same page, what differs is what the renderer's own
// stack makes of the page.
#include "html/tree/parser.h"
#include "text/article/document_walk.h"
#include "text/readable/text_renderer.h"

#include <string>
#include <string_view>
#include <vector>

namespace testing_readable {

class TreeTextSink : public quillan::text::readable::TextSink {
public:
    void write(std::string_view utf8) override { text.append(utf8); }
    std::string text;
};

inline std::string treeText(const quillan::html::Document &document)
{
    TreeTextSink out;
    quillan::text::readable::TextRenderer renderer(out);
    quillan::text::article::walkDocument(document, renderer);
    renderer.endOfFile();
    return out.text;
}

inline std::string treeText(std::string_view page)
{
    return treeText(quillan::html::parseDocument(page));
}

// The words of a text, in order.
inline std::vector<std::string_view> wordsOf(std::string_view text)
{
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        i = text.find_first_not_of(" \n\t", i);
        if (i == std::string_view::npos)
            break;
        const std::size_t j = std::min(text.find_first_of(" \n\t", i), text.size());
        words.push_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

} // namespace testing_readable
