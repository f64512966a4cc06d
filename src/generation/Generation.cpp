#include "generation/Generation.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <sys/mman.h>

#include "document/MessageText.h"
#include "document/NumberText.h"
#include "generation/Digits.h"
#include "generation/HapScript.h"

namespace tw {
namespace {

// The float counter of the frame loop stops advancing at 2^24.
constexpr float LargestFrameBound = 16777216.0f;

std::string Quote(const std::string& text) { return "\"" + ShownName(text) + "\""; }

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


}  // namespace

// Makes room for `bytes` in `text`. A large block that needs fresh memory asks
// for huge pages: the first touch of each 2 MiB then costs one fault instead
// of 512, which is most of a first run's time. The size asked of malloc is a
// whole number of huge pages less its chunk header, so the mapping it makes
// is whole huge pages, which the kernel places on a huge-page boundary. Where
// huge pages are not to be had, the advice fails and nothing changes.
void ReserveBlock(std::string& text, std::size_t bytes) {
    constexpr std::size_t HugePage = std::size_t{2} << 20;
    constexpr std::size_t MallocHeader = 32;  // chunk header and terminator, rounded up
    // Below half a huge page the rounding would cost more than it saves.
    if (bytes <= text.capacity() || bytes < HugePage / 2) {
        text.reserve(bytes);
        return;
    }
    text.reserve((bytes + MallocHeader + HugePage - 1) / HugePage * HugePage - MallocHeader);
    // The whole huge pages inside the block's room (the first one holds
    // malloc's header, already written, and stays in small pages).
    const auto start = (reinterpret_cast<std::uintptr_t>(text.data()) + HugePage - 1) & ~(HugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(text.data()) + text.capacity()) & ~(HugePage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

double EstimateBlockBytes(const DocumentTexts& input, const FrameEmitter& emitter, double frames) {
    std::size_t bytes = input.fileHeader.size() + 2 * LineEnd.size();
    if (!input.subHeader.empty()) {
        bytes += CreditLine.size() + input.subHeader.size() + 2 * LineEnd.size();
    }
    double estimate = static_cast<double>(bytes);
    if (frames <= 0) return estimate;
    const double first = emitter.TimeOf(0.0f), last = emitter.TimeOf(emitter.frameCount() + 1.0f);
    const double timeChars =
        std::isfinite(first) && std::isfinite(last)
            ? static_cast<double>(std::max(NumberLengthBound(first), NumberLengthBound(last)))
            : 5.0;
    double firstFrame = 0, laterFrame = 0;
    for (int r = 0; r < RegisterCount; ++r) {
        const double i = emitter.run().initial[r], f = emitter.run().final[r];
        const double extreme = std::min(std::max(std::fabs(i), std::fabs(f)), 3.5e38);
        const double valueChars = static_cast<double>(NumberLengthBound(i < 0 || f < 0 ? -extreme : extreme));
        const double line = static_cast<double>(ClockPrefix.size() + LineClose.size()) + timeChars +
                            valueChars +
                            static_cast<double>(RegisterLinePiece(input.figure, input.names[r]).size());
        firstFrame += line;
        if (emitter.run().moving[r]) laterFrame += line;
    }
    return estimate + firstFrame + (frames - 1) * laterFrame;
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

    const double estimate = EstimateBlockBytes(input, emitter, frames);
    if (estimate > static_cast<double>(MaxBlockBytes)) return Result::Failure(tooLarge);

    GeneratedBlock block;
    block.frameCount = frameCount;
    block.frameStep = frameStep;
    block.text = std::move(reuse);
    block.text.clear();
    ReserveBlock(block.text, static_cast<std::size_t>(estimate));
    StartBlock(block.text, input.fileHeader);
    AddSubHeader(block.text, input.subHeader);

    // Frames are written straight into the block, which is first grown to the
    // estimate (filling it is cheaper than copying each frame in from a
    // buffer of its own). Where the room left is less than the longest frame,
    // a frame goes through a small buffer and the block grows only by what it
    // holds. A time or value that is not finite ends the run with a message;
    // the caller has written nothing yet.
    const std::size_t room = emitter.MaxFrameBytes();
    std::string frameBuffer;
    std::size_t used = block.text.size();
    block.text.resize(std::max(used, static_cast<std::size_t>(estimate)));
    int shown = -1;
    for (float t = 0.0f; t < bound; t += 1.0f) {
        const bool direct = block.text.size() - used >= room;
        if (!direct && frameBuffer.empty()) frameBuffer.resize(room);
        char* const at = direct ? block.text.data() + used : frameBuffer.data();
        bool finite = true;
        const auto length = static_cast<std::size_t>(emitter.WriteFrame(at, t, false, finite) - at);
        if (!finite) {
            std::optional<std::string> fault = emitter.FrameFault(t, false);
            return Result::Failure(fault ? std::move(*fault) : "A value is out of range.");
        }
        if (!direct) {
            if (used + length > block.text.size()) block.text.resize(used + length);
            std::memcpy(block.text.data() + used, frameBuffer.data(), length);
        }
        used += length;
        if (used > MaxBlockBytes) return Result::Failure(tooLarge);
        if (progress) {
            const float value = std::clamp(t / frameCount * 99.0f, 0.0f, 99.0f);
            const int whole = static_cast<int>(value);
            if (whole != shown) {
                shown = whole;
                progress(whole);
            }
        }
    }
    block.text.resize(used);
    return Result::Success(std::move(block));
}

}  // namespace tw
