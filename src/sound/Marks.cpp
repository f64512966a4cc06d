#include "sound/Marks.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace tw {

namespace {

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::optional<double> Seconds(std::string_view field) {
    field = Trimmed(field);
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || error != std::errc() || end != field.data() + field.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

}  // namespace

MarkList ParseLabels(std::string_view text) {
    MarkList list;
    // A byte order mark at the very start is not part of the first time.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.find_first_not_of(" \t") == std::string_view::npos || line.front() == '\\') continue;
        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        const std::optional<double> start = Seconds(line.substr(0, tab1));
        const std::optional<double> end =
            tab1 == std::string_view::npos ? std::nullopt : Seconds(line.substr(tab1 + 1, tab2 - tab1 - 1));
        if (!start || !end || *start < 0 || *end < *start) {
            ++list.skipped;
            continue;
        }
        std::string words =
            tab2 == std::string_view::npos ? std::string() : std::string(line.substr(tab2 + 1));
        list.marks.push_back({*start, *end, std::move(words)});
    }
    std::stable_sort(list.marks.begin(), list.marks.end(),
                     [](const WordMark& a, const WordMark& b) { return a.start < b.start; });
    return list;
}

std::vector<bool> ShownLabels(const std::vector<int>& columns, const std::vector<int>& widths, int gap) {
    std::vector<bool> shown(columns.size(), false);
    bool any = false;
    long long freeFrom = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (any && columns[i] < freeFrom) continue;
        shown[i] = any = true;
        const int width = i < widths.size() ? widths[i] : 0;
        freeFrom = static_cast<long long>(columns[i]) + width + gap;
    }
    return shown;
}

}  // namespace tw
