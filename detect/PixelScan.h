#pragma once

#include <cstddef>
#include <cstdint>

#include "PixelBand.h"
#include "ScanKernel.h"
#include "ScanSummary.h"
#include "SumPlane.h"

namespace orvelle {

// The fuzzy comparison's pixel scan (WorkBitmapsSimilar) for many pairs:
// each picture is reduced once to its SumPlane and ScanSummary, and a pair is
// then settled from the two summaries where their block bounds suffice, and
// otherwise by scanning only the blocks the bounds leave open, stopping as
// soon as the outcome is certain. The answers are WorkBitmapsSimilar's to the
// last pixel.
//
// Whether a pair is similar depends only on its number of deviating pixels D:
// the share ShareTolerated judges grows with D, so the pair is similar exactly
// when D < T, T the least count whose share is not tolerated (area + 1 when
// every share is).

// T for this area (1 … INT32_MAX) and Err_Count; 0 for any other area, where
// nothing is similar.
std::int64_t DeviationThreshold(std::int64_t area, std::int32_t errCount);

enum class Verdict { NotSimilar, Similar, Unknown };

// How a pair was settled, for the benchmarks.
struct ScanStats {
    // By the size alone (nothing to compare), by the summaries, or by (or,
    // for SummaryVerdict, left to) the scan.
    enum class Settled { Size, Summary, Scan };
    Settled settled = Settled::Size;
    int blockSize = 0;              // the summary level that settled it
    std::int64_t pixelsScanned = 0; // pixels whose sums were read
};

// The verdict the two summaries alone allow (std::invalid_argument when
// their sizes differ); never Similar or NotSimilar where the scan would say
// otherwise. Coarse levels first, stopping once settled.
Verdict SummaryVerdict(const ScanSummary& first, const ScanSummary& second, int Err_Count,
                       int Err_Clr, ScanStats* stats = nullptr);

// WorkBitmapsSimilar's answer for the bitmaps the planes were made from, each
// summary made from its plane (std::invalid_argument when the sizes differ).
bool PlanesSimilar(const SumPlane& first, const ScanSummary& firstSummary, const SumPlane& second,
                   const ScanSummary& secondSummary, int Err_Count, int Err_Clr,
                   ScanStats* stats = nullptr);

} // namespace orvelle
