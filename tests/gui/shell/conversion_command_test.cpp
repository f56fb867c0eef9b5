// The "HTML to Text" command from the main window to the viewer, on both
// roads: an HTML file on disk, and a page fetched from a server the test
// runs on 127.0.0.1.
//
// Run as root, the test process moves into a network namespace of its own
// before anything else starts, with a veth default route: Netvane then
// reports the machine online whatever the host's network, and the test can
// take the route away to be offline. Elsewhere it uses the host's state and
// skips the fetching cases when the host is offline.

#include "convert/converter.h"
#include "gui/shell/ComControl.h"
#include "gui/shell/MainWindow.h"
#include "gui/shell/MainWindowHost.h"
#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "net/ConversionJob.h"
#include "net/PageRetrieval.h"
#include "support/HttpTestServer.h"
#include "support/process.h"
#include "support/qt_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::HttpResponse;

namespace {

bool ownNamespace = false;

// What one run of the command showed the user.
struct CommandOutcome {
    bool viewerShown = false;
    QString viewerFile;
    QByteArray viewerFileBytes;
    QString viewerText;
    QStringList messages;
};

// Presses "HTML to Text", answers whatever it shows (message boxes with OK,
// the viewer by noting its text, handing it to atViewer and closing it) and
// waits until the command has ended (at most 60 s). Nothing is checked
// inside the answers, so a failure can never leave a window open.
CommandOutcome runCommand(MainWindow &main, const std::function<void()> &press = {},
                          const std::function<void(ViewerWindow *)> &atViewer = {})
{
    CommandOutcome outcome;
    bool ended = false;
    const QMetaObject::Connection endWatch =
        QObject::connect(&main, &MainWindow::commandEnded, [&ended] { ended = true; });
    QPointer<MainWindow> window(&main);
    const testsupport::ModalWatch watch([&outcome, &atViewer](QWidget *top) {
        if (testsupport::acceptMessageBox(top, outcome.messages))
            return true;
        auto *view = qobject_cast<ViewerWindow *>(top);
        if (!view)
            return false;
        outcome.viewerShown = true;
        outcome.viewerFile = view->txtHTML->FileName();
        outcome.viewerFileBytes = testsupport::readFile(outcome.viewerFile);
        outcome.viewerText = view->txtHTML->Text();
        if (atViewer)
            atViewer(view);
        view->close();
        return true;
    });
    if (press)
        press();
    else
        main.btnHTMLtoText->click();
    // A window closed on the way ends its command too.
    if (!QTest::qWaitFor([&] { return ended || window.isNull() || !window->commandRunning(); }, 60000))
        outcome.messages << QStringLiteral("the command did not end within 60 s");
    QObject::disconnect(endWatch);
    return outcome;
}

// The converter's own text for the given page bytes.
QByteArray convertedBytes(const QByteArray &page, const QString &folder)
{
    const QString html = testsupport::writeFile(folder + QStringLiteral("/expected.html"), page);
    const auto text = quillan::convert::convertHtmlFile(std::filesystem::path(QFile::encodeName(html).toStdString()));
    return testsupport::readFile(QString::fromStdString(text.string()));
}

// File mode, with the file dialog it opens cancelled.
void chooseFileMode(MainWindow &main)
{
    auto answer = testsupport::answerModal<QFileDialog>([](QFileDialog *dialog) { dialog->reject(); });
    main.optGetFile->setChecked(true);
    QVERIFY(answer->answered);
}

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

const QString UnableToRetrieve = QStringLiteral("Quillan was unable to retrieve the web page at ");

} // namespace

class TestConversionCommand : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void fileRoadConvertsIntoTheViewer();
    void fileRoadFailuresAreNamed();
    void bareAddressIsRefused();
    void fetchedPagesConvertLikeTheConverter();
    void bytesLabelIsExactOnEveryFetch();
    void labelNamesTheAddressAsTheResponseArrives();
    void failedFetchesAreReportedNeverConverted();
    void secondPressWhileFetchingIsIgnored();
    void closingTheWindowEndsAWaitingFetch();
    void closingTheWindowWhileConvertingEndsCleanly();
    void escapeCancelsAFetch();
    void overlongAddressIsRefused();
    void emptyAddressIsRefused();
    void aResponseThatIsNotAPageIsRefused();
    void savedFetchedTextGoesFromThePrivateFolder();
    void fileRoadLeavesATextAlreadyThereAlone();
    void saveOfAFetchedTextStartsInTheDocumentsFolder();
    void offlineStopsBeforeFetching();
    void readableBoxChoosesTheTextOnEveryRoad();
    void articleBoxChoosesTheArticleOnEveryRoad();
    void markdownBoxWritesMarkdownAndSavesItAsMd();

private:
    void requireOnline();
    QString privateFolder() const;

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<testsupport::HttpTestServer> server_;
    bool online_ = false;
};

void TestConversionCommand::initTestCase()
{
    // Netvane registered in the test's own registry.
    QProcess regsvr;
    regsvr.start(QStringLiteral(REGSVR_TOOL), {QStringLiteral(NETVANE_LIBRARY)});
    QVERIFY(regsvr.waitForFinished(30000));
    QCOMPARE(regsvr.exitCode(), 0);

    MainWindow &main = FormInstance<MainWindow>::get();
    const MainWindow::ConnectionReading reading = main.readConnectedOnline();
    QVERIFY2(reading.cause.isEmpty(), qPrintable(reading.cause));
    online_ = reading.online;
    if (ownNamespace)
        QVERIFY(online_);
}

