#pragma once
// The tree construction stage of the HTML Standard: a TokenSink that builds
// a Document from the tokenizer's tokens, with every insertion mode, the
// stack of open elements, the list of active formatting elements (with its
// Noah's Ark clause and reconstruction), the adoption agency algorithm,
// foster parenting, foreign content (SVG and MathML) and the fragment case.
//
// Contract:
// - attach() names the tokenizer that feeds the builder; the builder
//   switches its state (RCDATA, RAWTEXT, script data, PLAINTEXT) and its
//   foreign-content flag as the Standard says, from inside its calls.
// - For a fragment, setFragmentContext() comes before the first token: the
//   context element's namespace and local name. The Document then gets the
//   fragment's nodes as the children of its root (a DocumentFragment).
// - Scripting: with `scripting` on, noscript is read as raw text; scripts are
//   never run.
// - The Document is complete after TokenSink::endOfFile().
// - Work per token is bounded by the elements it opens, closes or moves:
//   scope checks, the list item and insertion mode walks and foster
//   parenting are O(1) (the stack keeps, for each entry, where the nearest
//   scope boundary of each kind lies and where the element of the same name
//   below it is). No recursion grows with the input's depth.
// - Bounds beyond the Standard, reached only by hostile input: the list of
//   active formatting elements keeps at most kMaxFormattingEntries entries
//   (the oldest are dropped from it first), and the foreign content end tag
//   walk looks at most kMaxForeignWalk elements.

#include "html/tokenizer/tokenizer.h"
#include "html/tree/document.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillan::html {

struct TreeOptions {
    bool scripting = false;
};

class TreeBuilder final : public TokenSink {
public:
    static constexpr std::size_t kMaxFormattingEntries = 64;
    static constexpr std::size_t kMaxForeignWalk = 1000;

    TreeBuilder(Document &document, TreeOptions options);
    TreeBuilder(const TreeBuilder &) = delete;
    TreeBuilder &operator=(const TreeBuilder &) = delete;

    void attach(Tokenizer &tokenizer) { tokenizer_ = &tokenizer; }
    void setFragmentContext(Namespace space, std::string_view localName);
    // The html element at the bottom of a fragment's stack, whose children
    // are the fragment; kNoNode for a page.
    NodeId fragmentRoot() const { return fragmentRoot_; }

    void characters(std::string_view utf8) override;
    void startTag(const Tag &tag) override;
    void endTag(const Tag &tag) override;
    void comment(std::string_view text) override;
    void doctype(const Doctype &doctype) override;
    void endOfFile() override;

private:
    enum class Mode : std::uint8_t {
        Initial,
        BeforeHtml,
        BeforeHead,
        InHead,
        InHeadNoscript,
        AfterHead,
        InBody,
        Text,
        InTable,
        InTableText,
        InCaption,
        InColumnGroup,
        InTableBody,
        InRow,
        InCell,
        InTemplate,
        AfterBody,
        InFrameset,
        AfterFrameset,
        AfterAfterBody,
        AfterAfterFrameset,
    };
    enum class Type : std::uint8_t { StartTag, EndTag, Characters, Comment, Doctype, EndOfFile };
    struct Token {
        explicit Token(Type t) : type(t) {}
        Type type;
        NameId name = kNoNode; // tags: the interned name (kNoNode: a name no element has)
        const Tag *tag = nullptr;
        std::string_view text;
        const Doctype *doctype = nullptr;
        bool selfClosing() const { return tag && tag->selfClosing; }
    };
    // The kinds of scope, and the boundaries the stack keeps per entry.
    enum Boundary : std::uint8_t { Default, ListItem, Button, TableScope, Special, SpecialListStop, kBoundaryKinds };
    struct StackEntry {
        NodeId node;
        std::uint32_t sameBelow;            // the position of the HTML element of the same name below, or kNone
        std::uint32_t base[kBoundaryKinds]; // the nearest boundary at or below this entry, or kNone
    };
    struct InsertionPlace {
        NodeId parent;
        NodeId before;
    };
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    static constexpr NodeId kMarker = kNoNode;

    // Dispatch.
    void dispatch(Token &token);
    void process(Mode mode, Token &token);
    bool inForeignContent(const Token &token) const;
    void afterToken();

    // The insertion modes.
    void initial(Token &t);
    void beforeHtml(Token &t);
    void beforeHead(Token &t);
    void inHead(Token &t);
    void inHeadNoscript(Token &t);
    void afterHead(Token &t);
    void inBody(Token &t);
    void inBodyStartTag(Token &t);
    void inBodyEndTag(Token &t);
    void inBodyOtherEndTag(NameId name);
    void inBodyCharacters(std::string_view text);
    void text(Token &t);
    void inTable(Token &t);
    void inTableAnythingElse(Token &t);
    void inTableText(Token &t);
    void inCaption(Token &t);
    void inColumnGroup(Token &t);
    void inTableBody(Token &t);
    void inRow(Token &t);
    void inCell(Token &t);
    void inTemplate(Token &t);
    void afterBody(Token &t);
    void inFrameset(Token &t);
    void afterFrameset(Token &t);
    void afterAfterBody(Token &t);
    void afterAfterFrameset(Token &t);
    void foreignContent(Token &t);

