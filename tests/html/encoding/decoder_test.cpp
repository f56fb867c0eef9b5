// The streaming decoder: which encoding it picks and why, legacy pages, and
// chunks of every size.
#include "html/encoding/decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using quillan::html::Decoder;
using quillan::html::decodeToUtf8;
using quillan::html::EncodingChoice;
using quillan::html::kDetectWindow;
using quillan::html::kPrescanLength;
using Source = EncodingChoice::Source;

const std::string R = "\xEF\xBF\xBD";

struct Result {
    std::string text;
    EncodingChoice choice;
};

Result decodeInChunks(std::string_view bytes, std::size_t chunk, std::string_view http = {})
{
    Decoder decoder(http);
    Result r;
    for (std::size_t i = 0; i < bytes.size(); i += chunk)
        decoder.decode(bytes.substr(i, chunk), r.text);
    decoder.finish(r.text);
    r.choice = decoder.choice();
    return r;
}

// The same bytes give the same text whatever the chunks, split anywhere.
void expectSameInEveryChunking(const std::string &bytes, const std::string &expected, std::string_view http = {})
{
    for (std::size_t chunk = 1; chunk <= 9; ++chunk)
        ASSERT_EQ(decodeInChunks(bytes, chunk, http).text, expected) << "chunks of " << chunk;
    for (std::size_t split = 0; split <= bytes.size(); ++split) {
        Decoder decoder(http);
        std::string out;
        decoder.decode(std::string_view(bytes).substr(0, split), out);
        decoder.decode(std::string_view(bytes).substr(split), out);
        decoder.finish(out);
        ASSERT_EQ(out, expected) << "split at " << split;
    }
}

TEST(Decoder, ByteOrderMarksComeFirst)
{
    EncodingChoice choice;
    // UTF-8's mark is dropped and beats the HTTP charset and the meta.
    EXPECT_EQ(decodeToUtf8("\xEF\xBB\xBF<meta charset=koi8-r>\xC3\xA9", "windows-1251", &choice),
              "<meta charset=koi8-r>\xC3\xA9");
    EXPECT_EQ(choice.name, "UTF-8");
    EXPECT_EQ(choice.source, Source::Bom);
    // UTF-16 both ways, a character outside the BMP included.
    EXPECT_EQ(decodeToUtf8(std::string("\xFF\xFE"
                                       "a\0\x34\xD8\x1E\xDD",
                                       8),
                           "utf-8", &choice),
              "a\xF0\x9D\x84\x9E");
    EXPECT_EQ(choice.name, "UTF-16LE");
    EXPECT_EQ(choice.source, Source::Bom);
    EXPECT_EQ(decodeToUtf8(std::string("\xFE\xFF\0a\xD8\x34\xDD\x1E", 8), {}, &choice), "a\xF0\x9D\x84\x9E");
    EXPECT_EQ(choice.name, "UTF-16BE");
    // Only one mark is dropped; a second is text (U+FEFF).
    EXPECT_EQ(decodeToUtf8("\xEF\xBB\xBF\xEF\xBB\xBFx"), "\xEF\xBB\xBFx");
    // A mark arriving a byte at a time.
    expectSameInEveryChunking("\xEF\xBB\xBF\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", "latin1");
    expectSameInEveryChunking(std::string("\xFE\xFF\0h\0i\x4E\x2D", 8), "hi\xE4\xB8\xAD");
    // A page that is only part of a mark is not one.
    EXPECT_EQ(decodeToUtf8("\xEF\xBB", {}, &choice), "\xC3\xAF\xC2\xBB");
    EXPECT_EQ(choice.source, Source::Default);
    EXPECT_EQ(decodeToUtf8("\xFE", {}, &choice), "\xC3\xBE");
    EXPECT_EQ(decodeToUtf8("", {}, &choice), "");
    EXPECT_EQ(choice.source, Source::Utf8Valid);
}

