#pragma once
// "Article only": the page's main content, as a reader view gives it.
//
// The extractor is a token sink in front of the readable renderer. It keeps
// the page's tokens (in one compact byte stream) and a light tree of the
// elements the scoring looks at (text/article/page_tree.h); or, read from a
// Document (readDocument()), only the light tree, and walks the Document
// again for the chosen tokens. Its tokens are those
// of the page's tree as the HTML Standard's tree construction builds it,
// read back in tree order (text/article/article_input.h, document_walk.h), so
// that the structure it scores is the Standard's; the light tree's own
// rules (implied ends of p, li, dd, dt, table parts and headings; end tags
// matched to the nearest open element of their name) then change nothing.
// Only a page past the tree's memory limit comes straight from the
// tokenizer, and then those rules are all the structure there is. When the
// page has ended it scores the tree and hands the tokens of the chosen
// content to a TextRenderer, so the text is laid out exactly as the readable
// mode lays it out (links and width too).
//
// The choice:
// - Subtrees whose class or id say they are navigation, menus, sidebars,
//   footers, comments, share or "related" boxes, newsletter or cookie
//   notices or ads (and nav, aside, footer elements, and the ARIA roles of
//   the same), are set aside, unless their names also say "article",
//   "content", "main" and the like, or the box holds the h1 that matches
//   the title and a page's worth of text besides (the article in the page's
//   header row, or in a modal it opens in). Dialogs and consent notices
//   (dialog elements, role dialog or alertdialog, aria-modal "true",
//   cookie, consent or GDPR names) are set aside in every attempt: never
//   the content, never joining it.
// - Every paragraph-like block (p, pre, td, a div without blocks inside,
//   a block's loose text) of at least 25 characters adds to its container
//   and, less, to the containers above: one point, one per comma, one per
//   hundred characters (at most three). Containers start from a score by
//   their element and by their class and id names; the final score is
//   scaled by the share of the text that is not link text (text in
//   hyperlinks: a elements with an href).
// - The best container is widened to an ancestor when that scores nearly as
//   well (when it scores better, but not past an article element: around
//   an article, what scores better is the page); to its table cell when it
//   holds most of the cell's text, and to its article element when it holds
//   most of that one's; to the article element of the h1 that matches the
//   document's title, when that is another article element than its own
//   and holds a few paragraphs (a page of several articles: the next ones
//   loaded ahead); to its parent when it is the parent's only content (a
//   cell only when it is its table's only cell). Its siblings (a cell's:
//   the cells of its table) join when they, or the nodes that are their
//   only content, score well without what their own names add, or when
//   they are plain prose; so does a box of a few sentences right before it
//   (a lede, the summary a page sets apart above its text).
// - Inside, lists, tables, forms and divisions that look like boilerplate
//   (mostly links, more list items or inputs than paragraphs, pictures
//   without text, negative names) are dropped, and so are headings and
//   short paragraphs with negative names and a layout table's cells with
//   next to no text (not the cells of a table of data: one with headers or
//   a caption, ten rows, five columns or more than ten cells, and no table
//   inside). Links in headings (entries' titles) do not count as links
//   where the text besides the links is at least as long as they are.
//   Paragraphs are p and pre, and a block's loose text, one per run
//   between pairs of line breaks. A figure's caption of a line or two
//   (what the picture shows, its credit) goes with the picture.
// - Past the content's last paragraph of prose (a block of at least 100
//   characters, less than half of them link text), short lines mostly of
//   links are dropped ("back to all news", "read on: ...", "discuss it in
//   the forum"), and so are headings with nothing kept below them before
//   the next heading of their rank or a higher one: the titles of boxes of
//   links, buttons or forms that are gone ("Share:", "Read also", "Comment
//   on this"); not a heading that ends a sentence (a quote set large), nor
//   a link within the page. Before it, between the text's paragraphs, a
//   short line mostly of links that has words of its own besides ("Read
//   more: ...", "Lesen Sie auch: ...") goes too, unless a quotation follows
//   it: it points the reader to another page. Not where the text shows
//   the links' addresses (Markdown, numbered links): there it is a link
//   to follow.
// - When the result is short (under 250 characters), the choice is repeated
//   with fewer of these rules, and the longest result is kept; when the
//   page shows text but nothing was chosen, or what was chosen lays out as
//   no text at all, the whole body is given.
// - The thresholds where a block could go either way (siblings joining,
//   widening, link text, short blocks and lines of metadata inside) are
//   set by the bias (Bias); readers' comments join in their place in the
//   document when asked for (Comments).
// - What a reader does not see counts for nothing: hidden elements, and
//   what a details element without open folds away (all but its summary),
//   as the renderer hides them (text/article/page_tree.h).
//
// The first line is the page's title, the headline a reader sees before
// what the title bar says: of the h1, h2 and h3, the one that matches the
// title the page gives itself (OwnTitle: its JSON-LD headline, og:title,
// twitter:title, ... as its metadata chooses one); else the one that
// matches the document's title; of several, the closest in length to the
// title once the site's name is cut off; else the only h1. Without such a
// heading, the title the page gives itself, else the document's title,
// with the site's name cut off. Titles are compared without regard to
// ASCII case and with no-break spaces as spaces.
//
// No line ends in white space, nor starts with any but spaces and tabs
// (text/article/trimmed_lines.h). Ruby's readings (rt, rp), set above their
// words in the page, stay out of the text: in a line they would split the
// words they read.
//
// The account (RenderOptions::account, for -v): when asked for, the choice
// notes its decisions where it makes them, by node, and once the text is
// written names their blocks from one replay of the tokens. Without it
// nothing is noted, and the choice is the same either way.
//
// Memory: the token stream, about the page's decoded size (less when
// markup is dense, up to 1.4 times it on a page of nothing but tiny blocks
// such as <p>x</p>); eight bytes for each node of the tree (blocks, links,
// headings, ... but no plain inline element), sixteen more for its counts
// when it has more than a few characters of text or any other count (its
// class's hash apart); while the content is chosen, one attempt's measures
// at a time, thirteen bytes a node (the scores only for the nodes that have
// one, the counts the cleaning reads only for the containers that hold
// any), and a byte a node for each of two selections. A page of nothing but
// one tiny block or link again and again stays under four times its size
// and 16 MiB. The choice's storage is sized before it starts (for the most
// it can need); when the page's size is known (pageBytes()) and the tree
// with that storage would pass four times the page and 16 MiB (less what
// the rest of the program takes), nothing is chosen and the whole body is
// given, as the readable mode gives it: pages that dense are no articles
// (tiny blocks each with a comma, or each in a box of its own, again and
// again). So it is, without the nodes being built, when the stream and the
// most the nodes can take would pass that already (tiny headings, or tiny
// blocks each with an element inside, again and again); the title is then
// the one the page gives itself, else the document's. Keeping readers'
// comments costs two bytes a node more,
// and twelve bytes a node of a comment section while it is judged.

