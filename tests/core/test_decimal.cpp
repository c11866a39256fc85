#include <gtest/gtest.h>

#include <limits>

#include "morph/decimal.h"

namespace warpkit {
namespace {

struct StrictRow {
    const char* name;
    const char* text;
    bool accepted;
    double value;
};

class StrictDecimal : public ::testing::TestWithParam<StrictRow> {};

TEST_P(StrictDecimal, reads_only_well_formed_numbers) {
    const StrictRow& row = GetParam();
    const std::optional<double> value = strict_decimal(row.text);
    ASSERT_EQ(value.has_value(), row.accepted) << '"' << row.text << '"';
    if (row.accepted) {
        EXPECT_DOUBLE_EQ(*value, row.value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StrictDecimal,
    ::testing::Values(
        StrictRow{"digits", "42", true, 42.0}, StrictRow{"point_between", "12.5", true, 12.5},
        StrictRow{"blanks_around", " \t 7.25  ", true, 7.25},
        StrictRow{"plus_sign", "+3", true, 3.0}, StrictRow{"minus_sign", "-0.5", true, -0.5},
        StrictRow{"point_first", ".5", true, 0.5}, StrictRow{"point_last", "5.", true, 5.0},
        StrictRow{"lone_point", ".", true, 0.0}, StrictRow{"exponent", "1.5e2", true, 150.0},
        StrictRow{"signed_exponent", "25E-1", true, 2.5},
        StrictRow{"tiny_reads_zero", "1e-999", true, 0.0},
        StrictRow{"leading_zeros", "0007", true, 7.0}, StrictRow{"empty", "", false, 0},
        StrictRow{"only_blanks", "   ", false, 0}, StrictRow{"two_points", "1.2.3", false, 0},
        StrictRow{"two_lone_points", "..", false, 0}, StrictRow{"exponent_alone", "e5", false, 0},
        StrictRow{"exponent_without_digits", "1e", false, 0},
        StrictRow{"sign_alone", "-", false, 0}, StrictRow{"trailing_letters", "12abc", false, 0},
        StrictRow{"blank_inside", "1 2", false, 0}, StrictRow{"comma_point", "1,5", false, 0},
        StrictRow{"two_signs", "--1", false, 0}, StrictRow{"hex", "0x10", false, 0},
        StrictRow{"infinity_word", "inf", false, 0}, StrictRow{"beyond_double", "1e999", false, 0}),
    [](const ::testing::TestParamInfo<StrictRow>& row) { return std::string(row.param.name); });

TEST(TolerantDecimal, reads_the_longest_leading_number) {
    struct Row {
        const char* text;
        double value;
    };
    const Row rows[] = {{"1.2.3", 1.2}, {"12abc", 12.0}, {"", 0.0},       {"abc", 0.0},
                        {".", 0.0},     {"150", 150.0},  {" 99 x", 99.0}, {"2e3x", 2000.0},
                        {"2e", 2.0},    {"-4.5-", -4.5}, {"..5", 0.0},    {"101.", 101.0}};
    for (const Row& row : rows) {
        EXPECT_DOUBLE_EQ(tolerant_decimal(row.text), row.value) << '"' << row.text << '"';
    }
    EXPECT_EQ(tolerant_decimal("1e999"), std::numeric_limits<double>::infinity());
}

TEST(WholePercent, truncates_toward_zero_and_refuses_what_strict_refuses) {
    struct Row {
        const char* text;
        std::optional<int32_t> value;
    };
    const Row rows[] = {{"12.9", 12},
                        {"-0.5", 0},
                        {"-7.9", -7},
                        {"100", 100},
                        {".", 0},
                        {"2147483647.9", 2147483647},
                        {"-2147483648", -2147483647 - 1},
                        {"2147483648", std::nullopt},
                        {"-2147483649", std::nullopt},
                        {"1.2.3", std::nullopt},
                        {"", std::nullopt}};
    for (const Row& row : rows) EXPECT_EQ(whole_percent(row.text), row.value) << row.text;
}

TEST(StrictInteger, accepts_digits_only_within_int32) {
    struct Row {
        const char* text;
        std::optional<int32_t> value;
    };
    const Row rows[] = {{"250", 250},
                        {"0", 0},
                        {"007", 7},
                        {"2147483647", 2147483647},
                        {"2147483648", std::nullopt},
                        {"99999999999999999999", std::nullopt},
                        {"12.5", std::nullopt},
                        {"", std::nullopt},
                        {"-3", std::nullopt},
                        {"+3", std::nullopt},
                        {" 5", std::nullopt},
                        {"5 ", std::nullopt},
                        {"1e2", std::nullopt}};
    for (const Row& row : rows) EXPECT_EQ(strict_integer(row.text), row.value) << row.text;
}

TEST(DigitsAndPoints, passes_digits_points_and_the_empty_text) {
    EXPECT_TRUE(digits_and_points(""));
    EXPECT_TRUE(digits_and_points("1.2.3"));
    EXPECT_TRUE(digits_and_points("0123456789."));
    EXPECT_FALSE(digits_and_points("-1"));
    EXPECT_FALSE(digits_and_points("1a"));
    EXPECT_FALSE(digits_and_points(" 1"));
    EXPECT_FALSE(digits_and_points("\xef\xbc\x91"));  // a full-width digit one
}

TEST(FormatWeight, one_decimal_rounded) {
    EXPECT_EQ(format_weight(37.5), "37.5");
    EXPECT_EQ(format_weight(100.0), "100.0");
    EXPECT_EQ(format_weight(0.0), "0.0");
    EXPECT_EQ(format_weight(12.34), "12.3");
    EXPECT_EQ(format_weight(static_cast<float>(12.34)), "12.3");
    EXPECT_EQ(format_weight(2.25), "2.2");  // the exact binary value is a tie: even digit
    EXPECT_EQ(format_weight(0.06), "0.1");
    EXPECT_EQ(format_weight(-1.25), "-1.2");
}

}  // namespace
}  // namespace warpkit