void TestConversionCommand::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    server_ = std::make_unique<testsupport::HttpTestServer>();
}

void TestConversionCommand::cleanup()
{
    if (MainWindow *main = FormInstance<MainWindow>::ifLoaded())
        QVERIFY(testsupport::closeAndWaitForDeletion(main));
    server_.reset();
    // Nothing the runs made is left in the private folder.
    const QString folder = privateFolder();
    if (!folder.isEmpty())
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestConversionCommand::requireOnline()
{
    if (!online_)
        QSKIP("the machine is offline and no network namespace of our own could be made");
}

QString TestConversionCommand::privateFolder() const
{
    return quillan::net::PageRetrieval::FetchedPagesFolder();
}

void TestConversionCommand::fileRoadConvertsIntoTheViewer()
{
    const QByteArray page = "<html><title>T</title>\r\n<p>Hello&nbsp;there</p>\r\nLine two\r\n";
    const QString html = testsupport::writeFile(dir_->filePath("page.html"), page);
    MainWindow &main = FormInstance<MainWindow>::get();
    chooseFileMode(main);
    main.txtGetFile->setText(html);

    // Enter in the file box runs the command as the button does.
    const CommandOutcome outcome = runCommand(main, [&main] {
        main.txtGetFile->setFocus();
        QTest::keyClick(main.txtGetFile, Qt::Key_Return);
    });
    QVERIFY(outcome.messages.isEmpty());
    QVERIFY(outcome.viewerShown);
    QCOMPARE(outcome.viewerFile, dir_->filePath("page.TXT"));
    QCOMPARE(outcome.viewerFileBytes, convertedBytes(page, dir_->path()));
    QVERIFY(outcome.viewerText.contains(QStringLiteral("Hello there")));
    QVERIFY(!QFile::exists(outcome.viewerFile)); // closed without Save
    QVERIFY(QFile::exists(html));
}

void TestConversionCommand::fileRoadFailuresAreNamed()
{
    MainWindow &main = FormInstance<MainWindow>::get();
    chooseFileMode(main);
    const QString missing = dir_->filePath("missing.html");
    // A text name one byte too long for the file system cannot be made.
    const QString blocked = testsupport::writeFile(dir_->filePath(QString(252, QLatin1Char('b'))), "<p>x</p>\r\n");
    // Inputs without end: a pipe no one writes to, a device behind a link.
    const QString fifo = dir_->filePath("fifo.html");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir_->filePath("zero.html");
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zero));

    // Each input, and the file the message must name.
    const QList<QPair<QString, QString>> cases{{QString(), QString()},
                                               {missing, missing},
                                               {dir_->path(), dir_->path()},
                                               {blocked, blocked + QStringLiteral(".TXT")},
                                               {fifo, fifo},
                                               {zero, zero}};
    for (const auto &[input, named] : cases) {
        main.txtGetFile->setText(input);
        const CommandOutcome outcome = runCommand(main);
        QVERIFY2(!outcome.viewerShown, qPrintable(input));
        QCOMPARE(outcome.messages.size(), 1);
        const QStringList lines = outcome.messages.first().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QStringLiteral("Quillan could not convert the HTML file to text."));
        QVERIFY2(lines[1].startsWith(named.isEmpty() ? QString() : named + QStringLiteral(": ")), qPrintable(lines[1]));
        QVERIFY2(lines[1].size() > named.size() + 2, qPrintable(lines[1])); // a reason follows the path
    }
    QVERIFY(!FormInstance<ViewerWindow>::isLoaded());
}

void TestConversionCommand::bareAddressIsRefused()
{
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    CommandOutcome outcome = runCommand(main);
    QCOMPARE(outcome.messages, QStringList{QStringLiteral("please enter complete URL")});
    QVERIFY(!outcome.viewerShown);
    QCOMPARE(server_->requests().size(), std::size_t(0));

    // Only the exact lower-case text is refused; capitals go on to the fetch.
    requireOnline();
    const std::string target = "/caps.html";
    server_->route(target, HttpResponse::html("<b>Capitals</b>\r\n"));
    const QString address = q(server_->url(target)).replace(QStringLiteral("http://"), QStringLiteral("HTTP://"));
    main.txtURL->setText(address);
    outcome = runCommand(main);
    QVERIFY(outcome.messages.isEmpty());
    QVERIFY(outcome.viewerShown);
    QCOMPARE(outcome.viewerText, QStringLiteral("Capitals\n"));
}

