#include "document/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tw {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsExponentLetter(char c) { return c == 'E' || c == 'e' || c == 'D' || c == 'd'; }

// The pieces of a decimal number as scanned from a text, in the form that
// std::from_chars reads ("-12.5e+3"), plus what decides overflow from underflow.
struct Scanned {
    std::string text;          // normalised number, only when digits were found
    bool hasDigits = false;
    bool negative = false;
    bool mantissaZero = true;  // every mantissa digit is 0
    long long leadExponent = 0;  // decimal exponent of the first non-zero digit, before the exponent part
    long long exponent = 0;      // exponent part, saturated
    char stop = '\0';             // the character that ended the number
};

// Collects a decimal number from a sequence of characters supplied by `next`
// (which returns '\0' at the end). Reading stops at the first character that
// cannot continue the number; `next` is then left positioned after it.
template <class Next>
Scanned ScanDecimal(Next&& next, char c) {
    Scanned s;
    if (c == '+' || c == '-') {
        s.negative = c == '-';
        if (s.negative) s.text += '-';
        c = next();
    }
    long long integerDigits = 0;
    long long firstNonZero = -1;  // position among all mantissa digits
    long long position = 0;
    bool seenPoint = false;
    for (;; c = next()) {
        if (IsDigit(c)) {
            s.hasDigits = true;
            if (c != '0' && firstNonZero < 0) firstNonZero = position;
            if (!seenPoint) ++integerDigits;
            ++position;
            s.text += c;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
            s.text += '.';
        } else {
            break;
        }
    }
    if (!s.hasDigits) return s;
    if (firstNonZero >= 0) {
        s.mantissaZero = false;
        s.leadExponent = integerDigits - 1 - firstNonZero;
    }
    if (IsExponentLetter(c)) {
        std::string exponentText = "e";
        c = next();
        bool negativeExponent = false;
        if (c == '+' || c == '-') {
            negativeExponent = c == '-';
            if (negativeExponent) exponentText += '-';
            c = next();
        }
        bool exponentDigits = false;
        for (; IsDigit(c); c = next()) {
            exponentDigits = true;
            exponentText += c;
            if (s.exponent < 1000000000) s.exponent = s.exponent * 10 + (c - '0');
        }
        if (negativeExponent) s.exponent = -s.exponent;
        if (exponentDigits) s.text += exponentText;
        else s.exponent = 0;
    }
    s.stop = c;
    return s;
}

// Converts scanned pieces; a result beyond the double range is reported as
// overflow (nullopt) while one below it becomes zero.
std::optional<double> Convert(const Scanned& s) {
    if (s.mantissaZero) return s.negative ? -0.0 : 0.0;
    double value = 0;
    const char* first = s.text.data();
    const char* last = first + s.text.size();
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        if (s.leadExponent + s.exponent > 0) return std::nullopt;
        return s.negative ? -0.0 : 0.0;
    }
    if (ec != std::errc() || ptr != last) return 0.0;
    return value;
}

double WholeNumber(std::string_view digits, int base) {
    double value = 0;
    for (char c : digits) value = value * base + c;
    return std::isfinite(value) ? value : std::numeric_limits<double>::max();
}

// Writes a number from its significant digits (no point) and decimal exponent.
std::string Assemble(bool negative, std::string digits, int exponent) {
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = negative ? "-" : "";
    if (exponent <= -5 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += exponent < 0 ? "E-" : "E+";
        int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        size_t integerLength = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= integerLength) {
            out += digits;
            out.append(integerLength - digits.size(), '0');
        } else {
            out.append(digits, 0, integerLength);
            out += '.';
            out.append(digits, integerLength);
        }
    }
    return out;
}

template <class Number>
std::string DecimalTextOf(Number value, int significantDigits) {
    if (std::isnan(value) || value == 0) return "0";
    if (std::isinf(value))
        value = std::copysign(std::numeric_limits<Number>::max(), value);
    // The largest doubles round up past the double range at 15 digits; their
    // text is the largest one that still reads back as a number.
    if (significantDigits == 15 && std::fabs(value) > 1.79769313486231e308)
        return value < 0 ? "-1.79769313486231E+308" : "1.79769313486231E+308";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                std::chars_format::scientific, significantDigits - 1);
    std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e))
        if (c != '.') digits += c;
    int exponent = 0;
    std::string_view exponentText = text.substr(e + 1);
    bool negativeExponent = exponentText.front() == '-';
    for (char c : exponentText.substr(1)) exponent = exponent * 10 + (c - '0');
    return Assemble(negative, digits, negativeExponent ? -exponent : exponent);
}

}  // namespace

double NumericValue(std::string_view text) {
    size_t i = 0;
    auto next = [&]() -> char {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
        return i < text.size() ? text[i++] : '\0';
    };
    char c = next();
    if (c == '&') {
        char kind = next();
        int base = (kind == 'H' || kind == 'h') ? 16 : (kind == 'O' || kind == 'o') ? 8 : 0;
        if (base == 0) return 0;
        std::string digits;
        for (c = next();; c = next()) {
            int d = IsDigit(c) ? c - '0'
                  : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                  : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                           : 99;
            if (d >= base) break;
            digits += static_cast<char>(d);
        }
        return WholeNumber(digits, base);
    }
    Scanned s = ScanDecimal(next, c);
    if (!s.hasDigits) return 0;
    if (auto value = Convert(s)) return *value;
    return s.negative ? -std::numeric_limits<double>::max() : std::numeric_limits<double>::max();
}

std::optional<double> StrictNumber(std::string_view text) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    size_t i = 0;
    bool atEnd = false;
    auto next = [&]() -> char {
        if (i < text.size()) return text[i++];
        atEnd = true;
        return '\0';
    };
    Scanned s = ScanDecimal(next, next());
    // The number must end exactly at the end of the text.
    if (!s.hasDigits || !atEnd || s.stop != '\0') return std::nullopt;
    // A dangling exponent letter ("1e", "1e+") was read but not taken.
    if (IsExponentLetter(text.back()) || text.back() == '+' || text.back() == '-')
        return std::nullopt;
    return Convert(s);
}

std::string DecimalText(double value) { return DecimalTextOf(value, 15); }

std::string DecimalText(float value) { return DecimalTextOf(value, 7); }

}  // namespace tw