TEST(Decoder, HttpCharsetBeatsMetaAndDetection)
{
    EncodingChoice choice;
    const std::string page = "<meta charset=koi8-r><p>\xCF\xF0\xE8\xE2\xE5\xF2</p>";
    EXPECT_EQ(decodeToUtf8(page, "windows-1251", &choice), "<meta charset=koi8-r><p>Привет</p>");
    EXPECT_EQ(choice.name, "windows-1251");
    EXPECT_EQ(choice.source, Source::Http);
    EXPECT_EQ(decodeToUtf8(page, "\"CP1251\"", &choice), "<meta charset=koi8-r><p>Привет</p>");
    EXPECT_EQ(choice.source, Source::Http);
    // Without it, the meta decides: the same bytes in KOI8-R.
    EXPECT_EQ(decodeToUtf8(page, {}, &choice), "<meta charset=koi8-r><p>оПХБЕР</p>");
    EXPECT_EQ(choice.name, "KOI8-R");
    EXPECT_EQ(choice.source, Source::Meta);
    // An unknown HTTP label is ignored.
    decodeToUtf8(page, "klingon", &choice);
    EXPECT_EQ(choice.source, Source::Meta);
    // HTTP decides at once: output comes before 1024 bytes are seen.
    Decoder decoder("iso-8859-2");
    std::string out;
    decoder.decode("\xA3\xF3\x64\xBC", out);
    EXPECT_EQ(out, "Łódź");
    EXPECT_EQ(decoder.choice().source, Source::Http);
}

TEST(Decoder, DetectsUtf8OrWindows1252WithoutDeclaration)
{
    EncodingChoice choice;
    EXPECT_EQ(decodeToUtf8("<p>caf\xC3\xA9</p>", {}, &choice), "<p>caf\xC3\xA9</p>");
    EXPECT_EQ(choice.name, "UTF-8");
    EXPECT_EQ(choice.source, Source::Utf8Valid);
    EXPECT_EQ(decodeToUtf8("<p>caf\xE9 \x93quoted\x94 \x80 \x81</p>", {}, &choice),
              "<p>caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D \xE2\x82\xAC \xC2\x81</p>");
    EXPECT_EQ(choice.name, "windows-1252");
    EXPECT_EQ(choice.source, Source::Default);
    EXPECT_EQ(decodeToUtf8("<p>only ascii</p>", {}, &choice), "<p>only ascii</p>");
    EXPECT_EQ(choice.source, Source::Utf8Valid);

    // A sequence cut short by the page's end is not UTF-8.
    EXPECT_EQ(decodeToUtf8("ab\xC3", {}, &choice), "ab\xC3\x83");
    EXPECT_EQ(choice.source, Source::Default);

    // The window starts at the first byte above 0x7F, after the prescan's
    // bytes: long ASCII before it does not matter.
    const std::string ascii(3 * kPrescanLength, 'x');
    EXPECT_EQ(decodeToUtf8(ascii + "\xC3\xA9", {}, &choice), ascii + "\xC3\xA9");
    EXPECT_EQ(choice.source, Source::Utf8Valid);
    EXPECT_EQ(decodeToUtf8(ascii + "\xE9", {}, &choice), ascii + "\xC3\xA9");
    EXPECT_EQ(choice.source, Source::Default);

    // A fault inside the window makes it windows-1252; one past it is U+FFFD in UTF-8.
    const std::string utf8Run = "\xC3\xA9" + std::string(kDetectWindow - 10, 'y');
    EXPECT_EQ(decodeToUtf8(utf8Run + "\xE9z", {}, &choice), "\xC3\x83\xC2\xA9" + utf8Run.substr(2) + "\xC3\xA9z");
    EXPECT_EQ(choice.source, Source::Default);
    const std::string longRun = "\xC3\xA9" + std::string(kDetectWindow, 'y');
    EXPECT_EQ(decodeToUtf8(longRun + "\xE9z", {}, &choice), longRun + R + "z");
    EXPECT_EQ(choice.source, Source::Utf8Valid);
    // A sequence cut by the window's end (not the page's) still counts as valid.
    const std::string cut = "\xC3\xA9" + std::string(kDetectWindow - 3, 'y') + "\xE2\x82\xAC";
    EXPECT_EQ(decodeToUtf8(cut + "end", {}, &choice), cut + "end");
    EXPECT_EQ(choice.source, Source::Utf8Valid);
}

