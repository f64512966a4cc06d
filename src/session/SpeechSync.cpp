#include "session/SpeechSync.h"

#include <algorithm>
#include <optional>

#include "sound/Sync.h"

namespace tw {

// Milliseconds of sound heard: frozen while no sound plays, and counting on
// from there by what the listener has heard of the sound playing now. It
// never runs back, though a device's count of buffered frames may jitter.
class SpeechSync::HeardClock final : public Clock {
public:
    std::int64_t Milliseconds() const override {
        if (latched_) return *latched_;
        if (!output_) return base_;
        const double heard =
            HeardTime(0, output_->HandedFrames(), output_->BufferedFrames(), output_->DeviceRate());
        last_ = std::max(last_, static_cast<std::int64_t>(heard * 1000));
        return base_ + last_;
    }
    void Begin(const SoundOutput* output) {
        output_ = output;
        last_ = 0;
    }
    // Holds the time read now until Release, so that everything one tick
    // reads sees the same time though the device's counts move meanwhile.
    void Latch() {
        latched_.reset();
        latched_ = Milliseconds();
    }
    void Release() { latched_.reset(); }
    void End() {
        base_ = Milliseconds();
        output_ = nullptr;
        last_ = 0;
    }

private:
    const SoundOutput* output_ = nullptr;
    std::int64_t base_ = 0;
    mutable std::int64_t last_ = 0;
    std::optional<std::int64_t> latched_;
};

SpeechSync::SpeechSync(Player& player, std::shared_ptr<const Clock> fallback)
    : player_(player), fallback_(std::move(fallback)), heard_(std::make_shared<HeardClock>()) {}

void SpeechSync::SetFallback(std::shared_ptr<const Clock> fallback) {
    fallback_ = std::move(fallback);
    if (!sounding_) player_.SetClock(fallback_);
}

void SpeechSync::Attach(SoundOutput* output) {
    if (output == output_) return;
    StopSound();
    output_ = output;
    silent_ = false;
    if (!output_) {
        player_.SetClock(fallback_);
        return;
    }
    Follow();
}

void SpeechSync::StartSound() {
    sounding_ = output_->Start(player_.Time());
    silent_ = !sounding_;
    if (sounding_) heard_->Begin(output_);
    // Either way the player goes on from the time it shows.
    player_.SetClock(sounding_ ? std::shared_ptr<const Clock>(heard_) : fallback_);
    seenTime_ = player_.Time();
    seenMs_ = heard_->Milliseconds();
}

void SpeechSync::StopSound() {
    if (!sounding_) return;
    heard_->End();
    output_->Stop();
    sounding_ = false;
}

void SpeechSync::Follow(bool restarted) {
    if (!output_) return;
    if (!player_.IsPlaying()) {
        StopSound();
        return;
    }
    if (sounding_ && !restarted) return;
    StopSound();
    StartSound();
}

bool SpeechSync::Tick() {
    heard_->Latch();
    const bool playing = player_.Tick();
    const std::int64_t nowMs = heard_->Milliseconds();
    heard_->Release();
    if (!output_) return playing;
    // Without a wrap the time moved on by exactly what was heard since the
    // last tick.
    const double unwrapped = seenTime_ + static_cast<double>(nowMs - seenMs_) / 1000;
    seenTime_ = player_.Time();
    seenMs_ = nowMs;
    if (playing && sounding_ && player_.IsLooping() && player_.Time() < unwrapped - 0.0005) {
        // The loop wrapped: the sound starts again at the loop's start.
        StopSound();
        StartSound();
    } else if (!playing) {
        StopSound();
    }
    return playing;
}

void SpeechSync::Scrubbed() {
    if (!output_) return;
    StopSound();
    output_->Grain(player_.Time());
}

void SpeechSync::DeviceFailed() {
    if (!sounding_) {
        silent_ = output_ != nullptr;
        return;
    }
    heard_->End();
    sounding_ = false;
    silent_ = true;
    player_.SetClock(fallback_);
}

}  // namespace tw
