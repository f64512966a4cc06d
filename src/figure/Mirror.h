// A pose's mirror image, left for right, as the figure is built: each
// register becomes the register that does the mirrored movement (a right-side
// joint its left twin, a face feature the other side's), and keeps its value
// or changes its sign as the mirrored movement needs. The rules are derived
// from the figure's own table (a turn about an axis mirrors to the turn about
// the mirrored axis: forward bends keep their sign, side bends and twists
// change it; the eyes' left-right changes it; the figure's rotation about the
// vertical and forward axes and its sideways translation change it).
#pragma once

#include <array>
#include <string>

#include "figure/Pose.h"

namespace tw {

struct MirrorRule {
    int target = 0;  // the register that takes the mirrored value
    int sign = 1;    // +1 or -1
};

// One rule per register, by catalogue index. Applied twice, every rule gives
// back the register and sign it started from.
const std::array<MirrorRule, RegisterCount>& MirrorRules();

// The mirror image of a pose.
PoseValues MirrorPose(const PoseValues& pose);

// A column of value texts mirrored: each number text moves to its mirrored
// place as the decimal text of its (sign-turned) value, as the slider writes
// values; a text that is not a number moves unchanged.
using ValueColumn = std::array<std::string, RegisterCount>;
ValueColumn MirrorColumn(const ValueColumn& column);

}  // namespace tw
