#include <gtest/gtest.h>

#include "document/FieldRules.h"
#include "document/PanelLayout.h"
#include "document/RegisterCatalogue.h"
#include "document/RegisterValues.h"

namespace tw {
namespace {

int IndexOf(std::string_view name) {
    const auto& catalogue = RegisterCatalogue();
    for (int i = 0; i < RegisterCount; ++i)
        if (catalogue[i].name == name) return i;
    ADD_FAILURE() << name << " is not in the catalogue";
    return 0;
}

TEST(RegisterCatalogue, HoldsTheRegistersInOrderWithGroupsAndScales) {
    const auto& c = RegisterCatalogue();
    ASSERT_EQ(c.size(), 105u);
    EXPECT_EQ(c[0].name, "HeadSideBend");
    EXPECT_EQ(c[16].name, "RShoForward");
    EXPECT_EQ(c[45].name, "LToeBend");
    EXPECT_EQ(c[46].name, "RFingerThumbOut");
    EXPECT_EQ(c[85].name, "LFingerPinkyTip");
    EXPECT_EQ(c[86].name, "MidBrowUD");
    EXPECT_EQ(c[97].name, "smile3");
    EXPECT_EQ(c[99].name, "LocalRotateX");
    EXPECT_EQ(c[104].name, "LocalTranslateZ");
    int counts[4] = {};
    for (const auto& r : c) ++counts[static_cast<int>(r.group)];
    EXPECT_EQ(counts[0], 46);
    EXPECT_EQ(counts[1], 40);
    EXPECT_EQ(counts[2], 13);
    EXPECT_EQ(counts[3], 6);
    EXPECT_EQ(c[98].group, RegisterGroup::Face);
    EXPECT_EQ(c[99].group, RegisterGroup::Translate);
    for (int i : {22, 24, 36, 38}) {
        EXPECT_EQ(c[i].negScale, 0) << i;
        EXPECT_EQ(c[i].posScale, 2) << i;
    }
    for (int i : {16, 21, 26, 28, 30, 33, 39, 41}) EXPECT_EQ(c[i].negScale, 2) << i;
    for (int i : {0, 15, 23, 25, 27, 29, 31, 32, 34, 35, 37, 40, 42, 98}) {
        EXPECT_EQ(c[i].negScale, 1) << i;
        EXPECT_EQ(c[i].posScale, 1) << i;
    }
    for (int i = 99; i <= 101; ++i) EXPECT_EQ(c[i].posScale, 3.142f);
    for (int i = 102; i <= 104; ++i) EXPECT_EQ(c[i].negScale, 100);
}

TEST(SliderConversions, FollowTheRegisterScales) {
    EXPECT_EQ(PositionToValue(IndexOf("LocalTranslateX"), 25), 25);
    EXPECT_EQ(ValueToPosition(IndexOf("LocalTranslateX"), 25), 25);
    EXPECT_EQ(PositionToValue(IndexOf("HeadTwist"), 50), 0.5);
    EXPECT_EQ(PositionToValue(IndexOf("RShoForward"), -50), -1);
    EXPECT_FLOAT_EQ(static_cast<float>(PositionToValue(IndexOf("LocalRotateY"), 100)), 3.142f);
    EXPECT_EQ(PositionToValue(IndexOf("RElbowBendJoint"), 100), 2);
    for (const char* name : {"RElbowBendJoint", "LElbowBendJoint", "RKneeBack", "LKneeBack"})
        for (int p : {-1, -50, -100}) EXPECT_EQ(PositionToValue(IndexOf(name), p), 0) << name;
    // Halves go to the even neighbour.
    EXPECT_EQ(ValueToPosition(IndexOf("HeadTwist"), 0.125), 12);
    EXPECT_EQ(ValueToPosition(IndexOf("HeadTwist"), 0.375), 38);
    EXPECT_EQ(ValueToPosition(IndexOf("HeadTwist"), -0.125), -12);
    EXPECT_EQ(ValueToPosition(IndexOf("HeadTwist"), 3), 300);
    EXPECT_EQ(ValueToPosition(IndexOf("RKneeBack"), -1), 0);
    EXPECT_EQ(ValueToPosition(IndexOf("HeadTwist"), 0), 0);
}

TEST(FieldRules, FinishTimeIsStartPlusDuration) {
    EXPECT_EQ(FinishTimeText("0.1", "0.2"), "0.3");
    EXPECT_EQ(FinishTimeText("3", "2"), "5");
    EXPECT_EQ(FinishTimeText("1.5x", "1"), "2.5");
    EXPECT_EQ(FinishTimeText("", "abc"), "0");
    EXPECT_EQ(FinishTimeText("1", "-1.5"), "-0.5");
}

TEST(FieldRules, NormalisesNumbersOnLeaving) {
    EXPECT_EQ(NormalisedNumberText(" 2.50s"), "2.5");
    EXPECT_EQ(NormalisedNumberText("abc"), "0");
    EXPECT_EQ(NormalisedNumberText("12.5fps"), "12.5");
    EXPECT_EQ(NormalisedNumberText("1e999"), "1.79769313486231E+308");
}

TEST(FieldRules, SnapsTheDurationDownToWholeFrames) {
    EXPECT_EQ(SnappedDurationText("1.25", "10"), "1.2");
    EXPECT_EQ(SnappedDurationText("1", "10"), "1");
    EXPECT_EQ(SnappedDurationText("0.05", "10"), "0");
    EXPECT_EQ(SnappedDurationText("-0.05", "10"), "-0.1");
    EXPECT_EQ(SnappedDurationText("0.5", "7"), "0.428571428571429");
    EXPECT_EQ(SnappedDurationText("1", "12.5"), "0.96");
    EXPECT_EQ(SnappedDurationText("2.3", "100"), "2.3");
    EXPECT_EQ(SnappedDurationText("1.25s", " 10 "), "1.2");
    // A frame rate that cannot be used leaves the duration alone.
    EXPECT_FALSE(SnappedDurationText("1.25", "0").has_value());
    EXPECT_FALSE(SnappedDurationText("1.25", "10fps").has_value());
    EXPECT_FALSE(SnappedDurationText("1.25", "").has_value());
}

TEST(FieldRules, AccelerationLeavesALoneMinusStanding) {
    EXPECT_FALSE(NormalisedAccelerationText("-").has_value());
    EXPECT_EQ(NormalisedAccelerationText("-3"), "-3");
    EXPECT_EQ(NormalisedAccelerationText("abc"), "0");
    EXPECT_EQ(NormalisedAccelerationText("2x"), "2");
    EXPECT_EQ(NormalisedAccelerationText(""), "0");
    EXPECT_EQ(NormalisedAccelerationText("1."), "1");
    EXPECT_EQ(NormalisedAccelerationText("--"), "0");
}

KeyframeColumns Sample() {
    KeyframeColumns c;
    for (int i = 0; i < RegisterCount; ++i) {
        c.initial[i] = std::string(1, 'i') + std::to_string(i);
        c.final[i] = std::string(1, 'f') + std::to_string(i);
    }
    c.initial[3] = "0.123456789";
    c.final[4] = "0.123456789";
    c.initial[5] = "12.500";
    c.initial[6] = "0.5";
    c.initial[7] = "";
    return c;
}

TEST(ValueCommands, ResetAndCopyTouchOnlyTheirColumn) {
    KeyframeColumns c = Sample();
    ResetInitial(c);
    for (int i = 0; i < RegisterCount; ++i) {
        EXPECT_EQ(c.initial[i], "0");
        EXPECT_EQ(c.final[i], Sample().final[i]);
    }
    CopyInitialToFinal(c);
    for (const auto& text : c.final) EXPECT_EQ(text, "0");

    c = Sample();
    ResetFinal(c);
    EXPECT_EQ(c.initial, Sample().initial);
    for (const auto& text : c.final) EXPECT_EQ(text, "0");

    c = Sample();
    CopyInitialToFinal(c);
    EXPECT_EQ(c.final[5], "12.500");
    EXPECT_EQ(c.final, Sample().initial);
}

TEST(ValueCommands, SwapRoundsTheInitialColumnToSevenDigits) {
    KeyframeColumns c = Sample();
    SwapInitialAndFinal(c);
    EXPECT_EQ(c.initial, Sample().final);
    EXPECT_EQ(c.final[3], "0.1234568");
    EXPECT_EQ(c.final[5], "12.5");
    EXPECT_EQ(c.final[6], "0.5");
    EXPECT_EQ(c.final[7], "");       // not a number: moved over unchanged
    EXPECT_EQ(c.final[10], "i10");
    SwapInitialAndFinal(c);
    EXPECT_EQ(c.initial[3], "0.1234568");
    EXPECT_EQ(c.final[4], "0.1234568");
    EXPECT_EQ(c.initial[6], "0.5");
}

TEST(PanelLayout, ViewsHaveTheirRanges) {
    EXPECT_EQ(ViewRange(0)->bottom, 88);
    EXPECT_EQ(ViewRange(1)->bottom, 29);
    EXPECT_EQ(ViewRange(2)->top, 46);
    EXPECT_EQ(ViewRange(3)->top, 86);
    EXPECT_EQ(ViewRange(3)->bottom, 82);
    EXPECT_EQ(ViewRange(4)->top, 99);
    EXPECT_FALSE(ViewRange(5).has_value());
    EXPECT_FALSE(ViewRange(-1).has_value());
    EXPECT_EQ(ClampToRange(10, *ViewRange(2)), 46);
    EXPECT_EQ(ClampToRange(88, *ViewRange(3)), 86);
    EXPECT_EQ(ClampToRange(100, *ViewRange(4)), 99);
    EXPECT_EQ(ClampToRange(84, *ViewRange(3)), 84);
    EXPECT_EQ(LandingPosition(10, *ViewRange(2)), 46);
    EXPECT_EQ(LandingPosition(99, *ViewRange(3)), 86);
    EXPECT_EQ(LandingPosition(10, *ViewRange(3)), 86);
    EXPECT_EQ(LandingPosition(84, *ViewRange(3)), 84);
    EXPECT_EQ(LandingPosition(88, *ViewRange(1)), 0);
    EXPECT_EQ(LandingPosition(0, *ViewRange(4)), 99);
    EXPECT_EQ(LandingPosition(29, *ViewRange(1)), 29);
}

TEST(PanelLayout, ShowsSeventeenRowsFromThePosition) {
    for (int position : {0, 29, 46, 82, 86, 88, 99}) {
        int shown = 0;
        for (int i = 0; i < RegisterCount; ++i) {
            bool expected = i - position >= 0 && i - position <= 16;
            EXPECT_EQ(RowShown(RowTopTwips(i, position)), expected) << i << " at " << position;
            shown += expected;
        }
        EXPECT_EQ(shown, position == 99 ? 6 : 17);
    }
    EXPECT_EQ(RowTopTwips(10, 10), 3720);
    EXPECT_EQ(RowTopTwips(26, 10), 9480);
}

TEST(PanelLayout, SliderPositionOfABoxText) {
    EXPECT_EQ(SliderPositionForText(IndexOf("HeadTwist"), "0.5"), 50);
    EXPECT_EQ(SliderPositionForText(IndexOf("HeadTwist"), "-0.5"), -50);
    EXPECT_EQ(SliderPositionForText(IndexOf("HeadTwist"), "0"), 0);
    EXPECT_EQ(SliderPositionForText(IndexOf("HeadTwist"), ""), 0);
    EXPECT_EQ(SliderPositionForText(IndexOf("LocalTranslateZ"), "25"), 25);
    EXPECT_EQ(SliderPositionForText(IndexOf("RShoForward"), "1"), 50);
    EXPECT_EQ(SliderPositionForText(IndexOf("HeadTwist"), "3"), 100);
    EXPECT_EQ(SliderPositionForText(IndexOf("HeadTwist"), "-1e300"), -100);
    EXPECT_EQ(SliderPositionForText(IndexOf("HeadTwist"), "1e999"), 100);
    EXPECT_EQ(SliderPositionForText(IndexOf("LKneeBack"), "-1"), 0);
}

}  // namespace
}  // namespace tw
