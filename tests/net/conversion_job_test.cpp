// The conversion job without any window: both roads, the body streamed to
// the page file while the count rises, the size cap, the silence and overall
// time-outs, cancelling and destroying at any moment, and the files left (or
// not) afterwards. Pages come from a server the test runs on 127.0.0.1.

#include "convert/converter.h"
#include "net/ConversionJob.h"
#include "net/PageRetrieval.h"
#include "platform/registry/registry.h"
#include "support/HttpTestServer.h"
#include "support/environment.h"
#include "support/files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

using quillan::net::ConversionJob;
using quillan::text::Kind;
using testsupport::HttpResponse;
using testsupport::HttpTestServer;

namespace {

quillan::text::Options kindOf(Kind kind)
{
    quillan::text::Options options;
    options.kind = kind;
    return options;
}

// A page of at least `bytes` bytes, one short paragraph to a line: large
// enough to be read ahead, and to be cancelled while it converts.
std::string pageOfLines(std::size_t bytes)
{
    std::string page;
    while (page.size() < bytes)
        page += "<p>some text on a line</p>\r\n";
    return page;
}

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The converter's own text for these page bytes.
QByteArray convertedBytes(const QByteArray &page, const QString &folder)
{
    const QString html = folder + QStringLiteral("/expected.html");
    QFile file(html);
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size())
        return "cannot write the expected page";
    file.close();
    const auto text = quillan::convert::convertHtmlFile(std::filesystem::path(QFile::encodeName(html).toStdString()));
    const QByteArray bytes = readAll(QString::fromStdString(text.string()));
    QFile::remove(QString::fromStdString(text.string()));
    QFile::remove(html);
    return bytes;
}

// How one run ended, recorded from the job's signals.
struct Outcome {
    QList<qint64> counts;
    QStringList progressAddresses;
    QString textPath;
    QString message;
    QString reason;
    int endings = 0;
    bool cancelled = false;
    bool endedInsideStart = false;
};

class Recorder {
public:
    explicit Recorder(ConversionJob &job)
    {
        QObject::connect(&job, &ConversionJob::progress, &job, [this](qint64 count, const QString &address) {
            outcome.counts << count;
            outcome.progressAddresses << address;
        });
        QObject::connect(&job, &ConversionJob::textReady, &job, [this](const QString &path) {
            outcome.textPath = path;
            ended();
        });
        QObject::connect(&job, &ConversionJob::failed, &job, [this](const QString &message, const QString &reason) {
            outcome.message = message;
            outcome.reason = reason;
            ended();
        });
        QObject::connect(&job, &ConversionJob::cancelled, &job, [this] {
            outcome.cancelled = true;
            ended();
        });
    }
    // Starts through start() and waits (bounded) until the run has ended.
    bool run(const std::function<bool()> &start, int timeoutMs = 20000)
    {
        starting_ = true;
        const bool started = start();
        starting_ = false;
        return started && QTest::qWaitFor([this] { return outcome.endings > 0; }, timeoutMs);
    }
    Outcome outcome;

private:
    void ended()
    {
        ++outcome.endings;
        if (starting_)
            outcome.endedInsideStart = true;
    }
    bool starting_ = false;
};

const QString UnableToRetrieve = QStringLiteral("Quillan was unable to retrieve the web page at ");
const QString ConversionFailed = QStringLiteral("Quillan could not convert the HTML file to text.");

} // namespace

class TestConversionJob : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fetchedPageIsStreamedConvertedAndHandedOver();
    void largePageConvertsOnAWorkerThread();
    void fileRoadConvertsBesideThePage();
    void fileRoadLeavesWhatIsAtTheTextPathAlone();
    void textKnowsItsPageTitleAndWhereToSave();
    void failuresCarryTheirMessageAndReason();
    void onlyHtmlAndTextResponsesAreTakenForPages();
    void sizeCapEndsTheFetchWhateverTheFraming();
    void silenceAndOverallDeadlineEndTheFetch();
    void cancelEndsWithoutMessageAndRemovesFiles();
    void cancelAfterTheWorkerHasEndedRemovesTheText();
    void destroyingTheJobAtAnyMomentRemovesItsFiles();
    void oneRunAtATime();
    void limitsComeFromTheRegistry();
    void readableModeDecodesByTheResponseCharset();
    void readableAndStrippedTextsOfOnePage();

private:
    QStringList folderEntries() const;

    std::unique_ptr<testsupport::TempDir> tmp_;
    std::unique_ptr<HttpTestServer> server_;
};

void TestConversionJob::initTestCase()
{
    testsupport::clearProxyEnvironment();
    tmp_ = std::make_unique<testsupport::TempDir>();
    qputenv("TMPDIR", tmp_->path().string().c_str());
}

void TestConversionJob::init()
{
    server_ = std::make_unique<HttpTestServer>();
}

void TestConversionJob::cleanup()
{
    server_.reset();
    QCOMPARE(folderEntries(), QStringList());
}

