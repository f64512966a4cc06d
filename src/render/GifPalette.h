// The palette of an animated GIF, made from its frames: colours are counted
// at 6 bits a channel over sample frames, split by median cut into at most
// 256 boxes, and each box's weighted mean is a palette colour. A table from
// every 6-bit colour to its nearest palette entry then maps a frame's pixels
// in one lookup each.
#pragma once

#include <QImage>
#include <array>
#include <cstdint>
#include <vector>

namespace tw {

class GifPalette {
public:
    // Counts the colours of `frame` (any format; RGB32 is read directly).
    void Count(const QImage& frame);
    // Makes the palette from what was counted; a palette of black alone when
    // nothing was.
    void Build();

    // 0xAARRGGBB entries, 256 of them (unused ones black).
    const std::array<std::uint32_t, 256>& Colours() const { return colours_; }
    int Used() const { return used_; }
    // The palette index of each pixel of an RGB32 frame, `stride` bytes a row.
    void Map(const QImage& frame, std::uint8_t* indices, int stride) const;

private:
    std::vector<std::uint32_t> counts_ = std::vector<std::uint32_t>(1 << 18);
    std::array<std::uint32_t, 256> colours_{};
    std::vector<std::uint8_t> nearest_;
    int used_ = 0;
};

}  // namespace tw
