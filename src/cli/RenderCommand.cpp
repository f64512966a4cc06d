#include "cli/RenderCommand.h"

#include <unistd.h>
#include <CLI/CLI.hpp>
#include <QGuiApplication>
#include <QImageReader>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>

#include "cli/CommandLine.h"
#include "document/FixedPaths.h"
#include "figure/Camera.h"
#include "reading/BlockIndex.h"
#include "reading/FileBytes.h"
#include "render/RememberedSpeech.h"
#include "render/Rendering.h"
#include "sound/Decode.h"

namespace tw {

namespace {

constexpr std::uint64_t MaxScriptBytes = std::uint64_t{1} << 30;

std::atomic<bool> stopAsked{false};
extern "C" void AskStop(int) { stopAsked.store(true); }

// While alive, a stop signal (Ctrl+C, a closed terminal, a shutdown) asks the
// render to stop between frames, so it can remove what it wrote.
class StopSignals {
public:
    StopSignals() {
        stopAsked = false;
        struct sigaction ask {};
        ask.sa_handler = AskStop;
        sigemptyset(&ask.sa_mask);
        for (int i = 0; i < 3; ++i) ::sigaction(Signals[i], &ask, &previous_[i]);
        // A file grown past the size limit fails its write, which the render
        // reports and cleans up, instead of ending the program.
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, &previousSize_);
    }
    ~StopSignals() {
        for (int i = 0; i < 3; ++i) ::sigaction(Signals[i], &previous_[i], nullptr);
        ::sigaction(SIGXFSZ, &previousSize_, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    static constexpr int Signals[3] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction previous_[3]{};
    struct sigaction previousSize_ {};
};

// Qt Gui on its offscreen platform for the command's length, when no
// application is running yet: pictures are read and frames drawn without a
// display.
class OffscreenGui {
public:
    OffscreenGui() {
        if (!QCoreApplication::instance()) app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }

private:
    int argc_ = 3;
    char name_[12] = "tweenwright", platform_[10] = "-platform", offscreen_[10] = "offscreen";
    char* argv_[4] = {name_, platform_, offscreen_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

std::optional<ViewCamera> CameraNamed(const std::string& name) {
    if (name == "front") return PresetCamera(CameraPreset::Front);
    if (name == "side") return PresetCamera(CameraPreset::Side);
    if (name == "three-quarter") return PresetCamera(CameraPreset::ThreeQuarter);
    if (name == "top") return PresetCamera(CameraPreset::Top);
    return std::nullopt;
}

// A sound file decoded whole, as the speech a render hears.
Outcome<RenderSpeech> ReadSpeechFile(const std::string& path) {
    Outcome<SoundClip> clip = DecodeSound(path);
    if (!clip) return Outcome<RenderSpeech>::Failure(clip.error());
    RenderSpeech speech;
    speech.sampleRate = clip.value().sampleRate;
    speech.channels = clip.value().channels;
    speech.samples = std::move(clip.value().samples);
    return Outcome<RenderSpeech>::Success(std::move(speech));
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    if (std::filesystem::equivalent(a, b, error)) return true;
    return std::filesystem::weakly_canonical(a, error) == std::filesystem::weakly_canonical(b, error);
}

}  // namespace

RenderCommand::RenderCommand(CLI::App& app) : readSpeech_(ReadSpeechFile) {
    render_ = app.add_subcommand(
        "render",
        "Render the script as the view plays it to a video (.mp4, .webm), an animated GIF (.gif) or "
        "PNG frames (a folder ending in /, or a name holding %04d.png)");
    render_->add_option("FILE", file_, "Hap file to render")->required();
    render_->add_option("-o,--output", out_, "The file, or folder, to write")->required()->option_text("OUT");
    render_->add_option("--size", size_, "Frame size, 16x16 to 3840x2160 (default 1280x720)")
        ->option_text("WxH");
    render_->add_option("--fps", fps_, "Frames per second, 1 to 120 (default 30)")->option_text("N");
    render_->add_option("--from", from_, "Script time of the first frame (default the script's first)")
        ->option_text("S");
    render_->add_option("--to", to_, "Script time of the last frame (default the script's last)")
        ->option_text("S");
    render_
        ->add_option("--camera", camera_,
                     "front, side, three-quarter or top (default three-quarter, the view's)")
        ->check(CLI::IsMember({"front", "side", "three-quarter", "top"}));
    render_->add_flag("--ghosts", ghosts_, "Draw the first and last pose faintly behind the figure");
    render_
        ->add_option("--background", background_,
                     "Picture behind the figure (default ~/tweenwrightBG.jpeg if any)")
        ->option_text("PICTURE");
    render_->add_option("--speech", speech_, "Sound heard with a video")->option_text("AUDIO");
    speechOffsetOption_ = render_
        ->add_option("--speech-offset", speechOffset_, "Script time at which the speech starts (default 0)")
        ->option_text("S");
    render_->add_option("--block", block_, "Render only block N of the file (1 is the first)")
        ->option_text("N")
        ->check(CLI::PositiveNumber);
    // An option given twice counts as its last value, as a shell alias expects.
    for (CLI::Option* option : render_->get_options())
        if (option->get_expected_min() > 0) option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

std::optional<int> RenderCommand::Run(std::ostream& out, std::ostream& err) const {
    if (!render_->parsed()) return std::nullopt;
    return Render(out, err);
}

int RenderCommand::Render(std::ostream& out, std::ostream& err) const {
    if (SameFile(file_, out_)) return Fail(err, "The output \"" + out_ + "\" is the script itself; refused.");
    // The command line's own mistakes, before any file is read.
    const Outcome<FrameSize> size = ParseFrameSize(size_);
    if (!size) return Fail(err, size.error(), ExitUsage);
    if (const Outcome<void> rate = CheckFps(fps_); !rate) return Fail(err, rate.error(), ExitUsage);
    if (!OutputKindOf(out_))
        return Fail(err,
                    "The output \"" + out_ +
                        "\" must end in .mp4, .webm or .gif, be a folder ending in /, or hold %04d.png.",
                    ExitUsage);
    if (from_ && to_ && *from_ > *to_)
        return Fail(err, "The render starts (--from) after it ends (--to).", ExitUsage);

    // Without --speech, the speech track the view remembers for FILE, if its
    // sound file is still there (else the render is silent, and says so).
    std::string speechPath = speech_;
    double speechOffset = speechOffset_;
    if (speechPath.empty()) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(file_, error);
        const SpeechChoice remembered = RememberedSpeech(QString::fromStdString(absolute.string()));
        if (!remembered.audio.isEmpty()) {
            const std::string audio = remembered.audio.toStdString();
            if (std::filesystem::is_regular_file(audio, error)) {
                speechPath = audio;
                if (speechOffsetOption_->count() == 0) speechOffset = remembered.offset;
            } else {
                err << "The speech track remembered for this file (\"" << audio
                    << "\") is not there; the render has no sound.\n";
            }
        }
    }
    // The speech is read before any work, so a missing one costs nothing.
    std::optional<RenderSpeech> speech;
    if (!speechPath.empty()) {
        const Outcome<OpenedFile> opened = OpenedFile::Open(speechPath);
        if (!opened) return Fail(err, opened.error());
        if (!readSpeech_)
            return Fail(err, "This build of tweenwright reads no sound files, so \"" + speechPath +
                                 "\" cannot be heard; render without --speech.");
        Outcome<RenderSpeech> read = readSpeech_(speechPath);
        if (!read) return Fail(err, read.error());
        speech = std::move(read).value();
        speech->offset = speechOffset;
    }

    Outcome<std::string> bytes = ReadWholeFile(file_, MaxScriptBytes);
    if (!bytes) return Fail(err, bytes.error());
    std::string_view script = bytes.value();
    if (script.empty()) return Fail(err, file_ + ": empty file");
    if (block_) {
        const BlockIndex index = IndexBlocks(script);
        if (std::size_t(*block_) > index.blocks.size())
            return Fail(err, file_ + " has no block " + std::to_string(*block_) + " (it has " +
                                 std::to_string(index.blocks.size()) + ").");
        const BlockEntry& entry = index.blocks[std::size_t(*block_ - 1)];
        script = script.substr(entry.offset, entry.length);
    }
    auto timeline = std::make_shared<HapTimeline>(ReadHapScript(script));
    bool named = false;
    for (const RegisterTrack& track : timeline->tracks) named = named || !track.times.empty();
    if (!named) return Fail(err, file_ + ": no register lines");

    OffscreenGui gui;
    RenderRequest request;
    request.script = timeline;
    request.name = std::filesystem::path(file_).filename().string();
    request.out = out_;
    request.size = size.value();
    request.fps = fps_;
    request.from = from_.value_or(timeline->firstTime);
    request.to = to_.value_or(timeline->lastTime);
    if (request.from > request.to)
        return Fail(err, "The render starts (--from) after it ends (--to).", ExitUsage);
    request.camera = *CameraNamed(camera_);
    request.ghosts = ghosts_;
    request.speech = std::move(speech);
    const std::string picture = background_.empty() ? StartupBackgroundPath() : background_;
    if (!background_.empty() || std::filesystem::exists(picture)) {
        QImageReader reader(QString::fromStdString(picture));
        request.background = reader.read();
        if (request.background.isNull() && !background_.empty())
            return Fail(err, "cannot show " + picture + ": " + reader.errorString().toStdString());
    }

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    auto last = std::chrono::steady_clock::now();
    const RenderProgress progress = [&](long long done, long long total) {
        if (!terminal) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::seconds(1) && done < total) return;
        last = now;
        err << "rendering " << out_ << ": frame " << done << " of " << total << " (" << done * 100 / total
            << "%)\n";
        err.flush();
    };
    StopSignals stopSignals;
    const Outcome<RenderResult> result = RenderScript(request, progress, &stopAsked);
    if (!result) return Fail(err, result.error());
    for (const std::string& note : result.value().notes) err << note << '\n';
    out << DoneText(result.value()) << '\n';
    out.flush();
    return out ? ExitSuccess : Fail(err, "The output could not be written.");
}

// The whole command line: the render beside the rest.
CommandLine RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    return RunCommandLineWith(argc, argv, out, err,
                              [](CLI::App& app) { return std::make_unique<RenderCommand>(app); });
}

}  // namespace tw
