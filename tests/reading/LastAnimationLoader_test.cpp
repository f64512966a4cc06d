#include "reading/LastAnimationLoader.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "LiteralLoader.h"
#include "TempFolder.h"
#include "document/FieldRules.h"
#include "document/NumberText.h"
#include "generation/FileBlock.h"
#include "generation/HapScript.h"
#include "generation/ScriptFile.h"

namespace fs = std::filesystem;

namespace {

using Names = std::array<std::string, tw::RegisterCount>;

constexpr int AllMove = -1, NoneMoves = -2;

Names Catalogue() { return tw::literal::CatalogueNames(); }

// Values exact in single precision, written as the script writes them.
std::string InitialText(int r) { return tw::FormatNumber(r * 0.125 - 6); }
std::string FinalText(int r) { return tw::FormatNumber(20 - r * 0.5); }

// One generation run (a take): start, duration, frame rate, and which registers move.
struct Take {
    std::string start, seconds, fps;
    int moving = AllMove;  // or NoneMoves, or the one register that moves
    bool Moves(int r) const { return moving == AllMove || moving == r; }
};

tw::DocumentTexts Document(const Take& run) {
    tw::DocumentTexts doc;
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    doc.startTime = run.start;
    doc.dKeyframe = run.seconds;
    doc.framesPSec = run.fps;
    doc.acceleration = "0";
    doc.names = Catalogue();
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.initial[r] = InitialText(r);
        doc.final[r] = run.Moves(r) ? FinalText(r) : doc.initial[r];
    }
    return doc;
}

class LoadTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        file = folder / "walk.hap";
    }

    void Append(const tw::DocumentTexts& doc) {
        auto block = tw::BlockFor(tw::BlockDestination::File, doc);
        ASSERT_TRUE(block.ok()) << block.error();
        ASSERT_TRUE(tw::AppendQuotedRecord(file, block.value().text).ok());
    }
    void Write(const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

    // Loads the file, checking the load against the plain byte-at-a-time one.
    tw::LoadedAnimation Load(const Names& names = Catalogue(), std::vector<int>* bar = nullptr) {
        int readCalls = 0;
        auto loaded = tw::LoadLastAnimationFromFile(
            file.string(), names,
            [&](int v) {
                EXPECT_EQ(readCalls, 1) << "progress before the file was read";
                if (bar) bar->push_back(v);
            },
            [&] { ++readCalls; });
        EXPECT_TRUE(loaded.ok()) << loaded.error();
        EXPECT_EQ(readCalls, 1);
        if (!loaded.ok()) return {};
        std::ifstream in(file, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(loaded.value(), tw::literal::Load(bytes, names));
        return loaded.value();
    }

    fs::path file;
};

struct RoundTrip {
    const char* label;
    std::vector<Take> runs;  // appended in order; the last one is read back
};

class RoundTripTest : public LoadTest, public ::testing::WithParamInterface<RoundTrip> {};

TEST_P(RoundTripTest, LastBlockComesBack) {
    for (const Take& run : GetParam().runs) Append(Document(run));
    const Take& last = GetParam().runs.back();
    const tw::LoadedAnimation loaded = Load();
    EXPECT_EQ(loaded.unknownNameCount, 0u);
    // Frame 0 alone has no duration: the one message says the timing stays.
    EXPECT_EQ(tw::LoadMessages(loaded).size(), last.moving == NoneMoves ? 1u : 0u);
    EXPECT_EQ(loaded.startTime, tw::DecimalText(tw::NumericValue(last.start)));
    tw::DocumentTexts doc = Document(Take{"9", "9", "9", NoneMoves});
    tw::ApplyLoadedAnimation(loaded, doc);
    for (int r = 0; r < tw::RegisterCount; ++r) {
        SCOPED_TRACE(r);
        EXPECT_EQ(loaded.initial[r], InitialText(r));  // verbatim, three decimals
        EXPECT_EQ(doc.final[r], last.Moves(r) ? tw::DecimalText(tw::NumericValue(FinalText(r))) : InitialText(r));
    }
    if (last.moving == NoneMoves) {
        // Only frame 0 is written: no later clock time, so no duration.
        EXPECT_EQ(loaded.dKeyframe, "0");
        EXPECT_EQ(loaded.framesPSec, std::nullopt);
    } else {
        ASSERT_TRUE(loaded.dKeyframe && loaded.framesPSec);
        EXPECT_NEAR(tw::NumericValue(*loaded.dKeyframe), tw::NumericValue(last.seconds), 1e-6);
        EXPECT_NEAR(tw::NumericValue(*loaded.framesPSec), tw::NumericValue(last.fps), 1e-5);
    }
    if (tw::HasPositiveTiming(loaded)) {
        EXPECT_EQ(doc.startTime, loaded.startTime);
        EXPECT_EQ(doc.finishTime, tw::FinishTimeText(doc.startTime, doc.dKeyframe));
    } else {
        EXPECT_EQ(doc.startTime, "9");
        EXPECT_EQ(doc.dKeyframe, "9");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Generated, RoundTripTest,
    ::testing::Values(RoundTrip{"WholeRate", {{"2.5", "1", "10"}}},
                      RoundTrip{"FractionalRate", {{"0", "0.96", "12.5"}}},
                      RoundTrip{"InexactStart", {{"0.1", "1", "10"}}},
                      RoundTrip{"FractionalRateSlow", {{"1", "2", "7.5"}}},
                      RoundTrip{"StillRegisters", {{"3", "1", "10", NoneMoves}}},
                      RoundTrip{"OneMovingRegister", {{"0", "1", "10", 7}}},
                      RoundTrip{"TwoFrames", {{"4", "0.1", "10", 7}}},
                      RoundTrip{"TwoBlocks", {{"0", "1", "10"}, {"1", "0.5", "20", 3}}},
                      RoundTrip{"ThreeBlocks", {{"0", "1", "10"}, {"1", "1", "10", NoneMoves}, {"2", "0.3", "10"}}}),
    [](const auto& info) { return std::string(info.param.label); });

// The clock values' exact texts, single-precision error included.
TEST_F(LoadTest, TimesGiveDurationAndRateTexts) {
    struct Row {
        Take run;
        const char *start, *duration, *rate;
    };
    for (const Row& row : {Row{{"2.5", "1", "10"}, "2.5", "1", "10"},
                           Row{{"0", "1.9", "10"}, "0", "1.89999997615814", "10.0000001254835"},
                           Row{{"0", "1", "10", 0}, "0", "1", "10"}}) {
        fs::remove(file);
        Append(Document(row.run));
        const tw::LoadedAnimation loaded = Load();
        EXPECT_EQ(loaded.startTime, row.start);
        EXPECT_EQ(loaded.dKeyframe, row.duration);
        EXPECT_EQ(loaded.framesPSec, row.rate);
    }
}

TEST_F(LoadTest, HandWrittenFiles) {
    const auto twoLines = [](const std::string& first, const std::string& second) {
        return "\\clock [t= " + first + "]   \\setreg[name= HeadTwist   f0= 2.000]\r\n"
               "\\clock [t= " + second + "]   \\setreg[name= HeadTwist   f0= -3.250]\r\n";
    };
    const std::string lines = twoLines("1.000", "1.500");
    // Clock times are compared in single precision, where 0.1 is 0.100000001490116
    // and 0.6 is 0.600000023841858, and 20000.001 is 20000.001953125.
    const std::string inexact = twoLines("0.100", "0.600"), late = twoLines("20000.001", "20000.501");
    struct Row {
        const char* label;
        std::string bytes;
        const char *start, *duration;
        std::optional<std::string> initial, final;
    };
    for (const Row& row : {
             Row{"no header word: read from the first byte", lines, "1", "0.5", "2.000", "-3.25"},
             Row{"header word at the first byte", "Haptek" + lines, "1", "0.5", "2.000", "-3.25"},
             Row{"empty file", "", "0", "0", {}, {}},
             Row{"lines before the last header word are not read", lines + "Haptek\r\n", "0", "0", {}, {}},
             Row{"\"Haptekk\" is no header word", "Haptek\r\n" + lines + "Haptekk", "1", "0.5", "2.000", "-3.25"},
             Row{"header word on the last bytes", lines + "Haptek", "0", "0", {}, {}},
             Row{"first time not exact in single precision", inexact, "0.1", "0.500000023841858", "2.000", "-3.25"},
             Row{"first time finer than single precision", late, "20000.001", "0.500953124999796", "2.000", "-3.25"},
         }) {
        SCOPED_TRACE(row.label);
        Write(row.bytes);
        const tw::LoadedAnimation loaded = Load();
        EXPECT_EQ(loaded.unknownNameCount, 0u);
        EXPECT_EQ(tw::HasPositiveTiming(loaded), std::string(row.duration) != "0");
        EXPECT_EQ(loaded.startTime, row.start);
        EXPECT_EQ(loaded.dKeyframe, row.duration);
        EXPECT_EQ(loaded.initial[2], row.initial);
        EXPECT_EQ(loaded.final[2], row.final);
    }
}

TEST_F(LoadTest, FigureNameBlockLoadsNothingAndSaysSoOnce) {
    tw::DocumentTexts doc = Document({"2", "1", "10"});
    doc.figure = "Bob";
    Append(doc);
    const tw::LoadedAnimation loaded = Load();
    // No later clock time either: the timing is left as it was, and said so.
    const std::vector<std::string> messages = tw::LoadMessages(loaded);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "Unable to find setreg  on current form.  Will ignore this value");
    EXPECT_EQ(messages[1].find("The block's duration (0) or frame rate (none) is not above 0"), 0u) << messages[1];
    EXPECT_EQ(loaded.initial, decltype(loaded.initial){});
    EXPECT_EQ(loaded.final, decltype(loaded.final){});
    EXPECT_EQ(loaded.startTime, "2");
}

TEST_F(LoadTest, SubHeaderHoldingAClockMarker) {
    // Its time becomes the start; the name search goes on from there, so only
    // the first register line belongs to the first keyframe.
    tw::DocumentTexts doc = Document({"0", "1", "10"});
    doc.subHeader = "wait t= 1.5]";
    Append(doc);
    tw::LoadedAnimation loaded = Load();
    EXPECT_EQ(loaded.startTime, "1.5");
    EXPECT_EQ(loaded.initial[0], InitialText(0));
    EXPECT_EQ(loaded.initial[1], std::nullopt);
    EXPECT_EQ(loaded.final[104], tw::DecimalText(tw::NumericValue(FinalText(104))));
    EXPECT_EQ(loaded.dKeyframe, "-0.5");  // time 0 is never counted: 10 intervals up to 1
    EXPECT_EQ(loaded.framesPSec, "-20");

    // An "s" after the marker: the name search runs to the end of the file.
    fs::remove(file);
    doc.subHeader = "t= 2]skin";
    Append(doc);
    loaded = Load();
    EXPECT_EQ(loaded.startTime, "2");
    EXPECT_EQ(loaded.unknownNameCount, 1u);
    EXPECT_EQ(loaded.initial, decltype(loaded.initial){});
}

TEST_F(LoadTest, UnknownNamesAreReportedOnlyInTheFirstFrame) {
    tw::DocumentTexts doc = Document({"0", "0.5", "10"});
    doc.names[5] = "Mystery";                   // moves: a line on every frame
    doc.names[6] = "Zo\xc3\xab";                // still: frame 0 only
    doc.names[7] = "Kopf\xc3\xa9";              // known to the loading form too
    Append(doc);
    Names names = Catalogue();
    names[7] = doc.names[7];
    const tw::LoadedAnimation loaded = Load(names);
    // Two such lines: one message naming both.
    EXPECT_EQ(tw::LoadMessages(loaded),
              (std::vector<std::string>{"Unable to find setreg Mystery, Zo\xc3\xab on current form.  Will ignore these 2 values"}));
    EXPECT_EQ(loaded.initial[5], std::nullopt);
    EXPECT_EQ(loaded.final[5], std::nullopt);
    EXPECT_EQ(loaded.initial[7], InitialText(7));
    EXPECT_EQ(loaded.final[7], tw::DecimalText(tw::NumericValue(FinalText(7))));
}

TEST_F(LoadTest, ApplyLeavesEverythingElseAsItWas) {
    Append(Document({"0", "1", "10", 3}));
    tw::DocumentTexts doc = Document({"5", "5", "5", NoneMoves});
    doc.subHeader = "typed by the user\r\n";
    doc.initial[3] = "old";
    const tw::DocumentTexts before = doc;
    tw::ApplyLoadedAnimation(Load(), doc);
    EXPECT_EQ(doc.subHeader, before.subHeader);
    EXPECT_EQ(doc.fileHeader, before.fileHeader);
    EXPECT_EQ(doc.acceleration, before.acceleration);
    EXPECT_EQ(doc.initial[3], InitialText(3));
    EXPECT_EQ(doc.final[4], InitialText(4));
    EXPECT_EQ(doc.finishTime, "1");

    // A block at one clock time has no duration: its values are taken, the
    // timing fields stay as they were.
    Write("\"#Haptek\r\n\\clock [t= 0.500]   \\setreg[name= HeadSideBend   f0= 1.000]\r\n\"\r\n");
    tw::ApplyLoadedAnimation(Load(), doc);
    EXPECT_EQ(doc.initial[0], "1.000");
    EXPECT_EQ(doc.framesPSec, "10");
    EXPECT_EQ(doc.dKeyframe, "1");
    EXPECT_EQ(doc.startTime, "0");
    EXPECT_EQ(doc.finishTime, "1");
}

// The timing rule on its own, with values the loader may never give: a frame
// rate of 0 beside a positive duration, or a duration of 0 with a frame rate.
TEST(LoadTiming, OnlyAPositiveDurationAndFrameRateAreTaken) {
    struct Row {
        const char* label;
        std::optional<std::string> duration, rate;
        bool positive;
    };
    for (const Row& row : {Row{"both positive", "1", "10", true},
                           Row{"duration 1, frame rate 0", "1", "0", false},
                           Row{"duration 0, frame rate 10", "0", "10", false},
                           Row{"duration 0, no frame rate", "0", std::nullopt, false},
                           Row{"negative duration", "-1", "10", false},
                           Row{"neither", std::nullopt, std::nullopt, false}}) {
        SCOPED_TRACE(row.label);
        tw::LoadedAnimation loaded;
        loaded.startTime = "2";
        loaded.dKeyframe = row.duration;
        loaded.framesPSec = row.rate;
        EXPECT_EQ(tw::HasPositiveTiming(loaded), row.positive);
        EXPECT_EQ(tw::LoadMessages(loaded).size(), row.positive ? 0u : 1u);
        tw::DocumentTexts doc = Document({"9", "9", "9", NoneMoves});
        tw::ApplyLoadedAnimation(loaded, doc);
        EXPECT_EQ(doc.startTime, row.positive ? "2" : "9");
        EXPECT_EQ(doc.framesPSec, row.positive ? *row.rate : "9");
    }
}

TEST_F(LoadTest, ProgressRisesOnlyWhenTheShownValueChanges) {
    Append(Document({"0", "5", "30"}));
    std::vector<int> bar;
    Load(Catalogue(), &bar);
    ASSERT_FALSE(bar.empty());
    for (std::size_t i = 1; i < bar.size(); ++i) EXPECT_LT(bar[i - 1], bar[i]);
    EXPECT_GT(bar.front(), 0);
    EXPECT_GE(bar.back(), 98);
}

TEST_F(LoadTest, FilesThatCannotBeLoadedChangeNothing) {
    const auto error = [](const std::string& path) {
        bool read = false;
        tw::LoadControl control;
        control.fileRead = [&] { read = true; };
        const auto loaded = tw::LoadLastAnimationFromFile(path, Catalogue(), {}, control);
        EXPECT_EQ(read, loaded.ok()) << path;
        return loaded.ok() ? std::string("loaded") : loaded.error();
    };
    EXPECT_EQ(error(""), tw::NoFileToLoadMessage);
    EXPECT_EQ(error(file.string()), "The file \"" + file.string() + "\" does not exist.");
    EXPECT_EQ(error(folder.string()), "\"" + folder.string() + "\" is a folder, not a file.");
    Write("not a folder");
    const std::string inner = (file / "inner.hap").string();
    EXPECT_EQ(error(inner), "Could not read \"" + inner + "\": Not a directory.");
    fs::remove(file);
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);  // no writer: must not wait for one
    EXPECT_EQ(error(file.string()), "\"" + file.string() + "\" is not a regular file.");
    EXPECT_EQ(error("/dev/zero"), "\"/dev/zero\" is not a regular file.");
}

