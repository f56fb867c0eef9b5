#pragma once
// The renderer: a token sink that writes the text a reader sees in a page,
// the way a browser's innerText gives it with scripts off and no style files.
//
// Text comes out as UTF-8 with LF line ends, in pieces handed to a TextSink
// as they are complete. The renderer keeps no tree: an open-element stack of
// at most kMaxDepth entries stands in for the tree builder (implied end
// tags of p, li, dd, dt, option, ruby parts, column groups and table parts;
// table parts only inside a table; a template open until its own end tag;
// end tags matched in scope), so memory stays bounded whatever the page.
// Formatting elements (a, b, font, ...) are kept in a bounded list of
// active ones, as the tree builder keeps them: reopened (without a link
// number) before content after an element that closed them, and split
// about a block when their end tag comes inside it (text already read in
// the block stays as it was shown, though the split may move the block out
// of a hidden element). Not followed: content moved out of a table ahead
// of it.
//
// Rules:
// - Block elements (div, p, li, h1, table, ...) start and end lines; p and
//   headings leave a blank line around them; a run of such breaks gives the
//   largest of them, never more. br ends a line.
// - Table cells of a row are separated by a tab, rows end lines.
// - List items start lines with "* ", or "N. " in an ordered list (its
//   start, reversed and each item's value honoured); the marker is written
//   with the item's first text, so an empty item writes nothing.
// - White space collapses to one space and is dropped at the start and end
//   of lines, across inline elements; pre, listing, plaintext, xmp and
//   textarea keep theirs (a newline right after their start tag dropped).
// - Nothing is shown from head, title, script, style, template, iframe,
//   audio, video, noembed, noframes, svg, elements with the hidden
//   attribute, elements whose style attribute or a simple <style> rule sets
//   display: none or visibility: hidden (see style_sheet.h), nor comments.
//   noscript is shown: scripts are off. NUL characters of the page's text
//   are dropped (in foreign content they show as U+FFFD), as the tree
//   builder does.
// - text-transform from style attributes and simple <style> rules changes
//   the case of the text (see text_case.h); it is inherited, and none ends
//   it.
// - Images show nothing, as in a browser that shows them; but with links
//   numbered, a link whose only content is an image (img, input
//   type=image) is named by the image's alt text, so that its number
//   stands after a name.
// - select shows each of its options on a line of its own.
// - Elements nested deeper than kMaxDepth are taken as plain inline
//   elements; but one that hides its content still hides it: until its end
//   tag (the end tags of elements of its name opened inside it counted) or
//   until an end tag closes an element of the stack below it.
//
// Options: links numbers each link with an address after its text ("[1]")
// (not javascript: links, however the address is written) and lists the
// addresses after the text, under "References", made absolute against the
// page's address and its first <base href> and written out as the URL
// Standard writes them (see address_resolution.h); width > 0
// breaks lines longer than width characters at spaces (a word longer than
// a line stays whole; the list of references is never broken).

#include "html/tokenizer/token_sink.h"
#include "text/readable/markdown_syntax.h"
#include "text/readable/style_sheet.h"
#include "text/readable/url_parser.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillan::text::readable {

enum class Element : std::uint8_t;

// Where the rendered text goes. write() may throw; the renderer is then
// left in an unspecified state and must not be used further.
class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void write(std::string_view utf8) = 0;
};

// A sink that appends the text to a string its caller keeps.
class StringSink final : public TextSink {
public:
    explicit StringSink(std::string &text) : text_(text) {}
    void write(std::string_view utf8) override { text_.append(utf8); }

private:
    std::string &text_;
};

// The tokenizer states a start tag can switch to.
enum class TextState { Data, Rcdata, Rawtext, ScriptData, Plaintext };

// What the renderer tells the tokenizer as each start tag arrives: the
// state for the text after the tag, and whether the adjusted current node
// is now in foreign content (svg, math), where CDATA sections are allowed.
class TokenizerSwitch {
public:
    virtual ~TokenizerSwitch() = default;
    virtual void switchTo(TextState state) = 0;
    virtual void setForeignContent(bool foreign) = 0;
};

// How the text is written: as plain lines, or as Markdown (CommonMark with
// GitHub's strikethrough) that renders as the same text.
enum class Syntax : std::uint8_t { Plain, Markdown };

// What becomes of images in Markdown: written as images, or left out.
enum class Images : std::uint8_t { Keep, Drop };

