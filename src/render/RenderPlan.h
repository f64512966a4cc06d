// The rules of a render, as plain values: what kind of output a name asks
// for, the size and frame rate allowed, and which script times the frames
// show. Frame k shows the time from + k / fps; the last frame is the last
// such time not after `to`, so a render of D seconds has floor(D * fps) + 1
// frames (one frame for a still of no length) and plays for frames / fps.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "document/Outcome.h"

namespace tw {

enum class OutputKind { Mp4, WebM, Gif, PngFolder, PngPattern };

// The kind a name asks for: ".mp4", ".webm", ".gif" (any letter case), a
// folder name ending in '/', or a name holding "%04d.png"; nullopt otherwise.
std::optional<OutputKind> OutputKindOf(std::string_view out);
bool IsVideo(OutputKind kind);          // frames in yuv420p, with sound
const char* KindName(OutputKind kind);  // for messages: "MP4 video", ...

struct FrameSize {
    int width = 0, height = 0;
    bool operator==(const FrameSize&) const = default;
};

inline constexpr FrameSize MinFrameSize{16, 16};
inline constexpr FrameSize MaxFrameSize{3840, 2160};
inline constexpr int MinFps = 1;
inline constexpr int MaxFps = 120;

// "WxH" with each side within MinFrameSize..MaxFrameSize; a message otherwise.
Outcome<FrameSize> ParseFrameSize(std::string_view text);
// Odd sides rounded up to even, as yuv420p needs.
FrameSize EvenFrameSize(FrameSize size);
Outcome<void> CheckFps(int fps);

// The frames of a render from `from` to `to` seconds at `fps`; a message when
// `from` is after `to` or either is not a finite number.
struct FrameTimes {
    double from = 0;
    int fps = 30;
    long long count = 1;
    double Time(long long k) const { return from + static_cast<double>(k) / fps; }
    double Seconds() const { return static_cast<double>(count) / fps; }
};
Outcome<FrameTimes> PlanFrames(double from, double to, int fps);

// The largest number of frames one render makes (ten hours at the top rate).
inline constexpr long long MaxFrames = 10LL * 3600 * MaxFps;

}  // namespace tw
