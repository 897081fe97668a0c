// The program's own "%.1f" writer (export, meter texts, min/max texts)
// against printf in the C locale: every tenth the meter's ranges can hold,
// their neighbouring floats, halves and a large random sample of floats
// must come out byte for byte the same, under any process locale.
#include "base/Channel.h"
#include "base/TenthsText.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>

namespace {

std::string printfTenths(double v)
{
    char buf[512];
    const int n = std::snprintf(buf, sizeof buf, "%.1f", v);
    return std::string(buf, size_t(n));
}

std::string ownFloat(float v)
{
    char buf[TenthsText::kMaxLength];
    return std::string(buf, size_t(TenthsText::formatFloat(buf, v)));
}

// Counts mismatches and reports the first few.
struct Tally {
    long checked = 0;
    int wrong = 0;
    void check(float v)
    {
        ++checked;
        const std::string expected = printfTenths(double(v)), got = ownFloat(v);
        if (expected != got && ++wrong <= 5)
            ADD_FAILURE() << "value " << double(v) << ": printf " << expected << ", own " << got;
    }
};

} // namespace

TEST(TenthsText, EveryTenthOfTheMetersRangesAndItsNeighbours)
{
    Tally t;
    // -200.0 .. 3000.0 covers every channel in C and F.
    for (int k = -2000; k <= 30000; ++k) {
        const float v = float(k / 10.0);
        for (float x : {v, std::nextafter(v, -1e9f), std::nextafter(v, 1e9f)}) {
            t.check(x);
            // The same value converted to degrees F, as the export does it.
            t.check(toDisplayUnit(x, kAir, true));
        }
        // Halves between two tenths: ties are decided on the exact value.
        const float half = float((k + 0.5) / 10.0);
        t.check(half);
        t.check(std::nextafter(half, -1e9f));
        t.check(std::nextafter(half, 1e9f));
    }
    EXPECT_EQ(t.wrong, 0) << "of " << t.checked;
}

TEST(TenthsText, RandomFloatsAndTheEdges)
{
    Tally t;
    std::mt19937 rng(4800);
    std::uniform_real_distribution<float> meter(-300.0f, 6000.0f);
    std::uniform_int_distribution<uint32_t> bits;
    for (int i = 0; i < 2000000; ++i)
        t.check(meter(rng));
    // Any bit pattern: tiny, huge, negative zero, infinities and NaN alike.
    for (int i = 0; i < 500000; ++i) {
        const uint32_t b = bits(rng);
        float v;
        std::memcpy(&v, &b, sizeof v);
        if (!std::isnan(v))
            t.check(v);
    }
    for (float v : {0.0f, -0.0f, 0.05f, -0.05f, 0.25f, 0.35f, -0.04f, 1e15f, -1e15f, 9.9999e14f,
                    std::numeric_limits<float>::max(), std::numeric_limits<float>::lowest(),
                    std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                    std::numeric_limits<float>::denorm_min()})
        t.check(v);
    EXPECT_EQ(t.wrong, 0) << "of " << t.checked;
}

TEST(TenthsText, WholeTenthsAsPrintfWritesThemExceptNegativeZero)
{
    for (long long k : {0LL, 1LL, -1LL, 9LL, 10LL, -10LL, 25059LL, -1480LL, 123456789012LL}) {
        char buf[TenthsText::kMaxLength];
        const std::string got(buf, size_t(TenthsText::formatWholeTenths(buf, k)));
        EXPECT_EQ(got, printfTenths(k / 10.0)) << k;
    }
}

TEST(TenthsText, DoublesMadeFromReadingsAsPrintfWritesThem)
{
    // What the meter texts format in double precision: an LCD value moved
    // by a twentieth toward zero and a K/IR reading cut to tenths, across
    // the meter's ranges, their neighbours and any float bit pattern.
    auto own = [](double v) {
        char buf[TenthsText::kMaxLength];
        return std::string(buf, size_t(TenthsText::formatDouble(buf, v)));
    };
    int wrong = 0;
    long checked = 0;
    auto check = [&](double v) {
        ++checked;
        if (own(v) != printfTenths(v) && ++wrong <= 5)
            ADD_FAILURE() << "value " << v << ": printf " << printfTenths(v) << ", own " << own(v);
    };
    for (int k = -2000; k <= 30000; ++k) {
        const float v = float(k / 10.0);
        for (float x : {v, std::nextafter(v, -1e9f), std::nextafter(v, 1e9f), float((k + 0.5) / 10.0)}) {
            check(double(x) - 0.05);
            check(double(x) + 0.05);
            check(cutToTenth(x));
            check(cutToTenth(toDisplayUnit(x, kKir, true)));
        }
    }
    std::mt19937 rng(4471);
    std::uniform_int_distribution<uint32_t> bits;
    for (int i = 0; i < 300000; ++i) {
        const uint32_t b = bits(rng);
        float v;
        std::memcpy(&v, &b, sizeof v);
        if (std::isnan(v))
            continue;
        check(double(v) - 0.05);
        check(cutToTenth(v));
    }
    for (double v : {0.0, -0.0, 1e15, -1e15, double(std::numeric_limits<float>::max()),
                     double(std::numeric_limits<float>::lowest()), std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity()})
        check(v);
    EXPECT_EQ(wrong, 0) << "of " << checked;
    // Beyond any float: written as the float nearest it.
    EXPECT_EQ(own(1e300), "inf");
    EXPECT_EQ(own(-1e300), "-inf");
}

TEST(TenthsText, TheProcessLocaleChangesNothing)
{
    // printf writes a decimal comma under a German locale; these never do.
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f", 22.5);
    const std::string printfGerman = buf;
    char out[TenthsText::kMaxLength];
    const std::string f(out, size_t(TenthsText::formatFloat(out, 22.5f)));
    const std::string d(out, size_t(TenthsText::formatDouble(out, 22.45 + 0.05)));
    const std::string big(out, size_t(TenthsText::formatFloat(out, 3e20f)));
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(printfGerman, "22,5"); // the locale did take effect
    EXPECT_EQ(f, "22.5");
    EXPECT_EQ(d, "22.5");
    EXPECT_EQ(big, printfTenths(double(3e20f)));
    EXPECT_NE(big.find('.'), std::string::npos);
}
