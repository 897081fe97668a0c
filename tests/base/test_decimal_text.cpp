// Numbers in texts (alarm limits from the configuration file or typed into
// the panel) read one way, whatever the process locale.
#include "base/DecimalText.h"
#include "data/AlarmLimitSet.h"

#include <QString>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

struct Case {
    const char* text;
    double value;
};

// The leading decimal number, and nothing that is not one: no infinities,
// NaN or hex forms, which a C library reading would take.
const Case kCases[] = {
    {"12.5", 12.5},  {"12.5abc", 12.5}, {" -3e1x", -30.0}, {"+7", 7.0},     {".5", 0.5},
    {"5.", 5.0},     {"abc", 0.0},      {"", 0.0},         {"-", 0.0},      {"inf", 0.0},
    {"-infinity", 0.0}, {"nan", 0.0},   {"0x1A", 0.0},     {"1e400", 0.0},  {"12,5", 12.0},
    {"1e", 1.0},     {"2501.0", 2501.0},
};

void expectCases(const char* where)
{
    for (const Case& c : kCases)
        EXPECT_EQ(decimal::parseLeading(QString::fromLatin1(c.text)), c.value) << where << ": " << c.text;
}

// Switches the process to a comma-decimal locale for the scope.
class CommaLocale {
public:
    CommaLocale()
    {
        const char* old = std::setlocale(LC_ALL, nullptr);
        m_old = old ? old : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8"}) {
            if (std::setlocale(LC_ALL, name)) {
                m_active = true;
                break;
            }
        }
    }
    ~CommaLocale() { std::setlocale(LC_ALL, m_old.c_str()); }
    bool active() const { return m_active; }

private:
    std::string m_old;
    bool m_active = false;
};

} // namespace

TEST(DecimalText, LeadingNumberOnly)
{
    expectCases("C locale");
}

TEST(DecimalText, CommaDecimalLocaleReadsTheSame)
{
    CommaLocale comma;
    if (!comma.active()) {
        // The setup generates de_DE.UTF-8; in CI its absence is a fault.
        ASSERT_EQ(std::getenv("CI"), nullptr) << "de_DE.UTF-8 is not installed";
        GTEST_SKIP() << "no comma-decimal locale installed";
    }
    ASSERT_EQ(std::strtod("1,5", nullptr), 1.5) << "the locale really reads commas";
    expectCases("de_DE");
    // The limits of a configuration file, as the window and zb740-cli read them.
    std::array<QString, kChannelCount> high, low;
    high.fill(QStringLiteral("25.5"));
    low.fill(QStringLiteral("-3.25"));
    const AlarmLimits limits = alarmLimitsFromTexts(high, low);
    EXPECT_EQ(limits.high[kAir], 25.5f);
    EXPECT_EQ(limits.low[kRh], -3.25f);
}
