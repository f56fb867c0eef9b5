#pragma once
// One instance per window class, created when first touched.
//
// Every window of the program exists at most once. The first access through
// FormInstance<Form>::get() creates it (loaded, not shown); later accesses
// get the same window until it is closed, which unloads it; the next access
// after that creates a fresh one.
//
// Conventions for a Form:
//   - it is a top-level QWidget default-constructible with no arguments;
//   - its constructor is its load: it builds the controls and ends by running
//     its Form_Load handler, so Form_Load has run when get() returns;
//   - closing it (close(), the title-bar close box, or its own Close button)
//     is its unload: its closeEvent runs Form_Unload.
//
// FormInstance sets Qt::WA_DeleteOnClose on the window. Qt clears that
// attribute when it accepts the close and schedules the deletion, so a
// window that has been closed but not yet deleted already counts as
// unloaded here and is never handed out again.

#include <QPointer>
#include <QWidget>

template <class Form>
class FormInstance {
public:
    // The window, loaded now if it is not loaded.
    static Form &get()
    {
        if (!isLoaded()) {
            Form *form = new Form();
            form->setAttribute(Qt::WA_DeleteOnClose);
            form_ = form;
        }
        return *form_;
    }

    // The window if it is loaded, else nullptr. Never loads it.
    static Form *ifLoaded() { return isLoaded() ? form_.data() : nullptr; }

    static bool isLoaded() { return form_ && form_->testAttribute(Qt::WA_DeleteOnClose); }

    // Unloads the window if it is loaded (closes it, running its unload).
    // Returns false when the window refused to close.
    static bool unload()
    {
        Form *form = ifLoaded();
        return form ? form->close() : true;
    }

private:
    static inline QPointer<Form> form_;
};
