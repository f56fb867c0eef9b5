// Printing the viewer's text for real (to a PDF, read back with pdftotext)
// and saving a copy of it.

#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "support/qt_support.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>

namespace {

using namespace testsupport;

const QByteArray ThreeLines = "ALPHA first line of text\r\n"
                              "BRAVO second line of text\r\n"
                              "CHARLIE third line of text\r\n";

// The text of a PDF, as pdftotext reads it.
QString pdfText(const QString &pdf)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty())
        qFatal("pdftotext (poppler-utils) is needed: run scripts/setup.sh");
    QProcess process;
    process.start(tool, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("<pdftotext failed: %1>").arg(QString::fromLocal8Bit(process.readAllStandardError()));
    return QString::fromUtf8(process.readAllStandardOutput());
}

QRadioButton *radio(QWidget *dialog, const char *name)
{
    return dialog->findChild<QRadioButton *>(QLatin1String(name));
}

// Selects the second line of the text.
void selectSecondLine(RichTextBox &box)
{
    QTextCursor cursor(box.document());
    cursor.movePosition(QTextCursor::NextBlock);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    box.setTextCursor(cursor);
}

} // namespace

class TestViewerPrintSave : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void printsWhatTheDialogLeavesChosen_data();
    void printsWhatTheDialogLeavesChosen();
    void cancelPrintsNothing();
    void savedCopyIsByteIdentical();
    void markdownIsSavedAsAMarkdownFile();
    void savingOntoTheTextFileItselfChangesNothing();
    void saveFailureIsReported();

private:
    ViewerWindow &openViewer(const QByteArray &bytes);

    std::unique_ptr<QTemporaryDir> dir_;
    QString textPath_;
};

void TestViewerPrintSave::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestViewerPrintSave::cleanup()
{
    QVERIFY(closeAndWaitForDeletion(FormInstance<ViewerWindow>::ifLoaded()));
    dir_.reset();
}

ViewerWindow &TestViewerPrintSave::openViewer(const QByteArray &bytes)
{
    textPath_ = writeFile(dir_->filePath("page.TXT"), bytes);
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    if (!view.txtHTML->setFileName(textPath_))
        qFatal("cannot load %s", qPrintable(textPath_));
    view.show();
    return view;
}

void TestViewerPrintSave::printsWhatTheDialogLeavesChosen_data()
{
    QTest::addColumn<bool>("select");
    QTest::addColumn<bool>("userChoosesAll");
    QTest::addColumn<QStringList>("printed");
    QTest::addColumn<QStringList>("notPrinted");

    const QStringList all{"ALPHA", "BRAVO", "CHARLIE"};
    QTest::newRow("nothing selected") << false << false << all << QStringList();
    QTest::newRow("selection") << true << false << QStringList{"BRAVO"} << QStringList{"ALPHA", "CHARLIE"};
    QTest::newRow("selection, user switches to all") << true << true << all << QStringList();
}

