// What the user meets in the main window beyond its commands: the file
// dialog of "Use HTML File" lists the HTML files of a folder and nothing
// else, the window can be made smaller than its design size without its
// controls moving, and the controls without a caption of their own carry an
// accessible name and description for screen readers.

#include "gui/about/AboutBox.h"
#include "gui/shell/Globals.h"
#include "gui/shell/MainWindow.h"
#include "gui/shell/SplashWindow.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "support/qt_support.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The files a file dialog lists in its current folder once it has read it.
QStringList listedFiles(QFileDialog *dialog, const QString &folder)
{
    auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
    if (!view || !view->model())
        return {QStringLiteral("<no list>")};
    QStringList names;
    (void)QTest::qWaitFor(
        [&] {
            names.clear();
            const QModelIndex root = view->rootIndex();
            for (int row = 0; row < view->model()->rowCount(root); ++row) {
                const QModelIndex index = view->model()->index(row, 0, root);
                if (index.flags() & Qt::ItemIsEnabled)
                    names << index.data().toString();
            }
            return QFileInfo(view->model()->data(root, QFileSystemModel::FilePathRole).toString()) ==
                       QFileInfo(folder) &&
                   !names.isEmpty();
        },
        5000);
    names.sort();
    return names;
}

QString accessibleText(QObject *object, QAccessible::Text which)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(object);
    return face ? face->text(which) : QString();
}

} // namespace

class TestInputArea : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void fileDialogListsTheHtmlFilesAndChoosesOne();
    void mainWindowShrinksWithItsControlsInPlace();
    void uncaptionedControlsAreNamedForScreenReaders();
};

void TestInputArea::cleanup()
{
    if (MainWindow *main = FormInstance<MainWindow>::ifLoaded())
        QVERIFY(testsupport::closeAndWaitForDeletion(main));
}

void TestInputArea::fileDialogListsTheHtmlFilesAndChoosesOne()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : {"a.htm", "b.html", "c.txt", "d.HTMLX"})
        testsupport::writeFile(dir.filePath(QLatin1String(name)), "<p>page</p>\r\n");

    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));

    QStringList listed;
    QStringList shownFilters;
    QString title;
    auto answer = testsupport::answerModal<QFileDialog>([&](QFileDialog *dialog) {
        title = dialog->windowTitle();
        dialog->setDirectory(dir.path());
        listed = listedFiles(dialog, dir.path());
        if (auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"))) {
            for (int i = 0; i < types->count(); ++i)
                shownFilters << types->itemText(i);
        }
        // Chosen as the user does: the second file picked in the list.
        auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
        const QModelIndexList found =
            view->model()->match(view->model()->index(0, 0, view->rootIndex()), Qt::DisplayRole,
                                 QStringLiteral("b.html"), 1, Qt::MatchExactly);
        if (!found.isEmpty())
            view->setCurrentIndex(found.constFirst());
        static_cast<QDialog *>(dialog)->accept(); // accept() of QFileDialog is protected
        if (dialog->isVisible())                  // nothing chosen: the dialog would not go
            dialog->reject();
    });
    QTest::mouseClick(main.optGetFile, Qt::LeftButton);
    QVERIFY(answer->answered);
    QVERIFY(!answer->timedOut);

    QCOMPARE(title, QStringLiteral("Open HTML File"));
    QCOMPARE(listed, (QStringList{QStringLiteral("a.htm"), QStringLiteral("b.html")}));
    QCOMPARE(shownFilters, QStringList{QStringLiteral("HTML Files (*.htm;*.html)")});
    QCOMPARE(QFileInfo(main.txtGetFile->text()), QFileInfo(dir.filePath(QStringLiteral("b.html"))));
    QVERIFY(main.txtGetFile->isEnabled());
}

void TestInputArea::mainWindowShrinksWithItsControlsInPlace()
{
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    const QSize design = main.size();
    const QRect urlBox = main.txtURL->geometry();
    const QRect convert = main.btnHTMLtoText->geometry();
    const QRect article = main.chkArticle->geometry();

    const QSize small(design.width() / 3, design.height() / 3);
    QVERIFY(main.minimumSize().width() <= small.width() && main.minimumSize().height() <= small.height());
    main.resize(small);
    QTRY_COMPARE(main.size(), small);
    // Clipped, not moved or squeezed.
    QCOMPARE(main.txtURL->geometry(), urlBox);
    QCOMPARE(main.btnHTMLtoText->geometry(), convert);
    QCOMPARE(main.chkArticle->geometry(), article);

    main.resize(design);
    QTRY_COMPARE(main.size(), design);
    QCOMPARE(main.txtURL->geometry(), urlBox);
}

void TestInputArea::uncaptionedControlsAreNamedForScreenReaders()
{
    MainWindow &main = FormInstance<MainWindow>::get();
    main.show(); // the window that stays while the others close
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    SplashWindow &splash = FormInstance<SplashWindow>::get();
    AboutBox &about = FormInstance<AboutBox>::get();
    const QList<QWidget *> controls{main.txtURL, main.txtGetFile, view.findChild<QWidget *>(QStringLiteral("txtHTML")),
                                    splash.findChild<QWidget *>(QStringLiteral("DXAnimatedGIF1")),
                                    about.findChild<QWidget *>(QStringLiteral("DXAnimatedGIF1"))};
    QStringList names;
    for (QWidget *control : controls) {
        QVERIFY(control);
        const QString name = accessibleText(control, QAccessible::Name);
        QVERIFY2(!name.trimmed().isEmpty(), qPrintable(control->objectName()));
        QVERIFY2(!accessibleText(control, QAccessible::Description).trimmed().isEmpty(),
                 qPrintable(control->objectName()));
        names << name;
    }
    // The two boxes of the main window are told apart by their names.
    QVERIFY(names.at(0) != names.at(1));
    QVERIFY(testsupport::closeAndWaitForDeletion(&about));
    QVERIFY(testsupport::closeAndWaitForDeletion(&splash));
    QVERIFY(testsupport::closeAndWaitForDeletion(&view));
}

QTEST_MAIN(TestInputArea)
#include "input_area_test.moc"
