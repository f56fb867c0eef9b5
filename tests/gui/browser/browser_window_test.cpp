// The browser window with the real engine, against pages on the test's own
// server: the address list, Enter, the busy caption and Stop, history,
// Home and Search from the registry, layout, Help, the convert button and
// closing, with a host standing in for the program.

#include "browser_test_support.h"

#include "gui/browser/module/BrowserEntry.h"
#include "gui/browser/module/WebBrowser.h"
#include "gui/browser/module/frmBrowser1.h"
#include "gui/window/Twips.h"
#include "platform/registry/registry.h"
#include "support/environment.h"
#include "support/files.h"

#include <QAction>
#include <QComboBox>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWebEnginePage>

#include <QWebEngineView>
#include <algorithm>

#include <filesystem>

#include <memory>

using browsertest::addressList;
using browsertest::titledPage;
using browsertest::urlOf;
using browsertest::waitForPage;
using testsupport::HttpResponse;

namespace {

// The program's side, recording what the window asks of it.
class RecordingHost : public BrowserHost {
public:
    QStringList converted;
    int mainWindowShown = 0;
    QList<qint32> helpAsked;
    // Seen while convertAddress runs: the window is still there and busy.
    bool windowBusyDuringConversion = false;

    void reset()
    {
        converted.clear();
        mainWindowShown = 0;
        helpAsked.clear();
        windowBusyDuringConversion = false;
        endConversion = nullptr;
    }

    // The end of the conversion, called by the test.
    std::function<void()> endConversion;

    void convertAddress(const QString &address, std::function<void()> whenEnded) override
    {
        converted << address;
        endConversion = std::move(whenEnded);
        if (auto *window = qobject_cast<frmBrowser1 *>(quillan_browser_window_if_loaded()->widget()))
            windowBusyDuringConversion = window->isVisible() && window->cursor().shape() == Qt::WaitCursor;
    }
    void showMainWindow() override { ++mainWindowShown; }
    void showHelp(qint32 contextId) override { helpAsked << contextId; }
    QString programFolder() const override { return QStringLiteral("/opt/quillan-test"); }
};

int twips(const QWidget *widget, int pixels)
{
    return Twips::fromPixels(pixels, widget->screen());
}

} // namespace

class TestBrowserWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowAsLoaded();
    void addressListMostRecentFirstEachOnce();
    void pickingAnEntryNavigatesOnce();
    void enterInAnEmptyBox();
    void stopDuringASlowPage();
    void backAndForward();
    void homeAndSearchFromTheRegistry();
    void localPagesReadNoOtherFilesAndNoWebAddresses();
    void tinySizesAreSkipped();
    void helpAndClosing();
    void convertButtonHandsOverAndCloses();

private:
    frmBrowser1 &openBrowser();
    void visit(frmBrowser1 &browser, const char *target, const QString &title);

    std::unique_ptr<testsupport::HttpTestServer> server_;
    std::unique_ptr<testsupport::RegistrySandbox> registry_;
    RecordingHost host_;
};

void TestBrowserWindow::initTestCase()
{
    server_ = std::make_unique<testsupport::HttpTestServer>();
    server_->route("/a", titledPage(QStringLiteral("Page A")));
    server_->route("/b", titledPage(QStringLiteral("Page B")));
    server_->route("/case", titledPage(QStringLiteral("lower case")));
    server_->route("/CASE", titledPage(QStringLiteral("upper case")));
    server_->route("/home", titledPage(QStringLiteral("Home page")));
    server_->route("/search", titledPage(QStringLiteral("Search page")));
    // Headers and the start of the page, then nothing: loading never ends.
    HttpResponse slow = HttpResponse::html("<html><head><title>Slow page</title></head><body><p>Slow");
    slow.body += std::string(4096, ' ');
    slow.ending = HttpResponse::Ending::Stall;
    slow.stopAfter = 64;
    server_->route("/slow", slow);
}

void TestBrowserWindow::init()
{
    registry_ = std::make_unique<testsupport::RegistrySandbox>();
    host_.reset();
    server_->clearRequests();
}

void TestBrowserWindow::cleanup()
{
    if (BrowserWindow *window = quillan_browser_window_if_loaded()) {
        QPointer<QWidget> widget = window->widget();
        widget->close();
        QVERIFY(QTest::qWaitFor([&] { return widget.isNull(); }, 5000));
    }
    registry_.reset();
}

