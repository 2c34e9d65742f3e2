#pragma once

#include <QString>

class QLineEdit;

// For texts that timers rewrite several times a second. A value field set to the text it already shows would still
// repaint and tell assistive technology that its text changed, so the text is set only when it differs (a label
// does this by itself). The field shows its text from the start, so that with a long unit the number stays in view.
// Live values are not pushed to assistive technology at the timer's rate, which would drown out a screen reader's
// focus moves: only the focused field tells its new text, at most once a second; the others are read on request.
void showPeriodicText(QLineEdit *field, const QString &text);