TEST(Decoder, LateMetaAfterAsciiOnly)
{
    // A long head of ASCII, then the declaration, then the text.
    const std::string head = "<html><head><script>" + std::string(3000, 's') + "</script>";
    const std::string page = head + "<meta charset=windows-1251><p>\xCF\xF0\xE8\xE2\xE5\xF2</p>";
    const std::string text = head + "<meta charset=windows-1251><p>Привет</p>";
    for (std::size_t chunk : {1, 5, 1024, 4096, 100000}) {
        const Result r = decodeInChunks(page, chunk);
        ASSERT_EQ(r.text, text) << chunk;
        EXPECT_EQ(r.choice.source, Source::LateMeta);
        EXPECT_EQ(r.choice.name, "windows-1251");
    }
    // Held bytes above 0x7F are not decoded yet: a declaration inside the
    // window still counts.
    const std::string early = "<title>\xCF\xF0\xE8\xE2\xE5\xF2</title>" + std::string(2000, ' ');
    Result r = decodeInChunks(early + "<meta charset=windows-1251>", 7);
    EXPECT_EQ(r.text, "<title>Привет</title>" + std::string(2000, ' ') + "<meta charset=windows-1251>");
    EXPECT_EQ(r.choice.source, Source::LateMeta);
    // Past the window it is too late: the window decided.
    r = decodeInChunks(early + std::string(kDetectWindow, ' ') + "<meta charset=windows-1251>", 7);
    EXPECT_EQ(r.choice.source, Source::Default);
    // A page of ASCII: the scan runs once the first kLateMetaLength bytes are
    // in, and later bytes are decoded as declared.
    const std::string ascii(20000, 'a');
    r = decodeInChunks(ascii + "<meta charset=koi8-r>" + std::string(quillan::html::kLateMetaLength, 'b') + "\xC1",
                       999);
    EXPECT_EQ(r.choice.source, Source::LateMeta);
    EXPECT_EQ(r.choice.name, "KOI8-R");
    EXPECT_TRUE(r.text.ends_with("bа")) << r.text.substr(r.text.size() - 8);
    // Beyond kLateMetaLength nothing is looked for.
    r = decodeInChunks(std::string(quillan::html::kLateMetaLength, 'a') + "<meta charset=koi8-r>\xC1", 999);
    EXPECT_EQ(r.choice.source, Source::Default);
    // ISO-2022-JP reads ASCII bytes otherwise after an escape: not taken late.
    r = decodeInChunks(std::string(2000, 'a') + "<meta charset=iso-2022-jp>\x1B$B\x46\x7C\x1B(B", 64);
    EXPECT_EQ(r.choice.source, Source::Utf8Valid);
    // A UTF-16 declaration becomes UTF-8, as in the first 1024 bytes.
    r = decodeInChunks(std::string(2000, 'a') + "<meta charset=utf-16>\xC3\xA9", 64);
    EXPECT_EQ(r.choice.source, Source::LateMeta);
    EXPECT_EQ(r.choice.name, "UTF-8");
}

