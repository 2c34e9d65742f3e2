#pragma once

#include "config/write_payload.h"

#include <QString>

#include <optional>

class QWidget;

// What became of a write: refused before sending, or what the device link did with the report.
enum class SendResult { NotSent, Sent, NotConnected, Failed };

// The result of a Write in words, for those who cannot see the field's colour: why a number was refused or
// changed ("To nie jest liczba", "Ograniczono do 65535"), then whether anything was sent; without a send result
// (a value the program keeps for itself) only the first.
QString writeResultText(const torvex::FieldOutcome &field, std::optional<SendResult> send);
QString sendResultText(SendResult result);

// Shows `text` as the accessible description and the tooltip of the control written, until clearWriteResult
// (which goes with the clearing of its colour). The focused button (the one pressed) gets it as its description
// until it loses the focus: a screen reader speaks changes of the control that has the focus.
void showWriteResult(QWidget *control, const QString &text);
void clearWriteResult(QWidget *control);
