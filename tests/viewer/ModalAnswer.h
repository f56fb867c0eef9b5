#pragma once
// Answering modal dialogs from a test: the answer runs inside the dialog's
// own event loop as soon as a modal widget of the wanted kind is on top.

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

struct ModalAnswer {
    bool answered = false;
    bool timedOut = false;
};

// Waits (polling the event loop) for a modal widget of type T, then calls
// answer(widget). If none shows within timeoutMs, whatever modal widget is
// on top is closed so the test cannot hang, and timedOut is set.
template <class T>
std::shared_ptr<ModalAnswer> answerModal(std::function<void(T *)> answer, int timeoutMs = 10000)
{
    auto state = std::make_shared<ModalAnswer>();
    auto *timer = new QTimer();
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, clock, state, answer, timeoutMs]() {
        if (auto *widget = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            state->answered = true;
            answer(widget);
            return;
        }
        if (clock->elapsed() > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            state->timedOut = true;
            if (QWidget *top = QApplication::activeModalWidget())
                top->close();
        }
    });
    timer->start();
    return state;
}
