#include "browser/MainWindowHost.h"

#include "shell/ContextIDs.h"
#include "shell/FormInstance.h"
#include "shell/Globals.h"
#include "shell/frmMain.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>

MainWindowHost &MainWindowHost::instance()
{
    static MainWindowHost host;
    return host;
}

// The user's own road: the address typed in, URL mode clicked, "HTML to
// Text" pressed. The button's handler runs the whole command, the modal
// viewer included, before click() returns.
void MainWindowHost::convertAddress(const QString &address)
{
    QPointer<frmMain> main = &FormInstance<frmMain>::get();
    main->txtURL->setText(address);
    main->show();
    if (main)
        main->optURL->click();
    if (main)
        main->btnHTMLtoText->click();
}

void MainWindowHost::showMainWindow()
{
    FormInstance<frmMain>::get().show();
}

void MainWindowHost::showHelp(qint32 contextId)
{
    ContextIDs::ShowHelp(Globals::HelpFilePath, nullptr, contextId);
}

QString MainWindowHost::programFolder() const
{
    return QCoreApplication::applicationDirPath();
}
