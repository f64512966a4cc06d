// The scripts of the previews: one keyframe's pose (all registers at their
// initial or final values) written for the character view to load.
#pragma once

#include <string>
#include <string_view>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"

namespace tw {

// The start time a preview keeps while it writes from time 0, read strictly as
// a 32-bit number; after the preview the field shows this value as text. A
// message as a generation run gives when the text is not such a number.
Outcome<float> SavedStartTime(std::string_view startTime);

struct KeyframePreview {
    std::string block;  // header, empty line, the 105 register lines; file bytes
    float frameCount = 0;
    float frameIndex = 0;
};

// The preview of one keyframe: frame count 1 and frame 0 for the initial
// pose, frame count 2 and frame 2 for the final one, every register written,
// from start time 0, so T = frame index × `frameStep` (the step the last
// generation run left). No credit line and no sub header. Fails with a
// generation run's message when a value text is not a number or a value is
// out of range.
Outcome<KeyframePreview> KeyframePreviewBlock(const DocumentTexts& document, KeyframeSide side,
                                              float frameStep);

}  // namespace tw
