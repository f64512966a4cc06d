#include "generation/FrameEmitter.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "document/MessageText.h"
#include "document/NumberText.h"
#include "generation/HapScript.h"

namespace tw {
namespace {

// Longest text of a finite float value: a minus, 39 integer digits, ".000".
constexpr std::size_t MaxValueChars = 1 + 39 + 4;

std::string Quote(const std::string& text) { return "\"" + ShownName(text) + "\""; }

std::string RegisterLabel(const RunSettings& run, int r) {
    if (!run.names[r].empty()) return ShownName(run.names[r]);
    return "the register in row " + std::to_string(r + 1);
}

std::string FrameText(float t) { return std::to_string(static_cast<long long>(t)); }

}  // namespace

Outcome<RunSettings> ReadRunSettings(const DocumentTexts& input) {
    RunSettings run;
    std::string failure;
    // The label is only put together when the text fails.
    const auto read = [&](const std::string& text, const auto& label, double& into) {
        if (!failure.empty()) return;
        const std::optional<double> number = StrictNumber(text);
        if (number && std::isfinite(*number)) {
            into = *number;
        } else {
            failure = std::string(label()) + ": " + Quote(text) + " is not a number.";
        }
    };
    read(
        input.dKeyframe, [] { return "Time between keyframes"; }, run.timeBetweenKeyframes);
    read(
        input.framesPSec, [] { return "Frames per second"; }, run.framesPerSecond);
    read(
        input.startTime, [] { return "Start time"; }, run.startTime);
    read(
        input.acceleration, [] { return "Acceleration"; }, run.acceleration);
    run.figure = input.figure;
    run.names = input.names;
    for (int r = 0; r < RegisterCount; ++r) {
        read(
            input.initial[r], [&] { return "The initial value of " + RegisterLabel(run, r); },
            run.initial[r]);
        read(
            input.final[r], [&] { return "The final value of " + RegisterLabel(run, r); }, run.final[r]);
        run.moving[r] = input.initial[r] != input.final[r];
    }
    if (!failure.empty()) return Outcome<RunSettings>::Failure(std::move(failure));
    run.curve = Curve::FromAcceleration(run.acceleration);
    run.dKeyframeText = input.dKeyframe;
    run.framesPSecText = input.framesPSec;
    run.startTimeText = input.startTime;
    run.accelerationText = input.acceleration;
    run.initialText = input.initial;
    run.finalText = input.final;
    return Outcome<RunSettings>::Success(std::move(run));
}

FrameEmitter::FrameEmitter(RunSettings run, float frameCount, float frameStep)
    : run_(std::move(run)), frameCount_(frameCount), frameStep_(frameStep) {
    std::size_t longestPiece = 0;
    for (int r = 0; r < RegisterCount; ++r) {
        pieces_[r] = RegisterLinePiece(run_.figure, run_.names[r]);
        slopes_[r] = Curve::LinearSlope(frameCount_, run_.initial[r], run_.final[r]);
        longestPiece = std::max(longestPiece, pieces_[r].size());
    }
    if (longestPiece <= PieceSlot) {
        paddedPieces_.assign(RegisterCount * PieceSlot, '\0');
        for (int r = 0; r < RegisterCount; ++r)
            pieces_[r].copy(paddedPieces_.data() + r * PieceSlot, PieceSlot);
    }
    // The widest value text is "-inf" or a float's; the time may be any double.
    // The last line's fixed-size copies may reach PieceSlot bytes past its text.
    maxFrameBytes_ = RegisterCount * (ClockPrefix.size() + MaxNumberChars + longestPiece + MaxValueChars +
                                      LineClose.size()) +
                     PieceSlot;
}

float FrameEmitter::ValueOf(int r, float t) const {
    return run_.curve.Apply(run_.curve.Factors(t, frameCount_), run_.initial[r], run_.final[r], slopes_[r]);
}

std::optional<std::string> FrameEmitter::FrameFault(float t, bool writeAll) const {
    if (!std::isfinite(TimeOf(t))) {
        return "The time of frame " + FrameText(t) + " is out of range (start time " +
               Quote(run_.startTimeText) + ", time between keyframes " + Quote(run_.dKeyframeText) +
               ", frames per second " + Quote(run_.framesPSecText) + ").";
    }
    for (int r = 0; r < RegisterCount; ++r) {
        if (Writes(r, t, writeAll) && !std::isfinite(ValueOf(r, t))) {
            return "The value of " + RegisterLabel(run_, r) + " on frame " + FrameText(t) +
                   " is out of range (initial value " + Quote(run_.initialText[r]) + ", final value " +
                   Quote(run_.finalText[r]) + ", acceleration " + Quote(run_.accelerationText) + ").";
        }
    }
    return std::nullopt;
}

char* FrameEmitter::WriteFrame(char* out, float t, bool writeAll, bool& finite) const {
    // "\clock [t= T" is the same on every line of the frame.
    char clock[ClockPrefix.size() + MaxNumberChars] = {};
    std::memcpy(clock, ClockPrefix.data(), ClockPrefix.size());
    const double time = TimeOf(t);
    finite = finite && std::isfinite(time);
    const auto clockLength = static_cast<std::size_t>(WriteNumber(clock + ClockPrefix.size(), time) - clock);

    // One loop per curve, so the curve is chosen once per frame, not per line.
    const bool every = writeAll || t == 0.0f;
    bool valuesFinite = true;
    switch (run_.curve.kind) {
    case CurveKind::Linear:
        out = WriteValues<CurveKind::Linear>(out, clock, clockLength, t, every, valuesFinite);
        break;
    case CurveKind::Accelerating:
        out = WriteValues<CurveKind::Accelerating>(out, clock, clockLength, t, every, valuesFinite);
        break;
    case CurveKind::Decelerating:
        out = WriteValues<CurveKind::Decelerating>(out, clock, clockLength, t, every, valuesFinite);
        break;
    }
    finite = finite && valuesFinite;
    return out;
}

template <CurveKind Kind>
char* FrameEmitter::WriteValues(char* out, const char* clock, std::size_t clockLength, float t, bool every,
                                bool& finite) const {
    // Short texts are copied as fixed-size blocks: the bytes written past a
    // text's end are overwritten by the next text, and the buffer has room.
    constexpr std::size_t ClockSlot = 32;
    static_assert(ClockSlot <= ClockPrefix.size() + MaxNumberChars);
    const bool shortClock = clockLength <= ClockSlot;
    const bool padded = !paddedPieces_.empty();
    const Curve curve{Kind, run_.curve.k};
    const FrameFactors frame = curve.Factors(t, frameCount_);
    for (int r = 0; r < RegisterCount; ++r) {
        if (!every && !run_.moving[r]) continue;
        if (shortClock) {
            std::memcpy(out, clock, ClockSlot);
        } else {
            std::memcpy(out, clock, clockLength);
        }
        out += clockLength;
        const std::size_t pieceLength = pieces_[r].size();
        if (padded) {
            std::memcpy(out, paddedPieces_.data() + r * PieceSlot, PieceSlot);
        } else {
            std::memcpy(out, pieces_[r].data(), pieceLength);
        }
        out += pieceLength;
        const float value = curve.Apply(frame, run_.initial[r], run_.final[r], slopes_[r]);
        finite &= std::isfinite(value);
        out = WriteFloatNumber(out, value);
        std::memcpy(out, LineClose.data(), LineClose.size());
        out += LineClose.size();
    }
    return out;
}

void FrameEmitter::EmitFrame(std::string& buf, float t, bool writeAll) const {
    const std::size_t start = buf.size();
    buf.resize(start + maxFrameBytes_);
    bool finite = true;
    char* end = WriteFrame(buf.data() + start, t, writeAll, finite);
    buf.resize(static_cast<std::size_t>(end - buf.data()));
}

}  // namespace tw
