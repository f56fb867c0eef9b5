// The main road as the user meets it: a large CR LF page served on loopback,
// from pressing "HTML to Text" in the main window (address mode) to its text
// on screen in the viewer, against `curl -s -o FILE` followed by
// `quillan-convert FILE` on the same page in the same run. Reports the best
// of several runs, the ratio (target: at most 2), and peak memory.
//
// "On screen" is the viewer shown with the first part of its text painted:
// the first paint of the viewer's text area while it holds text.
//
// The windows run in-process (offscreen unless QT_QPA_PLATFORM says
// otherwise). Netvane is registered into a registry of the benchmark's own;
// run as root, the process first moves into a network namespace of its own
// with a veth default route, so that Netvane reports the machine online
// whatever the host's network.
//
// Usage: bench_main_road [MEGABYTES]   (default 10)
#include "gui/shell/MainWindow.h"
#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "main_road_baseline.h"
#include "support/HttpTestServer.h"
#include "support/environment.h"
#include "support/files.h"
#include "support/process.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The application notes the first paint of the viewer's text area that
// shows text, then closes the viewer so that the command can end.
class RoadApplication : public QApplication {
public:
    using QApplication::QApplication;

    QElapsedTimer clock;
    qint64 viewerShownNs = -1; // the viewer window shown (fetched and converted by then)
    qint64 onScreenNs = -1;
    qint64 shownTextBytes = -1;
    QStringList messages;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const bool paint = event->type() == QEvent::Paint;
        const bool show = event->type() == QEvent::Show;
        const bool result = QApplication::notify(receiver, event);
        if (show && viewerShownNs < 0 && qobject_cast<ViewerWindow *>(receiver))
            viewerShownNs = clock.nsecsElapsed();
        if (paint && onScreenNs < 0) {
            ViewerWindow *view = FormInstance<ViewerWindow>::ifLoaded();
            if (view && view->isVisible() && receiver == view->txtHTML->viewport() && textAtTop(*view)) {
                onScreenNs = clock.nsecsElapsed();
                shownTextBytes = QFileInfo(view->txtHTML->FileName()).size();
                QTimer::singleShot(0, view, [v = QPointer<ViewerWindow>(view)] {
                    if (v)
                        v->close();
                });
            }
        }
        return result;
    }

private:
    static bool textAtTop(ViewerWindow &view)
    {
        return !view.txtHTML->cursorForPosition(QPoint(2, 2)).block().text().isEmpty();
    }
};

// The peak resident memory of this process, reset with resetPeak().
long peakKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

bool resetPeak()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear.flush());
}

struct RoadTiming {
    double seconds = -1;     // to the text on screen; negative: the road failed
    double viewerShown = -1; // to the viewer window being shown
};

// One press of "HTML to Text" with the address in the box. Fails when a
// message box came instead of the text, or nothing within a minute.
RoadTiming programRun(RoadApplication &app, MainWindow &main, const QString &url, qint64 expectedTextBytes)
{
    app.viewerShownNs = -1;
    app.onScreenNs = -1;
    app.shownTextBytes = -1;
    app.messages.clear();
    main.txtURL->setText(url);

    // Message boxes are answered; nothing else is expected.
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&app] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            app.messages << box->text();
            box->accept();
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (ViewerWindow *view = FormInstance<ViewerWindow>::ifLoaded())
            view->close();
    });
    watcher.start();
    guard.start(60000);

    QEventLoop untilEnded;
    QObject::connect(&main, &MainWindow::commandEnded, &untilEnded, &QEventLoop::quit);
    app.clock.start();
    main.btnHTMLtoText->click();
    if (main.commandRunning())
        untilEnded.exec(); // until the viewer has been closed
    if (app.onScreenNs < 0 || !app.messages.isEmpty() || app.shownTextBytes != expectedTextBytes) {
        std::fprintf(stderr, "bench_main_road: the road failed (text %s, %lld of %lld bytes)%s%s\n",
                     app.onScreenNs < 0 ? "never on screen" : "on screen", static_cast<long long>(app.shownTextBytes),
                     static_cast<long long>(expectedTextBytes), app.messages.isEmpty() ? "" : ": ",
                     qPrintable(app.messages.join(QStringLiteral(" / "))));
        return {};
    }
    return {double(app.onScreenNs) / 1e9, double(app.viewerShownNs) / 1e9};
}

} // namespace

