// The tokenizer beyond the html5lib suite: a tree builder switching its
// states, chunk boundaries anywhere in real and generated pages, character
// data handed on as views without being held, attributes.
#include "token_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using quillan::html::Tokenizer;
using tokentest::Options;
using tokentest::tokenizeChunks;

std::vector<std::string> withTreeBuilder(std::string_view input, const std::vector<std::size_t> &sizes = {})
{
    Options options;
    options.treeBuilder = true;
    const tokentest::Result r = tokenizeChunks(input, sizes, options);
    EXPECT_EQ(r.endOfFileCalls, 1);
    EXPECT_EQ(r.badRuns, 0);
    return r.tokens;
}

// Chunk sizes drawn from 1..maxSize by a fixed seed.
std::vector<std::size_t> randomSizes(unsigned seed, std::size_t maxSize)
{
    std::mt19937 rng(seed);
    std::vector<std::size_t> sizes(257);
    for (auto &s : sizes)
        s = 1 + rng() % maxSize;
    return sizes;
}

TEST(TreeBuilderSwitches, TextOfTitleScriptStyleAndPlaintextIsReadInItsOwnState)
{
    const std::string page = "<title>a<b>&amp;</title>"
                             "<script>if (a<b) x='</p>'; <!-- <script>y</script> --></script>"
                             "<style>p > b {}</STYLE >"
                             "<textarea></textarea x><p>&lt;"
                             "<plaintext>x</plaintext><b>";
    const std::vector<std::string> expected = {
        "StartTag \"title\" {}",
        "Character \"a<b>&\"",
        "EndTag \"title\"",
        "StartTag \"script\" {}",
        "Character \"if (a<b) x='</p>'; <!-- <script>y</script> -->\"",
        "EndTag \"script\"",
        "StartTag \"style\" {}",
        "Character \"p > b {}\"",
        "EndTag \"style\"",
        "StartTag \"textarea\" {}",
        "EndTag \"textarea\"",
        "StartTag \"p\" {}",
        "Character \"<\"",
        "StartTag \"plaintext\" {}",
        "Character \"x</plaintext><b>\"",
    };
    EXPECT_EQ(withTreeBuilder(page), expected);
    EXPECT_EQ(withTreeBuilder(page, {1}), expected);
    for (unsigned seed = 1; seed <= 20; ++seed)
        EXPECT_EQ(withTreeBuilder(page, randomSizes(seed, 7)), expected) << "seed " << seed;
}

TEST(TreeBuilderSwitches, CdataSectionsOnlyInForeignContent)
{
    const std::string page = "<svg><![CDATA[x<y]]]></svg><![CDATA[z]]><math/><![CDATA[w]]>";
    const std::vector<std::string> expected = {
        "StartTag \"svg\" {}",
        "Character \"x<y]\"",
        "EndTag \"svg\"",
        "Comment \"[CDATA[z]]\"",
        "StartTag \"math\" {} selfclosing",
        "Comment \"[CDATA[w]]\"",
    };
    EXPECT_EQ(withTreeBuilder(page), expected);
    EXPECT_EQ(withTreeBuilder(page, {1}), expected);
    EXPECT_EQ(withTreeBuilder(page, {3}), expected);
}

// Pieces that pages are made of, chosen so that their joins reach every
// state: references cut short, comments and scripts half closed, CRs, bytes
// of several lengths.
std::string soup(std::mt19937 &rng, std::size_t pieces)
{
    static const char *const bits[] = {
        "<",
        "</",
        ">",
        "/>",
        "&",
        "&amp",
        "&amp;",
        "&notin;",
        "&noti",
        "&#",
        "&#x",
        "&#X1F4A9;",
        "&#128;",
        "&#0;",
        "&#xD800;",
        "&#99999999;",
        "<!--",
        "-->",
        "--!>",
        "<!-",
        "<!DOCTYPE",
        " PUBLIC \"",
        " SYSTEM '",
        "<![CDATA[",
        "]]>",
        "<script>",
        "</script>",
        "<!--<script>",
        "<title>",
        "</title>",
        "<style>",
        "</style>",
        "<svg>",
        "</svg>",
        "<a href=",
        "\"x&y=1\"",
        "'v&lt;'",
        "b=c",
        " ",
        "\t",
        "\r",
        "\n",
        "\r\n",
        "" /* NUL */,
        "x",
        "Word",
        "\xC3\xA9",
        "\xE2\x82\xAC",
        "\xF0\x9F\x98\x80",
        "=",
        "?",
        "!",
        "-",
        "]",
        "'",
        "\"",
        "<P CLASS=X>",
        "<br/>",
        "'a&lt=b&notx&amp;'",
        "&lt",
        "&Aacute",
        "&AMP;",
        "</ p>",
        "<?xml ?>",
        "<!x>",
    };
    std::string out;
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::size_t k = rng() % (sizeof bits / sizeof *bits);
        if (bits[k][0] == '\0')
            out.push_back('\0');
        else
            out += bits[k];
    }
    return out;
}

