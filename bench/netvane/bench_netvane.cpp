// Netvane through the component runtime: creation by ProgID the first time
// (with the library load) and warm, and one late-bound property read.
// Targets: property read under 50 us, warm creation under 50 us.
//
// Runs against a throw-away registry folder; the library and regsvr are
// taken from this program's own folder (<build>/bin).
#include "netvane/netvane_ids.h"
#include "platform/com/activation.h"
#include "platform/com/com.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace platform;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

struct Stats {
    double mean = 0, median = 0, p99 = 0;
};

Stats summarize(std::vector<double> samples)
{
    Stats s;
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double v : samples)
        sum += v;
    s.mean = sum / static_cast<double>(samples.size());
    s.median = samples[samples.size() / 2];
    s.p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    return s;
}

void report(const char *what, const Stats &s, double target)
{
    std::printf("%-34s mean %8.2f us  median %8.2f us  p99 %8.2f us  target < %.0f us: %s\n", what, s.mean, s.median,
                s.p99, target, s.mean < target ? "met" : "NOT met");
}

} // namespace

int main()
{
    const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
    const fs::path library = bin / "netvane.so";
    const fs::path regsvr = bin / "regsvr";
    char tmpl[] = "/tmp/bench-netvane-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string registryDir = tmpl;
    setenv("QUILLAN_REGISTRY_DIR", registryDir.c_str(), 1);
    // Registration runs in a separate process so that this one loads the
    // library for the first time when it creates the object.
    const std::string command = "'" + regsvr.string() + "' '" + library.string() + "' >/dev/null";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench_netvane: registering %s failed\n", library.c_str());
        fs::remove_all(registryDir);
        return 1;
    }

    int status = 0;
    auto t0 = Clock::now();
    IDispatch *first = nullptr;
    HRESULT hr = CreateObjectByName(netvane::kProgID, IID_IDispatch, reinterpret_cast<void **>(&first));
    const double firstCreation = microseconds(Clock::now() - t0);
    if (FAILED(hr)) {
        std::fprintf(stderr, "bench_netvane: creation failed: %s\n", HResultHex(hr).c_str());
        fs::remove_all(registryDir);
        return 1;
    }
    std::printf("%-34s %8.2f us (one run; no target)\n", "first creation (library load)", firstCreation);

    // Warm creation: the library stays loaded because `first` is alive.
    std::vector<double> creations;
    for (int i = 0; i < 2000; ++i) {
        auto t = Clock::now();
        IDispatch *d = nullptr;
        hr = CreateObjectByName(netvane::kProgID, IID_IDispatch, reinterpret_cast<void **>(&d));
        creations.push_back(microseconds(Clock::now() - t));
        if (FAILED(hr))
            return 1;
        d->Release();
    }
    Stats warm = summarize(creations);
    report("warm creation by ProgID", warm, 50);

    std::vector<double> reads;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (int i = 0; i < 2000; ++i) {
        VARIANT v;
        VariantInit(&v);
        auto t = Clock::now();
        hr = first->Invoke(netvane::DISPID_ConnectedOnline, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr,
                           nullptr);
        reads.push_back(microseconds(Clock::now() - t));
        if (FAILED(hr))
            return 1;
    }
    Stats read = summarize(reads);
    report("late-bound ConnectedOnline read", read, 50);

    first->Release();
    CoFreeUnusedLibraries();
    fs::remove_all(registryDir);
    if (warm.mean >= 50 || read.mean >= 50)
        status = 1;
    return status;
}
