#pragma once

#include <atomic>
#include <cstdint>

#include <QStringList>

#include "CheckResult.h"
#include "FuzzyCompare.h"

namespace orvelle {

// What a fuzzy run did, for the benchmarks and the curious.
struct FuzzyStats {
    std::int64_t pairs = 0; // pairs that met and were taken by their pass
    // Pairs of pictures of one size settled by the block bounds alone, and
    // by reading pixels, counting those answered ahead of their pass.
    std::int64_t bySummary = 0;
    std::int64_t byScan = 0;
    // Pixel sums read by the scans, against the pixels of every pair that
    // came as far as its pixels (what reading them all would have read).
    std::int64_t pixelsRead = 0;
    std::int64_t pixelsCompared = 0;
    std::int64_t drawnAgain = 0; // pictures drawn again for lack of room
};

// The fuzzy-mode check with each picture decoded once: the same records,
// deletions, first error and list after Cancel as ImagesSimilar on every
// pair in visiting order (CheckRun with DuplicateTest).
//
// First every path text is looked at once, on all threads: which file it
// names, whether its picture loads and at what size, and, where a pair could
// ever draw it at that size, the picture drawn there once, reduced to its
// pixel sums (SumPlane) and their block bounds (ScanSummary). The planes are
// kept while they fit in cacheBytes; the summaries always are. Then the run
// visits the pairs in passes (PairPasses), where pictures of different sizes
// do not meet when sizes count, deciding each pair from what was kept:
//  - pictures of different sizes, when sizes count, never touch pixels;
//  - two pictures at their own size are settled from their summaries where
//    the bounds suffice, else by the scan of the blocks left open;
//  - a bitmap or JPEG drawn at another size is its plane sampled by the
//    canvas's nearest-pixel rule, which is what drawing it would give;
//  - the rest (metafiles and icons at another size, two-colour bitmaps, a
//    plane that did not fit) are drawn again by the picture layer. A plane
//    drawn again is kept where the planes of pictures no pair will take
//    again made room, and answers its pairs with the next outer entries at
//    once.
// Errors of loading and drawing come in the order ImagesSimilar raises them.
// stats, when given, receives what the run did.
CheckResult RunFuzzyCheck(const QStringList& files, const FuzzyOptions& options,
                          std::int64_t cacheBytes, const std::atomic<bool>& cancel,
                          const ProgressSink& progress = {}, int threads = 1,
                          FuzzyStats* stats = nullptr);

} // namespace orvelle
