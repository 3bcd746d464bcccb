#include "BmpReader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include <QtEndian>

#include "Bitmap.h"
#include "Errors.h"
#include "RleDecoder.h"

namespace orvelle {

namespace {

constexpr qsizetype kFileHeaderSize = 14;
constexpr std::uint16_t kBmSignature = 0x4D42; // "BM" read little-endian
constexpr std::uint32_t kCoreHeaderSize = 12;  // OS/2 1.x
constexpr std::uint32_t kInfoHeaderSize = 40;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;

// A size product that would overflow is held here instead; the pixel
// memory allocator refuses it like any other size past its limit.
constexpr std::int64_t kSaturated = std::numeric_limits<std::int64_t>::max();

[[noreturn]] void RaiseInvalidBitmap()
{
    throw EInvalidGraphic(InvalidBitmapText());
}

[[noreturn]] void RaiseReadError()
{
    throw EReadError(StreamReadText());
}

std::uint16_t U16(const char* p)
{
    return qFromLittleEndian<std::uint16_t>(p);
}

std::uint32_t U32(const char* p)
{
    return qFromLittleEndian<std::uint32_t>(p);
}

std::int32_t I32(const char* p)
{
    return qFromLittleEndian<std::int32_t>(p);
}

// The fields of the info header this reader uses, every header kind
// brought to the 40-byte layout.
struct InfoHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
};

// The leading part of a DIB: info header, colour masks and colour table.
struct DibHeader {
    InfoHeader info;
    std::vector<BgrColour> palette;
    qsizetype length = 0; // bytes the three take
};

bool HasMasksInHeader(std::uint32_t headerSize)
{
    // The V2, V3, V4 and V5 headers extend the 40-byte one with the masks.
    return headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124;
}

bool TakesMasks(const InfoHeader& info)
{
    return info.compression == kBiBitfields && (info.bitCount == 16 || info.bitCount == 32);
}

// Reads the info header and what belongs to it. Every length is checked
// against the data before anything is copied, so a header that claims
// gigabytes fails as a short read.
DibHeader ParseDibHeader(QByteArrayView data)
{
    DibHeader dib;
    InfoHeader& info = dib.info;
    if (data.size() < 4)
        RaiseReadError();
    const std::uint32_t headerSize = U32(data.data());
    const bool core = headerSize == kCoreHeaderSize;
    if (core) {
        if (data.size() < qsizetype(kCoreHeaderSize))
            RaiseReadError();
        info.width = U16(data.data() + 4);
        info.height = U16(data.data() + 6);
        info.planes = U16(data.data() + 8);
        info.bitCount = U16(data.data() + 10);
        dib.length = kCoreHeaderSize;
    } else {
        // Shorter headers leave the later fields 0; longer ones carry
        // fields this reader has no use for.
        const qsizetype length = std::max<qsizetype>(4, qsizetype(headerSize));
        if (std::int64_t(headerSize) > std::int64_t(data.size()))
            RaiseReadError();
        char header[kInfoHeaderSize] = {};
        std::memcpy(header, data.data(), std::size_t(std::min<qsizetype>(length, kInfoHeaderSize)));
        info.width = I32(header + 4);
        info.height = I32(header + 8);
        info.planes = U16(header + 12);
        info.bitCount = U16(header + 14);
        info.compression = U32(header + 16);
        info.imageSize = U32(header + 20);
        info.coloursUsed = U32(header + 32);
        dib.length = length;
    }
    if (info.planes != 1)
        RaiseInvalidBitmap();

    if (TakesMasks(info)) {
        const char* masks = nullptr;
        if (headerSize == kInfoHeaderSize) {
            // Three masks follow the plain header.
            if (data.size() - dib.length < 12)
                RaiseReadError();
            masks = data.data() + dib.length;
            dib.length += 12;
        } else if (HasMasksInHeader(headerSize)) {
            masks = data.data() + kInfoHeaderSize;
        }
        if (masks) {
            info.redMask = U32(masks);
            info.greenMask = U32(masks + 4);
            info.blueMask = U32(masks + 8);
        }
    }

    std::int64_t colours = info.coloursUsed;
    if (colours == 0) {
        switch (info.bitCount) {
        case 1:
            colours = 2;
            break;
        case 4:
            colours = 16;
            break;
        case 8:
            colours = 256;
            break;
        default:
            break;
        }
    }
    const int entrySize = core ? 3 : 4;
    if (colours * entrySize > std::int64_t(data.size() - dib.length))
        RaiseReadError();
    // A table may be longer than any index can reach; the rest is skipped.
    const qsizetype kept = qsizetype(std::min<std::int64_t>(colours, 256));
    dib.palette.reserve(std::size_t(kept));
    const char* entry = data.data() + dib.length;
    for (qsizetype i = 0; i < kept; ++i, entry += entrySize) {
        dib.palette.push_back({static_cast<std::uint8_t>(entry[0]),
                               static_cast<std::uint8_t>(entry[1]),
                               static_cast<std::uint8_t>(entry[2])});
    }
    dib.length += qsizetype(colours * entrySize);
    return dib;
}

bool ValidBitCount(int bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// The combinations a device-independent bitmap may have; anything else is
// refused as an invalid bitmap, as the platform refuses it.
void CheckLayout(const InfoHeader& info)
{
    if (!ValidBitCount(info.bitCount) || info.width <= 0 || info.height == 0)
        RaiseInvalidBitmap();
    switch (info.compression) {
    case kBiRgb:
        return;
    case kBiBitfields:
        if (info.bitCount != 16 && info.bitCount != 32)
            RaiseInvalidBitmap();
        return;
    case kBiRle8:
    case kBiRle4:
        // Run-length data always starts at the bottom row.
        if (info.bitCount != (info.compression == kBiRle8 ? 8 : 4) || info.height < 0)
            RaiseInvalidBitmap();
        return;
    default:
        RaiseInvalidBitmap();
    }
}

std::int64_t SaturatingProduct(std::int64_t a, std::int64_t b)
{
    return (a != 0 && b > kSaturated / a) ? kSaturated : a * b;
}

void DecodeParsed(const DibHeader& dib, QByteArrayView pixels, TBitmap& into)
{
    const InfoHeader& info = dib.info;
    CheckLayout(info);
    const bool rle = info.compression == kBiRle8 || info.compression == kBiRle4;
    const std::int64_t rows = info.height < 0 ? -std::int64_t(info.height) : info.height;
    const std::int64_t fileStride = RowStride(info.width, info.bitCount);

    // Run-length images are expanded to 24 bits, the display's format. The
    // memory is had (or refused) before any pixel is looked at.
    const int bits = rle ? 24 : info.bitCount;
    const std::int64_t stride = RowStride(info.width, bits);
    std::vector<std::uint8_t> memory = AllocatePixelMemory(SaturatingProduct(stride, rows));

    // The pixel data runs to the header's image size, or covers the whole
    // image when that is 0, and never past the data there is.
    const std::int64_t claimed =
        info.imageSize != 0 ? std::int64_t(info.imageSize) : SaturatingProduct(fileStride, rows);
    const QByteArrayView data =
        pixels.first(qsizetype(std::min<std::int64_t>(claimed, pixels.size())));

    DibFormat format{};
    format.width = info.width;
    format.height = int(rows); // fits: the memory for it was granted
    format.bottomUp = info.height > 0;
    format.bitsPerPixel = bits;
    if (rle) {
        const RleTarget target{memory.data(), stride, info.width, int(rows)};
        ExpandRle(info.compression == kBiRle8 ? RleEncoding::Rle8 : RleEncoding::Rle4, data,
                  dib.palette, target);
        into.Assign(format, {}, std::move(memory));
        return;
    }
    if (!data.isEmpty())
        std::memcpy(memory.data(), data.data(),
                    std::size_t(std::min<std::int64_t>(data.size(), std::int64_t(memory.size()))));
    if (info.compression == kBiBitfields) {
        format.redMask = info.redMask;
        format.greenMask = info.greenMask;
        format.blueMask = info.blueMask;
    }
    into.Assign(format, dib.palette, std::move(memory));
}

} // namespace

void DecodeDib(QByteArrayView info, QByteArrayView pixels, TBitmap& into)
{
    DecodeParsed(ParseDibHeader(info), pixels, into);
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
        into.Assign(DibFormat{}, {}, {});
        return;
    }
    if (bytes.size() < kFileHeaderSize)
        RaiseReadError();
    if (U16(bytes.constData()) != kBmSignature)
        RaiseInvalidBitmap();
    // The header's offset to the pixel data is not used: the pixels follow
    // the colour table directly.
    const QByteArrayView dib = QByteArrayView(bytes).sliced(kFileHeaderSize);
    const DibHeader header = ParseDibHeader(dib);
    DecodeParsed(header, dib.sliced(header.length), into);
}

} // namespace orvelle
