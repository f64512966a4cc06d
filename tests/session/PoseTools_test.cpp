// The pose tools over real folders: a mirrored column in each of the four
// ways, and the library's names, saves, reads, renames and deletes, with
// damaged and foreign files listed but never applied.
#include "session/PoseTools.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>

#include "TempFolder.h"
#include "document/NumberText.h"
#include "generation/FileBlock.h"

namespace tw {
namespace {

int Reg(std::string_view name) {
    for (int i = 0; i < RegisterCount; ++i)
        if (RegisterCatalogue()[i].name == name) return i;
    return -1;
}

DocumentTexts Document() {
    DocumentTexts d;
    d.fileHeader = "#Haptek  Version= 2.00 Name= a.hap   HapType= script FileType= text";
    d.startTime = "0", d.dKeyframe = "1", d.framesPSec = "10", d.acceleration = "0", d.finishTime = "1";
    for (int r = 0; r < RegisterCount; ++r) {
        d.names[r] = RegisterCatalogue()[r].name;
        d.initial[r] = "0";
        d.final[r] = "0";
    }
    return d;
}

TEST(ApplyMirror, EachSideAsNamed) {
    DocumentTexts d = Document();
    d.initial[Reg("RShoOut")] = "0.5";
    d.final[Reg("HeadTwist")] = "0.25";
    DocumentTexts m = d;
    ApplyMirror(m, *MirrorSideNamed("initial"));
    EXPECT_EQ(m.initial[Reg("LShoOut")], "0.5");
    EXPECT_EQ(m.final, d.final);
    m = d;
    ApplyMirror(m, *MirrorSideNamed("final"));
    EXPECT_EQ(m.final[Reg("HeadTwist")], "-0.25");
    EXPECT_EQ(m.initial, d.initial);
    m = d;
    ApplyMirror(m, *MirrorSideNamed("both"));
    EXPECT_EQ(m.initial[Reg("LShoOut")], "0.5");
    EXPECT_EQ(m.final[Reg("HeadTwist")], "-0.25");
    m = d;
    ApplyMirror(m, *MirrorSideNamed("initial-to-final"));
    EXPECT_EQ(m.initial, d.initial);
    EXPECT_EQ(m.final, MirrorColumn(d.initial));
    EXPECT_FALSE(MirrorSideNamed("left"));
}

class PoseLibraryTest : public TempFolderTest {};

TEST_F(PoseLibraryTest, NamesThatCouldLeaveTheFolderOrHideAreRefused) {
    for (const std::string& bad : std::vector<std::string>{"a/b", "..", ".hidden", "   ", "", std::string(101, 'x'), std::string("a\0b", 3),
                                  std::string("tab\there")})
        EXPECT_TRUE(PoseLibrary::NameFault(bad)) << bad;
    for (const std::string& good : std::vector<std::string>{"arms folded", "hands on hips 2", "a..b", std::string(100, 'x'), "grüß"})
        EXPECT_FALSE(PoseLibrary::NameFault(good)) << good;
    PoseLibrary library(folder.string());
    EXPECT_FALSE(library.Save("../escape", Document(), KeyframeSide::Initial));
    EXPECT_FALSE(std::filesystem::exists(folder.parent_path() / "escape.hap"));
}

TEST_F(PoseLibraryTest, SaveThenApplyGivesBackTheColumn) {
    PoseLibrary library(folder.string());
    DocumentTexts d = Document();
    std::mt19937 random(3);
    std::uniform_int_distribution<int> thousandths(-3000, 3000);
    for (int r = 0; r < RegisterCount; ++r) d.final[r] = DecimalText(static_cast<float>(thousandths(random) / 1000.0));
    ASSERT_TRUE(library.Save("thinking", d, KeyframeSide::Final));
    EXPECT_TRUE(library.Has("thinking"));
    // The file is the keyframe preview's one-frame script.
    const std::string bytes = Read(library.PathOf("thinking"));
    EXPECT_EQ(bytes.rfind("\"#Haptek  Version= 2.00 Name= thinking.hap", 0), 0u);

    DocumentTexts target = Document();
    ASSERT_TRUE(library.Apply("thinking", target, KeyframeSide::Initial));
    EXPECT_EQ(target.initial, d.final);
    EXPECT_EQ(target.final, Document().final);
    EXPECT_EQ(library.Names(), std::vector<std::string>{"thinking"});
}

TEST_F(PoseLibraryTest, DamagedAndForeignFilesAreListedWithWhyAndNeverApplied) {
    PoseLibrary library(folder.string());
    Write(folder / "empty.hap", "");
    Write(folder / "words.hap", "not a script at all\n");
    Write(folder / "notes.txt", "ignored: not a pose file");
    ASSERT_TRUE(library.Save("ok", Document(), KeyframeSide::Initial));
    EXPECT_EQ(library.Names(), (std::vector<std::string>{"empty", "ok", "words"}));
    for (const char* name : {"empty", "words"}) {
        const SavedPose pose = library.Read(name);
        EXPECT_FALSE(pose.usable) << name;
        EXPECT_FALSE(pose.reason.empty()) << name;
        DocumentTexts d = Document();
        d.initial[0] = "7";
        EXPECT_FALSE(library.Apply(name, d, KeyframeSide::Initial));
        EXPECT_EQ(d.initial[0], "7");
    }
    EXPECT_TRUE(library.Read("ok").usable);
}

TEST_F(PoseLibraryTest, RenameNeverReplacesAndRemoveDeletes) {
    PoseLibrary library(folder.string());
    ASSERT_TRUE(library.Save("a", Document(), KeyframeSide::Initial));
    ASSERT_TRUE(library.Save("b", Document(), KeyframeSide::Initial));
    const std::string b = Read(library.PathOf("b"));
    EXPECT_FALSE(library.Rename("a", "b"));
    EXPECT_EQ(Read(library.PathOf("b")), b);
    EXPECT_FALSE(library.Rename("a", "x/y"));
    ASSERT_TRUE(library.Rename("a", "c"));
    EXPECT_EQ(library.Names(), (std::vector<std::string>{"b", "c"}));
    ASSERT_TRUE(library.Remove("b"));
    EXPECT_FALSE(library.Remove("b"));
    EXPECT_EQ(library.Names(), std::vector<std::string>{"c"});
}

TEST_F(PoseLibraryTest, TheUsersFolderIsMadePrivateAndALinkIsRefused) {
    const std::string data = (folder / "data").string();
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    Outcome<PoseLibrary> library = PoseLibrary::Open();
    ASSERT_TRUE(library) << library.error();
    EXPECT_EQ(library.value().Folder(), data + "/tweenwright/poses");
    struct stat info{};
    ASSERT_EQ(::stat(library.value().Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    const std::string linked = (folder / "linked").string();
    std::filesystem::create_directories(linked + "/tweenwright");
    std::filesystem::create_directory_symlink(folder / "elsewhere", linked + "/tweenwright/poses");
    std::filesystem::create_directory(folder / "elsewhere");
    setenv("XDG_DATA_HOME", linked.c_str(), 1);
    EXPECT_FALSE(PoseLibrary::Open());
    unsetenv("XDG_DATA_HOME");
}

}  // namespace
}  // namespace tw
