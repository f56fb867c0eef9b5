// The <meta> prescan: the public html5lib encoding cases, then the rules
// those cases leave out.
#include "html/encoding/decoder.h"
#include "html/encoding/encoding.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using quillan::html::encodingForLabel;
using quillan::html::kPrescanLength;
using quillan::html::prescanMeta;
using Source = quillan::html::EncodingChoice::Source;

struct Case {
    std::string file;
    std::size_t number; // 1-based within its file
    std::string data;
    std::string encoding;
};

// The html5lib ".dat" format: "#data\n" DATA "\n#encoding\n" LABEL "\n".
std::vector<Case> readCases(const std::filesystem::path &file)
{
    const std::string text = testsupport::readFile(file);
    std::vector<Case> cases;
    const std::string dataMark = "#data\n";
    const std::string encodingMark = "\n#encoding\n";
    std::size_t at = text.find(dataMark);
    while (at != std::string::npos) {
        const std::size_t dataStart = at + dataMark.size();
        const std::size_t encodingAt = text.find(encodingMark, dataStart);
        if (encodingAt == std::string::npos)
            break;
        const std::size_t labelStart = encodingAt + encodingMark.size();
        std::size_t labelEnd = text.find('\n', labelStart);
        if (labelEnd == std::string::npos)
            labelEnd = text.size();
        cases.push_back({file.filename().string(), cases.size() + 1, text.substr(dataStart, encodingAt - dataStart),
                         text.substr(labelStart, labelEnd - labelStart)});
        at = text.find(dataMark, labelEnd);
    }
    return cases;
}

std::filesystem::path suiteFolder()
{
    return std::filesystem::path(QUILLAN_SHARED_DIR) / "html5lib-tests" / "encoding";
}

// Where the first "<meta" of the case starts, any case.
std::size_t firstMeta(const std::string &data)
{
    for (std::size_t i = 0; i + 5 <= data.size(); ++i) {
        std::string five = data.substr(i, 5);
        for (char &c : five)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (five == "<meta")
            return i;
    }
    return std::string::npos;
}

std::string prescanOrDefault(std::string_view bytes)
{
    return std::string(prescanMeta(bytes.substr(0, kPrescanLength)).value_or("windows-1252"));
}

// The encoding a byte-order mark names, if the bytes start with one.
std::optional<std::string> markedEncoding(std::string_view bytes)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return "UTF-8";
    if (bytes.starts_with("\xFE\xFF"))
        return "UTF-16BE";
    if (bytes.starts_with("\xFF\xFE"))
        return "UTF-16LE";
    return std::nullopt;
}

// Every case of tests1.dat, tests2.dat and test-yahoo-jp.dat: a byte-order
// mark's encoding, else the prescan's answer, else windows-1252, is the
// expected encoding. Cases
// whose declaration starts beyond the first 1024 bytes are answered by a
// parser that changes encoding mid-page, not by the prescan: for those the
// prescan must find nothing in the first 1024 bytes and the declaration
// when given the whole page, and the decoder's late scan must find it when
// only ASCII comes before it. scripted/ needs a script run: not used.
TEST(Html5libEncoding, PrescanAnswersEveryCase)
{
    ASSERT_TRUE(std::filesystem::is_directory(suiteFolder())) << suiteFolder() << " is missing";
    std::size_t checked = 0;
    std::size_t beyondWindow = 0;
    std::size_t byteOrderMarks = 0;
    std::size_t foundLate = 0;
    for (const char *name : {"tests1.dat", "tests2.dat", "test-yahoo-jp.dat"}) {
        const auto cases = readCases(suiteFolder() / name);
        ASSERT_FALSE(cases.empty()) << name;
        for (const Case &c : cases) {
            SCOPED_TRACE(c.file + " case " + std::to_string(c.number));
            const auto expected = encodingForLabel(c.encoding);
            ASSERT_TRUE(expected.has_value()) << c.encoding;
            const std::size_t meta = firstMeta(c.data);
            if (meta != std::string::npos && meta >= kPrescanLength) {
                ++beyondWindow;
                EXPECT_EQ(prescanOrDefault(c.data), "windows-1252");
                EXPECT_EQ(prescanMeta(c.data), expected);
                // The decoder's late scan finds it when only ASCII comes before.
                const std::string before = c.data.substr(0, meta);
                if (std::all_of(before.begin(), before.end(), [](char b) { return (b & 0x80) == 0; })) {
                    ++foundLate;
                    for (std::size_t chunk : {std::size_t{1}, std::size_t{1000}, c.data.size()}) {
                        quillan::html::Decoder decoder;
                        std::string out;
                        for (std::size_t i = 0; i < c.data.size(); i += chunk)
                            decoder.decode(std::string_view(c.data).substr(i, chunk), out);
                        decoder.finish(out);
                        EXPECT_EQ(decoder.choice().source, Source::LateMeta);
                        EXPECT_EQ(decoder.choice().name, *expected);
                    }
                }
                continue;
            }
            ++checked;
            const auto marked = markedEncoding(c.data);
            if (marked) {
                ++byteOrderMarks;
                EXPECT_EQ(*marked, *expected);
            } else {
                EXPECT_EQ(prescanOrDefault(c.data), *expected);
            }

            // The decoder reaches the same answer fed byte by byte and at once;
            // without a declaration it chooses by the bytes.
            for (std::size_t chunk : {std::size_t{1}, std::size_t{7}, c.data.size() + 1}) {
                quillan::html::Decoder decoder;
                std::string out;
                for (std::size_t i = 0; i < c.data.size(); i += chunk)
                    decoder.decode(std::string_view(c.data).substr(i, chunk), out);
                decoder.finish(out);
                if (marked) {
                    EXPECT_EQ(decoder.choice().source, Source::Bom);
                    EXPECT_EQ(decoder.choice().name, *expected);
                } else if (prescanMeta(std::string_view(c.data).substr(0, kPrescanLength))) {
                    EXPECT_EQ(decoder.choice().source, Source::Meta);
                    EXPECT_EQ(decoder.choice().name, *expected);
                } else {
                    EXPECT_TRUE(decoder.choice().source == Source::Utf8Valid ||
                                decoder.choice().source == Source::Default);
                }
            }
        }
    }
    // 59 + 22 + 1 cases; seven declare their encoding after 1024 bytes.
    EXPECT_EQ(checked, 75u);
    EXPECT_EQ(beyondWindow, 7u);
    // All but the "multi-script" case, whose declaration follows bytes above
    // 0x7F: a browser decodes that page again; a one-pass decoder cannot.
    EXPECT_EQ(foundLate, 6u);
    EXPECT_EQ(byteOrderMarks, 2u);
}

