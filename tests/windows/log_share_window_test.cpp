// The window logs while another program holds the log file without write sharing for a few seconds, as a
// spreadsheet showing it does: the lines wait and go in once the file is free, each counter value once, in order.
#include "window_fixture.h"

#include "sim_instrument_device.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

class LogShareWindowTest : public WindowFixture {};

TEST_F(LogShareWindowTest, LinesWaitWhileAnotherProgramHoldsTheFileAndAllArriveInOrder)
{
    auto platform = std::make_shared<torvex::sim::SimHidPlatform>();
    torvex::sim::SimInstrumentDevice instrument(*platform);
    instrument.driver().withInstrument([](torvex::sim::Instrument &i) { i.parameters().sendInterval = 5; });
    options().hidPlatform = platform;
    const QString path = tempPath(QStringLiteral("shared.csv"));
    for (const char *name : {"save_date", "save_time", "save_cntmod", "save_enc1p", "save_enc2p", "save_enc3p",
                             "save_enc1v", "save_enc2v", "save_enc3v", "save_output"})
        control<QCheckBox>(name)->setChecked(false);
    control<QCheckBox>("save_cnt")->setChecked(true);
    control<QLineEdit>("file_name_edit")->setText(path);

    QElapsedTimer clock;
    clock.start();
    qint64 nextTick = 1000;
    bool sawWaiting = false;
    // Runs the window with its 1 s log tick until `done` or `ms` have passed.
    auto runUntil = [&](qint64 ms, const std::function<bool()> &done) {
        const qint64 end = clock.elapsed() + ms;
        while (clock.elapsed() < end && !(done && done())) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (clock.elapsed() >= nextTick) {
                window().SaveFileTimerTimer();
                window().settleLog();
                nextTick += 1000;
                sawWaiting = sawWaiting || window().statusPanelText(3).startsWith(QStringLiteral("Błąd zapisu: "));
            }
        }
    };
    runUntil(300, {});
    ASSERT_TRUE(window().Connected());
    instrument.start();
    runUntil(300, {});

    click("save_button");
    const uint32_t first = window().Measurement.MeasurementCount;
    runUntil(1500, {});

    QProcess holder;
    holder.start(QCoreApplication::applicationDirPath() + QStringLiteral("/log_file_holder.exe"),
                 {QDir::toNativeSeparators(path), QStringLiteral("3000")});
    ASSERT_TRUE(holder.waitForStarted(10000));
    runUntil(25000, [&] { return holder.canReadLine() || holder.state() == QProcess::NotRunning; });
    ASSERT_EQ(holder.readLine().trimmed(), QByteArray("held")) << "the file was never free for the holder";
    runUntil(20000, [&] { return holder.state() == QProcess::NotRunning; });
    EXPECT_EQ(holder.exitCode(), 0);
    runUntil(3000, {});
    EXPECT_TRUE(sawWaiting) << "the window never showed lines waiting";
    EXPECT_EQ(window().statusPanelText(3), QStringLiteral("Zapis: aktywny"));

    click("save_button");
    const uint32_t end = window().Measurement.MeasurementCount;
    instrument.stop();
    closeWindow();
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();

    std::ifstream in(std::filesystem::path(path.toStdWString()), std::ios::binary);
    const std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t stop; (stop = all.find("\r\n", start)) != std::string::npos; start = stop + 2)
        lines.push_back(all.substr(start, stop - start));
    EXPECT_EQ(start, all.size()) << "text after the last line end";
    ASSERT_EQ(lines.size(), std::size_t(end - first));
    for (std::size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], std::to_string(first + i) + ";") << "line " << i;
}

} // namespace
