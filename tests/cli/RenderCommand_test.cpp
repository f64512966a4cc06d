// `tweenwright render` in process: what it writes for each kind, what it
// prints, and the bad inputs it refuses with its status and nothing written.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <sndfile.h>

#include <QString>

#include "cli/CommandLine.h"
#include "cli/RunCommandLine.h"
#include "render/Decoded.h"
#include "render/RememberedSpeech.h"

namespace fs = std::filesystem;

namespace {

std::string Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A second of silence at 48 kHz, mono, with a click `click` seconds in.
void WriteClickTrack(const fs::path& path, double click) {
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<float> samples(48000, 0.0f);
    for (int k = 0; k < 48; ++k) samples[static_cast<std::size_t>(click * 48000) + k] = 0.8f;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// A quoted record whose head turns from `a` to `b` over the times given.
std::string Record(double from, double to, double a, double b) {
    std::ostringstream r;
    r << "\"#Haptek  Version= 2.00 Name= m.hap   HapType= script FileType= text\r\n\r\n";
    r << "\\clock [t= " << from << "]   \\setreg[name= HeadTwist   f0= " << a << "]\r\n";
    r << "\\clock [t= " << from << "]   \\setreg[name= RShoOut   f0= " << a << "]\r\n";
    r << "\\clock [t= " << to << "]   \\setreg[name= HeadTwist   f0= " << b << "]\r\n";
    r << "\\clock [t= " << to << "]   \\setreg[name= RShoOut   f0= " << b << "]\r\n";
    r << "\"\r\n";
    return r.str();
}

class RenderCommandTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tw-render-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // No start-up background picture from the real home folder.
        if (const char* home = std::getenv("HOME")) home_ = home;
        ::setenv("HOME", dir_.c_str(), 1);
        Write(dir_ / "move.hap", Record(0, 3, 0, 60));
    }
    void TearDown() override {
        ::setenv("HOME", home_.c_str(), 1);
        fs::remove_all(dir_);
    }
    std::string P(const std::string& name) const { return (dir_ / name).string(); }
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
    std::string home_;
};

