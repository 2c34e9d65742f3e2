#include "torvex_application.h"

#include <gtest/gtest.h>

// The window tests run against the program's own application class, so its error net is under test too.
int main(int argc, char **argv)
{
    TorvexApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