void TestConversionCommand::fetchedPagesConvertLikeTheConverter()
{
    requireOnline();
    const QByteArray crlf = "<html>\r\n<head><title>CR LF</title></head>\r\n<body>\r\n<p>First&nbsp;para</p>\r\n"
                            "<p>Second\r\npara</p>\r\n\x93quoted\x94 \xe9t\xe9\r\n</body></html>\r\n";
    const QByteArray lfOnly = "<html>\n<body>\n<p>One</p>\n<p>Two</p>\n</body>\n</html>\n";
    server_->route("/crlf.html", HttpResponse::html(crlf.toStdString()));
    server_->route("/lf.html", HttpResponse::html(lfOnly.toStdString()));
    server_->route("/empty.html", HttpResponse::html(""));
    server_->route("/moved", HttpResponse::redirect("/crlf.html"));

    MainWindow &main = FormInstance<MainWindow>::get();
    const QString folder = privateFolder();
    QFileInfo info(folder);
    QVERIFY(info.isDir());
    QCOMPARE(int(info.permissions() & 0x7777), int(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                   QFile::ReadUser | QFile::WriteUser | QFile::ExeUser));

    const struct {
        const char *target;
        QByteArray page;
    } cases[] = {{"/crlf.html", crlf}, {"/lf.html", lfOnly}, {"/empty.html", QByteArray()}, {"/moved", crlf}};
    for (const auto &c : cases) {
        main.txtURL->setText(q(server_->url(c.target)));
        const CommandOutcome outcome = runCommand(main);
        QVERIFY2(outcome.messages.isEmpty(), qPrintable(outcome.messages.join(QLatin1Char('|'))));
        QVERIFY(outcome.viewerShown);
        QCOMPARE(QFileInfo(outcome.viewerFile).absolutePath(), QFileInfo(folder).absoluteFilePath());
        QCOMPARE(outcome.viewerFileBytes, convertedBytes(c.page, dir_->path()));
        QVERIFY(main.lbBytesReceived->isHidden());
        // Neither the page file nor the text is left once the viewer closed.
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }
}

void TestConversionCommand::bytesLabelIsExactOnEveryFetch()
{
    requireOnline();
    const std::string body(1500, 'x');
    server_->route("/1500.html", HttpResponse::html(body));
    std::string big;
    while (big.size() + 100 <= 1234567)
        big += std::string(98, 'y') + "\r\n";
    big += std::string(1234567 - big.size(), 'z');
    server_->route("/big.html", HttpResponse::html(big));
    MainWindow &main = FormInstance<MainWindow>::get();

    QStringList captions;
    connect(main.job(), &quillan::net::ConversionJob::textReady, this,
            [&] { captions << main.lbBytesReceived->text(); });
    for (const char *target : {"/1500.html", "/1500.html", "/big.html"}) {
        main.txtURL->setText(q(server_->url(target)));
        const CommandOutcome outcome = runCommand(main);
        QVERIFY(outcome.viewerShown);
    }
    const QString a = q(server_->url("/1500.html"));
    const QString b = q(server_->url("/big.html"));
    QCOMPARE(captions, (QStringList{QStringLiteral("1,500 bytes received from ") + a,
                                    QStringLiteral("1,500 bytes received from ") + a,
                                    QStringLiteral("1,234,567 bytes received from ") + b}));
}

void TestConversionCommand::labelNamesTheAddressAsTheResponseArrives()
{
    requireOnline();
    HttpResponse slow = HttpResponse::html(std::string(4000, 'z'));
    slow.pieceSize = 1000;
    slow.pause = std::chrono::milliseconds(100);
    server_->route("/slow.html", slow);
    MainWindow &main = FormInstance<MainWindow>::get();
    main.txtURL->setText(q(server_->url("/slow.html")));

    // The address is edited once the body has begun to arrive; the label
    // counts while it arrives.
    QStringList captions;
    connect(main.job(), &quillan::net::ConversionJob::progress, this, [&] {
        captions << main.lbBytesReceived->text();
        QVERIFY(!main.lbBytesReceived->isHidden());
        main.txtURL->setText(QStringLiteral("edited meanwhile"));
    });
    const CommandOutcome outcome = runCommand(main);
    QVERIFY(outcome.viewerShown);
    QCOMPARE(captions.first(), QStringLiteral("1,000 bytes received from ") + q(server_->url("/slow.html")));
    QCOMPARE(captions.size(), 4);
    QCOMPARE(main.lbBytesReceived->text(), QStringLiteral("4,000 bytes received from edited meanwhile"));
}

void TestConversionCommand::failedFetchesAreReportedNeverConverted()
{
    requireOnline();
    HttpResponse reset = HttpResponse::html(std::string(5000, 'r'));
    reset.ending = HttpResponse::Ending::Reset;
    reset.stopAfter = 1000;
    HttpResponse stall = HttpResponse::html("never");
    stall.ending = HttpResponse::Ending::Stall;
    server_->route("/404.html", HttpResponse::html("<p>gone</p>", 404, "Not Found"));
    server_->route("/500.html", HttpResponse::html("<p>broken</p>", 500, "Internal Server Error"));
    server_->route("/reset.html", reset);
    server_->route("/stall.html", stall);
    server_->route("/loop", HttpResponse::redirect("/loop"));
    server_->route("/good.html", HttpResponse::html("<p>Good page</p>\r\n"));

    MainWindow &main = FormInstance<MainWindow>::get();
    quillan::net::FetchLimits limits;
    limits.silence = std::chrono::seconds(1);
    main.job()->setLimits(limits);
    const QString refused =
        QStringLiteral("http://127.0.0.1:%1/x.html").arg(testsupport::HttpTestServer::refusedPort());
    const QStringList addresses{
        q(server_->url("/404.html")),          q(server_->url("/500.html")), q(server_->url("/reset.html")),
        q(server_->url("/stall.html")),        q(server_->url("/loop")),     refused,
        QStringLiteral("gopher://127.0.0.1/x")};
    for (const QString &address : addresses) {
        main.txtURL->setText(address);
        const CommandOutcome outcome = runCommand(main);
        QVERIFY2(!outcome.viewerShown, qPrintable(address));
        QCOMPARE(outcome.messages.size(), 1);
        const QStringList lines = outcome.messages.first().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], UnableToRetrieve + address);
        QVERIFY(!lines[1].isEmpty());
    }

    // What a failed fetch received never reaches the next page.
    main.txtURL->setText(q(server_->url("/good.html")));
    const CommandOutcome outcome = runCommand(main);
    QVERIFY(outcome.viewerShown);
    QCOMPARE(outcome.viewerText, QStringLiteral("Good page\n"));
}

