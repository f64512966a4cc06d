// Renders written and read back with FFmpeg's decoders: the frame count,
// size and rate; PNG frames equal to the scene's frames exactly and video
// frames close to them; the speech starting at its offset; and a stopped or
// failed render leaving nothing behind.
#include "render/Rendering.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>

#include "TempFolder.h"
#include "render/Decoded.h"
#include "render/MovieWriter.h"
#include "render/SceneRenderer.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using testing::Decoded;
using testing::DecodeFile;

// The head turning and the right arm rising over one second.
std::shared_ptr<const HapTimeline> Moving() {
    return std::make_shared<const HapTimeline>(
        ReadHapScript("\\clock [t= 0.000]   \\setreg[name= HeadTwist   f0= 0.000]\n"
                      "\\clock [t= 0.000]   \\setreg[name= RShoOut   f0= 0.000]\n"
                      "\\clock [t= 0.500]   \\setreg[name= HeadTwist   f0= 30.000]\n"
                      "\\clock [t= 0.500]   \\setreg[name= RShoOut   f0= 40.000]\n"
                      "\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 60.000]\n"
                      "\\clock [t= 1.000]   \\setreg[name= RShoOut   f0= 80.000]\n"));
}

// One clock time: a still.
std::shared_ptr<const HapTimeline> Still() {
    return std::make_shared<const HapTimeline>(
        ReadHapScript("\\clock [t= 0.000]   \\setreg[name= HeadTwist   f0= 20.000]\n"));
}

// Silence with one full-scale click `at` seconds into it.
RenderSpeech Click(int rate, int channels, double seconds, double at, double offset) {
    RenderSpeech speech;
    speech.sampleRate = rate;
    speech.channels = channels;
    speech.offset = offset;
    speech.samples.assign(std::size_t(seconds * rate) * std::size_t(channels), 0.0f);
    const std::size_t click = std::size_t(at * rate);
    for (std::size_t i = click; i < click + 64; ++i)
        for (int c = 0; c < channels; ++c) speech.samples[i * std::size_t(channels) + std::size_t(c)] = 0.9f;
    return speech;
}

