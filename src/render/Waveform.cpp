#include "render/Waveform.h"

#include <algorithm>
#include <cmath>

namespace tw {

QImage WaveformImage(const std::vector<PeakPair>& columns, int height, QColor colour) {
    const int width = static_cast<int>(columns.size());
    QImage image(std::max(width, 1), std::max(height, 1), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (width <= 0 || height <= 0) return image;
    const QRgb pixel = colour.rgba();
    const QRgb premultiplied = qPremultiply(pixel);
    const double middle = (height - 1) / 2.0;
    auto rowOf = [&](float v) {
        return std::clamp(static_cast<int>(std::lround(middle - v * middle)), 0, height - 1);
    };
    const qsizetype stride = image.bytesPerLine() / 4;
    auto* bits = reinterpret_cast<QRgb*>(image.bits());
    for (int x = 0; x < width; ++x) {
        const PeakPair& p = columns[static_cast<std::size_t>(x)];
        if (!p.any) continue;
        const int top = rowOf(p.high), bottom = rowOf(p.low);
        for (int y = top; y <= bottom; ++y) bits[y * stride + x] = premultiplied;
    }
    return image;
}

QImage WaveformImage(const PeakPyramid& peaks, double first, double last, double offset, int width,
                     int height, QColor colour) {
    const int rate = peaks.Clip().sampleRate;
    const double span = std::max(last - first, 1e-9);
    const double perColumn = span * rate / std::max(width, 1);
    return WaveformImage(ColumnPeaks(peaks, (first - offset) * rate, perColumn, width), height, colour);
}

}  // namespace tw
