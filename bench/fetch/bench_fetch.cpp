// Fetching and converting a large page served on loopback: the program's
// conversion job (the body streamed into the private page file, then the
// converter), against `curl -s -o FILE` followed by `quillan-convert FILE`,
// in the same run on the same page. Reports the best of several runs, the
// ratio, and peak memory.
//
// Usage: bench_fetch [MEGABYTES]   (default 10; CR LF line ends)
#include "convert/converter.h"
#include "main_road_baseline.h"
#include "net/ConversionJob.h"
#include "net/PageRetrieval.h"
#include "support/HttpTestServer.h"
#include "support/environment.h"
#include "support/files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

namespace fs = std::filesystem;

// One fetch and conversion by the job the command uses, without windows;
// the text is removed afterwards. Seconds, or a negative value when
// something failed.
double programRun(quillan::net::ConversionJob &job, const QString &url, std::size_t expectedBytes)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QString text;
    qint64 received = 0;
    bool ok = false;
    const auto progress = QObject::connect(&job, &quillan::net::ConversionJob::progress, &loop,
                                           [&received](qint64 count) { received = count; });
    const auto ready = QObject::connect(&job, &quillan::net::ConversionJob::textReady, &loop, [&](const QString &path) {
        text = path;
        ok = true;
        loop.quit();
    });
    const auto failed = QObject::connect(&job, &quillan::net::ConversionJob::failed, &loop, [&loop] { loop.quit(); });
    if (!job.convertAddress(url))
        return -1;
    loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    QObject::disconnect(progress);
    QObject::disconnect(ready);
    QObject::disconnect(failed);
    QFile::remove(text);
    return ok && std::size_t(received) == expectedBytes ? seconds : -1;
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

    quillan::net::ConversionJob job;

    std::printf("fetch and convert a %.1f MB CR LF page from 127.0.0.1 (best of %d runs)\n",
                double(bytes.size()) / (1 << 20), runs);
    double best = 1e9, baseline = 1e9, baseFetch = 0, baseConvert = 0;
    long childPeak = 0;
    for (int i = 0; i <= runs; ++i) { // the first round warms up and is not counted
        const benchfetch::Baseline base = benchfetch::curlAndConvert(url, folder.path(), QUILLAN_CONVERT);
        const double ours = programRun(job, QString::fromStdString(url), bytes.size());
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
    std::printf("  conversion job:                  %8.1f ms  ratio %.2f\n", best * 1e3, best / baseline);
    std::printf("  peak memory: this process %ld KB (the served page included), largest baseline child %ld KB\n",
                selfPeakKb(), childPeak);
    quillan::net::PageRetrieval::RemoveFetchedPagesFolder();
    return 0;
}
