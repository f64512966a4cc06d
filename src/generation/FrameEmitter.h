// The frames of a run: the numbers read from the document's texts, and the
// register lines of single frames written from them.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "document/DocumentTexts.h"
#include "document/Outcome.h"
#include "document/RegisterCatalogue.h"
#include "generation/Easing.h"

namespace tw {

// The numbers of a run, read strictly from the field texts, with the texts
// kept for messages.
struct RunSettings {
    double timeBetweenKeyframes = 0;
    double framesPerSecond = 0;
    double startTime = 0;
    double acceleration = 0;
    Curve curve;
    std::string figure;
    std::array<std::string, RegisterCount> names;
    std::array<double, RegisterCount> initial{};
    std::array<double, RegisterCount> final{};
    // The initial and final texts differ (compared character by character), so
    // the register gets a line on every frame, not only on frame 0.
    std::array<bool, RegisterCount> moving{};
    // The texts, for messages.
    std::string dKeyframeText, framesPSecText, startTimeText, accelerationText;
    std::array<std::string, RegisterCount> initialText;
    std::array<std::string, RegisterCount> finalText;
};

// Reads every number text of the input; fails with a message naming the first
// field whose text is not a finite number.
Outcome<RunSettings> ReadRunSettings(const DocumentTexts& input);

// Writes the register lines of single frames. The frame count and step are
// given, not derived, so previews can write one frame of a run with their own.
class FrameEmitter {
public:
    FrameEmitter(RunSettings run, float frameCount, float frameStep);

    float frameCount() const { return frameCount_; }
    float frameStep() const { return frameStep_; }
    const RunSettings& run() const { return run_; }

    // start time + (t × frame step formed in float).
    double TimeOf(float t) const {
        return run_.startTime + static_cast<double>(t * frameStep_);
    }
    // Register r gets a line on frame t: frame 0, a moving register, or writeAll.
    bool Writes(int r, float t, bool writeAll) const {
        return writeAll || t == 0.0f || run_.moving[r];
    }
    // The eased value of register r on frame t.
    float ValueOf(int r, float t) const;

    // The message naming the register (or the time) when frame t's time or a
    // value it writes is not finite; none when all are.
    std::optional<std::string> FrameFault(float t, bool writeAll) const;

    // Appends the frame's lines to buf. Values that are not finite are written
    // as "inf" or "nan"; FrameFault tells which.
    void EmitFrame(std::string& buf, float t, bool writeAll) const;

    // The raw form for the generation loop: writes at `out`, which must have
    // room for MaxFrameBytes(), and returns the end. `finite` turns false when
    // the frame's time or a value it wrote is not finite.
    char* WriteFrame(char* out, float t, bool writeAll, bool& finite) const;
    std::size_t MaxFrameBytes() const { return maxFrameBytes_; }

private:
    template <CurveKind Kind>
    char* WriteValues(char* out, const char* clock, std::size_t clockLength, float t, bool every,
                      bool& finite) const;

    RunSettings run_;
    float frameCount_;
    float frameStep_;
    std::array<std::string, RegisterCount> pieces_;  // "]   \setreg[... f0= "
    std::array<float, RegisterCount> slopes_{};
    // Every piece padded to PieceSlot bytes, when all fit: each is then copied
    // as one fixed-size block (the bytes past its end are overwritten by
    // what follows), which the compiler turns into a few register moves.
    static constexpr std::size_t PieceSlot = 64;
    std::string paddedPieces_;
    std::size_t maxFrameBytes_ = 0;
};

}  // namespace tw