struct RenderOptions {
    Syntax syntax = Syntax::Plain;
    Images images = Images::Keep; // Markdown only
    bool links = false;
    std::size_t width = 0; // 0: lines are not wrapped
    // The page's own address, against which relative link addresses are
    // resolved; empty for a file, whose relative links are listed as
    // written unless a <base href> gives an absolute address.
    std::string address;
};

class TextRenderer final : public html::TokenSink {
public:
    static constexpr std::size_t kMaxDepth = 512;

    // `out` receives the text; `tokenizer` (may be null) is told of state
    // changes. Both must outlive the renderer.
    TextRenderer(TextSink &out, const RenderOptions &options = {}, TokenizerSwitch *tokenizer = nullptr);
    ~TextRenderer() override;
    TextRenderer(const TextRenderer &) = delete;
    TextRenderer &operator=(const TextRenderer &) = delete;

    void characters(std::string_view utf8) override;
    void startTag(const html::Tag &tag) override;
    void endTag(const html::Tag &tag) override;
    void comment(std::string_view) override { skipNewline_ = false; }
    // Writes what is left (the list of links) and hands every byte to the
    // sink; nothing may be fed afterwards.
    void endOfFile() override;
    // Whether any text has been laid out so far (white space at the start
    // of the text, which is never written, not counted).
    bool wroteText() const { return started_ || !heldWord_.empty(); }

private:
    struct Open {
        Element element{};
        std::uint32_t flags = 0;
        bool hidden = false;                                 // this element starts a hidden subtree
        bool foreign = false;                                // in the svg or math namespace
        bool svg = false;                                    // in the svg namespace
        std::uint32_t count = 0;                             // ol: next number; tr/table: cells seen
        bool reversed = false;                               // ol counting down
        bool integration = false;                            // foreign, but its children are HTML
        bool closedDetails = false;                          // details without open: only its summary shows
        std::uint32_t link = 0;                              // a: its reference number, 0 for none
        TextTransform transform = TextTransform::None;       // the case of its text
        std::string name;                                    // unknown and foreign elements: their name, for end tags
        std::size_t hiddenBelow = kNone;                     // moved out of a hidden table part: the hiding it stops
        std::uint32_t id = 0;                                // tells open elements apart
        bool hides = false;                                  // hides its content, wherever it stands
        TextTransform ownTransform = TextTransform::Inherit; // the case it asks itself
        bool listed = false;                                 // on the list of active formatting elements
        std::uint8_t markerWidth = 0;                        // li: its marker's width once written (Markdown)
        bool quoted = false;                                 // blockquote: a line of it is written (Markdown)
        char delimiter = 0;                                  // ol, ul: its items' delimiter (Markdown)
        bool marked = false;                                 // ol, ul: an item's marker is written (Markdown)
        std::uint8_t itemWidth = 0;                          // ol, ul: the last written marker's width (Markdown)
        bool blockTable = false;                             // table: its texts one after another (Markdown)
    };

    // An entry of the list of active formatting elements: what a copy of
    // the element needs. id 0 is a marker (cells, captions, templates,
    // applet, object, marquee).
    struct Formatting {
        std::uint32_t id = 0; // the open element it stands for
        Element element{};
        bool open = false;  // on the stack
        bool hides = false; // of itself (its attributes, its style), wherever it stands
        TextTransform transform = TextTransform::Inherit;
        std::uint64_t attributes = 0; // a digest of the attributes, to tell equal elements
        std::string name;             // formatting elements the table does not name
    };
    static constexpr std::size_t kMaxFormatting = 64;

