#include "gui/shell/ShutdownSignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

// The write end of the pipe the handler reports through; -1 when none.
volatile sig_atomic_t signalPipeWrite = -1;
int signalPipeRead = -1;
struct sigaction previousTerm {};
struct sigaction previousHup {};

extern "C" void onShutdownSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (signalPipeWrite >= 0) [[maybe_unused]]
        const ssize_t written = ::write(signalPipeWrite, &number, 1);
    errno = saved;
}

} // namespace

ShutdownSignals::ShutdownSignals(QObject *parent) : QObject(parent)
{
    int fds[2];
    if (signalPipeWrite >= 0 || ::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    signalPipeRead = fds[0];
    signalPipeWrite = fds[1];
    notifier_ = new QSocketNotifier(signalPipeRead, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &ShutdownSignals::onSignal);

    struct sigaction action {};
    action.sa_handler = onShutdownSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &previousTerm);
    ::sigaction(SIGHUP, &action, &previousHup);
}

ShutdownSignals::~ShutdownSignals()
{
    if (!notifier_)
        return;
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGHUP, &previousHup, nullptr);
    const int writeEnd = signalPipeWrite;
    signalPipeWrite = -1;
    ::close(writeEnd);
    delete notifier_;
    ::close(signalPipeRead);
    signalPipeRead = -1;
}

void ShutdownSignals::onSignal()
{
    unsigned char number = 0;
    while (::read(signalPipeRead, &number, 1) == 1) {
        if (!received_)
            received_ = number;
    }
    if (!received_)
        return;
    emit shuttingDown(received_);
    // Closing the windows runs their own unloading: the viewer removes its
    // text, the main window cancels its conversion. Modal windows first, so
    // that nothing is left waiting for one of them.
    while (QWidget *modal = QApplication::activeModalWidget()) {
        if (!modal->close() || QApplication::activeModalWidget() == modal)
            break;
    }
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}
