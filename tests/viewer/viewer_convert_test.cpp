// ConvertHtmlFile end to end: the conversion, the hand-over to the viewer,
// the busy pointer, and what a failure leaves behind.

#include "conversion/ConvertHtmlFile.h"
#include "conversion/converter.h"
#include "shell/FormInstance.h"
#include "viewer/RichTextBox.h"
#include "viewer/frmView.h"
#include "support/qt_support.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

using testsupport::readFile;
using testsupport::writeFile;

QString expectedTextPath(const QString &htmlPath)
{
    const auto path = quillan::textPathFor(std::filesystem::path(QFile::encodeName(htmlPath).toStdString()));
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

// The text as the viewer shows a file's bytes (line ends as "\n").
QString shownText(const QByteArray &bytes)
{
    QString text = QString::fromUtf8(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

const QByteArray Page = "<html><head><title>News</title></head>\r\n"
                        "<body><p>Hello&nbsp;world</p>\r\n"
                        "<p>5</p>\r\n"
                        "Second line of text\r\n"
                        "</body></html>\r\n";

} // namespace

class TestViewerConvert : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void convertedTextArrivesInTheViewer();
    void busyPointerDuringTheRunOnly();
    void failureLeavesTheViewerAlone();
    void viewerShownModalDeletesTheTextOnClose();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestViewerConvert::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestViewerConvert::cleanup()
{
    if (frmView *view = FormInstance<frmView>::ifLoaded()) {
        view->textSaved = true;
        QVERIFY(testsupport::closeAndWaitForDeletion(view));
    }
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    dir_.reset();
}

void TestViewerConvert::convertedTextArrivesInTheViewer()
{
    const QString html = writeFile(dir_->filePath("news.html"), Page);
    QVERIFY(!FormInstance<frmView>::isLoaded());

    const QString textPath = Globals::ConvertHtmlFile(html);
    QCOMPARE(textPath, expectedTextPath(html));
    QVERIFY(QFile::exists(textPath));

    QVERIFY(FormInstance<frmView>::isLoaded()); // loaded by the hand-over
    frmView &view = FormInstance<frmView>::get();
    QVERIFY(!view.isVisible()); // but not shown
    QCOMPARE(view.textSaved, false);
    QCOMPARE(view.txtHTML->FileName(), textPath);
    const QString text = view.txtHTML->Text();
    QCOMPARE(text, shownText(readFile(textPath)));
    QVERIFY2(text.contains(QStringLiteral("Hello world")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Second line of text")), qPrintable(text));
    QVERIFY(!text.contains(QLatin1Char('<')));

    // A second conversion reuses the loaded viewer and replaces its text.
    const QString other = writeFile(dir_->filePath("other.htm"), "<b>Other page</b>\r\n");
    const QString otherText = Globals::ConvertHtmlFile(other);
    QCOMPARE(&FormInstance<frmView>::get(), &view);
    QCOMPARE(view.txtHTML->FileName(), otherText);
    QCOMPARE(view.txtHTML->Text(), shownText(readFile(otherText)));
}

void TestViewerConvert::busyPointerDuringTheRunOnly()
{
    const QString html = writeFile(dir_->filePath("page.html"), Page);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    // The one yield after the hand-over runs this; the pointer must still be busy.
    int shapeDuringYield = -1;
    QString fileDuringYield;
    QTimer::singleShot(0, this, [&]() {
        if (const QCursor *cursor = QGuiApplication::overrideCursor())
            shapeDuringYield = cursor->shape();
        if (frmView *view = FormInstance<frmView>::ifLoaded())
            fileDuringYield = view->txtHTML->FileName();
    });
    const QString textPath = Globals::ConvertHtmlFile(html);
    QCOMPARE(shapeDuringYield, int(Qt::WaitCursor));
    QCOMPARE(fileDuringYield, textPath); // the text was handed over before the yield
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestViewerConvert::failureLeavesTheViewerAlone()
{
    const QString missing = dir_->filePath("missing.html");

    // No viewer yet: a failure does not load one, and the pointer is back to
    // the default.
    QVERIFY_THROWS_EXCEPTION(quillan::ConversionError, Globals::ConvertHtmlFile(missing));
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    QVERIFY(!FormInstance<frmView>::isLoaded());
    QVERIFY(!QFile::exists(expectedTextPath(missing)));

    // A viewer holding an earlier text keeps it.
    const QString first = Globals::ConvertHtmlFile(writeFile(dir_->filePath("first.html"), Page));
    frmView &view = FormInstance<frmView>::get();
    const QString before = view.txtHTML->Text();
    QVERIFY(!before.isEmpty());

    // A text file that cannot be written: its name is taken by a folder.
    const QString blocked = dir_->filePath("blocked.html");
    writeFile(blocked, Page);
    QVERIFY(QDir().mkpath(expectedTextPath(blocked)));
    QVERIFY_THROWS_EXCEPTION(quillan::ConversionError, Globals::ConvertHtmlFile(blocked));
    QVERIFY_THROWS_EXCEPTION(quillan::ConversionError, Globals::ConvertHtmlFile(missing));

    QCOMPARE(&FormInstance<frmView>::get(), &view);
    QCOMPARE(view.txtHTML->FileName(), first);
    QCOMPARE(view.txtHTML->Text(), before);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void TestViewerConvert::viewerShownModalDeletesTheTextOnClose()
{
    const QString textPath = Globals::ConvertHtmlFile(writeFile(dir_->filePath("shown.html"), Page));
    frmView &view = FormInstance<frmView>::get();
    QPointer<frmView> viewer(&view);

    bool wasModal = false;
    QTimer::singleShot(0, this, [&]() {
        wasModal = viewer && viewer->isVisible() && QApplication::activeModalWidget() == viewer.data();
        if (viewer)
            QTest::mouseClick(viewer->btnClose, Qt::LeftButton);
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [&]() {
        if (viewer)
            viewer->close();
    });
    guard.start(20000);
    view.ShowModal();
    QVERIFY(guard.isActive()); // closed by the click, not by the guard
    QVERIFY(wasModal);
    QVERIFY(!FormInstance<frmView>::isLoaded());
    QVERIFY(!QFile::exists(textPath));
}

QTEST_MAIN(TestViewerConvert)
#include "viewer_convert_test.moc"
