// Context help through ContextIDs::ShowHelp and the help window, against the
// help file the build compiles.

#include "gui/window/ContextIDs.h"
#include "gui/window/HelpFile.h"
#include "gui/window/HtmlHelp.h"
#include "gui/window/HtmlHelpWindow.h"

#include "support/MiniChm.h"
#include "support/qt_support.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QtTest>

namespace {

const QString kBuiltHelpFile = QStringLiteral(QUILLAN_HELP_FILE);

QString topicPath(const HtmlHelpWindow *window)
{
    return window->browser()->source().path();
}

QList<HtmlHelpWindow *> helpWindows()
{
    QList<HtmlHelpWindow *> windows;
    for (QWidget *widget : QApplication::allWidgets()) {
        if (auto *window = qobject_cast<HtmlHelpWindow *>(widget))
            windows.append(window);
    }
    return windows;
}

// Clicks the link whose text is `text` in the window's topic pane. Returns
// what went wrong, or an empty string when the link was clicked; callers
// check it at once so a missing link ends the test there.
QString clickLink(HtmlHelpWindow *window, const QString &text)
{
    if (!window)
        return QStringLiteral("no help window");
    QTextBrowser *browser = window->browser();
    const QTextCursor found = browser->document()->find(text);
    if (found.isNull())
        return QStringLiteral("no link text ") + text;
    QTextCursor inside(browser->document());
    inside.setPosition((found.selectionStart() + found.selectionEnd()) / 2);
    if (!inside.charFormat().isAnchor())
        return QStringLiteral("\"%1\" is not a link").arg(text);
    browser->ensureCursorVisible();
    browser->setTextCursor(inside);
    browser->ensureCursorVisible();
    const QPoint at = browser->cursorRect(inside).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
    return QString();
}

#define CLICK_LINK(window, text)                                                                                       \
    do {                                                                                                               \
        const QString failure = clickLink((window), (text));                                                           \
        QVERIFY2(failure.isEmpty(), qPrintable(failure));                                                              \
    } while (false)

} // namespace

class ContextHelpTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void missingFolderOrHiddenFileOpensNothing();
    void displayHelpOpensTheDefaultTopic();
    void contextIdOpensItsTopic_data();
    void contextIdOpensItsTopic();
    void unmappedIdFailsAndTheWindowSaysSo();
    void fileWithoutStartPageFailsAndSaysSo();
    void helpFileAddedWhileRunningIsFound();
    void windowIsReusedAndOwnedByItsOwner();
    void ownerlessHelpDuringAModalWindowIsUsable();
    void linksPicturesAndBackForwardWork();
    void fileWithRootRelativeNamesOpens();
    void helpFilePathDefaultsToTheProgramFolder();

private:
    QTemporaryDir dir;
};

void ContextHelpTest::init()
{
    QVERIFY(dir.isValid());
    QVERIFY2(QFile::exists(kBuiltHelpFile), qPrintable(kBuiltHelpFile));
}

void ContextHelpTest::cleanup()
{
    qDeleteAll(helpWindows());
}

void ContextHelpTest::missingFolderOrHiddenFileOpensNothing()
{
    const QString absent = dir.filePath(QStringLiteral("qlnhelp.chm"));
    QVERIFY(!ContextIDs::ShowHelp(absent, nullptr, 0));
    QVERIFY(!ContextIDs::ShowHelp(absent, nullptr, 360));

    const QString folder = dir.filePath(QStringLiteral("folder/qlnhelp.chm"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(!ContextIDs::ShowHelp(folder, nullptr, 0));

    const QString hidden = dir.filePath(QStringLiteral(".qlnhelp.chm"));
    QVERIFY(QFile::copy(kBuiltHelpFile, hidden));
    QVERIFY(!ContextIDs::ShowHelp(hidden, nullptr, 0));
    QVERIFY(!ContextIDs::ShowHelp(hidden, nullptr, 360));

    QVERIFY(!ContextIDs::ShowHelp(QString(), nullptr, 0));
    QVERIFY(helpWindows().isEmpty());
}

void ContextHelpTest::displayHelpOpensTheDefaultTopic()
{
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, nullptr, 0));
    HtmlHelpWindow *window = HtmlHelpWindow::existing(nullptr);
    QVERIFY(window != nullptr);
    QVERIFY(window->isVisible());
    QVERIFY(!window->isModal());
    QCOMPARE(topicPath(window), QStringLiteral("/html/index.htm"));
    QVERIFY(window->browser()->toPlainText().contains(QStringLiteral("turns web pages into plain text")));
    QVERIFY(window->windowTitle().startsWith(QStringLiteral("Quillan Help")));
}

