#include "support/qt_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

namespace testsupport {

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::shared_ptr<ModalAnswer> answerModalWidget(std::function<bool(QWidget *)> wanted,
                                               std::function<void(QWidget *)> answer, int timeoutMs)
{
    auto state = std::make_shared<ModalAnswer>();
    auto *timer = new QTimer();
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, state, wanted, answer, timeoutMs]() {
        if (state->cancelled) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        QWidget *top = QApplication::activeModalWidget();
        const bool found = top && wanted(top);
        if (!found && clock->elapsed() <= timeoutMs)
            return;
        // Stopped before answering: the answer may open a nested event loop.
        timer->stop();
        timer->deleteLater();
        state->answered = found;
        state->timedOut = !found;
        if (found)
            answer(top);
        else if (top)
            top->close();
    });
    timer->start();
    return state;
}

ModalWatch::ModalWatch(std::function<bool(QWidget *)> answer)
{
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [answer = std::move(answer)]() {
        QWidget *top = QApplication::activeModalWidget();
        if (top && !answer(top))
            top->close();
    });
    timer_.start();
}

bool acceptMessageBox(QWidget *widget, QStringList &texts)
{
    auto *box = qobject_cast<QMessageBox *>(widget);
    if (!box)
        return false;
    texts << box->text();
    box->accept();
    return true;
}

bool closeAndWaitForDeletion(QWidget *window, int timeoutMs)
{
    QPointer<QWidget> watched(window);
    if (watched)
        watched->close();
    return QTest::qWaitFor([&watched] { return watched.isNull(); }, timeoutMs);
}

} // namespace testsupport
