// The speech track's waveform as a picture: one column per pixel, each a
// vertical run from the column's lowest to its highest sample, read from the
// peak pyramid so that no redraw touches the samples of more than a column's
// edges.
#pragma once

#include <QColor>
#include <QImage>
#include <vector>

#include "sound/Peaks.h"

namespace tw {

// The columns' peaks drawn into a `width` x `height` picture (transparent
// where there is no sound, a hairline at the middle where it is silent).
QImage WaveformImage(const std::vector<PeakPair>& columns, int height, QColor colour);

// The waveform of script times first..last across `width` columns, for a
// sound that starts at script time `offset`.
QImage WaveformImage(const PeakPyramid& peaks, double first, double last, double offset, int width,
                     int height, QColor colour);

}  // namespace tw
