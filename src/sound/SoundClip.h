// A sound held in memory: interleaved float samples (-1..1) at a rate, as
// decoded once from its file.
#pragma once

#include <cstdint>
#include <vector>

namespace tw {

struct SoundClip {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;  // frame after frame, `channels` values each
    bool truncated = false;      // the file held more than the memory cap allowed

    std::int64_t Frames() const {
        return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
    }
    double Seconds() const { return sampleRate > 0 ? static_cast<double>(Frames()) / sampleRate : 0; }
};

}  // namespace tw
