// The element table: every known name is found by the tag name the tokenizer
// gives (lower case, foreignobject too) and by nothing else, and the
// categories it states hang together as the HTML Standard has them.
#include "html/elements/elements.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace quillan::html;

bool has(std::uint32_t known, std::uint32_t flag)
{
    return (elementFlags(known) & flag) != 0;
}

TEST(HtmlElements, EachKnownNameIsFoundByItsTagNameAlone)
{
    for (std::uint32_t k = 0; k < kKnownNameCount; ++k) {
        const std::string text(knownNameText(k));
        std::string lower = text;
        for (char &c : lower)
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        EXPECT_EQ(knownTagName(k), lower);
        EXPECT_EQ(findKnownName(lower), k) << text;
        EXPECT_EQ(findKnownName(lower + "x"), kKnownNameCount) << text;
        EXPECT_NE(findKnownName(lower.substr(0, lower.size() - 1)), k) << text;
        EXPECT_EQ(findKnownNameText(text), k) << text;
        EXPECT_EQ(findKnownNameText(text + "x"), kKnownNameCount) << text;
    }
    // The exact text: case counts, as it does for the names a Document holds.
    EXPECT_EQ(findKnownNameText("foreignobject"), kKnownNameCount);
    EXPECT_EQ(findKnownNameText("P"), kKnownNameCount);
    EXPECT_EQ(findKnownNameText(""), kKnownNameCount);
    EXPECT_EQ(findKnownName("foreignobject"), k_foreignObject);
    EXPECT_EQ(knownNameText(k_foreignObject), "foreignObject");
    for (const char *unknown : {"", "foreignObject", "P", "h7", "-p", "custom-element", "\xC3\xA9"})
        EXPECT_EQ(findKnownName(unknown), kKnownNameCount) << unknown;
    EXPECT_EQ(knownNameText(kKnownNameCount), "");
    EXPECT_EQ(knownTagName(kKnownNameCount), "");
    EXPECT_EQ(elementFlags(kKnownNameCount), 0u);
    EXPECT_EQ(elementFlags(kKnownNameCount + 1000), 0u);
}

TEST(HtmlElements, TheCategoriesHangTogether)
{
    for (std::uint32_t k = 0; k < kKnownNameCount; ++k) {
        SCOPED_TRACE(std::string(knownNameText(k)));
        const std::string_view name = knownNameText(k);
        // The headings are h1 to h6, each a block that closes p.
        EXPECT_EQ(has(k, kHeading), name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6');
        EXPECT_TRUE(!has(k, kHeading) || (has(k, kBlock) && has(k, kClosesP)));
        EXPECT_TRUE(!has(k, kBlankLine) || has(k, kBlock));
        // A void element has no end tag to imply and nothing inside to show.
        EXPECT_TRUE(!has(k, kVoid) || !has(k, kEndImplied | kEndImpliedThoroughly | kKeepsSpace | kFormatting));
        // Generating all implied end tags thoroughly closes at least those
        // that the plain generation closes.
        EXPECT_TRUE(!has(k, kEndImplied) || has(k, kEndImpliedThoroughly));
        // Scope boundaries are special, and formatting elements never are.
        EXPECT_TRUE(!has(k, kScopeBoundary | kListItemScopeBoundary | kButtonScopeBoundary | kTableScopeBoundary) ||
                    has(k, kSpecial));
        EXPECT_TRUE(!has(k, kFormatting) || !has(k, kSpecial));
        EXPECT_TRUE(!has(k, kTableScopeBoundary) || has(k, kScopeBoundary));
        EXPECT_TRUE(!has(k, kListItemScopeBoundary) || has(k, kList));
        EXPECT_TRUE(!has(k, kCell | kRow | kRowGroup) || has(k, kEndImpliedThoroughly));
    }
}

} // namespace
