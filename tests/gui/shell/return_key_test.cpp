// Return, and Enter on the keypad, press the focused push button in every
// window (gui/window/ReturnKey.h): in the main window and the viewer, plain
// windows whose buttons take only Space by themselves, and in a dialog,
// where the focused button is pressed rather than the default one, and
// never twice. A key with a modifier, or one held down, presses nothing.

#include "gui/shell/MainWindow.h"
#include "gui/viewer/ViewerWindow.h"
#include "gui/window/FormInstance.h"
#include "gui/window/ReturnKey.h"
#include "support/qt_support.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

// Shows the button's window, makes it the active one and puts the focus on
// the button.
bool focusButton(QPushButton *button)
{
    QWidget *window = button->window();
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        return false;
    button->setFocus();
    return QTest::qWaitFor([button] { return button->hasFocus(); }, 5000);
}

} // namespace

class TestReturnKey : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();

    void returnPressesTheFocusedButtonOfAWindow();
    void returnInADialogPressesTheFocusedButtonOnce();
};

void TestReturnKey::initTestCase()
{
    ReturnKey::pressFocusedButtons(*qApp);
}

void TestReturnKey::cleanup()
{
    QVERIFY(testsupport::closeAndWaitForDeletion(FormInstance<ViewerWindow>::ifLoaded()));
    QVERIFY(testsupport::closeAndWaitForDeletion(FormInstance<MainWindow>::ifLoaded()));
}

void TestReturnKey::returnPressesTheFocusedButtonOfAWindow()
{
    // "HTML to Text" with the bare address: its message tells it was pressed.
    MainWindow &main = FormInstance<MainWindow>::get();
    QVERIFY(focusButton(main.btnHTMLtoText));
    QStringList messages;
    {
        const testsupport::ModalWatch watch(
            [&messages](QWidget *top) { return testsupport::acceptMessageBox(top, messages); });
        QTest::keyClick(main.btnHTMLtoText, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(main.commandRunning(), false, 10000);
    }
    QCOMPARE(messages, QStringList{QStringLiteral("please enter complete URL")});

    // The viewer's ">>", by either key; not with Shift, Ctrl or Alt held,
    // and not again while the key repeats.
    ViewerWindow &view = FormInstance<ViewerWindow>::get();
    QVERIFY(focusButton(view.btnLarger));
    QSignalSpy pressed(view.btnLarger, &QPushButton::clicked);
    QTest::keyClick(view.btnLarger, Qt::Key_Return);
    QTest::keyClick(view.btnLarger, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(pressed.count(), 2);
    for (const Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier})
        QTest::keyClick(view.btnLarger, Qt::Key_Return, held);
    QTest::sendKeyEvent(QTest::KeyAction::Press, view.btnLarger, Qt::Key_Return, '\r', Qt::NoModifier);
    QKeyEvent repeated(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"), true);
    QApplication::sendEvent(view.btnLarger, &repeated);
    QTest::sendKeyEvent(QTest::KeyAction::Release, view.btnLarger, Qt::Key_Return, '\r', Qt::NoModifier);
    QCOMPARE(pressed.count(), 3);
}

void TestReturnKey::returnInADialogPressesTheFocusedButtonOnce()
{
    QDialog dialog;
    auto *ok = new QPushButton(QStringLiteral("OK"), &dialog);
    auto *other = new QPushButton(QStringLiteral("Other"), &dialog);
    auto *plain = new QPushButton(QStringLiteral("Plain"), &dialog);
    plain->setAutoDefault(false);
    ok->setDefault(true);
    auto *row = new QHBoxLayout(&dialog);
    for (QPushButton *button : {ok, other, plain})
        row->addWidget(button);
    QSignalSpy okPressed(ok, &QPushButton::clicked);
    QSignalSpy otherPressed(other, &QPushButton::clicked);
    QSignalSpy plainPressed(plain, &QPushButton::clicked);

    // An auto-default button, which takes Return by itself too, once.
    QVERIFY(focusButton(other));
    QTest::keyClick(other, Qt::Key_Return);
    QCOMPARE(otherPressed.count(), 1);
    // One that is not: itself, not the dialog's default button.
    QVERIFY(focusButton(plain));
    QTest::keyClick(plain, Qt::Key_Return);
    QCOMPARE(plainPressed.count(), 1);
    QCOMPARE(okPressed.count(), 0);
    QCOMPARE(otherPressed.count(), 1);
}

QTEST_MAIN(TestReturnKey)
#include "return_key_test.moc"
