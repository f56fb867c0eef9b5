// The hand-over of a converted text to the viewer: the text loaded and
// shown, modal without a nested event loop, a text that cannot be read, and
// which texts go when the viewer closes (a temporary one even after Save).

#include "convert/converter.h"
#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "support/qt_support.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

using testsupport::readFile;
using testsupport::writeFile;

// The converter's text of a page written at htmlPath.
QString convert(const QString &htmlPath, const QByteArray &page)
{
    writeFile(htmlPath, page);
    const auto path =
        quillan::convert::convertHtmlFile(std::filesystem::path(QFile::encodeName(htmlPath).toStdString()));
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

    void loadedTextIsShownAndReplacedByTheNext();
    void unreadableTextLeavesTheViewerAlone();
    void shownModalWithoutWaiting();
    void closingRemovesTheTextUnlessKept();

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
    if (ViewerWindow *view = FormInstance<ViewerWindow>::ifLoaded()) {
        view->textSaved = true;
        view->textTemporary = false;
        QVERIFY(testsupport::closeAndWaitForDeletion(view));
    }
    dir_.reset();
}

void TestViewerConvert::loadedTextIsShownAndReplacedByTheNext()
{
    const QString textPath = convert(dir_->filePath("news.html"), Page);
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    QString error;
    QVERIFY(view.loadText(textPath, false, &error));
    QVERIFY(error.isEmpty());
    QVERIFY(!view.isVisible()); // loaded, not shown
    QCOMPARE(view.textSaved, false);
    QCOMPARE(view.txtHTML->FileName(), textPath);
    const QString text = view.txtHTML->Text();
    QCOMPARE(text, shownText(readFile(textPath)));
    QVERIFY2(text.contains(QStringLiteral("Hello world")), qPrintable(text));
    QVERIFY(!text.contains(QLatin1Char('<')));

    const QString otherText = convert(dir_->filePath("other.htm"), "<b>Other page</b>\r\n");
    QVERIFY(view.loadText(otherText, true));
    QCOMPARE(&FormInstance<ViewerWindow>::get(), &view);
    QCOMPARE(view.txtHTML->FileName(), otherText);
    QCOMPARE(view.txtHTML->Text(), QStringLiteral("Other page\n"));
    QVERIFY(view.textTemporary);
}

void TestViewerConvert::unreadableTextLeavesTheViewerAlone()
{
    const QString first = convert(dir_->filePath("first.html"), Page);
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    QVERIFY(view.loadText(first, false));
    const QString before = view.txtHTML->Text();

    QString error;
    QVERIFY(!view.loadText(dir_->filePath("missing.TXT"), true, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!view.loadText(dir_->path(), true)); // a folder
    QCOMPARE(view.txtHTML->FileName(), first);
    QCOMPARE(view.txtHTML->Text(), before);
    QVERIFY(!view.textTemporary);
}

void TestViewerConvert::shownModalWithoutWaiting()
{
    const QString textPath = convert(dir_->filePath("shown.html"), Page);
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    QVERIFY(view.loadText(textPath, false));
    QPointer<ViewerWindow> viewer(&view);
    bool unloaded = false;
    connect(&view, &ViewerWindow::unloaded, this, [&] { unloaded = true; });

    view.showModal(); // returns at once, the viewer open
    QVERIFY(view.isVisible());
    QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget *>(&view));
    QVERIFY(!unloaded);

    QTest::mouseClick(view.btnClose, Qt::LeftButton);
    QVERIFY(unloaded);
    QVERIFY(!FormInstance<ViewerWindow>::isLoaded());
    QVERIFY(QTest::qWaitFor([&] { return viewer.isNull(); }, 5000));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(!QFile::exists(textPath));
}

void TestViewerConvert::closingRemovesTheTextUnlessKept()
{
    // Whether the text is temporary, whether Save was pressed, and whether
    // the file is there after closing.
    const struct {
        bool temporary;
        bool saved;
        bool kept;
    } cases[] = {{false, false, false}, {false, true, true}, {true, false, false}, {true, true, false}};
    int n = 0;
    for (const auto &c : cases) {
        const QString textPath = convert(dir_->filePath(QStringLiteral("case%1.html").arg(++n)), Page);
        ViewerWindow &view = FormInstance<ViewerWindow>::get();
        QVERIFY(view.loadText(textPath, c.temporary));
        view.textSaved = c.saved; // as Save leaves it
        view.showModal();
        QVERIFY(testsupport::closeAndWaitForDeletion(&view));
        QCOMPARE(QFile::exists(textPath), c.kept);
    }
}

QTEST_MAIN(TestViewerConvert)
#include "viewer_convert_test.moc"
