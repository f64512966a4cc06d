// The waveform's peaks: the lowest and highest sample (over every channel)
// of each run of 256 frames, and coarser levels above it, each pairing two
// entries of the level below. Built once per clip, so drawing at any zoom
// reads a few entries per column and never the whole sound.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sound/SoundClip.h"

namespace tw {

struct PeakPair {
    float low = 0, high = 0;
    bool any = false;  // false where the range holds no frame of the clip
};

class PeakPyramid {
public:
    static constexpr std::int64_t BucketFrames = 256;

    explicit PeakPyramid(std::shared_ptr<const SoundClip> clip);

    // The lowest and highest sample of frames [from, to), held to the clip.
    PeakPair Range(std::int64_t from, std::int64_t to) const;

    const SoundClip& Clip() const { return *clip_; }
    std::size_t Levels() const { return levels_.size(); }

private:
    std::shared_ptr<const SoundClip> clip_;
    std::vector<std::vector<PeakPair>> levels_;
};

// The frame where column `column` of a waveform begins, when column 0
// begins at `firstFrame` and each column spans `framesPerColumn`; columns of a
// bucket (256 frames) or more begin on a bucket's first frame.
std::int64_t ColumnStart(double firstFrame, double framesPerColumn, int column);

// The peaks of `columns` columns: column i spans frames ColumnStart(i) up to
// ColumnStart(i + 1), and at least the one frame it starts on.
std::vector<PeakPair> ColumnPeaks(const PeakPyramid& peaks, double firstFrame, double framesPerColumn,
                                  int columns);

// The lowest and highest of samples [begin, end) (any channel layout).
PeakPair SamplePeaks(const float* begin, const float* end);

}  // namespace tw
