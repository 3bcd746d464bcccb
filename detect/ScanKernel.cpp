#include "ScanKernel.h"

#include "PixelScanTargets.h"

namespace orvelle {

namespace {

// One row's deviating pixels. Inline into each marked caller, so it is
// vectorised for each instruction set there.
inline int CountRow(const PixelBand& band, const std::uint16_t* first, const std::uint16_t* second,
                    int width)
{
    int deviating = 0;
    for (int x = 0; x < width; ++x)
        deviating += !band.Agrees(first[x], second[x]);
    return deviating;
}

} // namespace

ORVELLE_SCAN_CLONES
std::int64_t CountDeviating(const PixelBand& rule, const std::uint16_t* first,
                            const std::uint16_t* second, std::ptrdiff_t stride, int width, int rows)
{
    // A copy the compiler knows nothing else writes to, so its fields stay
    // in registers.
    const PixelBand band = rule;
    std::int64_t total = 0;
    for (int y = 0; y < rows; ++y)
        total += CountRow(band, first + y * stride, second + y * stride, width);
    return total;
}

ORVELLE_SCAN_CLONES
std::int64_t CountDeviatingInRuns(const PixelBand& rule, const std::uint16_t* first,
                                  const std::uint16_t* second, std::ptrdiff_t stride, int rows,
                                  const ScanRun* runs, int count)
{
    const PixelBand band = rule;
    std::int64_t total = 0;
    for (int y = 0; y < rows; ++y) {
        const std::uint16_t* a = first + y * stride;
        const std::uint16_t* b = second + y * stride;
        for (int i = 0; i < count; ++i)
            total += CountRow(band, a + runs[i].x0, b + runs[i].x0, runs[i].x1 - runs[i].x0);
    }
    return total;
}

} // namespace orvelle
