#include "sound/Peaks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace tw {
namespace {

// The plain way: every sample of each column's frames.
PeakPair PlainPeaks(const SoundClip& clip, std::int64_t from, std::int64_t to) {
    PeakPair p;
    for (std::int64_t f = std::max<std::int64_t>(from, 0); f < std::min(to, clip.Frames()); ++f) {
        for (int c = 0; c < clip.channels; ++c) {
            const float v = clip.samples[static_cast<std::size_t>(f * clip.channels + c)];
            p.low = p.any ? std::min(p.low, v) : v;
            p.high = p.any ? std::max(p.high, v) : v;
            p.any = true;
        }
    }
    return p;
}

std::shared_ptr<SoundClip> RandomClip(std::mt19937& random, std::int64_t frames, int channels) {
    auto clip = std::make_shared<SoundClip>();
    clip->sampleRate = 8000;
    clip->channels = channels;
    std::uniform_real_distribution<float> value(-1, 1);
    clip->samples.resize(static_cast<std::size_t>(frames * channels));
    for (float& s : clip->samples) s = value(random);
    return clip;
}

TEST(Peaks, EveryRangeEqualsAPlainMinMaxOverItsSamples) {
    std::mt19937 random(7);
    for (const std::int64_t frames : {1LL, 255LL, 256LL, 257LL, 1000LL, 65536LL, 70001LL}) {
        for (const int channels : {1, 2, 5}) {
            const auto clip = RandomClip(random, frames, channels);
            const PeakPyramid peaks(clip);
            std::uniform_int_distribution<std::int64_t> at(-300, frames + 300);
            for (int i = 0; i < 300; ++i) {
                std::int64_t a = at(random), b = at(random);
                if (a > b) std::swap(a, b);
                const PeakPair got = peaks.Range(a, b), want = PlainPeaks(*clip, a, b);
                ASSERT_EQ(got.any, want.any) << frames << " " << a << ".." << b;
                if (!want.any) continue;
                ASSERT_EQ(got.low, want.low) << frames << " " << a << ".." << b;
                ASSERT_EQ(got.high, want.high) << frames << " " << a << ".." << b;
            }
        }
    }
}

TEST(Peaks, ColumnsAtAnyZoomEqualAPlainMinMaxPerColumn) {
    std::mt19937 random(11);
    const auto clip = RandomClip(random, 200000, 2);
    const PeakPyramid peaks(clip);
    const struct {
        double first, perColumn;
        int columns;
    } rows[] = {
        {0, 200000.0 / 1920, 1920},  // the whole sound across a wide window
        {-5000.5, 123.4, 700},       // starting before the sound
        {150000, 1000, 300},         // running past its end
        {1234.5, 0.3, 500},          // zoomed in below a frame a column
        {0, 200000.0 / 97, 97},
    };
    for (const auto& row : rows) {
        const std::vector<PeakPair> got = ColumnPeaks(peaks, row.first, row.perColumn, row.columns);
        ASSERT_EQ(got.size(), static_cast<std::size_t>(row.columns));
        for (int c = 0; c < row.columns; ++c) {
            const std::int64_t from = ColumnStart(row.first, row.perColumn, c);
            const std::int64_t to = std::max(ColumnStart(row.first, row.perColumn, c + 1), from + 1);
            const PeakPair want = PlainPeaks(*clip, from, to);
            ASSERT_EQ(got[c].any, want.any) << row.first << " column " << c;
            if (!want.any) continue;
            ASSERT_EQ(got[c].low, want.low) << row.first << " column " << c;
            ASSERT_EQ(got[c].high, want.high) << row.first << " column " << c;
        }
    }
    // Columns tile the frames: each begins where the last ended.
    EXPECT_EQ(ColumnStart(10, 2.5, 4), 20);
    EXPECT_EQ(ColumnStart(-3.5, 1, 0), -4);
    // Wide columns begin on whole buckets, before the sound too.
    EXPECT_EQ(ColumnStart(1000, 300, 2), 1536);
    EXPECT_EQ(ColumnStart(-10, 256, 0), -256);
}

TEST(Peaks, KeepsCoarserLevelsUpToOneEntry) {
    auto clip = std::make_shared<SoundClip>();
    clip->sampleRate = 8000;
    clip->channels = 1;
    clip->samples.assign(256 * 5, 0.0f);  // five buckets: 5, 3, 2, 1
    EXPECT_EQ(PeakPyramid(clip).Levels(), 4u);
}

}  // namespace
}  // namespace tw
