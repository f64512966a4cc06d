#include "windows/PlayerController.h"

#include <algorithm>

#include "document/ViewCommands.h"
#include "windows/SpeechOutput.h"

namespace tw {

namespace {
constexpr int FrameMs = 33;       // about 30 frames per second
constexpr int SoundFrameMs = 16;  // with sound: the picture within a frame of what is heard
constexpr int ShownCommandChars = 48;
}  // namespace

PlayerController::PlayerController(QObject* parent) : QObject(parent), speech_(this), loads_(this) {
    connect(&speech_, &SpeechTrack::Changed, this, &PlayerController::Changed);
    connect(&speech_, &SpeechTrack::ClipChanged, this, &PlayerController::UseClip);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setInterval(FrameMs);
    connect(&frameTimer_, &QTimer::timeout, this, &PlayerController::Tick);
    connect(&loads_, &ScriptLoads::Loaded, this, &PlayerController::Apply);
    connect(&blocks_, &BlockStrip::Changed, this, &PlayerController::Changed);
    connect(&loads_, &ScriptLoads::Finished, this, [this](const QString& path) {
        emit Changed();
        emit LoadFinished(path);
    });
}

PlayerController::~PlayerController() = default;

void PlayerController::Perform(const QString& command) {
    using Slot = ScriptLoads::Slot;
    const ViewCommand parsed = ParseViewCommand(command.toStdString());
    const QString path = QString::fromStdString(parsed.path);
    switch (parsed.kind) {
    case ViewCommandKind::Load:
        switch (KindOfFile(parsed.path)) {
        case LoadedKind::Script: loads_.Start(Slot::Script, path); break;
        case LoadedKind::Character: loads_.Start(Slot::Character, path); break;
        case LoadedKind::Picture: loads_.Start(Slot::Skin, path); break;
        }
        break;
    case ViewCommandKind::LoadBackground: loads_.Start(Slot::Background, path); break;
    case ViewCommandKind::Reset:
        // Stops playing, stops and drops a script still loading, and stands
        // at rest.
        loads_.Drop(Slot::Script);
        player_.Reset();
        blocks_.Clear();
        sync_.Follow();
        Follow();
        break;
    case ViewCommandKind::Unknown: {
        QString shown = command.left(ShownCommandChars);
        if (shown.size() < command.size()) shown += QStringLiteral("...");
        ShowNote(tr("unknown command: %1").arg(shown));
        break;
    }
    }
}

void PlayerController::Apply(const ScriptLoads::Result& r) {
    using Slot = ScriptLoads::Slot;
    if (!r.ok) {
        if (r.plainBackground) scene_.SetBackground(QImage());
        if (!r.note.isEmpty()) ShowNote(r.note);
        return;
    }
    ShowNote(r.note);
    switch (r.slot) {
    case Slot::Script:
        player_.Play(r.timeline, r.name.toStdString());
        blocks_.Follow(r.path);
        sync_.Follow(true);
        break;
    case Slot::Character: characterName_ = r.name; break;
    case Slot::Skin: {
        FigureLook look = scene_.Look();
        look[Material::Skin] = r.skin;
        look[Material::SkinShadow] = r.skin.darker(125);
        scene_.SetLook(look);
        break;
    }
    case Slot::Background: scene_.SetBackground(r.picture); break;
    case Slot::Count: break;
    }
    Follow();
}

void PlayerController::SetClock(std::function<qint64()> clock) {
    sync_.SetFallback(
        std::make_shared<FunctionClock>([clock = std::move(clock)]() -> std::int64_t { return clock(); }));
}

void PlayerController::Tick() {
    if (!player_.IsPlaying()) return;
    sync_.Tick();
    Follow();
}

void PlayerController::UseClip() {
    const std::shared_ptr<const SoundClip> clip = speech_.Clip();
    if (!clip) {
        sync_.Attach(nullptr);
        if (output_) output_->SetClip(nullptr, 0);
        Follow();
        return;
    }
    if (!output_) {
        output_ = std::make_unique<SpeechOutput>(this);
        connect(output_.get(), &SpeechOutput::Failed, this, [this] {
            sync_.DeviceFailed();
            Follow();
        });
    }
    // A new sound or offset plays from the time shown.
    sync_.Attach(nullptr);
    output_->SetClip(clip, speech_.Offset());
    sync_.Attach(output_.get());
    Follow();
}

QString PlayerController::Note() const {
    QStringList parts;
    if (!note_.isEmpty()) parts << note_;
    const QString speech = speech_.Note();
    if (!speech.isEmpty()) parts << speech;
    if (sync_.Attached() && sync_.Silent()) parts << tr("no sound device");
    return parts.join(QStringLiteral("; "));
}

const std::vector<double>& PlayerController::SnapTimes() const {
    const std::vector<WordMark>& marks = speech_.Marks();
    if (snapSerial_ != player_.Serial() || snapMarks_ != static_cast<const void*>(marks.data()) ||
        snapOffset_ != speech_.Offset() || snapTimes_.size() != player_.KeyTimes().size() + marks.size()) {
        snapTimes_ = player_.KeyTimes();
        for (const WordMark& mark : marks) snapTimes_.push_back(mark.start + speech_.Offset());
        std::sort(snapTimes_.begin(), snapTimes_.end());
        snapSerial_ = player_.Serial();
        snapMarks_ = marks.data();
        snapOffset_ = speech_.Offset();
    }
    return snapTimes_;
}

void PlayerController::Follow() {
    if (player_.IsPlaying()) {
        frameTimer_.setInterval(sync_.Sounding() ? SoundFrameMs : FrameMs);
        if (!frameTimer_.isActive()) frameTimer_.start();
    } else {
        frameTimer_.stop();
    }
    emit Changed();
}

void PlayerController::ShowNote(const QString& note) {
    note_ = note;
    emit Changed();
}

void PlayerController::ShowPose(const PoseValues& pose, const QString& label) {
    player_.ShowPose(pose, label.toStdString());
    sync_.Follow();
    Follow();
}

void PlayerController::TogglePause() {
    player_.TogglePause();
    sync_.Follow();
    Follow();
}

void PlayerController::ScrubTo(double t) {
    player_.ScrubTo(t);
    sync_.Scrubbed();
    Follow();
}

void PlayerController::StepBack() {
    player_.StepBack();
    sync_.Follow();
    Follow();
}

void PlayerController::StepForward() {
    player_.StepForward();
    sync_.Follow();
    Follow();
}

void PlayerController::ToggleLoop() {
    player_.SetLooping(!player_.IsLooping());
    Follow();
}

void PlayerController::ToggleGhosts() {
    scene_.SetGhosts(!scene_.Ghosts());
    Follow();
}

void PlayerController::SetCamera(const ViewCamera& camera) {
    if (camera == scene_.Camera()) return;
    scene_.SetCamera(camera);
    Follow();
}

}  // namespace tw
