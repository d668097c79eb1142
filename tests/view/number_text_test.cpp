// The frame table's numbers where the standard library cannot write them
// (the browser edition) must read exactly as std::to_chars writes them on
// the desktop: compared here, number for number, where both exist.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "number_text.h"

namespace vocalume {
namespace {

std::string Standard(float value)
{
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string Standard(double value, int decimals)
{
    char text[400];
    return std::string(text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr);
}

TEST(NumberText, ShortestFloatsReadAsTheStandardLibraryWritesThem)
{
    // Round numbers, both notations and the choice between them, powers of
    // two (where the interval that reads back is lopsided), the extremes,
    // and the kind of numbers a frame table holds.
    std::vector<float> values{0.0f, -0.0f, 1.0f, -1.0f, 0.5f, 0.1f, 100000.0f, 1e5f, 1e6f, 123456.0f, 1234567.0f,
                              1e-5f, 0.0001f, 0.001f, 3.0e-45f, 1.17549435e-38f, 3.40282347e38f, 16777216.0f,
                              0.3f, 2.0f / 3.0f, 1.0f / 162.0f, 6.2831855f, 440.0f, 32767.0f, -32768.0f};
    for (int e = -149; e <= 127; ++e)
        values.push_back(std::ldexp(1.0f, e));
    std::mt19937 random(20261208);
    for (int i = 0; i < 50000; ++i) {
        const float f = std::bit_cast<float>(static_cast<uint32_t>(random()));
        if (std::isfinite(f))
            values.push_back(f);
        values.push_back(std::uniform_real_distribution<float>(-200.0f, 200.0f)(random));
    }
    for (const float v : values)
        ASSERT_EQ(ShortestText(v), Standard(v)) << std::bit_cast<uint32_t>(v);
}

TEST(NumberText, FixedDecimalsReadAsTheStandardLibraryWritesThem)
{
    std::mt19937 random(7);
    std::vector<double> values{0.0, -0.0, 0.125, 0.375, 2.5, 1e-7, 123.455, 0.017777, 996.999999, 1e20};
    for (int i = 0; i < 20000; ++i)
        values.push_back(std::uniform_real_distribution<double>(0.0, 1000.0)(random));
    for (const double v : values)
        for (const int decimals : {2, 6})
            ASSERT_EQ(FixedText(v, decimals), Standard(v, decimals)) << v;
}

}  // namespace
}  // namespace vocalume
