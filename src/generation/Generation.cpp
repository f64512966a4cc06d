#include "generation/Generation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "document/NumberText.h"
#include "generation/Digits.h"
#include "generation/HapScript.h"

namespace tw {
namespace {

// Longest text of a finite float value: a minus, 39 integer digits, ".000".
constexpr std::size_t MaxValueChars = 1 + 39 + 4;

// The float counter of the frame loop stops advancing at 2^24.
constexpr float LargestFrameBound = 16777216.0f;

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

std::string RegisterLabel(const RunSettings& run, int r) {
    if (!run.names[r].empty()) return run.names[r];
    return "the register in row " + std::to_string(r + 1);
}

// An upper bound of the length of WriteNumber's text for a finite value.
std::size_t NumberLengthBound(double value) {
    const double magnitude = std::fabs(value);
    const std::size_t sign = std::signbit(value) && value != 0 ? 1 : 0;
    // Rounding to thousandths never carries further than rounding to a whole number.
    if (magnitude < 1e18) {
        const auto whole = static_cast<std::uint64_t>(magnitude + 0.5);
        return sign + static_cast<std::size_t>(DecimalDigitCount(whole)) + 4;
    }
    return sign + static_cast<std::size_t>(std::floor(std::log10(magnitude))) + 2 + 4;
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
    read(input.dKeyframe, [] { return "Time between keyframes"; }, run.timeBetweenKeyframes);
    read(input.framesPSec, [] { return "Frames per second"; }, run.framesPerSecond);
    read(input.startTime, [] { return "Start time"; }, run.startTime);
    read(input.acceleration, [] { return "Acceleration"; }, run.acceleration);
    run.figure = input.figure;
    run.names = input.names;
    for (int r = 0; r < RegisterCount; ++r) {
        read(input.initial[r], [&] { return "The initial value of " + RegisterLabel(run, r); }, run.initial[r]);
        read(input.final[r], [&] { return "The final value of " + RegisterLabel(run, r); }, run.final[r]);
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
    // The widest value text is "-inf" or a float's; the time may be any double.
    maxFrameBytes_ = RegisterCount * (ClockPrefix.size() + MaxNumberChars + longestPiece +
                                      MaxValueChars + LineClose.size());
}

float FrameEmitter::ValueOf(int r, float t) const {
    return run_.curve.Apply(run_.curve.Factors(t, frameCount_), run_.initial[r], run_.final[r],
                            slopes_[r]);
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
                   " is out of range (initial value " + Quote(run_.initialText[r]) +
                   ", final value " + Quote(run_.finalText[r]) + ", acceleration " +
                   Quote(run_.accelerationText) + ").";
        }
    }
    return std::nullopt;
}

char* FrameEmitter::WriteFrame(char* out, float t, bool writeAll, bool& finite) const {
    // "\clock [t= T" is the same on every line of the frame.
    char clock[ClockPrefix.size() + MaxNumberChars];
    std::memcpy(clock, ClockPrefix.data(), ClockPrefix.size());
    const double time = TimeOf(t);
    finite = finite && std::isfinite(time);
    const auto clockLength =
        static_cast<std::size_t>(WriteNumber(clock + ClockPrefix.size(), time) - clock);

    const FrameFactors frame = run_.curve.Factors(t, frameCount_);
    const bool every = writeAll || t == 0.0f;
    bool valuesFinite = true;
    for (int r = 0; r < RegisterCount; ++r) {
        if (!every && !run_.moving[r]) continue;
        std::memcpy(out, clock, clockLength);
        out += clockLength;
        std::memcpy(out, pieces_[r].data(), pieces_[r].size());
        out += pieces_[r].size();
        const float value = run_.curve.Apply(frame, run_.initial[r], run_.final[r], slopes_[r]);
        valuesFinite &= std::isfinite(value);
        out = WriteNumber(out, value);
        std::memcpy(out, LineClose.data(), LineClose.size());
        out += LineClose.size();
    }
    finite = finite && valuesFinite;
    return out;
}

void FrameEmitter::EmitFrame(std::string& buf, float t, bool writeAll) const {
    const std::size_t start = buf.size();
    buf.resize(start + maxFrameBytes_);
    bool finite = true;
    char* end = WriteFrame(buf.data() + start, t, writeAll, finite);
    buf.resize(static_cast<std::size_t>(end - buf.data()));
}

Outcome<GeneratedBlock> GenerateBlock(const DocumentTexts& input, const ProgressFn& progress,
                                      std::string reuse) {
    using Result = Outcome<GeneratedBlock>;
    auto settings = ReadRunSettings(input);
    if (!settings) return Result::Failure(settings.error());
    const double seconds = settings.value().timeBetweenKeyframes;

    const std::string product = "Time between keyframes (" + Quote(input.dKeyframe) +
                                ") × frames per second (" + Quote(input.framesPSec) + ")";
    const auto frameCount = static_cast<float>(seconds * settings.value().framesPerSecond);
    if (!std::isfinite(frameCount)) {
        return Result::Failure(product + " is too large a number of frames.");
    }
    if (frameCount == 0.0f) {
        return Result::Failure(product + " is 0, so there are no frames to write.");
    }
    const auto frameStep = static_cast<float>(seconds / static_cast<double>(frameCount));
    const float bound = frameCount + 1.0f;
    if (bound > LargestFrameBound) {
        return Result::Failure(product + " asks for more frames than the 16777215 one block can hold.");
    }
    const double frames = bound > 0.0f ? std::ceil(static_cast<double>(bound)) : 0.0;

    const FrameEmitter emitter(std::move(settings).value(), frameCount, frameStep);
    const std::string tooLarge =
        "This run would write more than " + std::to_string(MaxBlockBytes >> 20) +
        " MB, the most one block may hold. Use fewer frames or fewer moving registers.";

    std::size_t bytes = input.fileHeader.size() + 2 * LineEnd.size();
    if (!input.subHeader.empty()) {
        bytes += CreditLine.size() + input.subHeader.size() + 2 * LineEnd.size();
    }

    // The block's length, estimated from the longest time and the longest of
    // each register's two values (the curves stay between them up to the
    // frame count), turns away huge runs at once and sizes the buffer. A
    // value that overshoots past a fractional frame count may be longer; the
    // string then grows on its own.
    double estimate = static_cast<double>(bytes);
    if (frames > 0) {
        const double first = emitter.TimeOf(0.0f), last = emitter.TimeOf(bound);
        const double timeChars =
            std::isfinite(first) && std::isfinite(last)
                ? static_cast<double>(std::max(NumberLengthBound(first), NumberLengthBound(last)))
                : 5.0;
        double firstFrame = 0, laterFrame = 0;
        for (int r = 0; r < RegisterCount; ++r) {
            const double i = emitter.run().initial[r], f = emitter.run().final[r];
            const double extreme = std::min(std::max(std::fabs(i), std::fabs(f)), 3.5e38);
            const double valueChars =
                static_cast<double>(NumberLengthBound(i < 0 || f < 0 ? -extreme : extreme));
            const double line = static_cast<double>(ClockPrefix.size() + LineClose.size()) + timeChars +
                                valueChars +
                                static_cast<double>(RegisterLinePiece(input.figure, input.names[r]).size());
            firstFrame += line;
            if (emitter.run().moving[r]) laterFrame += line;
        }
        estimate += firstFrame + (frames - 1) * laterFrame;
        if (estimate > static_cast<double>(MaxBlockBytes)) return Result::Failure(tooLarge);
    }

    GeneratedBlock block;
    block.frameCount = frameCount;
    block.frameStep = frameStep;
    block.text = std::move(reuse);
    block.text.clear();
    block.text.reserve(static_cast<std::size_t>(estimate));
    StartBlock(block.text, input.fileHeader);
    AddSubHeader(block.text, input.subHeader);

    // Each frame is written into a small buffer that stays in cache, then
    // added. A time or value that is not finite ends the run with a message;
    // the caller has written nothing yet.
    std::string frameBuffer(emitter.MaxFrameBytes(), '\0');
    int shown = -1;
    for (float t = 0.0f; t < bound; t += 1.0f) {
        bool finite = true;
        const char* end = emitter.WriteFrame(frameBuffer.data(), t, false, finite);
        if (!finite) {
            std::optional<std::string> fault = emitter.FrameFault(t, false);
            return Result::Failure(fault ? std::move(*fault) : "A value is out of range.");
        }
        block.text.append(frameBuffer.data(), static_cast<std::size_t>(end - frameBuffer.data()));
        if (block.text.size() > MaxBlockBytes) return Result::Failure(tooLarge);
        if (progress) {
            const float value = std::clamp(t / frameCount * 99.0f, 0.0f, 99.0f);
            const int whole = static_cast<int>(value);
            if (whole != shown) {
                shown = whole;
                progress(whole);
            }
        }
    }
    return Result::Success(std::move(block));
}

}  // namespace tw
