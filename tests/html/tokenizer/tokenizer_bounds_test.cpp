// The tokenizer's memory bound: a comment or an attribute value of tens of
// megabytes is cut to the bound, the same however the input is chunked, and
// the tokenizer's peak memory stays small while it reads one.
#include "html/tokenizer/tokenizer.h"

#include "support/sanitizer.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using quillan::html::Attribute;
using quillan::html::Doctype;
using quillan::html::Tag;
using quillan::html::Tokenizer;
constexpr std::size_t kBound = Tokenizer::kMaxTokenText;

// Keeps only the sizes and a check of each token's text, not the text.
struct SizeSink : quillan::html::TokenSink {
    std::vector<std::string> tagNames;
    std::vector<std::vector<std::pair<std::size_t, std::size_t>>> attributes; // name and value sizes
    std::vector<std::string> firstAttributeNames;
    std::vector<std::size_t> comments;
    std::vector<std::size_t> doctypeSizes;
    std::size_t textSize = 0;
    std::string tail; // the last bytes of the text
    Tokenizer *tokenizer = nullptr;
    bool allSame = true; // every collected byte is the filler or its character
    std::string filler = "a";

    void check(std::string_view s)
    {
        for (std::size_t i = 0; i < s.size(); i += filler.size())
            if (s.compare(i, filler.size(), filler) != 0)
                allSame = false;
    }
    void characters(std::string_view utf8) override
    {
        textSize += utf8.size();
        tail.append(utf8.substr(utf8.size() - std::min<std::size_t>(utf8.size(), 16)));
        tail.erase(0, tail.size() > 16 ? tail.size() - 16 : 0);
    }
    void startTag(const Tag &tag) override
    {
        tagNames.emplace_back(tag.name.substr(0, 8));
        tagNames.back() += ":" + std::to_string(tag.name.size());
        std::vector<std::pair<std::size_t, std::size_t>> sizes;
        for (const Attribute &a : tag.attributes)
            sizes.emplace_back(a.name.size(), a.value.size());
        attributes.push_back(sizes);
        if (tag.name == "title" && tokenizer)
            tokenizer->setState(Tokenizer::TextState::Rcdata);
        firstAttributeNames.emplace_back(tag.attributes.empty() ? "" : tag.attributes.front().name.substr(0, 8));
        if (!tag.attributes.empty() && tag.attributes.back().value.size() > 1000)
            check(tag.attributes.back().value);
    }
    void endTag(const Tag &) override {}
    void comment(std::string_view text) override
    {
        comments.push_back(text.size());
        check(text);
    }
    void doctype(const Doctype &d) override { doctypeSizes = {d.name.size(), d.publicId.size(), d.systemId.size()}; }
};

// Feeds head, then `count` copies of `body`, then tail, in chunks of
// `chunk` bytes (0: the whole of each piece at once).
void feedRepeated(Tokenizer &t, const std::string &head, const std::string &body, std::size_t count,
                  const std::string &tail)
{
    t.feed(head);
    for (std::size_t i = 0; i < count; ++i)
        t.feed(body);
    t.feed(tail);
    t.finish();
}

std::string repeated(std::string_view unit, std::size_t bytes)
{
    std::string s;
    s.reserve(bytes + unit.size());
    while (s.size() < bytes)
        s.append(unit);
    return s;
}

TEST(Bounds, LongTextsAreCutToTheBoundAtACharacter)
{
    // A page in one chunk (tags read as views) and in small chunks (tags read
    // into the buffers) gives the same cut tokens.
    const std::string big = repeated("a", kBound + 5000);
    const std::string wide = "b" + repeated("\xC3\xA9", kBound); // an odd start: the bound falls inside a character
    const std::string page = "<!DOCTYPE " + big + " PUBLIC \"" + big + "\" '" + big + "'>" + "<" + big + " x=\"" +
                             wide + "\" y=" + big + " " + big + ">" + "<!--" + big + "-->" + "<!" + big + ">" + "<p " +
                             big + "b=1 " + big + "c=2>" + "<title>t</title" + big + "x>after";
    for (const std::size_t chunk : {page.size(), std::size_t{4096}, std::size_t{7}}) {
        SCOPED_TRACE(chunk);
        SizeSink sink;
        Tokenizer tokenizer(sink);
        sink.tokenizer = &tokenizer;
        for (std::size_t at = 0; at < page.size(); at += chunk)
            tokenizer.feed(std::string_view(page).substr(at, chunk));
        tokenizer.finish();

        EXPECT_EQ(sink.doctypeSizes, (std::vector<std::size_t>{kBound, kBound, kBound}));
        ASSERT_EQ(sink.tagNames.size(), 3u);
        EXPECT_EQ(sink.tagNames[0], "aaaaaaaa:" + std::to_string(kBound));
        // x's value: 'b' and then whole two-byte characters only.
        ASSERT_EQ(sink.attributes[0].size(), 3u);
        EXPECT_EQ(sink.attributes[0][0], (std::pair<std::size_t, std::size_t>{1, kBound - 1}));
        EXPECT_EQ(sink.attributes[0][1], (std::pair<std::size_t, std::size_t>{1, kBound}));
        EXPECT_EQ(sink.attributes[0][2], (std::pair<std::size_t, std::size_t>{kBound, 0}));
        // Two names cut to the same bound are one name: the first wins.
        EXPECT_EQ(sink.tagNames[1], "p:1");
        EXPECT_EQ(sink.attributes[1], (std::vector<std::pair<std::size_t, std::size_t>>{{kBound, 1}}));
        EXPECT_EQ(sink.comments, (std::vector<std::size_t>{kBound, kBound}));
        EXPECT_TRUE(sink.allSame);
        // A long end tag name in RCDATA is text, all of it.
        EXPECT_EQ(sink.tagNames[2], "title:5");
        EXPECT_EQ(sink.textSize, 1 + 7 + big.size() + 7);
        EXPECT_EQ(sink.tail, "aaaaaaaaax>after");
    }
}

