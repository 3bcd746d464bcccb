// The fuzzy comparison's pixel scan on photograph-sized pictures, pair by
// pair as a check run meets them:
//   Prepare           a picture's SumPlane and ScanSummary, made once each
//   Summary/...       SummaryVerdict alone, from the two summaries
//   Planes/...        PlanesSimilar: the summaries, then the open blocks
//   Bitmaps/...       WorkBitmapsSimilar on the work bitmaps, for reference
//   Scan/...          the inner loop alone, without early exit: Cached on a
//                     strip of one pair that the cache holds, Memory over
//                     whole planes, one pair after the other
// over Unrelated pairs (every ordered pair of different pictures) and
// NearDuplicate pairs (each picture against a copy a few percent brighter or
// darker with some grain, as a re-saved or retouched photograph). Counters:
// pairs/s; settled, the share of pairs the summaries settled, and at64 …
// at8, the share of those each level settled; scanned, the share of pixels
// read; similar, the share of similar pairs; px/ns for the scan.
//
// The pictures are the JPEG files of the folder ORVELLE_SCAN_PHOTOS names
// (those of the first one's size, at most ORVELLE_SCAN_PHOTO_LIMIT, default
// 200), decoded and drawn as the comparison does. Without it, 24 pictures
// of 1200 × 900 are made here: soft colour fields from a few waves with
// grain on top. The tolerances are the program's defaults, 25 and 25.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QString>

#include "Bitmap.h"
#include "Canvas.h"
#include "ExtendedRatio.h"
#include "FuzzyCompare.h"
#include "Picture.h"
#include "PixelScan.h"

namespace orvelle {
namespace {

constexpr int kErrCount = 25;
constexpr int kErrClr = 25;
// Work bitmaps are kept only for the reference benchmark's pairs.
constexpr std::size_t kBitmapsKept = 8;

struct Prepared {
    SumPlane plane;
    ScanSummary summary;
};

struct Pictures {
    std::vector<Prepared> photos;
    std::vector<Prepared> copies; // the near-duplicate of each photo
    std::vector<TBitmap> photoBitmaps;
    std::vector<TBitmap> copyBitmaps;
    int width = 0;
    int height = 0;
    std::string origin;
};

TBitmap WorkBitmap(int width, int height)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    return bitmap;
}

// Soft colour fields from a few waves, with grain on top; each number
// gives another picture.
TBitmap MadePicture(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double scale[3][2], phase[3];
    for (int c = 0; c < 3; ++c) {
        scale[c][0] = 60 + 200 * unit(random);
        scale[c][1] = 60 + 200 * unit(random);
        phase[c] = 6.3 * unit(random);
    }
    const double level = 60 + 120 * unit(random);
    TBitmap bitmap = WorkBitmap(width, height);
    std::uint32_t grain = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.PixelRow(y);
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                grain = grain * 1103515245u + 12345u;
                const double noise = double((grain >> 16) % 17) - 8.0;
                const double v = level + 60 * std::sin(x / scale[c][0] + phase[c]) +
                                 40 * std::cos((x - 2 * y) / scale[c][1]) + noise;
                row[3 * x + c] = std::uint8_t(std::clamp(int(v), 0, 255));
            }
        }
    }
    return bitmap;
}

// The picture a few percent brighter or darker, with grain of ±3.
TBitmap NearDuplicate(const TBitmap& source, unsigned seed)
{
    std::mt19937 random(seed);
    const double factor = 0.94 + 0.12 * std::uniform_real_distribution<double>(0.0, 1.0)(random);
    std::uniform_int_distribution<int> grain(-3, 3);
    TBitmap copy = WorkBitmap(source.Width(), source.Height());
    for (int y = 0; y < source.Height(); ++y) {
        const std::uint8_t* from = source.PixelRow(y);
        std::uint8_t* to = copy.PixelRow(y);
        for (int i = 0; i < 3 * source.Width(); ++i)
            to[i] = std::uint8_t(
                std::clamp(int(std::lround(from[i] * factor)) + grain(random), 0, 255));
    }
    return copy;
}

