#pragma once
// The elements the renderer tells apart: those it has rules for, as the
// tree builder does, or whose default display it knows. What each is comes
// from the engine's element table (html/elements/elements.h); every other
// name is Other, inline, ordinary ("not special") and shown, and the
// renderer compares it by its text.

#include "html/elements/elements.h"
#include "html/tokenizer/token_sink.h"

#include <cstdint>
#include <string_view>

namespace quillan::text::readable {

// The flags of an element's default display and tree-building role.
using html::ElementFlag;
using enum html::ElementFlag;

// Each element and its name in the engine's table: X(Element, KnownName).
// The list is laid out by hand, a few to a line.
// clang-format off
#define QUILLAN_READABLE_ELEMENTS(X)                                                                                   \
    X(A, a) X(Address, address) X(Applet, applet) X(Area, area) X(Article, article) X(Aside, aside) X(Audio, audio)    \
    X(B, b) X(Base, base) X(Basefont, basefont) X(Bgsound, bgsound) X(Blockquote, blockquote) X(Body, body)            \
    X(Br, br) X(Button, button) X(Caption, caption) X(Center, center) X(Col, col) X(Colgroup, colgroup)                \
    X(Datalist, datalist) X(Dd, dd) X(Details, details) X(Dialog, dialog) X(Dir, dir) X(Div, div) X(Dl, dl)            \
    X(Dt, dt) X(Embed, embed) X(Fieldset, fieldset) X(Figcaption, figcaption) X(Figure, figure) X(Font, font)          \
    X(Footer, footer) X(Form, form) X(Frame, frame) X(Frameset, frameset) X(H1, h1) X(H2, h2) X(H3, h3) X(H4, h4)      \
    X(H5, h5) X(H6, h6) X(Head, head) X(Header, header) X(Hgroup, hgroup) X(Hr, hr) X(Html, html) X(Iframe, iframe)    \
    X(Image, image) X(Img, img) X(Input, input) X(Keygen, keygen) X(Legend, legend) X(Li, li) X(Link, link)            \
    X(Listing, listing) X(Main, main) X(Marquee, marquee) X(Math, math) X(Menu, menu) X(Meta, meta) X(Nav, nav)        \
    X(Noembed, noembed) X(Noframes, noframes) X(Noscript, noscript) X(Object, object) X(Ol, ol)                        \
    X(Optgroup, optgroup) X(Option, option) X(P, p) X(Param, param) X(Picture, picture) X(Plaintext, plaintext)        \
    X(Pre, pre) X(Rp, rp) X(Rt, rt) X(Script, script) X(Search, search) X(Section, section) X(Select, select)          \
    X(Source, source) X(Style, style) X(Summary, summary) X(Svg, svg) X(Table, table) X(Tbody, tbody) X(Td, td)        \
    X(Template, template_) X(Textarea, textarea) X(Tfoot, tfoot) X(Th, th) X(Thead, thead) X(Title, title) X(Tr, tr)   \
    X(Track, track) X(Ul, ul) X(Video, video) X(Wbr, wbr) X(Xmp, xmp) X(Rb, rb) X(Rtc, rtc) X(Ruby, ruby)              \
    X(ForeignObject, foreignObject) X(Desc, desc)
// clang-format on

enum class Element : std::uint8_t {
    Other,
#define QUILLAN_READABLE_ELEMENT_ENUM(element, known) element,
    QUILLAN_READABLE_ELEMENTS(QUILLAN_READABLE_ELEMENT_ENUM)
#undef QUILLAN_READABLE_ELEMENT_ENUM
        Count
};

struct ElementInfo {
    Element element;
    std::uint32_t flags;
};

// The element named `lowerName` (an HTML tag name, lower case).
ElementInfo LookupElement(std::string_view lowerName);
// The element a tag names: by its known name when the tag gives it, else
// by its name.
ElementInfo LookupElement(const html::Tag &tag);

// The element a known name is told as; Other for kKnownNameCount and for
// the names the renderer does not tell apart.
Element ElementOf(html::KnownName known);

// The known name of an element; kKnownNameCount for Other.
html::KnownName KnownNameOf(Element element);

// The flags of an element.
std::uint32_t FlagsOf(Element element);

// The (lower-case) name of an element the renderer tells apart; empty for
// Other.
std::string_view ElementName(Element element);

} // namespace quillan::text::readable
