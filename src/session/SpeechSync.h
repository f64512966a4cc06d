// Playback with a speech track: the sound plays with the picture, and the
// time the listener hears is the player's clock, so the pose shown is the
// pose at the heard time however the device's buffers and timers run. Pause,
// step and scrub stop the sound with the picture, play and resume start it at
// the time shown, a loop's wrap starts it again at the loop's start, and each
// scrub plays a short grain at the scrubbed time. Where the sound cannot play
// the picture runs on an ordinary clock.
#pragma once

#include <cstdint>
#include <memory>

#include "session/Player.h"

namespace tw {

// What plays the sound, seen from the player: a device, or a test's stand-in.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Plays the track from script time `t` on (silence where it holds no
    // sound); false when no device can play it.
    virtual bool Start(double t) = 0;
    virtual void Stop() = 0;
    // Plays the grain of the track at script time `t`, cutting off whatever
    // was still to be heard.
    virtual void Grain(double t) = 0;
    // Frames handed to the device since Start, how many of those it still
    // holds, and its frames per second.
    virtual std::int64_t HandedFrames() const = 0;
    virtual std::int64_t BufferedFrames() const = 0;
    virtual int DeviceRate() const = 0;
};

class SpeechSync {
public:
    // `fallback` is the clock the player follows without sound.
    SpeechSync(Player& player, std::shared_ptr<const Clock> fallback);

    // The clock the player follows without sound (from now on).
    void SetFallback(std::shared_ptr<const Clock> fallback);

    // The output of the speech track; null when there is none.
    void Attach(SoundOutput* output);
    bool Attached() const { return output_ != nullptr; }

    // After a transport change: starts the sound when the player plays and it
    // does not (from the time shown), stops it when the player does not play.
    // `restarted`: the player began again elsewhere (a new script), so a
    // sound that plays starts again too.
    void Follow(bool restarted = false);
    // The player brought up to the heard time; a loop's wrap restarts the
    // sound at the time shown. False when not playing.
    bool Tick();
    // Plays the grain at the time the player shows (after a scrub).
    void Scrubbed();
    // The device was lost or could not be opened after all: the picture goes
    // on from where it is, on the fallback clock.
    void DeviceFailed();

    bool Sounding() const { return sounding_; }
    // The last start found no device.
    bool Silent() const { return silent_; }

private:
    class HeardClock;
    void StartSound();
    void StopSound();

    Player& player_;
    std::shared_ptr<const Clock> fallback_;
    std::shared_ptr<HeardClock> heard_;
    SoundOutput* output_ = nullptr;
    bool sounding_ = false, silent_ = false;
    // The time shown and the heard clock at the last tick.
    double seenTime_ = 0;
    std::int64_t seenMs_ = 0;
};

}  // namespace tw
