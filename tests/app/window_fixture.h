#pragma once

// Shared fixture for tests that drive the real main window offscreen.
//
//   class MyWindowTest : public WindowFixture {};
//   TEST_F(MyWindowTest, Something)
//   {
//       writeSettingsFile("[Options]\r\nMod=5\r\n");   // optional, before the window exists
//       options().beforeStartupStep = ...;             // optional, before the window exists
//       TFMain &w = window();                         // created on first use: FormCreate has run
//       control<QPushButton>("BitBtn5")->click();
//       w.FreqTimerTimer();                           // timers never run by themselves here
//       EXPECT_THAT(errors(), testing::IsEmpty());    // error boxes are captured, never shown
//   }
//
// Every window gets its own temporary folder holding its config.ini (settingsPath()). Timers are not started.
// useModalErrorBoxes() swaps the capture for the real modal box, which runs its own event loop as it does for
// the user.

#include "error_box.h"
#include "tfmain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_options.settingsPath = settingsPath();
        m_options.startTimers = false;
        // Log lines rescued at a stop never go into the real documents or home folder.
        m_options.logRescueFolders = {tempPath(QStringLiteral("rescue"))};
        m_previousSink = torvex::setErrorBoxSink([this](const QString &text) { m_errors.append(text); });
    }

    void TearDown() override
    {
        m_window.reset();
        torvex::setErrorBoxSink(std::move(m_previousSink));
    }

    // Options of the window still to be created; change them before the first call of window().
    TFMainOptions &options() { return m_options; }

    QString settingsPath() const { return m_dir.filePath(QStringLiteral("config.ini")); }
    QString tempPath(const QString &fileName) const { return m_dir.filePath(fileName); }

    void writeSettingsFile(const QByteArray &bytes)
    {
        QFile file(settingsPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }

    QByteArray readSettingsFile() const
    {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The window, created (constructor + FormCreate) on first use.
    TFMain &window()
    {
        if (!m_window)
            m_window = std::make_unique<TFMain>(m_options);
        return *m_window;
    }

    // Closes the window the way the user does (FormClose runs) and destroys it; the next window() starts a
    // new one on the same settings file.
    void closeWindow()
    {
        if (!m_window)
            return;
        m_window->close();
        m_window.reset();
    }

    // A control by object name; a missing control or a control of another kind fails the test.
    template <class T>
    T *control(const char *name)
    {
        T *found = window().findChild<T *>(QString::fromLatin1(name));
        if (!found)
            ADD_FAILURE() << "no control " << name << " of the expected kind";
        return found;
    }

    // The window on screen with keyboard focus, as the user has it.
    void showWindow()
    {
        TFMain &w = window();
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }

    void click(const char *name)
    {
        if (QAbstractButton *button = control<QAbstractButton>(name))
            button->click();
    }

    QString text(const char *name) { return control<QLineEdit>(name)->text(); }

    // The labels of the device list, in its order.
    QStringList listed()
    {
        QStringList labels;
        auto *list = control<QListWidget>("ListBox1");
        for (int row = 0; list && row < list->count(); ++row)
            labels << list->item(row)->text();
        return labels;
    }

    static void processEvents() { QApplication::processEvents(); }

    // Serves the window's event loop until `done` or the deadline (for a window on a real device, whose
    // threads and monitor deliver through the loop).
    static bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > timeout.count())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    // Texts of the error boxes raised so far, full stop rule applied.
    const QStringList &errors() const { return m_errors; }
    void clearErrors() { m_errors.clear(); }

    // From here on every error box is the program's real modal box. While it is open its event loop runs what
    // is queued: timers, posted calls, device notices and reports. After `openMs` milliseconds the box is read
    // (errors() gets the text it shows), `whileErrorBoxOpen` runs, and the box is closed with its OK button.
    void useModalErrorBoxes(int openMs = 300)
    {
        torvex::setErrorBoxSink([this, openMs](const QString &text) {
            m_mostErrorBoxesOpen = std::max(m_mostErrorBoxesOpen, ++m_errorBoxesOpen);
            QTimer::singleShot(openMs, [this] { readAndCloseErrorBox(); });
            torvex::runModalErrorBox(text);
            --m_errorBoxesOpen;
        });
    }
    std::function<void()> whileErrorBoxOpen;
    // The most modal error boxes that were open at the same time (a box raised inside another box's loop).
    int mostErrorBoxesOpen() const { return m_mostErrorBoxesOpen; }

private:
    void readAndCloseErrorBox()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box) {
            ADD_FAILURE() << "no modal error box is open";
            return;
        }
        EXPECT_EQ(box->windowTitle(), QStringLiteral("TORVEX - PC"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        m_errors.append(box->text());
        if (whileErrorBoxOpen)
            whileErrorBoxOpen();
        box->button(QMessageBox::Ok)->click();
    }

    QTemporaryDir m_dir;
    TFMainOptions m_options;
    std::unique_ptr<TFMain> m_window;
    QStringList m_errors;
    torvex::ErrorBoxSink m_previousSink;
    int m_errorBoxesOpen = 0;
    int m_mostErrorBoxesOpen = 0;
};
