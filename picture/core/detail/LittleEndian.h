#pragma once

#include <cstdint>

#include <QtEndian>

namespace orvelle::le {

// Fields of the little-endian file formats (bitmaps, icons), read from a
// place the caller has already checked lies inside the data.
inline std::uint16_t U16(const char* p)
{
    return qFromLittleEndian<std::uint16_t>(p);
}

inline std::uint32_t U32(const char* p)
{
    return qFromLittleEndian<std::uint32_t>(p);
}

inline std::int32_t I32(const char* p)
{
    return qFromLittleEndian<std::int32_t>(p);
}

} // namespace orvelle::le
