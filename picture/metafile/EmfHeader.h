#pragma once

#include <cstdint>

namespace orvelle {

// What the header record of an enhanced metafile says about its picture.
struct EmfHeader {
    // The picture frame in hundredths of a millimetre, edges included.
    std::int32_t frameLeft = 0;
    std::int32_t frameTop = 0;
    std::int32_t frameRight = 0;
    std::int32_t frameBottom = 0;
    std::uint32_t totalBytes = 0;
    std::uint16_t handles = 0;
    // The reference device the picture was recorded for.
    std::int32_t devicePixelsX = 0;
    std::int32_t devicePixelsY = 0;
    std::int32_t deviceMillimetresX = 0;
    std::int32_t deviceMillimetresY = 0;
};

} // namespace orvelle
