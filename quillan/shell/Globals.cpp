#include "shell/Globals.h"

#include "window/App.h"
#include "window/FormInstance.h"
#include "shell/frmOpen.h"
#include "shell/frmSplash.h"

#include <QCoreApplication>

namespace Globals {

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
