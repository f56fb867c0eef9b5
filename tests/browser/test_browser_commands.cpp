// The main window's commands that open the browser, through the program's
// loader of the browser module: Open Browser on the local page, twice, and
// the publisher's site while offline, with the main window closed on the
// way and brought back when the browser closes.

#include "browser_test_support.h"

#include "browser/BrowserModule.h"
#include "browser/module/WebBrowser.h"
#include "browser/module/frmBrowser1.h"
#include "shell/FormInstance.h"
#include "shell/frmMain.h"
#include "support/qt_support.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWebEngineView>

using browsertest::waitForPage;

namespace {

const QString OfflineMessage = QStringLiteral(
    "Quillan did not detect an active Internet connection.  Please make sure you are connected before continuing.");

frmBrowser1 *loadedBrowser()
{
    BrowserWindow *window = BrowserModule::ifLoaded();
    return window ? qobject_cast<frmBrowser1 *>(window->widget()) : nullptr;
}

} // namespace

class TestBrowserCommands : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void openBrowserTwiceReusesOneWindow();
    void publisherSiteOfflineTakesThePlaceOfTheMainWindow();

private:
    QString localPage() const { return QCoreApplication::applicationDirPath() + QStringLiteral("/quillan.htm"); }
};

void TestBrowserCommands::cleanup()
{
    if (frmBrowser1 *browser = loadedBrowser())
        QVERIFY(testsupport::closeAndWaitForDeletion(browser, 10000));
    if (frmMain *main = FormInstance<frmMain>::ifLoaded())
        QVERIFY(testsupport::closeAndWaitForDeletion(main));
}

void TestBrowserCommands::openBrowserTwiceReusesOneWindow()
{
    QVERIFY(QFileInfo(localPage()).isFile()); // ships beside the program
    frmMain &main = FormInstance<frmMain>::get();
    main.show();

    main.OpenBrowser_Click();
    frmBrowser1 *browser = loadedBrowser();
    QVERIFY2(browser, qPrintable(BrowserModule::loadError()));
    QVERIFY(browser->isVisible());
    QVERIFY(browser->cboAddress->currentText().isEmpty()); // cleared until the page is there
    QCOMPARE(browser->focusWidget(), static_cast<QWidget *>(browser->cboAddress));
    const QString pageUrl = QUrl::fromLocalFile(localPage()).toString();
    QVERIFY(waitForPage(*browser, pageUrl, QStringLiteral("Welcome to Quillan")));
    QCOMPARE(browser->cboAddress->currentText(), pageUrl);
    QVERIFY(main.isVisible());

    // The second time: the same window, sent to the local page again.
    QSignalSpy starts(browser->brwWebBrowser->view(), &QWebEngineView::loadStarted);
    main.OpenBrowser_Click();
    QCOMPARE(loadedBrowser(), browser);
    QVERIFY(QTest::qWaitFor([&] { return starts.count() == 1; }, 10000));
    QVERIFY(waitForPage(*browser, pageUrl, QStringLiteral("Welcome to Quillan")));
    QCOMPARE(browser->cboAddress->count(), 1);
    QVERIFY(main.isVisible());
    QVERIFY(browser->btrnQuillan->isVisibleTo(browser));
}

void TestBrowserCommands::publisherSiteOfflineTakesThePlaceOfTheMainWindow()
{
    frmMain &main = FormInstance<frmMain>::get();
    main.show();
    QPointer<frmMain> firstMain(&main);

    // The connection cannot be read here (no Netvane registered in the test's
    // registry): the message comes first, before any browser window.
    QString shown;
    bool browserBeforeAnswer = true;
    auto answer = testsupport::answerModal<QMessageBox>([&](QMessageBox *box) {
        shown = box->text();
        browserBeforeAnswer = loadedBrowser() != nullptr;
        box->accept();
    });
    main.Fennick_Click();
    QVERIFY(answer->answered);
    QVERIFY2(shown.startsWith(OfflineMessage), qPrintable(shown));
    QVERIFY(!browserBeforeAnswer);

    frmBrowser1 *browser = loadedBrowser();
    QVERIFY(browser);
    QVERIFY(browser->isVisible());
    QVERIFY(!browser->btrnQuillan->isVisibleTo(browser)); // no convert button
    QVERIFY(browser->cboAddress->isVisibleTo(browser));
    QVERIFY(browser->lblAddress->isVisibleTo(browser));
    QVERIFY(browser->brwWebBrowser->AddressBar());
    QVERIFY(browser->brwWebBrowser->Resizable());
    QVERIFY(QTest::qWaitFor([&] { return firstMain.isNull(); }, 5000)); // the main window closed
    QVERIFY(!FormInstance<frmMain>::isLoaded());
    // The engine shows its own error page for the unreachable site.
    QVERIFY(QTest::qWaitFor(
        [&] { return browser->brwWebBrowser->LocationURL() == QLatin1String("http://www.fennick.example/quillan/"); },
        20000));

    // Closing the browser brings back a main window, a fresh one.
    QVERIFY(testsupport::closeAndWaitForDeletion(browser, 10000));
    frmMain *back = FormInstance<frmMain>::ifLoaded();
    QVERIFY(back);
    QVERIFY(back->isVisible());
}

QTEST_MAIN(TestBrowserCommands)
#include "test_browser_commands.moc"