void ContextHelpTest::contextIdOpensItsTopic_data()
{
    QTest::addColumn<int>("contextId");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("heading");
    QTest::newRow("address box") << 360 << "/html/address_box.htm"
                                 << "The address box";
    QTest::newRow("Retrieve from URL") << 380 << "/html/retrieve_from_url.htm"
                                       << "Retrieve from URL";
    QTest::newRow("Article only") << 410 << "/html/article_only.htm"
                                  << "Article only";
    QTest::newRow("Markdown") << 430 << "/html/markdown.htm"
                              << "Markdown";
    QTest::newRow("HTML to Text") << 340 << "/html/html_to_text.htm"
                                  << "The HTML to Text button";
    QTest::newRow("viewer Help") << 1028 << "/html/viewer.htm"
                                 << "The text viewer";
    QTest::newRow("browser HELP") << 1012 << "/html/browser.htm"
                                  << "The Quillan Browser";
}

void ContextHelpTest::contextIdOpensItsTopic()
{
    QFETCH(int, contextId);
    QFETCH(QString, topic);
    QFETCH(QString, heading);
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, nullptr, contextId));
    HtmlHelpWindow *window = HtmlHelpWindow::existing(nullptr);
    QVERIFY(window != nullptr);
    QCOMPARE(topicPath(window), topic);
    QCOMPARE(window->browser()->document()->firstBlock().text(), heading);
    QCOMPARE(window->browser()->documentTitle(), heading);
}

void ContextHelpTest::unmappedIdFailsAndTheWindowSaysSo()
{
    QWidget owner;
    owner.show();
    QVERIFY(!ContextIDs::ShowHelp(kBuiltHelpFile, &owner, 9999));
    HtmlHelpWindow *window = HtmlHelpWindow::existing(&owner);
    QVERIFY(window != nullptr);
    QVERIFY(window->isVisible());
    const QString text = window->browser()->toPlainText();
    QVERIFY2(text.contains(QStringLiteral("no topic for context ID 9999")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("qlnhelp.chm")));

    // The notice offers the contents, and a mapped id still works after it.
    CLICK_LINK(window, QStringLiteral("Show the contents"));
    QCOMPARE(topicPath(window), QStringLiteral("/html/index.htm"));
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, &owner, 360));
    QCOMPARE(HtmlHelpWindow::existing(&owner), window);
    QCOMPARE(topicPath(window), QStringLiteral("/html/address_box.htm"));
}

void ContextHelpTest::fileWithoutStartPageFailsAndSaysSo()
{
    const QString path = dir.filePath(QStringLiteral("nostart.chm"));
    testchm::MiniChm chm;
    chm.contextMap({{5, "page.htm"}}).add("/page.htm", "<html><body>page</body></html>");
    chm.write(QFile::encodeName(path).toStdString());
    QVERIFY(!ContextIDs::ShowHelp(path, nullptr, 0));
    HtmlHelpWindow *window = HtmlHelpWindow::existing(nullptr);
    QVERIFY(window != nullptr);
    QVERIFY(window->browser()->toPlainText().contains(QStringLiteral("nostart.chm names no start page")));
    QVERIFY(ContextIDs::ShowHelp(path, nullptr, 5));
    QCOMPARE(topicPath(window), QStringLiteral("/page.htm"));
}

