// The player without a window: playback follows the clock it is given, pause
// holds the time, a loop wraps it, scrubbing and stepping land on keyframe
// times, and the pose shown is always the script's pose at the time shown.
#include "session/Player.h"

#include <gtest/gtest.h>

#include "document/RegisterCatalogue.h"
#include "session/Transport.h"

namespace tw {
namespace {

int Reg(std::string_view name) {
    for (int i = 0; i < RegisterCount; ++i)
        if (RegisterCatalogue()[i].name == name) return i;
    return -1;
}

// HeadTwist from 0 at 1 s to 4 at 3 s in keyframes half a second apart, and
// LShoOut once at 2 s.
std::shared_ptr<const HapTimeline> Script() {
    std::string text;
    for (int k = 0; k <= 4; ++k) {
        const std::string t = std::to_string(1 + 0.5 * k).substr(0, 5);
        text += "\\clock [t= " + t + "]   \\setreg[name= HeadTwist   f0= " + std::to_string(k) + ".000]\n";
        if (k == 2) text += "\\clock [t= 2.000]   \\setreg[name= LShoOut   f0= 0.500]\n";
    }
    return std::make_shared<const HapTimeline>(ReadHapScript(text));
}

class PlayerTest : public ::testing::Test {
protected:
    std::int64_t now = 10'000;
    Player player{std::make_shared<FunctionClock>([this] { return now; })};

    void Advance(std::int64_t ms) {
        now += ms;
        player.Tick();
    }
};

TEST_F(PlayerTest, PlaysByTheClockAndStopsAtTheLastTime) {
    player.Play(Script(), "a.hap");
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_EQ(player.Time(), 1);
    EXPECT_EQ(player.Name(), "a.hap");
    Advance(700);
    EXPECT_DOUBLE_EQ(player.Time(), 1.7);
    EXPECT_EQ(player.Pose(), SamplePose(*Script(), 1.7));
    EXPECT_EQ(player.Pose()[Reg("HeadTwist")], 1);
    Advance(5000);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.Time(), 3);
    EXPECT_EQ(player.Pose()[Reg("HeadTwist")], 4);
    EXPECT_FALSE(player.Tick());
}

TEST_F(PlayerTest, PauseHoldsTheTimeAndResumeGoesOnFromIt) {
    player.Play(Script(), "a.hap");
    Advance(300);
    player.Pause();
    EXPECT_TRUE(player.IsPaused());
    EXPECT_FALSE(player.IsPlaying());
    Advance(2000);
    EXPECT_DOUBLE_EQ(player.Time(), 1.3);
    player.TogglePause();
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_FALSE(player.IsPaused());
    Advance(400);
    EXPECT_DOUBLE_EQ(player.Time(), 1.7);
    // Once ended, resuming plays the script again from its start.
    Advance(9000);
    player.Resume();
    EXPECT_EQ(player.Time(), 1);
    EXPECT_TRUE(player.IsPlaying());
}

TEST_F(PlayerTest, ALoopWrapsToTheFirstTimeAndKeepsPlaying) {
    player.SetLooping(true);
    player.Play(Script(), "a.hap");
    Advance(2500);  // 3.5 s: half a second past the end of a 2 s span
    EXPECT_TRUE(player.IsPlaying());
    EXPECT_DOUBLE_EQ(player.Time(), 1.5);
    EXPECT_EQ(player.Pose(), player.PoseAt(1.5));
    player.SetLooping(false);
    Advance(2000);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.Time(), 3);
}

TEST_F(PlayerTest, ScrubAndStepPauseOnTimesWithinTheScript) {
    player.Play(Script(), "a.hap");
    player.ScrubTo(2.2);
    EXPECT_TRUE(player.IsPaused());
    EXPECT_DOUBLE_EQ(player.Time(), 2.2);
    Advance(1000);
    EXPECT_DOUBLE_EQ(player.Time(), 2.2);
    player.StepForward();
    EXPECT_EQ(player.Time(), 2.5);
    player.StepBack();
    EXPECT_EQ(player.Time(), 2);
    EXPECT_EQ(player.Pose()[Reg("LShoOut")], 0.5f);
    player.ScrubTo(-4);
    EXPECT_EQ(player.Time(), 1);
    player.ScrubTo(99);
    EXPECT_EQ(player.Time(), 3);
    player.StepForward();
    EXPECT_EQ(player.Time(), 3);
}

TEST_F(PlayerTest, KeepsTheScriptsKeyTimesFirstAndLastPoseAndCountsScripts) {
    player.Play(Script(), "a.hap");
    EXPECT_EQ(player.KeyTimes(), (std::vector<double>{1, 1.5, 2, 2.5, 3}));
    EXPECT_EQ(player.FirstPose()[Reg("HeadTwist")], 0);
    EXPECT_EQ(player.LastPose()[Reg("HeadTwist")], 4);
    EXPECT_EQ(player.PoseAt(2.6), SamplePose(*Script(), 2.6));
    const std::uint64_t first = player.Serial();
    player.Play(Script(), "b.hap");
    EXPECT_NE(player.Serial(), first);
}

TEST_F(PlayerTest, APoseShownOrAResetEndsTheScript) {
    player.Play(Script(), "a.hap");
    Advance(500);
    PoseValues pose{};
    pose[Reg("HeadForward")] = 0.25f;
    player.ShowPose(pose, "");
    EXPECT_FALSE(player.HasScript());
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_TRUE(player.ShowsPose());
    EXPECT_EQ(player.Name(), "");
    EXPECT_EQ(player.Pose(), pose);
    EXPECT_EQ(player.PoseAt(7), pose);
    EXPECT_TRUE(player.KeyTimes().empty());
    player.Reset();
    EXPECT_FALSE(player.ShowsPose());
    EXPECT_EQ(player.Time(), 0);
    EXPECT_EQ(player.Pose(), PoseValues{});
    // Nothing to play: the transport does nothing.
    player.ScrubTo(2);
    player.Resume();
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_EQ(player.Time(), 0);
}

TEST_F(PlayerTest, ANewClockTakesOverFromTheTimeShown) {
    player.Play(Script(), "a.hap");
    Advance(500);
    std::int64_t other = 77;
    player.SetClock(std::make_shared<FunctionClock>([&other] { return other; }));
    player.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), 1.5);
    other += 250;
    player.Tick();
    EXPECT_DOUBLE_EQ(player.Time(), 1.75);
}

}  // namespace
}  // namespace tw
