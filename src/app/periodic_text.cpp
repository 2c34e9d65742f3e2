#include "periodic_text.h"

#include <QLineEdit>

namespace {

// More than the field's frame and inner margins take from its width in any style.
constexpr int kFrameAndMargins = 12;

} // namespace

void showPeriodicText(QLineEdit *field, const QString &text)
{
    if (field->text() == text)
        return;
    field->setText(text);
    // setText leaves the cursor at the end, and a text wider than the field then scrolls to its end. Moving the
    // cursor is itself news to a screen reader, so only where the text would scroll.
    const QMargins margins = field->textMargins();
    const int room = field->contentsRect().width() - margins.left() - margins.right() - kFrameAndMargins;
    if (field->fontMetrics().horizontalAdvance(text) >= room)
        field->setCursorPosition(0);
}
