// Hand-written decimal digits for the script writer's hot loop: no locale, no
// allocation, two digits per step from a small table.
#pragma once

#include <cstdint>
#include <cstring>

namespace tw {

inline constexpr char DigitPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Number of decimal digits of v (1 for 0).
inline int DecimalDigitCount(std::uint64_t v) {
    int count = 1;
    while (v >= 10000) {
        v /= 10000;
        count += 4;
    }
    if (v >= 10) ++count;
    if (v >= 100) ++count;
    if (v >= 1000) ++count;
    return count;
}

// Writes the decimal digits of v, at least one, and returns the end.
inline char* WriteDecimal(char* out, std::uint64_t v) {
    const int count = DecimalDigitCount(v);
    char* p = out + count;
    while (v >= 100) {
        const auto pair = static_cast<unsigned>(v % 100);
        v /= 100;
        p -= 2;
        std::memcpy(p, DigitPairs + 2 * pair, 2);
    }
    if (v >= 10) {
        p -= 2;
        std::memcpy(p, DigitPairs + 2 * v, 2);
    } else {
        *--p = static_cast<char>('0' + v);
    }
    return out + count;
}

// Writes v (below 1000) as exactly three digits.
inline char* WriteThreeDigits(char* out, unsigned v) {
    out[0] = static_cast<char>('0' + v / 100);
    std::memcpy(out + 1, DigitPairs + 2 * (v % 100), 2);
    return out + 3;
}

}  // namespace tw
