#include "html/tree/tree_builder.h"

#include "html/tree/foreign.h"

#include "base/text.h"

#include <algorithm>
#include <array>
#include <tuple>

namespace quillan::html {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

std::size_t spacePrefix(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && isSpace(s[i]))
        ++i;
    return i;
}

bool allSpace(std::string_view s)
{
    return spacePrefix(s) == s.size();
}

std::string onlySpaces(std::string_view s)
{
    std::string out;
    for (char c : s)
        if (isSpace(c))
            out += c;
    return out;
}

using base::EqualsNoCase;

bool startsIgnoringCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

constexpr NameId kHeadings[] = {k_h1, k_h2, k_h3, k_h4, k_h5, k_h6};

constexpr std::string_view kQuirkyPublicPrefixes[] = {
    "+//silmaril//dtd html pro v0r11 19970101//",
    "-//as//dtd html 3.0 aswedit + extensions//",
    "-//advasoft ltd//dtd html 3.0 aswedit + extensions//",
    "-//ietf//dtd html 2.0 level 1//",
    "-//ietf//dtd html 2.0 level 2//",
    "-//ietf//dtd html 2.0 strict level 1//",
    "-//ietf//dtd html 2.0 strict level 2//",
    "-//ietf//dtd html 2.0 strict//",
    "-//ietf//dtd html 2.0//",
    "-//ietf//dtd html 2.1e//",
    "-//ietf//dtd html 3.0//",
    "-//ietf//dtd html 3.2 final//",
    "-//ietf//dtd html 3.2//",
    "-//ietf//dtd html 3//",
    "-//ietf//dtd html level 0//",
    "-//ietf//dtd html level 1//",
    "-//ietf//dtd html level 2//",
    "-//ietf//dtd html level 3//",
    "-//ietf//dtd html strict level 0//",
    "-//ietf//dtd html strict level 1//",
    "-//ietf//dtd html strict level 2//",
    "-//ietf//dtd html strict level 3//",
    "-//ietf//dtd html strict//",
    "-//ietf//dtd html//",
    "-//metrius//dtd metrius presentational//",
    "-//microsoft//dtd internet explorer 2.0 html strict//",
    "-//microsoft//dtd internet explorer 2.0 html//",
    "-//microsoft//dtd internet explorer 2.0 tables//",
    "-//microsoft//dtd internet explorer 3.0 html strict//",
    "-//microsoft//dtd internet explorer 3.0 html//",
    "-//microsoft//dtd internet explorer 3.0 tables//",
    "-//netscape comm. corp.//dtd html//",
    "-//netscape comm. corp.//dtd strict html//",
    "-//o'reilly and associates//dtd html 2.0//",
    "-//o'reilly and associates//dtd html extended 1.0//",
    "-//o'reilly and associates//dtd html extended relaxed 1.0//",
    "-//sq//dtd html 2.0 hotmetal + extensions//",
    "-//softquad software//dtd hotmetal pro 6.0::19990601::extensions to html 4.0//",
    "-//softquad//dtd hotmetal pro 4.0::19971010::extensions to html 4.0//",
    "-//spyglass//dtd html 2.0 extended//",
    "-//sun microsystems corp.//dtd hotjava html//",
    "-//sun microsystems corp.//dtd hotjava strict html//",
    "-//w3c//dtd html 3 1995-03-24//",
    "-//w3c//dtd html 3.2 draft//",
    "-//w3c//dtd html 3.2 final//",
    "-//w3c//dtd html 3.2//",
    "-//w3c//dtd html 3.2s draft//",
    "-//w3c//dtd html 4.0 frameset//",
    "-//w3c//dtd html 4.0 transitional//",
    "-//w3c//dtd html experimental 19960712//",
    "-//w3c//dtd html experimental 970421//",
    "-//w3c//dtd w3 html//",
    "-//w3o//dtd w3 html 3.0//",
    "-//webtechs//dtd mozilla html 2.0//",
    "-//webtechs//dtd mozilla html//",
};

// The start tags whose whole rule in body is to close a p in button scope
// and insert the element.
constexpr NameId kClosesPAndInserts[] = {
    k_address, k_article,  k_aside,      k_blockquote, k_center,  k_details, k_dialog, k_dir,  k_div,
    k_dl,      k_fieldset, k_figcaption, k_figure,     k_footer,  k_header,  k_hgroup, k_main, k_menu,
    k_nav,     k_ol,       k_p,          k_search,     k_section, k_summary, k_ul};
constexpr NameId kIgnored[] = {k_caption, k_col,   k_colgroup, k_frame, k_head, k_tbody,
                               k_td,      k_tfoot, k_th,       k_thead, k_tr};
constexpr NameId kBlocks[] = {k_address, k_article, k_aside,  k_blockquote, k_button,   k_center,     k_details,
                              k_dialog,  k_dir,     k_div,    k_dl,         k_fieldset, k_figcaption, k_figure,
                              k_footer,  k_header,  k_hgroup, k_listing,    k_main,     k_menu,       k_nav,
                              k_ol,      k_pre,     k_search, k_section,    k_select,   k_summary,    k_ul};

// Per known name, what the HTML element of that name is to the algorithms:
// the scope boundaries it makes (bit k for Boundary k) and the lists it is on.
enum Flag : std::uint32_t {
    kDefaultBoundary = 1u << 0,
    kListItemBoundary = 1u << 1,
    kButtonBoundary = 1u << 2,
    kTableBoundary = 1u << 3,
    kSpecialFlag = 1u << 4,
    kListStopFlag = 1u << 5,
    kImpliedEndFlag = 1u << 6,
    kBreakoutFlag = 1u << 7,
    kClosesPFlag = 1u << 8,        // in body, its start tag closes a p in button scope
    kHeadingFlag = 1u << 9,        // h1 to h6
    kFormattingFlag = 1u << 10,    // its end tag runs the adoption agency
    kBlockEndFlag = 1u << 11,      // in body, its end tag closes it when in scope
    kIgnoredInBodyFlag = 1u << 12, // in body, its start tag is ignored
    kThoroughFlag = 1u << 13,      // closed by "generate all implied end tags thoroughly"
};

struct NameFlags {
    std::array<std::uint32_t, kKnownNameCount> html{};
    std::array<std::uint32_t, kKnownNameCount> foreign{};
};

// The categories the element table states, and the groups of this
// builder's own rules.
constexpr NameFlags makeFlags()
{
    NameFlags f;
    constexpr std::uint32_t scope = kDefaultBoundary | kListItemBoundary | kButtonBoundary;
    for (std::uint32_t n = 0; n < kKnownNameCount; ++n) {
        const std::uint32_t element = elementFlags(n);
        std::uint32_t &flags = f.html[n];
        if (element & kScopeBoundary)
            flags |= scope;
        if (element & kListItemScopeBoundary)
            flags |= kListItemBoundary;
        if (element & kButtonScopeBoundary)
            flags |= kButtonBoundary;
        if (element & kTableScopeBoundary)
            flags |= kTableBoundary;
        if (element & kSpecial)
            flags |= kSpecialFlag | kListStopFlag;
        if (element & kEndImplied)
            flags |= kImpliedEndFlag;
        if (element & kEndImpliedThoroughly)
            flags |= kThoroughFlag;
        if (element & kBreaksOutOfForeign)
            flags |= kBreakoutFlag;
        if (element & kHeading)
            flags |= kHeadingFlag;
        if (element & kFormatting)
            flags |= kFormattingFlag;
    }
    for (NameId n : {k_address, k_div, k_p})
        f.html[n] &= ~static_cast<std::uint32_t>(kListStopFlag);
    for (NameId n : kClosesPAndInserts)
        f.html[n] |= kClosesPFlag;
    for (NameId n : kBlocks)
        f.html[n] |= kBlockEndFlag;
    for (NameId n : kIgnored)
        f.html[n] |= kIgnoredInBodyFlag;
    // MathML's text integration points and annotation-xml, SVG's HTML
    // integration points: boundaries of every scope but the table's, special.
    for (NameId n : {k_mi, k_mo, k_mn, k_ms, k_mtext, k_annotation_xml, k_foreignObject, k_desc, k_title})
        f.foreign[n] = scope | kSpecialFlag | kListStopFlag;
    return f;
}

constexpr NameFlags kFlags = makeFlags();

// The flags of a token's name.
std::uint32_t nameFlags(NameId name)
{
    return name < kKnownNameCount ? kFlags.html[name] : 0;
}

} // namespace

TreeBuilder::TreeBuilder(Document &document, TreeOptions options) : doc_(document), options_(options) {}

// ---------------------------------------------------------------------------
// Tokens in.

void TreeBuilder::characters(std::string_view utf8)
{
    if (stopped_ || utf8.empty())
        return;
    if (skipNewline_) {
        skipNewline_ = false;
        if (utf8.front() == '\n')
            utf8.remove_prefix(1);
        if (utf8.empty())
            return;
    }
    Token t{Type::Characters};
    t.text = utf8;
    dispatch(t);
    afterToken();
}