frmBrowser1 &TestBrowserWindow::openBrowser()
{
    return *static_cast<frmBrowser1 *>(quillan_browser_window(&host_));
}

// As the user does it: the address typed in the box, then Enter. One
// navigation, also when the text is already in the list.
void TestBrowserWindow::visit(frmBrowser1 &browser, const char *target, const QString &title)
{
    const QString url = urlOf(*server_, target);
    QSignalSpy requests(browser.brwWebBrowser, &WebBrowser::BeforeNavigate);
    browser.cboAddress->setEditText(url);
    QTest::keyClick(browser.cboAddress->lineEdit(), Qt::Key_Return);
    QVERIFY(waitForPage(browser, url, title));
    QCOMPARE(requests.count(), 1);
}

void TestBrowserWindow::windowAsLoaded()
{
    frmBrowser1 &browser = openBrowser();
    QVERIFY(browser.isVisible()); // its load shows it
    QCOMPARE(&openBrowser(), &browser);
    QCOMPARE(browser.windowTitle(), QStringLiteral("Quillan Browser"));
    QVERIFY(!browser.timTimer->isActive());
    QCOMPARE(browser.timTimer->interval(), 5);
    QVERIFY(browser.brwWebBrowser->LocationURL().isEmpty()); // no page asked for

    const QStringList keys{"Back", "Forward", "Stop", "Refresh", "Home", "Search"};
    QCOMPARE(browser.tbToolBar->actions().size(), keys.size());
    QCOMPARE(browser.imlIcons.size(), keys.size());
    for (const QString &key : keys) {
        QAction *button = browser.toolbarButton(key);
        QVERIFY2(button, qPrintable(key));
        QCOMPARE(button->toolTip(), key);
        QVERIFY(!button->icon().pixmap(24, 24).isNull());
    }
    QCOMPARE(browser.convertButton->text(), QStringLiteral("Quillan"));
    QCOMPARE(browser.btnHelp->text(), QStringLiteral("HELP"));
    QCOMPARE(browser.lblAddress->text(), QStringLiteral("&Address:"));
    QCOMPARE(browser.lblAddress->buddy(), browser.cboAddress);

    // The address box moved under its label; the page fills the window
    // below the address row, its scroll bars inside the window.
    QVERIFY(qAbs(twips(&browser, browser.cboAddress->x()) - 50) <= 15);
    QVERIFY(qAbs(twips(&browser, browser.cboAddress->y()) - 270) <= 15);
    const int clientWidth = twips(&browser, browser.width());
    QVERIFY(qAbs(twips(&browser, browser.cboAddress->width()) - (clientWidth - 100)) <= 15);
    const QRect pageArea(0, browser.picAddress->geometry().bottom() + 1, browser.width(),
                         browser.height() - browser.picAddress->geometry().bottom() - 1);
    QCOMPARE(browser.brwWebBrowser->geometry(), pageArea);

    // The two push buttons at their design places while they fit ...
    QVERIFY(qAbs(twips(&browser, browser.convertButton->x()) - 6720) <= 15);
    QVERIFY(qAbs(twips(&browser, browser.btnHelp->x()) - 8280) <= 15);
    // ... and in the window, clear of the toolbar's own buttons, however
    // narrow it is made.
    QWidget *lastTool = browser.tbToolBar->widgetForAction(browser.tbToolBar->actions().constLast());
    QVERIFY(lastTool);
    for (int width : {600, 450, 100}) {
        browser.resize(width, browser.height());
        QTRY_COMPARE(browser.width(), std::max(width, browser.minimumWidth()));
        QVERIFY(browser.minimumWidth() < 600);
        QTRY_VERIFY(lastTool->geometry().right() < browser.convertButton->x());
        for (QPushButton *button : {browser.convertButton, browser.btnHelp})
            QVERIFY2(browser.rect().contains(button->geometry().translated(browser.tbToolBar->pos())),
                     qPrintable(QStringLiteral("%1 at %2 wide").arg(button->text()).arg(width)));
        QCOMPARE(browser.brwWebBrowser->width(), browser.width());
    }
}

