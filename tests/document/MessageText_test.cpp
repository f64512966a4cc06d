#include "document/MessageText.h"

#include <gtest/gtest.h>

namespace {

const std::string Ellipsis = "\xE2\x80\xA6";

TEST(MessageText, ShortTextsStayAsTheyAre) {
    EXPECT_EQ(tw::Shortened("", 5), "");
    EXPECT_EQ(tw::Shortened("abcde", 5), "abcde");
    // Five characters in more than five bytes.
    EXPECT_EQ(tw::Shortened("Zo\xC3\xAB\xC3\xAB\xC3\xAB", 5), "Zo\xC3\xAB\xC3\xAB\xC3\xAB");
}

TEST(MessageText, LongTextsKeepTheirStartAndAnEllipsis) {
    EXPECT_EQ(tw::Shortened("abcdef", 5), "abcd" + Ellipsis);
    EXPECT_EQ(tw::Shortened("abcdef", 1), Ellipsis);
    EXPECT_EQ(tw::Shortened("abcdef", 0), "");
    // Never a split character: the cut falls after whole ones.
    EXPECT_EQ(tw::Shortened("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 3), "\xC3\xA9\xC3\xA9" + Ellipsis);
    EXPECT_EQ(tw::Shortened("a\xF0\x9F\x98\x80" "bcd", 3), "a\xF0\x9F\x98\x80" + Ellipsis);
    // An invalid byte counts as one character.
    EXPECT_EQ(tw::Shortened("\xE9\xE9\xE9\xE9", 3), "\xE9\xE9" + Ellipsis);
    EXPECT_EQ(tw::Shortened("\xE2\x80xyz", 3), "\xE2\x80" + Ellipsis);

    const std::string huge(100 << 20, 'N');
    EXPECT_EQ(tw::ShownName(huge), std::string(tw::ShownNameChars - 1, 'N') + Ellipsis);
    EXPECT_EQ(tw::FitForBox(huge).size(), tw::ShownMessageChars - 1 + Ellipsis.size());
}

}  // namespace
