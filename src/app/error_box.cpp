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

// The innermost holder, or none. Error boxes belong to the user-interface thread, like everything here.
HeldErrorBoxes *&currentHolder()
{
    static HeldErrorBoxes *holder = nullptr;
    return holder;
}

// `text` as the box shows it, to the innermost holder or on screen.
void deliver(const QString &text)
{
    if (HeldErrorBoxes *holder = currentHolder()) {
        holder->hold(text);
        return;
    }
    if (const ErrorBoxSink &sink = sinkSlot()) {
        sink(text);
        return;
    }
    runModalErrorBox(text);
}

} // namespace

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

void showErrorBox(const QString &message) { deliver(errorBoxText(message)); }

HeldErrorBoxes::HeldErrorBoxes() : m_outer(currentHolder()) { currentHolder() = this; }

HeldErrorBoxes::~HeldErrorBoxes()
{
    try {
        show();
    } catch (...) {
        // Nothing sensible is left to report a failing error box to.
    }
}

void HeldErrorBoxes::show()
{
    if (m_holding) {
        m_holding = false;
        currentHolder() = m_outer;
    }
    // Taken one at a time: while a box is open its event loop runs other handlers, which may raise errors too.
    while (!m_texts.isEmpty())
        deliver(m_texts.takeFirst());
}

void HeldErrorBoxes::hold(const QString &text)
{
    if (!m_texts.contains(text))
        m_texts.append(text);
}

void runModalErrorBox(const QString &text)
{
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
