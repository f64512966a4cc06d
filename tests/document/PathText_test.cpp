#include "document/PathText.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "document/ChooserRules.h"

namespace {

TEST(PathText, UndecodableBytesShowEscapedAndComeBack) {
    struct Row {
        std::string bytes, shown;
    };
    for (const Row& row : {
             Row{"/home/anna/walk.hap", "/home/anna/walk.hap"},
             Row{"/m\xC3\xBCller/\xE2\x82\xAC.hap", "/m\xC3\xBCller/\xE2\x82\xAC.hap"},  // valid UTF-8 stays
             Row{"latin\xE9.hap", "latin\\xE9.hap"},
             Row{"\xFF\xFE", "\\xFF\\xFE"},
             Row{"cut\xE2\x82", "cut\\xE2\\x82"},           // a sequence cut short
             Row{"over\xC0\xAF", "over\\xC0\\xAF"},         // an overlong form
             Row{"sur\xED\xA0\x80", "sur\\xED\\xA0\\x80"},  // a surrogate
             Row{"a\\b\\x", "a\\b\\x"},                     // backslashes that read as no escape
             Row{"lit\\xE9", "lit\\x5CxE9"},                // one that would
         }) {
        SCOPED_TRACE(row.shown);
        EXPECT_EQ(tw::ShownPath(row.bytes), row.shown);
        EXPECT_EQ(tw::PathBytes(row.shown), row.bytes);
    }
}

TEST(FolderEntries, EveryNameWhateverItsBytes) {
    char pattern[] = "/tmp/tw-entries-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    for (const char* name : {"b.hap", "latin\xE9.hap", "A.hap", ".hidden"}) {
        FILE* f = std::fopen((folder + "/" + name).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    ASSERT_EQ(::mkdir((folder + "/sub\xFF").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo((folder + "/pipe").c_str(), 0600), 0);
    const auto files = tw::FolderEntries(folder, tw::EntryKind::Files);
    ASSERT_TRUE(files.ok());
    EXPECT_EQ(files.value(), (std::vector<std::string>{".hidden", "A.hap", "b.hap", "latin\\xE9.hap", "pipe"}));
    const auto folders = tw::FolderEntries(folder, tw::EntryKind::Folders);
    ASSERT_TRUE(folders.ok());
    EXPECT_EQ(folders.value(), std::vector<std::string>{"sub\\xFF"});
    EXPECT_FALSE(tw::FolderEntries(folder + "/missing", tw::EntryKind::Files).ok());
    std::filesystem::remove_all(folder);
}

}  // namespace