void ContextHelpTest::helpFileAddedWhileRunningIsFound()
{
    const QString path = dir.filePath(QStringLiteral("qlnhelp.chm"));
    QVERIFY(!ContextIDs::ShowHelp(path, nullptr, 360));
    QVERIFY(helpWindows().isEmpty());

    QVERIFY(QFile::copy(kBuiltHelpFile, path));
    QVERIFY(ContextIDs::ShowHelp(path, nullptr, 360));
    QCOMPARE(topicPath(HtmlHelpWindow::existing(nullptr)), QStringLiteral("/html/address_box.htm"));

    QVERIFY(QFile::remove(path));
    QVERIFY(!ContextIDs::ShowHelp(path, nullptr, 0));

    // Something that is not a help file under that name opens nothing.
    testsupport::writeFile(path, "not a help file");
    QVERIFY(!ContextIDs::ShowHelp(path, nullptr, 0));
}

void ContextHelpTest::windowIsReusedAndOwnedByItsOwner()
{
    auto *owner = new QWidget;
    auto *field = new QLineEdit(owner);
    owner->show();

    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, owner, 360));
    QPointer<HtmlHelpWindow> window = HtmlHelpWindow::existing(owner);
    QVERIFY(window);
    QCOMPARE(window->parentWidget(), owner);
    QVERIFY(window->isWindow());

    // A control as owner: the window belongs to the control's window.
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, field, 340));
    QCOMPARE(HtmlHelpWindow::existing(owner), window.data());
    QCOMPARE(topicPath(window), QStringLiteral("/html/html_to_text.htm"));

    // Without an owner: a window of its own, reused too.
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, nullptr, 1028));
    QPointer<HtmlHelpWindow> unowned = HtmlHelpWindow::existing(nullptr);
    QVERIFY(unowned && unowned != window);
    QCOMPARE(unowned->parentWidget(), nullptr);
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, nullptr, 0));
    QCOMPARE(HtmlHelpWindow::existing(nullptr), unowned.data());
    QCOMPARE(helpWindows().size(), 2);

    // Closed by the user, then asked for again: the same window returns.
    window->close();
    QVERIFY(!window->isVisible());
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, owner, 0));
    QCOMPARE(HtmlHelpWindow::existing(owner), window.data());
    QVERIFY(window->isVisible());

    // It goes with its owner.
    owner->hide();
    QVERIFY(!window->isVisible());
    delete owner;
    QVERIFY(window.isNull());
    QVERIFY(unowned);
}

void ContextHelpTest::ownerlessHelpDuringAModalWindowIsUsable()
{
    QDialog dialog;
    bool opened = false;
    bool shownWhileModal = false;
    QPointer<HtmlHelpWindow> window;
    QTimer::singleShot(0, &dialog, [&] {
        // As the viewer's Help button does: no owner, while it runs modal.
        opened = ContextIDs::ShowHelp(kBuiltHelpFile, nullptr, 1028);
        window = HtmlHelpWindow::existing(&dialog);
        QTimer::singleShot(0, &dialog, [&] {
            // Only noted here: the dialog is closed whatever happened, and
            // the checks below run once it is.
            shownWhileModal = window && window->isVisible();
            dialog.accept();
        });
    });
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &dialog, &QDialog::reject);
    guard.start(20000);
    dialog.exec();
    QVERIFY(guard.isActive()); // closed by the test's answer, not by the guard
    QVERIFY(opened);
    QVERIFY(shownWhileModal);
    QVERIFY(window);
    QVERIFY(!window->isModal());
    QCOMPARE(topicPath(window), QStringLiteral("/html/viewer.htm"));
    // Closing the modal window takes its help along.
    QVERIFY(!window->isVisible());
}

