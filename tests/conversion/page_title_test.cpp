// The page's title as a window names the page: found in the head, decoded,
// white space collapsed; nothing when the page has none.

#include "conversion/page_title.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "support/qt_support.h"

#include <sys/stat.h>

class TestPageTitle : public QObject {
    Q_OBJECT
private slots:
    void titles_data();
    void titles();
    void onlyTheHeadIsRead();
    void fromAFile();
};

void TestPageTitle::titles_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain") << QByteArray("<html><head><title>Page A</title></head>") << "Page A";
    QTest::newRow("upper case, attributes") << QByteArray("<HEAD><TITLE lang=en>Page B</TITLE>") << "Page B";
    QTest::newRow("white space") << QByteArray("<title>\r\n  Two\tlines\r\n here </title>") << "Two lines here";
    QTest::newRow("references") << QByteArray("<title>Keys &amp; words &#8211; &#x41;&lt;&gt;&nbsp;x</title>")
                                << QString::fromUtf8("Keys & words \u2013 A<> x");
    QTest::newRow("unknown reference kept") << QByteArray("<title>a &bogus; b</title>") << "a &bogus; b";
    QTest::newRow("utf-8") << QByteArray("<title>Caf\xc3\xa9</title>") << QString::fromUtf8("Caf\u00e9");
    QTest::newRow("latin-1") << QByteArray("<title>Caf\xe9</title>") << QString::fromUtf8("Caf\u00e9");
    QTest::newRow("another tag first") << QByteArray("<titles>no</titles><title>yes</title>") << "yes";
    QTest::newRow("none") << QByteArray("<html><body><p>text</p></body></html>") << "";
    QTest::newRow("unclosed") << QByteArray("<title>never ends") << "";
    QTest::newRow("empty") << QByteArray("<title> </title>") << "";
}

void TestPageTitle::titles()
{
    QFETCH(QByteArray, page);
    QFETCH(QString, title);
    QCOMPARE(quillan::findPageTitle(page), title);
}

void TestPageTitle::onlyTheHeadIsRead()
{
    const QByteArray late = QByteArray(quillan::PageTitleScanBytes, ' ') + "<title>late</title>";
    QVERIFY(quillan::findPageTitle(late).isEmpty());
    const QByteArray longTitle = "<title>" + QByteArray(1000, 'x') + "</title>";
    QCOMPARE(quillan::findPageTitle(longTitle), QString(200, QLatin1Char('x')));
}

void TestPageTitle::fromAFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = testsupport::writeFile(dir.filePath("page.html"), "<title>On disk</title>\r\n");
    QCOMPARE(quillan::readPageTitle(path), QStringLiteral("On disk"));
    QVERIFY(quillan::readPageTitle(dir.filePath("missing.html")).isEmpty());
    // A pipe no one writes to is not waited for; a device is not read.
    const QString fifo = dir.filePath("fifo.html");
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(quillan::readPageTitle(fifo).isEmpty());
    QVERIFY(quillan::readPageTitle(QStringLiteral("/dev/zero")).isEmpty());
}

QTEST_GUILESS_MAIN(TestPageTitle)
#include "page_title_test.moc"