// Files around the size where the room the loader reads the tail into turns
// from small pages to huge ones (2 MiB), with the last block starting on
// either side of that size from the end and blocks cut anywhere: the same
// load wherever the bytes land.
TEST_F(LoadTest, FilesAroundTheHugePageSizeAgreeWithThePlainLoad) {
    constexpr std::size_t Huge = std::size_t{2} << 20;
    const Names names = Catalogue();
    const auto block = [&names](std::size_t bytes, double start) {
        std::string text = "\"#Haptek  Version= 2.00\r\n\r\n";
        for (int line = 0; text.size() < bytes; ++line) {
            text += "\\clock [t= " + tw::FormatNumber(start + line / tw::RegisterCount * 0.1) +
                    "]   \\setreg[name= " + names[line % tw::RegisterCount] +
                    "   f0= " + tw::FormatNumber(line * 0.001) + "]\r\n";
        }
        text.resize(bytes);
        return text;
    };
    for (const std::size_t total : {Huge - 1, Huge, Huge + 1, Huge + 4097, 3 * Huge + 12345}) {
        for (const std::size_t last : {std::size_t{100}, Huge - 10, Huge + 10, total - 30, total}) {
            if (last > total) continue;
            SCOPED_TRACE(std::to_string(total) + " bytes, the last block " + std::to_string(last));
            Write(block(total - last, 0) + block(last, 5));
            ASSERT_EQ(fs::file_size(file), total);
            const tw::LoadedAnimation loaded = Load();
            EXPECT_EQ(loaded.startTime, "5");
        }
    }
}

