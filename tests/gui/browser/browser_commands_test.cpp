// The main window's commands that open the browser, through the program's
// loader of the browser module: Open Browser on the local page, twice; the
// publisher's site while offline, with the main window closed on the way
// and brought back when the browser closes; and the browser's convert
// button through the main window's "HTML to Text" to the viewer.
//
// The test does not link the browser module: the program's loader loads it
// into a running application, as in the program, and the test sees the
// browser window through its controls' names and properties.
//
// Run as root, the test moves into a network namespace of its own with a
// default route before anything starts (Netvane then reports it online),
// and takes the route away to be offline.

#include "browser_test_support.h"

#include "gui/browser/BrowserModule.h"
#include "gui/shell/MainWindow.h"
#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "support/process.h"
#include "support/qt_support.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <sched.h>
#include <unistd.h>

using browsertest::titledPage;
using browsertest::urlOf;
using browsertest::waitForPage;

namespace {

bool ownNamespace = false;

const QString OfflineMessage = QStringLiteral(
    "Quillan did not detect an active Internet connection.  Please make sure you are connected before continuing.");

// The browser window's parts, found by name.
struct Browser {
    QWidget *window = nullptr;
    QComboBox *cboAddress = nullptr;
    QLabel *lblAddress = nullptr;
    QPushButton *convertButton = nullptr; // objectName btrnQuillan
    QObject *brwWebBrowser = nullptr;

    explicit operator bool() const { return window && cboAddress && lblAddress && convertButton && brwWebBrowser; }
};

Browser loadedBrowser()
{
    Browser browser;
    if (BrowserWindow *loaded = BrowserModule::ifLoaded()) {
        browser.window = loaded->widget();
        browser.cboAddress = browser.window->findChild<QComboBox *>(QStringLiteral("cboAddress"));
        browser.lblAddress = browser.window->findChild<QLabel *>(QStringLiteral("lblAddress"));
        browser.convertButton = browser.window->findChild<QPushButton *>(QStringLiteral("btrnQuillan"));
        browser.brwWebBrowser = browser.window->findChild<QObject *>(QStringLiteral("brwWebBrowser"));
    }
    return browser;
}

// What pressing the convert button showed, answered as it came: message
// boxes with OK, the viewer by noting its text (and the browser window
// behind it) and closing it. Nothing is checked inside the answers.
struct Conversion {
    QStringList messages;
    bool viewerShown = false;
    QString viewerText;
    bool browserOpenBehindViewer = false;
};

Conversion pressConvert(const Browser &browser)
{
    Conversion seen;
    const testsupport::ModalWatch watch([&seen](QWidget *top) {
        if (testsupport::acceptMessageBox(top, seen.messages))
            return true;
        auto *view = qobject_cast<ViewerWindow *>(top);
        if (!view)
            return false;
        seen.viewerShown = true;
        seen.viewerText = view->txtHTML->Text();
        const Browser behind = loadedBrowser();
        seen.browserOpenBehindViewer =
            behind && behind.window->isVisible() && behind.window->cursor().shape() == Qt::WaitCursor;
        view->close();
        return true;
    });
    const QPointer<QWidget> window(browser.window);
    browser.convertButton->click();
    // The browser closes once the whole command, viewer included, has ended.
    if (!QTest::qWaitFor([&window] { return window.isNull(); }, 60000))
        seen.messages << QStringLiteral("the browser did not close within 60 s");
    return seen;
}

} // namespace

class TestBrowserCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void openBrowserTwiceReusesOneWindow();
    void publisherSiteOfflineTakesThePlaceOfTheMainWindow();
    void convertButtonThroughTheMainWindow();
    void publisherSiteWithoutNetvaneNamesTheCause();

private:
    Browser browserOn(const char *target, const QString &title);
    std::unique_ptr<testsupport::HttpTestServer> server_;

    QString localPage() const { return QCoreApplication::applicationDirPath() + QStringLiteral("/quillan.htm"); }
};

namespace {

bool runRegsvr(const QStringList &arguments)
{
    QProcess regsvr;
    regsvr.start(QStringLiteral(REGSVR_TOOL), arguments);
    return regsvr.waitForFinished(30000) && regsvr.exitStatus() == QProcess::NormalExit && regsvr.exitCode() == 0;
}

} // namespace