    // The stack of open elements.
    void push(NodeId node);
    void pop();
    // Room for one more open element, asked of the Document's limit first.
    void roomOnStack();
    void removeFromStack(std::uint32_t position);
    void insertIntoStack(std::uint32_t position, NodeId node);
    void unindex(const StackEntry &entry);   // takes one entry off the indexes
    void unwindTo(std::uint32_t position);   // takes entries at and above off the indexes
    void rewindFrom(std::uint32_t position); // puts them back
    void index(std::uint32_t position);
    NodeId current() const { return stack_.empty() ? kNoNode : stack_.back().node; }
    NodeId adjustedCurrent() const { return context_ != kNoNode && stack_.size() == 1 ? context_ : current(); }
    bool currentIs(NameId name) const;
    std::uint32_t topmost(NameId htmlName) const; // the position of the last such HTML element, or kNone
    std::uint32_t positionOf(NodeId node) const;
    bool onStack(NodeId node) const { return node < onStack_.size() && onStack_[node]; }
    bool inScope(NameId htmlName, Boundary kind = Default) const;
    bool nodeInScope(NodeId node, Boundary kind = Default) const;
    bool isBoundary(NodeId node, Boundary kind) const;
    bool isSpecial(NodeId node) const;
    std::uint32_t flagsOf(NodeId node) const;
    void popUntil(NameId htmlName);
    void popUntilNode(NodeId node);
    void generateImpliedEndTags(NameId except = kNoNode);
    void generateImpliedEndTagsThoroughly();
    void closeP();
    void clearStackBackTo(std::initializer_list<NameId> names);
    void resetInsertionMode();
    void closeCell();

    // The list of active formatting elements.
    void pushFormatting(NodeId element);
    bool sameAttributes(NodeId a, NodeId b) const;
    void reconstructFormatting();
    void clearFormattingToMarker();
    std::size_t formattingIndexOf(NodeId node) const; // or kNone
    void removeFormatting(NodeId node);
    // The adoption agency; false when the token is to be handled as any
    // other end tag.
    bool adoptionAgency(NameId subject);

    // Inserting.
    InsertionPlace appropriatePlace(NodeId target = kNoNode) const;
    void insertAt(InsertionPlace place, NodeId node);
    NodeId createElementFor(const Token &t, Namespace space);
    NodeId createHtmlElement(NameId name);
    NodeId insertHtmlElement(const Token &t);
    NodeId insertHtmlElement(NameId name);
    NodeId insertForeignElement(const Token &t, Namespace space);
    void insertCharacters(std::string_view text);
    // The white space a character token starts with, inserted (processed
    // as in body); whether nothing else is left of the token.
    bool insertLeadingSpace(Token &t);
    bool leadingSpaceInBody(Token &t);
    // Pops the foreign elements above the nearest HTML element or
    // integration point (a breakout start tag, </br>, </p>).
    void leaveForeignContent();
    void insertComment(std::string_view text, NodeId parent = kNoNode);
    void genericText(const Token &t, Tokenizer::TextState state);
    void setTokenizerState(Tokenizer::TextState state);
    bool isMathMlTextIntegrationPoint(NodeId n) const;
    bool isHtmlIntegrationPoint(NodeId n) const;
    void quirksFromDoctype(const Doctype &d);

    Document &doc_;
    TreeOptions options_;
    Tokenizer *tokenizer_ = nullptr;
    Mode mode_ = Mode::Initial;
    Mode originalMode_ = Mode::Initial;
    std::vector<Mode> templateModes_;
    std::vector<StackEntry> stack_;
    std::vector<std::uint32_t> tagTop_; // per HTML name: the position of the last such element on the stack
    std::vector<bool> onStack_;
    std::vector<NodeId> formatting_;
    NodeId head_ = kNoNode;
    NodeId form_ = kNoNode;
    NodeId context_ = kNoNode;
    NodeId fragmentRoot_ = kNoNode;
    bool framesetOk_ = true;
    bool fosterParenting_ = false;
    bool skipNewline_ = false;
    bool pendingNonSpace_ = false;
    bool stopped_ = false;
    std::string pendingTableText_;
    std::vector<NewAttribute> attributes_; // reused
    // Per select element: its selected option and its selectedcontent
    // element, which gets a copy of the option's contents when the option
    // is closed.
    struct SelectState {
        NodeId selectedOption = kNoNode;
        NodeId selectedContent = kNoNode;
    };
    std::unordered_map<NodeId, SelectState> selects_;
    void noteInserted(NodeId element);
    void noteClosed(NodeId element);
};

} // namespace quillan::html