TEST(Bounds, ATagKeepsAttributesUpToItsBounds)
{
    // Values of half the bound: the tag keeps attributes until their text
    // reaches its bound, the same in one chunk and in many.
    const std::string half = repeated("v", kBound / 2);
    std::string page = "<p";
    for (int i = 0; i < 12; ++i)
        page += " n" + std::to_string(i) + "=\"" + half + "\"";
    page += ">";
    std::string many = "<q";
    for (std::size_t i = 0; i < Tokenizer::kMaxTagAttributes + 10; ++i)
        many += " m" + std::to_string(i);
    many += ">";
    for (const std::size_t chunk : {page.size() + many.size(), std::size_t{1000}}) {
        SCOPED_TRACE(chunk);
        SizeSink sink;
        Tokenizer tokenizer(sink);
        const std::string all = page + many;
        for (std::size_t at = 0; at < all.size(); at += chunk)
            tokenizer.feed(std::string_view(all).substr(at, chunk));
        tokenizer.finish();
        ASSERT_EQ(sink.attributes.size(), 2u);
        // An attribute is kept while those before it come to less than
        // the tag's bound (names of two bytes here).
        std::size_t kept = 0;
        for (std::size_t text = 0; text < Tokenizer::kMaxTagAttributeText && kept < 10; ++kept)
            text += 2 + kBound / 2;
        ASSERT_LT(kept, 10u);
        EXPECT_EQ(sink.attributes[0].size(), kept);
        EXPECT_EQ(sink.attributes[1].size(), Tokenizer::kMaxTagAttributes);
        EXPECT_EQ(sink.firstAttributeNames[1], "m0");
    }
}

// Runs `work` in a child process and answers how many KiB its peak resident
// memory grew while it ran.
long peakGrowthKiB(const std::function<void()> &work)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        work();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        const long growth = after.ru_maxrss - before.ru_maxrss;
        const bool written = write(pipeFds[1], &growth, sizeof growth) == sizeof growth;
        _exit(written ? 0 : 1);
    }
    close(pipeFds[1]);
    long growth = -1;
    if (pid < 0 || read(pipeFds[0], &growth, sizeof growth) != sizeof growth)
        growth = -1;
    close(pipeFds[0]);
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? growth : -1;
}

TEST(Bounds, FiftyMegabyteCommentAndValueKeepMemorySmall)
{
    const std::string body = repeated("0123456789abcdef", 64 * 1024); // 64 KiB a chunk
    const std::size_t count = 50 * 16;                                // 50 MiB
    struct Case {
        const char *what;
        std::string head;
        std::string tail;
    };
    const Case cases[] = {
        {"comment", "<p>x<!--", "-->y"},      {"bogus comment", "<p>x<!", ">y"}, {"quoted value", "<a href=\"", "\">y"},
        {"unquoted value", "<a href=", ">y"}, {"tag name", "<a", ">y"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const long growth = peakGrowthKiB([&] {
            SizeSink sink;
            sink.filler = "0123456789abcdef";
            Tokenizer tokenizer(sink);
            feedRepeated(tokenizer, c.head, body, count, c.tail);
            // Had the whole text been kept the child would have grown by
            // 50 MiB or more; the cut token still reached the sink.
            const bool reached = !sink.comments.empty() || !sink.tagNames.empty();
            if (!reached || !sink.allSame || sink.tail.find('y') == std::string::npos)
                _exit(2);
        });
        ASSERT_GE(growth, 0) << "the child failed";
        EXPECT_LT(growth, 8 * 1024) << growth << " KiB";
    }
}

// Comment states that add a character at a time without coming back to
// the comment state: a run of '-' after "<!--", a run of '<' inside a
// comment, and "--!" over and over. 64 MiB of each is read in bounded memory
// and gives one comment cut to the bound. (The unoptimised sanitizer build,
// which reads these a character at a time some fifty times slower, reads
// 4 MiB of each.)
TEST(Bounds, CommentStatesThatCollectCharByCharKeepTheBound)
{
    struct Case {
        const char *what;
        const char *unit;
    };
    const Case cases[] = {{"dashes after <!--", "-"}, {"less-than signs", "<"}, {"--! repeated", "--!"}};
    const std::size_t count = (kSanitized ? 4 : 64) * 16; // chunks of 64 KiB
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string body = repeated(c.unit, 64 * 1024);
        const long growth = peakGrowthKiB([&] {
            SizeSink sink;
            Tokenizer tokenizer(sink);
            feedRepeated(tokenizer, "<p>x<!--", body, count, "-->y");
            if (sink.comments != std::vector<std::size_t>{kBound} || sink.tail.find('y') == std::string::npos)
                _exit(2);
        });
        ASSERT_GE(growth, 0) << "the child failed";
        EXPECT_LT(growth, 8 * 1024) << growth << " KiB";
    }
}

} // namespace