void Add(Pictures& pictures, TBitmap photo, unsigned seed)
{
    TBitmap copy = NearDuplicate(photo, seed);
    Prepared a{SumPlane(photo), {}};
    a.summary.Assign(a.plane);
    Prepared b{SumPlane(copy), {}};
    b.summary.Assign(b.plane);
    pictures.photos.push_back(std::move(a));
    pictures.copies.push_back(std::move(b));
    if (pictures.photoBitmaps.size() < kBitmapsKept) {
        pictures.photoBitmaps.push_back(std::move(photo));
        pictures.copyBitmaps.push_back(std::move(copy));
    }
}

Pictures LoadPictures()
{
    Pictures pictures;
    const char* folder = std::getenv("ORVELLE_SCAN_PHOTOS");
    if (!folder || !*folder) {
        pictures.width = 1200;
        pictures.height = 900;
        pictures.origin = "made here";
        for (unsigned i = 0; i < 24; ++i)
            Add(pictures, MadePicture(pictures.width, pictures.height, i + 1), i + 100);
        return pictures;
    }
    const char* limitText = std::getenv("ORVELLE_SCAN_PHOTO_LIMIT");
    const std::size_t limit = limitText ? std::size_t(std::max(2, std::atoi(limitText))) : 200;
    const QDir dir(QString::fromLocal8Bit(folder));
    const QStringList names =
        dir.entryList({"*.jpg", "*.jpeg", "*.JPG", "*.JPEG"}, QDir::Files, QDir::Name);
    unsigned seed = 100;
    for (const QString& name : names) {
        if (pictures.photos.size() >= limit)
            break;
        TPicture picture;
        try {
            picture.LoadFile(dir.filePath(name));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(name), error.what());
            continue;
        }
        if (pictures.photos.empty()) {
            pictures.width = picture.Width();
            pictures.height = picture.Height();
        }
        if (picture.Width() != pictures.width || picture.Height() != pictures.height)
            continue;
        TBitmap work = WorkBitmap(pictures.width, pictures.height);
        TCanvas(work).DrawStretched({0, 0, pictures.width, pictures.height}, picture.Graphic());
        Add(pictures, std::move(work), ++seed);
    }
    pictures.origin = std::string(folder);
    return pictures;
}

// Every ordered pair of different pictures, the first one changing slowest,
// as a check run goes through a folder.
struct PairCycle {
    explicit PairCycle(std::size_t count) : count(count) {}
    std::size_t count;
    std::size_t first = 0;
    std::size_t second = 1;
    void Next()
    {
        if (++second == first)
            ++second;
        if (second >= count) {
            first = (first + 1) % count;
            second = first == 0 ? 1 : 0;
        }
    }
};

struct Tally {
    std::int64_t pairs = 0;
    std::int64_t settled = 0;
    std::int64_t similar = 0;
    std::int64_t scanned = 0;
    std::int64_t byLevel[ScanSummary::kLevels] = {};

    void Count(const ScanStats& stats, bool similarPair)
    {
        ++pairs;
        similar += similarPair;
        scanned += stats.pixelsScanned;
        if (stats.settled == ScanStats::Settled::Scan)
            return;
        ++settled;
        for (int i = 0; i < ScanSummary::kLevels; ++i)
            byLevel[i] += stats.blockSize == ScanSummary::kBlockSizes[std::size_t(i)];
    }
    void Report(benchmark::State& state, std::int64_t area) const
    {
        const double n = double(std::max<std::int64_t>(pairs, 1));
        state.counters["pairs/s"] = benchmark::Counter(double(pairs), benchmark::Counter::kIsRate);
        state.counters["settled"] = double(settled) / n;
        state.counters["similar"] = double(similar) / n;
        state.counters["scanned"] = double(scanned) / (double(area) * n);
        if (settled == 0)
            return;
        // Of the settled pairs, the share each level settled.
        for (int i = 0; i < ScanSummary::kLevels; ++i) {
            state.counters["at" + std::to_string(ScanSummary::kBlockSizes[std::size_t(i)])] =
                double(byLevel[i]) / double(settled);
        }
    }
};

