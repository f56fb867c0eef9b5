// Quillan: creates the application and hands over to the start-up routine.
#include "conversion/PageRetrieval.h"
#include "shell/App.h"
#include "shell/Globals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    App::Describe();
    Globals::Main();
    const int status = application.exec();
    // Fetched pages live in a private folder for the run; it goes when no
    // text the user kept is left in it.
    PageRetrieval::RemoveFetchedPagesFolder();
    return status;
}
