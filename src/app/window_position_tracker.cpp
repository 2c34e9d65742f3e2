#include "window_position_tracker.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

namespace {
// Where some platforms park minimised windows; never a position to come back to.
constexpr int kParkedCoordinate = -32000;
} // namespace

bool platformReportsWindowPosition() { return !QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

WindowPositionTracker::WindowPositionTracker(QWidget *window) : QObject(window), window_(window)
{
    window_->installEventFilter(this);
}

void WindowPositionTracker::remember()
{
    if (window_->isMinimized() || window_->isMaximized() || window_->isFullScreen())
        return;
    const QPoint pos = window_->pos();
    if (pos.x() <= kParkedCoordinate && pos.y() <= kParkedCoordinate)
        return;
    lastNormal_ = pos;
}

bool WindowPositionTracker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window_) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Show:
            remember();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

std::optional<QPoint> WindowPositionTracker::restoredPosition() const
{
    if (!platformReportsWindowPosition())
        return std::nullopt;
    if (!window_->isMinimized() && !window_->isMaximized() && !window_->isFullScreen())
        return window_->pos();
    if (lastNormal_)
        return lastNormal_;
    return window_->pos();
}
