#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Graphic.h"
#include "PixelTypes.h"

namespace orvelle {

// Bytes in one row of pixels, padded to a multiple of 4.
std::int64_t RowStride(std::int64_t width, int bitsPerPixel);

// Pixel memory with every byte set to fill. Sizes beyond what a picture may
// sensibly take, and allocations that fail, raise EOutOfResources instead of
// ending the program.
std::vector<std::uint8_t> AllocatePixelMemory(std::int64_t bytes, std::uint8_t fill = 0);

// Asks the C library, where it can be asked, to keep freed pixel memory for
// the next picture instead of returning it to the system at once. Called
// once at start by the programs; without it every picture's buffers are
// fresh pages the system clears first, which took a third of a fuzzy check
// of a folder of photographs.
void KeepFreedPixelMemory();

// The most pixel memory one bitmap may take; AllocatePixelMemory refuses more.
constexpr std::int64_t PixelMemoryLimit()
{
    return std::int64_t(1) << 31;
}

} // namespace orvelle

// A device-independent bitmap: BMP files as they are stored, and the 24-bit
// work bitmaps the comparison draws into. New pixel memory (a work bitmap's)
// is stored top row first, so it can also be painted on through a QImage.
class TBitmap final : public TGraphic {
public:
    TBitmap() = default;
    TBitmap(TBitmap&&) = default;
    TBitmap& operator=(TBitmap&&) = default;

    const char* ClassName() const noexcept override { return "TBitmap"; }
    void LoadFromStream(QIODevice& file) override;
    int Width() const override { return format_.width; }
    int Height() const override { return format_.height; }
    bool Empty() const override { return format_.width == 0 || format_.height == 0; }
    void Draw(TCanvas& canvas, const TRect& rect) override;

    // The pixel format changes only the layout while the bitmap is empty;
    // a bitmap with pixels is converted, keeping its colours.
    void SetPixelFormat(TPixelFormat format);
    TPixelFormat PixelFormat() const;
    // A size change makes new pixel memory, keeps the old pixels at the
    // top-left corner and fills the rest with white.
    void SetWidth(int width);
    void SetHeight(int height);
    void SetSize(int width, int height);

    // The row numbered from the top, in the bitmap's own pixel format;
    // EInvalidGraphicOperation outside 0 … height − 1.
    std::uint8_t* PixelRow(int row);
    const std::uint8_t* PixelRow(int row) const;

    const orvelle::DibFormat& Format() const noexcept { return format_; }
    std::int64_t Stride() const noexcept { return stride_; }
    const std::vector<orvelle::BgrColour>& Palette() const noexcept { return palette_; }
    void SetPalette(std::vector<orvelle::BgrColour> palette);

    // Takes over pixel memory laid out as format says (RowStride bytes a
    // row, format.height rows, in the format's row order).
    void Assign(const orvelle::DibFormat& format, std::vector<orvelle::BgrColour> palette,
                std::vector<std::uint8_t> bits);

    // The colour of one pixel (x, y from the top-left), through the colour
    // table or the channel masks; for tests and tools, not for bulk work.
    orvelle::BgrColour PixelColour(int x, int y) const;

private:
    void Resize(int width, int height);

    orvelle::DibFormat format_{};
    std::int64_t stride_ = 0;
    std::vector<orvelle::BgrColour> palette_;
    std::vector<std::uint8_t> bits_;
};
