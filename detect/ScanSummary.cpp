#include "ScanSummary.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "Canvas.h"
#include "PixelScanTargets.h"
#include "SumPlane.h"

namespace orvelle {

namespace {

constexpr std::size_t kFinest = ScanSummary::kLevels - 1;
constexpr int kFinestSize = ScanSummary::kBlockSizes[kFinest];
// Columns of pixels gathered at a time when making the finest level: a
// multiple of its block size, small enough to stay on the stack.
constexpr int kChunk = 32 * kFinestSize;

int BlocksFor(int pixels, int blockSize)
{
    return (pixels + blockSize - 1) / blockSize;
}

// The least and greatest sum of each finest block in one row of blocks: first
// column by column over the block's rows, then over each block's columns.
ORVELLE_SCAN_CLONES
void SummariseBlockRow(const std::uint16_t* top, int width, int rows, std::uint16_t* minima,
                       std::uint16_t* maxima)
{
    std::uint16_t low[kChunk];
    std::uint16_t high[kChunk];
    for (int x0 = 0; x0 < width; x0 += kChunk) {
        const int n = std::min(kChunk, width - x0);
        const std::uint16_t* row = top + x0;
        for (int x = 0; x < n; ++x) {
            low[x] = row[x];
            high[x] = row[x];
        }
        for (int y = 1; y < rows; ++y) {
            row += width;
            for (int x = 0; x < n; ++x) {
                const std::uint16_t v = row[x];
                const std::uint16_t mn = low[x];
                const std::uint16_t mx = high[x];
                low[x] = v < mn ? v : mn;
                high[x] = v > mx ? v : mx;
            }
        }
        // A cut-short last block repeats its last column, which changes
        // neither bound.
        const int blocks = (n + kFinestSize - 1) / kFinestSize;
        for (int x = n; x < blocks * kFinestSize; ++x) {
            low[x] = low[n - 1];
            high[x] = high[n - 1];
        }
        for (int b = 0; b < blocks; ++b) {
            std::uint16_t mn = low[b * kFinestSize];
            std::uint16_t mx = high[b * kFinestSize];
            for (int x = 1; x < kFinestSize; ++x) {
                const std::uint16_t l = low[b * kFinestSize + x];
                const std::uint16_t h = high[b * kFinestSize + x];
                mn = l < mn ? l : mn;
                mx = h > mx ? h : mx;
            }
            minima[x0 / kFinestSize + b] = mn;
            maxima[x0 / kFinestSize + b] = mx;
        }
    }
}

// A coarser level from the finer one: each block joins its (up to) four
// children.
void Coarsen(const ScanSummary::Level& fine, int columns, int rows, std::uint16_t* minima,
             std::uint16_t* maxima)
{
    for (int by = 0; by < rows; ++by) {
        const int y0 = 2 * by;
        const int y1 = std::min(y0 + 1, fine.rows - 1);
        for (int bx = 0; bx < columns; ++bx) {
            const int x0 = 2 * bx;
            const int x1 = std::min(x0 + 1, fine.columns - 1);
            const int k00 = y0 * fine.columns + x0, k01 = y0 * fine.columns + x1;
            const int k10 = y1 * fine.columns + x0, k11 = y1 * fine.columns + x1;
            minima[by * columns + bx] =
                std::min({fine.minima[k00], fine.minima[k01], fine.minima[k10], fine.minima[k11]});
            maxima[by * columns + bx] =
                std::max({fine.maxima[k00], fine.maxima[k01], fine.maxima[k10], fine.maxima[k11]});
        }
    }
}

} // namespace

void ScanSummary::Place(int width, int height)
{
    width_ = width;
    height_ = height;
    std::size_t offset = 0;
    for (std::size_t i = 0; i < kLevels; ++i) {
        Placement& at = placement_[i];
        at.columns = BlocksFor(width_, kBlockSizes[i]);
        at.rows = BlocksFor(height_, kBlockSizes[i]);
        at.offset = offset;
        offset += 2 * std::size_t(at.columns) * std::size_t(at.rows);
    }
    values_.resize(offset);
}

std::uint16_t* ScanSummary::MinimaOf(std::size_t level)
{
    return values_.data() + placement_[level].offset;
}

std::uint16_t* ScanSummary::MaximaOf(std::size_t level)
{
    return MinimaOf(level) +
           std::size_t(placement_[level].columns) * std::size_t(placement_[level].rows);
}

void ScanSummary::CoarsenFromFinest()
{
    for (std::size_t i = kFinest; i-- > 0;) {
        Coarsen(LevelAt(int(i + 1)), placement_[i].columns, placement_[i].rows, MinimaOf(i),
                MaximaOf(i));
    }
}

void ScanSummary::Assign(const SumPlane& plane)
{
    Place(plane.Width(), plane.Height());
    origin_ = width_ > 0 && height_ > 0 ? plane.At(0, 0) : 0;
    const Placement& finest = placement_[kFinest];
    for (int by = 0; by < finest.rows; ++by) {
        const int y0 = by * kFinestSize;
        const std::size_t at = std::size_t(by) * std::size_t(finest.columns);
        SummariseBlockRow(plane.Row(y0), width_, std::min(kFinestSize, height_ - y0),
                          MinimaOf(kFinest) + at, MaximaOf(kFinest) + at);
    }
    CoarsenFromFinest();
}

namespace {

// For each target block along one axis, the first and last source block its
// samples come from (NearestSource grows with t, so the two ends suffice).
std::vector<std::pair<int, int>> SourceBlocks(int sourceSize, int targetSize)
{
    std::vector<std::pair<int, int>> blocks(std::size_t(BlocksFor(targetSize, kFinestSize)));
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const int first = int(b) * kFinestSize;
        const int last = std::min(first + kFinestSize, targetSize) - 1;
        blocks[b] = {NearestSource(first, sourceSize, targetSize) / kFinestSize,
                     NearestSource(last, sourceSize, targetSize) / kFinestSize};
    }
    return blocks;
}

} // namespace

