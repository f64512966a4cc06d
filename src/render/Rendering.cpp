#include "render/Rendering.h"

#include <cstdio>

#include "render/GifPalette.h"
#include "render/MovieWriter.h"
#include "render/SceneRenderer.h"

namespace tw {

namespace {
// Frames a GIF's palette is counted from, spread over the render.
constexpr long long PaletteSamples = 16;
}  // namespace

Outcome<RenderResult> RenderScript(const RenderRequest& request, const RenderProgress& progress,
                                   const std::atomic<bool>* stop) {
    using Result = Outcome<RenderResult>;
    const std::optional<OutputKind> kind = OutputKindOf(request.out);
    if (!kind)
        return Result::Failure(
            "The output \"" + request.out +
            "\" must end in .mp4, .webm or .gif, be a folder ending in /, or hold %04d.png.");
    Outcome<FrameTimes> times = PlanFrames(request.from, request.to, request.fps);
    if (!times) return Result::Failure(times.error());
    const FrameTimes& plan = times.value();

    RenderResult result;
    result.size = request.size;
    if (IsVideo(*kind) && EvenFrameSize(request.size) != request.size) {
        result.size = EvenFrameSize(request.size);
        result.notes.push_back("The size " + std::to_string(request.size.width) + "x" +
                               std::to_string(request.size.height) + " is rounded up to " +
                               std::to_string(result.size.width) + "x" + std::to_string(result.size.height) +
                               ", as the video's colour format needs even sides.");
    }
    const QSize size(result.size.width, result.size.height);

    Player player{std::make_shared<FunctionClock>([] { return std::int64_t{0}; })};
    if (request.script) player.Play(request.script, request.name);
    SceneRenderer scene(player);
    scene.SetCamera(request.camera);
    scene.SetGhosts(request.ghosts);
    scene.SetBackground(request.background);
    if (request.look) scene.SetLook(*request.look);

    GifPalette palette;
    if (*kind == OutputKind::Gif) {
        const long long samples = std::min(plan.count, PaletteSamples);
        for (long long i = 0; i < samples; ++i) {
            const long long k = samples > 1 ? i * (plan.count - 1) / (samples - 1) : 0;
            palette.Count(scene.Frame(plan.Time(k), size));
        }
        palette.Build();
    }

    MovieSettings settings;
    settings.kind = *kind;
    settings.out = request.out;
    settings.size = result.size;
    settings.fps = plan.fps;
    settings.seconds = plan.Seconds();
    settings.palette = &palette;
    if (request.speech && !request.speech->Empty()) {
        settings.speech = &*request.speech;
        settings.speechStart = request.speech->offset - plan.from;
    }
    Outcome<std::unique_ptr<MovieWriter>> writer = MovieWriter::Open(settings);
    if (!writer) return Result::Failure(writer.error());
    for (long long k = 0; k < plan.count; ++k) {
        if (stop && stop->load()) return Result::Failure("Stopped; nothing was written.");
        if (const Outcome<void> added = writer.value()->Add(scene.Frame(plan.Time(k), size)); !added)
            return Result::Failure(added.error());
        if (progress) progress(k + 1, plan.count);
    }
    if (stop && stop->load()) return Result::Failure("Stopped; nothing was written.");
    if (const Outcome<void> done = writer.value()->Finish(); !done) return Result::Failure(done.error());
    result.path = request.out;
    result.frames = plan.count;
    result.seconds = plan.Seconds();
    return Result::Success(std::move(result));
}

std::string DoneText(const RenderResult& result) {
    char seconds[64];
    std::snprintf(seconds, sizeof seconds, "%.3f", result.seconds);
    return result.path + ": " + std::to_string(result.frames) + " frames, " + seconds + " s";
}

}  // namespace tw