TEST(ChunkBoundaries, GeneratedPagesGiveTheSameTokensHoweverTheyAreCut)
{
    std::mt19937 rng(2026);
    for (int round = 0; round < 300; ++round) {
        const std::string page = soup(rng, 40 + rng() % 80);
        Options options;
        options.treeBuilder = round % 2 == 0;
        const tokentest::Result whole = tokenizeChunks(page, {}, options);
        ASSERT_EQ(whole.endOfFileCalls, 1);
        ASSERT_EQ(whole.badRuns, 0) << tokentest::shown(page);
        for (const auto &sizes : {std::vector<std::size_t>{1}, std::vector<std::size_t>{2}, randomSizes(round, 11)}) {
            const tokentest::Result cut = tokenizeChunks(page, sizes, options);
            ASSERT_EQ(cut.tokens, whole.tokens) << "page " << tokentest::shown(page);
            ASSERT_EQ(cut.endOfFileCalls, 1);
            ASSERT_EQ(cut.badRuns, 0) << tokentest::shown(page);
        }
    }
}

TEST(ChunkBoundaries, SamplePagesGiveTheSameTokensHoweverTheyAreCut)
{
    const fs::path dir = fs::path(QUILLAN_SHARED_DIR) / "text-corpus" / "pages";
    ASSERT_TRUE(fs::is_directory(dir)) << dir << " is missing: the shared folder belongs beside the source tree";
    int pages = 0;
    for (const auto &entry : fs::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        const std::string page = s.str();
        Options options;
        options.treeBuilder = true;
        const tokentest::Result whole = tokenizeChunks(page, {}, options);
        const tokentest::Result cut = tokenizeChunks(page, randomSizes(static_cast<unsigned>(pages), 4000), options);
        const tokentest::Result bytes = tokenizeChunks(page, {1}, options);
        EXPECT_GT(whole.tokens.size(), 10u) << entry.path();
        EXPECT_EQ(cut.tokens, whole.tokens) << entry.path();
        EXPECT_EQ(bytes.tokens, whole.tokens) << entry.path();
        ++pages;
    }
    EXPECT_GT(pages, 0);
}

// Writes down where each run of characters lies.
class RunSink : public quillan::html::TokenSink {
public:
    std::vector<std::string_view> runs;
    std::size_t bytes = 0;
    void characters(std::string_view utf8) override
    {
        runs.push_back(utf8);
        bytes += utf8.size();
    }
    void startTag(const quillan::html::Tag &) override {}
    void endTag(const quillan::html::Tag &) override {}
};

TEST(CharacterData, PlainTextIsHandedOnAsViewsOfTheChunkBeforeTheChunkIsDone)
{
    std::string text;
    while (text.size() < (1u << 20))
        text += "Plain words \xC3\xA9t\xC3\xA9 \xE2\x82\xAC 12 ";
    RunSink sink;
    Tokenizer tokenizer(sink);
    tokenizer.feed(text);
    // All of it arrived during feed(), none of it copied.
    EXPECT_EQ(sink.bytes, text.size());
    for (const std::string_view run : sink.runs) {
        EXPECT_GE(run.data(), text.data());
        EXPECT_LE(run.data() + run.size(), text.data() + text.size());
    }
    EXPECT_LE(sink.runs.size(), 2u);
    tokenizer.finish();
    EXPECT_EQ(sink.bytes, text.size());
}

