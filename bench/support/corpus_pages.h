#pragma once
// What the corpus benchmarks share besides running a child: the corpus
// folder, its pages in name order, each page's best time over timed passes,
// one large page made of the pages, and the machine's load.
#include "child_run.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bench {

// The corpus folder: the first argument, else the environment variable
// `variable` when set and not empty, else `configured`.
inline std::filesystem::path corpusFolder(int argc, char **argv, const char *variable, const char *configured)
{
    if (argc > 1)
        return argv[1];
    if (const char *env = std::getenv(variable); env && *env)
        return env;
    return configured;
}

// The .html files of `corpus`/pages, sorted by path.
inline std::vector<std::filesystem::path> pagesOf(const std::filesystem::path &corpus)
{
    std::vector<std::filesystem::path> pages;
    for (const auto &entry : std::filesystem::directory_iterator(corpus / "pages"))
        if (entry.path().extension() == ".html")
            pages.push_back(entry.path());
    std::sort(pages.begin(), pages.end());
    return pages;
}

// Each page's best wall and processor time, over the runs so far.
struct PageTimes {
    std::vector<double> seconds, cpuSeconds;
    explicit PageTimes(std::size_t pages) : seconds(pages, 1e9), cpuSeconds(pages, 1e9) {}
    void add(std::size_t page, const Run &run)
    {
        seconds[page] = std::min(seconds[page], run.seconds);
        cpuSeconds[page] = std::min(cpuSeconds[page], run.cpuSeconds);
    }
};

// `rounds` passes over `pages`, each page once a pass given as the last
// argument after `args`, output to /dev/null; each run lowers that page's
// best times in `times`. Taking each page's best means a moment when another
// process held the processor costs no page more than once.
inline void timePasses(const std::vector<std::string> &args, const std::vector<std::filesystem::path> &pages,
                       int rounds, PageTimes &times)
{
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            std::vector<std::string> command = args;
            command.push_back(pages[i].string());
            times.add(i, runOnce(command, "/dev/null"));
        }
    }
}

// Writes `pages` one after another into `path`, whole passes over them,
// until at least `megabytes` MB are written.
inline void writeLargePage(const std::filesystem::path &path, const std::vector<std::filesystem::path> &pages,
                           std::size_t megabytes)
{
    std::ofstream out(path, std::ios::binary);
    std::uintmax_t written = 0;
    std::vector<char> buffer;
    while (written < megabytes * 1000000) {
        for (const std::filesystem::path &page : pages) {
            std::ifstream in(page, std::ios::binary);
            buffer.assign(std::istreambuf_iterator<char>(in), {});
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            written += buffer.size();
        }
    }
}

// The one-minute load average, 0 where /proc/loadavg cannot be read. On a
// machine shared with other work the wall times also count the waits for a
// processor.
inline double loadAverage()
{
    double load = 0;
    if (std::FILE *f = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(f, "%lf", &load) != 1)
            load = 0;
        std::fclose(f);
    }
    return load;
}

} // namespace bench
