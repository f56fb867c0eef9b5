#include "text/article/document_walk.h"

#include <string>
#include <vector>

namespace quillan::text::article {
namespace {

using html::Document;
using html::NodeId;

bool hasUpper(std::string_view s)
{
    for (const char c : s)
        if (c >= 'A' && c <= 'Z')
            return true;
    return false;
}

std::string_view prefixOf(html::AttributeNamespace ns, std::string_view local)
{
    switch (ns) {
    case html::AttributeNamespace::XLink: return "xlink:";
    case html::AttributeNamespace::Xml: return "xml:";
    case html::AttributeNamespace::Xmlns: return local == "xmlns" ? "" : "xmlns:";
    case html::AttributeNamespace::None: break;
    }
    return "";
}

void appendLowered(std::string &to, std::string_view s)
{
    for (const char c : s)
        to.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c);
}

// Makes the tags of one Document's elements, reusing its buffers.
class TagMaker {
public:
    explicit TagMaker(const Document &document) : doc_(document) {}

    const html::Tag &start(NodeId n)
    {
        const bool foreign = doc_.ns(n) != html::Namespace::Html;
        const std::size_t count = doc_.attributeCount(n);
        if (!foreign && plainStart(n, count))
            return tag_;
        // The rewritten names go to one buffer sized first, so that the
        // views into it stay valid.
        std::size_t rewritten = 0;
        const std::string_view name = doc_.localName(n);
        const bool lowerName = foreign && hasUpper(name);
        if (lowerName)
            rewritten += name.size();
        for (std::size_t i = 0; i < count; ++i) {
            const html::AttributeView a = doc_.attribute(n, i);
            const std::string_view local = doc_.nameText(a.name);
            if (a.ns != html::AttributeNamespace::None || (foreign && hasUpper(local)))
                rewritten += prefixOf(a.ns, local).size() + local.size();
        }
        names_.clear();
        if (names_.capacity() < rewritten)
            names_.reserve(rewritten);
        attributes_.clear();
        tag_.name = name;
        if (lowerName) {
            appendLowered(names_, name);
            tag_.name = names_;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const html::AttributeView a = doc_.attribute(n, i);
            std::string_view local = doc_.nameText(a.name);
            if (a.ns != html::AttributeNamespace::None || (foreign && hasUpper(local))) {
                const std::size_t at = names_.size();
                names_.append(prefixOf(a.ns, local));
                appendLowered(names_, local);
                local = std::string_view(names_).substr(at);
            }
            attributes_.push_back({local, a.value});
        }
        tag_.attributes = attributes_;
        tag_.selfClosing = foreign && doc_.firstChild(n) == html::kNoNode;
        tag_.known = knownOf(n, foreign);
        return tag_;
    }

    const html::Tag &end(NodeId n)
    {
        tag_.attributes = {};
        tag_.selfClosing = false;
        tag_.name = doc_.localName(n);
        tag_.known = knownOf(n, doc_.ns(n) != html::Namespace::Html);
        if (doc_.ns(n) != html::Namespace::Html && hasUpper(tag_.name)) {
            names_.clear();
            appendLowered(names_, tag_.name);
            tag_.name = names_;
        }
        return tag_;
    }

private:
    // An HTML element's tag in one pass over its attributes, when none of
    // them has a namespace (their names then stand as they are); false
    // when one has.
    bool plainStart(NodeId n, std::size_t count)
    {
        attributes_.clear();
        for (std::size_t i = 0; i < count; ++i) {
            const html::AttributeView a = doc_.attribute(n, i);
            if (a.ns != html::AttributeNamespace::None)
                return false;
            attributes_.push_back({doc_.nameText(a.name), a.value});
        }
        tag_.name = doc_.localName(n);
        tag_.attributes = attributes_;
        tag_.selfClosing = false;
        tag_.known = knownOf(n, false);
        return true;
    }

    // An HTML element's known name is its name's id; any other is looked up
    // by the name its tag gives (a foreign one's lower-cased, an HTML one
    // the table does not hold).
    std::uint32_t knownOf(NodeId n, bool foreign) const
    {
        const html::NameId name = doc_.name(n);
        return !foreign && name < html::kKnownNameCount ? name : html::Tag::kNotGiven;
    }

    const Document &doc_;
    std::string names_;
    std::vector<html::Attribute> attributes_;
    html::Tag tag_;
};

} // namespace

void walkDocument(const Document &document, html::TokenSink &sink)
{
    TagMaker tags(document);
    const NodeId root = document.root();
    NodeId n = document.firstChild(root);
    while (n != html::kNoNode) {
        NodeId down = html::kNoNode;
        switch (document.kind(n)) {
        case html::NodeKind::Element: {
            const bool html = document.ns(n) == html::Namespace::Html;
            const html::Tag &start = tags.start(n);
            sink.startTag(start);
            if (html && (html::elementFlags(document.name(n)) & html::kVoid))
                break; // no children, no end tag
            if (html && document.name(n) == html::k_template_) {
                sink.endTag(tags.end(n)); // its contents are not part of the page's tree
                break;
            }
            if (html && document.name(n) == html::k_script) {
                sink.endTag(tags.end(n)); // its text is never shown nor read
                break;
            }
            if (html && (document.name(n) == html::k_pre || document.name(n) == html::k_listing ||
                         document.name(n) == html::k_textarea))
                sink.characters("\n"); // the line break a parser drops after these start tags
            down = document.firstChild(n);
            if (down == html::kNoNode && !start.selfClosing)
                sink.endTag(tags.end(n));
            break;
        }
        case html::NodeKind::Text: sink.characters(document.text(n)); break;
        default: break; // comments, the doctype
        }
        if (down != html::kNoNode) {
            n = down;
            continue;
        }
        // On to the next node in tree order, closing the elements left.
        while (document.nextSibling(n) == html::kNoNode) {
            n = document.parent(n);
            if (n == root || n == html::kNoNode)
                return;
            sink.endTag(tags.end(n));
        }
        n = document.nextSibling(n);
    }
}

} // namespace quillan::text::article
