// The display rules every consumer shares: degrees F, K/IR cut toward zero,
// curve values rounded half away from zero.
#include "base/Channel.h"

#include <QString>
#include <gtest/gtest.h>

namespace {
QString oneDecimal(double v) { return QString::asprintf("%.1f", v); }
} // namespace

TEST(DisplayRules, KirIsCutTowardZero)
{
    struct Case {
        float stored;
        const char* shown;
    } cases[] = {
        {25.96f, "25.9"}, {-12.37f, "-12.3"}, {2.29f, "2.2"}, {0.7f, "0.7"}, {0.3f, "0.3"},
        {-0.7f, "-0.7"}, {505.0f, "505.0"}, {-55.0f, "-55.0"}, {25.06f, "25.0"},
        // Between -0.1 and 0 the cut is zero, never "-0.0".
        {-0.05f, "0.0"}, {-0.09f, "0.0"}, {-0.0f, "0.0"}, {-0.1f, "-0.1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(oneDecimal(cutToTenth(c.stored)), c.shown) << c.stored;
}

TEST(DisplayRules, FahrenheitExceptRh)
{
    EXPECT_FLOAT_EQ(toDisplayUnit(20.0f, kAir, true), 68.0f);
    EXPECT_FLOAT_EQ(toDisplayUnit(55.0f, kRh, true), 55.0f);
    EXPECT_FLOAT_EQ(toDisplayUnit(20.0f, kAir, false), 20.0f);
    EXPECT_EQ(oneDecimal(cutToTenth(toDisplayUnit(25.03f, kKir, true))), "77.0");
    EXPECT_EQ(oneDecimal(toDisplayUnit(25.03f, kAir, true)), "77.1");
}

TEST(DisplayRules, CurveValuesRoundHalfAwayFromZero)
{
    EXPECT_EQ(oneDecimal(roundTenthAway(2.25f)), "2.3");
    EXPECT_EQ(oneDecimal(roundTenthAway(-2.25f)), "-2.3");
    EXPECT_EQ(oneDecimal(roundTenthAway(25.06f)), "25.1");
}
