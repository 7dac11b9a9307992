// The number formats of the model and animation files.

#include "model/text_values.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

using model_text::append_float;
using model_text::ValueReader;

namespace {

std::string printf_g(float v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(v));
    return buf;
}

std::string float_text(float v) {
    std::string s;
    append_float(s, v);
    return s;
}

}  // namespace

TEST(WriteFloat, SixSignificantDigitsWithoutTrailingZeros) {
    EXPECT_EQ(float_text(1.0f), "1");
    EXPECT_EQ(float_text(0.5f), "0.5");
    EXPECT_EQ(float_text(1.0f / 3.0f), "0.333333");
    EXPECT_EQ(float_text(0.0f), "0");
    EXPECT_EQ(float_text(123456.0f), "123456");
    EXPECT_EQ(float_text(1234567.0f), "1.23457e+06");
    EXPECT_EQ(float_text(1e6f), "1e+06");
    EXPECT_EQ(float_text(0.0001f), "0.0001");
    EXPECT_EQ(float_text(0.00001f), "1e-05");
    EXPECT_EQ(float_text(-2.5f), "-2.5");
}

TEST(WriteFloat, MatchesPrintfAcrossMagnitudes) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-40, 38);
    for (int i = 0; i < 20000; ++i) {
        const float v = static_cast<float>(mantissa(rng) * std::pow(10.0, exponent(rng)));
        ASSERT_EQ(float_text(v), printf_g(v)) << v;
    }
    for (float v : {FLT_MAX, -FLT_MAX, FLT_MIN, FLT_TRUE_MIN, -0.0f, 999999.5f, 9.999995f, 0.000099999f})
        EXPECT_EQ(float_text(v), printf_g(v));
}

TEST(ReadValues, SkipAnyWhiteSpaceAndIgnoreLines) {
    ValueReader in(" \t\r\n 12\r\n-3\t\t+4\v\f0.25 1\n");
    int32_t a = 0, b = 0, c = 0;
    float d = 0;
    bool e = false;
    EXPECT_TRUE(in.read(a));
    EXPECT_TRUE(in.read(b));
    EXPECT_TRUE(in.read(c));
    EXPECT_TRUE(in.read(d));
    EXPECT_TRUE(in.read(e));
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, -3);
    EXPECT_EQ(c, 4);
    EXPECT_EQ(d, 0.25f);
    EXPECT_TRUE(e);
    EXPECT_FALSE(in.failed());
    EXPECT_FALSE(in.read(a)) << "the end of the text is a failed read";
    EXPECT_EQ(a, 12);
}

struct IntCase {
    const char* text;
    bool ok;
    int32_t value;
};

class ReadInt : public ::testing::TestWithParam<IntCase> {};

