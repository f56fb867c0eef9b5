#include "gui/shell/MainWindowHost.h"

#include "gui/shell/Globals.h"
#include "gui/shell/MainWindow.h"
#include "gui/window/ContextIDs.h"
#include "gui/window/FormInstance.h"

#include <QCoreApplication>

#include <memory>

MainWindowHost &MainWindowHost::instance()
{
    static MainWindowHost host;
    return host;
}

// The user's own road: the address typed in, URL mode chosen, "HTML to
// Text" pressed; the command then runs on from the event loop.
void MainWindowHost::convertAddress(const QString &address, std::function<void()> whenEnded)
{
    MainWindow &main = FormInstance<MainWindow>::get();
    // Once only, and also when the main window goes before its command ends.
    auto ended = std::make_shared<std::function<void()>>(std::move(whenEnded));
    auto runOnce = [ended] {
        if (*ended) {
            const std::function<void()> call = std::move(*ended);
            *ended = nullptr;
            call();
        }
    };
    const QMetaObject::Connection onEnd = QObject::connect(&main, &MainWindow::commandEnded, &main, runOnce);
    const QMetaObject::Connection onGone = QObject::connect(&main, &QObject::destroyed, runOnce);
    QObject::connect(&main, &MainWindow::commandEnded, &main, [onEnd, onGone] {
        QObject::disconnect(onEnd);
        QObject::disconnect(onGone);
    });
    if (!main.convertAddress(address)) {
        QObject::disconnect(onEnd);
        QObject::disconnect(onGone);
        runOnce();
    }
}

void MainWindowHost::showMainWindow()
{
    FormInstance<MainWindow>::get().show();
}

void MainWindowHost::showHelp(qint32 contextId)
{
    ContextIDs::ShowHelp(Globals::HelpFilePath, nullptr, contextId);
}

QString MainWindowHost::programFolder() const
{
    return QCoreApplication::applicationDirPath();
}
