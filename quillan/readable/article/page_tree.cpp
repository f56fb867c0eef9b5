#include "article/page_tree.h"

#include "article/name_hints.h"
#include "render/elements.h"
#include "render/text_renderer.h"
#include "render/tokenizer_switch.h"

#include <limits>
#include <stdexcept>

namespace quillan::readable::article {
namespace {

constexpr std::size_t kMaxHeadingBytes = 400;
constexpr std::size_t kMaxKnownNames = 16384;
constexpr std::size_t kMaxArena = std::numeric_limits<std::uint32_t>::max() - 65536;

bool isSpace(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool allSpace(std::string_view s)
{
    for (unsigned char c : s)
        if (!isSpace(c))
            return false;
    return true;
}

// Bytes of the UTF-8 sequence `lead` begins (1 for a continuation byte).
std::size_t sequenceBytes(unsigned char lead)
{
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

// Appends `text` to `to` with runs of white space collapsed to one space,
// up to `limit` bytes and never part of a character.
void appendCollapsed(std::string &to, std::string_view text, std::size_t limit)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (isSpace(c)) {
            if (!to.empty() && to.back() != ' ' && to.size() < limit)
                to += ' ';
            continue;
        }
        const std::size_t n = sequenceBytes(c);
        if (to.size() + n > limit || i + n > text.size())
            return;
        to.append(text.substr(i, n));
        i += n - 1;
    }
}

bool isHeading12(Element e)
{
    return e == Element::H1 || e == Element::H2;
}

bool silentElement(Element e)
{
    switch (e) {
    case Element::Head:
    case Element::Title:
    case Element::Script:
    case Element::Style:
    case Element::Template:
    case Element::Noembed:
    case Element::Noframes:
    case Element::Iframe:
    case Element::Svg:
    case Element::Audio:
    case Element::Video:
    case Element::Select:
    case Element::Datalist: return true;
    default: return false;
    }
}

} // namespace

PageTree::PageTree(TokenizerSwitch *tokenizer) : tokenizer_(tokenizer)
{
    nodes_.emplace_back();
    nodeNames_.push_back(0);
    nameSizes_.push_back(0);
}

std::string_view PageTree::nameOf(std::uint32_t node) const
{
    return {arena_.data() + nodeNames_[node], nameSizes_[node]};
}

std::string_view PageTree::headingText(std::uint32_t node) const
{
    for (const auto &[n, text] : headings_)
        if (n == node)
            return text;
    return {};
}

void PageTree::measure(std::uint32_t node, std::string_view utf8)
{
    PageNode &n = nodes_[node];
    if (n.silent)
        return;
    if (pendingEnd_ != kNoNode) {
        if (isSpace(utf8.front()))
            nodes_[pendingEnd_].sentenceEnd = true;
        pendingEnd_ = kNoNode;
    }
    std::uint32_t count = 0, commas = 0;
    bool end = false;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (isSpace(c)) {
            continue;
        }
        if ((c & 0xC0) != 0x80)
            ++count;
        if (c == ',')
            ++commas;
        else if (c == 0xEF && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xBC &&
                 static_cast<unsigned char>(utf8[i + 2]) == 0x8C)
            ++commas; // a full-width comma
        if (c == '.' || c == '!' || c == '?') {
            // At the end of this piece the next piece decides.
            if (i + 1 == utf8.size())
                pendingEnd_ = node;
            else if (isSpace(utf8[i + 1]))
                end = true;
        }
    }
    n.text += count;
    if (n.inLink)
        n.linkText += count;
    n.commas += commas;
    n.sentenceEnd = n.sentenceEnd || end;
    if (n.heading != kNoNode) {
        for (auto &[h, text] : headings_)
            if (h == n.heading)
                appendCollapsed(text, utf8, kMaxHeadingBytes);
    }
}

