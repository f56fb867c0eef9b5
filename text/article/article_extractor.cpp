#include "text/article/article_extractor.h"

#include "base/utf8.h"
#include "text/article/document_walk.h"
#include "text/article/name_hints.h"
#include "text/article/page_tree.h"
#include "text/readable/elements.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <optional>

namespace quillan::text::article {
namespace {

using article::kNoNode;
using article::PageNode;
using article::PageTree;

// A result under this many characters makes the extractor try again with
// fewer rules.
constexpr std::size_t kEnoughCharacters = 250;
constexpr std::size_t kMinParagraph = 25;
// A paragraph of prose: at least this many characters, less than half of
// them link text. Past the last one, a line of links shorter than
// kClosingLine is the site's.
constexpr std::uint32_t kProse = 100;
constexpr std::uint32_t kClosingLine = 80;
// A figure's caption shorter than this is a line or two on the picture.
constexpr std::uint32_t kCaption = 150;
// The article element of the page's title holds at least this many
// characters to stand for the article: a few paragraphs, not a headline
// in a box of its own.
constexpr std::uint32_t kTitledArticle = 2 * kProse;
// A box whose names say boilerplate but which holds the title's h1 and at
// least this many characters is the page's article in a box named for its
// place (a page header, a modal the article opens in).
constexpr std::uint32_t kArticleBox = 10 * kProse;

// The thresholds the choice leans on, as the bias sets them: where a block
// could go either way, the balanced choice, a cleaner one or a fuller one.
struct Leaning {
    // Siblings of the best container join when they score at least this
    // share of its score, and at least `siblingFloor`.
    double siblingShare, siblingFloor;
    // Or when they are prose: longer than this, with less link text.
    std::uint32_t proseLength;
    double proseDensity;
    // The best container widens to an ancestor that scores at least the
    // last one's score divided by `ancestorDivisor`; to one that several
    // strong containers share when three of them score at least
    // `closeShare` of the best (`closeShareFewerRules` when the attempt
    // leaves boilerplate in place: its boxes of links and buttons then
    // score too, and only parts closer to the best stand for the content).
    double ancestorDivisor, closeShare, closeShareFewerRules;
    // Inside, lists with more link text than this share are dropped; tables
    // and boxes named for content by `boxDensity`, other boxes under 1000
    // characters by `bodyDensity`; blocks shorter than `shortBlock`
    // characters with nothing else; paragraphs with negative names shorter
    // than `metaLength`.
    double listDensity, boxDensity, bodyDensity;
    std::uint32_t shortBlock, metaLength;
};

// A page's content is most often in parts of about the same weight (an
// intro and the text's sections, a product's description and its tabs, a
// company's paragraphs under their own headings), each scoring from 60% of
// the best part up: three such parts that share an ancestor make it the
// content. A sibling joins from 15% of the best's score.
constexpr Leaning kBalanced{0.15, 10, 80, 0.25, 3, 0.6, 0.75, 0.6, 0.5, 0.2, kMinParagraph, 100};

// Cleaner: lists, tables and boxes with less link text go, and so do short
// blocks and lines of metadata that are a little longer.
constexpr Leaning kPrecision{0.2, 10, 80, 0.25, 3, 0.75, 0.75, 0.4, 0.35, 0.1, 40, 150};
// Fuller: weaker siblings and shorter prose join, and the content widens to
// ancestors and shared regions more readily.
constexpr Leaning kRecall{0.15, 7, 60, 0.3, 4, 0.6, 0.6, 0.6, 0.5, 0.2, kMinParagraph, 100};

const Leaning &leaningOf(Bias bias)
{
    switch (bias) {
    case Bias::Precision: return kPrecision;
    case Bias::Recall: return kRecall;
    case Bias::Balanced: break;
    }
    return kBalanced;
}

// The rules of one attempt.
struct Rules {
    bool setAsideUnlikely;
    bool weighNames;
    bool cleanInside;
    std::uint32_t minParagraph; // characters of a block that counts as a paragraph

    // The first attempt's: boilerplate set aside, names weighed, the content
    // cleaned, paragraphs of kMinParagraph characters.
    bool all() const { return setAsideUnlikely && weighNames && cleanInside && minParagraph == kMinParagraph; }
};
// The last attempt is for pages without prose (listings, indexes): every
// block with text counts, so the region with the most entries wins.
constexpr std::array kAttempts{Rules{true, true, true, kMinParagraph}, Rules{false, true, true, kMinParagraph},
                               Rules{false, false, true, kMinParagraph}, Rules{false, false, false, kMinParagraph},
                               Rules{true, true, false, 1}};

// What the boxes (the containers the cleaning inside the content judges)
// hold besides text, for those that hold any of it.
struct Box {
    std::uint32_t node;
    std::uint32_t commas, titleLinks; // titleLinks: link text inside headings
    std::uint32_t sectionTitles;      // text inside headings of sections (h2 to h6)
    std::uint32_t paragraphs, images, inputs, embeds;
};

enum MeasureFlag : std::uint8_t {
    kSetAside = 1,
    kHasBlockChild = 2,
    kSentenceEnd = 4, // its text outside nested blocks ends a sentence
    kOneChild = 8,    // it has one child element
};

// Text measures of the nodes' subtrees under one attempt's rules: per node
// what the choice reads of any node, and the boxes' other counts.
struct Measures {
    std::vector<std::uint32_t> text, linkText;
    // A paragraph's points for its containers (its text outside nested
    // blocks is long enough for the rules), 0: none. The scoring reads them
    // and keeps its own in their place.
    std::vector<std::uint32_t> points;
    std::vector<std::uint8_t> flags;
    std::vector<Box> boxes; // in node order

