#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Graphic.h"
#include "PixelMemory.h"
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

// A bitmap's pixel memory as a decoder leaves it: memory for every row in
// storage order, of which the first storedBytes hold what the decoder wrote.
// Rows that start past them read as the tailRows rows of tail, taking them
// in turn; without a tail they read as memory has them, which must then be
// Zeroed (and the rest of a row the stored bytes end in reads 0 too).
struct PixelRows {
    PixelMemory memory;
    std::int64_t storedBytes = 0;
    PixelMemory tail;
    int tailRows = 1;
};

} // namespace orvelle

// A device-independent bitmap: BMP files as they are stored, and the 24-bit
// work bitmaps the comparison draws into. New pixel memory (a work bitmap's)
// is stored top row first, so it can also be painted on through a QImage.
//
// A decoded picture holds memory only for the rows its file filled: the
// rows past them are one shared row (zeros, or what a decoder left there),
// which every one of them reads as. Drawing asks which rows those are and
// looks at the shared one once; writing through PixelRow first gives every
// row memory of its own.
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
    // EInvalidGraphicOperation outside 0 … height − 1. The rows past the
    // stored ones all give the one shared row.
    std::uint8_t* PixelRow(int row);
    const std::uint8_t* PixelRow(int row) const;

    // The rows, numbered from the top, that read as the shared rows: first
    // == last when every row is stored. They take the shared rows in turn,
    // SharedRowCycle() of them (one, mostly), so that many of them in a row
    // are all the different pixels there are among them.
    struct RowSpan {
        int first = 0;
        int last = 0; // exclusive
    };
    RowSpan SharedRows() const noexcept;
    int SharedRowCycle() const noexcept { return tail_.empty() ? 1 : tailRows_; }
    // How many bytes at the start of the row were stored; the rest of it
    // reads 0 (for a shared row: how many of its bytes are not simply 0).
    std::int64_t StoredBytesOfRow(int row) const;
    // The rows with memory of their own, the shared row not counted.
    int StoredRows() const noexcept;

    const orvelle::DibFormat& Format() const noexcept { return format_; }
    std::int64_t Stride() const noexcept { return stride_; }
    const std::vector<orvelle::BgrColour>& Palette() const noexcept { return palette_; }
    void SetPalette(std::vector<orvelle::BgrColour> palette);

    // Takes over pixel memory laid out as format says (RowStride bytes a
    // row, format.height rows, in the format's row order): every row stored,
    // or only some (PixelRows).
    void Assign(const orvelle::DibFormat& format, std::vector<orvelle::BgrColour> palette,
                std::vector<std::uint8_t> bits);
    void Assign(const orvelle::DibFormat& format, std::vector<orvelle::BgrColour> palette,
                orvelle::PixelRows rows);

    // The colour of one pixel (x, y from the top-left), through the colour
    // table or the channel masks; for tests and tools, not for bulk work.
    orvelle::BgrColour PixelColour(int x, int y) const;

private:
    void Resize(int width, int height);
    // Gives the shared rows memory of their own, before anything writes.
    void StoreAllRows();
    // Row numbered in storage order.
    std::int64_t StorageIndex(int row) const noexcept;
    // The shared row a row past the stored ones (in storage order) reads as.
    const std::uint8_t* SharedRow(std::int64_t at) const noexcept;

    orvelle::DibFormat format_{};
    std::int64_t stride_ = 0;
    std::vector<orvelle::BgrColour> palette_;
    orvelle::PixelMemory bits_;
    // Rows in storage order from storedRows_ on read as SharedRow().
    std::int64_t storedBytes_ = 0;
    int storedRows_ = 0;
    orvelle::PixelMemory tail_;
    int tailRows_ = 1;
};
