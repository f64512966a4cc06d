// The rules that keep the picture on the sound: where a script time falls in
// the sound, the time the listener hears, how channels are mixed to what the
// device takes, and the short grains a scrub plays.
#pragma once

#include <cstdint>

namespace tw {

// How long a scrub's grain of sound lasts, and the fade at either end that
// keeps it from clicking.
inline constexpr int GrainMilliseconds = 60;
inline constexpr int GrainFadeMilliseconds = 4;

// The frame of a sound at `rate` that plays at script time `t` when the sound
// starts at script time `offset`; before the sound it is negative. Times far
// outside any sound are held where the arithmetic stays exact.
std::int64_t ClipFrameAt(double t, double offset, int rate);

// The script time the listener hears: playback started at script time
// `start`, `handed` frames have gone to the device at `rate` and `buffered` of
// them are still waiting there.
double HeardTime(double start, std::int64_t handed, std::int64_t buffered, int rate);

// Mixes `frames` frames of `inChannels` channels into `outChannels`: each
// output channel takes the mean of the input channels that fold onto it
// (channel c goes to c modulo outChannels), and with fewer input channels
// they repeat (mono plays on both sides).
void MixChannels(const float* in, int inChannels, float* out, int outChannels, std::int64_t frames);

// The gain of frame `i` of a grain of `frames` frames with fades of `fade`
// frames at both ends.
float GrainGain(std::int64_t i, std::int64_t frames, std::int64_t fade);

}  // namespace tw
