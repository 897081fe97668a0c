// The wet-bulb and dew-point formulas the simulated meter and the benchmark
// runs derive their readings with.
#include "base/Psychrometry.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(Psychrometrics, KnownValues)
{
    EXPECT_NEAR(psychro::dewPoint(20.0, 50.0), 9.3, 0.1);
    EXPECT_NEAR(psychro::dewPoint(25.0, 100.0), 25.0, 0.01);
    EXPECT_NEAR(psychro::wetBulb(20.0, 50.0), 13.7, 0.1);
}

// Dry air has no logarithm: the dew point is taken at 0.1 % instead.
TEST(Psychrometrics, DryAirGivesAFiniteDewPoint)
{
    EXPECT_TRUE(std::isfinite(psychro::dewPoint(20.0, 0.0)));
    EXPECT_EQ(psychro::dewPoint(20.0, 0.0), psychro::dewPoint(20.0, 0.1));
    EXPECT_LT(psychro::dewPoint(20.0, 0.0), -50.0);
}
