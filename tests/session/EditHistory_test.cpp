// The edit history over random files: any sequence of adds, replaces, inserts
// and removes taken back step by step gives back each earlier file byte for
// byte, and made again gives each later one; a step refuses, changing
// nothing, on a file that is no longer as it left it; kept bytes are only the
// blocks, in the keep folder, gone with the history. And every edit waits for
// the writers' lock.
#include "session/EditHistory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "TempFolder.h"
#include "document/FieldRules.h"
#include "document/FileHeader.h"
#include "document/NumberText.h"
#include "generation/GenerationRun.h"

namespace fs = std::filesystem;

namespace {

tw::DocumentTexts RandomDoc(std::mt19937& random, const std::string& file) {
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    tw::DocumentTexts doc;
    doc.activeFile = file;
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    const char* durations[] = {"0.5", "1", "0.25", "1.3", "0.2"};
    const char* rates[] = {"4", "10", "7"};
    doc.startTime = tw::DecimalText(pick(40) * 0.125);
    doc.dKeyframe = durations[pick(5)];
    doc.framesPSec = rates[pick(3)];
    doc.finishTime = tw::FinishTimeText(doc.startTime, doc.dKeyframe);
    doc.acceleration = pick(3) ? "0" : "1.5";
    if (pick(3) == 0) doc.subHeader = "take " + std::to_string(pick(100));
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.names[r] = std::string(tw::RegisterCatalogue()[r].name);
        doc.initial[r] = doc.final[r] = "0";
    }
    for (int n = pick(4); n >= 0; --n)
        doc.final[pick(tw::RegisterCount)] = tw::DecimalText((pick(2001) - 1000) / 1000.0);
    return doc;
}

class EditHistoryTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        keep = folder / "keep";
        fs::create_directory(keep);
        file = (folder / "walk.hap").string();
    }
    std::unique_ptr<tw::EditHistory> History() {
        return std::make_unique<tw::EditHistory>(
            [this] { return tw::Outcome<std::string>::Success(keep.string()); });
    }
    std::size_t KeptCount() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(keep), fs::directory_iterator()));
    }
    // A file of generated blocks, now and then with hand-written bytes
    // between them and time texts the ripple does not write ("007.250").
    void MakeFile(std::mt19937& random) {
        const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        fs::remove(file);
        for (int b = 0, blocks = 1 + pick(5); b < blocks; ++b) {
            tw::DocumentTexts doc = RandomDoc(random, file);
            doc.startTime = tw::DecimalText(b * 2.0);
            doc.finishTime = tw::FinishTimeText(doc.startTime, doc.dKeyframe);
            ASSERT_TRUE(tw::AppendRun(doc));
            if (pick(4) == 0) std::ofstream(file, std::ios::app | std::ios::binary) << "a note by hand\r\n";
        }
        // Hand-written times: leading zeros in the last block's first
        // time, or minus zero for the first block's first time.
        std::string bytes = Read(file);
        if (pick(2)) {
            const std::size_t at = bytes.find("[t= ", bytes.rfind("\"#")) + 4;
            bytes.insert(at, "00");
        } else {
            bytes.insert(bytes.find("[t= 0.000]") + 4, "-");
        }
        Write(file, bytes);
    }

    fs::path keep;
    std::string file;
};

}  // namespace

TEST_F(EditHistoryTest, AnyEditsTakenBackGiveEachEarlierFileAndMadeAgainEachLaterOne) {
    std::mt19937 random(2026);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    int edits = 0, irregular = 0;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        MakeFile(random);
        auto history = History();
        std::vector<std::string> states{Read(file)};
        std::vector<tw::EditKind> kinds;
        for (int step = 0, steps = 1 + pick(5); step < steps; ++step) {
            const long count = static_cast<long>(tw::IndexBlocks(states.back()).blocks.size());
            const int kind = count == 0 ? 0 : pick(4);
            const long number = count == 0 ? 1
                                           : (pick(2) ? 1 + pick(static_cast<int>(count))
                                                      : -1 - pick(static_cast<int>(count)));
            tw::DocumentTexts doc = RandomDoc(random, file);
            if (kind == 0) {
                ASSERT_TRUE(tw::AppendRun(doc));
                history->Added(file);
                kinds.push_back(tw::EditKind::Add);
            } else {
                tw::Outcome<tw::BlockEdit> edit = kind == 1   ? history->Replace(file, number, doc)
                                                  : kind == 2 ? history->InsertBefore(file, number, doc)
                                                              : history->Remove(file, number);
                ASSERT_TRUE(edit) << edit.error();
                irregular += static_cast<int>(edit.value().irregular.size());
                kinds.push_back(kind == 1   ? tw::EditKind::Replace
                                : kind == 2 ? tw::EditKind::Insert
                                            : tw::EditKind::Remove);
                ++edits;
            }
            states.push_back(Read(file));
        }
        for (std::size_t step = kinds.size(); step-- > 0;) {
            const std::optional<tw::HistoryStep> next = history->NextUndo(file);
            if (kinds[step] == tw::EditKind::Add) {
                ASSERT_FALSE(next);
                const auto last = tw::FindLastAdd(file);
                ASSERT_TRUE(last) << last.error();
                ASSERT_TRUE(history->UndoAdd(last.value()));
            } else {
                ASSERT_TRUE(next);
                EXPECT_EQ(next->kind, kinds[step]);
                const auto undone = history->UndoEdit(file);
                ASSERT_TRUE(undone) << undone.error();
            }
            ASSERT_EQ(Read(file), states[step]) << "undo of step " << step;
        }
        for (std::size_t step = 0; step < kinds.size(); ++step) {
            ASSERT_TRUE(history->CanRedo(file));
            const auto redone = history->Redo(file);
            ASSERT_TRUE(redone) << redone.error();
            EXPECT_EQ(redone.value().add.has_value(), kinds[step] == tw::EditKind::Add);
            ASSERT_EQ(Read(file), states[step + 1]) << "redo of step " << step;
        }
        EXPECT_FALSE(history->CanRedo(file));
        history.reset();
        EXPECT_EQ(KeptCount(), 0u);
    }
    // The rounds did edit, and did move hand-written times.
    EXPECT_GT(edits, 40);
    EXPECT_GT(irregular, 0);
}