void TestViewerPrintSave::printsWhatTheDialogLeavesChosen()
{
    QFETCH(bool, select);
    QFETCH(bool, userChoosesAll);
    QFETCH(QStringList, printed);
    QFETCH(QStringList, notPrinted);

    ViewerWindow &view = openViewer(ThreeLines);
    if (select)
        selectSecondLine(*view.txtHTML);
    const int selLength = view.txtHTML->SelLength();
    QCOMPARE(selLength > 0, select);

    const QString pdf = dir_->filePath("out.pdf");
    view.Printer()->setOutputFormat(QPrinter::PdfFormat);
    view.Printer()->setOutputFileName(pdf);

    bool pageRangeOffered = true;
    bool selectionOffered = !select;
    QAbstractPrintDialog::PrintRange opensWith = QAbstractPrintDialog::CurrentPage;
    bool allFound = true;
    auto answer = answerModal<QPrintDialog>([&](QPrintDialog *dialog) {
        pageRangeOffered = dialog->testOption(QAbstractPrintDialog::PrintPageRange);
        for (const char *name : {"printRange", "from", "to", "pagesRadioButton", "pagesLineEdit"}) {
            if (QWidget *field = dialog->findChild<QWidget *>(QLatin1String(name)))
                pageRangeOffered = pageRangeOffered || field->isEnabled();
        }
        QRadioButton *selection = radio(dialog, "printSelection");
        selectionOffered = selection && !selection->isHidden() && selection->isEnabled();
        opensWith = dialog->printRange();
        if (userChoosesAll) {
            QRadioButton *all = radio(dialog, "printAll");
            allFound = all != nullptr;
            if (!all) {
                dialog->reject(); // closed, so the failure below is reported at once
                return;
            }
            all->click();
        }
        static_cast<QDialog *>(dialog)->accept(); // accept() of QFileDialog is protected
    });
    view.btnPrint_Click();
    QVERIFY(answer->answered);
    QVERIFY2(allFound, "the print dialog has no \"All\" choice");

    QVERIFY(!pageRangeOffered);
    QCOMPARE(selectionOffered, select);
    QCOMPARE(opensWith, select ? QAbstractPrintDialog::Selection : QAbstractPrintDialog::AllPages);

    QVERIFY2(QFile::exists(pdf), "nothing was printed");
    const QString text = pdfText(pdf);
    for (const QString &word : printed)
        QVERIFY2(text.contains(word), qPrintable(word + " missing from: " + text));
    for (const QString &word : notPrinted)
        QVERIFY2(!text.contains(word), qPrintable(word + " printed in: " + text));

    // Printing leaves the user's selection and the kept flag as they were.
    QCOMPARE(view.txtHTML->SelLength(), selLength);
    QCOMPARE(view.textSaved, false);
}

void TestViewerPrintSave::cancelPrintsNothing()
{
    ViewerWindow &view = openViewer(ThreeLines);
    const QString pdf = dir_->filePath("cancelled.pdf");
    view.Printer()->setOutputFormat(QPrinter::PdfFormat);
    view.Printer()->setOutputFileName(pdf);

    for (bool select : {false, true}) {
        if (select)
            selectSecondLine(*view.txtHTML);
        auto answer = answerModal<QPrintDialog>([](QPrintDialog *dialog) { dialog->reject(); });
        view.btnPrint_Click();
        QVERIFY(answer->answered);
        // Printing runs inside the click: a page printed would be on disk now.
        QVERIFY(!QFile::exists(pdf));
    }
    QVERIFY(view.isVisible()); // the viewer stays open
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"page.TXT"});
}

