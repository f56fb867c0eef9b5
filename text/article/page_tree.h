#pragma once
// The page as the article extractor keeps it: its tokens in one compact
// byte stream, and a light tree of the elements the scoring looks at, with
// each one's own counts (text, link text, commas, ...): eight bytes a node
// that has only a few characters of text, and an entry apart for the others.
//
// Its tokens come from a walk of the Standard's tree (text/article/document_walk.h:
// well formed, so the rules below find nothing to mend and the structure is
// the tree builder's), or, for a page past that tree's memory limit, from
// the tokenizer, whose state it then switches as the renderer would. From a
// walk, the tree may keep no stream (Keeping::Nodes): the nodes are then
// made as their start tags come, each knowing its Document node, the
// stream's size is counted all the same (for the memory bound's measures),
// and the chosen tokens are walked from the Document again; where the rules
// below would close an element the walk has not closed, the tree says it
// departed.
//
// The tree follows the tree builder's common rules only: implied ends of p
// (by the elements that close it, in button scope), li, dd, dt, option, table
// cells, rows and row groups and of a heading by a heading; end tags close
// the nearest open element of their name (a stray one is ignored); html,
// head and body each make one node, and content that cannot stay in head
// ends it. Elements nested deeper than kMaxDepth become part of their
// parent. Text is measured in characters (code points that are not white
// space) at the element that holds it; text of script, style, title,
// template and of hidden elements (hidden attribute, dialog without open,
// display: none or visibility: hidden in a style attribute or a simple
// rule, see text/readable/style_sheet.h) counts for nothing; nor does what a
// details element without open folds away, as the renderer hides it: its
// text and its children but summary ones.
//
// Nodes: every element that lays out as a block (blocks, cells, rows, row
// groups, tables, lists and items), links, headings, hidden and silent
// elements, form controls, embeds, style and base, and elements whose names
// or role say boilerplate. Any other (inline) element gets a node only when
// a block opens inside it; else it is part of the nearest node around it:
// its text, and its img elements, count there, and it counts as one of that
// node's otherChildren (a br as one of its breaks) when that node is its
// parent. A node inside such an element is `wrapped`: its parent in the page
// has no node.
//
// The stream: each token is one record, a kind byte (with the flags of a
// start tag: node, pushed on the stack, self-closing, attributes, hidden)
// and then varint-prefixed fields; a known element's name is one byte (its
// Element), any other name and all texts and attribute values stand in the
// stream itself. Records of elements leaving the stack (with the measures of
// a node) lie between the tokens, so a reader rebuilds the stack, and so
// each token's node, without the tree builder's rules. Consecutive texts of
// one element are one record. The stream holds less than 4 GiB (else
// std::length_error).

#include "html/tokenizer/token_sink.h"
#include "text/article/renderer_names.h"
#include "text/readable/style_sheet.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillan::text::article {

constexpr std::uint32_t kNoNode = UINT32_MAX;

// A node's counts of its own: text in characters (code points that are
// not white space), link text (characters inside a with href, not across a
// cell), commas, img elements without a node of their own, child elements
// without a node (br ones also as breaks).
struct NodeCounts {
    std::uint32_t text = 0, linkText = 0, commas = 0;
    std::uint32_t images = 0, otherChildren = 0, breaks = 0;
};

// Eight bytes a node: most nodes of a dense page have only a few characters
// of their own and no other count, and keep them here; the others are
// `counted`: sixteen bytes more for an entry of narrow counts, and the full
// ones apart when they do not fit.
struct PageNode {
    static constexpr std::uint8_t kFewMax = 255; // the most own text `few` holds
    std::uint32_t parent = kNoNode;
    std::int8_t classWeight = 0; // the names' hint (-50 to +75): + for content, - for boilerplate
    Element element{};
    std::uint8_t few = 0;         // its own text when it is not counted
    bool unlikely : 1 = false;    // the names or the role say boilerplate
    bool silent : 1 = false;      // its text is never shown
    bool sentenceEnd : 1 = false; // its own text ends a sentence somewhere
    bool wrapped : 1 = false;     // its parent element has no node
    bool counted : 1 = false;     // its counts have an entry in the tree
    bool block : 1 = false;       // a block, cell, table, list or item (no row or row group)
    bool heading : 1 = false;     // h1 to h6
    bool inPage : 1 = false;      // a link to a place in the page itself (its href starts with #)
};

