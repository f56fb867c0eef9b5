#include "text/readable/text_renderer.h"

#include "text/readable/address_resolution.h"
#include "text/readable/elements.h"
#include "text/readable/line_breaking.h"
#include "text/readable/text_case.h"
#include "text/readable/tokenizer_switch.h"
#include "text/readable/url_parser.h"

#include "base/byte_scan.h"
#include "base/text.h"
#include "base/utf8.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <iterator>
#include <system_error>

namespace quillan::text::readable {
namespace {

constexpr std::size_t kFlushAt = 64 * 1024;
constexpr std::size_t kReferencesInMemory = 256 * 1024;
constexpr std::size_t kMaxAltBytes = 256;
// Names counted inside a hidden element deeper than the stack.
constexpr std::size_t kMaxOverflowNames = 64;
constexpr std::size_t kMaxOverflowName = 64;

// Collapsible white space of HTML text (CR is taken as white space too).
constexpr auto kSpaces = [] {
    std::array<bool, 256> spaces{};
    for (const unsigned char c : std::string_view(" \n\t\r\f"))
        spaces[c] = true;
    return spaces;
}();

constexpr bool isSpace(char c)
{
    return kSpaces[static_cast<unsigned char>(c)];
}

// Markdown's ASCII punctuation.
constexpr bool asciiPunctuation(char c)
{
    return (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') || (c >= '{' && c <= '~');
}

// The bytes of the UTF-8 character that starts at `at`.
std::size_t charBytesAt(std::string_view s, std::size_t at)
{
    const auto b = static_cast<unsigned char>(s[at]);
    const std::size_t size = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    return std::min(size, s.size() - at);
}

// Where a word of collapsible text ends: white space, or a NUL character.
constexpr auto kWordEnds = [] {
    std::array<bool, 256> ends = kSpaces;
    ends[0] = true;
    return ends;
}();

bool isBreakout(std::string_view name, const html::Tag &tag)
{
    const html::KnownName known = html::findKnownName(name);
    if (html::elementFlags(known) & kBreaksOutOfForeign)
        return true;
    return known == html::k_font && (tag.hasAttribute("color") || tag.hasAttribute("face") || tag.hasAttribute("size"));
}

// The elements whose end tags a later start tag may imply.
bool endImplied(Element e)
{
    return (FlagsOf(e) & kEndImplied) != 0;
}

long parseInteger(std::string_view s, long fallback)
{
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    long value = 0;
    const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (error != std::errc() || end == s.data())
        return fallback;
    return value;
}

// Whether a style element's rules apply on a screen: no media query, or
// one that names only all or screen, and a type that is CSS.
bool forScreen(const html::Tag &tag)
{
    const auto trimmed = [](std::string_view s) {
        while (!s.empty() && isSpace(s.front()))
            s.remove_prefix(1);
        while (!s.empty() && isSpace(s.back()))
            s.remove_suffix(1);
        return s;
    };
    const std::string_view type = trimmed(tag.attribute("type"));
    if (!type.empty() && !base::EqualsNoCase(type, "text/css"))
        return false;
    const std::string_view media = trimmed(tag.attribute("media"));
    return media.empty() || base::EqualsNoCase(media, "all") || base::EqualsNoCase(media, "screen");
}

bool startsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && base::EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// A link address as a browser reads it: C0 controls and spaces cut from
// both ends, tabs and line breaks dropped wherever they are.
std::string cleanAddress(std::string_view href)
{
    while (!href.empty() && static_cast<unsigned char>(href.front()) <= 0x20)
        href.remove_prefix(1);
    while (!href.empty() && static_cast<unsigned char>(href.back()) <= 0x20)
        href.remove_suffix(1);
    const char *const end = href.data() + href.size();
    const char *p = base::FindAnyOf(href.data(), end, '\t', '\n', '\r');
    std::string address(href.data(), p);
    while (p != end) {
        const char *const next = base::FindAnyOf(p + 1, end, '\t', '\n', '\r');
        address.append(p + 1, next);
        p = next;
    }
    return address;
}

// Whether the last character of a word belongs to a word, for capitalize
// (a letter or digit; any character past ASCII is taken as a letter).
bool endsInWord(std::string_view w)
{
    const auto c = static_cast<unsigned char>(w.back());
    return c >= 0x80 || (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || c == '\'';
}

// The formatting elements: the tree builder copies them when an element
// closed them early or their end tag comes inside a block. The names the
// renderer does not tell apart are looked up by their text; a name it tells
// apart that comes as Other is a foreign element's (svg's a), never one.
bool isFormatting(Element element, std::string_view name)
{
    if (element != Element::Other)
        return (FlagsOf(element) & kFormatting) != 0;
    const html::KnownName known = html::findKnownName(name);
    return ElementOf(known) == Element::Other && (html::elementFlags(known) & kFormatting) != 0;
}

// The elements that put a marker on the list of active formatting elements:
// what is reopened inside them is what was opened inside them.
bool setsMarker(Element element)
{
    switch (element) {
    case Element::Td:
    case Element::Th:
    case Element::Caption:
    case Element::Template:
    case Element::Applet:
    case Element::Object:
    case Element::Marquee: return true;
    default: return false;
    }
}

// Whether the tree builder reopens the formatting elements before the
// element's start tag: before ordinary elements and a few special ones.
bool reopensFormattingBefore(Element element, std::uint32_t flags)
{
    switch (element) {
    case Element::Button:
    case Element::Applet:
    case Element::Marquee:
    case Element::Object:
    case Element::Area:
    case Element::Br:
    case Element::Embed:
    case Element::Img:
    case Element::Keygen:
    case Element::Wbr:
    case Element::Input:
    case Element::Xmp:
    case Element::Noscript: return true;
    case Element::Rb:
    case Element::Rtc:
    case Element::Rp:
    case Element::Rt: return false;
    default: return !(flags & kSpecial);
    }
}

// A digest of a tag's attributes, whatever their order: of a long value
// only its length and both ends are taken, which is enough to tell the
// elements of a page apart and keeps long addresses cheap.
std::uint64_t attributeDigest(const html::Tag &tag)
{
    constexpr std::size_t kEnds = 16;
    const auto add = [](std::uint64_t h, std::string_view s) {
        for (const char c : s)
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        return h;
    };
    std::uint64_t digest = tag.attributes.size();
    for (const html::Attribute &a : tag.attributes) {
        std::uint64_t h = add(1469598103934665603ull, a.name);
        h = (h ^ a.value.size()) * 1099511628211ull;
        if (a.value.size() <= 2 * kEnds)
            h = add(h, a.value);
        else
            h = add(add(h, a.value.substr(0, kEnds)), a.value.substr(a.value.size() - kEnds));
        digest += h * 0x9E3779B97F4A7C15ull;
    }
    return digest;
}

} // namespace

TextRenderer::TextRenderer(TextSink &out, const RenderOptions &options, TokenizerSwitch *tokenizer)
    : sink_(out), options_(options), tokenizer_(tokenizer), base_(options.address), baseAddress_(base_)
{
    stack_.reserve(64);
    out_.reserve(kFlushAt + 4096);
}

TextRenderer::~TextRenderer()
{
    if (spill_)
        std::fclose(spill_);
}

// --- Tokens ---------------------------------------------------------------

void TextRenderer::characters(std::string_view utf8)
{
    if (utf8.empty())
        return;
    if (styleDepth_ != kNone) {
        if (styleForScreen_)
            sheet_.feed(utf8);
        return;
    }
    if (skipNewline_) {
        skipNewline_ = false;
        if (utf8.front() == '\n')
            utf8.remove_prefix(1);
        if (utf8.empty())
            return;
    }
    if (headDepth_ != kNone && stack_.size() == headDepth_ + 1) {
        // White space in head stays there, as the tree builder keeps it;
        // the first other character ends the head and goes to the body,
        // however the text came in pieces.
        const auto other = std::find_if_not(utf8.begin(), utf8.end(), isSpace);
        if (other == utf8.end())
            return;
        utf8.remove_prefix(std::size_t(other - utf8.begin()));
        popTo(headDepth_);
    }
    if (!stack_.empty() && stack_.back().element == Element::Colgroup) {
        // Likewise white space stays in a column group, and other text ends it.
        const auto other = std::find_if_not(utf8.begin(), utf8.end(), isSpace);
        if (other == utf8.end())
            return;
        utf8.remove_prefix(std::size_t(other - utf8.begin()));
        endColumnGroupBefore({});
    }
    // Once the body has text, a head start tag is out of place and ignored.
    if (!headSeen_ && !std::all_of(utf8.begin(), utf8.end(), isSpace))
        headSeen_ = true;
    if (textReopensFormatting())
        reconstructFormatting();
    if (!shown() && !shownBeforeTable())
        return;
    if (!stack_.empty() && stack_.back().closedDetails)
        return;
    if (keepsSpace())
        keptText(utf8);
    else
        collapsedText(utf8);
}

void TextRenderer::startTag(const html::Tag &tag)
{
    flushHeldWord();
    skipNewline_ = false;
    if (overflowHidden_ && overflowStartTag(tag))
        return;
    endColumnGroupBefore(tag.name);
    if (!stack_.empty() && stack_.back().foreign && !stack_.back().integration) {
        if (!isBreakout(tag.name, tag)) {
            startForeign(tag, 0);
            return;
        }
        while (!stack_.empty() && stack_.back().foreign && !stack_.back().integration)
            popTo(stack_.size() - 1);
    }
    ElementInfo info = LookupElement(tag);
    if (info.element == Element::Svg || info.element == Element::Math) {
        // Neither is head content: either ends the head, as any element
        // after the place of a head start tag does.
        if (headDepth_ != kNone && templateCount_ == 0)
            popTo(headDepth_);
        headSeen_ = true;
        if (headDepth_ == kNone && !inForeignContent())
            reconstructFormatting();
        startForeign(tag, info.flags);
        return;
    }
    if (info.element == Element::Image)
        info = LookupElement("img");
    if (info.element == Element::Base)
        takeBase(tag);
    startHtml(tag, info.element, info.flags);
    updateForeign();
}

void TextRenderer::endTag(const html::Tag &tag)
{
    flushHeldWord();
    skipNewline_ = false;
    if (overflowHidden_ && overflowEndTag(tag))
        return;
    endColumnGroupBefore(tag.name);
    if (foreignCount_ > 0 && !stack_.empty() && stack_.back().foreign) {
        if (tag.name == "p" || tag.name == "br") {
            // These two end foreign content and are read as in HTML.
            while (!stack_.empty() && stack_.back().foreign && !stack_.back().integration)
                popTo(stack_.size() - 1);
            endHtml(tag);
            updateForeign();
            return;
        }
        endForeign(tag);
        updateForeign();
        return;
    }
    endHtml(tag);
    updateForeign();
}

void TextRenderer::endOfFile()
{
    flushHeldWord();
    overflowHidden_ = false;
    overflowOpen_.clear();
    popTo(0);
    if (markdown())
        closeMarks(true, 0);
    if (started_ && trailingBreaks_ == pendingBreaks_)
        emitText("\n"); // the last line ends like every other
    pendingBreaks_ = 0;
    if (linkCount_ > 0)
        writeReferences();
    flushOut(true);
}

// --- Tree-builder stand-ins -----------------------------------------------

void TextRenderer::startHtml(const html::Tag &tag, Element element, std::uint32_t flags)
{
    // Head content stays in head; anything else ends it, but for what a
    // template holds.
    if (headDepth_ != kNone && templateCount_ == 0 && !(flags & kHeadContent) && element != Element::Head)
        popTo(headDepth_);

    // Any element but html comes after the place of a head start tag.
    if (element != Element::Html && element != Element::Head)
        headSeen_ = true;
    switch (element) {
    case Element::Html:
    case Element::Body: return;
    case Element::Head:
        if (headSeen_)
            return;
        headSeen_ = true;
        break;
    default: break;
    }
    // The parts of a table have a place only in one (or in a template).
    if ((flags & (kCell | kRow | kRowGroup) || element == Element::Caption || element == Element::Col ||
         element == Element::Colgroup) &&
        !inTable())
        return;
    // A select inside a select ends the first and is dropped.
    if (element == Element::Select)
        if (const std::ptrdiff_t i = findInScope(Element::Select, 0); i >= 0) {
            popTo(static_cast<std::size_t>(i));
            return;
        }
    impliedEndsFor(element, flags);
    if (headDepth_ == kNone && reopensFormattingBefore(element, flags)) {
        reconstructFormatting();
        if (element == Element::Other && tag.name == "nobr") {
            // A nobr inside a nobr ends the first one, as its end tag would.
            for (std::size_t i = stack_.size(); i-- > 0;) {
                const Open &o = stack_[i];
                if (o.element == Element::Other && !o.foreign && o.name == "nobr") {
                    adoptionAgency(Element::Other, "nobr");
                    reconstructFormatting();
                    break;
                }
                if ((o.flags & kScopeBoundary) || o.integration)
                    break;
            }
        }
    }

    switchTokenizerFor(element);

    Open open;
    open.element = element;
    open.flags = flags;
    bool newMarker = false;
    // An element the tree builder moves out of a table shows as the table's
    // parent does, whatever table part it came in.
    const bool fosteredShown =
        !shown() && !(flags & (kCell | kRow | kRowGroup | kTable)) && element != Element::Caption &&
        element != Element::Colgroup && element != Element::Col && element != Element::Style &&
        element != Element::Script && element != Element::Template && element != Element::Form &&
        !(element == Element::Input && base::EqualsNoCase(tag.attribute("type"), "hidden")) && shownBeforeTable();
    // Whether the element hides its content is kept even inside hidden
    // content: a formatting element's end tag may move it out of there.
    const bool parentShown = shown() || fosteredShown;
    // What hides of itself goes with a formatting element's copies; what a
    // closed details hides stays where it stands.
    const bool displayedOfItself = !(flags & (kNotDisplayed | kNoContent));
    const bool displayed = displayedOfItself && !hiddenByClosedDetails(element);
    ElementStyle style;
    if (displayedOfItself)
        style = styleOf(tag, element);
    const bool hidesOfItself = !displayedOfItself || style.hides;
    open.hides = !displayed || style.hides;
    open.ownTransform = style.transform;
    if (parentShown && displayed)
        open.transform = style.transform == TextTransform::Inherit ? inheritedTransform() : style.transform;
    const bool visible = parentShown && !open.hides;
    open.hidden = parentShown && !visible;

    if (flags & kVoid) {
        if (!visible)
            return;
        if (element == Element::Br)
            lineBreak();
        else if (element == Element::Hr && markdown())
            thematicBreak();
        else if (flags & kBlock)
            requireBreaks(1);
        else if (element == Element::Img ||
                 (element == Element::Input && base::EqualsNoCase(tag.attribute("type"), "image"))) {
            // (In code an image is no image: as in the plain text, nothing
            // but the alt text that may name its link, and so for one
            // without an address, which cannot be shown, and for any after
            // that in its link, whose alt text would name it instead; and
            // for one that names a link the Markdown cannot write, one
            // without an address, whose name would be lost with it.)
            if (!markdown() || fenceAt_ != kNone || inCodeSpan() || cleanAddress(tag.attribute("src")).empty() ||
                (linkDepth_ != kNone && !linkHasText_ && !linkAlt_.empty()) || namesUnwrittenLink(tag))
                image(tag);
            else if (options_.images == Images::Keep && fenceAt_ == kNone && !inCodeSpan())
                markdownImage(tag);
        }
        return;
    }

    // In Markdown a figure's caption is an HTML block around its text,
    // which stays Markdown (but in a cell, heading or code, where the text
    // goes on as it is).
    const bool captionBlock = visible && markdown() && element == Element::Figcaption && captionId_ == 0 &&
                              !inMarkedTable() && fenceAt_ == kNone && !keepsSpace() && !inHeading() && !inCodeSpan();
    if (visible) {
        if (const int breaks = captionBlock ? 2 : breaksAround(element, flags, stack_.size()); breaks > 0)
            requireBreaks(breaks);
        if (markdown() && (flags & kHeading) && !inMarkedTable() && fenceAt_ == kNone)
            headingLevel_ = static_cast<int>(element) - static_cast<int>(Element::H1) + 1;

        if (flags & kCell) {
            // Cells of one row are separated by tabs; the row is the open tr,
            // or the table itself when the page left the tr out.
            for (std::size_t i = stack_.size(); i-- > 0;) {
                if (stack_[i].flags & (kRow | kTable)) {
                    if (stack_[i].count++ > 0)
                        cellSeparator();
                    break;
                }
            }
        } else if (flags & kTable) {
            open.count = 0;
        } else if (element == Element::Ol) {
            open.reversed = tag.hasAttribute("reversed");
            open.count = static_cast<std::uint32_t>(parseInteger(tag.attribute("start"), 1));
        } else if (flags & kListItem) {
            listMarker(stack_.size(), tag.attribute("value"));
            newMarker = true;
        } else if (element == Element::A && (!markdown() || options_.links)) {
            startLink(tag, open);
        }
        if (element == Element::Details && !tag.hasAttribute("open"))
            open.closedDetails = true;
        // In Markdown a list right inside a list (not in an item of it)
        // goes under the item before it, as a browser indents it.
        if (markdown() && (flags & kList) && nestsUnderItem(stack_.size()))
            open.markerWidth = stack_.back().itemWidth;
    }

    if (element == Element::Other)
        open.name = tag.name;
    const bool hides = open.hidden;
    const std::size_t hiddenBefore = hiddenDepth_;
    if (fosteredShown) {
        // The hiding of the table part stops while it is open.
        open.hiddenBelow = hiddenDepth_;
        hiddenDepth_ = kNone;
    }
    if (!push(std::move(open))) {
        hiddenDepth_ = hiddenBefore;
        // Deeper than the stack goes: an inline element without effects,
        // but for hiding what it holds.
        if (html::elementFlags(html::findKnownName(tag.name)) & (kScopeBoundary | kButtonScopeBoundary))
            boundaryPastStack_ = true;
        if (hides && shown())
            startOverflowHiding(tag.name);
        return;
    }
    const std::size_t depth = stack_.size();
    if (captionBlock) {
        captionId_ = stack_.back().id;
        captionOpening_ = true; // written with its first content
    }
    if (isFormatting(element, tag.name))
        pushFormatting(tag, stack_.back(), hidesOfItself);
    else if (setsMarker(element))
        formatting_.emplace_back();
    if (element == Element::Head)
        headDepth_ = depth - 1;
    if (element == Element::Style) {
        styleDepth_ = depth - 1;
        styleForScreen_ = forScreen(tag);
    }
    if ((flags & kKeepsSpace) && keepSpaceDepth_ == kNone)
        keepSpaceDepth_ = depth - 1;
    if (newMarker)
        markerDepth_ = depth;
    if (element == Element::Pre || element == Element::Listing || element == Element::Textarea)
        skipNewline_ = true;
    if (markdown() && visible) {
        if (keepSpaceDepth_ == depth - 1) {
            startFence(tag);
        } else if ((flags & kTable) && fenceAt_ == kNone) {
            if (tableAt_ == kNone)
                startTable();
            else if (endTableAsBlocks())
                startTable(); // a table of its own inside the outer one's texts
            else
                tableBlocks_ = true;
        } else if ((flags & (kRow | kCell)) && inMarkedTable()) {
            if (flags & kRow)
                tableMark(kRowMark, 0);
            else
                tableMark(kCellMark,
                          static_cast<int>(std::clamp<long>(parseInteger(tag.attribute("colspan"), 1), 1, kMaxSpan)));
            if ((flags & kCell) && parseInteger(tag.attribute("rowspan"), 1) > 1)
                tableBlocks_ = true;
        } else {
            startMark(tag, stack_.back());
        }
    }
}

void TextRenderer::listMarker(std::size_t below, std::string_view value)
{
    Open *list = nullptr;
    for (std::size_t i = below; i-- > 0;) {
        if (stack_[i].flags & kList) {
            list = &stack_[i];
            break;
        }
        if (stack_[i].flags & kListItem)
            break;
    }
    // In Markdown a list right after another of its kind, or right inside
    // a list (not an item of it), takes the other delimiter, so that it
    // does not go on as the same list.
    markerList_ = list ? static_cast<std::size_t>(list - stack_.data()) + 1 : kNone;
    char delimiter = 0;
    // (In a table's cell, where no list can stand, and in a code block, the
    // marker is text.)
    if (markdown() && list && !inMarkedTable() && fenceAt_ == kNone) {
        if (list->delimiter == 0) {
            const bool ordered = list->element == Element::Ol;
            const bool inList = list != &stack_.front() && ((list - 1)->flags & kList) && list->markerWidth == 0;
            const bool other = inList || (listEndedAt_ == flushed_ + out_.size() && lastOrdered_ == ordered &&
                                          lastDelimiter_ == (ordered ? '.' : '-'));
            list->delimiter = ordered ? (other ? ')' : '.') : (other ? '*' : '-');
        }
        delimiter = list->delimiter;
    }
    if (list && list->element == Element::Ol) {
        if (value.data())
            list->count = static_cast<std::uint32_t>(parseInteger(value, list->count));
        const int n = static_cast<int>(list->count);
        list->count += list->reversed ? -1 : 1;
        // A list that starts at another number than 1 cannot interrupt a
        // paragraph: after an item's line, a blank line goes before it.
        if (markdown() && !list->marked && n != 1)
            requireBreaks(2);
        const auto [end, error] = std::to_chars(marker_, marker_ + sizeof marker_ - 2, n);
        (void)error;
        end[0] = delimiter != 0 ? delimiter : '.';
        end[1] = ' ';
        markerSize_ = static_cast<std::size_t>(end + 2 - marker_);
    } else {
        marker_[0] = delimiter != 0 ? delimiter : '*';
        marker_[1] = ' ';
        markerSize_ = 2;
    }
}

void TextRenderer::endHtml(const html::Tag &tag)
{
    const ElementInfo info = LookupElement(tag);
    const Element element = info.element == Element::Image ? Element::Img : info.element;
    const std::uint32_t flags = info.flags;
    switch (element) {
    case Element::Html:
    case Element::Body: return; // text after them still belongs to the body
    case Element::Br:
        // Read as a br start tag.
        reconstructFormatting();
        if (shown())
            lineBreak();
        return;
    case Element::P:
        if (findInScope(Element::P, 1) < 0) {
            // </p> without a p: an empty paragraph.
            if (shown())
                requireBreaks(2);
            return;
        }
        closeInScope(Element::P, 1);
        return;
    case Element::Head:
        if (headDepth_ != kNone && templateCount_ == 0)
            popTo(headDepth_);
        return;
    case Element::Template:
        // The nearest template, whatever stands between.
        for (std::size_t i = stack_.size(); i-- > 0;) {
            if (stack_[i].element == Element::Template && !stack_[i].foreign) {
                popTo(i);
                return;
            }
        }
        return;
    case Element::Li: closeInScope(Element::Li, kList); return;
    case Element::Select:
    case Element::Dialog:
        // Not special, but their end tags close them in scope as a block's.
        closeInScope(element, 0);
        return;
    default: break;
    }
    if (flags & kHeading) {
        for (std::size_t i = stack_.size(); i-- > 0;) {
            const Open &o = stack_[i];
            if ((o.flags & kHeading) && !o.foreign) {
                popTo(i);
                return;
            }
            if ((o.flags & kScopeBoundary) || o.integration)
                return;
        }
        return;
    }
    if (flags & (kCell | kRow | kRowGroup | kTable)) {
        for (std::size_t i = stack_.size(); i-- > 0;) {
            if (stack_[i].element == element) {
                popTo(i);
                return;
            }
            if (stack_[i].element == Element::Table || stack_[i].element == Element::Html ||
                stack_[i].element == Element::Template)
                return;
        }
        return;
    }
    if (flags & kSpecial) {
        closeInScope(element, 0);
        return;
    }
    if (isFormatting(element, tag.name) && adoptionAgency(element, tag.name))
        return;
    // Any other end tag: the nearest open element of that name, unless a
    // special element (integration points among them) stands between.
    for (std::size_t i = stack_.size(); i-- > 0;) {
        const Open &o = stack_[i];
        if (o.element == element && !o.foreign && (element != Element::Other || o.name == tag.name)) {
            popTo(i);
            return;
        }
        if ((o.flags & kSpecial) || o.integration)
            return;
    }
}

void TextRenderer::endColumnGroupBefore(std::string_view name)
{
    // A column group holds col and template elements only; its end tag may
    // be left out, and whatever else comes ends it and goes to the table.
    if (!stack_.empty() && stack_.back().element == Element::Colgroup && name != "col" && name != "template")
        popTo(stack_.size() - 1);
}

void TextRenderer::startForeign(const html::Tag &tag, std::uint32_t flags)
{
    Open open;
    open.element = Element::Other;
    open.flags = flags;
    open.foreign = true;
    open.name = tag.name;
    // In foreign content an element takes the namespace of its parent (an
    // svg inside math is a MathML element); from HTML, or an integration
    // point, svg starts SVG.
    const bool inForeign = !stack_.empty() && stack_.back().foreign && !stack_.back().integration;
    const bool inSvg = inForeign ? stack_.back().svg : tag.name == "svg";
    open.hides = tag.name == "svg" && !inForeign; // pictures: their text is not text of the page
    open.hidden = open.hides && shown();
    open.svg = inSvg;
    if (inSvg && (tag.name == "foreignobject" || tag.name == "desc" || tag.name == "title"))
        open.integration = true;
    if (!inSvg && (tag.name == "mi" || tag.name == "mo" || tag.name == "mn" || tag.name == "ms" ||
                   tag.name == "mtext" || tag.name == "annotation-xml"))
        open.integration = true;
    open.transform = inheritedTransform();
    if (tag.selfClosing)
        return;
    const bool hides = open.hidden;
    if (!push(std::move(open))) {
        // Past the stack, foreign content may hold scope boundaries.
        boundaryPastStack_ = true;
        if (hides)
            startOverflowHiding(tag.name);
    }
    updateForeign();
}

void TextRenderer::endForeign(const html::Tag &tag)
{
    for (std::size_t i = stack_.size(); i-- > 0;) {
        const Open &o = stack_[i];
        if (!o.foreign)
            break;
        if (o.name == tag.name) {
            popTo(i);
            return;
        }
    }
    endHtml(tag);
}

void TextRenderer::updateForeign()
{
    // CDATA sections are read whenever the current node is not HTML, in
    // integration points too.
    const bool foreign = !stack_.empty() && stack_.back().foreign;
    if (foreign != lastForeign_) {
        lastForeign_ = foreign;
        if (tokenizer_)
            tokenizer_->setForeignContent(foreign);
    }
}

ElementStyle TextRenderer::styleOf(const html::Tag &tag, Element element) const
{
    const ElementStyle hidden{true, TextTransform::Inherit};
    if (element == Element::Dialog && !tag.hasAttribute("open"))
        return hidden;
    if (tag.attributes.empty())
        return sheet_.empty() ? ElementStyle{} : sheet_.match(tag.name, {}, {});
    if (tag.hasAttribute("hidden"))
        return hidden;
    if (element == Element::Input && base::EqualsNoCase(tag.attribute("type"), "hidden"))
        return hidden;
    ElementStyle inline_;
    if (const std::string_view style = tag.attribute("style"); !style.empty()) {
        inline_ = InlineStyle(style);
        if (inline_.hides)
            return inline_;
    }
    if (sheet_.empty())
        return inline_;
    ElementStyle style = sheet_.match(tag.name, tag.attribute("id"), tag.attribute("class"));
    // The style attribute wins over the rules.
    if (inline_.transform != TextTransform::Inherit)
        style.transform = inline_.transform;
    return style;
}

void TextRenderer::switchTokenizerFor(Element element)
{
    // The text after the tag.
    if (tokenizer_)
        SwitchTokenizerAfter(*tokenizer_, element);
}

void TextRenderer::startOverflowHiding(std::string_view name)
{
    overflowHidden_ = true;
    overflowOpen_.clear();
    overflowOpen_.emplace_back(std::string(name.substr(0, kMaxOverflowName)), 1);
}

bool TextRenderer::overflowStartTag(const html::Tag &tag)
{
    // Inside the hidden element nothing shows; what matters is where it
    // ends, and the tokenizer's state for the text of script, style and the
    // like. True when the tag stays inside it.
    ElementInfo info = LookupElement(tag);
    if ((info.flags & kClosesP) && closesOverflowAtP(info.element)) {
        overflowHidden_ = false;
        overflowOpen_.clear();
        return false;
    }
    if (info.element == Element::Svg || info.element == Element::Math)
        info.flags = 0;
    else
        switchTokenizerFor(info.element);
    if ((info.flags & kVoid) || (tag.selfClosing && info.element == Element::Other))
        return true;
    for (auto &[name, count] : overflowOpen_) {
        if (name == tag.name) {
            ++count;
            return true;
        }
    }
    // Elements of a name past the bounds are taken as void: their end tags
    // end nothing inside, which errs on the side of hiding.
    if (overflowOpen_.size() < kMaxOverflowNames && tag.name.size() <= kMaxOverflowName)
        overflowOpen_.emplace_back(std::string(tag.name), 1);
    return true;
}

bool TextRenderer::closesOverflowAtP(Element element) const
{
    // A start tag that closes a p closes everything opened after it, the
    // hidden element past the stack too: when the p is in button scope
    // through what is open past the stack. li, dd and dt first look for an
    // item of their kind, and stop at any other special element.
    if (boundaryPastStack_)
        return false;
    const bool item = element == Element::Li || element == Element::Dd || element == Element::Dt;
    for (const auto &[name, count] : overflowOpen_) {
        if (count == 0)
            continue;
        // (The element table's own flags: the renderer tells apart only
        // the elements it shows differently.)
        const html::KnownName known = html::findKnownName(name);
        const std::uint32_t flags = html::elementFlags(known);
        // A p past the stack would be the one closed; a formatting element
        // is reopened after the block starts.
        if (known == html::k_svg || known == html::k_math || known == html::k_p ||
            (flags & (kScopeBoundary | kButtonScopeBoundary | kFormatting)))
            return false;
        if (item && (flags & kSpecial) && known != html::k_address && known != html::k_div)
            return false;
    }
    return findInScope(Element::P, 1) >= 0;
}

bool TextRenderer::overflowEndTag(const html::Tag &tag)
{
    // True when the end tag was one of the elements inside the hidden one
    // (or the hidden one itself).
    for (std::size_t i = 0; i < overflowOpen_.size(); ++i) {
        auto &[name, count] = overflowOpen_[i];
        if (count > 0 && name == tag.name) {
            if (--count == 0 && i == 0) {
                overflowHidden_ = false;
                overflowOpen_.clear();
            }
            return true;
        }
    }
    // A line break, or an empty paragraph, inside the hidden element.
    if (tag.name == "br" || (tag.name == "p" && findInScope(Element::P, 1) < 0))
        return true;
    // An end tag of an element further out: once it closes an element of
    // the stack, everything past the stack has closed with it.
    const std::size_t before = stack_.size();
    overflowHidden_ = false;
    const bool foreign = foreignCount_ > 0 && !stack_.empty() && stack_.back().foreign;
    if (foreign)
        endForeign(tag);
    else
        endHtml(tag);
    updateForeign();
    if (stack_.size() < before)
        overflowOpen_.clear();
    else
        overflowHidden_ = true;
    return true;
}

// --- Active formatting elements -------------------------------------------

void TextRenderer::pushFormatting(const html::Tag &tag, const Open &open, bool hides)
{
    Formatting entry;
    entry.id = open.id;
    entry.element = open.element;
    entry.open = true;
    entry.hides = hides;
    entry.transform = open.ownTransform;
    entry.attributes = attributeDigest(tag);
    if (open.element == Element::Other)
        entry.name = open.name;
    // At most three equal elements after the last marker: the earliest goes.
    std::size_t equal = 0;
    std::size_t earliest = kNone;
    for (std::size_t i = formatting_.size(); i-- > 0;) {
        const Formatting &f = formatting_[i];
        if (f.id == 0)
            break;
        if (f.element != entry.element || f.name != entry.name || f.attributes != entry.attributes)
            continue;
        ++equal;
        earliest = i;
    }
    if (equal >= 3)
        formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(earliest));
    stack_.back().listed = true;
    formatting_.push_back(std::move(entry));
    if (formatting_.size() > kMaxFormatting) {
        const auto oldest =
            std::find_if(formatting_.begin(), formatting_.end(), [](const Formatting &f) { return f.id != 0; });
        if (oldest != formatting_.end())
            formatting_.erase(oldest);
    }
}

bool TextRenderer::textReopensFormatting() const
{
    if (formatting_.empty() || formatting_.back().id == 0 || formatting_.back().open || overflowHidden_)
        return false;
    if (stack_.empty())
        return true;
    const Open &top = stack_.back();
    if ((top.foreign && !top.integration) || (top.flags & (kTable | kRowGroup | kRow)))
        return false;
    switch (top.element) {
    // Their text is not read as the body's.
    case Element::Textarea:
    case Element::Title:
    case Element::Script:
    case Element::Style:
    case Element::Xmp:
    case Element::Iframe:
    case Element::Noembed:
    case Element::Noframes: return top.foreign;
    default: return headDepth_ == kNone;
    }
}

void TextRenderer::reconstructFormatting()
{
    if (formatting_.empty() || formatting_.back().id == 0 || formatting_.back().open)
        return;
    std::size_t i = formatting_.size() - 1;
    while (i > 0 && formatting_[i - 1].id != 0 && !formatting_[i - 1].open)
        --i;
    for (; i < formatting_.size(); ++i) {
        Formatting &f = formatting_[i];
        // A copy of the element, with no link number of its own.
        Open open;
        open.element = f.element;
        open.flags = FlagsOf(f.element);
        open.name = f.name;
        open.hides = f.hides || hiddenByClosedDetails(f.element);
        open.ownTransform = f.transform;
        open.hidden = open.hides && shown();
        open.transform = f.transform == TextTransform::Inherit ? inheritedTransform() : f.transform;
        open.listed = true;
        if (!push(std::move(open)))
            return;
        f.id = stack_.back().id;
        f.open = true;
    }
}

void TextRenderer::clearFormattingToMarker()
{
    while (!formatting_.empty()) {
        const bool marker = formatting_.back().id == 0;
        formatting_.pop_back();
        if (marker)
            return;
    }
}

std::size_t TextRenderer::formattingIndexOf(std::uint32_t id) const
{
    for (std::size_t i = formatting_.size(); i-- > 0;)
        if (formatting_[i].id == id && id != 0)
            return i;
    return kNone;
}

std::size_t TextRenderer::lastFormatting(Element element, std::string_view name) const
{
    for (std::size_t i = formatting_.size(); i-- > 0;) {
        const Formatting &f = formatting_[i];
        if (f.id == 0)
            return kNone;
        if (f.element == element && (element != Element::Other || f.name == name))
            return i;
    }
    return kNone;
}

std::size_t TextRenderer::stackIndexOf(std::uint32_t id) const
{
    for (std::size_t i = stack_.size(); i-- > 0;)
        if (stack_[i].id == id)
            return i;
    return kNone;
}

bool TextRenderer::adoptionAgency(Element element, std::string_view name)
{
    if (!stack_.empty()) {
        const Open &top = stack_.back();
        if (top.element == element && !top.foreign && (element != Element::Other || top.name == name) &&
            (!top.listed || formattingIndexOf(top.id) == kNone)) {
            popTo(stack_.size() - 1);
            return true;
        }
    }
    for (int outer = 0; outer < 8; ++outer) {
        const std::size_t k = lastFormatting(element, name);
        if (k == kNone)
            return false;
        const std::size_t f = stackIndexOf(formatting_[k].id);
        if (f == kNone) {
            formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(k));
            return true;
        }
        std::size_t furthest = kNone;
        for (std::size_t i = stack_.size(); i-- > f + 1;) {
            const Open &o = stack_[i];
            if ((o.flags & kScopeBoundary) || o.integration)
                return true; // not in scope: the end tag is dropped
            if ((o.flags & kSpecial) || o.integration)
                furthest = i;
        }
        if (furthest == kNone) {
            const std::uint32_t id = formatting_[k].id;
            popTo(f);
            if (const std::size_t j = formattingIndexOf(id); j != kNone)
                formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(j));
            return true;
        }
        // Content moved out of a table, or past the stack's bound, is left
        // as it stands.
        if (overflowHidden_ || std::any_of(stack_.begin() + static_cast<std::ptrdiff_t>(f), stack_.end(),
                                           [](const Open &o) { return o.hiddenBelow != kNone; }))
            return true;

        // The block is split from the formatting element: the formatting
        // elements between (three at most) go on in copies that hold the
        // block, the others end, and a copy of the element takes the
        // block's content and stays open inside it.
        const Formatting entry = formatting_[k];
        std::size_t bookmark = k;
        bool first = true;
        std::vector<std::size_t> remove;
        std::size_t inner = 1;
        for (std::size_t pos = furthest; --pos > f; ++inner) {
            std::size_t index = stack_[pos].listed ? formattingIndexOf(stack_[pos].id) : kNone;
            if (inner > 3 && index != kNone) {
                formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(index));
                if (index < bookmark)
                    --bookmark;
                index = kNone;
            }
            if (index == kNone) {
                remove.push_back(pos);
                continue;
            }
            if (first)
                bookmark = index + 1;
            first = false;
        }
        remove.push_back(f);
        std::sort(remove.begin(), remove.end());

