// The start-up routine, the loading window and the splash: the order of the
// windows and HelpFilePath, the splash's texts and picture, and the three
// ways off the splash (Quit, a click on the bare frame, Start), each run
// through the application's own event loop to see whether the program ends.

#include "gui/shell/Globals.h"
#include "gui/shell/LoadingWindow.h"
#include "gui/shell/MainWindow.h"
#include "gui/shell/SplashWindow.h"
#include "gui/window/AnimatedPicture.h"
#include "gui/window/App.h"
#include "gui/window/FormInstance.h"
#include "gui/window/ReturnKey.h"
#include "gui/window/Twips.h"
#include "quillan_version.h"
#include "support/process.h"
#include "support/qt_support.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QLabel>
#include <QMovie>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

using namespace testsupport;

// Set in a copy of this test run from another folder (see pictureProblems).
const char *const ChildVariable = "QUILLAN_STARTUP_TEST_CHILD";

const QString ExpectedVersionText =
    QStringLiteral("Version ") + QLatin1String(quillan::version::Text) + QStringLiteral(" January 9, 2002");

// Top-level windows' show, hide and close events, by object name, in order;
// and what was true when they came.
class WindowLog : public QObject {
public:
    WindowLog() { qApp->installEventFilter(this); }
    ~WindowLog() override { qApp->removeEventFilter(this); }

    QStringList events;
    QString helpPathWhenSplashShown;
    bool loadingBusyWhenShown = false;
    bool loadingBusyWhenHidden = true;

    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(object);
        if (!widget || !widget->isWindow() || widget->objectName().isEmpty())
            return false;
        const QString name = widget->objectName();
        switch (event->type()) {
        case QEvent::Show:
            events << QStringLiteral("show ") + name;
            if (name == QLatin1String("frmSplash"))
                helpPathWhenSplashShown = Globals::HelpFilePath;
            if (name == QLatin1String("frmOpen"))
                loadingBusyWhenShown = widget->cursor().shape() == Qt::WaitCursor;
            break;
        case QEvent::Hide:
            events << QStringLiteral("hide ") + name;
            if (name == QLatin1String("frmOpen"))
                loadingBusyWhenHidden = widget->cursor().shape() == Qt::WaitCursor;
            break;
        case QEvent::Close: events << QStringLiteral("close ") + name; break;
        default: break;
        }
        return false;
    }
};

// Runs the application's event loop as the program does after start-up.
// True when the loop ended by itself (the last window closed) within
// timeoutMs; otherwise every window is closed and the loop stopped.
bool runUntilProgramEnds(int timeoutMs = 20000)
{
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&timedOut] {
        timedOut = true;
        QApplication::closeAllWindows();
        QCoreApplication::exit(1);
    });
    guard.start(timeoutMs);
    const int status = QApplication::exec();
    return !timedOut && status == 0;
}

QList<QWidget *> visibleWindows()
{
    QList<QWidget *> shown;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible())
            shown << widget;
    }
    return shown;
}

SplashWindow &startedSplash()
{
    Globals::Main();
    SplashWindow *splash = FormInstance<SplashWindow>::ifLoaded();
    if (!splash)
        qFatal("the start-up routine left no splash");
    return *splash;
}

// A point of Frame1 that no control covers.
QPoint bareFramePoint(const SplashWindow &splash)
{
    return QPoint(Twips::toPixels(100, splash.screen()), Twips::toPixels(3200, splash.screen()));
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void programIdentity();
    void startUpOrderAndHelpFilePath();
    void splashLayoutAndTexts();
    void pictureFromTheProgramFolder();
    void pictureProblems_data();
    void pictureProblems();
    void quitAndFrameClickEndTheProgram_data();
    void quitAndFrameClickEndTheProgram();
    void clicksOnLabelsAndPictureDoNothing();
    void startOpensTheMainWindowForGood_data();
    void startOpensTheMainWindowForGood();
};

void TestStartup::initTestCase()
{
    // As the program does: Enter on the splash's focused Start starts.
    ReturnKey::pressFocusedButtons(*qApp);
}

void TestStartup::init()
{
    Globals::setHelpFilePath(QString());
}

void TestStartup::cleanup()
{
    QVERIFY(closeAndWaitForDeletion(FormInstance<MainWindow>::ifLoaded()));
    QVERIFY(closeAndWaitForDeletion(FormInstance<SplashWindow>::ifLoaded()));
    QVERIFY(closeAndWaitForDeletion(FormInstance<LoadingWindow>::ifLoaded()));
}

