// quillan-convert over many small inputs, each measured against the usual
// way of doing the same from a shell, in one run:
//   - 2,000 pages of 5 to 50 kB served on 127.0.0.1, by address with -j at
//     the number of cores, against `xargs -P CORES` running
//     `curl -s URL | quillan-convert` for each page (target: at most half
//     its time);
//   - the same 2,000 pages as local files, against `xargs -P CORES` running
//     `w3m -dump FILE` for each (the ratio is reported).
// Each side is timed best of RUNS; the texts made are checked for size.
//
// Usage: bench_batch [PAGES] [RUNS]   (defaults: 2000, 3)
// Exit status 77 when curl, w3m or xargs is missing.
#include "support/HttpTestServer.h"
#include "support/files.h"
#include "support/process.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

// A page of about `bytes` bytes made of what pages hold: navigation,
// paragraphs with links and entities, a table, a script.
std::string makePage(std::mt19937 &rng, std::size_t bytes, int number)
{
    static const char *words[] = {"the",  "converter", "reads",  "every",   "line",    "of",      "page",
                                  "text", "and",       "markup", "quillan", "address", "network", "proxy"};
    auto sentence = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += std::string(i ? (rng() % 9 == 0 ? "&nbsp;" : " ") : "") + words[rng() % 14];
        return s;
    };
    std::string page = "<!DOCTYPE html>\r\n<html><head><title>Page " + std::to_string(number) +
                       "</title>\r\n<script>var n = 1;</script></head>\r\n<body>\r\n";
    while (page.size() < bytes) {
        page += "<ul><li><a href=\"/a.html\">" + sentence(3) + "</a></li><li><a href=\"/b.html\">" + sentence(2) +
                "</a></li></ul>\r\n";
        page += "<p>" + sentence(14) + " <b>" + sentence(3) + "</b> &amp; " + sentence(9) + "</p>\r\n";
        page += "<table><tr><td>" + sentence(2) + "</td><td>" + std::to_string(rng() % 1000) + "</td></tr></table>\r\n";
    }
    return page + "</body></html>\r\n";
}

double seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Runs a shell command; its time, or a negative number when it failed.
double timeShell(const std::string &command)
{
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r = runProgram({"/bin/sh", "-c", command});
    const double took = seconds(std::chrono::steady_clock::now() - start);
    if (r.status != 0) {
        std::fprintf(stderr, "bench_batch: failed (%d): %s\n%s", r.status, command.c_str(), r.err.c_str());
        return -1;
    }
    return took;
}

double best(int runs, const std::string &command)
{
    double fastest = -1;
    for (int i = 0; i < runs; ++i) {
        const double t = timeShell(command);
        if (t < 0)
            return -1;
        fastest = fastest < 0 ? t : std::min(fastest, t);
    }
    return fastest;
}

