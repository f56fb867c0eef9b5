// The main window: its state when it opens, the two input modes, its menus,
// help on the focused control, the Quit command of the menu bar, and the
// connection-state control it creates through the component runtime.

#include "gui/shell/ComControl.h"
#include "gui/shell/Globals.h"
#include "gui/shell/MainWindow.h"
#include "gui/window/ContextIDs.h"
#include "gui/window/FormInstance.h"
#include "gui/window/HtmlHelpWindow.h"
#include "gui/window/Twips.h"
#include "platform/registry/registry.h"
#include "support/qt_support.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kBuiltHelpFile = QStringLiteral(QUILLAN_HELP_FILE);

QColor base(const QWidget *widget)
{
    return widget->palette().color(QPalette::Base);
}

// What a file dialog showed, and the answer it was given.
struct DialogSeen {
    QString title;
    bool nativeDialog = true;
};

// Answers the next file dialog: chooses `path`, or cancels when it is empty.
std::shared_ptr<testsupport::ModalAnswer> answerFileDialog(DialogSeen &seen, const QString &path)
{
    return testsupport::answerModal<QFileDialog>([&seen, path](QFileDialog *dialog) {
        seen.title = dialog->windowTitle();
        seen.nativeDialog = !dialog->testOption(QFileDialog::DontUseNativeDialog);
        if (path.isEmpty()) {
            dialog->reject();
        } else {
            dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept();
        }
    });
}

// Answers the next message box with OK and hands back its text.
std::shared_ptr<testsupport::ModalAnswer> answerMessage(QString &text, QString &title)
{
    return testsupport::answerModal<QMessageBox>([&text, &title](QMessageBox *box) {
        text = box->text();
        title = box->windowTitle();
        box->accept();
    });
}

void releaseKey(QWidget *target, Qt::Key key, Qt::KeyboardModifiers modifiers = {})
{
    QTest::keyRelease(target, key, modifiers);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensInItsInitialState();
    void menusAreAsDesigned();
    void fileModeOpensTheDialogAndUrlModeClearsTheFileBox();
    void f1AsksHelpForTheFocusedControl();
    void displayHelpOpensTheDefaultTopic();
    void quitMenuClosesOnlyTheMainWindow();
    void unregisteredComponentIsNamed();
    void readableBoxIsPlacedAndRemembered();
    void articleBoxIsPlacedCoupledAndRemembered();
    void markdownBoxIsPlacedCoupledAndRemembered();

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestMainWindow::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    Globals::setHelpFilePath(kBuiltHelpFile);
}

void TestMainWindow::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<HtmlHelpWindow *>(widget))
            delete widget;
    }
    if (MainWindow *main = FormInstance<MainWindow>::ifLoaded())
        QVERIFY(testsupport::closeAndWaitForDeletion(main));
}

void TestMainWindow::opensInItsInitialState()
{
    MainWindow &main = FormInstance<MainWindow>::get();
    QCOMPARE(main.windowTitle(), QStringLiteral("Quillan"));
    QVERIFY(main.optURL->isChecked());
    QVERIFY(!main.optGetFile->isChecked());
    QCOMPARE(main.txtURL->text(), QStringLiteral("http://"));
    QVERIFY(main.txtURL->isEnabled());
    QCOMPARE(base(main.txtURL), QColor(224, 224, 224));
    QVERIFY(main.txtGetFile->text().isEmpty());
    QVERIFY(!main.txtGetFile->isEnabled());
    QCOMPARE(base(main.txtGetFile), QColor(192, 192, 192));
    QCOMPARE(main.Label1->text(),
             QStringLiteral("Enter Either the Web site's URL or the name of an existing HTML file"));
    QCOMPARE(main.btnHTMLtoText->text(), QStringLiteral("HTML to Text"));
    QCOMPARE(main.btnQuit->text(), QStringLiteral("Quit"));
    QVERIFY(main.lbBytesReceived->isHidden());

    // Tab order.
    const QList<QWidget *> order{main.optURL,      main.optGetFile,    main.txtURL,
                                 main.txtGetFile,  main.chkReadable,   main.chkArticle,
                                 main.chkMarkdown, main.btnHTMLtoText, main.btnQuit};
    QList<QWidget *> chain;
    for (QWidget *w = order.first(); chain.size() < order.size(); w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w;
    }
    QCOMPARE(chain, order);

    // The controls keep their places when the window is resized.
    const QRect before = main.btnHTMLtoText->geometry();
    main.show();
    main.resize(main.width() * 2, main.height() * 2);
    QCoreApplication::processEvents();
    QCOMPARE(main.btnHTMLtoText->geometry(), before);
}

