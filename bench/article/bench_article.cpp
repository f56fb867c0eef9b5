// The "article only" mode against the readable mode and Readability.js, in
// the same run, on the extraction corpus: ROUGE-LSum F1, precision and
// recall (its score_extraction.py) per dataset, over all pages and as the
// mean of the dataset means; speed with one process per page for every tool
// (start-up included); peak memory per page, on one large page and on pages
// as large made only of one short element again and again (inline ones, and
// blocks, links and headings: the most nodes a byte of page can make); and
// on the multilingual corpus, its segment precision, recall and F1 over all
// pages, per half and per top-level domain (score_multilingual.py).
//
// Usage: bench_article [CORPUS_FOLDER] [LARGE_MEGABYTES]
//   CORPUS_FOLDER defaults to $QUILLAN_EXTRACTION_CORPUS, else the folder
//   found at configure time; LARGE_MEGABYTES to 20. Readability.js runs when
//   node finds @mozilla/readability and jsdom in $QUILLAN_READABILITY_JS
//   (default: readability-js/ in the build folder, where
//   `npm install --prefix build/readability-js @mozilla/readability@0.6.0 jsdom`
//   puts them, else markdown-peers/ there, bench_markdown.sh's; never part of
//   the program). The multilingual corpus is
//   $QUILLAN_MULTILINGUAL_CORPUS, else the one found at configure time.
//   Exits 77 without an extraction corpus.
#include "child_run.h"
#include "corpus_pages.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using bench::pagesOf;
using bench::Run;
using bench::runOnce;

struct Tool {
    std::string name;
    std::vector<std::string> args; // the page's path is appended
    int rounds = 0;                // timed passes after the one that writes the outputs
};

struct Figures {
    double f1 = 0, precision = 0, recall = 0;
    int pages = 0;
};

struct Quality {
    std::map<std::string, Figures> datasets; // with "_micro" and "_macro"
    bool ok = false;
};

// score_extraction.py's summary table: "dataset pages F1 median P R
// Levenshtein", tab-separated, after its header line.
Quality score(const fs::path &corpus, const fs::path &outputs)
{
    const std::string command =
        "python3 '" + (corpus / "score_extraction.py").string() + "' '" + outputs.string() + "' 2>/dev/null";
    Quality q;
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return q;
    char line[4096] = {};
    bool table = false;
    while (std::fgets(line, sizeof line, pipe)) {
        if (std::strncmp(line, "dataset\t", 8) == 0) {
            table = true;
            continue;
        }
        if (!table)
            continue;
        char name[256] = {};
        Figures f;
        double median = 0;
        if (std::sscanf(line, "%255s %d %lf %lf %lf %lf", name, &f.pages, &f.f1, &median, &f.precision, &f.recall) == 6)
            q.datasets[name] = f;
    }
    ::pclose(pipe);
    q.ok = q.datasets.count("_micro") && q.datasets.count("_macro");
    return q;
}

// score_multilingual.py over the multilingual corpus, its rows printed as
// they come: the F1 of its "even half" and "odd half" rows, -1 when missing.
struct HalvesF1 {
    double even = -1, odd = -1;
};

// `options`: "" for the default's rows per domain too, else the options to
// score the halves with (say "--precision").
HalvesF1 scoreMultilingual(const fs::path &convert, const fs::path &corpus, const std::string &options)
{
    const std::string command = "python3 '" QUILLAN_SCORE_MULTILINGUAL "' " +
                                std::string(options.empty() ? "" : "--halves ") + "'" + convert.string() + "' '" +
                                corpus.string() + "' " + options + " 2>&1";
    HalvesF1 halves;
    std::FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return halves;
    char line[4096] = {};
    while (std::fgets(line, sizeof line, pipe)) {
        std::fputs(line, stdout);
        double p = 0, r = 0, f1 = 0;
        int count = 0;
        if (std::sscanf(line, "even half %d %lf %lf %lf", &count, &p, &r, &f1) == 4)
            halves.even = f1;
        else if (std::sscanf(line, "odd half %d %lf %lf %lf", &count, &p, &r, &f1) == 4)
            halves.odd = f1;
    }
    ::pclose(pipe);
    return halves;
}

