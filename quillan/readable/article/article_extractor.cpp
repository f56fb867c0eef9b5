#include "article/article_extractor.h"

#include "article/page_tree.h"
#include "render/elements.h"

#include <algorithm>
#include <array>

namespace quillan::readable {
namespace {

using article::kNoNode;
using article::PageNode;
using article::PageTree;

// A result under this many characters makes the extractor try again with
// fewer rules.
constexpr std::size_t kEnoughCharacters = 250;
constexpr std::size_t kMinParagraph = 25;

// The rules of one attempt.
struct Rules {
    bool setAsideUnlikely;
    bool weighNames;
    bool cleanInside;
    std::uint32_t minParagraph; // characters of a block that counts as a paragraph
};
// The last attempt is for pages without prose (listings, indexes): every
// block with text counts, so the region with the most entries wins.
constexpr std::array kAttempts{Rules{true, true, true, kMinParagraph}, Rules{false, true, true, kMinParagraph},
                               Rules{false, false, true, kMinParagraph}, Rules{false, false, false, kMinParagraph},
                               Rules{true, true, false, 1}};

// Text measures of every node's subtree under one attempt's rules.
struct Measures {
    std::vector<std::uint32_t> text, linkText, commas;
    std::vector<std::uint32_t> inlineText, inlineCommas; // text outside nested blocks
    std::vector<std::uint32_t> paragraphs, images, inputs, embeds, children;
    std::vector<std::uint32_t> breaks;      // br children
    std::vector<std::uint32_t> titleLinks;  // link text inside headings
    std::vector<std::uint8_t> setAside, hasBlockChild, sentenceEnd;
};

// Blocks, and table cells, which lay out as blocks too (rows and row groups
// only pass a cell's points on to its table).
bool isBlock(const PageNode &n)
{
    return (n.flags & (kBlock | kCell | kTable | kListItem | kList)) != 0;
}

bool isTablePart(Element e)
{
    return e == Element::Td || e == Element::Th || e == Element::Tr || e == Element::Tbody ||
           e == Element::Thead || e == Element::Tfoot || e == Element::Li || e == Element::Dd || e == Element::Dt;
}

// Blocks whose text counts as a paragraph for their container.
bool paragraphLike(Element e)
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

Measures measure(const PageTree &tree, const Rules &rules)
{
    const auto &nodes = tree.nodes();
    const std::size_t count = nodes.size();
    Measures m;
    for (auto *v : {&m.text, &m.linkText, &m.commas, &m.inlineText, &m.inlineCommas, &m.paragraphs, &m.images,
                    &m.inputs, &m.embeds, &m.children, &m.breaks, &m.titleLinks})
        v->assign(count, 0);
    m.setAside.assign(count, 0);
    m.hasBlockChild.assign(count, 0);
    m.sentenceEnd.assign(count, 0);
    std::vector<std::uint8_t> inHeading(count, 0);
    for (std::size_t i = 1; i < count; ++i) {
        const PageNode &n = nodes[i];
        m.setAside[i] = m.setAside[n.parent] || n.silent || (rules.setAsideUnlikely && n.unlikely &&
                                                             n.element != Element::Body && n.element != Element::Html);
        if (rules.setAsideUnlikely && (n.element == Element::Nav || n.element == Element::Aside ||
                                       n.element == Element::Footer))
            m.setAside[i] = 1;
        if (m.setAside[i])
            continue;
        m.text[i] = m.inlineText[i] = n.text;
        m.images[i] = n.images;
        m.children[i] = n.otherChildren;
        m.breaks[i] = n.breaks;
        m.linkText[i] = n.linkText;
        inHeading[i] = inHeading[n.parent] || (n.flags & kHeading) != 0;
        m.titleLinks[i] = inHeading[i] ? n.linkText : 0;
        m.commas[i] = m.inlineCommas[i] = n.commas;
        m.sentenceEnd[i] = n.sentenceEnd;
    }
    if (!m.setAside[0]) {
        m.images[0] = nodes[0].images;
        m.children[0] = nodes[0].otherChildren;
        m.breaks[0] = nodes[0].breaks;
    }
    for (std::size_t i = count; i-- > 1;) {
        if (m.setAside[i])
            continue;
        const PageNode &n = nodes[i];
        const std::uint32_t p = n.parent;
        m.text[p] += m.text[i];
        m.linkText[p] += m.linkText[i];
        m.titleLinks[p] += m.titleLinks[i];
        m.commas[p] += m.commas[i];
        // Paragraphs: p and pre, and in a block that holds a paragraph's
        // worth of loose text, that text's runs between pairs of line breaks.
        if (n.element == Element::P || n.element == Element::Pre)
            m.paragraphs[i] += 1;
        else if (isBlock(n) && paragraphLike(n.element) && m.inlineText[i] >= kMinParagraph)
            m.paragraphs[i] += 1 + m.breaks[i] / 2;
        m.paragraphs[p] += m.paragraphs[i];
        m.breaks[p] += n.element == Element::Br && !n.wrapped;
        m.images[p] += m.images[i] + (n.element == Element::Img);
        m.inputs[p] += m.inputs[i] + (n.element == Element::Input || n.element == Element::Textarea ||
                                      n.element == Element::Select || n.element == Element::Button);
        m.embeds[p] += m.embeds[i] + (n.element == Element::Iframe || n.element == Element::Embed ||
                                      n.element == Element::Object || n.element == Element::Video);
        m.children[p] += n.wrapped ? 0 : 1;
        if (isBlock(n)) {
            m.hasBlockChild[p] = 1;
        } else {
            // An inline element's blocks lay out as its parent's.
            m.hasBlockChild[p] = m.hasBlockChild[p] || m.hasBlockChild[i];
            m.inlineText[p] += m.inlineText[i];
            m.inlineCommas[p] += m.inlineCommas[i];
            m.sentenceEnd[p] = m.sentenceEnd[p] || m.sentenceEnd[i];
        }
    }
    return m;
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

// One attempt's result: which nodes are shown.
struct Selection {
    std::vector<std::uint8_t> shown; // per node
    std::vector<std::uint8_t> root;  // per node: the top of a chosen part
    std::size_t characters = 0;
};

// Per node: whether it is a cell of a table of data rather than of layout
// (a table with headers or a caption, ten rows, five columns or more than
// ten cells, and no table inside it).
std::vector<std::uint8_t> dataCells(const std::vector<PageNode> &nodes)
{
    const std::size_t count = nodes.size();
    std::vector<std::uint32_t> tableOf(count, kNoNode);
    std::vector<std::uint32_t> rows(count, 0), cells(count, 0), widest(count, 0), rowCells(count, 0);
    std::vector<std::uint8_t> data(count, 0); // first per table: headers or a table inside, then the answer
    constexpr std::uint8_t kHeaders = 1, kNested = 2;
    for (std::size_t i = 1; i < count; ++i) {
        const std::uint32_t p = nodes[i].parent;
        tableOf[i] = nodes[p].element == Element::Table ? p : tableOf[p];
        const std::uint32_t table = tableOf[i];
        if (table == kNoNode)
            continue;
        switch (nodes[i].element) {
        case Element::Table: data[table] |= kNested; break;
        case Element::Tr: ++rows[table]; break;
        case Element::Th: data[table] |= kHeaders; [[fallthrough]];
        case Element::Td:
            ++cells[table];
            if (nodes[p].element == Element::Tr)
                widest[table] = std::max(widest[table], ++rowCells[p]);
            break;
        case Element::Caption:
        case Element::Thead: data[table] |= kHeaders; break;
        default: break;
        }
    }
    for (std::size_t t = 1; t < count; ++t)
        if (nodes[t].element == Element::Table)
            data[t] = !(data[t] & kNested) && ((data[t] & kHeaders) || rows[t] >= 10 || widest[t] > 4 || cells[t] > 10);
    std::vector<std::uint8_t> result(count, 0);
    for (std::size_t i = 1; i < count; ++i)
        result[i] = nodes[i].element == Element::Td && tableOf[i] != kNoNode && data[tableOf[i]];
    return result;
}

// Below every score a node can have.
constexpr double kNoScore = -1e30;

class Chooser {
public:
    // `dataCells` as dataCells() gives them for the tree.
    Chooser(const PageTree &tree, const Rules &rules, const std::vector<std::uint8_t> &dataCells)
        : nodes_(tree.nodes()), rules_(rules), m_(measure(tree, rules)), dataCells_(dataCells)
    {}

    Selection choose()
    {
        score();
        std::uint32_t top = best();
        Selection s;
        s.shown.assign(nodes_.size(), 0);
        s.root.assign(nodes_.size(), 0);
        if (top == kNoNode)
            return s;
        top = widen(top);
        for (std::uint32_t part : withSiblings(top))
            s.root[part] = 1;
        std::vector<std::uint8_t> dropped(nodes_.size(), 0);
        for (std::size_t i = 1; i < nodes_.size(); ++i) {
            const std::uint32_t p = nodes_[i].parent;
            const bool inside = s.root[i] || s.shown[p];
            if (!inside || m_.setAside[i])
                continue;
            if (!s.root[i] && rules_.cleanInside && boilerplate(static_cast<std::uint32_t>(i)))
                continue;
            s.shown[i] = 1;
            s.characters += nodes_[i].silent ? 0 : nodes_[i].text;
        }
        return s;
    }

private:
    void add(std::uint32_t n, double points)
    {
        if (!scored_[n]) {
            scored_[n] = 1;
            score_[n] = elementScore(nodes_[n].element) + (rules_.weighNames ? nodes_[n].classWeight : 0);
        }
        score_[n] += points;
    }

    void score()
    {
        score_.assign(nodes_.size(), 0.0);
        scored_.assign(nodes_.size(), 0);
        for (std::size_t i = 1; i < nodes_.size(); ++i) {
            const PageNode &n = nodes_[i];
            if (m_.setAside[i] || !isBlock(n) || !paragraphLike(n.element) || m_.inlineText[i] < rules_.minParagraph)
                continue;
            const double points = 1.0 + m_.inlineCommas[i] + std::min(m_.inlineText[i] / 100u, 3u);
            // The points go to the block containers above (inline
            // elements such as font or span hold no article).
            std::uint32_t at = m_.hasBlockChild[i] ? static_cast<std::uint32_t>(i) : n.parent;
            for (int level = 0; level < 3 && at != 0 && at != kNoNode; at = nodes_[at].parent) {
                if (nodes_[at].element == Element::Html)
                    break;
                if (!isBlock(nodes_[at]))
                    continue;
                add(at, level == 0 ? points : level == 1 ? points / 2 : points / (level * 3));
                ++level;
            }
        }
        for (std::size_t i = 1; i < nodes_.size(); ++i)
            if (scored_[i])
                score_[i] *= 1.0 - linkDensity(m_, static_cast<std::uint32_t>(i));
    }

    std::uint32_t best() const
    {
        std::uint32_t top = kNoNode;
        for (std::size_t i = 1; i < nodes_.size(); ++i)
            if (scored_[i] && (top == kNoNode || score_[i] > score_[top]))
                top = static_cast<std::uint32_t>(i);
        return top;
    }

    bool stop(std::uint32_t n) const
    {
        return n == 0 || n == kNoNode || nodes_[n].element == Element::Body || nodes_[n].element == Element::Html;
    }

    // The best container, or an ancestor that holds it and scores nearly
    // as well, or that several other strong containers share.
    std::uint32_t widen(std::uint32_t top) const
    {
        if (stop(top))
            return top;
        std::vector<std::uint32_t> close;
        for (std::size_t i = 1; i < nodes_.size(); ++i)
            if (scored_[i] && i != top && score_[i] >= 0.75 * score_[top])
                close.push_back(static_cast<std::uint32_t>(i));
        if (close.size() >= 3) {
            for (std::uint32_t a = nodes_[top].parent; !stop(a); a = nodes_[a].parent) {
                int holds = 0;
                for (std::uint32_t c : close)
                    holds += isAncestor(nodes_, a, c) ? 1 : 0;
                if (holds >= 3) {
                    top = a;
                    break;
                }
            }
        }
        double last = score_[top];
        const double threshold = last / 3;
        for (std::uint32_t a = nodes_[top].parent; !stop(a); a = nodes_[a].parent) {
            if (!scored_[a])
                continue;
            if (score_[a] < threshold)
                break;
            if (score_[a] > last) {
                top = a;
                break;
            }
            last = score_[a];
        }
        // A page laid out in a table: a container that holds most of its
        // cell's text stands for the cell, so that the other cells of the
        // table can join it as the article's parts.
        if (nodes_[top].element != Element::Td) {
            const std::uint32_t cell = enclosing(top, Element::Td);
            if (cell != kNoNode && enclosing(top, Element::Table) == enclosing(cell, Element::Table) &&
                m_.text[top] * 4 >= m_.text[cell] * 3)
                top = cell;
        }
        // An article element says where the article is: when the best
        // container lies in one and holds most of its text, the rest of it
        // is the article's heading, summary and end matter.
        if (nodes_[top].element != Element::Article) {
            const std::uint32_t article = enclosing(top, Element::Article);
            if (article != kNoNode && !m_.setAside[article] && m_.text[top] * 3 >= m_.text[article] * 2)
                top = article;
        }
        // A container that is its parent's only content stands for it; but
        // a cell stays a cell unless its table has no other.
        std::uint32_t only = top;
        while (!stop(nodes_[only].parent) && m_.children[nodes_[only].parent] == 1)
            only = nodes_[only].parent;
        if (nodes_[top].element == Element::Td && only != top && isAncestor(nodes_, only, top) &&
            !isAncestor(nodes_, only, enclosing(top, Element::Table)))
            return top;
        return only;
    }

    std::vector<std::uint32_t> withSiblings(std::uint32_t top) const
    {
        const std::uint32_t parent = nodes_[top].parent;
        if (stop(top) || parent == kNoNode)
            return {top};
        const double topScore = scored_[top] ? score_[top] : 0.0;
        const double threshold = std::max(10.0, topScore * 0.2);
        // A cell's siblings are the cells of its table (a page laid out
        // in a table puts the parts of its article in rows of their own).
        const bool cell = nodes_[top].element == Element::Td;
        const std::uint32_t table = cell ? enclosing(top, Element::Table) : kNoNode;
        std::vector<std::uint32_t> parts;
        const std::uint32_t first = table != kNoNode ? table + 1 : top > 0 ? parent + 1 : 1;
        for (std::size_t i = first; i < nodes_.size(); ++i) {
            const PageNode &n = nodes_[i];
            if (m_.setAside[i])
                continue;
            if (table != kNoNode) {
                if (n.element != Element::Td || enclosing(static_cast<std::uint32_t>(i), Element::Table) != table)
                    continue;
            } else if (n.parent != parent) {
                continue;
            }
            const auto c = static_cast<std::uint32_t>(i);
            if (c == top) {
                parts.push_back(c);
                continue;
            }
            const double bonus = n.classHash != 0 && n.classHash == nodes_[top].classHash ? topScore * 0.2 : 0.0;
            // A sibling joins by what its text scores: a name that says
            // "post" or "entry" on a box of dates and names brings it no
            // nearer.
            const double score =
                chainScore(c) - (rules_.weighNames && nodes_[c].classWeight > 0 ? nodes_[c].classWeight : 0);
            if (score > kNoScore && score + bonus >= threshold) {
                parts.push_back(c);
                continue;
            }
            if (!isBlock(n) || (m_.hasBlockChild[c] && !cell) || !paragraphLike(n.element))
                continue;
            const double density = linkDensity(m_, c);
            const std::uint32_t length = m_.text[c];
            if ((length > 80 && density < 0.25) || (length > 0 && length <= 80 && density == 0 && m_.sentenceEnd[c]))
                parts.push_back(c);
        }
        return parts;
    }

    // The best score of a node and of the nodes that are, one in the
    // other, its only content (a table of one cell scores as its cell).
    double chainScore(std::uint32_t n) const
    {
        double best = scored_[n] ? score_[n] : kNoScore;
        while (m_.children[n] == 1) {
            std::uint32_t child = n + 1;
            while (child < nodes_.size() && (nodes_[child].parent != n || m_.setAside[child]))
                ++child;
            if (child >= nodes_.size() || !isAncestor(nodes_, n, child))
                break;
            n = child;
            if (scored_[n])
                best = std::max(best, score_[n]);
        }
        return best;
    }

    std::uint32_t enclosing(std::uint32_t n, Element e) const
    {
        for (std::uint32_t a = nodes_[n].parent; a != kNoNode && a != 0; a = nodes_[a].parent)
            if (nodes_[a].element == e)
                return a;
        return kNoNode;
    }

    // Whether an element inside the chosen content looks like boilerplate.
    bool boilerplate(std::uint32_t i) const
    {
        const PageNode &n = nodes_[i];
        switch (n.element) {
        case Element::Nav:
        case Element::Aside:
        case Element::Footer:
        case Element::Button:
        case Element::Select:
        case Element::Textarea:
        case Element::Input:
        case Element::Iframe:
        case Element::Object:
        case Element::Embed:
        case Element::Noscript:
        case Element::Dialog: return true;
        case Element::H1:
        case Element::H2:
        case Element::H3: return rules_.weighNames && n.classWeight < 0;
        case Element::P: // a line of metadata ("posted by", "tags") rather than prose
            return rules_.weighNames && n.classWeight < 0 && m_.text[i] < 100;
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
        case Element::Figure: break;
        default: return false;
        }
        const int weight = rules_.weighNames ? n.classWeight : 0;
        if (weight < 0)
            return true;
        const double density = linkDensity(m_, i);
        // An entry's title is often a link to the entry: when the text
        // besides the links is at least as long as the titles, the titles
        // are no navigation.
        const std::uint32_t plain = m_.text[i] - m_.linkText[i];
        const double bodyDensity =
            plain >= m_.titleLinks[i] && m_.text[i] > 0
                ? static_cast<double>(m_.linkText[i] - m_.titleLinks[i]) / m_.text[i]
                : density;
        const bool list = n.element == Element::Ul || n.element == Element::Ol || n.element == Element::Dl;
        if (list)
            return density > 0.6;
        if (m_.commas[i] >= 10)
            return false;
        const std::uint32_t paragraphs = m_.paragraphs[i], images = m_.images[i], length = m_.text[i];
        if (dataCells_[i])
            return density > 0.5;
        if (n.element == Element::Table || n.element == Element::Td)
            return density > 0.5 || (length < kMinParagraph && images == 0 && length > 0);
        if (images > 1 && paragraphs * 2 < images && n.element != Element::Figure)
            return true;
        if (m_.inputs[i] > paragraphs / 3 + 1)
            return true;
        if (length < kMinParagraph && (images == 0 || images > 2))
            return length > 0 || images > 2;
        if (weight < 25 && bodyDensity > 0.2 && length < 1000)
            return true;
        if (weight >= 25 && density > 0.5)
            return true;
        if ((m_.embeds[i] == 1 && length < 75) || m_.embeds[i] > 1)
            return true;
        return false;
    }

    const std::vector<PageNode> &nodes_;
    Rules rules_;
    Measures m_;
    std::vector<double> score_;
    std::vector<std::uint8_t> scored_;
    const std::vector<std::uint8_t> &dataCells_;
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
    static constexpr std::array kSeparators{" | ", " - ", " \xE2\x80\x93 ", " \xE2\x80\x94 ", " :: ", " \xC2\xBB ",
                                            " \xC2\xB7 ", " / ", " \xE2\x80\xA2 "};
    std::vector<std::string> parts{title};
    for (const char *sep : kSeparators) {
        std::vector<std::string> next;
        for (const std::string &p : parts) {
            std::size_t from = 0;
            for (std::size_t at; (at = p.find(sep, from)) != std::string::npos; from = at + std::string_view(sep).size())
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

struct HeadingText {
    std::uint32_t node;
    std::string text;
};

// Every h1, h2 and h3 that is shown, in document order, with its text (its
// first few hundred bytes, never part of a character, runs of white space
// as one space).
std::vector<HeadingText> headingTexts(const PageTree &tree)
{
    std::vector<HeadingText> headings;
    for (const auto &[node, text] : tree.headings())
        headings.push_back({node, text});
    return headings;
}

} // namespace

struct ArticleExtractor::State {
    explicit State(TokenizerSwitch *tokenizer) : tree(tokenizer) {}
    PageTree tree;
};

ArticleExtractor::ArticleExtractor(TextSink &out, const RenderOptions &options, TokenizerSwitch *tokenizer)
    : state_(std::make_unique<State>(tokenizer)), sink_(out), options_(options)
{}

ArticleExtractor::~ArticleExtractor() = default;

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
    state_->tree.endOfFile();
    const PageTree &tree = state_->tree;
    const auto &nodes = tree.nodes();

    // The first attempt with enough text, else the one with the most.
    const std::vector<std::uint8_t> dataTableCells = dataCells(nodes);
    Selection chosen;
    int chosenAttempt = -1;
    for (std::size_t a = 0; a < kAttempts.size(); ++a) {
        Selection s = Chooser(tree, kAttempts[a], dataTableCells).choose();
        if (chosenAttempt < 0 || s.characters > chosen.characters) {
            chosen = std::move(s);
            chosenAttempt = static_cast<int>(a);
        }
        if (chosen.characters >= kEnoughCharacters)
            break;
    }
    choice_.attempt = chosenAttempt;
    choice_.listing = kAttempts[static_cast<std::size_t>(chosenAttempt)].minParagraph == 1;
    if (chosen.characters == 0) {
        // Nothing qualified: the whole page, as the readable mode gives it.
        choice_.wholeBody = true;
        chosen.shown.assign(nodes.size(), 1);
        chosen.root.assign(nodes.size(), 0);
        chosen.root[0] = 1;
    }
    choice_.characters = chosen.characters;

    // The title: of the headings (h1 to h3) that match the document's title
    // (a part of it, or all of it without the site's name and more), the one
    // closest in length to the title without the site's name (the site's
    // name in a heading matches too, and so does a "related to" heading);
    // else the only h1 in the content; else the document's title itself.
    const std::string docTitle = trimmed(tree.title());
    const std::string shortTitle = withoutSiteName(docTitle);
    const std::string lowTitle = lowered(docTitle);
    const std::string lowShortTitle = lowered(shortTitle);
    const std::vector<HeadingText> headings = headingTexts(tree);
    std::uint32_t heading = kNoNode;
    std::size_t headingDistance = 0;
    std::uint32_t onlyH1 = kNoNode;
    int h1Count = 0;
    std::string headingTitle, onlyH1Title;
    for (const auto &[i, text] : headings) {
        const PageNode &n = nodes[i];
        if ((n.unlikely && !chosen.shown[i]) || text.empty())
            continue;
        const std::string low = lowered(text);
        if (n.element == Element::H1) {
            ++h1Count;
            onlyH1 = i;
            onlyH1Title = text;
        }
        const bool matches = !lowTitle.empty() && low.size() >= 3 &&
                             (lowTitle.find(low) != std::string::npos ||
                              (!lowShortTitle.empty() && low.find(lowShortTitle) != std::string::npos));
        const std::size_t distance =
            low.size() > lowShortTitle.size() ? low.size() - lowShortTitle.size() : lowShortTitle.size() - low.size();
        if (matches && (heading == kNoNode || distance < headingDistance)) {
            heading = i;
            headingDistance = distance;
            headingTitle = text;
        }
    }
    if (heading == kNoNode && h1Count == 1 && (chosen.shown[onlyH1] || docTitle.empty())) {
        heading = onlyH1;
        headingTitle = onlyH1Title;
    }
    std::string title = heading != kNoNode ? headingTitle : shortTitle;
    if (heading != kNoNode && chosen.shown[heading]) {
        // Shown once, first; its subtree (the nodes right after it) leaves the content.
        for (std::size_t i = heading; i < nodes.size() && isAncestor(nodes, heading, static_cast<std::uint32_t>(i)); ++i)
            chosen.shown[i] = 0;
    }
    choice_.title = title;

    TextRenderer renderer(sink_, options_, nullptr);
    if (!title.empty()) {
        html::Tag h1;
        h1.name = "h1";
        renderer.startTag(h1);
        renderer.characters(title);
        renderer.endTag(h1);
    }
    tree.replay(renderer, [&nodes, &chosen](const article::TokenPlace &token) {
        const std::uint32_t n = token.node;
        const Element e = nodes[n].element;
        if (token.own && (e == Element::Style || e == Element::Base))
            return true;
        if (!chosen.shown[n])
            return false;
        // A cell or item on its own: its content only.
        return !(token.own && token.kind != article::TokenKind::Text && chosen.root[n] && (isTablePart(e) || n == 0));
    });
    renderer.endOfFile();
}

std::string describe(const ArticleChoice &choice)
{
    std::string text;
    if (choice.wholeBody)
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

} // namespace quillan::readable