void TestMainWindow::menusAreAsDesigned()
{
    MainWindow &main = FormInstance<MainWindow>::get();
    // The captions as designed, each with an access key ("&") of its own
    // within its menu (the bar counts as one).
    auto captions = [](const QList<QAction *> &actions) {
        QStringList shown;
        QSet<QChar> keys;
        for (QAction *action : actions) {
            const QString text = action->text();
            const qsizetype mark = text.indexOf(QLatin1Char('&'));
            if (mark < 0 || mark + 1 >= text.size() || text.indexOf(QLatin1Char('&'), mark + 1) >= 0)
                return QStringList{"no single access key in " + text};
            const QChar key = text[mark + 1].toLower();
            if (keys.contains(key))
                return QStringList{"the access key of " + text + " is taken"};
            keys.insert(key);
            shown << QString(text).remove(mark, 1);
        }
        return shown;
    };
    QCOMPARE(captions(main.menuBar->actions()), (QStringList{"Web Browser", "About", "Help", "Quit"}));
    QCOMPARE(main.Browser->actions(), QList<QAction *>{main.OpenBrowser});
    QCOMPARE(main.About->actions(), (QList<QAction *>{main.showAbout, main.Fennick}));
    QCOMPARE(main.Help->actions(), QList<QAction *>{main.Contents});
    QCOMPARE(captions(main.Browser->actions()), QStringList{"Open Browser"});
    QCOMPARE(captions(main.About->actions()), (QStringList{"About Quillan", "Fennick Website"}));
    QCOMPARE(captions(main.Help->actions()), QStringList{"Display Help"});
    QVERIFY(main.Quit->menu() == nullptr);
    for (QAction *action : main.findChildren<QAction *>())
        QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->text()));

    // F10 opens the first menu, as Alt and its key do.
    main.show();
    QApplication::setActiveWindow(&main);
    QVERIFY(QTest::qWaitForWindowActive(&main));
    main.txtURL->setFocus();
    QTest::keyClick(main.txtURL, Qt::Key_F10);
    QTRY_VERIFY(main.Browser->isVisible());
    QCOMPARE(main.menuBar->activeAction(), main.Browser->menuAction());
    main.Browser->hide();
}

void TestMainWindow::fileModeOpensTheDialogAndUrlModeClearsTheFileBox()
{
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    QApplication::setActiveWindow(&main);
    QVERIFY(QTest::qWaitForWindowActive(&main));
    main.txtURL->setText(QStringLiteral("http://127.0.0.1/typed"));

    // First use, cancelled: an enabled, empty box with the caret in it.
    DialogSeen seen;
    auto answer = answerFileDialog(seen, QString());
    QTest::mouseClick(main.optGetFile, Qt::LeftButton);
    QVERIFY(answer->answered);
    QCOMPARE(seen.title, QStringLiteral("Open HTML File"));
    QVERIFY(!seen.nativeDialog);
    QVERIFY(main.optGetFile->isChecked());
    QVERIFY(main.txtGetFile->isEnabled());
    QVERIFY(main.txtGetFile->text().isEmpty());
    QCOMPARE(base(main.txtGetFile), QColor(224, 224, 224));
    QVERIFY(!main.txtURL->isEnabled());
    QCOMPARE(base(main.txtURL), QColor(192, 192, 192));
    QCOMPARE(main.focusWidget(), main.txtGetFile);

    // URL mode clears the file box and keeps the address typed earlier.
    QTest::mouseClick(main.optURL, Qt::LeftButton);
    QVERIFY(main.txtURL->isEnabled());
    QCOMPARE(main.txtURL->text(), QStringLiteral("http://127.0.0.1/typed"));
    QVERIFY(main.txtGetFile->text().isEmpty());
    QVERIFY(!main.txtGetFile->isEnabled());

    // A file chosen lands in the box with the caret after it ...
    const QString page = testsupport::writeFile(dir_->filePath("page.html"), "<p>x</p>\r\n");
    answer = answerFileDialog(seen, page);
    QTest::mouseClick(main.optGetFile, Qt::LeftButton);
    QVERIFY(answer->answered);
    QCOMPARE(main.txtGetFile->text(), page);
    QCOMPARE(main.txtGetFile->cursorPosition(), page.size());

    // ... and comes back after a later cancel.
    QTest::mouseClick(main.optURL, Qt::LeftButton);
    answer = answerFileDialog(seen, QString());
    QTest::mouseClick(main.optGetFile, Qt::LeftButton);
    QVERIFY(answer->answered);
    QCOMPARE(main.txtGetFile->text(), page);
}

