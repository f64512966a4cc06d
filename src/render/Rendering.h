// A script rendered to a file: the frames SceneRenderer draws at the times of
// the plan go straight into the encoder, with the speech when one is given.
#pragma once

#include <QImage>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "document/Outcome.h"
#include "figure/Camera.h"
#include "reading/HapScriptReader.h"
#include "render/FigurePainter.h"
#include "render/RenderPlan.h"
#include "render/Speech.h"

namespace tw {

struct RenderRequest {
    std::shared_ptr<const HapTimeline> script;
    std::string name;  // the script's name, as the player shows it
    std::string out;   // names the kind, see OutputKindOf
    FrameSize size{1280, 720};
    int fps = 30;
    double from = 0, to = 0;
    ViewCamera camera = StartupCamera();
    bool ghosts = false;
    QImage background;               // null: the sky
    std::optional<FigureLook> look;  // the figure's colours; the default when none
    std::optional<RenderSpeech> speech;
};

struct RenderResult {
    std::string path;  // what was written
    long long frames = 0;
    double seconds = 0;
    FrameSize size;                  // as written (even for the videos)
    std::vector<std::string> notes;  // what the user should know, as "rounded up"
};

// How far a render is: frames done of all. Called once per frame.
using RenderProgress = std::function<void(long long done, long long total)>;

// Renders `request`; stops between frames when `stop` is set, leaving
// nothing. A message on any failure, and then nothing written either.
Outcome<RenderResult> RenderScript(const RenderRequest& request, const RenderProgress& progress = {},
                                   const std::atomic<bool>* stop = nullptr);

// The text printed when the render named `out` is done.
std::string DoneText(const RenderResult& result);

}  // namespace tw
