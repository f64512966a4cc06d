#include "session/BlockStrip.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <numeric>
#include <utility>

#include "document/CodePage.h"

namespace tw {

namespace {

// A time as written ("12.345"), read the same way in any locale.
std::optional<double> TimeOf(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

// The next column at or after x that no block owns yet (x = width: none).
int NextFree(std::vector<int>& next, int x) {
    int root = x;
    while (next[root] != root) root = next[root];
    while (next[x] != root) x = std::exchange(next[x], root);
    return root;
}

}  // namespace

std::vector<BlockSpan> BlockSpans(const BlockIndex& index) {
    std::vector<BlockSpan> spans;
    spans.reserve(index.blocks.size());
    for (const BlockEntry& block : index.blocks) {
        const std::optional<double> start = TimeOf(block.start), finish = TimeOf(block.finish);
        BlockSpan span;
        if (start && finish) span = {std::min(*start, *finish), std::max(*start, *finish), true};
        spans.push_back(span);
    }
    return spans;
}

StripLayout LayOutStrip(const std::vector<BlockSpan>& spans, const TimeScale& scale) {
    StripLayout layout;
    const int width = std::max(scale.width, 0);
    layout.owners.assign(static_cast<std::size_t>(width), -1);
    if (width == 0 || spans.empty()) return layout;

    // Each block's columns [left, right).
    struct Cover {
        int left, right;
    };
    std::vector<Cover> covers(spans.size());
    double before = scale.first;  // where the block before finished
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (!spans[i].timed) {
            const int c = scale.ColumnOf(before);
            covers[i] = {c, c + 1};
            continue;
        }
        const double start = std::min(spans[i].start, spans[i].finish);
        const double finish = std::max(spans[i].start, spans[i].finish);
        const int left = scale.ColumnOf(start), last = scale.ColumnOf(finish);
        // The finish column begins the next block, except at the strip's end.
        covers[i] = {left, std::max(left + 1, last + (last == width - 1 ? 1 : 0))};
        before = finish;
    }

    // Narrowest first, and of equal ones the later in the file; each takes
    // the columns still free in its cover.
    std::vector<std::size_t> order(spans.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int wa = covers[a].right - covers[a].left, wb = covers[b].right - covers[b].left;
        return wa != wb ? wa < wb : a > b;
    });
    std::vector<int> next(static_cast<std::size_t>(width) + 1);
    std::iota(next.begin(), next.end(), 0);
    for (std::size_t i : order) {
        for (int x = NextFree(next, covers[i].left); x < covers[i].right; x = NextFree(next, x + 1)) {
            layout.owners[static_cast<std::size_t>(x)] = static_cast<int>(i);
            next[static_cast<std::size_t>(x)] = x + 1;
        }
    }

    for (int x = 0; x < width;) {
        const int owner = layout.owners[static_cast<std::size_t>(x)];
        int end = x + 1;
        while (end < width && layout.owners[static_cast<std::size_t>(end)] == owner) ++end;
        if (owner >= 0) {
            const bool neighbour = x > 0 && layout.owners[static_cast<std::size_t>(x - 1)] >= 0;
            layout.runs.push_back({x, end, static_cast<std::size_t>(owner), neighbour && end - x >= 2});
        }
        x = end;
    }
    return layout;
}

std::optional<std::size_t> BlockAtColumn(const StripLayout& layout, int x) {
    if (x < 0 || x >= static_cast<int>(layout.owners.size())) return std::nullopt;
    const int owner = layout.owners[static_cast<std::size_t>(x)];
    if (owner < 0) return std::nullopt;
    return static_cast<std::size_t>(owner);
}

std::string BlockToolTip(const BlockIndex& index, std::size_t k) {
    if (k >= index.blocks.size()) return {};
    const BlockEntry& block = index.blocks[k];
    std::string text = "Block " + std::to_string(k + 1) + " of " + std::to_string(index.blocks.size());
    if (block.start.empty()) {
        text += " \xC2\xB7 no register lines";
    } else {
        const std::size_t moving = block.registers.size();
        text += " \xC2\xB7 " + block.start + "\xE2\x80\x93" + block.finish + " s \xC2\xB7 " +
                std::to_string(moving) + (moving == 1 ? " register moves" : " registers move");
    }
    if (block.hasSubHeader) {
        const std::string first =
            DecodeCodePage(block.subHeader.substr(0, block.subHeader.find_first_of("\r\n")));
        if (!first.empty()) text += "\n" + first;
    }
    if (!block.complete) text += "\ncut off: it has no closing line, so it cannot be edited";
    return text;
}

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    FileStamp stamp;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.modifiedNs = std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    stamp.changedNs = std::int64_t{info.st_ctim.tv_sec} * 1000000000 + info.st_ctim.tv_nsec;
    return stamp;
}

}  // namespace tw
