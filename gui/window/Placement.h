#pragma once
// Where a window first appears, and that it stays within its screen.

#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace Placement {

inline QScreen *screenOf(const QWidget &window)
{
    return window.screen() ? window.screen() : QGuiApplication::primaryScreen();
}

// Puts a top-level window in the middle of its screen's free area.
inline void centreOnScreen(QWidget &window)
{
    QScreen *screen = screenOf(window);
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    window.move(free.center() - QPoint(window.width() / 2, window.height() / 2));
}

// Makes a top-level window no larger than its screen's free area, its frame
// included as far as the frame is known yet, and moves it back within that
// area where it reaches past an edge.
inline void fitOnScreen(QWidget &window)
{
    QScreen *screen = screenOf(window);
    if (!screen || window.isMinimized() || window.isMaximized() || window.isFullScreen())
        return;
    const QRect free = screen->availableGeometry();
    const QSize frameExtra = window.frameGeometry().size() - window.size();
    const QSize most = (free.size() - frameExtra).expandedTo(QSize(1, 1));
    const QSize client = window.size().boundedTo(most);
    if (client != window.size())
        window.resize(client);
    const QRect frame(window.frameGeometry().topLeft(), window.size() + frameExtra);
    const int x =
        std::clamp(frame.left(), free.left(), std::max(free.left(), free.left() + free.width() - frame.width()));
    const int y =
        std::clamp(frame.top(), free.top(), std::max(free.top(), free.top() + free.height() - frame.height()));
    if (x != frame.left() || y != frame.top())
        window.move(x, y);
}

// Fits the window to its screen whenever it is shown, and once more when
// the window manager has framed it (the frame's size is known only then).
class ScreenFit : public QObject {
public:
    explicit ScreenFit(QWidget &window) : QObject(&window), window_(window) { window.installEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != &window_)
            return false;
        switch (event->type()) {
        case QEvent::Show:
            framed_ = false;
            fitOnScreen(window_);
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (!framed_ && window_.isVisible() && window_.frameGeometry().size() != window_.size()) {
                framed_ = true;
                fitOnScreen(window_);
            }
            break;
        default: break;
        }
        return false;
    }

private:
    QWidget &window_;
    bool framed_ = false;
};

// Keeps a top-level window within the screen it opens on (ScreenFit).
inline void keepOnScreen(QWidget &window)
{
    new ScreenFit(window);
}

} // namespace Placement