void TreeBuilder::startTag(const Tag &tag)
{
    if (stopped_)
        return;
    skipNewline_ = false;
    Token t{Type::StartTag};
    t.tag = &tag;
    t.name = doc_.intern(tag.name);
    dispatch(t);
    afterToken();
}

void TreeBuilder::endTag(const Tag &tag)
{
    if (stopped_)
        return;
    skipNewline_ = false;
    Token t{Type::EndTag};
    t.tag = &tag;
    t.name = doc_.findName(tag.name);
    dispatch(t);
    afterToken();
}

void TreeBuilder::comment(std::string_view text)
{
    if (stopped_)
        return;
    skipNewline_ = false;
    Token t{Type::Comment};
    t.text = text;
    dispatch(t);
    afterToken();
}

void TreeBuilder::doctype(const Doctype &doctype)
{
    if (stopped_)
        return;
    skipNewline_ = false;
    Token t{Type::Doctype};
    t.doctype = &doctype;
    dispatch(t);
    afterToken();
}

void TreeBuilder::endOfFile()
{
    if (stopped_)
        return;
    Token t{Type::EndOfFile};
    dispatch(t);
    stopped_ = true;
    while (!stack_.empty())
        pop();
}

void TreeBuilder::afterToken()
{
    if (!tokenizer_)
        return;
    const NodeId n = adjustedCurrent();
    tokenizer_->setForeignContent(n != kNoNode && doc_.ns(n) != Namespace::Html);
}

void TreeBuilder::setTokenizerState(Tokenizer::TextState state)
{
    if (tokenizer_)
        tokenizer_->setState(state);
}

bool TreeBuilder::inForeignContent(const Token &t) const
{
    if (stack_.empty() || t.type == Type::EndOfFile)
        return false;
    const NodeId n = adjustedCurrent();
    if (doc_.ns(n) == Namespace::Html)
        return false;
    if (isMathMlTextIntegrationPoint(n)) {
        if (t.type == Type::StartTag && t.name != k_mglyph && t.name != k_malignmark)
            return false;
        if (t.type == Type::Characters)
            return false;
    }
    if (doc_.is(n, Namespace::MathMl, k_annotation_xml) && t.type == Type::StartTag && t.name == k_svg)
        return false;
    if (isHtmlIntegrationPoint(n) && (t.type == Type::StartTag || t.type == Type::Characters))
        return false;
    return true;
}

void TreeBuilder::dispatch(Token &t)
{
    // Foreign content needs an adjusted current node outside HTML: most
    // tokens are done with that one look.
    const bool foreign = !stack_.empty() && doc_.ns(adjustedCurrent()) != Namespace::Html;
    if (foreign && inForeignContent(t))
        foreignContent(t);
    else
        process(mode_, t);
}

void TreeBuilder::process(Mode mode, Token &t)
{
    switch (mode) {
    case Mode::Initial: initial(t); break;
    case Mode::BeforeHtml: beforeHtml(t); break;
    case Mode::BeforeHead: beforeHead(t); break;
    case Mode::InHead: inHead(t); break;
    case Mode::InHeadNoscript: inHeadNoscript(t); break;
    case Mode::AfterHead: afterHead(t); break;
    case Mode::InBody: inBody(t); break;
    case Mode::Text: text(t); break;
    case Mode::InTable: inTable(t); break;
    case Mode::InTableText: inTableText(t); break;
    case Mode::InCaption: inCaption(t); break;
    case Mode::InColumnGroup: inColumnGroup(t); break;
    case Mode::InTableBody: inTableBody(t); break;
    case Mode::InRow: inRow(t); break;
    case Mode::InCell: inCell(t); break;
    case Mode::InTemplate: inTemplate(t); break;
    case Mode::AfterBody: afterBody(t); break;
    case Mode::InFrameset: inFrameset(t); break;
    case Mode::AfterFrameset: afterFrameset(t); break;
    case Mode::AfterAfterBody: afterAfterBody(t); break;
    case Mode::AfterAfterFrameset: afterAfterFrameset(t); break;
    }
}

// ---------------------------------------------------------------------------
// The stack of open elements.

std::uint32_t TreeBuilder::flagsOf(NodeId n) const
{
    const NameId name = doc_.name(n);
    if (name >= kKnownNameCount || !doc_.isElement(n))
        return 0;
    switch (doc_.ns(n)) {
    case Namespace::Html: return kFlags.html[name];
    case Namespace::MathMl:
        return name == k_foreignObject || name == k_desc || name == k_title ? 0 : kFlags.foreign[name];
    case Namespace::Svg: return name == k_foreignObject || name == k_desc || name == k_title ? kFlags.foreign[name] : 0;
    }
    return 0;
}

bool TreeBuilder::isSpecial(NodeId n) const
{
    return (flagsOf(n) & kSpecialFlag) != 0;
}

bool TreeBuilder::isBoundary(NodeId n, Boundary kind) const
{
    return (flagsOf(n) >> kind) & 1u;
}

void TreeBuilder::index(std::uint32_t position)
{
    StackEntry &e = stack_[position];
    const NodeId n = e.node;
    e.sameBelow = kNone;
    if (doc_.ns(n) == Namespace::Html) {
        const NameId name = doc_.name(n);
        if (name >= tagTop_.size())
            tagTop_.resize(std::max<std::size_t>(name + 1, tagTop_.size() * 2), kNone);
        e.sameBelow = tagTop_[name];
        tagTop_[name] = position;
    }
    // The boundaries below, and this entry for the kinds it bounds (most
    // elements bound none).
    if (position > 0)
        std::copy_n(stack_[position - 1].base, kBoundaryKinds, e.base);
    else
        std::fill_n(e.base, kBoundaryKinds, kNone);
    const std::uint32_t bounds = flagsOf(n) & ((1u << kBoundaryKinds) - 1);
    if (bounds != 0)
        for (int k = 0; k < kBoundaryKinds; ++k)
            if ((bounds >> k) & 1u)
                e.base[k] = position;
    if (n >= onStack_.size())
        onStack_.resize(std::max<std::size_t>(n + 1, onStack_.size() * 2));
    onStack_[n] = true;
}

void TreeBuilder::unindex(const StackEntry &e)
{
    const NodeId n = e.node;
    if (doc_.ns(n) == Namespace::Html)
        tagTop_[doc_.name(n)] = e.sameBelow;
    onStack_[n] = false;
}

void TreeBuilder::unwindTo(std::uint32_t position)
{
    for (auto i = static_cast<std::uint32_t>(stack_.size()); i-- > position;)
        unindex(stack_[i]);
}

void TreeBuilder::rewindFrom(std::uint32_t position)
{
    for (auto i = position; i < stack_.size(); ++i)
        index(i);
}

// The stack of open elements grows in steps that the Document's limit
// allows first, the old storage and the new counted together while it
// moves. The list of active formatting elements holds a marker only for an
// open element (a cell, caption, template, applet, marquee or object) and
// at most kMaxFormattingEntries elements: it is given room with the stack,
// and so never grows apart from it.
void TreeBuilder::roomOnStack()
{
    if (stack_.size() < stack_.capacity())
        return;
    const auto bytesFor = [](std::size_t entries) {
        return entries * sizeof(StackEntry) + (entries + kMaxFormattingEntries + 1) * sizeof(NodeId);
    };
    const std::size_t now = stack_.capacity();
    const std::size_t next = std::max<std::size_t>(64, 2 * now);
    doc_.holdBeside(bytesFor(now) + bytesFor(next));
    stack_.reserve(next);
    formatting_.reserve(next + kMaxFormattingEntries + 1);
    doc_.holdBeside(bytesFor(next));
}

void TreeBuilder::push(NodeId node)
{
    roomOnStack();
    stack_.push_back(StackEntry{node, kNone, {}});
    index(static_cast<std::uint32_t>(stack_.size() - 1));
}

void TreeBuilder::pop()
{
    if (stack_.empty())
        return;
    if (!selects_.empty())
        noteClosed(stack_.back().node);
    unindex(stack_.back());
    stack_.pop_back();
}

void TreeBuilder::removeFromStack(std::uint32_t position)
{
    unwindTo(position);
    stack_.erase(stack_.begin() + position);
    rewindFrom(position);
}

void TreeBuilder::insertIntoStack(std::uint32_t position, NodeId node)
{
    roomOnStack();
    unwindTo(position);
    stack_.insert(stack_.begin() + position, StackEntry{node, kNone, {}});
    rewindFrom(position);
}

bool TreeBuilder::currentIs(NameId name) const
{
    return !stack_.empty() && doc_.isHtml(stack_.back().node, name);
}

std::uint32_t TreeBuilder::topmost(NameId name) const
{
    return name < tagTop_.size() ? tagTop_[name] : kNone;
}

std::uint32_t TreeBuilder::positionOf(NodeId node) const
{
    if (!onStack(node))
        return kNone;
    if (doc_.ns(node) == Namespace::Html) {
        for (std::uint32_t p = topmost(doc_.name(node)); p != kNone; p = stack_[p].sameBelow)
            if (stack_[p].node == node)
                return p;
        return kNone;
    }
    for (auto i = static_cast<std::uint32_t>(stack_.size()); i-- > 0;)
        if (stack_[i].node == node)
            return i;
    return kNone;
}