    bool setAside(std::uint32_t n) const { return (flags[n] & kSetAside) != 0; }
    bool hasBlockChild(std::uint32_t n) const { return (flags[n] & kHasBlockChild) != 0; }
    Box box(std::uint32_t n) const
    {
        const auto it = std::lower_bound(boxes.begin(), boxes.end(), n,
                                         [](const Box &b, std::uint32_t node) { return b.node < node; });
        return it != boxes.end() && it->node == n ? *it : Box{n, 0, 0, 0, 0, 0, 0, 0};
    }
};

using CountsCursor = PageTree::CountsCursor;

// A decision as the choice notes it: by node, with the figure the rule
// weighed and the bar it was held against.
struct Noted {
    Verdict verdict;
    Rule rule;
    std::uint32_t node;
    double figure = 0, bar = 0;
};

// The account of one attempt, noted where its decisions are made
// (Account::Keep; without it there is no recorder).
class Recorder {
public:
    void note(Verdict verdict, Rule rule, std::uint32_t node, double figure = 0, double bar = 0)
    {
        noted.push_back({verdict, rule, node, figure, bar});
    }
    std::vector<Noted> noted;
};

// A node set aside for what the page hides, rather than for what its
// element is (script, style, audio, svg, select: never shown as text).
bool hiddenByPage(const PageNode &n)
{
    return n.silent && (readable::FlagsOf(n.element) & (readable::kNotDisplayed | readable::kNoContent)) == 0 &&
           n.element != Element::Svg && n.element != Element::Select;
}

// Blocks, and table cells, which lay out as blocks too (rows and row groups
// only pass a cell's points on to its table).
bool isBlock(const PageNode &n)
{
    return n.block;
}

bool isTablePart(Element e)
{
    return e == Element::Td || e == Element::Th || e == Element::Tr || e == Element::Tbody || e == Element::Thead ||
           e == Element::Tfoot || e == Element::Li || e == Element::Dd || e == Element::Dt;
}

// Blocks whose text counts as a paragraph for their container.
constexpr bool paragraphElement(Element e)
{
    switch (e) {
    case Element::Li:
    case Element::Dt:
    case Element::Dd:
    case Element::H1:
    case Element::H2:
    case Element::H3:
    case Element::H4:
    case Element::H5:
    case Element::H6:
    case Element::Th:
    case Element::Caption:
    case Element::Option:
    case Element::Summary:
    case Element::Legend:
    case Element::Body:
    case Element::Html:
    case Element::Head:
    case Element::Tr:
    case Element::Tbody:
    case Element::Thead:
    case Element::Tfoot:
    case Element::Table:
    case Element::Ul:
    case Element::Ol:
    case Element::Dl:
    case Element::Select: return false;
    default: return true;
    }
}

// The containers the cleaning inside the content judges by their counts.
constexpr bool boxElement(Element e)
{
    switch (e) {
    case Element::Table:
    case Element::Td:
    case Element::Ul:
    case Element::Ol:
    case Element::Dl:
    case Element::Div:
    case Element::Section:
    case Element::Form:
    case Element::Header:
    case Element::Fieldset:
    case Element::Center:
    case Element::Figure: return true;
    default: return false;
    }
}

// Whether an element is paragraph-like or a box, looked up.
enum ElementKind : std::uint8_t { kIsParagraphLike = 1, kIsBox = 2 };
constexpr std::array<std::uint8_t, 256> kKinds = [] {
    std::array<std::uint8_t, 256> kinds{};
    for (std::size_t i = 0; i < static_cast<std::size_t>(Element::Count); ++i) {
        const auto e = static_cast<Element>(i);
        kinds[i] =
            static_cast<std::uint8_t>((paragraphElement(e) ? kIsParagraphLike : 0) | (boxElement(e) ? kIsBox : 0));
    }
    return kinds;
}();

bool paragraphLike(Element e)
{
    return (kKinds[static_cast<std::size_t>(e)] & kIsParagraphLike) != 0;
}

bool isBox(Element e)
{
    return (kKinds[static_cast<std::size_t>(e)] & kIsBox) != 0;
}

// One pass in node order: the nodes whose subtrees are still open are on a
// stack (set aside ones never), and each adds its sums to its parent's as it
// leaves.
// `m` holds the last attempt's, its storage used again. `recorder` (may be
// null) notes the subtrees set aside.
// `articleBoxes`: boxes whose names say boilerplate that are not set aside
// for them (articleBoxes()).
void measure(const PageTree &tree, const Rules &rules, const std::vector<std::uint32_t> &articleBoxes, Measures &m,
             Recorder *recorder)
{
    const auto &nodes = tree.nodes();
    const std::size_t count = nodes.size();
    m.text.assign(count, 0);
    m.linkText.assign(count, 0);
    m.points.assign(count, 0);
    m.flags.assign(count, 0);
    m.boxes.clear();
    struct Open {
        std::uint32_t node;
        bool inHeading = false, inSectionTitle = false, hasBlockChild = false, sentenceEnd = false;
        std::uint32_t text = 0, linkText = 0, titleLinks = 0, sectionTitles = 0, commas = 0;
        std::uint32_t inlineText = 0, inlineCommas = 0; // outside nested blocks
        std::uint32_t paragraphs = 0, images = 0, inputs = 0, embeds = 0, children = 0;
        std::uint32_t breaks = 0; // br children
    };
    std::vector<Open> open;
    CountsCursor counts(tree);
    const std::vector<std::uint32_t> &dialogs = tree.dialogs();
    auto dialog = dialogs.begin();
    // The document's own text is outside every element that can be chosen.
    {
        const article::NodeCounts own = counts.at(0);
        Open document{0};
        document.images = own.images;
        document.children = own.otherChildren;
        document.breaks = own.breaks;
        open.push_back(document);
    }
    auto leave = [&] {
        Open &e = open.back();
        const PageNode &n = nodes[e.node];
        const bool block = isBlock(n);
        // Paragraphs: p and pre, and in a block that holds a paragraph's
        // worth of loose text, that text's runs between pairs of line breaks.
        if (n.element == Element::P || n.element == Element::Pre)
            e.paragraphs += 1;
        else if (block && paragraphLike(n.element) && e.inlineText >= kMinParagraph)
            e.paragraphs += 1 + e.breaks / 2;
        m.text[e.node] = e.text;
        m.linkText[e.node] = e.linkText;
        m.flags[e.node] =
            static_cast<std::uint8_t>((e.hasBlockChild ? kHasBlockChild : 0) | (e.sentenceEnd ? kSentenceEnd : 0) |
                                      (e.children == 1 ? kOneChild : 0));
        if (block && paragraphLike(n.element) && e.inlineText >= rules.minParagraph)
            m.points[e.node] = 1 + e.inlineCommas + std::min(e.inlineText / 100u, 3u);
        if (isBox(n.element) &&
            (e.commas | e.titleLinks | e.sectionTitles | e.paragraphs | e.images | e.inputs | e.embeds) != 0)
            m.boxes.push_back(
                {e.node, e.commas, e.titleLinks, e.sectionTitles, e.paragraphs, e.images, e.inputs, e.embeds});
        if (open.size() == 1) {
            open.pop_back();
            return;
        }
        Open &p = open[open.size() - 2];
        p.text += e.text;
        p.linkText += e.linkText;
        p.titleLinks += e.titleLinks;
        p.sectionTitles += e.sectionTitles;
        p.commas += e.commas;
        p.paragraphs += e.paragraphs;
        p.breaks += n.element == Element::Br && !n.wrapped;
        p.images += e.images + (n.element == Element::Img);
        p.inputs += e.inputs + (n.element == Element::Input || n.element == Element::Textarea ||
                                n.element == Element::Select || n.element == Element::Button);
        p.embeds += e.embeds + (n.element == Element::Iframe || n.element == Element::Embed ||
                                n.element == Element::Object || n.element == Element::Video);
        p.children += n.wrapped ? 0 : 1;
        if (block) {
            p.hasBlockChild = true;
        } else {
            // An inline element's blocks lay out as its parent's.
            p.hasBlockChild = p.hasBlockChild || e.hasBlockChild;
            p.inlineText += e.inlineText;
            p.inlineCommas += e.inlineCommas;
            p.sentenceEnd = p.sentenceEnd || e.sentenceEnd;
        }
        open.pop_back();
    };
    // One round past the last node closes all.
    for (std::size_t i = 1; i <= count; ++i) {
        const std::uint32_t parent = i < count ? nodes[i].parent : kNoNode;
        while (!open.empty() && open.back().node != parent)
            leave();
        if (i == count)
            break;
        const PageNode &n = nodes[i];
        // A dialog or a consent notice is set aside whatever the rules.
        while (dialog != dialogs.end() && *dialog < i)
            ++dialog;
        const bool isDialog = dialog != dialogs.end() && *dialog == i;
        bool setAside =
            n.silent || isDialog ||
            (rules.setAsideUnlikely && n.unlikely && n.element != Element::Body && n.element != Element::Html &&
             std::find(articleBoxes.begin(), articleBoxes.end(), i) == articleBoxes.end());
        if (rules.setAsideUnlikely &&
            (n.element == Element::Nav || n.element == Element::Aside || n.element == Element::Footer))
            setAside = true;
        if (setAside) {
            if (recorder && (!n.silent || hiddenByPage(n)))
                recorder->note(Verdict::SetAside,
                               n.silent     ? Rule::Hidden
                               : isDialog   ? Rule::Dialog
                               : n.unlikely ? Rule::Names
                                            : Rule::Element,
                               static_cast<std::uint32_t>(i));
            // It and its subtree (the nodes after it whose parents are in
            // it) count for nothing, and nothing of them goes up.
            const std::size_t top = i;
            m.flags[i] = kSetAside;
            while (i + 1 < count && nodes[i + 1].parent >= top)
                m.flags[++i] = kSetAside;
            continue;
        }
        const article::NodeCounts own = counts.at(static_cast<std::uint32_t>(i));
        const bool parentInHeading = open.back().inHeading;
        const bool parentInSectionTitle = open.back().inSectionTitle;
        Open &e = open.emplace_back(Open{static_cast<std::uint32_t>(i)});
        e.text = e.inlineText = own.text;
        e.images = own.images;
        e.children = own.otherChildren;
        e.breaks = own.breaks;
        e.linkText = own.linkText;
        e.inHeading = parentInHeading || n.heading;
        e.titleLinks = e.inHeading ? own.linkText : 0;
        e.inSectionTitle = parentInSectionTitle || (n.heading && n.element != Element::H1);
        e.sectionTitles = e.inSectionTitle ? own.text : 0;
        e.commas = e.inlineCommas = own.commas;
        e.sentenceEnd = n.sentenceEnd;
    }
    // They came as their subtrees ended.
    const auto byNode = [](const Box &a, const Box &b) { return a.node < b.node; };
    if (!std::is_sorted(m.boxes.begin(), m.boxes.end(), byNode))
        std::sort(m.boxes.begin(), m.boxes.end(), byNode);
}

double linkDensity(const Measures &m, std::uint32_t n)
{
    return m.text[n] == 0 ? 0.0 : static_cast<double>(m.linkText[n]) / m.text[n];
}

double elementScore(Element e)
{
    switch (e) {
    case Element::Div:
    case Element::Article:
    case Element::Main:
    case Element::Section: return 5;
    case Element::Pre:
    case Element::Td:
    case Element::Blockquote: return 3;
    case Element::Address:
    case Element::Ol:
    case Element::Ul:
    case Element::Dl:
    case Element::Dd:
    case Element::Dt:
    case Element::Li:
    case Element::Form: return -3;
    case Element::H1:
    case Element::H2:
    case Element::H3:
    case Element::H4:
    case Element::H5:
    case Element::H6:
    case Element::Th: return -5;
    default: return 0;
    }
}

bool isAncestor(const std::vector<PageNode> &nodes, std::uint32_t ancestor, std::uint32_t node)
{
    for (std::uint32_t n = node; n != kNoNode; n = nodes[n].parent)
        if (n == ancestor)
            return true;
    return false;
}

// Where a node's subtree ends: the nodes come in page order, so its
// subtree is it and the nodes right after it whose parents are in it.
std::size_t subtreeEnd(const std::vector<PageNode> &nodes, std::size_t top)
{
    std::size_t end = top + 1;
    while (end < nodes.size() && nodes[end].parent >= top && nodes[end].parent != kNoNode)
        ++end;
    return end;
}

// One attempt's result: which nodes are shown.
enum Mark : std::uint8_t {
    kShown = 1,
    kRoot = 2, // the top of a chosen part
};
struct Selection {
    std::vector<std::uint8_t> marks; // per node
    std::size_t characters = 0;
    bool shown(std::uint32_t n) const { return (marks[n] & kShown) != 0; }
    bool root(std::uint32_t n) const { return (marks[n] & kRoot) != 0; }
};

// The tables of data rather than of layout (a table with headers or a
// caption, ten rows, five columns or more than ten cells, and no table
// inside it), in node order.
std::vector<std::uint32_t> dataTables(const std::vector<PageNode> &nodes)
{
    constexpr std::uint8_t kHeaders = 1, kNested = 2;
    struct Table {
        std::uint32_t node;
        std::uint32_t rows = 0, cells = 0, widest = 0;
        std::uint8_t data = 0; // headers or a table inside
    };
    std::vector<Table> tables;
    // The nodes whose subtrees are open: each with the table its children
    // are in (an index in tables) and, for a row, its cells so far.
    struct Open {
        std::uint32_t node;
        std::uint32_t table;
        std::uint32_t rowCells;
    };
    std::vector<Open> open{{0, kNoNode, 0}};
    for (std::size_t i = 1; i < nodes.size(); ++i) {
        const std::uint32_t p = nodes[i].parent;
        while (open.back().node != p)
            open.pop_back();
        Open &parent = open.back();
        const std::uint32_t table = parent.table;
        const Element e = nodes[i].element;
        if (table != kNoNode) {
            Table &t = tables[table];
            switch (e) {
            case Element::Table: t.data |= kNested; break;
            case Element::Tr: ++t.rows; break;
            case Element::Th: t.data |= kHeaders; [[fallthrough]];
            case Element::Td:
                ++t.cells;
                if (nodes[p].element == Element::Tr)
                    t.widest = std::max(t.widest, ++parent.rowCells);
                break;
            case Element::Caption:
            case Element::Thead: t.data |= kHeaders; break;
            default: break;
            }
        }
        std::uint32_t inner = table;
        if (e == Element::Table) {
            inner = static_cast<std::uint32_t>(tables.size());
            tables.push_back({static_cast<std::uint32_t>(i)});
        }
        open.push_back({static_cast<std::uint32_t>(i), inner, 0});
    }
    std::vector<std::uint32_t> data;
    for (const Table &t : tables)
        if (!(t.data & kNested) && ((t.data & kHeaders) || t.rows >= 10 || t.widest > 4 || t.cells > 10))
            data.push_back(t.node);
    return data;
}

// Below every score a node can have.
constexpr double kNoScore = -1e30;

struct Scored {
    std::uint32_t node;
    double score;
};

// The storage of the attempts, one after the other, sized at once for the
// most any of them needs (a box for each box element, a score for each
// block that holds a node: only containers are scored): it never grows, so
// it never holds an old copy beside a new one, and what it does not use is
// never written, so costs no memory.
class Workspace {
public:
    explicit Workspace(const std::vector<PageNode> &nodes) : nodes_(nodes.size())
    {
        std::vector<bool> holds(nodes.size());
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            const PageNode &n = nodes[i];
            boxes_ += isBox(n.element) ? 1 : 0;
            if (i > 0 && !holds[n.parent]) {
                holds[n.parent] = true;
                blocks_ += isBlock(nodes[n.parent]) ? 1 : 0;
            }
        }
    }
    // The most the attempts write, two selections of the nodes included.
    std::size_t mostBytes() const
    {
        constexpr std::size_t perNode = 3 * sizeof(std::uint32_t) + sizeof(std::uint8_t) + 2 * sizeof(std::uint8_t);
        return nodes_ * perNode + boxes_ * sizeof(Box) + blocks_ * sizeof(Scored);
    }
    void reserve()
    {
        measures.text.reserve(nodes_);
        measures.linkText.reserve(nodes_);
        measures.points.reserve(nodes_);
        measures.flags.reserve(nodes_);
        measures.boxes.reserve(boxes_);
        scored.reserve(blocks_);
    }

    void release()
    {
        measures = Measures();
        std::vector<Scored>().swap(scored);
    }

