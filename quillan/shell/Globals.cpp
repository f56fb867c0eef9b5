#include "shell/Globals.h"

#include "shell/App.h"
#include "shell/FormInstance.h"
#include "shell/frmOpen.h"
#include "shell/frmSplash.h"

#include <QCoreApplication>

namespace Globals {

QString HelpFilePath;

const QString &helpFilePath()
{
    if (HelpFilePath.isEmpty())
        HelpFilePath = QCoreApplication::applicationDirPath() + QStringLiteral("/qlnhelp.chm");
    return HelpFilePath;
}

void setHelpFilePath(const QString &path)
{
    HelpFilePath = path;
}

void Main()
{
    frmOpen &loading = FormInstance<frmOpen>::get();
    loading.show();
    loading.setCursor(Qt::WaitCursor);
    // Lets the loading window paint itself if the platform has put it on
    // screen already; no user input is taken here.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    setHelpFilePath(App::Path() + QStringLiteral("/qlnhelp.chm"));

    frmSplash &splash = FormInstance<frmSplash>::get();
    splash.show();

    FormInstance<frmOpen>::unload();

    if (frmSplash *shown = FormInstance<frmSplash>::ifLoaded()) {
        shown->show();
        shown->raise();
        shown->activateWindow();
    }
}

} // namespace Globals

namespace {

// Gives HelpFilePath its value as soon as the application object exists, so
// that code reading the variable directly finds the program's help file even
// before the start-up routine sets it.
void initialiseHelpFilePath()
{
    Globals::helpFilePath();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(initialiseHelpFilePath)
