#include "write_feedback.h"

#include "string_table.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {

constexpr auto kResultShown = "writeResultShown";

// Takes the result off a button when the focus leaves it, so it is not read out later as if it were new.
class ButtonResult : public QObject {
public:
    static void show(QAbstractButton *button, const QString &text)
    {
        if (!button->findChild<QObject *>(QLatin1String(kWatcherName), Qt::FindDirectChildrenOnly))
            button->installEventFilter(new ButtonResult(button));
        button->setAccessibleDescription(text);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusOut)
            static_cast<QWidget *>(watched)->setAccessibleDescription(QString());
        return false;
    }

private:
    static constexpr auto kWatcherName = "writeResultWatcher";
    explicit ButtonResult(QObject *button) : QObject(button) { setObjectName(QLatin1String(kWatcherName)); }
};

} // namespace

QString sendResultText(SendResult result)
{
    switch (result) {
    case SendResult::NotSent:
        return idsText(u"IDS_A11Y_NOT_SENT");
    case SendResult::Sent:
        return idsText(u"IDS_A11Y_SENT");
    case SendResult::NotConnected:
        return idsText(u"IDS_A11Y_NOT_CONNECTED");
    case SendResult::Failed:
        return idsText(u"IDS_A11Y_WRITE_FAILED");
    }
    return {};
}

QString writeResultText(const torvex::FieldOutcome &field, std::optional<SendResult> send)
{
    QStringList parts;
    if (field.mark == torvex::FieldMark::Error)
        parts << idsText(u"IDS_A11Y_NOT_A_NUMBER");
    else if (field.mark == torvex::FieldMark::Corrected)
        parts << idsText(u"IDS_A11Y_LIMITED").arg(QString::fromStdString(field.correctedText));
    if (send)
        parts << sendResultText(*send);
    return parts.join(QStringLiteral(". "));
}

void showWriteResult(QWidget *control, const QString &text)
{
    if (control) {
        control->setAccessibleDescription(text);
        control->setToolTip(text);
        control->setProperty(kResultShown, true);
    }
    auto *pressed = qobject_cast<QAbstractButton *>(QApplication::focusWidget());
    if (pressed && pressed != control)
        ButtonResult::show(pressed, text);
}

void clearWriteResult(QWidget *control)
{
    // Only what a write put there: other tooltips of the control stay.
    if (!control || !control->property(kResultShown).toBool())
        return;
    control->setAccessibleDescription(QString());
    control->setToolTip(QString());
    control->setProperty(kResultShown, false);
}
