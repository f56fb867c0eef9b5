#pragma once
// ConvertHtmlFile of the global module: converts one HTML file and hands its
// text to the viewer window.

#include "conversion/converter.h"

#include <QString>

namespace Globals {

// Converts the HTML file at htmlPath into its text file (the text path rule
// of quillan::textPathFor) and loads that text into the viewer frmView
// (loading the window, not showing it, when it is not loaded yet).
//
// While it runs, the application-wide mouse pointer is the busy pointer; it
// goes back to the default when the call ends, also when it fails. After the
// text is in the viewer, pending user-interface events are processed once.
//
// Returns the path of the text file. Failures are thrown as
// quillan::ConversionError, whose path() names the file concerned and
// reason() the system's reason: the HTML file cannot be read, the text file
// cannot be written, or the viewer cannot read the text file. After a
// failure the viewer has not been handed a new text.
QString ConvertHtmlFile(const QString &htmlPath);

} // namespace Globals