bool TreeBuilder::inScope(NameId name, Boundary kind) const
{
    const std::uint32_t p = topmost(name);
    if (p == kNone || stack_.empty())
        return false;
    const std::uint32_t base = stack_.back().base[kind];
    return base == kNone || p >= base;
}

bool TreeBuilder::nodeInScope(NodeId node, Boundary kind) const
{
    const std::uint32_t p = positionOf(node);
    if (p == kNone)
        return false;
    const std::uint32_t base = stack_.back().base[kind];
    return base == kNone || p >= base;
}

void TreeBuilder::popUntil(NameId name)
{
    while (!stack_.empty()) {
        const bool found = currentIs(name);
        pop();
        if (found)
            return;
    }
}

void TreeBuilder::popUntilNode(NodeId node)
{
    while (!stack_.empty()) {
        const bool found = current() == node;
        pop();
        if (found)
            return;
    }
}

void TreeBuilder::generateImpliedEndTags(NameId except)
{
    while (!stack_.empty()) {
        const NodeId n = current();
        if (doc_.ns(n) != Namespace::Html || doc_.name(n) == except || !(flagsOf(n) & kImpliedEndFlag))
            return;
        pop();
    }
}

void TreeBuilder::generateImpliedEndTagsThoroughly()
{
    while (!stack_.empty() && doc_.ns(current()) == Namespace::Html && (flagsOf(current()) & kThoroughFlag))
        pop();
}

void TreeBuilder::closeP()
{
    generateImpliedEndTags(k_p);
    popUntil(k_p);
}

void TreeBuilder::clearStackBackTo(std::initializer_list<NameId> names)
{
    while (!stack_.empty()) {
        const NodeId n = current();
        if (doc_.ns(n) == Namespace::Html && std::find(names.begin(), names.end(), doc_.name(n)) != names.end())
            return;
        pop();
    }
}

void TreeBuilder::resetInsertionMode()
{
    static constexpr NameId kModal[] = {k_td,       k_th,    k_tr,        k_tbody, k_thead, k_tfoot,    k_caption,
                                        k_colgroup, k_table, k_template_, k_head,  k_body,  k_frameset, k_html};
    std::uint32_t best = kNone;
    for (NameId name : kModal) {
        const std::uint32_t p = topmost(name);
        if (p != kNone && p >= 1 && (best == kNone || p > best))
            best = p;
    }
    NodeId node;
    bool last = false;
    if (best != kNone) {
        node = stack_[best].node;
    } else {
        last = true;
        node = context_ != kNoNode ? context_ : stack_.empty() ? kNoNode : stack_.front().node;
    }
    if (node == kNoNode || doc_.ns(node) != Namespace::Html) {
        mode_ = Mode::InBody;
        return;
    }
    const NameId name = doc_.name(node);
    if ((name == k_td || name == k_th) && !last)
        mode_ = Mode::InCell;
    else if (name == k_tr)
        mode_ = Mode::InRow;
    else if (name == k_tbody || name == k_thead || name == k_tfoot)
        mode_ = Mode::InTableBody;
    else if (name == k_caption)
        mode_ = Mode::InCaption;
    else if (name == k_colgroup)
        mode_ = Mode::InColumnGroup;
    else if (name == k_table)
        mode_ = Mode::InTable;
    else if (name == k_template_)
        mode_ = templateModes_.empty() ? Mode::InBody : templateModes_.back();
    else if (name == k_head && !last)
        mode_ = Mode::InHead;
    else if (name == k_body)
        mode_ = Mode::InBody;
    else if (name == k_frameset)
        mode_ = Mode::InFrameset;
    else if (name == k_html)
        mode_ = head_ == kNoNode ? Mode::BeforeHead : Mode::AfterHead;
    else
        mode_ = Mode::InBody;
}

// ---------------------------------------------------------------------------
// The list of active formatting elements.

std::size_t TreeBuilder::formattingIndexOf(NodeId node) const
{
    for (std::size_t i = formatting_.size(); i-- > 0;)
        if (formatting_[i] == node)
            return i;
    return kNone;
}

void TreeBuilder::removeFormatting(NodeId node)
{
    const std::size_t i = formattingIndexOf(node);
    if (i != kNone)
        formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(i));
}

bool TreeBuilder::sameAttributes(NodeId a, NodeId b) const
{
    const std::size_t count = doc_.attributeCount(a);
    if (doc_.attributeCount(b) != count)
        return false;
    bool inOrder = true;
    for (std::size_t i = 0; i < count && inOrder; ++i) {
        const AttributeView x = doc_.attribute(a, i);
        const AttributeView y = doc_.attribute(b, i);
        inOrder = x.name == y.name && x.ns == y.ns && x.value == y.value;
    }
    if (inOrder)
        return true;
    // The same set in another order: compare them sorted, O(n log n).
    using Key = std::tuple<NameId, AttributeNamespace, std::string_view>;
    std::vector<Key> left;
    std::vector<Key> right;
    for (std::size_t i = 0; i < count; ++i) {
        const AttributeView x = doc_.attribute(a, i);
        const AttributeView y = doc_.attribute(b, i);
        left.emplace_back(x.name, x.ns, x.value);
        right.emplace_back(y.name, y.ns, y.value);
    }
    std::sort(left.begin(), left.end());
    std::sort(right.begin(), right.end());
    return left == right;
}

void TreeBuilder::pushFormatting(NodeId element)
{
    // Noah's Ark: at most three equal elements after the last marker.
    std::size_t equal = 0;
    std::size_t earliest = kNone;
    for (std::size_t i = formatting_.size(); i-- > 0;) {
        const NodeId e = formatting_[i];
        if (e == kMarker)
            break;
        if (doc_.name(e) != doc_.name(element) || doc_.ns(e) != doc_.ns(element) || !sameAttributes(e, element))
            continue;
        ++equal;
        earliest = i;
    }
    if (equal >= 3)
        formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(earliest));
    formatting_.push_back(element);
    if (formatting_.size() > kMaxFormattingEntries) {
        // Drop the oldest element entry.
        for (std::size_t i = 0; i < formatting_.size(); ++i)
            if (formatting_[i] != kMarker) {
                formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
    }
}

void TreeBuilder::reconstructFormatting()
{
    if (formatting_.empty())
        return;
    std::size_t i = formatting_.size() - 1;
    if (formatting_[i] == kMarker || onStack(formatting_[i]))
        return;
    while (i > 0) {
        const NodeId e = formatting_[i - 1];
        if (e == kMarker || onStack(e))
            break;
        --i;
    }
    for (; i < formatting_.size(); ++i) {
        const NodeId clone = doc_.cloneElement(formatting_[i]);
        insertAt(appropriatePlace(), clone);
        push(clone);
        formatting_[i] = clone;
    }
}

void TreeBuilder::clearFormattingToMarker()
{
    while (!formatting_.empty()) {
        const NodeId e = formatting_.back();
        formatting_.pop_back();
        if (e == kMarker)
            return;
    }
}

// ---------------------------------------------------------------------------
// Inserting.

TreeBuilder::InsertionPlace TreeBuilder::appropriatePlace(NodeId target) const
{
    if (target == kNoNode)
        target = current();
    if (!fosterParenting_ && !doc_.isHtml(target, k_template_))
        return {target, kNoNode};
    InsertionPlace place{target, kNoNode};
    if (fosterParenting_ && doc_.ns(target) == Namespace::Html) {
        const NameId name = doc_.name(target);
        if (name == k_table || name == k_tbody || name == k_tfoot || name == k_thead || name == k_tr) {
            const std::uint32_t lastTemplate = topmost(k_template_);
            const std::uint32_t lastTable = topmost(k_table);
            if (lastTemplate != kNone && (lastTable == kNone || lastTemplate > lastTable)) {
                place = {stack_[lastTemplate].node, kNoNode};
            } else if (lastTable == kNone) {
                place = {stack_.front().node, kNoNode};
            } else {
                const NodeId table = stack_[lastTable].node;
                if (doc_.parent(table) != kNoNode)
                    place = {doc_.parent(table), table};
                else
                    place = {stack_[lastTable - 1].node, kNoNode};
            }
        }
    }
    if (doc_.isHtml(place.parent, k_template_))
        place = {doc_.templateContents(place.parent), kNoNode};
    return place;
}

void TreeBuilder::insertAt(InsertionPlace place, NodeId node)
{
    doc_.insertBefore(place.parent, node, place.before);
}

NodeId TreeBuilder::createElementFor(const Token &t, Namespace space)
{
    if (space == Namespace::Html && t.tag)
        return doc_.createElementFromTag(space, t.name, t.tag->attributes);
    attributes_.clear();
    if (t.tag) {
        for (const Attribute &a : t.tag->attributes) {
            const std::string_view name =
                space == Namespace::Svg ? adjustSvgAttributeName(a.name) : adjustMathMlAttributeName(a.name);
            attributes_.push_back(adjustForeignAttribute(name, a.value));
        }
    }
    NameId name = t.name;
    if (space == Namespace::Svg && t.tag) {
        const std::string_view adjusted = adjustSvgElementName(t.tag->name);
        if (adjusted.data() != t.tag->name.data())
            name = doc_.intern(adjusted);
    }
    return doc_.createElement(space, name, attributes_);
}

