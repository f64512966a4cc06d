// How long one redraw of the speech track's waveform takes at 1920 columns
// (64 rows, the large window's band): ours reads the peak pyramid, the plain
// way takes the min and max over every sample of each column; the limit is
// the drawing alone from columns already known. Each round redraws the band
// at a set of zooms and scroll positions (the whole three minutes, a minute,
// ten seconds, one second); every redraw's pixels are compared between the
// sides (the program exits with 1 when they differ).
// --quick (or TW_BENCH_QUICK=1): one round, pixels checked.

#include <QGuiApplication>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "Rounds.h"
#include "render/Waveform.h"

namespace {

constexpr int Width = 1920, Height = 64, Rate = 48000;
const QColor Colour(120, 220, 160);

struct View {
    double first, last;  // script seconds across the band (offset 0)
};

std::vector<tw::PeakPair> PlainColumns(const tw::SoundClip& clip, const View& v) {
    const double perColumn = (v.last - v.first) * Rate / Width;
    std::vector<tw::PeakPair> columns(Width);
    for (int c = 0; c < Width; ++c) {
        const std::int64_t from = tw::ColumnStart(v.first * Rate, perColumn, c);
        const std::int64_t to = std::max(tw::ColumnStart(v.first * Rate, perColumn, c + 1), from + 1);
        tw::PeakPair p;
        for (std::int64_t f = std::max<std::int64_t>(from, 0); f < std::min(to, clip.Frames()); ++f)
            for (int ch = 0; ch < clip.channels; ++ch) {
                const float s = clip.samples[static_cast<std::size_t>(f * clip.channels + ch)];
                p.low = p.any ? std::min(p.low, s) : s;
                p.high = p.any ? std::max(p.high, s) : s;
                p.any = true;
            }
        columns[static_cast<std::size_t>(c)] = p;
    }
    return columns;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::TakeQuickFlag(argc, argv);
    QGuiApplication app(argc, argv);
    // Three minutes of stereo speech-like noise at 48 kHz.
    auto clip = std::make_shared<tw::SoundClip>();
    clip->sampleRate = Rate;
    clip->channels = 2;
    const std::int64_t frames = std::int64_t{Rate} * (quick ? 30 : 180);
    clip->samples.resize(static_cast<std::size_t>(frames * 2));
    std::mt19937 random(3);
    std::normal_distribution<float> noise(0, 0.2f);
    for (std::int64_t f = 0; f < frames; ++f) {
        const float envelope = static_cast<float>(0.5 + 0.5 * std::sin(f * 2 * M_PI / (Rate * 0.7)));
        clip->samples[static_cast<std::size_t>(2 * f)] = std::clamp(noise(random) * envelope, -1.0f, 1.0f);
        clip->samples[static_cast<std::size_t>(2 * f + 1)] =
            std::clamp(noise(random) * envelope, -1.0f, 1.0f);
    }
    const tw::PeakPyramid peaks(clip);
    const double seconds = clip->Seconds();
    const std::vector<View> views{{0, seconds}, {10, 70}, {33.3, 43.3}, {20.25, 21.25}, {-5, seconds + 5}};

    // The pixels first: every view, ours against the plain redraw.
    int differing = 0;
    for (const View& v : views) {
        const QImage ours = tw::WaveformImage(peaks, v.first, v.last, 0, Width, Height, Colour);
        const QImage plain = tw::WaveformImage(PlainColumns(*clip, v), Height, Colour);
        if (ours != plain) {
            ++differing;
            std::fprintf(stderr, "view %.2f..%.2f s: the pixels differ\n", v.first, v.last);
        }
    }

    std::vector<tw::PeakPair> known = tw::ColumnPeaks(peaks, 0, seconds * Rate / Width, Width);
    const int rounds = bench::RoundsFor(quick, 9);
    const std::vector<bench::Side> sides{
        {"ours: the peak pyramid, every view",
         [&] {
             for (const View& v : views)
                 bench::Keep(tw::WaveformImage(peaks, v.first, v.last, 0, Width, Height, Colour).constBits());
         }},
        {"plain: min/max over the samples, every view",
         [&] {
             for (const View& v : views)
                 bench::Keep(tw::WaveformImage(PlainColumns(*clip, v), Height, Colour).constBits());
         }},
        {"limit: drawing known columns, every view",
         [&] {
             for (std::size_t i = 0; i < views.size(); ++i)
                 bench::Keep(tw::WaveformImage(known, Height, Colour).constBits());
         }},
    };
    const bench::Times times = bench::Alternate(rounds, sides);
    const std::vector<double> medians =
        bench::Report("Waveform redraw at 1920 x 64 px, " + std::to_string(views.size()) + " views of " +
                          std::to_string(static_cast<int>(seconds)) + " s of stereo 48 kHz sound",
                      rounds, sides, {bench::Role::Ours, bench::Role::Baseline, bench::Role::Limit}, times);
    std::printf("  one redraw: ours %.3f ms, plain %.3f ms, limit %.3f ms\n", medians[0] / views.size(),
                medians[1] / views.size(), medians[2] / views.size());
    // Each view alone, ours: the median of as many redraws as rounds.
    for (const View& v : views) {
        std::vector<double> ms;
        for (int i = 0; i < rounds; ++i) {
            const auto start = std::chrono::steady_clock::now();
            bench::Keep(tw::WaveformImage(peaks, v.first, v.last, 0, Width, Height, Colour).constBits());
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        }
        std::printf("  view %.2f..%.2f s: ours %.3f ms\n", v.first, v.last, bench::SpreadOf(ms).median);
    }
    if (differing > 0) {
        std::fprintf(stderr, "%d views drawn differently\n", differing);
        return 1;
    }
    return 0;
}
