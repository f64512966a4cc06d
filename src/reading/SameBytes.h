// Byte comparison for the readers' short, hot texts (register names, clock
// times), written out so that it compiles to a few word compares, not a call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tw {

// Whether the n bytes at a and b are the same: eight at a time, the last
// (partial) word overlapping the one before it; reads no byte past n.
[[gnu::always_inline]] inline bool SameBytes(const char* a, const char* b, std::size_t n) {
    auto word = [](const char* p, auto size) {
        decltype(size) w;
        std::memcpy(&w, p, sizeof w);
        return w;
    };
    if (n >= 8) {
        for (std::size_t i = 0; i + 8 < n; i += 8)
            if (word(a + i, std::uint64_t{}) != word(b + i, std::uint64_t{})) return false;
        return word(a + n - 8, std::uint64_t{}) == word(b + n - 8, std::uint64_t{});
    }
    if (n >= 4)
        return word(a, std::uint32_t{}) == word(b, std::uint32_t{}) &&
               word(a + n - 4, std::uint32_t{}) == word(b + n - 4, std::uint32_t{});
    for (std::size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// Whether two texts are the same bytes.
inline bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && SameBytes(a.data(), b.data(), a.size());
}

}  // namespace tw
