// HTML tokenizer throughput on long runs of the characters that move it
// from state to state: each input is one construct holding a run of one
// character ('-' in a comment, '<' in text, ']' in a CDATA section, ...),
// timed against a comment of letters of the same size in the same run. The
// ratio is what counts: every state should keep close to the speed of plain
// text. Fed in 64 KiB chunks; times are the thread's processor time.
//
// Usage: bench_tokenizer_runs [MEGABYTES]   (default 32)
#include "html/tokenizer/tokenizer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <time.h>

namespace {

using quillan::html::Tokenizer;

class CountingSink : public quillan::html::TokenSink {
public:
    std::size_t bytes = 0;
    void characters(std::string_view utf8) override { bytes += utf8.size(); }
    void startTag(const quillan::html::Tag &tag) override
    {
        bytes += tag.name.size();
        if (state) {
            tokenizer->setState(*state);
            tokenizer->setForeignContent(foreign);
        }
    }
    void endTag(const quillan::html::Tag &) override {}
    void comment(std::string_view text) override { bytes += text.size(); }
    Tokenizer *tokenizer = nullptr;
    const Tokenizer::TextState *state = nullptr;
    bool foreign = false;
};

struct Case {
    const char *name;
    const char *before; // up to the run
    char run;           // repeated to the size asked
    const char *after;
    // The state the start tag before the run switches to (none: data).
    const Tokenizer::TextState *state = nullptr;
    bool foreign = false;
};

constexpr std::size_t kChunk = 64 * 1024;

double threadSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double secondsFor(const Case &c, const std::string &input)
{
    double best = 1e9;
    for (int round = 0; round < 3; ++round) {
        CountingSink sink;
        Tokenizer t(sink);
        sink.tokenizer = &t;
        sink.state = c.state;
        sink.foreign = c.foreign;
        const double start = threadSeconds();
        for (std::size_t at = 0; at < input.size(); at += kChunk)
            t.feed(std::string_view(input).substr(at, kChunk));
        t.finish();
        best = std::min(best, threadSeconds() - start);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32;
    static constexpr Tokenizer::TextState kRcdata = Tokenizer::TextState::Rcdata;
    static constexpr Tokenizer::TextState kRawtext = Tokenizer::TextState::Rawtext;
    static constexpr Tokenizer::TextState kScript = Tokenizer::TextState::ScriptData;
    static const Case kCases[] = {
        {"comment of letters", "<!--", 'x', "-->"},
        {"comment of '-'", "<!--", '-', "-->"},
        {"comment of '<'", "<!--", '<', "-->"},
        {"comment of '!'", "<!--", '!', "-->"},
        {"bogus comment of '-'", "<!", '-', ">"},
        {"text of '<'", "<p>", '<', "</p>"},
        {"text of '&'", "<p>", '&', "</p>"},
        {"text of ']'", "<p>", ']', "</p>"},
        {"rcdata of '<'", "<title>", '<', "</title>", &kRcdata},
        {"rcdata of '&'", "<title>", '&', "</title>", &kRcdata},
        {"rawtext of '<'", "<style>", '<', "</style>", &kRawtext},
        {"script of '<'", "<script>", '<', "</script>", &kScript},
        {"script of '-'", "<script>", '-', "</script>", &kScript},
        {"script escaped of '-'", "<script><!--", '-', "--></script>", &kScript},
        {"script escaped of '<'", "<script><!-- ", '<', "--></script>", &kScript},
        {"cdata of ']'", "<svg><![CDATA[", ']', "]]></svg>", nullptr, true},
        {"attribute of '&'", "<a title=\"", '&', "\">", nullptr},
        {"attribute name of '='", "<a ", '=', ">", nullptr},
        {"doctype of '-'", "<!DOCTYPE ", '-', ">", nullptr},
    };
    std::printf("HTML tokenizer on runs of one character, %zu MB each, 64 KiB chunks, best of 3\n", megabytes);
    std::printf("%-24s %10s %8s\n", "input", "MB/s", "ratio");
    double baseline = 0;
    for (const Case &c : kCases) {
        std::string input = c.before;
        input.append(megabytes << 20, c.run);
        input += c.after;
        const double seconds = secondsFor(c, input);
        if (baseline == 0)
            baseline = seconds;
        const double mb = static_cast<double>(input.size()) / (1 << 20);
        std::printf("%-24s %10.0f %8.2f\n", c.name, mb / seconds, seconds / baseline);
    }
    return 0;
}
