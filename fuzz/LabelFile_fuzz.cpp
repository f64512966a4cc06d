// Any bytes as a label file of word marks: every mark read has finite times,
// 0 <= start <= end, comes in order of start, and the marks and skipped lines
// together are no more than the lines there are.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "FuzzChecks.h"
#include "sound/Marks.h"

using fuzzcheck::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tw::MarkList list = tw::ParseLabels(text);
    std::size_t lines = 1;
    for (char c : text) lines += c == '\n';
    Check(list.marks.size() + static_cast<std::size_t>(list.skipped) <= lines);
    for (std::size_t i = 0; i < list.marks.size(); ++i) {
        const tw::WordMark& m = list.marks[i];
        Check(std::isfinite(m.start) && std::isfinite(m.end) && m.start >= 0 && m.start <= m.end);
        Check(m.text.size() <= size);
        if (i > 0) Check(list.marks[i - 1].start <= m.start);
    }
    return 0;
}
