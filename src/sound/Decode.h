// Decoding a sound file (WAV, FLAC, Ogg Vorbis or Opus, MP3: whatever
// libsndfile reads) into memory, once, with its progress reported.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "document/Outcome.h"
#include "document/Progress.h"
#include "sound/SoundClip.h"

namespace tw {

// The most samples kept in memory by default: 1 GiB of them as floats.
inline constexpr std::size_t DefaultSampleCap = (std::size_t{1} << 30) / sizeof(float);

// Reads every frame of the file at `path`, keeping at most `sampleCap`
// samples (whole frames; the clip is marked truncated when the file held
// more). `progress` hears 0..99 as the file is read; `cancel`, when set,
// stops the read with a failure. A file that is not sound, holds no frames
// or cannot be read fails with a message naming it.
Outcome<SoundClip> DecodeSound(const std::string& path, std::size_t sampleCap = DefaultSampleCap,
                               const ProgressFn& progress = {}, const std::atomic<bool>* cancel = nullptr);

}  // namespace tw
