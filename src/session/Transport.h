// The rules of a player's transport over a read script: the clock times that
// hold keyframes, where they fall on a timeline of some pixels' width, the
// time under a pixel, stepping from one keyframe time to the next, and the
// time of a looping playback. Plain values; the view draws and drives them.
#pragma once

#include <array>
#include <vector>

#include "figure/Pose.h"
#include "reading/HapScriptReader.h"

namespace tw {

// Every distinct clock time at which some register has a keyframe, ascending.
// Linear in the keyframes when the registers share their times, as the
// generator writes them.
std::vector<double> KeyframeTimes(const HapTimeline& timeline);

// A timeline `width` pixels wide showing first..last: the left column is
// `first`, the right column `last`. A span of one time puts it at column 0.
struct TimeScale {
    double first = 0, last = 0;
    int width = 0;

    double TimeAt(double x) const;  // x held within the columns
    int ColumnOf(double t) const;   // t held within first..last
};

// The columns of the ticks for `times`, ascending, one per column at most.
std::vector<int> TickColumns(const std::vector<double>& times, const TimeScale& scale);

// The time a click or drag at column x of the timeline scrubs to: the
// keyframe time whose tick lies within `reach` columns of x (the nearest one
// when several do), else the time under x. So a click on a tick, or at either
// end, lands on that keyframe exactly. `times` ascending.
double ScrubTime(const std::vector<double>& times, const TimeScale& scale, double x, int reach);

// The keyframe time before `t` (the first when none is), and after it (the
// last when none is). `times` ascending; an empty list gives t.
double PreviousTime(const std::vector<double>& times, double t);
double NextTime(const std::vector<double>& times, double t);

// The time `elapsed` seconds after `first` when playback wraps from `last`
// back to `first`; first when the span is empty or the input not finite.
double LoopedTime(double first, double last, double elapsed);

// Every register's value at t, held from its last keyframe; a register the
// script never names is 0.
PoseValues SamplePose(const HapTimeline& timeline, double t);

}  // namespace tw
