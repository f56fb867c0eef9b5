// The style sheet on its own: what its rules say of an element, and how many
// rules it tests to find out, so that a page's cost stays linear in the page
// however many rules and class names it has.
#include "text/readable/style_sheet.h"

#include <gtest/gtest.h>

#include <string>

using quillan::text::readable::InlineStyle;
using quillan::text::readable::StyleSheet;
using quillan::text::readable::TextTransform;

namespace {

StyleSheet sheetOf(const std::string &css)
{
    StyleSheet sheet;
    sheet.feed(css);
    sheet.endStyleElement();
    return sheet;
}

// `count` rules "<prefix>N<suffix>{<declarations>}".
std::string rules(int count, const std::string &prefix, const std::string &declarations, const std::string &suffix = "")
{
    std::string css;
    for (int i = 0; i < count; ++i)
        css += prefix + std::to_string(i) + suffix + "{" + declarations + "}";
    return css;
}

TEST(StyleSheet, MatchesCompoundSelectors)
{
    const StyleSheet sheet = sheetOf(".a.b{display:none} #i.c{display:none} p.d{display:none} em{display:none}"
                                     ".e.e.f{display:none} .g{display:none} .g{display:inline}");
    EXPECT_TRUE(sheet.match("div", "", "b x a").hides);
    EXPECT_FALSE(sheet.match("div", "", "a ab").hides);
    EXPECT_TRUE(sheet.match("div", "i", "c").hides);
    EXPECT_FALSE(sheet.match("div", "j", "c").hides);
    EXPECT_TRUE(sheet.match("p", "", "\td\n").hides);
    EXPECT_FALSE(sheet.match("div", "", "d").hides);
    EXPECT_TRUE(sheet.match("em", "", "").hides);
    // A class named twice in a selector is one class.
    EXPECT_TRUE(sheet.match("div", "", "f e").hides);
    // A later rule with another display value takes the hiding back.
    EXPECT_FALSE(sheet.match("div", "", "g").hides);
    // Class names are case-sensitive.
    EXPECT_FALSE(sheet.match("div", "", "A B").hides);
}

// Brackets and parentheses of a prelude are read whole, braces inside them
// too: a sheet that opens with "<![CDATA[" is one rule up to its "]".
TEST(StyleSheet, BracketsOfAPreludeHoldBraces)
{
    // (The rule goes on to the first block after the "]": .z's.)
    const StyleSheet cdata =
        sheetOf("<![CDATA[ .x{display:none} .y{text-transform:uppercase} ]]> .z{display:none} .w{display:none}");
    EXPECT_FALSE(cdata.match("p", "", "x").hides);
    EXPECT_EQ(cdata.match("p", "", "y").transform, TextTransform::Inherit);
    EXPECT_FALSE(cdata.match("p", "", "z").hides);
    EXPECT_TRUE(cdata.match("p", "", "w").hides);
    const StyleSheet attribute = sheetOf("[title='a{'] .x{display:none} :is(.q{) .y{display:none} .w{display:none}");
    EXPECT_FALSE(attribute.match("p", "", "x").hides);
    EXPECT_FALSE(attribute.match("p", "", "y").hides);
    EXPECT_TRUE(attribute.match("p", "", "w").hides);
}

TEST(StyleSheet, TextTransformOfTheMostSpecificThenTheLastRule)
{
    const StyleSheet sheet = sheetOf("p{text-transform:uppercase} .x{text-transform:lowercase}"
                                     " p.x{text-transform:capitalize} .y{text-transform:lowercase}"
                                     " .y{text-transform:none} #z{text-transform:uppercase}"
                                     " .w{text-transform:full-width lowercase} .v{text-transform:inherit}");
    EXPECT_EQ(sheet.match("p", "", "").transform, TextTransform::Uppercase);
    EXPECT_EQ(sheet.match("div", "", "x").transform, TextTransform::Lowercase);
    EXPECT_EQ(sheet.match("p", "", "x").transform, TextTransform::Capitalize);
    EXPECT_EQ(sheet.match("div", "", "y").transform, TextTransform::None);
    EXPECT_EQ(sheet.match("p", "z", "x y").transform, TextTransform::Uppercase);
    EXPECT_EQ(sheet.match("div", "", "w").transform, TextTransform::Lowercase);
    EXPECT_EQ(sheet.match("div", "", "v").transform, TextTransform::Inherit);
    EXPECT_EQ(sheet.match("div", "", "").transform, TextTransform::Inherit);
}

// Declarations part at semicolons: a piece without a colon names nothing
// and does not run into the next one, a colon inside a value is part of it,
// and of a property set twice the last counts.
TEST(StyleSheet, DeclarationsPartAtSemicolons)
{
    EXPECT_TRUE(InlineStyle("color;display:none").hides);
    EXPECT_TRUE(InlineStyle(";;x:y;;display : none !important;").hides);
    EXPECT_TRUE(InlineStyle("background:url(a:b);visibility:hidden").hides);
    EXPECT_FALSE(InlineStyle("display;:none").hides);
    EXPECT_FALSE(InlineStyle("margin:0 display:none").hides);
    EXPECT_FALSE(InlineStyle("display:none;display:block").hides);
    EXPECT_FALSE(InlineStyle("display:none:x").hides);
    EXPECT_TRUE(InlineStyle("DISPLAY:NONE").hides);
    EXPECT_EQ(InlineStyle("x;text-transform:uppercase;y").transform, TextTransform::Uppercase);
    // The same in a rule, whose block is read as the style attribute is.
    const StyleSheet sheet = sheetOf(".a{color;display:none} .b{margin:0 display:none} .c{display:none;;display:}");
    EXPECT_TRUE(sheet.match("p", "", "a").hides);
    EXPECT_FALSE(sheet.match("p", "", "b").hides);
    EXPECT_FALSE(sheet.match("p", "", "c").hides); // the last, empty, value counts
}

// Rules that all name one class and one of their own: an element with that
// class tests none of them however often its class list repeats it, and one
// with a class of its own tests only its rule.
TEST(StyleSheet, EachRuleIsTestedAtMostOncePerElement)
{
    const StyleSheet sheet = sheetOf(rules(1024, ".a.b", "display:none"));
    std::string repeated;
    for (int i = 0; i < 4000; ++i)
        repeated += "a ";
    EXPECT_FALSE(sheet.match("div", "", repeated).hides);
    EXPECT_TRUE(sheet.match("div", "", repeated + "b77").hides);
    EXPECT_LE(sheet.rulesTested(), 2u);

    // The bound of rules, each matched through its own class.
    const StyleSheet many = sheetOf(rules(StyleSheet::kMaxSelectors, ".a.b", "display:none"));
    for (int i = 0; i < 10000; ++i)
        EXPECT_FALSE(many.match("p", "", "a c").hides);
    EXPECT_TRUE(many.match("p", "", "b16383 a").hides);
    EXPECT_LE(many.rulesTested(), 2u);

    // The same with the shared class named last, and with an id.
    const StyleSheet last = sheetOf(rules(4096, ".b", "display:none", ".a") + rules(4096, "#i", "display:none", ".a"));
    for (int i = 0; i < 1000; ++i)
        EXPECT_FALSE(last.match("p", "j", "a a a").hides);
    EXPECT_TRUE(last.match("p", "i5", "a").hides);
    EXPECT_LE(last.rulesTested(), 2u);

    // Rules every element could match are each tested once, not once per
    // class name.
    const StyleSheet shared = sheetOf(rules(100, ".a.n", "display:none") + ".a{text-transform:uppercase}");
    EXPECT_EQ(shared.match("p", "", repeated).transform, TextTransform::Uppercase);
    EXPECT_LE(shared.rulesTested(), 1u);
}

} // namespace