void TestConversionCommand::secondPressWhileFetchingIsIgnored()
{
    requireOnline();
    HttpResponse slow = HttpResponse::html(std::string(3000, 's'));
    slow.pieceSize = 1000;
    slow.pause = std::chrono::milliseconds(100);
    server_->route("/slow.html", slow);
    MainWindow &main = FormInstance<MainWindow>::get();
    main.txtURL->setText(q(server_->url("/slow.html")));

    bool runningWhenPressed = false;
    connect(main.job(), &quillan::net::ConversionJob::progress, this, [&] {
        runningWhenPressed = main.commandRunning();
        main.btnHTMLtoText->click();
    });
    const CommandOutcome outcome = runCommand(main);
    QVERIFY(runningWhenPressed);
    QVERIFY(outcome.viewerShown);
    QVERIFY(outcome.messages.isEmpty());
    QCOMPARE(server_->requestCount("/slow.html"), std::size_t(1));
    QVERIFY(!main.commandRunning());
}

void TestConversionCommand::closingTheWindowEndsAWaitingFetch()
{
    requireOnline();
    HttpResponse stall = HttpResponse::html("never ending");
    stall.ending = HttpResponse::Ending::Stall;
    stall.stopAfter = 5;
    server_->route("/stall.html", stall);
    MainWindow &main = FormInstance<MainWindow>::get();
    quillan::net::FetchLimits limits;
    limits.silence = std::chrono::seconds(0); // without the close, the command would wait for ever
    main.job()->setLimits(limits);
    main.txtURL->setText(q(server_->url("/stall.html")));
    QPointer<MainWindow> watched(&main);
    connect(main.job(), &quillan::net::ConversionJob::progress, this, [&] { main.close(); });
    const CommandOutcome outcome = runCommand(main);
    QVERIFY(outcome.messages.isEmpty());
    QVERIFY(!outcome.viewerShown);
    QVERIFY(!FormInstance<MainWindow>::isLoaded());
    QVERIFY(QTest::qWaitFor([&] { return watched.isNull(); }, 5000));
}

void TestConversionCommand::closingTheWindowWhileConvertingEndsCleanly()
{
    // Closed while the converter works on a large page: the command ends
    // without touching the window, and neither the page nor its text stays.
    requireOnline();
    std::string page;
    while (page.size() < 64 * 1024 * 1024)
        page += "<tr><td>a cell of a large table</td><td>" + std::to_string(page.size()) + "</td></tr>\r\n";
    server_->route("/large.html", HttpResponse::html(page));
    MainWindow &main = FormInstance<MainWindow>::get();
    main.txtURL->setText(q(server_->url("/large.html")));
    QPointer<MainWindow> watched(&main);
    const QString folder = privateFolder();
    // Polled from the event loop: the first moment a text is being made.
    bool closedWhileConverting = false;
    QTimer closer;
    closer.setInterval(1);
    connect(&closer, &QTimer::timeout, this, [&] {
        const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : names) {
            if (!name.endsWith(QLatin1String(".html")) && watched) {
                closedWhileConverting = true;
                watched->close();
                closer.stop();
                return;
            }
        }
    });
    closer.start();
    const CommandOutcome outcome = runCommand(main);
    closer.stop();
    QVERIFY(closedWhileConverting);
    QVERIFY(outcome.messages.isEmpty());
    QVERIFY(!outcome.viewerShown);
    QVERIFY(QTest::qWaitFor([&] { return watched.isNull(); }, 10000));
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestConversionCommand::escapeCancelsAFetch()
{
    requireOnline();
    HttpResponse slow = HttpResponse::html(std::string(20000, 'e'));
    slow.pieceSize = 1000;
    slow.pause = std::chrono::milliseconds(50);
    server_->route("/slow.html", slow);
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    main.txtURL->setText(q(server_->url("/slow.html")));
    int pieces = 0;
    connect(main.job(), &quillan::net::ConversionJob::progress, this, [&] {
        if (++pieces == 1)
            QTest::keyClick(main.txtURL, Qt::Key_Escape);
    });
    const CommandOutcome outcome = runCommand(main);
    QVERIFY(outcome.messages.isEmpty());
    QVERIFY(!outcome.viewerShown);
    QCOMPARE(pieces, 1);
    QVERIFY(!main.commandRunning());
    QVERIFY(main.lbBytesReceived->isHidden());

    // The window goes on as before: the next command works.
    server_->route("/next.html", HttpResponse::html("<p>Next</p>\r\n"));
    main.txtURL->setText(q(server_->url("/next.html")));
    const CommandOutcome next = runCommand(main);
    QVERIFY(next.viewerShown);
    QCOMPARE(next.viewerText, QStringLiteral("Next\n"));
}

