#include "SumPlane.h"

#include <stdexcept>

#include "Bitmap.h"
#include "Canvas.h"
#include "PixelConversion.h"
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

SumPlane SumPlane::AtOwnSize(const TBitmap& source)
{
    SumPlane to;
    const int width = source.Width();
    const int height = source.Height();
    if (width <= 0 || height <= 0)
        return to;
    to.width_ = width;
    to.height_ = height;
    to.sums_.resize(std::size_t(width) * std::size_t(height));
    const bool straight = source.Format().bitsPerPixel == 24;
    std::vector<std::uint8_t> line(straight ? 0 : std::size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* bgr = source.PixelRow(y);
        if (!straight) {
            ConvertRowToBgr(source, y, line.data());
            bgr = line.data();
        }
        SumRow(bgr, to.sums_.data() + std::ptrdiff_t(y) * width, width);
    }
    return to;
}

SumPlane SumPlane::Resampled(int width, int height) const
{
    SumPlane to;
    if (width <= 0 || height <= 0 || width_ <= 0 || height_ <= 0)
        return to;
    to.width_ = width;
    to.height_ = height;
    to.sums_.resize(std::size_t(width) * std::size_t(height));
    std::vector<int> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        columns[std::size_t(x)] = NearestSource(x, width_, width);
    for (int y = 0; y < height; ++y) {
        const std::uint16_t* from = Row(NearestSource(y, height_, height));
        std::uint16_t* out = to.sums_.data() + std::ptrdiff_t(y) * width;
        for (int x = 0; x < width; ++x)
            out[x] = from[columns[std::size_t(x)]];
    }
    return to;
}

} // namespace orvelle
