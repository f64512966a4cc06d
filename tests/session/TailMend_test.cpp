// Mending a file whose last record an append left unfinished: the torn bytes
// are kept, then cut off under the writers' lock, so the file is its earlier
// whole records again; a whole file is left alone; the look-up for F6 says
// which, and refuses a hostile file's last record above the loader's cap.
#include "session/TailMend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "TempFolder.h"
#include "generation/FileBlock.h"
#include "generation/HapScript.h"
#include "generation/ScriptFile.h"
#include "generation/TornTail.h"
#include "session/UndoLookup.h"

namespace fs = std::filesystem;

namespace {

tw::DocumentTexts Moving() {
    tw::DocumentTexts doc;
    doc.dKeyframe = "0.5";
    doc.framesPSec = "4";
    doc.startTime = doc.acceleration = "0";
    doc.finishTime = "0.5";
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.names[r] = std::string(tw::RegisterCatalogue()[r].name);
        doc.initial[r] = doc.final[r] = "0";
    }
    doc.final[1] = "-0.3";
    return doc;
}

std::string Record(const tw::DocumentTexts& doc) {
    return std::string(tw::RecordOpen) + tw::BlockFor(tw::BlockDestination::File, doc).value().text +
           std::string(tw::RecordClose);
}

class TailMendTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        keep = folder / "kept";
        fs::create_directory(keep);
    }
    std::function<tw::Outcome<std::string>()> Keep() {
        return [this] { return tw::Outcome<std::string>::Success(keep.string()); };
    }
    std::vector<fs::path> Kept() const {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(keep)) files.push_back(entry.path());
        return files;
    }
    fs::path keep;
};

TEST_F(TailMendTest, TheTornBytesAreKeptAndCutOffAtEveryLengthAKilledAppendCanLeave) {
    const std::string earlier = Record(Moving());
    tw::DocumentTexts second = Moving();
    second.subHeader = "one\ntwo";
    const std::string next = Record(second);
    const auto path = folder / "walk.hap";
    // Every 97th length, and the first and last few.
    for (std::size_t k = 1; k + 1 < next.size(); k += (k < 5 || k + 9 > next.size()) ? 1 : 97) {
        SCOPED_TRACE(k);
        fs::remove_all(keep);
        fs::create_directory(keep);
        Write(path, earlier + next.substr(0, k));
        const auto mended = tw::MendTornTail(path.string(), Keep());
        ASSERT_TRUE(mended.ok()) << mended.error();
        ASSERT_TRUE(mended.value().has_value());
        EXPECT_EQ(mended.value()->bytes, k);
        EXPECT_EQ(Read(path), earlier);
        ASSERT_EQ(Kept().size(), 1u);
        EXPECT_EQ(Read(Kept()[0]), next.substr(0, k));
        EXPECT_EQ(fs::status(Kept()[0]).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(mended.value()->keptFile, Kept()[0].string());
        // After the mend an add goes after the last whole record.
        EXPECT_TRUE(
            tw::AppendQuotedRecord(path, tw::BlockFor(tw::BlockDestination::File, second).value().text).ok());
        EXPECT_EQ(Read(path), earlier + next);
    }
    const auto mended = tw::MendTornTail(path.string(), Keep());
    ASSERT_TRUE(mended.ok());
    EXPECT_FALSE(mended.value().has_value());
    EXPECT_EQ(Read(path), earlier + next);
}

TEST_F(TailMendTest, TheReportAndTheRefusals) {
    const auto path = folder / "t.hap";
    const std::string earlier = Record(Moving());
    Write(path, earlier + "\"#Haptek cut");
    const auto mended = tw::MendTornTail(path.string(), Keep());
    ASSERT_TRUE(mended.ok() && mended.value());
    const std::string report = tw::MendReport(path.string(), *mended.value());
    EXPECT_TRUE(report.starts_with("Cut off the 12 bytes of the unfinished last animation of ")) << report;
    EXPECT_NE(report.find(mended.value()->keptFile), std::string::npos) << report;

    // No folder to keep the bytes in: nothing is cut.
    Write(path, earlier + "\"#Haptek cut");
    const auto noFolder =
        tw::MendTornTail(path.string(), [] { return tw::Outcome<std::string>::Failure("no folder"); });
    ASSERT_FALSE(noFolder.ok());
    EXPECT_NE(noFolder.error().find("no folder"), std::string::npos);
    EXPECT_EQ(Read(path), earlier + "\"#Haptek cut");

    // Another writer holds the lock throughout: nothing is cut.
    const int other = ::open(path.c_str(), O_RDWR);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);
    const auto busy = tw::MendTornTail(path.string(), Keep(), std::chrono::milliseconds(50));
    ASSERT_FALSE(busy.ok());
    EXPECT_NE(busy.error().find("being written by another program"), std::string::npos) << busy.error();
    EXPECT_EQ(Read(path), earlier + "\"#Haptek cut");
    ::close(other);

    // A missing file.
    EXPECT_FALSE(tw::MendTornTail((folder / "none.hap").string(), Keep()).ok());
}

