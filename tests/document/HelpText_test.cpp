// The help text's structure: 67 CR LF lines, the title block, and each heading
// underlined with the right number of empty lines around it, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document/HelpText.h"

using namespace tw;

TEST(HelpText, LinesTitleAndHeadings) {
    std::string_view text = HelpText;
    ASSERT_TRUE(text.ends_with("\r\n"));
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        end = text.find("\r\n", start);
        lines.emplace_back(text.substr(start, end - start));
        EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos) << lines.back();
    }
    ASSERT_EQ(lines.size(), 67u);
    std::string ornament;
    for (int i = 0; i < 55; ++i) ornament += "#7";
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
              (std::vector<std::string>{"Tweenwright Help File.", "", ornament, ""}));
    size_t at = 4;
    for (std::string heading : {"The Basics.", "Figure Name & Frame timing settings.", "Other Functions.",
                                "Sub Header."}) {
        while (at < lines.size() && lines[at] != heading) ++at;
        ASSERT_LT(at + 2, lines.size()) << heading << " missing or out of order";
        EXPECT_EQ(lines[at + 1] + lines[at + 2], std::string(heading.size(), '_'));
        size_t blanks = heading == "Sub Header." ? 1 : 2;
        EXPECT_EQ(lines[at - blanks] + lines[at - 1], "") << heading;
        EXPECT_NE(lines[at - blanks - 1], "") << heading;
        EXPECT_TRUE(heading != "The Basics." || lines[at - 3] == "Enjoy animating! ");
    }
}