void TestBrowserCommands::initTestCase()
{
    // Netvane registered in the test's own registry.
    QVERIFY(runRegsvr({QStringLiteral(NETVANE_LIBRARY)}));
    server_ = std::make_unique<testsupport::HttpTestServer>();
    server_->route("/news", titledPage(QStringLiteral("Daily news")));
}

void TestBrowserCommands::cleanup()
{
    if (const Browser browser = loadedBrowser())
        QVERIFY(testsupport::closeAndWaitForDeletion(browser.window, 10000));
    if (MainWindow *main = FormInstance<MainWindow>::ifLoaded())
        QVERIFY(testsupport::closeAndWaitForDeletion(main));
}

void TestBrowserCommands::openBrowserTwiceReusesOneWindow()
{
    QVERIFY(QFileInfo(localPage()).isFile()); // ships beside the program
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();

    main.OpenBrowser_Click();
    const Browser browser = loadedBrowser();
    QVERIFY2(browser, qPrintable(BrowserModule::loadError()));
    QVERIFY(browser.window->isVisible());
    QVERIFY(browser.cboAddress->currentText().isEmpty()); // cleared until the page is there
    QCOMPARE(browser.window->focusWidget(), static_cast<QWidget *>(browser.cboAddress));
    const QString pageUrl = QUrl::fromLocalFile(localPage()).toString();
    QVERIFY(waitForPage(*browser.window, pageUrl, QStringLiteral("Welcome to Quillan")));
    QCOMPARE(browser.cboAddress->currentText(), pageUrl);
    QVERIFY(main.isVisible());

    // The second time: the same window, sent to the local page again.
    QSignalSpy navigations(browser.brwWebBrowser, SIGNAL(BeforeNavigate(QString)));
    main.OpenBrowser_Click();
    QCOMPARE(loadedBrowser().window, browser.window);
    QCOMPARE(navigations.count(), 1);
    QVERIFY(waitForPage(*browser.window, pageUrl, QStringLiteral("Welcome to Quillan")));
    QCOMPARE(browser.cboAddress->count(), 1);
    QVERIFY(main.isVisible());
    QVERIFY(browser.convertButton->isVisibleTo(browser.window));
}

void TestBrowserCommands::publisherSiteOfflineTakesThePlaceOfTheMainWindow()
{
    if (!ownNamespace)
        QSKIP("needs a network namespace of the test's own to be offline");
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    main.txtURL->setText(QStringLiteral("typed before"));
    QPointer<MainWindow> firstMain(&main);

    // Offline: the message comes first, before any browser window.
    QString shown;
    bool browserBeforeAnswer = true;
    auto answer = testsupport::answerModal<QMessageBox>([&](QMessageBox *box) {
        shown = box->text();
        browserBeforeAnswer = BrowserModule::ifLoaded() != nullptr;
        box->accept();
    });
    QVERIFY(testsupport::netns::sh("ip route del default"));
    main.Fennick_Click();
    QVERIFY(testsupport::netns::sh("ip route add default via 10.200.0.2 dev nv0"));
    QVERIFY(answer->answered);
    QCOMPARE(shown, OfflineMessage);
    QVERIFY(!browserBeforeAnswer);

    const Browser browser = loadedBrowser();
    QVERIFY(browser);
    QVERIFY(browser.window->isVisible());
    QVERIFY(!browser.convertButton->isVisibleTo(browser.window)); // no convert button
    QVERIFY(browser.cboAddress->isVisibleTo(browser.window));
    QVERIFY(browser.lblAddress->isVisibleTo(browser.window));
    QVERIFY(browser.brwWebBrowser->property("AddressBar").toBool());
    QVERIFY(browser.brwWebBrowser->property("Resizable").toBool());
    QVERIFY(QTest::qWaitFor([&] { return firstMain.isNull(); }, 5000)); // the main window closed
    QVERIFY(!FormInstance<MainWindow>::isLoaded());
    // The engine shows its own error page for the unreachable site.
    QVERIFY(QTest::qWaitFor(
        [&] {
            return browser.brwWebBrowser->property("LocationURL").toString() ==
                   QLatin1String("http://www.fennick.example/quillan/");
        },
        20000));

    // Closing the browser brings back a main window, a fresh one.
    QVERIFY(testsupport::closeAndWaitForDeletion(browser.window, 10000));
    MainWindow *back = FormInstance<MainWindow>::ifLoaded();
    QVERIFY(back);
    QVERIFY(back->isVisible());
    QCOMPARE(back->txtURL->text(), QStringLiteral("http://"));
    QVERIFY(back->optURL->isChecked());
}

