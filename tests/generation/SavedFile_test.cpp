#include "generation/SavedFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TempFolder.h"

namespace fs = std::filesystem;

namespace {

class SavedFileTest : public TempFolderTest {
protected:
    fs::path Make(const std::string& name) {
        std::ofstream(folder / name) << "\"block\"\r\n";
        return folder / name;
    }
};

TEST_F(SavedFileTest, RemovesOnlyTheNamedFile) {
    const fs::path walk = Make("walk.hap");
    Make("walk.hap.bak");
    Make("w*.hap");
    EXPECT_TRUE(tw::DeleteOneFile((folder / "w*.hap").string()).ok());
    EXPECT_TRUE(fs::exists(walk));
    EXPECT_TRUE(tw::DeleteOneFile(walk.string()).ok());
    EXPECT_FALSE(fs::exists(walk));
    EXPECT_TRUE(fs::exists(folder / "walk.hap.bak"));
}

TEST_F(SavedFileTest, LinkGoesTargetStays) {
    const fs::path target = Make("target.hap");
    fs::create_symlink(target, folder / "link.hap");
    EXPECT_TRUE(tw::DeleteOneFile((folder / "link.hap").string()).ok());
    EXPECT_FALSE(fs::is_symlink(folder / "link.hap"));
    EXPECT_TRUE(fs::exists(target));
}

TEST_F(SavedFileTest, RefusalsNameTheFileAndTheReason) {
    fs::create_directories(folder / "folder.hap" / "inside");
    const auto inFolder = tw::DeleteOneFile((folder / "folder.hap").string());
    EXPECT_EQ(inFolder.error(), "Could not delete \"" + (folder / "folder.hap").string() + "\": it is a folder.");
    EXPECT_TRUE(fs::exists(folder / "folder.hap" / "inside"));

    const auto missing = tw::DeleteOneFile((folder / "gone.hap").string());
    EXPECT_EQ(missing.error(),
              "Could not delete \"" + (folder / "gone.hap").string() + "\": No such file or directory.");

    // A path through a file cannot name anything to delete.
    const fs::path kept = Make("kept.hap");
    EXPECT_EQ(tw::DeleteOneFile((kept / "x").string()).error(),
              "Could not delete \"" + (kept / "x").string() + "\": Not a directory.");
    EXPECT_TRUE(fs::exists(kept));
}

}  // namespace
