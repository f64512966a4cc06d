#include "document/CodePage.h"

#include <gtest/gtest.h>

namespace {

TEST(CodePage, AsciiAndLatin1) {
    EXPECT_EQ(tw::EncodeCodePage("Head Twist 1.5\r\n"), "Head Twist 1.5\r\n");
    EXPECT_EQ(tw::EncodeCodePage(""), "");
    EXPECT_EQ(tw::EncodeCodePage("caf\xC3\xA9 \xC2\xA0\xC3\xBF"), "caf\xE9 \xA0\xFF");
}

TEST(CodePage, TheTwentySevenHighCharacters) {
    const char* utf8[27] = {"€", "‚", "ƒ", "„", "…", "†", "‡", "ˆ", "‰", "Š", "‹", "Œ", "Ž", "‘",
                            "’", "“", "”", "•", "–", "—", "˜", "™", "š", "›", "œ", "ž", "Ÿ"};
    const unsigned char bytes[27] = {0x80, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
                                     0x8A, 0x8B, 0x8C, 0x8E, 0x91, 0x92, 0x93, 0x94, 0x95,
                                     0x96, 0x97, 0x98, 0x99, 0x9A, 0x9B, 0x9C, 0x9E, 0x9F};
    for (int i = 0; i < 27; ++i) {
        EXPECT_EQ(tw::EncodeCodePage(utf8[i]), std::string(1, static_cast<char>(bytes[i]))) << utf8[i];
    }
}

TEST(CodePage, OthersAndInvalidBecomeQuestionMarks) {
    EXPECT_EQ(tw::EncodeCodePage("a\xC2\x81" "b"), "a\x81" "b");        // unassigned byte, passed through
    EXPECT_EQ(tw::EncodeCodePage("\xC2\x80"), "?");                     // U+0080: 0x80 is the euro
    EXPECT_EQ(tw::EncodeCodePage("\xC4\x80\xE4\xB8\xAD\xF0\x9F\x98\x80"), "???");  // Ā 中 😀
    EXPECT_EQ(tw::EncodeCodePage("\x80x"), "?x");                       // stray continuation
    EXPECT_EQ(tw::EncodeCodePage("\xE2\x82x"), "?x");                   // cut short
    EXPECT_EQ(tw::EncodeCodePage("\xC0\xAF"), "??");                    // overlong
    EXPECT_EQ(tw::EncodeCodePage("\xED\xA0\x80"), "???");               // surrogate
    EXPECT_EQ(tw::EncodeCodePage("\xF4\x90\x80\x80"), "????");          // past U+10FFFF
    EXPECT_EQ(tw::EncodeCodePage("\xE2\x82"), "?");                     // cut at the end
}

TEST(CodePage, DecodingGivesBackEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string text = tw::DecodeCodePage(all);
    EXPECT_EQ(tw::EncodeCodePage(text), all);
    EXPECT_FALSE(tw::FirstCharacterOutsideCodePage(text));
    EXPECT_EQ(tw::DecodeCodePage("Zo\xEB \x80 \x9F\x81"), "Zoë € Ÿ\xC2\x81");
    EXPECT_EQ(tw::DecodeCodePage("plain"), "plain");
}

TEST(CodePage, FirstCharacterOutside) {
    EXPECT_FALSE(tw::FirstCharacterOutsideCodePage("Zoë € œ"));
    EXPECT_EQ(tw::FirstCharacterOutsideCodePage("Zoë 名前"), "名");
    EXPECT_EQ(tw::FirstCharacterOutsideCodePage("a\xC2\x80"), "\xC2\x80");
    EXPECT_EQ(tw::FirstCharacterOutsideCodePage("ab\xE2\x82"), "\xE2\x82");
    EXPECT_EQ(tw::FirstCharacterOutsideCodePage("\xFFx"), "\xFF");
}

}  // namespace