// A block longer than the window is found and read a window at a time: texts,
// searches and header words across a window's edge, texts longer than a
// window, values kept from windows long gone, a run of the header word's
// letters longer than a window keeps above the next. Every window size gives
// the plain load, progress included.
TEST_F(LoadTest, SmallWindowsAgreeWithThePlainLoad) {
    Append(Document({"0", "1", "10"}));
    Append(Document({"3", "1.5", "10", 7}));
    const std::string generated = TempFolderTest::Read(file);
    const std::string line = "\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 2.000]\r\n";
    std::vector<std::string> files = {
        generated,
        generated.substr(0, generated.size() - 1000),
        generated + line + "\\clock [t= 2.000]   \\setreg[name= HeadTwist   f0= " + std::string(5000, '7'),
        generated + "\\clock [t= " + std::string(3000, '1') + "]" + line,
        "\"#Haptek" + std::string(9000, 'k') + line + generated.substr(0, 20000),
        generated.substr(0, 20000) + "Haptek" + std::string(9000, 'k') + line};
    for (const std::string& bytes : files) {
        Write(bytes);
        std::vector<int> plainBar;
        const tw::LoadedAnimation plain =
            tw::literal::Load(bytes, Catalogue(), [&](int v) { plainBar.push_back(v); });
        for (const std::size_t window :
             {std::size_t{64}, std::size_t{100}, std::size_t{1000}, std::size_t{4096}}) {
            SCOPED_TRACE(std::to_string(bytes.size()) + " bytes, window " + std::to_string(window));
            tw::LoadControl control;
            control.windowBytes = window;
            control.firstChunkBytes = 64;
            std::vector<int> shares, bar;
            control.reading = [&](int share) { shares.push_back(share); };
            const auto loaded = tw::LoadLastAnimationFromFile(
                file.string(), Catalogue(), [&](int v) { bar.push_back(v); }, control);
            ASSERT_TRUE(loaded.ok()) << loaded.error();
            EXPECT_EQ(loaded.value(), plain);
            EXPECT_EQ(bar, plainBar);
            for (std::size_t i = 1; i < shares.size(); ++i) EXPECT_LT(shares[i - 1], shares[i]);
        }
    }
}

