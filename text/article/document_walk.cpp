#include "text/article/document_walk.h"

#include "text/article/renderer_names.h"

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

// Hands `visit` the Document's nodes in tree order, as walkDocument()
// hands on their tokens: start(n, closes) for an element (`closes`: an end
// tag follows, after its children), text(utf8) and end(n). Stops once
// visit.stopped() says so.
template <class Visit>
void walk(const Document &document, Visit &visit)
{
    const NodeId root = document.root();
    NodeId n = document.firstChild(root);
    while (n != html::kNoNode && !visit.stopped()) {
        NodeId down = html::kNoNode;
        switch (document.kind(n)) {
        case html::NodeKind::Element: {
            const bool html = document.ns(n) == html::Namespace::Html;
            const html::NameId name = document.name(n);
            const NodeId first = document.firstChild(n);
            if (html && (html::elementFlags(name) & html::kVoid)) {
                visit.start(n, false); // no children, no end tag
                break;
            }
            if (html && (name == html::k_template_ || name == html::k_script)) {
                // A template's contents are not part of the page's tree; a
                // script's text is never shown nor read.
                visit.start(n, true);
                visit.end(n);
                break;
            }
            visit.start(n, html || first != html::kNoNode); // an empty foreign element closes itself
            if (html && (name == html::k_pre || name == html::k_listing || name == html::k_textarea))
                visit.text("\n"); // the line break a parser drops after these start tags
            down = first;
            if (down == html::kNoNode && (html || first != html::kNoNode))
                visit.end(n);
            break;
        }
        case html::NodeKind::Text: visit.text(document.text(n)); break;
        default: break; // comments, the doctype
        }
        if (down != html::kNoNode) {
            n = down;
            continue;
        }
        // On to the next node in tree order, closing the elements left.
        while (document.nextSibling(n) == html::kNoNode) {
            n = document.parent(n);
            if (n == root || n == html::kNoNode || visit.stopped())
                return;
            visit.end(n);
        }
        n = document.nextSibling(n);
    }
}

// The tokens, to a sink.
class ToSink {
public:
    ToSink(const Document &document, html::TokenSink &sink) : tags_(document), sink_(sink) {}
    bool stopped() const { return false; }
    void start(NodeId n, bool) { sink_.startTag(tags_.start(n)); }
    void text(std::string_view utf8) { sink_.characters(utf8); }
    void end(NodeId n) { sink_.endTag(tags_.end(n)); }

private:
    TagMaker tags_;
    html::TokenSink &sink_;
};

// Per Document node, what the light tree makes of it.
enum Mark : std::uint8_t {
    kForeign = 1,   // inside SVG or MathML (or one of them)
    kHoldsBlock = 2 // an element that lays out as a block is inside it
};

// Marks the elements a block is inside, as the light tree finds them: an
// element inside SVG or MathML is none of the renderer's, but svg and math.
class BlockMarks {
public:
    BlockMarks(const Document &document, std::vector<std::uint8_t> &marks) : doc_(document), marks_(marks) {}
    bool stopped() const { return false; }
    void start(NodeId n, bool)
    {
        const NodeId parent = doc_.parent(n);
        const bool inForeign = (marks_[parent] & kForeign) != 0;
        Element element = Element::Other;
        if (doc_.ns(n) == html::Namespace::Html) {
            element = readable::ElementOf(static_cast<html::KnownName>(doc_.name(n)));
        } else {
            const std::string_view name = doc_.localName(n);
            element = name == "svg" ? Element::Svg : name == "math" ? Element::Math : Element::Other;
        }
        if (inForeign || element == Element::Svg || element == Element::Math)
            marks_[n] |= kForeign;
        if (inForeign && element != Element::Svg && element != Element::Math)
            return;
        if (!PageTree::opensBlock(readable::FlagsOf(element)))
            return;
        for (NodeId p = parent; p != doc_.root() && !(marks_[p] & kHoldsBlock); p = doc_.parent(p))
            marks_[p] |= kHoldsBlock;
    }
    void text(std::string_view) {}
    void end(NodeId) {}

private:
    const Document &doc_;
    std::vector<std::uint8_t> &marks_;
};

