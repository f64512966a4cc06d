// The character view: a player of hap scripts that draws the figure. Callers
// only send it text commands (SendCommand); it never makes them wait and never
// fails them. Its player (PlayerController) reads files on workers and plays
// on a timer; whatever goes wrong shows as a short note in the view's corner.
//
// The user works the view with the mouse and keys (ViewInput): a drag turns
// the camera, the wheel zooms, a timeline along the bottom scrubs, Space
// pauses, the arrows step between keyframe times, L loops, Home brings back
// the start-up camera, a right click offers camera presets and the ghosts of
// the first and last pose, and a double-click opens the same player in a
// large window.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <vector>

#include "figure/Pose.h"
#include "render/FigurePainter.h"
#include "windows/PlayerController.h"
#include "windows/ViewInput.h"
#include "windows/ViewOverlay.h"

namespace tw {

class CharacterWindow;

class CharacterView : public QFrame {
    Q_OBJECT
public:
    explicit CharacterView(QWidget* parent);
    ~CharacterView() override;

    // Hands a command to the view; never waits and never fails.
    void SendCommand(const QString& command);

    // Every command sent, in order.
    const QStringList& Commands() const { return commands_; }

    // The player this view and its large window show.
    PlayerController& Controller() { return controller_; }
    const PlayerController& Controller() const { return controller_; }

    // Replaces the clock playback follows (tests drive time through it):
    // milliseconds from any fixed start.
    void SetClock(std::function<qint64()> clock) { controller_.SetClock(std::move(clock)); }
    // Brings the pose up to the clock's time; the frame timer calls it.
    void Tick() { controller_.Tick(); }

    bool IsPlaying() const { return Playback().IsPlaying(); }
    bool IsLoading() const { return controller_.IsLoading(); }
    const PoseValues& Values() const { return Playback().Pose(); }
    double ClockTime() const { return Playback().Time(); }
    QString PlayingFile() const { return QString::fromStdString(Playback().Name()); }
    QString CharacterName() const { return controller_.CharacterName(); }
    QString Note() const { return controller_.Note(); }
    const FigureLook& Look() const { return controller_.Scene().Look(); }
    bool HasBackground() const { return controller_.Scene().HasBackground(); }

    // Transport and camera state, as the user has set it.
    bool HasTimeline() const { return Playback().HasScript(); }
    bool IsPaused() const { return Playback().IsPaused(); }
    bool IsLooping() const { return Playback().IsLooping(); }
    bool ShowsGhosts() const { return controller_.Scene().Ghosts(); }
    const ViewCamera& Camera() const { return controller_.Scene().Camera(); }
    // The keyframe clock times of the script shown, ascending.
    const std::vector<double>& KeyframeClockTimes() const { return Playback().KeyTimes(); }

    // Shows `values` at once, as the pose being edited, without a script:
    // playback stops and the timeline goes until the next load. `label`
    // names the pose in the corner.
    void ShowLivePose(const PoseValues& values, const QString& label) { controller_.ShowPose(values, label); }
    bool ShowsLivePose() const { return Playback().ShowsPose(); }

    // Opens the large window, or raises it when it is open.
    void OpenLarge();
    CharacterWindow* LargeWindow() const;

signals:
    void CommandSent(const QString& command);
    // A load's file work is done and its result applied (or noted).
    void LoadFinished(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    const Player& Playback() const { return controller_.Playback(); }

    QStringList commands_;
    PlayerController controller_;
    ViewOverlay overlay_;
    ViewInput input_;
    QPointer<CharacterWindow> large_;
};

}  // namespace tw
