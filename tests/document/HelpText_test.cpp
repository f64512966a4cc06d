// The help text's structure: CR LF lines, the title block, and each heading
// underlined and set apart by the right number of empty lines, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "document/HelpText.h"

using namespace tw;

namespace {

// Splits at CR LF; fails on a bare CR or LF or an unended last line.
std::vector<std::string> CrLfLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string_view::npos) {
            ADD_FAILURE() << "last line not ended";
            end = text.size();
        }
        std::string line(text.substr(start, end - start));
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "bare line end in: " << line;
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

TEST(HelpText, TitleBlockAndLineEnds) {
    std::vector<std::string> lines = CrLfLines(HelpText);
    ASSERT_EQ(lines.size(), 67u);
    std::string ornament;
    for (int i = 0; i < 55; ++i) ornament += "#7";
    EXPECT_EQ(lines[0], "Tweenwright Help File.");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], ornament);
    EXPECT_EQ(lines[3], "");
    EXPECT_FALSE(lines.back().empty());
}

TEST(HelpText, HeadingsInOrderUnderlinedAndSpaced) {
    std::vector<std::string> lines = CrLfLines(HelpText);
    const std::vector<std::string> headings = {"The Basics.", "Figure Name & Frame timing settings.",
                                               "Other Functions.", "Sub Header."};
    size_t from = 4;
    for (const std::string& heading : headings) {
        size_t at = from;
        while (at < lines.size() && lines[at] != heading) ++at;
        ASSERT_LT(at + 2, lines.size()) << heading << " missing or out of order";
        EXPECT_EQ(lines[at + 1], std::string(heading.size(), '_'));
        EXPECT_EQ(lines[at + 2], "");
        size_t blanksBefore = heading == "Sub Header." ? 1 : 2;
        for (size_t k = 1; k <= blanksBefore; ++k) EXPECT_EQ(lines[at - k], "") << heading;
        EXPECT_NE(lines[at - blanksBefore - 1], "") << heading << " has too many empty lines before it";
        from = at + 3;
    }
    // The introduction closes with its greeting right before the first heading.
    EXPECT_EQ(lines[std::find(lines.begin(), lines.end(), headings[0]) - lines.begin() - 3],
              "Enjoy animating! ");
}

}  // namespace
