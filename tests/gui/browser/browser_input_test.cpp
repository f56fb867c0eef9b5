// The browser window as keys really reach it: Enter goes to the focus
// widget, the address box itself, not to the line edit inside it. Also the
// toolbar and the address row following a widened window, and the address
// box's name for screen readers.

#include "browser_test_support.h"

#include "gui/browser/module/BrowserEntry.h"
#include "gui/browser/module/WebBrowser.h"
#include "gui/browser/module/frmBrowser1.h"
#include "gui/window/Twips.h"
#include "support/environment.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

#include <memory>

using browsertest::addressList;
using browsertest::titledPage;
using browsertest::urlOf;
using browsertest::waitForPage;

namespace {

class QuietHost : public BrowserHost {
public:
    void convertAddress(const QString &, std::function<void()> whenEnded) override { whenEnded(); }
    void showMainWindow() override {}
    void showHelp(qint32) override {}
    QString programFolder() const override { return QStringLiteral("/opt/quillan-test"); }
};

} // namespace

class TestBrowserInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void enterAtTheFocusWidgetNavigatesOnce();
    void stripsFollowTheWindowWidth();
    void addressBoxIsNamed();

private:
    frmBrowser1 &openBrowser();
    // Types `url` into the box as keys and presses Enter, each key sent where
    // the application sends a real one: to the focus widget.
    void typeAndEnter(frmBrowser1 &browser, const QString &url, const QString &title);

    std::unique_ptr<testsupport::HttpTestServer> server_;
    std::unique_ptr<testsupport::RegistrySandbox> registry_;
    QuietHost host_;
};

void TestBrowserInput::initTestCase()
{
    registry_ = std::make_unique<testsupport::RegistrySandbox>();
    server_ = std::make_unique<testsupport::HttpTestServer>();
    server_->route("/a", titledPage(QStringLiteral("Page A")));
    server_->route("/b", titledPage(QStringLiteral("Page B")));
}

void TestBrowserInput::cleanup()
{
    if (BrowserWindow *window = quillan_browser_window_if_loaded()) {
        QPointer<QWidget> widget = window->widget();
        widget->close();
        QVERIFY(QTest::qWaitFor([&] { return widget.isNull(); }, 5000));
    }
}

frmBrowser1 &TestBrowserInput::openBrowser()
{
    auto &browser = *static_cast<frmBrowser1 *>(quillan_browser_window(&host_));
    [&] { QVERIFY(QTest::qWaitForWindowExposed(&browser)); }();
    QApplication::setActiveWindow(&browser); // no window manager here to do it
    return browser;
}

void TestBrowserInput::typeAndEnter(frmBrowser1 &browser, const QString &url, const QString &title)
{
    browser.cboAddress->setFocus(Qt::MouseFocusReason);
    QVERIFY(QTest::qWaitFor([&] { return QApplication::focusWidget() == browser.cboAddress; }, 5000));
    browser.cboAddress->lineEdit()->selectAll();
    QSignalSpy requests(browser.brwWebBrowser, &WebBrowser::BeforeNavigate);
    QTest::keyClicks(QApplication::focusWidget(), url);
    QCOMPARE(browser.cboAddress->currentText(), url);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(waitForPage(browser, url, title));
    QCOMPARE(requests.count(), 1);
}

void TestBrowserInput::enterAtTheFocusWidgetNavigatesOnce()
{
    frmBrowser1 &browser = openBrowser();
    const QString a = urlOf(*server_, "/a");
    const QString b = urlOf(*server_, "/b");
    typeAndEnter(browser, a, QStringLiteral("Page A"));
    QCOMPARE(addressList(browser), QStringList{a});
    typeAndEnter(browser, b, QStringLiteral("Page B"));
    // A again, now an entry of the list: still one navigation.
    typeAndEnter(browser, a, QStringLiteral("Page A"));
    QCOMPARE(addressList(browser), (QStringList{a, b}));
    QCOMPARE(server_->requestCount("/a"), std::size_t(2));
    QCOMPARE(server_->requestCount("/b"), std::size_t(1));
}

void TestBrowserInput::stripsFollowTheWindowWidth()
{
    frmBrowser1 &browser = openBrowser();
    const int designWidth = browser.width();
    for (const int width : {designWidth + designWidth / 2, designWidth * 2}) {
        browser.resize(width, browser.height());
        QVERIFY(QTest::qWaitFor([&] { return browser.width() == width; }, 5000));
        QCOMPARE(browser.tbToolBar->x(), 0);
        QCOMPARE(browser.tbToolBar->width(), width);
        QCOMPARE(browser.picAddress->x(), 0);
        QCOMPARE(browser.picAddress->width(), width);
        // The address box, drop-down arrow included, lies inside its row.
        const QRect box = browser.cboAddress->geometry();
        QVERIFY(box.right() < browser.picAddress->width());
        QVERIFY(qAbs(Twips::fromPixels(box.width(), browser.screen()) -
                     (Twips::fromPixels(width, browser.screen()) - 100)) <= 15);
    }
    browser.resize(designWidth, browser.height());
    QVERIFY(QTest::qWaitFor([&] { return browser.width() == designWidth; }, 5000));
    QCOMPARE(browser.tbToolBar->width(), designWidth);
}

void TestBrowserInput::addressBoxIsNamed()
{
    frmBrowser1 &browser = openBrowser();
    for (QWidget *control :
         {static_cast<QWidget *>(browser.cboAddress), static_cast<QWidget *>(browser.cboAddress->lineEdit())}) {
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
        QVERIFY(face);
        QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Address"));
        QVERIFY(!face->text(QAccessible::Description).trimmed().isEmpty());
    }
    // The label still leads to the box: Alt+A.
    QCOMPARE(browser.lblAddress->buddy(), browser.cboAddress);
}

QTEST_MAIN(TestBrowserInput)
#include "browser_input_test.moc"
