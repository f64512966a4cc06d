// Writes frames (and the speech) to a video, an animated GIF or PNG files in
// one pass, through FFmpeg's libraries. Everything goes under a temporary name
// in the output's own folder and is renamed into place by Finish; a writer
// destroyed before that removes what it wrote, leaving any earlier output as
// it was.
#pragma once

#include <QImage>
#include <memory>
#include <string>

#include "document/Outcome.h"
#include "render/GifPalette.h"
#include "render/RenderPlan.h"
#include "render/Speech.h"

namespace tw {

struct MovieSettings {
    OutputKind kind = OutputKind::Mp4;
    std::string out;  // as named: a file, a folder ending in '/', or a "%04d.png" pattern
    FrameSize size;   // even for the videos
    int fps = 30;
    const RenderSpeech* speech = nullptr;  // heard in the videos, when not empty
    double speechStart = 0;               // seconds into the output of the speech's first sample
    const GifPalette* palette = nullptr;  // built, for a GIF
    double seconds = 0;                   // the output's length: the sound is cut there
};

class MovieWriter {
public:
    static Outcome<std::unique_ptr<MovieWriter>> Open(const MovieSettings& settings);
    ~MovieWriter();
    MovieWriter(const MovieWriter&) = delete;
    MovieWriter& operator=(const MovieWriter&) = delete;

    // The next frame, an RGB32 picture of the settings's size.
    Outcome<void> Add(const QImage& frame);
    // Ends the streams, closes the file and puts it in place of the output.
    Outcome<void> Finish();

    // The name of the k-th PNG file of a sequence named `out`.
    static std::string PngName(const std::string& out, long long k);

    struct State;

private:
    explicit MovieWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace tw
