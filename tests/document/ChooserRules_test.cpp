// The chooser's confirm rules beyond what the window tests drive: blank typed
// names, picture names, modes that name no choice, and the separator at the root.
#include <gtest/gtest.h>

#include "document/ChooserRules.h"

using namespace tw;
using Kind = ChooserResult::Kind;

TEST(ConfirmChoice, BlankTypedNameWinsAndTheHeaderNamesIt) {
    ChooserResult r = ConfirmChoice(ChooserMode::HapFile, "/anims", "old.hap", "  ");
    EXPECT_EQ(r.kind, Kind::SetActiveFile);
    EXPECT_EQ(r.activeFile, "/anims/  .hap");
    EXPECT_EQ(r.fileHeader, "#Haptek  Version= 2.00 Name=   .hap   HapType= script FileType= text");
}

TEST(ConfirmChoice, PicturesByCaseSensitiveSubstringAnywhere) {
    EXPECT_EQ(ConfirmChoice(ChooserMode::Skin, "/p", "a.jpeg.old", "").command, "\\load [file= [/p/a.jpeg.old]]");
    EXPECT_EQ(ConfirmChoice(ChooserMode::Background, "/", "sky.jpg", "typed").command, "\\loadBG [file= [/sky.jpg]]");
    EXPECT_EQ(ConfirmChoice(ChooserMode::Background, "/p", "sky.JPEG", "").message,
              "please select a background file (*.jpg or *.jpeg)");
}

TEST(ConfirmChoice, NoModeAndOtherModesDoNothing) {
    EXPECT_EQ(ConfirmChoice(ChooserMode::Character, "/c", "a.htr", "").command, "\\load [file= [/c/a.htr]]");
    const std::optional<ChooserMode> modes[] = {std::nullopt, static_cast<ChooserMode>(0), static_cast<ChooserMode>(5)};
    for (const std::optional<ChooserMode> mode : modes) {
        const int shown = mode ? static_cast<int>(*mode) : -1;
        ChooserResult r = ConfirmChoice(mode, "/p", "a.hap", "b");
        EXPECT_EQ(r.kind, Kind::Nothing) << shown;
        EXPECT_EQ(r.activeFile + r.fileHeader + r.command + r.message, "") << shown;
    }
}

TEST(JoinPath, AddsOneSeparatorOnly) {
    EXPECT_EQ(JoinPath("/home/me", "a.hap"), "/home/me/a.hap");
    EXPECT_EQ(JoinPath("/", "a.hap"), "/a.hap");
}
