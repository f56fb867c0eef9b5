// The tests' modal answers: each dialog goes to the answer that waits for
// it, in the order the answers were set up, nested dialogs included, and a
// watch never takes a dialog an answer waits for.

#include "support/qt_support.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// Runs a message box with one OK button and this text, modal.
int showBox(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("test"), text, QMessageBox::Ok);
    return box.exec();
}

} // namespace

class TestModalAnswers : public QObject {
    Q_OBJECT
private slots:
    void answersComeInTheOrderTheyWereSetUp();
    void nestedDialogsAreAnsweredInOrder();
    void aWatchNeverTakesAnAnsweredDialog();
    void anAnswerSetUpWhileItsDialogIsOpenStillGetsIt();
};

void TestModalAnswers::answersComeInTheOrderTheyWereSetUp()
{
    for (int round = 0; round < 20; ++round) {
        QStringList order;
        auto first = testsupport::answerModal<QMessageBox>([&](QMessageBox *box) {
            order << QStringLiteral("first:") + box->text();
            box->accept();
        });
        auto second = testsupport::answerModal<QMessageBox>([&](QMessageBox *box) {
            order << QStringLiteral("second:") + box->text();
            box->accept();
        });
        showBox(QStringLiteral("a"));
        showBox(QStringLiteral("b"));
        QVERIFY(first->answered && second->answered);
        QCOMPARE(order, (QStringList{"first:a", "second:b"}));
    }
}

void TestModalAnswers::nestedDialogsAreAnsweredInOrder()
{
    for (int round = 0; round < 20; ++round) {
        QStringList order;
        std::shared_ptr<testsupport::ModalAnswer> inner;
        auto outer = testsupport::answerModal<QMessageBox>([&](QMessageBox *box) {
            order << box->text();
            inner = testsupport::answerModal<QMessageBox>([&](QMessageBox *nested) {
                order << nested->text();
                nested->accept();
            });
            showBox(QStringLiteral("inner")); // from inside the outer box's loop
            order << QStringLiteral("back");
            box->accept();
        });
        showBox(QStringLiteral("outer"));
        QVERIFY(outer->answered);
        QVERIFY(inner && inner->answered);
        QCOMPARE(order, (QStringList{"outer", "inner", "back"}));
    }
}

void TestModalAnswers::aWatchNeverTakesAnAnsweredDialog()
{
    // The watch closes whatever it is handed; the answer must get the box
    // all the same, every time, though the watch was there first.
    for (int round = 0; round < 20; ++round) {
        int handedToWatch = 0;
        const testsupport::ModalWatch watch([&](QWidget *) {
            ++handedToWatch;
            return false;
        });
        QString answered;
        auto answer = testsupport::answerModal<QMessageBox>([&](QMessageBox *box) {
            answered = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        showBox(QStringLiteral("for the answer"));
        QVERIFY(answer->answered);
        QCOMPARE(answered, QStringLiteral("for the answer"));
        QCOMPARE(handedToWatch, 0);
        // One that no answer wants goes to the watch, which closes it.
        showBox(QStringLiteral("for the watch"));
        QCOMPARE(handedToWatch, 1);
    }
}

void TestModalAnswers::anAnswerSetUpWhileItsDialogIsOpenStillGetsIt()
{
    std::shared_ptr<testsupport::ModalAnswer> late;
    QTimer::singleShot(0, this,
                       [&] { late = testsupport::answerModal<QMessageBox>([](QMessageBox *box) { box->accept(); }); });
    showBox(QStringLiteral("open before its answer"));
    QVERIFY(late && late->answered);
    QVERIFY(!late->timedOut);
}

QTEST_MAIN(TestModalAnswers)
#include "modal_answers_test.moc"