void TestMainWindow::f1AsksHelpForTheFocusedControl()
{
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    QApplication::setActiveWindow(&main);
    QVERIFY(QTest::qWaitForWindowActive(&main));

    // The help window belongs to the main window; each F1 shows the page
    // about the focused control in it, whatever modifier is held.
    auto shownTopic = [&main]() {
        HtmlHelpWindow *help = HtmlHelpWindow::existing(&main);
        return help ? help->browser()->source().path() : QString();
    };
    const struct {
        QWidget *control;
        Qt::KeyboardModifiers modifiers;
        const char *topic;
    } presses[] = {
        {main.optURL, Qt::ShiftModifier, "/html/retrieve_from_url.htm"},
        {main.optGetFile, {}, "/html/use_html_file.htm"},
        {main.txtURL, {}, "/html/address_box.htm"},
        {main.chkReadable, {}, "/html/readable_text.htm"},
        {main.chkArticle, {}, "/html/article_only.htm"},
        {main.chkMarkdown, {}, "/html/markdown.htm"},
        {main.btnHTMLtoText, Qt::ControlModifier, "/html/html_to_text.htm"},
        {main.btnQuit, {}, "/html/quitting.htm"},
    };
    for (const auto &press : presses) {
        press.control->setFocus();
        releaseKey(press.control, Qt::Key_F1, press.modifiers);
        QCOMPARE(shownTopic(), QString::fromLatin1(press.topic));
    }

    // The file box takes the focus only in file mode.
    DialogSeen seen;
    auto answer = answerFileDialog(seen, QString());
    QTest::mouseClick(main.optGetFile, Qt::LeftButton);
    QVERIFY(answer->answered);
    QApplication::setActiveWindow(&main);
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QVERIFY(main.txtGetFile->hasFocus());
    releaseKey(main.txtGetFile, Qt::Key_F1);
    QCOMPARE(shownTopic(), QStringLiteral("/html/file_box.htm"));
    QTest::mouseClick(main.optURL, Qt::LeftButton);

    // Other keys ask nothing; neither does F1 without a help file.
    delete HtmlHelpWindow::existing(&main);
    main.btnQuit->setFocus();
    releaseKey(main.btnQuit, Qt::Key_F2);
    QVERIFY(HtmlHelpWindow::existing(&main) == nullptr);
    Globals::setHelpFilePath(dir_->filePath("qlnhelp.chm"));
    releaseKey(main.btnQuit, Qt::Key_F1);
    QVERIFY(HtmlHelpWindow::existing(&main) == nullptr);

    // F1 with nothing focused is ignored.
    Globals::setHelpFilePath(kBuiltHelpFile);
    main.btnQuit->clearFocus();
    QVERIFY(QApplication::focusWidget() == nullptr || QApplication::focusWidget()->window() != &main);
    main.Form_KeyUp(112, 0);
    QVERIFY(HtmlHelpWindow::existing(&main) == nullptr);
    QVERIFY(HtmlHelpWindow::existing(nullptr) == nullptr);
}

