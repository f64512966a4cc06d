#include "session/AddHistory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <thread>

#include "TempFolder.h"
#include "generation/FileBlock.h"
#include "generation/HapScript.h"
#include "generation/ScriptFile.h"
#include "reading/LastAnimationLoader.h"

namespace fs = std::filesystem;

namespace {

tw::DocumentTexts Plain() {
    tw::DocumentTexts doc;
    doc.dKeyframe = "0.3";
    doc.framesPSec = "10";
    doc.startTime = "0";
    doc.acceleration = "0";
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.names[r] = std::string(tw::RegisterCatalogue()[r].name);
        doc.initial[r] = doc.final[r] = "0";
    }
    return doc;
}

// A document as an animator might add it: random timing, values with up to
// three decimals on some registers, and now and then a sub header, a figure
// name, custom register names, another header or a curve.
tw::DocumentTexts RandomDocument(std::mt19937& random, bool linearWithoutFigure) {
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    tw::DocumentTexts doc = Plain();
    const char* durations[] = {"0.1", "0.2", "0.5", "1", "1.5", "2", "0.25"};
    const char* rates[] = {"4", "5", "10", "12", "15", "24", "25", "30"};
    do {
        doc.dKeyframe = durations[pick(7)];
        doc.framesPSec = rates[pick(8)];
        // A run that is to come back from the file has a whole number of
        // frames, as the duration field keeps it.
    } while (linearWithoutFigure && std::fmod(std::stod(doc.dKeyframe) * std::stod(doc.framesPSec), 1.0) != 0);
    doc.startTime = std::to_string(pick(80)) + (pick(2) ? ".5" : "");
    if (!linearWithoutFigure) {
        const char* accelerations[] = {"0", "0.5", "-0.75", "3"};
        doc.acceleration = accelerations[pick(4)];
        if (pick(3) == 0) doc.figure = pick(2) ? "Bob" : "Zo\xC3\xAB";
    }
    if (pick(3) == 0) doc.fileHeader = "#Haptek  Version= 2.00 Name= caf\xC3\xA9.hap   HapType= script FileType= text";
    if (pick(3) == 0) {
        // The load reads a name up to its first blank, so a name with a blank
        // cannot come back from a file.
        const std::string blank = linearWithoutFigure ? "" : " ";
        for (int r = 0; r < tw::RegisterCount; r += 1 + pick(9))
            doc.names[r] = "Custom" + blank + std::to_string(r) + "\xC3\xA5";
    }
    // Some registers move (at least one when the run is to come back from
    // the file, which holds no duration for a run where nothing moves).
    for (int moving = pick(12) + (linearWithoutFigure ? 1 : 0); moving > 0; --moving) {
        const int r = pick(tw::RegisterCount);
        const auto value = [&] {
            std::string text = std::to_string(pick(180) - 90);
            if (pick(2)) text += "." + std::to_string(pick(1000));
            return text;
        };
        doc.initial[r] = value();
        doc.final[r] = value();
        if (doc.final[r] == doc.initial[r]) doc.final[r] = std::to_string(100 + pick(90));
    }
    if (pick(2) == 0) {
        // The load takes a clock in the sub header for the run's first, so a
        // run that is to come back has none there.
        const char* lines[] = {"\\loadBG [file= [a.jpg]]", "", "Stimme \xC3\xA9t\xC3\xA9", "x\"y", "\r\n",
                               "\\clock [t= 1.000]   \\setreg[name= HeadSideBend   f0= 2.000]"};
        for (int n = 1 + pick(3); n > 0; --n) {
            doc.subHeader += lines[pick(linearWithoutFigure ? 5 : 6)];
            if (n > 1) doc.subHeader += "\n";
        }
        if (doc.subHeader.empty()) doc.subHeader += "x";
        if (pick(2)) doc.subHeader += "\n";
    }
    return doc;
}

std::string Block(const tw::DocumentTexts& doc) {
    auto block = tw::BlockFor(tw::BlockDestination::File, doc);
    EXPECT_TRUE(block.ok()) << block.error();
    return block.ok() ? block.value().text : "";
}

