// The HTML tree builder against the tokenizer alone: the pages of the text
// corpus and of the extraction corpus (beside the source tree), each parsed
// in process into a Document and, as the baseline, tokenized into a sink
// that only counts; the ratio of the two processor times. Then the
// Document's size on a page of `<p>x</p>` repeated to 5.4 MB: bytes per
// element (each with its text node) and against the page's size.
//
// Usage: bench_tree [ROUNDS]   (default 5; each figure is the best round)
//        bench_tree 1 tokenizer|tree   (one side alone, for callgrind's counts)
#include "html/tokenizer/tokenizer.h"
#include "html/tree/parser.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <time.h>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> pagesUnder(const fs::path &dir)
{
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::string> pages;
    for (const auto &f : files) {
        std::ifstream in(f, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        pages.push_back(s.str());
    }
    return pages;
}

class NullSink : public quillan::html::TokenSink {
public:
    std::size_t seen = 0;
    void characters(std::string_view utf8) override { seen += utf8.size(); }
    void startTag(const quillan::html::Tag &) override { ++seen; }
    void endTag(const quillan::html::Tag &) override { ++seen; }
};

constexpr std::size_t kChunk = 64 * 1024;

double threadSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double best(int rounds, auto &&work)
{
    double fastest = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const double start = threadSeconds();
        work();
        fastest = std::min(fastest, threadSeconds() - start);
    }
    return fastest;
}

void measure(const char *name, const std::vector<std::string> &pages, int rounds)
{
    if (pages.empty()) {
        std::printf("%-12s (no pages)\n", name);
        return;
    }
    std::size_t bytes = 0;
    for (const auto &p : pages)
        bytes += p.size();
    NullSink sink;
    const double tokenizer = best(rounds, [&] {
        for (const auto &page : pages) {
            quillan::html::Tokenizer t(sink);
            for (std::size_t at = 0; at < page.size(); at += kChunk)
                t.feed(std::string_view(page).substr(at, kChunk));
            t.finish();
        }
    });
    std::size_t nodes = 0;
    std::size_t memory = 0;
    const double tree = best(rounds, [&] {
        nodes = memory = 0;
        for (const auto &page : pages) {
            quillan::html::Parser parser;
            parser.reserve(page.size());
            for (std::size_t at = 0; at < page.size(); at += kChunk)
                parser.feed(std::string_view(page).substr(at, kChunk));
            const quillan::html::Document doc = parser.finish();
            nodes += doc.nodeCount();
            memory += doc.memoryBytes();
        }
    });
    const double mb = static_cast<double>(bytes) / (1 << 20);
    std::printf("%-12s %5zu %8.1f %14.0f %9.0f %7.2f %10zu %8.2f\n", name, pages.size(), mb, mb / tokenizer, mb / tree,
                tree / tokenizer, nodes, static_cast<double>(memory) / static_cast<double>(bytes));
}

// The process's peak resident memory so far (VmHWM), in KiB.
std::size_t peakKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtoul(line.c_str() + 6, nullptr, 10);
    return 0;
}

// A page of `<p>x</p>` repeated to 5.4 MB: the Document's bytes per element
// and the growth of the process's peak memory while it is parsed (run first,
// before anything else has touched the heap).
void measureParagraphs()
{
    std::string page;
    while (page.size() < 5400000)
        page += "<p>x</p>";
    const std::size_t before = peakKilobytes();
    quillan::html::Document doc = quillan::html::parseDocument(page);
    const std::size_t after = peakKilobytes();
    std::size_t elements = 0;
    for (quillan::html::NodeId n = 0; n < doc.nodeCount(); ++n)
        elements += doc.isElement(n);
    std::printf(
        "<p>x</p> x %zu: %zu elements, %zu nodes, %zu document bytes: %.1f bytes per element, %.2f x the page\n",
        page.size() / 8, elements, doc.nodeCount(), doc.memoryBytes(),
        static_cast<double>(doc.memoryBytes()) / static_cast<double>(elements),
        static_cast<double>(doc.memoryBytes()) / static_cast<double>(page.size()));
    std::printf("peak memory of the process grew by %zu KiB while parsing it (%.2f x the page)\n", after - before,
                static_cast<double>(after - before) * 1024.0 / static_cast<double>(page.size()));
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string only = argc > 2 ? argv[2] : "";
    if (!only.empty()) {
        // One side alone, for an instruction count under callgrind.
        std::vector<std::string> pages = pagesUnder(fs::path(QUILLAN_SHARED_DIR) / "text-corpus" / "pages");
        for (auto &p : pagesUnder(fs::path(QUILLAN_SHARED_DIR) / "extraction-corpus" / "pages"))
            pages.push_back(std::move(p));
        std::size_t seen = 0;
        for (const auto &page : pages) {
            if (only == "tokenizer") {
                NullSink sink;
                quillan::html::Tokenizer t(sink);
                for (std::size_t at = 0; at < page.size(); at += kChunk)
                    t.feed(std::string_view(page).substr(at, kChunk));
                t.finish();
                seen += sink.seen;
            } else {
                seen += quillan::html::parseDocument(page).nodeCount();
            }
        }
        std::printf("%s: %zu\n", only.c_str(), seen);
        return 0;
    }
    measureParagraphs();
    const fs::path shared(QUILLAN_SHARED_DIR);
    std::printf("HTML tree builder against the tokenizer alone, 64 KiB chunks, processor time, best of %d\n", rounds);
    std::printf("%-12s %5s %8s %14s %9s %7s %10s %8s\n", "pages", "files", "MB", "tokenizer MB/s", "tree MB/s", "ratio",
                "nodes", "mem/page");
    measure("text", pagesUnder(shared / "text-corpus" / "pages"), rounds);
    measure("extraction", pagesUnder(shared / "extraction-corpus" / "pages"), rounds);

    return 0;
}