    Measures measures;
    std::vector<Scored> scored;

private:
    std::size_t nodes_ = 0, boxes_ = 0, blocks_ = 0;
};

class Chooser {
public:
    // `dataTables` as dataTables() gives them for the tree.
    // `work`: reserve()d, for one attempt after another. `recorder` (may be
    // null) notes the attempt's decisions. `titleHeading`: the h1 that
    // matches the document's title, kNoNode for none. `pictures`: the
    // text shows the pictures (Markdown with its images). `addresses`: the
    // text shows where its links lead (Markdown, or numbered links).
    // `articleBoxes`: as articleBoxes() gives them.
    Chooser(const PageTree &tree, const Rules &rules, const Leaning &leaning,
            const std::vector<std::uint32_t> &dataTables, Workspace &work, Recorder *recorder,
            std::uint32_t titleHeading, bool pictures, bool addresses, const std::vector<std::uint32_t> &articleBoxes)
        : tree_(tree), nodes_(tree.nodes()), rules_(rules), lean_(leaning), m_(work.measures), scored_(work.scored),
          dataTables_(dataTables), recorder_(recorder), titleHeading_(titleHeading), pictures_(pictures),
          addresses_(addresses)
    {
        measure(tree, rules, articleBoxes, m_, recorder);
    }

    Selection choose()
    {
        score();
        std::uint32_t top = best();
        Selection s;
        s.marks.assign(nodes_.size(), 0);
        if (top == kNoNode)
            return s;
        note(Verdict::Chosen, Rule::BestScore, top, scoreOrZero(top));
        top = widen(top);
        for (std::uint32_t part : withSiblings(top))
            s.marks[part] |= kRoot;
        CountsCursor counts(tree_);
        for (std::size_t i = 1; i < nodes_.size(); ++i) {
            const std::uint32_t p = nodes_[i].parent;
            const auto n = static_cast<std::uint32_t>(i);
            const bool inside = s.root(n) || s.shown(p);
            if (!inside || m_.setAside(n))
                continue;
            if (!s.root(n) && rules_.cleanInside) {
                if (const std::optional<Rule> drop = boilerplate(n)) {
                    noteDrop(*drop, n);
                    continue;
                }
            }
            s.marks[i] |= kShown;
            s.characters += nodes_[i].silent ? 0 : counts.at(n).text;
        }
        if (rules_.cleanInside)
            dropClosingLines(s);
        return s;
    }

private:
    void note(Verdict verdict, Rule rule, std::uint32_t node, double figure = 0, double bar = 0) const
    {
        if (recorder_)
            recorder_->note(verdict, rule, node, figure, bar);
    }
    // A block dropped inside the content, with what its rule weighed.
    void noteDrop(Rule rule, std::uint32_t n) const
    {
        if (!recorder_)
            return;
        const Box box = m_.box(n);
        switch (rule) {
        case Rule::LinkDensity: note(Verdict::Dropped, rule, n, linkDensity(m_, n), m_.text[n]); break;
        case Rule::FormControls: note(Verdict::Dropped, rule, n, box.inputs, box.paragraphs); break;
        case Rule::Pictures: note(Verdict::Dropped, rule, n, box.images, box.paragraphs); break;
        default: note(Verdict::Dropped, rule, n, m_.text[n]); break;
        }
    }

    // What closes the content past its last paragraph of prose is most
    // often the site's: a link back to the list or on to another page, and
    // the headings of boxes of links, buttons or forms the cleaning left
    // out. Its lines (blocks without blocks inside, headings, links loose
    // between blocks) are read from the end: short lines mostly of links
    // go (not links within the page), and so do headings with nothing
    // kept below them before the next heading of their rank or a higher
    // one (but for headings that end a sentence). Before that, inside the
    // text, a short line that points to another page with words of its own
    // ("Read more: ...", "Czytaj też: ...") goes too (pointerLine()), when
    // the text does not show where links lead.
    void dropClosingLines(Selection &s) const
    {
        struct Line {
            std::uint32_t node;
            bool heading;
        };
        std::vector<Line> lines;
        std::size_t afterProse = 0; // the lines past the last paragraph of prose start here
        bool prose = false;
        for (std::size_t i = 1; i < nodes_.size(); ++i) {
            const auto n = static_cast<std::uint32_t>(i);
            const PageNode &node = nodes_[i];
            if (!s.shown(n) || node.silent || m_.text[n] == 0)
                continue;
            const bool line = node.heading || (isBlock(node) && !m_.hasBlockChild(n)) || looseLine(s, n);
            if (!line)
                continue;
            lines.push_back({n, node.heading});
            if (!node.heading && m_.text[n] >= kProse && m_.linkText[n] * 2 < m_.text[n]) {
                prose = true;
                afterProse = lines.size();
            }
            // A line's own lines are part of it.
            i = subtreeEnd(nodes_, i) - 1;
        }
        if (!prose)
            return;
        for (std::size_t k = 0; k < afterProse && !addresses_; ++k)
            if (!lines[k].heading && pointerLine(lines[k].node) &&
                !(k + 1 < lines.size() && introducesQuote(lines[k].node, lines[k + 1].node)))
                drop(s, lines[k].node, Rule::PointerLine);
        // By rank (h1: 0): a line kept below, before the next heading of
        // that rank or a higher one.
        std::array<bool, 6> keptBelow{};
        for (std::size_t k = lines.size(); k-- > afterProse;) {
            const std::uint32_t n = lines[k].node;
            if (lines[k].heading) {
                const auto rank = static_cast<std::size_t>(
                    std::clamp(static_cast<int>(nodes_[n].element) - static_cast<int>(Element::H1), 0, 5));
                // A heading that is a sentence is the text's own (a quote
                // set large), not the title of a box.
                if (!keptBelow[rank] && !nodes_[n].sentenceEnd)
                    drop(s, n, Rule::ClosingHeading);
                std::fill(keptBelow.begin() + static_cast<std::ptrdiff_t>(rank), keptBelow.end(), false);
            } else if (linkLine(n)) {
                drop(s, n, Rule::ClosingLinks);
            } else {
                keptBelow.fill(true);
            }
        }
    }

    // A short line mostly of links, none of them within the page.
    bool linkLine(std::uint32_t n) const
    {
        return m_.text[n] < kClosingLine && m_.linkText[n] * 2 >= m_.text[n] && !holdsInPageLink(n);
    }

    // A line of links with words of their own besides, in any language: a
    // label that sends the reader to another page ("Read more: <a>",
    // "Lesen Sie auch: <a>", "<a> - see also"), set between the text's
    // paragraphs. A link alone on its line may be the text's own (the
    // document it speaks of, a source), and stays. Where the text shows
    // the links' addresses (Markdown, numbered links) such a line is a
    // link the reader can follow, and stays too: only in plain text is it
    // a pointer to nowhere.
    bool pointerLine(std::uint32_t n) const { return linkLine(n) && m_.linkText[n] < m_.text[n]; }

    // Whether `line` introduces a quotation: the line after it is in a
    // blockquote it is not in ("Here's what she wrote: <a>source</a>:").
    bool introducesQuote(std::uint32_t line, std::uint32_t next) const
    {
        const std::uint32_t quote = enclosing(next, Element::Blockquote);
        return quote != kNoNode && !isAncestor(nodes_, quote, line);
    }

    // An element loose between blocks (not inside one of its own) stands
    // as a line of its own, unless its block holds a paragraph's worth of
    // loose text besides: it is then a part of that text (a link in a
    // sentence of text set between line breaks).
    bool looseLine(const Selection &s, std::uint32_t n) const
    {
        const PageNode &node = nodes_[n];
        if (isBlock(node) || s.root(n) || !m_.hasBlockChild(node.parent) || !isBlock(nodes_[node.parent]))
            return false;
        return tree_.countsOf(node.parent).text < kMinParagraph;
    }

    // A list whose links all lead to places in the page itself: the
    // article's table of contents, not the site's navigation.
    bool contentsList(std::uint32_t n) const
    {
        bool any = false;
        for (std::size_t k = n + 1, end = subtreeEnd(nodes_, n); k < end; ++k) {
            if (nodes_[k].element != Element::A || m_.linkText[k] == 0)
                continue;
            if (!nodes_[k].inPage)
                return false;
            any = true;
        }
        return any;
    }

    // Whether a node is or holds a link to a place in the page itself
    // ("continue reading", "to the top"): the reader stays in the text.
    bool holdsInPageLink(std::uint32_t n) const
    {
        for (std::size_t k = n, end = subtreeEnd(nodes_, n); k < end; ++k)
            if (nodes_[k].inPage)
                return true;
        return false;
    }

    // Leaves a shown node out with its subtree.
    void drop(Selection &s, std::uint32_t n, Rule rule) const
    {
        if (rule == Rule::ClosingLinks || rule == Rule::PointerLine)
            note(Verdict::Dropped, rule, n, linkDensity(m_, n), m_.text[n]);
        else
            note(Verdict::Dropped, rule, n, m_.text[n]);
        for (std::size_t k = n, end = subtreeEnd(nodes_, n); k < end; ++k) {
            const auto c = static_cast<std::uint32_t>(k);
            if (!s.shown(c))
                continue;
            s.marks[k] &= static_cast<std::uint8_t>(~kShown);
            s.characters -= nodes_[k].silent ? 0 : tree_.countsOf(c).text;
        }
    }

    // The node's score, null when it has none.
    const double *scoreOf(std::uint32_t n) const
    {
        return m_.points[n] == 0 ? nullptr : &scored_[m_.points[n] - 1].score;
    }
    double scoreOrZero(std::uint32_t n) const
    {
        const double *score = scoreOf(n);
        return score ? *score : 0.0;
    }

    // Each paragraph's points go to the block containers above it. A
    // container's entry in scored_ is in the points of its node, which are
    // read before (a container comes before its content).
    void score()
    {
        std::vector<std::uint32_t> &slot = m_.points; // 0: none, else the entry + 1
        scored_.clear();
        for (std::size_t i = 1; i < nodes_.size(); ++i) {
            const std::uint32_t own = slot[i];
            slot[i] = 0;
            if (own == 0 || m_.setAside(static_cast<std::uint32_t>(i)))
                continue;
            const double points = own;
            const PageNode &n = nodes_[i];
            // Inline elements such as font or span hold no article.
            std::uint32_t at =
                m_.hasBlockChild(static_cast<std::uint32_t>(i)) ? static_cast<std::uint32_t>(i) : n.parent;
            for (int level = 0; level < 3 && at != 0 && at != kNoNode; at = nodes_[at].parent) {
                const PageNode &c = nodes_[at];
                if (c.element == Element::Html)
                    break;
                if (!isBlock(c))
                    continue;
                if (slot[at] == 0) {
                    scored_.push_back({at, elementScore(c.element) + (rules_.weighNames ? c.classWeight : 0)});
                    slot[at] = static_cast<std::uint32_t>(scored_.size());
                }
                scored_[slot[at] - 1].score += level == 0 ? points : level == 1 ? points / 2 : points / (level * 3);
                ++level;
            }
        }
        for (Scored &s : scored_)
            s.score *= 1.0 - linkDensity(m_, s.node);
    }

    // The best score's node, the first in node order of equals.
    std::uint32_t best() const
    {
        const Scored *top = nullptr;
        for (const Scored &s : scored_)
            if (!top || s.score > top->score || (s.score == top->score && s.node < top->node))
                top = &s;
        return top ? top->node : kNoNode;
    }

