#include <gtest/gtest.h>
TEST(Placeholder, CoreTestsBuild) { SUCCEED(); }
