#include "document/NumberText.h"

#include <clocale>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace tw {
namespace {

struct LenientCase { const char* text; double value; };

class NumericValueTest : public ::testing::TestWithParam<LenientCase> {};

TEST_P(NumericValueTest, ReadsTheLeadingNumber) {
    EXPECT_EQ(NumericValue(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Examples, NumericValueTest, ::testing::Values(
    LenientCase{" 2.50s", 2.5}, LenientCase{"1 5", 15}, LenientCase{"-", 0},
    LenientCase{"abc", 0}, LenientCase{"1e2", 100}, LenientCase{"", 0},
    LenientCase{"2x", 2}, LenientCase{"1.", 1}, LenientCase{".5", 0.5},
    LenientCase{"-0.25", -0.25}, LenientCase{"+7", 7}, LenientCase{"\t1\n2", 12},
    LenientCase{"2.5D1", 25}, LenientCase{"2.5d-1", 0.25}, LenientCase{"1e", 1},
    LenientCase{"1e+", 1}, LenientCase{"1.2.3", 1.2}, LenientCase{"- 3", -3},
    LenientCase{"&HFF", 255}, LenientCase{"&hff", 255}, LenientCase{"&O17", 15},
    LenientCase{"&O19", 1}, LenientCase{"&X1", 0}, LenientCase{"--5", 0},
    LenientCase{"1,5", 1}, LenientCase{"\r5", 0}, LenientCase{"1e-999", 0},
    LenientCase{"0.1", 0.1}, LenientCase{"123456789012345678", 123456789012345678.0}));

TEST(NumericValue, SaturatesBeyondTheDoubleRange) {
    EXPECT_EQ(NumericValue("1e999"), std::numeric_limits<double>::max());
    EXPECT_EQ(NumericValue("-9e400"), -std::numeric_limits<double>::max());
    EXPECT_EQ(NumericValue("0e999999999999999999999"), 0);
    EXPECT_EQ(NumericValue("&H" + std::string(300, 'F')), std::numeric_limits<double>::max());
}

TEST(StrictNumber, AcceptsOnlyAWholeNumber) {
    EXPECT_EQ(StrictNumber("1e2"), 100);
    EXPECT_EQ(StrictNumber("2.5D1"), 25);
    EXPECT_EQ(StrictNumber("  -0.5\t"), -0.5);
    EXPECT_EQ(StrictNumber("+3"), 3);
    EXPECT_EQ(StrictNumber("5."), 5);
    EXPECT_EQ(StrictNumber(".5"), 0.5);
    EXPECT_EQ(StrictNumber("1E-2"), 0.01);
    EXPECT_EQ(StrictNumber("1e-999"), 0);
    for (const char* bad : {"1 5", "2x", "-", "", "   ", "&HFF", "1e", "1e+", ".", "1.2.3",
                            "1,5", "e5", "--1", "1e999", "inf", "nan", "0x10", "1\n"})
        EXPECT_FALSE(StrictNumber(bad).has_value()) << '"' << bad << '"';
    EXPECT_FALSE(StrictNumber(std::string_view("1\0", 2)).has_value());
}

struct DecimalCase { double value; const char* text; };

class DecimalTextTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalTextTest, Writes15SignificantDigits) {
    EXPECT_EQ(DecimalText(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Examples, DecimalTextTest, ::testing::Values(
    DecimalCase{0, "0"}, DecimalCase{-0.0, "0"}, DecimalCase{0.5, "0.5"}, DecimalCase{2.5, "2.5"},
    DecimalCase{-2, "-2"}, DecimalCase{0.1 + 0.2, "0.3"}, DecimalCase{3.0 / 7, "0.428571428571429"},
    DecimalCase{1.2, "1.2"}, DecimalCase{0.96, "0.96"}, DecimalCase{100, "100"},
    DecimalCase{0.0001, "0.0001"}, DecimalCase{0.00001, "1E-05"}, DecimalCase{-0.000015, "-1.5E-05"},
    DecimalCase{1e15, "1E+15"}, DecimalCase{999999999999999, "999999999999999"},
    DecimalCase{999999999999999.9, "1E+15"}, DecimalCase{123456789012345678.0, "1.23456789012346E+17"},
    DecimalCase{1e100, "1E+100"}, DecimalCase{1e-300, "1E-300"},
    DecimalCase{std::numeric_limits<double>::infinity(), "1.79769313486231E+308"}));

TEST(DecimalText, SinglePrecisionUsesSevenDigits) {
    EXPECT_EQ(DecimalText(0.123456789f), "0.1234568");
    EXPECT_EQ(DecimalText(0.5f), "0.5");
    EXPECT_EQ(DecimalText(3.142f), "3.142");
    EXPECT_EQ(DecimalText(-1e-5f), "-1E-05");
    EXPECT_EQ(DecimalText(12345678.0f), "12345680");
    EXPECT_EQ(DecimalText(0.0f), "0");
}

TEST(DecimalText, ReadsBackToTheSameText) {
    for (double v : {0.1, 1.0 / 3, -2.75e-7, 6.02e23, 12.5, 1e15, 4e-5})
        EXPECT_EQ(DecimalText(NumericValue(DecimalText(v))), DecimalText(v)) << v;
}

// The conversions must not follow the user's locale: once the Qt application
// exists the C library reads and writes decimal commas under a German locale.
TEST(NumberText, IgnoresACommaDecimalLocale) {
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the de_DE.UTF-8 locale must be generated (the test set-up does this)";
    EXPECT_EQ(NumericValue("2.5"), 2.5);
    EXPECT_EQ(NumericValue("2,5"), 2);
    EXPECT_EQ(StrictNumber("1.25e1"), 12.5);
    EXPECT_FALSE(StrictNumber("2,5").has_value());
    EXPECT_EQ(DecimalText(0.5), "0.5");
    EXPECT_EQ(DecimalText(0.123456789f), "0.1234568");
    EXPECT_EQ(DecimalText(1.5e-5), "1.5E-05");
    std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace tw