TEST(CharacterData, CharactersAndLineEndsCutByChunksArriveWhole)
{
    struct Case {
        std::vector<std::string> chunks;
        std::string expected;
    } cases[] = {
        {{"a\xC3", "\xA9", "b"},
         "a\xC3\xA9"
         "b"},
        {{"\xF0\x9F", "\x98", "\x80"}, "\xF0\x9F\x98\x80"},
        {{"a\r", "\nb"}, "a\nb"},
        {{"a\r", "b\r"}, "a\nb\n"},
        {{"\r", "\r", "\n", "\n"}, "\n\n\n"},
        {{"x &am", "p; y"}, "x & y"},
        {{"x &no", "tit;"}, "x \xC2\xACit;"},
    };
    for (const Case &c : cases) {
        tokentest::Recorder recorder;
        Tokenizer tokenizer(recorder);
        for (const std::string &chunk : c.chunks)
            tokenizer.feed(chunk);
        tokenizer.finish();
        // The end is the end: nothing more is read or reported.
        tokenizer.feed("<p>more");
        tokenizer.finish();
        EXPECT_EQ(recorder.endOfFileCalls, 1);
        EXPECT_EQ(recorder.badRuns, 0) << c.expected;
        ASSERT_EQ(recorder.tokens.size(), 1u) << c.expected;
        EXPECT_EQ(recorder.tokens[0], "Character " + tokentest::shown(c.expected));
    }
}

class TagSink : public quillan::html::TokenSink {
public:
    std::vector<std::vector<std::pair<std::string, std::string>>> tags;
    std::string value; // of the attribute "id" of the last tag, "(none)" without
    bool hasEmpty = false;
    void characters(std::string_view) override {}
    void startTag(const quillan::html::Tag &tag) override
    {
        std::vector<std::pair<std::string, std::string>> attributes;
        for (const auto &a : tag.attributes)
            attributes.emplace_back(a.name, a.value);
        tags.push_back(attributes);
        value = tag.hasAttribute("id") ? std::string(tag.attribute("id")) : "(none)";
        hasEmpty = tag.hasAttribute("empty") && tag.attribute("empty").empty();
    }
    void endTag(const quillan::html::Tag &) override {}
};

TEST(Attributes, FirstOfARepeatedNameWinsInShortAndLongTags)
{
    // A long tag: 3000 names, each given twice, and some three times.
    std::string tag = "<p";
    for (int i = 0; i < 3000; ++i)
        tag += " a" + std::to_string(i) + "=first" + std::to_string(i);
    for (int i = 2999; i >= 0; --i)
        tag += " A" + std::to_string(i) + "='second'";
    tag += " a17 id=x empty>";
    const std::string page = "<b ID=1 id=2 Id=3 class=c>" + tag + "<i>";
    TagSink sink;
    Tokenizer tokenizer(sink);
    tokenizer.feed(page);
    tokenizer.finish();
    ASSERT_EQ(sink.tags.size(), 3u);
    EXPECT_EQ(sink.tags[0], (std::vector<std::pair<std::string, std::string>>{{"id", "1"}, {"class", "c"}}));
    ASSERT_EQ(sink.tags[1].size(), 3002u);
    for (int i = 0; i < 3000; ++i) {
        EXPECT_EQ(sink.tags[1][static_cast<std::size_t>(i)].first, "a" + std::to_string(i));
        EXPECT_EQ(sink.tags[1][static_cast<std::size_t>(i)].second, "first" + std::to_string(i));
    }
    EXPECT_EQ(sink.tags[1][3000], (std::pair<std::string, std::string>{"id", "x"}));
    EXPECT_EQ(sink.tags[1][3001], (std::pair<std::string, std::string>{"empty", ""}));
    EXPECT_TRUE(sink.tags[2].empty());
    EXPECT_EQ(sink.value, "(none)");
    EXPECT_FALSE(sink.hasEmpty);
}

TEST(Attributes, LookupTellsAnEmptyValueFromAMissingAttribute)
{
    TagSink sink;
    Tokenizer tokenizer(sink);
    tokenizer.feed("<input id=\"a&amp;b\" empty>");
    tokenizer.finish();
    EXPECT_EQ(sink.value, "a&b");
    EXPECT_TRUE(sink.hasEmpty);
}

} // namespace

