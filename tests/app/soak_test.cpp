// Five seconds of the soak: the demo window at 1 report/ms with logging on, every report accounted for.
#include "soak_rig.h"
#include "tfmain.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(Soak, FiveSecondsAccountForEveryReport)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    torvex::soak::SoakRig rig(dir.path());
    ASSERT_TRUE(rig.start());
    rig.runFor(std::chrono::seconds(5));
    const torvex::soak::SoakFigures f = rig.finish();
    const auto &i = f.instrument;

    // Every send time of the instrument: a report, or skipped because its thread woke too late to catch up.
    // (At the stop up to 50 ms of send times may still be waiting to be caught up with.)
    const double accounted = static_cast<double>(i.produced + i.skipped);
    EXPECT_LE(accounted, f.sendTimes + 2);
    EXPECT_GE(accounted, f.sendTimes - 60);
    // Every report produced: queued for the window, dropped at the full queue, or lost (never here).
    EXPECT_EQ(i.produced, i.queued + i.dropped + i.lost);
    EXPECT_EQ(i.lost, 0u);
    // Every queued report handled, every handled report one whole line in the file, in order.
    EXPECT_EQ(f.stillQueued, 0u);
    EXPECT_EQ(f.handled, i.queued);
    EXPECT_EQ(f.file.lines, f.handled);
    EXPECT_EQ(f.writerDropped, 0u);
    EXPECT_FALSE(f.writerFailing);
    EXPECT_EQ(f.file.tornLines, 0u);
    EXPECT_EQ(f.file.counterBreaks, 0u);
    EXPECT_EQ(f.file.firstCounter, 0);
    EXPECT_GT(f.handled, 500u) << "the window hardly handled anything";
    EXPECT_TRUE(f.errorBoxes.isEmpty()) << f.errorBoxes.join(u'\n').toStdString();
    std::printf("produced %llu, skipped %llu, dropped %llu, handled %llu\n",
                static_cast<unsigned long long>(i.produced), static_cast<unsigned long long>(i.skipped),
                static_cast<unsigned long long>(i.dropped), static_cast<unsigned long long>(f.handled));
}

} // namespace
