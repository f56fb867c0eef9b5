// The main window linked into the program that shows it: the module itself
// and the in-process tests (see MainWindowModule.h).
#include "shell/MainWindowModule.h"

#include "conversion/PageRetrieval.h"
#include "shell/MainWindow.h"
#include "window/FormInstance.h"
#include "window/HelpFile.h"

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
    PageRetrieval::RemoveFetchedPagesFolder();
}

} // namespace MainWindowModule