// Adds a run of `doc` to the file as "Generate & add to file" does.
void Add(const fs::path& file, const tw::DocumentTexts& doc) {
    ASSERT_TRUE(tw::AppendQuotedRecord(file, Block(doc)).ok());
}

class AddHistoryTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        kept = folder / "kept";
        fs::create_directory(kept);
        history = std::make_unique<tw::AddHistory>(
            [this] { return tw::Outcome<std::string>::Success(kept.string()); });
    }
    void TearDown() override {
        history.reset();
        TempFolderTest::TearDown();
    }
    int KeptCount() const { return static_cast<int>(std::distance(fs::directory_iterator(kept), {})); }

    // Takes back the last add of `file`, as a Yes to the question does.
    tw::LastAdd Undo(const fs::path& file) {
        tw::Outcome<tw::LastAdd> last = tw::FindLastAdd(file.string());
        EXPECT_TRUE(last.ok()) << last.error();
        if (!last) return {};
        const tw::Outcome<void> undone = history->Undo(last.value());
        EXPECT_TRUE(undone.ok()) << undone.error();
        return last.value();
    }

    fs::path kept;
    std::unique_ptr<tw::AddHistory> history;
};

TEST_F(AddHistoryTest, UndosAndRedosGiveBackEveryEarlierFileByteForByte) {
    std::mt19937 random(17);
    for (int round = 0; round < 25; ++round) {
        const fs::path file = folder / ("take" + std::to_string(round) + ".hap");
        std::vector<std::string> after{""};  // the file after each add
        const int adds = 2 + static_cast<int>(random() % 4);
        for (int n = 0; n < adds; ++n) {
            Add(file, RandomDocument(random, false));
            after.push_back(Read(file));
        }
        // One undo and its redo, then every undo down to the empty file.
        Undo(file);
        ASSERT_EQ(Read(file), after[adds - 1]) << round;
        ASSERT_TRUE(history->Redo(file.string()).ok());
        ASSERT_EQ(Read(file), after[adds]) << round;
        for (int k = 1; k <= adds; ++k) {
            Undo(file);
            ASSERT_EQ(Read(file), after[adds - k]) << round << " after undo " << k;
        }
        EXPECT_TRUE(fs::exists(file));
        EXPECT_EQ(KeptCount(), adds);
        const tw::Outcome<tw::LastAdd> none = tw::FindLastAdd(file.string());
        ASSERT_FALSE(none.ok());
        EXPECT_NE(none.error().find("is empty"), std::string::npos) << none.error();
        for (int k = 1; k <= adds; ++k) {
            ASSERT_TRUE(history->Redo(file.string()).ok()) << round;
            ASSERT_EQ(Read(file), after[k]) << round << " after redo " << k;
        }
        EXPECT_FALSE(history->CanRedo(file.string()));
        EXPECT_EQ(KeptCount(), 0);
    }
}

TEST_F(AddHistoryTest, ALinearRunAddedAgainAfterUndoIsTheSameRecord) {
    std::mt19937 random(1708);
    for (int round = 0; round < 40; ++round) {
        const fs::path file = folder / "again.hap";
        fs::remove(file);
        const tw::DocumentTexts added = RandomDocument(random, true);
        Add(file, RandomDocument(random, true));
        Add(file, added);
        const std::string before = Read(file);
        const tw::LastAdd undone = Undo(file);

        // The form as it stands after the undo: another document with the same
        // name cells, then the load, the header and the sub header.
        tw::DocumentTexts form = RandomDocument(random, true);
        form.names = added.names;
        form.figure.clear();
        const tw::LoadedAnimation loaded = tw::LoadLastAnimation(undone.record, form.names);
        EXPECT_EQ(loaded.unknownNameCount, 0u);
        tw::ApplyLoadedAnimation(loaded, form);
        form.fileHeader = undone.header;
        form.subHeader = undone.subHeader;
        form.acceleration = "0";
        EXPECT_EQ(tw::QuotedRecord(Block(form)), undone.record) << round;
        Add(file, form);
        EXPECT_EQ(Read(file), before) << round;
    }
}