        Open copy;
        copy.element = entry.element;
        copy.flags = FlagsOf(entry.element);
        copy.name = entry.name;
        copy.hides = entry.hides;
        copy.ownTransform = entry.transform;
        copy.transform = stack_[f].transform;
        copy.listed = true;
        if (++nextId_ == 0)
            ++nextId_;
        copy.id = nextId_;

        Formatting replacement = entry;
        replacement.id = copy.id;
        replacement.open = true;
        std::size_t old = formattingIndexOf(entry.id);
        formatting_.insert(formatting_.begin() + static_cast<std::ptrdiff_t>(bookmark), std::move(replacement));
        if (old != kNone) {
            if (bookmark <= old)
                ++old;
            formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(old));
        }
        rearrangeStack(f, remove, furthest + 1, std::move(copy));
    }
    return true;
}

void TextRenderer::rearrangeStack(std::size_t from, const std::vector<std::size_t> &remove, std::size_t at, Open insert)
{
    const auto idAt = [&](std::size_t i) { return i < stack_.size() ? stack_[i].id : 0; };
    std::uint32_t markerId = markerDepth_ != kNone ? idAt(markerDepth_ - 1) : 0;
    std::uint32_t linkId = idAt(linkDepth_);
    std::vector<Open> rest;
    std::vector<bool> wasShown; // what each element of `rest` held showed
    rest.reserve(stack_.size() - from + 1);
    std::size_t r = 0;
    for (std::size_t i = from; i < stack_.size(); ++i) {
        if (i == at) {
            rest.push_back(std::move(insert));
            wasShown.push_back(false);
        }
        Open &o = stack_[i];
        if (r < remove.size() && remove[r] == i) {
            ++r;
            // Off the stack, not closed: it stays in the tree as it was.
            if (o.foreign)
                --foreignCount_;
            if (o.listed)
                if (const std::size_t k = formattingIndexOf(o.id); k != kNone)
                    formatting_[k].open = false;
            if (o.id == linkId) {
                if (shown())
                    endLink(o);
                linkDepth_ = kNone;
                linkId = 0;
            }
            continue;
        }
        rest.push_back(std::move(o));
        wasShown.push_back(hiddenDepth_ == kNone || hiddenDepth_ > i);
    }
    if (at == stack_.size()) {
        rest.push_back(std::move(insert));
        wasShown.push_back(false);
    }
    stack_.resize(from);

    // What hides, and the case of the text, from `from` up, with each
    // element in its new place.
    bool shownSoFar = hiddenDepth_ == kNone || hiddenDepth_ >= from;
    if (shownSoFar)
        hiddenDepth_ = kNone;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        Open &o = rest[i];
        // The first goes into the element the formatting element stood in.
        if (i == 0 && !o.foreign && hiddenByClosedDetails(o.element))
            o.hides = true;
        o.transform = o.ownTransform != TextTransform::Inherit ? o.ownTransform : inheritedTransform();
        o.hidden = shownSoFar && o.hides;
        if (o.hidden) {
            hiddenDepth_ = stack_.size();
            shownSoFar = false;
        }
        if (shownSoFar && !wasShown[i]) {
            // Out of hiding: it starts its lines and its list item now.
            if (const int breaks = breaksAround(o.element, o.flags, stack_.size()); breaks > 0)
                requireBreaks(breaks);
            if (o.flags & kListItem) {
                listMarker(stack_.size(), {});
                markerDepth_ = stack_.size() + 1;
                markerId = 0;
            }
        }
        stack_.push_back(std::move(o));
    }
    const auto find = [&](auto matches, std::size_t before) {
        if (before != kNone && before < from)
            return before;
        for (std::size_t i = from; i < stack_.size(); ++i)
            if (matches(stack_[i]))
                return i;
        return kNone;
    };
    keepSpaceDepth_ = find([](const Open &o) { return (o.flags & kKeepsSpace) && !o.foreign; }, keepSpaceDepth_);
    if (styleDepth_ != kNone)
        styleDepth_ = find([](const Open &o) { return o.element == Element::Style && !o.foreign; }, styleDepth_);
    if (headDepth_ != kNone)
        headDepth_ = find([](const Open &o) { return o.element == Element::Head; }, headDepth_);
    if (markerId != 0) {
        const std::size_t i = stackIndexOf(markerId);
        markerDepth_ = i == kNone ? kNone : i + 1;
        if (i == kNone)
            markerSize_ = 0;
    }
    if (linkId != 0)
        linkDepth_ = stackIndexOf(linkId);
}

