#include "sound/Marks.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(Marks, ReadsLabelLinesAndCountsTheBadOnes) {
    const std::string text =
        "\xEF\xBB\xBF"
        "1.5\t1.75\thello\r\n"  // CR LF, a byte order mark before it
        "0.25\t0.25\t\n"        // a point with no text
        "\\\t100.0\t2000.0\n"   // the editors' frequency line: not counted
        "\n   \n"               // blank lines: not counted
        "2\t3\tthree words here\twith a tab\n"
        "abc\t1\tnot a time\n"           // bad
        "5\t4\tends before it starts\n"  // bad
        "-1\t2\tnegative\n"              // bad
        "1e999\t1e999\tinfinite\n"       // bad
        "7\n"                            // bad: no end
        "8\t9x\tjunk after a number\n"   // bad
        " 3.5 \t 4 \tspaced\n"
        "4\t5";  // no text, no line end
    const MarkList list = ParseLabels(text);
    EXPECT_EQ(list.skipped, 6);
    ASSERT_EQ(list.marks.size(), 5u);
    EXPECT_EQ(list.marks[0].start, 0.25);
    EXPECT_EQ(list.marks[0].end, 0.25);
    EXPECT_EQ(list.marks[0].text, "");
    EXPECT_EQ(list.marks[1].start, 1.5);
    EXPECT_EQ(list.marks[1].end, 1.75);
    EXPECT_EQ(list.marks[1].text, "hello");
    EXPECT_EQ(list.marks[2].text, "three words here\twith a tab");
    EXPECT_EQ(list.marks[3].start, 3.5);
    EXPECT_EQ(list.marks[3].text, "spaced");
    EXPECT_EQ(list.marks[4].start, 4);
    EXPECT_EQ(list.marks[4].text, "");
}

TEST(Marks, NothingButJunkGivesNoMarks) {
    const MarkList list = ParseLabels(std::string("\0\xff\t\t\nx\t\n", 8));
    EXPECT_TRUE(list.marks.empty());
    EXPECT_EQ(list.skipped, 2);
}

TEST(Marks, LabelsThatWouldOverlapAreThinned) {
    // Labels 10 columns wide with a gap of 2: the next may start at +12.
    const std::vector<int> columns{0, 5, 12, 13, 30, 41, 42};
    const std::vector<int> widths(columns.size(), 10);
    EXPECT_EQ(ShownLabels(columns, widths, 2),
              (std::vector<bool>{true, false, true, false, true, false, true}));
    EXPECT_EQ(ShownLabels({}, {}, 2), std::vector<bool>{});
}

}  // namespace
}  // namespace tw
