#include "periodic_text.h"

#include <QAccessible>
#include <QLineEdit>

#include <chrono>

namespace {

// More than the field's frame and inner margins take from its width in any style.
constexpr int kFrameAndMargins = 12;

// How often a focused field's new value is pushed to assistive technology, and how long after the focus came
// (when a screen reader reads the field in full) the first push waits.
constexpr std::chrono::milliseconds kAnnounceInterval{1000};

// Per field: whether it had the focus at the last update, what assistive technology was last told it shows, and
// when (milliseconds of the steady clock).
constexpr auto kFocusSeen = "periodicTextFocusSeen";
constexpr auto kToldText = "periodicTextTold";
constexpr auto kToldAt = "periodicTextToldAt";

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// While a field's text is set, the events it raises (text replaced, caret moved) are held back; any other event
// goes on. The handler is installed only for that moment, so it sees nothing else: Qt applies a table's model
// change before it calls the handler, and an event handed on below goes through that step a second time.
class HeldBack {
public:
    explicit HeldBack(QObject *field)
    {
        s_field = field;
        s_previous = QAccessible::installUpdateHandler(&hold);
    }
    ~HeldBack()
    {
        QAccessible::installUpdateHandler(s_previous);
        s_field = nullptr;
        s_previous = nullptr;
    }
    HeldBack(const HeldBack &) = delete;
    HeldBack &operator=(const HeldBack &) = delete;

private:
    static void hold(QAccessibleEvent *event)
    {
        if (event->object() == s_field)
            return;
        if (s_previous) {
            s_previous(event);
            return;
        }
        // Without a handler Qt gives the event to the platform's bridge.
        QAccessible::installUpdateHandler(nullptr);
        QAccessible::updateAccessibility(event);
        QAccessible::installUpdateHandler(&hold);
    }

    static inline QObject *s_field = nullptr;
    static inline QAccessible::UpdateHandler s_previous = nullptr;
};

// A field without the focus is never pushed: a client reads its current text when it asks. The focused one is
// told of its latest text at most once a second, the last change included once the value stands still.
void tellIfDue(QLineEdit *field, const QString &shownBefore)
{
    const bool focusSeen = field->property(kFocusSeen).toBool();
    if (!field->hasFocus()) {
        if (focusSeen)
            field->setProperty(kFocusSeen, false);
        return;
    }
    const qint64 now = nowMs();
    if (!focusSeen) {
        field->setProperty(kFocusSeen, true);
        field->setProperty(kToldText, shownBefore);
        field->setProperty(kToldAt, now);
        return;
    }
    const QString told = field->property(kToldText).toString();
    if (told == field->text() || now - field->property(kToldAt).toLongLong() < kAnnounceInterval.count())
        return;
    QAccessibleTextUpdateEvent event(field, 0, told, field->text());
    QAccessible::updateAccessibility(&event);
    field->setProperty(kToldText, field->text());
    field->setProperty(kToldAt, now);
}

} // namespace

void showPeriodicText(QLineEdit *field, const QString &text)
{
    const QString shownBefore = field->text();
    if (shownBefore != text) {
        const HeldBack quiet(field);
        field->setText(text);
        // setText leaves the cursor at the end, and a text wider than the field then scrolls to its end.
        const QMargins margins = field->textMargins();
        const int room = field->contentsRect().width() - margins.left() - margins.right() - kFrameAndMargins;
        if (field->fontMetrics().horizontalAdvance(text) >= room)
            field->setCursorPosition(0);
    }
    tellIfDue(field, shownBefore);
}
