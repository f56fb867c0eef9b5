// The program asked to end by the system (SIGTERM at logout, SIGHUP): every
// window closes as if the user closed it, the viewer's temporary text and a
// running fetch's page file go, the event loop is left, and the private
// folder is removed afterwards.

#include "gui/shell/MainWindow.h"
#include "gui/shell/ShutdownSignals.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "net/ConversionJob.h"
#include "net/PageRetrieval.h"
#include "support/HttpTestServer.h"
#include "support/environment.h"
#include "support/files.h"
#include "support/qt_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <csignal>

using testsupport::HttpResponse;

class TestShutdown : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void signalClosesEverythingAndRemovesTheFiles_data();
    void signalClosesEverythingAndRemovesTheFiles();
    void withoutTheObjectTheSignalsAreAsBefore();

private:
    std::unique_ptr<testsupport::TempDir> tmp_;
};

void TestShutdown::initTestCase()
{
    testsupport::clearProxyEnvironment();
    tmp_ = std::make_unique<testsupport::TempDir>();
    qputenv("TMPDIR", tmp_->path().string().c_str());
}

void TestShutdown::signalClosesEverythingAndRemovesTheFiles_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestShutdown::signalClosesEverythingAndRemovesTheFiles()
{
    QFETCH(int, signalNumber);
    testsupport::HttpTestServer server;
    HttpResponse stall = HttpResponse::html("<p>never ending");
    stall.ending = HttpResponse::Ending::Stall;
    stall.stopAfter = 5;
    server.route("/stall", stall);

    ShutdownSignals shutdown;
    const QString folder = quillan::net::PageRetrieval::FetchedPagesFolder();
    QVERIFY(!folder.isEmpty());

    // The main window with a fetch under way in its job (a page file in the
    // private folder), and the viewer open, modal, on a fetched page's text.
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    QPointer<MainWindow> mainWindow(&main);
    bool pieceArrived = false;
    connect(main.job(), &quillan::net::ConversionJob::progress, this, [&] { pieceArrived = true; });
    QVERIFY(main.job()->convertAddress(QString::fromStdString(server.url("/stall"))));
    QVERIFY(QTest::qWaitFor([&] { return pieceArrived; }, 10000));

    const QString text = testsupport::writeFile(folder + QStringLiteral("/page-shown.TXT"), "text\r\n");
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    QVERIFY(view.loadText(text, true));
    view.showModal();
    QPointer<ViewerWindow> viewer(&view);
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2); // the page file and the text

    int announced = 0;
    connect(&shutdown, &ShutdownSignals::shuttingDown, this, [&](int number) { announced = number; });
    QTimer::singleShot(0, this, [signalNumber] { ::raise(signalNumber); });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(99); });
    guard.start(20000);
    const int status = QCoreApplication::exec();
    guard.stop();

    QCOMPARE(status, 0);
    QCOMPARE(shutdown.received(), signalNumber);
    QCOMPARE(announced, signalNumber);
    QVERIFY(!FormInstance<ViewerWindow>::isLoaded());
    QVERIFY(!FormInstance<MainWindow>::isLoaded());
    QVERIFY(QTest::qWaitFor([&] { return viewer.isNull() && mainWindow.isNull(); }, 5000));
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    QVERIFY(quillan::net::PageRetrieval::RemoveFetchedPagesFolder());
    QVERIFY(!QFileInfo::exists(folder));
}

void TestShutdown::withoutTheObjectTheSignalsAreAsBefore()
{
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        ShutdownSignals shutdown;
        struct sigaction during {};
        ::sigaction(SIGTERM, nullptr, &during);
        QVERIFY(during.sa_handler != before.sa_handler);
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    QVERIFY(after.sa_handler == before.sa_handler);
}

QTEST_MAIN(TestShutdown)
#include "shutdown_test.moc"
