// The character view: a player of hap scripts that draws the figure. Callers
// only send it text commands (SendCommand); it never makes them wait and never
// fails them. Files are read and decoded on a worker thread; playback runs on
// a timer in this thread, holding each register's value from one keyframe to
// the next. Whatever goes wrong shows as a short note in the view's corner.
//
// The user works the view with the mouse and keys: a drag turns the camera,
// the wheel zooms, a timeline along the bottom scrubs, Space pauses, the
// arrows step between keyframe times, L loops, Home brings back the start-up
// camera, a right click offers camera presets and the ghosts of the first and
// last pose, and a double-click opens the same player in a large window.
#pragma once

#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <QStringList>
#include <QPointer>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "reading/HapScriptReader.h"
#include "figure/Pose.h"
#include "render/FigurePainter.h"

class QPainter;
class QThreadPool;

namespace tw {

class CharacterWindow;

class CharacterView : public QFrame {
    Q_OBJECT
public:
    // Milliseconds from any fixed start; playback follows it.
    using Clock = std::function<qint64()>;

    explicit CharacterView(QWidget* parent);
    ~CharacterView() override;

    // Hands a command to the view; never waits and never fails.
    void SendCommand(const QString& command);

    // Every command sent, in order.
    const QStringList& Commands() const { return commands_; }

    // Replaces the clock playback follows (tests drive time through it).
    void SetClock(Clock clock);
    // Brings the pose up to the clock's time; the frame timer calls it.
    void Tick();

    bool IsPlaying() const { return playing_; }
    bool IsLoading() const { return pendingLoads_ > 0; }
    const PoseValues& Values() const { return values_; }
    double ClockTime() const { return clockTime_; }
    QString PlayingFile() const { return playingName_; }
    QString CharacterName() const { return characterName_; }
    QString Note() const { return note_; }
    const FigureLook& Look() const { return painter_.Look(); }
    bool HasBackground() const { return !background_.isNull(); }

    // Transport and camera state, as the user has set it.
    bool HasTimeline() const { return timeline_ != nullptr; }
    bool IsPaused() const { return paused_; }
    bool IsLooping() const { return looping_; }
    bool ShowsGhosts() const { return ghosts_; }
    const ViewCamera& Camera() const { return camera_; }
    // The keyframe clock times of the script shown, ascending.
    const std::vector<double>& KeyframeClockTimes() const { return keyTimes_; }

    // Shows `values` at once, as the pose being edited, without a script:
    // playback stops and the timeline goes until the next load. `label`
    // names the pose in the corner.
    void ShowLivePose(const PoseValues& values, const QString& label);
    bool ShowsLivePose() const { return !liveLabel_.isEmpty(); }

    // The view's picture drawn into `area` of `painter`; the large window
    // draws the same picture at its own size.
    void PaintPicture(QPainter& painter, const QRect& area, bool focused) const;
    // Mouse, wheel, key and menu input on `surface`, a widget showing the
    // picture over its whole rectangle; true when the event was used.
    bool HandleInput(QWidget* surface, QEvent* event);
    // Opens the large window, or raises it when it is open.
    void OpenLarge();
    CharacterWindow* LargeWindow() const;

signals:
    void CommandSent(const QString& command);
    // A load's file work is done and its result applied (or noted).
    void LoadFinished(const QString& path);
    // The picture changed (a frame, a camera move, a state change).
    void PictureChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct LoadResult;
    enum class Slot { Script, Character, Skin, Background, Count };

    void StartLoad(Slot slot, const QString& path);
    // Asks the slot's running load, if any, to stop reading.
    void StopLoad(Slot slot);
    void Apply(const LoadResult& result);
    void StartPlaying(std::shared_ptr<const HapTimeline> timeline, const QString& name);
    void StopPlaying();
    void ShowNote(const QString& note);
    void Refresh();

    // Transport.
    void ShowTime(double t);
    void Pause();
    void Resume();
    void ScrubTo(double t);
    void SetCamera(const ViewCamera& camera);
    void ShowMenu(QWidget* surface, const QPoint& globalPos);
    QRect TimelineRect(const QRect& area) const;

    QStringList commands_;
    Clock clock_;
    QTimer frameTimer_;

    // Playback.
    std::shared_ptr<const HapTimeline> timeline_;
    bool playing_ = false;
    bool paused_ = false, looping_ = false, ghosts_ = false;
    qint64 startMs_ = 0;
    double startTime_ = 0, endTime_ = 0, clockTime_ = 0;
    double anchorTime_ = 0;  // playback runs from this time at startMs_
    PoseValues values_{};
    QString playingName_, liveLabel_;
    std::vector<double> keyTimes_;
    PoseValues firstPose_{}, lastPose_{};
    quint64 ghostSerial_ = 0;  // counts the scripts shown, so cached ghosts follow

    // Camera and the mouse drag in progress.
    ViewCamera camera_ = StartupCamera();
    enum class Drag { None, Pending, Orbit, Pan, Scrub };
    Drag drag_ = Drag::None;
    QPoint pressPos_, lastPos_;
    QPointer<CharacterWindow> large_;

    // Loads: each slot counts its loads, so a result that a newer load or a
    // reset has overtaken is dropped.
    std::array<quint64, static_cast<int>(Slot::Count)> serials_{};
    int pendingLoads_ = 0;
    // Each slot's latest load can be told to stop reading; a newer load or a
    // reset does so.
    std::array<std::shared_ptr<std::atomic<bool>>, static_cast<int>(Slot::Count)> stops_{};
    // The loads' own workers, apart from Qt's global pool, which the painter
    // uses.
    QThreadPool* pool_ = nullptr;

    QString characterName_, note_;
    QImage background_;
    FigurePainter painter_;
    mutable std::vector<DrawPrimitive> shapes_;
    // What each picture size keeps between frames: the background scaled to
    // it, the ghosts drawn at it, the timeline's ticks.
    struct SizeCache {
        QSize size;
        QPixmap background;
        GhostLayer ghosts;
        ViewCamera ghostCamera;
        QSize ghostSize;
        quint64 ghostSerial = 0;
        std::vector<int> ticks;
        quint64 tickSerial = 0;
    };
    mutable std::array<SizeCache, 2> caches_;
    mutable int lastCache_ = 0;
    SizeCache& CacheFor(QSize size) const;
};

}  // namespace tw
