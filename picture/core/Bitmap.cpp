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

// stride × height, or a size past the limit when that would overflow; the
// allocation refuses it like any other size past the limit.
std::int64_t RowsBytes(std::int64_t stride, std::int64_t height)
{
    return height != 0 && stride > PixelMemoryLimit() / height ? PixelMemoryLimit() + 1
                                                               : stride * height;
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
    mallopt(M_MMAP_THRESHOLD, int(kOwnMappingSize));
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

std::vector<std::uint8_t> AllocatePixelMemory(std::int64_t bytes, std::uint8_t fill)
{
    if (bytes < 0 || bytes > PixelMemoryLimit())
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
    orvelle::AllocationsChecked([&] { orvelle::ReadBmp(file, *this); });
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
        bits_ = {};
        tail_ = {};
        storedBytes_ = 0;
        storedRows_ = 0;
        return;
    }
    if (bits != 24)
        throw EInvalidGraphicOperation(orvelle::BitmapConversionText());

    // Colours are kept: every row goes through the colour table or masks.
    // Only the stored rows are converted; the shared row is converted once
    // and stays shared, so the rows keep their order in memory then.
    const RowSpan shared = SharedRows();
    const bool sharing = shared.first < shared.last;
    orvelle::DibFormat converted{format_.width, format_.height, sharing && format_.bottomUp,
                                 24, 0, 0, 0};
    const std::int64_t stride = orvelle::RowStride(converted.width, 24);
    orvelle::PixelRows rows;
    rows.memory = orvelle::PixelMemory::ForOverwrite(orvelle::RowsBytes(stride, converted.height));
    for (int y = 0; y < format_.height; ++y) {
        if (y >= shared.first && y < shared.last)
            continue;
        const std::int64_t at = converted.bottomUp ? format_.height - 1 - y : y;
        orvelle::ConvertRowToBgr(*this, y, rows.memory.data() + stride * at);
    }
    rows.storedBytes = stride * storedRows_;
    if (sharing) {
        // The first rows past the stored ones, in storage order, are the
        // shared rows in their turn.
        rows.tailRows = std::min(SharedRowCycle(), shared.last - shared.first);
        rows.tail = orvelle::PixelMemory::ForOverwrite(
            orvelle::RowsBytes(stride, rows.tailRows));
        for (int i = 0; i < rows.tailRows; ++i) {
            const int y = format_.bottomUp ? format_.height - 1 - (storedRows_ + i)
                                           : storedRows_ + i;
            orvelle::ConvertRowToBgr(*this, y, rows.tail.data() + stride * i);
        }
    }
    Assign(converted, {}, std::move(rows));
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
    orvelle::PixelMemory memory;
    if (width > 0 && height > 0) {
        memory = orvelle::PixelMemory::Filled(orvelle::RowsBytes(stride, height), 255);
        // The old pixels stay at the top-left corner.
        const int rows = std::min(height, format_.height);
        const std::int64_t bytes =
            std::min(stride, (std::int64_t(std::min(width, format_.width)) * bits + 7) / 8);
        for (int y = 0; y < rows && bytes > 0; ++y)
            std::memcpy(memory.data() + stride * y, std::as_const(*this).PixelRow(y),
                        static_cast<std::size_t>(bytes));
    }
    format_.width = width;
    format_.height = height;
    format_.bottomUp = false;
    stride_ = stride;
    bits_ = std::move(memory);
    storedBytes_ = bits_.size();
    storedRows_ = bits_.empty() ? 0 : height;
    tail_ = {};
    tailRows_ = 1;
}

std::int64_t TBitmap::StorageIndex(int row) const noexcept
{
    return format_.bottomUp ? format_.height - 1 - row : row;
}

const std::uint8_t* TBitmap::SharedRow(std::int64_t at) const noexcept
{
    // Without a tail of its own, the first row past the stored ones is
    // zeros like every later one.
    if (tail_.empty())
        return bits_.data() + stride_ * storedRows_;
    return tail_.data() + stride_ * ((at - storedRows_) % tailRows_);
}

