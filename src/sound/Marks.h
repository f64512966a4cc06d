// Word marks: the label files audio editors export (one mark a line: start
// seconds, a tab, end seconds, a tab, the text; start = end for a point), and
// which of the marks' texts fit on a timeline without overlapping.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

struct WordMark {
    double start = 0, end = 0;  // seconds into the sound
    std::string text;
};

struct MarkList {
    std::vector<WordMark> marks;  // by start time
    int skipped = 0;              // lines that are not a mark
};

// Reads a label file's text. Blank lines and the editors' own second lines
// (starting with a backslash: a frequency range) are passed over; any other
// line that is not two times (0 <= start <= end, finite) and a text is skipped
// and counted. The text may be empty and may hold tabs.
MarkList ParseLabels(std::string_view text);

// Which labels to write along a timeline: left to right, a label is shown
// when it starts at least `gap` columns after the end of the last one shown.
// `columns` ascending, `widths` the labels' widths in columns.
std::vector<bool> ShownLabels(const std::vector<int>& columns, const std::vector<int>& widths, int gap);

}  // namespace tw
