// The blocks of a played file laid along the view's timeline: which block each
// column shows, where the boundaries between blocks fall, and what the
// tooltip of a block says. Plain values; the views draw and hit-test them.
//
// A block covers the columns from its start to its finish. Where blocks share
// a column the narrowest one shows there (the wider ones show elsewhere), and
// of equal ones the later in the file; so every block of a few columns can be
// pointed at, and a file of many thousand blocks still has one owner and at
// most one boundary per column. A block without register lines sits, one
// column wide, where the block before it finished.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reading/BlockIndex.h"
#include "session/Transport.h"

namespace tw {

// A block's place in time; `timed` false for a block with no register lines.
struct BlockSpan {
    double start = 0, finish = 0;
    bool timed = false;
};

// The spans of every block of `index`, in file order.
std::vector<BlockSpan> BlockSpans(const BlockIndex& index);

// A run of columns [left, right) showing one block (its position in the index).
struct StripRun {
    int left = 0, right = 0;
    std::size_t block = 0;
    // A thin gap at `left` marks the boundary with the block on its left; a
    // run of one column keeps its only column.
    bool gap = false;
    bool operator==(const StripRun&) const = default;
};

struct StripLayout {
    std::vector<int> owners;     // per column: the block shown there, or -1
    std::vector<StripRun> runs;  // left to right
};

StripLayout LayOutStrip(const std::vector<BlockSpan>& spans, const TimeScale& scale);

// The block shown at column x, none outside the strip or where no block is.
std::optional<std::size_t> BlockAtColumn(const StripLayout& layout, int x);

// "Block 3 of 7 · 4.000–6.500 s · 12 registers move", then the sub header's
// first line (in the file's code page, given as UTF-8) on a line of its own.
std::string BlockToolTip(const BlockIndex& index, std::size_t block);

// The heights of the strip, in pixels: in the view it is the timeline's own
// bar; in the large window it rises above the bar and numbers its blocks.
inline constexpr int LargeStripHeight = 30;
// A block's number is written in its run when the run is at least this much
// wider than the number.
inline constexpr int NumberMargin = 4;

// What says a file is still as it was indexed: inode, size and the times of
// its last change; none when it cannot be looked at.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0, changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const std::string& path);

}  // namespace tw
