#pragma once
// Twips (1/1440 inch) to pixels and back, through the screen's logical
// resolution. Window layouts are written in twips; widgets are placed in
// pixels.

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace Twips {

inline constexpr double PerInch = 1440.0;

// Logical dots per inch of the given screen, or of the primary screen; 96
// when there is no screen at all (no application yet).
inline double logicalDpi(const QScreen *screen = nullptr)
{
    if (!screen && qGuiApp)
        screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 0.0;
    return dpi > 0.0 ? dpi : 96.0;
}

inline int toPixels(int twips, const QScreen *screen = nullptr)
{
    return static_cast<int>(std::lround(twips * logicalDpi(screen) / PerInch));
}

inline int fromPixels(int pixels, const QScreen *screen = nullptr)
{
    return static_cast<int>(std::lround(pixels * PerInch / logicalDpi(screen)));
}

// A rectangle given in twips, in pixels.
inline QRect toPixels(int left, int top, int width, int height, const QScreen *screen = nullptr)
{
    return QRect(toPixels(left, screen), toPixels(top, screen), toPixels(width, screen), toPixels(height, screen));
}

// Places a widget at a rectangle given in twips, relative to its parent.
inline void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(toPixels(left, top, width, height, widget->screen()));
}

// Gives a window a client area of the given size in twips.
inline void resizeClient(QWidget *window, int width, int height)
{
    window->resize(toPixels(width, window->screen()), toPixels(height, window->screen()));
}

} // namespace Twips
