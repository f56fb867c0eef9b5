#include "html/tree/document.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

namespace quillan::html {

namespace {

constexpr std::uint32_t kMaxNames = (1u << 27) - 1;

// The known names' texts, made once and never changed: every Document's
// first names, not copied into each one's index.
const std::array<std::string, kKnownNameCount> &knownNameStrings()
{
    static const std::array<std::string, kKnownNameCount> strings = [] {
        std::array<std::string, kKnownNameCount> made;
        for (std::uint32_t i = 0; i < kKnownNameCount; ++i)
            made[i] = std::string(knownNameText(i));
        return made;
    }();
    return strings;
}

// What a name costs in memoryBytes() and bytesInUse(): its string and an
// index entry.
std::size_t nameCost(const std::string &name)
{
    return name.capacity() + 64;
}

} // namespace

Document::Document(NodeKind rootKind)
{
    // Room for the known names and a page's own without growing the index
    // as they come.
    names_.reserve(2 * kKnownNameCount);
    nameIndex_.reserve(kKnownNameCount);
    for (const std::string &known : knownNameStrings()) {
        names_.push_back(&known);
        nameBytes_ += nameCost(known);
    }
    newNode(rootKind, Namespace::Html, 0);
}

Document::Document(Document &&) noexcept = default;
Document &Document::operator=(Document &&) noexcept = default;
Document::~Document() = default;

void Document::reserve(std::size_t bytes)
{
    // The texts and values are at most about the page's bytes (a page of
    // scripts and styles is nearly all text); room reserved and never
    // written costs address space only. An attribute comes every few hundred
    // bytes; the nodes need no room reserved.
    arena_.reserve(arena_.size() + bytes + 64);
    attributes_.reserve(attributes_.size() + bytes / 256 + 16);
}

void Document::NodeStore::addPage()
{
    pages_.emplace_back(new NodeRecord[kPage]);
}

NameId Document::intern(std::string_view text)
{
    ShortName key;
    if (!shortName(text, key))
        return internSlow(text);
    ShortName &slot = recentNames_[recentSlot(key)];
    if (slot.size == key.size && slot.lo == key.lo && slot.hi == key.hi)
        return slot.id;
    key.id = internSlow(text);
    slot = key;
    return key.id;
}

NameId Document::internSlow(std::string_view text)
{
    if (const KnownName known = findKnownNameText(text); known < kKnownNameCount)
        return known;
    if (auto found = nameIndex_.find(text); found != nameIndex_.end())
        return found->second;
    if (names_.size() >= kMaxNames)
        return k_span; // never reached on input of a sane size: the names would need gigabytes
    const auto id = static_cast<NameId>(names_.size());
    auto inserted = nameIndex_.emplace(std::string(text), id).first;
    names_.push_back(&inserted->first);
    nameBytes_ += nameCost(inserted->first);
    checkLimit();
    return id;
}

NameId Document::findName(std::string_view text) const
{
    // An end tag mostly closes an element whose name was interned a moment
    // ago: its slot answers it.
    if (ShortName key; shortName(text, key)) {
        const ShortName &slot = recentNames_[recentSlot(key)];
        if (slot.size == key.size && slot.lo == key.lo && slot.hi == key.hi)
            return slot.id;
    }
    if (const KnownName known = findKnownNameText(text); known < kKnownNameCount)
        return known;
    auto found = nameIndex_.find(text);
    return found == nameIndex_.end() ? kNoNode : found->second;
}

NodeId Document::addNode(NodeKind kind, Namespace space, NameId name)
{
    if (nodes_.size() >= std::numeric_limits<NodeId>::max() - 1)
        throw std::length_error("document too large");
    const auto id = static_cast<NodeId>(nodes_.size());
    nodes_.push_back(
        NodeRecord{static_cast<std::uint32_t>(kind) | (static_cast<std::uint32_t>(space) << 3) | (name << 5), kNoNode,
                   kNoNode, kNoNode, kNoNode, kNoNode});
    return id;
}

NodeId Document::newNode(NodeKind kind, Namespace space, NameId name)
{
    const NodeId id = addNode(kind, space, name);
    checkLimit();
    return id;
}

std::uint32_t Document::addBytes(std::string_view bytes)
{
    if (arena_.size() + bytes.size() >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("document too large");
    const auto at = static_cast<std::uint32_t>(arena_.size());
    arena_.append(bytes);
    return at;
}

std::uint32_t Document::store(std::string_view bytes)
{
    const std::uint32_t at = addBytes(bytes);
    checkLimit();
    return at;
}

std::string_view Document::text(NodeId n) const
{
    const NodeRecord &r = nodes_[n];
    if (kind(n) == NodeKind::Doctype) {
        const DoctypeRecord &d = doctypes_[r.a];
        return {arena_.data() + d.name, d.nameLength};
    }
    if (kind(n) != NodeKind::Text && kind(n) != NodeKind::Comment)
        return {};
    return {arena_.data() + r.a, r.first};
}

std::string_view Document::doctypePublicId(NodeId n) const
{
    if (kind(n) != NodeKind::Doctype)
        return {};
    const DoctypeRecord &d = doctypes_[nodes_[n].a];
    return {arena_.data() + d.publicId, d.publicLength};
}

std::string_view Document::doctypeSystemId(NodeId n) const
{
    if (kind(n) != NodeKind::Doctype)
        return {};
    const DoctypeRecord &d = doctypes_[nodes_[n].a];
    return {arena_.data() + d.systemId, d.systemLength};
}

AttributeView Document::attribute(NodeId n, std::size_t i) const
{
    const AttributeRecord &r = attributes_[nodes_[n].a + 1 + i];
    return {static_cast<AttributeNamespace>(r.name >> 30), r.name & ((1u << 30) - 1),
            std::string_view(arena_.data() + r.offset, r.length)};
}

std::string_view Document::attributeValue(NodeId n, std::string_view name) const
{
    const std::size_t count = attributeCount(n);
    for (std::size_t i = 0; i < count; ++i) {
        const AttributeView a = attribute(n, i);
        if (a.ns == AttributeNamespace::None && nameText(a.name) == name)
            return a.value.data() ? a.value : std::string_view("", 0);
    }
    return {};
}

// An element is written in three steps, and the limit checked once, when
// the element and its attributes are all written (a name interned on the
// way checks it too).
NodeId Document::beginElement(Namespace space, NameId name, std::size_t attributes)
{
    const NodeId n = addNode(NodeKind::Element, space, name);
    if (attributes != 0) {
        nodes_[n].a = static_cast<std::uint32_t>(attributes_.size());
        attributes_.push_back({static_cast<std::uint32_t>(attributes), 0, 0});
    }
    return n;
}

void Document::addAttribute(AttributeNamespace space, std::string_view name, std::string_view value)
{
    const std::uint32_t id = intern(name);
    const std::uint32_t at = addBytes(value);
    attributes_.push_back(
        {(static_cast<std::uint32_t>(space) << 30) | id, at, static_cast<std::uint32_t>(value.size())});
}

NodeId Document::endElement(NodeId element)
{
    if (isHtml(element, k_template_))
        addNode(NodeKind::DocumentFragment, Namespace::Html, 0);
    checkLimit();
    return element;
}

NodeId Document::createElement(Namespace space, NameId name, std::span<const NewAttribute> attributes)
{
    const NodeId n = beginElement(space, name, attributes.size());
    for (const NewAttribute &a : attributes)
        addAttribute(a.ns, a.name, a.value);
    return endElement(n);
}

NodeId Document::createElementFromTag(Namespace space, NameId name, std::span<const Attribute> attributes)
{
    const NodeId n = beginElement(space, name, attributes.size());
    for (const Attribute &a : attributes)
        addAttribute(AttributeNamespace::None, a.name, a.value);
    return endElement(n);
}

NodeId Document::cloneElement(NodeId element)
{
    const NodeRecord source = nodes_[element];
    const NodeId n = newNode(NodeKind::Element, ns(element), name(element));
    // The copy shares the attribute block: blocks never change in place.
    nodes_[n].a = source.a;
    if (ns(element) == Namespace::Html && name(element) == k_template_)
        newNode(NodeKind::DocumentFragment, Namespace::Html, 0);
    return n;
}

void Document::appendCopiesOfChildren(NodeId from, NodeId to)
{
    // (source, copy's parent) pairs still to copy, in reverse order.
    std::vector<std::pair<NodeId, NodeId>> todo;
    auto queueChildren = [&](NodeId source, NodeId parent) {
        const std::size_t at = todo.size();
        for (NodeId c = nodes_[source].first; c != kNoNode; c = nodes_[c].next)
            todo.emplace_back(c, parent);
        std::reverse(todo.begin() + static_cast<std::ptrdiff_t>(at), todo.end());
    };
    queueChildren(from, to);
    while (!todo.empty()) {
        const auto [source, parent] = todo.back();
        todo.pop_back();
        NodeId copy = kNoNode;
        switch (kind(source)) {
        case NodeKind::Element: copy = cloneElement(source); break;
        case NodeKind::Text: copy = createText(std::string(text(source))); break;
        case NodeKind::Comment: copy = createComment(std::string(text(source))); break;
        default: continue;
        }
        appendChild(parent, copy);
        if (kind(source) == NodeKind::Element)
            queueChildren(source, copy);
    }
}

void Document::addMissingAttributes(NodeId element, std::span<const NewAttribute> attributes)
{
    std::vector<AttributeRecord> added;
    for (const NewAttribute &a : attributes) {
        if (attributeValue(element, a.name).data())
            continue;
        bool repeated = false;
        for (const AttributeRecord &r : added)
            repeated = repeated || nameText(r.name & ((1u << 30) - 1)) == a.name;
        if (repeated)
            continue;
        const std::uint32_t id = intern(a.name);
        added.push_back({id, store(a.value), static_cast<std::uint32_t>(a.value.size())});
    }
    if (added.empty())
        return;
    const std::uint32_t count = static_cast<std::uint32_t>(attributeCount(element));
    const std::uint32_t old = nodes_[element].a;
    const auto start = static_cast<std::uint32_t>(attributes_.size());
    attributes_.push_back({count + static_cast<std::uint32_t>(added.size()), 0, 0});
    for (std::uint32_t i = 0; i < count; ++i)
        attributes_.push_back(attributes_[old + 1 + i]);
    attributes_.insert(attributes_.end(), added.begin(), added.end());
    nodes_[element].a = start;
    checkLimit();
}

NodeId Document::addData(NodeKind kind, std::string_view text)
{
    const NodeId n = addNode(kind, Namespace::Html, 0);
    nodes_[n].a = addBytes(text);
    nodes_[n].first = static_cast<std::uint32_t>(text.size());
    checkLimit();
    return n;
}

NodeId Document::createText(std::string_view text)
{
    return addData(NodeKind::Text, text);
}

NodeId Document::createComment(std::string_view text)
{
    return addData(NodeKind::Comment, text);
}

NodeId Document::createDoctype(std::string_view name, std::string_view publicId, std::string_view systemId)
{
    const NodeId n = newNode(NodeKind::Doctype, Namespace::Html, 0);
    DoctypeRecord d{};
    d.name = store(name);
    d.nameLength = static_cast<std::uint32_t>(name.size());
    d.publicId = store(publicId);
    d.publicLength = static_cast<std::uint32_t>(publicId.size());
    d.systemId = store(systemId);
    d.systemLength = static_cast<std::uint32_t>(systemId.size());
    nodes_[n].a = static_cast<std::uint32_t>(doctypes_.size());
    doctypes_.push_back(d);
    return n;
}

void Document::detach(NodeId n)
{
    NodeRecord &r = nodes_[n];
    const NodeId p = r.parent;
    if (p == kNoNode)
        return;
    NodeRecord &pr = nodes_[p];
    const NodeId last = nodes_[pr.first].prev;
    if (pr.first == n) {
        pr.first = r.next;
        if (r.next != kNoNode)
            nodes_[r.next].prev = last;
    } else {
        nodes_[r.prev].next = r.next;
        if (r.next != kNoNode)
            nodes_[r.next].prev = r.prev;
        else
            nodes_[pr.first].prev = r.prev;
    }
    r.parent = r.next = r.prev = kNoNode;
}

void Document::appendChild(NodeId parent, NodeId child)
{
    insertBefore(parent, child, kNoNode);
}

void Document::linkLast(NodeId parent, NodeId child)
{
    NodeRecord &pr = nodes_[parent];
    NodeRecord &c = nodes_[child];
    c.parent = parent;
    c.next = kNoNode;
    if (pr.first == kNoNode) {
        pr.first = child;
        c.prev = child;
        return;
    }
    const NodeId last = nodes_[pr.first].prev;
    nodes_[last].next = child;
    c.prev = last;
    nodes_[pr.first].prev = child;
}

void Document::insertBefore(NodeId parent, NodeId child, NodeId before)
{
    if (nodes_[child].parent != kNoNode)
        detach(child);
    NodeRecord &pr = nodes_[parent];
    if (pr.first == kNoNode || before == kNoNode) {
        linkLast(parent, child);
        return;
    }
    NodeRecord &c = nodes_[child];
    c.parent = parent;
    if (pr.first == before) {
        c.prev = nodes_[before].prev; // the last child
        c.next = before;
        nodes_[before].prev = child;
        pr.first = child;
        return;
    }
    const NodeId prev = nodes_[before].prev;
    c.prev = prev;
    c.next = before;
    nodes_[prev].next = child;
    nodes_[before].prev = child;
}

void Document::moveChildren(NodeId from, NodeId to)
{
    while (nodes_[from].first != kNoNode)
        appendChild(to, nodes_[from].first);
}

void Document::appendToText(NodeId textNode, std::string_view text)
{
    NodeRecord &r = nodes_[textNode];
    const std::uint32_t had = r.first;
    const std::size_t length = had + text.size();
    if (length >= std::numeric_limits<std::uint32_t>::max() ||
        arena_.size() + text.size() >= std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("document too large");
    if (r.a + had == arena_.size()) {
        arena_.append(text);
        if (!textCapacity_.empty())
            textCapacity_.erase(textNode);
    } else if (auto room = textCapacity_.find(textNode); room != textCapacity_.end() && room->second >= length) {
        std::copy(text.begin(), text.end(), arena_.begin() + r.a + had);
    } else {
        // Moved to the end with as much room again, so that a node that keeps
        // growing between other texts is moved O(log n) times.
        const std::size_t capacity = std::max<std::size_t>(length * 2, 64);
        if (arena_.size() + capacity >= std::numeric_limits<std::uint32_t>::max())
            throw std::length_error("document too large");
        const auto at = static_cast<std::uint32_t>(arena_.size());
        arena_.resize(at + capacity);
        std::copy_n(arena_.data() + r.a, had, arena_.data() + at);
        std::copy(text.begin(), text.end(), arena_.data() + at + had);
        r.a = at;
        textCapacity_[textNode] = static_cast<std::uint32_t>(capacity);
    }
    r.first = static_cast<std::uint32_t>(length);
    checkLimit();
}

void Document::insertText(NodeId parent, NodeId before, std::string_view text)
{
    if (text.empty())
        return;
    if (before != kNoNode) {
        const NodeId adjacent = previousSibling(before);
        if (adjacent != kNoNode && kind(adjacent) == NodeKind::Text)
            appendToText(adjacent, text);
        else
            insertBefore(parent, createText(text), before);
        return;
    }
    // At the end, as nearly all text goes: the parent's last child grows, or
    // a new Text node is linked after it.
    NodeRecord &pr = nodes_[parent];
    const NodeId first = pr.first;
    if (first != kNoNode) {
        const NodeId last = nodes_[first].prev;
        if (kind(last) == NodeKind::Text) {
            appendToText(last, text);
            return;
        }
    }
    const NodeId n = addData(NodeKind::Text, text);
    linkLast(parent, n);
}

std::size_t Document::memoryBytes() const
{
    std::size_t bytes = nodes_.capacity() * sizeof(NodeRecord) + attributes_.size() * sizeof(AttributeRecord) +
                        doctypes_.size() * sizeof(DoctypeRecord) + arena_.size() + names_.capacity() * sizeof(void *) +
                        textCapacity_.size() * 32 + nameBytes_;
    return bytes;
}

std::size_t Document::bytesInUse() const
{
    return nodes_.capacity() * sizeof(NodeRecord) + attributes_.size() * sizeof(AttributeRecord) +
           doctypes_.size() * sizeof(DoctypeRecord) + arena_.size() + names_.capacity() * sizeof(void *) +
           textCapacity_.size() * 32 + nameBytes_;
}

} // namespace quillan::html
