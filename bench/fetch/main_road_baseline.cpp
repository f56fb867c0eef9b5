#include "main_road_baseline.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace benchfetch {

namespace fs = std::filesystem;

Timing runTimed(const std::vector<std::string> &argv)
{
    Timing timing;
    std::vector<std::string> args = argv;
    std::vector<char *> argp;
    for (std::string &a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execvp(argp[0], argp.data());
        ::_exit(127);
    }
    if (pid < 0)
        return timing;
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            return timing;
    timing.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    timing.peakKb = usage.ru_maxrss;
    timing.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return timing;
}

bool writeBenchPage(const fs::path &benchConverter, const fs::path &page, unsigned megabytes, bool crlf)
{
    return runTimed({benchConverter.string(), "--page", page.string(), std::to_string(megabytes), crlf ? "crlf" : "lf"})
               .ok &&
           fs::exists(page);
}

Baseline curlAndConvert(const std::string &url, const fs::path &folder, const fs::path &quillanConvert)
{
    Baseline run;
    const fs::path page = folder / "baseline.html";
    run.fetch = runTimed({"curl", "-s", "-o", page.string(), url});
    if (run.fetch.ok)
        run.convert = runTimed({quillanConvert.string(), page.string()});
    std::error_code ec;
    fs::remove(page, ec);
    fs::remove(folder / "baseline.TXT", ec);
    return run;
}

} // namespace benchfetch
