// The label table against the WHATWG list it was generated from, and the
// lookup's trimming and case rules.
#include "html/encoding/decoder.h"
#include "html/encoding/encoding.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using quillan::html::encodingForLabel;

// The list's shape: [{"encodings": [{"labels": [...], "name": "..."}], "heading": "..."}].
// A reader for just that much JSON: objects, arrays and plain strings.
class ListReader {
public:
    explicit ListReader(std::string text) : s_(std::move(text)) {}

    // name -> labels, in the list's order of names.
    std::vector<std::pair<std::string, std::vector<std::string>>> read()
    {
        std::vector<std::pair<std::string, std::vector<std::string>>> result;
        expect('[');
        while (!peek(']')) {
            expect('{');
            while (!peek('}')) {
                const std::string key = string();
                expect(':');
                if (key == "encodings") {
                    expect('[');
                    while (!peek(']')) {
                        result.push_back(encoding());
                        comma();
                    }
                    expect(']');
                } else {
                    string();
                }
                comma();
            }
            expect('}');
            comma();
        }
        expect(']');
        return result;
    }

private:
    std::pair<std::string, std::vector<std::string>> encoding()
    {
        std::pair<std::string, std::vector<std::string>> e;
        expect('{');
        while (!peek('}')) {
            const std::string key = string();
            expect(':');
            if (key == "labels") {
                expect('[');
                while (!peek(']')) {
                    e.second.push_back(string());
                    comma();
                }
                expect(']');
            } else if (key == "name") {
                e.first = string();
            } else {
                ADD_FAILURE() << "unexpected key " << key;
            }
            comma();
        }
        expect('}');
        return e;
    }
    void skipSpace()
    {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t'))
            ++i_;
    }
    bool peek(char c)
    {
        skipSpace();
        if (i_ >= s_.size())
            throw std::runtime_error("the list ends early");
        return s_[i_] == c;
    }
    void expect(char c)
    {
        if (!peek(c))
            throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(i_));
        ++i_;
    }
    void comma()
    {
        if (peek(','))
            ++i_;
    }
    std::string string()
    {
        expect('"');
        std::string out;
        while (i_ < s_.size() && s_[i_] != '"') {
            if (s_[i_] == '\\')
                throw std::runtime_error("escapes are not expected in the list");
            out.push_back(s_[i_++]);
        }
        expect('"');
        return out;
    }

    std::string s_;
    std::size_t i_ = 0;
};

std::filesystem::path listPath()
{
    return std::filesystem::path(QUILLAN_SHARED_DIR) / "whatwg-encoding" / "encodings.json";
}

std::string upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

TEST(EncodingLabels, EveryLabelOfTheListNamesItsEncoding)
{
    ASSERT_TRUE(std::filesystem::exists(listPath())) << listPath() << " is missing";
    const auto list = ListReader(testsupport::readFile(listPath())).read();
    ASSERT_EQ(list.size(), 40u);
    ASSERT_EQ(quillan::html::encodingCount(), list.size());
    std::size_t labels = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto &[name, names] = list[i];
        EXPECT_EQ(quillan::html::encodingAt(i).name, name);
        for (const std::string &label : names) {
            ++labels;
            EXPECT_EQ(encodingForLabel(label), name) << label;
            EXPECT_EQ(encodingForLabel(upper(label)), name) << label;
            EXPECT_EQ(encodingForLabel(" \t\n\f\r" + label + "\r\n "), name) << label;
        }
        // The name itself is always one of the labels, in any case.
        EXPECT_EQ(encodingForLabel(name), name);
    }
    EXPECT_EQ(labels, 228u);
}

TEST(EncodingLabels, NearMissesAreNotLabels)
{
    for (const char *label : {"", " ", "utf_8", "utf-8;", "utf-8x", "\"utf-8\"", "u tf-8", "latin-1", "utf-16x",
                              "iso-8859-1 2", "\v utf-8", "windows-1252\v", "sjis\xC2\xA0",
                              "unicode-1-1-utf-8 "
                              "extra"})
        EXPECT_FALSE(encodingForLabel(label).has_value()) << '"' << label << '"';
    // Only ASCII letters fold: a Kelvin sign is no "k" (koi8-r).
    EXPECT_FALSE(encodingForLabel("\xE2\x84\xAAoi8-r").has_value());
    EXPECT_EQ(encodingForLabel("KoI8-r"), "KOI8-R");
    // Longer than any label.
    EXPECT_FALSE(encodingForLabel(std::string(100, 'a')).has_value());
}