TEST(Decoder, DecisionIsTheSameInEveryChunking)
{
    const std::string latin = "<title>" + std::string(900, 't') + "</title><p>na\xEFve caf\xE9</p>" +
                              std::string(kDetectWindow, 'z') + "\xE9";
    std::string latinOut = latin;
    auto replaceAll = [](std::string &s, const std::string &from, const std::string &to) {
        for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
            s.replace(at, from.size(), to);
    };
    replaceAll(latinOut, "\xEF", "\xC3\xAF");
    replaceAll(latinOut, "\xE9", "\xC3\xA9");
    for (std::size_t chunk : {1, 2, 3, 100, 1023, 1024, 1025, 5000, 100000}) {
        const Result r = decodeInChunks(latin, chunk);
        ASSERT_EQ(r.text, latinOut) << chunk;
        EXPECT_EQ(r.choice.source, Source::Default);
    }
    std::string utf = latinOut;
    for (std::size_t chunk : {1, 2, 3, 100, 1023, 1024, 1025, 5000, 100000}) {
        const Result r = decodeInChunks(utf, chunk);
        ASSERT_EQ(r.text, utf) << chunk;
        EXPECT_EQ(r.choice.source, Source::Utf8Valid);
    }
}

TEST(Decoder, StreamsInBoundedMemory)
{
    // Output keeps pace with input once the decision is made: at most the
    // prescan's and the window's bytes are ever held back.
    Decoder decoder;
    std::string out;
    std::size_t fed = 0;
    const std::string block = "<p>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 world</p>\n";
    for (int i = 0; i < 20000; ++i) {
        decoder.decode(block, out);
        fed += block.size();
        ASSERT_GE(out.size() + kPrescanLength + kDetectWindow, fed);
        if (out.size() > 1 << 16) { // hand the text on, as the renderer does
            fed -= out.size();
            out.clear();
        }
    }
    EXPECT_EQ(decoder.choice().source, Source::Utf8Valid);
    decoder.finish(out);
}

TEST(Decoder, MovedDecoderCarriesOnAndFinishIsFinal)
{
    // Moved in the middle of a Shift_JIS character and of the sniffing.
    Decoder first("shift_jis");
    std::string out;
    first.decode("a\x93", out);
    Decoder second(std::move(first));
    second.decode("\xFA"
                  "b",
                  out);
    second.finish(out);
    EXPECT_EQ(out, "a日b");
    second.decode("more", out);
    second.finish(out);
    EXPECT_EQ(out, "a日b");

    Decoder sniffing;
    out.clear();
    sniffing.decode("<p>caf", out);
    Decoder moved;
    moved = std::move(sniffing);
    moved.decode("\xE9</p>", out);
    moved.finish(out);
    EXPECT_EQ(out, "<p>caf\xC3\xA9</p>");
    EXPECT_EQ(moved.choice().source, Source::Default);
}

TEST(Decoder, LegacyPages)
{
    struct Page {
        const char *label;
        std::string bytes;
        std::string text;
    };
    const Page pages[] = {
        {"windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0!", "Привет, мир!"},
        {"iso-8859-2", "\xA3\xF3\x64\xBC \xA9l\xB1sk", "Łódź Šląsk"},
        {"koi8-u", "\xAE\xBE", "ўЎ"},
        {"shift_jis", "\x93\xFA\x96\x7B\x8C\xEA\x82\xC5\x82\xB7 abc \x83\x65\x83\x58\x83\x67 \xB1\xB2\x80",
         "日本語です abc テスト ｱｲ\xC2\x80"},
        {"gbk", "\xD6\xD0\xCE\xC4 ok \xA2\xE3 \x80\x81\x80", "中文 ok € €亐"},
        {"gb18030", "\x81\x30\x81\x30\xA8\xA6\x90\x30\x81\x30", std::string("\xC2\x80") + "é" + "\xF0\x90\x80\x80"},
        {"euc-kr", "\xC7\xD1\xB1\xB9\xBE\xEE <b>\xC7\xD1</b>", "한국어 <b>한</b>"},
        {"big5", "\xA4\xA4\xA4\xE5 zh", "中文 zh"},
        {"euc-jp", "\xC6\xFC\xCB\xDC\xB8\xEC", "日本語"},
        {"iso-2022-jp", "a\x1B$B\x46\x7C\x4B\x5C\x38\x6C\x1B(Bb\x1B(I\x31\x1B(B", "a日本語bｱ"},
        {"utf-16le", std::string("h\0\x2D\x4E", 4), "h中"},
        {"x-user-defined", "a\x80\xFF", "a\xEF\x9E\x80\xEF\x9F\xBF"},
        {"windows-1252", "\x80\x81\x8D\x8F\x90\x9D\x9F", "€\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9DŸ"},
        {"x-mac-cyrillic", "\xA2\xB6\xFF", "Ґґ€"},
        {"windows-874", "\x80\x81\xA1", "€\xC2\x81ก"},
    };
    for (const Page &p : pages) {
        SCOPED_TRACE(p.label);
        expectSameInEveryChunking(p.bytes, p.text, p.label);
    }
}

