#pragma once

#include <cstddef>
#include <cstdint>

#include "PixelBand.h"

namespace orvelle {

// The scan's inner loops: deviating pixels counted straight from two
// pictures' sums (SumPlane rows), stride values from one row to the next in
// both. Vectorised, with no branch and no table per pixel.

// The deviating pixels of a rectangle width × rows.
std::int64_t CountDeviating(const PixelBand& band, const std::uint16_t* first,
                            const std::uint16_t* second, std::ptrdiff_t stride, int width,
                            int rows);

// The columns x0 … x1 − 1 of a row.
struct ScanRun {
    int x0 = 0;
    int x1 = 0;
};

// The deviating pixels of the runs in each of rows rows, row after row, so
// that memory is read in order.
std::int64_t CountDeviatingInRuns(const PixelBand& band, const std::uint16_t* first,
                                  const std::uint16_t* second, std::ptrdiff_t stride, int rows,
                                  const ScanRun* runs, int count);

} // namespace orvelle