TBitmap::RowSpan TBitmap::SharedRows() const noexcept
{
    const int shared = format_.height - storedRows_;
    if (bits_.empty() || shared <= 0)
        return {};
    return format_.bottomUp ? RowSpan{0, shared} : RowSpan{storedRows_, format_.height};
}

int TBitmap::StoredRows() const noexcept
{
    return storedRows_;
}

std::int64_t TBitmap::StoredBytesOfRow(int row) const
{
    if (row < 0 || row >= format_.height || bits_.empty())
        throw EInvalidGraphicOperation(orvelle::ScanlineIndexText());
    const std::int64_t at = StorageIndex(row);
    if (at >= storedRows_)
        return tail_.empty() ? 0 : stride_;
    return std::clamp<std::int64_t>(storedBytes_ - stride_ * at, 0, stride_);
}

void TBitmap::StoreAllRows()
{
    if (storedRows_ >= format_.height)
        return;
    // Zeroed memory already reads 0 past the stored rows; a tail is copied
    // into every row it stood for.
    if (!tail_.empty()) {
        for (std::int64_t at = storedRows_; at < format_.height; ++at)
            std::memcpy(bits_.data() + stride_ * at, SharedRow(at),
                        static_cast<std::size_t>(stride_));
        tail_ = {};
    }
    storedRows_ = format_.height;
    storedBytes_ = bits_.size();
}

std::uint8_t* TBitmap::PixelRow(int row)
{
    const std::uint8_t* checked = std::as_const(*this).PixelRow(row);
    if (storedRows_ >= format_.height)
        return const_cast<std::uint8_t*>(checked);
    StoreAllRows();
    return bits_.data() + stride_ * StorageIndex(row);
}

const std::uint8_t* TBitmap::PixelRow(int row) const
{
    if (row < 0 || row >= format_.height || bits_.empty())
        throw EInvalidGraphicOperation(orvelle::ScanlineIndexText());
    const std::int64_t at = StorageIndex(row);
    return at < storedRows_ ? bits_.data() + stride_ * at : SharedRow(at);
}

void TBitmap::SetPalette(std::vector<BgrColour> palette)
{
    palette_ = std::move(palette);
}

void TBitmap::Assign(const orvelle::DibFormat& format, std::vector<BgrColour> palette,
                     std::vector<std::uint8_t> bits)
{
    const std::int64_t stride = orvelle::RowStride(format.width, format.bitsPerPixel);
    orvelle::PixelRows rows;
    rows.memory = orvelle::PixelMemory::Zeroed(orvelle::RowsBytes(stride, format.height));
    const std::int64_t given =
        std::min<std::int64_t>(rows.memory.size(), static_cast<std::int64_t>(bits.size()));
    if (given > 0)
        std::memcpy(rows.memory.data(), bits.data(), static_cast<std::size_t>(given));
    rows.storedBytes = rows.memory.size();
    Assign(format, std::move(palette), std::move(rows));
}

void TBitmap::Assign(const orvelle::DibFormat& format, std::vector<BgrColour> palette,
                     orvelle::PixelRows rows)
{
    format_ = format;
    stride_ = orvelle::RowStride(format.width, format.bitsPerPixel);
    palette_ = std::move(palette);
    bits_ = std::move(rows.memory);
    tail_ = std::move(rows.tail);
    tailRows_ = std::max(rows.tailRows, 1);
    storedBytes_ = std::clamp<std::int64_t>(rows.storedBytes, 0, bits_.size());
    // Rows the stored bytes reach into are the bitmap's own; the rest share.
    storedRows_ =
        stride_ > 0 ? int(std::min<std::int64_t>((storedBytes_ + stride_ - 1) / stride_,
                                                  format.height))
                    : 0;
    if (storedRows_ >= format.height)
        tail_ = {};
}

BgrColour TBitmap::PixelColour(int x, int y) const
{
    return orvelle::PixelReader(*this).At(PixelRow(y), x);
}