TEST(Html5libEncoding, ScriptedCasesAreKnown)
{
    // The one scripted case writes its <meta> from a script: no prescan finds
    // it, which the prescan must not pretend to.
    const auto cases = readCases(suiteFolder() / "scripted" / "tests1.dat");
    ASSERT_EQ(cases.size(), 1u);
    EXPECT_FALSE(prescanMeta(cases[0].data).has_value());
}

std::optional<std::string_view> scan(std::string_view s)
{
    return prescanMeta(s);
}

TEST(Prescan, MetaCharsetForms)
{
    EXPECT_EQ(scan("<meta charset=koi8-r>"), "KOI8-R");
    EXPECT_EQ(scan("<META CHARSET=KOI8-R>"), "KOI8-R");
    EXPECT_EQ(scan("<meta/charset=koi8-r>"), "KOI8-R");
    EXPECT_EQ(scan("<meta charset='  koi8-r  '>"), "KOI8-R");
    EXPECT_EQ(scan("<meta name=x charset=\"sjis\" >"), "Shift_JIS");
    EXPECT_EQ(scan("<meta charset=koi8-r/>"), std::nullopt); // "koi8-r/" is no label
    EXPECT_EQ(scan("<meta charset=koi8-r >"), "KOI8-R");
    // An unknown label ends that element; a later one may still declare.
    EXPECT_EQ(scan("<meta charset=nonesuch><meta charset=latin2>"), "ISO-8859-2");
    // Only the first charset attribute counts.
    EXPECT_EQ(scan("<meta charset=nonesuch charset=latin2><p>"), std::nullopt);
    EXPECT_EQ(scan("<meta charset=latin2 charset=koi8-r>"), "ISO-8859-2");
}

TEST(Prescan, HttpEquivNeedsThePragma)
{
    EXPECT_EQ(scan("<meta content='text/html; charset=gbk'>"), std::nullopt);
    EXPECT_EQ(scan("<meta http-equiv=content-type content='text/html; charset=gbk'>"), "GBK");
    EXPECT_EQ(scan("<meta content='text/html; charset=gbk' http-equiv=CONTENT-TYPE>"), "GBK");
    EXPECT_EQ(scan("<meta http-equiv=refresh content='text/html; charset=gbk'>"), std::nullopt);
    // A charset attribute wins over content, whatever the order.
    EXPECT_EQ(scan("<meta content='charset=gbk' http-equiv=content-type charset=big5>"), "Big5");
    EXPECT_EQ(scan("<meta charset=big5 content='charset=gbk' http-equiv=content-type>"), "Big5");
    // A failed charset attribute is not replaced by content.
    EXPECT_EQ(scan("<meta charset=nonesuch content='charset=gbk' http-equiv=content-type>"), std::nullopt);
    // Only the first of two content attributes counts.
    EXPECT_EQ(scan("<meta http-equiv=content-type content='text/html' content='charset=gbk'>"), std::nullopt);
}

