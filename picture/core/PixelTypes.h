#pragma once

// The plain pixel types the bitmap and the canvas both speak, so that neither
// header needs the other's.

#include <cstdint>

namespace orvelle {

// One colour-table entry, in the byte order of the pixel rows.
struct BgrColour {
    std::uint8_t blue = 0;
    std::uint8_t green = 0;
    std::uint8_t red = 0;
    friend bool operator==(const BgrColour&, const BgrColour&) = default;
};

// The layout of a bitmap's pixel memory.
struct DibFormat {
    int width = 0;
    int height = 0;        // always positive
    bool bottomUp = false; // rows stored bottom row first
    int bitsPerPixel = 24; // 1, 4, 8, 16, 24 or 32
    // Channel masks of 16- and 32-bit pixels; all zero means the plain
    // layouts (5-5-5 for 16 bits, blue-green-red-unused for 32 bits).
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
};

// Rows of blue-green-red pixels; stride may be negative (rows stored bottom
// row first), bits pointing at the top row.
struct BgrSurface {
    std::uint8_t* bits = nullptr;
    std::int64_t stride = 0;
    int width = 0;
    int height = 0;
};

} // namespace orvelle

enum class TPixelFormat { pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit };
