// The main window's two commands that open the browser window: "Open
// Browser" on the program's own page, and "Fennick Website", which puts the
// browser on the publisher's site in place of the main window.

#include "browser/BrowserModule.h"
#include "shell/MainWindowHost.h"
#include "window/MsgBox.h"
#include "shell/frmMain.h"

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

void frmMain::OpenBrowser_Click()
{
    BrowserWindow *browser = browserWindow(this);
    if (!browser)
        return;
    browser->navigate(QCoreApplication::applicationDirPath() + QStringLiteral("/quillan.htm"));
    browser->setAddressText(QString());
    browser->showModeless();
    browser->focusAddress();
}

// The main window closes on the way (step 11), so after that only the
// browser window is touched.
void frmMain::Fennick_Click()
{
    const ConnectionReading reading = readConnectedOnline();
    if (!reading.online)
        Globals::MsgBox(this, Globals::withReason(QString::fromLatin1(OfflineMessage), reading.cause));

    QPointer<frmMain> self(this);
    setCursor(Qt::WaitCursor);
    BrowserWindow *browser = browserWindow(this);
    if (!browser) {
        unsetCursor();
        return;
    }
    browser->setAddressVisible(true);
    browser->setAddressBar(true);
    browser->setAddressLabelVisible(true);
    browser->setConvertButtonVisible(false);
    browser->navigate(QString::fromLatin1(PublisherEntryPage));
    browser->setAddressText(QString::fromLatin1(PublisherHomeAddress));

    close();

    browser = BrowserModule::ifLoaded();
    if (browser) {
        browser->showModeless();
        browser->setResizable(true);
        browser->widget()->setVisible(true);
    }
    if (self)
        self->unsetCursor();
}
