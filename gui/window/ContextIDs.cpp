#include "gui/window/ContextIDs.h"

#include "gui/window/HtmlHelp.h"

#include <QFileInfo>
#include <QObject>
#include <QVariant>

namespace ContextIDs {

namespace {

// The help file counts only as an ordinary, visible file: a folder, a hidden
// file or anything else with that name does not. Checked on every call, so
// a file added or removed while the program runs is noticed at once.
bool helpFileExists(const QString &helpFile)
{
    if (helpFile.isEmpty())
        return false;
    const QFileInfo info(helpFile);
    return info.exists() && info.isFile() && !info.isHidden();
}

} // namespace

bool ShowHelp(const QString &helpFile, QWidget *ownerWindow, qint32 contextId)
{
    if (!helpFileExists(helpFile))
        return false;
    QWidget *window = contextId != 0 ? HtmlHelp(ownerWindow, helpFile, HH_HELP_CONTEXT, contextId)
                                     : HtmlHelp(ownerWindow, helpFile, HH_DISPLAY_TOPIC, 0);
    return window != nullptr;
}

namespace {
const char *const HelpContextProperty = "HelpContextID";
}

void setHelpContextID(QObject *control, qint32 contextId)
{
    control->setProperty(HelpContextProperty, contextId);
}

qint32 helpContextID(const QObject *control)
{
    return control ? control->property(HelpContextProperty).toInt() : 0;
}

} // namespace ContextIDs
