#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TBitmap;

namespace orvelle {

// A work bitmap reduced to what the fuzzy comparison looks at: each pixel's
// blue + green + red (0 … 765), row-major, top row first, width values a row.
// Two bytes a pixel instead of three, and no row padding, so the scan reads
// both pictures with one index. A picture's plane is made once and then read
// by every pair it takes part in.
class SumPlane {
public:
    SumPlane() = default;
    explicit SumPlane(const TBitmap& bitmap) { Assign(bitmap); }

    // Takes the sums of a 24-bit bitmap (std::invalid_argument for another
    // format). The memory is kept when a plane of the same size is assigned
    // again.
    void Assign(const TBitmap& bitmap);

    // The plane of the work bitmap that drawing source at its own size
    // gives: its pixels as they are (24 bits) or as the canvas converts them,
    // without the work bitmap itself.
    static SumPlane AtOwnSize(const TBitmap& source);

    // The plane a nearest-pixel draw at another size gives: target pixel
    // (x, y) takes the source pixel the canvas's rule names (NearestSource).
    SumPlane Resampled(int width, int height) const;

    int Width() const noexcept { return width_; }
    int Height() const noexcept { return height_; }
    const std::uint16_t* Data() const noexcept { return sums_.data(); }
    const std::uint16_t* Row(int y) const noexcept
    {
        return sums_.data() + std::ptrdiff_t(y) * width_;
    }
    int At(int x, int y) const noexcept { return Row(y)[x]; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint16_t> sums_;
};

} // namespace orvelle
