#pragma once

#include <cstdint>
#include <vector>

#include "PixelTypes.h"

class TBitmap;

namespace orvelle {

// Writes row y (numbered from the top) of a bitmap of any pixel format as
// width blue-green-red triples: palette images through their colour table
// (an index past its end is black), 16- and 32-bit images through their
// channel masks.
void ConvertRowToBgr(const TBitmap& bitmap, int y, std::uint8_t* out);

// A channel value of max + 1 levels widened to 0 … 255, rounded to nearest:
// 5-bit 1 → 8, 3 → 25, 31 → 255.
std::uint8_t WidenChannel(std::uint32_t value, std::uint32_t max);

// One pixel at a time, by the same rules as ConvertRowToBgr: for drawing
// that looks at a few pixels of a row far larger than what it draws.
class PixelReader {
public:
    explicit PixelReader(const TBitmap& bitmap);

    // Pixel x of a row as PixelRow gives it.
    BgrColour At(const std::uint8_t* row, int x) const;

private:
    struct Channel {
        std::uint32_t mask = 0;
        int shift = 0;
        std::uint32_t max = 0;
    };
    static Channel ChannelOf(std::uint32_t mask);
    static std::uint8_t Widen(const Channel& c, std::uint32_t pixel);

    int bits_ = 24;
    bool plain32_ = false;
    Channel red_, green_, blue_;
    const std::vector<BgrColour>* palette_ = nullptr;
};

} // namespace orvelle
