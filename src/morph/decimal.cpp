#include "morph/decimal.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <system_error>

namespace warpkit {

namespace {

// Neither the C library's number parsing nor its printf may be used here: both follow the
// process locale, and a Qt program runs with the user's locale, where the point may be a comma.

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// The parts of one decimal number as written, found at the start of a text.
struct NumberScan {
    bool negative = false;
    bool has_point = false;
    std::string_view int_digits;
    std::string_view frac_digits;
    bool exp_negative = false;
    std::string_view exp_digits;  // empty: no exponent
    size_t end = 0;               // index just past the number
};

// Reads blanks, sign, digits, one point, digits and an exponent from `text`, each as far as it
// forms a number. An exponent is taken only when at least one digit follows its letter.
// Returns false when not even a mantissa (a digit or a point) stands there.
bool scan_number(std::string_view text, NumberScan& scan) {
    size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        scan.negative = text[i] == '-';
        ++i;
    }
    const size_t int_start = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    scan.int_digits = text.substr(int_start, i - int_start);
    if (i < text.size() && text[i] == '.') {
        scan.has_point = true;
        ++i;
        const size_t frac_start = i;
        while (i < text.size() && is_digit(text[i])) ++i;
        scan.frac_digits = text.substr(frac_start, i - frac_start);
    }
    if (scan.int_digits.empty() && !scan.has_point) return false;

    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        bool exp_negative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            exp_negative = text[j] == '-';
            ++j;
        }
        const size_t exp_start = j;
        while (j < text.size() && is_digit(text[j])) ++j;
        if (j > exp_start) {
            scan.exp_negative = exp_negative;
            scan.exp_digits = text.substr(exp_start, j - exp_start);
            i = j;
        }
    }
    scan.end = i;
    return true;
}

// The exponent as written, saturated far beyond any double so huge exponents cannot overflow.
int64_t exponent_of(const NumberScan& scan) {
    constexpr int64_t kSaturation = 1'000'000'000'000LL;
    int64_t exponent = 0;
    for (char c : scan.exp_digits) {
        exponent = exponent * 10 + (c - '0');
        if (exponent > kSaturation) {
            exponent = kSaturation;
            break;
        }
    }
    return scan.exp_negative ? -exponent : exponent;
}

// Decimal position of the leading significant digit (1 for 1..9.99, 0 for 0.1..0.99, -1 for
// 0.01..): tells an overflow from an underflow when the conversion reports either.
int64_t magnitude_of(const NumberScan& scan) {
    size_t first = 0;
    while (first < scan.int_digits.size() && scan.int_digits[first] == '0') ++first;
    int64_t magnitude = 0;
    if (first < scan.int_digits.size()) {
        magnitude = static_cast<int64_t>(scan.int_digits.size() - first);
    } else {
        size_t zeros = 0;
        while (zeros < scan.frac_digits.size() && scan.frac_digits[zeros] == '0') ++zeros;
        magnitude = -static_cast<int64_t>(zeros);
    }
    return magnitude + exponent_of(scan);
}

bool all_zero(std::string_view digits) {
    for (char c : digits) {
        if (c != '0') return false;
    }
    return true;
}

enum class Range { kInRange, kOverflow };

// The value of a scanned number; an underflow gives a signed zero, an overflow is reported.
Range value_of(const NumberScan& scan, double& value) {
    if (all_zero(scan.int_digits) && all_zero(scan.frac_digits)) {
        value = scan.negative ? -0.0 : 0.0;
        return Range::kInRange;
    }
    std::string canonical;
    canonical.reserve(scan.int_digits.size() + scan.frac_digits.size() + 32);
    if (scan.negative) canonical += '-';
    canonical += scan.int_digits.empty() ? std::string_view("0") : scan.int_digits;
    canonical += '.';
    canonical += scan.frac_digits.empty() ? std::string_view("0") : scan.frac_digits;
    canonical += 'e';
    canonical += std::to_string(exponent_of(scan));

    double parsed = 0.0;
    const auto result =
        std::from_chars(canonical.data(), canonical.data() + canonical.size(), parsed);
    if (result.ec == std::errc()) {
        value = parsed;
        return Range::kInRange;
    }
    if (magnitude_of(scan) < 0) {
        value = scan.negative ? -0.0 : 0.0;
        return Range::kInRange;
    }
    value = scan.negative ? -std::numeric_limits<double>::infinity()
                          : std::numeric_limits<double>::infinity();
    return Range::kOverflow;
}

}  // namespace

std::optional<double> strict_decimal(const std::string& text) {
    NumberScan scan;
    if (!scan_number(text, scan)) return std::nullopt;
    size_t i = scan.end;
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i != text.size()) return std::nullopt;
    double value = 0.0;
    if (value_of(scan, value) == Range::kOverflow) return std::nullopt;
    return value;
}

double tolerant_decimal(const std::string& text) {
    NumberScan scan;
    if (!scan_number(text, scan)) return 0.0;
    double value = 0.0;
    value_of(scan, value);  // an overflow reads as the signed infinity
    return value;
}

std::optional<int32_t> whole_percent(const std::string& text) {
    const std::optional<double> value = strict_decimal(text);
    if (!value) return std::nullopt;
    const double whole = std::trunc(*value);
    if (whole < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        whole > static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::nullopt;
    }
    return static_cast<int32_t>(whole);
}

std::optional<int32_t> strict_integer(const std::string& text) {
    if (text.empty()) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (!is_digit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

bool digits_and_points(const std::string& text) {
    for (char c : text) {
        if (!is_digit(c) && c != '.') return false;
    }
    return true;
}

std::string format_weight(double value) {
    // Fixed notation with one decimal never needs the width 3 padding: "0.0" is already 3 long.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
    if (result.ec != std::errc()) return std::string();
    return std::string(buffer, result.ptr);
}

}  // namespace warpkit
