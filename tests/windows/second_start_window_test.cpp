// A second start on the settings file of a running window, on the native Windows platform: the message, then
// the running window restored and brought to the front.
#include "app_main.h"
#include "error_box.h"
#include "settings/instance_lock.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

TEST(SecondStartWindow, RestoresTheRunningWindowAfterItsMessage)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TFMainOptions options;
    options.settingsPath = dir.filePath(QStringLiteral("config.ini"));
    options.startTimers = false;
    torvex::InstanceLock instance(filesystemPath(options.settingsPath));
    ASSERT_EQ(instance.state(), torvex::InstanceLock::State::Held);
    TFMain running(options);
    running.show();
    instance.announceWindow(static_cast<std::uintptr_t>(running.winId()));
    running.showMinimized();
    const HWND window = reinterpret_cast<HWND>(running.winId());
    ASSERT_TRUE(QTest::qWaitFor([&] { return IsIconic(window) != 0; }, 10000));

    QStringList messages;
    const torvex::ErrorBoxSink previous = torvex::setErrorBoxSink([&](const QString &text) { messages.append(text); });
    EXPECT_EQ(runMainWindow(options), 0);
    torvex::setErrorBoxSink(previous);

    EXPECT_THAT(messages, testing::ElementsAre(QStringLiteral("TORVEX PC jest już uruchomiony.")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return IsIconic(window) == 0; }, 10000)) << "the running window stayed minimised";
}

} // namespace
