#include "torvex_application.h"

#include <gtest/gtest.h>

// The window tests run against the program's own application class, so its error net is under test too.
int main(int argc, char **argv)
{
    // The windows are driven, never looked at: no display is needed, for listing the tests either. A platform
    // chosen by the caller (e.g. xcb, to watch) is kept.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TorvexApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
