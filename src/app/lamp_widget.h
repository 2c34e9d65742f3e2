#pragma once

#include <QColor>
#include <QWidget>

// A round indicator lamp: a filled circle in a settable colour, silver while idle.
class LampWidget : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor brushColor READ brushColor WRITE setBrushColor)

public:
    static QColor idleColor() { return QColor(192, 192, 192); }

    explicit LampWidget(QWidget *parent = nullptr);

    QColor brushColor() const { return m_brushColor; }
    void setBrushColor(const QColor &color);
    // Any colour but the idle one.
    bool isLit() const { return m_brushColor != idleColor(); }

    QSize sizeHint() const override { return {30, 30}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_brushColor = idleColor();
};