struct Result {
    Quality quality;
    double seconds = 0, cpuSeconds = 0;
    double worstMemoryShare = 0; // peak over (4x the page + 16 MiB), the worst page
    long peakKiB = 0;
    bool ran = true;
};

Result measure(const Tool &tool, const std::vector<fs::path> &pages, const fs::path &corpus, const fs::path &work)
{
    Result result;
    const fs::path outputs = work / tool.name;
    fs::create_directories(outputs);
    // Each page's best time over the pass that writes the outputs and the
    // rounds after it, so that a moment when another process held the
    // processor costs no page more than once.
    bench::PageTimes best(pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const fs::path &page = pages[i];
        std::vector<std::string> args = tool.args;
        args.push_back(page.string());
        const Run run = runOnce(args, outputs / (page.stem().string() + ".txt"));
        best.add(i, run);
        if (!run.ok) {
            std::fprintf(stderr, "bench_article: %s failed on %s\n", tool.name.c_str(), page.c_str());
            result.ran = false;
        }
        const double bound = 4.0 * static_cast<double>(fs::file_size(page)) / 1024 + 16 * 1024;
        result.worstMemoryShare = std::max(result.worstMemoryShare, run.peakKiB / bound);
        result.peakKiB = std::max(result.peakKiB, run.peakKiB);
    }
    result.quality = score(corpus, outputs);
    bench::timePasses(tool.args, pages, tool.rounds, best);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        result.seconds += best.seconds[i];
        result.cpuSeconds += best.cpuSeconds[i];
    }
    return result;
}

// The peer's driver: one page in, its title and text content out.
void writeReadabilityDriver(const fs::path &path)
{
    std::ofstream out(path);
    out << "const fs = require('fs');\n"
           "const { JSDOM } = require('jsdom');\n"
           "const { Readability } = require('@mozilla/readability');\n"
           "const html = fs.readFileSync(process.argv[2]);\n"
           "const dom = new JSDOM(html);\n"
           "const article = new Readability(dom.window.document).parse();\n"
           "if (article) process.stdout.write((article.title || '') + '\\n\\n' + (article.textContent || ''));\n";
}

