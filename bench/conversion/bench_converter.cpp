// Converter throughput on a large, real-looking HTML page, with CR LF and with
// LF-only line ends, against a plain `cat FILE > /dev/null` of the same file.
// Reports MB/s, the ratio to cat, and the converter's peak memory.
//
// Usage: bench_converter [MEGABYTES] [FOLDER]   (defaults: 150, the temp folder)
//        bench_converter --page FILE MEGABYTES crlf|lf   writes a test page only
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Builds a page of about `bytes` bytes from the pieces real pages are made
// of: head and scripts, navigation lists, paragraphs with links and
// entities, tables, comments; lines end in `eol`.
void writePage(const fs::path &path, std::size_t bytes, const char *eol)
{
    static const char *words[] = {"the",   "converter", "reads",  "every",   "line",    "of",         "page",
                                  "text",  "and",       "markup", "quillan", "browser", "window",     "address",
                                  "print", "keep",      "font",   "larger",  "smaller", "connection", "network",
                                  "modem", "proxy",     "help",   "topic"};
    std::mt19937 rng(42);
    auto word = [&] { return words[rng() % (sizeof words / sizeof *words)]; };
    auto sentence = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            if (i)
                s += (rng() % 11 == 0) ? "&nbsp;" : " ";
            s += word();
        }
        return s;
    };

    std::ofstream out(path, std::ios::binary);
    std::string block;
    std::size_t written = 0;
    const std::string e = eol;
    out << "<!DOCTYPE html>" << e << "<html lang=\"en\">" << e << "<head>" << e << "<meta charset=\"utf-8\">" << e
        << "<title>Benchmark page</title>" << e << "<script>function go(a, b) { return a && b; }</script>" << e
        << "</head>" << e << "<body class=\"main\">" << e;
    while (written < bytes) {
        block.clear();
        block += "<div class=\"section\" id=\"s" + std::to_string(written) + "\">" + e;
        block += "  <h2>" + sentence(4) + "</h2>" + e;
        block += "  <ul class=\"nav\">" + e;
        for (int i = 0; i < 4; ++i)
            block += "    <li><a href=\"/" + std::string(word()) + ".html\" title=\"" + sentence(2) + "\">" +
                     sentence(2) + "</a></li>" + e;
        block += "  </ul>" + e;
        for (int p = 0; p < 3; ++p)
            block += "  <p>" + sentence(12) + " <b>" + sentence(3) + "</b> &amp; " + sentence(10) +
                     " <a href=\"https://example.org/" + word() + "?q=1&amp;r=2\">" + sentence(3) + "</a>.</p>" + e;
        block +=
            "  <table><tr><td>" + sentence(2) + "</td><td>" + std::to_string(rng() % 1000) + "</td></tr></table>" + e;
        block += "  <!-- " + sentence(5) + " -->" + e + "</div>" + e;
        out << block;
        written += block.size();
    }
    out << "</body>" << e << "</html>" << e;
}

struct Timing {
    double seconds;
    long peakKiB;
};

// Runs argv with stdout to /dev/null, returning wall time and peak memory.
Timing runOnce(const std::vector<std::string> &args)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        std::vector<char *> argv;
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_converter: %s failed\n", args[0].c_str());
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

// Best of `rounds` runs; `before` runs untimed ahead of each.
template <typename F>
Timing best(const std::vector<std::string> &args, int rounds, F before)
{
    Timing b{1e9, 0};
    for (int i = 0; i < rounds; ++i) {
        before();
        const Timing t = runOnce(args);
        b.seconds = std::min(b.seconds, t.seconds);
        b.peakKiB = std::max(b.peakKiB, t.peakKiB);
    }
    return b;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && std::string(argv[1]) == "--page") {
        writePage(argv[2], std::strtoul(argv[3], nullptr, 10) << 20, std::string(argv[4]) == "lf" ? "\n" : "\r\n");
        return 0;
    }
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 150;
    fs::path folder = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    folder /= "quillan-bench-" + std::to_string(::getpid());
    fs::create_directories(folder);
    const fs::path tool = fs::canonical("/proc/self/exe").parent_path() / "quillan-convert";

    bool met = true;
    std::printf("converter on a %zu MB page (best of 9 runs)\n", megabytes);
    std::printf("%-8s %10s %10s %10s %8s %10s\n", "endings", "cat MB/s", "conv MB/s", "conv s", "ratio", "peak MiB");
    for (const auto &[name, eol] : {std::pair{"CR LF", "\r\n"}, std::pair{"LF", "\n"}}) {
        const fs::path page = folder / "page.html";
        writePage(page, megabytes << 20, eol);
        const double mb = static_cast<double>(fs::file_size(page)) / (1 << 20);
        // A conversion writes a new text file, as it does for every fetched
        // page; the old one is removed before each run, untimed.
        const fs::path text = folder / "page.TXT";
        auto nothing = [] {};
        auto freshText = [&] { fs::remove(text); };
        best({"cat", page.string()}, 1, nothing); // into the page cache
        const Timing cat = best({"cat", page.string()}, 9, nothing);
        const Timing conv = best({tool.string(), page.string()}, 9, freshText);
        const double ratio = conv.seconds / cat.seconds;
        const double peakMiB = conv.peakKiB / 1024.0;
        std::printf("%-8s %10.0f %10.0f %10.3f %8.2f %10.1f\n", name, mb / cat.seconds, mb / conv.seconds, conv.seconds,
                    ratio, peakMiB);
        met = met && ratio <= 5.0 && peakMiB < 16.0;
        fs::remove(page);
        fs::remove(folder / "page.TXT");
    }
    fs::remove_all(folder);
    std::printf("targets (at most 5x cat, under 16 MiB): %s\n", met ? "met" : "MISSED");
    return 0;
}
