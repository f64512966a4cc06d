// Playback with a speech track over an injected sound output whose counts of
// handed and buffered frames the test sets: the picture follows what is
// heard, not a timer; pause holds both; a loop restarts the sound; a scrub
// plays a grain at the scrubbed time.
#include "session/SpeechSync.h"

#include <gtest/gtest.h>

#include <vector>

#include "session/Transport.h"

namespace tw {
namespace {

// HeadTwist from 0 at 1 s to 4 at 3 s.
std::shared_ptr<const HapTimeline> Script() {
    std::string text;
    for (int k = 0; k <= 4; ++k)
        text += "\\clock [t= " + std::to_string(1 + 0.5 * k).substr(0, 5) +
                "]   \\setreg[name= HeadTwist   f0= " + std::to_string(k) + ".000]\n";
    return std::make_shared<const HapTimeline>(ReadHapScript(text));
}

struct FakeOutput final : SoundOutput {
    bool device = true, playing = false;
    std::vector<double> starts, grains;
    int stops = 0;
    std::int64_t handed = 0, buffered = 0;

    bool Start(double t) override {
        starts.push_back(t);
        handed = buffered = 0;
        return playing = device;
    }
    void Stop() override {
        ++stops;
        playing = false;
    }
    void Grain(double t) override { grains.push_back(t); }
    // A device's counts move on its own thread, between any two reads.
    bool moving = false;
    std::int64_t HandedFrames() const override {
        return moving ? (const_cast<FakeOutput*>(this)->handed += 96) : handed;
    }
    std::int64_t BufferedFrames() const override { return buffered; }
    int DeviceRate() const override { return 48000; }

    // The device has taken `ms` more and still holds `heldMs`.
    void Hand(int ms, int heldMs) {
        handed += 48 * ms;
        buffered = 48 * heldMs;
    }
};

class SpeechSyncTest : public ::testing::Test {
protected:
    std::int64_t timer = 50'000;  // the ordinary clock, which must not lead
    Player player{std::make_shared<FunctionClock>([this] { return timer; })};
    SpeechSync sync{player, std::make_shared<FunctionClock>([this] { return timer; })};
    FakeOutput out;

    void Play() {
        player.Play(Script(), "a.hap");
        sync.Follow(true);
    }
};

TEST_F(SpeechSyncTest, ThePictureShowsThePoseAtTheHeardTimeNotTheTimers) {
    sync.Attach(&out);
    Play();
    ASSERT_EQ(out.starts, std::vector<double>{1.0});
    EXPECT_TRUE(sync.Sounding());
    // The timer runs ahead while the device's buffer fills: nothing heard yet.
    timer += 300;
    out.Hand(200, 200);
    sync.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), 1.0);
    // 500 ms handed over, 120 ms of it still buffered: 380 ms heard.
    timer += 900;
    out.Hand(300, 120);
    sync.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), 1.38);
    EXPECT_EQ(player.Pose(), SamplePose(*Script(), 1.38));
    // A buffer count that jitters upwards never takes the picture back.
    out.Hand(0, 150);
    sync.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), 1.38);
}

TEST_F(SpeechSyncTest, PauseHoldsBothAndResumeStartsTheSoundAtTheTimeShown) {
    sync.Attach(&out);
    Play();
    out.Hand(600, 100);
    sync.Tick();
    player.Pause();
    sync.Follow();
    EXPECT_FALSE(out.playing);
    EXPECT_FALSE(sync.Sounding());
    const double held = player.Time();
    EXPECT_DOUBLE_EQ(held, 1.5);
    timer += 5000;
    out.Hand(1000, 0);
    sync.Tick();
    EXPECT_EQ(player.Time(), held);

    player.Resume();
    sync.Follow();
    EXPECT_EQ(out.starts.back(), held);
    out.Hand(250, 50);
    sync.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), held + 0.2);
}

TEST_F(SpeechSyncTest, ALoopRestartsTheSoundAtTheLoopsStart) {
    sync.Attach(&out);
    player.SetLooping(true);
    Play();
    out.Hand(2300, 100);  // 2.2 s heard: past the last time, 3 s
    sync.Tick();
    ASSERT_EQ(out.starts.size(), 2u);
    EXPECT_NEAR(out.starts.back(), 1.2, 1e-9);
    EXPECT_NEAR(player.Time(), 1.2, 1e-9);
    out.Hand(100, 0);
    sync.Tick();
    EXPECT_NEAR(player.Time(), 1.3, 1e-9);
}

TEST_F(SpeechSyncTest, CountsThatMoveWhileATickReadsThemRestartNothing) {
    for (const bool looping : {false, true}) {
        SCOPED_TRACE(looping);
        player.SetLooping(looping);
        sync.Attach(&out);
        Play();
        const std::size_t started = out.starts.size();
        out.moving = true;
        for (int tick = 0; tick < 20; ++tick) {
            const double before = player.Time();
            sync.Tick();
            EXPECT_GT(player.Time(), before);
        }
        out.moving = false;
        EXPECT_EQ(out.starts.size(), started);
        out.starts.clear();
        sync.Attach(nullptr);
    }
}

TEST_F(SpeechSyncTest, TheEndStopsTheSound) {
    sync.Attach(&out);
    Play();
    out.Hand(2500, 0);
    EXPECT_FALSE(sync.Tick());
    EXPECT_EQ(player.Time(), 3);
    EXPECT_FALSE(out.playing);
}

TEST_F(SpeechSyncTest, AScrubStopsTheSoundAndPlaysAGrainAtTheScrubbedTime) {
    sync.Attach(&out);
    Play();
    player.ScrubTo(2.25);
    sync.Scrubbed();
    player.ScrubTo(1.75);
    sync.Scrubbed();
    EXPECT_FALSE(out.playing);
    EXPECT_EQ(out.grains, (std::vector<double>{2.25, 1.75}));
}

TEST_F(SpeechSyncTest, WithoutADeviceThePictureRunsOnTheOrdinaryClock) {
    out.device = false;
    sync.Attach(&out);
    Play();
    EXPECT_TRUE(sync.Silent());
    timer += 400;
    sync.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), 1.4);
    // And a device lost while playing: the picture goes on from where it is.
    out.device = true;
    player.Pause();
    sync.Follow();
    player.Resume();
    sync.Follow();
    EXPECT_TRUE(sync.Sounding());
    out.Hand(300, 100);
    sync.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), 1.6);
    sync.DeviceFailed();
    EXPECT_TRUE(sync.Silent());
    timer += 100;
    sync.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), 1.7);
}

TEST_F(SpeechSyncTest, WithoutATrackNothingIsPlayed) {
    Play();
    timer += 250;
    sync.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), 1.25);
    EXPECT_TRUE(out.starts.empty());
}

}  // namespace
}  // namespace tw
