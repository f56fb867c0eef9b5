#include "support/qt_support.h"

#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

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

namespace {

// The one dispatcher of the process's modal answers (see the header).
class ModalDispatcher : public QObject {
public:
    static ModalDispatcher &instance()
    {
        static ModalDispatcher *dispatcher = new ModalDispatcher(); // lives as long as the application
        return *dispatcher;
    }

    void expect(std::shared_ptr<ModalAnswer> state, std::function<bool(QWidget *)> wanted,
                std::function<void(QWidget *)> answer, int timeoutMs)
    {
        auto *deadline = new QTimer(this);
        deadline->setSingleShot(true);
        Expectation expectation{std::move(state), std::move(wanted), std::move(answer), deadline};
        const std::weak_ptr<ModalAnswer> watched = expectation.state;
        connect(deadline, &QTimer::timeout, this, [this, watched] { expire(watched); });
        expectations_.push_back(std::move(expectation));
        deadline->start(timeoutMs);
        recheck_.start(); // the widget may be on top already
    }

    int addWatch(std::function<bool(QWidget *)> answer)
    {
        watches_.push_back({++lastWatch_, std::move(answer)});
        recheck_.start();
        return lastWatch_;
    }

    void removeWatch(int id)
    {
        watches_.erase(std::remove_if(watches_.begin(), watches_.end(), [id](const Watch &w) { return w.id == id; }),
                       watches_.end());
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && object->isWidgetType() &&
            static_cast<QWidget *>(object)->isWindow()) {
            if (event->type() == QEvent::Show)
                handed_.removeAll(static_cast<QWidget *>(object)); // shown afresh: handed over afresh
            recheck_.start();
        }
        return false;
    }

private:
    struct Expectation {
        std::shared_ptr<ModalAnswer> state;
        std::function<bool(QWidget *)> wanted;
        std::function<void(QWidget *)> answer;
        QTimer *deadline;
    };
    struct Watch {
        int id;
        std::function<bool(QWidget *)> answer;
    };

    ModalDispatcher()
    {
        // A timer event, not a posted call: it is delivered only by an event
        // loop's turn, never from inside show() itself.
        recheck_.setSingleShot(true);
        recheck_.setInterval(0);
        connect(&recheck_, &QTimer::timeout, this, &ModalDispatcher::answerTop);
        qApp->installEventFilter(this);
    }

    void dropCancelled()
    {
        for (auto it = expectations_.begin(); it != expectations_.end();) {
            if (it->state->cancelled) {
                it->deadline->deleteLater();
                it = expectations_.erase(it);
            } else {
                ++it;
            }
        }
    }

    void answerTop()
    {
        dropCancelled();
        QWidget *top = QApplication::activeModalWidget();
        if (!top || !top->isVisible())
            return;
        for (const QPointer<QWidget> &handed : std::as_const(handed_)) {
            if (handed == top)
                return;
        }
        handed_.erase(std::remove_if(handed_.begin(), handed_.end(), [](const QPointer<QWidget> &w) { return !w; }),
                      handed_.end());
        for (auto it = expectations_.begin(); it != expectations_.end(); ++it) {
            if (!it->wanted(top))
                continue;
            const Expectation taken = *it;
            expectations_.erase(it);
            taken.deadline->deleteLater();
            handed_.push_back(top);
            taken.state->answered = true;
            // The answer may run a nested event loop; nothing of this call
            // is used after it.
            taken.answer(top);
            return;
        }
        if (watches_.empty())
            return; // an answer set up later may want it
        const std::function<bool(QWidget *)> answer = watches_.back().answer;
        handed_.push_back(top);
        QPointer<QWidget> widget(top);
        if (!answer(top) && widget)
            widget->close();
    }

    void expire(const std::weak_ptr<ModalAnswer> &watched)
    {
        const std::shared_ptr<ModalAnswer> state = watched.lock();
        for (auto it = expectations_.begin(); it != expectations_.end(); ++it) {
            if (it->state != state)
                continue;
            it->deadline->deleteLater();
            expectations_.erase(it);
            if (!state->cancelled) {
                state->timedOut = true;
                if (QWidget *top = QApplication::activeModalWidget())
                    top->close();
            }
            return;
        }
    }

    QTimer recheck_;
    std::vector<Expectation> expectations_;
    std::vector<Watch> watches_;
    QList<QPointer<QWidget>> handed_;
    int lastWatch_ = 0;
};

} // namespace

std::shared_ptr<ModalAnswer> answerModalWidget(std::function<bool(QWidget *)> wanted,
                                               std::function<void(QWidget *)> answer, int timeoutMs)
{
    auto state = std::make_shared<ModalAnswer>();
    ModalDispatcher::instance().expect(state, std::move(wanted), std::move(answer), timeoutMs);
    return state;
}

ModalWatch::ModalWatch(std::function<bool(QWidget *)> answer)
    : id_(ModalDispatcher::instance().addWatch(std::move(answer)))
{}

ModalWatch::~ModalWatch()
{
    ModalDispatcher::instance().removeWatch(id_);
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
