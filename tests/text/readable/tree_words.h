#pragma once
// A reference for the renderer: the words a browser's innerText gives for a
// page, read from the tree builder's Document. Small on purpose: elements
// that show nothing (head, script, style, template, title, rp, hidden)
// are skipped, block-like elements and cells separate words, every other
// element is inline. List markers are not made: the words of rendered text
// are compared with them left out (see visibleWords()).
#include "html/tree/document.h"

#include <string>
#include <string_view>
#include <vector>

namespace testing_readable {

inline bool isSpaceChar(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r' || c == '\f';
}

// The words of a text, without list markers ("*", "12.").
inline std::vector<std::string> visibleWords(std::string_view text)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSpaceChar(text[i]))
            ++i;
        std::size_t j = i;
        while (j < text.size() && !isSpaceChar(text[j]))
            ++j;
        const std::string_view w = text.substr(i, j - i);
        const bool number = w.size() > 1 && w.back() == '.' &&
                            w.substr(0, w.size() - 1).find_first_not_of("-0123456789") == std::string_view::npos;
        if (!w.empty() && w != "*" && !number)
            words.emplace_back(w);
        i = j;
    }
    return words;
}

// The visible words of the tree under `document`'s root.
inline std::vector<std::string> treeWords(const quillan::html::Document &document)
{
    using namespace quillan::html;
    static constexpr std::string_view kSilent[] = {"head", "script",  "style",    "template", "title",
                                                   "rp",   "noembed", "noframes", "iframe"};
    static constexpr std::string_view kBreaking[] = {
        "address", "article", "blockquote", "br", "caption", "dd", "div",   "dl",       "dt",     "h1",
        "h2",      "h3",      "h4",         "h5", "h6",      "li", "ol",    "optgroup", "option", "p",
        "section", "table",   "tbody",      "td", "tfoot",   "th", "thead", "tr",       "ul",     "body"};
    const auto among = [](std::string_view name, const auto &names) {
        for (std::string_view n : names)
            if (n == name)
                return true;
        return false;
    };
    std::string text;
    // Tree order without recursion: down to the first child, else on to the
    // next sibling of the nearest ancestor that has one.
    NodeId n = document.firstChild(document.root());
    while (n != kNoNode) {
        bool enter = false;
        if (document.kind(n) == NodeKind::Text) {
            text.append(document.text(n));
        } else if (document.isElement(n)) {
            const std::string_view name = document.localName(n);
            const bool silent = document.ns(n) == Namespace::Svg ||
                                (document.ns(n) == Namespace::Html &&
                                 (among(name, kSilent) || document.attributeValue(n, "hidden").data() != nullptr));
            if (!silent && among(name, kBreaking))
                text.push_back('\n');
            enter = !silent;
        }
        if (enter && document.firstChild(n) != kNoNode) {
            n = document.firstChild(n);
            continue;
        }
        while (n != kNoNode && document.nextSibling(n) == kNoNode) {
            n = document.parent(n);
            if (n != kNoNode && document.isElement(n) && among(document.localName(n), kBreaking))
                text.push_back('\n');
        }
        if (n != kNoNode)
            n = document.nextSibling(n);
    }
    return visibleWords(text);
}

} // namespace testing_readable