    bool stop(std::uint32_t n) const
    {
        return n == 0 || n == kNoNode || nodes_[n].element == Element::Body || nodes_[n].element == Element::Html;
    }

    // The best container, or an ancestor that holds it and scores nearly
    // as well, or that several other strong containers share.
    std::uint32_t widen(std::uint32_t top)
    {
        if (stop(top))
            return top;
        std::vector<std::uint32_t> close;
        const double topScore = scoreOrZero(top);
        const double share = rules_.all() ? lean_.closeShare : lean_.closeShareFewerRules;
        for (const Scored &s : scored_)
            if (s.node != top && s.score >= share * topScore)
                close.push_back(s.node);
        if (close.size() >= 3) {
            for (std::uint32_t a = nodes_[top].parent; !stop(a); a = nodes_[a].parent) {
                int holds = 0;
                for (std::uint32_t c : close)
                    holds += isAncestor(nodes_, a, c) ? 1 : 0;
                if (holds >= 3) {
                    top = a;
                    note(Verdict::Widened, Rule::CloseScores, top, holds, share);
                    break;
                }
            }
        }
        // An article element is where the article ends: the walk does not
        // pass it (around it, what scores better is the page's other text:
        // the section's teasers, a caption strip, the heading of a list).
        double last = scoreOrZero(top);
        const double threshold = last / lean_.ancestorDivisor;
        std::uint32_t bound = nodes_[top].element == Element::Article ? top : kNoNode;
        for (std::uint32_t a = nodes_[top].parent; !stop(a); a = nodes_[a].parent) {
            const double *score = scoreOf(a);
            if (!score)
                continue;
            if (*score < threshold)
                break;
            if (*score > last) {
                if (bound != kNoNode) {
                    note(Verdict::KeptWithin, Rule::ArticleBound, bound, *score);
                    break;
                }
                top = a;
                note(Verdict::Widened, Rule::BetterAncestor, top, *score);
                break;
            }
            last = *score;
            if (nodes_[a].element == Element::Article)
                bound = a;
        }
        // A page laid out in a table: a container that holds most of its
        // cell's text stands for the cell, so that the other cells of the
        // table can join it as the article's parts.
        if (nodes_[top].element != Element::Td) {
            const std::uint32_t cell = enclosing(top, Element::Td);
            if (cell != kNoNode && enclosing(top, Element::Table) == enclosing(cell, Element::Table) &&
                m_.text[top] * 4 >= m_.text[cell] * 3) {
                top = cell;
                note(Verdict::Widened, Rule::TableCell, top);
            }
        }
        // An article element says where the article is: when the best
        // container lies in one and holds most of its text, the rest of it
        // is the article's heading, summary and end matter.
        if (nodes_[top].element != Element::Article) {
            const std::uint32_t article = enclosing(top, Element::Article);
            if (article != kNoNode && !m_.setAside(article) && m_.text[top] * 3 >= m_.text[article] * 2) {
                top = article;
                note(Verdict::Widened, Rule::ArticleElement, top);
            }
        }
        // A page that holds several articles (the next ones of the site,
        // loaded ahead, or teasers set as articles) names its own with its
        // title: when the article element of the h1 that matches the
        // document's title is another than the best container's, and holds
        // a few paragraphs' worth of text, that is the article.
        if (titleHeading_ != kNoNode) {
            const std::uint32_t own = nodes_[top].element == Element::Article ? top : enclosing(top, Element::Article);
            const std::uint32_t titled = enclosing(titleHeading_, Element::Article);
            if (titled != kNoNode && titled != own && !m_.setAside(titled) && m_.text[titled] >= kTitledArticle &&
                !isAncestor(nodes_, top, titled)) {
                top = titled;
                titledArticle_ = true;
                note(Verdict::Widened, Rule::TitledArticle, top, m_.text[titled]);
            }
        }
        // A container that is its parent's only content stands for it; but
        // a cell stays a cell unless its table has no other.
        std::uint32_t only = top;
        while (!stop(nodes_[only].parent) && (m_.flags[nodes_[only].parent] & kOneChild))
            only = nodes_[only].parent;
        if (nodes_[top].element == Element::Td && only != top && isAncestor(nodes_, only, top) &&
            !isAncestor(nodes_, only, enclosing(top, Element::Table)))
            return top;
        if (only != top)
            note(Verdict::Widened, Rule::OnlyContent, only);
        return only;
    }

    std::vector<std::uint32_t> withSiblings(std::uint32_t top) const
    {
        const std::uint32_t parent = nodes_[top].parent;
        if (stop(top) || parent == kNoNode)
            return {top};
        const double topScore = scoreOrZero(top);
        const std::uint32_t topClass = tree_.classHash(top);
        const double threshold = std::max(lean_.siblingFloor, topScore * lean_.siblingShare);
        // A cell's siblings are the cells of its table (a page laid out
        // in a table puts the parts of its article in rows of their own).
        const bool cell = nodes_[top].element == Element::Td;
        const std::uint32_t table = cell ? enclosing(top, Element::Table) : kNoNode;
        std::vector<std::uint32_t> parts;
        // The last sibling before it with text that did not join: its lede,
        // when that is a box of a few sentences.
        std::uint32_t before = kNoNode;
        const std::uint32_t first = table != kNoNode ? table + 1 : top > 0 ? parent + 1 : 1;
        for (std::size_t i = first; i < nodes_.size(); ++i) {
            const PageNode &n = nodes_[i];
            if (m_.setAside(static_cast<std::uint32_t>(i)))
                continue;
            if (table != kNoNode) {
                if (n.element != Element::Td || enclosing(static_cast<std::uint32_t>(i), Element::Table) != table)
                    continue;
            } else if (n.parent != parent) {
                continue;
            }
            const auto c = static_cast<std::uint32_t>(i);
            if (c == top) {
                if (before != kNoNode && table == kNoNode && lede(before)) {
                    parts.push_back(before);
                    note(Verdict::Joined, Rule::Lede, before, linkDensity(m_, before), m_.text[before]);
                }
                parts.push_back(c);
                continue;
            }
            // The article its title names is the page's: the others beside
            // it are not its parts.
            if (titledArticle_ && holdsElement(c, Element::Article))
                continue;
            const double bonus = topClass != 0 && tree_.classHash(c) == topClass ? topScore * 0.2 : 0.0;
            // A sibling joins by what its text scores: a name that says
            // "post" or "entry" on a box of dates and names brings it no
            // nearer.
            const double score =
                chainScore(c) - (rules_.weighNames && nodes_[c].classWeight > 0 ? nodes_[c].classWeight : 0);
            if (score > kNoScore && score + bonus >= threshold) {
                parts.push_back(c);
                note(Verdict::Joined, Rule::SiblingScore, c, score + bonus, threshold);
                continue;
            }
            // A picture with its caption may stand between the lede and
            // the text.
            if (c < top && m_.text[c] > 0 && !(m_.box(c).images > 0 && m_.text[c] < kCaption))
                before = c;
            if (!isBlock(n) || (m_.hasBlockChild(c) && !cell) || !paragraphLike(n.element))
                continue;
            const double density = linkDensity(m_, c);
            const std::uint32_t length = m_.text[c];
            if ((length > lean_.proseLength && density < lean_.proseDensity) ||
                (length > 0 && length <= lean_.proseLength && density == 0 && (m_.flags[c] & kSentenceEnd))) {
                parts.push_back(c);
                note(Verdict::Joined, Rule::SiblingProse, c, density, length);
                if (c < top)
                    before = kNoNode;
            }
        }
        return parts;
    }

    // A lede: a box of a few paragraphs of sentences (no heading, picture
    // or control among them, little link text) set right before the
    // content, the summary a page sets apart above its text. A box that
    // holds blocks is no paragraph of its own, so the prose rule for
    // siblings does not see it.
    bool lede(std::uint32_t n) const
    {
        constexpr std::uint32_t kMostParagraphs = 3;
        constexpr std::uint32_t kLongest = 1000;
        const PageNode &node = nodes_[n];
        const std::uint32_t length = m_.text[n];
        if (!isBlock(node) || !m_.hasBlockChild(n) || length <= lean_.proseLength || length > kLongest ||
            linkDensity(m_, n) >= lean_.proseDensity)
            return false;
        const Box box = m_.box(n);
        if (box.images != 0 || box.inputs != 0 || box.embeds != 0)
            return false;
        std::uint32_t paragraphs = 0;
        for (std::size_t k = n + 1, end = subtreeEnd(nodes_, n); k < end; ++k) {
            const auto c = static_cast<std::uint32_t>(k);
            if (nodes_[k].heading || m_.setAside(c))
                return false;
            if (!isBlock(nodes_[k]) || m_.hasBlockChild(c) || m_.text[c] == 0)
                continue;
            // Each of its paragraphs is a sentence or more.
            if (!(m_.flags[c] & kSentenceEnd) || ++paragraphs > kMostParagraphs)
                return false;
        }
        return paragraphs > 0;
    }

    // The best score of a node and of the nodes that are, one in the
    // other, its only content (a table of one cell scores as its cell).
    double chainScore(std::uint32_t n) const
    {
        const double *score = scoreOf(n);
        double best = score ? *score : kNoScore;
        while (m_.flags[n] & kOneChild) {
            std::uint32_t child = n + 1;
            while (child < nodes_.size() && (nodes_[child].parent != n || m_.setAside(child)))
                ++child;
            if (child >= nodes_.size() || !isAncestor(nodes_, n, child))
                break;
            n = child;
            if ((score = scoreOf(n)))
                best = std::max(best, *score);
        }
        return best;
    }

    // Whether a node is or holds an element `e`.
    bool holdsElement(std::uint32_t n, Element e) const
    {
        for (std::size_t k = n, end = subtreeEnd(nodes_, n); k < end; ++k)
            if (nodes_[k].element == e && !m_.setAside(static_cast<std::uint32_t>(k)))
                return true;
        return false;
    }

    std::uint32_t enclosing(std::uint32_t n, Element e) const
    {
        for (std::uint32_t a = nodes_[n].parent; a != kNoNode && a != 0; a = nodes_[a].parent)
            if (nodes_[a].element == e)
                return a;
        return kNoNode;
    }

