#pragma once
// Where a window first appears.

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace Placement {

// Puts a top-level window in the middle of its screen's free area.
inline void centreOnScreen(QWidget &window)
{
    QScreen *screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    window.move(free.center() - QPoint(window.width() / 2, window.height() / 2));
}

} // namespace Placement