QStringList TestConversionJob::folderEntries() const
{
    const QString folder = quillan::net::PageRetrieval::FetchedPagesFolder();
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

void TestConversionJob::fetchedPageIsStreamedConvertedAndHandedOver()
{
    QByteArray page;
    while (page.size() < 40000)
        page += "<p>Line&nbsp;" + QByteArray::number(page.size()) + "</p>\r\n";
    HttpResponse slow = HttpResponse::html(page.toStdString());
    slow.headers.emplace_back("Content-Type", "text/html; charset=\"ISO-8859-1\"");
    slow.pieceSize = 10000;
    slow.pause = std::chrono::milliseconds(30);
    server_->route("/slow.html", slow);
    const QString address = q(server_->url("/slow.html"));

    ConversionJob job;
    Recorder recorder(job);
    // While the body arrives, what has come so far is already in the page
    // file, not held back in memory.
    QList<qint64> onDisk;
    connect(&job, &ConversionJob::progress, this, [&](qint64 count) {
        const QStringList pages =
            QDir(quillan::net::PageRetrieval::FetchedPagesFolder()).entryList({QStringLiteral("*.html")});
        onDisk
            << (pages.size() == 1
                    ? QFileInfo(quillan::net::PageRetrieval::FetchedPagesFolder() + QLatin1Char('/') + pages[0]).size()
                    : -1);
        Q_UNUSED(count);
    });
    QVERIFY(recorder.run([&] { return job.convertAddress(address); }));
    const Outcome &o = recorder.outcome;
    QVERIFY2(o.message.isEmpty(), qPrintable(o.message + QLatin1Char('|') + o.reason));
    QVERIFY(!o.endedInsideStart);
    QCOMPARE(o.endings, 1);
    QVERIFY2(o.counts.size() >= 4, qPrintable(QString::number(o.counts.size())));
    QCOMPARE(o.counts.last(), qint64(page.size()));
    for (qsizetype i = 1; i < o.counts.size(); ++i)
        QVERIFY(o.counts[i] > o.counts[i - 1]);
    QCOMPARE(onDisk, o.counts);
    QCOMPARE(o.progressAddresses.first(), address);
    QCOMPARE(job.httpCharset(), QByteArray("ISO-8859-1"));
    QVERIFY(!job.isRunning());

    // The text lies in the private folder, alone: the page file is gone.
    QCOMPARE(QFileInfo(o.textPath).absolutePath(),
             QFileInfo(quillan::net::PageRetrieval::FetchedPagesFolder()).absoluteFilePath());
    QCOMPARE(folderEntries(), QStringList{QFileInfo(o.textPath).fileName()});
    QCOMPARE(readAll(o.textPath), convertedBytes(page, QString::fromStdString(tmp_->path().string())));
    QVERIFY(QFile::remove(o.textPath));

    // A response without a charset forgets the earlier one.
    server_->route("/plain.html", HttpResponse::html("<b>x</b>yz\r\n"));
    Recorder second(job);
    QVERIFY(second.run([&] { return job.convertAddress(q(server_->url("/plain.html"))); }));
    QCOMPARE(readAll(second.outcome.textPath), QByteArray("xyz\r\n"));
    QCOMPARE(job.httpCharset(), QByteArray());
    QVERIFY(QFile::remove(second.outcome.textPath));
}

void TestConversionJob::largePageConvertsOnAWorkerThread()
{
    std::string page;
    while (page.size() < 32 * 1024 * 1024)
        page += "<tr><td>cell</td><td>" + std::to_string(page.size()) + "</td></tr>\r\n";
    server_->route("/large.html", HttpResponse::html(page));

    // The conversion runs while this thread keeps turning its event loop:
    // a probe on this thread sees the converter's fresh text file, which
    // exists only while the converter writes it (any file in the folder but
    // the page and its final text).
    ConversionJob job;
    Recorder recorder(job);
    bool loopTurnedDuringConversion = false;
    QTimer probe;
    probe.setInterval(0);
    connect(&probe, &QTimer::timeout, this, [&] {
        for (const QString &name : folderEntries()) {
            if (!name.endsWith(QLatin1String(".html")) && !name.endsWith(QLatin1String(".TXT")))
                loopTurnedDuringConversion = true;
        }
    });
    probe.start();
    QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/large.html"))); }, 60000));
    probe.stop();
    QVERIFY2(recorder.outcome.message.isEmpty(), qPrintable(recorder.outcome.reason));
    QVERIFY(loopTurnedDuringConversion);
    QCOMPARE(readAll(recorder.outcome.textPath),
             convertedBytes(QByteArray::fromStdString(page), QString::fromStdString(tmp_->path().string())));
    QVERIFY(QFile::remove(recorder.outcome.textPath));
}

void TestConversionJob::fileRoadConvertsBesideThePage()
{
    testsupport::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    const QByteArray page = "<html>\r\n<p>File&nbsp;road</p>\r\n</html>\r\n";
    QFile html(folder + QStringLiteral("/my.page.html"));
    QVERIFY(html.open(QIODevice::WriteOnly));
    html.write(page);
    html.close();

    ConversionJob job;
    Recorder recorder(job);
    QVERIFY(recorder.run([&] { return job.convertFile(html.fileName()); }));
    QVERIFY(!recorder.outcome.endedInsideStart);
    QCOMPARE(recorder.outcome.textPath, folder + QStringLiteral("/my.TXT"));
    QCOMPARE(readAll(recorder.outcome.textPath), QByteArray("File road\r\n"));
    QVERIFY(QFile::exists(html.fileName())); // the user's page stays
    QVERIFY(recorder.outcome.counts.isEmpty());
    QVERIFY(!job.textIsPrivate());
}

void TestConversionJob::fileRoadLeavesWhatIsAtTheTextPathAlone()
{
    testsupport::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    const QByteArray page = "<html>\r\n<p>Fresh text</p>\r\n</html>\r\n";
    const QString html = folder + QStringLiteral("/page.html");
    const QString text = folder + QStringLiteral("/page.TXT");
    testsupport::writeFile(dir.path() / "page.html", page.toStdString());
    const QString privateFolder = QFileInfo(quillan::net::PageRetrieval::FetchedPagesFolder()).absoluteFilePath();

    // The user's own notes, a folder, a link to nowhere: each stays as it
    // was, and the text goes to a new file of the private folder, in both
    // modes.
    const auto notes = [&] { testsupport::writeFile(dir.path() / "page.TXT", "my own notes\r\n"); };
    const auto subfolder = [&] { QVERIFY(QDir(folder).mkdir(QStringLiteral("page.TXT"))); };
    const auto dangling = [&] { QVERIFY(QFile::link(folder + QStringLiteral("/nowhere"), text)); };
    const struct {
        const char *what;
        std::function<void()> make;
        Kind kind;
        QByteArray expected;
    } cases[] = {{"notes", notes, Kind::Stripped, "Fresh text\r\n"},
                 {"notes, readable", notes, Kind::Readable, "Fresh text\n"},
                 {"a folder", subfolder, Kind::Stripped, "Fresh text\r\n"},
                 {"a dangling link", dangling, Kind::Stripped, "Fresh text\r\n"}};
    QStringList madeBefore;
    for (const auto &c : cases) {
        c.make();
        const QFileInfo before(text);
        const QByteArray beforeBytes = readAll(text);
        ConversionJob job;
        job.setTextOptions(kindOf(c.kind));
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertFile(html); }));
        const Outcome &o = recorder.outcome;
        QVERIFY2(o.message.isEmpty(), qPrintable(QString::fromLatin1(c.what) + ": " + o.reason));
        QVERIFY(job.textIsPrivate());
        QCOMPARE(QFileInfo(o.textPath).absolutePath(), privateFolder);
        QVERIFY2(QFileInfo(o.textPath).fileName().endsWith(QLatin1String(".TXT")), qPrintable(o.textPath));
        QVERIFY(!madeBefore.contains(o.textPath));
        madeBefore << o.textPath;
        QCOMPARE(readAll(o.textPath), c.expected);
        QCOMPARE(QFileInfo(o.textPath).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
        // What was there is untouched.
        const QFileInfo after(text);
        QCOMPARE(after.isSymLink(), before.isSymLink());
        QCOMPARE(after.isDir(), before.isDir());
        QCOMPARE(readAll(text), beforeBytes);
        QCOMPARE(after.lastModified(), before.lastModified());
        QVERIFY(QFile::remove(o.textPath));
        if (before.isDir())
            QVERIFY(QDir(folder).rmdir(QStringLiteral("page.TXT")));
        else
            QVERIFY(QFile::remove(text));
    }

    // A failed conversion leaves no private text behind (cleanup looks), nor
    // touches the notes.
    notes();
    const QString folderPage = folder + QStringLiteral("/sub.html");
    QVERIFY(QDir(folder).mkdir(QStringLiteral("sub.html")));
    testsupport::writeFile(dir.path() / "sub.TXT", "notes of sub\r\n");
    {
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertFile(folderPage); }));
        QCOMPARE(recorder.outcome.message, ConversionFailed);
        QCOMPARE(folderEntries(), QStringList());
        QCOMPARE(readAll(folder + QStringLiteral("/sub.TXT")), QByteArray("notes of sub\r\n"));
    }

    // A large file, cancelled while its private text is being written.
    testsupport::writeFile(dir.path() / "page.html", pageOfLines(3 * 1024 * 1024));
    {
        ConversionJob job;
        Recorder recorder(job);
        connect(&job, &ConversionJob::converting, &job,
                [&job] { QTimer::singleShot(0, &job, [&job] { job.cancel(); }); });
        QVERIFY(recorder.run([&] { return job.convertFile(html); }));
        QVERIFY(recorder.outcome.cancelled);
        QCOMPARE(folderEntries(), QStringList());
        QCOMPARE(readAll(text), QByteArray("my own notes\r\n"));
    }
    // Once nothing is in the way, the text goes beside the page again.
    QVERIFY(QFile::remove(text));
    ConversionJob job;
    Recorder recorder(job);
    QVERIFY(recorder.run([&] { return job.convertFile(html); }));
    QCOMPARE(recorder.outcome.textPath, text);
    QVERIFY(!job.textIsPrivate());
}