#include "html/tokenizer/token_sink.h"
#include "text/article/renderer_names.h"
#include "text/article/trimmed_lines.h"
#include "text/readable/text_renderer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillan::html {
class Document;
}

namespace quillan::text::article {

// Which way the choice leans where a block could go either way: the
// balanced choice; a shorter, cleaner text (stricter on link text, short
// blocks and lines of metadata inside the content); or a fuller one (more
// of the chosen region's neighbours, widening to larger regions sooner).
enum class Bias : std::uint8_t { Balanced, Precision, Recall };

// Readers' comments: left out, or written with the article. Kept, the
// page's comment sections (their class or id names say comments) come in
// document order, most often after the article; their forms and buttons
// stay out.
enum class Comments : std::uint8_t { Drop, Keep };

// Whether the choice keeps an account of the rules that decided it
// (ArticleChoice::account), which costs a reading of the page's tokens more.
enum class Account : std::uint8_t { Skip, Keep };

// The title a page gives itself besides its <title> element: its JSON-LD
// headline, og:title, twitter:title, ..., as its metadata chooses one
// (text/metadata/), never the site's name alone; and where it was found,
// as a person knows the tag ("og:title"). Empty: the page gives none.
struct OwnTitle {
    std::string text;
    std::string source;
};

struct ArticleOptions {
    Bias bias = Bias::Balanced;
    Comments comments = Comments::Drop;
    Account account = Account::Skip;
};

// A rule that decided part of the choice.
enum class Rule : std::uint8_t {
    // The container chosen, and how it was widened.
    BestScore,      // the best score of the containers
    CloseScores,    // an ancestor of several containers that score nearly as well
    BetterAncestor, // an ancestor that scores better
    ArticleBound,   // an article element it does not widen past to an ancestor that scores better
    TableCell,      // the table cell it holds most of the text of
    ArticleElement, // the article element it holds most of the text of
    TitledArticle,  // the article element of the h1 that matches the title
    OnlyContent,    // the parent it is the only content of
    // Siblings pulled in beside it.
    SiblingScore, // it scores well itself
    SiblingProse, // plain prose
    Lede,         // a box of a few sentences right before it: the summary above the text
    // Blocks set aside before scoring, or dropped inside the content.
    Names,        // class or id names, or the role
    Element,      // nav, aside, footer, noscript, dialog
    Dialog,       // a dialog or a consent notice: never the content, in no attempt
    Hidden,       // hidden from the reader
    FormControls, // a form control, or a box with more of them than paragraphs
    Embeds,       // an embedded frame, object or video
    LinkDensity,  // mostly link text
    Pictures,     // pictures with next to no text
    TooShort,     // too little text
    Caption,      // a picture's caption of a line or two: what it shows, its credit
    // What closes the content past its last paragraph of prose.
    ClosingLinks,   // a short line of links: back to the list, on to another page
    ClosingHeading, // a heading with nothing kept below it
    // Inside the text.
    PointerLine, // a short line of links with a label: "Read more: ...", "See also: ..."
    // The title.
    TitleHeading,    // a heading that matches the document's title
    OnlyH1,          // the only h1 in the content
    DocumentTitle,   // the document's title, the site's name cut off
    TitleShown,      // the heading that became the title, left out of the content
    OwnTitleHeading, // a heading that matches the title the page gives itself
    OwnTitle,        // the title the page gives itself (og:title, ...)
};

// What a decision did to its block.
enum class Verdict : std::uint8_t {
    SetAside,   // left out before scoring, with everything in it
    Chosen,     // the best container
    Widened,    // the content widened to it
    KeptWithin, // the content widens no further than it
    Joined,     // a sibling that joined the content
    Dropped,    // left out from inside the content
    Title,      // the first line comes from it
};

// One decision of the account, about one block of the page.
struct Decision {
    Verdict verdict;
    Rule rule;
    // The block as a person finds it in the page: its tag with its id and
    // first classes ("div#sidebar.widget"), and the first words of its text
    // (the document's title: no block, the title as its words).
    std::string block;
    std::string words;
    // What the rule weighed: a score, a share of link text, the names
    // found, a length ("link text 85% of 120 characters"); may be empty.
    std::string detail;
};

// What the extractor chose, for --verbose and for tests.
struct ArticleChoice {
    bool wholeBody = false;     // nothing qualified: the whole body was given
    bool tooDense = false;      // the whole body, since choosing would pass the memory bound
    int attempt = 0;            // 0: all rules; higher: fewer rules
    bool listing = false;       // no article: the rules for pages without prose chose
    std::size_t characters = 0; // text characters of the chosen content
    std::string title;          // the first line
    // With Account::Keep: the decisions, in the order they were made (the
    // blocks set aside, the container and its widening, the siblings
    // joined, the blocks dropped inside, the title); empty otherwise.
    std::vector<Decision> account;
    std::size_t untold = 0; // blocks set aside or dropped past those the account tells
};

// The choice in a few words for a person: "the article, 2431 characters",
// "the article, found with fewer rules, 180 characters", "no article: the
// largest content region, 960 characters", "nothing chosen: the whole
// body", each followed by "; title: ..." when there is a title.
std::string describe(const ArticleChoice &choice);
// A decision on a line of its own: `set aside: nav#menu "Home News Sport"
// (its element)`.
std::string describe(const Decision &decision);
// describe(choice), then each decision of its account on a line of its own
// after a line end, indented by two spaces.
std::string tell(const ArticleChoice &choice);

class ArticleExtractor final : public html::TokenSink {
public:
    // As TextRenderer: `out` receives the text, `tokenizer` (may be null)
    // is told of state changes; both must outlive the extractor. With
    // options.account Account::Keep the choice keeps its account.
    ArticleExtractor(TextSink &out, const RenderOptions &options = {}, TokenizerSwitch *tokenizer = nullptr,
                     const ArticleOptions &article = {});
    ~ArticleExtractor() override;
    ArticleExtractor(const ArticleExtractor &) = delete;
    ArticleExtractor &operator=(const ArticleExtractor &) = delete;

