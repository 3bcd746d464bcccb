#include "SumPlane.h"

#include <stdexcept>

#include "Bitmap.h"
#include "PixelScanTargets.h"

namespace orvelle {

namespace {

ORVELLE_SCAN_CLONES
void SumRow(const std::uint8_t* bgr, std::uint16_t* sums, int width)
{
    for (int x = 0; x < width; ++x)
        sums[x] = std::uint16_t(bgr[3 * x] + bgr[3 * x + 1] + bgr[3 * x + 2]);
}

} // namespace

void SumPlane::Assign(const TBitmap& bitmap)
{
    if (bitmap.PixelFormat() != TPixelFormat::pf24bit)
        throw std::invalid_argument("SumPlane: the work bitmap must have 24 bits a pixel");
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const bool empty = width <= 0 || height <= 0;
    width_ = empty ? 0 : width;
    height_ = empty ? 0 : height;
    sums_.resize(std::size_t(width_) * std::size_t(height_));
    for (int y = 0; y < height_; ++y)
        SumRow(bitmap.PixelRow(y), sums_.data() + std::ptrdiff_t(y) * width_, width_);
}

} // namespace orvelle