void TestConversionJob::textKnowsItsPageTitleAndWhereToSave()
{
    // The documents folder of a home of the test's own.
    testsupport::TempDir home;
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", home.path().string().c_str());
    qputenv("XDG_CONFIG_HOME", (home.path() / "config").string().c_str());
    const QString documents = QString::fromStdString((home.path() / "Documents").string());
    QVERIFY(QDir().mkpath(documents));

    // The title in the response's charset, in every kind of text, with the
    // encoding the text is written in: the stripped text keeps the page's
    // bytes, the readable kinds write UTF-8.
    HttpResponse latin = HttpResponse::html("<html><head><title>Caf\xe9 &amp; /menu/</title></head>"
                                            "<body><p>Today</p></body></html>\r\n");
    latin.headers.emplace_back("Content-Type", "text/html; charset=iso-8859-1");
    server_->route("/menu.html", latin);
    for (const auto kind : {Kind::Stripped, Kind::Readable, Kind::Article}) {
        ConversionJob job;
        job.setTextOptions(kindOf(kind));
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/menu.html"))); }));
        QVERIFY2(recorder.outcome.message.isEmpty(), qPrintable(recorder.outcome.reason));
        QCOMPARE(job.pageTitle(), QStringLiteral("Caf\u00e9 & /menu/"));
        QCOMPARE(job.textEncoding(), kind == Kind::Stripped ? QStringLiteral("windows-1252") : QStringLiteral("UTF-8"));
        QCOMPARE(job.result().pageEncoding, std::string("windows-1252"));
        QCOMPARE(job.result().article.has_value(), kind == Kind::Article);
        QVERIFY(job.textIsPrivate());
        QCOMPARE(job.savePlace().folder, documents);
        QCOMPARE(job.savePlace().fileName, QStringLiteral("Caf\u00e9 & menu.txt"));
        QVERIFY(QFile::remove(recorder.outcome.textPath));
    }

    // No title: the address's last segment; a file: its folder and name.
    server_->route("/news/today.html", HttpResponse::html("<p>Nothing on top</p>\r\n"));
    {
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/news/today.html"))); }));
        QCOMPARE(job.pageTitle(), QString());
        QCOMPARE(job.savePlace().fileName, QStringLiteral("today.txt"));
        QVERIFY(QFile::remove(recorder.outcome.textPath));
    }
    testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "page.html", "<title>Mine</title><p>Body text</p>\r\n");
    testsupport::writeFile(dir.path() / "page.TXT", "notes\r\n");
    {
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(
            recorder.run([&] { return job.convertFile(QString::fromStdString((dir.path() / "page.html").string())); }));
        QCOMPARE(job.pageTitle(), QStringLiteral("Mine"));
        QCOMPARE(job.savePlace().folder, QString::fromStdString(dir.path().string()));
        QCOMPARE(job.savePlace().fileName, QStringLiteral("Mine.txt"));
        QVERIFY(QFile::remove(recorder.outcome.textPath));
    }
    // Markdown: its syntax is the text's, and its name ends in ".md", even
    // once the job has been set for the next run.
    {
        ConversionJob job;
        quillan::text::Options options = kindOf(Kind::Readable);
        options.syntax = quillan::text::Syntax::Markdown;
        job.setTextOptions(options);
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/menu.html"))); }));
        QVERIFY2(recorder.outcome.message.isEmpty(), qPrintable(recorder.outcome.reason));
        job.setTextOptions(kindOf(Kind::Readable));
        QCOMPARE(job.textSyntax(), quillan::text::Syntax::Markdown);
        QCOMPARE(job.savePlace().fileName, QStringLiteral("Caf\u00e9 & menu.md"));
        QVERIFY(QFile::remove(recorder.outcome.textPath));
    }
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

