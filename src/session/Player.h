// The player of hap scripts, without a window: the script shown, play and
// pause, loop, scrub and step between keyframe times, the time shown and the
// pose at it, the first and last pose for the ghosts. It follows a Clock, so
// a timer, a test or the sound that is heard can drive it; whoever shows it
// calls Tick to bring it up to the clock and draws what it holds.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "figure/Pose.h"
#include "reading/HapScriptReader.h"

namespace tw {

// Milliseconds from any fixed start.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t Milliseconds() const = 0;
};

// The machine's steady clock.
class SteadyClock final : public Clock {
public:
    std::int64_t Milliseconds() const override;
};

// A clock that asks a function: for tests and for clocks kept elsewhere.
class FunctionClock final : public Clock {
public:
    explicit FunctionClock(std::function<std::int64_t()> now) : now_(std::move(now)) {}
    std::int64_t Milliseconds() const override { return now_(); }

private:
    std::function<std::int64_t()> now_;
};

class Player {
public:
    explicit Player(std::shared_ptr<const Clock> clock = std::make_shared<SteadyClock>());

    // Playback follows `clock` from now on, from the time it shows.
    void SetClock(std::shared_ptr<const Clock> clock);

    // Plays `timeline` from its first time; `name` names it in the corner.
    void Play(std::shared_ptr<const HapTimeline> timeline, std::string name);
    // No script: stopped, at rest, time 0.
    void Reset();
    // Shows `pose` at once, as the pose being edited, without a script;
    // `label` names it (a blank stands for an unnamed one).
    void ShowPose(const PoseValues& pose, std::string label);

    // Brings the time and pose up to the clock. Playback stops at the last
    // time, or wraps to the first while looping. False when not playing.
    bool Tick();
    void Pause();
    // Plays on from the time shown; a script that has ended plays again.
    void Resume();
    void TogglePause();
    // Pauses at `t`, held within the script's span.
    void ScrubTo(double t);
    // Pauses at the keyframe time before or after the one shown.
    void StepBack();
    void StepForward();
    void SetLooping(bool looping);

    bool HasScript() const { return timeline_ != nullptr; }
    // The script shown, shared (null when none), so it can be drawn elsewhere.
    const std::shared_ptr<const HapTimeline>& Script() const { return timeline_; }
    bool IsPlaying() const { return playing_; }
    bool IsPaused() const { return paused_; }
    bool IsLooping() const { return looping_; }
    bool ShowsPose() const { return !label_.empty(); }
    double Time() const { return time_; }
    double FirstTime() const { return first_; }
    double LastTime() const { return last_; }
    const PoseValues& Pose() const { return pose_; }
    // The pose the script holds at `t`; with no script, the pose shown.
    PoseValues PoseAt(double t) const;
    const PoseValues& FirstPose() const { return firstPose_; }
    const PoseValues& LastPose() const { return lastPose_; }
    // The keyframe clock times of the script shown, ascending.
    const std::vector<double>& KeyTimes() const { return keyTimes_; }
    const std::string& Name() const { return name_; }
    const std::string& Label() const { return label_; }
    // Counts the scripts shown, so what is drawn from a script can be kept.
    std::uint64_t Serial() const { return serial_; }

private:
    void Start(double from);
    void Show(double t);

    std::shared_ptr<const Clock> clock_;
    std::shared_ptr<const HapTimeline> timeline_;
    bool playing_ = false, paused_ = false, looping_ = false;
    std::int64_t startMs_ = 0;
    double anchor_ = 0;  // playback runs from this time at startMs_
    double first_ = 0, last_ = 0, time_ = 0;
    PoseValues pose_{}, firstPose_{}, lastPose_{};
    std::vector<double> keyTimes_;
    std::string name_, label_;
    std::uint64_t serial_ = 0;
};

}  // namespace tw
