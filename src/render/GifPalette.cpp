#include "render/GifPalette.h"

#include <algorithm>
#include <limits>

namespace tw {

namespace {

constexpr int Bits = 6;
constexpr int Levels = 1 << Bits;

int BinOf(QRgb c) { return ((qRed(c) >> 2) << 12) | ((qGreen(c) >> 2) << 6) | (qBlue(c) >> 2); }

struct Box {
    std::vector<int> bins;  // the occupied bins in it
    std::uint64_t weight = 0;
};

}  // namespace

void GifPalette::Count(const QImage& frame) {
    const QImage rgb =
        frame.format() == QImage::Format_RGB32 ? frame : frame.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            std::uint32_t& n = counts_[BinOf(line[x])];
            if (n < std::numeric_limits<std::uint32_t>::max()) ++n;
        }
    }
}

void GifPalette::Build() {
    std::vector<Box> boxes(1);
    for (int bin = 0; bin < int(counts_.size()); ++bin)
        if (counts_[bin]) {
            boxes[0].bins.push_back(bin);
            boxes[0].weight += counts_[bin];
        }
    const auto channel = [](int bin, int c) { return (bin >> (12 - 6 * c)) & (Levels - 1); };
    // Split the heaviest box that has more than one colour, across its widest
    // channel at the weighted median, until there are 256 boxes.
    while (boxes.size() < colours_.size()) {
        int pick = -1;
        for (int i = 0; i < int(boxes.size()); ++i)
            if (boxes[i].bins.size() > 1 && (pick < 0 || boxes[i].weight > boxes[pick].weight)) pick = i;
        if (pick < 0) break;
        Box& box = boxes[pick];
        int widest = 0, widestSpan = -1;
        for (int c = 0; c < 3; ++c) {
            int lo = Levels, hi = -1;
            for (int bin : box.bins) {
                lo = std::min(lo, channel(bin, c));
                hi = std::max(hi, channel(bin, c));
            }
            if (hi - lo > widestSpan) widestSpan = hi - lo, widest = c;
        }
        std::sort(box.bins.begin(), box.bins.end(),
                  [&](int a, int b) { return channel(a, widest) < channel(b, widest); });
        std::uint64_t half = 0;
        std::size_t cut = 0;
        while (cut + 1 < box.bins.size() && half + counts_[box.bins[cut]] <= box.weight / 2)
            half += counts_[box.bins[cut++]];
        cut = std::max<std::size_t>(cut, 1);
        Box upper;
        upper.bins.assign(box.bins.begin() + std::ptrdiff_t(cut), box.bins.end());
        box.bins.resize(cut);
        box.weight = 0;
        for (int bin : box.bins) box.weight += counts_[bin];
        for (int bin : upper.bins) upper.weight += counts_[bin];
        boxes.push_back(std::move(upper));
    }
    colours_.fill(0xff000000);
    used_ = 0;
    for (const Box& box : boxes) {
        if (box.bins.empty()) continue;
        double sum[3] = {0, 0, 0};
        for (int bin : box.bins)
            for (int c = 0; c < 3; ++c) sum[c] += double(counts_[bin]) * (channel(bin, c) * 4 + 2);
        int rgb[3];
        for (int c = 0; c < 3; ++c) rgb[c] = std::clamp(int(sum[c] / double(box.weight) + 0.5), 0, 255);
        colours_[used_++] = qRgb(rgb[0], rgb[1], rgb[2]);
    }
    if (used_ == 0) used_ = 1;
    nearest_.assign(counts_.size(), 0);
    for (int bin = 0; bin < int(counts_.size()); ++bin) {
        const int r = channel(bin, 0) * 4 + 2, g = channel(bin, 1) * 4 + 2, b = channel(bin, 2) * 4 + 2;
        int best = 0, bestDistance = std::numeric_limits<int>::max();
        for (int i = 0; i < used_; ++i) {
            const int dr = qRed(colours_[i]) - r, dg = qGreen(colours_[i]) - g, db = qBlue(colours_[i]) - b;
            const int d = dr * dr * 2 + dg * dg * 4 + db * db * 3;
            if (d < bestDistance) bestDistance = d, best = i;
        }
        nearest_[bin] = std::uint8_t(best);
    }
}

void GifPalette::Map(const QImage& frame, std::uint8_t* indices, int stride) const {
    for (int y = 0; y < frame.height(); ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        std::uint8_t* out = indices + std::ptrdiff_t(y) * stride;
        for (int x = 0; x < frame.width(); ++x) out[x] = nearest_[BinOf(line[x])];
    }
}

}  // namespace tw