void PageTree::characters(std::string_view utf8)
{
    if (utf8.empty())
        return;
    if (head_ != kNoNode && !headClosed_ && current() == head_ && !allSpace(utf8))
        popTo(0), headClosed_ = true;
    const std::uint32_t node = current();
    if (arena_.size() + utf8.size() > kMaxArena)
        throw std::length_error("page too large for article extraction");
    if (!tokens_.empty() && tokens_.back().kind == TokenKind::Text && tokens_.back().node == node &&
        tokens_.back().offset + tokens_.back().size == arena_.size()) {
        tokens_.back().size += static_cast<std::uint32_t>(utf8.size());
    } else {
        tokens_.push_back({TokenKind::Text, node, static_cast<std::uint32_t>(arena_.size()),
                           static_cast<std::uint32_t>(utf8.size()), 0, 0});
    }
    arena_.append(utf8);
    const PageNode &n = nodes_[node];
    if (n.element == Element::Title && !titleDone_ && !n.foreign)
        appendCollapsed(title_, utf8, kMaxHeadingBytes);
    if (styleDepth_ != 0 && styleDepth_ == stack_.size())
        sheet_.feed(utf8);
    measure(node, utf8);
}

void PageTree::recordTag(TokenKind kind, std::uint32_t node, const html::Tag &tag)
{
    if (arena_.size() + tag.name.size() + 4096 > kMaxArena)
        throw std::length_error("page too large for article extraction");
    PageToken t{kind, node, static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(tag.name.size()),
                static_cast<std::uint32_t>(attributes_.size()), 0};
    arena_.append(tag.name);
    if (kind != TokenKind::End) {
        for (const html::Attribute &a : tag.attributes) {
            if (arena_.size() + a.name.size() + a.value.size() > kMaxArena)
                throw std::length_error("page too large for article extraction");
            PageAttribute pa{static_cast<std::uint32_t>(arena_.size()), static_cast<std::uint32_t>(a.name.size()), 0,
                             static_cast<std::uint32_t>(a.value.size())};
            arena_.append(a.name);
            pa.valueOffset = static_cast<std::uint32_t>(arena_.size());
            arena_.append(a.value);
            attributes_.push_back(pa);
            ++t.attributeCount;
        }
    }
    tokens_.push_back(t);
}

void PageTree::replay(const PageToken &token, html::TokenSink &sink) const
{
    if (token.kind == TokenKind::Text) {
        sink.characters(text(token));
        return;
    }
    std::vector<html::Attribute> &attributes = replayAttributes_;
    attributes.clear();
    for (std::uint32_t i = 0; i < token.attributeCount; ++i) {
        const PageAttribute &a = attributes_[token.firstAttribute + i];
        attributes.push_back({{arena_.data() + a.nameOffset, a.nameSize}, {arena_.data() + a.valueOffset, a.valueSize}});
    }
    html::Tag tag;
    tag.name = text(token);
    tag.attributes = attributes;
    tag.selfClosing = token.kind == TokenKind::SelfClosingStart;
    if (token.kind == TokenKind::End)
        sink.endTag(tag);
    else
        sink.startTag(tag);
}

void PageTree::popTo(std::size_t size)
{
    while (stack_.size() > size) {
        if (styleDepth_ == stack_.size()) {
            sheet_.endStyleElement();
            styleDepth_ = 0;
        }
        if (nodes_[stack_.back()].element == Element::Title && !title_.empty())
            titleDone_ = true;
        stack_.pop_back();
    }
}

std::ptrdiff_t PageTree::find(Element element, std::string_view name, bool buttonScope, bool stopAtSpecial,
                              bool tableScope) const
{
    for (std::size_t i = stack_.size(); i-- > 0;) {
        const std::uint32_t n = stack_[i];
        const PageNode &node = nodes_[n];
        if (node.element == element && (element != Element::Other || nameOf(n) == name))
            return static_cast<std::ptrdiff_t>(i);
        if (tableScope && node.element == Element::Table)
            return -1;
        if (buttonScope && ((node.flags & kScopeBoundary) || node.element == Element::Button))
            return -1;
        if (stopAtSpecial && (node.flags & kSpecial) && node.element != Element::Address &&
            node.element != Element::Div && node.element != Element::P)
            return -1;
    }
    return -1;
}

