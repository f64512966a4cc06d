#include "sound/Peaks.h"

#include <algorithm>
#include <cmath>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tw {

namespace {

PeakPair Joined(PeakPair a, const PeakPair& b) {
    if (!b.any) return a;
    if (!a.any) return b;
    a.low = std::min(a.low, b.low);
    a.high = std::max(a.high, b.high);
    return a;
}

}  // namespace

PeakPair SamplePeaks(const float* begin, const float* end) {
    if (begin >= end) return {};
    float low = *begin, high = *begin;
    const float* s = begin;
#ifdef __SSE2__
    // Four lanes at a time, eight samples a step: the compiler does not turn
    // float min and max into vector instructions by itself (NaN rules), and
    // the edges of a waveform's columns are read from the samples.
    if (end - s >= 8) {
        __m128 low0 = _mm_loadu_ps(s), high0 = low0, low1 = _mm_loadu_ps(s + 4), high1 = low1;
        for (s += 8; end - s >= 8; s += 8) {
            const __m128 a = _mm_loadu_ps(s), b = _mm_loadu_ps(s + 4);
            low0 = _mm_min_ps(low0, a);
            high0 = _mm_max_ps(high0, a);
            low1 = _mm_min_ps(low1, b);
            high1 = _mm_max_ps(high1, b);
        }
        alignas(16) float lows[4], highs[4];
        _mm_store_ps(lows, _mm_min_ps(low0, low1));
        _mm_store_ps(highs, _mm_max_ps(high0, high1));
        for (int i = 0; i < 4; ++i) {
            low = std::min(low, lows[i]);
            high = std::max(high, highs[i]);
        }
    }
#endif
    for (; s != end; ++s) {
        low = std::min(low, *s);
        high = std::max(high, *s);
    }
    return {low, high, true};
}

PeakPyramid::PeakPyramid(std::shared_ptr<const SoundClip> clip) : clip_(std::move(clip)) {
    const std::int64_t frames = clip_->Frames();
    const auto channels = static_cast<std::size_t>(clip_->channels);
    std::vector<PeakPair> level(static_cast<std::size_t>((frames + BucketFrames - 1) / BucketFrames));
    const float* samples = clip_->samples.data();
    for (std::size_t k = 0; k < level.size(); ++k) {
        const auto from = static_cast<std::size_t>(k * BucketFrames);
        const auto to = static_cast<std::size_t>(std::min<std::int64_t>(frames, (k + 1) * BucketFrames));
        level[k] = SamplePeaks(samples + from * channels, samples + to * channels);
    }
    levels_.push_back(std::move(level));
    while (levels_.back().size() > 1) {
        const std::vector<PeakPair>& below = levels_.back();
        std::vector<PeakPair> above((below.size() + 1) / 2);
        for (std::size_t k = 0; k < above.size(); ++k)
            above[k] = 2 * k + 1 < below.size() ? Joined(below[2 * k], below[2 * k + 1]) : below[2 * k];
        levels_.push_back(std::move(above));
    }
}

PeakPair PeakPyramid::Range(std::int64_t from, std::int64_t to) const {
    const std::int64_t frames = clip_->Frames();
    from = std::max<std::int64_t>(from, 0);
    to = std::min(to, frames);
    if (from >= to) return {};
    const auto channels = static_cast<std::size_t>(clip_->channels);
    const float* samples = clip_->samples.data();
    auto raw = [&](std::int64_t a, std::int64_t b) {
        return SamplePeaks(samples + static_cast<std::size_t>(a) * channels,
                           samples + static_cast<std::size_t>(b) * channels);
    };
    // Whole buckets from the pyramid, the frames at either edge from the
    // samples themselves, so the result is exact for any range.
    std::int64_t lo = (from + BucketFrames - 1) / BucketFrames;
    std::int64_t hi = to == frames ? (to + BucketFrames - 1) / BucketFrames : to / BucketFrames;
    if (lo >= hi) return raw(from, to);
    PeakPair result = Joined(raw(from, lo * BucketFrames), raw(std::min(hi * BucketFrames, to), to));
    for (std::size_t level = 0; lo < hi; ++level, lo /= 2, hi /= 2) {
        const std::vector<PeakPair>& entries = levels_[level];
        if (lo & 1) result = Joined(result, entries[static_cast<std::size_t>(lo++)]);
        if (hi & 1) result = Joined(result, entries[static_cast<std::size_t>(--hi)]);
    }
    return result;
}

std::int64_t ColumnStart(double firstFrame, double framesPerColumn, int column) {
    double at = std::floor(firstFrame + framesPerColumn * column);
    // A column of a bucket or more begins on a bucket's first frame, so that
    // it is read from the pyramid alone: its edges are never read from the
    // samples, which lie far apart in memory when zoomed out.
    if (framesPerColumn >= static_cast<double>(PeakPyramid::BucketFrames))
        at = std::floor(at / PeakPyramid::BucketFrames) * PeakPyramid::BucketFrames;
    // Far outside any clip, held where an int64 still holds it.
    return static_cast<std::int64_t>(std::clamp(at, -9.0e15, 9.0e15));
}

std::vector<PeakPair> ColumnPeaks(const PeakPyramid& peaks, double firstFrame, double framesPerColumn,
                                  int columns) {
    std::vector<PeakPair> out(static_cast<std::size_t>(std::max(columns, 0)));
    if (!(framesPerColumn > 0) || !std::isfinite(firstFrame)) return out;
    std::int64_t from = ColumnStart(firstFrame, framesPerColumn, 0);
    for (int c = 0; c < columns; ++c) {
        const std::int64_t to = ColumnStart(firstFrame, framesPerColumn, c + 1);
        out[static_cast<std::size_t>(c)] = peaks.Range(from, std::max(to, from + 1));
        from = to;
    }
    return out;
}

}  // namespace tw
