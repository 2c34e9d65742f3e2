#pragma once

#include <QString>
#include <QStringList>

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

// The modal critical box itself, with the application title as caption and an OK button, for `text` as it is
// shown. Returns when the user closes it; meanwhile its event loop runs other events.
void runModalErrorBox(const QString &text);

// While one lives, error boxes are held back instead of shown; show() then shows them in the order they were
// raised, each text once. A modal box runs an event loop, and queued work must not run in the middle of a
// sequence such as the window's start-up. What is still held when it ends is shown then.
class HeldErrorBoxes {
public:
    HeldErrorBoxes();
    ~HeldErrorBoxes();
    HeldErrorBoxes(const HeldErrorBoxes &) = delete;
    HeldErrorBoxes &operator=(const HeldErrorBoxes &) = delete;

    // Stops holding and shows what was held.
    void show();

    // Adds a box's text unless the same text is held already (what showErrorBox does while this one holds).
    void hold(const QString &text);

private:
    QStringList m_texts;
    HeldErrorBoxes *m_outer;
    bool m_holding = true;
};

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
