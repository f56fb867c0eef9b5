#include "text/readable/elements.h"

#include <array>
#include <iterator>
#include <utility>

namespace quillan::text::readable {
namespace {

struct Entry {
    std::string_view name;
    Element element;
    std::uint32_t flags;
};

constexpr std::uint32_t kBlockP = kBlock | kSpecial | kClosesP;

// Sorted by name for a binary search.
constexpr Entry kElements[] = {
    {"a", Element::A, 0},
    {"address", Element::Address, kBlockP},
    {"applet", Element::Applet, kSpecial | kScopeBoundary},
    {"area", Element::Area, kVoid | kSpecial | kNotDisplayed},
    {"article", Element::Article, kBlockP},
    {"aside", Element::Aside, kBlockP},
    {"audio", Element::Audio, kNoContent},
    {"b", Element::B, 0},
    {"base", Element::Base, kVoid | kSpecial | kNotDisplayed | kHeadContent},
    {"basefont", Element::Basefont, kVoid | kSpecial | kNotDisplayed | kHeadContent},
    {"bgsound", Element::Bgsound, kVoid | kSpecial | kNotDisplayed | kHeadContent},
    {"blockquote", Element::Blockquote, kBlockP},
    {"body", Element::Body, kBlock | kSpecial},
    {"br", Element::Br, kVoid | kSpecial},
    {"button", Element::Button, kSpecial},
    {"caption", Element::Caption, kBlock | kSpecial | kScopeBoundary},
    {"center", Element::Center, kBlockP},
    {"col", Element::Col, kVoid | kSpecial},
    {"colgroup", Element::Colgroup, kSpecial | kNotDisplayed},
    {"datalist", Element::Datalist, kNotDisplayed},
    {"dd", Element::Dd, kBlockP},
    {"desc", Element::Desc, 0},
    {"details", Element::Details, kBlockP},
    {"dialog", Element::Dialog, kBlock | kClosesP},
    {"dir", Element::Dir, kBlockP | kList},
    {"div", Element::Div, kBlockP},
    {"dl", Element::Dl, kBlockP},
    {"dt", Element::Dt, kBlockP},
    {"embed", Element::Embed, kVoid | kSpecial},
    {"fieldset", Element::Fieldset, kBlockP},
    {"figcaption", Element::Figcaption, kBlockP},
    {"figure", Element::Figure, kBlockP},
    {"font", Element::Font, 0},
    {"footer", Element::Footer, kBlockP},
    {"foreignobject", Element::ForeignObject, 0},
    {"form", Element::Form, kBlockP},
    {"frame", Element::Frame, kVoid | kSpecial | kNotDisplayed},
    {"frameset", Element::Frameset, kSpecial | kNotDisplayed},
    {"h1", Element::H1, kBlockP | kBlankLine | kHeading},
    {"h2", Element::H2, kBlockP | kBlankLine | kHeading},
    {"h3", Element::H3, kBlockP | kBlankLine | kHeading},
    {"h4", Element::H4, kBlockP | kBlankLine | kHeading},
    {"h5", Element::H5, kBlockP | kBlankLine | kHeading},
    {"h6", Element::H6, kBlockP | kBlankLine | kHeading},
    {"head", Element::Head, kSpecial | kNotDisplayed},
    {"header", Element::Header, kBlockP},
    {"hgroup", Element::Hgroup, kBlockP},
    {"hr", Element::Hr, kVoid | kBlockP},
    {"html", Element::Html, kBlock | kSpecial | kScopeBoundary},
    {"iframe", Element::Iframe, kSpecial | kNoContent},
    {"image", Element::Image, kVoid | kSpecial},
    {"img", Element::Img, kVoid | kSpecial},
    {"input", Element::Input, kVoid | kSpecial},
    {"keygen", Element::Keygen, kVoid | kSpecial},
    {"legend", Element::Legend, kBlock},
    {"li", Element::Li, kBlockP | kListItem},
    {"link", Element::Link, kVoid | kSpecial | kNotDisplayed | kHeadContent},
    {"listing", Element::Listing, kBlockP | kKeepsSpace},
    {"main", Element::Main, kBlockP},
    {"marquee", Element::Marquee, kSpecial | kScopeBoundary},
    {"math", Element::Math, 0},
    {"menu", Element::Menu, kBlockP | kList},
    {"meta", Element::Meta, kVoid | kSpecial | kNotDisplayed | kHeadContent},
    {"nav", Element::Nav, kBlockP},
    {"noembed", Element::Noembed, kSpecial | kNotDisplayed},
    {"noframes", Element::Noframes, kSpecial | kNotDisplayed | kHeadContent},
    {"noscript", Element::Noscript, kSpecial | kHeadContent},
    {"object", Element::Object, kSpecial | kScopeBoundary},
    {"ol", Element::Ol, kBlockP | kList},
    {"optgroup", Element::Optgroup, kBlock},
    {"option", Element::Option, kBlock},
    {"p", Element::P, kBlockP | kBlankLine},
    {"param", Element::Param, kVoid | kSpecial | kNotDisplayed},
    {"picture", Element::Picture, 0},
    {"plaintext", Element::Plaintext, kBlockP | kKeepsSpace},
    {"pre", Element::Pre, kBlockP | kKeepsSpace},
    {"rb", Element::Rb, 0},
    {"rp", Element::Rp, kNotDisplayed},
    {"rt", Element::Rt, 0},
    {"rtc", Element::Rtc, 0},
    {"ruby", Element::Ruby, 0},
    {"script", Element::Script, kSpecial | kNotDisplayed | kHeadContent},
    {"search", Element::Search, kBlockP},
    {"section", Element::Section, kBlockP},
    {"select", Element::Select, 0},
    {"source", Element::Source, kVoid | kSpecial},
    {"style", Element::Style, kSpecial | kNotDisplayed | kHeadContent},
    {"summary", Element::Summary, kBlockP},
    {"svg", Element::Svg, 0},
    {"table", Element::Table, kBlockP | kTable | kScopeBoundary},
    {"tbody", Element::Tbody, kSpecial | kRowGroup},
    {"td", Element::Td, kSpecial | kScopeBoundary | kCell},
    {"template", Element::Template, kSpecial | kScopeBoundary | kNotDisplayed | kHeadContent},
    {"textarea", Element::Textarea, kSpecial | kKeepsSpace},
    {"tfoot", Element::Tfoot, kSpecial | kRowGroup},
    {"th", Element::Th, kSpecial | kScopeBoundary | kCell},
    {"thead", Element::Thead, kSpecial | kRowGroup},
    {"title", Element::Title, kSpecial | kNotDisplayed | kHeadContent},
    {"tr", Element::Tr, kSpecial | kRow},
    {"track", Element::Track, kVoid | kSpecial},
    {"ul", Element::Ul, kBlockP | kList},
    {"video", Element::Video, kNoContent},
    {"wbr", Element::Wbr, kVoid | kSpecial},
    {"xmp", Element::Xmp, kBlockP | kKeepsSpace},
};

constexpr bool sortedByName()
{
    for (std::size_t i = 1; i < std::size(kElements); ++i)
        if (!(kElements[i - 1].name < kElements[i].name))
            return false;
    return true;
}
static_assert(sortedByName(), "the element table must stay sorted by name");

constexpr std::array<std::uint32_t, static_cast<std::size_t>(Element::Count)> flagTable()
{
    std::array<std::uint32_t, static_cast<std::size_t>(Element::Count)> flags{};
    for (const Entry &e : kElements)
        flags[static_cast<std::size_t>(e.element)] = e.flags;
    return flags;
}
constexpr auto kFlags = flagTable();

constexpr std::array<std::string_view, static_cast<std::size_t>(Element::Count)> nameTable()
{
    std::array<std::string_view, static_cast<std::size_t>(Element::Count)> names{};
    for (const Entry &e : kElements)
        names[static_cast<std::size_t>(e.element)] = e.name;
    return names;
}
constexpr auto kNames = nameTable();

constexpr bool eachElementNamedOnce()
{
    for (std::size_t i = 0; i < std::size(kElements); ++i)
        for (std::size_t j = i + 1; j < std::size(kElements); ++j)
            if (kElements[i].element == kElements[j].element)
                return false;
    return true;
}
static_assert(eachElementNamedOnce(), "an element's name must be the only one that names it");

} // namespace

ElementInfo LookupElement(std::string_view lowerName)
{
    // The table is sorted, so each first letter owns one run of it.
    static constexpr auto kRuns = [] {
        std::array<std::pair<std::uint8_t, std::uint8_t>, 26> runs{};
        for (std::size_t i = 0; i < std::size(kElements); ++i) {
            auto &run = runs[static_cast<std::size_t>(kElements[i].name[0] - 'a')];
            if (run.second == 0)
                run.first = static_cast<std::uint8_t>(i);
            run.second = static_cast<std::uint8_t>(i + 1);
        }
        return runs;
    }();
    if (lowerName.empty() || lowerName[0] < 'a' || lowerName[0] > 'z')
        return {Element::Other, 0};
    const auto [first, last] = kRuns[static_cast<std::size_t>(lowerName[0] - 'a')];
    for (std::size_t i = first; i < last; ++i) {
        const Entry &e = kElements[i];
        if (e.name.size() == lowerName.size() && e.name == lowerName)
            return {e.element, e.flags};
    }
    return {Element::Other, 0};
}

std::uint32_t FlagsOf(Element element)
{
    return kFlags[static_cast<std::size_t>(element)];
}

std::string_view ElementName(Element element)
{
    const auto i = static_cast<std::size_t>(element);
    return i < kNames.size() ? kNames[i] : std::string_view();
}

} // namespace quillan::text::readable
