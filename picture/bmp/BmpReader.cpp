#include "BmpReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "Bitmap.h"
#include "DibHeader.h"
#include "Errors.h"
#include "LittleEndian.h"
#include "RleDecoder.h"

namespace orvelle {

namespace {

constexpr qsizetype kFileHeaderSize = 14;
constexpr std::uint16_t kBmSignature = 0x4D42; // "BM" read little-endian

// A size product that would overflow is held here instead; the pixel
// memory allocator refuses it like any other size past its limit.
constexpr std::int64_t kSaturated = std::numeric_limits<std::int64_t>::max();

[[noreturn]] void RaiseInvalidBitmap()
{
    throw EInvalidGraphic(InvalidBitmapText());
}

// The combinations a device-independent bitmap may have; anything else is
// refused as an invalid bitmap, as the platform refuses it.
void CheckLayout(const DibInfoHeader& info)
{
    if (!DibFormatAllowed(info.bitCount, info.compression) || info.width <= 0 || info.height == 0)
        RaiseInvalidBitmap();
    // Run-length data always starts at the bottom row.
    if (IsRunLength(info.compression) && info.height < 0)
        RaiseInvalidBitmap();
}

std::int64_t SaturatingProduct(std::int64_t a, std::int64_t b)
{
    return (a != 0 && b > kSaturated / a) ? kSaturated : a * b;
}

} // namespace

void DecodeDib(const DibHeader& dib, QByteArrayView pixels, TBitmap& into)
{
    const DibInfoHeader& info = dib.info;
    CheckLayout(info);
    const bool rle = IsRunLength(info.compression);
    const std::int64_t rows = info.height < 0 ? -std::int64_t(info.height) : info.height;
    const std::int64_t fileStride = RowStride(info.width, info.bitCount);

    // Run-length images are expanded to 24 bits, the display's format. The
    // size is weighed before any pixel is looked at.
    const int bits = rle ? 24 : info.bitCount;
    const std::int64_t stride = RowStride(info.width, bits);
    const std::int64_t bytes = SaturatingProduct(stride, rows);

    // The pixel data runs to the header's image size, or covers the whole
    // image when that is 0, and never past the data there is.
    const std::int64_t claimed =
        info.imageSize != 0 ? std::int64_t(info.imageSize) : SaturatingProduct(fileStride, rows);
    const QByteArrayView data =
        pixels.first(qsizetype(std::min<std::int64_t>(claimed, pixels.size())));

    // Memory is committed only for what the data fills: when it covers every
    // row the rows are copied whole; otherwise the memory reads 0 until
    // written, and the rows past the data share one row of zeros.
    PixelRows memory;
    const bool whole = !rle && data.size() >= bytes;
    memory.memory = whole ? PixelMemory::ForOverwrite(bytes) : PixelMemory::Zeroed(bytes);

    DibFormat format{};
    format.width = info.width;
    format.height = int(rows); // fits: the memory for it was granted
    format.bottomUp = info.height > 0;
    format.bitsPerPixel = bits;
    if (rle) {
        const RleTarget target{memory.memory.data(), stride, info.width, int(rows)};
        const int reached =
            ExpandRle(info.compression == kBiRle8 ? RleEncoding::Rle8 : RleEncoding::Rle4, data,
                      dib.palette, target);
        memory.storedBytes = stride * reached;
        into.Assign(format, {}, std::move(memory));
        return;
    }
    const std::int64_t copied = std::min<std::int64_t>(data.size(), bytes);
    if (copied > 0)
        std::memcpy(memory.memory.data(), data.data(), std::size_t(copied));
    memory.storedBytes = copied;
    if (info.compression == kBiBitfields) {
        format.redMask = info.redMask;
        format.greenMask = info.greenMask;
        format.blueMask = info.blueMask;
    }
    into.Assign(format, dib.palette, std::move(memory));
}

void DecodeDib(QByteArrayView info, QByteArrayView pixels, TBitmap& into)
{
    DecodeDib(ParseDibHeader(info), pixels, into);
}

qsizetype DibInfoLength(QByteArrayView dib)
{
    return ParseDibHeader(dib).length;
}

void ReadBmp(QIODevice& file, TBitmap& into)
{
    if (!file.isSequential())
        file.seek(0);
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) {
        into.Assign(DibFormat{}, {}, PixelRows{});
        return;
    }
    if (bytes.size() < kFileHeaderSize)
        throw EReadError(StreamReadText());
    if (le::U16(bytes.constData()) != kBmSignature)
        RaiseInvalidBitmap();
    // The header's offset to the pixel data is not used: the pixels follow
    // the colour table directly.
    const QByteArrayView dib = QByteArrayView(bytes).sliced(kFileHeaderSize);
    const DibHeader header = ParseDibHeader(dib);
    DecodeDib(header, dib.sliced(header.length), into);
}

} // namespace orvelle
