// Where the previews go when the environment or another user gets in the way.
#include "document/FixedPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class PreviewFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tw-previews-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        base = pattern;
        ::setenv("TMPDIR", base.c_str(), 1);
        shared = base + "/tweenwright-" + std::to_string(::geteuid());
    }
    void TearDown() override {
        ::unsetenv("TMPDIR");
        ::unsetenv("XDG_RUNTIME_DIR");
        fs::remove_all(base);
    }
    std::string base, shared;
};

TEST_F(PreviewFolderTest, RelativeRuntimeFolderIsIgnored) {
    ::setenv("XDG_RUNTIME_DIR", "relative/run", 1);
    const auto folder = tw::PreviewFolder();
    ASSERT_TRUE(folder.ok()) << folder.error();
    EXPECT_EQ(folder.value(), shared);
    EXPECT_FALSE(fs::exists("relative"));
    ::setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
    EXPECT_EQ(tw::PreviewFolder().value(), base + "/tweenwright");
}

// The usual name taken first (a link to elsewhere, another user's folder): a
// private folder beside it, the same one for the whole run, said once.
TEST_F(PreviewFolderTest, TakenFolderGivesAPrivateOneSaidOnce) {
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(tw::TakePreviewFolderNotice(), "");
    fs::create_directory(base + "/elsewhere");
    fs::create_directory_symlink(base + "/elsewhere", shared);
    const auto first = tw::PreviewFolder();
    ASSERT_TRUE(first.ok()) << first.error();
    EXPECT_NE(first.value(), shared);
    EXPECT_EQ(first.value().rfind(shared + "-", 0), 0u) << first.value();
    struct stat info{};
    ASSERT_EQ(::lstat(first.value().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_EQ(tw::TakePreviewFolderNotice(), "The previews cannot be written to \"" + shared +
                                                 "\": it is a symbolic link. They are written to \"" + first.value() +
                                                 "\" instead.");
    EXPECT_EQ(tw::PreviewFolder().value(), first.value());
    EXPECT_EQ(tw::TakePreviewFolderNotice(), "");

    if (::geteuid() == 0) {  // only the superuser can give a folder away
        fs::remove(shared);
        fs::create_directory(shared);
        ASSERT_EQ(::chown(shared.c_str(), 4321, 4321), 0);
        EXPECT_EQ(tw::PreviewFolder().value(), first.value());
        EXPECT_EQ(tw::KeyframePreviewFile(tw::KeyframeSide::Initial).value(), first.value() + "/initial.hap");
    }

    // At the end of the run the previews go, and the folder with them unless
    // it holds something else (a record kept by taking back an add).
    const std::string kept = first.value() + "/undone-1-1-walk.hap";
    for (const std::string& file : {tw::AnimationPreviewPath(first.value()), kept})
        std::ofstream(file) << "\"record\"";
    tw::RemovePrivatePreviewFolder();
    EXPECT_FALSE(fs::exists(tw::AnimationPreviewPath(first.value())));
    EXPECT_TRUE(fs::exists(kept));
    const auto again = tw::PreviewFolder();  // the next run's: another private folder
    ASSERT_TRUE(again.ok()) << again.error();
    EXPECT_NE(again.value(), first.value());
    std::ofstream(tw::KeyframePreviewPath(again.value(), tw::KeyframeSide::Final)) << "\"pose\"";
    tw::RemovePrivatePreviewFolder();
    EXPECT_FALSE(fs::exists(again.value()));
    tw::RemovePrivatePreviewFolder();  // nothing made since: nothing to do
    EXPECT_TRUE(fs::exists(kept));
}

}  // namespace