TEST(Decoder, LegacyPageFoundByMeta)
{
    // A Shift_JIS page as a server would send it, declared only in its head,
    // with the declaration past the first chunk.
    std::string page = "<html><head><title>\x93\xFA\x96\x7B</title>\n"
                       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n</head>"
                       "<body><p>\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD</p></body></html>";
    const std::string text = "<html><head><title>日本</title>\n"
                             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n</head>"
                             "<body><p>こんにちは</p></body></html>";
    expectSameInEveryChunking(page, text);
    EXPECT_EQ(decodeInChunks(page, 5).choice.source, Source::Meta);
    EXPECT_EQ(decodeInChunks(page, 5).choice.name, "Shift_JIS");
}

TEST(Decoder, InvalidLegacyBytesBecomeReplacement)
{
    // A lead byte with no valid trail: one U+FFFD, the ASCII after it kept.
    expectSameInEveryChunking("\x82 x\x82", R + " x" + R, "shift_jis");
    expectSameInEveryChunking("\xC7", R, "euc-kr");
    // A four-byte gb18030 sequence broken off after its second byte (an ASCII
    // digit): the lead is rejected, the digit and what follows are text; at
    // the page's end the broken sequence is one U+FFFD.
    expectSameInEveryChunking("\x81\x30 x\x81\x30\x81", R + "0 x" + R, "gb18030");
    // The same where the page ends right after the ASCII that breaks it.
    expectSameInEveryChunking("\x81\x30\x81\x30\x81\x30 ", "\xC2\x80" + R + "0 ", "gb18030");
    // A lone surrogate in UTF-16 is one U+FFFD per code unit; an odd byte at
    // the end is one more.
    expectSameInEveryChunking(std::string("\x00\xD8"
                                          "A\0\x00\xDC"
                                          "B\0C",
                                          9),
                              R + "A" + R + "B" + R, "utf-16le");
    // ISO-8859-3 leaves 0xA5 undefined.
    expectSameInEveryChunking("a\xA5"
                              "b",
                              "a" + R + "b", "iso-8859-3");
    // "replacement" turns a page of any size into one U+FFFD, and nothing into nothing.
    expectSameInEveryChunking("anything \xFF at all", R, "iso-2022-kr");
    EXPECT_EQ(decodeToUtf8("", "iso-2022-kr"), "");
}

TEST(Decoder, LongLegacyTextInChunks)
{
    // Multi-byte text long enough to cross iconv's output buffer and many
    // chunk borders, with ASCII runs of every length between characters.
    std::string bytes, text;
    for (int i = 0; i < 3000; ++i) {
        bytes += "\xC6\xFC\xCB\xDC";
        text += "日本";
        bytes += std::string(static_cast<std::size_t>(i % 5), ' ');
        text += std::string(static_cast<std::size_t>(i % 5), ' ');
    }
    for (std::size_t chunk : {1, 3, 4, 7, 4096, 100000})
        ASSERT_EQ(decodeInChunks(bytes, chunk, "euc-jp").text, text) << chunk;
}

} // namespace
