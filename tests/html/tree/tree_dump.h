#pragma once
// The html5lib tree-construction suite's text form of a Document: one line
// per node, "| " and two spaces per level, attributes sorted by name under
// their element, template contents under "content". Iterative, so that a
// tree of any depth can be written.
#include "html/tree/document.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace treetest {

inline std::string dumpTree(const quillan::html::Document &doc)
{
    using namespace quillan::html;
    std::string out;
    auto line = [&out](std::size_t depth) {
        out += "| ";
        out.append(depth * 2, ' ');
    };
    // (node, depth) to write; a node's children follow it.
    std::vector<std::pair<NodeId, std::size_t>> todo;
    auto pushChildren = [&](NodeId parent, std::size_t depth) {
        const std::size_t at = todo.size();
        for (NodeId c = doc.firstChild(parent); c != kNoNode; c = doc.nextSibling(c))
            todo.emplace_back(c, depth);
        std::reverse(todo.begin() + static_cast<std::ptrdiff_t>(at), todo.end());
    };
    pushChildren(doc.root(), 0);
    while (!todo.empty()) {
        const auto [n, depth] = todo.back();
        todo.pop_back();
        switch (doc.kind(n)) {
        case NodeKind::Doctype: {
            line(depth);
            out += "<!DOCTYPE ";
            out += doc.text(n);
            if (!doc.doctypePublicId(n).empty() || !doc.doctypeSystemId(n).empty()) {
                out += " \"";
                out += doc.doctypePublicId(n);
                out += "\" \"";
                out += doc.doctypeSystemId(n);
                out += "\"";
            }
            out += ">\n";
            break;
        }
        case NodeKind::Comment:
            line(depth);
            out += "<!-- ";
            out += doc.text(n);
            out += " -->\n";
            break;
        case NodeKind::Text:
            line(depth);
            out += "\"";
            out += doc.text(n);
            out += "\"\n";
            break;
        case NodeKind::Element: {
            line(depth);
            out += "<";
            if (doc.ns(n) == Namespace::Svg)
                out += "svg ";
            else if (doc.ns(n) == Namespace::MathMl)
                out += "math ";
            out += doc.localName(n);
            out += ">\n";
            std::vector<std::pair<std::string, std::string>> attributes;
            for (std::size_t i = 0; i < doc.attributeCount(n); ++i) {
                const AttributeView a = doc.attribute(n, i);
                std::string name;
                switch (a.ns) {
                case AttributeNamespace::XLink: name = "xlink "; break;
                case AttributeNamespace::Xml: name = "xml "; break;
                case AttributeNamespace::Xmlns: name = "xmlns "; break;
                case AttributeNamespace::None: break;
                }
                name += doc.nameText(a.name);
                attributes.emplace_back(std::move(name), std::string(a.value));
            }
            std::sort(attributes.begin(), attributes.end());
            for (const auto &[name, value] : attributes) {
                line(depth + 1);
                out += name + "=\"" + value + "\"\n";
            }
            if (doc.isHtml(n, k_template_)) {
                line(depth + 1);
                out += "content\n";
                const std::size_t at = todo.size();
                pushChildren(n, depth + 1);
                // The contents come first, then the element's own children
                // (which a parser never gives it).
                std::vector<std::pair<NodeId, std::size_t>> own(todo.begin() + static_cast<std::ptrdiff_t>(at),
                                                                todo.end());
                todo.resize(at);
                todo.insert(todo.end(), own.begin(), own.end());
                pushChildren(doc.templateContents(n), depth + 2);
            } else {
                pushChildren(n, depth + 1);
            }
            break;
        }
        default: break;
        }
    }
    return out;
}

} // namespace treetest
