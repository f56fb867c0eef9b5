// The main window's two commands that open the browser window: "Open
// Browser" on the program's own page, and "Fennick Website", which puts the
// browser on the publisher's site in place of the main window.

#include "gui/browser/BrowserModule.h"
#include "gui/shell/MainWindow.h"
#include "gui/shell/MainWindowHost.h"
#include "gui/window/MsgBox.h"

#include <QCoreApplication>
#include <QPointer>
#include <QWidget>

namespace {

// The publisher's site: the page the browser opens, and the shorter home
// address shown in the address box.
const char *const PublisherEntryPage = "http://www.fennick.example/quillan/";
const char *const PublisherHomeAddress = "http://www.fennick.example";

const char *const OfflineMessage =
    "Quillan did not detect an active Internet connection.  Please make sure you are connected before continuing.";

// The browser window, loaded when it is not. When the module that holds it
// cannot be loaded the user is told why, and nullptr comes back.
BrowserWindow *browserWindow(QWidget *owner)
{
    if (BrowserWindow *browser = BrowserModule::window(MainWindowHost::instance()))
        return browser;
    Globals::MsgBox(
        owner, Globals::withReason(QStringLiteral("The browser could not be started."), BrowserModule::loadError()));
    return nullptr;
}

} // namespace

void MainWindow::OpenBrowser_Click()
{
    BrowserWindow *browser = browserWindow(this);
    if (!browser)
        return;
    browser->openStartPage(QCoreApplication::applicationDirPath() + QStringLiteral("/quillan.htm"));
}

// The main window closes on the way (step 11), so after that only the
// browser window is touched.
void MainWindow::Fennick_Click()
{
    const QPointer<MainWindow> self(this);
    const ConnectionReading reading = readConnectedOnline();
    if (!reading.online)
        Globals::MsgBox(this, Globals::withReason(QString::fromLatin1(OfflineMessage), reading.cause));
    if (!self)
        return; // the window went while the message was open
    setCursor(Qt::WaitCursor);
    BrowserWindow *browser = browserWindow(this);
    if (!browser) {
        unsetCursor();
        return;
    }
    browser->openPublisherSite(QString::fromLatin1(PublisherEntryPage), QString::fromLatin1(PublisherHomeAddress));

    close();

    if ((browser = BrowserModule::ifLoaded()))
        browser->showModeless();
    if (self)
        self->unsetCursor();
}
