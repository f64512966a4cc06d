#include "session/Player.h"

#include <algorithm>
#include <chrono>

#include "session/Transport.h"

namespace tw {

std::int64_t SteadyClock::Milliseconds() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

Player::Player(std::shared_ptr<const Clock> clock) : clock_(std::move(clock)) {}

void Player::SetClock(std::shared_ptr<const Clock> clock) {
    clock_ = std::move(clock);
    anchor_ = time_;
    startMs_ = clock_->Milliseconds();
}

void Player::Play(std::shared_ptr<const HapTimeline> timeline, std::string name) {
    timeline_ = std::move(timeline);
    keyTimes_ = KeyframeTimes(*timeline_);
    first_ = std::min(timeline_->firstTime, timeline_->lastTime);
    last_ = std::max(timeline_->firstTime, timeline_->lastTime);
    firstPose_ = SamplePose(*timeline_, first_);
    lastPose_ = SamplePose(*timeline_, last_);
    ++serial_;
    name_ = std::move(name);
    label_.clear();
    Start(first_);
}

void Player::Reset() {
    timeline_.reset();
    playing_ = paused_ = false;
    pose_ = {};
    name_.clear();
    label_.clear();
    keyTimes_.clear();
    time_ = 0;
}

void Player::ShowPose(const PoseValues& pose, std::string label) {
    timeline_.reset();
    playing_ = paused_ = false;
    keyTimes_.clear();
    name_.clear();
    pose_ = pose;
    label_ = label.empty() ? std::string(" ") : std::move(label);
}

void Player::Start(double from) {
    anchor_ = from;
    startMs_ = clock_->Milliseconds();
    paused_ = false;
    playing_ = true;
    Tick();
}

bool Player::Tick() {
    if (!playing_ || !timeline_) return false;
    double t = anchor_ + static_cast<double>(clock_->Milliseconds() - startMs_) / 1000;
    if (!(t < last_)) {
        if (looping_ && last_ > first_) {
            t = LoopedTime(first_, last_, t - first_);
        } else {
            t = last_;
            playing_ = false;
        }
    }
    Show(t);
    return playing_;
}

void Player::Show(double t) {
    time_ = t;
    // A register the script never names stays at rest.
    pose_ = SamplePose(*timeline_, t);
}

void Player::Pause() {
    if (!playing_) return;
    Tick();
    playing_ = false;
    paused_ = true;
}

void Player::Resume() {
    if (!timeline_ || playing_) return;
    Start(time_ < last_ ? time_ : first_);
}

void Player::TogglePause() {
    if (playing_) Pause();
    else Resume();
}

void Player::ScrubTo(double t) {
    if (!timeline_) return;
    playing_ = false;
    paused_ = true;
    Show(std::clamp(t, first_, last_));
}

void Player::StepBack() { ScrubTo(PreviousTime(keyTimes_, time_)); }
void Player::StepForward() { ScrubTo(NextTime(keyTimes_, time_)); }

void Player::SetLooping(bool looping) { looping_ = looping; }

PoseValues Player::PoseAt(double t) const { return timeline_ ? SamplePose(*timeline_, t) : pose_; }

}  // namespace tw