void TestStartup::programIdentity()
{
    App::Describe();
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Quillan"));
    QCOMPARE(QCoreApplication::applicationVersion(),
             QStringLiteral("%1.%2.%3").arg(App::Major).arg(App::Minor).arg(App::Revision));
    const QIcon icon = QApplication::windowIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QImage picture(App::IconFile(size));
        QCOMPARE(picture.size(), QSize(size, size));
        QVERIFY(picture.hasAlphaChannel());
        QCOMPARE(qAlpha(picture.pixel(0, size - 1)), 0); // a transparent corner
        // The icon draws the picture of that size (read when first asked).
        QCOMPARE(icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
}

void TestStartup::startUpOrderAndHelpFilePath()
{
    WindowLog log;
    Globals::Main();

    QCOMPARE(log.events, QStringList({QStringLiteral("show frmOpen"), QStringLiteral("show frmSplash"),
                                      QStringLiteral("close frmOpen"), QStringLiteral("hide frmOpen")}));
    const QString expected = QCoreApplication::applicationDirPath() + QStringLiteral("/qlnhelp.chm");
    QCOMPARE(log.helpPathWhenSplashShown, expected);
    QCOMPARE(Globals::HelpFilePath, expected);
    QVERIFY(log.loadingBusyWhenShown);
    QVERIFY(!log.loadingBusyWhenHidden);

    // The routine returns with the splash alone on screen; the loading
    // window is gone for good.
    QVERIFY(!FormInstance<LoadingWindow>::isLoaded());
    QVERIFY(!FormInstance<MainWindow>::isLoaded());
    SplashWindow *splash = FormInstance<SplashWindow>::ifLoaded();
    QVERIFY(splash);
    QCOMPARE(visibleWindows(), QList<QWidget *>{splash});
}

void TestStartup::splashLayoutAndTexts()
{
    SplashWindow &splash = startedSplash();
    QCOMPARE(splash.lblVersion->text(), ExpectedVersionText);
    QCOMPARE(App::VersionText(10, 0, 7), QStringLiteral("Version 10.0.7 January 9, 2002"));
    QCOMPARE(splash.Label1->text(), QStringLiteral("Fennick's Quillan"));
    QCOMPARE(splash.Label2->text(), QStringLiteral("Convert HTML to Text from files or direct from the Web"));
    QCOMPARE(splash.btnStart->text(), QStringLiteral("Start"));
    QCOMPARE(splash.btnQuit->text(), QStringLiteral(" Quit"));
    QVERIFY(!splash.lblCopyright->text().isEmpty());

    // Where Comic Sans MS is missing its look-alike draws the captions, in
    // the design's weight and slant, not the configuration's default face.
    if (!QFontDatabase::families().contains(QStringLiteral("Comic Sans MS")) &&
        QFontDatabase::families().contains(QStringLiteral("Comic Neue"))) {
        for (const QWidget *caption :
             std::initializer_list<const QWidget *>{splash.Label1, splash.lblCopyright, splash.btnStart}) {
            const QFontInfo drawn(caption->font());
            QCOMPARE(drawn.family(), QStringLiteral("Comic Neue"));
            QCOMPARE(drawn.bold(), caption->font().bold());
            QCOMPARE(drawn.italic(), caption->font().italic());
        }
        QVERIFY(QFontInfo(splash.Label1->font()).italic());
    }

    // No caption, no control box, not in the taskbar, a fixed size; and
    // yet the window that keeps the program running.
    QVERIFY(splash.windowTitle().isEmpty());
    QCOMPARE(splash.windowType(), Qt::Tool);
    QVERIFY(splash.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(splash.testAttribute(Qt::WA_QuitOnClose));
    QCOMPARE(splash.minimumSize(), splash.maximumSize());

    // The version text is shown whole on one line, centred where the
    // design put the label, clear of the picture.
    const QRect version = splash.lblVersion->geometry();
    const QRect designed = Twips::toPixels(2520, 1440, 2535, 315, splash.screen());
    QVERIFY(splash.lblVersion->fontMetrics().horizontalAdvance(ExpectedVersionText) <= version.width());
    QVERIFY(qAbs(version.center().x() - designed.center().x()) <= 1);
    QCOMPARE(version.top(), designed.top());
    QVERIFY(!version.intersects(splash.DXAnimatedGIF1->geometry()));
    QVERIFY(splash.Frame1->contentsRect().contains(version));

    // The loading window's own table.
    LoadingWindow &loading = FormInstance<LoadingWindow>::get();
    QCOMPARE(loading.windowTitle(), QStringLiteral("Loading Quillan ......"));
    QCOMPARE(loading.Label1->text(), QStringLiteral("Please stand by while Quillan Loads"));
    QCOMPARE(loading.size(), QSize(Twips::toPixels(5505, loading.screen()), Twips::toPixels(810, loading.screen())));
    QVERIFY(!(loading.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
}

// Also proves the picture generator's GIF: Qt decodes every frame, the
// frames differ, and the background is transparent.
void TestStartup::pictureFromTheProgramFolder()
{
    SplashWindow &splash = startedSplash();
    AnimatedPicture *picture = splash.DXAnimatedGIF1;
    QCOMPARE(picture->PictureFile(), QCoreApplication::applicationDirPath() + QStringLiteral("/spider14.gif"));
    QVERIFY(picture->hasPicture());
    QMovie *movie = picture->movie();
    QVERIFY(movie);
    QVERIFY2(movie->frameCount() > 1, "not animated");
    QImage first;
    bool moves = false;
    for (int i = 0; i < movie->frameCount(); ++i) {
        QVERIFY(movie->jumpToFrame(i));
        const QImage frame = movie->currentImage();
        QCOMPARE(frame.size(), QSize(97, 89));
        if (i == 0)
            first = frame;
        else
            moves = moves || frame != first;
    }
    QVERIFY(moves);
    QCOMPARE(qAlpha(first.pixel(0, 88)), 0);
}

// Run twice: here, it copies this test program into a folder of its own
// with a missing or damaged spider14.gif and no help file, and runs the
// copy; in the copy, it checks that the splash comes up without a picture
// and without a message, and that Start still opens the main window.
void TestStartup::pictureProblems_data()
{
    QTest::addColumn<QByteArray>("pictureBytes");
    QTest::addColumn<bool>("present");
    // The copy has no picture beside it: it reads the original's.
    const QString original = qEnvironmentVariableIsSet(ChildVariable) ? qEnvironmentVariable(ChildVariable)
                                                                      : QCoreApplication::applicationDirPath();
    QFile real(original + QStringLiteral("/spider14.gif"));
    QVERIFY(real.open(QIODevice::ReadOnly));
    const QByteArray gif = real.readAll();
    QTest::newRow("absent") << QByteArray() << false;
    QTest::newRow("not a picture") << QByteArray("<html>spider</html>\r\n") << true;
    QTest::newRow("cut after the header") << gif.left(800) << true;
}

void TestStartup::pictureProblems()
{
    QFETCH(QByteArray, pictureBytes);
    QFETCH(bool, present);

    if (qEnvironmentVariableIsSet(ChildVariable)) {
        const QString folder = QCoreApplication::applicationDirPath();
        QVERIFY(folder != QString::fromLocal8Bit(qgetenv(ChildVariable)));
        SplashWindow &splash = startedSplash();
        QCOMPARE(Globals::HelpFilePath, folder + QStringLiteral("/qlnhelp.chm"));
        QCOMPARE(splash.DXAnimatedGIF1->PictureFile(), folder + QStringLiteral("/spider14.gif"));
        QVERIFY(!splash.DXAnimatedGIF1->hasPicture());
        QVERIFY(splash.DXAnimatedGIF1->pixmap().isNull());
        QCOMPARE(splash.lblVersion->text(), ExpectedVersionText);
        QCOMPARE(visibleWindows(), QList<QWidget *>{&splash});
        QVERIFY(!QApplication::activeModalWidget());
        splash.btnStart_Click();
        QVERIFY(FormInstance<MainWindow>::isLoaded());
        QVERIFY(FormInstance<MainWindow>::get().isVisible());
        return;
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QStringLiteral("startup_copy"));
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), copy));
    QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    if (present)
        writeFile(dir.filePath(QStringLiteral("spider14.gif")), pictureBytes);

    qputenv(ChildVariable, QCoreApplication::applicationDirPath().toLocal8Bit());
    const ProcessResult child = runProgram(
        {copy.toStdString(), std::string("pictureProblems:") + QTest::currentDataTag(), "-maxwarnings", "0"});
    qunsetenv(ChildVariable);
    QVERIFY2(child.status == 0, (child.out + child.err).c_str());
    QVERIFY2(child.out.find("PASS   : TestStartup::pictureProblems(") != std::string::npos, child.out.c_str());
}

void TestStartup::quitAndFrameClickEndTheProgram_data()
{
    QTest::addColumn<bool>("frameClick");
    QTest::newRow("Quit") << false;
    QTest::newRow("click on the bare frame") << true;
}

void TestStartup::quitAndFrameClickEndTheProgram()
{
    QFETCH(bool, frameClick);
    WindowLog log;
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    SplashWindow &splash = startedSplash();
    QPointer<SplashWindow> watched(&splash);
    if (frameClick)
        QVERIFY(!splash.Frame1->childAt(bareFramePoint(splash)));
    QTimer::singleShot(0, &splash, [&splash, frameClick] {
        if (frameClick)
            QTest::mouseClick(splash.Frame1, Qt::LeftButton, {}, bareFramePoint(splash));
        else
            QTest::mouseClick(splash.btnQuit, Qt::LeftButton);
    });

    QVERIFY2(runUntilProgramEnds(), "the program kept running");
    QCOMPARE(lastClosed.count(), 1);
    QVERIFY(visibleWindows().isEmpty());
    QVERIFY(!log.events.contains(QStringLiteral("show frmMain")));
    QVERIFY(!FormInstance<MainWindow>::isLoaded());
    QTRY_VERIFY(watched.isNull());
}

void TestStartup::clicksOnLabelsAndPictureDoNothing()
{
    SplashWindow &splash = startedSplash();
    QSignalSpy frameClicks(splash.Frame1, &ClickableFrame::clicked);
    for (QWidget *control : std::initializer_list<QWidget *>{splash.Label1, splash.Label2, splash.lblVersion,
                                                             splash.lblCopyright, splash.DXAnimatedGIF1}) {
        QTest::mouseClick(control, Qt::LeftButton);
        QVERIFY2(splash.isVisible(), qPrintable(control->objectName()));
    }
    // A right click on the frame is no click either.
    QTest::mouseClick(splash.Frame1, Qt::RightButton, {}, bareFramePoint(splash));
    QCOMPARE(frameClicks.count(), 0);
    QVERIFY(FormInstance<SplashWindow>::isLoaded());
    QCOMPARE(visibleWindows(), QList<QWidget *>{&splash});

    // The same kind of click on the bare frame does close it.
    QTest::mouseClick(splash.Frame1, Qt::LeftButton, {}, bareFramePoint(splash));
    QCOMPARE(frameClicks.count(), 1);
    QVERIFY(!FormInstance<SplashWindow>::isLoaded());
}

void TestStartup::startOpensTheMainWindowForGood_data()
{
    QTest::addColumn<bool>("byEnter");
    QTest::newRow("click on Start") << false;
    QTest::newRow("Enter, the focus on Start") << true;
}

void TestStartup::startOpensTheMainWindowForGood()
{
    QFETCH(bool, byEnter);
    WindowLog log;
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    SplashWindow &splash = startedSplash();
    QPointer<SplashWindow> watched(&splash);
    // The splash opens with the focus on Start.
    QCOMPARE(splash.focusWidget(), splash.btnStart);
    QTimer::singleShot(0, &splash, [&splash, byEnter] {
        if (byEnter)
            QTest::keyClick(splash.btnStart, Qt::Key_Return);
        else
            QTest::mouseClick(splash.btnStart, Qt::LeftButton);
    });

    // Once the main window is up: the splash is gone, no pointer is busy;
    // then the main window is closed, which must end the program.
    bool sawMain = false;
    bool splashGone = false;
    bool pointersRestored = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        MainWindow *main = FormInstance<MainWindow>::ifLoaded();
        if (!main || !main->isVisible())
            return;
        watch.stop();
        sawMain = true;
        splashGone = !FormInstance<SplashWindow>::isLoaded() && (!watched || !watched->isVisible());
        pointersRestored = !QApplication::overrideCursor() && main->cursor().shape() == Qt::ArrowCursor &&
                           (!watched || watched->cursor().shape() == Qt::ArrowCursor);
        main->close();
    });
    watch.start(5);

    QVERIFY2(runUntilProgramEnds(), "the program did not end when the main window closed");
    QVERIFY2(sawMain, "the program ended before the main window was shown");
    QVERIFY(splashGone);
    QVERIFY(pointersRestored);
    QCOMPARE(lastClosed.count(), 1);
    QTRY_VERIFY(watched.isNull());
    QVERIFY(visibleWindows().isEmpty());
    QCOMPARE(log.events.count(QStringLiteral("show frmSplash")), 1);
    const qsizetype splashHidden = log.events.indexOf(QStringLiteral("hide frmSplash"));
    QVERIFY(splashHidden >= 0);
    QVERIFY(splashHidden < log.events.indexOf(QStringLiteral("show frmMain")));
}

QTEST_MAIN(TestStartup)
#include "startup_test.moc"