TEST(Prescan, AdjustmentsForMeta)
{
    EXPECT_EQ(scan("<meta charset=utf-16>"), "UTF-8");
    EXPECT_EQ(scan("<meta charset=utf-16be>"), "UTF-8");
    EXPECT_EQ(scan("<meta charset=x-user-defined>"), "windows-1252");
    EXPECT_EQ(scan("<meta charset=iso-2022-kr>"), "replacement");
    // A UTF-16 XML declaration at the very start.
    using namespace std::string_view_literals;
    EXPECT_EQ(scan("<\0?\0x\0m\0l\0"sv), "UTF-16LE");
    EXPECT_EQ(scan("\0<\0?\0x\0m\0l"sv), "UTF-16BE");
    EXPECT_EQ(scan(" <\0?\0x\0m\0l\0"sv), std::nullopt);
}

TEST(Prescan, SkipsCommentsTagsAndMarkup)
{
    EXPECT_EQ(scan("<!-- <meta charset=gbk> --><meta charset=big5>"), "Big5");
    // "<!-->" is a whole comment: its dashes close it.
    EXPECT_EQ(scan("<!--><meta charset=big5>"), "Big5");
    EXPECT_EQ(scan("<!---><meta charset=big5>-->"), "Big5");
    EXPECT_EQ(scan("<!-- never closed <meta charset=big5>"), std::nullopt);
    // An attribute value of another tag hides what looks like a meta.
    EXPECT_EQ(scan("<div title='<meta charset=gbk>'><meta charset=big5>"), "Big5");
    EXPECT_EQ(scan("<div title=\"<meta charset=gbk>\"><meta charset=big5>"), "Big5");
    // An unquoted value ends at white space or ">".
    EXPECT_EQ(scan("<div title=<meta charset=gbk>"), std::nullopt);
    // End tags and "<!", "<?" markup skip to ">".
    EXPECT_EQ(scan("</div class='<meta charset=gbk>'><meta charset=big5>"), "Big5");
    EXPECT_EQ(scan("<?xml version='1.0' encoding='gbk'?><meta charset=big5>"), "Big5");
    EXPECT_EQ(scan("<!DOCTYPE html><meta charset=big5>"), "Big5");
    // Not a tag: "<" before a non-letter.
    EXPECT_EQ(scan("a < b <3 <meta charset=big5>"), "Big5");
    // <meta> must be followed by white space or "/".
    EXPECT_EQ(scan("<metacharset=big5>"), std::nullopt);
    EXPECT_EQ(scan("<meta\fcharset=big5>"), "Big5");
}

TEST(Prescan, RunningOutOfBytesFindsNothing)
{
    const std::string full = "<meta charset=\"koi8-r\">";
    EXPECT_EQ(scan(full), "KOI8-R");
    for (std::size_t n = 0; n < full.size(); ++n)
        EXPECT_EQ(scan(std::string_view(full).substr(0, n)), std::nullopt) << n;
    // The decoder's prescan reads the first 1024 bytes; a declaration cut by
    // that limit is found only by the late scan.
    std::string page = "<!--" + std::string(1000, '-') + "-->" + full;
    EXPECT_EQ(scan(std::string_view(page).substr(0, kPrescanLength)), std::nullopt);
    quillan::html::EncodingChoice choice;
    quillan::html::decodeToUtf8(page, {}, &choice);
    EXPECT_EQ(choice.source, Source::LateMeta);
    page = "<!--" + std::string(kPrescanLength - 7 - full.size(), '-') + "-->" + full;
    ASSERT_EQ(page.size(), kPrescanLength);
    quillan::html::decodeToUtf8(page + "<p>more</p>", {}, &choice);
    EXPECT_EQ(choice.source, Source::Meta);
    EXPECT_EQ(choice.name, "KOI8-R");
}

TEST(Prescan, ContentAttribute)
{
    using quillan::html::encodingFromContentType;
    EXPECT_EQ(encodingFromContentType("text/html; charset=gbk"), "GBK");
    EXPECT_EQ(encodingFromContentType("text/html;charset = \t'gbk'"), "GBK");
    EXPECT_EQ(encodingFromContentType("CHARSET=\"gbk\" more"), "GBK");
    EXPECT_EQ(encodingFromContentType("charset=gbk;x"), "GBK");
    EXPECT_EQ(encodingFromContentType("charsetcharset=gbk"), "GBK");
    EXPECT_EQ(encodingFromContentType("charset; charset=big5"), "Big5");
    EXPECT_EQ(encodingFromContentType("charset='gbk"), std::nullopt);
    EXPECT_EQ(encodingFromContentType("charset="), std::nullopt);
    EXPECT_EQ(encodingFromContentType("charset=nonesuch; charset=gbk"), std::nullopt);
    EXPECT_EQ(encodingFromContentType("text/html"), std::nullopt);
}

} // namespace
