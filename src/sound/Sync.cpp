#include "sound/Sync.h"

#include <algorithm>
#include <cmath>

namespace tw {

std::int64_t ClipFrameAt(double t, double offset, int rate) {
    const double frame = std::round((t - offset) * rate);
    if (!std::isfinite(t - offset)) return 0;
    return static_cast<std::int64_t>(std::clamp(frame, -9.0e15, 9.0e15));
}

double HeardTime(double start, std::int64_t handed, std::int64_t buffered, int rate) {
    if (rate <= 0) return start;
    return start + static_cast<double>(std::max<std::int64_t>(0, handed - buffered)) / rate;
}

void MixChannels(const float* in, int inChannels, float* out, int outChannels, std::int64_t frames) {
    for (std::int64_t f = 0; f < frames; ++f) {
        const float* src = in + f * inChannels;
        float* dst = out + f * outChannels;
        if (inChannels <= outChannels) {
            for (int c = 0; c < outChannels; ++c) dst[c] = src[c % inChannels];
            continue;
        }
        for (int c = 0; c < outChannels; ++c) {
            float sum = 0;
            int n = 0;
            for (int k = c; k < inChannels; k += outChannels, ++n) sum += src[k];
            dst[c] = sum / static_cast<float>(n);
        }
    }
}

float GrainGain(std::int64_t i, std::int64_t frames, std::int64_t fade) {
    if (i < 0 || i >= frames) return 0;
    if (fade <= 0) return 1;
    const std::int64_t edge = std::min(i + 1, frames - i);
    return edge >= fade ? 1.0f : static_cast<float>(edge) / static_cast<float>(fade);
}

}  // namespace tw
