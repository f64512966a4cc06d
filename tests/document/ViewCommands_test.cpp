// The view's command texts: built and taken apart by the same rules.
#include <gtest/gtest.h>

#include "document/ViewCommands.h"

namespace tw {
namespace {

TEST(ViewCommand, ExactFormsOnly) {
    EXPECT_EQ(ParseViewCommand("\\Reset").kind, ViewCommandKind::Reset);
    const ViewCommand load = ParseViewCommand("\\load [file= [/tmp/a [1]].hap]]");
    EXPECT_EQ(load.kind, ViewCommandKind::Load);
    EXPECT_EQ(load.path, "/tmp/a [1]].hap");
    const ViewCommand bg = ParseViewCommand("\\loadBG [file= [/home/u/tweenwrightBG.jpeg]]");
    EXPECT_EQ(bg.kind, ViewCommandKind::LoadBackground);
    EXPECT_EQ(bg.path, "/home/u/tweenwrightBG.jpeg");
    for (const char* bad : {"\\reset", "\\Reset ", "\\load [file= []]", "\\load [file= [a.hap]", "\\load a.hap",
                            "\\loadbg [file= [a.jpg]]", "", "\\load [file=[a.hap]]"}) {
        const ViewCommand c = ParseViewCommand(bad);
        EXPECT_EQ(c.kind, ViewCommandKind::Unknown) << bad;
        EXPECT_TRUE(c.path.empty()) << bad;
    }
    // What the main window sends reads back as the same path.
    for (const char* path : {"/run/user/1000/tweenwright/initial.hap", "/tmp/odd ]] name.hap"}) {
        const ViewCommand sent = ParseViewCommand(LoadCommand(path));
        EXPECT_EQ(sent.kind, ViewCommandKind::Load);
        EXPECT_EQ(sent.path, path);
    }
    EXPECT_EQ(KindOfFile("/x/Lady.HTR"), LoadedKind::Character);
    EXPECT_EQ(KindOfFile("/x/skin.Jpeg"), LoadedKind::Picture);
    EXPECT_EQ(KindOfFile("/x/skin.jpg"), LoadedKind::Picture);
    EXPECT_EQ(KindOfFile("/x/jpg"), LoadedKind::Script);
    EXPECT_EQ(KindOfFile("/x/walk.hap"), LoadedKind::Script);
    EXPECT_EQ(FileNameOf("/run/user/1/initial.hap"), "initial.hap");
    EXPECT_EQ(FileNameOf("plain.hap"), "plain.hap");
}

}  // namespace
}  // namespace tw