void TestConversionCommand::overlongAddressIsRefused()
{
    requireOnline();
    MainWindow &main = FormInstance<MainWindow>::get();
    const QString address = q(server_->url("/")) + QString(40000, QLatin1Char('x'));
    main.txtURL->setText(address);
    QCOMPARE(main.txtURL->text(), address); // not cut
    const CommandOutcome outcome = runCommand(main);
    QVERIFY(!outcome.viewerShown);
    QCOMPARE(outcome.messages.size(), 1);
    const QStringList lines = outcome.messages.first().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(UnableToRetrieve + address.left(100)));
    QCOMPARE(lines[1], QStringLiteral("The address is longer than 32,767 characters"));
    QCOMPARE(server_->requests().size(), std::size_t(0));
}

void TestConversionCommand::emptyAddressIsRefused()
{
    requireOnline();
    server_->route("/before.html", HttpResponse::html("<p>Fetched before</p>\r\n"));
    MainWindow &main = FormInstance<MainWindow>::get();
    main.txtURL->setText(q(server_->url("/before.html")));
    QVERIFY(runCommand(main).viewerShown);
    const std::size_t requested = server_->requests().size();

    // Neither the page fetched before nor anything else is asked for.
    for (const QString &address : {QString(), QStringLiteral("   ")}) {
        main.txtURL->setText(address);
        const CommandOutcome outcome = runCommand(main);
        QVERIFY2(!outcome.viewerShown, qPrintable(address));
        QCOMPARE(outcome.messages.size(), 1);
        const QStringList lines = outcome.messages.first().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], UnableToRetrieve + address);
        QCOMPARE(lines[1], QStringLiteral("No address was given."));
        QCOMPARE(server_->requests().size(), requested);
    }
}

void TestConversionCommand::aResponseThatIsNotAPageIsRefused()
{
    requireOnline();
    HttpResponse picture = HttpResponse::html("GIF89a<p>not a page</p>");
    picture.headers = {{"Content-Type", "image/gif"}};
    server_->route("/picture.gif", picture);
    MainWindow &main = FormInstance<MainWindow>::get();
    const QString address = q(server_->url("/picture.gif"));
    main.txtURL->setText(address);
    const CommandOutcome outcome = runCommand(main);
    QVERIFY(!outcome.viewerShown);
    QCOMPARE(outcome.messages.size(), 1);
    const QStringList lines = outcome.messages.first().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], UnableToRetrieve + address);
    QCOMPARE(lines[1], QStringLiteral("The page is of type image/gif, which is not HTML or text"));
}

void TestConversionCommand::savedFetchedTextGoesFromThePrivateFolder()
{
    requireOnline();
    server_->route("/keep.html", HttpResponse::html("<p>Keep me</p>\r\n"));
    MainWindow &main = FormInstance<MainWindow>::get();
    main.txtURL->setText(q(server_->url("/keep.html")));
    const QString chosen = dir_->filePath("kept.txt");
    const CommandOutcome outcome = runCommand(main, {}, [&](ViewerWindow *view) {
        auto answer = testsupport::answerModal<QFileDialog>([&](QFileDialog *dialog) {
            dialog->selectFile(chosen);
            static_cast<QDialog *>(dialog)->accept();
        });
        view->btnSave->click();
    });
    QVERIFY(outcome.viewerShown);
    QCOMPARE(testsupport::readFile(chosen), QByteArray("Keep me\r\n"));
    QVERIFY(!QFile::exists(outcome.viewerFile)); // the private copy is gone
}

void TestConversionCommand::fileRoadLeavesATextAlreadyThereAlone()
{
    const QByteArray page = "<html><title>Fish &amp; chips</title>\r\n<p>Fresh text</p>\r\n";
    const QString html = testsupport::writeFile(dir_->filePath("page.html"), page);
    const QString notes = testsupport::writeFile(dir_->filePath("page.TXT"), "my own notes\r\n");
    MainWindow &main = FormInstance<MainWindow>::get();
    chooseFileMode(main);
    main.txtGetFile->setText(html);

    // Closed without Save: the text shown goes, the notes stay.
    CommandOutcome outcome = runCommand(main);
    QVERIFY(outcome.messages.isEmpty());
    QVERIFY(outcome.viewerShown);
    QCOMPARE(QFileInfo(outcome.viewerFile).absolutePath(), QFileInfo(privateFolder()).absoluteFilePath());
    const QByteArray text = "Fish &amp; chips\r\nFresh text\r\n";
    QCOMPARE(outcome.viewerFileBytes, text);
    QVERIFY(!QFile::exists(outcome.viewerFile));
    QCOMPARE(testsupport::readFile(notes), QByteArray("my own notes\r\n"));

    // Save starts beside the page with the title's name, and copies there.
    QString startFolder;
    QStringList proposed;
    outcome = runCommand(main, {}, [&](ViewerWindow *view) {
        auto answer = testsupport::answerModal<QFileDialog>([&](QFileDialog *dialog) {
            startFolder = dialog->directory().absolutePath();
            proposed = dialog->selectedFiles();
            static_cast<QDialog *>(dialog)->accept();
        });
        view->btnSave->click();
    });
    QVERIFY(outcome.viewerShown);
    QCOMPARE(startFolder, QFileInfo(dir_->path()).absoluteFilePath());
    QCOMPARE(proposed, QStringList{dir_->filePath("Fish & chips.txt")});
    QCOMPARE(testsupport::readFile(dir_->filePath("Fish & chips.txt")), text);
    QVERIFY(!QFile::exists(outcome.viewerFile)); // the private copy is gone
    QCOMPARE(testsupport::readFile(notes), QByteArray("my own notes\r\n"));

    // The file box's help topic tells what happened: the file already there
    // is left as it is, the text goes to the private folder and is deleted
    // with the viewer all the same.
    QTextDocument topic;
    topic.setHtml(QString::fromUtf8(testsupport::readFile(QStringLiteral(HELP_TOPICS "/file_box.htm"))));
    const QString help = topic.toPlainText().simplified();
    for (const char *untrue : {"replace", "overwrit", "is lost"})
        QVERIFY2(!help.contains(QLatin1String(untrue), Qt::CaseInsensitive), untrue);
    for (const char *told : {"is left as it is", "private folder", "temporary folder", "deleted all the same"})
        QVERIFY2(help.contains(QLatin1String(told)), told);
}

