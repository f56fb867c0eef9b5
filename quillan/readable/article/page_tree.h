#pragma once
// The page as the article extractor keeps it: every token, compactly, and a
// light tree of the elements with the text measures the scoring needs.
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
// rule, see render/style_sheet.h) counts for nothing.

#include "article/name_hints.h"
#include "render/style_sheet.h"
#include "tokenizer/token_sink.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillan::readable {

enum class Element : std::uint8_t;
class TokenizerSwitch;

namespace article {

constexpr std::uint32_t kNoNode = UINT32_MAX;

struct PageNode {
    std::uint32_t parent = kNoNode;
    Element element{};
    std::uint32_t flags = 0; // ElementFlag of the element
    std::uint32_t classHash = 0;
    std::int16_t classWeight = 0; // the names' hint: + for content, - for boilerplate
    bool unlikely = false;        // the names or the role say boilerplate
    bool silent = false;          // its text is never shown
    bool inLink = false;          // inside a hyperlink (an a element with an href)
    bool foreign = false;         // svg or math content
    bool sentenceEnd = false;     // its own text ends a sentence somewhere
    std::uint32_t text = 0;       // own characters
    std::uint32_t linkText = 0;   // own characters inside links (a with href, not across a cell)
    std::uint32_t commas = 0;     // own commas
    std::uint32_t heading = kNoNode; // the h1 or h2 this node is part of
};

enum class TokenKind : std::uint8_t { Start, End, Text, SelfClosingStart };

struct PageToken {
    TokenKind kind;
    std::uint32_t node;   // the element a tag opens or closes; the text's holder
    std::uint32_t offset; // name or text in the arena
    std::uint32_t size;
    std::uint32_t firstAttribute;
    std::uint32_t attributeCount;
};

struct PageAttribute {
    std::uint32_t nameOffset, nameSize, valueOffset, valueSize;
};

class PageTree final : public html::TokenSink {
public:
    static constexpr std::size_t kMaxDepth = 512;

    // `tokenizer` (may be null) is switched as the renderer would switch it.
    explicit PageTree(TokenizerSwitch *tokenizer);

    void characters(std::string_view utf8) override;
    void startTag(const html::Tag &tag) override;
    void endTag(const html::Tag &tag) override;
    // Ends the page's last run of text; the measures are complete after it.
    void finish() { endTextRun(); }

    // Node 0 is the document; nodes come in document order, a parent
    // before its children.
    const std::vector<PageNode> &nodes() const { return nodes_; }
    const std::vector<PageToken> &tokens() const { return tokens_; }
    std::uint32_t body() const { return body_; }
    // The text of the first title element and of each h1 and h2 (white
    // space collapsed, at most a few hundred characters each).
    const std::string &title() const { return title_; }
    std::string_view headingText(std::uint32_t node) const;

    // Hands the token to `sink` as it came.
    void replay(const PageToken &token, html::TokenSink &sink) const;
    std::string_view text(const PageToken &token) const { return {arena_.data() + token.offset, token.size}; }

private:
    std::uint32_t current() const { return stack_.empty() ? 0 : stack_.back(); }
    std::uint32_t addNode(const html::Tag &tag, Element element, std::uint32_t flags);
    void recordTag(TokenKind kind, std::uint32_t node, const html::Tag &tag);
    void popTo(std::size_t size);
    std::ptrdiff_t find(Element element, std::string_view name, bool buttonScope, bool stopAtSpecial,
                        bool tableScope) const;
    void impliedEnds(Element element, std::uint32_t flags);
    void switchTokenizer(Element element);
    void measure(std::uint32_t node, std::string_view utf8);
    void endTextRun();
    std::string_view nameOf(std::uint32_t node) const;

    TokenizerSwitch *tokenizer_;
    std::vector<PageNode> nodes_;
    std::vector<std::uint32_t> nodeNames_; // arena offset of each node's tag name (size in nameSizes_)
    std::vector<std::uint16_t> nameSizes_;
    std::vector<PageToken> tokens_;
    std::vector<PageAttribute> attributes_;
    std::string arena_;
    std::vector<std::uint32_t> stack_;
    std::uint32_t html_ = kNoNode, head_ = kNoNode, body_ = kNoNode;
    bool headClosed_ = false;
    bool lastForeign_ = false;
    // The node whose text ended its last piece with . ! or ?: a sentence
    // end unless the next piece of the same run starts with other than
    // white space.
    std::uint32_t pendingEnd_ = kNoNode;
    std::size_t styleDepth_ = 0; // stack size with a screen style element open, 0: none
    StyleSheet sheet_;
    std::string title_;
    bool titleDone_ = false;
    std::vector<std::pair<std::uint32_t, std::string>> headings_;
    // What the names say, by class, id and role: pages repeat them.
    std::unordered_map<std::string, NameHints> hints_;
    std::string hintKey_;
    mutable std::vector<html::Attribute> replayAttributes_; // the tag being replayed
};

} // namespace article
} // namespace quillan::readable
