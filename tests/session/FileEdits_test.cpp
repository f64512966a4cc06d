// Editing any block of files the generator wrote: the ripple against a plain
// reading of the clock texts, replace / insert / remove against the index of
// the result, an insert taken out again giving back the file byte for byte,
// load-block against load-last, and failures (a block that is not there, a
// fault at each step of the write, a change by another program just before
// the rename) leaving the old file as it was.
#include "session/FileEdits.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "TempFolder.h"
#include "document/FieldRules.h"
#include "document/FileHeader.h"
#include "document/NumberText.h"
#include "generation/FileBlock.h"
#include "generation/GenerationRun.h"
#include "generation/ScriptFile.h"

namespace fs = std::filesystem;

namespace {

tw::DocumentTexts Doc(const std::string& seconds, const std::string& fps, int moving, const std::string& final = "-1") {
    tw::DocumentTexts doc;
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    doc.startTime = "0";
    doc.dKeyframe = seconds;
    doc.framesPSec = fps;
    doc.finishTime = seconds;
    doc.acceleration = "0";
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.names[r] = std::string(tw::RegisterCatalogue()[r].name);
        doc.initial[r] = doc.final[r] = "0.25";
    }
    for (int r = 0; r < moving; ++r) doc.final[r] = final;
    return doc;
}

// Every "\clock [t= X]" time as written, in order.
std::vector<std::string> ClockTexts(const std::string& bytes) {
    static const std::regex clock(R"(\\clock \[t= (-?[0-9]+\.[0-9]{3})\])");
    std::vector<std::string> times;
    for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), clock); it != std::sregex_iterator(); ++it)
        times.push_back((*it)[1]);
    return times;
}

// The bytes with every clock time blanked out.
std::string WithoutTimes(const std::string& bytes) {
    return std::regex_replace(bytes, std::regex(R"(\\clock \[t= -?[0-9]+\.[0-9]{3}\])"), "T");
}

// A time moved by hand: thousandths as integers.
std::string Moved(const std::string& text, long delta) {
    const bool minus = text[0] == '-';
    std::string digits = text.substr(minus ? 1 : 0);
    digits.erase(digits.size() - 4, 1);
    long value = std::stol(digits) * (minus ? -1 : 1) + delta;
    char out[40];
    std::snprintf(out, sizeof out, "%s%ld.%03ld", value < 0 ? "-" : "", std::labs(value) / 1000, std::labs(value) % 1000);
    return out;
}

class FileEditsTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        file = (folder / "walk.hap").string();
        tw::DocumentTexts doc = Doc("1", "10", 3);
        for (int i = 0; i < 4; ++i) {
            doc.startTime = tw::DecimalText(i * 1.0);
            doc.dKeyframe = i == 2 ? "0.5" : "1";
            doc.finishTime = tw::FinishTimeText(doc.startTime, doc.dKeyframe);
            doc.activeFile = file;
            ASSERT_TRUE(tw::AppendRun(doc));
        }
        original = Read(file);
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
        return names;
    }
    tw::BlockIndex Index() { return tw::IndexBlocks(Read(file)); }

    std::string file;
    std::string original;
};

}  // namespace

TEST(Ripple, MovesOnlyWrittenClockTimesByExactThousandthsKeepingEveryOtherByte) {
    const std::string bytes =
        "\\clock [t= 2.000]   x\r\\clock [t= 1.000]\n\\clock [t= 0.500]\r\n\\clock [t= 1.5] "
        "\\clock [t= 007.250]\\clock [t= -0.000]\\clock [t= 12.34]";
    const auto moved = tw::Ripple(bytes, -1234);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved.value(),
              "\\clock [t= 0.766]   x\r\\clock [t= -0.234]\n\\clock [t= -0.734]\r\n\\clock [t= 1.5] "
              "\\clock [t= 6.016]\\clock [t= -1.234]\\clock [t= 12.34]");
    EXPECT_EQ(tw::Ripple(bytes, 0).value(), bytes);
    EXPECT_EQ(tw::WrittenThousandths(-5), "-0.005");
    EXPECT_EQ(tw::WrittenThousandths(120000), "120.000");
    EXPECT_EQ(tw::Thousandths("1.2345"), std::nullopt);
    EXPECT_EQ(tw::Thousandths("-3.001"), -3001);
    EXPECT_FALSE(tw::Ripple("\\clock [t= 9999999999999999999.000]", 1));
}

