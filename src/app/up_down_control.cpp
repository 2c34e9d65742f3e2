#include "up_down_control.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>

UpDownControl::UpDownControl(QWidget *parent)
    : QWidget(parent), m_up(new QToolButton(this)), m_down(new QToolButton(this))
{
    for (QToolButton *button : {m_up, m_down}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIconSize({5, 5});
    }
    m_up->setArrowType(Qt::UpArrow);
    m_down->setArrowType(Qt::DownArrow);
    connect(m_up, &QToolButton::clicked, this, &UpDownControl::stepUp);
    connect(m_down, &QToolButton::clicked, this, &UpDownControl::stepDown);
}

void UpDownControl::setMinimum(int minimum) { setRange(minimum, std::max(minimum, m_maximum)); }

void UpDownControl::setMaximum(int maximum) { setRange(std::min(m_minimum, maximum), maximum); }

void UpDownControl::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    setValue(m_value);
}

void UpDownControl::setValue(int value)
{
    const int clamped = std::clamp(value, m_minimum, m_maximum);
    if (clamped == m_value) {
        showValue();
        return;
    }
    m_value = clamped;
    showValue();
    emit valueChanged(m_value);
}

void UpDownControl::setBuddy(QLineEdit *buddy)
{
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = buddy;
    if (m_buddy)
        m_buddy->installEventFilter(this);
    showValue();
}

void UpDownControl::showValue()
{
    if (m_buddy)
        m_buddy->setText(QString::number(m_value));
}

void UpDownControl::resizeEvent(QResizeEvent *)
{
    const int upper = height() / 2;
    m_up->setGeometry(0, 0, width(), upper);
    m_down->setGeometry(0, upper, width(), height() - upper);
}

void UpDownControl::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    if (delta > 0)
        stepUp();
    else if (delta < 0)
        stepDown();
    event->accept();
}

bool UpDownControl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_buddy && isEnabled()) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Up) {
                stepUp();
                return true;
            }
            if (key == Qt::Key_Down) {
                stepDown();
                return true;
            }
        } else if (event->type() == QEvent::Wheel) {
            wheelEvent(static_cast<QWheelEvent *>(event));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
