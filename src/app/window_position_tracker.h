#pragma once
// Remembers where a window's frame was while it was last shown normally, so that closing a minimised window
// stores the position it will come back to, not where the platform parks minimised windows.
#include <QObject>
#include <QPoint>
#include <optional>

class QWidget;

class WindowPositionTracker : public QObject {
    Q_OBJECT
public:
    explicit WindowPositionTracker(QWidget *window);

    // Frame top-left of the restored window; nullopt where the platform cannot tell (Wayland).
    std::optional<QPoint> restoredPosition() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void remember();

    QWidget *window_;
    std::optional<QPoint> lastNormal_;
};

// Whether the windowing system tells applications where their windows are.
bool platformReportsWindowPosition();