void TestConversionJob::failuresCarryTheirMessageAndReason()
{
    testsupport::TempDir dir;
    const QString folder = QString::fromStdString(dir.path().string());
    server_->route("/404.html", HttpResponse::html("<p>gone</p>", 404, "Not Found"));
    server_->route("/loop", HttpResponse::redirect("/loop"));
    HttpResponse reset = HttpResponse::html(std::string(5000, 'r'));
    reset.ending = HttpResponse::Ending::Reset;
    reset.stopAfter = 1000;
    server_->route("/reset.html", reset);
    const QString refused = QStringLiteral("http://127.0.0.1:%1/x.html").arg(HttpTestServer::refusedPort());
    HttpResponse notHttp;
    notHttp.raw = "<html>no status line</html>";
    server_->route("/not-http", notHttp);
    HttpResponse endless;
    endless.raw = "HTTP/1.1 200 OK\r\n" + std::string(300 * 1024, 'h');
    endless.ending = HttpResponse::Ending::Stall;
    server_->route("/endless", endless);

    const struct {
        QString address;
        QString reason; // empty: any reason, but one
    } fetches[] = {
        {q(server_->url("/404.html")), QStringLiteral("HTTP 404 Not Found")},
        {q(server_->url("/loop")), QStringLiteral("Too many redirects")},
        {q(server_->url("/reset.html")), QString()},
        {refused, QStringLiteral("Connection refused")},
        {q(server_->url("/not-http")),
         QStringLiteral("The server's reply is not HTTP: it does not start with a status line")},
        {q(server_->url("/endless")), QStringLiteral("The server's response header has a line longer than 100 KiB")},
        {QStringLiteral("gopher://127.0.0.1/x"), QStringLiteral("Unsupported scheme \"gopher\"")},
        {QStringLiteral("http://"), QString()}};
    for (const auto &fetch : fetches) {
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(fetch.address); }));
        const Outcome &o = recorder.outcome;
        QVERIFY2(!o.endedInsideStart, qPrintable(fetch.address));
        QCOMPARE(o.endings, 1);
        QVERIFY(o.textPath.isEmpty());
        QCOMPARE(o.message, UnableToRetrieve + fetch.address);
        if (fetch.reason.isEmpty())
            QVERIFY2(!o.reason.isEmpty(), qPrintable(fetch.address));
        else
            QCOMPARE(o.reason, fetch.reason);
        QCOMPARE(folderEntries(), QStringList());
    }

    // A redirect limit of the job's own.
    server_->route("/r1", HttpResponse::redirect("/r2"));
    server_->route("/r2", HttpResponse::redirect("/404.html"));
    {
        ConversionJob job;
        quillan::net::FetchLimits limits;
        limits.maxRedirects = 1;
        job.setLimits(limits);
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/r1"))); }));
        QCOMPARE(recorder.outcome.reason, QStringLiteral("Too many redirects"));
    }

    // An over-long address is refused before any request, and the message
    // does not carry all of it.
    {
        server_->clearRequests();
        const QString address = q(server_->url("/")) + QString(quillan::net::MaxAddressLength, QLatin1Char('a'));
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(address); }));
        QVERIFY(recorder.outcome.message.startsWith(UnableToRetrieve + address.left(100)));
        QVERIFY(recorder.outcome.message.size() < 1000);
        QCOMPARE(recorder.outcome.reason, QStringLiteral("The address is longer than 32,767 characters"));
        QCOMPARE(server_->requests().size(), std::size_t(0));
    }

    // File road: each failure names the file concerned. A text name one
    // byte too long for the file system cannot be made, whoever runs this.
    const QString missing = folder + QStringLiteral("/missing.html");
    const QString longName = folder + QLatin1Char('/') + QString(252, QLatin1Char('n'));
    QFile longFile(longName);
    QVERIFY(longFile.open(QIODevice::WriteOnly));
    longFile.close();
    for (const auto &[input, named] :
         {std::pair{missing, missing}, std::pair{longName, longName + ".TXT"}, std::pair{folder, folder}}) {
        ConversionJob job;
        Recorder recorder(job);
        // Named, as clang before 16 captures no structured binding.
        const QString &path = input;
        QVERIFY(recorder.run([&] { return job.convertFile(path); }));
        QCOMPARE(recorder.outcome.message, ConversionFailed);
        QVERIFY2(recorder.outcome.reason.startsWith(named + QStringLiteral(": ")), qPrintable(recorder.outcome.reason));
        QVERIFY(recorder.outcome.reason.size() > named.size() + 2);
    }
}

