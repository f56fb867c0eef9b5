#pragma once
// Ending the program cleanly when the system asks it to (SIGTERM at logout
// or shutdown, SIGHUP when its terminal goes): the signal is turned into an
// event on the user-interface thread, where every window is closed as if
// the user had closed it (the viewer removes its text, the main window
// cancels a running conversion and its files go), and the event loop is
// left. The program then removes its private folder as on any other end.
//
// How the program uses it:
//   ShutdownSignals shutdown;        // after the QApplication, before exec()
//   const int status = app.exec();
//   ... remove the private folder ...
//   return shutdown.received() ? 128 + shutdown.received() : status;

#include <QObject>

class QSocketNotifier;

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    // Catches SIGTERM and SIGHUP for the life of the object (one at a time
    // in the process); the earlier handlers come back when it goes.
    explicit ShutdownSignals(QObject *parent = nullptr);
    ~ShutdownSignals() override;

    // The signal that ended the run, or 0.
    int received() const { return received_; }

signals:
    // Emitted on the user-interface thread before the windows are closed.
    void shuttingDown(int signal);

private:
    void onSignal();

    QSocketNotifier *notifier_ = nullptr;
    int received_ = 0;
};
