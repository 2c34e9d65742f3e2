#include "error_box.h"

#include <QMessageBox>

#include <exception>

namespace torvex {

namespace {

ErrorBoxSink &sinkSlot()
{
    static ErrorBoxSink sink;
    return sink;
}

} // namespace

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void showErrorBox(const QString &message)
{
    const QString text = errorBoxText(message);
    if (const ErrorBoxSink &sink = sinkSlot()) {
        sink(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle), text, QMessageBox::Ok);
    box.exec();
}

ErrorBoxSink setErrorBoxSink(ErrorBoxSink sink)
{
    ErrorBoxSink previous = std::move(sinkSlot());
    sinkSlot() = std::move(sink);
    return previous;
}

void showCurrentException() noexcept
{
    QString message;
    try {
        throw;
    } catch (const std::exception &error) {
        message = QString::fromUtf8(error.what());
    } catch (...) {
        // Not an error object: shown with an empty message.
    }
    try {
        showErrorBox(message);
    } catch (...) {
        // Nothing sensible is left to report a failing error box to.
    }
}

} // namespace torvex