void TestConversionJob::onlyHtmlAndTextResponsesAreTakenForPages()
{
    const std::string page = "<p>words of the page</p>";
    const auto typed = [&](const std::string &type) {
        HttpResponse response = HttpResponse::html(page);
        response.headers.clear();
        if (!type.empty())
            response.headers = {{"Content-Type", type}};
        return response;
    };
    const struct {
        std::string type;
        QString refusedAs; // empty: converted
    } cases[] = {
        {"image/gif", QStringLiteral("image/gif")},
        {"application/pdf", QStringLiteral("application/pdf")},
        {"Application/Octet-Stream; charset=utf-8", QStringLiteral("application/octet-stream")},
        {"text/html; charset=utf-8", {}},
        {"TEXT/HTML", {}},
        {"text/plain", {}},
        {"application/xhtml+xml", {}},
        {"", {}},
        {"nonsense", {}},
    };
    int number = 0;
    for (const auto &c : cases) {
        const std::string target = "/typed" + std::to_string(++number);
        server_->route(target, typed(c.type));
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url(target))); }));
        const Outcome &o = recorder.outcome;
        if (c.refusedAs.isEmpty()) {
            QVERIFY2(!o.textPath.isEmpty(), qPrintable(q(c.type) + QStringLiteral(": ") + o.reason));
            QCOMPARE(readAll(o.textPath), QByteArray("words of the page\r\n"));
            QFile::remove(o.textPath);
        } else {
            QVERIFY(o.textPath.isEmpty());
            QCOMPARE(o.message, UnableToRetrieve + q(server_->url(target)));
            QCOMPARE(o.reason, QStringLiteral("The page is of type %1, which is not HTML or text").arg(c.refusedAs));
        }
        QCOMPARE(folderEntries(), QStringList());
    }

    // An error status keeps its own reason whatever its type; a redirect's
    // type says nothing of the page it leads to.
    HttpResponse missing = typed("image/gif");
    missing.status = 404;
    missing.reason = "Not Found";
    server_->route("/missing.gif", missing);
    HttpResponse moved = HttpResponse::redirect("/typed4");
    moved.headers.emplace_back("Content-Type", "image/gif");
    server_->route("/moved", moved);
    {
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/missing.gif"))); }));
        QCOMPARE(recorder.outcome.reason, QStringLiteral("HTTP 404 Not Found"));
    }
    {
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/moved"))); }));
        QCOMPARE(readAll(recorder.outcome.textPath), QByteArray("words of the page\r\n"));
        QFile::remove(recorder.outcome.textPath);
    }

    // The older name of gzip is decoded too, and a body that is not gzip
    // at all says so.
    server_->route("/old-gzip", HttpResponse::gzipped(page, "x-gzip"));
    HttpResponse notGzip = HttpResponse::html(page);
    notGzip.headers.emplace_back("Content-Encoding", "x-gzip");
    server_->route("/not-gzip", notGzip);
    {
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/old-gzip"))); }));
        QCOMPARE(readAll(recorder.outcome.textPath), QByteArray("words of the page\r\n"));
        QFile::remove(recorder.outcome.textPath);
    }
    {
        ConversionJob job;
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/not-gzip"))); }));
        QVERIFY(recorder.outcome.textPath.isEmpty());
        QCOMPARE(recorder.outcome.reason, QStringLiteral("Decompression failed: the body is not valid x-gzip data"));
    }
}

