// Quillan: creates the application and hands over to the start-up routine.
#include "gui/shell/Globals.h"
#include "gui/shell/MainWindowModule.h"
#include "gui/shell/ShutdownSignals.h"
#include "gui/window/App.h"
#include "gui/window/ReturnKey.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    App::Describe();
    ReturnKey::pressFocusedButtons(application);
    ShutdownSignals shutdown;
    Globals::Main();
    const int status = application.exec();
    // Fetched pages and their texts live in a private folder for the run.
    MainWindowModule::end();
    return shutdown.received() ? 128 + shutdown.received() : status;
}
