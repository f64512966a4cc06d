// The chooser's confirm rules beyond what the window tests drive: blank typed
// names, picture names, the mode as text, and the separator at the root.
#include <gtest/gtest.h>

#include "document/ChooserRules.h"

using namespace tw;
using Kind = ChooserResult::Kind;

TEST(ConfirmChoice, BlankTypedNameWinsAndTheHeaderNamesIt) {
    ChooserResult r = ConfirmChoice("1", "/anims", "old.hap", "  ");
    EXPECT_EQ(r.kind, Kind::SetActiveFile);
    EXPECT_EQ(r.activeFile, "/anims/  .hap");
    EXPECT_EQ(r.fileHeader, "#Haptek  Version= 2.00 Name=   .hap   HapType= script FileType= text");
}

TEST(ConfirmChoice, PicturesByCaseSensitiveSubstringAnywhere) {
    EXPECT_EQ(ConfirmChoice("3", "/p", "a.jpeg.old", "").command, "\\load [file= [/p/a.jpeg.old]]");
    EXPECT_EQ(ConfirmChoice("4", "/", "sky.jpg", "typed").command, "\\loadBG [file= [/sky.jpg]]");
    EXPECT_EQ(ConfirmChoice("4", "/p", "sky.JPEG", "").message,
              "please select a background file (*.jpg or *.jpeg)");
}

TEST(ConfirmChoice, ModeIsReadAsANumberAndOtherModesDoNothing) {
    EXPECT_EQ(ConfirmChoice(" 2 ", "/c", "a.htr", "").command, "\\load [file= [/c/a.htr]]");
    for (const char* mode : {"Text1", "5", "1.5", ""}) {
        ChooserResult r = ConfirmChoice(mode, "/p", "a.hap", "b");
        EXPECT_EQ(r.kind, Kind::Nothing) << mode;
        EXPECT_EQ(r.activeFile + r.fileHeader + r.command + r.message, "") << mode;
    }
}

TEST(JoinPath, AddsOneSeparatorOnly) {
    EXPECT_EQ(JoinPath("/home/me", "a.hap"), "/home/me/a.hap");
    EXPECT_EQ(JoinPath("/", "a.hap"), "/a.hap");
}
