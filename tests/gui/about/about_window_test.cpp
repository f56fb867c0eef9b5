// The About box offscreen: its texts and layout, how it closes, the System
// Info button, the picture, and fresh texts on each opening.
#include "gui/about/AboutBox.h"
#include "gui/about/SysInfo.h"
#include "gui/window/AnimatedPicture.h"
#include "gui/window/FormInstance.h"
#include "gui/window/Twips.h"
#include "support/environment.h"
#include "support/process.h"
#include "support/qt_support.h"

#include "platform/registry/registry.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

// A 1 x 1 picture in GIF format.
const QByteArray TinyGif = QByteArray::fromHex("47494638396101000100800000ffffff00000021f90401000000002c00000000"
                                               "010001000002024401003b");

} // namespace

class TestAboutWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void textsAndLayoutFollowTheTables();
    void escEnterAndTheCloseBoxUnloadIt();
    void systemInfoLeavesItOpen();
    void systemInfoStartsTheRecordedTool();
    void pictureFromTheProgramFolderMissingOneSaysNothing();
    void textsAreRebuiltOnEachOpening();

private:
    // Shows the About box modal, runs `act` inside its loop, and returns
    // whether the box closed by itself within 20 seconds.
    bool showModalAndRun(AboutBox &about, const std::function<void(AboutBox &)> &act);

    std::unique_ptr<testsupport::RegistrySandbox> registry_;
    std::unique_ptr<QTemporaryDir> folder_;
};

void TestAboutWindow::initTestCase()
{
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Quillan"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.04.0002"));
}

void TestAboutWindow::init()
{
    registry_ = std::make_unique<testsupport::RegistrySandbox>();
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    AboutBox::setPictureFolder(folder_->path());
}

void TestAboutWindow::cleanup()
{
    if (AboutBox *about = FormInstance<AboutBox>::ifLoaded())
        QVERIFY(testsupport::closeAndWaitForDeletion(about));
    AboutBox::setPictureFolder(QString());
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Quillan"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.04.0002"));
    folder_.reset();
    registry_.reset();
}

bool TestAboutWindow::showModalAndRun(AboutBox &about, const std::function<void(AboutBox &)> &act)
{
    QPointer<AboutBox> box(&about);
    bool unloaded = false;
    connect(&about, &AboutBox::unloaded, this, [&unloaded] { unloaded = true; });
    QTimer::singleShot(0, this, [box, act]() {
        if (box)
            act(*box);
    });
    about.showModal();
    const bool closedInTime = QTest::qWaitFor([&] { return unloaded || box.isNull(); }, 20000);
    if (!closedInTime && box)
        box->close();
    return closedInTime;
}

void TestAboutWindow::textsAndLayoutFollowTheTables()
{
    AboutBox &about = FormInstance<AboutBox>::get();
    QCOMPARE(about.windowTitle(), QStringLiteral("About Quillan"));
    QCOMPARE(about.lblTitle->text(), QStringLiteral("Quillan"));
    QCOMPARE(about.lblVersion->text(), QStringLiteral("Version 1.4.2 January 9, 2002"));
    QCOMPARE(about.lblDescription->text(), QStringLiteral("Published by Fennick\u2122  http://www.fennick.example"));
    QVERIFY(about.Label1->text().startsWith(QStringLiteral("Copyright \u00a9")));

    // One paragraph: single blanks, two after "treaties." and nowhere else.
    const QString warning = about.lblDisclaimer->text();
    QVERIFY(!warning.contains(QLatin1Char('\n')));
    QCOMPARE(warning.count(QStringLiteral("  ")), 1);
    QVERIFY2(warning.contains(QStringLiteral("international treaties.  ")), qPrintable(warning));
    QVERIFY(!warning.contains(QStringLiteral("   ")));

    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(!(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));

    QCOMPARE(about.windowIcon().availableSizes(), QList<QSize>({QSize(32, 32)}));

    QCOMPARE(about.cmdSysInfo->text(), QStringLiteral("&System Info..."));
    QVERIFY(about.cmdOK->isDefault());
    QCOMPARE(about.cmdOK->nextInFocusChain(), static_cast<QWidget *>(about.cmdSysInfo));
}

void TestAboutWindow::escEnterAndTheCloseBoxUnloadIt()
{
    const std::function<void(AboutBox &)> ways[] = {
        [](AboutBox &about) { QTest::keyClick(&about, Qt::Key_Escape); },
        [](AboutBox &about) { QTest::keyClick(&about, Qt::Key_Return); },
        [](AboutBox &about) { QTest::keyClick(about.cmdOK, Qt::Key_Return); },
        [](AboutBox &about) { QTest::mouseClick(about.cmdOK, Qt::LeftButton); },
        [](AboutBox &about) { about.close(); },
    };
    int way = 0;
    for (const auto &act : ways) {
        AboutBox &about = FormInstance<AboutBox>::get();
        bool wasModal = false;
        const bool closedByItself = showModalAndRun(about, [&](AboutBox &shown) {
            wasModal = shown.isVisible() && QApplication::activeModalWidget() == &shown;
            act(shown);
        });
        QVERIFY2(closedByItself, qPrintable(QString::number(way)));
        QVERIFY(wasModal);
        QVERIFY(!FormInstance<AboutBox>::isLoaded());
        ++way;
    }
}

