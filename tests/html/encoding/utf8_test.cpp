// UTF-8 validation and replacement, against a byte-at-a-time decoder written
// the plain way, over every short sequence and over random text.
#include "html/encoding/decoder.h"
#include "html/encoding/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

namespace utf8 = quillan::html::utf8;

// The UTF-8 decoder as a state machine that sees one byte at a time; code
// points re-encoded, U+FFFD for each error.
std::string referenceDecode(std::string_view bytes)
{
    std::string out;
    unsigned needed = 0, seen = 0;
    unsigned char low = 0x80, high = 0xBF;
    char32_t cp = 0;
    auto put = [&out](char32_t c) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    };
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (needed == 0) {
            ++i;
            if (b < 0x80) {
                put(b);
            } else if (b >= 0xC2 && b <= 0xDF) {
                needed = 1;
                cp = b & 0x1F;
            } else if (b >= 0xE0 && b <= 0xEF) {
                if (b == 0xE0)
                    low = 0xA0;
                if (b == 0xED)
                    high = 0x9F;
                needed = 2;
                cp = b & 0xF;
            } else if (b >= 0xF0 && b <= 0xF4) {
                if (b == 0xF0)
                    low = 0x90;
                if (b == 0xF4)
                    high = 0x8F;
                needed = 3;
                cp = b & 0x7;
            } else {
                put(0xFFFD);
            }
            continue;
        }
        if (b < low || b > high) {
            cp = 0;
            needed = seen = 0;
            low = 0x80;
            high = 0xBF;
            put(0xFFFD);
            continue; // the byte is read again
        }
        ++i;
        low = 0x80;
        high = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        if (++seen == needed) {
            put(cp);
            cp = 0;
            needed = seen = 0;
        }
    }
    if (needed != 0)
        put(0xFFFD);
    return out;
}

std::string viaDecoder(std::string_view bytes, std::size_t chunk)
{
    quillan::html::Decoder decoder("utf-8");
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += chunk)
        decoder.decode(bytes.substr(i, chunk), out);
    decoder.finish(out);
    return out;
}

TEST(Utf8, MaximalSubpartsAsTheStandardSays)
{
    // The Unicode/WHATWG examples of maximal subparts.
    EXPECT_EQ(referenceDecode("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"),
              "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
              "b\xEF\xBF\xBD"
              "c\xEF\xBF\xBD\xEF\xBF\xBD"
              "d");
    struct Example {
        std::string in, out;
    };
    const std::string R = "\xEF\xBF\xBD";
    const Example examples[] = {
        {"\xC0\xAF", R + R},                 // overlong: each byte on its own
        {"\xE0\x80\xAF", R + R + R},         // overlong three bytes
        {"\xED\xA0\x80", R + R + R},         // a surrogate
        {"\xF4\x90\x80\x80", R + R + R + R}, // above U+10FFFF
        {"\xF0\x9F\x98", R},                 // cut short by the end
        {"\xF0\x9F\x98"
         "A",
         R + "A"}, // cut short by ASCII
        {"\xE2\x82\xAC\xE2\x82", "\xE2\x82\xAC" + R},
        {"\xF5\x80", R + R},
        {"\xFF", R},
        {"\xEF\xBB\xBF", "\xEF\xBB\xBF"}, // a BOM later on is text
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
    };
    for (const Example &e : examples) {
        EXPECT_EQ(referenceDecode(e.in), e.out);
        std::string out;
        utf8::appendReplacingInvalid(e.in, out);
        EXPECT_EQ(out, e.out);
        for (std::size_t chunk = 1; chunk <= e.in.size(); ++chunk)
            EXPECT_EQ(viaDecoder("x" + e.in, chunk), "x" + e.out) << chunk;
    }
}

// Every sequence of up to three bytes drawn from bytes that sit on the
// boundaries of the rules, each split at every place.
TEST(Utf8, EveryShortSequenceMatchesTheByteWiseDecoder)
{
    const std::vector<unsigned char> interesting = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
                                                    0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE,
                                                    0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
    std::vector<std::string> sequences;
    for (unsigned a = 0; a < 256; ++a) {
        sequences.push_back(std::string(1, static_cast<char>(a)));
        for (unsigned b = 0; b < 256; ++b)
            sequences.push_back(std::string{static_cast<char>(a), static_cast<char>(b)});
    }
    for (unsigned char a : interesting)
        for (unsigned char b : interesting)
            for (unsigned char c : interesting)
                for (unsigned char d : {0x41, 0x80, 0xBF})
                    sequences.push_back(std::string{static_cast<char>(a), static_cast<char>(b), static_cast<char>(c),
                                                    static_cast<char>(d)});
    for (const std::string &s : sequences) {
        const std::string expected = referenceDecode(s);
        std::string whole;
        utf8::appendReplacingInvalid(s, whole);
        ASSERT_EQ(whole, expected) << testing::PrintToString(s);
        // Valid exactly when nothing was replaced.
        const bool valid = expected == s;
        ASSERT_EQ(utf8::validPrefix(s) == s.size(), valid) << testing::PrintToString(s);
        // Through the decoder, after a letter (a page starting FE FF would be UTF-16).
        const std::string page = "x" + s;
        for (std::size_t split = 1; split < page.size(); ++split) {
            quillan::html::Decoder decoder("utf8");
            std::string out;
            decoder.decode(std::string_view(page).substr(0, split), out);
            decoder.decode(std::string_view(page).substr(split), out);
            decoder.finish(out);
            ASSERT_EQ(out, "x" + expected) << testing::PrintToString(s) << " split at " << split;
        }
    }
}

// Long mixed text: ASCII runs longer and shorter than the fast path's blocks,
// every length of sequence, and a little damage; whole and in odd chunks.
TEST(Utf8, RandomTextInChunks)
{
    std::mt19937 random(18);
    const std::vector<std::string> pieces = {"a",
                                             "plain ascii text of some length, past sixteen bytes",
                                             "\xC3\xA9",
                                             "\xE4\xB8\xAD\xE6\x96\x87",
                                             "\xF0\x9F\x98\x80",
                                             "\n",
                                             "\xE2\x80",
                                             "\x80",
                                             "\xF4\x90",
                                             "\xED\xBF\xBF"};
    for (int round = 0; round < 50; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 400);
        for (int i = 0; i < count; ++i) {
            const std::size_t k = random() % pieces.size();
            // Mostly valid pieces; the last four are damage.
            if (k >= pieces.size() - 4 && random() % 4 != 0)
                continue;
            text += pieces[k];
        }
        const std::string expected = referenceDecode(text);
        for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, std::size_t{17},
                                  std::size_t{64}, text.size() + 1})
            ASSERT_EQ(viaDecoder(text, chunk), expected) << "round " << round << " chunk " << chunk;
    }
}

TEST(Utf8, AsciiPrefixAtEveryOffset)
{
    // The first byte above 0x7F is found whatever its place in the vector
    // blocks and whatever the start's alignment.
    std::string buffer(200, 'a');
    for (std::size_t start = 0; start < 16; ++start)
        for (std::size_t at = start; at < 120; ++at) {
            buffer[at] = '\x80';
            EXPECT_EQ(utf8::asciiPrefix(std::string_view(buffer).substr(start, 100)),
                      std::min<std::size_t>(at - start, 100));
            buffer[at] = 'a';
        }
    EXPECT_EQ(utf8::asciiPrefix(""), 0u);
    EXPECT_EQ(utf8::asciiPrefix(std::string(70, '\x7F')), 70u);
}

} // namespace
