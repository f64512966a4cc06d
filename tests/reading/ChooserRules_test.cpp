// The chooser's confirm rules, case by case, as whole results.
#include <gtest/gtest.h>

#include "reading/ChooserRules.h"

using namespace tw;
using Kind = ChooserResult::Kind;

namespace {

const std::string kHeaderTail = "   HapType= script FileType= text";

struct Case {
    const char* mode;
    const char* folder;
    const char* selected;
    const char* typed;
    Kind kind;
    const char* text;  // active file, command or message, as the kind says
};

class ConfirmChoiceTest : public ::testing::TestWithParam<Case> {};

TEST_P(ConfirmChoiceTest, GivesTheWholeResult) {
    const Case& c = GetParam();
    ChooserResult r = ConfirmChoice(c.mode, c.folder, c.selected, c.typed);
    EXPECT_EQ(r.kind, c.kind);
    switch (c.kind) {
    case Kind::SetActiveFile: EXPECT_EQ(r.activeFile, c.text); break;
    case Kind::SendCommand: EXPECT_EQ(r.command, c.text); break;
    case Kind::Refuse: EXPECT_EQ(r.message, c.text); break;
    case Kind::Nothing: EXPECT_EQ(r.activeFile + r.command + r.message, ""); break;
    }
    if (c.kind != Kind::SetActiveFile) {
        EXPECT_EQ(r.fileHeader, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ConfirmChoiceTest,
    ::testing::Values(
        // Hap files: a typed name wins and always gets ".hap"; blanks are a name.
        Case{"1", "/anims", "", "wave", Kind::SetActiveFile, "/anims/wave.hap"},
        Case{"1", "/anims", "old.hap", "wave.hap", Kind::SetActiveFile, "/anims/wave.hap.hap"},
        Case{"1", "/anims", "old.hap", "  ", Kind::SetActiveFile, "/anims/  .hap"},
        Case{"1", "/anims", "notes.txt", "", Kind::SetActiveFile, "/anims/notes.txt"},
        Case{"1", "/", "top.hap", "", Kind::SetActiveFile, "/top.hap"},
        Case{"1", "/anims", "", "", Kind::Refuse, "Please select a file."},
        // Characters and pictures: case-sensitive substrings anywhere.
        Case{"2", "/c", "girl.htr", "typed", Kind::SendCommand, "\\load [file= [/c/girl.htr]]"},
        Case{"2", "/c", "MODEL.HTR", "", Kind::Refuse, "please select a character"},
        Case{"2", "/c", "", "", Kind::Refuse, "please select a character"},
        Case{"3", "/p", "x.jpg.bak", "", Kind::SendCommand, "\\load [file= [/p/x.jpg.bak]]"},
        Case{"3", "/p", "a.jpeg", "", Kind::SendCommand, "\\load [file= [/p/a.jpeg]]"},
        Case{"3", "/p", "PHOTO.JPG", "", Kind::Refuse, "please select a skin file (*.jpg or *.jpeg)"},
        Case{"4", "/", "sky.jpg", "", Kind::SendCommand, "\\loadBG [file= [/sky.jpg]]"},
        Case{"4", "/p", "PHOTO.JPG", "", Kind::Refuse,
             "please select a background file (*.jpg or *.jpeg)"},
        // The mode is read leniently; anything but 1 to 4 does nothing.
        Case{" 4 ", "/p", "sky.jpg", "", Kind::SendCommand, "\\loadBG [file= [/p/sky.jpg]]"},
        Case{"Text1", "/p", "a.hap", "b", Kind::Nothing, ""},
        Case{"5", "/p", "a.hap", "b", Kind::Nothing, ""},
        Case{"1.5", "/p", "a.hap", "b", Kind::Nothing, ""}));

TEST(ConfirmChoice, HeaderNamesTheFileWithItsExtension) {
    EXPECT_EQ(ConfirmChoice("1", "/a", "", "wave").fileHeader,
              "#Haptek  Version= 2.00 Name= wave.hap" + kHeaderTail);
    EXPECT_EQ(ConfirmChoice("1", "/a", "clip.txt", "").fileHeader,
              "#Haptek  Version= 2.00 Name= clip.txt" + kHeaderTail);
}

TEST(JoinPath, AddsOneSeparatorOnly) {
    EXPECT_EQ(JoinPath("/home/me", "a.hap"), "/home/me/a.hap");
    EXPECT_EQ(JoinPath("/", "a.hap"), "/a.hap");
    EXPECT_EQ(JoinPath("/home/me/", "a.hap"), "/home/me/a.hap");
}

}  // namespace