bool TextRenderer::hiddenByClosedDetails(Element element) const
{
    return !stack_.empty() && stack_.back().closedDetails && element != Element::Summary;
}

bool TextRenderer::push(Open open)
{
    if (stack_.size() >= kMaxDepth)
        return false;
    if (open.id == 0 && ++nextId_ == 0)
        ++nextId_;
    if (open.id == 0)
        open.id = nextId_;
    if (open.hidden && hiddenDepth_ == kNone)
        hiddenDepth_ = stack_.size();
    if (open.foreign)
        ++foreignCount_;
    if (open.element == Element::Template)
        ++templateCount_;
    stack_.push_back(std::move(open));
    return true;
}

void TextRenderer::popTo(std::size_t size)
{
    while (stack_.size() > size) {
        close(stack_.back());
        if (stack_.back().hiddenBelow != kNone)
            hiddenDepth_ = stack_.back().hiddenBelow;
        stack_.pop_back();
        // What was open past the stack closed with its top.
        boundaryPastStack_ = false;
    }
}

void TextRenderer::close(const Open &open)
{
    const std::size_t index = stack_.size() - 1;
    if (open.foreign)
        --foreignCount_;
    if (open.element == Element::Template)
        --templateCount_;
    if (open.listed)
        if (const std::size_t k = formattingIndexOf(open.id); k != kNone)
            formatting_[k].open = false;
    if (setsMarker(open.element) && !open.foreign)
        clearFormattingToMarker();
    if (index == styleDepth_) {
        styleDepth_ = kNone;
        sheet_.endStyleElement();
    }
    if (index == headDepth_)
        headDepth_ = kNone;
    if (index == keepSpaceDepth_)
        keepSpaceDepth_ = kNone;
    if (index + 1 == markerDepth_) {
        markerSize_ = 0;
        markerDepth_ = kNone;
    }
    if (markdown()) {
        if ((open.flags & kList) && open.delimiter != 0) {
            listEndedAt_ = flushed_ + out_.size();
            lastDelimiter_ = open.delimiter;
            lastOrdered_ = open.element == Element::Ol;
        }
        if (open.id == fenceId_ && fenceAt_ != kNone)
            endFence();
        if (open.id == tableId_ && tableAt_ != kNone)
            endTable();
        if (open.flags & kHeading)
            headingLevel_ = 0;
        closeMarks(false, open.id);
        if (open.id == captionId_)
            endCaption();
    }
    if (!shown()) {
        if (index == hiddenDepth_)
            hiddenDepth_ = kNone;
        return;
    }
    if (index == linkDepth_)
        endLink(open);
    if (const int breaks = breaksAround(open.element, open.flags, index); breaks > 0)
        requireBreaks(breaks);
    else if (open.flags & kCell)
        pendingSpace_ = false;
}