    // Tree-builder stand-ins.
    // Active formatting elements.
    void pushFormatting(const html::Tag &tag, const Open &open, bool hides);
    void reconstructFormatting();
    // Whether text here makes the tree builder reopen formatting elements.
    bool textReopensFormatting() const;
    void clearFormattingToMarker();
    std::size_t formattingIndexOf(std::uint32_t id) const;
    // The last entry of that element after the last marker.
    std::size_t lastFormatting(Element element, std::string_view name) const;
    std::size_t stackIndexOf(std::uint32_t id) const;
    // The end tag of a formatting element: false when the list does not
    // hold it (the end tag is then read as any other).
    bool adoptionAgency(Element element, std::string_view name);
    // Takes the entries of `remove` (stack indexes, ascending) off the
    // stack and puts `insert` before index `at` (kNone: nothing), then
    // works out again what hides from index `from` up.
    void rearrangeStack(std::size_t from, const std::vector<std::size_t> &remove, std::size_t at, Open insert);
    // Whether an element opened now is hidden by a closed details element
    // it stands right in (which shows its summary only).
    bool hiddenByClosedDetails(Element element) const;
    bool push(Open open);         // false when the stack is full
    void popTo(std::size_t size); // closes elements until `size` remain
    void close(const Open &open);
    std::ptrdiff_t findInScope(Element element, std::uint32_t extraBoundary) const;
    void closeInScope(Element element, std::uint32_t extraBoundary);
    void closePInButtonScope();
    // Ends an open column group unless `name` (a tag's, empty for text) may
    // stand in it.
    void endColumnGroupBefore(std::string_view name);
    void impliedEndsFor(Element element, std::uint32_t flags);
    // Ends the open elements whose end tags are implied (p, li, option, rt,
    // ...) down to one of `except` (Other: none is kept).
    void popImpliedEnds(Element except);
    void startForeign(const html::Tag &tag, std::uint32_t flags);
    void endForeign(const html::Tag &tag);
    void updateForeign();
    // Whether the element hides its content, and the case of its text.
    ElementStyle styleOf(const html::Tag &tag, Element element) const;
    TextTransform inheritedTransform() const { return stack_.empty() ? TextTransform::None : stack_.back().transform; }
    void switchTokenizerFor(Element element);
    bool shown() const { return hiddenDepth_ == kNone && !overflowHidden_; }
    bool inForeignContent() const { return !stack_.empty() && stack_.back().foreign && !stack_.back().integration; }
    // Hidden elements deeper than the stack goes.
    void startOverflowHiding(std::string_view name);
    bool overflowStartTag(const html::Tag &tag);
    bool closesOverflowAtP(Element element) const;
    bool overflowEndTag(const html::Tag &tag);
    bool keepsSpace() const { return keepSpaceDepth_ != kNone; }

    // Text layout.
    void text(std::string_view utf8);
    void collapsedText(std::string_view utf8);
    void keptText(std::string_view utf8);
    void word(std::string_view utf8); // a run without collapsible white space
    // Markdown: the word held back from the end of a piece of text, written.
    void flushHeldWord();
    void requireBreaks(int count);
    void lineBreak();
    void cellSeparator();
    void beforeContent();
    // (Not named emit: Qt code that includes this header defines that word.)
    void emitText(std::string_view utf8);
    void emitWrapped(std::string_view utf8);
    // Breaks the current line, past the width, at its last space or gap.
    void breakLine();
    void emitUnwrapped(std::string_view lines);
    void flushOut(bool all);
    void image(const html::Tag &tag);
    // Markdown, with numbered links: whether the image's alt text names an
    // open link that has no mark (no address), as the plain text names it.
    bool namesUnwrittenLink(const html::Tag &tag) const;
    void startHtml(const html::Tag &tag, Element element, std::uint32_t flags);
    void endHtml(const html::Tag &tag);
    // Sets the marker of a list item whose list is the nearest below index
    // `below` (its value attribute `value`, a null view for none).
    void listMarker(std::size_t below, std::string_view value);
    std::ptrdiff_t findInTableScope(std::uint32_t flags) const;
    // Whether a table or a template is open, where the parts of a table go.
    bool inTable() const;
    // Whether content in a table part that the tree builder would move out
    // of the table (foster parenting) shows: as the table's parent shows.
    bool shownBeforeTable() const;

