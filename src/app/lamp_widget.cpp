#include "lamp_widget.h"

#include <QPainter>

LampWidget::LampWidget(QWidget *parent) : QWidget(parent) {}

void LampWidget::setBrushColor(const QColor &color)
{
    // The indicator timer sets the colour ten times a second; repaint only on a real change.
    if (color == m_brushColor)
        return;
    m_brushColor = color;
    update();
}

void LampWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_brushColor);
    const int side = qMin(width(), height()) - 1;
    painter.drawEllipse(QRectF(0.5, 0.5, side, side));
}
