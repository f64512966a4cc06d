// Conversions between field texts and numbers. Every number the program reads
// from or writes into a field goes through here, never through the C library's
// locale-aware calls, so a decimal comma in the user's locale changes nothing.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tw {

// Lenient reading: blanks, tabs and line feeds anywhere are skipped; the longest
// leading number (sign, digits, one period, exponent with E or D) is the value;
// "&H"/"&O" start a hexadecimal or octal whole number; no number gives 0.
// A magnitude beyond the double range saturates at the largest finite double.
double NumericValue(std::string_view text);

// Strict reading: the whole text, blanks around it aside, must be one decimal
// number (sign, digits with at most one period, optional exponent E or D).
// Empty, partial, hexadecimal and out-of-range texts give no value.
std::optional<double> StrictNumber(std::string_view text);

// Decimal text of a double, rounded to 15 significant digits: "0.5", "-2",
// "1E-05", "1E+15". Zero (also negative zero) is "0".
std::string DecimalText(double value);

// The same form for a single-precision number, rounded to 7 significant digits.
std::string DecimalText(float value);

}  // namespace tw