void TestBrowserWindow::addressListMostRecentFirstEachOnce()
{
    frmBrowser1 &browser = openBrowser();
    const QString a = urlOf(*server_, "/a");
    const QString b = urlOf(*server_, "/b");
    visit(browser, "/a", QStringLiteral("Page A"));
    QCOMPARE(addressList(browser), QStringList{a});
    visit(browser, "/b", QStringLiteral("Page B"));
    visit(browser, "/a", QStringLiteral("Page A"));
    QCOMPARE(addressList(browser), (QStringList{a, b}));
    QCOMPARE(browser.cboAddress->currentText(), a);

    // Addresses that differ only in letter case are two entries.
    visit(browser, "/case", QStringLiteral("lower case"));
    visit(browser, "/CASE", QStringLiteral("upper case"));
    QCOMPARE(addressList(browser), (QStringList{urlOf(*server_, "/CASE"), urlOf(*server_, "/case"), a, b}));
    QVERIFY(!browser.updatingAddressList);
}

void TestBrowserWindow::pickingAnEntryNavigatesOnce()
{
    frmBrowser1 &browser = openBrowser();
    const QString a = urlOf(*server_, "/a");
    visit(browser, "/a", QStringLiteral("Page A"));
    visit(browser, "/b", QStringLiteral("Page B"));
    const std::size_t requestsForA = server_->requestCount("/a");
    QSignalSpy requests(browser.brwWebBrowser, &WebBrowser::BeforeNavigate);

    // The user picks the second entry of the list.
    browser.cboAddress->setCurrentIndex(1);
    emit browser.cboAddress->activated(1);
    QVERIFY(browser.timTimer->isActive());
    QVERIFY(waitForPage(browser, a, QStringLiteral("Page A")));
    QCOMPARE(addressList(browser).value(0), a);
    QCOMPARE(browser.cboAddress->currentIndex(), 0);
    // Selecting the new first entry started nothing more.
    QCOMPARE(requests.count(), 1);
    QCOMPARE(server_->requestCount("/a"), requestsForA + 1);
    QVERIFY(!browser.timTimer->isActive()); // switched off by its own tick
}

void TestBrowserWindow::enterInAnEmptyBox()
{
    frmBrowser1 &browser = openBrowser();
    visit(browser, "/a", QStringLiteral("Page A"));
    browser.cboAddress->setEditText(QString());
    QTest::keyClick(browser.cboAddress->lineEdit(), Qt::Key_Return);
    QVERIFY(waitForPage(browser, QStringLiteral("about:blank"), QStringLiteral("about:blank")));
    QCOMPARE(addressList(browser).value(0), QStringLiteral("about:blank"));
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    // A move within the page ends its busy time like any other.
    visit(browser, "/a", QStringLiteral("Page A"));
    const QString part = urlOf(*server_, "/a") + QStringLiteral("#part");
    browser.cboAddress->setEditText(part);
    QTest::keyClick(browser.cboAddress->lineEdit(), Qt::Key_Return);
    QVERIFY(waitForPage(browser, part, QStringLiteral("Page A")));
}

void TestBrowserWindow::stopDuringASlowPage()
{
    frmBrowser1 &browser = openBrowser();
    visit(browser, "/a", QStringLiteral("Page A"));
    browser.cboAddress->setEditText(urlOf(*server_, "/slow"));
    QTest::keyClick(browser.cboAddress->lineEdit(), Qt::Key_Return);
    QVERIFY(QTest::qWaitFor([&] { return server_->requestCount("/slow") == 1; }, 10000));
    QVERIFY(QTest::qWaitFor([&] { return browser.windowTitle() == QLatin1String("Working..."); }, 10000));
    QVERIFY(browser.brwWebBrowser->Busy());

    browser.toolbarButton(QStringLiteral("Stop"))->trigger();
    QVERIFY(!browser.timTimer->isActive());
    QVERIFY(!browser.brwWebBrowser->Busy());
    QCOMPARE(browser.windowTitle(), browser.brwWebBrowser->LocationName());
    QVERIFY(browser.windowTitle() != QLatin1String("Working..."));
    // The engine's own end of the load keeps the title.
    QVERIFY(QTest::qWaitFor([&] { return browser.windowTitle() == browser.brwWebBrowser->LocationName(); }, 5000));
    QVERIFY(browser.windowTitle() != QLatin1String("Working..."));
}