NodeId TreeBuilder::createHtmlElement(NameId name)
{
    return doc_.createElement(Namespace::Html, name, {});
}

NodeId TreeBuilder::insertHtmlElement(const Token &t)
{
    return insertForeignElement(t, Namespace::Html);
}

NodeId TreeBuilder::insertHtmlElement(NameId name)
{
    const NodeId e = createHtmlElement(name);
    insertAt(appropriatePlace(), e);
    push(e);
    return e;
}

NodeId TreeBuilder::insertForeignElement(const Token &t, Namespace space)
{
    const InsertionPlace place = appropriatePlace();
    const NodeId e = createElementFor(t, space);
    insertAt(place, e);
    push(e);
    if (space == Namespace::Html && (t.name == k_select || t.name == k_option || t.name == k_selectedcontent))
        noteInserted(e);
    return e;
}

void TreeBuilder::noteInserted(NodeId element)
{
    const NameId name = doc_.name(element);
    if (name == k_select) {
        if (!doc_.attributeValue(element, "multiple").data())
            selects_[element];
        return;
    }
    // The select the element is in: the nearest one open.
    std::uint32_t p = topmost(k_select);
    if (p == kNone)
        return;
    auto found = selects_.find(stack_[p].node);
    if (found == selects_.end())
        return;
    SelectState &state = found->second;
    if (name == k_selectedcontent) {
        if (state.selectedContent == kNoNode)
            state.selectedContent = element;
        return;
    }
    if (doc_.attributeValue(element, "selected").data() ||
        (state.selectedOption == kNoNode && !doc_.attributeValue(element, "disabled").data()))
        state.selectedOption = element;
}

void TreeBuilder::noteClosed(NodeId element)
{
    if (!doc_.isHtml(element, k_option))
        return;
    std::uint32_t p = topmost(k_select);
    if (p == kNone)
        return;
    auto found = selects_.find(stack_[p].node);
    if (found == selects_.end() || found->second.selectedOption != element || found->second.selectedContent == kNoNode)
        return;
    // The copies are made first, in a holder of their own: the
    // selectedcontent element may lie inside the option itself.
    const NodeId target = found->second.selectedContent;
    const NodeId holder = createHtmlElement(k_div);
    doc_.appendCopiesOfChildren(element, holder);
    while (doc_.firstChild(target) != kNoNode)
        doc_.detach(doc_.firstChild(target));
    doc_.moveChildren(holder, target);
}

void TreeBuilder::insertCharacters(std::string_view text)
{
    if (text.empty())
        return;
    const InsertionPlace place = appropriatePlace();
    if (doc_.kind(place.parent) == NodeKind::Document)
        return;
    doc_.insertText(place.parent, place.before, text);
}

void TreeBuilder::insertComment(std::string_view text, NodeId parent)
{
    const NodeId c = doc_.createComment(text);
    if (parent != kNoNode)
        doc_.appendChild(parent, c);
    else
        insertAt(appropriatePlace(), c);
}

void TreeBuilder::genericText(const Token &t, Tokenizer::TextState state)
{
    insertHtmlElement(t);
    setTokenizerState(state);
    originalMode_ = mode_;
    mode_ = Mode::Text;
}

bool TreeBuilder::isMathMlTextIntegrationPoint(NodeId n) const
{
    if (doc_.ns(n) != Namespace::MathMl || !doc_.isElement(n))
        return false;
    const NameId name = doc_.name(n);
    return name == k_mi || name == k_mo || name == k_mn || name == k_ms || name == k_mtext;
}

bool TreeBuilder::isHtmlIntegrationPoint(NodeId n) const
{
    if (!doc_.isElement(n))
        return false;
    if (doc_.ns(n) == Namespace::Svg) {
        const NameId name = doc_.name(n);
        return name == k_foreignObject || name == k_desc || name == k_title;
    }
    if (doc_.is(n, Namespace::MathMl, k_annotation_xml)) {
        const std::string_view encoding = doc_.attributeValue(n, "encoding");
        return EqualsNoCase(encoding, "text/html") || EqualsNoCase(encoding, "application/xhtml+xml");
    }
    return false;
}

void TreeBuilder::setFragmentContext(Namespace space, std::string_view localName)
{
    NameId name = doc_.intern(localName);
    context_ = doc_.createElement(space, name, {});
    const NodeId root = createHtmlElement(k_html);
    fragmentRoot_ = root;
    push(root);
    if (space == Namespace::Html) {
        Tokenizer::TextState state = Tokenizer::TextState::Data;
        if (name == k_title || name == k_textarea)
            state = Tokenizer::TextState::Rcdata;
        else if (name == k_style || name == k_xmp || name == k_iframe || name == k_noembed || name == k_noframes ||
                 (name == k_noscript && options_.scripting))
            state = Tokenizer::TextState::Rawtext;
        else if (name == k_script)
            state = Tokenizer::TextState::ScriptData;
        else if (name == k_plaintext)
            state = Tokenizer::TextState::Plaintext;
        // No start tag has been seen: no end tag ends the context's text.
        if (tokenizer_)
            tokenizer_->setState(state);
        if (name == k_template_)
            templateModes_.push_back(Mode::InTemplate);
    }
    resetInsertionMode();
    afterToken();
}

void TreeBuilder::quirksFromDoctype(const Doctype &d)
{
    const std::string_view pub = d.hasPublicId ? d.publicId : std::string_view();
    const std::string_view sys = d.hasSystemId ? d.systemId : std::string_view();
    bool quirks = d.forceQuirks || d.name != "html";
    if (d.hasPublicId && (EqualsNoCase(pub, "-//W3O//DTD W3 HTML Strict 3.0//EN//") ||
                          EqualsNoCase(pub, "-/W3C/DTD HTML 4.0 Transitional/EN") || EqualsNoCase(pub, "HTML")))
        quirks = true;
    if (d.hasSystemId && EqualsNoCase(sys, "http://www.ibm.com/data/dtd/v11/ibmxhtml1-transitional.dtd"))
        quirks = true;
    if (d.hasPublicId)
        for (std::string_view prefix : kQuirkyPublicPrefixes)
            quirks = quirks || startsIgnoringCase(pub, prefix);
    const bool html401 = d.hasPublicId && (startsIgnoringCase(pub, "-//W3C//DTD HTML 4.01 Frameset//") ||
                                           startsIgnoringCase(pub, "-//W3C//DTD HTML 4.01 Transitional//"));
    if (!d.hasSystemId && html401)
        quirks = true;
    if (quirks) {
        doc_.setQuirksMode(QuirksMode::Quirks);
        return;
    }
    if (d.hasPublicId &&
        (startsIgnoringCase(pub, "-//W3C//DTD XHTML 1.0 Frameset//") ||
         startsIgnoringCase(pub, "-//W3C//DTD XHTML 1.0 Transitional//") || (d.hasSystemId && html401)))
        doc_.setQuirksMode(QuirksMode::LimitedQuirks);
}

// ---------------------------------------------------------------------------
// The insertion modes before the body.

void TreeBuilder::initial(Token &t)
{
    switch (t.type) {
    case Type::Characters: {
        const std::size_t n = spacePrefix(t.text);
        t.text.remove_prefix(n);
        if (t.text.empty())
            return;
        break;
    }
    case Type::Comment: insertComment(t.text, doc_.root()); return;
    case Type::Doctype: {
        const Doctype &d = *t.doctype;
        doc_.appendChild(doc_.root(), doc_.createDoctype(d.name, d.hasPublicId ? d.publicId : std::string_view(),
                                                         d.hasSystemId ? d.systemId : std::string_view()));
        quirksFromDoctype(d);
        mode_ = Mode::BeforeHtml;
        return;
    }
    default: break;
    }
    doc_.setQuirksMode(QuirksMode::Quirks);
    mode_ = Mode::BeforeHtml;
    process(mode_, t);
}

void TreeBuilder::beforeHtml(Token &t)
{
    switch (t.type) {
    case Type::Doctype: return;
    case Type::Comment: insertComment(t.text, doc_.root()); return;
    case Type::Characters:
        t.text.remove_prefix(spacePrefix(t.text));
        if (t.text.empty())
            return;
        break;
    case Type::StartTag:
        if (t.name == k_html) {
            const NodeId html = createElementFor(t, Namespace::Html);
            doc_.appendChild(doc_.root(), html);
            push(html);
            mode_ = Mode::BeforeHead;
            return;
        }
        break;
    case Type::EndTag:
        if (t.name != k_head && t.name != k_body && t.name != k_html && t.name != k_br)
            return;
        break;
    default: break;
    }
    const NodeId html = createHtmlElement(k_html);
    doc_.appendChild(doc_.root(), html);
    push(html);
    mode_ = Mode::BeforeHead;
    process(mode_, t);
}