class RenderingTest : public TempFolderTest {
protected:
    RenderRequest Request(const std::string& name, std::shared_ptr<const HapTimeline> script = Moving()) {
        RenderRequest r;
        r.script = std::move(script);
        r.name = "a.hap";
        r.out = (folder / name).string();
        r.size = {64, 48};
        r.fps = 10;
        r.from = 0;
        r.to = 1;
        return r;
    }
    // The frames the scene draws for `r`, as the render should show them.
    static std::vector<QImage> Expected(const RenderRequest& r, FrameSize size) {
        Player player;
        player.Play(r.script, r.name);
        SceneRenderer scene(player);
        scene.SetCamera(r.camera);
        scene.SetGhosts(r.ghosts);
        const FrameTimes plan = PlanFrames(r.from, r.to, r.fps).value();
        std::vector<QImage> frames;
        for (long long k = 0; k < plan.count; ++k)
            frames.push_back(scene.Frame(plan.Time(k), QSize(size.width, size.height)));
        return frames;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            names.push_back(fs::relative(entry.path(), folder).string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(RenderPlanTest, FramesNamesSizesAndRates) {
    struct Row {
        double from, to;
        int fps;
        long long count;  // 0: refused
    } rows[] = {{0, 1, 10, 11}, {0, 3, 30, 91}, {0.5, 0.5, 30, 1}, {0, 0.1, 30, 4},  {0, 0.099, 30, 3},
                {2, 1, 30, 0},  {0, 1, 0, 0},   {0, 1, 1000, 0},   {0, 1, 120, 121}, {0, 1, 1, 2}};
    for (const Row& row : rows) {
        const Outcome<FrameTimes> plan = PlanFrames(row.from, row.to, row.fps);
        SCOPED_TRACE(std::to_string(row.from) + ".." + std::to_string(row.to) + " @" +
                     std::to_string(row.fps));
        ASSERT_EQ(plan.ok(), row.count > 0) << plan.error();
        if (!plan) continue;
        EXPECT_EQ(plan.value().count, row.count);
        EXPECT_DOUBLE_EQ(plan.value().Time(row.count - 1), row.from + double(row.count - 1) / row.fps);
    }

    struct Kind {
        const char* out;
        std::optional<OutputKind> kind;
    } kinds[] = {{"a.mp4", OutputKind::Mp4},
                 {"b/A.MP4", OutputKind::Mp4},
                 {"a.webm", OutputKind::WebM},
                 {"a.gif", OutputKind::Gif},
                 {"frames/", OutputKind::PngFolder},
                 {"f/shot-%04d.png", OutputKind::PngPattern},
                 {"a.avi", std::nullopt},
                 {"frames", std::nullopt},
                 {"", std::nullopt}};
    for (const Kind& k : kinds) EXPECT_EQ(OutputKindOf(k.out), k.kind) << k.out;

    struct Size {
        const char* text;
        std::optional<FrameSize> size;
    } sizes[] = {{"1280x720", FrameSize{1280, 720}},
                 {"16x16", FrameSize{16, 16}},
                 {"3840x2160", FrameSize{3840, 2160}},
                 {"0x0", std::nullopt},
                 {"7x7", std::nullopt},
                 {"99999x99999", std::nullopt},
                 {"3841x100", std::nullopt},
                 {"64x", std::nullopt},
                 {"64x48x2", std::nullopt},
                 {"-64x48", std::nullopt},
                 {"", std::nullopt}};
    for (const Size& s : sizes) {
        const Outcome<FrameSize> parsed = ParseFrameSize(s.text);
        EXPECT_EQ(parsed.ok(), s.size.has_value()) << s.text;
        if (parsed && s.size) {
            EXPECT_EQ(parsed.value(), *s.size) << s.text;
        }
    }
    EXPECT_EQ(EvenFrameSize({65, 49}), (FrameSize{66, 50}));
    EXPECT_EQ(EvenFrameSize({64, 48}), (FrameSize{64, 48}));
    EXPECT_EQ(MovieWriter::PngName("out/shot-%04d.png", 7), "shot-0007.png");
    EXPECT_EQ(MovieWriter::PngName("frames/", 12), "0012.png");
}

TEST_F(RenderingTest, PngFramesAreTheScenesFramesExactly) {
    const RenderRequest r = Request("frames/");
    const Outcome<RenderResult> done = RenderScript(r);
    ASSERT_TRUE(done) << done.error();
    EXPECT_EQ(done.value().frames, 11);
    const std::vector<QImage> expected = Expected(r, {64, 48});
    std::vector<std::string> names;
    for (long long k = 0; k < 11; ++k) {
        const QImage frame =
            testing::DecodePng((folder / "frames" / MovieWriter::PngName(r.out, k)).string());
        ASSERT_FALSE(frame.isNull()) << k;
        EXPECT_EQ(frame, expected[std::size_t(k)]) << "frame " << k;
        names.push_back("frames/" + MovieWriter::PngName(r.out, k));
    }
    names.insert(names.begin(), "frames");
    EXPECT_EQ(Names(), names);  // no file more, and no temporary left
    EXPECT_NE(expected.front(), expected.back());
}

TEST_F(RenderingTest, APatternWritesBesideOtherFilesAndAStillsFramesAreEqual) {
    Write(folder / "keep.txt", "mine");
    RenderRequest r = Request("shot-%04d.png", Still());
    r.to = 0.3;  // a still of 0.3 s
    ASSERT_TRUE(RenderScript(r));
    EXPECT_EQ(Names(), (std::vector<std::string>{"keep.txt", "shot-0000.png", "shot-0001.png",
                                                 "shot-0002.png", "shot-0003.png"}));
    const QImage first = testing::DecodePng((folder / "shot-0000.png").string());
    EXPECT_FALSE(first.isNull());
    EXPECT_EQ(testing::DecodePng((folder / "shot-0003.png").string()), first);
}

TEST_F(RenderingTest, Mp4AndWebmHoldEveryFrameAtItsRateCloseToTheScene) {
    for (const char* name : {"a.mp4", "a.webm"}) {
        SCOPED_TRACE(name);
        const RenderRequest r = Request(name);
        ASSERT_TRUE(RenderScript(r));
        const Decoded d = DecodeFile(r.out);
        ASSERT_TRUE(d.opened);
        EXPECT_EQ(d.width, 64);
        EXPECT_EQ(d.height, 48);
        EXPECT_EQ(av_cmp_q(d.frameRate, AVRational{10, 1}), 0) << d.frameRate.num << "/" << d.frameRate.den;
        ASSERT_EQ(d.frames.size(), 11u);
        EXPECT_FALSE(d.hasAudio);
        const std::vector<QImage> expected = Expected(r, {64, 48});
        const double floor = std::string(name) == "a.mp4" ? 35 : 30;
        for (std::size_t k = 0; k < expected.size(); ++k)
            EXPECT_GE(testing::Psnr(expected[k], d.frames[k]), floor) << "frame " << k;
        // Frames keep their order: each is nearer its own time than the other end's.
        EXPECT_GT(testing::Psnr(expected[0], d.frames[0]), testing::Psnr(expected[10], d.frames[0]));
    }
}

TEST_F(RenderingTest, OddSizesAreRoundedUpForVideosAndSaidSo) {
    RenderRequest r = Request("odd.mp4");
    r.size = {65, 49};
    const Outcome<RenderResult> done = RenderScript(r);
    ASSERT_TRUE(done) << done.error();
    EXPECT_EQ(done.value().size, (FrameSize{66, 50}));
    ASSERT_EQ(done.value().notes.size(), 1u);
    EXPECT_NE(done.value().notes[0].find("66x50"), std::string::npos);
    const Decoded d = DecodeFile(r.out);
    EXPECT_EQ(d.width, 66);
    EXPECT_EQ(d.height, 50);
    // A GIF keeps the size asked.
    r.out = (folder / "odd.gif").string();
    ASSERT_TRUE(RenderScript(r));
    const Decoded gif = DecodeFile(r.out);
    EXPECT_EQ(gif.width, 65);
    EXPECT_EQ(gif.height, 49);
    EXPECT_EQ(gif.frames.size(), 11u);
}

TEST_F(RenderingTest, AGifHasEveryFrameInColoursNearTheScene) {
    const RenderRequest r = Request("a.gif");
    ASSERT_TRUE(RenderScript(r));
    const Decoded d = DecodeFile(r.out);
    ASSERT_EQ(d.frames.size(), 11u);
    const std::vector<QImage> expected = Expected(r, {64, 48});
    for (std::size_t k = 0; k < expected.size(); ++k)
        EXPECT_GE(testing::Psnr(expected[k], d.frames[k]), 28) << "frame " << k;
    EXPECT_NE(d.frames.front(), d.frames.back());
}

TEST_F(RenderingTest, TheSpeechStartsAtItsOffset) {
    struct Row {
        const char* out;
        int rate, channels;
        double offset, click, from, expected;
    } rows[] = {
        {"a.mp4", 48000, 1, 0.5, 0.0, 0.0, 0.5},    // starts inside the video
        {"b.mp4", 44100, 2, 0.25, 0.1, 0.0, 0.35},  // a click into the speech
        {"c.mp4", 22050, 1, 0.3, 0.2, 0.2, 0.3},    // a render that starts later
        {"d.mp4", 48000, 1, -0.2, 0.4, 0.0, 0.2},   // speech that began before the script
        {"e.webm", 48000, 1, 0.5, 0.0, 0.0, 0.5},  {"f.webm", 44100, 2, 0.1, 0.3, 0.0, 0.4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.out);
        RenderRequest r = Request(row.out);
        r.from = row.from;
        r.speech = Click(row.rate, row.channels, 1.0, row.click, row.offset);
        ASSERT_TRUE(RenderScript(r));
        const Decoded d = DecodeFile(r.out);
        ASSERT_TRUE(d.hasAudio);
        ASSERT_TRUE(d.firstSound.has_value());
        // Within one audio frame of the encoder (AAC: 1024 samples).
        EXPECT_NEAR(*d.firstSound, row.expected, 1024.0 / d.sampleRate);
        EXPECT_EQ(d.frames.size(), std::size_t(PlanFrames(r.from, r.to, r.fps).value().count));
    }
}

TEST_F(RenderingTest, AStoppedRenderLeavesNothingAndTheEarlierOutputAsItWas) {
    for (const char* name : {"a.mp4", "frames/", "a.gif", "s-%04d.png"}) {
        SCOPED_TRACE(name);
        RenderRequest r = Request(name);
        const bool folderOut = std::string(name) == "frames/";
        const fs::path old = folderOut ? folder / "frames" / "0000.png" : folder / "a.mp4";
        if (folderOut) fs::create_directory(folder / "frames");
        Write(old, "earlier");
        const std::vector<std::string> before = Names();
        std::atomic<bool> stop{false};
        long long seen = 0;
        const Outcome<RenderResult> done = RenderScript(
            r,
            [&](long long k, long long) {
                seen = k;
                if (k == 3) stop = true;
            },
            &stop);
        EXPECT_FALSE(done);
        EXPECT_EQ(seen, 3);
        EXPECT_EQ(Names(), before);
        EXPECT_EQ(Read(old), "earlier");
        fs::remove_all(folder / "frames");
        fs::remove(folder / "a.mp4");
    }
}

TEST_F(RenderingTest, AnUnwritableOrMissingFolderFailsWithAMessageAndWritesNothing) {
    RenderRequest r = Request("missing/a.mp4");
    Outcome<RenderResult> done = RenderScript(r);
    ASSERT_FALSE(done);
    EXPECT_NE(done.error().find("does not exist"), std::string::npos) << done.error();
    EXPECT_TRUE(Names().empty());

    // A folder of earlier frames is replaced; one holding anything else is not touched.
    fs::create_directory(folder / "home");
    Write(folder / "home" / "notes.txt", "mine");
    Write(folder / "home" / "0000.png", "mine too");
    r.out = (folder / "home/").string();
    done = RenderScript(r);
    ASSERT_FALSE(done);
    EXPECT_NE(done.error().find("other files than frames"), std::string::npos) << done.error();
    EXPECT_EQ(Names(), (std::vector<std::string>{"home", "home/0000.png", "home/notes.txt"}));
    fs::remove(folder / "home" / "notes.txt");
    ASSERT_TRUE(RenderScript(r));
    EXPECT_NE(Read(folder / "home" / "0000.png"), "mine too");
    fs::remove_all(folder / "home");

    r.out = (folder / "a.avi").string();
    done = RenderScript(r);
    ASSERT_FALSE(done);
    EXPECT_NE(done.error().find(".mp4"), std::string::npos) << done.error();

    if (::geteuid() != 0) {  // the superuser writes anywhere
        fs::create_directory(folder / "locked");
        fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        for (const char* name : {"locked/a.mp4", "locked/f/", "locked/s-%04d.png"}) {
            r.out = (folder / name).string();
            done = RenderScript(r);
            EXPECT_FALSE(done) << name;
            EXPECT_NE(done.error().find("Cannot write"), std::string::npos) << done.error();
        }
        EXPECT_TRUE(fs::is_empty(folder / "locked"));
        fs::permissions(folder / "locked", fs::perms::owner_all);
    }
}

TEST_F(RenderingTest, AFullDiskFailsAndLeavesNothing) {
    // A file size limit makes writes fail as a full file system does.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 500;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    Write(folder / "a.mp4", "earlier");
    std::vector<std::string> failures;
    for (const char* name : {"a.mp4", "a.gif", "frames/"}) {
        const Outcome<RenderResult> done = RenderScript(Request(name));
        if (done) failures.push_back(name);
    }
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(failures.empty()) << failures.front();
    EXPECT_EQ(Names(), std::vector<std::string>{"a.mp4"});
    EXPECT_EQ(Read(folder / "a.mp4"), "earlier");
}

}  // namespace
}  // namespace tw
