#pragma once
// What the renderer knows about each HTML element: how it is displayed by
// default and what part it plays in the tree builder's rules that the
// renderer imitates with its open-element stack (implied end tags, scopes).
//
// Elements the table does not name are inline, ordinary ("not special") and
// shown.

#include <cstdint>
#include <string_view>

namespace quillan::text::readable {

enum class Element : std::uint8_t {
    Other,
    A,
    Address,
    Applet,
    Area,
    Article,
    Aside,
    Audio,
    B,
    Base,
    Basefont,
    Bgsound,
    Blockquote,
    Body,
    Br,
    Button,
    Caption,
    Center,
    Col,
    Colgroup,
    Datalist,
    Dd,
    Details,
    Dialog,
    Dir,
    Div,
    Dl,
    Dt,
    Embed,
    Fieldset,
    Figcaption,
    Figure,
    Font,
    Footer,
    Form,
    Frame,
    Frameset,
    H1,
    H2,
    H3,
    H4,
    H5,
    H6,
    Head,
    Header,
    Hgroup,
    Hr,
    Html,
    Iframe,
    Image,
    Img,
    Input,
    Keygen,
    Legend,
    Li,
    Link,
    Listing,
    Main,
    Marquee,
    Math,
    Menu,
    Meta,
    Nav,
    Noembed,
    Noframes,
    Noscript,
    Object,
    Ol,
    Optgroup,
    Option,
    P,
    Param,
    Picture,
    Plaintext,
    Pre,
    Rp,
    Rt,
    Script,
    Search,
    Section,
    Select,
    Source,
    Style,
    Summary,
    Svg,
    Table,
    Tbody,
    Td,
    Template,
    Textarea,
    Tfoot,
    Th,
    Thead,
    Title,
    Tr,
    Track,
    Ul,
    Video,
    Wbr,
    Xmp,
    Rb,
    Rtc,
    Ruby,
    // In foreign content: the points where HTML rules apply again.
    ForeignObject,
    Desc,
    Count
};

// Flags of an element's default display and tree-building role.
enum ElementFlag : std::uint32_t {
    kBlock = 1u << 0,         // starts and ends a line
    kBlankLine = 1u << 1,     // starts and ends a paragraph (a blank line)
    kNotDisplayed = 1u << 2,  // display: none (nothing inside is shown)
    kVoid = 1u << 3,          // never has an end tag or content
    kSpecial = 1u << 4,       // "special" for the tree builder's end-tag rules
    kScopeBoundary = 1u << 5, // ends the search for an element "in scope"
    kClosesP = 1u << 6,       // its start tag closes an open p
    kKeepsSpace = 1u << 7,    // white space is kept as it is (pre)
    kHeading = 1u << 8,       // h1 to h6
    kCell = 1u << 9,          // td, th
    kRow = 1u << 10,          // tr
    kRowGroup = 1u << 11,     // thead, tbody, tfoot
    kTable = 1u << 12,        // table
    kList = 1u << 13,         // ol, ul, menu, dir
    kListItem = 1u << 14,     // li
    kNoContent = 1u << 15,    // content not shown as text (replaced elements, fallback)
    kHeadContent = 1u << 16,  // may stay inside head without ending it
};

struct ElementInfo {
    Element element;
    std::uint32_t flags;
};

// The element named `lowerName` (an HTML tag name, lower case).
ElementInfo LookupElement(std::string_view lowerName);

// The flags of an element.
std::uint32_t FlagsOf(Element element);

// The (lower-case) name of an element the table names; empty for Other.
std::string_view ElementName(Element element);

} // namespace quillan::text::readable
