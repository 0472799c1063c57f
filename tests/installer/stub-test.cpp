#include <gtest/gtest.h>
TEST(Stub, Placeholder) { EXPECT_TRUE(true); }