    // Whether an element inside the chosen content looks like boilerplate:
    // the rule that says so, none when it does not.
    std::optional<Rule> boilerplate(std::uint32_t i) const
    {
        const PageNode &n = nodes_[i];
        switch (n.element) {
        case Element::Nav:
        case Element::Aside:
        case Element::Footer:
        case Element::Noscript:
        case Element::Dialog: return Rule::Element;
        case Element::Button:
        case Element::Select:
        case Element::Textarea:
        case Element::Input: return Rule::FormControls;
        case Element::Iframe:
        case Element::Object:
        case Element::Embed: return Rule::Embeds;
        case Element::H1:
        case Element::H2:
        case Element::H3: return byNames(rules_.weighNames && n.classWeight < 0);
        case Element::P: // a line of metadata ("posted by", "tags") rather than prose
            return byNames(rules_.weighNames && n.classWeight < 0 && m_.text[i] < lean_.metaLength);
        case Element::Figcaption:
            // A label or a credit, not a sentence on what the picture shows:
            // without its picture it says nothing; beside it, it is the
            // picture's own.
            return when(!pictures_ && m_.text[i] < kCaption && !(m_.flags[i] & kSentenceEnd), Rule::Caption);
        default:
            if (!isBox(n.element))
                return std::nullopt;
            break;
        }
        const int weight = rules_.weighNames ? n.classWeight : 0;
        if (weight < 0)
            return Rule::Names;
        const double density = linkDensity(m_, i);
        // An entry's title is often a link to the entry: when the text
        // besides the links is at least as long as the titles, the titles
        // are no navigation.
        const Box box = m_.box(i);
        const std::uint32_t plain = m_.text[i] - m_.linkText[i];
        const double bodyDensity = plain >= box.titleLinks && m_.text[i] > 0
                                       ? static_cast<double>(m_.linkText[i] - box.titleLinks) / m_.text[i]
                                       : density;
        const bool list = n.element == Element::Ul || n.element == Element::Ol || n.element == Element::Dl;
        if (list)
            return when(density > lean_.listDensity && !contentsList(i), Rule::LinkDensity);
        if (box.commas >= 10)
            return std::nullopt;
        const std::uint32_t paragraphs = box.paragraphs, images = box.images, length = m_.text[i];
        if (dataCell(i) || dataTable(i))
            return when(density > lean_.boxDensity, Rule::LinkDensity); // kept whatever its size
        if (n.element == Element::Table || n.element == Element::Td)
            return density > lean_.boxDensity
                       ? Rule::LinkDensity
                       : when(length < lean_.shortBlock && images == 0 && length > 0, Rule::TooShort);
        if (images > 1 && paragraphs * 2 < images && n.element != Element::Figure)
            return Rule::Pictures;
        if (box.inputs > paragraphs / 3 + 1)
            return Rule::FormControls;
        // A figure beside the pictures it holds is theirs, however short
        // its caption.
        const bool shownFigure = pictures_ && n.element == Element::Figure;
        if (length < lean_.shortBlock && (images == 0 || images > 2) && !sectionTitle(i, box) && !shownFigure)
            return when(length > 0 || images > 2, Rule::TooShort);
        if (weight < 25 && bodyDensity > lean_.bodyDensity && length < 1000)
            return Rule::LinkDensity;
        if (weight >= 25 && density > lean_.boxDensity)
            return Rule::LinkDensity;
        if ((box.embeds == 1 && length < 75) || box.embeds > 1)
            return Rule::Embeds;
        return std::nullopt;
    }
    static std::optional<Rule> when(bool drop, Rule rule) { return drop ? std::optional(rule) : std::nullopt; }

    // A small box that holds a section's heading (h2 to h6) and nothing
    // else (no picture, no control, nothing set aside beside it): the
    // section's title set apart from its text, which follows in a box of
    // its own, rather than a scrap. (An h1 alone in a box is most often the
    // site's name.)
    bool sectionTitle(std::uint32_t n, const Box &box) const
    {
        constexpr std::size_t kMostNodes = 16;
        if (box.images != 0 || box.inputs != 0 || box.embeds != 0 || box.sectionTitles * 10 < m_.text[n] * 9)
            return false;
        // Its subtree: the nodes right after it whose parents are in it.
        for (std::size_t k = n + 1; k < nodes_.size() && nodes_[k].parent >= n && nodes_[k].parent != kNoNode; ++k)
            if (k - n > kMostNodes || m_.setAside(static_cast<std::uint32_t>(k)))
                return false;
        return true;
    }
    static std::optional<Rule> byNames(bool drop) { return when(drop, Rule::Names); }

    // A table of data, and a cell of one.
    bool dataTable(std::uint32_t n) const
    {
        return nodes_[n].element == Element::Table && std::binary_search(dataTables_.begin(), dataTables_.end(), n);
    }
    bool dataCell(std::uint32_t n) const
    {
        if (nodes_[n].element != Element::Td)
            return false;
        const std::uint32_t table = enclosing(n, Element::Table);
        return table != kNoNode && std::binary_search(dataTables_.begin(), dataTables_.end(), table);
    }

    const PageTree &tree_;
    const std::vector<PageNode> &nodes_;
    Rules rules_;
    const Leaning &lean_;
    Measures &m_;
    std::vector<Scored> &scored_; // in the order they were first scored
    const std::vector<std::uint32_t> &dataTables_;
    Recorder *recorder_;         // null: no account
    std::uint32_t titleHeading_; // the h1 that matches the document's title, kNoNode: none
    bool pictures_;              // the text shows the pictures
    bool addresses_;             // the text shows where its links lead
    bool titledArticle_ = false; // the content is the article element of that h1
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string trimmed(std::string_view s)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

// The text as titles are compared: ASCII letters in lower case, no-break
// spaces as spaces, runs of white space as one space, none at the ends.
std::string lowered(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    bool space = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\xC2' && i + 1 < s.size() && s[i + 1] == '\xA0') {
            c = ' ';
            ++i;
        }
        if (isSpace(c)) {
            space = !out.empty();
            continue;
        }
        if (space)
            out += ' ';
        space = false;
        out += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

std::size_t words(std::string_view s)
{
    std::size_t count = 0;
    bool in = false;
    for (char c : s) {
        const bool space = isSpace(c);
        if (!space && !in)
            ++count;
        in = !space;
    }
    return count;
}

// The document's title without the site's name: of the parts that a
// separator (" | ", " - ", ...) divides, the one with the most words.
std::string withoutSiteName(const std::string &title)
{
    static constexpr std::array kSeparators{
        " | ", " - ", " \xE2\x80\x93 ", " \xE2\x80\x94 ", " :: ", " \xC2\xBB ", " \xC2\xB7 ", " / ", " \xE2\x80\xA2 "};
    std::vector<std::string> parts{title};
    for (const char *sep : kSeparators) {
        std::vector<std::string> next;
        for (const std::string &p : parts) {
            std::size_t from = 0;
            for (std::size_t at; (at = p.find(sep, from)) != std::string::npos;
                 from = at + std::string_view(sep).size())
                next.push_back(p.substr(from, at - from));
            next.push_back(p.substr(from));
        }
        parts = std::move(next);
    }
    std::string best;
    for (const std::string &p : parts) {
        const std::string t = trimmed(p);
        if (words(t) > words(best))
            best = t;
    }
    return best.empty() ? trimmed(title) : best;
}

// The page's tokens again: walked from its Document when the tree was built
// from one, else read back from the stream.
class PageTokens {
public:
    PageTokens(const PageTree &tree, const html::Document *document) : tree_(tree), document_(document) {}
    void replay(html::TokenSink &sink, const std::function<bool(const article::TokenPlace &)> &want,
                const std::function<bool()> &done = {}) const
    {
        if (document_)
            replayDocument(*document_, tree_.sources(), sink, want, done);
        else
            tree_.replay(sink, want, done);
    }

private:
    const PageTree &tree_;
    const html::Document *document_;
};

class NoText final : public TextSink {
public:
    void write(std::string_view) override {}
};

// Whether the tokens `want` picks lay out as no text at all. Rendered only
// until the first text: the rest of the stream is not read.
bool rendersNothing(const PageTokens &tree, const RenderOptions &options,
                    const std::function<bool(const article::TokenPlace &)> &want)
{
    NoText none;
    TextRenderer probe(none, options, nullptr);
    tree.replay(probe, want, [&probe] { return probe.wroteText(); });
    return !probe.wroteText();
}

void renderTitle(TextRenderer &renderer, const std::string &title)
{
    if (title.empty())
        return;
    html::Tag h1;
    h1.name = "h1";
    renderer.startTag(h1);
    renderer.characters(title);
    renderer.endTag(h1);
}

// Passes the content's tokens on with its h1 elements made h2: under the
// title, which is the text's one first-rank heading, the content's own
// first-rank headings are its sections.
class SectionHeadings final : public html::TokenSink {
public:
    explicit SectionHeadings(html::TokenSink &out) : out_(out) {}
    void characters(std::string_view utf8) override { out_.characters(utf8); }
    void startTag(const html::Tag &tag) override { out_.startTag(lowered(tag)); }
    void endTag(const html::Tag &tag) override { out_.endTag(lowered(tag)); }
    void comment(std::string_view text) override { out_.comment(text); }
    void doctype(const html::Doctype &doctype) override { out_.doctype(doctype); }
    void endOfFile() override { out_.endOfFile(); }

private:
    static html::Tag lowered(const html::Tag &tag)
    {
        if (readable::LookupElement(tag).element != Element::H1)
            return tag;
        html::Tag h2 = tag;
        h2.name = "h2";
        h2.known = tag.known == html::Tag::kNotGiven ? html::Tag::kNotGiven
                                                     : static_cast<std::uint32_t>(readable::KnownNameOf(Element::H2));
        return h2;
    }
    html::TokenSink &out_;
};

// Passes the content's tokens on without ruby's readings: the rt and rp
// elements, with what is in them. A reading is set above its word in the
// page, not in the line; in the text it would stand between the word's
// characters ("子こども" for 子 read こども). An rt or rp ends at its end tag,
// at the start of another part of its ruby or at the ruby's end (a page
// read straight from the tokenizer may leave the end tags out).
class WithoutReadings final : public html::TokenSink {
public:
    explicit WithoutReadings(html::TokenSink &out) : out_(out) {}
    void characters(std::string_view utf8) override
    {
        if (!reading_)
            out_.characters(utf8);
    }
    void startTag(const html::Tag &tag) override
    {
        const Element e = readable::LookupElement(tag).element;
        if (e == Element::Rt || e == Element::Rp) {
            reading_ = true;
            return;
        }
        if (e == Element::Rb || e == Element::Rtc)
            reading_ = false;
        if (!reading_)
            out_.startTag(tag);
    }
    void endTag(const html::Tag &tag) override
    {
        const Element e = readable::LookupElement(tag).element;
        if (e == Element::Rt || e == Element::Rp) {
            reading_ = false;
            return;
        }
        if (e == Element::Ruby)
            reading_ = false;
        if (!reading_)
            out_.endTag(tag);
    }
    void comment(std::string_view text) override
    {
        if (!reading_)
            out_.comment(text);
    }
    void doctype(const html::Doctype &doctype) override { out_.doctype(doctype); }
    void endOfFile() override { out_.endOfFile(); }

private:
    html::TokenSink &out_;
    bool reading_ = false; // inside an rt or rp
};

// The title as a heading, then the tokens `want` picks, laid out as the
// readable mode lays them out, without ruby's readings. In Markdown, where a heading's rank shows,
// the content's h1 headings are set a rank below the title's.
void render(const PageTokens &tree, TextSink &out, const RenderOptions &options, const std::string &title,
            const std::function<bool(const article::TokenPlace &)> &want)
{
    TextRenderer renderer(out, options, nullptr);
    renderTitle(renderer, title);
    if (!title.empty() && options.syntax == readable::Syntax::Markdown) {
        SectionHeadings sections(renderer);
        WithoutReadings text(sections);
        tree.replay(text, want);
    } else {
        WithoutReadings text(renderer);
        tree.replay(text, want);
    }
    renderer.endOfFile();
}

// What the title alone lays out as.
std::string titleAlone(const RenderOptions &options, const std::string &title)
{
    std::string text;
    readable::StringSink out(text);
    TextRenderer renderer(out, options, nullptr);
    renderTitle(renderer, title);
    renderer.endOfFile();
    return text;
}

// Holds back what is written for as long as it could still be the title
// alone, and passes everything on once the text has gone past it: the
// content has then shown something, and the held bytes are its start.
class PastTitleSink final : public TextSink {
public:
    PastTitleSink(TextSink &out, std::string titleAlone) : out_(out), titleAlone_(std::move(titleAlone)) {}

