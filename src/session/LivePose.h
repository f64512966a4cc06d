// The pose of one keyframe as the form holds it, for the view to show while a
// value is being edited: exactly the pose the keyframe preview's file gives
// the player, worked out in memory, no file written.
#pragma once

#include <optional>

#include "document/DocumentTexts.h"
#include "figure/Pose.h"

namespace tw {

// The pose of the `side` keyframe, or nothing when the preview could not be
// built (a value box whose text is not a number).
std::optional<PoseValues> KeyframePose(const DocumentTexts& document, KeyframeSide side, float frameStep);

}  // namespace tw