namespace {

// The tokens of `page`, after checking that they are the same however the
// page is cut.
std::vector<std::string> chunkInvariantTokens(const std::string &page, const Options &options = {})
{
    const tokentest::Result whole = tokenizeChunks(page, {}, options);
    for (const auto &sizes : {std::vector<std::size_t>{1}, std::vector<std::size_t>{7}, randomSizes(5, 300)})
        EXPECT_EQ(tokenizeChunks(page, sizes, options).tokens, whole.tokens) << tokentest::shown(page.substr(0, 80));
    return whole.tokens;
}

TEST(Comments, LongRunsOfDashesAndLessThanSignsInEveryCommentState)
{
    // Runs shorter than a bulk step, and longer than a chunk of the reader.
    for (const std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{17}, std::size_t{70000}}) {
        const std::string dashes(n, '-');
        const std::string lessThan(n, '<');
        auto comment = [](const std::string &text) { return "Comment " + tokentest::shown(text); };
        // In the comment, and before its end ("--" then the run's rest).
        EXPECT_EQ(chunkInvariantTokens("<!--a" + dashes + "b-->"),
                  std::vector<std::string>{comment("a" + dashes + "b")});
        EXPECT_EQ(chunkInvariantTokens("<!--a" + dashes + "-->x"),
                  (std::vector<std::string>{comment("a" + dashes), "Character \"x\""}));
        // Right after "<!--": comment start and its dash.
        EXPECT_EQ(chunkInvariantTokens("<!--" + dashes + "->"),
                  std::vector<std::string>{comment(n == 1 ? "" : dashes.substr(1))});
        // Cut by the end of the page.
        EXPECT_EQ(chunkInvariantTokens("<!--a" + dashes + "-"),
                  std::vector<std::string>{comment("a" + dashes.substr(1))});
        // "--!" then more dashes; runs of '<', with "<!--" nested after them.
        EXPECT_EQ(chunkInvariantTokens("<!--a--!" + dashes + "b-->"),
                  std::vector<std::string>{comment("a--!" + dashes + "b")});
        EXPECT_EQ(chunkInvariantTokens("<!--" + lessThan + "b-->"), std::vector<std::string>{comment(lessThan + "b")});
        EXPECT_EQ(chunkInvariantTokens("<!--" + lessThan + "!--" + dashes + ">"),
                  std::vector<std::string>{comment(lessThan + "!" + dashes)});
    }
}

TEST(TextRuns, LongRunsOfLessThanAmpersandAndDashInTextAttributesAndScripts)
{
    Options switching;
    switching.treeBuilder = true;
    auto text = [](const std::string &t) { return "Character " + tokentest::shown(t); };
    for (const std::size_t n : {std::size_t{1}, std::size_t{2}, std::size_t{17}, std::size_t{70000}}) {
        const std::string lt(n, '<');
        const std::string amp(n, '&');
        const std::string dashes(n, '-');
        // The last '<' opens a tag, the last '&' a reference.
        EXPECT_EQ(chunkInvariantTokens("x" + lt + "b>"),
                  (std::vector<std::string>{text("x" + lt.substr(1)), "StartTag \"b\" {}"}));
        EXPECT_EQ(chunkInvariantTokens(amp + "amp;" + lt), std::vector<std::string>{text(amp + lt)});
        EXPECT_EQ(chunkInvariantTokens("<a title=\"" + amp + "lt;\" id=" + amp + "gt;>"),
                  std::vector<std::string>{"StartTag \"a\" {\"title\":" + tokentest::shown(amp.substr(1) + "<") +
                                           ",\"id\":" + tokentest::shown(amp.substr(1) + ">") + ",}"});
        // In RCDATA and RAWTEXT, the last '<' begins the end tag.
        auto around = [&](const char *name, const std::string &inside) {
            std::vector<std::string> tokens{"StartTag " + tokentest::shown(name) + " {}"};
            if (!inside.empty())
                tokens.push_back(text(inside));
            tokens.push_back("EndTag " + tokentest::shown(name));
            return tokens;
        };
        EXPECT_EQ(chunkInvariantTokens("<title>" + lt + "/title>", switching), around("title", lt.substr(1)));
        EXPECT_EQ(chunkInvariantTokens("<title>" + amp + "amp;</title>", switching), around("title", amp));
        EXPECT_EQ(chunkInvariantTokens("<style>" + lt + "/style>", switching), around("style", lt.substr(1)));
        // Script data, escaped: dashes in any of its three states, '<' runs.
        EXPECT_EQ(chunkInvariantTokens("<script>" + lt + "!--a" + dashes + "b" + lt + dashes + ">" + lt + "/script>",
                                       switching),
                  (std::vector<std::string>{"StartTag \"script\" {}",
                                            text(lt + "!--a" + dashes + "b" + lt + dashes + ">" + lt.substr(1)),
                                            "EndTag \"script\""}));
        EXPECT_EQ(chunkInvariantTokens("<!DOCTYPE " + dashes + ">"),
                  std::vector<std::string>{"DOCTYPE " + tokentest::shown(dashes) + " null null ok"});
    }
}

} // namespace
