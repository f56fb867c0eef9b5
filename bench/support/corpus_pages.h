#pragma once
// What the corpus benchmarks share besides running a child: a corpus's
// pages in name order, one large page made of them, and the machine's load.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace bench {

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