void Prepare(benchmark::State& state, const Pictures& pictures)
{
    const TBitmap& bitmap = pictures.photoBitmaps.front();
    SumPlane plane;
    ScanSummary summary;
    for (auto _ : state) {
        plane.Assign(bitmap);
        summary.Assign(plane);
        benchmark::DoNotOptimize(summary.Origin());
    }
    state.counters["summary KB"] = double(summary.Bytes()) / 1024.0;
}

void SummaryUnrelated(benchmark::State& state, const Pictures& pictures)
{
    PairCycle pair(pictures.photos.size());
    Tally tally;
    for (auto _ : state) {
        const Prepared& a = pictures.photos[pair.first];
        const Prepared& b = pictures.photos[pair.second];
        ScanStats stats;
        const Verdict verdict = SummaryVerdict(a.summary, b.summary, kErrCount, kErrClr, &stats);
        benchmark::DoNotOptimize(verdict);
        tally.Count(stats, verdict == Verdict::Similar);
        pair.Next();
    }
    tally.Report(state, std::int64_t(pictures.width) * pictures.height);
}

void PlanesUnrelated(benchmark::State& state, const Pictures& pictures)
{
    PairCycle pair(pictures.photos.size());
    Tally tally;
    for (auto _ : state) {
        const Prepared& a = pictures.photos[pair.first];
        const Prepared& b = pictures.photos[pair.second];
        ScanStats stats;
        const bool similar =
            PlanesSimilar(a.plane, a.summary, b.plane, b.summary, kErrCount, kErrClr, &stats);
        benchmark::DoNotOptimize(similar);
        tally.Count(stats, similar);
        pair.Next();
    }
    tally.Report(state, std::int64_t(pictures.width) * pictures.height);
}

void SummaryNearDuplicate(benchmark::State& state, const Pictures& pictures)
{
    std::size_t i = 0;
    Tally tally;
    for (auto _ : state) {
        const Prepared& a = pictures.photos[i];
        const Prepared& b = pictures.copies[i];
        ScanStats stats;
        const Verdict verdict = SummaryVerdict(a.summary, b.summary, kErrCount, kErrClr, &stats);
        benchmark::DoNotOptimize(verdict);
        tally.Count(stats, verdict == Verdict::Similar);
        i = (i + 1) % pictures.photos.size();
    }
    tally.Report(state, std::int64_t(pictures.width) * pictures.height);
}

void PlanesNearDuplicate(benchmark::State& state, const Pictures& pictures)
{
    std::size_t i = 0;
    Tally tally;
    for (auto _ : state) {
        const Prepared& a = pictures.photos[i];
        const Prepared& b = pictures.copies[i];
        ScanStats stats;
        const bool similar =
            PlanesSimilar(a.plane, a.summary, b.plane, b.summary, kErrCount, kErrClr, &stats);
        benchmark::DoNotOptimize(similar);
        tally.Count(stats, similar);
        i = (i + 1) % pictures.photos.size();
    }
    tally.Report(state, std::int64_t(pictures.width) * pictures.height);
}

void BitmapsUnrelated(benchmark::State& state, const Pictures& pictures)
{
    PairCycle pair(pictures.photoBitmaps.size());
    Tally tally;
    for (auto _ : state) {
        const bool similar =
            WorkBitmapsSimilar(pictures.photoBitmaps[pair.first],
                               pictures.photoBitmaps[pair.second], kErrCount, kErrClr);
        benchmark::DoNotOptimize(similar);
        tally.Count({ScanStats::Settled::Scan, 0, std::int64_t(pictures.width) * pictures.height},
                    similar);
        pair.Next();
    }
    tally.Report(state, std::int64_t(pictures.width) * pictures.height);
}