TEST_F(FileEditsTest, ReplaceWithTheSameDurationLeavesEveryLaterByteAndOtherwiseRipplesTheLaterTimes) {
    const tw::BlockIndex before = Index();
    ASSERT_EQ(before.blocks.size(), 4u);
    // Same timing, other values: only block 2 changes.
    auto same = tw::ReplaceBlock(file, 2, Doc("1", "10", 5, "0.75"));
    ASSERT_TRUE(same) << same.error();
    EXPECT_EQ(same.value().ripple, 0);
    EXPECT_EQ(same.value().nextStartTime, "2");
    const std::string afterSame = Read(file);
    EXPECT_EQ(afterSame.substr(0, before.blocks[1].offset), original.substr(0, before.blocks[1].offset));
    EXPECT_EQ(afterSame.substr(afterSame.size() - (original.size() - before.blocks[1].end())),
              original.substr(before.blocks[1].end()));

    // 2.5 s instead of 1 s: blocks 3 and 4 move by 1.500.
    const std::string old = Read(file);
    const tw::BlockIndex oldIndex = Index();
    auto longer = tw::ReplaceBlock(file, 2, Doc("2.5", "10", 2));
    ASSERT_TRUE(longer) << longer.error();
    EXPECT_EQ(longer.value().ripple, 1500);
    EXPECT_EQ(longer.value().finish, "3.500");
    EXPECT_EQ(longer.value().nextStartTime, "3.5");
    const tw::BlockIndex now = Index();
    ASSERT_EQ(now.blocks.size(), 4u);
    EXPECT_EQ(now.blocks[1].start, "1.000");
    EXPECT_EQ(now.blocks[2].start, "3.500");
    const std::string bytes = Read(file);
    const std::string oldLater = old.substr(oldIndex.blocks[2].offset), newLater = bytes.substr(now.blocks[2].offset);
    EXPECT_EQ(WithoutTimes(oldLater), WithoutTimes(newLater));
    std::vector<std::string> expected;
    for (const std::string& t : ClockTexts(oldLater)) expected.push_back(Moved(t, 1500));
    EXPECT_EQ(ClockTexts(newLater), expected);
}

TEST_F(FileEditsTest, InsertThenRemoveGivesBackTheFileAndRemoveRipplesByMinusTheDuration) {
    auto inserted = tw::InsertBlockBefore(file, 2, Doc("0.7", "10", 1));
    ASSERT_TRUE(inserted) << inserted.error();
    EXPECT_EQ(inserted.value().ripple, 700);
    tw::BlockIndex now = Index();
    ASSERT_EQ(now.blocks.size(), 5u);
    EXPECT_EQ((std::vector<std::string>{now.blocks[1].start, now.blocks[1].finish, now.blocks[2].start}),
              (std::vector<std::string>{"1.000", "1.700", "1.700"}));
    auto removed = tw::RemoveBlock(file, 2);
    ASSERT_TRUE(removed) << removed.error();
    EXPECT_EQ(removed.value().ripple, -700);
    EXPECT_EQ(removed.value().removed, inserted.value().inserted);
    EXPECT_EQ(Read(file), original);

    // Removing the last block touches nothing before it.
    ASSERT_TRUE(tw::RemoveBlock(file, -1));
    EXPECT_EQ(Read(file), original.substr(0, tw::IndexBlocks(original).blocks[3].offset));
    EXPECT_EQ(Entries(), std::vector<std::string>{"walk.hap"});
}