    // Markdown: an inline element's mark.
    struct Mark {
        std::uint32_t id = 0; // the element's
        InlineMark kind{};
        bool written = false;
        std::size_t at = 0;      // its opening, counted from the start of the text
        std::string destination; // a link's
    };
    bool markdown() const { return options_.syntax == Syntax::Markdown; }
    void emitMarkdown(std::string_view utf8);
    void emitMarkdownLine(std::string_view s);        // emitMarkdown() of text without a line break
    void appendMarkdownPiece(std::string_view piece); // a line's piece: its prefix first, then wrapped
    // With a width: breaks the line at the last space that may become a
    // line break (between words of a paragraph, never in a code span, a
    // heading or a table, never before a word that would start a block).
    void wrapMarkdown(std::string_view piece);
    bool mayBreakBefore(std::string_view word) const;
    // The break wrapMarkdown() found due, made once the word after it has
    // ended (at `end` in out_), unless that word would start a block.
    void wrapDueBefore(std::size_t end);
    // The prefix of a line inside quotes and list items; `blank`: for an
    // empty line (the quotes' marks only).
    void writeLinePrefix(bool blank);
    void startMark(const html::Tag &tag, const Open &open);
    // The marks not written yet, before a character of class `next`.
    void writeOpeningMarks(CharClass next = CharClass::Word);
    // A word of collapsed text, escaped, with the marks that open before it.
    void markdownWord(std::string_view word, bool blockStart);
    // The class of the character before the end of out_, where a table's
    // cell or row starts: a space.
    CharClass classBeforeText() const;
    // That class once the marks not written yet that go on after the same
    // mark closed (see writeOpeningMarks()) have taken its closing away.
    CharClass classBeforeGoingOn() const;
    // Whether a run of `length` *s inside a word, within `outer`, could
    // close it.
    bool mayCloseInWord(const Mark &outer, std::size_t length) const;
    void writeClosing(Mark &mark);
    // A closing mark right after punctuation, followed by `next`: moved
    // before the punctuation when `next` starts with a letter or digit.
    void movedClosing(std::string_view next);
    // Closes the marks of elements no longer open and of the element
    // `closing` (its id, 0: none); with `all` also the other written ones,
    // before a break, to be written again after it. Marks opened after a
    // closed one close before it and open again.
    void closeMarks(bool all, std::uint32_t closing);
    // The line breaks an element of these flags (a block, row, list item,
    // ...) makes before and after it, with `below` elements open outside it.
    int breaksAround(Element element, std::uint32_t flags, std::size_t below) const;
    // Whether a list with `below` elements open outside it stands right
    // inside a list that has written an item: it goes under that item.
    bool nestsUnderItem(std::size_t below) const;
    // Whether the current node stands in a list but in none of its items.
    bool outsideItemsOfList() const;
    void markdownImage(const html::Tag &tag);
    // An address resolved against base_, the last few kept.
    const std::string &resolvedAddress(const std::string &reference);
    void startFence(const html::Tag &tag);
    void endFence();
    // A figure's caption, an HTML block around its Markdown: the end tag.
    void endCaption();
    void thematicBreak();
    bool inHeading() const;
    // Inside a code span, whose text is written as it is.
    bool inCodeSpan() const;
    // Tables: the outermost one's text is kept with marks for its rows and
    // cells, and laid out once it ends.
    void startTable();
    void endTable();
    bool inMarkedTable() const;
    // A table inside the open marked one, which can then be no pipe table:
    // the outer one's text so far laid out as blocks, its rows and cells
    // paragraphs from there on, so that the inner one is a table of its
    // own. False (nothing done) where a quote or list item of a cell is
    // open.
    bool endTableAsBlocks();
    void tableMark(char mark, int span);
    // Where flushing stops: the start of an open code span or block, whose
    // fence is made long enough once its text is known.
    void updateHold();

    // Links.
    void startLink(const html::Tag &tag, Open &open);
    void endLink(const Open &open);
    void addReference(std::string_view address);
    void takeBase(const html::Tag &tag);
    void writeReferences();

    TextSink &sink_;
    RenderOptions options_;
    TokenizerSwitch *tokenizer_;

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::vector<Open> stack_;
    std::vector<Formatting> formatting_;
    std::uint32_t nextId_ = 0;
    std::size_t hiddenDepth_ = kNone;    // stack size below the outermost hidden element
    std::size_t keepSpaceDepth_ = kNone; // likewise for the outermost pre-like element
    std::size_t styleDepth_ = kNone;     // an open style element
    bool styleForScreen_ = false;        // its rules go to the sheet
    std::size_t linkDepth_ = kNone;      // the open link being numbered
    std::string base_;                   // what link addresses are resolved against
    BaseAddress baseAddress_;            // base_, parsed
    bool baseTaken_ = false;             // a <base href> has set it
    std::size_t foreignCount_ = 0;       // open foreign elements
    std::size_t templateCount_ = 0;      // open template elements
    bool skipNewline_ = false;           // drop a newline right after <pre>
    // A hidden element past the stack's bound: the names of the elements
    // open inside it (itself first) with how many of each are open.
    bool overflowHidden_ = false;
    std::vector<std::pair<std::string, std::size_t>> overflowOpen_;
    // An element that ends scope searches (or foreign content) went past
    // the stack's bound and may still be open.
    bool boundaryPastStack_ = false;
    std::string nulFree_; // text with its NUL characters taken out

