#include "PixelBand.h"

#include "ExtendedRatio.h"

namespace orvelle {

namespace {

constexpr std::int64_t kMaxRatio = 765 * 100; // 765 ÷ 1

// The ratio of every pair whose 100 s ÷ t is the whole number k.
int RatioAtWhole(std::int64_t k)
{
    return ExtendedRatio(std::uint32_t(k), 100);
}

} // namespace

PixelBand PixelBand::Around(int base, std::int32_t errClr)
{
    return Between(std::int64_t(base) - errClr, std::int64_t(base) + errClr);
}

PixelBand PixelBand::Between(std::int64_t low, std::int64_t high)
{
    PixelBand band;
    if (low <= 0) {
        band.lowSlope = 0; // 100 s ≥ 0 always
    } else if (low > kMaxRatio) {
        band.lowSlope = kMaxRatio + 1; // 100 s ≥ 76501 t never, for t ≥ 1
    } else {
        band.lowSlope = std::int32_t(low);
        band.lowExtra = RatioAtWhole(low) < low ? 1 : 0;
    }
    if (high < 0) {
        band.highSlope = 0; // 100 s < 0 never
    } else if (high >= kMaxRatio) {
        band.highSlope = kMaxRatio + 1; // 100 s < 76501 t always, for t ≥ 1
    } else {
        band.highSlope = std::int32_t(high + 1);
        band.highExtra = RatioAtWhole(high + 1) <= high ? 1 : 0;
    }
    band.zeroAgrees = low <= 0 && 0 <= high;
    band.hundredIn = low <= 100 && 100 <= high;
    return band;
}

} // namespace orvelle