TEST_F(AddHistoryTest, WhatTheLoadCannotBringBack) {
    // A figure name: the loader reads none of the block's values.
    tw::DocumentTexts doc = Plain();
    doc.figure = "Bob";
    doc.final[0] = "10";
    const fs::path file = folder / "figure.hap";
    Add(file, doc);
    tw::LastAdd undone = Undo(file);
    tw::LoadedAnimation loaded = tw::LoadLastAnimation(undone.record, doc.names);
    EXPECT_EQ(tw::LoadMessages(loaded).front(), tw::UnknownNameMessage(""));
    EXPECT_EQ(loaded.unknownNameCount, 1u);
    EXPECT_FALSE(loaded.initial[0].has_value());

    // More than three decimals, or a curve: the file holds only the values as
    // written, so the in-between frames come out differently.
    for (const auto& [initial, acceleration] : {std::pair{"0.12345", "0"}, std::pair{"0", "2"}}) {
        doc = Plain();
        doc.initial[0] = initial;
        doc.final[0] = "10";
        doc.acceleration = acceleration;
        Add(file, doc);
        undone = Undo(file);
        tw::DocumentTexts form = Plain();
        tw::ApplyLoadedAnimation(tw::LoadLastAnimation(undone.record, form.names), form);
        EXPECT_NE(tw::QuotedRecord(Block(form)), undone.record) << initial << acceleration;
    }
}

TEST_F(AddHistoryTest, TheQuestionNamesTheTimesAndTheFile) {
    const fs::path file = folder / "q.hap";
    tw::DocumentTexts doc = Plain();
    doc.startTime = "2.5";
    doc.final[7] = "1";
    Add(file, doc);
    tw::Outcome<tw::LastAdd> last = tw::FindLastAdd(file.string());
    ASSERT_TRUE(last.ok());
    EXPECT_EQ(tw::UndoQuestion(last.value(), "talk \xC3\xA9.hap"),
              "Remove the last animation (from 2.500 to 2.800 s) from talk \xC3\xA9.hap?");
    EXPECT_EQ(tw::StartTimeAfterRedo(last.value(), "7"), "2.8");
    doc.dKeyframe = "-1";
    Add(file, doc);
    last = tw::FindLastAdd(file.string());
    ASSERT_TRUE(last.ok());
    // No clock time after the first: the block does not say where it ends.
    EXPECT_EQ(tw::StartTimeAfterRedo(last.value(), "1.5"), "1.5");
    EXPECT_EQ(tw::UndoQuestion(last.value(), "talk \xC3\xA9.hap"),
              "Remove the last animation (it holds no frames) from talk \xC3\xA9.hap?");
}