std::ptrdiff_t TextRenderer::findInScope(Element element, std::uint32_t extraBoundary) const
{
    // extraBoundary: 1 for button scope, kList for list item scope.
    for (std::size_t i = stack_.size(); i-- > 0;) {
        const Open &o = stack_[i];
        if (o.element == element && !o.foreign)
            return static_cast<std::ptrdiff_t>(i);
        if ((o.flags & kScopeBoundary) || (o.flags & extraBoundary & kList) || o.integration ||
            ((extraBoundary & 1) && o.element == Element::Button))
            return -1;
    }
    return -1;
}

void TextRenderer::closeInScope(Element element, std::uint32_t extraBoundary)
{
    const std::ptrdiff_t i = findInScope(element, extraBoundary);
    if (i >= 0)
        popTo(static_cast<std::size_t>(i));
}

void TextRenderer::closePInButtonScope()
{
    closeInScope(Element::P, 1);
}

bool TextRenderer::shownBeforeTable() const
{
    if (overflowHidden_ || stack_.empty() || stack_.back().foreign ||
        !(stack_.back().flags & (kTable | kRowGroup | kRow)))
        return false;
    for (std::size_t i = stack_.size(); i-- > 0;) {
        if (stack_[i].element == Element::Template)
            return false;
        if (stack_[i].element == Element::Table)
            return hiddenDepth_ == kNone || hiddenDepth_ >= i;
    }
    return false;
}

bool TextRenderer::inTable() const
{
    return std::any_of(stack_.begin(), stack_.end(), [](const Open &o) {
        return (o.element == Element::Table || o.element == Element::Template) && !o.foreign;
    });
}

std::ptrdiff_t TextRenderer::findInTableScope(std::uint32_t flags) const
{
    for (std::size_t i = stack_.size(); i-- > 0;) {
        const Open &o = stack_[i];
        if (o.flags & flags)
            return static_cast<std::ptrdiff_t>(i);
        if (o.element == Element::Table || o.element == Element::Html || o.element == Element::Template)
            return -1;
    }
    return -1;
}

void TextRenderer::popImpliedEnds(Element except)
{
    while (!stack_.empty() && !stack_.back().foreign && endImplied(stack_.back().element) &&
           stack_.back().element != except)
        popTo(stack_.size() - 1);
}

void TextRenderer::impliedEndsFor(Element element, std::uint32_t flags)
{
    if (flags & kClosesP)
        closePInButtonScope();
    if ((flags & kHeading) && !stack_.empty() && (stack_.back().flags & kHeading))
        popTo(stack_.size() - 1);

    auto closeItem = [&](auto isItem) {
        for (std::size_t i = stack_.size(); i-- > 0;) {
            const Open &o = stack_[i];
            if (isItem(o.element)) {
                popTo(i);
                return;
            }
            if ((o.flags & kSpecial) && o.element != Element::Address && o.element != Element::Div &&
                o.element != Element::P)
                return;
        }
    };
    switch (element) {
    case Element::Li: closeItem([](Element e) { return e == Element::Li; }); break;
    case Element::Dd:
    case Element::Dt: closeItem([](Element e) { return e == Element::Dd || e == Element::Dt; }); break;
    case Element::Option:
    case Element::Optgroup:
        // In a select an option ends the open parts but a group, a group
        // ends them all; elsewhere each ends an open option.
        if (findInScope(Element::Select, 0) >= 0)
            popImpliedEnds(element == Element::Option ? Element::Optgroup : Element::Other);
        else if (!stack_.empty() && stack_.back().element == Element::Option)
            popTo(stack_.size() - 1);
        break;
    case Element::Input:
        // An input ends the select it stands in.
        if (const std::ptrdiff_t i = findInScope(Element::Select, 0); i >= 0)
            popTo(static_cast<std::size_t>(i));
        break;
    case Element::Rb:
    case Element::Rtc:
    case Element::Rt:
    case Element::Rp:
        // The parts of a ruby end one another; an rtc holds rt and rp.
        if (findInScope(Element::Ruby, 0) >= 0)
            popImpliedEnds(element == Element::Rt || element == Element::Rp ? Element::Rtc : Element::Other);
        break;
    case Element::Td:
    case Element::Th:
        if (const std::ptrdiff_t i = findInTableScope(kCell); i >= 0)
            popTo(static_cast<std::size_t>(i));
        break;
    case Element::Tr:
        if (const std::ptrdiff_t i = findInTableScope(kRow); i >= 0)
            popTo(static_cast<std::size_t>(i));
        else if (const std::ptrdiff_t j = findInTableScope(kCell); j >= 0)
            popTo(static_cast<std::size_t>(j));
        break;
    case Element::Thead:
    case Element::Tbody:
    case Element::Tfoot:
    case Element::Caption:
    case Element::Colgroup:
    case Element::Col: {
        // These stand in the table itself: an open caption, row group, row
        // or cell of the table ends before them (a row group the page never
        // wrote, around a row or a cell, as well).
        std::size_t outermost = kNone;
        for (std::size_t i = stack_.size(); i-- > 0;) {
            const Open &o = stack_[i];
            if (o.element == Element::Table || o.element == Element::Html || o.element == Element::Template)
                break;
            if ((o.flags & (kCell | kRow | kRowGroup)) || o.element == Element::Caption)
                outermost = i;
        }
        if (outermost != kNone)
            popTo(outermost);
        break;
    }
    case Element::A:
        // A link inside a link ends the first one, as its end tag would,
        // and takes it off the list and the stack if still there.
        if (const std::size_t k = lastFormatting(Element::A, {}); k != kNone) {
            const std::uint32_t id = formatting_[k].id;
            adoptionAgency(Element::A, {});
            if (const std::size_t j = formattingIndexOf(id); j != kNone)
                formatting_.erase(formatting_.begin() + static_cast<std::ptrdiff_t>(j));
            if (const std::size_t i = stackIndexOf(id); i != kNone) {
                if (i + 1 == stack_.size())
                    popTo(i);
                else
                    rearrangeStack(i, {i}, kNone, {});
            }
        }
        break;
    default: break;
    }
}

