#pragma once
// Text-to-number conversions of the weight fields and the frame dialog. Pure functions.
#include <cstdint>
#include <optional>
#include <string>

namespace warpkit {

// Optional blanks, optional sign, digits with at most one point (digits optional on either
// side), optional exponent, optional blanks, nothing else. A lone point reads as 0.
// Refuses an empty text, two points, anything else, and a value beyond the range of a double
// (a value too small for a double reads as 0). Independent of the process locale.
std::optional<double> strict_decimal(const std::string& text);

// The longest leading part that forms a number, read as the strict conversion reads it;
// 0 when there is none, a signed infinity when it is beyond a double. Never fails.
double tolerant_decimal(const std::string& text);

// The strict conversion truncated toward zero (refused when the strict one is, or when the
// value does not fit an int32).
std::optional<int32_t> whole_percent(const std::string& text);

// Digits only (no blank, sign or point; leading zeros allowed), fitting an int32: the frame
// dialog's whole numbers. Refuses the empty text.
std::optional<int32_t> strict_integer(const std::string& text);

// Every character a digit 0..9 or a point; the empty text passes.
bool digits_and_points(const std::string& text);

// "%3.1f" of a value, as the fields show weights, with a point whatever the process locale.
std::string format_weight(double value);

}  // namespace warpkit
