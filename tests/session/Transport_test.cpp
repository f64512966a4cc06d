// The transport's rules: keyframe times of a script, where they fall on the
// timeline, stepping between them and looping.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "session/Transport.h"

namespace tw {
namespace {

HapTimeline Read(const std::string& text) { return ReadHapScript(text); }

int Reg(std::string_view name) {
    for (int i = 0; i < RegisterCount; ++i)
        if (RegisterCatalogue()[i].name == name) return i;
    return -1;
}

TEST(Transport, KeyframeTimesAreEveryRegistersTimesOnce) {
    const HapTimeline t = Read(
        "\\clock [t= 0.000]   \\setreg[name= HeadTwist   f0= 1.000]\n"
        "\\clock [t= 0.000]   \\setreg[name= HeadForward   f0= 1.000]\n"
        "\\clock [t= 0.500]   \\setreg[name= HeadTwist   f0= 2.000]\n"
        "\\clock [t= 0.250]   \\setreg[name= HeadForward   f0= 2.000]\n"
        "\\clock [t= 0.750]   \\setreg[name= HeadForward   f0= 2.000]\n"
        "\\clock [t= 0.750]   \\setreg[name= HeadForward   f0= 3.000]\n"
        "\\clock [t= 9.000]\n");
    EXPECT_EQ(KeyframeTimes(t), (std::vector<double>{0, 0.25, 0.5, 0.75}));
    EXPECT_TRUE(KeyframeTimes(Read("nothing")).empty());

    // Many registers on the same times: each time once.
    std::string many;
    for (int f = 0; f < 50; ++f)
        for (std::string_view name : {"HeadTwist", "HeadForward", "LShoOut"})
            many += "\\clock [t= " + std::to_string(f) + ".000]   \\setreg[name= " + std::string(name) +
                    "   f0= 1.000]\n";
    const std::vector<double> times = KeyframeTimes(Read(many));
    ASSERT_EQ(times.size(), 50u);
    EXPECT_EQ(times.front(), 0);
    EXPECT_EQ(times.back(), 49);
}

TEST(Transport, TimelineColumnsAndTimes) {
    const TimeScale scale{2, 4, 201};
    EXPECT_EQ(scale.TimeAt(0), 2);
    EXPECT_EQ(scale.TimeAt(200), 4);
    EXPECT_EQ(scale.TimeAt(-50), 2);
    EXPECT_EQ(scale.TimeAt(5000), 4);
    EXPECT_DOUBLE_EQ(scale.TimeAt(100), 3);
    EXPECT_EQ(scale.ColumnOf(3), 100);
    EXPECT_EQ(scale.ColumnOf(-1), 0);
    EXPECT_EQ(scale.ColumnOf(NAN), 0);
    for (int x = 0; x < 201; x += 7) EXPECT_EQ(scale.ColumnOf(scale.TimeAt(x)), x);

    // A click within two columns of a tick lands on its keyframe time exactly;
    // between ticks, on the time under the pointer.
    std::vector<double> tenths;
    for (int i = 0; i <= 30; ++i) tenths.push_back(i / 10.0);
    const TimeScale view{0, 3, 273};  // a tick every 9 columns
    EXPECT_EQ(ScrubTime(tenths, view, 2, 2), 0.0);
    EXPECT_EQ(ScrubTime(tenths, view, -40, 2), 0.0);
    EXPECT_EQ(ScrubTime(tenths, view, 271, 2), 3.0);
    EXPECT_EQ(ScrubTime(tenths, view, 10, 2), 0.1);
    EXPECT_EQ(ScrubTime(tenths, view, 7, 2), 0.1);
    EXPECT_DOUBLE_EQ(ScrubTime(tenths, view, 4.5, 2), view.TimeAt(4.5));
    EXPECT_DOUBLE_EQ(ScrubTime(tenths, view, 2, 1), view.TimeAt(2));
    EXPECT_DOUBLE_EQ(ScrubTime({}, view, 2, 2), view.TimeAt(2));

    // One time only: everything at the left end, and that time under every pixel.
    const TimeScale single{1.5, 1.5, 100};
    EXPECT_EQ(single.TimeAt(60), 1.5);
    EXPECT_EQ(TickColumns({1.5}, single), std::vector<int>{0});

    // A long script: no more ticks than pixels, each column once, ascending.
    std::vector<double> times;
    for (int i = 0; i <= 100000; ++i) times.push_back(i / 30.0);
    const TimeScale wide{0, times.back(), 300};
    const std::vector<int> ticks = TickColumns(times, wide);
    ASSERT_EQ(ticks.size(), 300u);
    for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_EQ(ticks[i], static_cast<int>(i));
    EXPECT_EQ(TickColumns({0, 10, 1000}, {0, 1000, 11}), (std::vector<int>{0, 10}));
}

TEST(Transport, SteppingAndLooping) {
    const std::vector<double> times{0, 0.5, 1, 2};
    EXPECT_EQ(NextTime(times, 0), 0.5);
    EXPECT_EQ(NextTime(times, 0.7), 1);
    EXPECT_EQ(NextTime(times, 2), 2);
    EXPECT_EQ(PreviousTime(times, 1), 0.5);
    EXPECT_EQ(PreviousTime(times, 0.7), 0.5);
    EXPECT_EQ(PreviousTime(times, 0), 0);
    EXPECT_EQ(PreviousTime({}, 3), 3);

    EXPECT_DOUBLE_EQ(LoopedTime(1, 3, 0.5), 1.5);
    EXPECT_DOUBLE_EQ(LoopedTime(1, 3, 2), 1);
    EXPECT_DOUBLE_EQ(LoopedTime(1, 3, 5.25), 2.25);
    EXPECT_EQ(LoopedTime(1, 1, 5), 1);
    EXPECT_EQ(LoopedTime(1, 3, INFINITY), 1);
}

TEST(Transport, PoseAtATimeHoldsEachRegisterUntilItsNextKeyframe) {
    const HapTimeline t = Read(
        "\\clock [t= 1.000]   \\setreg[name= HeadTwist   f0= 1.000]\n"
        "\\clock [t= 2.000]   \\setreg[name= HeadTwist   f0= 2.000]\n"
        "\\clock [t= 2.000]   \\setreg[name= LShoOut   f0= 0.500]\n");
    PoseValues pose = SamplePose(t, 1.9);
    EXPECT_EQ(pose[Reg("HeadTwist")], 1);
    EXPECT_EQ(pose[Reg("LShoOut")], 0.5f);  // before its first keyframe: that keyframe
    EXPECT_EQ(pose[Reg("HeadForward")], 0);
    pose = SamplePose(t, 2);
    EXPECT_EQ(pose[Reg("HeadTwist")], 2);
}

}  // namespace
}  // namespace tw