void TreeBuilder::beforeHead(Token &t)
{
    switch (t.type) {
    case Type::Characters:
        t.text.remove_prefix(spacePrefix(t.text));
        if (t.text.empty())
            return;
        break;
    case Type::Comment: insertComment(t.text); return;
    case Type::Doctype: return;
    case Type::StartTag:
        if (t.name == k_html) {
            inBody(t);
            return;
        }
        if (t.name == k_head) {
            head_ = insertHtmlElement(t);
            mode_ = Mode::InHead;
            return;
        }
        break;
    case Type::EndTag:
        if (t.name != k_head && t.name != k_body && t.name != k_html && t.name != k_br)
            return;
        break;
    default: break;
    }
    head_ = insertHtmlElement(k_head);
    mode_ = Mode::InHead;
    process(mode_, t);
}

void TreeBuilder::leaveForeignContent()
{
    while (!stack_.empty()) {
        const NodeId n = current();
        if (doc_.ns(n) == Namespace::Html || isMathMlTextIntegrationPoint(n) || isHtmlIntegrationPoint(n))
            break;
        pop();
    }
}

bool TreeBuilder::insertLeadingSpace(Token &t)
{
    const std::size_t n = spacePrefix(t.text);
    insertCharacters(t.text.substr(0, n));
    t.text.remove_prefix(n);
    return t.text.empty();
}

bool TreeBuilder::leadingSpaceInBody(Token &t)
{
    const std::size_t n = spacePrefix(t.text);
    if (n) {
        Token spaces{Type::Characters};
        spaces.text = t.text.substr(0, n);
        inBody(spaces);
    }
    t.text.remove_prefix(n);
    return t.text.empty();
}

void TreeBuilder::inHead(Token &t)
{
    switch (t.type) {
    case Type::Characters:
        if (insertLeadingSpace(t))
            return;
        break;
    case Type::Comment: insertComment(t.text); return;
    case Type::Doctype: return;
    case Type::StartTag: {
        const NameId name = t.name;
        if (name == k_html) {
            inBody(t);
            return;
        }
        if (name == k_base || name == k_basefont || name == k_bgsound || name == k_link || name == k_meta) {
            insertHtmlElement(t);
            pop();
            return;
        }
        if (name == k_title) {
            genericText(t, Tokenizer::TextState::Rcdata);
            return;
        }
        if ((name == k_noscript && options_.scripting) || name == k_noframes || name == k_style) {
            genericText(t, Tokenizer::TextState::Rawtext);
            return;
        }
        if (name == k_noscript) {
            insertHtmlElement(t);
            mode_ = Mode::InHeadNoscript;
            return;
        }
        if (name == k_script) {
            genericText(t, Tokenizer::TextState::ScriptData);
            return;
        }
        if (name == k_template_) {
            insertHtmlElement(t);
            formatting_.push_back(kMarker);
            framesetOk_ = false;
            mode_ = Mode::InTemplate;
            templateModes_.push_back(Mode::InTemplate);
            return;
        }
        if (name == k_head)
            return;
        break;
    }
    case Type::EndTag: {
        const NameId name = t.name;
        if (name == k_head) {
            pop();
            mode_ = Mode::AfterHead;
            return;
        }
        if (name == k_template_) {
            if (topmost(k_template_) == kNone)
                return;
            generateImpliedEndTagsThoroughly();
            popUntil(k_template_);
            clearFormattingToMarker();
            if (!templateModes_.empty())
                templateModes_.pop_back();
            resetInsertionMode();
            return;
        }
        if (name != k_body && name != k_html && name != k_br)
            return;
        break;
    }
    default: break;
    }
    pop();
    mode_ = Mode::AfterHead;
    process(mode_, t);
}

void TreeBuilder::inHeadNoscript(Token &t)
{
    switch (t.type) {
    case Type::Doctype: return;
    case Type::StartTag: {
        const NameId name = t.name;
        if (name == k_html) {
            inBody(t);
            return;
        }
        if (name == k_basefont || name == k_bgsound || name == k_link || name == k_meta || name == k_noframes ||
            name == k_style) {
            inHead(t);
            return;
        }
        if (name == k_head || name == k_noscript)
            return;
        break;
    }
    case Type::EndTag:
        if (t.name == k_noscript) {
            pop();
            mode_ = Mode::InHead;
            return;
        }
        if (t.name != k_br)
            return;
        break;
    case Type::Comment: inHead(t); return;
    case Type::Characters:
        if (insertLeadingSpace(t))
            return;
        break;
    default: break;
    }
    pop();
    mode_ = Mode::InHead;
    process(mode_, t);
}

void TreeBuilder::afterHead(Token &t)
{
    switch (t.type) {
    case Type::Characters:
        if (insertLeadingSpace(t))
            return;
        break;
    case Type::Comment: insertComment(t.text); return;
    case Type::Doctype: return;
    case Type::StartTag: {
        const NameId name = t.name;
        if (name == k_html) {
            inBody(t);
            return;
        }
        if (name == k_body) {
            insertHtmlElement(t);
            framesetOk_ = false;
            mode_ = Mode::InBody;
            return;
        }
        if (name == k_frameset) {
            insertHtmlElement(t);
            mode_ = Mode::InFrameset;
            return;
        }
        if (name == k_base || name == k_basefont || name == k_bgsound || name == k_link || name == k_meta ||
            name == k_noframes || name == k_script || name == k_style || name == k_template_ || name == k_title) {
            if (head_ == kNoNode)
                return;
            push(head_);
            inHead(t);
            const std::uint32_t p = positionOf(head_);
            if (p != kNone)
                removeFromStack(p);
            return;
        }
        if (name == k_head)
            return;
        break;
    }
    case Type::EndTag:
        if (t.name == k_template_) {
            inHead(t);
            return;
        }
        if (t.name != k_body && t.name != k_html && t.name != k_br)
            return;
        break;
    default: break;
    }
    insertHtmlElement(k_body);
    mode_ = Mode::InBody;
    process(mode_, t);
}

// ---------------------------------------------------------------------------
// In body.

void TreeBuilder::inBodyCharacters(std::string_view text)
{
    std::string cleaned;
    if (text.find('\0') != std::string_view::npos) {
        for (char c : text)
            if (c != '\0')
                cleaned += c;
        text = cleaned;
    }
    if (text.empty())
        return;
    reconstructFormatting();
    insertCharacters(text);
    if (framesetOk_ && !allSpace(text))
        framesetOk_ = false;
}

void TreeBuilder::inBody(Token &t)
{
    switch (t.type) {
    case Type::Characters: inBodyCharacters(t.text); return;
    case Type::Comment: insertComment(t.text); return;
    case Type::Doctype: return;
    case Type::StartTag: inBodyStartTag(t); return;
    case Type::EndTag: inBodyEndTag(t); return;
    case Type::EndOfFile:
        if (!templateModes_.empty())
            inTemplate(t);
        return;
    }
}