// --- Layout ---------------------------------------------------------------

void TextRenderer::collapsedText(std::string_view s)
{
    if (markdown()) {
        // A word's escapes depend on all of it: NUL characters, dropped,
        // do not end it ("1" NUL "." is "1." to escape).
        if (s.find('\0') != std::string_view::npos && !inForeignContent()) {
            nulFree_.clear();
            std::copy_if(s.begin(), s.end(), std::back_inserter(nulFree_), [](char c) { return c != '\0'; });
            s = nulFree_;
        }
        // And the text may come in any pieces: the last word of a piece
        // waits for the next piece (or the next tag), up to a bound.
        if (!heldWord_.empty()) {
            joined_.assign(heldWord_);
            heldWord_.clear();
            joined_.append(s);
            s = joined_;
        }
        std::size_t tail = s.size();
        while (tail > 0 && !kWordEnds[static_cast<unsigned char>(s[tail - 1])])
            --tail;
        if (tail < s.size() && s.size() - tail <= kMaxHeldWord) {
            heldWord_.assign(s.substr(tail));
            s = s.substr(0, tail);
        }
    }
    const char *p = s.data();
    const char *const end = p + s.size();
    while (p < end) {
        if (isSpace(*p)) {
            pendingSpace_ = true;
            ++p;
            continue;
        }
        if (*p == '\0') {
            // The tree builder drops NUL characters of the text, but for
            // those in foreign content, which it shows as U+FFFD.
            if (inForeignContent())
                word("\xEF\xBF\xBD");
            ++p;
            continue;
        }
        const char *q = p + 1;
        while (q < end && !kWordEnds[static_cast<unsigned char>(*q)])
            ++q;
        word(std::string_view(p, static_cast<std::size_t>(q - p)));
        p = q;
    }
}

void TextRenderer::flushHeldWord()
{
    if (heldWord_.empty())
        return;
    // (Swapped, so that both keep their room.)
    heldOut_.swap(heldWord_);
    heldWord_.clear();
    word(heldOut_);
}

void TextRenderer::word(std::string_view w)
{
    beforeContent();
    const bool blockStart = lineStart_;
    if (pendingSpace_ || lineStart_)
        inWord_ = false;
    const bool space = pendingSpace_ && !lineStart_;
    if (space && markdown())
        emitMarkdownLine(" ");
    else if (space)
        emitText(" ");
    pendingSpace_ = false;
    if (const TextTransform transform = inheritedTransform(); transform != TextTransform::None) {
        cased_.clear();
        AppendInCase(w, transform, inWord_, cased_);
        w = cased_;
    } else {
        inWord_ = endsInWord(w);
    }
    if (markdown() && space && options_.width > 0) {
        wrapDueBefore(out_.size() - 1);
        if (mayBreakBefore(w)) {
            lastSpaceAt_ = out_.size() - 1;
            columnAfterSpace_ = column_;
        }
    }
    if (markdown())
        markdownWord(w, blockStart);
    else
        emitText(w);
    lineStart_ = false;
    trailingBreaks_ = 0;
    started_ = true;
    linkHasText_ = true;
}

void TextRenderer::markdownWord(std::string_view w, bool blockStart)
{
    movedClosing(w);
    if (inCodeSpan()) {
        writeOpeningMarks();
        emitText(w); // a code span's text as it is
        return;
    }
    // A mark opens only before a letter, digit or punctuation that does not
    // stand right after a letter: what comes before that (no-break spaces,
    // punctuation after a letter) goes first, outside the mark, and a word
    // of nothing else leaves the mark to the next word. (A table's marks
    // in the page's text are written as character references: &...;, so
    // punctuation.)
    std::size_t lead = 0;
    const bool unwritten = std::any_of(marks_.begin(), marks_.end(), [](const Mark &m) { return !m.written; });
    if (unwritten) {
        const auto skip = [&w, &lead](CharClass which) {
            while (lead < w.size() &&
                   (w[lead] == kRowMark || w[lead] == kCellMark ? CharClass::Punctuation : ClassAt(w, lead)) == which)
                lead += charBytesAt(w, lead);
        };
        skip(CharClass::Space);
        if (lead == 0 && classBeforeGoingOn() == CharClass::Word)
            skip(CharClass::Punctuation);
    }
    // The first word of a block may come in pieces (a tag between them):
    // the pieces written since it started are the start of this one.
    const bool linkText =
        std::any_of(marks_.begin(), marks_.end(), [](const Mark &m) { return m.kind == InlineMark::Link; });
    // Appends the piece escaped to escaped_; false, appending nothing, when
    // it is to be written as it is.
    const auto escape = [this, linkText](std::string_view piece, bool start) {
        std::size_t at = std::string_view::npos;
        if (!start && blockWordAt_ != kNone && blockWordAt_ >= flushed_ && blockWordAt_ - flushed_ <= out_.size())
            at = BlockStartEscapeAfter(std::string_view(out_).substr(blockWordAt_ - flushed_), piece);
        if (at == std::string_view::npos) {
            if (NeedsNoEscape(piece, start, linkText))
                return false;
            AppendEscaped(escaped_, piece, start, linkText);
            return true;
        }
        AppendEscaped(escaped_, piece.substr(0, at), false, linkText);
        escaped_.push_back('\\');
        AppendEscaped(escaped_, piece.substr(at), false, linkText);
        return true;
    };
    const auto write = [this](std::string_view written, bool start) {
        emitMarkdownLine(written);
        if (start)
            blockWordAt_ = flushed_ + out_.size() - written.size(); // after the line's prefix
    };
    escaped_.clear();
    if (lead > 0) {
        const std::string_view leading = w.substr(0, lead);
        write(escape(leading, blockStart) ? std::string_view(escaped_) : leading, blockStart);
        if (lead == w.size())
            return;
        w.remove_prefix(lead);
        blockStart = false;
        escaped_.clear();
    }
    // (What follows matters only to marks still to open.)
    writeOpeningMarks(unwritten ? ClassAt(w, 0) : CharClass::Word);
    // In a heading #s alone may be the last word, which would close it.
    if (!blockStart && w.find_first_not_of('#') == std::string_view::npos && inHeading())
        escaped_.push_back('\\');
    if (!escape(w, blockStart)) {
        if (escaped_.empty()) {
            write(w, blockStart);
            return;
        }
        escaped_.append(w);
    }
    write(escaped_, blockStart);
}

void TextRenderer::keptText(std::string_view s)
{
    if (s.find('\0') != std::string_view::npos) {
        // NUL characters dropped, as in collapsed text.
        const bool foreign = inForeignContent();
        nulFree_.clear();
        for (const char c : s) {
            if (c != '\0')
                nulFree_.push_back(c);
            else if (foreign)
                nulFree_.append("\xEF\xBF\xBD");
        }
        s = nulFree_;
        if (s.empty())
            return;
    }
    beforeContent();
    if (pendingSpace_ || lineStart_)
        inWord_ = false;
    if (pendingSpace_ && !lineStart_)
        emitText(" ");
    pendingSpace_ = false;
    const TextTransform transform = inheritedTransform();
    std::size_t newlines = 0;
    bool any = false;
    while (!s.empty()) {
        // CR LF and lone CR end lines like LF.
        const std::size_t cr = s.find('\r');
        const std::string_view piece = s.substr(0, cr);
        if (!piece.empty()) {
            if (transform != TextTransform::None) {
                cased_.clear();
                AppendInCase(piece, transform, inWord_, cased_);
                emitText(cased_);
            } else {
                emitText(piece);
                inWord_ = endsInWord(piece);
            }
            any = true;
            const std::size_t last = piece.find_last_not_of('\n');
            newlines = last == std::string_view::npos ? newlines + piece.size() : piece.size() - last - 1;
        }
        if (cr == std::string_view::npos)
            break;
        s.remove_prefix(cr + 1);
        if (!s.empty() && s.front() == '\n')
            continue; // the LF of CR LF ends the line
        emitText("\n");
        inWord_ = false;
        any = true;
        ++newlines;
    }
    if (!any)
        return;
    started_ = true;
    trailingBreaks_ = static_cast<int>(std::min<std::size_t>(newlines, 1000));
    lineStart_ = newlines > 0;
    linkHasText_ = true;
}

void TextRenderer::beforeContent()
{
    if (pendingBreaks_ > 0) {
        if (markdown()) {
            // A br within a block: a hard line break, which marks span (but
            // for a code span, where it would be a backslash; in a code
            // block the line end is one).
            // Content right in a list, outside its items, goes on the next
            // line of the item before it, where CommonMark reads it as that
            // item's (a blank line would end the list, or start code): a
            // hard break keeps it a line of its own.
            const bool outsideItems =
                pendingBreaks_ == 1 && trailingBreaks_ == 1 && markerSize_ == 0 && outsideItemsOfList();
            const bool hard = pendingBreaks_ == 1 && (hardBreak_ || outsideItems) && fenceAt_ == kNone;
            if (!hard || inCodeSpan())
                closeMarks(true, 0);
            if (hard)
                emitText("\\");
        }
        for (int i = 0; i < pendingBreaks_; ++i)
            emitText("\n");
        pendingBreaks_ = 0;
        pendingSpace_ = false;
        lineStart_ = true;
    }
    hardBreak_ = false;
    // The caption's HTML block, its text a paragraph after a blank line;
    // before the marker of a list item inside it, after that of the item
    // it stands in.
    const auto captionOpening = [this] {
        if (!captionOpening_)
            return;
        captionOpening_ = false;
        emitText("<figcaption>\n\n");
        started_ = true;
        trailingBreaks_ = 2;
        pendingSpace_ = false;
        lineStart_ = true;
    };
    if (markerSize_ > 0 && markerDepth_ != kNone && markerDepth_ <= stack_.size()) {
        if (captionOpening_ && stackIndexOf(captionId_) < markerDepth_ - 1)
            captionOpening();
        if (!lineStart_)
            emitText("\n");
        emitText(std::string_view(marker_, markerSize_));
        stack_[markerDepth_ - 1].markerWidth = static_cast<std::uint8_t>(markerSize_);
        if (markerList_ != kNone && markerList_ < markerDepth_ && (stack_[markerList_ - 1].flags & kList)) {
            stack_[markerList_ - 1].marked = true;
            stack_[markerList_ - 1].itemWidth = static_cast<std::uint8_t>(markerSize_);
        }
        markerSize_ = 0;
        markerDepth_ = kNone;
        pendingSpace_ = false;
        lineStart_ = true;
        started_ = true;
        trailingBreaks_ = 0;
    }
    captionOpening();
    if (headingLevel_ > 0) {
        static constexpr std::string_view kHashes = "###### ";
        emitText(kHashes.substr(6 - static_cast<std::size_t>(headingLevel_)));
        headingLevel_ = 0;
        pendingSpace_ = false;
        lineStart_ = true;
        started_ = true;
        trailingBreaks_ = 0;
    }
}

void TextRenderer::requireBreaks(int count)
{
    pendingSpace_ = false;
    lineStart_ = true;
    hardBreak_ = false;
    if (!started_)
        return;
    if (trailingBreaks_ < count) {
        pendingBreaks_ += count - trailingBreaks_;
        trailingBreaks_ = count;
    }
}

void TextRenderer::lineBreak()
{
    if (markdown() && fenceAt_ == kNone && inHeading()) {
        pendingSpace_ = true; // a heading is one line
        return;
    }
    pendingSpace_ = false;
    lineStart_ = true;
    if (!started_)
        return;
    hardBreak_ = true;
    ++pendingBreaks_;
    ++trailingBreaks_;
}

void TextRenderer::cellSeparator()
{
    if (markdown()) {
        // Each cell of a pipe table has its mark; those of a table inside
        // one are words of its cell. (A tab could start a code block.)
        if (!inMarkedTable())
            pendingSpace_ = true;
        return;
    }
    beforeContent();
    emitText("\t");
    started_ = true;
    trailingBreaks_ = 0;
    pendingSpace_ = false;
    lineStart_ = true;
}

bool TextRenderer::namesUnwrittenLink(const html::Tag &tag) const
{
    if (!options_.links || linkDepth_ == kNone || linkHasText_ ||
        std::any_of(marks_.begin(), marks_.end(), [](const Mark &m) { return m.kind == InlineMark::Link; }))
        return false;
    const std::string_view alt = tag.attribute("alt");
    return std::any_of(alt.begin(), alt.end(), [](char c) { return !isSpace(c); });
}

