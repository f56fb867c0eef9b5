#pragma once
// Helpers for windowed tests: files by QString path, answering the next
// modal dialog from inside its own event loop, and waiting for a window's
// deferred deletion.
#include <QApplication>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace testsupport {

// Writes `bytes` as the whole file and returns its path; stops the test
// program when it cannot.
QString writeFile(const QString &path, const QByteArray &bytes);

// The whole file, or nothing when it cannot be read.
QByteArray readFile(const QString &path);

struct ModalAnswer {
    bool answered = false;
    bool timedOut = false;
    // Set by the test to stop waiting: a watch for a dialog that must not
    // show is ended this way once the step that could show it is over.
    bool cancelled = false;
};

// How modal widgets are answered, without polling and without a window of
// time: every window that shows or hides (seen by an event filter on the
// application) starts a zero-interval timer, and when that timer fires (on
// the next turn of whatever event loop runs, the modal widget's own once it
// has entered it) the modal widget actually on top, QApplication::
// activeModalWidget(), is handed to the first waiting answer that wants it,
// in the order the answers were set up; else to the newest ModalWatch. A
// widget is handed over once per showing. Nested dialogs are therefore
// answered in order: an answer that sets up the next one before it presses
// the button that opens it gets exactly that dialog.

// Waits for a modal widget that `wanted` accepts and calls answer(widget)
// once, inside that widget's event loop. If none has been answered within
// timeoutMs, whatever modal widget is on top is closed so the test cannot
// hang, and timedOut is set.
std::shared_ptr<ModalAnswer> answerModalWidget(std::function<bool(QWidget *)> wanted,
                                               std::function<void(QWidget *)> answer, int timeoutMs);

// The same for the first modal widget of type T.
template <class T>
std::shared_ptr<ModalAnswer> answerModal(std::function<void(T *)> answer, int timeoutMs = 10000)
{
    return answerModalWidget([](QWidget *widget) { return qobject_cast<T *>(widget) != nullptr; },
                             [answer](QWidget *widget) { answer(static_cast<T *>(widget)); }, timeoutMs);
}

// While it lives, hands every modal widget that comes on top and that no
// waiting answerModal wants to `answer`, from inside that widget's own event
// loop. A widget the answer does not take (it returns false) is closed, so
// that no step of a test can hang on a dialog nobody expected.
class ModalWatch {
public:
    explicit ModalWatch(std::function<bool(QWidget *)> answer);
    ~ModalWatch();
    ModalWatch(const ModalWatch &) = delete;
    ModalWatch &operator=(const ModalWatch &) = delete;

private:
    int id_;
};

// For a ModalWatch's answer: when `widget` is a message box, notes its text
// in `texts`, answers it with OK and returns true.
bool acceptMessageBox(QWidget *widget, QStringList &texts);

// Closes the window and waits until its deferred deletion has run; false if
// it is still alive after timeoutMs.
bool closeAndWaitForDeletion(QWidget *window, int timeoutMs = 5000);

} // namespace testsupport