void BitmapsNearDuplicate(benchmark::State& state, const Pictures& pictures)
{
    std::size_t i = 0;
    Tally tally;
    for (auto _ : state) {
        const bool similar = WorkBitmapsSimilar(pictures.photoBitmaps[i], pictures.copyBitmaps[i],
                                                kErrCount, kErrClr);
        benchmark::DoNotOptimize(similar);
        tally.Count({ScanStats::Settled::Scan, 0, std::int64_t(pictures.width) * pictures.height},
                    similar);
        i = (i + 1) % pictures.photoBitmaps.size();
    }
    tally.Report(state, std::int64_t(pictures.width) * pictures.height);
}

PixelBand BandOf(const Prepared& a, const Prepared& b)
{
    const int t0 = b.summary.Origin();
    const int base =
        t0 == 0 ? 0 : ExtendedRatio(std::uint32_t(a.summary.Origin()), std::uint32_t(t0));
    return PixelBand::Around(base, kErrClr);
}

void CountScanned(benchmark::State& state, double pixelsPerScan)
{
    state.counters["px/ns"] = benchmark::Counter(pixelsPerScan * double(state.iterations()) * 1e-9,
                                                 benchmark::Counter::kIsRate);
}

// The top 48 rows of one pair again and again: both stay in the level-2
// cache, so this is the loop's own speed.
void ScanCached(benchmark::State& state, const Pictures& pictures)
{
    const Prepared& a = pictures.photos[0];
    const Prepared& b = pictures.copies[0];
    const PixelBand band = BandOf(a, b);
    const int rows = std::min(48, a.plane.Height());
    for (auto _ : state) {
        benchmark::DoNotOptimize(CountDeviating(band, a.plane.Data(), b.plane.Data(),
                                                a.plane.Width(), a.plane.Width(), rows));
    }
    CountScanned(state, double(a.plane.Width()) * rows);
}

// Whole planes, each pair once and then the next: the sums come from memory.
void ScanMemory(benchmark::State& state, const Pictures& pictures)
{
    std::size_t i = 0;
    for (auto _ : state) {
        const Prepared& a = pictures.photos[i];
        const Prepared& b = pictures.copies[i];
        benchmark::DoNotOptimize(CountDeviating(BandOf(a, b), a.plane.Data(), b.plane.Data(),
                                                a.plane.Width(), a.plane.Width(),
                                                a.plane.Height()));
        i = (i + 1) % pictures.photos.size();
    }
    CountScanned(state, double(pictures.width) * pictures.height);
}

} // namespace
} // namespace orvelle

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    const auto pictures = std::make_unique<orvelle::Pictures>(orvelle::LoadPictures());
    if (pictures->photos.size() < 2) {
        std::fprintf(stderr, "at least two pictures of one size are needed\n");
        return 1;
    }
    benchmark::AddCustomContext("pictures", std::to_string(pictures->photos.size()) + " of " +
                                                std::to_string(pictures->width) + "x" +
                                                std::to_string(pictures->height) + ", " +
                                                pictures->origin);
    const auto add = [&](const char* name, auto run, benchmark::TimeUnit unit) {
        const orvelle::Pictures& set = *pictures;
        benchmark::RegisterBenchmark(name, [&set, run](benchmark::State& state) {
            run(state, set);
        })->Unit(unit);
    };
    add("Prepare", orvelle::Prepare, benchmark::kMicrosecond);
    add("Summary/Unrelated", orvelle::SummaryUnrelated, benchmark::kMicrosecond);
    add("Summary/NearDuplicate", orvelle::SummaryNearDuplicate, benchmark::kMicrosecond);
    add("Planes/Unrelated", orvelle::PlanesUnrelated, benchmark::kMicrosecond);
    add("Planes/NearDuplicate", orvelle::PlanesNearDuplicate, benchmark::kMicrosecond);
    add("Bitmaps/Unrelated", orvelle::BitmapsUnrelated, benchmark::kMicrosecond);
    add("Bitmaps/NearDuplicate", orvelle::BitmapsNearDuplicate, benchmark::kMicrosecond);
    add("Scan/Cached", orvelle::ScanCached, benchmark::kMicrosecond);
    add("Scan/Memory", orvelle::ScanMemory, benchmark::kMicrosecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
