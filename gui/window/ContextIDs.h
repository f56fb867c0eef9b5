#pragma once

// The program's one help routine. Every help request (the main window's
// "Display Help" and F1, the viewer's and the browser's Help buttons) goes
// through ShowHelp with the program-wide help file path.

#include <QString>
#include <QtGlobal>

class QObject;
class QWidget;

namespace ContextIDs {

// Opens the help file `helpFile` at its default topic (contextId 0) or at
// the topic it maps to `contextId`. The help window is owned by
// `ownerWindow` when one is given (nullptr for none) and never blocks.
// Returns true when the help viewer opened; false when the file is not an
// ordinary, visible file or the viewer could not show the topic.
bool ShowHelp(const QString &helpFile, QWidget *ownerWindow, qint32 contextId);

// The help context id a control, menu or menu item carries (its
// HelpContextID); 0 when none was given.
void setHelpContextID(QObject *control, qint32 contextId);
qint32 helpContextID(const QObject *control);

} // namespace ContextIDs
