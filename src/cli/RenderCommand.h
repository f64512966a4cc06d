// `tweenwright render FILE.hap -o OUT`: the script rendered as the view plays
// it, to a video, an animated GIF or PNG frames, with no window and no display.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CommandLine.h"
#include "document/Outcome.h"
#include "render/Speech.h"

namespace CLI {
class App;
class Option;
}

namespace tw {

class RenderCommand : public Subcommand {
public:
    // Reads a sound file into samples; a message when it cannot.
    using SpeechReader = std::function<Outcome<RenderSpeech>(const std::string& path)>;

    explicit RenderCommand(CLI::App& app);

    // What reads --speech files; without one, --speech is refused.
    void SetSpeechReader(SpeechReader reader) { readSpeech_ = std::move(reader); }

    // Runs the render when it was the subcommand parsed: its exit status.
    std::optional<int> Run(std::ostream& out, std::ostream& err) const override;

private:
    int Render(std::ostream& out, std::ostream& err) const;

    CLI::App* render_;
    SpeechReader readSpeech_;
    CLI::Option* speechOffsetOption_ = nullptr;
    std::string file_, out_, size_ = "1280x720", camera_ = "three-quarter", background_, speech_;
    int fps_ = 30;
    std::optional<double> from_, to_;
    double speechOffset_ = 0;
    bool ghosts_ = false;
    std::optional<int> block_;
};

}  // namespace tw
