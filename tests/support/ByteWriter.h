#pragma once

// Little-endian fields for the test files we put together byte by byte
// (bitmaps, icons, metafiles): appended at the end, or written over bytes
// already there.

#include <cstdint>

#include <QByteArray>

namespace orvelle::test {

inline void PutU16(QByteArray& out, unsigned value)
{
    out.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF));
}

inline void PutU32(QByteArray& out, std::uint32_t value)
{
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

// Overwrites out[at], out[at + 1]; the bytes must already be there.
inline void SetU16(QByteArray& out, qsizetype at, unsigned value)
{
    out[at] = char(value & 0xFF);
    out[at + 1] = char((value >> 8) & 0xFF);
}

inline void SetU32(QByteArray& out, qsizetype at, std::uint32_t value)
{
    SetU16(out, at, value & 0xFFFF);
    SetU16(out, at + 2, value >> 16);
}

} // namespace orvelle::test