void TestViewerPrintSave::savedCopyIsByteIdentical()
{
    const QByteArray bytes = QByteArray("kept text\r\ninvalid \xff\xfe\xc3( bytes\r\n") + ThreeLines;
    ViewerWindow &view = openViewer(bytes);
    // Shown in the Western code page; saved as the very bytes.
    QVERIFY(view.txtHTML->Text().contains(QStringLiteral("invalid \u00ff\u00fe\u00c3( bytes")));
    const QString target = dir_->filePath("kept.txt");

    QStringList filters;
    bool saveMode = false;
    auto answer = answerModal<QFileDialog>([&](QFileDialog *dialog) {
        filters = dialog->nameFilters();
        saveMode = dialog->acceptMode() == QFileDialog::AcceptSave;
        dialog->selectFile(target);
        static_cast<QDialog *>(dialog)->accept(); // accept() of QFileDialog is protected
    });
    view.btnSave_Click();
    QVERIFY(answer->answered);
    QCOMPARE(filters, QStringList{"txt Files (*.txt)"});
    QVERIFY(saveMode);
    QVERIFY(view.textSaved);
    QCOMPARE(readFile(target), bytes);

    // A second save over the first copy, confirming the overwrite.
    auto second = answerModal<QFileDialog>([&](QFileDialog *dialog) {
        answerModal<QMessageBox>([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
        dialog->selectFile(target);
        static_cast<QDialog *>(dialog)->accept(); // accept() of QFileDialog is protected
    });
    writeFile(target, "stale\r\n");
    view.btnSave_Click();
    QVERIFY(second->answered);
    QCOMPARE(readFile(target), bytes);

    view.btnClose_Click();
    QCOMPARE(readFile(textPath_), bytes); // kept, and never rewritten
    QStringList left = QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QCOMPARE(left, (QStringList{"kept.txt", "page.TXT"}));
}

void TestViewerPrintSave::markdownIsSavedAsAMarkdownFile()
{
    const QByteArray markdown = "# Title\n\n- one *item*\n";
    const QString path = writeFile(dir_->filePath("page.TXT"), markdown);
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    QVERIFY(view.loadText(
        {path, QStringLiteral("UTF-8"), QStringLiteral("Page"), false, ViewerWindow::TextFormat::Markdown}));
    view.show();
    QCOMPARE(view.txtHTML->Text(), QString::fromUtf8(markdown));

    // A name typed without an extension gets ".md".
    QStringList filters;
    auto answer = answerModal<QFileDialog>([&](QFileDialog *dialog) {
        filters = dialog->nameFilters();
        dialog->selectFile(dir_->filePath("notes"));
        static_cast<QDialog *>(dialog)->accept();
    });
    view.btnSave_Click();
    QVERIFY(answer->answered);
    QCOMPARE(filters, QStringList{"Markdown Files (*.md)"});
    QCOMPARE(readFile(dir_->filePath("notes.md")), markdown);

    // The next text, a plain one, is saved as text again.
    QVERIFY(view.loadText({path, QStringLiteral("UTF-8"), QStringLiteral("Page"), false}));
    auto again = answerModal<QFileDialog>([&](QFileDialog *dialog) {
        filters = dialog->nameFilters();
        dialog->selectFile(dir_->filePath("notes"));
        static_cast<QDialog *>(dialog)->accept();
    });
    view.btnSave_Click();
    QVERIFY(again->answered);
    QCOMPARE(filters, QStringList{"txt Files (*.txt)"});
    QCOMPARE(readFile(dir_->filePath("notes.txt")), markdown);
}

void TestViewerPrintSave::savingOntoTheTextFileItselfChangesNothing()
{
    ViewerWindow &view = openViewer(ThreeLines);
    bool messageShown = false;
    std::shared_ptr<testsupport::ModalAnswer> complaint;
    auto answer = answerModal<QFileDialog>([&](QFileDialog *dialog) {
        // The dialog asks before overwriting; the viewer must then neither
        // complain nor touch the file.
        answerModal<QMessageBox>([&](QMessageBox *box) {
            messageShown = box->button(QMessageBox::Yes) == nullptr;
            if (QAbstractButton *yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->close();
            // A complaint would come within the click: answered, so it is
            // seen below instead of blocking the test.
            complaint = answerModal<QMessageBox>([&](QMessageBox *shown) {
                messageShown = true;
                shown->close();
            });
        });
        dialog->selectFile(textPath_);
        static_cast<QDialog *>(dialog)->accept(); // accept() of QFileDialog is protected
    });
    view.btnSave_Click();
    if (complaint)
        complaint->cancelled = true;
    QVERIFY(answer->answered);
    QVERIFY(complaint);
    QVERIFY(!complaint->answered);
    QVERIFY(!messageShown);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QCOMPARE(readFile(textPath_), ThreeLines);
}

void TestViewerPrintSave::saveFailureIsReported()
{
    ViewerWindow &view = openViewer(ThreeLines);
    const QString target = dir_->filePath("no-such-folder/kept.txt");

    QString title;
    QString message;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::Critical;
    auto answer = answerModal<QFileDialog>([&](QFileDialog *dialog) {
        answerModal<QMessageBox>([&](QMessageBox *box) {
            title = box->windowTitle();
            message = box->text();
            buttons = box->standardButtons();
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        dialog->selectFile(target);
        static_cast<QDialog *>(dialog)->accept(); // accept() of QFileDialog is protected
    });
    view.btnSave_Click();
    QVERIFY(answer->answered);
    QCOMPARE(title, QStringLiteral("Quillan"));
    QVERIFY2(message.contains(target), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("No such file or directory")), qPrintable(message));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(icon, QMessageBox::NoIcon);
    QVERIFY(view.textSaved);

    view.btnClose_Click();
    QCOMPARE(readFile(textPath_), ThreeLines);
}

QTEST_MAIN(TestViewerPrintSave)
#include "viewer_print_save_test.moc"
