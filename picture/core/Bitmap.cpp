#include "Bitmap.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "BmpReader.h"
#include "Canvas.h"
#include "Errors.h"
#include "PixelConversion.h"

namespace orvelle {

namespace {

// No picture this program reads needs more than PixelMemoryLimit(); a header
// that claims more is refused before anything is allocated.
constexpr std::int64_t kPixelMemoryLimit = PixelMemoryLimit();

int BitsOf(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf4bit:
        return 4;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf16bit:
        return 16;
    case TPixelFormat::pf24bit:
        return 24;
    case TPixelFormat::pf32bit:
        return 32;
    }
    return 24;
}

} // namespace

std::int64_t RowStride(std::int64_t width, int bitsPerPixel)
{
    return ((width * bitsPerPixel + 31) / 32) * 4;
}

void KeepFreedPixelMemory()
{
#if defined(__GLIBC__)
    // Blocks up to 32 MiB (a 3,000 × 3,000 picture) come from the heap, and
    // up to 256 MiB of freed heap stays with the process; larger ones are
    // still mapped and unmapped on their own.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

std::vector<std::uint8_t> AllocatePixelMemory(std::int64_t bytes, std::uint8_t fill)
{
    if (bytes < 0 || bytes > kPixelMemoryLimit)
        throw EOutOfResources(OutOfResourcesText());
    try {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(bytes), fill);
    } catch (const std::bad_alloc&) {
        throw EOutOfResources(OutOfResourcesText());
    }
}

} // namespace orvelle

using orvelle::BgrColour;

void TBitmap::LoadFromStream(QIODevice& file)
{
    orvelle::ReadBmp(file, *this);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect)
{
    canvas.StretchBitmap(rect, *this);
}

TPixelFormat TBitmap::PixelFormat() const
{
    switch (format_.bitsPerPixel) {
    case 1:
        return TPixelFormat::pf1bit;
    case 4:
        return TPixelFormat::pf4bit;
    case 8:
        return TPixelFormat::pf8bit;
    case 16:
        return TPixelFormat::pf16bit;
    case 32:
        return TPixelFormat::pf32bit;
    default:
        return TPixelFormat::pf24bit;
    }
}

void TBitmap::SetPixelFormat(TPixelFormat format)
{
    const int bits = orvelle::BitsOf(format);
    if (bits == format_.bitsPerPixel && format_.redMask == 0 && format_.greenMask == 0 &&
        format_.blueMask == 0)
        return;
    if (Empty()) {
        format_.bitsPerPixel = bits;
        format_.redMask = format_.greenMask = format_.blueMask = 0;
        stride_ = orvelle::RowStride(format_.width, bits);
        bits_.clear();
        if (format_.width > 0 && format_.height > 0)
            Resize(format_.width, format_.height);
        return;
    }
    if (bits != 24)
        throw EInvalidGraphicOperation(orvelle::BitmapConversionText());

    // Colours are kept: every row goes through the colour table or masks.
    orvelle::DibFormat converted{format_.width, format_.height, false, 24, 0, 0, 0};
    const std::int64_t stride = orvelle::RowStride(converted.width, 24);
    std::vector<std::uint8_t> memory = orvelle::AllocatePixelMemory(stride * converted.height);
    for (int y = 0; y < format_.height; ++y)
        orvelle::ConvertRowToBgr(*this, y, memory.data() + stride * y);
    Assign(converted, {}, std::move(memory));
}

void TBitmap::SetWidth(int width)
{
    SetSize(width, format_.height);
}

void TBitmap::SetHeight(int height)
{
    SetSize(format_.width, height);
}

void TBitmap::SetSize(int width, int height)
{
    if (width == format_.width && height == format_.height)
        return;
    Resize(std::max(width, 0), std::max(height, 0));
}

void TBitmap::Resize(int width, int height)
{
    const int bits = format_.bitsPerPixel;
    const std::int64_t stride = orvelle::RowStride(width, bits);
    std::vector<std::uint8_t> memory;
    if (width > 0 && height > 0) {
        memory = orvelle::AllocatePixelMemory(stride * height, 255);
        // The old pixels stay at the top-left corner.
        const int rows = std::min(height, format_.height);
        const std::int64_t bytes =
            std::min(stride, (std::int64_t(std::min(width, format_.width)) * bits + 7) / 8);
        for (int y = 0; y < rows && bytes > 0; ++y)
            std::memcpy(memory.data() + stride * y, PixelRow(y), static_cast<std::size_t>(bytes));
    }
    format_.width = width;
    format_.height = height;
    format_.bottomUp = false;
    stride_ = stride;
    bits_ = std::move(memory);
}

std::uint8_t* TBitmap::PixelRow(int row)
{
    return const_cast<std::uint8_t*>(std::as_const(*this).PixelRow(row));
}

const std::uint8_t* TBitmap::PixelRow(int row) const
{
    if (row < 0 || row >= format_.height || bits_.empty())
        throw EInvalidGraphicOperation(orvelle::ScanlineIndexText());
    const std::int64_t stored = format_.bottomUp ? format_.height - 1 - row : row;
    return bits_.data() + stride_ * stored;
}

void TBitmap::SetPalette(std::vector<BgrColour> palette)
{
    palette_ = std::move(palette);
}

void TBitmap::Assign(const orvelle::DibFormat& format, std::vector<BgrColour> palette,
                     std::vector<std::uint8_t> bits)
{
    format_ = format;
    stride_ = orvelle::RowStride(format.width, format.bitsPerPixel);
    palette_ = std::move(palette);
    bits_ = std::move(bits);
    bits_.resize(static_cast<std::size_t>(stride_ * format.height));
}

BgrColour TBitmap::PixelColour(int x, int y) const
{
    std::vector<std::uint8_t> row(static_cast<std::size_t>(format_.width) * 3);
    orvelle::ConvertRowToBgr(*this, y, row.data());
    const std::size_t at = static_cast<std::size_t>(x) * 3;
    return {row[at], row[at + 1], row[at + 2]};
}