bool nodeFinds(const fs::path &modules)
{
    const std::string command = "NODE_PATH='" + modules.string() +
                                "' node -e \"require('jsdom'); require('@mozilla/readability')\" >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    const fs::path corpus = bench::corpusFolder(argc, argv, "QUILLAN_EXTRACTION_CORPUS", QUILLAN_EXTRACTION_CORPUS);
    if (!fs::exists(corpus / "pages") || !fs::exists(corpus / "score_extraction.py")) {
        std::printf("no extraction corpus at %s\n", corpus.c_str());
        return 77;
    }
    const std::size_t largeMegabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 20;
    const fs::path bin = fs::canonical("/proc/self/exe").parent_path();
    const fs::path convert = bin / "quillan-convert";
    const std::vector<fs::path> pages = pagesOf(corpus);
    fs::path multilingual = QUILLAN_MULTILINGUAL_CORPUS;
    if (const char *env = std::getenv("QUILLAN_MULTILINGUAL_CORPUS"); env && *env)
        multilingual = env;

    const fs::path work = fs::temp_directory_path() / ("quillan-bench-article-" + std::to_string(::getpid()));
    fs::create_directories(work);

    // bench_markdown.sh's peers include Readability.js and jsdom too.
    fs::path modules = bin.parent_path() / "readability-js" / "node_modules";
    if (const char *env = std::getenv("QUILLAN_READABILITY_JS"); env && *env)
        modules = fs::path(env) / "node_modules";
    else if (!fs::exists(modules))
        modules = bin.parent_path() / "markdown-peers" / "node_modules";
    std::vector<Tool> tools = {
        {"article", {convert.string(), "--article", "-o", "-"}, 4},
        {"readable", {convert.string(), "--readable", "-o", "-"}, 4},
    };
    const bool peer = nodeFinds(modules);
    if (peer) {
        writeReadabilityDriver(work / "readability_page.js");
        ::setenv("NODE_PATH", modules.c_str(), 1);
        tools.push_back({"readability.js", {"node", (work / "readability_page.js").string()}, 0});
    }

    std::printf("main content on %zu pages of %s, one process per page, start-up included\n", pages.size(),
                corpus.c_str());
    std::printf("load average %.2f on %ld processors\n", bench::loadAverage(), ::sysconf(_SC_NPROCESSORS_ONLN));
    if (!peer)
        std::printf("readability.js: not installed (npm install --prefix %s @mozilla/readability@0.6.0 jsdom)\n",
                    modules.parent_path().c_str());

    std::map<std::string, Result> results;
    for (const Tool &tool : tools)
        results[tool.name] = measure(tool, pages, corpus, work);

    // Quality: one row per dataset, F1 / precision / recall of each tool.
    std::printf("\nROUGE-LSum F1 / precision / recall (mean over the pages of each dataset)\n%-16s %5s", "dataset",
                "pages");
    for (const Tool &tool : tools)
        std::printf("  %-22s", tool.name.c_str());
    std::printf("\n");
    const Quality &ours = results["article"].quality;
    for (const auto &[dataset, figures] : ours.datasets) {
        std::printf("%-16s %5d",
                    dataset == "_macro"   ? "mean of datasets"
                    : dataset == "_micro" ? "all pages"
                                          : dataset.c_str(),
                    figures.pages);
        for (const Tool &tool : tools) {
            const auto &d = results[tool.name].quality.datasets;
            const auto it = d.find(dataset);
            if (it == d.end())
                std::printf("  %-22s", "-");
            else
                std::printf("  %.3f / %.3f / %.3f   ", it->second.f1, it->second.precision, it->second.recall);
        }
        std::printf("\n");
    }

    // Speed.
    std::printf("\n%-16s %12s %12s %14s %16s\n", "tool", "pages/s", "seconds", "cpu seconds", "peak memory MiB");
    for (const Tool &tool : tools) {
        const Result &r = results[tool.name];
        std::printf("%-16s %12.1f %12.3f %14.3f %16.1f\n", tool.name.c_str(), pages.size() / r.seconds, r.seconds,
                    r.cpuSeconds, r.peakKiB / 1024.0);
    }
    const Result &article = results["article"];
    const Result &readable = results["readable"];
    const double timeRatio = article.seconds / readable.seconds;
    std::printf("article time / readable time on the same pages: %.2f\n", timeRatio);
    double peerRatio = 0;
    if (peer) {
        peerRatio = results["readability.js"].seconds / article.seconds;
        std::printf("article pages/s / readability.js pages/s: %.0fx\n", peerRatio);
    }

    // One large page: the corpus pages one after another.
    const fs::path large = work / "large.html";
    bench::writeLargePage(large, pages, largeMegabytes);
    const double largeBytes = static_cast<double>(fs::file_size(large));
    const Run big = runOnce({convert.string(), "--article", "-o", "-", large.string()}, "/dev/null");
    const double bigBoundMiB = 4 * largeBytes / (1024 * 1024) + 16;
    std::printf("article on one %.0f MB page: %.3f s, peak memory %.1f MiB (bound %.1f MiB)\n", largeBytes / 1e6,
                big.seconds, big.peakKiB / 1024.0, bigBoundMiB);
    // Large pages of nothing but one short element: inline ones, the most
    // tags a byte of page can hold, and blocks, links and headings, the
    // most nodes of the article's tree; and paragraphs with a comma, each
    // of which the scoring counts, alone and each in a box of its own.
    struct Dense {
        const char *element, *attributes, *before, *after;
        const char *text = "x";
    };
    static constexpr Dense kDense[] = {
        {"b", "", "", ""},
        {"p", "", "", ""},
        {"a", "", "", ""},
        {"a", " href=\"#\"", "", ""},
        {"div", "", "", ""},
        {"li", "", "<ul>", "</ul>"},
        {"td", "", "<table><tr>", "</tr></table>"},
        {"h2", "", "", ""},
        {"p", "", "", "", "x,"},
        {"div", "", "", "", "<p>x,</p>"},
    };
    bool denseOk = true, denseRan = true;
    for (const Dense &d : kDense) {
        const std::string unit = "<" + std::string(d.element) + d.attributes + ">" + d.text + "</" + d.element + ">";
        const fs::path dense = work / ("dense-" + std::to_string(&d - kDense) + ".html");
        {
            std::ofstream out(dense, std::ios::binary);
            out << d.before;
            for (std::size_t i = 0; i < largeMegabytes * 1000000 / unit.size(); ++i)
                out << unit;
            out << d.after;
        }
        const double denseBytes = static_cast<double>(fs::file_size(dense));
        const Run tags = runOnce({convert.string(), "--article", "-o", "-", dense.string()}, "/dev/null");
        const double denseBoundMiB = 4 * denseBytes / (1024 * 1024) + 16;
        const bool within = tags.ok && tags.peakKiB / 1024.0 <= denseBoundMiB;
        std::printf("article on one %.0f MB page of %s: %.3f s, peak memory %.1f MiB (bound %.1f MiB): %s\n",
                    denseBytes / 1e6, unit.c_str(), tags.seconds, tags.peakKiB / 1024.0, denseBoundMiB,
                    within ? "met" : "missed");
        denseOk = denseOk && within;
        denseRan = denseRan && tags.ok;
        fs::remove(dense);
    }
    std::printf("worst page's peak memory / (4x its size + 16 MiB): %.2f\n", article.worstMemoryShare);
    fs::remove_all(work);

    // The multilingual corpus: the article mode alone, scored by the
    // corpus's own measure over all pages, each half and each domain.
    HalvesF1 halves;
    if (fs::exists(multilingual / "segments.json")) {
        std::printf("\nmultilingual corpus %s: segments kept (score_segments.py)\n", multilingual.c_str());
        std::fflush(stdout);
        halves = scoreMultilingual(convert, multilingual, "");
        for (const char *bias : {"--precision", "--recall"}) {
            std::printf("with %s:\n", bias);
            std::fflush(stdout);
            scoreMultilingual(convert, multilingual, bias);
        }
    } else {
        std::printf("\nno multilingual corpus at %s\n", multilingual.c_str());
    }

    // The targets.
    bool quality = ours.ok && ours.datasets.at("_micro").f1 >= 0.93 && ours.datasets.at("_macro").f1 >= 0.93;
    std::printf("\nquality (F1 >= 0.93 over pages and over datasets): %s\n", quality ? "met" : "MISSED");
    if (peer) {
        const Quality &theirs = results["readability.js"].quality;
        bool perDataset = true;
        for (const auto &[dataset, figures] : ours.datasets) {
            const auto it = theirs.datasets.find(dataset);
            if (it != theirs.datasets.end() && figures.f1 < it->second.f1) {
                std::printf("  below readability.js on %s: %.3f < %.3f\n", dataset.c_str(), figures.f1, it->second.f1);
                perDataset = false;
            }
        }
        std::printf("no dataset below readability.js: %s\n", perDataset ? "met" : "MISSED");
        std::printf("speed (>= 200x readability.js's pages/s): %s\n", peerRatio >= 200 ? "met" : "MISSED");
    }
    if (halves.even >= 0 && halves.odd >= 0)
        std::printf("multilingual (F1 >= 0.93 on each half): %s\n",
                    halves.even >= 0.93 && halves.odd >= 0.93 ? "met" : "MISSED");
    std::printf("speed (article <= 1.5x the readable mode's time): %s\n", timeRatio <= 1.5 ? "met" : "MISSED");
    const bool memory = big.ok && big.peakKiB / 1024.0 <= bigBoundMiB && denseOk && article.worstMemoryShare <= 1.0;
    std::printf("memory (under 4x the page + 16 MiB): %s\n", memory ? "met" : "MISSED");
    bool ran = big.ok && denseRan;
    for (const auto &[name, r] : results)
        ran = ran && (r.ran || name == "readability.js") && r.quality.ok;
    return ran ? 0 : 1;
}
