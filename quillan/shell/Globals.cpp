#include "shell/Globals.h"

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