TEST_P(ReadInt, ReadsAnOptionallySignedDecimalOrLeavesTheTargetAlone) {
    ValueReader in(GetParam().text);
    int32_t v = -99;
    EXPECT_EQ(in.read(v), GetParam().ok);
    EXPECT_EQ(v, GetParam().ok ? GetParam().value : -99);
    EXPECT_EQ(in.failed(), !GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadInt,
    ::testing::Values(IntCase{"0", true, 0}, IntCase{"007", true, 7}, IntCase{"+15", true, 15},
                      IntCase{"-0", true, 0}, IntCase{"2147483647", true, 2147483647},
                      IntCase{"-2147483648", true, -2147483647 - 1}, IntCase{"2147483648", false, 0},
                      IntCase{"-2147483649", false, 0}, IntCase{"99999999999999999999999", false, 0},
                      IntCase{"12abc", true, 12}, IntCase{"3.7", true, 3}, IntCase{"", false, 0},
                      IntCase{"   ", false, 0}, IntCase{"-", false, 0}, IntCase{"+-1", false, 0},
                      IntCase{"- 1", false, 0}, IntCase{"abc", false, 0}, IntCase{"0x1F", true, 0},
                      IntCase{"\x80\xff", false, 0}));

struct FloatCase {
    const char* text;
    bool ok;
    float value;
};

class ReadFloat : public ::testing::TestWithParam<FloatCase> {};

TEST_P(ReadFloat, ReadsADecimalWithAnyExponentOrLeavesTheTargetAlone) {
    ValueReader in(GetParam().text);
    float v = -99.0f;
    EXPECT_EQ(in.read(v), GetParam().ok);
    EXPECT_EQ(v, GetParam().ok ? GetParam().value : -99.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadFloat,
    ::testing::Values(FloatCase{"0.5", true, 0.5f}, FloatCase{"1", true, 1.0f}, FloatCase{".25", true, 0.25f},
                      FloatCase{"3.", true, 3.0f}, FloatCase{"-1.5e+02", true, -150.0f},
                      FloatCase{"1.23457e+06", true, 1234570.0f}, FloatCase{"1E3", true, 1000.0f},
                      FloatCase{"2e0000000000000000001", true, 20.0f}, FloatCase{"+7", true, 7.0f},
                      FloatCase{"1e-50", true, 0.0f}, FloatCase{"0.333333", true, 0.333333f},
                      FloatCase{"1e39", false, 0}, FloatCase{"-1e39", false, 0}, FloatCase{"1e", false, 0},
                      FloatCase{"1e+", false, 0}, FloatCase{".", false, 0}, FloatCase{"nan", false, 0},
                      FloatCase{"NAN", false, 0}, FloatCase{"inf", false, 0}, FloatCase{"-infinity", false, 0},
                      FloatCase{"0x1p3", true, 0.0f}, FloatCase{"", false, 0}));

TEST(ReadValues, AFailedReadMakesEveryLaterReadFail) {
    ValueReader in("1 x 2 3.5 1");
    int32_t a = 0, b = 5, c = 6;
    float f = 9.0f;
    bool flag = false;
    EXPECT_TRUE(in.read(a));
    EXPECT_FALSE(in.read(b));
    EXPECT_FALSE(in.read(c));
    EXPECT_FALSE(in.read(f));
    EXPECT_FALSE(in.read(flag));
    EXPECT_EQ(b, 5);
    EXPECT_EQ(c, 6);
    EXPECT_EQ(f, 9.0f);
    EXPECT_FALSE(flag);
}

TEST(ReadValues, ABoolIsTheIntegerZeroOrOne) {
    for (const char* text : {"2", "-1", "true", "10"}) {
        ValueReader in(text);
        bool v = true;
        EXPECT_FALSE(in.read(v)) << text;
        EXPECT_TRUE(v);
        EXPECT_TRUE(in.failed());
    }
    ValueReader in("0 1 01");
    bool a = true, b = false, c = false;
    EXPECT_TRUE(in.read(a) && in.read(b) && in.read(c));
    EXPECT_FALSE(a);
    EXPECT_TRUE(b);
    EXPECT_TRUE(c);
}

TEST(ReadValues, AnIntegerReadStopsAtTheDecimalPointWhichTheNextFloatReads) {
    ValueReader in("3.75");
    int32_t i = 0;
    float f = 0;
    EXPECT_TRUE(in.read(i));
    EXPECT_TRUE(in.read(f));
    EXPECT_EQ(i, 3);
    EXPECT_EQ(f, 0.75f);
}

TEST(ReadValues, WrittenFloatsReadBackAsTheirSixDigitRounding) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> d(-1e7f, 1e7f);
    for (int i = 0; i < 5000; ++i) {
        const float v = d(rng);
        std::string s;
        append_float(s, v);
        ValueReader in(s);
        float back = 0;
        ASSERT_TRUE(in.read(back));
        ASSERT_EQ(back, std::strtof(printf_g(v).c_str(), nullptr)) << s;
        ASSERT_LE(std::fabs(back - v), std::fabs(v) * 5e-6f) << s;
    }
}
