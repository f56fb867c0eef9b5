#pragma once
// The document tree the HTML tree builder makes: nodes in one vector, their
// texts and attribute values in one byte arena, names interned.
//
// Contract:
// - A node is a NodeId, an index into the Document; kNoNode is none. Node 0
//   is the root: a Document node for a page, a DocumentFragment for a
//   fragment (its children are the fragment's nodes).
// - Nodes are never freed while the Document lives; a node taken out of the
//   tree (detach) keeps its id and can be put back. Ids stay valid across
//   every change; the views a Document answers (texts, names, attribute
//   values) stay valid until the next change of the Document.
// - Per node: its kind, its namespace and name (elements), its parent, first
//   and next child links; the last child and the previous sibling are read
//   from the same links (the first child's previous link is the last child),
//   so every link read is O(1).
// - Texts: a Text or Comment node's data is contiguous UTF-8 in the arena.
//   appendText() and insertTextBefore() merge with an adjacent Text node as
//   the tree construction stage does; a Text node that grows after others
//   were made is moved once with room to grow, so merging costs amortised
//   O(bytes) and the arena stays within a small factor of the text kept.
// - Attributes: in the order given, a name with an attribute namespace
//   (xlink, xml, xmlns for the adjusted foreign attributes) and a value.
// - A template element's contents are a DocumentFragment node, made with the
//   element: templateContents(t) answers it.
// - Memory: kNodeBytes per node (in pages of 1024 nodes: storage never
//   regrows by copying), 12 bytes per attribute and 12 per element that has
//   any, the texts and values
//   once, one copy of each distinct name. reserve() takes a hint of the
//   page's size so that the storage is not regrown while it is parsed.
// - A byte limit (limitBytes()) bounds bytesInUse() together with what the
//   tree's builder holds beside it (holdBeside()): the change that takes
//   them past it throws DocumentTooLarge, and the Document is then fit only
//   to be destroyed. Without a limit, std::length_error is thrown
//   only where the ids or offsets would overflow 32 bits.
// - Not thread-safe for changes; reads from several threads are fine.

#include "html/elements/elements.h"
#include "html/tokenizer/token_sink.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillan::html {

using NodeId = std::uint32_t;
using NameId = std::uint32_t;
inline constexpr NodeId kNoNode = 0xFFFFFFFFu;

enum class NodeKind : std::uint8_t { Document, DocumentFragment, Doctype, Element, Text, Comment };
enum class Namespace : std::uint8_t { Html, Svg, MathMl };
enum class AttributeNamespace : std::uint8_t { None, XLink, Xml, Xmlns };
enum class QuirksMode : std::uint8_t { NoQuirks, LimitedQuirks, Quirks };

// Thrown by a change that takes a Document past its byte limit.
class DocumentTooLarge : public std::length_error {
public:
    DocumentTooLarge() : std::length_error("document past its byte limit") {}
};

struct AttributeView {
    AttributeNamespace ns = AttributeNamespace::None;
    NameId name = 0;
    std::string_view value;
};

// An attribute to give a new element: its name as text, already adjusted.
struct NewAttribute {
    AttributeNamespace ns = AttributeNamespace::None;
    std::string_view name;
    std::string_view value;
};

class Document {
public:
    static constexpr std::size_t kNodeBytes = 24;

    explicit Document(NodeKind rootKind = NodeKind::Document);
    Document(Document &&) noexcept;
    Document &operator=(Document &&) noexcept;
    ~Document();

    // Reserves room for a page of about `bytes` bytes.
    void reserve(std::size_t bytes);

    NodeId root() const { return 0; }
    std::size_t nodeCount() const { return nodes_.size(); }

    NodeKind kind(NodeId n) const { return static_cast<NodeKind>(nodes_[n].head & 7u); }
    bool isElement(NodeId n) const { return kind(n) == NodeKind::Element; }
    Namespace ns(NodeId n) const { return static_cast<Namespace>((nodes_[n].head >> 3) & 3u); }
    NameId name(NodeId n) const { return nodes_[n].head >> 5; }
    // An element of namespace `space` named `known`.
    bool is(NodeId n, Namespace space, NameId known) const
    {
        return nodes_[n].head == (static_cast<std::uint32_t>(NodeKind::Element) |
                                  (static_cast<std::uint32_t>(space) << 3) | (known << 5));
    }
    bool isHtml(NodeId n, NameId known) const { return is(n, Namespace::Html, known); }
    std::string_view localName(NodeId n) const { return nameText(name(n)); }

    NodeId parent(NodeId n) const { return nodes_[n].parent; }
    NodeId firstChild(NodeId n) const { return hasData(nodes_[n]) ? kNoNode : nodes_[n].first; }
    NodeId lastChild(NodeId n) const
    {
        const NodeId f = firstChild(n);
        return f == kNoNode ? kNoNode : nodes_[f].prev;
    }
    NodeId nextSibling(NodeId n) const { return nodes_[n].next; }
    NodeId previousSibling(NodeId n) const
    {
        const NodeId p = nodes_[n].parent;
        return p == kNoNode || nodes_[p].first == n ? kNoNode : nodes_[n].prev;
    }