void PageTree::impliedEnds(Element element, std::uint32_t flags)
{
    auto closeFound = [this](std::ptrdiff_t at) {
        if (at >= 0)
            popTo(static_cast<std::size_t>(at));
    };
    if (flags & kClosesP)
        closeFound(find(Element::P, {}, true, false, false));
    switch (element) {
    case Element::Li: closeFound(find(Element::Li, {}, false, true, false)); break;
    case Element::Dd:
    case Element::Dt:
        closeFound(find(Element::Dd, {}, false, true, false));
        closeFound(find(Element::Dt, {}, false, true, false));
        break;
    case Element::Td:
    case Element::Th:
        closeFound(find(Element::Td, {}, false, false, true));
        closeFound(find(Element::Th, {}, false, false, true));
        break;
    case Element::Tr: closeFound(find(Element::Tr, {}, false, false, true)); break;
    case Element::Tbody:
    case Element::Thead:
    case Element::Tfoot:
        closeFound(find(Element::Tbody, {}, false, false, true));
        closeFound(find(Element::Thead, {}, false, false, true));
        closeFound(find(Element::Tfoot, {}, false, false, true));
        break;
    case Element::Option:
        if (nodes_[current()].element == Element::Option)
            popTo(stack_.size() - 1);
        break;
    case Element::A: closeFound(find(Element::A, {}, false, false, true)); break;
    default:
        if ((flags & kHeading) && (nodes_[current()].flags & kHeading))
            popTo(stack_.size() - 1);
        break;
    }
}

void PageTree::switchTokenizer(Element element)
{
    if (tokenizer_)
        SwitchTokenizerAfter(*tokenizer_, element);
}

std::uint32_t PageTree::addNode(const html::Tag &tag, Element element, std::uint32_t flags)
{
    const std::uint32_t parent = current();
    const PageNode &p = nodes_[parent];
    PageNode n;
    n.parent = parent;
    n.element = element;
    n.flags = flags;
    n.foreign = p.foreign || element == Element::Svg || element == Element::Math;
    // Only a hyperlink is link text; a table cell starts afresh, as the tree
    // builder does not carry formatting elements into cells.
    n.inLink = (p.inLink && !(flags & kCell)) || (element == Element::A && tag.hasAttribute("href"));
    n.heading = isHeading12(element) ? static_cast<std::uint32_t>(nodes_.size()) : p.heading;

    const std::string_view id = tag.attribute("id");
    const std::string_view classes = tag.attribute("class");
    NameHints hints;
    const std::string_view role = tag.attribute("role");
    if (!classes.empty() || !id.empty() || !role.empty()) {
        hintKey_.assign(classes);
        hintKey_ += '\0';
        hintKey_ += id;
        hintKey_ += '\0';
        hintKey_ += role;
        if (const auto it = hints_.find(hintKey_); it != hints_.end()) {
            hints = it->second;
        } else {
            hints = ReadNameHints(classes, id, role);
            if (hints_.size() < kMaxKnownNames)
                hints_.emplace(hintKey_, hints);
        }
    }
    n.classWeight = hints.weight;
    n.unlikely = hints.unlikely;
    n.classHash = classes.empty() ? 0 : static_cast<std::uint32_t>(std::hash<std::string_view>{}(classes) | 1);

    bool hidden = (flags & (kNotDisplayed | kNoContent)) || tag.hasAttribute("hidden") ||
                  (element == Element::Dialog && !tag.hasAttribute("open"));
    if (!hidden) {
        const std::string_view style = tag.attribute("style");
        if (!style.empty() && InlineStyle(style).hides)
            hidden = true;
    }
    if (!hidden && !sheet_.empty() && sheet_.match(tag.name, id, classes).hides)
        hidden = true;
    n.silent = p.silent || hidden || silentElement(element);

    const auto index = static_cast<std::uint32_t>(nodes_.size());
    if (isHeading12(element))
        headings_.emplace_back(index, std::string());
    nodes_.push_back(n);
    nodeNames_.push_back(static_cast<std::uint32_t>(arena_.size()));
    nameSizes_.push_back(static_cast<std::uint16_t>(std::min<std::size_t>(tag.name.size(), 65535)));
    return index;
}

void PageTree::endTextRun()
{
    if (pendingEnd_ != kNoNode)
        nodes_[pendingEnd_].sentenceEnd = true;
    pendingEnd_ = kNoNode;
}

