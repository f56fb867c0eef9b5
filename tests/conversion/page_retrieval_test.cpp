// Fetching a page for the conversion command: the page buffer and the count
// over several fetches in one run, failures with their reasons, the caption
// and message texts, and the private folder of fetched pages.

#include "conversion/PageRetrieval.h"
#include "conversion/converter.h"
#include "inet/inet.h"
#include "support/HttpTestServer.h"
#include "support/environment.h"
#include "support/files.h"
#include "support/process.h"

#include <QTest>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

using testsupport::HttpResponse;
using testsupport::HttpTestServer;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info {};
    return ::lstat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_mode & 07777 : mode_t(-1);
}

QString qpath(const std::filesystem::path &path)
{
    return QString::fromStdString(path.string());
}

} // namespace

class TestPageRetrieval : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void fetchesInOneRunCountExactlyAndLeaveNothingStale();
    void failedFetchesAreReportedWithTheirReason();
    void captionAndMessageTexts();
    void privateFolderAndFreshNames();
    void pageFilesAreCreatedExclusively();
    void folderIsRemovedOnlyWhenEmpty();
    void emptyFolderGoesWhenTheProgramExits();

private:
    std::unique_ptr<testsupport::TempDir> tmp_;
};

void TestPageRetrieval::initTestCase()
{
    if (qEnvironmentVariableIsSet("QUILLAN_TEST_EXIT_CHILD"))
        return; // the child of emptyFolderGoesWhenTheProgramExits keeps its TMPDIR
    testsupport::clearProxyEnvironment();
    tmp_ = std::make_unique<testsupport::TempDir>();
    qputenv("TMPDIR", tmp_->path().string().c_str());
}

void TestPageRetrieval::cleanupTestCase()
{
    QVERIFY(PageRetrieval::RemoveFetchedPagesFolder());
    QVERIFY(testsupport::fileNames(tmp_->path()).empty());
}

void TestPageRetrieval::fetchesInOneRunCountExactlyAndLeaveNothingStale()
{
    HttpTestServer server;
    QByteArray page;
    while (page.size() < 1500)
        page += "<p>row</p>\r\n";
    page.truncate(1500);
    server.route("/big", HttpResponse::html(page.toStdString()));
    server.route("/small", HttpResponse::html("<b>hi</b>\n"));
    server.route("/empty", HttpResponse::html(""));

    platform::Inet inet;
    QObject::connect(&inet, &platform::Inet::StateChanged,
                     [&](short state) { PageRetrieval::ReadCompletedResponse(inet, state); });
    const QString big = QString::fromStdString(server.url("/big"));

    for (int round = 0; round < 2; ++round) { // the same page twice in one run
        const PageRetrieval::FetchResult result = PageRetrieval::RunFetch(inet, big);
        QVERIFY(result.ok);
        QCOMPARE(result.reason, QString());
        QCOMPARE(PageRetrieval::PageBuffer(), page);
        QCOMPARE(PageRetrieval::ReceivedBytes(), qint64(1500));
    }
    QVERIFY(PageRetrieval::RunFetch(inet, QString::fromStdString(server.url("/small"))).ok);
    QCOMPARE(PageRetrieval::PageBuffer(), QByteArray("<b>hi</b>\n"));
    QCOMPARE(PageRetrieval::ReceivedBytes(), qint64(10));

    // A failure leaves nothing of the earlier page behind.
    QVERIFY(!PageRetrieval::RunFetch(inet, QString::fromStdString(server.url("/missing"))).ok);
    QCOMPARE(PageRetrieval::PageBuffer(), QByteArray());
    QCOMPARE(PageRetrieval::ReceivedBytes(), qint64(0));

    QVERIFY(PageRetrieval::RunFetch(inet, QString::fromStdString(server.url("/empty"))).ok);
    QCOMPARE(PageRetrieval::ReceivedBytes(), qint64(0));

    // The page file holds the page as received; its text lands beside it.
    QVERIFY(PageRetrieval::RunFetch(inet, big).ok);
    const QString path = PageRetrieval::MakeFetchedPagePath();
    QVERIFY(PageRetrieval::WritePageFile(path));
    QCOMPARE(QByteArray::fromStdString(testsupport::readFile(path.toStdString())), page);
    const auto text = quillan::convertHtmlFile(path.toStdString());
    QCOMPARE(qpath(text.parent_path()), PageRetrieval::FetchedPagesFolder());
    std::filesystem::remove(text);
    std::filesystem::remove(path.toStdString());
    PageRetrieval::ClearPageBuffer();
    QCOMPARE(PageRetrieval::PageBuffer(), QByteArray());

    // Whoever handles the state ignores everything but the completion.
    QVERIFY(!PageRetrieval::ReadCompletedResponse(inet, platform::icError));
    QVERIFY(!PageRetrieval::ReadCompletedResponse(inet, platform::icReceivingResponse));
}