void TreeBuilder::inBodyStartTag(Token &t)
{
    const NameId name = t.name;
    const std::uint32_t flags = nameFlags(name);
    if (name == k_html) {
        if (topmost(k_template_) != kNone)
            return;
        attributes_.clear();
        for (const Attribute &a : t.tag->attributes)
            attributes_.push_back({AttributeNamespace::None, a.name, a.value});
        doc_.addMissingAttributes(stack_.front().node, attributes_);
        return;
    }
    if (name == k_base || name == k_basefont || name == k_bgsound || name == k_link || name == k_meta ||
        name == k_noframes || name == k_script || name == k_style || name == k_template_ || name == k_title) {
        inHead(t);
        return;
    }
    if (name == k_body) {
        if (stack_.size() == 1 || !doc_.isHtml(stack_[1].node, k_body) || topmost(k_template_) != kNone)
            return;
        framesetOk_ = false;
        attributes_.clear();
        for (const Attribute &a : t.tag->attributes)
            attributes_.push_back({AttributeNamespace::None, a.name, a.value});
        doc_.addMissingAttributes(stack_[1].node, attributes_);
        return;
    }
    if (name == k_frameset) {
        if (stack_.size() == 1 || !doc_.isHtml(stack_[1].node, k_body) || !framesetOk_)
            return;
        doc_.detach(stack_[1].node);
        while (stack_.size() > 1)
            pop();
        insertHtmlElement(t);
        mode_ = Mode::InFrameset;
        return;
    }
    if (flags & kClosesPFlag) {
        if (inScope(k_p, Button))
            closeP();
        insertHtmlElement(t);
        return;
    }
    if (flags & kHeadingFlag) {
        if (inScope(k_p, Button))
            closeP();
        if (flagsOf(current()) & kHeadingFlag)
            pop();
        insertHtmlElement(t);
        return;
    }
    if (name == k_pre || name == k_listing) {
        if (inScope(k_p, Button))
            closeP();
        insertHtmlElement(t);
        skipNewline_ = true;
        framesetOk_ = false;
        return;
    }
    if (name == k_form) {
        const bool templateOpen = topmost(k_template_) != kNone;
        if (form_ != kNoNode && !templateOpen)
            return;
        if (inScope(k_p, Button))
            closeP();
        const NodeId e = insertHtmlElement(t);
        if (!templateOpen)
            form_ = e;
        return;
    }
    if (name == k_li || name == k_dd || name == k_dt) {
        framesetOk_ = false;
        const std::uint32_t stop = stack_.back().base[SpecialListStop];
        if (stop != kNone) {
            const NodeId node = stack_[stop].node;
            const NameId found = doc_.ns(node) == Namespace::Html ? doc_.name(node) : kNoNode;
            const bool match = name == k_li ? found == k_li : (found == k_dd || found == k_dt);
            if (match) {
                generateImpliedEndTags(found);
                popUntil(found);
            }
        }
        if (inScope(k_p, Button))
            closeP();
        insertHtmlElement(t);
        return;
    }
    if (name == k_plaintext) {
        if (inScope(k_p, Button))
            closeP();
        insertHtmlElement(t);
        setTokenizerState(Tokenizer::TextState::Plaintext);
        return;
    }
    if (name == k_button) {
        if (inScope(k_button)) {
            generateImpliedEndTags();
            popUntil(k_button);
        }
        reconstructFormatting();
        insertHtmlElement(t);
        framesetOk_ = false;
        return;
    }
    if (name == k_a) {
        for (std::size_t i = formatting_.size(); i-- > 0;) {
            const NodeId e = formatting_[i];
            if (e == kMarker)
                break;
            if (doc_.isHtml(e, k_a)) {
                if (!adoptionAgency(k_a))
                    inBodyOtherEndTag(k_a);
                removeFormatting(e);
                const std::uint32_t p = positionOf(e);
                if (p != kNone)
                    removeFromStack(p);
                break;
            }
        }
        reconstructFormatting();
        pushFormatting(insertHtmlElement(t));
        return;
    }
    if ((flags & kFormattingFlag) && name != k_nobr) {
        reconstructFormatting();
        pushFormatting(insertHtmlElement(t));
        return;
    }
    if (name == k_nobr) {
        reconstructFormatting();
        if (inScope(k_nobr)) {
            if (!adoptionAgency(k_nobr))
                inBodyOtherEndTag(k_nobr);
            reconstructFormatting();
        }
        pushFormatting(insertHtmlElement(t));
        return;
    }
    if (name == k_applet || name == k_marquee || name == k_object) {
        reconstructFormatting();
        insertHtmlElement(t);
        formatting_.push_back(kMarker);
        framesetOk_ = false;
        return;
    }
    if (name == k_table) {
        if (doc_.quirksMode() != QuirksMode::Quirks && inScope(k_p, Button))
            closeP();
        insertHtmlElement(t);
        framesetOk_ = false;
        mode_ = Mode::InTable;
        return;
    }
    if (name == k_area || name == k_br || name == k_embed || name == k_img || name == k_keygen || name == k_wbr) {
        reconstructFormatting();
        insertHtmlElement(t);
        pop();
        framesetOk_ = false;
        return;
    }
    if (name == k_input) {
        if (context_ != kNoNode && doc_.isHtml(context_, k_select))
            return;
        if (inScope(k_select)) {
            popUntil(k_select);
        }
        reconstructFormatting();
        insertHtmlElement(t);
        pop();
        if (!EqualsNoCase(t.tag->attribute("type"), "hidden"))
            framesetOk_ = false;
        return;
    }
    if (name == k_param || name == k_source || name == k_track) {
        insertHtmlElement(t);
        pop();
        return;
    }
    if (name == k_hr) {
        if (inScope(k_p, Button))
            closeP();
        if (inScope(k_select)) {
            generateImpliedEndTags();
        }
        insertHtmlElement(t);
        pop();
        framesetOk_ = false;
        return;
    }
    if (name == k_image) {
        t.name = k_img;
        inBodyStartTag(t);
        return;
    }
    if (name == k_textarea) {
        insertHtmlElement(t);
        skipNewline_ = true;
        setTokenizerState(Tokenizer::TextState::Rcdata);
        originalMode_ = mode_;
        framesetOk_ = false;
        mode_ = Mode::Text;
        return;
    }
    if (name == k_xmp) {
        if (inScope(k_p, Button))
            closeP();
        reconstructFormatting();
        framesetOk_ = false;
        genericText(t, Tokenizer::TextState::Rawtext);
        return;
    }
    if (name == k_iframe) {
        framesetOk_ = false;
        genericText(t, Tokenizer::TextState::Rawtext);
        return;
    }
    if (name == k_noembed || (name == k_noscript && options_.scripting)) {
        genericText(t, Tokenizer::TextState::Rawtext);
        return;
    }
    if (name == k_select) {
        if (context_ != kNoNode && doc_.isHtml(context_, k_select))
            return;
        if (inScope(k_select)) {
            popUntil(k_select);
            return;
        }
        reconstructFormatting();
        insertHtmlElement(t);
        framesetOk_ = false;
        return;
    }
    if (name == k_option) {
        if (inScope(k_select)) {
            generateImpliedEndTags(k_optgroup);
        } else if (currentIs(k_option)) {
            pop();
        }
        reconstructFormatting();
        insertHtmlElement(t);
        return;
    }
    if (name == k_optgroup) {
        if (inScope(k_select)) {
            generateImpliedEndTags();
        } else if (currentIs(k_option)) {
            pop();
        }
        reconstructFormatting();
        insertHtmlElement(t);
        return;
    }
    if (name == k_rb || name == k_rtc) {
        if (inScope(k_ruby))
            generateImpliedEndTags();
        insertHtmlElement(t);
        return;
    }
    if (name == k_rp || name == k_rt) {
        if (inScope(k_ruby))
            generateImpliedEndTags(k_rtc);
        insertHtmlElement(t);
        return;
    }
    if (name == k_math || name == k_svg) {
        reconstructFormatting();
        insertForeignElement(t, name == k_math ? Namespace::MathMl : Namespace::Svg);
        if (t.selfClosing())
            pop();
        return;
    }
    if (flags & kIgnoredInBodyFlag)
        return;
    reconstructFormatting();
    insertHtmlElement(t);
}

void TreeBuilder::inBodyOtherEndTag(NameId name)
{
    if (name == kNoNode || stack_.empty())
        return;
    const std::uint32_t p = topmost(name);
    const std::uint32_t special = stack_.back().base[Special];
    if (p == kNone || (special != kNone && p < special))
        return;
    generateImpliedEndTags(name);
    while (stack_.size() > p)
        pop();
}

void TreeBuilder::inBodyEndTag(Token &t)
{
    const NameId name = t.name;
    const std::uint32_t flags = nameFlags(name);
    if (name == k_template_) {
        inHead(t);
        return;
    }
    if (name == k_body) {
        if (!inScope(k_body))
            return;
        mode_ = Mode::AfterBody;
        return;
    }
    if (name == k_html) {
        if (!inScope(k_body))
            return;
        mode_ = Mode::AfterBody;
        process(mode_, t);
        return;
    }
    if (flags & kBlockEndFlag) {
        if (!inScope(name))
            return;
        generateImpliedEndTags();
        popUntil(name);
        return;
    }
    if (name == k_form) {
        if (topmost(k_template_) == kNone) {
            const NodeId node = form_;
            form_ = kNoNode;
            if (node == kNoNode || !nodeInScope(node))
                return;
            generateImpliedEndTags();
            const std::uint32_t p = positionOf(node);
            if (p != kNone)
                removeFromStack(p);
            return;
        }
        if (!inScope(k_form))
            return;
        generateImpliedEndTags();
        popUntil(k_form);
        return;
    }
    if (name == k_p) {
        if (!inScope(k_p, Button))
            insertHtmlElement(k_p);
        closeP();
        return;
    }
    if (name == k_li) {
        if (!inScope(k_li, ListItem))
            return;
        generateImpliedEndTags(k_li);
        popUntil(k_li);
        return;
    }
    if (name == k_dd || name == k_dt) {
        if (!inScope(name))
            return;
        generateImpliedEndTags(name);
        popUntil(name);
        return;
    }
    if (flags & kHeadingFlag) {
        bool any = false;
        for (NameId h : kHeadings)
            any = any || inScope(h);
        if (!any)
            return;
        generateImpliedEndTags();
        while (!stack_.empty()) {
            const NodeId n = current();
            const bool heading = (flagsOf(n) & kHeadingFlag) != 0;
            pop();
            if (heading)
                return;
        }
        return;
    }
    if (flags & kFormattingFlag) {
        if (!adoptionAgency(name))
            inBodyOtherEndTag(name);
        return;
    }
    if (name == k_applet || name == k_marquee || name == k_object) {
        if (!inScope(name))
            return;
        generateImpliedEndTags();
        popUntil(name);
        clearFormattingToMarker();
        return;
    }
    if (name == k_br) {
        reconstructFormatting();
        insertHtmlElement(k_br);
        pop();
        framesetOk_ = false;
        return;
    }
    inBodyOtherEndTag(name);
}

