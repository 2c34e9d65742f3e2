#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// A pair of up/down arrows that steps an integer position within a range and shows it in a buddy edit,
// so the edit itself can stay read-only.
class UpDownControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(int singleStep READ singleStep WRITE setSingleStep)

public:
    explicit UpDownControl(QWidget *parent = nullptr);

    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int value() const { return m_value; }
    int singleStep() const { return m_singleStep; }

    void setMinimum(int minimum);
    void setMaximum(int maximum);
    void setRange(int minimum, int maximum);
    // Out-of-range positions are clamped, as the arrows would never get there.
    void setValue(int value);
    void setSingleStep(int step) { m_singleStep = step; }

    // The edit that shows the position; arrow keys and the wheel over it step the position too.
    void setBuddy(QLineEdit *buddy);
    QLineEdit *buddy() const { return m_buddy; }

    void stepUp() { setValue(m_value + m_singleStep); }
    void stepDown() { setValue(m_value - m_singleStep); }

signals:
    void valueChanged(int value);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showValue();

    QToolButton *m_up;
    QToolButton *m_down;
    QLineEdit *m_buddy = nullptr;
    int m_minimum = 0;
    int m_maximum = 100;
    int m_value = 0;
    int m_singleStep = 1;
};
