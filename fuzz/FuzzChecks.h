// What every fuzz target needs to state its checks: a failed check aborts, so
// libFuzzer (and the replay of the seeds under CTest) reports the input.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <string_view>

namespace fuzzcheck {

inline void Check(bool condition) {
    if (!condition) std::abort();
}

// A number in the script's "###0.000" form: an optional minus, at least one
// digit, a period and exactly three digits.
inline bool IsScriptNumber(std::string_view text) {
    const std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos || point == i || text.size() - point != 4) return false;
    for (std::size_t k = i; k < text.size(); ++k)
        if (k != point && (text[k] < '0' || text[k] > '9')) return false;
    return true;
}

}  // namespace fuzzcheck