void TestMainWindow::displayHelpOpensTheDefaultTopic()
{
    MainWindow &main = FormInstance<MainWindow>::get();
    QVERIFY(HtmlHelpWindow::existing(nullptr) == nullptr);
    main.Contents->trigger();
    HtmlHelpWindow *help = HtmlHelpWindow::existing(nullptr);
    QVERIFY(help != nullptr);
    QWidget owner;
    QVERIFY(ContextIDs::ShowHelp(kBuiltHelpFile, &owner, 0));
    QCOMPARE(help->browser()->source().path(), HtmlHelpWindow::existing(&owner)->browser()->source().path());
}

void TestMainWindow::quitMenuClosesOnlyTheMainWindow()
{
    QWidget other;
    other.show();
    MainWindow &main = FormInstance<MainWindow>::get();
    QPointer<MainWindow> watched(&main);
    main.show();
    main.Quit->trigger();
    QVERIFY(!FormInstance<MainWindow>::isLoaded());
    QVERIFY(QTest::qWaitFor([&] { return watched.isNull(); }, 5000));
    QVERIFY(other.isVisible());

    // The next use makes a fresh window in its initial state.
    MainWindow &again = FormInstance<MainWindow>::get();
    QCOMPARE(again.txtURL->text(), QStringLiteral("http://"));
}

void TestMainWindow::unregisteredComponentIsNamed()
{
    // The test's registry has no Netvane: the window opens all the same.
    MainWindow &main = FormInstance<MainWindow>::get();
    QVERIFY(!main.Netvane1->created());
    const MainWindow::ConnectionReading reading = main.readConnectedOnline();
    QVERIFY(!reading.online);
    QVERIFY2(reading.cause.contains(QStringLiteral("\"Vanelink.Netvane\"")), qPrintable(reading.cause));
    QVERIFY2(reading.cause.contains(QStringLiteral("0x80040154")), qPrintable(reading.cause));

    // The command shows the connection message with the cause below it.
    main.txtURL->setText(QStringLiteral("http://127.0.0.1:9/page.html"));
    QString text, title;
    auto answer = answerMessage(text, title);
    main.btnHTMLtoText->click();
    QVERIFY(answer->answered);
    QCOMPARE(title, QStringLiteral("Quillan"));
    QCOMPARE(text, QStringLiteral("Quillan did not detect an active internet connection.  Please make sure you are "
                                  "connected before continuing\n") +
                       reading.cause);
}

namespace {

const char *const QuillanKey = "Software\\Fennick\\Quillan";

std::optional<platform::DWORD> readableValue()
{
    return platform::RegReadDword(platform::HKEY_CURRENT_USER, QuillanKey, "ReadableText");
}

std::optional<platform::DWORD> articleValue()
{
    return platform::RegReadDword(platform::HKEY_CURRENT_USER, QuillanKey, "ArticleOnly");
}

std::optional<platform::DWORD> markdownValue()
{
    return platform::RegReadDword(platform::HKEY_CURRENT_USER, QuillanKey, "Markdown");
}

// A click on a check box's indicator, as the user makes it.
void clickBox(QCheckBox *box)
{
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
}

} // namespace

