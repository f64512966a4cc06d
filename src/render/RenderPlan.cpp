#include "render/RenderPlan.h"

#include <charconv>
#include <cmath>

#include "document/AsciiCase.h"

namespace tw {

std::optional<OutputKind> OutputKindOf(std::string_view out) {
    if (out.empty()) return std::nullopt;
    if (out.back() == '/') return OutputKind::PngFolder;
    if (out.find("%04d.png") != std::string_view::npos) return OutputKind::PngPattern;
    if (EndsWithNoCase(out, ".mp4")) return OutputKind::Mp4;
    if (EndsWithNoCase(out, ".webm")) return OutputKind::WebM;
    if (EndsWithNoCase(out, ".gif")) return OutputKind::Gif;
    return std::nullopt;
}

bool IsVideo(OutputKind kind) { return kind == OutputKind::Mp4 || kind == OutputKind::WebM; }

const char* KindName(OutputKind kind) {
    switch (kind) {
    case OutputKind::Mp4: return "MP4 video";
    case OutputKind::WebM: return "WebM video";
    case OutputKind::Gif: return "animated GIF";
    case OutputKind::PngFolder:
    case OutputKind::PngPattern: return "PNG frames";
    }
    return "";
}

namespace {
std::optional<int> WholeNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}
}  // namespace

Outcome<FrameSize> ParseFrameSize(std::string_view text) {
    const std::string range = "The size must be WIDTHxHEIGHT, from " + std::to_string(MinFrameSize.width) +
                              "x" + std::to_string(MinFrameSize.height) + " to " +
                              std::to_string(MaxFrameSize.width) + "x" + std::to_string(MaxFrameSize.height) +
                              ": " + std::string(text);
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return Outcome<FrameSize>::Failure(range);
    const std::optional<int> w = WholeNumber(text.substr(0, x));
    const std::optional<int> h = WholeNumber(text.substr(x + 1));
    if (!w || !h || *w < MinFrameSize.width || *w > MaxFrameSize.width || *h < MinFrameSize.height ||
        *h > MaxFrameSize.height)
        return Outcome<FrameSize>::Failure(range);
    return Outcome<FrameSize>::Success({*w, *h});
}

FrameSize EvenFrameSize(FrameSize size) {
    return {size.width + (size.width & 1), size.height + (size.height & 1)};
}

Outcome<void> CheckFps(int fps) {
    if (fps < MinFps || fps > MaxFps)
        return Outcome<void>::Failure("The frame rate must be from " + std::to_string(MinFps) + " to " +
                                      std::to_string(MaxFps) + " frames per second: " + std::to_string(fps));
    return Outcome<void>::Success();
}

Outcome<FrameTimes> PlanFrames(double from, double to, int fps) {
    if (!std::isfinite(from) || !std::isfinite(to))
        return Outcome<FrameTimes>::Failure("The render's start and end must be numbers of seconds.");
    if (from > to) return Outcome<FrameTimes>::Failure("The render starts (--from) after it ends (--to).");
    if (const Outcome<void> rate = CheckFps(fps); !rate) return Outcome<FrameTimes>::Failure(rate.error());
    // A hair of tolerance so that a span that is a whole number of frames in
    // decimal (0.1 s at 30 fps) keeps its last frame despite binary rounding.
    const double frames = std::floor((to - from) * fps + 1e-6);
    if (frames + 1 > static_cast<double>(MaxFrames))
        return Outcome<FrameTimes>::Failure("The render is longer than " + std::to_string(MaxFrames) +
                                            " frames.");
    FrameTimes times;
    times.from = from;
    times.fps = fps;
    times.count = static_cast<long long>(frames) + 1;
    return Outcome<FrameTimes>::Success(times);
}

}  // namespace tw