// A heading: its node, and where its text starts in the texts of all.
struct PageHeading {
    std::uint32_t node;
    std::uint32_t at;
};

enum class TokenKind : std::uint8_t { Start, End, Text };

// How the tree keeps the page while it comes.
enum class Keeping : std::uint8_t {
    Stream, // its tokens in the stream; the nodes are built from it at the end
    Nodes,  // the nodes as their start tags come, no stream: the tokens come
            // from a walk of a Document (startTagOf(), endTagOf()), which
            // is read again for the chosen tokens
};

// Where a replayed token belongs: `node` holds it; `own` says the token is
// the node's own (its start or end tag, or text right inside it) rather
// than one of an element without a node inside it.
struct TokenPlace {
    TokenKind kind;
    std::uint32_t node;
    bool own;
};

class PageTree final : public html::TokenSink {
public:
    static constexpr std::size_t kMaxDepth = 512;
    // The headings kept for the title (a page with more is no article).
    static constexpr std::size_t kMaxHeadings = 4096;

    // `tokenizer` (may be null) is switched as the renderer would switch it.
    explicit PageTree(TokenizerSwitch *tokenizer);
    // Before the first token: room for the stream of a page of `pageBytes`
    // bytes (a walk of its tree keeps fewer), taken at once rather than
    // grown piece by piece: the capacity growing would come to, touched
    // only as it is written.
    void reserve(std::size_t pageBytes);

    // Whether an element of the renderer's `flags` lays out as a block, and
    // so gives the inline elements around it nodes.
    static bool opensBlock(std::uint32_t flags);

    // Before the first token: how the page is kept (Keeping::Stream unless
    // told).
    void keep(Keeping keeping);

    void characters(std::string_view utf8) override;
    void startTag(const html::Tag &tag) override;
    void endTag(const html::Tag &tag) override;
    // The tags of a walk of a Document, with Keeping::Nodes: `source` is
    // the Document's node the tag comes from; `holdsBlock` says an element
    // that lays out as a block (outside SVG and MathML) is inside it, so
    // that an inline element gets the node such a block would give it
    // later, in its place in node order.
    void startTagOf(const html::Tag &tag, std::uint32_t source, bool holdsBlock);
    void endTagOf(const html::Tag &tag, std::uint32_t source);
    // Whether the light tree's rules made a structure other than the walk's
    // (an implied end, a depth cut, head ended by its content, an element
    // left open): the nodes are then not the ones the stream would give,
    // and the page is to be read as a stream instead.
    bool departed() const { return departed_; }
    // With Keeping::Nodes, after endOfFile(): each node's Document node
    // (the document's: 0), in node order.
    const std::vector<std::uint32_t> &sources() const { return sources_; }
    // The page has ended: builds the nodes. Nothing may be fed afterwards.
    // (endOfStream() and then build().)
    void endOfFile() override;
    // The page has ended: the stream is complete, and can be replayed.
    void endOfStream();
    // After endOfStream(): the most bytes the tree holds once built
    // (bytesInUse()), but for the full counts of a node whose counts pass
    // what an entry holds (65535 commas or link characters, 255 images or
    // elements).
    std::size_t mostBytesBuilt() const;
    // After endOfStream(): builds the nodes.
    void build();

    // After endOfFile(). Node 0 is the document; nodes come in document
    // order, a parent before its children.
    const std::vector<PageNode> &nodes() const { return nodes_; }
    // Any node's counts (a search among the entries when it is counted).
    NodeCounts countsOf(std::uint32_t node) const;
    // Its class attribute's hash, 0: none (a search).
    std::uint32_t classHash(std::uint32_t node) const;
    // The nodes of dialogs and consent notices, in node order (the first
    // kMaxDialogs of them; past those, their names alone speak for them):
    // dialog elements, what has role dialog or alertdialog or aria-modal
    // "true", and what names speak of cookies, consent or the GDPR and not
    // of content (ReadNameHints()).
    static constexpr std::size_t kMaxDialogs = 64;
    const std::vector<std::uint32_t> &dialogs() const { return dialogs_; }

