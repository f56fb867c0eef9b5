// The strict JSON reader: what RFC 8259 allows is read, everything else is
// refused whole, and its bounds hold against deep or large input.
#include "text/metadata/json.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace quillan::text::metadata;
using json::Value;

TEST(Json, ReadsEveryKindOfValue)
{
    const std::optional<Value> v = json::parse(
        " {\"a\": [1, -0.5e+3, true, false, null], \"s\": \"q\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\ud83d\\ude00\", "
        "\"o\": {}, \"e\": [], \"a\": 2}\r\n");
    ASSERT_TRUE(v);
    ASSERT_TRUE(v->isObject());
    const Value *a = v->find("a"); // the first of a repeated name
    ASSERT_TRUE(a && a->isArray());
    ASSERT_EQ(a->items.size(), 5u);
    EXPECT_EQ(a->items[1].type, Value::Type::Number);
    EXPECT_EQ(a->items[1].text, "-0.5e+3");
    EXPECT_EQ(a->items[2].type, Value::Type::True);
    EXPECT_EQ(a->items[4].type, Value::Type::Null);
    EXPECT_EQ(v->find("s")->text, "q\"\\/\b\f\n\r\t\u00e9\U0001F600");
    EXPECT_TRUE(v->find("o")->isObject());
    EXPECT_EQ(v->find("missing"), nullptr);
    // A lone surrogate is a replacement character.
    EXPECT_EQ(json::parse("\"\\ud800x\"")->text, "\xEF\xBF\xBDx");
    EXPECT_EQ(json::parse("\"\\udc00\\u0041\"")->text, "\xEF\xBF\xBD"
                                                       "A");
    EXPECT_EQ(json::parse("0")->text, "0");
}

TEST(Json, RefusesWhatTheGrammarDoesNotAllow)
{
    for (const char *bad :
         {"",       " ",   "{",     "[1,]",    "{\"a\":1,}", "{'a':1}",       "{a:1}",         "[1 2]",     "01",
          "1.",     ".5",  "+1",    "1e",      "-",          "\"raw\nline\"", "\"tab\there\"", "\"\\x41\"", "\"\\u12\"",
          "\"open", "tru", "nulls", "[1] [2]", "{\"a\" 1}",  "/* c */ 1",     "[1] // c",      "NaN"}) {
        EXPECT_FALSE(json::parse(bad)) << bad;
    }
}

TEST(Json, DepthAndSizeAreBounded)
{
    const std::string deepest = std::string(json::kMaxDepth, '[') + std::string(json::kMaxDepth, ']');
    EXPECT_TRUE(json::parse(deepest));
    const std::string deeper = "[" + deepest + "]";
    EXPECT_FALSE(json::parse(deeper));
    // Far too deep: refused without running out of stack.
    EXPECT_FALSE(json::parse(std::string(1000000, '[')));
    EXPECT_FALSE(json::parse(std::string(200000, '{') + "\"a\":1"));

    std::string large = "\"" + std::string(json::kMaxTextBytes - 2, 'x') + "\"";
    EXPECT_TRUE(json::parse(large));
    large.insert(0, " ");
    EXPECT_FALSE(json::parse(large));
}

} // namespace
