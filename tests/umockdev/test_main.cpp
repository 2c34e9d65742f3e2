#include "torvex_application.h"

#include <gtest/gtest.h>

// The window tests run against the program's own application class, as the other window tests do.
int main(int argc, char **argv)
{
    TorvexApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
