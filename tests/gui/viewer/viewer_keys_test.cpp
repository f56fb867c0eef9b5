// The viewer from the keyboard: the font keys, Esc, the find dialog (Enter
// finds the next place, wrapping; a word not there is said so; F3 finds
// again) and the caption that names the page.

#include "gui/viewer/FindDialog.h"
#include "gui/viewer/RichTextBox.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "support/qt_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

using namespace testsupport;

class TestViewerKeys : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void findWrapsAndIgnoresCase();
    void fontKeysAndEscape();
    void findDialogFromTheKeyboard();
    void captionNamesThePage();

private:
    ViewerWindow &shownViewer(const QByteArray &text);
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestViewerKeys::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestViewerKeys::cleanup()
{
    QVERIFY(closeAndWaitForDeletion(FormInstance<ViewerWindow>::ifLoaded()));
    dir_.reset();
}

ViewerWindow &TestViewerKeys::shownViewer(const QByteArray &text)
{
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    const QString path = writeFile(dir_->filePath("page.TXT"), text);
    view.loadText(path, false);
    view.show();
    QApplication::setActiveWindow(&view);
    view.txtHTML->setFocus();
    return view;
}

void TestViewerKeys::findWrapsAndIgnoresCase()
{
    QTextDocument document(QStringLiteral("Word one, word two\nand WORD three"));
    QTextCursor at;
    QList<int> starts;
    for (int i = 0; i < 4; ++i) {
        at = viewerfind::findWrapping(document, QStringLiteral("word"), at);
        QVERIFY(!at.isNull());
        QCOMPARE(at.selectedText().toLower(), QStringLiteral("word"));
        starts << at.selectionStart();
    }
    QCOMPARE(starts, (QList<int>{0, 10, 23, 0}));
    QVERIFY(viewerfind::findWrapping(document, QStringLiteral("absent"), at).isNull());
    QVERIFY(viewerfind::findWrapping(document, QString(), at).isNull());
    // From a caret past the last place, the search wraps to the first.
    QTextCursor end(&document);
    end.movePosition(QTextCursor::End);
    QCOMPARE(viewerfind::findWrapping(document, QStringLiteral("one"), end).selectionStart(), 5);
}

void TestViewerKeys::fontKeysAndEscape()
{
    ViewerWindow &view = shownViewer("some text\r\n");
    QVERIFY(QTest::qWaitForWindowActive(&view));
    RichTextBox &box = *view.txtHTML;
    const double start = box.Size();
    QTest::keyClick(&box, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(box.Size(), start + 1);
    QTest::keyClick(&box, Qt::Key_Equal, Qt::ControlModifier);
    QCOMPARE(box.Size(), start + 2);
    QTest::keyClick(&box, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(box.Size(), start + 1);
    QTest::keyClick(&box, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    QCOMPARE(box.Size(), start);

    const QString path = box.FileName();
    QPointer<ViewerWindow> closing(&view);
    QTest::keyClick(&box, Qt::Key_Escape);
    QVERIFY(!FormInstance<ViewerWindow>::isLoaded());
    QVERIFY(!QFile::exists(path)); // closed as by Close: the unsaved text went
    QTRY_VERIFY(closing.isNull());
}

void TestViewerKeys::findDialogFromTheKeyboard()
{
    ViewerWindow &view = shownViewer("A word here and\r\na word there, the last WORD\r\n");
    QVERIFY(QTest::qWaitForWindowActive(&view));
    RichTextBox &box = *view.txtHTML;
    QTest::keyClick(&box, Qt::Key_F, Qt::ControlModifier);
    FindDialog *find = view.findDialog();
    QVERIFY(find && find->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(find));
    QTRY_VERIFY(find->txtFind->hasFocus());

    QTest::keyClicks(find->txtFind, QStringLiteral("word"));
    QList<int> starts;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(find->txtFind, Qt::Key_Return);
        starts << box.textCursor().selectionStart();
        QCOMPARE(box.textCursor().selectedText().toLower(), QStringLiteral("word"));
    }
    QCOMPARE(starts, (QList<int>{2, 18, 39, 2}));
    QVERIFY(find->lblResult->text().isEmpty());

    find->txtFind->selectAll();
    QTest::keyClicks(find->txtFind, QStringLiteral("absent"));
    QTest::keyClick(find->txtFind, Qt::Key_Return);
    QCOMPARE(find->lblResult->text(), QStringLiteral("\"absent\" was not found."));
    QCOMPARE(box.textCursor().selectionStart(), 2); // the selection stays

    // Esc closes the dialog, not the viewer; F3 in the viewer finds again.
    find->txtFind->setText(QStringLiteral("word"));
    QTest::keyClick(find->txtFind, Qt::Key_Escape);
    QVERIFY(!find->isVisible());
    QVERIFY(FormInstance<ViewerWindow>::isLoaded());
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_F3);
    QCOMPARE(box.textCursor().selectionStart(), 18);

    // Closing the viewer closes its find dialog.
    QTest::keyClick(&box, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(find->isVisible());
    view.close();
    QVERIFY(!find->isVisible());
}

void TestViewerKeys::captionNamesThePage()
{
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    QCOMPARE(view.windowTitle(), QStringLiteral("Quillan"));
    view.setPageName(QStringLiteral("Keys & words"));
    QCOMPARE(view.windowTitle(), QStringLiteral("Keys & words - Quillan"));
    view.setPageName(QString());
    QCOMPARE(view.windowTitle(), QStringLiteral("Quillan"));
}

QTEST_MAIN(TestViewerKeys)
#include "viewer_keys_test.moc"
