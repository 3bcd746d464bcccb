#include "GrayDither.h"

#include <algorithm>
#include <cstddef>

namespace orvelle {

namespace {

constexpr int kTop = GrayDither::kLevels - 1;

// Level j's gray: the levels spread evenly over 0 … 255, rounded.
int LevelValue(int j)
{
    return (j * 255 + kTop / 2) / kTop;
}

// The largest sample that maps to level j: halfway to the next level.
int LevelLimit(int j)
{
    return ((2 * j + 1) * 255 + kTop) / (2 * kTop);
}

} // namespace

GrayDither::GrayDither(int width)
    : width_(width), errors_(static_cast<std::size_t>(width) + 2, 0)
{
    for (int j = 0; j <= kTop; ++j)
        valueOf_[j] = static_cast<std::uint8_t>(LevelValue(j));
    int level = 0;
    for (int sample = 0; sample <= 255; ++sample) {
        while (sample > LevelLimit(level))
            ++level;
        levelOf_[sample] = static_cast<std::uint8_t>(level);
    }
}

std::vector<BgrColour> GrayDither::Palette() const
{
    std::vector<BgrColour> palette;
    palette.reserve(kLevels);
    for (std::uint8_t v : valueOf_)
        palette.push_back({v, v, v});
    return palette;
}

void GrayDither::Row(const std::uint8_t* gray, std::uint8_t* out) noexcept
{
    const int step = rightToLeft_ ? -1 : 1;
    int x = rightToLeft_ ? width_ - 1 : 0;
    // The error slot of the column before the current one, in the
    // direction of travel; the array has a spare slot at either end.
    std::int16_t* before = errors_.data() + (rightToLeft_ ? width_ + 1 : 0);
    // Sixteenths of an error: carried along the row, and owed to the three
    // pixels below the previous and the current column.
    int carried = 0;
    int belowPrevious = 0;
    int belowCurrent = 0;
    for (int n = 0; n < width_; ++n, x += step, before += step) {
        // Arithmetic shift: rounds down, so adding a half rounds to nearest.
        int value = (carried + before[step] + 8) >> 4;
        value = std::clamp(value + gray[x], 0, 255);
        const int level = levelOf_[value];
        out[x] = static_cast<std::uint8_t>(level);
        const int error = value - valueOf_[level];
        // 3/16 go below the previous column, 5/16 below this one, 1/16
        // below the next and 7/16 to the next pixel of the row.
        before[0] = static_cast<std::int16_t>(belowPrevious + 3 * error);
        belowPrevious = belowCurrent + 5 * error;
        belowCurrent = error;
        carried = 7 * error;
    }
    before[0] = static_cast<std::int16_t>(belowPrevious);
    rightToLeft_ = !rightToLeft_;
}

bool GrayDither::SameStateAs(const GrayDither& other) const noexcept
{
    return rightToLeft_ == other.rightToLeft_ && errors_ == other.errors_;
}

} // namespace orvelle
