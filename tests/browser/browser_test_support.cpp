#include "browser_test_support.h"

#include "browser/module/WebBrowser.h"
#include "browser/module/frmBrowser1.h"

#include <QComboBox>
#include <QTest>

namespace browsertest {

testsupport::HttpResponse titledPage(const QString &title)
{
    return testsupport::HttpResponse::html(
        QStringLiteral("<html><head><title>%1</title></head><body><p>%1</p></body></html>").arg(title).toStdString());
}

QString urlOf(const testsupport::HttpTestServer &server, const char *target)
{
    return QString::fromStdString(server.url(target));
}

bool waitForPage(frmBrowser1 &browser, const QString &url, const QString &caption, int timeoutMs)
{
    const bool arrived = QTest::qWaitFor(
        [&] {
            return !browser.brwWebBrowser->Busy() && browser.brwWebBrowser->LocationURL() == url
                && browser.windowTitle() == caption;
        },
        timeoutMs);
    if (!arrived)
        qWarning("waiting for %s (%s); shown: %s (%s), busy %d", qPrintable(url), qPrintable(caption),
                 qPrintable(browser.brwWebBrowser->LocationURL()), qPrintable(browser.windowTitle()),
                 int(browser.brwWebBrowser->Busy()));
    return arrived;
}

QStringList addressList(const frmBrowser1 &browser)
{
    QStringList entries;
    for (int i = 0; i < browser.cboAddress->count(); ++i)
        entries << browser.cboAddress->itemText(i);
    return entries;
}

} // namespace browsertest
