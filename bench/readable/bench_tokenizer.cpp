// HTML tokenizer throughput, in process, against a plain memchr pass for '<'
// over the same bytes (the least any tokenizer has to do). Two inputs: a
// synthetic page of typical markup, and the sample pages of the text corpus
// (when the shared folder is beside the source tree) repeated to the same size.
// The input is fed in 64 KiB chunks, as the converter reads a file; times are
// the thread's processor time.
//
// Usage: bench_tokenizer [MEGABYTES]   (default 64)
#include "html/tokenizer/tokenizer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <time.h>

namespace {

namespace fs = std::filesystem;

std::string syntheticPage(std::size_t bytes)
{
    static const char *words[] = {"the",  "reader", "sees",  "every", "line",  "of",     "page",    "text",
                                  "and",  "markup", "table", "list",  "link",  "header", "caption", "script",
                                  "font", "larger", "menu",  "news",  "price", "weather"};
    std::mt19937 rng(7);
    auto word = [&] { return words[rng() % (sizeof words / sizeof *words)]; };
    auto sentence = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            if (i)
                s += (rng() % 13 == 0) ? "&nbsp;" : " ";
            s += word();
        }
        return s;
    };
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Bench</title>\n"
                       "<script>function go(a, b) { return a < b && b > 0; }</script>\n"
                       "<style>.nav li { display: inline }</style></head>\n<body class=\"main\">\n";
    while (page.size() < bytes) {
        page += "<div class=\"section\" id=\"s" + std::to_string(page.size()) + "\">\n<h2>" + sentence(4) + "</h2>\n";
        page += "<ul class=\"nav\">\n";
        for (int i = 0; i < 4; ++i)
            page += "  <li><a href=\"/" + std::string(word()) + ".html\" title=\"" + sentence(2) + "\">" + sentence(2) +
                    "</a></li>\n";
        page += "</ul>\n";
        for (int p = 0; p < 3; ++p)
            page += "<p>" + sentence(14) + " <b>" + sentence(3) + "</b> &amp; " + sentence(12) +
                    " <a href=\"https://example.org/" + word() + "?q=1&amp;r=2\">" + sentence(3) + "</a>.</p>\n";
        page += "<table><tr><td>" + sentence(2) + "</td><td>" + std::to_string(rng() % 1000) + "</td></tr></table>\n";
        page += "<!-- " + sentence(5) + " -->\n</div>\n";
    }
    return page + "</body></html>\n";
}

std::string corpusPages(std::size_t bytes)
{
    const fs::path dir = fs::path(QUILLAN_SHARED_DIR) / "text-corpus" / "pages";
    std::string all;
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto &entry : fs::directory_iterator(dir, ec))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto &f : files) {
        std::ifstream in(f, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        all += s.str();
    }
    if (all.empty())
        return all;
    std::string out;
    while (out.size() < bytes)
        out += all;
    return out;
}

// Counts what it receives, so that nothing is optimised away.
class CountingSink : public quillan::html::TokenSink {
public:
    std::size_t textBytes = 0;
    std::size_t tags = 0;
    void characters(std::string_view utf8) override { textBytes += utf8.size(); }
    void startTag(const quillan::html::Tag &tag) override { tags += 1 + tag.attributes.size(); }
    void endTag(const quillan::html::Tag &) override { ++tags; }
};

constexpr std::size_t kChunk = 64 * 1024;

// The processor time of this thread, which other busy processes on the
// machine disturb far less than the time on the clock.
double threadSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double secondsOf(auto &&work)
{
    double best = 1e9;
    for (int round = 0; round < 7; ++round) {
        const double start = threadSeconds();
        work();
        best = std::min(best, threadSeconds() - start);
    }
    return best;
}

void measure(const char *name, const std::string &input)
{
    std::size_t lessThan = 0;
    const double baseline = secondsOf([&] {
        lessThan = 0;
        for (std::size_t at = 0; at < input.size(); at += kChunk) {
            const char *p = input.data() + at;
            const char *end = input.data() + std::min(input.size(), at + kChunk);
            while ((p = static_cast<const char *>(std::memchr(p, '<', static_cast<std::size_t>(end - p)))) != nullptr) {
                ++lessThan;
                ++p;
            }
        }
    });
    CountingSink sink;
    const double tokenizer = secondsOf([&] {
        sink = CountingSink();
        quillan::html::Tokenizer t(sink);
        for (std::size_t at = 0; at < input.size(); at += kChunk)
            t.feed(std::string_view(input).substr(at, kChunk));
        t.finish();
    });
    const double mb = static_cast<double>(input.size()) / (1 << 20);
    std::printf("%-10s %8.1f %12.0f %14.0f %8.2f   (%zu '<', %zu tag parts, %zu text bytes)\n", name, mb, mb / baseline,
                mb / tokenizer, tokenizer / baseline, lessThan, sink.tags, sink.textBytes);
}

} // namespace

int main(int argc, char **argv)
{
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    std::printf("HTML tokenizer, 64 KiB chunks, processor time, best of 7\n");
    std::printf("%-10s %8s %12s %14s %8s\n", "input", "MB", "memchr MB/s", "tokenizer MB/s", "ratio");
    measure("synthetic", syntheticPage(megabytes << 20));
    const std::string corpus = corpusPages(megabytes << 20);
    if (corpus.empty())
        std::printf("corpus     (no pages under %s)\n", QUILLAN_SHARED_DIR);
    else
        measure("corpus", corpus);
    return 0;
}
