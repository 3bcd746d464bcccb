#pragma once

#include <cstdint>
#include <vector>

#include "PixelTypes.h"

namespace orvelle {

// Grayscale rows mapped to 236 evenly spaced gray levels (0 and 255 among
// them) with Floyd-Steinberg dithering, as the JPEG library's one-pass
// quantizer maps them: every other row right to left, the errors kept in
// sixteenths of a level and rounded to the nearest level step by adding a
// half and rounding down, the first pixel of a row taking no error from
// the side. Done here rather than in the library because here its state
// can be seen: once the rows that come in are all alike, a state that
// comes back after two rows means every later pair of rows comes out as
// the last pair did.
class GrayDither {
public:
    static constexpr int kLevels = 236;

    explicit GrayDither(int width);

    // The gray of every level.
    std::vector<BgrColour> Palette() const;

    // Maps one row of width samples to level indices; out may not be gray.
    void Row(const std::uint8_t* gray, std::uint8_t* out) noexcept;

    // The errors carried to the next row and the direction it goes in.
    bool SameStateAs(const GrayDither& other) const noexcept;

private:
    int width_;
    // Errors carried to the next row, one a column and one more at each end.
    std::vector<std::int16_t> errors_;
    bool rightToLeft_ = false;
    std::uint8_t levelOf_[256] = {};
    std::uint8_t valueOf_[kLevels] = {};
};

} // namespace orvelle
