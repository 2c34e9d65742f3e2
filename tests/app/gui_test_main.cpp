#include "soak_rig.h"
#include "torvex_application.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

// The child of the crash-recovery test: the demo window logging at 1 kHz into `folder` until it is killed.
int logUntilKilled(const QString &folder)
{
    torvex::soak::SoakRig rig(folder);
    if (!rig.start())
        return 1;
    std::printf("logging\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

// The window tests run against the program's own application class, so its error net is under test too.
int main(int argc, char **argv)
{
    // The windows are driven, never looked at: no display is needed, for listing the tests either. A platform
    // chosen by the caller (e.g. xcb, to watch) is kept.
    // On Windows the native platform needs no display and is the one under test.
#ifndef _WIN32
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TorvexApplication app(argc, argv);
    constexpr const char kChild[] = "--log-until-killed=";
    if (argc == 2 && std::strncmp(argv[1], kChild, sizeof kChild - 1) == 0)
        return logUntilKilled(QString::fromLocal8Bit(argv[1] + sizeof kChild - 1));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