    // A Text or Comment node's data; a Doctype's name.
    std::string_view text(NodeId n) const;
    std::string_view doctypePublicId(NodeId n) const;
    std::string_view doctypeSystemId(NodeId n) const;

    std::size_t attributeCount(NodeId n) const
    {
        const NodeRecord &r = nodes_[n];
        return (r.head & 7u) == static_cast<std::uint32_t>(NodeKind::Element) && r.a != kNoNode ? attributes_[r.a].name
                                                                                                : 0;
    }
    AttributeView attribute(NodeId n, std::size_t i) const;
    // The value of the attribute in no namespace named `name`; a null view
    // when there is none.
    std::string_view attributeValue(NodeId n, std::string_view name) const;

    NodeId templateContents(NodeId n) const { return n + 1; }

    QuirksMode quirksMode() const { return quirks_; }
    void setQuirksMode(QuirksMode mode) { quirks_ = mode; }

    // Names.
    std::string_view nameText(NameId id) const { return *names_[id]; }
    NameId intern(std::string_view text);
    // The id of `text` when it was interned, else kNoNode.
    NameId findName(std::string_view text) const;

    // Making nodes (detached).
    NodeId createElement(Namespace space, NameId name, std::span<const NewAttribute> attributes);
    // The same with a tag's attributes, in no namespace and not adjusted.
    NodeId createElementFromTag(Namespace space, NameId name, std::span<const Attribute> attributes);
    // A copy of an element: the same name and attributes, no children.
    NodeId cloneElement(NodeId element);
    NodeId createText(std::string_view text);
    NodeId createComment(std::string_view text);
    NodeId createDoctype(std::string_view name, std::string_view publicId, std::string_view systemId);
    // Appends to `to` copies of `from`'s children and all their descendants.
    void appendCopiesOfChildren(NodeId from, NodeId to);
    // Adds the attributes whose names the element does not have yet.
    void addMissingAttributes(NodeId element, std::span<const NewAttribute> attributes);

    // Tree changes. A node given to appendChild or insertBefore is detached
    // first when it has a parent.
    void appendChild(NodeId parent, NodeId child);
    // Before `before`, a child of `parent`; at the end when it is kNoNode.
    void insertBefore(NodeId parent, NodeId child, NodeId before);
    void detach(NodeId n);
    // Moves every child of `from` to the end of `to`'s children.
    void moveChildren(NodeId from, NodeId to);
    // Text at the end of `parent` (before `before` when that is a node),
    // merged into the Text node there when there is one.
    void insertText(NodeId parent, NodeId before, std::string_view text);

    // The bytes the Document has written: its node pages, attributes, texts
    // and names (room reserved and not yet used is left out: it is only
    // address space until written).
    std::size_t memoryBytes() const;
    // The same in O(1), for checks made at every change.
    std::size_t bytesInUse() const;
    // Limits bytesInUse() and besideBytes() together to `bytes` from the
    // next change on; 0: no limit.
    void limitBytes(std::size_t bytes) { limit_ = bytes; }
    // The bytes the tree's builder holds beside the Document while it
    // builds it (its stack of open elements, which a deeply nested page
    // makes as large as the tree): counted against the limit from now on,
    // and checked at once (DocumentTooLarge before they are taken).
    void holdBeside(std::size_t bytes)
    {
        beside_ = bytes;
        checkLimit();
    }
    std::size_t besideBytes() const { return beside_; }

private:
    struct NodeRecord {
        std::uint32_t head; // kind (3 bits), namespace (2), name (27)
        NodeId parent;
        NodeId first; // a Text or Comment node (no children): the data's length
        NodeId next;
        NodeId prev;     // the first child's prev is the parent's last child
        std::uint32_t a; // text: arena offset; element: attribute block or kNoNode; doctype: record
    };
    static_assert(sizeof(NodeRecord) == kNodeBytes);
    // Nodes in fixed pages, so that growing never copies them nor holds
    // twice their room.
    class NodeStore {
    public:
        static constexpr unsigned kShift = 10;
        static constexpr std::size_t kPage = std::size_t{1} << kShift;
        NodeRecord &operator[](NodeId n) { return pages_[n >> kShift][n & (kPage - 1)]; }
        const NodeRecord &operator[](NodeId n) const { return pages_[n >> kShift][n & (kPage - 1)]; }
        std::size_t size() const { return size_; }
        std::size_t capacity() const { return pages_.size() * kPage; }
        void push_back(const NodeRecord &r)
        {
            if (size_ == capacity())
                addPage();
            (*this)[static_cast<NodeId>(size_++)] = r;
        }

