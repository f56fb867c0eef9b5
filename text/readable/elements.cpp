#include "text/readable/elements.h"

#include <array>
#include <cstddef>

namespace quillan::text::readable {
namespace {

constexpr std::size_t kCount = static_cast<std::size_t>(Element::Count);

// Per element, its known name; Other's is none (kKnownNameCount).
constexpr std::array<html::KnownName, kCount> kKnown = {html::kKnownNameCount,
#define QUILLAN_READABLE_ELEMENT_KNOWN(element, known) html::k_##known,
                                                        QUILLAN_READABLE_ELEMENTS(QUILLAN_READABLE_ELEMENT_KNOWN)
#undef QUILLAN_READABLE_ELEMENT_KNOWN
};

// Per known name, the element the renderer tells it as (Other for the rest).
constexpr auto kElementOf = [] {
    std::array<Element, html::kKnownNameCount + 1> elements{};
    for (std::size_t i = 1; i < kCount; ++i)
        elements[kKnown[i]] = static_cast<Element>(i);
    return elements;
}();

constexpr auto kFlags = [] {
    std::array<std::uint32_t, kCount> flags{};
    for (std::size_t i = 0; i < kCount; ++i)
        flags[i] = html::elementFlags(kKnown[i]);
    return flags;
}();

constexpr bool eachElementNamedOnce()
{
    for (std::size_t i = 1; i < kCount; ++i)
        if (kElementOf[kKnown[i]] != static_cast<Element>(i))
            return false;
    return true;
}
static_assert(eachElementNamedOnce(), "an element's known name must be the only one that names it");

} // namespace

Element ElementOf(html::KnownName known)
{
    return kElementOf[known < html::kKnownNameCount ? known : html::kKnownNameCount];
}

ElementInfo LookupElement(std::string_view lowerName)
{
    const Element element = kElementOf[html::findKnownName(lowerName)];
    return {element, kFlags[static_cast<std::size_t>(element)]};
}

ElementInfo LookupElement(const html::Tag &tag)
{
    if (tag.known == html::Tag::kNotGiven)
        return LookupElement(tag.name);
    const Element element = ElementOf(static_cast<html::KnownName>(tag.known));
    return {element, kFlags[static_cast<std::size_t>(element)]};
}

html::KnownName KnownNameOf(Element element)
{
    const auto i = static_cast<std::size_t>(element);
    return i < kCount ? kKnown[i] : html::kKnownNameCount;
}

std::uint32_t FlagsOf(Element element)
{
    return kFlags[static_cast<std::size_t>(element)];
}

std::string_view ElementName(Element element)
{
    const auto i = static_cast<std::size_t>(element);
    return i < kCount ? html::knownTagName(kKnown[i]) : std::string_view();
}

} // namespace quillan::text::readable