    void characters(std::string_view utf8) override;
    void startTag(const html::Tag &tag) override;
    void endTag(const html::Tag &tag) override;
    // Chooses the content and writes its text; nothing may be fed afterwards.
    void endOfFile() override;

    // The memory bound: the page's size, and the bytes it allows for each of
    // its bytes and in all (kOwnBytes of them left to the rest of the
    // program: the renderer, the output, the program itself).
    static constexpr std::size_t kBytesPerPageByte = 4;
    static constexpr std::size_t kFixedBytes = std::size_t{16} << 20;
    static constexpr std::size_t kOwnBytes = std::size_t{6} << 20;
    // The page's size in bytes, before endOfFile(); 0 (the default): not
    // known, no bound.
    void setPageBytes(std::size_t bytes) { pageBytes_ = bytes; }
    // Before the first token, when the page is read from its tree: room for
    // the tokens kept of a page of `bytes` bytes (text/article/page_tree.h,
    // PageTree::reserve()).
    void reserveFor(std::size_t bytes);
    // Before the first token, instead of them: the page is `document`,
    // which must outlive endOfFile(). The light tree is made of it in one
    // walk, without the stream, and the chosen content is walked from it
    // (text/article/document_walk.h). False when the light tree's rules
    // would make another structure of it (a p its table closes in quirks
    // mode, ...), or when the Document, kept so long, would take the choice
    // past its memory bound (a page of tiny blocks again and again): this extractor is then of no further use, and the page is
    // to be walked into a fresh one as tokens.
    bool readDocument(const html::Document &document);

    // Before endOfFile(): the title the page gives itself, for the first
    // line; without it, the headings and the document's title decide.
    void setOwnTitle(OwnTitle title) { ownTitle_ = std::move(title); }

    const ArticleChoice &choice() const { return choice_; }

private:
    // The bytes the memory bound allows the tree and the choice.
    std::size_t allowedBytes() const;

    struct State;
    std::unique_ptr<State> state_;
    TrimmedLines sink_; // the text goes out through it
    RenderOptions options_;
    ArticleOptions article_;
    ArticleChoice choice_;
    OwnTitle ownTitle_;
    std::size_t pageBytes_ = 0;
};

} // namespace quillan::text::article