TEST_F(EditHistoryTest, AStepRefusesAFileThatIsNoLongerAsItLeftItAndChangesNothing) {
    std::mt19937 random(7);
    for (int b = 0; b < 3; ++b) {
        tw::DocumentTexts doc = RandomDoc(random, file);
        doc.startTime = tw::DecimalText(b * 1.0);
        doc.dKeyframe = "1";
        doc.finishTime = tw::FinishTimeText(doc.startTime, doc.dKeyframe);
        ASSERT_TRUE(tw::AppendRun(doc));
    }
    const std::string original = Read(file);
    auto history = History();
    tw::DocumentTexts longer = RandomDoc(random, file);
    longer.dKeyframe = "2.5";
    longer.framesPSec = "10";
    ASSERT_TRUE(history->Replace(file, 2, longer));
    const std::string edited = Read(file);
    // The replaced block is kept, as it stood, and only it.
    ASSERT_EQ(history->KeptFiles().size(), 1u);
    const tw::BlockIndex index = tw::IndexBlocks(original);
    EXPECT_EQ(Read(history->KeptFiles()[0]), original.substr(index.blocks[1].offset, index.blocks[1].length));

    // A later time changed by hand: same size, other bytes.
    std::string touched = edited;
    touched[touched.rfind("[t= ") + 4] ^= 1;
    Write(file, touched);
    const auto refused = history->UndoEdit(file);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().find("has changed since the replacement of block 2"), std::string::npos)
        << refused.error();
    EXPECT_EQ(Read(file), touched);
    ASSERT_TRUE(history->NextUndo(file));
    EXPECT_EQ(tw::EditHistory::UndoQuestion(*history->NextUndo(file), "walk.hap"),
              "Take back the replacement of block 2 (now 1.000\xE2\x80\x93"
              "3.500 s) in walk.hap?");

    Write(file, edited);
    ASSERT_TRUE(history->UndoEdit(file));
    EXPECT_EQ(Read(file), original);
    // A redo refuses a file that grew since the undo.
    Write(file, original + "\r\n");
    const auto noRedo = history->Redo(file);
    ASSERT_FALSE(noRedo);
    EXPECT_NE(noRedo.error().find("was taken back"), std::string::npos) << noRedo.error();
    EXPECT_EQ(Read(file), original + "\r\n");
    Write(file, original);
    const auto redone = history->Redo(file);
    ASSERT_TRUE(redone) << redone.error();
    EXPECT_EQ(redone.value().nextStartTime, "3.5");
    EXPECT_EQ(Read(file), edited);

    // A new add forgets nothing done, but what was taken back.
    ASSERT_TRUE(history->UndoEdit(file));
    history->Added(file);
    EXPECT_FALSE(history->CanRedo(file));
    EXPECT_TRUE(history->KeptFiles().empty());
}

TEST_F(EditHistoryTest, AnEditWaitsForAnotherWritersLockAndGivesUpAfterTheWait) {
    std::mt19937 random(3);
    ASSERT_TRUE(tw::AppendRun(RandomDoc(random, file)));
    ASSERT_TRUE(tw::AppendRun(RandomDoc(random, file)));
    const std::string original = Read(file);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    // Held throughout: refused, nothing written.
    const auto busy = tw::RemoveBlock(file, 1);
    ASSERT_FALSE(busy);
    EXPECT_EQ(busy.error(), "The file is being written by another program; it was not changed.");
    EXPECT_EQ(Read(file), original);
    // Given up part-way through the wait: the edit goes through after it.
    std::thread release([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::flock(fd, LOCK_UN);
    });
    const auto waited = tw::RemoveBlock(file, 1);
    release.join();
    ::close(fd);
    ASSERT_TRUE(waited) << waited.error();
    EXPECT_EQ(tw::IndexBlocks(Read(file)).blocks.size(), 1u);
}
