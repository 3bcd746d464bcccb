#include "PixelScan.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "ExtendedRatio.h"
#include "PixelScanTargets.h"
#include "ScanKernel.h"

namespace orvelle {

namespace {

constexpr int kFinest = ScanSummary::kLevels - 1;
// Finest blocks classified at a time on the way to the scan, on the stack.
constexpr int kClassifyChunk = 256;
// What the bounds say of a block.
constexpr std::uint8_t kAgrees = 0;
constexpr std::uint8_t kDeviates = 1;
constexpr std::uint8_t kOpen = 2;
// Up to this many settled blocks between two open ones are read with them:
// skipping 16 bytes of a row saves less than the cache line it breaks, and
// one long run reads faster than short pieces. On the photographs unrelated
// pairs took a fifth longer without it; wider bridges changed nothing that
// stood out of the noise.
constexpr int kBridge = 4;

// What every pair needs before its first block: the count that decides it
// and the band its pixels are measured against.
struct PairRule {
    std::int64_t area = 0;
    std::int64_t threshold = 0;
    PixelBand band;
};

// The pixels in blocks that surely deviate and in blocks that surely agree.
struct Bounds {
    std::int64_t deviating = 0;
    std::int64_t agreeing = 0;
};

void RequireSameSize(const ScanSummary& first, const ScanSummary& second)
{
    if (first.Width() != second.Width() || first.Height() != second.Height())
        throw std::invalid_argument("pixel scan: the two pictures differ in size");
}

// false when the area leaves nothing to compare (WorkBitmapsSimilar's "not
// similar" for empty and oversized bitmaps).
bool MakeRule(const ScanSummary& first, const ScanSummary& second, int errCount, int errClr,
              PairRule& rule)
{
    rule.area = std::int64_t(first.Width()) * first.Height();
    if (rule.area <= 0 || rule.area > INT32_MAX)
        return false;
    rule.threshold = DeviationThreshold(rule.area, errCount);
    const int t = second.Origin();
    const int base = t == 0 ? 0 : ExtendedRatio(std::uint32_t(first.Origin()), std::uint32_t(t));
    rule.band = PixelBand::Around(base, errClr);
    return true;
}

Verdict Settle(const PairRule& rule, std::int64_t deviating, std::int64_t undecided)
{
    if (deviating >= rule.threshold)
        return Verdict::NotSimilar;
    if (deviating + undecided < rule.threshold)
        return Verdict::Similar;
    return Verdict::Unknown;
}

// One level's bounds, block row by block row, stopping once they settle the
// pair; bounds are complete when the answer is Unknown.
ORVELLE_SCAN_CLONES
Verdict CountLevel(const ScanSummary::Level& first, const ScanSummary::Level& second, int width,
                   int height, const PairRule& rule, Bounds& bounds)
{
    const PixelBand band = rule.band;
    const int size = first.blockSize;
    const int columns = first.columns;
    const std::int64_t lastWidth = width - std::int64_t(columns - 1) * size;
    bounds = {};
    for (int by = 0; by < first.rows; ++by) {
        const std::size_t at = std::size_t(by) * std::size_t(columns);
        const std::uint16_t* mnA = first.minima + at;
        const std::uint16_t* mxA = first.maxima + at;
        const std::uint16_t* mnB = second.minima + at;
        const std::uint16_t* mxB = second.maxima + at;
        int deviating = 0;
        int agreeing = 0;
        // Every block but the last of the row is size pixels wide.
        for (int bx = 0; bx < columns - 1; ++bx) {
            deviating += band.AllDeviate(mnA[bx], mxA[bx], mnB[bx], mxB[bx]);
            agreeing += band.AllAgree(mnA[bx], mxA[bx], mnB[bx], mxB[bx]);
        }
        const int last = columns - 1;
        const int lastDeviates =
            band.AllDeviate(mnA[last], mxA[last], mnB[last], mxB[last]) ? 1 : 0;
        const int lastAgrees = band.AllAgree(mnA[last], mxA[last], mnB[last], mxB[last]) ? 1 : 0;
        const std::int64_t rows = std::min(size, height - by * size);
        bounds.deviating += rows * (std::int64_t(deviating) * size + lastDeviates * lastWidth);
        bounds.agreeing += rows * (std::int64_t(agreeing) * size + lastAgrees * lastWidth);
        const Verdict verdict =
            Settle(rule, bounds.deviating, rule.area - bounds.deviating - bounds.agreeing);
        if (verdict != Verdict::Unknown)
            return verdict;
    }
    return Verdict::Unknown;
}

// What the bounds say of each of count finest blocks: kAgrees, kDeviates or
// kOpen.
ORVELLE_SCAN_CLONES
void ClassifyBlocks(const PixelBand& rule, const std::uint16_t* mnA, const std::uint16_t* mxA,
                    const std::uint16_t* mnB, const std::uint16_t* mxB, int count,
                    std::uint8_t* status)
{
    const PixelBand band = rule;
    for (int i = 0; i < count; ++i) {
        // Never both: a block has at least one pixel.
        const int deviates = band.AllDeviate(mnA[i], mxA[i], mnB[i], mxB[i]) ? 1 : 0;
        const int agrees = band.AllAgree(mnA[i], mxA[i], mnB[i], mxB[i]) ? 1 : 0;
        static_assert(kOpen - 2 == kAgrees && kOpen - 1 == kDeviates);
        status[i] = std::uint8_t(kOpen - 2 * agrees - deviates);
    }
}

// The summaries' verdict; where it is Unknown, bounds holds the finest level's.
Verdict Summarise(const ScanSummary& first, const ScanSummary& second, const PairRule& rule,
                  Bounds& bounds, ScanStats* stats)
{
    for (int i = 0; i < ScanSummary::kLevels; ++i) {
        const Verdict verdict = CountLevel(first.LevelAt(i), second.LevelAt(i), first.Width(),
                                           first.Height(), rule, bounds);
        if (verdict != Verdict::Unknown) {
            if (stats) {
                stats->settled = ScanStats::Settled::Summary;
                stats->blockSize = ScanSummary::kBlockSizes[std::size_t(i)];
            }
            return verdict;
        }
    }
    return Verdict::Unknown;
}

} // namespace

std::int64_t DeviationThreshold(std::int64_t area, std::int32_t errCount)
{
    if (area <= 0 || area > INT32_MAX)
        return 0;
    if (errCount < 0)
        return 1;
    const auto untolerated = [&](std::int64_t count) {
        return count > area || !ShareTolerated(std::uint32_t(count), std::uint32_t(area), errCount);
    };
    // The exact share passes errCount first at ⌊errCount · area ÷ 100⌋ + 1.
    // Both roundings are relative errors near 2^−64, far too small to move
    // that by more than a count, so a walk from there is short; it relies
    // only on the share never falling as the count grows.
    std::int64_t count = std::min(std::int64_t(errCount) * area / 100 + 1, area + 1);
    while (count > 1 && untolerated(count - 1))
        --count;
    while (!untolerated(count))
        ++count;
    return count;
}

Verdict SummaryVerdict(const ScanSummary& first, const ScanSummary& second, int Err_Count,
                       int Err_Clr, ScanStats* stats)
{
    RequireSameSize(first, second);
    if (stats)
        *stats = {};
    PairRule rule;
    if (!MakeRule(first, second, Err_Count, Err_Clr, rule))
        return Verdict::NotSimilar;
    Bounds bounds;
    const Verdict verdict = Summarise(first, second, rule, bounds, stats);
    if (verdict == Verdict::Unknown && stats)
        stats->settled = ScanStats::Settled::Scan;
    return verdict;
}

bool PlanesSimilar(const SumPlane& first, const ScanSummary& firstSummary, const SumPlane& second,
                   const ScanSummary& secondSummary, int Err_Count, int Err_Clr, ScanStats* stats)
{
    RequireSameSize(firstSummary, secondSummary);
    if (first.Width() != firstSummary.Width() || first.Height() != firstSummary.Height() ||
        second.Width() != secondSummary.Width() || second.Height() != secondSummary.Height())
        throw std::invalid_argument("pixel scan: a summary was made from another plane");
    if (stats)
        *stats = {};
    PairRule rule;
    if (!MakeRule(firstSummary, secondSummary, Err_Count, Err_Clr, rule))
        return false;
    Bounds bounds;
    const Verdict verdict = Summarise(firstSummary, secondSummary, rule, bounds, stats);
    if (verdict != Verdict::Unknown)
        return verdict == Verdict::Similar;
    if (stats)
        stats->settled = ScanStats::Settled::Scan;

    // Only the open blocks are read (and settled ones between them, whose
    // deviations are known and taken off again).
    const ScanSummary::Level a = firstSummary.LevelAt(kFinest);
    const ScanSummary::Level b = secondSummary.LevelAt(kFinest);
    const int size = a.blockSize;
    const int width = first.Width();
    std::int64_t deviating = bounds.deviating;
    std::int64_t undecided = rule.area - bounds.deviating - bounds.agreeing;
    std::uint8_t status[kClassifyChunk];
    ScanRun runs[kClassifyChunk];
    for (int by = 0; by < a.rows; ++by) {
        const int y0 = by * size;
        const int rows = std::min(size, first.Height() - y0);
        const std::size_t row = std::size_t(by) * std::size_t(a.columns);
        for (int c0 = 0; c0 < a.columns; c0 += kClassifyChunk) {
            const int count = std::min(kClassifyChunk, a.columns - c0);
            const std::size_t at = row + std::size_t(c0);
            ClassifyBlocks(rule.band, a.minima + at, a.maxima + at, b.minima + at, b.maxima + at,
                           count, status);
            int runCount = 0;
            std::int64_t readWidth = 0;  // pixels of a row the runs read
            std::int64_t openWidth = 0;  // of them in open blocks
            std::int64_t knownWidth = 0; // of them in deviating blocks
            for (int i = 0; i < count;) {
                if (status[i] != kOpen) {
                    ++i;
                    continue;
                }
                int end = i + 1; // past the run's last open block
                int open = 1;
                int known = 0;
                for (int j = end; j < count && j - end <= kBridge; ++j) {
                    if (status[j] != kOpen)
                        continue;
                    for (int k = end; k < j; ++k)
                        known += status[k] == kDeviates;
                    end = j + 1;
                    ++open;
                }
                // Only the last block of a row is cut short, and it is never
                // one in between.
                const int x0 = (c0 + i) * size;
                const int x1 = int(std::min<std::int64_t>(width, std::int64_t(c0 + end) * size));
                runs[runCount++] = {x0, x1};
                readWidth += x1 - x0;
                openWidth += x1 - x0 - (end - i - open) * size;
                knownWidth += known * size;
                i = end;
            }
            if (runCount == 0)
                continue;
            deviating += CountDeviatingInRuns(rule.band, first.Row(y0), second.Row(y0), width, rows,
                                              runs, runCount) -
                         knownWidth * rows;
            undecided -= openWidth * rows;
            if (stats)
                stats->pixelsScanned += readWidth * rows;
            const Verdict now = Settle(rule, deviating, undecided);
            if (now != Verdict::Unknown)
                return now == Verdict::Similar;
        }
    }
    return deviating < rule.threshold;
}

} // namespace orvelle