void TestConversionJob::sizeCapEndsTheFetchWhateverTheFraming()
{
    const std::string body(50000, 'b');
    HttpResponse announced = HttpResponse::html(body);
    HttpResponse chunked = HttpResponse::html(body);
    chunked.framing = HttpResponse::Framing::Chunked;
    chunked.pieceSize = 4000;
    HttpResponse unannounced = HttpResponse::html(body);
    unannounced.framing = HttpResponse::Framing::CloseDelimited;
    unannounced.pieceSize = 4000;
    // A body that would never end by itself.
    HttpResponse endless = HttpResponse::html(body);
    endless.framing = HttpResponse::Framing::Chunked;
    endless.pieceSize = 4000;
    endless.ending = HttpResponse::Ending::Stall;
    endless.stopAfter = 40000;
    server_->route("/announced", announced);
    server_->route("/chunked", chunked);
    server_->route("/unannounced", unannounced);
    server_->route("/endless", endless);
    server_->route("/fits", HttpResponse::html(std::string(10000, 'f')));

    quillan::net::FetchLimits limits;
    limits.maxBytes = 10000;
    for (const char *target : {"/announced", "/chunked", "/unannounced", "/endless"}) {
        ConversionJob job;
        job.setLimits(limits);
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url(target))); }));
        const Outcome &o = recorder.outcome;
        QCOMPARE(o.message, UnableToRetrieve + q(server_->url(target)));
        QCOMPARE(o.reason, QStringLiteral("The page is larger than 10,000 bytes"));
        for (qint64 count : o.counts)
            QVERIFY(count <= limits.maxBytes);
        QCOMPARE(folderEntries(), QStringList());
    }

    // Exactly the cap still fits.
    ConversionJob job;
    job.setLimits(limits);
    Recorder recorder(job);
    QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/fits"))); }));
    QVERIFY2(recorder.outcome.message.isEmpty(), qPrintable(recorder.outcome.reason));
    QCOMPARE(recorder.outcome.counts.last(), qint64(10000));
    QVERIFY(QFile::remove(recorder.outcome.textPath));

    // The default cap is 256 MiB, said in MiB.
    limits.maxBytes = quillan::net::FetchLimits().maxBytes;
    QCOMPARE(limits.maxBytes, qint64(256) * 1024 * 1024);
    HttpResponse huge = HttpResponse::html("x");
    huge.headers.emplace_back("Content-Length", std::to_string(limits.maxBytes + 1));
    huge.framing = HttpResponse::Framing::CloseDelimited;
    huge.ending = HttpResponse::Ending::Stall;
    server_->route("/huge", huge);
    ConversionJob big;
    Recorder bigRecorder(big);
    QVERIFY(bigRecorder.run([&] { return big.convertAddress(q(server_->url("/huge"))); }));
    QCOMPARE(bigRecorder.outcome.reason, QStringLiteral("The page is larger than 256 MiB"));
}

void TestConversionJob::silenceAndOverallDeadlineEndTheFetch()
{
    // A server that sends a byte now and then keeps the silence time-out
    // from ever firing; the overall deadline ends it.
    HttpResponse drip = HttpResponse::html(std::string(400, 'd'));
    drip.pieceSize = 1;
    drip.pause = std::chrono::milliseconds(20);
    server_->route("/drip", drip);
    HttpResponse stall = HttpResponse::html("never");
    stall.ending = HttpResponse::Ending::Stall;
    server_->route("/stall", stall);

    {
        ConversionJob job;
        quillan::net::FetchLimits limits;
        limits.silence = std::chrono::seconds(2);
        limits.deadline = std::chrono::seconds(1);
        job.setLimits(limits);
        Recorder recorder(job);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/drip"))); }));
        QCOMPARE(recorder.outcome.reason, QStringLiteral("Took longer than 1 second"));
        QVERIFY(!recorder.outcome.counts.isEmpty()); // data did arrive
        QVERIFY(clock.elapsed() >= 1000);
        QVERIFY(clock.elapsed() < 6000);
    }
    {
        ConversionJob job;
        quillan::net::FetchLimits limits;
        limits.silence = std::chrono::seconds(1);
        job.setLimits(limits);
        Recorder recorder(job);
        QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/stall"))); }));
        QCOMPARE(recorder.outcome.reason, QStringLiteral("Timed out after 1 second"));
    }
}

void TestConversionJob::cancelEndsWithoutMessageAndRemovesFiles()
{
    HttpResponse slow = HttpResponse::html(std::string(20000, 's'));
    slow.pieceSize = 1000;
    slow.pause = std::chrono::milliseconds(50);
    server_->route("/slow", slow);

    ConversionJob job;
    QSignalSpy idleCancel(&job, &ConversionJob::cancelled);
    job.cancel(); // idle: nothing happens
    QCOMPARE(idleCancel.count(), 0);

    Recorder recorder(job);
    connect(&job, &ConversionJob::progress, &job, [&] {
        // The page file exists while the body arrives.
        QCOMPARE(folderEntries().size(), 1);
        job.cancel();
    });
    QVERIFY(recorder.run([&] { return job.convertAddress(q(server_->url("/slow"))); }));
    QVERIFY(recorder.outcome.cancelled);
    QCOMPARE(recorder.outcome.endings, 1);
    QVERIFY(recorder.outcome.message.isEmpty());
    QCOMPARE(recorder.outcome.counts.size(), 1);
    QVERIFY(!job.isRunning());
    QCOMPARE(folderEntries(), QStringList());
    // Nothing arrives for the cancelled run afterwards.
    QTest::qWait(200);
    QCOMPARE(recorder.outcome.endings, 1);
    QCOMPARE(recorder.outcome.counts.size(), 1);

    // A large file cancelled while the worker converts it: the text goes.
    testsupport::TempDir dir;
    const QString html = QString::fromStdString((dir.path() / "big.html").string());
    QFile file(html);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray line = "<p>some text on a line</p>\r\n";
    for (int i = 0; i < 200000; ++i)
        file.write(line);
    file.close();
    Recorder fileRecorder(job);
    QVERIFY(job.convertFile(html));
    QTimer::singleShot(0, &job, [&job] { job.cancel(); }); // after the worker has started
    QVERIFY(QTest::qWaitFor([&] { return fileRecorder.outcome.endings > 0; }, 20000));
    QVERIFY(fileRecorder.outcome.cancelled);
    QVERIFY(!QFile::exists(QString::fromStdString((dir.path() / "big.TXT").string())));
    QCOMPARE(testsupport::fileNames(dir.path()), std::set<std::string>{"big.html"});
}

// The threads of this process at the moment.
int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

