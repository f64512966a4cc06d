// A slow, exact "###0.000" for checking the writer: the full decimal expansion
// of the double, then decimal rounding of the text, half away from zero.
#pragma once

#include <charconv>
#include <cmath>
#include <string>

inline std::string ReferenceNumber(double x) {
    if (x == 0) return "0.000";
    static char digits[1500];
    // Every finite double has at most 1074 decimals: 1100 gives the exact value.
    const auto end = std::to_chars(digits, digits + sizeof digits, std::fabs(x),
                                   std::chars_format::fixed, 1100).ptr;
    std::string text(digits, end);
    const auto point = text.find('.');
    std::string whole = text.substr(0, point);
    std::string thousandths = text.substr(point + 1, 3);
    const bool up = text[point + 4] >= '5';  // the rest is at least one half
    std::string kept = whole + thousandths;
    if (up) {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0 && kept[i] == '9') kept[i--] = '0';
        if (i < 0) kept.insert(kept.begin(), '1');
        else ++kept[i];
    }
    std::string result = kept.substr(0, kept.size() - 3) + "." + kept.substr(kept.size() - 3);
    return (x < 0 ? "-" : "") + result;
}
