#pragma once

#include <cstddef>
#include <cstdint>

class TBitmap;

namespace orvelle {

// What the markers before the first scan say about an image.
struct JpegHeader {
    int width = 0;
    int height = 0;
    bool grayscale = false;
};

// Reads the markers up to the first scan. Raises EJPEG when the library
// gives up (data without a start-of-image marker, no image ...).
JpegHeader ReadJpegHeader(const std::uint8_t* data, std::size_t size);

// Decodes the whole image into bitmap, which must be empty: grayscale
// images as 8-bit pixels quantized to 236 gray levels with their palette,
// everything else as 24-bit blue-green-red rows. The bitmap is made once the
// output size is known; when decoding fails after that, it keeps the rows
// written so far. Raises EJPEG for the library's errors and
// EOutOfResources when the bitmap cannot be had.
void DecodeJpeg(const std::uint8_t* data, std::size_t size, TBitmap& bitmap);

// Four-component rows (C, M, Y, K per pixel) as blue, green, red. Adobe
// files store the channels inverted, so there red is C·K/255; otherwise
// red is (255 − C)(255 − K)/255; rounded to nearest either way.
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool adobeInverted);

} // namespace orvelle
