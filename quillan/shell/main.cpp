// Quillan: creates the application and hands over to the start-up routine.
#include "shell/App.h"
#include "shell/Globals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    App::Describe();
    Globals::Main();
    return application.exec();
}