// ---------------------------------------------------------------------------
// Text, tables, templates, framesets, the end.

void TreeBuilder::text(Token &t)
{
    switch (t.type) {
    case Type::Characters: insertCharacters(t.text); return;
    case Type::EndOfFile:
        pop();
        mode_ = originalMode_;
        process(mode_, t);
        return;
    case Type::EndTag:
        pop();
        mode_ = originalMode_;
        return;
    default: return;
    }
}

void TreeBuilder::inTableAnythingElse(Token &t)
{
    fosterParenting_ = true;
    inBody(t);
    fosterParenting_ = false;
}

void TreeBuilder::inTable(Token &t)
{
    switch (t.type) {
    case Type::Characters: {
        const NodeId n = current();
        if (doc_.ns(n) == Namespace::Html &&
            (doc_.name(n) == k_table || doc_.name(n) == k_tbody || doc_.name(n) == k_template_ ||
             doc_.name(n) == k_tfoot || doc_.name(n) == k_thead || doc_.name(n) == k_tr)) {
            pendingTableText_.clear();
            pendingNonSpace_ = false;
            originalMode_ = mode_;
            mode_ = Mode::InTableText;
            process(mode_, t);
            return;
        }
        inTableAnythingElse(t);
        return;
    }
    case Type::Comment: insertComment(t.text); return;
    case Type::Doctype: return;
    case Type::StartTag: {
        const NameId name = t.name;
        if (name == k_caption) {
            clearStackBackTo({k_table, k_template_, k_html});
            formatting_.push_back(kMarker);
            insertHtmlElement(t);
            mode_ = Mode::InCaption;
            return;
        }
        if (name == k_colgroup) {
            clearStackBackTo({k_table, k_template_, k_html});
            insertHtmlElement(t);
            mode_ = Mode::InColumnGroup;
            return;
        }
        if (name == k_col) {
            clearStackBackTo({k_table, k_template_, k_html});
            insertHtmlElement(k_colgroup);
            mode_ = Mode::InColumnGroup;
            process(mode_, t);
            return;
        }
        if (name == k_tbody || name == k_tfoot || name == k_thead) {
            clearStackBackTo({k_table, k_template_, k_html});
            insertHtmlElement(t);
            mode_ = Mode::InTableBody;
            return;
        }
        if (name == k_td || name == k_th || name == k_tr) {
            clearStackBackTo({k_table, k_template_, k_html});
            insertHtmlElement(k_tbody);
            mode_ = Mode::InTableBody;
            process(mode_, t);
            return;
        }
        if (name == k_table) {
            if (!inScope(k_table, TableScope))
                return;
            popUntil(k_table);
            resetInsertionMode();
            process(mode_, t);
            return;
        }
        if (name == k_style || name == k_script || name == k_template_) {
            inHead(t);
            return;
        }
        if (name == k_input && EqualsNoCase(t.tag->attribute("type"), "hidden")) {
            insertHtmlElement(t);
            pop();
            return;
        }
        if (name == k_form) {
            if (topmost(k_template_) != kNone || form_ != kNoNode)
                return;
            form_ = insertHtmlElement(t);
            pop();
            return;
        }
        break;
    }
    case Type::EndTag: {
        const NameId name = t.name;
        if (name == k_table) {
            if (!inScope(k_table, TableScope))
                return;
            popUntil(k_table);
            resetInsertionMode();
            return;
        }
        if (name == k_body || name == k_caption || name == k_col || name == k_colgroup || name == k_html ||
            name == k_tbody || name == k_td || name == k_tfoot || name == k_th || name == k_thead || name == k_tr)
            return;
        if (name == k_template_) {
            inHead(t);
            return;
        }
        break;
    }
    case Type::EndOfFile: inBody(t); return;
    }
    inTableAnythingElse(t);
}

void TreeBuilder::inTableText(Token &t)
{
    if (t.type == Type::Characters) {
        for (char c : t.text) {
            if (c == '\0')
                continue;
            pendingTableText_ += c;
            pendingNonSpace_ = pendingNonSpace_ || !isSpace(c);
        }
        return;
    }
    if (!pendingTableText_.empty()) {
        const std::string pending = std::move(pendingTableText_);
        pendingTableText_.clear();
        if (pendingNonSpace_) {
            Token chars{Type::Characters};
            chars.text = pending;
            inTableAnythingElse(chars);
        } else {
            insertCharacters(pending);
        }
    }
    pendingNonSpace_ = false;
    mode_ = originalMode_;
    process(mode_, t);
}

void TreeBuilder::inCaption(Token &t)
{
    const NameId name = t.name;
    const bool closes = (t.type == Type::StartTag &&
                         (name == k_caption || name == k_col || name == k_colgroup || name == k_tbody || name == k_td ||
                          name == k_tfoot || name == k_th || name == k_thead || name == k_tr)) ||
                        (t.type == Type::EndTag && (name == k_table || name == k_caption));
    if (closes) {
        if (!inScope(k_caption, TableScope))
            return;
        generateImpliedEndTags();
        popUntil(k_caption);
        clearFormattingToMarker();
        mode_ = Mode::InTable;
        if (!(t.type == Type::EndTag && name == k_caption))
            process(mode_, t);
        return;
    }
    if (t.type == Type::EndTag &&
        (name == k_body || name == k_col || name == k_colgroup || name == k_html || name == k_tbody || name == k_td ||
         name == k_tfoot || name == k_th || name == k_thead || name == k_tr))
        return;
    inBody(t);
}

void TreeBuilder::inColumnGroup(Token &t)
{
    switch (t.type) {
    case Type::Characters:
        if (insertLeadingSpace(t))
            return;
        break;
    case Type::Comment: insertComment(t.text); return;
    case Type::Doctype: return;
    case Type::StartTag:
        if (t.name == k_html) {
            inBody(t);
            return;
        }
        if (t.name == k_col) {
            insertHtmlElement(t);
            pop();
            return;
        }
        if (t.name == k_template_) {
            inHead(t);
            return;
        }
        break;
    case Type::EndTag:
        if (t.name == k_colgroup) {
            if (!currentIs(k_colgroup))
                return;
            pop();
            mode_ = Mode::InTable;
            return;
        }
        if (t.name == k_col)
            return;
        if (t.name == k_template_) {
            inHead(t);
            return;
        }
        break;
    case Type::EndOfFile: inBody(t); return;
    }
    if (!currentIs(k_colgroup)) {
        // Each character is a token of its own: the white space among the
        // ignored ones is still inserted.
        if (t.type == Type::Characters)
            insertCharacters(onlySpaces(t.text));
        return;
    }
    pop();
    mode_ = Mode::InTable;
    process(mode_, t);
}

void TreeBuilder::inTableBody(Token &t)
{
    const NameId name = t.name;
    if (t.type == Type::StartTag && name == k_tr) {
        clearStackBackTo({k_tbody, k_tfoot, k_thead, k_template_, k_html});
        insertHtmlElement(t);
        mode_ = Mode::InRow;
        return;
    }
    if (t.type == Type::StartTag && (name == k_th || name == k_td)) {
        clearStackBackTo({k_tbody, k_tfoot, k_thead, k_template_, k_html});
        insertHtmlElement(k_tr);
        mode_ = Mode::InRow;
        process(mode_, t);
        return;
    }
    if (t.type == Type::EndTag && (name == k_tbody || name == k_tfoot || name == k_thead)) {
        if (!inScope(name, TableScope))
            return;
        clearStackBackTo({k_tbody, k_tfoot, k_thead, k_template_, k_html});
        pop();
        mode_ = Mode::InTable;
        return;
    }
    if ((t.type == Type::StartTag && (name == k_caption || name == k_col || name == k_colgroup || name == k_tbody ||
                                      name == k_tfoot || name == k_thead)) ||
        (t.type == Type::EndTag && name == k_table)) {
        if (!inScope(k_tbody, TableScope) && !inScope(k_thead, TableScope) && !inScope(k_tfoot, TableScope))
            return;
        clearStackBackTo({k_tbody, k_tfoot, k_thead, k_template_, k_html});
        pop();
        mode_ = Mode::InTable;
        process(mode_, t);
        return;
    }
    if (t.type == Type::EndTag && (name == k_body || name == k_caption || name == k_col || name == k_colgroup ||
                                   name == k_html || name == k_td || name == k_th || name == k_tr))
        return;
    inTable(t);
}