void TestBrowserWindow::backAndForward()
{
    frmBrowser1 &browser = openBrowser();
    const QString a = urlOf(*server_, "/a");
    const QString b = urlOf(*server_, "/b");
    // With no page at all, and with one page, there is nothing either way.
    QVERIFY(!browser.brwWebBrowser->GoBack());
    QVERIFY(!browser.brwWebBrowser->GoForward());
    visit(browser, "/a", QStringLiteral("Page A"));
    browser.toolbarButton(QStringLiteral("Back"))->trigger();
    QVERIFY(!browser.brwWebBrowser->Busy());
    QCOMPARE(browser.brwWebBrowser->LocationURL(), a);

    visit(browser, "/b", QStringLiteral("Page B"));
    browser.toolbarButton(QStringLiteral("Back"))->trigger();
    QVERIFY(waitForPage(browser, a, QStringLiteral("Page A")));
    browser.toolbarButton(QStringLiteral("Forward"))->trigger();
    QVERIFY(waitForPage(browser, b, QStringLiteral("Page B")));
    QVERIFY(!browser.brwWebBrowser->GoForward());
    QCOMPARE(addressList(browser), (QStringList{b, a}));
}

void TestBrowserWindow::homeAndSearchFromTheRegistry()
{
    frmBrowser1 &browser = openBrowser();
    // Defaults while nothing is set.
    QCOMPARE(browser.brwWebBrowser->homePage(), QStringLiteral("/opt/quillan-test/quillan.htm"));
    QCOMPARE(browser.brwWebBrowser->searchPage(), QString::fromLatin1(WebBrowser::DefaultSearchPage));

    const QString home = urlOf(*server_, "/home");
    const QString search = urlOf(*server_, "/search");
    QCOMPARE(platform::RegWriteString(platform::HKEY_CURRENT_USER, WebBrowser::SettingsKey, WebBrowser::StartPageValue,
                                      home.toStdString()),
             platform::ERROR_SUCCESS);
    QCOMPARE(platform::RegWriteString(platform::HKEY_CURRENT_USER, WebBrowser::SettingsKey, WebBrowser::SearchPageValue,
                                      search.toStdString()),
             platform::ERROR_SUCCESS);
    browser.toolbarButton(QStringLiteral("Home"))->trigger();
    QVERIFY(waitForPage(browser, home, QStringLiteral("Home page")));
    browser.toolbarButton(QStringLiteral("Search"))->trigger();
    QVERIFY(waitForPage(browser, search, QStringLiteral("Search page")));
    browser.toolbarButton(QStringLiteral("Refresh"))->trigger();
    QVERIFY(QTest::qWaitFor([&] { return server_->requestCount("/search") == 2; }, 10000));
    QVERIFY(waitForPage(browser, search, QStringLiteral("Search page")));
}

