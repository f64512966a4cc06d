// The one player behind the character view and its large window: a Player
// driven by a frame timer, the scene it is drawn in, and the loads that bring
// it scripts, a character, a skin and a background. Every view of it draws
// the same picture and works the same transport; Changed tells them to
// repaint.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "render/SceneRenderer.h"
#include "session/Player.h"
#include "windows/BlockStrip.h"
#include "session/SpeechSync.h"
#include "windows/ScriptLoads.h"
#include "windows/SpeechTrack.h"

namespace tw {

class SpeechOutput;

class PlayerController : public QObject {
    Q_OBJECT
public:
    explicit PlayerController(QObject* parent = nullptr);
    ~PlayerController() override;

    // Carries out a view command (load, background, reset); an unknown one
    // is noted in the corner.
    void Perform(const QString& command);

    const Player& Playback() const { return player_; }
    const SceneRenderer& Scene() const { return scene_; }
    bool IsLoading() const { return loads_.IsLoading(); }
    // The corner's note: the last load's, the speech track's, and "no sound
    // device" while playback runs silently for want of one.
    QString Note() const;
    const QString& CharacterName() const { return characterName_; }
    // The blocks of the file played, for the timelines.
    BlockStrip& Blocks() { return blocks_; }
    const BlockStrip& Blocks() const { return blocks_; }

    // Replaces the clock playback follows (tests drive time through it).
    void SetClock(std::function<qint64()> clock);
    // Brings the pose up to the clock; the frame timer calls it.
    void Tick();

    void ShowPose(const PoseValues& pose, const QString& label);
    void TogglePause();
    void ScrubTo(double t);
    void StepBack();
    void StepForward();
    void ToggleLoop();
    void ToggleGhosts();
    void SetCamera(const ViewCamera& camera);

    // The speech track of the active file, and where its sound plays (null
    // until there is a sound to play).
    SpeechTrack& Speech() { return speech_; }
    const SpeechTrack& Speech() const { return speech_; }
    const SpeechSync& Sync() const { return sync_; }
    SpeechOutput* Output() const { return output_.get(); }
    // The times a click on the timeline lands on: keyframes and word marks.
    const std::vector<double>& SnapTimes() const;

signals:
    // The picture changed (a frame, a camera move, a load, a note).
    void Changed();
    // A load's file work is done and its result applied (or noted).
    void LoadFinished(const QString& path);

private:
    void Apply(const ScriptLoads::Result& result);
    void ShowNote(const QString& note);
    // Runs the frame timer while the player plays, and repaints.
    void Follow();
    // The speech track's sound (or none) goes to the output.
    void UseClip();

    Player player_;
    SpeechTrack speech_;
    std::unique_ptr<SpeechOutput> output_;
    SpeechSync sync_{player_, std::make_shared<SteadyClock>()};
    mutable std::vector<double> snapTimes_;
    mutable std::uint64_t snapSerial_ = 0;
    mutable const void* snapMarks_ = nullptr;
    mutable double snapOffset_ = 0;
    SceneRenderer scene_{player_};
    ScriptLoads loads_;
    BlockStrip blocks_;
    QTimer frameTimer_;
    QString note_, characterName_;
};

}  // namespace tw
