// Link addresses made absolute: the resolution examples of RFC 3986 (5.4.1
// and 5.4.2) as the reference, then what HTML adds and what cannot resolve.
#include "render/address_resolution.h"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>

using quillan::readable::hasScheme;
using quillan::readable::resolveAddress;

namespace {

constexpr std::string_view kBase = "http://a/b/c/d;p?q";

constexpr std::pair<std::string_view, std::string_view> kNormal[] = {
    {"g:h", "g:h"},
    {"g", "http://a/b/c/g"},
    {"./g", "http://a/b/c/g"},
    {"g/", "http://a/b/c/g/"},
    {"/g", "http://a/g"},
    {"//g", "http://g"},
    {"?y", "http://a/b/c/d;p?y"},
    {"g?y", "http://a/b/c/g?y"},
    {"#s", "http://a/b/c/d;p?q#s"},
    {"g#s", "http://a/b/c/g#s"},
    {"g?y#s", "http://a/b/c/g?y#s"},
    {";x", "http://a/b/c/;x"},
    {"g;x", "http://a/b/c/g;x"},
    {"g;x?y#s", "http://a/b/c/g;x?y#s"},
    {"", "http://a/b/c/d;p?q"},
    {".", "http://a/b/c/"},
    {"./", "http://a/b/c/"},
    {"..", "http://a/b/"},
    {"../", "http://a/b/"},
    {"../g", "http://a/b/g"},
    {"../..", "http://a/"},
    {"../../", "http://a/"},
    {"../../g", "http://a/g"},
};

constexpr std::pair<std::string_view, std::string_view> kAbnormal[] = {
    {"../../../g", "http://a/g"},
    {"../../../../g", "http://a/g"},
    {"/./g", "http://a/g"},
    {"/../g", "http://a/g"},
    {"g.", "http://a/b/c/g."},
    {".g", "http://a/b/c/.g"},
    {"g..", "http://a/b/c/g.."},
    {"..g", "http://a/b/c/..g"},
    {"./../g", "http://a/b/g"},
    {"./g/.", "http://a/b/c/g/"},
    {"g/./h", "http://a/b/c/g/h"},
    {"g/../h", "http://a/b/c/h"},
    {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
    {"g;x=1/../y", "http://a/b/c/y"},
    {"g?y/./x", "http://a/b/c/g?y/./x"},
    {"g?y/../x", "http://a/b/c/g?y/../x"},
    {"g#s/./x", "http://a/b/c/g#s/./x"},
    {"g#s/../x", "http://a/b/c/g#s/../x"},
    {"http:g", "http:g"},
};

TEST(AddressResolution, TheStandardExamples)
{
    for (const auto &[reference, expected] : kNormal)
        EXPECT_EQ(resolveAddress(kBase, reference), expected) << "reference: " << reference;
    for (const auto &[reference, expected] : kAbnormal)
        EXPECT_EQ(resolveAddress(kBase, reference), expected) << "reference: " << reference;
}

TEST(AddressResolution, BasesAndReferencesFromPages)
{
    // A host without a path, a fetched page's query and fragment.
    EXPECT_EQ(resolveAddress("https://example.org", "news/today.html"), "https://example.org/news/today.html");
    EXPECT_EQ(resolveAddress("https://example.org?x=1#top", "#end"), "https://example.org?x=1#end");
    EXPECT_EQ(resolveAddress("http://127.0.0.1:8080/docs/a.html", "../img/b.png"), "http://127.0.0.1:8080/img/b.png");
    // Tabs and line breaks inside an address are not part of it.
    EXPECT_EQ(resolveAddress("http://a/b/", "x\n/\ty\r.html"), "http://a/b/x/y.html");
    EXPECT_EQ(resolveAddress("", "x\ty"), "xy");

    // Without an absolute base, or with one that holds no path, a reference
    // stays as written.
    EXPECT_EQ(resolveAddress("", "/x"), "/x");
    EXPECT_EQ(resolveAddress("pages/index.html", "a.html"), "a.html");
    EXPECT_EQ(resolveAddress("mailto:someone@example.org", "a.html"), "a.html");
    EXPECT_EQ(resolveAddress("file:///home/u/page.html", "a.html"), "file:///home/u/a.html");

    EXPECT_TRUE(hasScheme("https://x"));
    EXPECT_TRUE(hasScheme("view-source+x.1:y"));
    EXPECT_FALSE(hasScheme("1http:x"));
    EXPECT_FALSE(hasScheme("/a:b"));
    EXPECT_FALSE(hasScheme("no-colon"));
}

} // namespace