// Runs argv with standard output to outFile and TMPDIR set to tmp, and
// returns the highest resident memory it reached (KB), read from /proc
// while it runs; -1 when it failed. (A fork of this process would count the
// served pages in its peak, so the figure is taken from the program
// itself.)
long peakMemoryKiB(const std::vector<std::string> &args, const fs::path &outFile, const fs::path &tmp)
{
    std::vector<char *> argv;
    std::vector<std::string> copy = args;
    for (std::string &arg : copy)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char **e = environ; *e; ++e)
        if (std::string(*e).rfind("TMPDIR=", 0) != 0)
            environment.push_back(*e);
    environment.push_back("TMPDIR=" + tmp.string());
    std::vector<char *> envp;
    for (std::string &e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return -1;
    long peak = 0;
    const std::string status = "/proc/" + std::to_string(pid) + "/status";
    for (;;) {
        if (std::FILE *f = std::fopen(status.c_str(), "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, f))
                if (std::strncmp(line, "VmHWM:", 6) == 0)
                    peak = std::max(peak, std::atol(line + 6));
            std::fclose(f);
        }
        int wstatus = 0;
        const pid_t done = ::waitpid(pid, &wstatus, WNOHANG);
        if (done == pid)
            return WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0 ? peak : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool have(const char *program)
{
    return runProgram({"/bin/sh", "-c", std::string("command -v ") + program + " >/dev/null"}).status == 0;
}

std::uintmax_t sizeOf(const fs::path &file)
{
    std::error_code error;
    const std::uintmax_t size = fs::file_size(file, error);
    return error ? 0 : size;
}

std::string quoted(const fs::path &path)
{
    return "'" + path.string() + "'";
}

} // namespace

int main(int argc, char **argv)
{
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    for (const char *program : {"curl", "w3m", "xargs"})
        if (!have(program)) {
            std::printf("bench_batch: %s is not installed\n", program);
            return 77;
        }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::string jobs = std::to_string(cores);
    const std::string convert = QUILLAN_CONVERT;

    TempDir dir;
    HttpTestServer server;
    std::mt19937 rng(19);
    std::uniform_int_distribution<std::size_t> size(5 * 1024, 50 * 1024);
    std::string addresses;
    std::string files;
    std::uintmax_t total = 0;
    fs::create_directories(dir / "pages");
    for (int i = 0; i < pages; ++i) {
        const std::string page = makePage(rng, size(rng), i);
        total += page.size();
        const std::string name = "p" + std::to_string(i) + ".html";
        server.route("/" + name, HttpResponse::html(page));
        writeFile(dir / "pages" / name, page);
        addresses += server.url("/" + name) + "\n";
        files += (dir / "pages" / name).string() + "\n";
    }
    writeFile(dir / "addresses", addresses);
    writeFile(dir / "files", files);
    const fs::path tmp = dir / "tmp";
    fs::create_directories(tmp);
    const std::string env = "TMPDIR=" + quoted(tmp) + " ";

    std::printf("%d pages of 5-50 kB (%.1f MB), %u cores, best of %d runs\n", pages, double(total) / 1e6, cores, runs);

    // By address.
    const double ours = best(runs, env + convert + " -q -j " + jobs + " --inputs " + quoted(dir / "addresses") + " > " +
                                       quoted(dir / "ours.txt"));
    const long oursPeakKiB =
        peakMemoryKiB({convert, "-q", "-j", jobs, "--inputs", (dir / "addresses").string()}, dir / "peak.txt", tmp);
    const double baseline =
        best(runs, "xargs -P " + jobs + " -I{} sh -c 'curl -s \"$1\" | " + env + convert + "' sh {} < " +
                       quoted(dir / "addresses") + " > " + quoted(dir / "baseline.txt"));
    if (ours < 0 || baseline < 0)
        return 1;
    const std::uintmax_t oursBytes = sizeOf(dir / "ours.txt");
    const std::uintmax_t baselineBytes = sizeOf(dir / "baseline.txt");
    std::printf("by address:\n");
    std::printf("  xargs -P %s curl | quillan-convert: %8.2f s  (%.0f pages/s)\n", jobs.c_str(), baseline,
                pages / baseline);
    std::printf("  quillan-convert -j %s --inputs:     %8.2f s  (%.0f pages/s)  ratio %.2f (target 0.50)%s\n",
                jobs.c_str(), ours, pages / ours, ours / baseline, ours / baseline <= 0.5 ? "" : "  OVER TARGET");
    std::printf("  texts: %ju bytes, baseline %ju bytes%s; peak memory of quillan-convert %ld KB\n", oursBytes,
                baselineBytes, oursBytes == baselineBytes ? "" : "  DIFFER", oursPeakKiB);

    // Local files.
    const double oursFiles =
        best(runs, convert + " -q -j " + jobs + " --inputs " + quoted(dir / "files") + " > /dev/null");
    const double w3m =
        best(runs, "xargs -P " + jobs + " -n 1 w3m -dump -T text/html < " + quoted(dir / "files") + " > /dev/null");
    if (oursFiles < 0 || w3m < 0)
        return 1;
    std::printf("local files:\n");
    std::printf("  xargs -P %s w3m -dump:             %8.2f s  (%.0f files/s)\n", jobs.c_str(), w3m, pages / w3m);
    std::printf("  quillan-convert -j %s --inputs:     %8.2f s  (%.0f files/s)  ratio %.3f\n", jobs.c_str(), oursFiles,
                pages / oursFiles, oursFiles / w3m);

    const bool clean = fs::is_empty(tmp);
    if (!clean)
        std::printf("  temporary files were left in %s\n", tmp.c_str());
    return oursBytes == baselineBytes && clean ? 0 : 1;
}
