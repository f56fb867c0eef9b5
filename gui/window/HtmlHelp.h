#pragma once

// Stand-in for the platform's HTML Help entry point: opens a compiled help
// file (.chm) in the program's help window.

#include <QString>
#include <QtGlobal>

class QWidget;

// Commands of HtmlHelp.
inline constexpr quint32 HH_DISPLAY_TOPIC = 0x0000; // data 0: the default topic
inline constexpr quint32 HH_HELP_CONTEXT = 0x000F;  // data: a context id

// Shows `helpFile` in the help window. `command` is HH_DISPLAY_TOPIC (data 0,
// the file's default topic) or HH_HELP_CONTEXT (data: the context id). The
// window is owned by `owner` when given. Returns the help window, or nullptr
// when the file cannot be read or the topic cannot be shown.
QWidget *HtmlHelp(QWidget *owner, const QString &helpFile, quint32 command, qint32 data);