TEST(EncodingLabels, SomeWellKnownFamilies)
{
    // The families the decoding depends on most, spelled out.
    for (const char *label : {"ascii", "us-ascii", "iso-8859-1", "latin1", "l1", "cp1252", "x-cp1252"})
        EXPECT_EQ(encodingForLabel(label), "windows-1252") << label;
    for (const char *label : {"gb2312", "chinese", "gbk", "x-gbk", "csgb2312"})
        EXPECT_EQ(encodingForLabel(label), "GBK") << label;
    for (const char *label : {"sjis", "ms_kanji", "windows-31j", "x-sjis"})
        EXPECT_EQ(encodingForLabel(label), "Shift_JIS") << label;
    for (const char *label : {"iso-2022-kr", "hz-gb-2312", "iso-2022-cn", "csiso2022kr"})
        EXPECT_EQ(encodingForLabel(label), "replacement") << label;
    EXPECT_EQ(encodingForLabel("utf-16"), "UTF-16LE");
    EXPECT_EQ(encodingForLabel("unicodefffe"), "UTF-16BE");
    EXPECT_EQ(encodingForLabel("iso-8859-11"), "windows-874");
    EXPECT_EQ(encodingForLabel("korean"), "EUC-KR");
    EXPECT_EQ(encodingForLabel("big5-hkscs"), "Big5");
}

// Every encoding of the list has a working decoder on this system: ASCII
// comes through unchanged where the encoding keeps it, and no encoding falls
// back to a single U+FFFD except "replacement".
TEST(EncodingLabels, EveryEncodingDecodes)
{
    const std::string ascii = "<p>Plain text, 0-9.</p>";
    for (std::size_t i = 0; i < quillan::html::encodingCount(); ++i) {
        const auto info = quillan::html::encodingAt(i);
        quillan::html::EncodingChoice choice;
        if (info.family == quillan::html::EncodingFamily::Utf16Le) {
            std::string wide;
            for (char c : ascii)
                wide += std::string{c, '\0'};
            EXPECT_EQ(quillan::html::decodeToUtf8(wide, info.name, &choice), ascii);
        } else if (info.family == quillan::html::EncodingFamily::Utf16Be) {
            std::string wide;
            for (char c : ascii)
                wide += std::string{'\0', c};
            EXPECT_EQ(quillan::html::decodeToUtf8(wide, info.name, &choice), ascii);
        } else if (info.family == quillan::html::EncodingFamily::Replacement) {
            EXPECT_EQ(quillan::html::decodeToUtf8(ascii, info.name, &choice), "\xEF\xBF\xBD");
        } else {
            EXPECT_EQ(quillan::html::decodeToUtf8(ascii, info.name, &choice), ascii) << info.name;
        }
        EXPECT_EQ(choice.name, info.name);
        EXPECT_EQ(choice.source, quillan::html::EncodingChoice::Source::Http);
    }
}

// Every single-byte encoding maps each byte above 0x7F to one character; the
// bytes left undefined are exactly those the WHATWG tables leave undefined.
TEST(EncodingLabels, SingleByteTablesAreFilled)
{
    const std::map<std::string, std::vector<int>> undefined = {
        {"ISO-8859-3", {0xA5, 0xAE, 0xBE, 0xC3, 0xD0, 0xE3, 0xF0}},
        {"ISO-8859-6", {0xA1, 0xA2, 0xA3, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAE, 0xAF, 0xB0, 0xB1, 0xB2,
                        0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBC, 0xBD, 0xBE, 0xC0, 0xDB, 0xDC, 0xDD,
                        0xDE, 0xDF, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF}},
        {"ISO-8859-7", {0xAE, 0xD2, 0xFF}},
        {"ISO-8859-8",
         {0xA1, 0xBF, 0xC0, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE, 0xCF,
          0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xFB, 0xFC, 0xFF}},
        {"windows-874", {0xDB, 0xDC, 0xDD, 0xDE, 0xFC, 0xFD, 0xFE, 0xFF}},
        {"windows-1253", {0xAA, 0xD2, 0xFF}},
        {"windows-1255", {0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xFB, 0xFC, 0xFF}},
        {"windows-1257", {0xA1, 0xA5}},
    };
    std::string high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high.push_back(static_cast<char>(b));
    std::size_t singleByte = 0;
    for (std::size_t i = 0; i < quillan::html::encodingCount(); ++i) {
        const auto info = quillan::html::encodingAt(i);
        if (info.family != quillan::html::EncodingFamily::SingleByte)
            continue;
        ++singleByte;
        const std::string text = quillan::html::decodeToUtf8(high, info.name);
        std::vector<int> replaced;
        int byte = 0x80;
        for (std::size_t k = 0; k < text.size(); ++byte) {
            const unsigned char lead = static_cast<unsigned char>(text[k]);
            ASSERT_GE(lead, 0xC2u) << info.name; // nothing above 0x7F decodes to ASCII
            const std::size_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            if (text.compare(k, length, "\xEF\xBF\xBD") == 0)
                replaced.push_back(byte);
            k += length;
        }
        EXPECT_EQ(byte, 0x100) << info.name;
        std::string name(info.name);
        if (name == "ISO-8859-8-I")
            name = "ISO-8859-8";
        const auto it = undefined.find(name);
        EXPECT_EQ(replaced, it == undefined.end() ? std::vector<int>{} : it->second) << info.name;
    }
    EXPECT_EQ(singleByte, 28u);
}

} // namespace