TEST_F(FileEditsTest, LoadBlockIsTheLastBlockLoadOfTheFileEndingThere) {
    const tw::DocumentTexts start = Doc("1", "10", 0);
    const auto last = tw::LoadLastInto(file, start);
    const auto minusOne = tw::LoadBlockInto(file, -1, start);
    const auto four = tw::LoadBlockInto(file, 4, start);
    ASSERT_TRUE(last && minusOne && four);
    EXPECT_EQ(minusOne.value().document, last.value().document);
    EXPECT_EQ(four.value().document, last.value().document);
    // Block 3 loads as the last load of the file cut after it.
    const tw::BlockIndex index = Index();
    const std::string cut = (folder / "cut.hap").string();
    Write(cut, original.substr(0, index.blocks[2].end()));
    const auto three = tw::LoadBlockInto(file, 3, start);
    const auto cutLast = tw::LoadLastInto(cut, start);
    ASSERT_TRUE(three && cutLast);
    tw::DocumentTexts expected = cutLast.value().document;
    expected.activeFile = file;
    EXPECT_EQ(three.value().document, expected);
    EXPECT_EQ(three.value().document.startTime, "2");
    EXPECT_EQ(three.value().document.dKeyframe, "0.5");
    EXPECT_EQ(three.value().messages, cutLast.value().messages);
}

TEST_F(FileEditsTest, FailuresLeaveTheOldFileByteIdentical) {
    ::chmod(file.c_str(), 0640);
    for (long number : {0L, 5L, -5L}) {
        auto edit = tw::RemoveBlock(file, number);
        ASSERT_FALSE(edit);
        EXPECT_NE(edit.error().find("has no block " + std::to_string(number)), std::string::npos) << edit.error();
    }
    tw::DocumentTexts bad = Doc("1", "10", 1);
    bad.framesPSec = "0";
    EXPECT_FALSE(tw::ReplaceBlock(file, 1, bad));
    for (tw::EditStep step : {tw::EditStep::Created, tw::EditStep::Written, tw::EditStep::Synced,
                              tw::EditStep::BeforeRename}) {
        auto edit = tw::InsertBlockBefore(file, 1, Doc("1", "10", 1),
                                          [step](tw::EditStep at) { return at == step; });
        ASSERT_FALSE(edit);
        EXPECT_NE(edit.error().find("The file was not changed."), std::string::npos) << edit.error();
    }
    // Another program appends just before the rename.
    auto raced = tw::RemoveBlock(file, 1, [&](tw::EditStep at) {
        if (at == tw::EditStep::BeforeRename) std::ofstream(file, std::ios::app) << "x";
        return false;
    });
    ASSERT_FALSE(raced);
    EXPECT_NE(raced.error().find("changed by another program"), std::string::npos) << raced.error();
    EXPECT_EQ(Read(file), original + "x");
    Write(file, original);
    EXPECT_EQ(Entries(), std::vector<std::string>{"walk.hap"});
    // A cut-off last block is listed but not edited.
    Write(file, original + "\"#Haptek\r\n\r\n");
    auto cutOff = tw::RemoveBlock(file, -1);
    ASSERT_FALSE(cutOff);
    EXPECT_NE(cutOff.error().find("cut off"), std::string::npos);
    // A successful edit keeps the mode.
    Write(file, original);
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(tw::RemoveBlock(file, 1));
    struct stat info{};
    ::stat(file.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(FileEditsTest, AnEditThroughALinkReplacesTheFileItPointsToAndKeepsTheLink) {
    fs::create_directory(folder / "takes");
    const fs::path link = folder / "takes" / "current.hap";
    fs::create_symlink(file, link);
    ASSERT_TRUE(tw::RemoveBlock(link.string(), 1));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(link.string()), Read(file));
    EXPECT_EQ(Index().blocks.size(), 3u);
    // Nothing was left beside the link.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "takes"), fs::directory_iterator()), 1);
}