void TextRenderer::image(const html::Tag &tag)
{
    // With numbered links, an image's alt text names a link that has no
    // text of its own; written when the link ends without other text.
    if (!options_.links || linkDepth_ == kNone || linkHasText_ || !linkAlt_.empty())
        return;
    std::string_view alt = tag.attribute("alt");
    while (!alt.empty() && isSpace(alt.front()))
        alt.remove_prefix(1);
    while (!alt.empty() && isSpace(alt.back()))
        alt.remove_suffix(1);
    if (alt.size() > kMaxAltBytes) {
        alt = alt.substr(0, kMaxAltBytes);
        while (!alt.empty() && (static_cast<unsigned char>(alt.back()) & 0xC0) == 0x80)
            alt.remove_suffix(1); // not half a character
        if (!alt.empty() && static_cast<unsigned char>(alt.back()) >= 0xC0)
            alt.remove_suffix(1);
    }
    linkAlt_.assign(alt);
}

void TextRenderer::emitText(std::string_view s)
{
    if (markdown()) {
        emitMarkdown(s);
        return;
    }
    if (options_.width > 0) {
        emitWrapped(s);
        return;
    }
    out_.append(s);
    if (out_.size() >= kFlushAt)
        flushOut(false);
}

void TextRenderer::emitWrapped(std::string_view s)
{
    const std::size_t width = options_.width;
    while (!s.empty()) {
        const char c = s.front();
        if (c == '\n' || (c == ' ' && column_ >= width)) {
            out_.push_back('\n');
            s.remove_prefix(1);
            column_ = 0;
            lineStartAt_ = out_.size();
            lastSpaceAt_ = lastGapAt_ = std::string::npos;
            lastChar_ = 0;
            continue;
        }
        std::size_t length = 1;
        const char32_t ch = base::DecodeUtf8(s, length);
        const bool whole = ch != base::kNotUtf8;
        if (whole && lastChar_ != 0 && c != ' ' && MayBreakBetween(lastChar_, ch)) {
            lastGapAt_ = out_.size();
            columnAtGap_ = column_;
        }
        out_.append(s.substr(0, length));
        s.remove_prefix(length);
        // A byte that is not UTF-8 counts as a character, the rest of one
        // cut short (its start came in the piece before) as nothing.
        column_ += whole ? static_cast<std::size_t>(ColumnsOf(ch)) : (c & 0xC0) == 0x80 ? 0 : 1;
        lastChar_ = c == ' ' || !whole ? 0 : ch;
        if (c == ' ') {
            lastSpaceAt_ = out_.size() - 1;
            columnAfterSpace_ = column_;
        } else if (column_ > width) {
            breakLine();
        }
    }
    if (out_.size() >= kFlushAt)
        flushOut(false);
}

void TextRenderer::breakLine()
{
    if (lastGapAt_ != std::string::npos && (lastSpaceAt_ == std::string::npos || lastGapAt_ > lastSpaceAt_)) {
        out_.insert(lastGapAt_, 1, '\n');
        column_ -= columnAtGap_;
        lineStartAt_ = lastGapAt_ + 1;
    } else if (lastSpaceAt_ != std::string::npos) {
        out_[lastSpaceAt_] = '\n';
        column_ -= columnAfterSpace_;
        lineStartAt_ = lastSpaceAt_ + 1;
    } else {
        return; // one word longer than the line
    }
    lastSpaceAt_ = lastGapAt_ = std::string::npos;
}

// Whole lines that are never wrapped: the list of links, whose addresses
// are of use only whole, each after its number.
void TextRenderer::emitUnwrapped(std::string_view lines)
{
    out_.append(lines);
    column_ = 0;
    lineStartAt_ = out_.size();
    lastSpaceAt_ = lastGapAt_ = std::string::npos;
    lastChar_ = 0;
    if (out_.size() >= kFlushAt)
        flushOut(false);
}

void TextRenderer::flushOut(bool all)
{
    if (holdAt_ != kNone && !all)
        return; // an open code span or block, whose fences may still grow
    closingAt_ = kNone;
    lastClosed_ = InlineMark::None;
    syntaxEnd_ = 0;
    if (options_.width == 0 || all || lineStartAt_ == 0) {
        // Everything, also an unfinished line (one longer than the buffer
        // is not wrapped back into what was written).
        if (!out_.empty())
            sink_.write(out_);
        flushed_ += out_.size();
        out_.clear();
        lineStartAt_ = 0;
        lastSpaceAt_ = lastGapAt_ = std::string::npos;
        return;
    }
    sink_.write(std::string_view(out_).substr(0, lineStartAt_));
    flushed_ += lineStartAt_;
    out_.erase(0, lineStartAt_);
    if (lastSpaceAt_ != std::string::npos)
        lastSpaceAt_ -= lineStartAt_;
    if (lastGapAt_ != std::string::npos)
        lastGapAt_ -= lineStartAt_;
    lineStartAt_ = 0;
}

// --- Markdown ---------------------------------------------------------------

int TextRenderer::breaksAround(Element element, std::uint32_t flags, std::size_t below) const
{
    if (!markdown())
        return (flags & kBlankLine) ? 2 : (flags & (kBlock | kRow)) ? 1 : 0;
    // The rows and cells of a table laid out as its texts are paragraphs.
    if (flags & (kRow | kCell)) {
        for (std::size_t i = std::min(below, stack_.size()); i-- > 0;) {
            if (stack_[i].flags & kTable) {
                if (stack_[i].blockTable)
                    return 2;
                break;
            }
        }
    }
    // Blocks are paragraphs of their own; items and rows are lines, and so
    // is a list right inside an item (the item's line goes on into it).
    if (flags & (kListItem | kRow))
        return 1;
    if (element == Element::Figcaption)
        return 1; // a figure's caption stays with its picture
    if (flags & kList) {
        if (nestsUnderItem(below))
            return 1;
        for (std::size_t i = std::min(below, stack_.size()); i-- > 0;) {
            if (stack_[i].flags & kListItem)
                return 1;
            if (stack_[i].flags & (kList | kBlock))
                break;
        }
        return 2;
    }
    return (flags & (kBlankLine | kBlock)) ? 2 : 0;
}

bool TextRenderer::outsideItemsOfList() const
{
    for (std::size_t i = stack_.size(); i-- > 0;) {
        if (stack_[i].flags & kListItem)
            return false;
        if (stack_[i].flags & kList)
            return !inMarkedTable() && fenceAt_ == kNone;
    }
    return false;
}

bool TextRenderer::nestsUnderItem(std::size_t below) const
{
    return below > 0 && below <= stack_.size() && (stack_[below - 1].flags & kList) &&
           stack_[below - 1].itemWidth > 0 && !inMarkedTable() && fenceAt_ == kNone;
}

void TextRenderer::emitMarkdown(std::string_view s)
{
    while (!s.empty()) {
        const std::size_t newline = s.find('\n');
        appendMarkdownPiece(s.substr(0, newline));
        if (newline == std::string_view::npos)
            break;
        if (options_.width > 0)
            wrapDueBefore(out_.size());
        if (needPrefix_)
            writeLinePrefix(true); // an empty line inside a quote is part of it
        out_.push_back('\n');
        needPrefix_ = true;
        column_ = 0;
        lineStartAt_ = out_.size();
        lastSpaceAt_ = std::string::npos;
        s.remove_prefix(newline + 1);
    }
    if (out_.size() >= kFlushAt)
        flushOut(false);
}

void TextRenderer::appendMarkdownPiece(std::string_view piece)
{
    if (piece.empty())
        return;
    if (needPrefix_) {
        needPrefix_ = false;
        writeLinePrefix(false);
    }
    out_.append(piece);
    if (options_.width > 0)
        wrapMarkdown(piece);
}

void TextRenderer::emitMarkdownLine(std::string_view s)
{
    appendMarkdownPiece(s);
    if (out_.size() >= kFlushAt)
        flushOut(false);
}

void TextRenderer::wrapMarkdown(std::string_view piece)
{
    while (!piece.empty()) {
        std::size_t length = 1;
        const char32_t c = base::DecodeUtf8(piece, length);
        column_ += c == base::kNotUtf8 ? (piece.front() & 0xC0) != 0x80 : static_cast<std::size_t>(ColumnsOf(c));
        piece.remove_prefix(length);
    }
    if (column_ > options_.width && lastSpaceAt_ != std::string::npos && lastSpaceAt_ >= lineStartAt_)
        wrapDue_ = true;
}

void TextRenderer::wrapDueBefore(std::size_t end)
{
    if (!wrapDue_)
        return;
    wrapDue_ = false;
    if (lastSpaceAt_ == std::string::npos || lastSpaceAt_ < lineStartAt_)
        return;
    // The word after the space is whole now (it may have come in pieces):
    // it must not start a block on a line of its own. The line goes on
    // lazily after the break: a paragraph's next line needs no quote marks
    // or indent of its own.
    std::string_view next = std::string_view(out_).substr(lastSpaceAt_ + 1, end - lastSpaceAt_ - 1);
    next = next.substr(0, next.find(' '));
    if (OpensBlock(next))
        return;
    out_[lastSpaceAt_] = '\n';
    column_ -= columnAfterSpace_;
    lineStartAt_ = lastSpaceAt_ + 1;
    lastSpaceAt_ = std::string::npos;
}

bool TextRenderer::mayBreakBefore(std::string_view word) const
{
    return tableAt_ == kNone && fenceAt_ == kNone && !OpensBlock(word) && !inHeading() &&
           std::none_of(marks_.begin(), marks_.end(), [](const Mark &m) { return m.kind == InlineMark::Code; });
}

void TextRenderer::writeLinePrefix(bool blank)
{
    const std::size_t from = out_.size();
    // In a table only what its cells hold: the table's text gets the rest
    // once it is laid out.
    std::size_t first = 0;
    if (tableAt_ != kNone)
        if (const std::size_t table = stackIndexOf(tableId_); table != kNone)
            first = table + 1;
    for (std::size_t i = first; i < stack_.size(); ++i) {
        Open &o = stack_[i];
        if (fenceAt_ != kNone && o.id == fenceId_)
            break; // a code block's lines are its text, quotes in it included
        if (o.element == Element::Blockquote && !o.foreign && (o.quoted || !blank)) {
            out_.append("> ");
            o.quoted = true;
        } else if (o.markerWidth > 0) {
            out_.append(o.markerWidth, ' '); // the item's text stands after its marker
        }
    }
    if (blank) {
        while (out_.size() > from && out_.back() == ' ')
            out_.pop_back();
    }
    column_ += out_.size() - from;
}

bool TextRenderer::inCodeSpan() const
{
    return std::any_of(marks_.begin(), marks_.end(), [](const Mark &m) { return m.kind == InlineMark::Code; });
}

bool TextRenderer::inHeading() const
{
    return std::any_of(stack_.begin(), stack_.end(), [](const Open &o) { return (o.flags & kHeading) != 0; });
}

void TextRenderer::startMark(const html::Tag &tag, const Open &open)
{
    if (fenceAt_ != kNone) {
        // A code block's language may come with the code element inside it.
        if (fenceInfoAt_ != kNone && tag.name == "code") {
            const std::string_view language = CodeLanguage(tag.attribute("class"));
            if (!language.empty()) {
                out_.insert(fenceInfoAt_, language);
                fenceInfoAt_ = kNone;
            }
        }
        return;
    }
    // Only a, b, dt and elements the renderer does not tell apart (em,
    // code, ...) mark their text.
    if (open.element != Element::Other && open.element != Element::A && open.element != Element::B &&
        open.element != Element::Dt)
        return;
    if (inCodeSpan())
        return; // a code span's text is shown as it is
    Mark mark;
    mark.id = open.id;
    if (open.element == Element::A) {
        std::string href = cleanAddress(tag.attribute("href"));
        if (!tag.hasAttribute("href") || startsWithNoCase(href, "javascript:"))
            return;
        // No link holds another (the tree builder nests them where a
        // table's cell stands between): its text is the outer link's.
        if (std::any_of(marks_.begin(), marks_.end(), [](const Mark &m) { return m.kind == InlineMark::Link; }))
            return;
        mark.kind = InlineMark::Link;
        // A link to a place in the page itself stays one: its address is
        // the fragment, as written (unless a base element sends it to
        // another page).
        mark.destination = href.starts_with('#') && base_ == options_.address ? href : resolvedAddress(href);
    } else if (open.element == Element::Dt) {
        mark.kind = InlineMark::Strong; // a term: its definitions follow
        if (std::any_of(marks_.begin(), marks_.end(), [](const Mark &m) { return m.kind == InlineMark::Strong; }))
            return;
    } else {
        mark.kind = InlineMarkOf(tag.name);
        if (mark.kind == InlineMark::None)
            return;
        if (std::any_of(marks_.begin(), marks_.end(), [&mark](const Mark &m) { return m.kind == mark.kind; }))
            return; // already marked
    }
    marks_.push_back(std::move(mark));
}

