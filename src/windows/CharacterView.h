// The character view: a player of hap scripts that draws the figure. Callers
// only send it text commands (SendCommand); it never makes them wait and never
// fails them. Files are read and decoded on a worker thread; playback runs on
// a timer in this thread, holding each register's value from one keyframe to
// the next. Whatever goes wrong shows as a short note in the view's corner.
#pragma once

#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <QStringList>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>

#include "reading/HapScriptReader.h"
#include "figure/Pose.h"
#include "windows/FigurePainter.h"

class QThreadPool;

namespace tw {

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

signals:
    void CommandSent(const QString& command);
    // A load's file work is done and its result applied (or noted).
    void LoadFinished(const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;

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

    QStringList commands_;
    Clock clock_;
    QTimer frameTimer_;

    // Playback.
    std::shared_ptr<const HapTimeline> timeline_;
    bool playing_ = false;
    qint64 startMs_ = 0;
    double startTime_ = 0, endTime_ = 0, clockTime_ = 0;
    PoseValues values_{};
    QString playingName_;

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
    mutable QPixmap scaledBackground_;
    FigurePainter painter_;
    mutable std::vector<DrawPrimitive> shapes_;
};

}  // namespace tw
