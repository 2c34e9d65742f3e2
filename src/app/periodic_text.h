#pragma once

#include <QString>

class QLineEdit;

// For texts that timers rewrite several times a second. A value field set to the text it already shows would still
// repaint and tell assistive technology that its text changed, so the text is set only when it differs (a label
// does this by itself). The field shows its text from the start, so that with a long unit the number stays in view.
void showPeriodicText(QLineEdit *field, const QString &text);
