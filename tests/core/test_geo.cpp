#include <gtest/gtest.h>
#include "geo/projection.h"
TEST(Geo, Placeholder) { EXPECT_EQ(GaussKrugerZone(114.0), 38); }