    // Layout state.
    bool started_ = false;   // some text was written
    int trailingBreaks_ = 0; // newlines at the end of the text (written or pending)
    int pendingBreaks_ = 0;  // newlines owed before the next text
    bool pendingSpace_ = false;
    bool lineStart_ = true; // no text yet on this line (after a break or tab)
    char marker_[16] = {};  // a list item's marker waiting for its first text
    std::size_t markerSize_ = 0;
    std::size_t markerDepth_ = kNone;
    std::size_t markerList_ = kNone; // the list of the marker waiting to be written (as markerDepth_ counts)
    bool linkHasText_ = false;
    std::string linkAlt_; // the alt text of an image in the open link
    std::size_t headDepth_ = kNone;
    bool headSeen_ = false;
    bool lastForeign_ = false;
    bool inWord_ = false; // the last character written belongs to a word (for capitalize)
    std::string cased_;   // text in the case its element asks

    // Output buffer and wrapping.
    std::string out_;
    std::size_t column_ = 0;
    std::size_t lineStartAt_ = 0;                 // where the current line starts in out_
    std::size_t lastSpaceAt_ = std::string::npos; // a space of the current line in out_
    std::size_t columnAfterSpace_ = 0;
    // Plain text: where the current line may break between two characters
    // (East Asian text) in out_, the column there, and the line's last
    // character (0 after a space).
    std::size_t lastGapAt_ = std::string::npos;
    std::size_t columnAtGap_ = 0;
    char32_t lastChar_ = 0;

    std::string escaped_;  // a word escaped for Markdown
    std::string heldWord_; // the last word of a piece of text, held back (Markdown)
    std::string heldOut_;  // the held word while it is written
    std::string joined_;   // the held word and the text after it
    static constexpr std::size_t kMaxHeldWord = 4096;
    std::vector<Mark> marks_; // the marks of open inline elements, in the order opened
    static constexpr std::size_t kResolvedKept = 16;
    std::vector<std::pair<std::string, std::string>> resolved_; // addresses as written, and resolved
    std::size_t resolvedNext_ = 0;                              // the one to make room when it is full
    bool needPrefix_ = true;                                    // the line's prefix is not written yet
    bool hardBreak_ = false;                                    // the pending line break is a br's
    int headingLevel_ = 0;                                      // a heading's marker waiting for its first text
    std::size_t fenceAt_ = kNone;                               // an open code block's fence in out_
    std::size_t fenceInfoAt_ = kNone;                           // where its language goes, while none is given
    std::uint32_t fenceId_ = 0;                                 // the element it stands for
    std::uint32_t captionId_ = 0;                               // the figcaption written as an HTML block
    bool captionOpening_ = false;                               // its start tag waits for its first content
    std::size_t holdAt_ = kNone;                                // out_ is kept from here on
    InlineMark lastClosed_{};                                   // the mark that closed last, ending at lastClosedEnd_
    std::size_t lastClosedEnd_ = kNone;
    std::array<std::size_t, 6> closedAt_{}; // by InlineMark: where the last closed mark of each kind opened
    std::size_t lastCodeAt_ = kNone;        // the last code span's opening (as flushed_ counts)
    std::size_t lastCodeFence_ = 0;         // and the bytes of each of its fences
    std::size_t closingAt_ = kNone;         // closing marks after punctuation, up to closingEnd_
    std::size_t closingEnd_ = kNone;
    std::size_t closingRun_ = kNone; // where that punctuation starts
    // With closingRun_ kNone: the openings of those marks (where in out_,
    // bytes), to be left out with them before a letter.
    std::vector<std::pair<std::size_t, std::size_t>> leftOut_;
    std::size_t blockWordAt_ = kNone; // where the last first word of a block started (as flushed_ counts)
    std::size_t syntaxEnd_ = 0;       // the end of the last link, code span or image in out_
    std::size_t flushed_ = 0;         // the bytes handed to the sink so far
    bool wrapDue_ = false;            // the line is past the width: see wrapDueBefore()
    std::size_t listEndedAt_ = kNone; // where the last list ended (counted as flushed_ + out_.size())
    char lastDelimiter_ = 0;          // its delimiter
    bool lastOrdered_ = false;
    std::size_t tableAt_ = kNone; // the open table's text in out_
    std::uint32_t tableId_ = 0;   // the element it stands for
    bool tableBlocks_ = false;    // it cannot be a pipe table

    // Link addresses, spilled to a temporary file beyond a small buffer.
    std::uint32_t linkCount_ = 0;
    std::string references_;
    std::FILE *spill_ = nullptr;

    StyleSheet sheet_;
};

} // namespace quillan::text::readable
