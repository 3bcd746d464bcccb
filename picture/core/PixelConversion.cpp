#include "PixelConversion.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "Bitmap.h"

namespace orvelle {

std::uint8_t WidenChannel(std::uint32_t value, std::uint32_t max)
{
    if (max == 0)
        return 0;
    if (max == 255)
        return static_cast<std::uint8_t>(value);
    const std::uint64_t v = std::min<std::uint64_t>(value, max);
    return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
}

namespace {

// One channel of a masked pixel: where its bits sit and how many levels
// they hold.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;

    explicit Channel(std::uint32_t m) : mask(m)
    {
        if (m != 0) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    std::uint8_t Of(std::uint32_t pixel) const
    {
        return WidenChannel((pixel & mask) >> shift, max);
    }
};

void ConvertIndexed(const TBitmap& bitmap, const std::uint8_t* row, std::uint8_t* out)
{
    const int bits = bitmap.Format().bitsPerPixel;
    const auto& palette = bitmap.Palette();
    const int perByte = 8 / bits;
    const unsigned mask = (1u << bits) - 1;
    for (int x = 0; x < bitmap.Width(); ++x) {
        const int shift = (perByte - 1 - x % perByte) * bits;
        const unsigned index = (row[x / perByte] >> shift) & mask;
        const BgrColour c = index < palette.size() ? palette[index] : BgrColour{};
        out[0] = c.blue;
        out[1] = c.green;
        out[2] = c.red;
        out += 3;
    }
}

void ConvertMasked(const TBitmap& bitmap, const std::uint8_t* row, std::uint8_t* out)
{
    const DibFormat& f = bitmap.Format();
    const bool plain = f.redMask == 0 && f.greenMask == 0 && f.blueMask == 0;
    if (f.bitsPerPixel == 32 && plain) {
        for (int x = 0; x < f.width; ++x, row += 4, out += 3) {
            out[0] = row[0];
            out[1] = row[1];
            out[2] = row[2];
        }
        return;
    }
    const Channel red(plain ? 0x7C00u : f.redMask);
    const Channel green(plain ? 0x03E0u : f.greenMask);
    const Channel blue(plain ? 0x001Fu : f.blueMask);
    const int bytes = f.bitsPerPixel / 8;
    for (int x = 0; x < f.width; ++x, row += bytes, out += 3) {
        std::uint32_t pixel = row[0] | (std::uint32_t(row[1]) << 8);
        if (bytes == 4)
            pixel |= (std::uint32_t(row[2]) << 16) | (std::uint32_t(row[3]) << 24);
        out[0] = blue.Of(pixel);
        out[1] = green.Of(pixel);
        out[2] = red.Of(pixel);
    }
}

} // namespace

PixelReader::Channel PixelReader::ChannelOf(std::uint32_t mask)
{
    Channel c;
    c.mask = mask;
    if (mask != 0) {
        c.shift = std::countr_zero(mask);
        c.max = mask >> c.shift;
    }
    return c;
}

std::uint8_t PixelReader::Widen(const Channel& c, std::uint32_t pixel)
{
    return WidenChannel((pixel & c.mask) >> c.shift, c.max);
}

PixelReader::PixelReader(const TBitmap& bitmap)
    : bits_(bitmap.Format().bitsPerPixel), palette_(&bitmap.Palette())
{
    const DibFormat& f = bitmap.Format();
    const bool plain = f.redMask == 0 && f.greenMask == 0 && f.blueMask == 0;
    plain32_ = bits_ == 32 && plain;
    red_ = ChannelOf(plain ? 0x7C00u : f.redMask);
    green_ = ChannelOf(plain ? 0x03E0u : f.greenMask);
    blue_ = ChannelOf(plain ? 0x001Fu : f.blueMask);
}

BgrColour PixelReader::At(const std::uint8_t* row, int x) const
{
    switch (bits_) {
    case 1:
    case 4:
    case 8: {
        const int perByte = 8 / bits_;
        const int shift = (perByte - 1 - x % perByte) * bits_;
        const unsigned index = (row[x / perByte] >> shift) & ((1u << bits_) - 1);
        return index < palette_->size() ? (*palette_)[index] : BgrColour{};
    }
    case 24: {
        const std::uint8_t* p = row + std::int64_t(x) * 3;
        return {p[0], p[1], p[2]};
    }
    default: {
        const int bytes = bits_ / 8;
        const std::uint8_t* p = row + std::int64_t(x) * bytes;
        if (plain32_)
            return {p[0], p[1], p[2]};
        std::uint32_t pixel = p[0] | (std::uint32_t(p[1]) << 8);
        if (bytes == 4)
            pixel |= (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
        return {Widen(blue_, pixel), Widen(green_, pixel), Widen(red_, pixel)};
    }
    }
}

void ConvertRowToBgr(const TBitmap& bitmap, int y, std::uint8_t* out)
{
    const std::uint8_t* row = bitmap.PixelRow(y);
    switch (bitmap.Format().bitsPerPixel) {
    case 1:
    case 4:
    case 8:
        ConvertIndexed(bitmap, row, out);
        break;
    case 24:
        std::memcpy(out, row, static_cast<std::size_t>(bitmap.Width()) * 3);
        break;
    default:
        ConvertMasked(bitmap, row, out);
        break;
    }
}

} // namespace orvelle