// The tokens, to a light tree that makes its nodes as they come.
class ToTree {
public:
    ToTree(const Document &document, const std::vector<std::uint8_t> &marks, PageTree &tree)
        : tags_(document), marks_(marks), tree_(tree)
    {}
    bool stopped() const { return tree_.departed(); }
    void start(NodeId n, bool) { tree_.startTagOf(tags_.start(n), n, (marks_[n] & kHoldsBlock) != 0); }
    void text(std::string_view utf8) { tree_.characters(utf8); }
    void end(NodeId n) { tree_.endTagOf(tags_.end(n), n); }

private:
    TagMaker tags_;
    const std::vector<std::uint8_t> &marks_;
    PageTree &tree_;
};

// The wanted tokens, each with its place in the light tree: its node and
// whether it is the node's own, as PageTree::replay() gives them. Texts
// that come one after another (a comment between them, the line break
// after pre) are one, as the stream keeps them.
class Wanted {
public:
    Wanted(const Document &document, const std::vector<std::uint32_t> &sources, html::TokenSink &sink,
           const std::function<bool(const TokenPlace &)> &want, const std::function<bool()> &done)
        : doc_(document), tags_(document), sources_(sources), sink_(sink), want_(want), done_(done)
    {}
    bool stopped() const { return stopped_; }
    void start(NodeId n, bool closes)
    {
        endText();
        if (stopped_)
            return;
        TokenPlace place{TokenKind::Start, top().node, false};
        if (next_ < sources_.size() && sources_[next_] == n)
            place = {TokenKind::Start, next_++, true};
        if (closes)
            levels_.push_back({place.node, place.own});
        if (want_(place)) {
            sink_.startTag(tags_.start(n));
            stopped_ = done_ && done_();
        }
    }
    void text(std::string_view utf8)
    {
        if (utf8.empty())
            return;
        if (!held_.data()) {
            held_ = utf8;
        } else {
            if (joined_.empty())
                joined_.assign(held_);
            joined_.append(utf8);
            held_ = joined_;
        }
    }
    void end(NodeId n)
    {
        endText();
        if (stopped_)
            return;
        // html and body stay open to the end, as in the light tree.
        Level of = top();
        if (!(doc_.ns(n) == html::Namespace::Html && (doc_.name(n) == html::k_html || doc_.name(n) == html::k_body)))
            levels_.pop_back();
        if (want_({TokenKind::End, of.node, of.own})) {
            sink_.endTag(tags_.end(n));
            stopped_ = done_ && done_();
        }
    }
    // The text held at the end.
    void endText()
    {
        if (!held_.data() || stopped_)
            return;
        const Level at = top();
        if (want_({TokenKind::Text, at.node, at.own})) {
            sink_.characters(held_);
            stopped_ = done_ && done_();
        }
        held_ = {};
        joined_.clear();
    }

private:
    struct Level {
        std::uint32_t node;
        bool own;
    };
    Level top() const { return levels_.empty() ? Level{0, true} : levels_.back(); }

    const Document &doc_;
    TagMaker tags_;
    const std::vector<std::uint32_t> &sources_;
    html::TokenSink &sink_;
    const std::function<bool(const TokenPlace &)> &want_;
    const std::function<bool()> &done_;
    std::vector<Level> levels_;
    std::uint32_t next_ = 1; // the next node's index (0: the document)
    std::string_view held_;  // the text not handed on yet
    std::string joined_;     // its pieces, when there are more
    bool stopped_ = false;
};

} // namespace

void walkDocument(const Document &document, html::TokenSink &sink)
{
    ToSink visit(document, sink);
    walk(document, visit);
}

bool buildPageTree(const Document &document, PageTree &tree)
{
    std::vector<std::uint8_t> marks(document.nodeCount());
    BlockMarks blocks(document, marks);
    walk(document, blocks);
    ToTree visit(document, marks, tree);
    walk(document, visit);
    return !tree.departed();
}

void replayDocument(const Document &document, const std::vector<std::uint32_t> &sources, html::TokenSink &sink,
                    const std::function<bool(const TokenPlace &)> &want, const std::function<bool()> &done)
{
    Wanted visit(document, sources, sink, want, done);
    walk(document, visit);
    visit.endText();
}

} // namespace quillan::text::article
