#include "generation/SavedFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class SavedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("tw-saved-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path Make(const std::string& name) {
        std::ofstream(dir / name) << "\"block\"\r\n";
        return dir / name;
    }
    fs::path dir;
};

TEST_F(SavedFileTest, RemovesOnlyTheNamedFile) {
    const fs::path walk = Make("walk.hap");
    Make("walk.hap.bak");
    Make("w*.hap");
    EXPECT_TRUE(tw::DeleteOneFile((dir / "w*.hap").string()).ok());
    EXPECT_TRUE(fs::exists(walk));
    EXPECT_TRUE(tw::DeleteOneFile(walk.string()).ok());
    EXPECT_FALSE(fs::exists(walk));
    EXPECT_TRUE(fs::exists(dir / "walk.hap.bak"));
}

TEST_F(SavedFileTest, LinkGoesTargetStays) {
    const fs::path target = Make("target.hap");
    fs::create_symlink(target, dir / "link.hap");
    EXPECT_TRUE(tw::DeleteOneFile((dir / "link.hap").string()).ok());
    EXPECT_FALSE(fs::is_symlink(dir / "link.hap"));
    EXPECT_TRUE(fs::exists(target));
}

TEST_F(SavedFileTest, RefusalsNameTheFileAndTheReason) {
    fs::create_directories(dir / "folder.hap" / "inside");
    const auto folder = tw::DeleteOneFile((dir / "folder.hap").string());
    EXPECT_EQ(folder.error(), "Could not delete \"" + (dir / "folder.hap").string() + "\": it is a folder.");
    EXPECT_TRUE(fs::exists(dir / "folder.hap" / "inside"));

    const auto missing = tw::DeleteOneFile((dir / "gone.hap").string());
    EXPECT_EQ(missing.error(),
              "Could not delete \"" + (dir / "gone.hap").string() + "\": No such file or directory.");

    // A path through a file cannot name anything to delete.
    const fs::path kept = Make("kept.hap");
    EXPECT_EQ(tw::DeleteOneFile((kept / "x").string()).error(),
              "Could not delete \"" + (kept / "x").string() + "\": Not a directory.");
    EXPECT_TRUE(fs::exists(kept));
}

}  // namespace
