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

#include "render/SceneRenderer.h"
#include "session/Player.h"
#include "windows/BlockStrip.h"
#include "windows/ScriptLoads.h"

namespace tw {

class PlayerController : public QObject {
    Q_OBJECT
public:
    explicit PlayerController(QObject* parent = nullptr);

    // Carries out a view command (load, background, reset); an unknown one
    // is noted in the corner.
    void Perform(const QString& command);

    const Player& Playback() const { return player_; }
    const SceneRenderer& Scene() const { return scene_; }
    bool IsLoading() const { return loads_.IsLoading(); }
    const QString& Note() const { return note_; }
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

    Player player_;
    SceneRenderer scene_{player_};
    ScriptLoads loads_;
    BlockStrip blocks_;
    QTimer frameTimer_;
    QString note_, characterName_;
};

}  // namespace tw