    void write(std::string_view utf8) override
    {
        if (past_) {
            out_.write(utf8);
            return;
        }
        held_.append(utf8);
        if (held_.size() > titleAlone_.size() || titleAlone_.compare(0, held_.size(), held_) != 0) {
            past_ = true;
            out_.write(held_);
            std::string().swap(held_);
        }
    }

    // Whether the text went past the title alone (and was passed on).
    bool past() const { return past_ || held_ != titleAlone_; }
    // Passes on what is held.
    void release()
    {
        out_.write(held_);
        std::string().swap(held_);
    }

private:
    TextSink &out_;
    const std::string titleAlone_;
    std::string held_;
    bool past_ = false;
};

struct TitleChoice {
    std::uint32_t heading = kNoNode; // the heading it comes from, if any
    std::string title;
    // TitleHeading, OnlyH1, DocumentTitle, OwnTitleHeading or OwnTitle
    Rule source = Rule::DocumentTitle;
};

// The heading closest in length to a title it matches: a heading that is
// part of the title, or that holds the title whole.
class ClosestHeading {
public:
    // `whole`: the title a heading may be part of; `core`: the title a
    // heading may hold whole, and whose length it is measured against.
    ClosestHeading(std::string whole, std::string core) : whole_(std::move(whole)), core_(std::move(core)) {}

    void consider(std::uint32_t node, std::string_view text, const std::string &low)
    {
        const bool matches =
            !whole_.empty() && low.size() >= 3 &&
            (whole_.find(low) != std::string::npos || (!core_.empty() && low.find(core_) != std::string::npos));
        const std::size_t distance = low.size() > core_.size() ? low.size() - core_.size() : core_.size() - low.size();
        if (matches && (node_ == kNoNode || distance < distance_)) {
            node_ = node;
            distance_ = distance;
            text_ = text;
        }
    }
    std::uint32_t node() const { return node_; }
    const std::string &text() const { return text_; }

private:
    const std::string whole_, core_;
    std::uint32_t node_ = kNoNode;
    std::size_t distance_ = 0;
    std::string text_;
};

// The title when no heading is: the one the page gives itself, else the
// document's; either without the site's name.
TitleChoice titleWithoutHeading(const PageTree &tree, const OwnTitle &own)
{
    const std::string ownText = trimmed(own.text);
    if (!ownText.empty())
        return {kNoNode, withoutSiteName(ownText), Rule::OwnTitle};
    return {kNoNode, withoutSiteName(trimmed(tree.title())), Rule::DocumentTitle};
}

// The title: of the headings (h1 to h3) that match the title the page gives
// itself, the one closest to it in length; else of those that match the
// document's title, the one closest to that in length. A heading matches a
// title when it is a part of it, or holds all of it without the site's name
// and more, and is measured against it without the site's name (the site's
// name in a heading matches too, and so does a "related to" heading). Else
// the only h1 in the content; else the title the page gives itself, or the
// document's, without the site's name.
TitleChoice chooseTitle(const PageTree &tree, const Selection &chosen, const OwnTitle &own)
{
    const auto &nodes = tree.nodes();
    const std::string docTitle = trimmed(tree.title());
    const std::string ownTitle = trimmed(own.text);
    ClosestHeading ownHeading(lowered(ownTitle), lowered(withoutSiteName(ownTitle)));
    ClosestHeading docHeading(lowered(docTitle), lowered(withoutSiteName(docTitle)));
    std::uint32_t onlyH1 = kNoNode;
    int h1Count = 0;
    std::string onlyH1Title;
    for (std::size_t k = 0; k < tree.headings().size(); ++k) {
        const std::uint32_t i = tree.headings()[k].node;
        const std::string_view text = tree.headingText(k);
        const PageNode &n = nodes[i];
        if ((n.unlikely && !chosen.shown(i)) || text.empty())
            continue;
        const std::string low = lowered(text);
        if (n.element == Element::H1) {
            ++h1Count;
            onlyH1 = i;
            onlyH1Title = text;
        }
        ownHeading.consider(i, text, low);
        docHeading.consider(i, text, low);
    }
    if (ownHeading.node() != kNoNode)
        return {ownHeading.node(), ownHeading.text(), Rule::OwnTitleHeading};
    if (docHeading.node() != kNoNode)
        return {docHeading.node(), docHeading.text(), Rule::TitleHeading};
    if (h1Count == 1 && !tree.headingsCut() && (chosen.shown(onlyH1) || docTitle.empty()))
        return {onlyH1, onlyH1Title, Rule::OnlyH1};
    return titleWithoutHeading(tree, own);
}

// The h1 that matches the page's own title or its document's title, as the
// title is chosen before any content is (headings whose names say
// boilerplate left out); kNoNode when the title comes from another heading
// or from no heading.
std::uint32_t titleH1(const PageTree &tree, const OwnTitle &own)
{
    Selection none;
    none.marks.assign(tree.nodes().size(), 0);
    const TitleChoice title = chooseTitle(tree, none, own);
    const bool matched = title.source == Rule::TitleHeading || title.source == Rule::OwnTitleHeading;
    return matched && tree.nodes()[title.heading].element == Element::H1 ? title.heading : kNoNode;
}

// The boxes set aside for their names that are the page's article all the
// same: of the h1s that match the title the page gives itself (else the
// document's title; of several, the closest in length), its ancestors whose
// names say boilerplate and which hold at least kArticleBox characters
// besides what is hidden or set aside for its own names. A page header or
// a modal the article opens in holds the headline and the article; the
// boxes inside them keep their own names' verdicts.
std::vector<std::uint32_t> articleBoxes(const PageTree &tree, const OwnTitle &own)
{
    const auto &nodes = tree.nodes();
    const std::string docTitle = trimmed(tree.title());
    const std::string ownTitle = trimmed(own.text);
    ClosestHeading ownHeading(lowered(ownTitle), lowered(withoutSiteName(ownTitle)));
    ClosestHeading docHeading(lowered(docTitle), lowered(withoutSiteName(docTitle)));
    for (std::size_t k = 0; k < tree.headings().size(); ++k) {
        const std::uint32_t i = tree.headings()[k].node;
        const std::string_view text = tree.headingText(k);
        if (nodes[i].element != Element::H1 || nodes[i].unlikely || text.empty())
            continue;
        const std::string low = lowered(text);
        ownHeading.consider(i, text, low);
        docHeading.consider(i, text, low);
    }
    const std::uint32_t h1 = ownHeading.node() != kNoNode ? ownHeading.node() : docHeading.node();
    std::vector<std::uint32_t> boxes;
    if (h1 == kNoNode)
        return boxes;
    // The ancestors named as boilerplate, outermost first.
    std::vector<std::uint32_t> named;
    for (std::uint32_t a = nodes[h1].parent; a != kNoNode && a != 0; a = nodes[a].parent)
        if (nodes[a].unlikely && nodes[a].element != Element::Body && nodes[a].element != Element::Html)
            named.insert(named.begin(), a);
    if (named.empty())
        return boxes;
    // Each one's text, from one walk of the outermost one's subtree.
    std::vector<std::uint32_t> text(named.size(), 0);
    std::vector<std::size_t> ends(named.size());
    for (std::size_t a = 0; a < named.size(); ++a)
        ends[a] = subtreeEnd(nodes, named[a]);
    for (std::size_t k = named.front(); k < ends.front(); ++k) {
        const PageNode &n = nodes[k];
        const bool ancestor = std::find(named.begin(), named.end(), k) != named.end();
        if (n.silent || (n.unlikely && !ancestor)) {
            k = subtreeEnd(nodes, k) - 1;
            continue;
        }
        const std::uint32_t shown = tree.countsOf(static_cast<std::uint32_t>(k)).text;
        for (std::size_t a = 0; a < named.size() && named[a] <= k; ++a)
            if (k < ends[a])
                text[a] += shown;
    }
    for (std::size_t a = 0; a < named.size(); ++a)
        if (text[a] >= kArticleBox)
            boxes.push_back(named[a]);
    return boxes;
}

// A heading that became the title is shown once, first: it and its subtree
// (the nodes right after it) leave the content.
void leaveOut(const std::vector<PageNode> &nodes, const TitleChoice &title, Selection &chosen)
{
    const std::uint32_t heading = title.heading;
    if (heading == kNoNode || !chosen.shown(heading))
        return;
    for (std::size_t i = heading, end = subtreeEnd(nodes, heading); i < end; ++i)
        chosen.marks[i] &= static_cast<std::uint8_t>(~kShown);
}

// What the class and id names of each node say of readers' comments, read
// from the nodes' start tags as the page's tokens are replayed.
class CommentNames final : public html::TokenSink {
public:
    explicit CommentNames(std::size_t nodes) : hints(nodes, CommentHint::None) {}
    void characters(std::string_view) override {}
    void startTag(const html::Tag &tag) override
    {
        const std::string_view classes = tag.attribute("class"), id = tag.attribute("id");
        if (!classes.empty() || !id.empty())
            hints[node] = ReadNameHints(classes, id, {}).comments;
    }
    void endTag(const html::Tag &) override {}