TEST_F(RenderCommandTest, AThreeSecondMovementToPngFramesGifAndMp4) {
    Ran r = Tw({"render", P("move.hap"), "-o", P("frames/"), "--size", "64x48", "--fps", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, P("frames/") + ": 16 frames, 3.200 s\n");
    EXPECT_TRUE(r.err.empty()) << r.err;  // no terminal: no progress lines
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir_ / "frames")) files += e.path().extension() == ".png";
    EXPECT_EQ(files, 16u);
    EXPECT_NE(Bytes(dir_ / "frames" / "0000.png"), Bytes(dir_ / "frames" / "0015.png"));

    r = Tw({"render", P("move.hap"), "-o", P("m.gif"), "--size", "64x48", "--fps", "5", "--camera", "side",
            "--ghosts"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, P("m.gif") + ": 16 frames, 3.200 s\n");
    EXPECT_EQ(Bytes(P("m.gif")).substr(0, 6), "GIF89a");

    r = Tw({"render", P("move.hap"), "-o", P("m.mp4"), "--size", "65x49", "--fps", "5", "--from", "1", "--to",
            "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, P("m.mp4") + ": 6 frames, 1.200 s\n");
    EXPECT_NE(r.err.find("rounded up to 66x50"), std::string::npos) << r.err;
    EXPECT_EQ(Bytes(P("m.mp4")).substr(4, 4), "ftyp");
}

TEST_F(RenderCommandTest, AStillAndABlockOfTheFile) {
    Write(dir_ / "still.hap", "\\clock [t= 2.000]   \\setreg[name= HeadTwist   f0= 20.000]\n");
    Ran r = Tw({"render", P("still.hap"), "-o", P("one/"), "--size", "32x32"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, P("one/") + ": 1 frames, 0.033 s\n");
    r = Tw({"render", P("still.hap"), "-o", P("s/"), "--size", "32x32", "--fps", "4", "--to", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, P("s/") + ": 5 frames, 1.250 s\n");
    EXPECT_EQ(Bytes(dir_ / "s" / "0000.png"), Bytes(dir_ / "s" / "0004.png"));

    // The second block alone runs from its own first time to its last.
    Write(dir_ / "two.hap", Record(0, 1, 0, 30) + Record(1, 3, 30, 90));
    r = Tw({"render", P("two.hap"), "-o", P("b/"), "--size", "32x32", "--fps", "2", "--block", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, P("b/") + ": 5 frames, 2.500 s\n");
    r = Tw({"render", P("two.hap"), "-o", P("c/"), "--size", "32x32", "--fps", "2", "--block", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("has no block 3 (it has 2)"), std::string::npos) << r.err;
}

TEST_F(RenderCommandTest, BadInputIsRefusedWithItsStatusAndNothingWritten) {
    Write(dir_ / "empty.hap", "");
    Write(dir_ / "text.hap", "hello\nworld\n");
    Write(dir_ / "out.mp4", "earlier");
    const std::vector<std::string> before = Listing();
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string says;
    } rows[] = {
        {{"--size", "0x0"}, 2, "16x16 to 3840x2160"},
        {{"--size", "7x7"}, 2, "16x16 to 3840x2160"},
        {{"--size", "99999x99999"}, 2, "16x16 to 3840x2160"},
        {{"--fps", "0"}, 2, "1 to 120"},
        {{"--fps", "1000"}, 2, "1 to 120"},
        {{"--from", "2", "--to", "1"}, 2, "after it ends"},
        {{"--from", "4"}, 2, "after it ends"},
        {{"--camera", "under"}, 2, "under"},
        {{"--speech", P("none.wav")}, 1, "none.wav"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"render", P("move.hap"), "-o", P("out.mp4"), "--size", "32x32"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const Ran r = Tw(args);
        EXPECT_EQ(r.status, row.status) << row.args[0] << " " << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    struct File {
        std::string in, out;
        int status;
        std::string says;
    } files[] = {
        {P("missing.hap"), P("a.mp4"), 1, "missing.hap"},
        {P("empty.hap"), P("a.mp4"), 1, "empty file"},
        {P("text.hap"), P("a.mp4"), 1, "no register lines"},
        {P("move.hap"), P("move.hap"), 1, "refused"},
        {P("move.hap"), P("nowhere/a.mp4"), 1, "does not exist"},
        {P("move.hap"), P("a.avi"), 2, ".mp4"},
    };
    for (const File& f : files) {
        const Ran r = Tw({"render", f.in, "-o", f.out, "--size", "32x32"});
        EXPECT_EQ(r.status, f.status) << f.in << " -> " << f.out << ": " << r.err;
        EXPECT_NE(r.err.find(f.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(Bytes(P("out.mp4")), "earlier");
}

}  // namespace

// The speech file is decoded and heard at its offset; without --speech the
// track the view remembers for the file is used, at its remembered offset.
TEST_F(RenderCommandTest, TheSpeechGivenOrRememberedIsHeardAtItsOffset) {
    WriteClickTrack(dir_ / "click.wav", 0.1);
    const double audioFrame = 1024.0 / 48000;  // one AAC frame
    Ran r = Tw({"render", P("move.hap"), "-o", P("given.mp4"), "--size", "32x32", "--fps", "10", "--speech",
                P("click.wav"), "--speech-offset", "0.5"});
    ASSERT_EQ(r.status, 0) << r.err;
    tw::testing::Decoded d = tw::testing::DecodeFile(P("given.mp4"));
    ASSERT_TRUE(d.hasAudio && d.firstSound);
    EXPECT_NEAR(*d.firstSound, 0.6, audioFrame);

    tw::RememberSpeech(QString::fromStdString(P("move.hap")), {QString::fromStdString(P("click.wav")), 1.25, {}});
    r = Tw({"render", P("move.hap"), "-o", P("kept.mp4"), "--size", "32x32", "--fps", "10"});
    ASSERT_EQ(r.status, 0) << r.err;
    d = tw::testing::DecodeFile(P("kept.mp4"));
    ASSERT_TRUE(d.hasAudio && d.firstSound);
    EXPECT_NEAR(*d.firstSound, 1.35, audioFrame);

    // A remembered sound that has gone: a silent render that says so.
    fs::remove(dir_ / "click.wav");
    r = Tw({"render", P("move.hap"), "-o", P("gone.mp4"), "--size", "32x32", "--fps", "10"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("is not there"), std::string::npos) << r.err;
    EXPECT_FALSE(tw::testing::DecodeFile(P("gone.mp4")).hasAudio);
    tw::RememberSpeech(QString::fromStdString(P("move.hap")), {});
}