void TestPageRetrieval::failedFetchesAreReportedWithTheirReason()
{
    HttpTestServer server;
    HttpResponse stall = HttpResponse::html("never");
    stall.ending = HttpResponse::Ending::Stall;
    server.route("/stall", stall);
    server.route("/ok", HttpResponse::html("ok"));

    platform::Inet inet;
    QObject::connect(&inet, &platform::Inet::StateChanged,
                     [&](short state) { PageRetrieval::ReadCompletedResponse(inet, state); });
    // A failure while the request runs, and one at its start.
    const struct {
        QString address;
        QString reason;
    } cases[] = {
        {QString::fromStdString(server.url("/nothing-here")), "HTTP 404 Not Found"},
        {"www.fennick.invalid", "No scheme (http:// or https://) in the address"},
    };
    for (const auto &c : cases) {
        QVERIFY(PageRetrieval::RunFetch(inet, QString::fromStdString(server.url("/ok"))).ok);
        const PageRetrieval::FetchResult result = PageRetrieval::RunFetch(inet, c.address);
        QVERIFY2(!result.ok, qPrintable(c.address));
        QCOMPARE(result.reason, c.reason);
        QCOMPARE(PageRetrieval::PageBuffer(), QByteArray());
        QCOMPARE(inet.URL(), c.address);
    }

    // An inet still busy with an earlier request is not disturbed.
    QVERIFY(inet.Execute(QString::fromStdString(server.url("/stall"))));
    const PageRetrieval::FetchResult busy = PageRetrieval::RunFetch(inet, QString::fromStdString(server.url("/ok")));
    QVERIFY(!busy.ok);
    QVERIFY(inet.StillExecuting());
    QCOMPARE(server.requestCount("/ok"), std::size_t(std::size(cases)));
    inet.Cancel();

    // The transfer control goes away while the fetch waits (its window was
    // deleted): the wait ends with a failure instead of using it.
    auto *doomed = new platform::Inet;
    QTimer::singleShot(200, doomed, [doomed] { doomed->deleteLater(); });
    const PageRetrieval::FetchResult abandoned =
        PageRetrieval::RunFetch(*doomed, QString::fromStdString(server.url("/stall")));
    QVERIFY(!abandoned.ok);
    QCOMPARE(abandoned.reason, QStringLiteral("The retrieval was abandoned"));
}

void TestPageRetrieval::captionAndMessageTexts()
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QString address = "http://127.0.0.1/x";
    QCOMPARE(PageRetrieval::BytesReceivedCaption(1500, address, english), "1,500 bytes received from " + address);
    QCOMPARE(PageRetrieval::BytesReceivedCaption(0, address, english), "0 bytes received from " + address);
    QCOMPARE(PageRetrieval::BytesReceivedCaption(999, "", english), QStringLiteral("999 bytes received from "));
    QCOMPARE(PageRetrieval::BytesReceivedCaption(3'000'000'000LL, "a", english),
             QStringLiteral("3,000,000,000 bytes received from a"));
    QCOMPARE(PageRetrieval::BytesReceivedCaption(1048576, "a", QLocale(QLocale::German, QLocale::Germany)),
             QStringLiteral("1.048.576 bytes received from a"));
    QCOMPARE(PageRetrieval::BytesReceivedCaption(2048, "a", QLocale::c()),
             QStringLiteral("2,048 bytes received from a"));
}

void TestPageRetrieval::privateFolderAndFreshNames()
{
    const QString folder = PageRetrieval::FetchedPagesFolder();
    QVERIFY(!folder.isEmpty());
    QCOMPARE(qpath(std::filesystem::path(folder.toStdString()).parent_path()), qpath(tmp_->path()));
    QCOMPARE(modeOf(folder), mode_t(0700));
    QCOMPARE(PageRetrieval::FetchedPagesFolder(), folder); // once per run

    QSet<QString> names;
    for (int i = 0; i < 20; ++i) {
        const QString path = PageRetrieval::MakeFetchedPagePath();
        QVERIFY(path.startsWith(folder + "/"));
        QVERIFY(path.endsWith(".html"));
        QCOMPARE(path.mid(folder.size() + 1).count('.'), 1);
        QVERIFY(!QFileInfo::exists(path)); // made up, not created
        names.insert(path);
    }
    QCOMPARE(names.size(), 20);

    // A folder someone opened up is left alone and replaced by a new one.
    QVERIFY(::chmod(folder.toLocal8Bit().constData(), 0755) == 0);
    const QString replacement = PageRetrieval::FetchedPagesFolder();
    QVERIFY(replacement != folder);
    QCOMPARE(modeOf(replacement), mode_t(0700));
    QVERIFY(::rmdir(folder.toLocal8Bit().constData()) == 0);
}

