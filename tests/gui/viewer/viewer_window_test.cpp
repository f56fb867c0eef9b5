// The viewer window and its text box: one instance at a time, font sizes,
// the fate of the text file on closing, layout on resize, and loading texts
// large and small.

#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "gui/window/HelpFile.h"
#include "gui/window/Twips.h"
#include "support/qt_support.h"

#include <QFile>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace testsupport;

// What a plain QPlainTextEdit shows for the same text loaded in one piece.
QString shownInOnePiece(const QString &text)
{
    QPlainTextEdit edit;
    edit.setPlainText(text);
    return edit.toPlainText();
}

} // namespace

class TestViewerWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void oneInstanceUntilClosed();
    void fontSizeSteps();
    void closingDeletesTheFileUnlessSaved_data();
    void closingDeletesTheFileUnlessSaved();
    void unloadIgnoresAMissingFile();
    void layoutOnResize();
    void refusedSizesAreSkipped();
    void textBoxRefusesBadValues();
    void textIsUtf8WhenValidElseWindows1252_data();
    void textIsUtf8WhenValidElseWindows1252();
    void textInTheEncodingItsMakerRecorded();
    void largeTextLoadsInSlicesIntact_data();
    void largeTextLoadsInSlicesIntact();
    void newFileReplacesTextStillLoading();
    void failedLoadKeepsText();
    void helpOpensTheHelpFile();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestViewerWindow::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestViewerWindow::cleanup()
{
    QVERIFY(closeAndWaitForDeletion(FormInstance<ViewerWindow>::ifLoaded()));
    dir_.reset();
}

void TestViewerWindow::oneInstanceUntilClosed()
{
    QVERIFY(!FormInstance<ViewerWindow>::isLoaded());
    QVERIFY(FormInstance<ViewerWindow>::ifLoaded() == nullptr);

    ViewerWindow &first = FormInstance<ViewerWindow>::get();
    QVERIFY(FormInstance<ViewerWindow>::isLoaded());
    QVERIFY(!first.isVisible()); // loaded, not shown
    QCOMPARE(&FormInstance<ViewerWindow>::get(), &first);
    first.textSaved = true;

    QPointer<ViewerWindow> closed(&first);
    first.btnClose_Click();
    // Closed but not deleted yet: already unloaded, never handed out again.
    QVERIFY(!closed.isNull());
    QVERIFY(!FormInstance<ViewerWindow>::isLoaded());
    ViewerWindow &second = FormInstance<ViewerWindow>::get();
    QVERIFY(&second != closed.data());
    QCOMPARE(second.textSaved, false);
    QTRY_VERIFY(closed.isNull());
    QCOMPARE(&FormInstance<ViewerWindow>::get(), &second);
    QVERIFY(FormInstance<ViewerWindow>::unload());
    QVERIFY(!FormInstance<ViewerWindow>::isLoaded());
}

void TestViewerWindow::fontSizeSteps()
{
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    RichTextBox &box = *view.txtHTML;
    QCOMPARE(box.Size(), 9.75);
    QCOMPARE(box.font().pointSizeF(), 9.75);
    QCOMPARE(box.font().family(), QStringLiteral("Courier New"));

    // Smaller stops at 7.75; Larger has no limit.
    const double afterSmaller[] = {8.75, 7.75, 7.75};
    for (double expected : afterSmaller) {
        QTest::mouseClick(view.btnSmaller, Qt::LeftButton);
        QCOMPARE(box.Size(), expected);
        QCOMPARE(box.font().pointSizeF(), expected);
    }
    view.btnLarger_Click();
    QCOMPARE(box.Size(), 8.75);
    view.btnSmaller_Click();
    QCOMPARE(box.Size(), 7.75);
    for (int i = 0; i < 20; ++i)
        QTest::mouseClick(view.btnLarger, Qt::LeftButton);
    QCOMPARE(box.Size(), 27.75);
    QCOMPARE(box.font().pointSizeF(), 27.75);
}

void TestViewerWindow::closingDeletesTheFileUnlessSaved_data()
{
    QTest::addColumn<bool>("pressSave");
    QTest::addColumn<bool>("byCloseButton");
    QTest::addColumn<bool>("kept");
    QTest::newRow("close button, no save") << false << true << false;
    QTest::newRow("close box, no save") << false << false << false;
    QTest::newRow("save cancelled, close button") << true << true << true;
    QTest::newRow("save cancelled, close box") << true << false << true;
}