    std::uint32_t node = 0; // the node whose start tag comes next
    std::vector<CommentHint> hints;
};

std::vector<CommentHint> commentHints(const PageTree &tree, const PageTokens &tokens)
{
    CommentNames names(tree.nodes().size());
    tokens.replay(names, [&names](const article::TokenPlace &token) {
        if (token.kind != article::TokenKind::Start || !token.own)
            return false;
        names.node = token.node;
        return true;
    });
    return std::move(names.hints);
}

// What no comment section shows: controls, and what holds or posts them.
bool controlElement(Element e)
{
    switch (e) {
    case Element::Form:
    case Element::Button:
    case Element::Select:
    case Element::Textarea:
    case Element::Input:
    case Element::Iframe:
    case Element::Object:
    case Element::Embed:
    case Element::Noscript:
    case Element::Dialog:
    case Element::Nav: return true;
    default: return false;
    }
}

// Readers' comments join the chosen content: each comment section the
// choice left out, in its place in the document (most often after the
// article; inside it, where the content holds it). A section is the
// outermost element whose names speak of comments, shown, holding nothing
// of the chosen content (an element around both the article and its
// comments is no section), outside forms, the elements that post comments,
// asides and footers. Inside it the forms, controls, navigation, what is named for
// posting or answering a comment ("respond", "reply") and other
// boilerplate names stay out; it joins when what is left shows a
// paragraph's worth of text besides links.
void addComments(const PageTree &tree, const PageTokens &tokens, Selection &chosen)
{
    const auto &nodes = tree.nodes();
    const std::size_t count = nodes.size();
    const std::vector<CommentHint> hints = commentHints(tree, tokens);
    std::vector<std::uint8_t> holdsChosen(count, 0);
    for (std::size_t i = count; i-- > 1;)
        if (chosen.shown(static_cast<std::uint32_t>(i)) || holdsChosen[i])
            holdsChosen[nodes[i].parent] = 1;
    std::vector<std::uint32_t> kept, text, linkText;
    for (std::size_t i = 1; i < count;) {
        const PageNode &n = nodes[i];
        const auto top = static_cast<std::uint32_t>(i);
        // Sidebars and footers hold lists of recent comments, not comments.
        if (n.silent || hints[i] == CommentHint::Posting || controlElement(n.element) || n.element == Element::Aside ||
            n.element == Element::Footer) {
            i = subtreeEnd(nodes, i);
            continue;
        }
        if (hints[i] != CommentHint::Comments || holdsChosen[i] || chosen.shown(top) || n.element == Element::Body ||
            n.element == Element::Html) {
            ++i;
            continue;
        }
        const std::size_t end = subtreeEnd(nodes, i);
        // The section's subtrees' text and link text, summed up to their tops.
        text.assign(end - i, 0);
        linkText.assign(end - i, 0);
        for (std::size_t j = end; j-- > i;) {
            const article::NodeCounts own = tree.countsOf(static_cast<std::uint32_t>(j));
            text[j - i] += own.text;
            linkText[j - i] += own.linkText;
            if (j > i) {
                text[nodes[j].parent - i] += text[j - i];
                linkText[nodes[j].parent - i] += linkText[j - i];
            }
        }
        kept.clear();
        std::size_t shown = 0, plain = 0;
        for (std::size_t j = i; j < end; ++j) {
            const PageNode &c = nodes[j];
            const auto node = static_cast<std::uint32_t>(j);
            const bool inside = j == i || (!kept.empty() && std::binary_search(kept.begin(), kept.end(), c.parent));
            // A block of links alone: the section's own buttons and menus.
            const bool linksAlone = c.block && text[j - i] > 0 && linkText[j - i] == text[j - i];
            if (!inside || c.silent || hints[j] == CommentHint::Posting || controlElement(c.element) ||
                (c.unlikely && hints[j] != CommentHint::Comments) || linksAlone)
                continue;
            kept.push_back(node);
            const article::NodeCounts own = tree.countsOf(node);
            shown += own.text;
            plain += own.text - own.linkText;
        }
        if (plain >= kMinParagraph) {
            for (std::uint32_t node : kept)
                chosen.marks[node] |= kShown;
            chosen.marks[top] |= kRoot;
            chosen.characters += shown;
        }
        i = end;
    }
}

// The account's blocks of one kind (set aside, dropped) told at most; the
// others are counted.
constexpr std::size_t kMostTold = 24;
// A block's first words in the account: at most this many, and bytes; its
// classes in its name.
constexpr std::size_t kFirstWords = 8, kFirstWordBytes = 60, kClassesShown = 3;

// The blocks an account names, read back from the page's tokens in one
// replay: each one's tag, id, classes and role, and the first words of its
// text in the page (the text of what is never shown, scripts and hidden
// parts, counts only for a block that is never shown itself).
class BlockNames final : public html::TokenSink {
public:
    struct Block {
        std::string name, words;
        std::string id, classes, role;
        std::size_t count = 0; // words
        bool space = false;    // a space before the next word
        bool full = false;
    };

    BlockNames(const PageTree &tree, const PageTokens &tokens, const std::vector<Noted> &noted)
        : nodes_(tree.nodes()), entry_(nodes_.size(), kNoNode), owner_(nodes_.size(), kNoNode)
    {
        for (const Noted &d : noted)
            if (d.node < nodes_.size() && entry_[d.node] == kNoNode) {
                entry_[d.node] = static_cast<std::uint32_t>(blocks_.size());
                blocks_.emplace_back();
            }
        for (std::size_t i = 0; i < nodes_.size(); ++i)
            owner_[i] = entry_[i] != kNoNode ? static_cast<std::uint32_t>(i)
                        : i == 0             ? kNoNode
                                             : owner_[nodes_[i].parent];
        if (blocks_.empty())
            return;
        tokens.replay(*this, [this](const article::TokenPlace &place) { return wanted(place); });
    }

    // The block of a noted node, null for none.
    const Block *of(std::uint32_t node) const
    {
        return node < entry_.size() && entry_[node] != kNoNode ? &blocks_[entry_[node]] : nullptr;
    }

    void characters(std::string_view utf8) override
    {
        const bool silent = nodes_[place_.node].silent;
        for (std::uint32_t o = owner_[place_.node]; o != kNoNode; o = above(o))
            if (!silent || nodes_[o].silent)
                addWords(blocks_[entry_[o]], utf8);
    }
    void startTag(const html::Tag &tag) override
    {
        Block &b = blocks_[entry_[place_.node]];
        const std::string_view id = tag.attribute("id"), classes = tag.attribute("class");
        b.id = id;
        b.classes = classes;
        b.role = tag.attribute("role");
        b.name = tag.name;
        if (!id.empty() && id.find_first_of(" \t\n\f\r") == std::string_view::npos)
            b.name += "#" + std::string(id);
        // Its first classes; "..." when it has more.
        std::size_t shown = 0;
        for (std::size_t at = 0; (at = classes.find_first_not_of(" \t\n\f\r", at)) != std::string_view::npos;) {
            if (++shown > kClassesShown) {
                b.name += "...";
                break;
            }
            const std::size_t end = std::min(classes.find_first_of(" \t\n\f\r", at), classes.size());
            b.name += "." + std::string(classes.substr(at, end - at));
            at = end;
        }
    }
    void endTag(const html::Tag &) override {}

private:
    std::uint32_t above(std::uint32_t o) const { return o == 0 ? kNoNode : owner_[nodes_[o].parent]; }

    // Texts of the noted blocks, and their own start tags; a block's edges
    // part words.
    bool wanted(const article::TokenPlace &place)
    {
        place_ = place;
        if (owner_[place.node] == kNoNode)
            return false;
        if (place.kind == article::TokenKind::Text)
            return true;
        if (place.own && nodes_[place.node].block)
            for (std::uint32_t o = owner_[place.node]; o != kNoNode; o = above(o))
                blocks_[entry_[o]].space = !blocks_[entry_[o]].words.empty();
        return place.kind == article::TokenKind::Start && place.own && entry_[place.node] != kNoNode;
    }

    static void addWords(Block &b, std::string_view text)
    {
        for (std::size_t i = 0; i < text.size() && !b.full; ++i) {
            const char c = text[i];
            if (isSpace(c)) {
                b.space = !b.words.empty();
                continue;
            }
            if (b.space || b.words.empty()) {
                if (b.count == kFirstWords || b.words.size() >= kFirstWordBytes) {
                    b.words += "...";
                    b.full = true;
                    break;
                }
                if (b.space)
                    b.words += ' ';
                ++b.count;
                b.space = false;
            }
            b.words += c;
            if (b.words.size() >= kFirstWordBytes + 20) {
                const char *begin = b.words.data();
                b.words.resize(
                    static_cast<std::size_t>(base::IncompleteUtf8Tail(begin, begin + kFirstWordBytes + 20) - begin));
                b.words += "...";
                b.full = true;
            }
        }
    }

