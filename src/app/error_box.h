#pragma once

#include <QString>

#include <functional>
#include <utility>

namespace torvex {

// Caption of every error box; it is also the application title.
inline constexpr const char *kApplicationTitle = "TORVEX - PC";

// The text the error box shows for a message: a full stop is added when the last character sorts after '.'
// (letters, digits, '?'), so messages that already end in '.', '!' or ')' are left alone.
QString errorBoxText(const QString &message);

// Shows the message in a modal critical box with an OK button, or hands it to the sink when one is set.
void showErrorBox(const QString &message);

// Tests install a sink to capture messages instead of showing a modal box. Returns the previous sink;
// an empty function restores the real box.
using ErrorBoxSink = std::function<void(const QString &text)>;
ErrorBoxSink setErrorBoxSink(ErrorBoxSink sink);

// For use inside a catch block: shows the exception in flight. What is not a std::exception is shown with an
// empty message.
void showCurrentException() noexcept;

// Runs an event handler so that nothing it throws crosses a Qt frame: the error is shown once and the program
// goes on with the next event. Returns false when the handler threw.
template <class Handler>
bool runHandler(Handler &&handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (...) {
        showCurrentException();
        return false;
    }
}

} // namespace torvex
