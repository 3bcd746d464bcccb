#pragma once

#include <cstdint>
#include <vector>

#include <QByteArrayView>

#include "Bitmap.h"

namespace orvelle {

// The two run-length encodings of palette BMP files.
enum class RleEncoding { Rle8, Rle4 };

// Where an expansion draws: rows of width blue-green-red pixels, stride
// bytes apart, the bottom row first (run-length data always starts at the
// bottom row).
struct RleTarget {
    std::uint8_t* bits = nullptr;
    std::int64_t stride = 0;
    int width = 0;
    int height = 0;
};

// Expands run-length data onto a zero-filled target through the colour
// table (an index past its end is black). Pixels the codes skip keep their
// value. Damaged data ends the expansion quietly: nothing is written outside
// the target and nothing read past the data, and what was drawn stays.
// Answers how many rows from the bottom the codes reached: nothing above
// them was written. The work follows the codes, never the target's size.
int ExpandRle(RleEncoding encoding, QByteArrayView data, const std::vector<BgrColour>& palette,
              const RleTarget& target);

} // namespace orvelle
