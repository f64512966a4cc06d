// The strip of a file's blocks along the timeline: which block each column
// shows, the boundaries between them, and the tooltip naming a block.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/BlockStrip.h"

namespace tw {
namespace {

BlockSpan Timed(double start, double finish) { return {start, finish, true}; }

// The owner of every column, as text ("0011222" with '.' for none), to compare whole strips.
std::string Owners(const StripLayout& layout) {
    std::string text;
    for (int owner : layout.owners) text += owner < 0 ? '.' : static_cast<char>('0' + owner % 10);
    return text;
}

TEST(BlockStrip, BlocksFollowingEachOtherShareTheTimelineWithAGapAtEachBoundary) {
    // 0..6 s over 13 columns: two columns a second.
    const StripLayout layout = LayOutStrip({Timed(0, 2), Timed(2, 3), Timed(3, 6)}, TimeScale{0, 6, 13});
    EXPECT_EQ(Owners(layout), "0000112222222");
    EXPECT_EQ(layout.runs, (std::vector<StripRun>{{0, 4, 0, false}, {4, 6, 1, true}, {6, 13, 2, true}}));
    EXPECT_EQ(BlockAtColumn(layout, 3), 0u);
    EXPECT_EQ(BlockAtColumn(layout, 4), 1u);
    EXPECT_EQ(BlockAtColumn(layout, 12), 2u);
    EXPECT_EQ(BlockAtColumn(layout, 13), std::nullopt);
    EXPECT_EQ(BlockAtColumn(layout, -1), std::nullopt);
}

TEST(BlockStrip, TimeBetweenBlocksAndBlocksWithoutLinesAndOverlaps) {
    struct Row {
        const char* what;
        std::vector<BlockSpan> spans;
        TimeScale scale;
        const char* owners;
    } rows[] = {
        // A hand-edited file whose second block starts later than the first finished.
        {"time between", {Timed(0, 2), Timed(4, 6)}, {0, 6, 13}, "0000....11111"},
        // A block without register lines sits one column wide where the one before finished.
        {"no lines", {Timed(0, 2), BlockSpan{}, Timed(2, 6)}, {0, 6, 13}, "0000122222222"},
        {"no lines first", {BlockSpan{}, Timed(0, 6)}, {0, 6, 7}, "0111111"},
        // A short block inside a long one shows in its own columns.
        {"overlap", {Timed(0, 6), Timed(2, 3)}, {0, 6, 13}, "0000110000000"},
        {"written backwards", {Timed(3, 0)}, {0, 3, 4}, "0000"},
        {"one time", {Timed(1, 1)}, {1, 1, 5}, "0...."},
        {"no width", {Timed(0, 1)}, {0, 1, 0}, ""},
    };
    for (const Row& row : rows) EXPECT_EQ(Owners(LayOutStrip(row.spans, row.scale)), row.owners) << row.what;
}

TEST(BlockStrip, ManyThousandBlocksGiveOneOwnerAndAtMostOneBoundaryPerColumn) {
    std::vector<BlockSpan> spans;
    for (int b = 0; b < 10000; ++b) spans.push_back(Timed(b * 0.5, b * 0.5 + 0.5));
    const int width = 400;
    const StripLayout layout = LayOutStrip(spans, TimeScale{0, 5000, width});
    ASSERT_EQ(layout.owners.size(), static_cast<std::size_t>(width));
    ASSERT_LE(layout.runs.size(), static_cast<std::size_t>(width));
    // Every column shows a block, in file order from left to right, the
    // last one at the right end; runs tile the strip without overlap.
    for (int x = 1; x < width; ++x) EXPECT_LT(layout.owners[x - 1], layout.owners[x]) << x;
    EXPECT_EQ(layout.owners.back(), 9999);
    int next = 0;
    for (const StripRun& run : layout.runs) {
        EXPECT_EQ(run.left, next);
        EXPECT_FALSE(run.gap);  // one column each: no column is given to a gap
        next = run.right;
    }
    EXPECT_EQ(next, width);
}

TEST(BlockStrip, SpansReadTheTimesAsWritten) {
    BlockIndex index;
    index.blocks.resize(3);
    index.blocks[0].start = "4.000";
    index.blocks[0].finish = "6.500";
    index.blocks[1].start = "-1.250";
    index.blocks[1].finish = "-3.000";
    const std::vector<BlockSpan> spans = BlockSpans(index);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_TRUE(spans[0].timed);
    EXPECT_DOUBLE_EQ(spans[0].start, 4.0);
    EXPECT_DOUBLE_EQ(spans[0].finish, 6.5);
    EXPECT_DOUBLE_EQ(spans[1].start, -3.0);
    EXPECT_DOUBLE_EQ(spans[1].finish, -1.25);
    EXPECT_FALSE(spans[2].timed);
}

TEST(BlockStrip, ToolTipNamesTheBlockItsTimesItsRegistersAndItsSubHeader) {
    BlockIndex index;
    index.blocks.resize(7);
    for (BlockEntry& block : index.blocks) block.complete = true;
    BlockEntry& third = index.blocks[2];
    third.start = "4.000";
    third.finish = "6.500";
    for (int r = 0; r < 12; ++r) third.registers.push_back("R" + std::to_string(r));
    third.hasSubHeader = true;
    third.subHeader = "Caf\xE9 scene\r\nsecond line";
    index.blocks[3].start = "6.500";
    index.blocks[3].finish = "7.000";
    index.blocks[3].registers = {"HeadTwist"};
    index.blocks[3].hasSubHeader = true;  // an empty sub header adds no line
    index.blocks[6].complete = false;
    index.blocks[6].start = "9.000";
    index.blocks[6].finish = "9.000";

    EXPECT_EQ(BlockToolTip(index, 2),
              "Block 3 of 7 \xC2\xB7 4.000\xE2\x80\x93"
              "6.500 s \xC2\xB7 12 registers move\nCaf\xC3\xA9 scene");
    EXPECT_EQ(BlockToolTip(index, 3),
              "Block 4 of 7 \xC2\xB7 6.500\xE2\x80\x93"
              "7.000 s \xC2\xB7 1 register moves");
    EXPECT_EQ(BlockToolTip(index, 4), "Block 5 of 7 \xC2\xB7 no register lines");
    EXPECT_EQ(BlockToolTip(index, 6),
              "Block 7 of 7 \xC2\xB7 9.000\xE2\x80\x93"
              "9.000 s \xC2\xB7 0 registers move\n"
              "cut off: it has no closing line, so it cannot be edited");
    EXPECT_EQ(BlockToolTip(index, 7), "");
}

}  // namespace
}  // namespace tw
