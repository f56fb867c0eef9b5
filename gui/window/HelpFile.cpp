#include "gui/window/HelpFile.h"

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
