// placeholder, replaced below
#include <gtest/gtest.h>
TEST(Placeholder, Builds) {}