    private:
        void addPage();
        std::vector<std::unique_ptr<NodeRecord[]>> pages_;
        std::size_t size_ = 0;
    };
    static bool hasData(const NodeRecord &r)
    {
        const std::uint32_t k = r.head & 7u;
        return k == static_cast<std::uint32_t>(NodeKind::Text) || k == static_cast<std::uint32_t>(NodeKind::Comment) ||
               k == static_cast<std::uint32_t>(NodeKind::Doctype);
    }
    // An element's block: a head whose name is the count, then the
    // attributes.
    struct AttributeRecord {
        std::uint32_t name; // attribute namespace (2 bits) and name (30)
        std::uint32_t offset;
        std::uint32_t length;
    };
    struct DoctypeRecord {
        std::uint32_t name, nameLength, publicId, publicLength, systemId, systemLength;
    };

    // addNode() and addBytes() leave the limit to their caller, which checks
    // it once the whole change is written; newNode() and store() check it.
    NodeId addNode(NodeKind kind, Namespace space, NameId name);
    NodeId newNode(NodeKind kind, Namespace space, NameId name);
    std::uint32_t addBytes(std::string_view bytes);
    std::uint32_t store(std::string_view bytes);
    NodeId beginElement(Namespace space, NameId name, std::size_t attributes);
    void addAttribute(AttributeNamespace space, std::string_view name, std::string_view value);
    NodeId endElement(NodeId element);
    // A Text or Comment node holding `text`.
    NodeId addData(NodeKind kind, std::string_view text);
    // Links a detached node as `parent`'s last child.
    void linkLast(NodeId parent, NodeId child);
    void appendToText(NodeId textNode, std::string_view text);
    void checkLimit() const
    {
        if (limit_ != 0 && bytesInUse() + beside_ > limit_)
            throw DocumentTooLarge();
    }

    NodeStore nodes_;
    std::vector<AttributeRecord> attributes_;
    std::vector<DoctypeRecord> doctypes_;
    std::string arena_;
    // Room left behind a Text node that was moved to grow.
    std::unordered_map<NodeId, std::uint32_t> textCapacity_;
    struct NameHash {
        using is_transparent = void;
        // FNV-1a: names are short.
        std::size_t operator()(std::string_view s) const noexcept
        {
            std::uint64_t h = 14695981039346656037ull;
            for (unsigned char c : s)
                h = (h ^ c) * 1099511628211ull;
            return static_cast<std::size_t>(h);
        }
    };
    std::unordered_map<std::string, NameId, NameHash, std::equal_to<>> nameIndex_;
    std::vector<const std::string *> names_;
    QuirksMode quirks_ = QuirksMode::NoQuirks;
    // A name of 1 to 16 bytes as two words and its length, which tell it
    // from every other name of that length: the key of the slot cache.
    struct ShortName {
        std::uint64_t lo = 0;
        std::uint64_t hi = 0;
        std::uint32_t size = 0; // 0: the slot is empty
        NameId id = 0;
    };
    static bool shortName(std::string_view text, ShortName &key)
    {
        // Two loads that overlap cover every byte; with the length they
        // tell the name apart from any other.
        const std::size_t n = text.size();
        const char *p = text.data();
        if (n >= 8 && n <= 16) {
            std::memcpy(&key.lo, p, 8);
            std::memcpy(&key.hi, p + n - 8, 8);
        } else if (n >= 4 && n < 8) {
            std::uint32_t a = 0;
            std::uint32_t b = 0;
            std::memcpy(&a, p, 4);
            std::memcpy(&b, p + n - 4, 4);
            key.lo = a;
            key.hi = b;
        } else if (n >= 1 && n < 4) {
            key.lo = static_cast<unsigned char>(p[0]) |
                     (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n / 2])) << 8) |
                     (static_cast<std::uint64_t>(static_cast<unsigned char>(p[n - 1])) << 16);
            key.hi = 0;
        } else {
            return false;
        }
        key.size = static_cast<std::uint32_t>(n);
        return true;
    }
    static constexpr unsigned kRecentShift = 9;
    static std::size_t recentSlot(const ShortName &key)
    {
        return static_cast<std::size_t>(
            ((key.lo * 0x9E3779B97F4A7C15ull) ^ (key.hi * 0xC2B2AE3D27D4EB4Full) ^ key.size) >> (64 - kRecentShift));
    }
    // The short names last interned, each in the slot its key hashes to:
    // pages use few names, over and over, and a slot answers most of them
    // with two word compares.
    std::array<ShortName, std::size_t{1} << kRecentShift> recentNames_{};
    NameId internSlow(std::string_view text);
    std::size_t nameBytes_ = 0; // the names' strings, as memoryBytes() counts them
    std::size_t limit_ = 0;
    std::size_t beside_ = 0;
};

} // namespace quillan::html
