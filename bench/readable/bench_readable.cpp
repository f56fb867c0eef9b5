// The readable text mode against the tools a reader would pick instead (w3m,
// lynx, html2text, pandoc), in the same run: quality on the text corpus
// (word F1, order similarity and junk share from its score.py), throughput
// over the corpus with one process per page (start-up included), and on one
// large page made of the corpus pages, with the peak memory of that run;
// and a page of many style rules (16,384 rules that all name one class
// the page's paragraphs have) against the same paragraphs without them.
//
// Usage: bench_readable [CORPUS_FOLDER] [LARGE_MEGABYTES]
//   CORPUS_FOLDER defaults to $QUILLAN_TEXT_CORPUS, else the folder found at
//   configure time; LARGE_MEGABYTES to 100. Exits 77 without a corpus.
#include "child_run.h"
#include "corpus_pages.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using bench::pagesOf;
using bench::Run;
using bench::runOnce;

struct Tool {
    std::string name;
    std::vector<std::string> args; // the page's path is appended
    bool ours = false;
};

struct Quality {
    double f1 = 0, order = 0, junk = 1;
    bool ok = false;
};

// score.py's summary line: "... word F1 mean X ... order sim mean Y ...
// junk share mean Z ...".
Quality score(const fs::path &corpus, const fs::path &outputs)
{
    const std::string command = "python3 '" + (corpus / "score.py").string() + "' --quiet '" + outputs.string() +
                                "' 2>/dev/null | grep '^pages ' | tail -n 1";
    Quality q;
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return q;
    char line[1024] = {};
    const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    if (!read)
        return q;
    const char *f1 = std::strstr(line, "word F1 mean ");
    const char *order = std::strstr(line, "order sim mean ");
    const char *junk = std::strstr(line, "junk share mean ");
    if (!f1 || !order || !junk)
        return q;
    q.f1 = std::atof(f1 + 13);
    q.order = std::atof(order + 15);
    q.junk = std::atof(junk + 16);
    q.ok = true;
    return q;
}

struct Result {
    Quality quality;
    double corpusSeconds = 0;
    double corpusCpuSeconds = 0;
    bool ran = true;
};

// Every page once into its output file (for the score), then `rounds` timed
// passes over the corpus with output to /dev/null.
Result measure(const Tool &tool, const std::vector<fs::path> &pages, const fs::path &corpus, const fs::path &work,
               int rounds)
{
    Result result;
    const fs::path outputs = work / tool.name;
    fs::create_directories(outputs);
    for (const fs::path &page : pages) {
        std::vector<std::string> args = tool.args;
        args.push_back(page.string());
        const Run run = runOnce(args, outputs / (page.stem().string() + ".txt"));
        if (!run.ok && tool.ours) {
            std::fprintf(stderr, "bench_readable: %s failed on %s\n", tool.name.c_str(), page.c_str());
            result.ran = false;
        }
    }
    result.quality = score(corpus, outputs);
    // Each page's best time over the rounds.
    bench::PageTimes best(pages.size());
    bench::timePasses(tool.args, pages, rounds, best);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        result.corpusSeconds += best.seconds[i];
        result.corpusCpuSeconds += best.cpuSeconds[i];
    }
    return result;
}

// The best wall time of `rounds` runs of the converter on `page`.
double bestSeconds(const fs::path &convert, const fs::path &page, int rounds)
{
    double best = 1e9;
    for (int i = 0; i < rounds; ++i)
        best = std::min(best, runOnce({convert.string(), "--readable", "-o", "-", page.string()}, "/dev/null").seconds);
    return best;
}

// Writes about `megabytes` MB of paragraphs whose class names the class
// every rule names, after `rules` rules ".a.bN{display:none}" when rules > 0.
void writeStyledPage(const fs::path &path, int rules, std::size_t megabytes)
{
    std::ofstream out(path, std::ios::binary);
    out << "<!DOCTYPE html><html><head><style>";
    for (int i = 0; i < rules; ++i)
        out << ".a.b" << i << "{display:none}";
    out << "</style></head><body>";
    const std::string paragraph = "<p class=\"a c\">Some words of a paragraph that no rule hides, long enough to be "
                                  "a line of text as pages have them.</p>\n";
    for (std::size_t written = 0; written < megabytes * 1000000; written += paragraph.size())
        out << paragraph;
    out << "</body></html>";
}

