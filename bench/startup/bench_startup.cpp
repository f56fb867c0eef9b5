// Start-up: from starting Quillan to its splash being on screen, against a
// minimal Qt Widgets program putting up one window, in the same run. Both
// are started as separate processes, alternately, with the shown-mark probe
// (tests/support/startup_probe.h) reporting when their window has been
// exposed and painted.
//
// Target: the splash within 2x the minimal program's time.
//
//   bench_startup [RUNS]        (default 15 runs of each, after one warm-up)
//
// The programs run offscreen unless QT_QPA_PLATFORM says otherwise, e.g.
//   QT_QPA_PLATFORM=xcb xvfb-run -a bench_startup

#include "support/startup_probe.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using testsupport::probeStartup;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Program {
    const char *label;
    std::string path;
    std::string window;
    std::vector<double> ms;
};

bool measure(Program &program, bool keep)
{
    const testsupport::StartupProbe probe = probeStartup({program.path}, program.window, 60000);
    if (!probe.shown) {
        std::fprintf(stderr, "%s: window %s not shown (status %d)\n%s", program.label, program.window.c_str(),
                     probe.status, probe.err.c_str());
        return false;
    }
    if (keep)
        program.ms.push_back(probe.ms);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    Program baseline{"minimal Qt window", STARTUP_BASELINE, "baseline", {}};
    Program quillan{"Quillan splash", QUILLAN_PROGRAM, "frmSplash", {}};

    for (int i = -1; i < runs; ++i) {
        if (!measure(baseline, i >= 0) || !measure(quillan, i >= 0))
            return 1;
    }
    const double base = median(baseline.ms);
    const double splash = median(quillan.ms);
    const double ratio = splash / base;
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    std::printf("process start to window on screen (%s), median of %d runs each:\n",
                platform && *platform ? platform : "offscreen", runs);
    std::printf("  %-20s %8.1f ms (min %.1f, max %.1f)\n", baseline.label, base,
                *std::min_element(baseline.ms.begin(), baseline.ms.end()),
                *std::max_element(baseline.ms.begin(), baseline.ms.end()));
    std::printf("  %-20s %8.1f ms (min %.1f, max %.1f)\n", quillan.label, splash,
                *std::min_element(quillan.ms.begin(), quillan.ms.end()),
                *std::max_element(quillan.ms.begin(), quillan.ms.end()));
    std::printf("  ratio %.2fx (target <= 2x): %s\n", ratio, ratio <= 2.0 ? "met" : "MISSED");
    return 0;
}