void ScanSummary::AssignSampled(const ScanSummary& source, int origin, int width, int height)
{
    const bool empty = width <= 0 || height <= 0 || source.width_ <= 0 || source.height_ <= 0;
    Place(empty ? 0 : width, empty ? 0 : height);
    origin_ = empty ? 0 : origin;
    if (empty)
        return;
    const Level from = source.LevelAt(int(kFinest));
    const auto columns = SourceBlocks(source.width_, width_);
    const auto rows = SourceBlocks(source.height_, height_);
    // Across first, every source row of blocks; then down, over the rows.
    const std::size_t across = columns.size();
    std::vector<std::uint16_t> low(std::size_t(from.rows) * across);
    std::vector<std::uint16_t> high(low.size());
    for (int sy = 0; sy < from.rows; ++sy) {
        const std::uint16_t* mn = from.minima + std::ptrdiff_t(sy) * from.columns;
        const std::uint16_t* mx = from.maxima + std::ptrdiff_t(sy) * from.columns;
        for (std::size_t bx = 0; bx < across; ++bx) {
            const auto [c0, c1] = columns[bx];
            low[std::size_t(sy) * across + bx] = *std::min_element(mn + c0, mn + c1 + 1);
            high[std::size_t(sy) * across + bx] = *std::max_element(mx + c0, mx + c1 + 1);
        }
    }
    std::uint16_t* minima = MinimaOf(kFinest);
    std::uint16_t* maxima = MaximaOf(kFinest);
    for (std::size_t by = 0; by < rows.size(); ++by) {
        const auto [r0, r1] = rows[by];
        for (std::size_t bx = 0; bx < across; ++bx) {
            std::uint16_t mn = low[std::size_t(r0) * across + bx];
            std::uint16_t mx = high[std::size_t(r0) * across + bx];
            for (int sy = r0 + 1; sy <= r1; ++sy) {
                mn = std::min(mn, low[std::size_t(sy) * across + bx]);
                mx = std::max(mx, high[std::size_t(sy) * across + bx]);
            }
            minima[by * across + bx] = mn;
            maxima[by * across + bx] = mx;
        }
    }
    CoarsenFromFinest();
}

} // namespace orvelle