    const std::vector<PageNode> &nodes_;
    std::vector<std::uint32_t> entry_; // per node: its block, kNoNode for none
    std::vector<std::uint32_t> owner_; // per node: the nearest noted node at or above it
    std::vector<Block> blocks_;
    article::TokenPlace place_{};
};

std::string figure(const char *format, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string percent(double share)
{
    return figure("%.0f%%", share * 100);
}

// What a noted rule weighed, for a person.
std::string detailOf(const Noted &d, const PageNode *n, const BlockNames::Block *b)
{
    const std::string names = b ? ExplainNameHints(b->classes, b->id, b->role) : std::string();
    const auto count = [](double value, const char *one, const char *many) {
        const auto whole = static_cast<std::uint64_t>(value);
        return std::to_string(whole) + " " + (whole == 1 ? one : many);
    };
    switch (d.rule) {
    case Rule::BestScore: return figure("%.1f", d.figure) + (names.empty() ? "" : "; " + names);
    case Rule::CloseScores:
        return count(d.figure, "container", "containers") + " of at least " + percent(d.bar) + " of the best score";
    case Rule::BetterAncestor: return figure("%.1f", d.figure);
    case Rule::ArticleBound: return "an ancestor outside it scores " + figure("%.1f", d.figure);
    case Rule::TitledArticle: return count(d.figure, "character", "characters");
    case Rule::SiblingScore: return figure("%.1f", d.figure) + ", at least " + figure("%.1f", d.bar);
    case Rule::SiblingProse:
    case Rule::Lede: return count(d.bar, "character", "characters") + ", link text " + percent(d.figure);
    case Rule::Names:
    case Rule::Dialog: return names;
    case Rule::FormControls:
        if (n && isBox(n->element))
            return count(d.figure, "form control", "form controls") + ", " + count(d.bar, "paragraph", "paragraphs");
        return {};
    case Rule::LinkDensity: return "link text " + percent(d.figure) + " of " + count(d.bar, "character", "characters");
    case Rule::Pictures: return count(d.figure, "picture", "pictures") + ", " + count(d.bar, "paragraph", "paragraphs");
    case Rule::TooShort:
    case Rule::Caption:
    case Rule::ClosingHeading: return count(d.figure, "character", "characters");
    case Rule::ClosingLinks:
        return "link text " + percent(d.figure) + " of " + count(d.bar, "character", "characters") +
               ", past the last paragraph of prose";
    case Rule::PointerLine:
        return "link text " + percent(d.figure) + " of " + count(d.bar, "character", "characters") +
               ", with words of its own";
    default: return {};
    }
}

// The noted decisions and the title's as a person reads them, each block
// named as the page writes it; past kMostTold of a kind, counted in
// `untold`. `titleShown`: the title's heading was left out of the content;
// `source`: where the title the page gives itself was found.
std::vector<Decision> accountOf(const PageTree &tree, const PageTokens &tokens, std::vector<Noted> noted,
                                const TitleChoice &title, bool titleShown, const std::string &source,
                                std::size_t &untold)
{
    if (!title.title.empty())
        noted.push_back({Verdict::Title, title.source, title.heading});
    if (titleShown)
        noted.push_back({Verdict::Dropped, Rule::TitleShown, title.heading});
    std::vector<Noted> told;
    std::size_t setAside = 0, dropped = 0;
    for (const Noted &d : noted) {
        std::size_t &kind = d.verdict == Verdict::SetAside ? setAside : dropped;
        const bool block =
            d.verdict == Verdict::SetAside || (d.verdict == Verdict::Dropped && d.rule != Rule::TitleShown);
        if (block && ++kind > kMostTold)
            ++untold;
        else
            told.push_back(d);
    }
    const BlockNames names(tree, tokens, told);
    const auto &nodes = tree.nodes();
    std::vector<Decision> account;
    for (const Noted &d : told) {
        const BlockNames::Block *b = names.of(d.node);
        const PageNode *n = d.node < nodes.size() ? &nodes[d.node] : nullptr;
        const bool ownTitle =
            d.verdict == Verdict::Title && (d.rule == Rule::OwnTitle || d.rule == Rule::OwnTitleHeading);
        account.push_back({d.verdict, d.rule, b ? b->name : std::string(),
                           d.rule == Rule::DocumentTitle || d.rule == Rule::OwnTitle ? title.title
                           : b                                                       ? b->words
                                                                                     : std::string(),
                           ownTitle ? source : detailOf(d, n, b)});
    }
    return account;
}

} // namespace

struct ArticleExtractor::State {
    explicit State(TokenizerSwitch *tokenizer) : tree(tokenizer) {}
    PageTree tree;
    const html::Document *document = nullptr; // the tree was built from it
};

ArticleExtractor::ArticleExtractor(TextSink &out, const RenderOptions &options, TokenizerSwitch *tokenizer,
                                   const ArticleOptions &article)
    : state_(std::make_unique<State>(tokenizer)), sink_(out), options_(options), article_(article)
{}

ArticleExtractor::~ArticleExtractor() = default;

void ArticleExtractor::reserveFor(std::size_t bytes)
{
    state_->tree.reserve(bytes);
}

bool ArticleExtractor::readDocument(const html::Document &document)
{
    PageTree &tree = state_->tree;
    tree.keep(Keeping::Nodes);
    if (!buildPageTree(document, tree))
        return false;
    // The Document lives on through the choice: with it, the tree (without
    // a stream, each node's Document node besides) and the choice's storage
    // stay within the memory bound, or the page is read as a stream, which
    // lets the Document go first.
    const std::size_t treeBytes =
        tree.mostBytesBuilt() - tree.streamBytes() + tree.sources().size() * sizeof(tree.sources()[0]);
    if (pageBytes_ != 0 && document.bytesInUse() + treeBytes + Workspace(tree.nodes()).mostBytes() > allowedBytes())
        return false;
    state_->document = &document;
    return true;
}

std::size_t ArticleExtractor::allowedBytes() const
{
    const std::size_t fixedBytes = kFixedBytes - std::min(kFixedBytes, kOwnBytes);
    return kBytesPerPageByte * pageBytes_ + fixedBytes;
}

void ArticleExtractor::characters(std::string_view utf8)
{
    state_->tree.characters(utf8);
}

void ArticleExtractor::startTag(const html::Tag &tag)
{
    state_->tree.startTag(tag);
}

void ArticleExtractor::endTag(const html::Tag &tag)
{
    state_->tree.endTag(tag);
}

void ArticleExtractor::endOfFile()
{
    PageTree &tree = state_->tree;
    const PageTokens tokens(tree, state_->document);
    tree.endOfStream();
    const std::size_t allowedBytes = this->allowedBytes();
    if (pageBytes_ != 0 && tree.mostBytesBuilt() > allowedBytes) {
        // Too dense even for the nodes (a tiny heading, or a tiny block
        // with an element in it, again and again): the whole body, read
        // back from the stream, under the document's title.
        choice_.tooDense = choice_.wholeBody = true;
        const TitleChoice title = titleWithoutHeading(tree, ownTitle_);
        choice_.title = title.title;
        if (article_.account == Account::Keep)
            choice_.account = accountOf(tree, tokens, {}, title, false, ownTitle_.source, choice_.untold);
        render(tokens, sink_, options_, choice_.title, [](const article::TokenPlace &token) {
            return !(token.own && token.kind != article::TokenKind::Text && token.node == 0);
        });
        return;
    }
    tree.build();
    const auto &nodes = tree.nodes();

    // The first attempt with enough text, else the one with the most; none
    // when choosing would take the page past its memory bound.
    Selection chosen;
    std::vector<Noted> noted; // its account, with Account::Keep
    Workspace work(nodes);
    choice_.tooDense = pageBytes_ != 0 && tree.bytesInUse() + work.mostBytes() > allowedBytes;
    if (!choice_.tooDense) {
        work.reserve();
        const std::vector<std::uint32_t> tables = dataTables(nodes);
        const Leaning &leaning = leaningOf(article_.bias);
        const std::uint32_t titleHeading = titleH1(tree, ownTitle_);
        const std::vector<std::uint32_t> boxes = articleBoxes(tree, ownTitle_);
        const bool pictures =
            options_.syntax == readable::Syntax::Markdown && options_.images == readable::Images::Keep;
        const bool addresses = options_.syntax == readable::Syntax::Markdown || options_.links;
        int chosenAttempt = -1;
        for (std::size_t a = 0; a < kAttempts.size(); ++a) {
            Recorder recorder;
            Selection s = Chooser(tree, kAttempts[a], leaning, tables, work,
                                  article_.account == Account::Keep ? &recorder : nullptr, titleHeading, pictures,
                                  addresses, boxes)
                              .choose();
            if (chosenAttempt < 0 || s.characters > chosen.characters) {
                chosen = std::move(s);
                chosenAttempt = static_cast<int>(a);
                noted = std::move(recorder.noted);
            }
            if (chosen.characters >= kEnoughCharacters)
                break;
        }
        choice_.attempt = chosenAttempt;
        choice_.listing = kAttempts[static_cast<std::size_t>(chosenAttempt)].minParagraph == 1;
    }
    work.release(); // before the text is rendered
    // The tokens of the chosen content, as the renderer gets them.
    const auto shownToken = [&nodes, &chosen](const article::TokenPlace &token) {
        const std::uint32_t n = token.node;
        const Element e = nodes[n].element;
        if (token.own && (e == Element::Style || e == Element::Base))
            return true;
        if (!chosen.shown(n))
            return false;
        // A cell or item on its own: its content only.
        return !(token.own && token.kind != article::TokenKind::Text && chosen.root(n) && (isTablePart(e) || n == 0));
    };
    if (chosen.characters != 0) {
        // Laid out as it is chosen, held back while it is the title alone.
        const TitleChoice title = chooseTitle(tree, chosen, ownTitle_);
        if (article_.comments == Comments::Keep)
            addComments(tree, tokens, chosen);
        std::vector<std::uint8_t> marks = chosen.marks;
        const bool titleShown = title.heading != kNoNode && chosen.shown(title.heading);
        leaveOut(nodes, title, chosen);
        PastTitleSink out(sink_, titleAlone(options_, title.title));
        render(tokens, out, options_, title.title, shownToken);
        // The content showed nothing past the title: either it is the
        // heading that became the title, or nothing it holds is shown.
        bool showsNothing = !out.past();
        if (showsNothing) {
            std::swap(chosen.marks, marks);
            showsNothing = rendersNothing(tokens, options_, shownToken);
        }
        if (!showsNothing) {
            out.release();
            choice_.characters = chosen.characters;
            choice_.title = title.title;
            if (article_.account == Account::Keep)
                choice_.account =
                    accountOf(tree, tokens, std::move(noted), title, titleShown, ownTitle_.source, choice_.untold);
            return;
        }
    }
    // Nothing qualified, or what was counted is not what a reader sees: the
    // whole page, as the readable mode gives it.
    choice_.wholeBody = true;
    choice_.characters = 0;
    chosen.marks.assign(nodes.size(), kShown);
    chosen.marks[0] |= kRoot;
    const TitleChoice title = chooseTitle(tree, chosen, ownTitle_);
    const bool titleShown = title.heading != kNoNode && chosen.shown(title.heading);
    leaveOut(nodes, title, chosen);
    choice_.title = title.title;
    render(tokens, sink_, options_, title.title, shownToken);
    if (article_.account == Account::Keep)
        choice_.account = accountOf(tree, tokens, {}, title, titleShown, ownTitle_.source, choice_.untold);
}

std::string describe(const ArticleChoice &choice)
{
    std::string text;
    if (choice.tooDense)
        text = "nothing chosen: the whole body, the page too dense to score within its memory bound";
    else if (choice.wholeBody)
        text = "nothing chosen: the whole body";
    else if (choice.listing)
        text = "no article: the largest content region, " + std::to_string(choice.characters) + " characters";
    else
        text = std::string(choice.attempt == 0 ? "the article, " : "the article, found with fewer rules, ") +
               std::to_string(choice.characters) + " characters";
    if (!choice.title.empty())
        text += "; title: " + choice.title;
    return text;
}

namespace {

std::string_view verdictWords(Verdict verdict)
{
    switch (verdict) {
    case Verdict::SetAside: return "set aside";
    case Verdict::Chosen: return "chosen";
    case Verdict::Widened: return "widened to";
    case Verdict::KeptWithin: return "kept within";
    case Verdict::Joined: return "joined";
    case Verdict::Dropped: return "dropped";
    case Verdict::Title: return "title";
    }
    return {};
}

std::string_view ruleWords(Rule rule)
{
    switch (rule) {
    case Rule::BestScore: return "the best score";
    case Rule::CloseScores: return "it holds containers that score nearly as well";
    case Rule::BetterAncestor: return "it scores better";
    case Rule::ArticleBound: return "an article element: the content does not widen past it";
    case Rule::TableCell: return "the table cell it holds most of the text of";
    case Rule::ArticleElement: return "the article element it holds most of the text of";
    case Rule::TitledArticle: return "the article element of the heading that matches the title";
    case Rule::OnlyContent: return "it holds nothing else";
    case Rule::SiblingScore: return "a sibling that scores well";
    case Rule::SiblingProse: return "a sibling of plain prose";
    case Rule::Lede: return "the prose set apart right before it: its lede";
    case Rule::Names: return "its names";
    case Rule::Element: return "its element";
    case Rule::Dialog: return "a dialog or a consent notice";
    case Rule::Hidden: return "hidden";
    case Rule::FormControls: return "form controls";
    case Rule::Embeds: return "embedded content";
    case Rule::LinkDensity: return "mostly links";
    case Rule::Pictures: return "pictures without text";
    case Rule::TooShort: return "too short";
    case Rule::Caption: return "a picture's caption";
    case Rule::ClosingLinks: return "a closing line of links";
    case Rule::PointerLine: return "a line that points to another page";
    case Rule::ClosingHeading: return "a closing heading with nothing kept below it";
    case Rule::TitleHeading: return "the heading that matches the document's title";
    case Rule::OnlyH1: return "the only h1 of the content";
    case Rule::DocumentTitle: return "the document's title";
    case Rule::TitleShown: return "shown as the title";
    case Rule::OwnTitleHeading: return "the heading that matches the title the page gives itself";
    case Rule::OwnTitle: return "the title the page gives itself";
    }
    return {};
}

} // namespace

std::string describe(const Decision &decision)
{
    std::string text(verdictWords(decision.verdict));
    text += ": ";
    if (!decision.block.empty())
        text += decision.block + (decision.words.empty() ? " " : " \"" + decision.words + "\" ");
    else if (!decision.words.empty())
        text += "\"" + decision.words + "\" ";
    text += "(";
    text += ruleWords(decision.rule);
    if (!decision.detail.empty())
        text += ": " + decision.detail;
    text += ")";
    return text;
}

std::string tell(const ArticleChoice &choice)
{
    std::string text = describe(choice);
    for (const Decision &d : choice.account)
        text += "\n  " + describe(d);
    if (choice.untold != 0)
        text += "\n  and " + std::to_string(choice.untold) + " more blocks set aside or dropped";
    return text;
}

} // namespace quillan::text::article
