#pragma once
// The HTML elements the engine knows by name, and what the HTML Standard
// says of each: the categories the tree builder's rules name (special, the
// scopes it bounds, formatting, the end tags it implies) and how it is
// displayed by default. The tree builder, the renderer and the article's
// choice all read this one table.
//
// Contract:
// - KnownName numbers the names in the table's order; every Document
//   interns them first, in that order, so that a known name's NameId is its
//   KnownName value: comparing an element's name with a known one is one
//   integer comparison, whatever its namespace.
// - The names are the local names as the tree holds them: lower case for
//   HTML and MathML, the adjusted camel case for SVG (foreignObject).
// - knownNameText() answers the text of a known name, knownTagName() its
//   lower-case text, elementFlags() its flags (0 for kKnownNameCount and
//   past), findKnownName() the known name of a lower-case tag name as the
//   tokenizer gives it ("foreignobject" finds foreignObject), or
//   kKnownNameCount; findKnownNameText() the known name whose text is
//   exactly `text` (case counts), or kKnownNameCount.
// - The flags are those of the HTML element of that name. Names the table
//   does not hold are inline, ordinary ("not special") and shown.

#include <array>
#include <cstdint>
#include <string_view>

namespace quillan::html {

// What an element is, by default and to the tree builder's rules.
enum ElementFlag : std::uint32_t {
    kBlock = 1u << 0,                  // starts and ends a line
    kBlankLine = 1u << 1,              // starts and ends a paragraph (a blank line)
    kNotDisplayed = 1u << 2,           // display: none (nothing inside is shown)
    kVoid = 1u << 3,                   // never has an end tag or content
    kSpecial = 1u << 4,                // "special" for the tree builder's end-tag rules
    kScopeBoundary = 1u << 5,          // ends the search for an element "in scope" (and in list item and button scope)
    kClosesP = 1u << 6,                // in body, its start tag closes an open p
    kKeepsSpace = 1u << 7,             // white space is kept as it is (pre)
    kHeading = 1u << 8,                // h1 to h6
    kCell = 1u << 9,                   // td, th
    kRow = 1u << 10,                   // tr
    kRowGroup = 1u << 11,              // thead, tbody, tfoot
    kTable = 1u << 12,                 // table
    kList = 1u << 13,                  // ol, ul, menu, dir
    kListItem = 1u << 14,              // li
    kNoContent = 1u << 15,             // content not shown as text (replaced elements, fallback)
    kHeadContent = 1u << 16,           // may stay inside head without ending it
    kListItemScopeBoundary = 1u << 17, // ends the search in list item scope (ol, ul)
    kButtonScopeBoundary = 1u << 18,   // ends the search in button scope (button)
    kTableScopeBoundary = 1u << 19,    // ends the search in table scope
    kFormatting = 1u << 20,            // goes on the list of active formatting elements
    kEndImplied = 1u << 21,            // closed by "generate implied end tags"
    kEndImpliedThoroughly = 1u << 22,  // closed by "generate all implied end tags thoroughly"
    kBreaksOutOfForeign = 1u << 23,    // its start tag ends foreign content (and font with color, face or size)
};

// The table, sorted by the names' lower case, one element to a line:
// X(id, text, flags).
// clang-format off
#define QUILLAN_HTML_ELEMENTS(X)                                                                                       \
    X(a, "a", kFormatting)                                                                                             \
    X(address, "address", kBlock | kSpecial | kClosesP)                                                                \
    X(annotation_xml, "annotation-xml", 0)                                                                             \
    X(applet, "applet", kSpecial | kScopeBoundary)                                                                     \
    X(area, "area", kVoid | kSpecial | kNotDisplayed)                                                                  \
    X(article, "article", kBlock | kSpecial | kClosesP)                                                                \
    X(aside, "aside", kBlock | kSpecial | kClosesP)                                                                    \
    X(audio, "audio", kNoContent)                                                                                      \
    X(b, "b", kFormatting | kBreaksOutOfForeign)                                                                       \
    X(base, "base", kVoid | kSpecial | kNotDisplayed | kHeadContent)                                                   \
    X(basefont, "basefont", kVoid | kSpecial | kNotDisplayed | kHeadContent)                                           \
    X(bgsound, "bgsound", kVoid | kSpecial | kNotDisplayed | kHeadContent)                                             \
    X(big, "big", kFormatting | kBreaksOutOfForeign)                                                                   \
    X(blockquote, "blockquote", kBlock | kSpecial | kClosesP | kBreaksOutOfForeign)                                    \
    X(body, "body", kBlock | kSpecial | kBreaksOutOfForeign)                                                           \
    X(br, "br", kVoid | kSpecial | kBreaksOutOfForeign)                                                                \
    X(button, "button", kSpecial | kButtonScopeBoundary)                                                               \
    X(caption, "caption", kBlock | kSpecial | kScopeBoundary | kEndImpliedThoroughly)                                  \
    X(center, "center", kBlock | kSpecial | kClosesP | kBreaksOutOfForeign)                                            \
    X(code, "code", kFormatting | kBreaksOutOfForeign)                                                                 \
    X(col, "col", kVoid | kSpecial)                                                                                    \
    X(colgroup, "colgroup", kSpecial | kNotDisplayed | kEndImpliedThoroughly)                                          \
    X(datalist, "datalist", kNotDisplayed)                                                                             \
    X(dd, "dd", kBlock | kSpecial | kClosesP | kEndImplied | kEndImpliedThoroughly | kBreaksOutOfForeign)              \
    X(desc, "desc", 0)                                                                                                 \
    X(details, "details", kBlock | kSpecial | kClosesP)                                                                \
    X(dialog, "dialog", kBlock | kClosesP)                                                                             \
    X(dir, "dir", kBlock | kSpecial | kClosesP | kList)                                                                \
    X(div, "div", kBlock | kSpecial | kClosesP | kBreaksOutOfForeign)                                                  \
    X(dl, "dl", kBlock | kSpecial | kClosesP | kBreaksOutOfForeign)                                                    \
    X(dt, "dt", kBlock | kSpecial | kClosesP | kEndImplied | kEndImpliedThoroughly | kBreaksOutOfForeign)              \
    X(em, "em", kFormatting | kBreaksOutOfForeign)                                                                     \
    X(embed, "embed", kVoid | kSpecial | kBreaksOutOfForeign)                                                          \
    X(fieldset, "fieldset", kBlock | kSpecial | kClosesP)                                                              \
    X(figcaption, "figcaption", kBlock | kSpecial | kClosesP)                                                          \
    X(figure, "figure", kBlock | kSpecial | kClosesP)                                                                  \
    X(font, "font", kFormatting)                                                                 \
    X(footer, "footer", kBlock | kSpecial | kClosesP)                                                                  \
    X(foreignObject, "foreignObject", 0)                                                                               \
    X(form, "form", kBlock | kSpecial | kClosesP)                                                                      \
    X(frame, "frame", kVoid | kSpecial | kNotDisplayed)                                                                \
    X(frameset, "frameset", kSpecial | kNotDisplayed)                                                                  \
    X(h1, "h1", kBlock | kBlankLine | kSpecial | kClosesP | kHeading | kBreaksOutOfForeign)                            \
    X(h2, "h2", kBlock | kBlankLine | kSpecial | kClosesP | kHeading | kBreaksOutOfForeign)                            \
    X(h3, "h3", kBlock | kBlankLine | kSpecial | kClosesP | kHeading | kBreaksOutOfForeign)                            \
    X(h4, "h4", kBlock | kBlankLine | kSpecial | kClosesP | kHeading | kBreaksOutOfForeign)                            \
    X(h5, "h5", kBlock | kBlankLine | kSpecial | kClosesP | kHeading | kBreaksOutOfForeign)                            \
    X(h6, "h6", kBlock | kBlankLine | kSpecial | kClosesP | kHeading | kBreaksOutOfForeign)                            \
    X(head, "head", kSpecial | kNotDisplayed | kBreaksOutOfForeign)                                                    \
    X(header, "header", kBlock | kSpecial | kClosesP)                                                                  \
    X(hgroup, "hgroup", kBlock | kSpecial | kClosesP)                                                                  \
    X(hr, "hr", kVoid | kBlock | kSpecial | kClosesP | kBreaksOutOfForeign)                                            \
    X(html, "html", kBlock | kSpecial | kScopeBoundary | kTableScopeBoundary)                                          \
    X(i, "i", kFormatting | kBreaksOutOfForeign)                                                                       \
    X(iframe, "iframe", kSpecial | kNoContent)                                                                         \
    /* image's start tag is taken as img's: void and special as img is */                                              \
    X(image, "image", kVoid | kSpecial)                                                                                \
    X(img, "img", kVoid | kSpecial | kBreaksOutOfForeign)                                                              \
    X(input, "input", kVoid | kSpecial)                                                                                \
    X(keygen, "keygen", kVoid | kSpecial)                                                                              \
    X(legend, "legend", kBlock)                                                                                        \
    X(li, "li", kBlock | kSpecial | kClosesP | kListItem | kEndImplied | kEndImpliedThoroughly | kBreaksOutOfForeign)  \
    X(link, "link", kVoid | kSpecial | kNotDisplayed | kHeadContent)                                                   \
    X(listing, "listing", kBlock | kSpecial | kClosesP | kKeepsSpace | kBreaksOutOfForeign)                            \
    X(main, "main", kBlock | kSpecial | kClosesP)                                                                      \
    X(malignmark, "malignmark", 0)                                                                                     \
    X(marquee, "marquee", kSpecial | kScopeBoundary)                                                                   \
    X(math, "math", 0)                                                                                                 \
    X(menu, "menu", kBlock | kSpecial | kClosesP | kList | kBreaksOutOfForeign)                                        \
    X(meta, "meta", kVoid | kSpecial | kNotDisplayed | kHeadContent | kBreaksOutOfForeign)                             \
    X(mglyph, "mglyph", 0)                                                                                             \
    X(mi, "mi", 0)                                                                                                     \
    X(mn, "mn", 0)                                                                                                     \
    X(mo, "mo", 0)                                                                                                     \
    X(ms, "ms", 0)                                                                                                     \
    X(mtext, "mtext", 0)                                                                                               \
    X(nav, "nav", kBlock | kSpecial | kClosesP)                                                                        \
    X(nobr, "nobr", kFormatting | kBreaksOutOfForeign)                                                                 \
    X(noembed, "noembed", kSpecial | kNotDisplayed)                                                                    \
    X(noframes, "noframes", kSpecial | kNotDisplayed | kHeadContent)                                                   \
    X(noscript, "noscript", kSpecial | kHeadContent)                                                                   \
    X(object, "object", kSpecial | kScopeBoundary)                                                                     \
    X(ol, "ol", kBlock | kSpecial | kClosesP | kList | kListItemScopeBoundary | kBreaksOutOfForeign)                   \
    X(optgroup, "optgroup", kBlock | kEndImplied | kEndImpliedThoroughly)                                              \
    X(option, "option", kBlock | kEndImplied | kEndImpliedThoroughly)                                                  \
    X(p, "p", kBlock | kBlankLine | kSpecial | kClosesP | kEndImplied | kEndImpliedThoroughly | kBreaksOutOfForeign)   \
    X(param, "param", kVoid | kSpecial | kNotDisplayed)                                                                \
    X(picture, "picture", 0)                                                                                           \
    X(plaintext, "plaintext", kBlock | kSpecial | kClosesP | kKeepsSpace)                                              \
    X(pre, "pre", kBlock | kSpecial | kClosesP | kKeepsSpace | kBreaksOutOfForeign)                                    \
    X(rb, "rb", kEndImplied | kEndImpliedThoroughly)                                                                   \
    X(rp, "rp", kNotDisplayed | kEndImplied | kEndImpliedThoroughly)                                                   \
    X(rt, "rt", kEndImplied | kEndImpliedThoroughly)                                                                   \
    X(rtc, "rtc", kEndImplied | kEndImpliedThoroughly)                                                                 \
    X(ruby, "ruby", kBreaksOutOfForeign)                                                                               \
    X(s, "s", kFormatting | kBreaksOutOfForeign)                                                                       \
    X(script, "script", kSpecial | kNotDisplayed | kHeadContent)                                                       \
    X(search, "search", kBlock | kSpecial | kClosesP)                                                                  \
    X(section, "section", kBlock | kSpecial | kClosesP)                                                                \
    X(select, "select", 0)                                                                                             \
    X(selectedcontent, "selectedcontent", 0)                                                                           \
    X(small, "small", kFormatting | kBreaksOutOfForeign)                                                               \
    X(source, "source", kVoid | kSpecial)                                                                              \
    X(span, "span", kBreaksOutOfForeign)                                                                               \
    X(strike, "strike", kFormatting | kBreaksOutOfForeign)                                                             \
    X(strong, "strong", kFormatting | kBreaksOutOfForeign)                                                             \
    X(style, "style", kSpecial | kNotDisplayed | kHeadContent)                                                         \
    X(sub, "sub", kBreaksOutOfForeign)                                                                                 \
    X(summary, "summary", kBlock | kSpecial | kClosesP)                                                                \
    X(sup, "sup", kBreaksOutOfForeign)                                                                                 \
    X(svg, "svg", 0)                                                                                                   \
    X(table, "table", kBlock | kSpecial | kClosesP | kTable | kScopeBoundary | kTableScopeBoundary |                   \
                      kBreaksOutOfForeign)                                                                             \
    X(tbody, "tbody", kSpecial | kRowGroup | kEndImpliedThoroughly)                                                    \
    X(td, "td", kSpecial | kScopeBoundary | kCell | kEndImpliedThoroughly)                                             \
    X(template_, "template", kSpecial | kScopeBoundary | kTableScopeBoundary | kNotDisplayed | kHeadContent)           \
    X(textarea, "textarea", kSpecial | kKeepsSpace)                                                                    \
    X(tfoot, "tfoot", kSpecial | kRowGroup | kEndImpliedThoroughly)                                                    \
    X(th, "th", kSpecial | kScopeBoundary | kCell | kEndImpliedThoroughly)                                             \
    X(thead, "thead", kSpecial | kRowGroup | kEndImpliedThoroughly)                                                    \
    X(title, "title", kSpecial | kNotDisplayed | kHeadContent)                                                         \
    X(tr, "tr", kSpecial | kRow | kEndImpliedThoroughly)                                                               \
    X(track, "track", kVoid | kSpecial)                                                                                \
    X(tt, "tt", kFormatting | kBreaksOutOfForeign)                                                                     \
    X(u, "u", kFormatting | kBreaksOutOfForeign)                                                                       \
    X(ul, "ul", kBlock | kSpecial | kClosesP | kList | kListItemScopeBoundary | kBreaksOutOfForeign)                   \
    X(var, "var", kBreaksOutOfForeign)                                                                                 \
    X(video, "video", kNoContent)                                                                                      \
    X(wbr, "wbr", kVoid | kSpecial)                                                                                    \
    X(xmp, "xmp", kBlock | kSpecial | kClosesP | kKeepsSpace)
// clang-format on

enum KnownName : std::uint32_t {
#define QUILLAN_HTML_NAME_ENUM(id, text, flags) k_##id,
    QUILLAN_HTML_ELEMENTS(QUILLAN_HTML_NAME_ENUM)
#undef QUILLAN_HTML_NAME_ENUM
        kKnownNameCount
};

namespace detail {
inline constexpr std::array<std::uint32_t, kKnownNameCount + 1> kElementFlags = {
#define QUILLAN_HTML_NAME_FLAGS(id, text, flags) flags,
    QUILLAN_HTML_ELEMENTS(QUILLAN_HTML_NAME_FLAGS)
#undef QUILLAN_HTML_NAME_FLAGS
        0};
} // namespace detail

// The flags of a known name; 0 for kKnownNameCount and past.
constexpr std::uint32_t elementFlags(std::uint32_t known)
{
    return detail::kElementFlags[known < kKnownNameCount ? known : kKnownNameCount];
}

std::string_view knownNameText(std::uint32_t known);

// The lower-case text of a known name, as the tokenizer gives tag names;
// empty for kKnownNameCount and past.
std::string_view knownTagName(std::uint32_t known);

// The known name of a lower-case tag name, or kKnownNameCount.
KnownName findKnownName(std::string_view lowerName);

// The known name whose text (knownNameText()) is `text`, or kKnownNameCount.
KnownName findKnownNameText(std::string_view text);

} // namespace quillan::html
