#pragma once

#include <cstdint>

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

} // namespace orvelle