void TestViewerWindow::closingDeletesTheFileUnlessSaved()
{
    QFETCH(bool, pressSave);
    QFETCH(bool, byCloseButton);
    QFETCH(bool, kept);

    const QString path = writeFile(dir_->filePath("page.TXT"), "first line\r\nsecond line\r\n");
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    QVERIFY(view.txtHTML->setFileName(path));
    view.show();

    if (pressSave) {
        int dialogs = 0;
        for (int press = 0; press < 2; ++press) { // twice: the dialog shows each time
            auto answer = answerModal<QFileDialog>([&dialogs](QFileDialog *dialog) {
                ++dialogs;
                dialog->reject();
            });
            view.btnSave_Click();
            QVERIFY(answer->answered);
            QVERIFY(view.textSaved);
        }
        QCOMPARE(dialogs, 2);
    }

    QPointer<ViewerWindow> viewer(&view);
    if (byCloseButton)
        QTest::mouseClick(view.btnClose, Qt::LeftButton);
    else
        view.close();
    QVERIFY(!viewer.isNull());
    QCOMPARE(viewer->txtHTML->Text(), QString()); // cleared on unload
    QCOMPARE(QFile::exists(path), kept);
    QTRY_VERIFY(viewer.isNull());
}

void TestViewerWindow::unloadIgnoresAMissingFile()
{
    const QString path = writeFile(dir_->filePath("gone.TXT"), "some text here\r\n");
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    QVERIFY(view.txtHTML->setFileName(path));
    QVERIFY(QFile::remove(path));
    QPointer<ViewerWindow> viewer(&view);
    QVERIFY(view.close());
    QCOMPARE(viewer->txtHTML->Text(), QString());
    QVERIFY(!FormInstance<ViewerWindow>::isLoaded());

    // A viewer that never had a file closes quietly too.
    QVERIFY(FormInstance<ViewerWindow>::get().close());
}

namespace {

// Resizes the window so that its outer size is the given number of pixels,
// and waits until the layout has followed.
void resizeOuter(ViewerWindow &view, int outerWidthPx, int outerHeightPx)
{
    const QSize frame = view.frameGeometry().size() - view.geometry().size();
    view.resize(outerWidthPx - frame.width(), outerHeightPx - frame.height());
    QTRY_COMPARE(view.frameGeometry().size(), QSize(outerWidthPx, outerHeightPx));
}

int topTwips(const QWidget *widget)
{
    return Twips::fromPixels(widget->y());
}

} // namespace

void TestViewerWindow::layoutOnResize()
{
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));

    const QSize sizes[] = {{900, 500}, {640, 200}, {1200, 800}};
    for (const QSize &outerPx : sizes) {
        resizeOuter(view, outerPx.width(), outerPx.height());
        const int outerW = Twips::fromPixels(outerPx.width());
        const int outerH = Twips::fromPixels(outerPx.height());
        QTRY_COMPARE(view.txtHTML->Width(), outerW - 200);
        QCOMPARE(view.txtHTML->Height(), outerH - 1400);
        QCOMPARE(view.txtHTML->size(), QSize(Twips::toPixels(outerW - 200), Twips::toPixels(outerH - 1400)));
        // The box and the panels' left edges never move.
        QCOMPARE(view.txtHTML->pos(), QPoint(Twips::toPixels(120), Twips::toPixels(120)));
        QCOMPARE(view.Picture1->x(), Twips::toPixels(4320));
        QCOMPARE(view.Picture2->x(), Twips::toPixels(1200));
        QCOMPARE(view.Picture1->y(), Twips::toPixels(outerH - 1400 + 300));
        QCOMPARE(view.Picture2->y(), view.Picture1->y());
    }
}

void TestViewerWindow::refusedSizesAreSkipped()
{
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    resizeOuter(view, 700, 400);
    const int width = view.txtHTML->Width();
    const int height = view.txtHTML->Height();
    QCOMPARE(width, Twips::fromPixels(700) - 200);

    // Outer width at or below 1200 twips: the width stays, the height follows.
    resizeOuter(view, Twips::toPixels(1200), 300);
    QTRY_COMPARE(view.txtHTML->Height(), Twips::fromPixels(300) - 1400);
    QCOMPARE(view.txtHTML->Width(), width);

    // Just above 1200 twips the width follows again.
    resizeOuter(view, Twips::toPixels(1200) + 1, 300);
    QTRY_COMPARE(view.txtHTML->Width(), Twips::fromPixels(Twips::toPixels(1200) + 1) - 200);

    // Outer height below 1400 twips: the height is refused, the panels still
    // move, to the kept height plus 300.
    resizeOuter(view, 700, 400);
    QTRY_COMPARE(view.txtHTML->Height(), height);
    const int shortPx = Twips::toPixels(1400) - 10;
    resizeOuter(view, 700, shortPx);
    QTRY_COMPARE(view.txtHTML->Width(), width);
    QCOMPARE(view.txtHTML->Height(), height);
    QCOMPARE(topTwips(view.Picture1), Twips::fromPixels(Twips::toPixels(height + 300)));
    QCOMPARE(view.Picture2->y(), view.Picture1->y());
}