bool installed(const std::string &program)
{
    const std::string command = "command -v '" + program + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    const fs::path corpus = bench::corpusFolder(argc, argv, "QUILLAN_TEXT_CORPUS", QUILLAN_TEXT_CORPUS);
    if (!fs::exists(corpus / "pages") || !fs::exists(corpus / "score.py")) {
        std::printf("no text corpus at %s\n", corpus.c_str());
        return 77;
    }
    const std::size_t largeMegabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 100;
    const fs::path convert = fs::canonical("/proc/self/exe").parent_path() / "quillan-convert";
    const std::vector<fs::path> pages = pagesOf(corpus);
    std::uintmax_t corpusBytes = 0;
    for (const fs::path &page : pages)
        corpusBytes += fs::file_size(page);
    const double corpusMB = static_cast<double>(corpusBytes) / 1e6;

    const fs::path work = fs::temp_directory_path() / ("quillan-bench-readable-" + std::to_string(::getpid()));
    fs::create_directories(work);

    std::vector<Tool> tools = {
        {"quillan", {convert.string(), "--readable", "-o", "-"}, true},
        {"w3m", {"w3m", "-dump", "-T", "text/html", "-O", "UTF-8", "-cols", "10000"}},
        {"lynx", {"lynx", "-dump", "-nolist", "-width=10000", "-display_charset=utf-8"}},
        {"html2text", {"html2text", "-utf8", "-nobs", "-width", "10000"}},
        {"pandoc", {"pandoc", "-f", "html", "-t", "plain", "--wrap=none"}},
    };

    std::printf("readable text on %zu corpus pages (%.1f MB), one process per page, start-up included\n", pages.size(),
                corpusMB);
    // On a machine shared with other work the wall time also counts the
    // waits for a processor; the processor time of the children does not.
    std::printf("load average %.2f on %ld processors\n", bench::loadAverage(), ::sysconf(_SC_NPROCESSORS_ONLN));
    std::printf("%-10s %8s %8s %8s %10s %10s %12s\n", "tool", "word F1", "order", "junk", "MB/s", "seconds",
                "MB/s of cpu");
    double ours = 0, w3m = 0;
    Quality ourQuality;
    bool ran = true;
    for (const Tool &tool : tools) {
        if (!installed(tool.args[0])) {
            std::printf("%-10s (not installed)\n", tool.name.c_str());
            continue;
        }
        // The slow peers are timed once; ours and w3m, the fastest peer, at best of 5.
        const int rounds = tool.ours || tool.name == "w3m" ? 5 : 1;
        const Result r = measure(tool, pages, corpus, work, rounds);
        const double mbps = corpusMB / r.corpusSeconds;
        std::printf("%-10s %8.3f %8.3f %8.3f %10.1f %10.3f %12.1f\n", tool.name.c_str(), r.quality.f1, r.quality.order,
                    r.quality.junk, mbps, r.corpusSeconds, corpusMB / r.corpusCpuSeconds);
        if (tool.ours) {
            ours = mbps;
            ourQuality = r.quality;
            ran = r.ran && r.quality.ok;
        } else if (tool.name == "w3m") {
            w3m = mbps;
        }
    }

    // One large page: the corpus pages one after another.
    const fs::path large = work / "large.html";
    bench::writeLargePage(large, pages, largeMegabytes);
    const double largeMB = static_cast<double>(fs::file_size(large)) / 1e6;
    runOnce({"cat", large.string()}, "/dev/null"); // into the page cache
    Run best{1e9, 1e9, 0, true};
    for (int i = 0; i < 5; ++i) {
        const Run r = runOnce({convert.string(), "--readable", "-o", "-", large.string()}, "/dev/null");
        best.seconds = std::min(best.seconds, r.seconds);
        best.cpuSeconds = std::min(best.cpuSeconds, r.cpuSeconds);
        best.peakKiB = std::max(best.peakKiB, r.peakKiB);
        best.ok = best.ok && r.ok;
    }
    const double largeMbps = largeMB / best.seconds;
    const double peakMiB = best.peakKiB / 1024.0;
    std::printf("quillan on one %.0f MB page: %.0f MB/s (%.3f s; %.0f MB/s of cpu), peak memory %.1f MiB\n", largeMB,
                largeMbps, best.seconds, largeMB / best.cpuSeconds, peakMiB);

    // Many style rules: matching stays linear in the page.
    const fs::path ruled = work / "rules.html", plain = work / "plain.html";
    writeStyledPage(ruled, 16384, 4);
    writeStyledPage(plain, 0, 4);
    const double ruledSeconds = bestSeconds(convert, ruled, 3);
    const double plainSeconds = bestSeconds(convert, plain, 3);
    const double rulesRatio = ruledSeconds / plainSeconds;
    std::printf("quillan on 4 MB of paragraphs after 16,384 style rules: %.3f s, without the rules %.3f s (%.2fx)\n",
                ruledSeconds, plainSeconds, rulesRatio);
    fs::remove_all(work);

    const bool quality = ourQuality.f1 >= 0.95 && ourQuality.order >= 0.90 && ourQuality.junk <= 0.04;
    const bool speed = ours >= 200 && (w3m == 0 || ours >= 10 * w3m) && largeMbps >= 500;
    const bool memory = peakMiB < 16;
    const bool rules = rulesRatio <= 3;
    std::printf("quality (F1 >= 0.95, order >= 0.90, junk <= 0.04): %s\n", quality ? "met" : "MISSED");
    std::printf("speed (>= 200 MB/s per page, >= 10x w3m = %.0f MB/s, >= 500 MB/s on one page): %s\n", 10 * w3m,
                speed ? "met" : "MISSED");
    std::printf("memory (under 16 MiB on the large page): %s\n", memory ? "met" : "MISSED");
    std::printf("style rules (4 MB after 16,384 rules within 3x of the page without them): %s\n",
                rules ? "met" : "MISSED");
    return ran && best.ok ? 0 : 1;
}
