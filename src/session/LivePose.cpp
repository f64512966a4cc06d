#include "session/LivePose.h"

#include "generation/HapScript.h"
#include "generation/Previews.h"
#include "reading/HapScriptReader.h"
#include "session/Transport.h"

namespace tw {

std::optional<PoseValues> KeyframePose(const DocumentTexts& document, KeyframeSide side, float frameStep) {
    // The preview's own script, read as the player reads the preview's file:
    // the names as the form holds them, the values as the file writes them.
    const Outcome<KeyframePreview> preview = KeyframePreviewBlock(document, side, frameStep);
    if (!preview) return std::nullopt;
    const HapTimeline timeline = ReadHapScript(QuotedRecord(preview.value().block));
    return SamplePose(timeline, std::max(timeline.firstTime, timeline.lastTime));
}

}  // namespace tw
