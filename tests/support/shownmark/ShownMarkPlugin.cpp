// A Qt generic plugin that tells a watching process when each top-level
// window of the program it is loaded into has first been put on screen and
// painted. Loaded by any Qt GUI program through the environment, so the
// program itself needs no hook:
//
//   QT_PLUGIN_PATH=<folder holding generic/>  QT_QPA_GENERIC_PLUGINS=shownmark
//   QUILLAN_SHOWN_MARK_FD=<file descriptor open for writing>
//
// For each top-level window, once, it writes one line to that descriptor:
// "<CLOCK_MONOTONIC nanoseconds> <window object name>\n". For a widget the
// window's object name is the widget's followed by "Window". The line is
// written after the window's first expose event has been handled, which for
// widgets includes painting and flushing the window's contents.

#include <QGenericPlugin>
#include <QGuiApplication>
#include <QWindow>

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

class ShownMark : public QObject {
public:
    explicit ShownMark(int fd) : fd_(fd) {}

    bool eventFilter(QObject *object, QEvent *event) override
    {
        if (event->type() != QEvent::Expose || !object->isWindowType())
            return false;
        auto *window = static_cast<QWindow *>(object);
        if (!window->isTopLevel() || window->property(Marked).toBool())
            return false;
        // Handle the event now, so that the mark follows the painting.
        object->event(event);
        if (window->isExposed()) {
            window->setProperty(Marked, true);
            writeMark(window->objectName());
        }
        return true;
    }

private:
    static constexpr const char *Marked = "_quillan_shown_mark";

    void writeMark(const QString &name) const
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
        char line[512];
        const int n = std::snprintf(line, sizeof line, "%lld %s\n", ns, name.toUtf8().constData());
        if (n <= 0)
            return;
        const size_t length = static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n) : sizeof line - 1;
        if (::write(fd_, line, length) < 0)
            return; // the watcher has gone; nothing to tell
    }

    int fd_;
};

} // namespace

class ShownMarkPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "shownmark.json")
public:
    QObject *create(const QString &, const QString &) override
    {
        bool ok = false;
        const int fd = qEnvironmentVariableIntValue("QUILLAN_SHOWN_MARK_FD", &ok);
        if (!ok || fd < 0 || !QCoreApplication::instance())
            return nullptr;
        auto *mark = new ShownMark(fd);
        QCoreApplication::instance()->installEventFilter(mark);
        return mark;
    }
};

#include "ShownMarkPlugin.moc"
