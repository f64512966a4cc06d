#include "windows/PlayerController.h"

#include "document/ViewCommands.h"

namespace tw {

namespace {
constexpr int FrameMs = 33;  // about 30 frames per second
constexpr int ShownCommandChars = 48;
}  // namespace

PlayerController::PlayerController(QObject* parent) : QObject(parent), loads_(this) {
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
    player_.SetClock(std::make_shared<FunctionClock>(
        [clock = std::move(clock)]() -> std::int64_t { return clock(); }));
}

void PlayerController::Tick() {
    if (!player_.IsPlaying()) return;
    player_.Tick();
    Follow();
}

void PlayerController::Follow() {
    if (player_.IsPlaying()) {
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
    Follow();
}

void PlayerController::TogglePause() {
    player_.TogglePause();
    Follow();
}

void PlayerController::ScrubTo(double t) {
    player_.ScrubTo(t);
    Follow();
}

void PlayerController::StepBack() {
    player_.StepBack();
    Follow();
}

void PlayerController::StepForward() {
    player_.StepForward();
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
