#include "gui/shell/Globals.h"

#include "gui/shell/LoadingWindow.h"
#include "gui/shell/SplashWindow.h"
#include "gui/window/App.h"
#include "gui/window/FormInstance.h"

#include <QCoreApplication>

namespace Globals {

void Main()
{
    LoadingWindow &loading = FormInstance<LoadingWindow>::get();
    loading.show();
    loading.setCursor(Qt::WaitCursor);
    // Lets the loading window paint itself if the platform has put it on
    // screen already; no user input is taken here.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    setHelpFilePath(App::Path() + QStringLiteral("/qlnhelp.chm"));

    SplashWindow &splash = FormInstance<SplashWindow>::get();
    splash.show();

    FormInstance<LoadingWindow>::unload();

    if (SplashWindow *shown = FormInstance<SplashWindow>::ifLoaded()) {
        shown->show();
        shown->raise();
        shown->activateWindow();
    }
}

} // namespace Globals
