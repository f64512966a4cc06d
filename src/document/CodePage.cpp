#include "document/CodePage.h"

#include <cstdint>
#include <optional>

#include "document/Utf8Lead.h"

namespace tw {
namespace {

// The code points of bytes 0x80..0x9F; 0 marks the five unassigned bytes.
constexpr char32_t HighControlBlock[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The byte for code point c, or none when the code page has no place for it.
// The five bytes the code page leaves unassigned stand for the same code points.
std::optional<char> ByteFor(char32_t c) {
    if (c < 0xA0 && c >= 0x80) {
        if (HighControlBlock[c - 0x80] == 0) return static_cast<char>(c);
        return std::nullopt;
    }
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (HighControlBlock[i] == c) return static_cast<char>(0x80 + i);
    }
    return std::nullopt;
}

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Reads the UTF-8 character at utf8[i] and moves i past it. An invalid
// sequence (its longest valid-looking start, or one stray byte) gives none.
std::optional<char32_t> NextCodePoint(std::string_view utf8, std::size_t& i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
    const unsigned char lead = at(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    const Utf8Lead sequence = LeadOf(lead);
    const int length = sequence.length;
    if (length == 0) {
        ++i;
        return std::nullopt;
    }
    char32_t c = lead & (0xFF >> (length + 1));
    std::size_t k = i + 1;
    for (int n = 1; n < length; ++n, ++k) {
        if (k >= utf8.size()) break;
        const unsigned char b = at(k);
        const bool fits = n == 1 ? (b >= sequence.low && b <= sequence.high) : IsContinuation(b);
        if (!fits) break;
        c = (c << 6) | (b & 0x3F);
        if (n == length - 1) {
            i = k + 1;
            return c;
        }
    }
    // An incomplete sequence counts as a whole, up to the byte that broke it.
    i = k;
    return std::nullopt;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string EncodeCodePage(std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size() && static_cast<unsigned char>(utf8[i]) < 0x80) ++i;
    if (i == utf8.size()) return std::string(utf8);

    std::string out(utf8.substr(0, i));
    out.reserve(utf8.size());
    while (i < utf8.size()) {
        const std::optional<char32_t> c = NextCodePoint(utf8, i);
        const std::optional<char> byte = c ? ByteFor(*c) : std::nullopt;
        out += byte ? *byte : '?';
    }
    return out;
}

std::string DecodeCodePage(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) ++i;
    if (i == bytes.size()) return std::string(bytes);

    std::string out(bytes.substr(0, i));
    out.reserve(bytes.size() + (bytes.size() - i) * 2);
    for (; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x80 && b < 0xA0 && HighControlBlock[b - 0x80] != 0)
            AppendUtf8(out, HighControlBlock[b - 0x80]);
        else
            AppendUtf8(out, b);
    }
    return out;
}

std::optional<std::string> FirstCharacterOutsideCodePage(std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t start = i;
        const std::optional<char32_t> c = NextCodePoint(utf8, i);
        if (!c || !ByteFor(*c)) return std::string(utf8.substr(start, i - start));
    }
    return std::nullopt;
}

}  // namespace tw