void TestViewerWindow::textBoxRefusesBadValues()
{
    RichTextBox box;
    QVERIFY(box.setWidth(3000));
    QVERIFY(box.setHeight(1500));
    QVERIFY(!box.setWidth(-1));
    QVERIFY(!box.setHeight(-15));
    QCOMPARE(box.Width(), 3000);
    QCOMPARE(box.Height(), 1500);
    QCOMPARE(box.size(), QSize(Twips::toPixels(3000), Twips::toPixels(1500)));
    QVERIFY(box.setHeight(0));
    QCOMPARE(box.Height(), 0);

    QVERIFY(box.setSize(12.5));
    QVERIFY(!box.setSize(0.0));
    QVERIFY(!box.setSize(-3.0));
    QCOMPARE(box.Size(), 12.5);
    QCOMPARE(box.font().pointSizeF(), 12.5);

    QVERIFY(box.isReadOnly());
}

void TestViewerWindow::textIsUtf8WhenValidElseWindows1252_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9 \xe2\x80\x99 \xe2\x82\xac 5\r\n")
                           << QStringLiteral("caf\u00e9 \u2019 \u20ac 5\n");
    QTest::newRow("western code page") << QByteArray("caf\xe9 \x93quoted\x94 \x92 \x80 5\r\n\x81\x9f\xff\r\n")
                                       << QStringLiteral(
                                              "caf\u00e9 \u201cquoted\u201d \u2019 \u20ac 5\n\u0081\u0178\u00ff\n");
    // One sequence that is not UTF-8 makes the whole text the code page's.
    QTest::newRow("mostly utf-8") << QByteArray("caf\xc3\xa9 \xff\r\n") << QStringLiteral("caf\u00c3\u00a9 \u00ff\n");
}

void TestViewerWindow::textIsUtf8WhenValidElseWindows1252()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    const QString path = writeFile(dir_->filePath("page.TXT"), bytes);
    RichTextBox box;
    QVERIFY(box.setFileName(path));
    QCOMPARE(box.Text(), shown);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes); // the file on disk is only read
}

void TestViewerWindow::textInTheEncodingItsMakerRecorded()
{
    // The conversion knows what the text is written in: no guess.
    const QString path = writeFile(dir_->filePath("page.TXT"), QByteArray("caf\xc3\xa9 \xff\r\n"));
    RichTextBox box;
    QVERIFY(box.setFileName(path, QStringLiteral("UTF-8")));
    QCOMPARE(box.Text(), QStringLiteral("caf\u00e9 \ufffd\n"));
    QVERIFY(box.setFileName(path, QStringLiteral("windows-1252")));
    QCOMPARE(box.Text(), QStringLiteral("caf\u00c3\u00a9 \u00ff\n"));
    // A name the system cannot decode: the bytes decide, as without one.
    QVERIFY(box.setFileName(path, QStringLiteral("x-no-such-encoding")));
    QCOMPARE(box.Text(), QStringLiteral("caf\u00c3\u00a9 \u00ff\n"));
}

void TestViewerWindow::largeTextLoadsInSlicesIntact_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QByteArray lines;
    for (int i = 0; lines.size() < 600 * 1024; ++i)
        lines += "line " + QByteArray::number(i) + " of a long converted text\r\n";
    QTest::newRow("CR LF lines") << lines;

    // One line far longer than a slice, with characters outside the BMP
    // (surrogate pairs in UTF-16) everywhere, and CR LF pairs and lone CRs
    // at many offsets.
    QByteArray mixed;
    for (int i = 0; mixed.size() < 700 * 1024; ++i) {
        mixed += "ab\xf0\x9f\x98\x80";
        if (i % 997 == 0)
            mixed += "\r\n";
        if (i % 1499 == 0)
            mixed += "\r";
    }
    QTest::newRow("long lines, surrogates, lone CR") << mixed;

    QTest::newRow("no line end at all") << QByteArray(300 * 1024, 'x');
    QTest::newRow("small") << QByteArray("two\r\nlines");
    QTest::newRow("empty") << QByteArray();
}

