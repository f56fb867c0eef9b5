#include "shell/frmMain.h"

#include <QCloseEvent>

frmMain::frmMain(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Quillan"));
    Form_Load();
}

frmMain::~frmMain() = default;

frmMain::ConnectionReading frmMain::readConnectedOnline() { return {}; }

void frmMain::Form_Load() {}
void frmMain::Form_Unload() {}
void frmMain::showAbout_Click() {}
void frmMain::Contents_Click() {}
void frmMain::Quit_Click() { close(); }
void frmMain::btnQuit_Click() { close(); }
void frmMain::optURL_Click() {}
void frmMain::optGetFile_Click() {}
void frmMain::btnHTMLtoText_Click() {}

void frmMain::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
    emit unloaded();
}
