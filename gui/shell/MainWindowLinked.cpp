// The main window linked into the program that shows it: the module itself
// and the in-process tests (see MainWindowModule.h).
#include "gui/shell/MainWindowModule.h"

#include "gui/shell/MainWindow.h"
#include "gui/window/FormInstance.h"
#include "gui/window/HelpFile.h"
#include "net/PageRetrieval.h"

namespace MainWindowModule {

bool load(QString *)
{
    return true;
}

void show(const QString &helpFilePath)
{
    Globals::setHelpFilePath(helpFilePath);
    FormInstance<MainWindow>::get().show();
}

void end()
{
    quillan::net::PageRetrieval::RemoveFetchedPagesFolder();
}

} // namespace MainWindowModule
