#include "reading/HapScriptReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "generation/FileBlock.h"
#include "generation/HapScript.h"

namespace {

constexpr int HeadTwist = 2;
constexpr int NeckTwist = 5;

tw::DocumentTexts Document(const std::string& start, const std::string& figure) {
    tw::DocumentTexts doc;
    doc.fileHeader = std::string(tw::DefaultFileHeader);
    doc.dKeyframe = "1";
    doc.framesPSec = "10";
    doc.startTime = start;
    doc.acceleration = "0";
    doc.figure = figure;
    for (int r = 0; r < tw::RegisterCount; ++r) {
        doc.names[r] = std::string(tw::RegisterCatalogue()[r].name);
        doc.initial[r] = doc.final[r] = "0.25";
    }
    return doc;
}

std::string Record(const tw::DocumentTexts& doc) {
    auto block = tw::BlockFor(tw::BlockDestination::File, doc);
    EXPECT_TRUE(block.ok());
    return block.ok() ? tw::QuotedRecord(block.value().text) : "";
}

// Two runs appended to one file: the first without a figure and with a sub
// header, the second with a figure of two words, moving back.
std::string TwoRecords() {
    tw::DocumentTexts first = Document("0", "");
    first.initial[HeadTwist] = "0";
    first.final[HeadTwist] = "5";
    first.subHeader = "\\clock [t= 0.000] \\settexture [file= [skin.jpg]]\nhello there\n";
    tw::DocumentTexts second = Document("1", "Bob Smith");
    second.initial[HeadTwist] = "4";
    second.final[HeadTwist] = "0";
    return Record(first) + Record(second);
}

TEST(ReadHapScript, GeneratedRecordsInBothFormsGiveEveryFrame) {
    const tw::HapTimeline timeline = tw::ReadHapScript(TwoRecords());
    const tw::RegisterTrack& twist = timeline.tracks[HeadTwist];
    ASSERT_EQ(twist.times.size(), 22u);
    for (int k = 0; k <= 10; ++k) {
        EXPECT_NEAR(twist.times[k], k * 0.1, 1e-9);
        EXPECT_NEAR(twist.values[k], k * 0.5, 1e-6);
        EXPECT_NEAR(twist.times[11 + k], 1 + k * 0.1, 1e-9);
        EXPECT_NEAR(twist.values[11 + k], 4 - k * 0.4, 1e-6);
    }
    // A register still in both runs has one keyframe per run.
    EXPECT_EQ(timeline.tracks[NeckTwist].times, (std::vector<double>{0, 1}));
    EXPECT_EQ(timeline.tracks[NeckTwist].values, (std::vector<float>{0.25f, 0.25f}));
    EXPECT_TRUE(timeline.hasClock);
    EXPECT_EQ(timeline.firstTime, 0);
    EXPECT_EQ(timeline.lastTime, 2);
    // Register lines of both runs and the sub header's clock line; its text line skipped.
    EXPECT_EQ(timeline.linesRead, 2u * (105 + 10) + 1);
    EXPECT_EQ(timeline.linesSkipped, 1u);
    EXPECT_EQ(tw::SampleTrack(twist, 0.55), 2.5f);
    EXPECT_EQ(tw::SampleTrack(twist, 1.0), 4.0f);  // both runs' keyframe at 1: the last wins
    EXPECT_EQ(tw::SampleTrack(twist, -3.0), 0.0f);
    EXPECT_EQ(tw::SampleTrack(twist, 99.0), 0.0f);
    EXPECT_EQ(tw::SampleTrack(tw::RegisterTrack{}, 0.0), std::nullopt);
}

TEST(ReadHapScript, LongRunGivesEveryMovingRegisterEveryFrame) {
    // Every third register moves, so the names on later frames skip about.
    tw::DocumentTexts doc = Document("2", "");
    doc.dKeyframe = "30";
    doc.framesPSec = "30";
    for (int r = 0; r < tw::RegisterCount; r += 3) doc.final[r] = std::to_string(r);
    const tw::HapTimeline timeline = tw::ReadHapScript(Record(doc));
    for (int r = 0; r < tw::RegisterCount; ++r) {
        const tw::RegisterTrack& track = timeline.tracks[r];
        ASSERT_EQ(track.times.size(), r % 3 ? 1u : 901u) << r;
        EXPECT_EQ(track.times.back(), r % 3 ? 2.0 : 32.0) << r;
        EXPECT_NEAR(track.values.back(), r % 3 ? 0.25 : r, 1e-3) << r;
    }
    EXPECT_EQ(timeline.linesRead, 105u + 900 * 35);
    EXPECT_EQ(timeline.lastTime, 32);
}

TEST(ReadHapScript, IndentedLinesReadAsTheGeneratorWroteThem) {
    // A blank before each line keeps the generator's lines off the quick path.
    const std::string file = TwoRecords();
    std::string indented;
    for (char c : file) {
        indented += c;
        if (c == '\n') indented += ' ';
    }
    const tw::HapTimeline quick = tw::ReadHapScript(file), general = tw::ReadHapScript(indented);
    for (int r = 0; r < tw::RegisterCount; ++r) {
        EXPECT_EQ(quick.tracks[r].times, general.tracks[r].times) << r;
        EXPECT_EQ(quick.tracks[r].values, general.tracks[r].values) << r;
    }
    EXPECT_EQ(quick.linesRead, general.linesRead);
    EXPECT_EQ(quick.linesSkipped, general.linesSkipped);
}

// Lines of register commands spaced in other ways than the generator's take a
// quick lane of their own; each must read exactly as it does line by line.
TEST(ReadHapScript, OtherSpacingReadsAsLineByLine) {
    const char* lines[] = {
        "\\clock [t= 1.500] \\setreg[name= HeadTwist f0= 0.250]",
        "\\clock[t=1.5]\\setreg[name=HeadTwist f0=-0.25]",
        "\t \"\\clock [ t=  2 ]\t\\setreg [ figure= Bob  name= NeckTwist   f0= .5 ] \"  ",
        "\\setreg[name= HeadTwist f0= 3]",
        "\\clock [t= 4.000]",
        "\\clock [t= 5] \\clock [t= 6] \\setreg[name= NoSuchName f0= 1] \\setreg[name= HeadTwist f0= 7]",
        // Forms the lane leaves to the general reading, read or skipped there.
        "\\Clock [t= 8] \\setreg[name= HeadTwist f0= 8]",
        "\\clock [t= 9 x] \\setreg[name= HeadTwist f0= 9]",
        "\\clock [t= 1e1] \\setreg[f0= 10 name= HeadTwist]",
        "\\clock [t= 11] \\setreg[name= HeadTwist f0= 11] \\other [x]",
        "\\clock [t= 12] \\setreg[name= HeadTwist f0= 12]]",
        "\\clock [t= 13] \\setreg[name= HeadTwist f0= 13] \"\"",
        "\\clock [t= 14] \\setreg[name= Head[Twist] f0= 14]",
        "\\clock [t= 15] \\setreg[figure= name= HeadTwist f0= 15]",
        "\\clock [t= +16] \\setreg[name= HeadTwist f0= 16]",
        // A repeated time's text stands for the clock's value only while the
        // clock still holds it, not after another kind of line set it; and
        // a time that merely begins with the last one's text is its own.
        "\\clock [t= 17.5] \\setreg[name= HeadTwist f0= 17]",
        "\\CLOCK [t= 18]",
        "\\clock [t= 17.5] \\setreg[name= HeadTwist f0= 17]",
        "\\clock [t= 17.55] \\setreg[name= HeadTwist f0= 17]",
        "\\clock [t= 17.5.5] \\setreg[name= HeadTwist f0= 17]",
    };
    // Enough copies that lines fall on both sides of the reader's windows,
    // and a last line without its ending.
    constexpr int Copies = 1500;
    for (const char* ending : {"\n", "\r\n", "\r"}) {
        std::string file;
        for (int copy = 0; copy < Copies; ++copy)
            for (const char* line : lines) file += std::string(line) + ending;
        file += lines[0];
        const tw::HapTimeline quick = tw::ReadHapScript(file), slow = tw::ReadHapScriptLineByLine(file);
        for (int r = 0; r < tw::RegisterCount; ++r) {
            EXPECT_EQ(quick.tracks[r].times, slow.tracks[r].times) << r;
            EXPECT_EQ(quick.tracks[r].values, slow.tracks[r].values) << r;
        }
        EXPECT_EQ(quick.linesRead, slow.linesRead);
        EXPECT_EQ(quick.linesSkipped, slow.linesSkipped);
        EXPECT_EQ(quick.lastTime, slow.lastTime);
        EXPECT_GE(quick.tracks[HeadTwist].times.size(), 9u * Copies);
        EXPECT_EQ(quick.tracks[NeckTwist].values, std::vector<float>(Copies, 0.5f));
        const std::vector<double>& times = quick.tracks[HeadTwist].times;
        EXPECT_EQ(std::count(times.begin(), times.end(), 17.5), 2 * Copies);
        EXPECT_EQ(std::count(times.begin(), times.end(), 17.55), Copies);
    }
}

TEST(ReadHapScript, TruncatedFileLosesOnlyItsLastLine) {
    const std::string file = TwoRecords();
    const std::size_t lastLine = file.rfind("\\clock");
    const tw::HapTimeline whole = tw::ReadHapScript(file.substr(0, lastLine));
    ASSERT_EQ(file.substr(lastLine, 20), "\\clock [t= 2.000]   ");
    for (std::size_t cut = lastLine + 1; cut < file.size() - 5; ++cut) {
        const tw::HapTimeline timeline = tw::ReadHapScript(file.substr(0, cut));
        EXPECT_EQ(timeline.tracks[HeadTwist].times, whole.tracks[HeadTwist].times) << cut;
        // Cut right after the clock command, the line is a clock line of its own.
        const bool clockLine = cut - lastLine >= 17 && cut - lastLine <= 20;
        EXPECT_EQ(timeline.lastTime, clockLine ? 2.0 : whole.lastTime) << cut;
        EXPECT_EQ(timeline.linesSkipped, whole.linesSkipped + !clockLine) << cut;
        EXPECT_EQ(timeline.linesRead, whole.linesRead + clockLine) << cut;
    }
}

TEST(ReadHapScript, BrokenLineCostsOnlyThatLine) {
    static const char Binary[] = "\x01\xff\\clock [t= 1.5]\0\x80\\setreg[[";
    const std::string good1 = "\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 1.000]";
    const std::string good2 = "\\clock [t= 2.000]   \\setreg[figure= x name= HeadTwist   f0= 2.000]";
    const std::string broken[] = {
        "\\clock [t= 1.500]   \\setreg[name= HeadTwist   f0= 9.000",   // missing "]"
        "\\clock [t= 1.500   \\setreg[name= HeadTwist   f0= 9.000]",   // clock not closed
        std::string(Binary, sizeof Binary - 1),
        "\\clock " + std::string(1 << 20, '['),  // a megabyte
        "\\clock [t= " + std::string(1 << 20, '7') + "]",
        "\\clock [t= 1.500]   \\setreg[name= HeadTwist   f0= 1.2.3]",  // bad numbers
        "\\clock [t= 1,500]   \\setreg[name= HeadTwist   f0= 9.000]",
        "\\clock [t= inf]   \\setreg[name= HeadTwist   f0= 9.000]",
        "\\clock [t= 1.500]   \\setreg[name= HeadTwist   f0= nan]",
        "\\clock [t= 1.500]   \\setreg[name= HeadTwist   f0= 1e39]",   // beyond a float
        "\\clock [t= 1.500]   \\setreg[name= HeadTwist]",             // no value
        "\\clock [t= 1.500]   \\setreg[f0= 9.000]",                   // no name
        "\\clock [t= 1.500]   \\setreg[name=    f0= 9.000]",           // empty name, in the
        "\\clock [t= 1.500]   \\setreg[figure= x name=    f0= 9.000]", // generator's spacing
        " \\clock [t= 1.500] \\setreg[name= f0= 9.000]",               // and off the quick path
        "words \\clock [t= 1.500]",
    };
    for (const std::string& line : broken) {
        for (const char* end : {"\r\n", "\n", "\r"}) {
            const tw::HapTimeline timeline = tw::ReadHapScript(good1 + end + line + end + good2 + end);
            EXPECT_EQ(timeline.tracks[HeadTwist].times, (std::vector<double>{1, 2})) << line;
            EXPECT_EQ(timeline.tracks[HeadTwist].values, (std::vector<float>{1, 2})) << line;
            EXPECT_EQ(timeline.lastTime, 2);
            EXPECT_EQ(timeline.linesRead, 2u);
            EXPECT_EQ(timeline.linesSkipped, 1u);
        }
    }
}

TEST(ReadHapScript, ClockGoingBackSortsStablyAndNumbersReadInAnyForm) {
    const tw::HapTimeline timeline = tw::ReadHapScript(
        "\"#Haptek\n"
        "\\clock [t= 3]\n"
        "\\SetReg [name= HeadTwist f0=+1.5e1]\n"            // at the clock of the line above
        "\\clock[t=-0.5] \\setreg[name= NoSuchRegister f0= 7]\n"
        "\\setreg[name= HeadTwist   f0= .25]\n"
        "\\clock [t= 3.000]\\setreg[name= HeadTwist   f0= -0.250]\\setreg[name= HeadTwist   f0= 4]\n"
        "\"\n");
    const tw::RegisterTrack& twist = timeline.tracks[HeadTwist];
    EXPECT_EQ(twist.times, (std::vector<double>{-0.5, 3, 3, 3}));
    EXPECT_EQ(twist.values, (std::vector<float>{0.25f, 15, -0.25f, 4}));
    EXPECT_EQ(tw::SampleTrack(twist, 3.0), 4.0f);
    EXPECT_EQ(timeline.firstTime, 3);
    EXPECT_EQ(timeline.lastTime, 3);
    EXPECT_EQ(timeline.linesRead, 5u);
    EXPECT_EQ(timeline.linesSkipped, 0u);
}

TEST(ReadHapScript, NothingToReadGivesAnEmptyTimeline) {
    for (const std::string& bytes : {std::string(), std::string("\"\r\n\"\r\n"), std::string(5000, '\0')}) {
        const tw::HapTimeline timeline = tw::ReadHapScript(bytes);
        EXPECT_FALSE(timeline.hasClock);
        EXPECT_EQ(timeline.linesRead, 0u);
        for (const auto& track : timeline.tracks) EXPECT_TRUE(track.times.empty());
    }
}

}  // namespace
