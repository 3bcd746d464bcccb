#pragma once

#include <cstdint>
#include <vector>

#include <QByteArrayView>

#include "Bitmap.h"

namespace orvelle {

// The compressions a device-independent bitmap may name.
inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiRle4 = 2;
inline constexpr std::uint32_t kBiBitfields = 3;

// The OS/2 1.x core header and the plain info header.
inline constexpr std::uint32_t kCoreHeaderSize = 12;
inline constexpr std::uint32_t kInfoHeaderSize = 40;

// The fields of the info header the decoders use, every header kind brought
// to the 40-byte layout.
struct DibInfoHeader {
    std::uint32_t headerSize = 0; // as stored: 12 for a core header
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
    DibInfoHeader info;
    std::vector<BgrColour> palette; // at most 256 entries, the rest skipped
    qsizetype length = 0;           // bytes the three take
};

// Whether the plane count must be 1. Icons rewrite it on loading, so theirs
// is never looked at.
enum class DibPlanes { MustBeOne, Ignored };

// Reads the info header and what belongs to it. Every length is checked
// against the data before anything is copied, so a header that claims
// gigabytes fails as a short read: EReadError for data that ends too soon,
// EInvalidGraphic (the bitmap text) for planes other than 1.
DibHeader ParseDibHeader(QByteArrayView data, DibPlanes planes = DibPlanes::MustBeOne);

// The bit counts and compressions a DIB may combine, as the platform
// accepts them: 1, 4, 8, 16, 24 or 32 bits uncompressed, bit fields with 16
// or 32 bits, run-length data of 8 bits (RLE8) or 4 bits (RLE4).
bool DibFormatAllowed(int bitCount, std::uint32_t compression);

bool IsRunLength(std::uint32_t compression);

} // namespace orvelle
