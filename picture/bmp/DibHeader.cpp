#include "DibHeader.h"

#include <algorithm>
#include <cstring>

#include "Errors.h"
#include "LittleEndian.h"

namespace orvelle {

namespace {

bool HasMasksInHeader(std::uint32_t headerSize)
{
    // The V2, V3, V4 and V5 headers extend the 40-byte one with the masks.
    return headerSize == 52 || headerSize == 56 || headerSize == 108 || headerSize == 124;
}

bool TakesMasks(const DibInfoHeader& info)
{
    return info.compression == kBiBitfields && (info.bitCount == 16 || info.bitCount == 32);
}

} // namespace

DibHeader ParseDibHeader(QByteArrayView data, DibPlanes planes)
{
    DibHeader dib;
    DibInfoHeader& info = dib.info;
    if (data.size() < 4)
        throw EReadError(StreamReadText());
    const std::uint32_t headerSize = le::U32(data.data());
    info.headerSize = headerSize;
    const bool core = headerSize == kCoreHeaderSize;
    if (core) {
        if (data.size() < qsizetype(kCoreHeaderSize))
            throw EReadError(StreamReadText());
        info.width = le::U16(data.data() + 4);
        info.height = le::U16(data.data() + 6);
        info.planes = le::U16(data.data() + 8);
        info.bitCount = le::U16(data.data() + 10);
        dib.length = kCoreHeaderSize;
    } else {
        // Shorter headers leave the later fields 0; longer ones carry
        // fields the decoders have no use for.
        const qsizetype length = std::max<qsizetype>(4, qsizetype(headerSize));
        if (std::int64_t(headerSize) > std::int64_t(data.size()))
            throw EReadError(StreamReadText());
        char header[kInfoHeaderSize] = {};
        std::memcpy(header, data.data(), std::size_t(std::min<qsizetype>(length, kInfoHeaderSize)));
        info.width = le::I32(header + 4);
        info.height = le::I32(header + 8);
        info.planes = le::U16(header + 12);
        info.bitCount = le::U16(header + 14);
        info.compression = le::U32(header + 16);
        info.imageSize = le::U32(header + 20);
        info.coloursUsed = le::U32(header + 32);
        dib.length = length;
    }
    if (planes == DibPlanes::MustBeOne && info.planes != 1)
        throw EInvalidGraphic(InvalidBitmapText());

    if (TakesMasks(info)) {
        const char* masks = nullptr;
        if (headerSize == kInfoHeaderSize) {
            // Three masks follow the plain header.
            if (data.size() - dib.length < 12)
                throw EReadError(StreamReadText());
            masks = data.data() + dib.length;
            dib.length += 12;
        } else if (HasMasksInHeader(headerSize)) {
            masks = data.data() + kInfoHeaderSize;
        }
        if (masks) {
            info.redMask = le::U32(masks);
            info.greenMask = le::U32(masks + 4);
            info.blueMask = le::U32(masks + 8);
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
        throw EReadError(StreamReadText());
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

bool DibFormatAllowed(int bitCount, std::uint32_t compression)
{
    switch (compression) {
    case kBiRgb:
        return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
               bitCount == 24 || bitCount == 32;
    case kBiBitfields:
        return bitCount == 16 || bitCount == 32;
    case kBiRle8:
        return bitCount == 8;
    case kBiRle4:
        return bitCount == 4;
    default:
        return false;
    }
}

bool IsRunLength(std::uint32_t compression)
{
    return compression == kBiRle8 || compression == kBiRle4;
}

} // namespace orvelle
