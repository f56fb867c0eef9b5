#pragma once
// The program's message box: the given text, one OK button, no icon and the
// program's title. Returns when the user has closed it.

#include <QString>

class QWidget;

namespace Globals {

void MsgBox(QWidget *parent, const QString &text);

// The fixed text, and below it on a line of its own the reason when one
// is known.
QString withReason(const QString &text, const QString &reason);

} // namespace Globals
