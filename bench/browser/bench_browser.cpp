// Opening the browser: Quillan's way (the browser module loaded on first
// use, its window opened on the local page quillan.htm as "Open Browser"
// does) against a bare program linked with the engine showing one web view
// on the same file, until the page has finished loading. Each opening is a
// process of its own (the engine starts once per process), alternately,
// after one warm-up of each.
//
// Target: Quillan's opening within 1.5x the bare one. Also reported: the
// memory of the program with the browser open, alone and with the engine's
// helper processes.
//
//   bench_browser [RUNS]      (default 7 of each)
//
// Needs an X server; without DISPLAY it runs itself again under xvfb-run.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

struct Program {
    const char *label;
    QString path;
    std::vector<double> ms;
    std::vector<long> rssKb;
    std::vector<long> treeRssKb;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long median(std::vector<long> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool measure(Program &program, const QString &page, bool keep)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    child.start(program.path, {page});
    QByteArray out;
    while (!out.contains('\n') && child.waitForReadyRead(60000))
        out += child.readAllStandardOutput();
    const double ms = clock.nsecsElapsed() / 1e6;
    child.waitForFinished(30000);
    const QList<QByteArray> fields = out.trimmed().split(' ');
    if (fields.size() != 3 || fields[0] != "loaded") {
        std::fprintf(stderr, "%s: no page loaded (exit %d)\n", program.label, child.exitCode());
        return false;
    }
    if (keep) {
        program.ms.push_back(ms);
        program.rssKb.push_back(fields[1].toLong());
        program.treeRssKb.push_back(fields[2].toLong());
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && !qEnvironmentVariableIsSet("BENCH_BROWSER_UNDER_XVFB")) {
        setenv("BENCH_BROWSER_UNDER_XVFB", "1", 1);
        std::vector<char *> args{const_cast<char *>("xvfb-run"), const_cast<char *>("-a")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("xvfb-run", args.data());
        std::perror("xvfb-run");
        return 1;
    }
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    qputenv("QT_QPA_PLATFORM", "xcb");
    // The engine will not start sandboxed as root; both sides alike.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    const QString page = QCoreApplication::applicationDirPath() + QStringLiteral("/quillan.htm");
    if (!QFileInfo(page).isFile()) {
        std::fprintf(stderr, "no %s\n", qPrintable(page));
        return 1;
    }
    Program quillan{"Quillan browser window", QStringLiteral(BROWSER_CHILD_QUILLAN), {}, {}, {}};
    Program bare{"bare web view", QStringLiteral(BROWSER_CHILD_BARE), {}, {}, {}};

    for (int run = 0; run <= runs; ++run) {
        const bool keep = run > 0; // the first of each warms the caches
        if (!measure(quillan, page, keep) || !measure(bare, page, keep))
            return 1;
    }

    const double q = median(quillan.ms);
    const double b = median(bare.ms);
    std::printf("opening the local page until it has loaded, median of %d runs each:\n", runs);
    std::printf("  %-24s %8.1f ms\n", quillan.label, q);
    std::printf("  %-24s %8.1f ms\n", bare.label, b);
    std::printf("  ratio %.2f (target <= 1.5)\n", q / b);
    std::printf("memory with the page open (resident, median):\n");
    std::printf("  %-24s %6ld MB program, %6ld MB with the engine's processes\n", quillan.label,
                median(quillan.rssKb) / 1024, median(quillan.treeRssKb) / 1024);
    std::printf("  %-24s %6ld MB program, %6ld MB with the engine's processes\n", bare.label, median(bare.rssKb) / 1024,
                median(bare.treeRssKb) / 1024);
    return q / b <= 1.5 ? 0 : 1;
}
