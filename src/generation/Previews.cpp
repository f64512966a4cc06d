#include "generation/Previews.h"

#include <cmath>

#include "document/MessageText.h"
#include "document/NumberText.h"
#include "generation/FileBlock.h"
#include "generation/FrameEmitter.h"
#include "generation/HapScript.h"

namespace tw {

Outcome<float> SavedStartTime(std::string_view startTime) {
    const std::optional<double> value = StrictNumber(startTime);
    const std::string quoted = "\"" + ShownName(startTime) + "\"";
    if (!value || !std::isfinite(*value))
        return Outcome<float>::Failure("Start time: " + quoted + " is not a number.");
    const auto single = static_cast<float>(*value);
    if (!std::isfinite(single)) return Outcome<float>::Failure("Start time: " + quoted + " is out of range.");
    return Outcome<float>::Success(single);
}

Outcome<KeyframePreview> KeyframePreviewBlock(const DocumentTexts& document, KeyframeSide side,
                                              float frameStep) {
    using Result = Outcome<KeyframePreview>;
    DocumentTexts texts = document;
    texts.startTime = "0";
    texts.subHeader.clear();
    texts.activeFile.clear();  // the preview goes to a file of its own
    if (Outcome<void> checked = CheckBlockTexts(BlockDestination::File, texts); !checked)
        return Result::Failure(checked.error());
    Outcome<RunSettings> run = ReadRunSettings(texts);
    if (!run) return Result::Failure(run.error());

    KeyframePreview preview;
    preview.frameCount = side == KeyframeSide::Initial ? 1.0f : 2.0f;
    preview.frameIndex = side == KeyframeSide::Initial ? 0.0f : 2.0f;
    const FrameEmitter emitter(std::move(run).value(), preview.frameCount, frameStep);
    if (std::optional<std::string> fault = emitter.FrameFault(preview.frameIndex, true))
        return Result::Failure(std::move(*fault));
    std::string block;
    StartBlock(block, texts.fileHeader);
    emitter.EmitFrame(block, preview.frameIndex, true);
    preview.block = ForDestination(BlockDestination::File, texts, std::move(block));
    return Result::Success(std::move(preview));
}

}  // namespace tw