void TestMainWindow::readableBoxIsPlacedAndRemembered()
{
    platform::RegDeleteTree(platform::HKEY_CURRENT_USER, QuillanKey);
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QCheckBox *box = main.chkReadable;
        QCOMPARE(box->objectName(), QStringLiteral("chkReadable"));
        QCOMPARE(box->text(), QStringLiteral("Readable text"));
        QCOMPARE(box->parentWidget(), main.fraMain);
        // Under "Use HTML File", at the same left edge.
        QCOMPARE(box->pos(), Twips::toPixels(240, 1560, 0, 0, box->screen()).topLeft());
        QCOMPARE(box->x(), main.optGetFile->x());
        QVERIFY(box->y() >= main.optGetFile->geometry().bottom());
        QVERIFY(box->geometry().bottom() < main.btnHTMLtoText->y());
        QVERIFY(box->sizeHint().width() <= box->width());
        QCOMPARE(box->font(), main.optGetFile->font());
        QCOMPARE(box->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        QCOMPARE(box->palette().color(QPalette::ButtonText), QColor(0, 0, 128));
        QCOMPARE(ContextIDs::helpContextID(box), 400);
        // Off by default; opening the window writes nothing.
        QVERIFY(!box->isChecked());
        QCOMPARE(readableValue(), std::nullopt);

        // Ticked by a click, the choice is written at once; and again when
        // taken back.
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        QVERIFY(box->isChecked());
        QCOMPARE(readableValue(), std::optional<platform::DWORD>(1));
        QTest::keyClick(box, Qt::Key_Space);
        QVERIFY(!box->isChecked());
        QCOMPARE(readableValue(), std::optional<platform::DWORD>(0));
        box->setChecked(true);
        QCOMPARE(readableValue(), std::optional<platform::DWORD>(1));
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    // The next window opens as the user left it.
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QVERIFY(main.chkReadable->isChecked());
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    QCOMPARE(platform::RegWriteDword(platform::HKEY_CURRENT_USER, QuillanKey, "ReadableText", 0),
             platform::ERROR_SUCCESS);
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QVERIFY(!main.chkReadable->isChecked());
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    platform::RegDeleteTree(platform::HKEY_CURRENT_USER, QuillanKey);
}

void TestMainWindow::articleBoxIsPlacedCoupledAndRemembered()
{
    using Dword = std::optional<platform::DWORD>;
    platform::RegDeleteTree(platform::HKEY_CURRENT_USER, QuillanKey);
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QCheckBox *box = main.chkArticle;
        QCheckBox *readable = main.chkReadable;
        QCOMPARE(box->objectName(), QStringLiteral("chkArticle"));
        QCOMPARE(box->text(), QStringLiteral("Article only"));
        QCOMPARE(box->parentWidget(), main.fraMain);
        // To the right of "Readable text", on its line, under the file box.
        QCOMPARE(box->geometry(), Twips::toPixels(2040, 1560, 1695, 255, box->screen()));
        QCOMPARE(box->y(), readable->y());
        QCOMPARE(box->x(), main.txtGetFile->x());
        QVERIFY(box->x() > readable->geometry().right());
        QVERIFY(box->y() >= main.txtGetFile->geometry().bottom());
        QVERIFY(box->geometry().bottom() < main.btnHTMLtoText->y());
        QVERIFY(box->sizeHint().width() <= box->width());
        QCOMPARE(box->font(), readable->font());
        QCOMPARE(box->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        QCOMPARE(box->palette().color(QPalette::ButtonText), QColor(0, 0, 128));
        QCOMPARE(ContextIDs::helpContextID(box), 410);
        QCOMPARE(readable->nextInFocusChain(), box);
        // Off by default; opening the window writes nothing.
        QVERIFY(!box->isChecked());
        QCOMPARE(articleValue(), std::nullopt);

        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        // Ticking the article ticks the readable text; both are written.
        clickBox(box);
        QVERIFY(box->isChecked());
        QVERIFY(readable->isChecked());
        QCOMPARE(articleValue(), Dword(1));
        QCOMPARE(readableValue(), Dword(1));
        // Clearing the article alone leaves the readable text.
        QTest::keyClick(box, Qt::Key_Space);
        QVERIFY(!box->isChecked());
        QVERIFY(readable->isChecked());
        QCOMPARE(articleValue(), Dword(0));
        QCOMPARE(readableValue(), Dword(1));
        // Clearing the readable text clears the article.
        clickBox(box);
        QVERIFY(box->isChecked());
        clickBox(readable);
        QVERIFY(!readable->isChecked());
        QVERIFY(!box->isChecked());
        QCOMPARE(readableValue(), Dword(0));
        QCOMPARE(articleValue(), Dword(0));
        // Ticking the readable text leaves the article clear.
        clickBox(readable);
        QVERIFY(readable->isChecked());
        QVERIFY(!box->isChecked());

        box->setChecked(true);
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    // The next window opens as the user left it.
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QVERIFY(main.chkArticle->isChecked());
        QVERIFY(main.chkReadable->isChecked());
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    // An article without readable text, written by hand, opens as both.
    QCOMPARE(platform::RegWriteDword(platform::HKEY_CURRENT_USER, QuillanKey, "ReadableText", 0),
             platform::ERROR_SUCCESS);
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QVERIFY(main.chkArticle->isChecked());
        QVERIFY(main.chkReadable->isChecked());
        QCOMPARE(readableValue(), Dword(0)); // loading writes nothing
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    QCOMPARE(platform::RegWriteDword(platform::HKEY_CURRENT_USER, QuillanKey, "ArticleOnly", 0),
             platform::ERROR_SUCCESS);
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QVERIFY(!main.chkArticle->isChecked());
        QVERIFY(!main.chkReadable->isChecked());
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    platform::RegDeleteTree(platform::HKEY_CURRENT_USER, QuillanKey);
}

void TestMainWindow::markdownBoxIsPlacedCoupledAndRemembered()
{
    using Dword = std::optional<platform::DWORD>;
    platform::RegDeleteTree(platform::HKEY_CURRENT_USER, QuillanKey);
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QCheckBox *box = main.chkMarkdown;
        QCheckBox *readable = main.chkReadable;
        QCheckBox *article = main.chkArticle;
        QCOMPARE(box->objectName(), QStringLiteral("chkMarkdown"));
        QCOMPARE(box->text(), QStringLiteral("Markdown"));
        QCOMPARE(box->parentWidget(), main.fraMain);
        // To the right of "Article only", on its line, above the buttons.
        QCOMPARE(box->geometry(), Twips::toPixels(3960, 1560, 1335, 255, box->screen()));
        QCOMPARE(box->y(), article->y());
        QVERIFY(box->x() > article->geometry().right());
        QVERIFY(box->geometry().right() < main.fraMain->width());
        QVERIFY(box->geometry().bottom() < main.btnHTMLtoText->y());
        QVERIFY(box->sizeHint().width() <= box->width());
        QCOMPARE(box->font(), article->font());
        QCOMPARE(box->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        QCOMPARE(box->palette().color(QPalette::ButtonText), QColor(0, 0, 128));
        QCOMPARE(ContextIDs::helpContextID(box), 430);
        QCOMPARE(article->nextInFocusChain(), box);
        QVERIFY(!box->isChecked());
        QCOMPARE(markdownValue(), std::nullopt);

        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        // Ticking Markdown ticks the readable text and leaves the article.
        clickBox(box);
        QVERIFY(box->isChecked());
        QVERIFY(readable->isChecked());
        QVERIFY(!article->isChecked());
        QCOMPARE(markdownValue(), Dword(1));
        QCOMPARE(readableValue(), Dword(1));
        // Clearing it alone leaves the readable text.
        QTest::keyClick(box, Qt::Key_Space);
        QVERIFY(!box->isChecked());
        QVERIFY(readable->isChecked());
        QCOMPARE(markdownValue(), Dword(0));
        // Clearing the readable text clears Markdown and the article.
        clickBox(box);
        clickBox(article);
        clickBox(readable);
        QVERIFY(!readable->isChecked());
        QVERIFY(!box->isChecked());
        QVERIFY(!article->isChecked());
        QCOMPARE(markdownValue(), Dword(0));
        QCOMPARE(articleValue(), Dword(0));
        // Ticking the readable text leaves Markdown clear.
        clickBox(readable);
        QVERIFY(!box->isChecked());

        box->setChecked(true);
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    // The next window opens as the user left it.
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QVERIFY(main.chkMarkdown->isChecked());
        QVERIFY(main.chkReadable->isChecked());
        QVERIFY(!main.chkArticle->isChecked());
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    // Markdown without readable text, written by hand, opens as both.
    QCOMPARE(platform::RegWriteDword(platform::HKEY_CURRENT_USER, QuillanKey, "ReadableText", 0),
             platform::ERROR_SUCCESS);
    {
        MainWindow &main = FormInstance<MainWindow>::get();
        QVERIFY(main.chkMarkdown->isChecked());
        QVERIFY(main.chkReadable->isChecked());
        QCOMPARE(readableValue(), Dword(0)); // loading writes nothing
        QVERIFY(testsupport::closeAndWaitForDeletion(&main));
    }
    platform::RegDeleteTree(platform::HKEY_CURRENT_USER, QuillanKey);
}

QTEST_MAIN(TestMainWindow)
#include "main_window_test.moc"