// With no tool in the registry: the message, and the About box stays open.
// Enter on the focused System Info button presses it, not OK; so does Alt+S.
void TestAboutWindow::systemInfoLeavesItOpen()
{
    AboutBox &about = FormInstance<AboutBox>::get();
    const std::function<void(AboutBox &)> presses[] = {
        [](AboutBox &shown) { QTest::mouseClick(shown.cmdSysInfo, Qt::LeftButton); },
        [](AboutBox &shown) {
            shown.cmdSysInfo->setFocus();
            QTest::keyClick(shown.cmdSysInfo, Qt::Key_Return);
        },
        [](AboutBox &shown) {
            shown.activateWindow();
            if (QTest::qWaitForWindowActive(&shown))
                QTest::keyClick(&shown, Qt::Key_S, Qt::AltModifier);
        },
    };
    QStringList texts;
    QStringList titles;
    QList<bool> stillOpen;
    const bool closedByItself = showModalAndRun(about, [&](AboutBox &shown) {
        QPointer<AboutBox> box(&shown);
        for (const auto &press : presses) {
            auto answer = testsupport::answerModal<QMessageBox>([&](QMessageBox *message) {
                texts << message->text();
                titles << message->windowTitle();
                message->button(QMessageBox::Ok)->click();
            });
            press(shown);
            // A mnemonic clicks its button a moment later.
            const bool settled = QTest::qWaitFor([&answer]() { return answer->answered || answer->timedOut; }, 15000);
            stillOpen << (settled && box && box->isVisible() && answer->answered);
            if (!stillOpen.last()) {
                if (box)
                    box->close();
                return;
            }
        }
        shown.cmdOK->click();
    });
    QVERIFY(closedByItself);
    QCOMPARE(stillOpen, QList<bool>({true, true, true}));
    QCOMPARE(texts, QStringList(3, QStringLiteral("System Information Is Unavailable At This Time")));
    QCOMPARE(titles, QStringList(3, QStringLiteral("Quillan")));
}

void TestAboutWindow::systemInfoStartsTheRecordedTool()
{
    const std::filesystem::path dir = folder_->path().toStdString();
    const auto program = testsupport::writeMarkProgram(dir / "info", dir / "info.mark");
    QCOMPARE(
        platform::RegWriteString(platform::HKEY_LOCAL_MACHINE, SysInfo::ToolKey, SysInfo::ToolValue, program.string()),
        platform::ERROR_SUCCESS);

    AboutBox &about = FormInstance<AboutBox>::get();
    bool openAfter = false;
    QWidget *modalAfter = nullptr;
    const bool closedByItself = showModalAndRun(about, [&](AboutBox &shown) {
        shown.cmdSysInfo->click();
        openAfter = shown.isVisible();
        modalAfter = QApplication::activeModalWidget();
        shown.cmdOK->click();
    });
    QVERIFY(closedByItself);
    QVERIFY(openAfter);
    QCOMPARE(modalAfter, static_cast<QWidget *>(&about)); // no message box came up
    QVERIFY(testsupport::waitForFile(dir / "info.mark"));
}

void TestAboutWindow::pictureFromTheProgramFolderMissingOneSaysNothing()
{
    const QString expected = folder_->filePath(QStringLiteral("spider14.gif"));
    {
        AboutBox &about = FormInstance<AboutBox>::get();
        QCOMPARE(about.DXAnimatedGIF1->PictureFile(), expected);
        QVERIFY(!about.DXAnimatedGIF1->hasPicture());
        QWidget *modal = nullptr;
        QVERIFY(showModalAndRun(about, [&](AboutBox &shown) {
            modal = QApplication::activeModalWidget();
            shown.cmdOK->click();
        }));
        QCOMPARE(modal, static_cast<QWidget *>(&about)); // no message over it
    }
    testsupport::writeFile(expected, TinyGif);
    AboutBox &about = FormInstance<AboutBox>::get();
    QVERIFY(about.DXAnimatedGIF1->hasPicture());
}

void TestAboutWindow::textsAreRebuiltOnEachOpening()
{
    AboutBox &first = FormInstance<AboutBox>::get();
    first.lblDisclaimer->setText(QStringLiteral("changed"));
    first.lblTitle->setText(QStringLiteral("changed"));
    QVERIFY(testsupport::closeAndWaitForDeletion(&first));

    QCoreApplication::setApplicationVersion(QStringLiteral("2.10.07"));
    AboutBox &second = FormInstance<AboutBox>::get();
    QCOMPARE(second.windowTitle(), QStringLiteral("About Quillan"));
    QCOMPARE(second.lblTitle->text(), QStringLiteral("Quillan"));
    QCOMPARE(second.lblVersion->text(), QStringLiteral("Version 2.10.7 January 9, 2002"));
    QVERIFY(second.lblDisclaimer->text().contains(QStringLiteral("international treaties.  ")));
}

QTEST_MAIN(TestAboutWindow)
#include "about_window_test.moc"