void TextRenderer::writeOpeningMarks(CharClass next)
{
    for (std::size_t i = 0; i < marks_.size(); ++i) {
        Mark &m = marks_[i];
        if (m.written)
            continue;
        m.written = true;
        const std::string_view opening = OpeningOf(m.kind);
        const bool flanking =
            m.kind == InlineMark::Emphasis || m.kind == InlineMark::Strong || m.kind == InlineMark::Strikethrough;
        if (flanking && m.kind != lastClosed_ && lastClosed_ != InlineMark::None && out_.size() == lastClosedEnd_ &&
            !out_.empty() && out_.back() == opening.front()) {
            // Right after another mark of its character closed
            // (<b>a<i>b</b>c</i>): "**a*b****c*" would read as other
            // runs, so the rest of its text goes unmarked.
            marks_.erase(marks_.begin() + static_cast<std::ptrdiff_t>(i--));
            continue;
        }
        if (m.kind == lastClosed_ && m.kind != InlineMark::Link && m.kind != InlineMark::Code &&
            out_.size() == lastClosedEnd_ && out_.size() >= opening.size()) {
            // Right after the same mark closed (<em>a</em><em>b</em>): it
            // goes on instead, "*a**b*" would read otherwise, from where
            // that one opened.
            out_.resize(out_.size() - opening.size());
            m.at = closedAt_[static_cast<std::size_t>(m.kind)];
            lastClosed_ = InlineMark::None;
            // Where the other mark of *s closed right before it, that one
            // has closed last now (<b><i>a</i></b> and both go on: "***a").
            const std::size_t end = out_.size();
            if (flanking && end > 0 && out_[end - 1] == '*' && (end < 2 || out_[end - 2] != '\\')) {
                lastClosed_ = m.kind == InlineMark::Strong ? InlineMark::Emphasis : InlineMark::Strong;
                lastClosedEnd_ = end;
            }
            continue;
        }
        if (m.kind == InlineMark::Code && lastClosed_ == InlineMark::Code && out_.size() == lastClosedEnd_ &&
            lastCodeAt_ >= flushed_) {
            // So does a code span ("`a``b`" would be one span of "a``b"):
            // its fences go, back to the one backtick it opened with.
            out_.resize(out_.size() - lastCodeFence_);
            out_.replace(lastCodeAt_ - flushed_, lastCodeFence_, "`");
            m.at = lastCodeAt_;
            lastClosed_ = InlineMark::None;
            continue;
        }
        if (flanking && classBeforeText() == CharClass::Word &&
            std::any_of(marks_.begin() + static_cast<std::ptrdiff_t>(i) + 1, marks_.end(),
                        [](const Mark &inner) { return !inner.written; })) {
            // After a letter a mark opens only before a letter, not before
            // the marks that open inside it (b<s><em>c): it goes unmarked.
            marks_.erase(marks_.begin() + static_cast<std::ptrdiff_t>(i--));
            continue;
        }
        const CharClass before = classBeforeText();
        if ((m.kind == InlineMark::Emphasis || m.kind == InlineMark::Strong) &&
            (before == CharClass::Word || (before == CharClass::Punctuation && next == CharClass::Punctuation)) &&
            std::any_of(marks_.begin(), marks_.begin() + static_cast<std::ptrdiff_t>(i),
                        [this, &opening](const Mark &outer) { return mayCloseInWord(outer, opening.size()); })) {
            // Inside a word a * may close as well as open, and it would
            // close the mark around it (<b><i>p</i>x<i>p</i></b> as
            // "***p*x*p***" reads otherwise): it goes unmarked. So it does
            // between punctuation.
            marks_.erase(marks_.begin() + static_cast<std::ptrdiff_t>(i--));
            continue;
        }
        if (m.kind == InlineMark::Link && !out_.empty() && out_.back() == '!' &&
            (out_.size() < 2 || out_[out_.size() - 2] != '\\'))
            out_.insert(out_.size() - 1, 1, '\\'); // "![" would make it an image
        emitText(opening);
        m.at = flushed_ + out_.size() - opening.size(); // after any line prefix
    }
    updateHold();
}

CharClass TextRenderer::classBeforeText() const
{
    // A cell's mark is followed by its span, a byte that is no letter.
    const std::size_t size = out_.size();
    if ((size >= 2 && out_[size - 2] == kCellMark) || (size >= 1 && out_[size - 1] == kRowMark))
        return CharClass::Space;
    return ClassBefore(out_, size);
}

CharClass TextRenderer::classBeforeGoingOn() const
{
    // As writeOpeningMarks() lets marks go on: each unwritten one right
    // after the same mark closed takes that closing away.
    std::size_t end = out_.size();
    InlineMark last = lastClosed_;
    std::size_t lastEnd = lastClosedEnd_;
    for (const Mark &m : marks_) {
        if (m.written)
            continue;
        const bool flanking =
            m.kind == InlineMark::Emphasis || m.kind == InlineMark::Strong || m.kind == InlineMark::Strikethrough;
        const std::size_t size = OpeningOf(m.kind).size();
        if (!flanking || m.kind != last || end != lastEnd || end < size)
            break;
        end -= size;
        last = InlineMark::None;
        if (end > 0 && out_[end - 1] == '*' && (end < 2 || out_[end - 2] != '\\')) {
            last = m.kind == InlineMark::Strong ? InlineMark::Emphasis : InlineMark::Strong;
            lastEnd = end;
        }
    }
    return end == out_.size() ? classBeforeText() : ClassBefore(out_, end);
}

bool TextRenderer::mayCloseInWord(const Mark &outer, std::size_t length) const
{
    if (!outer.written || (outer.kind != InlineMark::Emphasis && outer.kind != InlineMark::Strong))
        return false;
    if (outer.at < flushed_)
        return true; // (its run no longer known)
    // A run of *s that may open as well as close does not close one whose
    // run makes a multiple of three with it, unless both runs are.
    std::size_t first = outer.at - flushed_, end = first;
    while (first > 0 && out_[first - 1] == '*' && (first < 2 || out_[first - 2] != '\\'))
        --first;
    while (end < out_.size() && out_[end] == '*')
        ++end;
    const std::size_t run = end - first;
    return (run + length) % 3 != 0 || (run % 3 == 0 && length % 3 == 0);
}

void TextRenderer::writeClosing(Mark &mark)
{
    const std::size_t at = out_.size();
    switch (mark.kind) {
    case InlineMark::Code: {
        // Fences longer than any run of backticks inside, and a space inside
        // them where the code starts or ends with a backtick. (Its text is
        // held: out_ still has it.)
        const std::size_t opening = mark.at - flushed_;
        const std::string_view code = std::string_view(out_).substr(opening + 1);
        const bool pad = !code.empty() && (code.front() == '`' || code.back() == '`');
        std::string fence(LongestBacktickRun(code) + 1, '`');
        out_.replace(opening, 1, pad ? fence + " " : fence);
        emitText(pad ? " " + fence : fence);
        lastCodeAt_ = mark.at;
        lastCodeFence_ = fence.size() + pad;
        syntaxEnd_ = out_.size();
        break;
    }
    case InlineMark::Link: {
        std::string closing;
        if (options_.links) {
            ++linkCount_;
            closing = "][" + std::to_string(linkCount_) + "]";
            addReference(mark.destination);
        } else {
            closing = "](";
            AppendLinkDestination(closing, mark.destination);
            closing.push_back(')');
        }
        emitText(closing);
        syntaxEnd_ = out_.size();
        break;
    }
    default: {
        // Before the spaces its text ends with (no-break ones, and one
        // before them), as a mark closes only after other characters; none
        // at all where the text is only those.
        const std::string_view opening = OpeningOf(mark.kind);
        if (mark.at < flushed_) {
            emitText(ClosingOf(mark.kind));
            break;
        }
        const std::size_t content = mark.at - flushed_ + opening.size();
        std::size_t end = out_.size();
        for (;;) {
            if (end >= content + 2 && out_.compare(end - 2, 2, "\xC2\xA0") == 0)
                end -= 2;
            else if (end > content && out_[end - 1] == ' ')
                --end;
            else
                break;
        }
        // Nothing but punctuation (and spaces): a closing mark after it
        // does not close before a letter, where it cannot move before it,
        // so the mark is left out there (see movedClosing()); nothing at
        // all, none.
        // (A character reference written for a character counts as that:
        // it starts and ends with punctuation.)
        bool punctuation = true;
        for (std::size_t i = content; i < end && punctuation; i += charBytesAt(out_, i)) {
            if (out_[i] == '&') {
                const std::size_t length = std::string_view(out_).substr(i, end - i).find(';') + 1;
                if (length > 0 && WrittenReferenceBefore(out_, i + length) == length) {
                    i += length - 1;
                    continue;
                }
            }
            punctuation = ClassAt(out_, i) != CharClass::Word;
        }
        if (punctuation && (end == content || end == out_.size())) {
            if (end == content) {
                out_.erase(content - opening.size(), opening.size());
                return;
            }
            emitText(ClosingOf(mark.kind));
            lastClosed_ = mark.kind;
            lastClosedEnd_ = out_.size();
            closedAt_[static_cast<std::size_t>(mark.kind)] = mark.at;
            if (closingAt_ != kNone && closingEnd_ == at) {
                closingEnd_ = out_.size(); // closes right after another
                leftOut_.emplace_back(mark.at - flushed_, opening.size());
            } else {
                closingAt_ = at;
                closingEnd_ = out_.size();
                closingRun_ = kNone;
                leftOut_.assign(1, {mark.at - flushed_, opening.size()});
            }
            return;
        }
        if (end < out_.size()) {
            out_.insert(end, ClosingOf(mark.kind));
            return;
        }
        emitText(ClosingOf(mark.kind));
        break;
    }
    }
    lastClosed_ = mark.kind;
    lastClosedEnd_ = out_.size();
    closedAt_[static_cast<std::size_t>(mark.kind)] = mark.at;
    if (mark.kind != InlineMark::Emphasis && mark.kind != InlineMark::Strong && mark.kind != InlineMark::Strikethrough)
        return;
    if (closingAt_ != kNone && closingEnd_ == at) {
        closingEnd_ = out_.size(); // closes right after another
        if (closingRun_ == kNone && mark.at >= flushed_)
            leftOut_.emplace_back(mark.at - flushed_, OpeningOf(mark.kind).size());
        else if (closingRun_ == kNone)
            closingAt_ = kNone; // (its opening is written: as it is)
        return;
    }
    // After punctuation a closing mark closes only before a space or more
    // punctuation: where a letter follows, it moves before the punctuation
    // (see movedClosing()).
    // (Spaces before the punctuation too, escapes and character references
    // whole, and never into what a link, code span or image wrote.)
    std::size_t run = at;
    while (run > syntaxEnd_ + 1) {
        const char c = out_[run - 1];
        const CharClass before = ClassBefore(out_, run);
        if (const std::size_t reference = WrittenReferenceBefore(out_, run); reference > 0) {
            if (run - reference <= syntaxEnd_)
                break;
            run -= reference;
        } else if (run > syntaxEnd_ + 2 && out_[run - 2] == '\\' && asciiPunctuation(c))
            run -= 2;
        else if ((before == CharClass::Punctuation && c != '\\' && c != '*' && c != '~') || before == CharClass::Space)
            run -= CharBytesBefore(out_, run);
        else
            break;
    }
    closingAt_ = kNone;
    const bool delimiterBefore =
        at > 0 && (out_[at - 1] == '*' || out_[at - 1] == '~') && (at < 2 || out_[at - 2] != '\\');
    // (Right after other closing marks it joins their run, as a letter
    // stands before that.)
    std::size_t word = run;
    while (word > syntaxEnd_ + 1 && (out_[word - 1] == '*' || out_[word - 1] == '~') && out_[word - 2] != '\\')
        --word;
    if (run < at && run > syntaxEnd_ && ClassBefore(out_, word) == CharClass::Word) {
        closingAt_ = at;
        closingEnd_ = out_.size();
        closingRun_ = run;
    } else if (ClassBefore(out_, at) == CharClass::Punctuation && !delimiterBefore && mark.at >= flushed_) {
        // Right after a link, code span or image it cannot move, nor after
        // punctuation that follows one: where a letter follows, the mark is
        // left out.
        closingAt_ = at;
        closingEnd_ = out_.size();
        closingRun_ = kNone;
        leftOut_.assign(1, {mark.at - flushed_, OpeningOf(mark.kind).size()});
    }
}