void TestConversionCommand::saveOfAFetchedTextStartsInTheDocumentsFolder()
{
    requireOnline();
    const QString documents = QDir::home().filePath(QStringLiteral("Documents"));
    QVERIFY(QDir().mkpath(documents));
    server_->route("/story.html", HttpResponse::html("<title>A long: story?</title><p>Keep me</p>\r\n"));
    server_->route("/notitle/latest.html", HttpResponse::html("<p>No title</p>\r\n"));
    MainWindow &main = FormInstance<MainWindow>::get();

    const struct {
        const char *path;
        QString proposed;
        QString typed; // as typed into the name box: no extension
        QString saved;
    } runs[] = {{"/story.html", QStringLiteral("A long story.txt"), QStringLiteral("mine"), QStringLiteral("mine.txt")},
                {"/notitle/latest.html", QStringLiteral("latest.txt"), QString(), QStringLiteral("latest.txt")}};
    for (const auto &run : runs) {
        main.txtURL->setText(q(server_->url(run.path)));
        QString startFolder;
        QStringList proposed;
        const CommandOutcome outcome = runCommand(main, {}, [&](ViewerWindow *view) {
            auto answer = testsupport::answerModal<QFileDialog>([&](QFileDialog *dialog) {
                startFolder = dialog->directory().absolutePath();
                proposed = dialog->selectedFiles();
                if (!run.typed.isEmpty())
                    dialog->selectFile(run.typed);
                static_cast<QDialog *>(dialog)->accept();
            });
            view->btnSave->click();
        });
        QVERIFY(outcome.viewerShown);
        QCOMPARE(startFolder, documents);
        QCOMPARE(proposed, QStringList{documents + QLatin1Char('/') + run.proposed});
        QCOMPARE(testsupport::readFile(documents + QLatin1Char('/') + run.saved), outcome.viewerFileBytes);
        QVERIFY(!outcome.viewerFileBytes.isEmpty());
        QVERIFY(QFile::remove(documents + QLatin1Char('/') + run.saved));
    }
    QVERIFY(QDir(documents).removeRecursively());
}

void TestConversionCommand::offlineStopsBeforeFetching()
{
    if (!ownNamespace)
        QSKIP("needs a network namespace of the test's own");
    server_->route("/page.html", HttpResponse::html("<p>x</p>"));
    MainWindow &main = FormInstance<MainWindow>::get();
    main.txtURL->setText(q(server_->url("/page.html")));

    QVERIFY(testsupport::netns::sh("ip route del default"));
    const CommandOutcome outcome = runCommand(main);
    QVERIFY(testsupport::netns::sh("ip route add default via 10.200.0.2 dev nv0"));
    QCOMPARE(outcome.messages, QStringList{QStringLiteral("Quillan did not detect an active internet connection.  "
                                                          "Please make sure you are connected before continuing")});
    QVERIFY(!outcome.viewerShown);
    QCOMPARE(server_->requests().size(), std::size_t(0));
}

void TestConversionCommand::readableBoxChoosesTheTextOnEveryRoad()
{
    const QString words = QStringLiteral(u"Grüße – ünïcödé ★");
    const QByteArray page = "<html><head><meta charset=utf-8><title>T</title><script>var x;</script></head>\r\n"
                            "<body><p>" +
                            words.toUtf8() + "</p><p>next &amp; last</p></body></html>\r\n";
    const QString html = testsupport::writeFile(dir_->filePath("page.html"), page);
    MainWindow &main = FormInstance<MainWindow>::get();
    chooseFileMode(main);
    main.txtGetFile->setText(html);

    // Unticked: the stripped text, byte for byte.
    main.chkReadable->setChecked(false);
    CommandOutcome outcome = runCommand(main);
    QVERIFY(outcome.viewerShown);
    QCOMPARE(outcome.viewerFileBytes, convertedBytes(page, dir_->path()));
    QVERIFY(outcome.viewerText.contains(QStringLiteral("var x;")));

    // Ticked: the readable text, its UTF-8 shown as the characters it is.
    main.chkReadable->setChecked(true);
    const QByteArray readable = words.toUtf8() + "\n\nnext & last\n";
    outcome = runCommand(main);
    QVERIFY(outcome.messages.isEmpty());
    QVERIFY(outcome.viewerShown);
    QCOMPARE(outcome.viewerFileBytes, readable);
    QCOMPARE(outcome.viewerText, QString::fromUtf8(readable));

    // A fetched page, decoded by its response's charset: the user's road
    // and the browser's, which asks the main window to convert.
    requireOnline();
    const QByteArray cyrillic = "<p>\xCF\xF0\xE8\xE2\xE5\xF2</p>";
    HttpResponse labelled = HttpResponse::html(cyrillic.toStdString());
    labelled.headers = {{"Content-Type", "text/html; charset=windows-1251"}};
    server_->route("/ru.html", labelled);
    const QString expected = QStringLiteral(u"Привет\n");
    main.optURL->setChecked(true);
    main.txtURL->setText(q(server_->url("/ru.html")));
    outcome = runCommand(main);
    QVERIFY2(outcome.messages.isEmpty(), qPrintable(outcome.messages.join(QLatin1Char('|'))));
    QCOMPARE(outcome.viewerText, expected);

    bool hostEnded = false;
    outcome = runCommand(main, [&] {
        MainWindowHost::instance().convertAddress(q(server_->url("/ru.html")), [&hostEnded] { hostEnded = true; });
    });
    QVERIFY(hostEnded);
    QCOMPARE(outcome.viewerText, expected);
    main.chkReadable->setChecked(false);
    hostEnded = false;
    outcome = runCommand(main, [&] {
        MainWindowHost::instance().convertAddress(q(server_->url("/ru.html")), [&hostEnded] { hostEnded = true; });
    });
    QVERIFY(hostEnded);
    QCOMPARE(outcome.viewerFileBytes, cyrillic.mid(3, 6) + "\r\n");
}

