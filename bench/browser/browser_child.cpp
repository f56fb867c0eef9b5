// One opening of a browser on Quillan's local page, timed by bench_browser:
//
//   browser_child_quillan PAGE   the program's way: the browser module loaded
//                                on first use, its window opened on PAGE as
//                                "Open Browser" does;
//   browser_child_bare PAGE      the baseline: a program linked with the
//                                engine showing one web view on PAGE.
//
// Prints "loaded <rss-kB> <rss-kB-with-engine-processes>" once the page has
// finished loading, then exits.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <cstdio>
#include <functional>

#if defined(BROWSER_CHILD_BARE)
#include <QWebEngineView>
#else
#include "gui/browser/BrowserModule.h"
#include "gui/shell/MainWindowHost.h"
#endif

namespace {

long rssKb(const QString &pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

QString parentOf(const QString &pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    return QString::fromLatin1(text.mid(close + 2).split(' ').value(1));
}

// This process and every process below it (the engine's helpers).
long treeRssKb()
{
    const QString self = QString::number(QCoreApplication::applicationPid());
    long total = 0;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        if (pid.toLongLong() <= 0)
            continue;
        for (QString p = pid; !p.isEmpty() && p != QLatin1String("0") && p != QLatin1String("1"); p = parentOf(p)) {
            if (p == self) {
                total += rssKb(pid);
                break;
            }
        }
    }
    return total;
}

void report()
{
    std::printf("loaded %ld %ld\n", rssKb(QStringLiteral("self")), treeRssKb());
    std::fflush(stdout);
    QCoreApplication::exit(0);
}

// Calls done() once `window`'s title becomes `title`.
class TitleWatch : public QObject {
public:
    TitleWatch(QWidget *window, QString title, std::function<void()> done)
        : window_(window), title_(std::move(title)), done_(std::move(done))
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == window_ && event->type() == QEvent::WindowTitleChange && window_->windowTitle() == title_ &&
            done_) {
            auto done = std::move(done_);
            done_ = nullptr;
            QTimer::singleShot(0, done);
        }
        return false;
    }

private:
    QWidget *window_;
    QString title_;
    std::function<void()> done_;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    const QString page = QString::fromLocal8Bit(argv[1]);
    QApplication app(argc, argv);
    QTimer::singleShot(60000, [] { QCoreApplication::exit(3); });

#if defined(BROWSER_CHILD_BARE)
    QWebEngineView view;
    view.resize(771, 470);
    QObject::connect(&view, &QWebEngineView::loadFinished, [] { report(); });
    view.show();
    view.load(QUrl::fromLocalFile(page));
#else
    BrowserWindow *browser = BrowserModule::window(MainWindowHost::instance());
    if (!browser) {
        std::fprintf(stderr, "%s\n", qPrintable(BrowserModule::loadError()));
        return 1;
    }
    TitleWatch watch(browser->widget(), QStringLiteral("Welcome to Quillan"), [] { report(); });
    browser->openStartPage(page);
#endif
    return app.exec();
}