void TextRenderer::movedClosing(std::string_view next)
{
    if (closingAt_ == kNone)
        return;
    // (A link or code span that opens before the word: its bracket or
    // backtick follows the marks.)
    if (std::any_of(marks_.begin(), marks_.end(), [](const Mark &m) {
            return !m.written && (m.kind == InlineMark::Link || m.kind == InlineMark::Code);
        }))
        next = "[";
    if (closingEnd_ == out_.size() && ClassAt(next, 0) == CharClass::Word && closingRun_ == kNone) {
        out_.erase(closingAt_);
        // (The inner marks closed first: their openings stand later.)
        for (const auto &[at, size] : leftOut_) {
            out_.erase(at, size);
            if (syntaxEnd_ > at)
                syntaxEnd_ -= size;
            if (blockWordAt_ != kNone && blockWordAt_ > flushed_ + at)
                blockWordAt_ -= size;
            if (lineStartAt_ > at)
                lineStartAt_ -= size;
            else
                column_ -= size;
            if (lastSpaceAt_ != std::string::npos && lastSpaceAt_ > at)
                lastSpaceAt_ -= size;
        }
        lastClosed_ = InlineMark::None;
    } else if (closingEnd_ == out_.size() && ClassAt(next, 0) == CharClass::Word) {
        const std::string marks = out_.substr(closingAt_, closingEnd_ - closingAt_);
        out_.erase(closingAt_);
        out_.insert(closingRun_, marks);
        lastClosed_ = InlineMark::None; // the marks no longer end the text
    }
    closingAt_ = kNone;
}

void TextRenderer::closeMarks(bool all, std::uint32_t closing)
{
    if (marks_.empty())
        return;
    // The first mark to close; the written ones after it close before it.
    std::size_t first = marks_.size();
    for (std::size_t i = 0; i < marks_.size() && first == marks_.size(); ++i)
        if (marks_[i].id == closing || stackIndexOf(marks_[i].id) == kNone)
            first = i;
    if (all)
        first = 0;
    for (std::size_t i = marks_.size(); i-- > first;) {
        Mark &m = marks_[i];
        if (m.written)
            writeClosing(m);
        m.written = false;
        if (m.id == closing || stackIndexOf(m.id) == kNone)
            marks_.erase(marks_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    updateHold();
}

void TextRenderer::updateHold()
{
    holdAt_ = std::min(fenceAt_, tableAt_);
    for (const Mark &m : marks_)
        if (m.written && m.kind == InlineMark::Code)
            holdAt_ = std::min(holdAt_, m.at - flushed_);
    if (holdAt_ == kNone && out_.size() >= kFlushAt)
        flushOut(false);
}

const std::string &TextRenderer::resolvedAddress(const std::string &reference)
{
    // Pages use the same few pictures and links again and again.
    for (const auto &[written, resolved] : resolved_)
        if (written == reference)
            return resolved;
    if (resolved_.size() < kResolvedKept) {
        resolved_.emplace_back(reference, resolveAddress(baseAddress_, reference));
        return resolved_.back().second;
    }
    // Full: the one kept longest makes room.
    auto &[written, resolved] = resolved_[resolvedNext_];
    resolvedNext_ = (resolvedNext_ + 1) % kResolvedKept;
    written = reference;
    resolved = resolveAddress(baseAddress_, reference);
    return resolved;
}

void TextRenderer::markdownImage(const html::Tag &tag)
{
    const std::string src = cleanAddress(tag.attribute("src"));
    if (src.empty())
        return;
    beforeContent();
    if (pendingSpace_ && !lineStart_)
        emitText(" ");
    pendingSpace_ = false;
    writeOpeningMarks();
    std::string image = "![";
    std::string_view alt = tag.attribute("alt");
    for (std::size_t at = 0; at < alt.size();) {
        // The alt text's words, one space between them.
        while (at < alt.size() && isSpace(alt[at]))
            ++at;
        std::size_t end = at;
        while (end < alt.size() && !isSpace(alt[end]))
            ++end;
        if (end > at) {
            if (image.size() > 2)
                image.push_back(' ');
            AppendEscaped(image, alt.substr(at, end - at), false, true);
        }
        at = end;
    }
    if (image.size() > 2 && linkDepth_ != kNone)
        linkHasText_ = true; // its alt text names the link
    image.append("](");
    AppendLinkDestination(image, resolvedAddress(src));
    image.push_back(')');
    emitText(image);
    syntaxEnd_ = out_.size();
    started_ = true;
    trailingBreaks_ = 0;
    lineStart_ = false;
    inWord_ = false;
}

void TextRenderer::startFence(const html::Tag &tag)
{
    requireBreaks(2);
    closeMarks(true, 0);
    beforeContent();
    if (started_ && !lineStart_)
        emitText("\n");
    emitText("```");
    fenceAt_ = out_.size() - 3;
    fenceInfoAt_ = out_.size();
    fenceId_ = stack_.back().id;
    const std::string_view language = CodeLanguage(tag.attribute("class"));
    if (!language.empty()) {
        emitText(language);
        fenceInfoAt_ = kNone;
    }
    emitText("\n");
    started_ = true;
    trailingBreaks_ = 1;
    pendingSpace_ = false;
    lineStart_ = true;
    updateHold();
}

void TextRenderer::endFence()
{
    // The fence is longer than any run of backticks in the code.
    const std::size_t text = out_.find('\n', fenceAt_);
    const std::size_t run = text == std::string::npos ? 0 : LongestBacktickRun(std::string_view(out_).substr(text));
    if (run >= 3)
        out_.insert(fenceAt_, run - 2, '`');
    const std::size_t length = std::max<std::size_t>(3, run + 1);
    pendingBreaks_ = 0;
    if (out_.back() != '\n')
        emitText("\n");
    emitText(std::string(length, '`'));
    fenceAt_ = fenceInfoAt_ = kNone;
    fenceId_ = 0;
    started_ = true;
    trailingBreaks_ = 0;
    lineStart_ = false;
    updateHold();
    requireBreaks(2); // nothing more on the fence's line
}

void TextRenderer::endCaption()
{
    captionId_ = 0;
    if (captionOpening_) {
        captionOpening_ = false; // nothing shown in it: no block
        return;
    }
    requireBreaks(2);
    beforeContent();
    emitText("</figcaption>");
    started_ = true;
    trailingBreaks_ = 0;
    lineStart_ = false;
    requireBreaks(2);
}

void TextRenderer::startTable()
{
    closeMarks(true, 0);
    beforeContent();
    // The table's text is set apart from here: no mark closed before it
    // goes on into it (which would take its closing back out of that text).
    lastClosed_ = InlineMark::None;
    tableAt_ = out_.size();
    tableId_ = stack_.back().id;
    tableBlocks_ = false;
    updateHold();
}

void TextRenderer::endTable()
{
    closeMarks(true, 0); // inside the last cell
    const std::string table = TableMarkdown(std::string_view(out_).substr(tableAt_), tableBlocks_);
    out_.resize(tableAt_);
    // Where marks closed in the cells' text is gone with it.
    closingAt_ = kNone;
    leftOut_.clear();
    lastClosed_ = InlineMark::None;
    tableAt_ = kNone;
    tableId_ = 0;
    tableBlocks_ = false;
    updateHold();
    needPrefix_ = out_.empty() || out_.back() == '\n';
    pendingBreaks_ = 0;
    if (!table.empty()) {
        emitText(table);
        started_ = true;
        trailingBreaks_ = 0;
        lineStart_ = false;
    }
}

bool TextRenderer::endTableAsBlocks()
{
    // Only where the outer table's text so far takes the prefixes of what
    // stands around it: no quote or list item of its cells is open.
    const std::size_t outer = stackIndexOf(tableId_);
    if (outer == kNone)
        return false;
    for (std::size_t i = outer + 1; i < stack_.size(); ++i)
        if ((stack_[i].element == Element::Blockquote && !stack_[i].foreign) || (stack_[i].flags & kListItem))
            return false;
    tableBlocks_ = true;
    endTable();
    stack_[outer].blockTable = true;
    requireBreaks(2);
    return true;
}

bool TextRenderer::inMarkedTable() const
{
    if (tableAt_ == kNone)
        return false;
    for (std::size_t i = stack_.size(); i-- > 0;)
        if (stack_[i].flags & kTable)
            return stack_[i].id == tableId_;
    return false;
}

void TextRenderer::tableMark(char mark, int span)
{
    hardBreak_ = false; // a br at the end of a cell breaks no line
    beforeContent();
    closeMarks(true, 0); // a cell's marks close in it, those around the table too
    out_.push_back(mark);
    if (mark == kCellMark)
        out_.push_back(static_cast<char>('0' + span));
    started_ = true;
    trailingBreaks_ = 0;
    pendingSpace_ = false;
    lineStart_ = true;
}

void TextRenderer::thematicBreak()
{
    if (inMarkedTable() || markerSize_ > 0 || fenceAt_ != kNone) {
        requireBreaks(1); // no rule in a cell or a code block, nor before a list item's marker
        return;
    }
    requireBreaks(2);
    beforeContent();
    if (started_ && !lineStart_)
        emitText("\n");
    emitText("---");
    started_ = true;
    trailingBreaks_ = 0;
    lineStart_ = false;
    requireBreaks(2);
}

// --- Links ------------------------------------------------------------------

void TextRenderer::startLink(const html::Tag &tag, Open &open)
{
    if (stack_.size() >= kMaxDepth)
        return; // not kept, so never ended: no number
    linkDepth_ = stack_.size();
    linkHasText_ = false;
    linkAlt_.clear();
    // (Markdown numbers its links as it marks them: it only keeps the alt
    // text of a picture it cannot show.)
    if (!options_.links || markdown())
        return;
    std::string href = cleanAddress(tag.attribute("href"));
    if (href.empty() || startsWithNoCase(href, "javascript:"))
        return;
    open.link = ++linkCount_;
    addReference(resolveAddress(baseAddress_, href));
}

// The first base element with an href sets the address links are resolved
// against, as in a browser; one that is not a valid address (a relative one
// on a file's page with no address of its own) changes nothing.
void TextRenderer::takeBase(const html::Tag &tag)
{
    if (baseTaken_ || (!options_.links && !markdown()) || !tag.hasAttribute("href"))
        return;
    baseTaken_ = true;
    if (std::optional<std::string> base = baseAddress_.resolve(tag.attribute("href"))) {
        base_ = std::move(*base);
        baseAddress_ = BaseAddress(base_);
    }
    resolved_.clear();
    resolvedNext_ = 0;
}

void TextRenderer::endLink(const Open &open)
{
    linkDepth_ = kNone;
    if (!linkHasText_ && !linkAlt_.empty()) {
        // In Markdown the alt text stands after the link's mark, which has
        // nothing to mark, and is written now: held for the next text, it
        // would go into the next link, when a link start ends this one.
        if (markdown())
            closeMarks(false, open.id);
        collapsedText(linkAlt_);
        flushHeldWord();
    }
    linkAlt_.clear();
    if (open.link == 0)
        return;
    char number[16];
    number[0] = '[';
    char *end = std::to_chars(number + 1, number + sizeof number - 1, open.link).ptr;
    *end++ = ']';
    // Right after the link's text, before any space that follows it.
    const bool space = pendingSpace_;
    beforeContent();
    emitText(std::string_view(number, static_cast<std::size_t>(end - number)));
    started_ = true;
    trailingBreaks_ = 0;
    lineStart_ = false;
    pendingSpace_ = space;
}

void TextRenderer::addReference(std::string_view address)
{
    char number[16];
    char *end = std::to_chars(number, number + sizeof number, linkCount_).ptr;
    if (markdown()) {
        // A link reference definition.
        references_.push_back('[');
        references_.append(number, static_cast<std::size_t>(end - number));
        references_.append("]: ");
        AppendLinkDestination(references_, address);
    } else {
        references_.append(number, static_cast<std::size_t>(end - number));
        references_.append(". ");
        // An address is one line of the list.
        for (const char c : address)
            references_.push_back(c == '\n' || c == '\r' || c == '\t' ? ' ' : c);
    }
    references_.push_back('\n');
    if (references_.size() < kReferencesInMemory)
        return;
    if (!spill_) {
        spill_ = std::tmpfile();
        if (!spill_)
            throw std::system_error(errno, std::generic_category(), "temporary file for the list of links");
    }
    if (std::fwrite(references_.data(), 1, references_.size(), spill_) != references_.size())
        throw std::system_error(errno ? errno : EIO, std::generic_category(), "temporary file for the list of links");
    references_.clear();
}

void TextRenderer::writeReferences()
{
    if (markdown())
        emitUnwrapped(started_ ? "\n" : "");
    else
        emitText(started_ ? "\nReferences\n\n" : "References\n\n");
    if (spill_) {
        if (std::fflush(spill_) != 0 || std::fseek(spill_, 0, SEEK_SET) != 0)
            throw std::system_error(errno, std::generic_category(), "temporary file for the list of links");
        char buffer[16384];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, spill_)) > 0)
            emitUnwrapped(std::string_view(buffer, n));
        if (std::ferror(spill_))
            throw std::system_error(EIO, std::generic_category(), "temporary file for the list of links");
    }
    emitUnwrapped(references_);
    references_.clear();
}

} // namespace quillan::text::readable