void TestConversionJob::cancelAfterTheWorkerHasEndedRemovesTheText()
{
    // Cancelled once the worker thread has ended, before its end has come
    // back to this thread: the job waits for a thread already gone, reads
    // nothing of what it wrote, and removes the text it made. (Under
    // ThreadSanitizer this is the order that the end of QThread::wait()
    // alone does not make visible.)
    testsupport::TempDir dir;
    const QString html = QString::fromStdString((dir.path() / "big.html").string());
    testsupport::writeFile(dir.path() / "big.html", pageOfLines(2 * 1024 * 1024));

    ConversionJob job;
    Recorder recorder(job);
    int threadsBefore = 0;
    bool workerEnded = false;
    connect(&job, &ConversionJob::converting, &job, [&] {
        threadsBefore = threadCount(); // the worker starts once this returns
        QTimer::singleShot(0, &job, [&] {
            // No event is handled here until the worker has gone.
            QElapsedTimer waited;
            waited.start();
            while (!(workerEnded = threadCount() <= threadsBefore) && waited.elapsed() < 20000)
                QThread::msleep(1);
            job.cancel();
        });
    });
    QVERIFY(recorder.run([&] { return job.convertFile(html); }));
    QVERIFY(workerEnded);
    QVERIFY(recorder.outcome.cancelled);
    QCOMPARE(recorder.outcome.endings, 1);
    QCOMPARE(testsupport::fileNames(dir.path()), std::set<std::string>{"big.html"});
    // Nothing arrives for the cancelled run afterwards.
    QVERIFY(!QTest::qWaitFor([&] { return recorder.outcome.endings > 1; }, 200));
}

void TestConversionJob::destroyingTheJobAtAnyMomentRemovesItsFiles()
{
    std::string page;
    while (page.size() < 4 * 1024 * 1024)
        page += "<p>destroy me</p>\r\n";
    HttpResponse paced = HttpResponse::html(page);
    paced.pieceSize = 256 * 1024;
    paced.pause = std::chrono::milliseconds(5);
    server_->route("/page", paced);

    // Destroyed at the first piece, half way, at the completion (during the
    // conversion on the worker thread), and on the turn after it.
    enum class When { FirstPiece, HalfWay, Completed, Later };
    for (When when : {When::FirstPiece, When::HalfWay, When::Completed, When::Later}) {
        auto *job = new ConversionJob;
        QPointer<ConversionJob> alive(job);
        bool textReady = false;
        QString handedOver;
        connect(job, &ConversionJob::progress, this, [&, job](qint64 count) {
            if ((when == When::FirstPiece) || (when == When::HalfWay && count > qint64(page.size() / 2)))
                delete job;
            else if (when == When::Completed && count == qint64(page.size()))
                QTimer::singleShot(0, job, [job] { delete job; }); // the worker is on it by now
        });
        connect(job, &ConversionJob::textReady, this, [&](const QString &path) {
            textReady = true;
            handedOver = path;
        });
        QVERIFY(job->convertAddress(q(server_->url("/page"))));
        if (when == When::Later)
            QVERIFY(QTest::qWaitFor([&] { return textReady; }, 30000));
        else
            QVERIFY(QTest::qWaitFor([&] { return alive.isNull() || textReady; }, 30000));
        if (when != When::Later) {
            QVERIFY2(!textReady, int(when) == 2 ? "converted before the deletion" : "not deleted");
            QCOMPARE(folderEntries(), QStringList());
        } else {
            delete job;
            // A text already handed over belongs to its receiver.
            QCOMPARE(folderEntries(), QStringList{QFileInfo(handedOver).fileName()});
            QVERIFY(QFile::remove(handedOver));
        }
    }
}

void TestConversionJob::oneRunAtATime()
{
    HttpResponse slow = HttpResponse::html("<p>one</p>\r\n");
    slow.pieceSize = 4;
    slow.pause = std::chrono::milliseconds(20);
    server_->route("/slow", slow);
    ConversionJob job;
    Recorder recorder(job);
    QVERIFY(recorder.run([&] {
        const bool first = job.convertAddress(q(server_->url("/slow")));
        return first && job.isRunning() && !job.convertAddress(q(server_->url("/slow"))) &&
               !job.convertFile(QStringLiteral("/nonexistent.html"));
    }));
    QCOMPARE(recorder.outcome.endings, 1);
    QCOMPARE(server_->requestCount("/slow"), std::size_t(1));
    QCOMPARE(readAll(recorder.outcome.textPath), QByteArray("one\r\n"));
    QVERIFY(QFile::remove(recorder.outcome.textPath));
}

void TestConversionJob::limitsComeFromTheRegistry()
{
    using namespace platform;
    RegDeleteTree(HKEY_CURRENT_USER, quillan::net::ProgramRegistryKey);
    QCOMPARE(quillan::net::readFetchLimits().maxBytes, qint64(256) * 1024 * 1024);
    QCOMPARE(RegWriteDword(HKEY_CURRENT_USER, quillan::net::ProgramRegistryKey, quillan::net::MaxPageMiBValue, 3),
             ERROR_SUCCESS);
    QCOMPARE(quillan::net::readFetchLimits().maxBytes, qint64(3) * 1024 * 1024);
    QCOMPARE(RegWriteDword(HKEY_CURRENT_USER, quillan::net::ProgramRegistryKey, quillan::net::MaxPageMiBValue, 0),
             ERROR_SUCCESS);
    QCOMPARE(quillan::net::readFetchLimits().maxBytes, qint64(256) * 1024 * 1024); // 0 is no limit of use
    RegDeleteTree(HKEY_CURRENT_USER, quillan::net::ProgramRegistryKey);
}

