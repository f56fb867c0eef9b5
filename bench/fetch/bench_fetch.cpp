// Fetching and converting a large page served on loopback: the program's
// retrieval (Inet, the page buffer, the private page file) followed by the
// converter, against `curl -s -o FILE` followed by `quillan-convert FILE`,
// in the same run on the same page. Reports the best of several runs, the
// ratio, and peak memory.
//
// Usage: bench_fetch [MEGABYTES]   (default 10; CR LF line ends)
#include "conversion/PageRetrieval.h"
#include "conversion/converter.h"
#include "inet/inet.h"
#include "main_road_baseline.h"
#include "support/HttpTestServer.h"
#include "support/environment.h"
#include "support/files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

namespace fs = std::filesystem;

// One fetch and conversion as the command does it, without windows; the
// page and text files are removed afterwards. Seconds, or a negative value
// when something failed.
double programRun(platform::Inet &inet, const QString &url, std::size_t expectedBytes)
{
    QElapsedTimer clock;
    clock.start();
    if (!PageRetrieval::RunFetch(inet, url).ok || std::size_t(PageRetrieval::ReceivedBytes()) != expectedBytes)
        return -1;
    const QString page = PageRetrieval::MakeFetchedPagePath();
    if (!PageRetrieval::WritePageFile(page))
        return -1;
    fs::path text;
    try {
        text = quillan::convertHtmlFile(fs::path(QFile::encodeName(page).toStdString()));
    } catch (const quillan::ConversionError &) {
        return -1;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    PageRetrieval::ClearPageBuffer();
    std::error_code ec;
    fs::remove(text, ec);
    fs::remove(fs::path(QFile::encodeName(page).toStdString()), ec);
    return seconds;
}

long selfPeakKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const unsigned megabytes = argc > 1 ? unsigned(std::strtoul(argv[1], nullptr, 10)) : 10;
    const int runs = 7;
    testsupport::clearProxyEnvironment();
    testsupport::TempDir folder;
    qputenv("TMPDIR", folder.path().string().c_str());

    const fs::path source = folder / "source.html";
    if (!benchfetch::writeBenchPage(BENCH_CONVERTER, source, megabytes, true)) {
        std::fprintf(stderr, "bench_fetch: cannot write the page with %s\n", BENCH_CONVERTER);
        return 1;
    }
    const std::string bytes = testsupport::readFile(source);
    testsupport::HttpTestServer server;
    server.route("/page.html", testsupport::HttpResponse::html(bytes));
    const std::string url = server.url("/page.html");

    platform::Inet inet;
    QObject::connect(&inet, &platform::Inet::StateChanged,
                     [&](short state) { PageRetrieval::ReadCompletedResponse(inet, state); });

    std::printf("fetch and convert a %.1f MB CR LF page from 127.0.0.1 (best of %d runs)\n",
                double(bytes.size()) / (1 << 20), runs);
    double best = 1e9, baseline = 1e9, baseFetch = 0, baseConvert = 0;
    long childPeak = 0;
    for (int i = 0; i <= runs; ++i) { // the first round warms up and is not counted
        const benchfetch::Baseline base = benchfetch::curlAndConvert(url, folder.path(), QUILLAN_CONVERT);
        const double ours = programRun(inet, QString::fromStdString(url), bytes.size());
        if (!base.ok() || ours < 0) {
            std::fprintf(stderr, "bench_fetch: a run failed (curl/convert %d/%d, program %s)\n", base.fetch.ok,
                         base.convert.ok, ours < 0 ? "failed" : "ok");
            return 1;
        }
        if (i == 0)
            continue;
        best = std::min(best, ours);
        if (base.seconds() < baseline) {
            baseline = base.seconds();
            baseFetch = base.fetch.seconds;
            baseConvert = base.convert.seconds;
        }
        childPeak = std::max({childPeak, base.fetch.peakKb, base.convert.peakKb});
    }
    std::printf("  baseline curl + quillan-convert: %8.1f ms  (curl %.1f ms, convert %.1f ms)\n", baseline * 1e3,
                baseFetch * 1e3, baseConvert * 1e3);
    std::printf("  Inet + page file + converter:    %8.1f ms  ratio %.2f\n", best * 1e3, best / baseline);
    std::printf("  peak memory: this process %ld KB (the served page included), largest baseline child %ld KB\n",
                selfPeakKb(), childPeak);
    PageRetrieval::RemoveFetchedPagesFolder();
    return 0;
}