void TestPageRetrieval::pageFilesAreCreatedExclusively()
{
    HttpTestServer server;
    server.route("/page", HttpResponse::html("<p>new page</p>"));
    platform::Inet inet;
    QObject::connect(&inet, &platform::Inet::StateChanged,
                     [&](short state) { PageRetrieval::ReadCompletedResponse(inet, state); });
    QVERIFY(PageRetrieval::RunFetch(inet, QString::fromStdString(server.url("/page"))).ok);

    const QString folder = PageRetrieval::FetchedPagesFolder();
    const std::filesystem::path dir = folder.toStdString();
    const auto outside = testsupport::writeFile(tmp_->path() / "victim.txt", "precious");
    const auto planted = testsupport::writeFile(dir / "planted.html", "planted");
    std::filesystem::create_symlink(outside, dir / "link.html");
    std::filesystem::create_symlink(tmp_->path() / "nowhere.txt", dir / "dangling.html");

    QString error;
    QVERIFY(!PageRetrieval::WritePageFile(qpath(planted), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(testsupport::readFile(planted), std::string("planted"));
    QVERIFY(!PageRetrieval::WritePageFile(qpath(dir / "link.html")));
    QCOMPARE(testsupport::readFile(outside), std::string("precious"));
    QVERIFY(!PageRetrieval::WritePageFile(qpath(dir / "dangling.html")));
    QVERIFY(!std::filesystem::exists(tmp_->path() / "nowhere.txt"));

    const QString path = PageRetrieval::MakeFetchedPagePath();
    QVERIFY(PageRetrieval::WritePageFile(path));
    QCOMPARE(testsupport::readFile(path.toStdString()), std::string("<p>new page</p>"));
    QCOMPARE(modeOf(path), mode_t(0600));
    QVERIFY(!PageRetrieval::WritePageFile(path)); // once only

    for (const char *name : {"planted.html", "link.html", "dangling.html"})
        std::filesystem::remove(dir / name);
    std::filesystem::remove(outside);
    std::filesystem::remove(path.toStdString());
}

void TestPageRetrieval::folderIsRemovedOnlyWhenEmpty()
{
    const QString folder = PageRetrieval::FetchedPagesFolder();
    const auto kept = testsupport::writeFile(std::filesystem::path(folder.toStdString()) / "page-kept.TXT", "text");
    QVERIFY(!PageRetrieval::RemoveFetchedPagesFolder());
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(testsupport::readFile(kept), std::string("text"));
    QCOMPARE(PageRetrieval::FetchedPagesFolder(), folder);

    std::filesystem::remove(kept);
    QVERIFY(PageRetrieval::RemoveFetchedPagesFolder());
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(PageRetrieval::RemoveFetchedPagesFolder()); // nothing left to do

    const QString next = PageRetrieval::FetchedPagesFolder();
    QVERIFY(!next.isEmpty());
    QCOMPARE(modeOf(next), mode_t(0700));
}

void TestPageRetrieval::emptyFolderGoesWhenTheProgramExits()
{
    if (qEnvironmentVariableIsSet("QUILLAN_TEST_EXIT_CHILD")) { // the child: make a folder, say where, exit
        std::printf("%s\n", qPrintable(PageRetrieval::FetchedPagesFolder()));
        std::fflush(stdout);
        std::exit(0);
    }
    testsupport::TempDir tmp;
    const auto run = testsupport::runProgram({"env", "QUILLAN_TEST_EXIT_CHILD=1", "TMPDIR=" + tmp.path().string(),
                                              QCoreApplication::applicationFilePath().toStdString(),
                                              "emptyFolderGoesWhenTheProgramExits"});
    QCOMPARE(run.status, 0);
    const QString made = QString::fromStdString(run.out).trimmed().split('\n').last();
    QVERIFY2(made.startsWith(qpath(tmp.path()) + "/quillan-"), qPrintable(made));
    QVERIFY(!QFileInfo::exists(made));
    QVERIFY(testsupport::fileNames(tmp.path()).empty());
}

QTEST_GUILESS_MAIN(TestPageRetrieval)
#include "page_retrieval_test.moc"