void TestViewerWindow::largeTextLoadsInSlicesIntact()
{
    QFETCH(QByteArray, bytes);
    const QString path = writeFile(dir_->filePath("big.TXT"), bytes);
    const QString expected = shownInOnePiece(QString::fromUtf8(bytes));

    // Left to the event loop, slice by slice.
    {
        RichTextBox box;
        QSignalSpy finished(&box, &RichTextBox::loadFinished);
        QVERIFY(box.setFileName(path));
        if (bytes.size() > 128 * 1024)
            QVERIFY(box.isLoading());
        QTRY_VERIFY_WITH_TIMEOUT(!box.isLoading(), 60000);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(box.toPlainText(), expected);
    }
    // Asked for at once.
    {
        RichTextBox box;
        QVERIFY(box.setFileName(path));
        QCOMPARE(box.Text(), expected);
        QVERIFY(!box.isLoading());
    }
}

void TestViewerWindow::newFileReplacesTextStillLoading()
{
    QByteArray big;
    while (big.size() < 1024 * 1024)
        big += "old text line\r\n";
    const QString first = writeFile(dir_->filePath("first.TXT"), big);
    const QString second = writeFile(dir_->filePath("second.TXT"), "new text\r\n");
    RichTextBox box;
    QVERIFY(box.setFileName(first));
    QVERIFY(box.isLoading());
    QSignalSpy finished(&box, &RichTextBox::loadFinished);
    QVERIFY(box.setFileName(second));
    QVERIFY(!box.isLoading());
    QCOMPARE(finished.count(), 1);
    // The slices come from a zero-interval timer: one pass of the event loop
    // would append a slice of the first file if its load were still going.
    QCoreApplication::processEvents();
    QCOMPARE(box.toPlainText(), QStringLiteral("new text\n"));
    QCOMPARE(finished.count(), 1);

    QVERIFY(box.setFileName(first));
    QVERIFY(box.isLoading());
    box.setText(QString());
    QVERIFY(!box.isLoading());
    QCoreApplication::processEvents();
    QCOMPARE(box.toPlainText(), QString());
    QCOMPARE(finished.count(), 1); // the dropped load never finished
}

void TestViewerWindow::failedLoadKeepsText()
{
    const QString path = writeFile(dir_->filePath("shown.TXT"), "shown text\r\n");
    RichTextBox box;
    QVERIFY(box.setFileName(path));
    QVERIFY(!box.setFileName(dir_->filePath("missing.TXT")));
    QVERIFY(!box.errorString().isEmpty());
    QVERIFY(!box.setFileName(QString()));
    QCOMPARE(box.FileName(), path);
    QCOMPARE(box.Text(), QStringLiteral("shown text\n"));
}

namespace {

QList<QWidget *> visibleWindows()
{
    QList<QWidget *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            windows.append(widget);
    }
    return windows;
}

} // namespace

void TestViewerWindow::helpOpensTheHelpFile()
{
#ifndef QUILLAN_HELP_FILE
    QSKIP("the help file is not part of this build");
#else
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    view.show();
    const QString kept = Globals::HelpFilePath;

    // No help file: no help window, and the viewer carries on.
    Globals::HelpFilePath = dir_->filePath("qlnhelp.chm");
    const QList<QWidget *> before = visibleWindows();
    const qsizetype windowsBefore = QApplication::topLevelWidgets().size();
    QTest::mouseClick(view.btnHelp, Qt::LeftButton);
    // The help window is made within the click, shown or not.
    QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
    QCOMPARE(visibleWindows(), before);

    // The real help file: a help window opens beside the viewer, which stays.
    Globals::HelpFilePath = QStringLiteral(QUILLAN_HELP_FILE);
    QVERIFY2(QFile::exists(Globals::HelpFilePath), qPrintable(Globals::HelpFilePath));
    QTest::mouseClick(view.btnHelp, Qt::LeftButton);
    QTRY_COMPARE(visibleWindows().size(), before.size() + 1);
    QVERIFY(view.isVisible());
    for (QWidget *window : visibleWindows()) {
        if (!before.contains(window))
            window->close();
    }
    Globals::HelpFilePath = kept;
#endif
}

QTEST_MAIN(TestViewerWindow)
#include "viewer_window_test.moc"