void TestBrowserWindow::localPagesReadNoOtherFilesAndNoWebAddresses()
{
    // A page saved on disk tries to read a private file beside it and a
    // page of the web, and writes what it got into its title.
    testsupport::TempDir dir;
    testsupport::writeFile(dir / "secret.txt", "SECRET of the user");
    std::filesystem::permissions(dir / "secret.txt", std::filesystem::perms(0600));
    HttpResponse remote = HttpResponse::html("SECRET of the web");
    server_->route("/remote", remote);
    const QString script = QStringLiteral(R"(<html><head><title>probing</title><script>
function probe(name, url) {
  return new Promise(function (resolve) {
    try {
      var x = new XMLHttpRequest();
      x.open('GET', url);
      x.onload = function () { resolve(name + (x.responseText.indexOf('SECRET') >= 0 ? ':read' : ':empty')); };
      x.onerror = function () { resolve(name + ':blocked'); };
      x.send();
    } catch (e) { resolve(name + ':blocked'); }
  });
}
Promise.all([probe('file', 'secret.txt'), probe('web', '%1'),
             fetch('%1').then(function (r) { return r.text(); }).then(
               function (t) { return t.indexOf('SECRET') >= 0 ? 'fetch:read' : 'fetch:empty'; },
               function () { return 'fetch:blocked'; })])
  .then(function (seen) { document.title = seen.join(' '); });
</script></head><body><p>A page from disk</p></body></html>
)")
                               .arg(urlOf(*server_, "/remote"));
    testsupport::writeFile(dir / "page.html", script.toStdString());

    frmBrowser1 &browser = openBrowser();
    browser.brwWebBrowser->Navigate(QString::fromStdString((dir / "page.html").string()));
    QVERIFY(QTest::qWaitFor([&] { return browser.brwWebBrowser->LocationName().contains(QStringLiteral("fetch:")); },
                            20000));
    QCOMPARE(browser.brwWebBrowser->LocationName(), QStringLiteral("file:blocked web:blocked fetch:blocked"));

    // The program's own start page still shows, and its links still lead
    // within it.
    const QString start = QStringLiteral(START_PAGE);
    browser.brwWebBrowser->Navigate(start);
    QVERIFY(QTest::qWaitFor(
        [&] {
            return !browser.brwWebBrowser->Busy() &&
                   browser.brwWebBrowser->LocationName() == QStringLiteral("Welcome to Quillan");
        },
        20000));
    browser.brwWebBrowser->view()->page()->runJavaScript(
        QStringLiteral("document.querySelector('a[href=\"#subject-viewer\"]').click();"));
    QVERIFY(QTest::qWaitFor(
        [&] {
            return browser.brwWebBrowser->LocationURL() == QUrl::fromLocalFile(start).toString() + "#subject-viewer";
        },
        10000));
}

void TestBrowserWindow::tinySizesAreSkipped()
{
    frmBrowser1 &browser = openBrowser();
    const int browserHeight = browser.brwWebBrowser->height();

    // Lower than the address row: the width follows, the height that would
    // be negative keeps its value.
    browser.resize(browser.minimumWidth(), Twips::toPixels(600, browser.screen()));
    QVERIFY(QTest::qWaitFor([&] { return twips(&browser, browser.height()) < 700; }, 5000));
    QCOMPARE(browser.brwWebBrowser->width(), browser.width());
    QCOMPARE(browser.brwWebBrowser->height(), browserHeight);

    // Narrower than the margin: nothing can be applied, nothing is.
    const QSize kept = browser.cboAddress->size();
    const int keptBrowserWidth = browser.brwWebBrowser->width();
    browser.resize(3, 3);
    browser.Form_Resize();
    if (twips(&browser, browser.width()) < 100) {
        QCOMPARE(browser.cboAddress->size(), kept);
        QCOMPARE(browser.brwWebBrowser->width(), keptBrowserWidth);
    }
    browser.showMinimized();
    browser.Form_Resize();
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    browser.showNormal();
}

void TestBrowserWindow::helpAndClosing()
{
    frmBrowser1 &browser = openBrowser();
    browser.btnHelp->click();
    QCOMPARE(host_.helpAsked, QList<qint32>{1012});

    QPointer<frmBrowser1> window(&browser);
    browser.close();
    QCOMPARE(host_.mainWindowShown, 1);
    QVERIFY(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
    QVERIFY(quillan_browser_window_if_loaded() == nullptr);
    // The next request makes a fresh window.
    QVERIFY(openBrowser().addressText().isEmpty());
}

void TestBrowserWindow::convertButtonHandsOverAndCloses()
{
    frmBrowser1 &browser = openBrowser();
    visit(browser, "/a", QStringLiteral("Page A"));
    // What the user typed since counts, unchanged.
    browser.cboAddress->setEditText(QStringLiteral("http://"));
    QPointer<frmBrowser1> window(&browser);
    browser.convertButton->click();
    QCOMPARE(host_.converted, QStringList{QStringLiteral("http://")});
    QVERIFY(host_.windowBusyDuringConversion);
    // The window stays, busy, until the program says the command has ended.
    QVERIFY(host_.endConversion);
    QVERIFY(window && window->isVisible());
    QCOMPARE(window->cursor().shape(), Qt::WaitCursor);
    QCOMPARE(host_.mainWindowShown, 0);
    host_.endConversion();
    QCOMPARE(host_.mainWindowShown, 1); // closed afterwards, in every case
    QVERIFY(QTest::qWaitFor([&] { return window.isNull(); }, 5000));
}

QTEST_MAIN(TestBrowserWindow)
#include "browser_window_test.moc"
