// A clip as the device plays it: from any frame (before or after the sound
// it is silence), mixed to the device's channels and resampled to its rate
// with libsamplerate. A grain plays a limited run of frames with faded ends,
// then silence; a new Seek cuts off whatever was still to come.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sound/SoundClip.h"

typedef struct SRC_STATE_tag SRC_STATE;

namespace tw {

class SoundStream {
public:
    SoundStream(std::shared_ptr<const SoundClip> clip, int outRate, int outChannels);
    ~SoundStream();
    SoundStream(const SoundStream&) = delete;
    SoundStream& operator=(const SoundStream&) = delete;

    // Plays on from clip frame `from`; with `grainFrames` >= 0 only that many
    // frames (faded at both ends), then silence.
    void Seek(std::int64_t from, std::int64_t grainFrames = -1);
    // Fills `frames` output frames (interleaved, OutChannels() each).
    void Read(float* out, std::int64_t frames);

    int OutRate() const { return outRate_; }
    int OutChannels() const { return outChannels_; }

private:
    // The next `frames` clip frames, mixed, into `out`; moves on.
    void Pull(float* out, std::int64_t frames);

    std::shared_ptr<const SoundClip> clip_;
    int outRate_, outChannels_;
    std::int64_t next_ = 0, grainStart_ = 0, grainFrames_ = -1, fade_ = 0;
    SRC_STATE* resampler_ = nullptr;
    std::vector<float> in_;   // mixed clip frames not yet resampled
    std::size_t inUsed_ = 0;  // frames of in_ already consumed
};

}  // namespace tw