    // Reads the nodes' counts in node order, without searching.
    class CountsCursor {
    public:
        explicit CountsCursor(const PageTree &tree) : tree_(tree) {}
        // `node` is not before the node asked last.
        NodeCounts at(std::uint32_t node);

    private:
        const PageTree &tree_;
        std::size_t next_ = 0;
    };
    // The text of the first title element (white space collapsed, at most a
    // few hundred bytes, never part of a character).
    const std::string &title() const { return title_; }
    // Every h1, h2 and h3 that is shown and not inside another of them, in
    // document order (the first kMaxHeadings of them), with its node;
    // headingText(i) is the text of the i-th (its first few hundred bytes,
    // never part of a character, runs of white space as one space, no space
    // at the end).
    const std::vector<PageHeading> &headings() const { return headings_; }
    // Whether the page has more of them than headings() holds.
    bool headingsCut() const { return headingsCut_; }
    std::string_view headingText(std::size_t i) const
    {
        const std::size_t end = i + 1 < headings_.size() ? headings_[i + 1].at : headingText_.size();
        return std::string_view(headingText_).substr(headings_[i].at, end - headings_[i].at);
    }

    // Hands every token for which `want` says yes to `sink`, in order, as
    // it came (after endOfFile()). With `done`, asked after each token handed
    // on: stops once it says yes, the rest of the stream not read.
    void replay(html::TokenSink &sink, const std::function<bool(const TokenPlace &)> &want,
                const std::function<bool()> &done = {}) const;

    // The stream's size in bytes (with Keeping::Nodes: the size it would
    // have), and the bytes it has room for, for tests of its cost.
    std::size_t streamBytes() const { return keeping_ == Keeping::Stream ? stream_.size() : streamSize_; }
    std::size_t streamCapacity() const { return stream_.capacity(); }
    // After endOfFile(): the bytes the tree holds (the stream, the nodes,
    // their counts, class hashes and heading texts).
    std::size_t bytesInUse() const;

private:
    // Bytes that grow at the end, written in place.
    class Bytes {
    public:
        std::size_t size() const { return size_; }
        std::size_t capacity() const { return capacity_; }
        char *data() { return data_.get(); }
        std::string_view view() const { return {data_.get(), size_}; }
        // Room for `bytes` more at the end: where they go.
        char *grow(std::size_t bytes)
        {
            if (capacity_ - size_ < bytes)
                reserve(bytes);
            char *at = data_.get() + size_;
            size_ += bytes;
            return at;
        }
        // Room for `bytes` more at `at`, the bytes from there moved on.
        void open(std::size_t at, std::size_t bytes);
        // Room for `bytes` in all, as growing by doubling would make it.
        void reserveTotal(std::size_t bytes);

    private:
        void reserve(std::size_t bytes);
        std::unique_ptr<char[]> data_;
        std::size_t size_ = 0, capacity_ = 0;
    };

    // An element on the stack of open elements while the page comes.
    struct Open {
        Element element{};
        bool node = false;
        bool silent = false;
        bool inLink = false;
        bool foreign = false;
        bool sentenceEnd = false;
        bool closedDetails = false; // details without open: only its summary shows
        std::uint16_t nameSize = 0;
        std::uint32_t flags = 0;
        std::uint32_t nameAt = 0;        // its name in the stream, when it is no known element
        std::uint32_t tokenAt = 0;       // its start record in the stream
        std::uint32_t heading = kNoNode; // the heading it is part of, in headings_
        std::uint32_t withoutNode = 0;   // elements without a node on the stack up to it
        std::uint32_t text = 0, linkText = 0, commas = 0;
        // With Keeping::Nodes: the Document's node, the node it is or is
        // part of, its place in counts_, the stack's size at its node
        // (0: the document's), and its node's counts of elements.
        std::uint32_t source = 0;
        std::uint32_t pageNode = 0;
        std::uint32_t entry = 0;
        std::uint32_t nodeLevel = 0;
        std::uint32_t images = 0, otherChildren = 0, breaks = 0;
    };