// "Привет, мир" in windows-1251: not valid UTF-8, and read as windows-1252
// it would be Latin letters.
const QByteArray Cyrillic1251 = "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0";
const QByteArray CyrillicUtf8 = QStringLiteral(u"Привет, мир").toUtf8();

void TestConversionJob::readableModeDecodesByTheResponseCharset()
{
    // No <meta> in the page: only the response says what its bytes are.
    const std::string page =
        "<html><head><title>T</title></head><body><p>" + Cyrillic1251.toStdString() + "</p></body></html>";
    HttpResponse labelled = HttpResponse::html(page);
    labelled.headers = {{"Content-Type", "text/html; charset=windows-1251"}};
    server_->route("/labelled.html", labelled);
    server_->route("/unlabelled.html", HttpResponse::html(page));

    ConversionJob job;
    job.setTextOptions(kindOf(Kind::Readable));
    QCOMPARE(job.textOptions().kind, Kind::Readable);
    Recorder labelledRun(job);
    QVERIFY(labelledRun.run([&] { return job.convertAddress(q(server_->url("/labelled.html"))); }));
    QVERIFY2(labelledRun.outcome.message.isEmpty(), qPrintable(labelledRun.outcome.reason));
    QCOMPARE(job.httpCharset(), QByteArray("windows-1251"));
    QCOMPARE(readAll(labelledRun.outcome.textPath), CyrillicUtf8 + '\n');
    QVERIFY(QFile::remove(labelledRun.outcome.textPath));

    // Without the label the same bytes fall back to windows-1252.
    const QByteArray asLatin = QString::fromLatin1(Cyrillic1251).toUtf8() + '\n';
    Recorder unlabelledRun(job);
    QVERIFY(unlabelledRun.run([&] { return job.convertAddress(q(server_->url("/unlabelled.html"))); }));
    QCOMPARE(readAll(unlabelledRun.outcome.textPath), asLatin);
    QVERIFY(QFile::remove(unlabelledRun.outcome.textPath));

    // A file on disk is read by its own bytes: a charset of an earlier
    // response does not follow the job to it.
    Recorder again(job);
    QVERIFY(again.run([&] { return job.convertAddress(q(server_->url("/labelled.html"))); }));
    QVERIFY(QFile::remove(again.outcome.textPath));
    testsupport::TempDir dir;
    QFile html(QString::fromStdString((dir.path() / "page.html").string()));
    QVERIFY(html.open(QIODevice::WriteOnly));
    html.write(QByteArray::fromStdString(page));
    html.close();
    Recorder fileRun(job);
    QVERIFY(fileRun.run([&] { return job.convertFile(html.fileName()); }));
    QCOMPARE(readAll(fileRun.outcome.textPath), asLatin);
}

void TestConversionJob::readableAndStrippedTextsOfOnePage()
{
    const QByteArray page = "<html><head><title>Title</title>\r\n<script>var hidden = 1;</script></head>\r\n"
                            "<body><h1>Head</h1><p>One &amp; <a href=\"/next\">two</a></p>\r\n"
                            "<ul><li>a</li><li>b</li></ul></body></html>\r\n";
    server_->route("/page.html", HttpResponse::html(page.toStdString()));
    const QString address = q(server_->url("/page.html"));

    ConversionJob job;
    Recorder stripped(job);
    QVERIFY(stripped.run([&] { return job.convertAddress(address); }));
    QCOMPARE(readAll(stripped.outcome.textPath), convertedBytes(page, QString::fromStdString(tmp_->path().string())));
    QVERIFY(readAll(stripped.outcome.textPath).contains("var hidden"));
    QVERIFY(QFile::remove(stripped.outcome.textPath));

    job.setTextOptions(kindOf(Kind::Readable));
    Recorder readable(job);
    QVERIFY(readable.run([&] { return job.convertAddress(address); }));
    QCOMPARE(readAll(readable.outcome.textPath), QByteArray("Head\n\nOne & two\n\n* a\n* b\n"));
    QVERIFY(QFile::remove(readable.outcome.textPath));

    // The options of the readable text go with the job.
    quillan::text::Options linkedOptions = kindOf(Kind::Readable);
    linkedOptions.links = true;
    job.setTextOptions(linkedOptions);
    Recorder linked(job);
    QVERIFY(linked.run([&] { return job.convertAddress(address); }));
    const QByteArray text = readAll(linked.outcome.textPath);
    // Its links are listed against the page's address.
    QVERIFY2(text.startsWith("Head\n\nOne & two[1]\n") && text.contains("\n1. " + server_->url("/next") + "\n"),
             text.constData());
    QVERIFY(QFile::remove(linked.outcome.textPath));

    // Large pages (read ahead on a thread of their own) in the same mode.
    QByteArray large = "<pre>";
    while (large.size() <= 2 * 1024 * 1024)
        large += "row&lt;" + QByteArray::number(large.size()) + "&gt;\r\n";
    large += "</pre>";
    server_->route("/large.html", HttpResponse::html(large.toStdString()));
    job.setTextOptions(kindOf(Kind::Readable));
    Recorder worker(job);
    QVERIFY(worker.run([&] { return job.convertAddress(q(server_->url("/large.html"))); }, 60000));
    const QByteArray largeText = readAll(worker.outcome.textPath);
    QVERIFY(largeText.startsWith("row<5>\nrow<"));
    QVERIFY(!largeText.contains('\r') && !largeText.contains("&lt;"));
    QVERIFY(QFile::remove(worker.outcome.textPath));
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TestConversionJob test;
    const int status = QTest::qExec(&test, argc, argv);
    quillan::net::PageRetrieval::RemoveFetchedPagesFolder();
    return status;
}

#include "conversion_job_test.moc"