void TreeBuilder::inRow(Token &t)
{
    const NameId name = t.name;
    if (t.type == Type::StartTag && (name == k_th || name == k_td)) {
        clearStackBackTo({k_tr, k_template_, k_html});
        insertHtmlElement(t);
        mode_ = Mode::InCell;
        formatting_.push_back(kMarker);
        return;
    }
    if (t.type == Type::EndTag && name == k_tr) {
        if (!inScope(k_tr, TableScope))
            return;
        clearStackBackTo({k_tr, k_template_, k_html});
        pop();
        mode_ = Mode::InTableBody;
        return;
    }
    if ((t.type == Type::StartTag && (name == k_caption || name == k_col || name == k_colgroup || name == k_tbody ||
                                      name == k_tfoot || name == k_thead || name == k_tr)) ||
        (t.type == Type::EndTag && name == k_table)) {
        if (!inScope(k_tr, TableScope))
            return;
        clearStackBackTo({k_tr, k_template_, k_html});
        pop();
        mode_ = Mode::InTableBody;
        process(mode_, t);
        return;
    }
    if (t.type == Type::EndTag && (name == k_tbody || name == k_tfoot || name == k_thead)) {
        if (!inScope(name, TableScope) || !inScope(k_tr, TableScope))
            return;
        clearStackBackTo({k_tr, k_template_, k_html});
        pop();
        mode_ = Mode::InTableBody;
        process(mode_, t);
        return;
    }
    if (t.type == Type::EndTag && (name == k_body || name == k_caption || name == k_col || name == k_colgroup ||
                                   name == k_html || name == k_td || name == k_th))
        return;
    inTable(t);
}

void TreeBuilder::closeCell()
{
    generateImpliedEndTags();
    while (!stack_.empty()) {
        const bool cell = currentIs(k_td) || currentIs(k_th);
        pop();
        if (cell)
            break;
    }
    clearFormattingToMarker();
    mode_ = Mode::InRow;
}

void TreeBuilder::inCell(Token &t)
{
    const NameId name = t.name;
    if (t.type == Type::EndTag && (name == k_td || name == k_th)) {
        if (!inScope(name, TableScope))
            return;
        generateImpliedEndTags();
        popUntil(name);
        clearFormattingToMarker();
        mode_ = Mode::InRow;
        return;
    }
    if (t.type == Type::StartTag &&
        (name == k_caption || name == k_col || name == k_colgroup || name == k_tbody || name == k_td ||
         name == k_tfoot || name == k_th || name == k_thead || name == k_tr)) {
        if (!inScope(k_td, TableScope) && !inScope(k_th, TableScope))
            return;
        closeCell();
        process(mode_, t);
        return;
    }
    if (t.type == Type::EndTag &&
        (name == k_body || name == k_caption || name == k_col || name == k_colgroup || name == k_html))
        return;
    if (t.type == Type::EndTag &&
        (name == k_table || name == k_tbody || name == k_tfoot || name == k_thead || name == k_tr)) {
        if (!inScope(name, TableScope))
            return;
        closeCell();
        process(mode_, t);
        return;
    }
    inBody(t);
}

void TreeBuilder::inTemplate(Token &t)
{
    switch (t.type) {
    case Type::Characters:
    case Type::Comment:
    case Type::Doctype: inBody(t); return;
    case Type::StartTag: {
        const NameId name = t.name;
        if (name == k_base || name == k_basefont || name == k_bgsound || name == k_link || name == k_meta ||
            name == k_noframes || name == k_script || name == k_style || name == k_template_ || name == k_title) {
            inHead(t);
            return;
        }
        Mode next = Mode::InBody;
        if (name == k_caption || name == k_colgroup || name == k_tbody || name == k_tfoot || name == k_thead)
            next = Mode::InTable;
        else if (name == k_col)
            next = Mode::InColumnGroup;
        else if (name == k_tr)
            next = Mode::InTableBody;
        else if (name == k_td || name == k_th)
            next = Mode::InRow;
        if (!templateModes_.empty())
            templateModes_.pop_back();
        templateModes_.push_back(next);
        mode_ = next;
        process(mode_, t);
        return;
    }
    case Type::EndTag:
        if (t.name == k_template_)
            inHead(t);
        return;
    case Type::EndOfFile:
        if (topmost(k_template_) == kNone)
            return;
        popUntil(k_template_);
        clearFormattingToMarker();
        if (!templateModes_.empty())
            templateModes_.pop_back();
        resetInsertionMode();
        process(mode_, t);
        return;
    }
}

void TreeBuilder::afterBody(Token &t)
{
    switch (t.type) {
    case Type::Characters:
        if (leadingSpaceInBody(t))
            return;
        break;
    case Type::Comment: insertComment(t.text, stack_.front().node); return;
    case Type::Doctype: return;
    case Type::StartTag:
        if (t.name == k_html) {
            inBody(t);
            return;
        }
        break;
    case Type::EndTag:
        if (t.name == k_html) {
            if (context_ == kNoNode)
                mode_ = Mode::AfterAfterBody;
            return;
        }
        break;
    case Type::EndOfFile: return;
    }
    mode_ = Mode::InBody;
    process(mode_, t);
}

void TreeBuilder::inFrameset(Token &t)
{
    switch (t.type) {
    case Type::Characters: insertCharacters(onlySpaces(t.text)); return;
    case Type::Comment: insertComment(t.text); return;
    case Type::Doctype: return;
    case Type::StartTag:
        if (t.name == k_html)
            inBody(t);
        else if (t.name == k_frameset)
            insertHtmlElement(t);
        else if (t.name == k_frame) {
            insertHtmlElement(t);
            pop();
        } else if (t.name == k_noframes)
            inHead(t);
        return;
    case Type::EndTag:
        if (t.name == k_frameset) {
            if (stack_.size() == 1)
                return;
            pop();
            if (context_ == kNoNode && !currentIs(k_frameset))
                mode_ = Mode::AfterFrameset;
        }
        return;
    case Type::EndOfFile: return;
    }
}

void TreeBuilder::afterFrameset(Token &t)
{
    switch (t.type) {
    case Type::Characters: insertCharacters(onlySpaces(t.text)); return;
    case Type::Comment: insertComment(t.text); return;
    case Type::StartTag:
        if (t.name == k_html)
            inBody(t);
        else if (t.name == k_noframes)
            inHead(t);
        return;
    case Type::EndTag:
        if (t.name == k_html)
            mode_ = Mode::AfterAfterFrameset;
        return;
    default: return;
    }
}

void TreeBuilder::afterAfterBody(Token &t)
{
    switch (t.type) {
    case Type::Comment: insertComment(t.text, doc_.root()); return;
    case Type::Doctype: inBody(t); return;
    case Type::Characters:
        if (leadingSpaceInBody(t))
            return;
        break;
    case Type::StartTag:
        if (t.name == k_html) {
            inBody(t);
            return;
        }
        break;
    case Type::EndOfFile: return;
    default: break;
    }
    mode_ = Mode::InBody;
    process(mode_, t);
}

void TreeBuilder::afterAfterFrameset(Token &t)
{
    switch (t.type) {
    case Type::Comment: insertComment(t.text, doc_.root()); return;
    case Type::Doctype: inBody(t); return;
    case Type::Characters: {
        const std::string spaces = onlySpaces(t.text);
        if (!spaces.empty()) {
            Token s{Type::Characters};
            s.text = spaces;
            inBody(s);
        }
        return;
    }
    case Type::StartTag:
        if (t.name == k_html)
            inBody(t);
        else if (t.name == k_noframes)
            inHead(t);
        return;
    default: return;
    }
}

// ---------------------------------------------------------------------------
// Foreign content.

void TreeBuilder::foreignContent(Token &t)
{
    switch (t.type) {
    case Type::Characters: {
        std::string replaced;
        std::string_view text = t.text;
        if (text.find('\0') != std::string_view::npos) {
            for (char c : text) {
                if (c == '\0')
                    replaced += "\xEF\xBF\xBD";
                else
                    replaced += c;
            }
            text = replaced;
        }
        insertCharacters(text);
        for (char c : t.text)
            if (!isSpace(c) && c != '\0') {
                framesetOk_ = false;
                break;
            }
        return;
    }
    case Type::Comment: insertComment(t.text); return;
    case Type::Doctype: return;
    case Type::StartTag: {
        const NameId name = t.name;
        bool breakout = name < kKnownNameCount && (kFlags.html[name] & kBreakoutFlag);
        if (name == k_font)
            breakout = t.tag->hasAttribute("color") || t.tag->hasAttribute("face") || t.tag->hasAttribute("size");
        if (breakout) {
            leaveForeignContent();
            process(mode_, t);
            return;
        }
        const Namespace space = doc_.ns(adjustedCurrent());
        insertForeignElement(t, space);
        if (t.selfClosing())
            pop();
        return;
    }
    case Type::EndTag: {
        if (t.name == k_br || t.name == k_p) {
            leaveForeignContent();
            process(mode_, t);
            return;
        }
        const std::string_view name = t.tag->name;
        auto i = static_cast<std::uint32_t>(stack_.size() - 1);
        for (std::size_t walked = 0; walked < kMaxForeignWalk; ++walked) {
            if (i == 0)
                return;
            const NodeId node = stack_[i].node;
            if (EqualsNoCase(doc_.localName(node), name)) {
                while (stack_.size() > i)
                    pop();
                return;
            }
            --i;
            if (doc_.ns(stack_[i].node) == Namespace::Html) {
                process(mode_, t);
                return;
            }
        }
        return;
    }
    case Type::EndOfFile: process(mode_, t); return;
    }
}

} // namespace quillan::html
