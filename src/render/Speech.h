// The speech heard with a render, as decoded sound: whoever reads a sound
// file fills this in; the encoder resamples it to what the output needs.
#pragma once

#include <vector>

namespace tw {

struct RenderSpeech {
    int sampleRate = 0;          // samples per second per channel
    int channels = 0;            // 1 or more, interleaved
    std::vector<float> samples;  // interleaved, -1..1
    double offset = 0;           // the script time, in seconds, at which the first sample plays

    bool Empty() const { return sampleRate <= 0 || channels <= 0 || samples.size() < std::size_t(channels); }
};

}  // namespace tw
