// bench_warc: the archive road (quillan-convert --warc) against converting
// the same pages one process per page (quillan-convert, and w3m -dump), in
// the same run, all on one core.
//
// The pages are the shared text corpus's, repeated into a web archive of
// response records (one gzip member per record, as crawlers write them,
// and plain) until it holds the HTML asked for (default 256 MB; --mb N).
// Printed: records/s and MB/s of HTML for each road (by the programs' CPU
// time, and the wall clock beside it), the archive road's peak memory, and
// the ratios.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <sched.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace fs = std::filesystem;

namespace {

struct RunResult {
    double seconds = 0; // wall clock
    double cpu = 0;     // user and system time of the program
    long peakKiB = 0;
    int status = -1;
};

// Runs argv with standard output (and error when quiet) to /dev/null.
RunResult runProgram(const std::vector<std::string> &args, bool quietErrors = true)
{
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (quietErrors)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    RunResult result;
    // The child starts as a copy of this process: this process's own peak
    // memory is cleared first, so that the child's peak is its own.
    if (FILE *refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return result;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.peakKiB = usage.ru_maxrss;
    result.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string gzipMember(const std::string &bytes)
{
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, uLong(bytes.size())) + 32, '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    z.avail_in = unsigned(bytes.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = unsigned(out.size());
    deflate(&z, Z_FINISH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

std::string responseRecord(const std::string &page, std::size_t n)
{
    const std::string http =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) + "\r\n\r\n";
    char id[80];
    std::snprintf(id, sizeof id, "<urn:uuid:00000000-0000-4000-8000-%012zu>", n);
    std::string head = "WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: http://bench.test/page" +
                       std::to_string(n) + ".html\r\nWARC-Date: 2024-05-01T12:00:00Z\r\nWARC-Record-ID: " + id +
                       "\r\nContent-Type: application/http; msgtype=response\r\nContent-Length: " +
                       std::to_string(http.size() + page.size()) + "\r\n\r\n";
    return head + http + page + "\r\n\r\n";
}

// Rates by CPU time: the machine may be shared, and the wall clock then
// measures the others' work too.
void line(const char *road, std::size_t records, double mb, double wall, double cpu, long peakKiB = 0)
{
    std::printf("%-36s %7zu records %7.1f MB  wall %6.2f s  cpu %6.2f s %9.0f rec/s %7.1f MB/s", road, records, mb,
                wall, cpu, double(records) / cpu, mb / cpu);
    if (peakKiB > 0)
        std::printf("  peak %.1f MiB", double(peakKiB) / 1024.0);
    std::printf("\n");
}

// The archive road and the roads of one process per page over `files`,
// repeated into an archive of `targetMb` MB of HTML.
void benchPages(const char *label, const std::vector<fs::path> &files, double targetMb)
{
    std::vector<std::size_t> sizes;
    std::size_t corpusBytes = 0;
    char folder[] = "/tmp/bench-warc-XXXXXX";
    if (!mkdtemp(folder))
        return;
    const fs::path work = folder;
    const fs::path gz = work / "bench.warc.gz";
    const fs::path plain = work / "bench.warc";
    std::size_t records = 0;
    double htmlBytes = 0;
    {
        std::vector<std::string> pages;
        for (const fs::path &f : files) {
            std::ifstream in(f, std::ios::binary);
            pages.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            sizes.push_back(pages.back().size());
            corpusBytes += pages.back().size();
        }
        std::ofstream outGz(gz, std::ios::binary), outPlain(plain, std::ios::binary);
        while (htmlBytes < targetMb * 1e6) {
            const std::string &page = pages[records % pages.size()];
            const std::string record = responseRecord(page, records);
            outGz << gzipMember(record);
            outPlain << record;
            htmlBytes += double(page.size());
            ++records;
        }
    }
    malloc_trim(0);
    const double mb = htmlBytes / 1e6;
    std::printf("\n%s: %zu pages (%.1f MB) repeated into %zu records, %.1f MB of HTML; archive %.1f MB gzip, "
                "%.1f MB plain; one core\n",
                label, files.size(), double(corpusBytes) / 1e6, records, mb, double(fs::file_size(gz)) / 1e6,
                double(fs::file_size(plain)) / 1e6);

    const std::string convert = QUILLAN_CONVERT;
    struct Road {
        const char *name;
        std::vector<std::string> args;
    };
    const Road roads[] = {
        {"archive road --readable (gzip)", {convert, "--warc", "-q", "--readable", gz.string(), "-o", "/dev/null"}},
        {"archive road --readable (plain)", {convert, "--warc", "-q", "--readable", plain.string(), "-o", "/dev/null"}},
        {"archive road stripped (gzip)", {convert, "--warc", "-q", gz.string(), "-o", "/dev/null"}},
        {"archive road stripped (plain)", {convert, "--warc", "-q", plain.string(), "-o", "/dev/null"}},
        {"archive road --readable -> .wet.gz",
         {convert, "--warc", "-q", "--readable", gz.string(), "-o", (work / "out.wet.gz").string()}},
    };
    double gzRate = 0, plainRate = 0, gzMbps = 0, plainMbps = 0;
    for (const Road &road : roads) {
        const RunResult r = runProgram(road.args);
        if (r.status != 0) {
            std::printf("%s: failed (status %d)\n", road.name, r.status);
            continue;
        }
        line(road.name, records, mb, r.seconds, r.cpu, r.peakKiB);
        if (&road == &roads[0]) {
            gzRate = double(records) / r.cpu;
            gzMbps = mb / r.cpu;
        } else if (&road == &roads[1]) {
            plainRate = double(records) / r.cpu;
            plainMbps = mb / r.cpu;
        }
    }

    // One process per page, the same pages, for at least two seconds each.
    const auto perPage = [&](const char *name, const std::vector<std::string> &before,
                             const std::vector<std::string> &after) {
        std::size_t done = 0;
        double bytes = 0;
        const auto start = std::chrono::steady_clock::now();
        double seconds = 0;
        double cpu = 0;
        while (seconds < 2.0 || done < files.size()) {
            const fs::path &f = files[done % files.size()];
            std::vector<std::string> args = before;
            args.push_back(f.string());
            args.insert(args.end(), after.begin(), after.end());
            const RunResult r = runProgram(args);
            if (r.status != 0) {
                std::printf("%s: failed on %s\n", name, f.c_str());
                return 0.0;
            }
            cpu += r.cpu;
            bytes += double(sizes[done % files.size()]);
            ++done;
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        }
        line(name, done, bytes / 1e6, seconds, cpu);
        return double(done) / cpu;
    };
    const double processRate =
        perPage("quillan-convert --readable per page", {convert, "--readable"}, {"-o", "/dev/null"});
    const double w3mRate = perPage("w3m -dump per page", {"w3m", "-dump", "-T", "text/html"}, {});
    if (processRate > 0)
        std::printf("archive road --readable against one quillan-convert per page: %.1fx gzip, %.1fx plain "
                    "(target 20x)\n",
                    gzRate / processRate, plainRate / processRate);
    if (w3mRate > 0)
        std::printf("archive road --readable against w3m -dump per page: %.1fx gzip, %.1fx plain\n", gzRate / w3mRate,
                    plainRate / w3mRate);
    std::printf("archive road --readable: %.1f MB/s (gzip), %.1f MB/s (plain) of HTML on one core (target 300 MB/s)\n",
                gzMbps, plainMbps);
    std::error_code error;
    fs::remove_all(work, error);
}

} // namespace

int main(int argc, char **argv)
{
    double targetMb = 256;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--mb") == 0)
            targetMb = std::atof(argv[i + 1]);

    // One core for every road.
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu() >= 0 ? sched_getcpu() : 0, &one);
    sched_setaffinity(0, sizeof one, &one);

    const fs::path corpus = fs::path(QUILLAN_TEXT_CORPUS) / "pages";
    std::vector<fs::path> files;
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(corpus, error))
        if (entry.path().extension() == ".html")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::printf("no pages under %s\n", corpus.c_str());
        return 77;
    }
    std::printf("bench_warc: rates by the programs' CPU time (the wall clock counts other work on a shared "
                "machine); peak memory is the program's own high-water mark\n");
    benchPages("all corpus pages", files, targetMb);
    // Where one process per page costs most: the small pages alone.
    std::vector<fs::path> small;
    for (const fs::path &f : files)
        if (fs::file_size(f, error) < 100 * 1000)
            small.push_back(f);
    if (!small.empty())
        benchPages("corpus pages under 100 kB", small, targetMb / 8);
    return 0;
}