    Open &top() { return stack_.empty() ? document_ : stack_.back(); }
    // Opens an element; whether it was pushed on the stack.
    bool open(const html::Tag &tag, Element element, std::uint32_t flags, bool special);
    void start(const html::Tag &tag);
    // With Keeping::Nodes: the node of the element `e` opens, now.
    // `href`: its href attribute, null for none.
    // `modal`: its aria-modal says "true".
    void makeNode(Open &e, const Open &parent, bool hidden, bool pushed, std::string_view id, std::string_view classes,
                  std::string_view role, std::string_view href, bool modal);
    // Names the node `node` a dialog when it is one.
    void noteDialog(std::uint32_t node, Element element, bool named, bool modal);
    // A node's counts are complete: kept in its entry of counts_, or in
    // the node itself when they are only a few characters of text.
    void closeCounts(std::uint32_t entry, const NodeCounts &counts);
    // The entries given up leave; the wide counts in node order.
    void finishCounts();
    void attached(const html::Tag &tag, Element element);
    void writeTag(std::uint8_t kind, Element element, const html::Tag &tag, bool attributes);
    void popTo(std::size_t size);
    void closeHead();
    std::ptrdiff_t find(Element element, std::string_view name, bool buttonScope, bool stopAtSpecial,
                        bool tableScope) const;
    void impliedEnds(Element element, std::uint32_t flags);
    void impliedEndsOf(Element element, std::uint32_t flags);
    void measure(Open &at, std::string_view utf8);
    void endTextRun();
    // The last heading's text is complete: cut to a whole character.
    void endHeading();
    void foreignSwitch();

    TokenizerSwitch *tokenizer_;
    Keeping keeping_ = Keeping::Stream;
    bool departed_ = false;
    std::uint32_t source_ = 0;       // the Document's node of the tag being read
    bool holdsBlock_ = false;        // the tag's element holds a block
    std::size_t streamSize_ = 0;     // Keeping::Nodes: the size the stream would have
    std::uint32_t lastTextSize_ = 0; // Keeping::Nodes: the last text record's text
    bool gone_ = false;              // entries of counts_ given up
    std::vector<std::uint32_t> sources_;
    Bytes stream_;
    std::size_t lastText_ = std::string::npos; // the last record when it is a text
    std::vector<Open> stack_;
    std::array<std::uint32_t, 256> openCount_{}; // elements on the stack, by Element
    Open document_;
    bool html_ = false, head_ = false, body_ = false;
    bool headClosed_ = false;
    bool lastForeign_ = false;
    // The top element's text ended its last piece with . ! or ?: a sentence
    // end unless the next piece of the same run starts with other than
    // white space.
    bool pendingEnd_ = false;
    std::size_t styleDepth_ = 0; // stack size with a screen style element open, 0: none
    StyleSheet sheet_;
    std::string title_;
    bool titleDone_ = false;
    std::vector<PageHeading> headings_; // node (once built), text
    bool headingsCut_ = false;
    std::string headingText_; // the headings' texts one after another
    std::vector<PageNode> nodes_;
    // The counted nodes' counts, in node order; `wide` when one does not
    // fit, and the full ones are in wide_.
    struct Entry {
        std::uint32_t node;
        std::uint32_t text = 0;
        std::uint16_t linkText = 0, commas = 0;
        std::uint8_t images = 0, otherChildren = 0, breaks = 0;
        bool wide = false;
    };
    static_assert(sizeof(Entry) == 16, "a counted node costs sixteen bytes more");
    static NodeCounts countsOf(const Entry &entry);
    NodeCounts wideCounts(std::uint32_t node) const;
    std::vector<Entry> counts_;
    std::vector<std::pair<std::uint32_t, NodeCounts>> wide_;       // in node order
    std::vector<std::pair<std::uint32_t, std::uint32_t>> classes_; // node, class hash; in node order
    std::vector<std::uint32_t> dialogs_;                           // in node order
    std::size_t nodeCount_ = 1;                                    // nodes the records make, the document's too
};

inline NodeCounts PageTree::countsOf(const Entry &entry)
{
    return {entry.text, entry.linkText, entry.commas, entry.images, entry.otherChildren, entry.breaks};
}

inline NodeCounts PageTree::CountsCursor::at(std::uint32_t node)
{
    const PageNode &n = tree_.nodes_[node];
    if (!n.counted)
        return {n.few, 0, 0, 0, 0, 0};
    while (tree_.counts_[next_].node < node)
        ++next_;
    const Entry &entry = tree_.counts_[next_];
    return entry.wide ? tree_.wideCounts(node) : countsOf(entry);
}

} // namespace quillan::text::article