namespace {

// A news page: its article between a menu and a footer.
const QByteArray NewsPage =
    "<!DOCTYPE html><html><head><meta charset=utf-8><title>Harbour lights return - Portside News</title></head>"
    "<body><header><nav class=menu><ul><li><a href=/>Home</a></li><li><a href=/sport>Sport pages</a></li>"
    "<li><a href=/weather>Weather desk</a></li></ul></nav></header>"
    "<main><article><h1>Harbour lights return</h1>"
    "<p>The old lamps along the harbour wall were lit again on Saturday, after a winter in which the council, "
    "the fishermen and the lifeboat crew argued about who would pay for them.</p>"
    "<p>Volunteers cleaned, painted and rewired forty-two lamps, and the last of them came on at dusk, to "
    "applause from a crowd that had gathered on the quay despite the rain.</p>"
    "<p>The harbour master said the lights would burn every night until the end of the season, and that the "
    "repairs had cost less than a tenth of what had first been feared.</p></article></main>"
    "<footer class=site-footer><p>Copyright Portside News, all rights reserved.</p>"
    "<p><a href=/privacy>Privacy notice</a> <a href=/cookies>Cookie settings</a></p></footer></body></html>";

// The article's text and nothing of the page around it.
bool isTheArticleAlone(const QString &text)
{
    return text.startsWith(QStringLiteral("Harbour lights return\n")) &&
           text.contains(QStringLiteral("forty-two lamps")) && text.contains(QStringLiteral("less than a tenth")) &&
           !text.contains(QStringLiteral("Sport pages")) && !text.contains(QStringLiteral("Weather desk")) &&
           !text.contains(QStringLiteral("Copyright")) && !text.contains(QStringLiteral("Cookie settings"));
}

} // namespace

void TestConversionCommand::articleBoxChoosesTheArticleOnEveryRoad()
{
    const QString html = testsupport::writeFile(dir_->filePath("news.html"), NewsPage);
    MainWindow &main = FormInstance<MainWindow>::get();
    chooseFileMode(main);
    main.txtGetFile->setText(html);

    // "Readable text" alone: the whole page as a reader sees it.
    main.chkArticle->setChecked(false);
    main.chkReadable->setChecked(true);
    CommandOutcome outcome = runCommand(main);
    QVERIFY2(outcome.messages.isEmpty(), qPrintable(outcome.messages.join(QLatin1Char('|'))));
    QVERIFY(outcome.viewerText.contains(QStringLiteral("Sport pages")));
    QVERIFY(outcome.viewerText.contains(QStringLiteral("forty-two lamps")));
    QCOMPARE(main.job()->textOptions().kind, quillan::text::Kind::Readable);

    // "Article only": the article alone, on the file road.
    main.chkArticle->setChecked(true);
    outcome = runCommand(main);
    QVERIFY2(outcome.messages.isEmpty(), qPrintable(outcome.messages.join(QLatin1Char('|'))));
    QVERIFY2(isTheArticleAlone(outcome.viewerText), qPrintable(outcome.viewerText));
    QCOMPARE(outcome.viewerFileBytes, outcome.viewerText.toUtf8());
    QCOMPARE(main.job()->textOptions().kind, quillan::text::Kind::Article);

    // The address road, and the browser's, which asks the main window.
    requireOnline();
    server_->route("/news.html", HttpResponse::html(NewsPage.toStdString()));
    main.optURL->setChecked(true);
    main.txtURL->setText(q(server_->url("/news.html")));
    outcome = runCommand(main);
    QVERIFY2(outcome.messages.isEmpty(), qPrintable(outcome.messages.join(QLatin1Char('|'))));
    QVERIFY2(isTheArticleAlone(outcome.viewerText), qPrintable(outcome.viewerText));

    bool hostEnded = false;
    outcome = runCommand(main, [&] {
        MainWindowHost::instance().convertAddress(q(server_->url("/news.html")), [&hostEnded] { hostEnded = true; });
    });
    QVERIFY(hostEnded);
    QVERIFY2(isTheArticleAlone(outcome.viewerText), qPrintable(outcome.viewerText));

    // Clearing "Readable text" clears the article too: the stripped text.
    main.chkReadable->setChecked(false);
    QVERIFY(!main.chkArticle->isChecked());
    hostEnded = false;
    outcome = runCommand(main, [&] {
        MainWindowHost::instance().convertAddress(q(server_->url("/news.html")), [&hostEnded] { hostEnded = true; });
    });
    QVERIFY(hostEnded);
    QCOMPARE(outcome.viewerFileBytes, convertedBytes(NewsPage, dir_->path()));
    QCOMPARE(main.job()->textOptions().kind, quillan::text::Kind::Stripped);
}

