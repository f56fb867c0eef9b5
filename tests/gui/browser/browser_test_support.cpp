#include "browser_test_support.h"

#include <QComboBox>
#include <QTest>
#include <QVariant>
#include <QWidget>

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

bool waitForPage(const QWidget &browser, const QString &url, const QString &caption, int timeoutMs)
{
    const QObject *control = browser.findChild<QObject *>(QStringLiteral("brwWebBrowser"));
    if (!control)
        return false;
    const auto shown = [control] { return control->property("LocationURL").toString(); };
    const auto busy = [control] { return control->property("Busy").toBool(); };
    const bool arrived =
        QTest::qWaitFor([&] { return !busy() && shown() == url && browser.windowTitle() == caption; }, timeoutMs);
    if (!arrived)
        qWarning("waiting for %s (%s); shown: %s (%s), busy %d", qPrintable(url), qPrintable(caption),
                 qPrintable(shown()), qPrintable(browser.windowTitle()), int(busy()));
    return arrived;
}

QStringList addressList(const QWidget &browser)
{
    QStringList entries;
    if (const auto *box = browser.findChild<QComboBox *>(QStringLiteral("cboAddress"))) {
        for (int i = 0; i < box->count(); ++i)
            entries << box->itemText(i);
    }
    return entries;
}

} // namespace browsertest