TEST_F(AddHistoryTest, AFileThatCannotBeCutStaysAsItWas) {
    const fs::path file = folder / "cut.hap";
    Add(file, Plain());
    Add(file, Plain());
    const std::string before = Read(file);
    const auto refused = [&](const tw::LastAdd& add, const std::string& reason) {
        const tw::Outcome<void> undone = history->Undo(add);
        ASSERT_FALSE(undone.ok());
        EXPECT_NE(undone.error().find(reason), std::string::npos) << undone.error();
        EXPECT_NE(undone.error().find(add.path), std::string::npos) << undone.error();
        EXPECT_EQ(KeptCount(), 0);
        EXPECT_FALSE(history->CanRedo(add.path));
    };

    // Changed between the look and the cut: longer, or the same length with
    // another byte in the record.
    tw::LastAdd add = tw::FindLastAdd(file.string()).value();
    Write(file, before + "x");
    refused(add, "bytes long, not");
    EXPECT_EQ(Read(file), before + "x");
    std::string changed = before;
    changed[changed.size() - 10] = '9';
    Write(file, changed);
    refused(add, "no longer the same");
    EXPECT_EQ(Read(file), changed);

    // Gone, or something else than a file now.
    Write(file, before);
    fs::rename(file, folder / "away.hap");
    refused(add, "No such file");
    EXPECT_FALSE(fs::exists(file));
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    ::alarm(10);  // a cut that waits on the pipe ends the test here
    refused(add, "a pipe");
    EXPECT_FALSE(tw::FindLastAdd(file.string()).ok());
    ::alarm(0);
    fs::remove(file);
    fs::rename(folder / "away.hap", file);

    // No place to keep the record: nothing is cut.
    tw::AddHistory nowhere([] { return tw::Outcome<std::string>::Failure("the folder is not there."); });
    const tw::Outcome<void> unkept = nowhere.Undo(add);
    ASSERT_FALSE(unkept.ok());
    EXPECT_NE(unkept.error().find("the folder is not there."), std::string::npos);
    EXPECT_EQ(Read(file), before);

    // Read-only to the user who cuts (root may write anything, so another
    // user does the cut).
    fs::permissions(folder, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(file, fs::perms::owner_read | fs::perms::others_read);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        const tw::Outcome<std::string> cut = tw::CutOff(add);
        ::_exit(!cut.ok() && cut.error().find("Permission denied") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Read(file), before);
}

TEST_F(AddHistoryTest, ALinkIsCutThroughToItsTarget) {
    const fs::path target = folder / "target.hap";
    const fs::path link = folder / "link.hap";
    Add(target, Plain());
    const std::string one = Read(target);
    fs::create_symlink(target, link);
    Add(link, Plain());
    const std::string two = Read(target);
    Undo(link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(target), one);
    // The link and the target are one file to the history.
    EXPECT_TRUE(history->CanRedo(target.string()));
    ASSERT_TRUE(history->Redo(target.string()).ok());
    EXPECT_EQ(Read(target), two);
}

TEST_F(AddHistoryTest, RedoOnlyOntoTheFileAsTheUndoLeftIt) {
    const fs::path file = folder / "redo.hap";
    tw::DocumentTexts doc = Plain();
    doc.final[7] = "1";
    Add(file, doc);
    doc.startTime = "0.3";
    Add(file, doc);
    const std::string full = Read(file);
    const tw::LastAdd undone = Undo(file);
    const std::string cut = Read(file);

    const auto refused = [&](const std::string& reason) {
        const std::string now = fs::exists(file) ? Read(file) : "(none)";
        const tw::Outcome<tw::LastAdd> redone = history->Redo(file.string());
        ASSERT_FALSE(redone.ok());
        EXPECT_NE(redone.error().find(reason), std::string::npos) << redone.error();
        EXPECT_EQ(fs::exists(file) ? Read(file) : "(none)", now);
        EXPECT_TRUE(history->CanRedo(file.string()));
        EXPECT_EQ(KeptCount(), 1);
    };
    Write(file, cut + "x");  // one byte more
    refused("bytes long, not");
    std::string same = cut;
    same[same.size() - 3] = '7';  // same length, another end
    Write(file, same);
    refused("last bytes");
    fs::remove(file);
    refused("No such file");

    Write(file, cut);
    const tw::Outcome<tw::LastAdd> redone = history->Redo(file.string());
    ASSERT_TRUE(redone.ok()) << redone.error();
    EXPECT_EQ(redone.value().lastTime, undone.lastTime);
    EXPECT_EQ(redone.value().lastTime, "0.600");
    EXPECT_EQ(tw::StartTimeAfterRedo(redone.value(), "9"), "0.6");
    EXPECT_EQ(Read(file), full);
    EXPECT_EQ(KeptCount(), 0);
    EXPECT_FALSE(history->Redo(file.string()).ok());
}

TEST_F(AddHistoryTest, KeptRecordsLiveUntilRedoneDroppedOrEnded) {
    const fs::path file = folder / "kept.hap";
    const fs::path other = folder / "other.hap";
    Add(file, Plain());
    Add(file, Plain());
    Add(other, Plain());
    const tw::LastAdd first = Undo(file);
    Undo(other);
    const std::vector<std::string> files = history->KeptFiles();
    ASSERT_EQ(files.size(), 2u);
    const fs::path keptFile = files[0].find("-kept.hap") != std::string::npos ? files[0] : files[1];
    EXPECT_EQ(Read(keptFile), first.record);
    EXPECT_EQ(fs::status(keptFile).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(keptFile.filename().string().rfind("undone-" + std::to_string(::getpid()) + "-", 0), 0u);

    // A new add to the file drops its records, and only its.
    Undo(file);
    EXPECT_EQ(KeptCount(), 3);
    history->Added(file.string());
    EXPECT_FALSE(history->CanRedo(file.string()));
    EXPECT_TRUE(history->CanRedo(other.string()));
    EXPECT_EQ(KeptCount(), 1);
    history.reset();
    EXPECT_EQ(KeptCount(), 0);
}

TEST_F(AddHistoryTest, AStopDuringUndoLeavesTheFileWholeOrCutAtTheRecord) {
    const fs::path file = folder / "long.hap";
    Add(file, Plain());
    const std::string before = Read(file);
    // An add long enough that keeping and cutting it takes a while.
    std::string block = std::string(tw::DefaultFileHeader) + "\r\n\r\n";
    const std::string line = "\\clock [t= 0.000]   \\setreg[name= HeadSideBend   f0= 0.000]\r\n";
    block.reserve(block.size() + 900'000 * line.size());
    for (int n = 0; n < 900'000; ++n) block += line;
    ASSERT_TRUE(tw::AppendQuotedRecord(file, block).ok());
    const std::string whole = Read(file);

    const pid_t child = ::fork();
    if (child == 0) {
        tw::AddHistory own([this] { return tw::Outcome<std::string>::Success(kept.string()); });
        const tw::Outcome<tw::LastAdd> last = tw::FindLastAdd(file.string());
        if (last && !own.Undo(last.value())) ::_exit(1);
        ::_exit(0);  // leaves the kept file, as a crash would
    }
    // Stop the child as soon as it starts keeping the record.
    int status = 0;
    bool ended = false;
    while (fs::is_empty(kept) && !ended) ended = ::waitpid(child, &status, WNOHANG) == child;
    if (!ended) {
        ::kill(child, SIGTERM);
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        // The stop takes effect once the cut in hand is done.
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    }
    const std::string after = Read(file);
    if (after == before) {
        // Cut exactly at the record, which is kept whole.
        ASSERT_EQ(std::distance(fs::directory_iterator(kept), {}), 1);
        EXPECT_EQ(Read(fs::directory_iterator(kept)->path()), whole.substr(before.size()));
    } else {
        EXPECT_EQ(after.size(), whole.size());
        EXPECT_TRUE(after == whole);
        EXPECT_TRUE(fs::is_empty(kept));
    }
}

TEST_F(AddHistoryTest, TheCutWaitsForAWriterHoldingTheLockAndThenSeesItsRecord) {
    const fs::path file = folder / "shared.hap";
    ASSERT_TRUE(tw::AppendQuotedRecord(file, Block(Plain())).ok());
    const tw::LastAdd add = tw::FindLastAdd(file.string()).value();
    const std::string before = Read(file);

    // Another writer holds the lock and adds its record while the cut waits.
    const int writer = ::open(file.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    std::optional<tw::Outcome<std::string>> cut;
    std::thread undo([&] { cut.emplace(tw::CutOff(add)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::string other = "\"another program's record\"\r\n";
    ASSERT_EQ(::write(writer, other.data(), other.size()), static_cast<ssize_t>(other.size()));
    ::close(writer);
    undo.join();
    ASSERT_TRUE(cut.has_value());
    EXPECT_FALSE(cut->ok());
    EXPECT_NE(cut->error().find("has changed since its last animation was read"), std::string::npos) << cut->error();
    EXPECT_EQ(Read(file), before + other);

    // A lock held for longer than the wait: nothing is cut.
    const int holder = ::open(file.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const tw::Outcome<std::string> busy = tw::CutOff(add);
    ::close(holder);
    EXPECT_EQ(busy.error(), "The file is being written by another program; nothing was taken back.");
    EXPECT_EQ(Read(file), before + other);
}

}  // namespace