int main(int argc, char **argv)
{
    // Before any thread exists, so that every later thread is in it too.
    bool ownNamespace = false;
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0)
        ownNamespace = testsupport::netns::addVethWithDefaultRoute();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testsupport::clearProxyEnvironment();
    testsupport::TempDir folder;
    fs::create_directories(folder / "registry");
    fs::create_directories(folder / "tmp");
    fs::create_directories(folder / "runtime");
    fs::permissions(folder / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    qputenv("XDG_RUNTIME_DIR", (folder / "runtime").string().c_str());
    qputenv("QUILLAN_REGISTRY_DIR", (folder / "registry").string().c_str());
    qputenv("TMPDIR", (folder / "tmp").string().c_str());

    RoadApplication app(argc, argv);
    const unsigned megabytes = argc > 1 ? unsigned(std::strtoul(argv[1], nullptr, 10)) : 10;
    const int runs = 5;

    if (testsupport::runProgram({REGSVR_TOOL, NETVANE_LIBRARY}).status != 0) {
        std::fprintf(stderr, "bench_main_road: cannot register %s\n", NETVANE_LIBRARY);
        return 1;
    }

    const fs::path source = folder / "source.html";
    if (!benchfetch::writeBenchPage(BENCH_CONVERTER, source, megabytes, true)) {
        std::fprintf(stderr, "bench_main_road: cannot write the page with %s\n", BENCH_CONVERTER);
        return 1;
    }
    // The text the viewer must show: quillan-convert's own for the page.
    if (testsupport::runProgram({QUILLAN_CONVERT, source.string()}).status != 0) {
        std::fprintf(stderr, "bench_main_road: quillan-convert failed on the page\n");
        return 1;
    }
    const qint64 textBytes = qint64(fs::file_size(folder / "source.TXT"));
    fs::remove(folder / "source.TXT");

    const std::string bytes = testsupport::readFile(source);
    testsupport::HttpTestServer server;
    server.route("/page.html", testsupport::HttpResponse::html(bytes));
    const std::string url = server.url("/page.html");

    MainWindow &main = FormInstance<MainWindow>::get();
    const MainWindow::ConnectionReading reading = main.readConnectedOnline();
    if (!reading.online) {
        std::fprintf(stderr, "bench_main_road: the machine is offline%s%s\n", reading.cause.isEmpty() ? "" : ": ",
                     qPrintable(reading.cause));
        return ownNamespace ? 1 : 77;
    }
    main.show();
    if (!QTest::qWaitForWindowExposed(&main)) {
        std::fprintf(stderr, "bench_main_road: the main window was not shown\n");
        return 1;
    }

    std::printf("a %.1f MB CR LF page from 127.0.0.1, \"HTML to Text\" to its text on screen (best of %d runs)%s\n",
                double(bytes.size()) / (1 << 20), runs, ownNamespace ? "" : " [host network]");
    const long restKb = peakKb();
    RoadTiming best{1e9, 0};
    double baseline = 1e9, baseFetch = 0, baseConvert = 0;
    long childPeak = 0, roadPeak = 0;
    for (int i = 0; i <= runs; ++i) { // the first round warms up and is not counted
        const benchfetch::Baseline base = benchfetch::curlAndConvert(url, folder.path(), QUILLAN_CONVERT);
        resetPeak();
        const RoadTiming ours = programRun(app, main, QString::fromStdString(url), textBytes);
        roadPeak = std::max(roadPeak, peakKb());
        if (!base.ok() || ours.seconds < 0) {
            std::fprintf(stderr, "bench_main_road: a run failed (curl/convert %d/%d, program %s)\n", base.fetch.ok,
                         base.convert.ok, ours.seconds < 0 ? "failed" : "ok");
            return 1;
        }
        if (i == 0)
            continue;
        if (ours.seconds < best.seconds)
            best = ours;
        if (base.seconds() < baseline) {
            baseline = base.seconds();
            baseFetch = base.fetch.seconds;
            baseConvert = base.convert.seconds;
        }
        childPeak = std::max({childPeak, base.fetch.peakKb, base.convert.peakKb});
    }
    const double ratio = best.seconds / baseline;
    std::printf("  baseline curl + quillan-convert: %8.1f ms  (curl %.1f ms, convert %.1f ms)\n", baseline * 1e3,
                baseFetch * 1e3, baseConvert * 1e3);
    std::printf("  \"HTML to Text\" to text on screen: %7.1f ms  ratio %.2f (target <= 2): %s\n", best.seconds * 1e3,
                ratio, ratio <= 2.0 ? "met" : "MISSED");
    std::printf("    of which fetched, written and converted until the viewer shows: %.1f ms\n",
                best.viewerShown * 1e3);
    std::printf("  peak memory: %ld KB during a run (%ld KB at rest with the page served), largest baseline child "
                "%ld KB\n",
                roadPeak, restKb, childPeak);
    main.close();
    QCoreApplication::processEvents();
    return 0;
}
