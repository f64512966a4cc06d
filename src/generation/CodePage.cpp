#include "generation/CodePage.h"

#include <cstdint>

namespace tw {
namespace {

// The code points of bytes 0x80..0x9F; 0 marks the five unassigned bytes.
constexpr char32_t HighControlBlock[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char ByteFor(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (HighControlBlock[i] == c && c != 0) return static_cast<char>(0x80 + i);
    }
    return '?';
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

}  // namespace

std::string EncodeCodePage(std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size() && static_cast<unsigned char>(utf8[i]) < 0x80) ++i;
    if (i == utf8.size()) return std::string(utf8);

    std::string out(utf8.substr(0, i));
    out.reserve(utf8.size());
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
    while (i < utf8.size()) {
        const unsigned char lead = at(i);
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        // Length and the allowed range of the second byte (which rules out
        // overlong forms, surrogates and code points past U+10FFFF).
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        }
        if (length == 0) {
            out += '?';
            ++i;
            continue;
        }
        char32_t c = lead & (0xFF >> (length + 1));
        std::size_t k = i + 1;
        bool complete = true;
        for (int n = 1; n < length; ++n, ++k) {
            if (k >= utf8.size()) {
                complete = false;
                break;
            }
            const unsigned char b = at(k);
            const bool fits = n == 1 ? (b >= low && b <= high) : IsContinuation(b);
            if (!fits) {
                complete = false;
                break;
            }
            c = (c << 6) | (b & 0x3F);
        }
        // An incomplete sequence is replaced as a whole, up to the byte that broke it.
        out += complete ? ByteFor(c) : '?';
        i = k;
    }
    return out;
}

}  // namespace tw