TEST_F(TailMendTest, AWriterThatComesDuringTheMendWaitsAndAddsAfterTheCut) {
    const auto path = folder / "w.hap";
    const std::string earlier = Record(Moving());
    Write(path, earlier + "\"#Haptek cut");
    const std::string block = tw::BlockFor(tw::BlockDestination::File, Moving()).value().text;
    // The writer starts while the mend, between its look and its cut, asks
    // for the folder to keep the bytes in; the mend then goes on.
    tw::FileChange added = tw::FileChange::Failure("not run");
    std::thread writer;
    const auto mended = tw::MendTornTail(path.string(), [&] {
        writer = std::thread([&] { added = tw::AppendQuotedRecord(path, block, std::chrono::seconds(60)); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return tw::Outcome<std::string>::Success(keep.string());
    });
    writer.join();
    ASSERT_TRUE(mended.ok()) << mended.error();
    EXPECT_TRUE(mended.value().has_value());
    EXPECT_TRUE(added.ok()) << added.error();
    EXPECT_EQ(Read(path), earlier + std::string(tw::RecordOpen) + block + std::string(tw::RecordClose));
}

TEST_F(TailMendTest, TheUndoLookUpOffersTheMendOrFindsTheAddAndRefusesAHostileFileAtTheCap) {
    const auto path = folder / "u.hap";
    const std::string earlier = Record(Moving());
    Write(path, earlier + "\"#Haptek cut\r\n\r\n");
    auto lookup = tw::LookUpUndo(path.string(), Moving().names);
    ASSERT_TRUE(lookup.ok()) << lookup.error();
    EXPECT_EQ(lookup.value().tornBytes, 16u);
    EXPECT_FALSE(lookup.value().add.has_value());

    Write(path, earlier);
    lookup = tw::LookUpUndo(path.string(), Moving().names);
    ASSERT_TRUE(lookup.ok()) << lookup.error();
    EXPECT_EQ(lookup.value().tornBytes, 0u);
    ASSERT_TRUE(lookup.value().add.has_value());
    EXPECT_EQ(lookup.value().add->record, earlier);
    EXPECT_EQ(lookup.value().loaded.final[1], "-0.3");

    // 2.3 GB of nothing but a register line and a closing quote at its end,
    // as a sparse file: refused once the loader's cap is read, never more.
    const std::uint64_t size = std::uint64_t{2300} << 20;
    const std::string tail = "\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 0.500]\r\n\"\r\n";
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size - tail.size())), 0);
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(size - tail.size())),
                  static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
    std::uint64_t mostShare = 0;
    tw::LoadControl control;
    control.reading = [&](int share) { mostShare = std::max<std::uint64_t>(mostShare, share); };
    const auto hostile = tw::LookUpUndo(path.string(), Moving().names, {}, control);
    ASSERT_FALSE(hostile.ok());
    EXPECT_NE(hostile.error().find("larger than 1025 MB"), std::string::npos) << hostile.error();
    EXPECT_EQ(mostShare, 99u);
    // Stopped from another thread, it ends at once with the stop's message.
    tw::StopFlag stop{true};
    control.stop = &stop;
    const auto stopped = tw::LookUpUndo(path.string(), Moving().names, {}, control);
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.error(), tw::ReadStoppedMessage);
}

}  // namespace
