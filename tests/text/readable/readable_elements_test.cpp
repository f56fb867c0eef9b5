// The elements the renderer tells apart: each is found by its lower-case
// name with the engine table's flags; the names it does not tell apart are
// Other, with no flags, and compared by their text.
#include "text/readable/elements.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace quillan::text::readable;
namespace html = quillan::html;

TEST(ReadableElements, EachElementIsFoundByItsNameWithTheTablesFlags)
{
    for (std::size_t i = 1; i < static_cast<std::size_t>(Element::Count); ++i) {
        const auto element = static_cast<Element>(i);
        const std::string_view name = ElementName(element);
        SCOPED_TRACE(std::string(name));
        const html::KnownName known = html::findKnownName(name);
        ASSERT_LT(known, html::kKnownNameCount);
        EXPECT_EQ(ElementOf(known), element);
        const ElementInfo info = LookupElement(name);
        EXPECT_EQ(info.element, element);
        EXPECT_EQ(info.flags, html::elementFlags(known));
        EXPECT_EQ(FlagsOf(element), info.flags);
    }
    EXPECT_EQ(LookupElement("foreignobject").element, Element::ForeignObject);
    EXPECT_EQ(ElementName(Element::ForeignObject), "foreignobject");
    EXPECT_EQ(ElementName(Element::Other), "");
    EXPECT_EQ(FlagsOf(Element::Other), 0u);
}

TEST(ReadableElements, OtherNamesAreOtherWithoutFlags)
{
    // Formatting and foreign names the renderer keeps by their text, as any
    // name it does not know.
    for (const char *name :
         {"em", "nobr", "span", "mi", "annotation-xml", "custom-element", "", "P", "foreignObject"}) {
        const ElementInfo info = LookupElement(name);
        EXPECT_EQ(info.element, Element::Other) << name;
        EXPECT_EQ(info.flags, 0u) << name;
    }
    EXPECT_EQ(ElementOf(html::k_em), Element::Other);
    EXPECT_EQ(ElementOf(html::kKnownNameCount), Element::Other);
}

} // namespace