void ContextHelpTest::linksPicturesAndBackForwardWork()
{
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, nullptr, 0));
    HtmlHelpWindow *window = HtmlHelpWindow::existing(nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *back = window->findChild<QPushButton *>(QStringLiteral("btnBack"));
    auto *forward = window->findChild<QPushButton *>(QStringLiteral("btnForward"));
    auto *contents = window->findChild<QPushButton *>(QStringLiteral("btnContents"));
    QVERIFY(back && forward && contents);
    QVERIFY(!back->isEnabled());

    // The picture and the stylesheet of the page come out of the help file.
    QTextDocument *document = window->browser()->document();
    const QVariant picture =
        document->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("images/quillan.png")));
    QVERIFY(picture.isValid());
    // Once the page is laid out the document holds the decoded picture.
    QImage image;
    if (picture.typeId() == QMetaType::QPixmap)
        image = picture.value<QPixmap>().toImage();
    else if (picture.typeId() == QMetaType::QImage)
        image = picture.value<QImage>();
    else
        image.loadFromData(picture.toByteArray());
    QCOMPARE(image.size(), QSize(32, 32));
    QVERIFY(window->browser()
                ->loadResource(QTextDocument::StyleSheetResource, QUrl(QStringLiteral("qlnhelp.css")))
                .toString()
                .contains(QStringLiteral("h1")));

    CLICK_LINK(window, QStringLiteral("the address box"));
    QCOMPARE(topicPath(window), QStringLiteral("/html/address_box.htm"));
    QVERIFY(back->isEnabled());

    // A link into a sub-page of another topic and back out again.
    CLICK_LINK(window, QStringLiteral("Quillan Browser"));
    QCOMPARE(topicPath(window), QStringLiteral("/html/browser.htm"));

    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(topicPath(window), QStringLiteral("/html/address_box.htm"));
    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(topicPath(window), QStringLiteral("/html/index.htm"));
    QVERIFY(!back->isEnabled());
    QVERIFY(forward->isEnabled());
    QTest::mouseClick(forward, Qt::LeftButton);
    QCOMPARE(topicPath(window), QStringLiteral("/html/address_box.htm"));

    QTest::mouseClick(contents, Qt::LeftButton);
    QCOMPARE(topicPath(window), QStringLiteral("/html/index.htm"));
    QVERIFY(window->windowTitle().contains(QStringLiteral("Quillan Help")));
}

void ContextHelpTest::fileWithRootRelativeNamesOpens()
{
    const QString path = dir.filePath(QStringLiteral("other.chm"));
    testchm::MiniChm chm;
    chm.system("index.htm", "Other Help")
        .contextMap({{10, "topics/a.htm"}, {20, "topics/a.htm#second"}, {30, "topics/latin.htm"}})
        .add("/topics/latin.htm", "<html><body><p>Caf\xe9 cr\xe8me</p></body></html>")
        .add("/index.htm", "<html><body><p>Start</p><p><a href=\"topics/a.htm\">to a</a></p></body></html>")
        .add("/topics/a.htm", "<html><head><title>Topic A</title></head><body><p>First</p>"
                              "<p><a href=\"../index.htm\">home</a></p>"
                              "<p><a name=\"second\">Second</a></p></body></html>");
    chm.write(QFile::encodeName(path).toStdString());

    QVERIFY(ContextIDs::ShowHelp(path, nullptr, 10));
    HtmlHelpWindow *window = HtmlHelpWindow::existing(nullptr);
    QCOMPARE(topicPath(window), QStringLiteral("/topics/a.htm"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Other Help - Topic A"));
    CLICK_LINK(window, QStringLiteral("home"));
    QCOMPARE(topicPath(window), QStringLiteral("/index.htm"));

    QVERIFY(ContextIDs::ShowHelp(path, nullptr, 20));
    QCOMPARE(window->browser()->source().fragment(), QStringLiteral("second"));

    // Pages in an 8-bit code page without a charset are still readable.
    QVERIFY(ContextIDs::ShowHelp(path, nullptr, 30));
    QVERIFY2(window->browser()->toPlainText().contains(QStringLiteral("Caf\u00e9 cr\u00e8me")),
             qPrintable(window->browser()->toPlainText()));

    // Another help file in the same window starts a fresh history.
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, nullptr, 360));
    QCOMPARE(HtmlHelpWindow::existing(nullptr), window);
    QVERIFY(!window->browser()->isBackwardAvailable());
}

void ContextHelpTest::helpFilePathDefaultsToTheProgramFolder()
{
    QCOMPARE(Globals::HelpFilePath, QCoreApplication::applicationDirPath() + QStringLiteral("/qlnhelp.chm"));
    // The test runs from the build's program folder, where the help file is.
    QVERIFY(ContextIDs::ShowHelp(Globals::HelpFilePath, nullptr, 0));
}

QTEST_MAIN(ContextHelpTest)
#include "context_help_test.moc"
