#include "gui/window/ReturnKey.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace ReturnKey {

namespace {

// Sees every key before its widget does. A key press goes first to the
// focused widget, so a button is pressed only when it is its window's
// focus widget; an auto-repeated key presses nothing more.
class FocusedButtonPress : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || key->isAutoRepeat())
            return false;
        auto *button = qobject_cast<QPushButton *>(watched);
        if (!button || button->window()->focusWidget() != button || !button->isEnabled() || !button->isVisible())
            return false;
        event->accept();
        button->click();
        return true;
    }
};

} // namespace

void pressFocusedButtons(QApplication &application)
{
    application.installEventFilter(new FocusedButtonPress(&application));
}

} // namespace ReturnKey