// A long block's lines are read window by window as the block is searched
// for, so a file cut short once the block was found loads as it was read.
// Where the windows' lines do not join up (a line longer than a window), the
// block is read again from the file, and a file cut short in between ends
// the load with a message.
TEST_F(LoadTest, FileCutShortAfterTheBlockWasFound) {
    Append(Document({"0", "1", "10"}));
    tw::LoadControl control;
    control.windowBytes = 4096;
    control.fileRead = [&] { fs::resize_file(file, 10000); };
    const std::string generated = TempFolderTest::Read(file);
    auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), {}, control);
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    EXPECT_EQ(loaded.value(), tw::literal::Load(generated, Catalogue()));

    const std::string longLine = "\\clock [t= 2.000]   \\setreg[name= HeadTwist   f0= " + std::string(20000, '7') + "]\r\n";
    Write(generated + longLine + generated.substr(generated.size() - 2000));
    loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(), {}, control);
    ASSERT_FALSE(loaded.ok());
    EXPECT_EQ(loaded.error(), tw::FileShrankMessage(file));
}

// A file the system no longer holds in memory, wholly or from a window's
// middle on: the cached read gives the bytes up to the first one not in
// memory, the disk the rest, and once a window needed the disk it is asked
// for the bytes below as well. The load and its bar are those of the file
// in memory.
TEST_F(LoadTest, AFileNotInMemoryLoadsAsOneInMemory) {
    Append(Document({"0", "1", "10"}));
    Append(Document({"2", "10", "30"}));  // about 1.7 MB, past where reading ahead begins
    const std::string bytes = TempFolderTest::Read(file);
    const auto drop = [&](std::size_t from, std::size_t count) {
        const int fd = ::open(file.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ::fdatasync(fd);
        ::posix_fadvise(fd, static_cast<off_t>(from), static_cast<off_t>(count), POSIX_FADV_DONTNEED);
        ::close(fd);
    };
    const auto cachedRead = [&](std::size_t from, std::size_t count) {
        auto opened = tw::OpenedFile::Open(file);
        std::string read(count, '\0');
        const std::size_t cached = opened.value().ReadCachedAt(from, read.data(), count);
        EXPECT_EQ(read.substr(0, cached), bytes.substr(from, cached));
        return cached;
    };
    // Windows of 64 KiB from the file's end: the fourth from the end begins here.
    constexpr std::size_t Window = std::size_t{64} << 10;
    const std::size_t fourth = bytes.size() - 4 * Window;
    tw::LoadControl control;
    control.windowBytes = control.firstChunkBytes = Window;
    const auto load = [&](std::vector<int>& bar) {
        return tw::LoadLastAnimationFromFile(file.string(), Catalogue(), [&](int v) { bar.push_back(v); },
                                             control);
    };
    std::vector<int> warmBar;
    const auto warm = load(warmBar);
    ASSERT_TRUE(warm.ok()) << warm.error();
    EXPECT_EQ(warm.value(), tw::literal::Load(bytes, Catalogue()));

    drop(0, bytes.size());
    if (cachedRead(0, bytes.size()) == bytes.size()) GTEST_SKIP() << "this file system keeps the file in memory";
    drop(0, bytes.size());
    std::vector<int> coldBar;
    const auto cold = load(coldBar);
    ASSERT_TRUE(cold.ok()) << cold.error();
    EXPECT_EQ(cold.value(), warm.value());
    EXPECT_EQ(coldBar, warmBar);

    ASSERT_TRUE(load(coldBar).ok());  // all in memory again
    drop(fourth + 8192, 32768);
    const std::size_t part = cachedRead(fourth, Window);
    EXPECT_GT(part, 0u);
    EXPECT_LT(part, Window);
    drop(fourth + 8192, 32768);
    std::vector<int> partBar;
    const auto partly = load(partBar);
    ASSERT_TRUE(partly.ok()) << partly.error();
    EXPECT_EQ(partly.value(), warm.value());
    EXPECT_EQ(partBar, warmBar);
}

// Lines far apart: the bar of a block read window by window shows what a
// reading from the start shows, steps skipped over a long line included.
TEST_F(LoadTest, LongLinesBetweenShortOnesShowTheSameBar) {
    Append(Document({"0", "4", "10"}));
    std::string bytes = TempFolderTest::Read(file);
    for (std::size_t at = bytes.size() / 5; at < bytes.size(); at += bytes.size() / 7) {
        const std::size_t lineEnd = bytes.find("]\r\n", at);
        bytes.insert(lineEnd, std::string(3000 + at % 700, '5'));
    }
    Write(bytes);
    std::vector<int> plainBar;
    const tw::LoadedAnimation plain = tw::literal::Load(bytes, Catalogue(), [&](int v) { plainBar.push_back(v); });
    for (const std::size_t window : {std::size_t{16} << 10, std::size_t{64} << 10}) {
        SCOPED_TRACE(window);
        tw::LoadControl control;
        control.windowBytes = window;
        std::vector<int> bar;
        const auto loaded =
            tw::LoadLastAnimationFromFile(file.string(), Catalogue(), [&](int v) { bar.push_back(v); }, control);
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        EXPECT_EQ(loaded.value(), plain);
        EXPECT_EQ(bar, plainBar);
    }
    EXPECT_LT(plainBar.size(), 99u);  // the long lines skip steps
}

// Generated lines with any one byte changed, read window by window: where
// the windows' lines join up, they give what a reading from the start gives;
// where they do not, the block is read again. Either way the plain load, bar
// included.
TEST_F(LoadTest, EveryOneByteChangeReadWindowByWindowAgreesWithThePlainLoad) {
    const std::string block =
        "\"#Haptek\r\n\r\n\\clock [t= 0.000]   \\setreg[name= HeadSideBend   f0= 1.000]\r\n"
        "\\clock [t= 0.000]   \\setreg[name= HeadForward   f0= 2.000]\r\n"
        "\\clock [t= 0.100]   \\setreg[name= HeadSideBend   f0= 1.500]\r\n"
        "\\clock [t= 0.100]   \\setreg[name= HeadForward   f0= 2.500]\r\n"
        "\\clock [t= 0.200]   \\setreg[name= HeadTwist   f0= 3.000]\r\n"
        "\\clock [t= 0.200]   \\setreg[name= HeadSideBend   f0= 3.500]\r\n\"\r\n";
    std::size_t differing = 0;
    for (std::size_t at = 0; at < block.size(); ++at) {
        for (const char c : {'t', ']', '\n', 'H'}) {
            std::string changed = block;
            changed[at] = c;
            Write(changed);
            std::vector<int> plainBar;
            const tw::LoadedAnimation plain =
                tw::literal::Load(changed, Catalogue(), [&](int v) { plainBar.push_back(v); });
            tw::LoadControl control;
            control.windowBytes = 64;
            control.firstChunkBytes = 64;
            std::vector<int> bar;
            const auto loaded = tw::LoadLastAnimationFromFile(file.string(), Catalogue(),
                                                              [&](int v) { bar.push_back(v); }, control);
            ASSERT_TRUE(loaded.ok()) << loaded.error();
            EXPECT_EQ(loaded.value(), plain) << at << " " << c;
            EXPECT_EQ(bar, plainBar) << at << " " << c;
            differing += !(plain == tw::literal::Load(block, Catalogue()));
        }
    }
    EXPECT_GT(differing, 0u);
}

// The file's only header word at its start, and the windows of the backward
// search ending on any of the bytes just above it: the block starts before
// the word, wherever the last window begins, so the bar counts from there.
TEST_F(LoadTest, HeaderAtTheStartWhereverTheLastWindowBegins) {
    // Short: a bar step is shorter than a line, so where it counts from shows.
    std::string generated = "\"#Haptek\r\n\r\n";
    for (int line = 0; line < 40; ++line)
        generated += "\\clock [t= " + tw::FormatNumber(2.5 + line / 10 * 0.1) + "]   \\setreg[name= " +
                     Catalogue()[line % 10] + "   f0= " + tw::FormatNumber(line) + "]\r\n";
    for (std::size_t extra = 0; extra < 64; ++extra) {
        SCOPED_TRACE(extra);
        const std::string bytes = generated + std::string(extra, ' ');
        Write(bytes);
        std::vector<int> plainBar, bar;
        const tw::LoadedAnimation plain =
            tw::literal::Load(bytes, Catalogue(), [&](int v) { plainBar.push_back(v); });
        tw::LoadControl control;
        control.windowBytes = 64;
        control.firstChunkBytes = 64;
        const auto loaded =
            tw::LoadLastAnimationFromFile(file.string(), Catalogue(), [&](int v) { bar.push_back(v); }, control);
        ASSERT_TRUE(loaded.ok()) << loaded.error();
        EXPECT_EQ(loaded.value(), plain);
        EXPECT_EQ(bar, plainBar);
    }
}

// Bytes no generator writes: every search ends at the end of the file.
TEST(LoadAnyBytes, EndsAndAgreesWithThePlainLoad) {
    const std::string line = "\\clock [t= 0.000]   \\setreg[name= HeadSideBend   f0= ";
    for (const std::string& bytes : {std::string(100000, 's'), std::string(100000, 't') + "t= ",
                                     line + std::string(50000, '0'), line, "Haptek" + line + "1]" + line,
                                     std::string("t= ]setreg[name= HeadSideBend f"), std::string("\0\xff t= 1e99]", 12)}) {
        SCOPED_TRACE(bytes.substr(0, 40));
        EXPECT_EQ(tw::LoadLastAnimation(bytes, Catalogue()), tw::literal::Load(bytes, Catalogue()));
    }
}

// Letters of the header word after a "Haptek" decide whether the backward
// search, reading from the end, reaches its "k" with nothing begun.
TEST(LoadAnyBytes, HeaderWordFollowedByItsOwnLetters) {
    const std::string line = "\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 2.000]";
    for (const char* after : {"k", "kk", "kkk", "ek", "tek", "ptek", "aptek", "Haptek", "kaptek", "eek", "kHaptek"}) {
        for (const std::string& bytes : {"Haptek" + std::string(after) + line, line + "Haptek" + after + line,
                                         "Haptek" + line + "Haptek" + after + " " + line}) {
            SCOPED_TRACE(bytes);
            EXPECT_EQ(tw::LoadLastAnimation(bytes, Catalogue()), tw::literal::Load(bytes, Catalogue()));
        }
    }
    std::string chain;
    for (int i = 0; i < 20000; ++i) chain += i % 3 ? "Haptekk" : "Haptekaptek";
    EXPECT_EQ(tw::LoadLastAnimation(line + chain, Catalogue()), tw::literal::Load(line + chain, Catalogue()));
}

// Lines as the generator writes them with any one byte changed: where the
// fixed bytes of a line are taken whole, a line that differs anywhere must
// still read as the searches read it. With a name cell that holds a blank and
// an empty one, the name a line is expected to hold has them too. Trailing
// bytes give every line the room to be read whole.
TEST(LoadAnyBytes, EveryOneByteChangeOfGeneratedLinesAgreesWithThePlainLoad) {
    const std::string lines =
        "\"#Haptek\r\n\r\n\\clock [t= 0.000]   \\setreg[name= HeadSideBend   f0= 1.000]\r\n"
        "\\clock [t= 0.000]   \\setreg[name= HeadForward   f0= 2.000]\r\n"
        "\\clock [t= 0.100]   \\setreg[name= HeadSideBend   f0= 1.500]\r\n"
        "\\clock [t= 0.100]   \\setreg[name= HeadForward   f0= 2.500]\r\n"
        "\\clock [t= 0.200]   \\setreg[name= HeadTwist   f0= 3.000]\r\n"
        "\\clock [t= 0.200]   \\setreg[name= NeckSideBend   f0= 3.500]\r\n"
        "\\clock [t= 0.200]   \\setreg[name= Head Forward   f0= 4.000]\r\n"
        "\\clock [t= 0.300]   \\setreg[name= NeckForward   f0= 4.500]\r\n"
        "\\clock [t= 0.300]   \\setreg[name= NeckTwist   f0= ]\r\n\"\r\n";
    Names withBlank = Catalogue();
    withBlank[1] = "Head Forward";  // a blank ends the name read before it
    withBlank[2].clear();
    std::size_t differing = 0;
    for (const std::string& block : {lines, lines + std::string(300, 'x')}) {
        for (const Names& names : {Catalogue(), withBlank}) {
            for (std::size_t at = 0; at < block.size(); ++at) {
                for (const char c : {'t', 's', 'f', ' ', ']', '\n', '\\', 'x'}) {
                    std::string changed = block;
                    changed[at] = c;
                    const tw::LoadedAnimation loaded = tw::LoadLastAnimation(changed, names);
                    EXPECT_EQ(loaded, tw::literal::Load(changed, names)) << at << " " << c;
                    differing += !(loaded == tw::LoadLastAnimation(block, names));
                }
            }
        }
    }
    EXPECT_GT(differing, 0u);  // the changes reach what is loaded
}

// A file cut anywhere: every search meets the end at each of its turns.
// Lines of the last frame, where each register's value text was read before
// and the clock text repeats the line before: every one-byte change of the
// frame's first lines agrees with the plain load.
TEST(LoadAnyBytes, EveryOneByteChangeOfALaterFrameAgreesWithThePlainLoad) {
    auto generated = tw::BlockFor(tw::BlockDestination::File, Document({"0", "0.3", "10"}));
    ASSERT_TRUE(generated.ok()) << generated.error();
    const std::string block = generated.value().text;
    const std::size_t frame = block.find("\\clock [t= 0.300]");
    ASSERT_NE(frame, std::string::npos);
    const std::size_t lines = block.find("\\clock", block.find("\\clock", frame + 1) + 1);
    std::size_t differing = 0;
    for (std::size_t at = frame - 3; at < lines; ++at) {
        for (const char c : {']', '0', ' ', 'x'}) {
            std::string changed = block;
            changed[at] = c;
            const tw::LoadedAnimation loaded = tw::LoadLastAnimation(changed, Catalogue());
            EXPECT_EQ(loaded, tw::literal::Load(changed, Catalogue())) << at << " " << c;
            differing += !(loaded == tw::LoadLastAnimation(block, Catalogue()));
        }
    }
    EXPECT_GT(differing, 0u);  // the changes reach what is loaded
}

TEST(LoadAnyBytes, EveryCutOfABlockAgreesWithThePlainLoad) {
    const std::string block =
        "\"#Haptek\r\n\r\n\\clock [t= 0.000]   \\setreg[name= HeadSideBend   f0= 1.000]\r\n"
        "\\clock [t= 0.000]   \\setreg[name= HeadForward   f0= 2.000]\r\n"
        "\\clock [t= 0.100]   \\setreg[name= HeadForward   f0= 2.500]\r\n\"\r\n";
    Names withEmptyCell = Catalogue();
    withEmptyCell[50].clear();  // an empty name then names a register
    for (const Names& names : {Catalogue(), withEmptyCell}) {
        for (std::size_t size = 0; size <= block.size(); ++size) {
            const std::string_view cut(block.data(), size);
            EXPECT_EQ(tw::LoadLastAnimation(cut, names), tw::literal::Load(cut, names)) << size;
        }
    }
}

}  // namespace
