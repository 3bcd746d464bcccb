#include "EmfReader.h"

#include <cstring>
#include <limits>

namespace orvelle {

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return 0;
    const std::int64_t product = std::int64_t(a) * b;
    const std::int64_t divisor = c;
    // Round the magnitude, then put the sign back: halves go away from zero.
    const bool negative = (product < 0) != (divisor < 0);
    const std::uint64_t p = product < 0 ? std::uint64_t(-product) : std::uint64_t(product);
    const std::uint64_t d = divisor < 0 ? std::uint64_t(-divisor) : std::uint64_t(divisor);
    const std::uint64_t q = (2 * p + d) / (2 * d);
    const std::int64_t result = negative ? -std::int64_t(q) : std::int64_t(q);
    if (result > std::numeric_limits<int>::max() || result < std::numeric_limits<int>::min())
        return 0;
    return static_cast<int>(result);
}

namespace {

bool Inside(const QByteArray& data, qsizetype offset, qsizetype length)
{
    return offset >= 0 && length >= 0 && offset <= data.size() && length <= data.size() - offset;
}

} // namespace

std::uint32_t ReadU32(const QByteArray& data, qsizetype offset)
{
    if (!Inside(data, offset, 4))
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + offset);
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::int32_t ReadI32(const QByteArray& data, qsizetype offset)
{
    return static_cast<std::int32_t>(ReadU32(data, offset));
}

std::uint16_t ReadU16(const QByteArray& data, qsizetype offset)
{
    if (!Inside(data, offset, 2))
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData() + offset);
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::int16_t ReadI16(const QByteArray& data, qsizetype offset)
{
    return static_cast<std::int16_t>(ReadU16(data, offset));
}

float ReadF32(const QByteArray& data, qsizetype offset)
{
    const std::uint32_t bits = ReadU32(data, offset);
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::optional<std::size_t> RestoredState(std::int32_t which, std::size_t depth)
{
    const std::int64_t target = which < 0 ? std::int64_t(depth) + which : std::int64_t(which) - 1;
    if (target < 0 || target >= std::int64_t(depth))
        return std::nullopt;
    return std::size_t(target);
}

bool LooksLikeEmf(const QByteArray& data)
{
    return data.size() > 100 && ReadU32(data, 0) == RecordNumber(EmfRecord::Header) &&
           ReadU32(data, 40) == kEmfSignature;
}

EmfHeader ReadEmfHeader(const QByteArray& data)
{
    EmfHeader h;
    h.frameLeft = ReadI32(data, 24);
    h.frameTop = ReadI32(data, 28);
    h.frameRight = ReadI32(data, 32);
    h.frameBottom = ReadI32(data, 36);
    h.totalBytes = ReadU32(data, 48);
    h.handles = ReadU16(data, 56);
    h.devicePixelsX = ReadI32(data, 72);
    h.devicePixelsY = ReadI32(data, 76);
    h.deviceMillimetresX = ReadI32(data, 80);
    h.deviceMillimetresY = ReadI32(data, 84);
    return h;
}

bool EmfObjectIndexValid(std::uint32_t type, const QByteArray& data, qsizetype offset,
                         std::uint32_t size, std::uint32_t handles)
{
    // Where the record keeps its index, and whether it creates an object there.
    qsizetype at = 8;
    bool creates = false;
    switch (EmfRecord(type)) {
    case EmfRecord::CreatePen:
    case EmfRecord::CreateBrushIndirect:
    case EmfRecord::CreatePalette:
    case EmfRecord::ExtCreateFontIndirectW:
    case EmfRecord::CreateMonoBrush:
    case EmfRecord::CreateDIBPatternBrushPt:
    case EmfRecord::ExtCreatePen:
    case EmfRecord::CreateColorSpace:
    case EmfRecord::CreateColorSpaceW:
        creates = true;
        break;
    case EmfRecord::SelectObject:
    case EmfRecord::DeleteObject:
    case EmfRecord::SelectPalette:
    case EmfRecord::SetPaletteEntries:
    case EmfRecord::ResizePalette:
        break;
    case EmfRecord::FillRgn:
    case EmfRecord::FrameRgn:
        at = 28;
        break;
    default:
        return true;
    }
    if (at + 4 > qsizetype(size))
        return false;
    const std::uint32_t index = ReadU32(data, offset + at);
    if (creates)
        return index != 0 && index < handles;
    return (index & 0x80000000U) != 0 || index < handles;
}

bool EmfRecordsValid(const QByteArray& data)
{
    // The header record holds at least the fields read above.
    const std::uint32_t headerSize = ReadU32(data, 4);
    if (ReadU32(data, 0) != RecordNumber(EmfRecord::Header) || headerSize < 88)
        return false;
    qsizetype offset = 0;
    while (offset < data.size()) {
        if (!Inside(data, offset, 8))
            return false;
        const std::uint32_t type = ReadU32(data, offset);
        const std::uint32_t size = ReadU32(data, offset + 4);
        if (size < 8 || size % 4 != 0 || !Inside(data, offset, qsizetype(size)))
            return false;
        if (type == RecordNumber(EmfRecord::Eof))
            return true;
        if (!EmfObjectIndexValid(type, data, offset, size, ReadU16(data, 56)))
            return false;
        offset += qsizetype(size);
    }
    return false;
}

bool WmfRecordsValid(const QByteArray& data, qsizetype offset)
{
    // The header: type 1 (memory) or 2 (disk), 9 words long.
    const std::uint16_t type = ReadU16(data, offset);
    if (!Inside(data, offset, 18) || (type != 1 && type != 2) || ReadU16(data, offset + 2) != 9)
        return false;
    offset += 18;
    while (offset < data.size()) {
        if (!Inside(data, offset, 6))
            return false;
        const std::uint32_t words = ReadU32(data, offset);
        const std::uint16_t function = ReadU16(data, offset + 4);
        if (words < 3 || std::uint64_t(words) * 2 > std::uint64_t(data.size() - offset))
            return false;
        if (function == 0)
            return true;
        offset += qsizetype(words) * 2;
    }
    return false;
}

} // namespace orvelle
