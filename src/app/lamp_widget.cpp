#include "lamp_widget.h"

#include <QAccessible>
#include <QPainter>

LampWidget::LampWidget(QWidget *parent) : QWidget(parent) {}

void LampWidget::setBrushColor(const QColor &color)
{
    // The indicator timer sets the colour ten times a second; repaint only on a real change.
    if (color == m_brushColor)
        return;
    const bool wasLit = isLit();
    m_brushColor = color;
    update();
    // A screen reader learns of a lamp going on or off, not of every change of its colour.
    if (isLit() != wasLit) {
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent stateEvent(this, changed);
        QAccessible::updateAccessibility(&stateEvent);
        QAccessibleEvent descriptionEvent(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&descriptionEvent);
    }
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