void PageTree::startTag(const html::Tag &tag)
{
    endTextRun();
    const ElementInfo info = LookupElement(tag.name);
    Element element = info.element;
    std::uint32_t flags = info.flags;
    const bool inForeign = nodes_[current()].foreign;
    if (inForeign && element != Element::Svg && element != Element::Math) {
        element = Element::Other; // foreign elements share HTML names but none of their rules
        flags = 0;
    }

    switch (element) {
    case Element::Html:
        if (html_ == kNoNode) {
            html_ = addNode(tag, element, flags);
            recordTag(TokenKind::Start, html_, tag);
            nodeNames_[html_] = tokens_.back().offset;
            stack_.push_back(html_);
        } else {
            recordTag(TokenKind::Start, current(), tag);
        }
        return;
    case Element::Head:
        if (head_ == kNoNode && body_ == kNoNode) {
            head_ = addNode(tag, element, flags);
            recordTag(TokenKind::Start, head_, tag);
            nodeNames_[head_] = tokens_.back().offset;
            stack_.push_back(head_);
        } else {
            recordTag(TokenKind::Start, current(), tag);
        }
        return;
    case Element::Body:
        if (body_ == kNoNode) {
            if (head_ != kNoNode && !headClosed_) {
                for (std::size_t i = 0; i < stack_.size(); ++i)
                    if (stack_[i] == head_) {
                        popTo(i);
                        break;
                    }
                headClosed_ = true;
            }
            body_ = addNode(tag, element, flags);
            recordTag(TokenKind::Start, body_, tag);
            nodeNames_[body_] = tokens_.back().offset;
            stack_.push_back(body_);
        } else {
            recordTag(TokenKind::Start, current(), tag);
        }
        return;
    default: break;
    }

    // Content that cannot stay in head ends it.
    if (head_ != kNoNode && !headClosed_ && !(flags & kHeadContent) && !inForeign) {
        for (std::size_t i = 0; i < stack_.size(); ++i)
            if (stack_[i] == head_) {
                popTo(i);
                break;
            }
        headClosed_ = true;
    }
    if (!inForeign)
        impliedEnds(element, flags);

    const std::uint32_t node = addNode(tag, element, flags);
    recordTag(tag.selfClosing ? TokenKind::SelfClosingStart : TokenKind::Start, node, tag);
    nodeNames_[node] = tokens_.back().offset;

    const bool leaf = (flags & kVoid) || (tag.selfClosing && nodes_[node].foreign);
    if (!inForeign)
        switchTokenizer(element);
    if (!leaf && stack_.size() < kMaxDepth) {
        stack_.push_back(node);
        if (element == Element::Style && styleDepth_ == 0) {
            const std::string_view media = tag.attribute("media");
            if (media.empty() || media.find("screen") != std::string_view::npos ||
                media.find("all") != std::string_view::npos)
                styleDepth_ = stack_.size();
        }
    }
    const bool foreignNow = nodes_[current()].foreign;
    if (tokenizer_ && foreignNow != lastForeign_) {
        lastForeign_ = foreignNow;
        tokenizer_->setForeignContent(foreignNow);
    }
}

void PageTree::endTag(const html::Tag &tag)
{
    endTextRun();
    const ElementInfo info = LookupElement(tag.name);
    Element element = info.element;
    const bool inForeign = nodes_[current()].foreign;
    if (inForeign && element != Element::Svg && element != Element::Math)
        element = Element::Other;
    std::uint32_t node = current();
    switch (element) {
    case Element::Html:
    case Element::Body: break;
    case Element::Head:
        if (head_ != kNoNode && !headClosed_) {
            for (std::size_t i = 0; i < stack_.size(); ++i)
                if (stack_[i] == head_) {
                    popTo(i);
                    break;
                }
            headClosed_ = true;
            node = head_;
        }
        break;
    default: {
        const bool paragraph = element == Element::P;
        const std::ptrdiff_t at = find(element, tag.name, paragraph, false, false);
        if (at >= 0) {
            node = stack_[static_cast<std::size_t>(at)];
            popTo(static_cast<std::size_t>(at));
        }
        break;
    }
    }
    recordTag(TokenKind::End, node, tag);
    const bool foreignNow = nodes_[current()].foreign;
    if (tokenizer_ && foreignNow != lastForeign_) {
        lastForeign_ = foreignNow;
        tokenizer_->setForeignContent(foreignNow);
    }
}

} // namespace quillan::readable::article
