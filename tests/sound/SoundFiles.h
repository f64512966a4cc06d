// Sound files written by the tests themselves with libsndfile.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

// Writes `samples` (interleaved) as a file of `format`; false when this
// libsndfile cannot write that format.
inline bool WriteSound(const std::string& path, int format, int rate, int channels,
                       const std::vector<float>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const bool ok = sf_writef_float(file, samples.data(), frames) == frames;
    sf_close(file);
    return ok;
}

// A sample pattern each channel tells apart: channel c of frame f.
inline float PatternSample(long long f, int c) {
    return static_cast<float>(std::sin(0.01 * static_cast<double>(f) * (c + 1)) * 0.5 + 0.1 * c / 8.0);
}

inline std::vector<float> Pattern(long long frames, int channels) {
    std::vector<float> s(static_cast<std::size_t>(frames * channels));
    for (long long f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            s[static_cast<std::size_t>(f * channels + c)] = PatternSample(f, c);
    return s;
}
