#pragma once
// Return (and Enter on the keypad) presses the push button that has the
// keyboard focus, in every window of the program, as it does in a dialog.
// Qt leaves a button outside a dialog, or one that is not auto-default, to
// Space alone; the program's windows are mostly plain windows whose
// buttons are not auto-default.

class QApplication;

namespace ReturnKey {

// Installs the application-wide filter that does it. Call once, right after
// the QApplication is created; the filter lives as long as the application.
void pressFocusedButtons(QApplication &application);

} // namespace ReturnKey