void TestConversionCommand::markdownBoxWritesMarkdownAndSavesItAsMd()
{
    const QString html = testsupport::writeFile(dir_->filePath("news.html"), NewsPage);
    MainWindow &main = FormInstance<MainWindow>::get();
    chooseFileMode(main);
    main.txtGetFile->setText(html);
    main.chkReadable->setChecked(false);

    // The readable text as Markdown, saved from the file road under a name
    // typed without an extension.
    main.chkMarkdown->setChecked(true);
    QVERIFY(main.chkReadable->isChecked());
    QStringList filters;
    CommandOutcome outcome = runCommand(main, {}, [&](ViewerWindow *view) {
        auto answer = testsupport::answerModal<QFileDialog>([&](QFileDialog *dialog) {
            filters = dialog->nameFilters();
            dialog->selectFile(QStringLiteral("kept"));
            static_cast<QDialog *>(dialog)->accept();
        });
        view->btnSave->click();
    });
    QVERIFY2(outcome.messages.isEmpty(), qPrintable(outcome.messages.join(QLatin1Char('|'))));
    QCOMPARE(main.job()->textOptions().kind, quillan::text::Kind::Readable);
    QCOMPARE(main.job()->textOptions().syntax, quillan::text::Syntax::Markdown);
    QVERIFY2(outcome.viewerText.contains(QStringLiteral("\n# Harbour lights return\n")),
             qPrintable(outcome.viewerText));
    QVERIFY(outcome.viewerText.contains(QStringLiteral("[Sport pages](")));
    QCOMPARE(outcome.viewerFileBytes, outcome.viewerText.toUtf8());
    QCOMPARE(filters, QStringList{QStringLiteral("Markdown Files (*.md)")});
    QCOMPARE(testsupport::readFile(dir_->filePath("kept.md")), outcome.viewerFileBytes);

    // The article as Markdown from an address: Save proposes the title's
    // name ending in ".md".
    requireOnline();
    const QString documents = QDir::home().filePath(QStringLiteral("Documents"));
    QVERIFY(QDir().mkpath(documents));
    server_->route("/news.html", HttpResponse::html(NewsPage.toStdString()));
    main.chkArticle->setChecked(true);
    main.optURL->setChecked(true);
    main.txtURL->setText(q(server_->url("/news.html")));
    QStringList proposed;
    outcome = runCommand(main, {}, [&](ViewerWindow *view) {
        auto answer = testsupport::answerModal<QFileDialog>([&](QFileDialog *dialog) {
            proposed = dialog->selectedFiles();
            dialog->reject();
        });
        view->btnSave->click();
    });
    QVERIFY2(outcome.messages.isEmpty(), qPrintable(outcome.messages.join(QLatin1Char('|'))));
    QCOMPARE(main.job()->textOptions().kind, quillan::text::Kind::Article);
    QVERIFY2(outcome.viewerText.startsWith(QStringLiteral("# Harbour lights return\n")),
             qPrintable(outcome.viewerText));
    QVERIFY(!outcome.viewerText.contains(QStringLiteral("Sport pages")));
    QCOMPARE(proposed, QStringList{documents + QStringLiteral("/Harbour lights return - Portside News.md")});
    QVERIFY(QDir(documents).removeRecursively());

    // Clearing "Readable text" clears Markdown: plain text again, saved as
    // a text file.
    main.chkReadable->setChecked(false);
    QVERIFY(!main.chkMarkdown->isChecked());
    proposed.clear();
    outcome = runCommand(main, {}, [&](ViewerWindow *view) {
        auto answer = testsupport::answerModal<QFileDialog>([&](QFileDialog *dialog) {
            proposed = dialog->selectedFiles();
            filters = dialog->nameFilters();
            dialog->reject();
        });
        view->btnSave->click();
    });
    QCOMPARE(main.job()->textOptions().syntax, quillan::text::Syntax::Plain);
    QCOMPARE(outcome.viewerFileBytes, convertedBytes(NewsPage, dir_->path()));
    QCOMPARE(filters, QStringList{QStringLiteral("txt Files (*.txt)")});
    QCOMPARE(proposed.size(), 1);
    QVERIFY2(proposed.constFirst().endsWith(QStringLiteral("/Harbour lights return - Portside News.txt")),
             qPrintable(proposed.join(QLatin1Char('|'))));
}

int main(int argc, char **argv)
{
    // Before any thread exists, so that every later thread is in it too.
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0)
        ownNamespace = testsupport::netns::addVethWithDefaultRoute();
    QApplication app(argc, argv);
    TestConversionCommand test;
    const int status = QTest::qExec(&test, argc, argv);
    quillan::net::PageRetrieval::RemoveFetchedPagesFolder();
    return status;
}

#include "conversion_command_test.moc"