// The browser opened by Open Browser, then sent to a page of the server.
Browser TestBrowserCommands::browserOn(const char *target, const QString &title)
{
    FormInstance<MainWindow>::get().OpenBrowser_Click();
    const Browser browser = loadedBrowser();
    if (!browser)
        return browser;
    browser.cboAddress->setEditText(urlOf(*server_, target));
    QTest::keyClick(browser.cboAddress->lineEdit(), Qt::Key_Return);
    if (!waitForPage(*browser.window, urlOf(*server_, target), title))
        qWarning("the browser did not reach %s", target);
    return browser;
}

void TestBrowserCommands::convertButtonThroughTheMainWindow()
{
    if (!ownNamespace)
        QSKIP("needs a network namespace of the test's own to be online");
    const QString news = urlOf(*server_, "/news");
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    main.txtURL->setText(QStringLiteral("typed before"));

    // The page is fetched again by the main window and shown in the viewer;
    // the browser waits behind it and closes after it.
    Browser browser = browserOn("/news", QStringLiteral("Daily news"));
    QVERIFY(browser);
    QPointer<QWidget> window = browser.window;
    const std::size_t fetchedBefore = server_->requestCount("/news");
    const Conversion converted = pressConvert(browser);
    QVERIFY2(converted.messages.isEmpty(), qPrintable(converted.messages.join(QLatin1Char('|'))));
    QVERIFY(converted.viewerShown);
    QVERIFY2(converted.viewerText.contains(QStringLiteral("Daily news")), qPrintable(converted.viewerText));
    QVERIFY(converted.browserOpenBehindViewer);
    QCOMPARE(server_->requestCount("/news"), fetchedBefore + 1);
    QVERIFY(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    QCOMPARE(&FormInstance<MainWindow>::get(), &main);
    QVERIFY(main.isVisible());
    QCOMPARE(main.txtURL->text(), news);
    QVERIFY(main.optURL->isChecked());

    // The bare "http://": the command's message, and the window closes all the same.
    browser = browserOn("/news", QStringLiteral("Daily news"));
    QVERIFY(browser);
    window = browser.window;
    browser.cboAddress->setEditText(QStringLiteral("http://"));
    const Conversion refused = pressConvert(browser);
    QCOMPARE(refused.messages, QStringList{QStringLiteral("please enter complete URL")});
    QVERIFY(!refused.viewerShown);
    QVERIFY(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
}

// Netvane not registered: the main window has no control to ask, and the
// message says so on a line below its fixed text. The command goes on.
void TestBrowserCommands::publisherSiteWithoutNetvaneNamesTheCause()
{
    QVERIFY(runRegsvr({QStringLiteral("-u"), QStringLiteral(NETVANE_LIBRARY)}));
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    QString shown;
    auto answer = testsupport::answerModal<QMessageBox>([&](QMessageBox *box) {
        shown = box->text();
        box->accept();
    });
    main.Fennick_Click();
    const bool registeredAgain = runRegsvr({QStringLiteral(NETVANE_LIBRARY)});
    QVERIFY(answer->answered);
    const QStringList lines = shown.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], OfflineMessage);
    QVERIFY(!lines[1].trimmed().isEmpty());
    QVERIFY(loadedBrowser());
    QVERIFY(registeredAgain);
}

int main(int argc, char **argv)
{
    // Before any thread exists, so that every later thread is in it too.
    if (::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0)
        ownNamespace = testsupport::netns::addVethWithDefaultRoute();
    QApplication app(argc, argv);
    TestBrowserCommands test;
    return QTest::qExec(&test, argc, argv);
}
#include "browser_commands_test.moc"
