#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "ExtendedRatio.h"
#include "FuzzyCompare.h"
#include "Picture.h"
#include "PixelBand.h"
#include "PixelScan.h"
#include "ScanSummary.h"
#include "SumPlane.h"
#include "TestSupport.h"

using orvelle::CountDeviating;
using orvelle::DeviationThreshold;
using orvelle::PixelBand;
using orvelle::PlanesSimilar;
using orvelle::RatioTable;
using orvelle::ScanStats;
using orvelle::ScanSummary;
using orvelle::SummaryVerdict;
using orvelle::SumPlane;
using orvelle::Verdict;
using orvelle::WorkBitmapsSimilar;

namespace {

constexpr int kSums = RatioTable::kSums;
constexpr std::int64_t kMaxRatio = 76500;

// The pixel rule as the comparison states it, through the ratio table.
bool RuleAgrees(int s, int t, std::int64_t low, std::int64_t high)
{
    if (s == t)
        return true;
    const std::int64_t r = t == 0 ? 0 : RatioTable::Instance()(s, t);
    return low <= r && r <= high;
}

// ---- pictures --------------------------------------------------------------

struct Bgr {
    int blue = 0;
    int green = 0;
    int red = 0;
};

// A colour whose channels add up to sum.
Bgr OfSum(int sum)
{
    const int b = std::min(255, sum / 3);
    const int g = std::min(255, (sum - b) / 2);
    return {b, g, sum - b - g};
}

TBitmap MakeBitmap(int width, int height, const std::function<Bgr(int x, int y)>& colour)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetWidth(width);
    bitmap.SetHeight(height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.PixelRow(y);
        for (int x = 0; x < width; ++x) {
            const Bgr c = colour(x, y);
            row[3 * x] = std::uint8_t(std::clamp(c.blue, 0, 255));
            row[3 * x + 1] = std::uint8_t(std::clamp(c.green, 0, 255));
            row[3 * x + 2] = std::uint8_t(std::clamp(c.red, 0, 255));
        }
    }
    return bitmap;
}

TBitmap Copy(const TBitmap& source)
{
    return MakeBitmap(source.Width(), source.Height(), [&](int x, int y) {
        const std::uint8_t* p = source.PixelRow(y) + 3 * x;
        return Bgr{p[0], p[1], p[2]};
    });
}

// Every channel of source times factor, plus noise of at most ±jitter.
TBitmap Scaled(const TBitmap& source, double factor, int jitter, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-jitter, jitter);
    return MakeBitmap(source.Width(), source.Height(), [&](int x, int y) {
        const std::uint8_t* p = source.PixelRow(y) + 3 * x;
        return Bgr{int(std::lround(p[0] * factor)) + noise(random),
                   int(std::lround(p[1] * factor)) + noise(random),
                   int(std::lround(p[2] * factor)) + noise(random)};
    });
}

int SumAt(const TBitmap& bitmap, int x, int y)
{
    const std::uint8_t* p = bitmap.PixelRow(y) + 3 * x;
    return p[0] + p[1] + p[2];
}

void SetSum(TBitmap& bitmap, int x, int y, int sum)
{
    const Bgr c = OfSum(sum);
    std::uint8_t* p = bitmap.PixelRow(y) + 3 * x;
    p[0] = std::uint8_t(c.blue);
    p[1] = std::uint8_t(c.green);
    p[2] = std::uint8_t(c.red);
}

// The kinds of picture the scan meets: soft photographs, grain, flat
// shapes, and all three at once.
enum class Kind { Smooth, Noise, Blocks, Mixed };

TBitmap MakePicture(Kind kind, int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double fx = 3 + 40 * unit(random), fy = 3 + 40 * unit(random);
    const double phase[3] = {6 * unit(random), 6 * unit(random), 6 * unit(random)};
    struct Patch {
        int x, y, w, h;
        Bgr colour;
    };
    std::vector<Patch> patches;
    for (int i = 0; i < 12; ++i) {
        const int w = 1 + int(random() % unsigned(std::max(1, width / 2)));
        const int h = 1 + int(random() % unsigned(std::max(1, height / 2)));
        patches.push_back({int(random() % unsigned(width)), int(random() % unsigned(height)), w, h,
                           Bgr{int(random() % 256), int(random() % 256), int(random() % 256)}});
    }
    std::uniform_int_distribution<int> grain(kind == Kind::Noise ? -128 : -6,
                                             kind == Kind::Noise ? 127 : 6);
    return MakeBitmap(width, height, [&](int x, int y) {
        Bgr c;
        int* channel[3] = {&c.blue, &c.green, &c.red};
        for (int k = 0; k < 3; ++k)
            *channel[k] =
                int(128 + 100 * std::sin(x / fx + phase[k]) * std::cos(y / fy - phase[k]));
        if (kind == Kind::Blocks || kind == Kind::Mixed) {
            for (const Patch& p : patches) {
                if (x >= p.x && x < p.x + p.w && y >= p.y && y < p.y + p.h)
                    c = p.colour;
            }
        }
        if (kind == Kind::Noise || kind == Kind::Mixed) {
            for (int k = 0; k < 3; ++k)
                *channel[k] += grain(random);
        }
        return c;
    });
}

// ---- the differential check ------------------------------------------------

const std::vector<int> kEdgeCounts{INT32_MIN, -1, 0, 1, 25, 99, 100, 101, INT32_MAX};
const std::vector<int> kEdgeColours{INT32_MIN, -101, -1, 0, 1, 25, 99, 100, 101, INT32_MAX};

// The deviating pixels, counted the plain way.
std::int64_t Deviations(const TBitmap& a, const TBitmap& b, int errClr)
{
    const int t0 = SumAt(b, 0, 0);
    const std::int64_t base = t0 == 0 ? 0 : RatioTable::Instance()(SumAt(a, 0, 0), t0);
    std::int64_t count = 0;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x)
            count += !RuleAgrees(SumAt(a, x, y), SumAt(b, x, y), base - errClr, base + errClr);
    }
    return count;
}

struct Prepared {
    explicit Prepared(const TBitmap& bitmap) : plane(bitmap), summary(plane) {}
    SumPlane plane;
    ScanSummary summary;
};

// PlanesSimilar against WorkBitmapsSimilar for the edge tolerances and for
// the shares where this pair's answer turns; the summaries' verdict is never
// wrong, and the whole-picture count matches the plain one.
void ExpectSameAnswers(const TBitmap& a, const TBitmap& b, const std::string& what)
{
    SCOPED_TRACE(what + " " + std::to_string(a.Width()) + "x" + std::to_string(a.Height()));
    const Prepared first(a), second(b);
    const std::int64_t area = std::int64_t(a.Width()) * a.Height();
    for (const int errClr : kEdgeColours) {
        std::vector<int> counts = kEdgeCounts;
        const std::int64_t deviating = Deviations(a, b, errClr);
        const int t0 = second.summary.Origin();
        const int base = t0 == 0 ? 0
                                 : orvelle::ExtendedRatio(std::uint32_t(first.summary.Origin()),
                                                          std::uint32_t(t0));
        EXPECT_EQ(CountDeviating(PixelBand::Around(base, errClr), first.plane.Data(),
                                 second.plane.Data(), a.Width(), a.Width(), a.Height()),
                  deviating)
            << "Err_Clr " << errClr;
        const int turn = int(deviating * 100 / area);
        for (int c = turn - 1; c <= turn + 2; ++c)
            counts.push_back(c);
        for (const int errCount : counts) {
            SCOPED_TRACE("Err_Count " + std::to_string(errCount) + " Err_Clr " +
                         std::to_string(errClr));
            const bool expected = WorkBitmapsSimilar(a, b, errCount, errClr);
            ScanStats stats;
            EXPECT_EQ(PlanesSimilar(first.plane, first.summary, second.plane, second.summary,
                                    errCount, errClr, &stats),
                      expected);
            EXPECT_LE(stats.pixelsScanned, area);
            const Verdict verdict = SummaryVerdict(first.summary, second.summary, errCount, errClr);
            if (verdict != Verdict::Unknown) {
                EXPECT_EQ(verdict == Verdict::Similar, expected);
            }
            EXPECT_EQ(stats.settled == ScanStats::Settled::Summary, verdict != Verdict::Unknown);
            EXPECT_EQ(expected, deviating < DeviationThreshold(area, errCount));
        }
    }
}

} // namespace

// ---- the facts the band is built on ----------------------------------------

TEST(PixelScanRatio, FactsTheBandReliesOnHoldForEveryPairOfSums)
{
    const RatioTable& ratio = RatioTable::Instance();
    for (int s = 0; s < kSums; ++s) {
        for (int t = 1; t < kSums; ++t) {
            const int r = ratio(s, t);
            const int floor = 100 * s / t;
            if (100 * s % t != 0) {
                ASSERT_EQ(r, floor) << s << "/" << t;
            } else {
                // A whole 100 s ÷ t: the value alone decides, as for k ÷ 100.
                ASSERT_EQ(r, orvelle::ExtendedRatio(std::uint32_t(floor), 100)) << s << "/" << t;
                ASSERT_TRUE(r == floor || r == floor - 1) << s << "/" << t;
            }
            if (s > 0) {
                ASSERT_GE(r, ratio(s - 1, t)) << s << "/" << t;
            }
            if (t > 1) {
                ASSERT_LE(r, ratio(s, t - 1)) << s << "/" << t;
            }
        }
        if (s > 0) {
            ASSERT_EQ(ratio(s, s), 100) << s;
        }
    }
    EXPECT_EQ(ratio(21, 20), 104); // a whole 105 that comes out one less
    EXPECT_EQ(ratio(765, 1), kMaxRatio);
}

// ---- the band ----------------------------------------------------------------

TEST(PixelBand, EachComparisonTurnsWhereTheRatioDoes)
{
    // Bands with one open side, for every bound the ratios can meet.
    std::vector<PixelBand> fromLow, toHigh;
    for (std::int64_t v = -1; v <= kMaxRatio + 1; ++v) {
        fromLow.push_back(PixelBand::Between(v, INT64_MAX));
        toHigh.push_back(PixelBand::Between(INT64_MIN, v));
    }
    const auto lower = [&](std::int64_t v) { return fromLow[std::size_t(v + 1)]; };
    const auto upper = [&](std::int64_t v) { return toHigh[std::size_t(v + 1)]; };
    const RatioTable& ratio = RatioTable::Instance();
    for (int s = 0; s < kSums; ++s) {
        for (int t = 1; t < kSums; ++t) {
            if (s == t)
                continue;
            const std::int64_t r = ratio(s, t);
            const std::int64_t floor = 100 * s / t;
            for (std::int64_t v : {r - 1, r, r + 1, floor - 1, floor, floor + 1, std::int64_t(0),
                                   kMaxRatio, kMaxRatio + 1}) {
                v = std::clamp<std::int64_t>(v, -1, kMaxRatio + 1);
                ASSERT_EQ(lower(v).Agrees(s, t), r >= v) << s << "/" << t << " low " << v;
                ASSERT_EQ(upper(v).Agrees(s, t), r <= v) << s << "/" << t << " high " << v;
            }
        }
    }
}

TEST(PixelBand, WholeRuleOnEveryPairAtTheEdgeBounds)
{
    const std::vector<std::int64_t> bounds{INT64_MIN / 2, -1,  0,   1,     99,        100,
                                           101,           105, 133, 76499, kMaxRatio, kMaxRatio + 1,
                                           INT64_MAX / 2};
    for (const std::int64_t low : bounds) {
        for (const std::int64_t high : bounds) {
            const PixelBand band = PixelBand::Between(low, high);
            for (int s = 0; s < kSums; ++s) {
                for (int t = 0; t < kSums; ++t) {
                    const bool agrees = RuleAgrees(s, t, low, high);
                    ASSERT_EQ(band.Agrees(s, t), agrees)
                        << s << "/" << t << " in " << low << " … " << high;
                    // A block of one sum each is judged exactly.
                    ASSERT_EQ(band.AllAgree(s, s, t, t), agrees) << s << "/" << t;
                    ASSERT_EQ(band.AllDeviate(s, s, t, t), !agrees) << s << "/" << t;
                }
            }
        }
    }
}

TEST(PixelBand, BlockBoundsHoldForEveryPixelTheyCoverAndBeatThePlainBound)
{
    std::mt19937 random(99);
    const RatioTable& ratio = RatioTable::Instance();
    const auto range = [&](int& mn, int& mx) {
        // Narrow ranges, often touching 0 or 765, sometimes one value.
        const int width = int(random() % 4 == 0 ? 0 : random() % 24);
        const int where = int(random() % 8);
        mn = where == 0 ? 0 : where == 1 ? 765 - width : int(random() % unsigned(kSums - width));
        mx = mn + width;
    };
    std::int64_t stronger = 0;
    for (int trial = 0; trial < 200000; ++trial) {
        int mnA, mxA, mnB, mxB;
        range(mnA, mxA);
        range(mnB, mxB);
        // Bases from the ranges' own ratios, so the band edges fall inside.
        const int base =
            trial % 7 == 0 ? 0
                           : ratio(mnA + int(random() % unsigned(mxA - mnA + 1)), std::max(1, mnB));
        const std::int64_t clr =
            trial % 5 == 0 ? std::int64_t(random() % 3) - 1 : std::int64_t(random() % 160) - 10;
        const std::int64_t low = base - clr, high = base + clr;
        const PixelBand band = PixelBand::Between(low, high);
        const bool deviate = band.AllDeviate(mnA, mxA, mnB, mxB);
        const bool agree = band.AllAgree(mnA, mxA, mnB, mxB);
        ASSERT_FALSE(deviate && agree);
        for (int s = mnA; s <= mxA && (deviate || agree); ++s) {
            for (int t = mnB; t <= mxB; ++t) {
                const bool agrees = RuleAgrees(s, t, low, high);
                ASSERT_FALSE(deviate && agrees) << s << "/" << t << " in " << low << " … " << high;
                ASSERT_FALSE(agree && !agrees) << s << "/" << t << " in " << low << " … " << high;
            }
        }
        // The plain bound from ⌊100 s ÷ t⌋ − 1 ≤ ratio ≤ ⌊100 s ÷ t⌋.
        const bool bandOut = (100 * mxA < low * mnB) ||
                             (100 * mnA > (high + 1) * mxB && !(mnB == 0 && low <= 0 && 0 <= high));
        const bool neverEqual = (low <= 100 && 100 <= high) || mxA < mnB || mnA > mxB;
        if (bandOut && neverEqual) {
            ASSERT_TRUE(deviate) << mnA << "…" << mxA << " / " << mnB << "…" << mxB;
        }
        stronger += deviate && !(bandOut && neverEqual);
    }
    EXPECT_GT(stronger, 0); // the exact comparisons settle blocks the plain bound cannot
}

// ---- the threshold -------------------------------------------------------------

TEST(DeviationThreshold, IsTheFirstCountWhoseShareIsNotTolerated)
{
    std::vector<std::int32_t> counts{INT32_MIN, -1, 0,  1,  3,   24,  25,
                                     26,        33, 50, 99, 100, 101, INT32_MAX};
    for (std::int64_t area = 1; area <= 300; ++area) {
        for (const std::int32_t e : counts) {
            std::int64_t expected = area + 1;
            for (std::int64_t c = 1; c <= area; ++c) {
                if (!orvelle::ShareTolerated(std::uint32_t(c), std::uint32_t(area), e)) {
                    expected = c;
                    break;
                }
            }
            ASSERT_EQ(DeviationThreshold(area, e), expected) << area << " " << e;
        }
    }
    std::mt19937 random(5);
    std::vector<std::int64_t> areas{1080000,       1200 * 900, INT32_MAX,
                                    INT32_MAX - 1, 1 << 30,    999999937};
    for (int i = 0; i < 300; ++i)
        areas.push_back(1 + std::int64_t(random() % unsigned(INT32_MAX)));
    for (int e = 0; e <= 100; ++e)
        counts.push_back(e);
    for (const std::int64_t area : areas) {
        for (const std::int32_t e : counts) {
            const std::int64_t t = DeviationThreshold(area, e);
            ASSERT_GE(t, 1);
            ASSERT_LE(t, area + 1);
            const auto tolerated = [&](std::int64_t c) {
                return orvelle::ShareTolerated(std::uint32_t(c), std::uint32_t(area), e);
            };
            if (t > 1) {
                ASSERT_TRUE(tolerated(t - 1)) << area << " " << e;
            }
            if (t <= area) {
                ASSERT_FALSE(tolerated(t)) << area << " " << e;
            }
        }
    }
    EXPECT_EQ(DeviationThreshold(0, 25), 0);
    EXPECT_EQ(DeviationThreshold(-7, 25), 0);
    EXPECT_EQ(DeviationThreshold(std::int64_t(INT32_MAX) + 1, 25), 0);
    EXPECT_EQ(DeviationThreshold(4, 25), 2); // one pixel of four is exactly 25 %
    EXPECT_EQ(DeviationThreshold(4, 100), 5);
}

// ---- planes and summaries ---------------------------------------------------------

TEST(ScanSummary, SumsAndBlockBoundsAgainstTheirPixels)
{
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{
             {1, 1}, {1, 77}, {77, 1}, {8, 8}, {9, 7}, {64, 64}, {65, 63}, {131, 67}, {300, 2}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        const TBitmap bitmap = MakePicture(Kind::Mixed, w, h, unsigned(w * 1000 + h));
        const SumPlane plane(bitmap);
        ASSERT_EQ(plane.Width(), w);
        ASSERT_EQ(plane.Height(), h);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(plane.At(x, y), SumAt(bitmap, x, y));
        }
        const ScanSummary summary(plane);
        EXPECT_EQ(summary.Origin(), SumAt(bitmap, 0, 0));
        for (int i = 0; i < ScanSummary::kLevels; ++i) {
            const ScanSummary::Level level = summary.LevelAt(i);
            const int g = level.blockSize;
            ASSERT_EQ(level.columns, (w + g - 1) / g);
            ASSERT_EQ(level.rows, (h + g - 1) / g);
            for (int by = 0; by < level.rows; ++by) {
                for (int bx = 0; bx < level.columns; ++bx) {
                    int mn = 765, mx = 0;
                    for (int y = by * g; y < std::min(h, by * g + g); ++y) {
                        for (int x = bx * g; x < std::min(w, bx * g + g); ++x) {
                            mn = std::min(mn, SumAt(bitmap, x, y));
                            mx = std::max(mx, SumAt(bitmap, x, y));
                        }
                    }
                    ASSERT_EQ(level.minima[by * level.columns + bx], mn)
                        << g << ": " << bx << "," << by;
                    ASSERT_EQ(level.maxima[by * level.columns + bx], mx)
                        << g << ": " << bx << "," << by;
                }
            }
        }
    }
    // Small beside the plane: a photograph's summary.
    const TBitmap photo = MakeBitmap(1200, 900, [](int x, int y) { return OfSum((x + y) % 766); });
    EXPECT_LT(ScanSummary(SumPlane(photo)).Bytes(), 100u * 1000u);

    TBitmap paletted;
    paletted.SetPixelFormat(TPixelFormat::pf8bit);
    paletted.SetSize(4, 4);
    EXPECT_THROW(SumPlane{paletted}, std::invalid_argument);
}

TEST(ScanSummary, BoundsOfAResampledPictureHoldItsSumsAndNeverMisjudgeAPair)
{
    // Shrunk, enlarged, and both at once, against the summary of the plane
    // actually resampled: every block's bounds hold the exact ones, and a
    // verdict from them is the scan's.
    const std::vector<std::array<int, 4>> cases{{131, 67, 40, 30},  {64, 64, 64, 8},
                                                {40, 30, 131, 67},  {301, 7, 9, 50},
                                                {200, 150, 61, 45}, {1, 1, 17, 3},
                                                {500, 400, 16, 12}, {9, 9, 9, 9}};
    unsigned seed = 500;
    int settled = 0;
    for (const auto& [sw, sh, tw, th] : cases) {
        for (const Kind kind : {Kind::Smooth, Kind::Blocks, Kind::Mixed}) {
            SCOPED_TRACE(std::to_string(sw) + "x" + std::to_string(sh) + " to " +
                         std::to_string(tw) + "x" + std::to_string(th) + " kind " +
                         std::to_string(int(kind)));
            const SumPlane source(MakePicture(kind, sw, sh, ++seed));
            const SumPlane resampled = source.Resampled(tw, th);
            const ScanSummary exact(resampled);
            ScanSummary bounds;
            bounds.AssignSampled(ScanSummary(source), resampled.At(0, 0), tw, th);
            ASSERT_EQ(bounds.Width(), tw);
            ASSERT_EQ(bounds.Height(), th);
            EXPECT_EQ(bounds.Origin(), exact.Origin());
            for (int i = 0; i < ScanSummary::kLevels; ++i) {
                const ScanSummary::Level e = exact.LevelAt(i);
                const ScanSummary::Level b = bounds.LevelAt(i);
                ASSERT_EQ(b.columns, e.columns);
                ASSERT_EQ(b.rows, e.rows);
                for (int k = 0; k < e.columns * e.rows; ++k) {
                    ASSERT_LE(b.minima[k], e.minima[k]) << "level " << i << " block " << k;
                    ASSERT_GE(b.maxima[k], e.maxima[k]) << "level " << i << " block " << k;
                }
            }
            // Against itself, a look-alike and a stranger of the target size.
            const SumPlane stranger(MakePicture(kind, tw, th, ++seed));
            for (const SumPlane* other : {&resampled, &stranger}) {
                const ScanSummary otherSummary(*other);
                for (const int errClr : {0, 10, 25, 60}) {
                    for (const int errCount : {0, 5, 25, 75}) {
                        const bool expected = PlanesSimilar(resampled, exact, *other, otherSummary,
                                                            errCount, errClr);
                        for (const bool boundsFirst : {true, false}) {
                            const Verdict v =
                                boundsFirst
                                    ? SummaryVerdict(bounds, otherSummary, errCount, errClr)
                                    : SummaryVerdict(otherSummary, bounds, errCount, errClr);
                            const bool answer =
                                boundsFirst ? expected
                                            : PlanesSimilar(*other, otherSummary, resampled,
                                                            exact, errCount, errClr);
                            if (v != Verdict::Unknown) {
                                ++settled;
                                EXPECT_EQ(v == Verdict::Similar, answer)
                                    << errCount << " " << errClr << " " << boundsFirst;
                            }
                        }
                    }
                }
            }
        }
    }
    // The bounds settle pairs, or the check above says little.
    EXPECT_GT(settled, 100);
}

TEST(SumPlane, AtOwnSizeIsWhatDrawingTheBitmapAtItsOwnSizeGives)
{
    // Every pixel format the picture layer keeps, drawn through the canvas.
    for (const TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit,
                                      TPixelFormat::pf8bit, TPixelFormat::pf16bit,
                                      TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
        SCOPED_TRACE(int(format));
        TBitmap source;
        source.SetPixelFormat(format);
        source.SetSize(37, 11);
        std::mt19937 random(unsigned(format) + 3);
        for (int y = 0; y < source.Height(); ++y) {
            std::uint8_t* row = source.PixelRow(y);
            for (std::int64_t i = 0; i < source.Stride(); ++i)
                row[i] = std::uint8_t(random());
        }
        TBitmap drawn;
        drawn.SetPixelFormat(TPixelFormat::pf24bit);
        drawn.SetSize(source.Width(), source.Height());
        TCanvas(drawn).DrawStretched({0, 0, source.Width(), source.Height()}, &source);
        const SumPlane expected(drawn);
        const SumPlane plane = SumPlane::AtOwnSize(source);
        ASSERT_EQ(plane.Width(), expected.Width());
        ASSERT_EQ(plane.Height(), expected.Height());
        for (int y = 0; y < plane.Height(); ++y) {
            for (int x = 0; x < plane.Width(); ++x)
                ASSERT_EQ(plane.At(x, y), expected.At(x, y)) << x << "," << y;
        }
    }
}

// ---- the scan against WorkBitmapsSimilar -------------------------------------------

TEST(PlanesSimilar, StructuredPicturesAgainstTheScanOfTheBitmaps)
{
    const std::vector<std::pair<int, int>> sizes{{1, 1},   {1, 40},  {40, 1},   {3, 2},    {7, 9},
                                                 {63, 65}, {64, 64}, {130, 70}, {201, 149}};
    unsigned seed = 1;
    for (const auto& [w, h] : sizes) {
        for (const Kind kind : {Kind::Smooth, Kind::Noise, Kind::Blocks, Kind::Mixed}) {
            const std::string name = "kind " + std::to_string(int(kind));
            const TBitmap a = MakePicture(kind, w, h, ++seed);
            const TBitmap other = MakePicture(kind, w, h, ++seed);
            ExpectSameAnswers(a, other, name + ", unrelated");
            ExpectSameAnswers(a, Copy(a), name + ", copy");
            ExpectSameAnswers(a, Scaled(a, 1.3, 3, ++seed), name + ", brighter");
            ExpectSameAnswers(Scaled(a, 0.6, 2, ++seed), a, name + ", darker");
        }
    }
}

TEST(PlanesSimilar, ChangedPixelsJustBelowAtAndAboveTheThreshold)
{
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{97, 61}, {64, 64}, {1, 300}}) {
        const TBitmap a = MakePicture(Kind::Smooth, w, h, unsigned(w + h));
        const Prepared first(a);
        const std::int64_t area = std::int64_t(w) * h;
        for (const int errCount : {0, 1, 10, 25, 50, 99}) {
            const std::int64_t threshold = DeviationThreshold(area, errCount);
            for (std::int64_t changed : {threshold - 1, threshold, threshold + 1}) {
                if (changed < 0 || changed >= area)
                    continue;
                // The changed pixels (never the base pixel) get a ratio far
                // outside any band near 100, scattered so they fall in many
                // blocks.
                TBitmap b = Copy(a);
                std::mt19937 random(static_cast<unsigned>(changed));
                std::vector<std::int64_t> order(std::size_t(area - 1));
                for (std::size_t i = 0; i < order.size(); ++i)
                    order[i] = std::int64_t(i) + 1;
                std::shuffle(order.begin(), order.end(), random);
                for (std::int64_t i = 0; i < changed; ++i) {
                    const int x = int(order[std::size_t(i)] % w),
                              y = int(order[std::size_t(i)] / w);
                    SetSum(b, x, y, SumAt(a, x, y) > 300 ? 3 : 765);
                }
                const Prepared second(b);
                const bool expected = WorkBitmapsSimilar(a, b, errCount, 25);
                ASSERT_EQ(expected, changed < threshold) << "the picture does not hit the edge";
                ScanStats stats;
                EXPECT_EQ(PlanesSimilar(first.plane, first.summary, second.plane, second.summary,
                                        errCount, 25, &stats),
                          expected)
                    << w << "x" << h << " Err_Count " << errCount << " changed " << changed;
            }
        }
    }
}

TEST(PlanesSimilar, BlackPixelsAndZeroSums)
{
    const int w = 90, h = 70;
    const TBitmap smooth = MakePicture(Kind::Smooth, w, h, 3);
    const auto blackened = [&](const TBitmap& source, int x0, int y0, int x1, int y1) {
        TBitmap b = Copy(source);
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x)
                SetSum(b, x, y, 0);
        }
        return b;
    };
    const TBitmap cornerBlack = blackened(smooth, 0, 0, 1, 1);
    const TBitmap topBlack = blackened(smooth, 0, 0, w, 20);   // t = 0 over whole blocks
    const TBitmap midBlack = blackened(smooth, 13, 9, 61, 50); // not on block lines
    const TBitmap allBlack = blackened(smooth, 0, 0, w, h);
    ExpectSameAnswers(cornerBlack, smooth, "black base pixel in the first");
    ExpectSameAnswers(smooth, cornerBlack, "black base pixel in the second");
    ExpectSameAnswers(cornerBlack, blackened(smooth, 0, 0, 1, 1), "black base pixel in both");
    ExpectSameAnswers(smooth, topBlack, "t = 0 rows");
    ExpectSameAnswers(topBlack, smooth, "s = 0 rows");
    ExpectSameAnswers(midBlack, topBlack, "zero sums in both, overlapping");
    ExpectSameAnswers(smooth, midBlack, "t = 0 patch");
    ExpectSameAnswers(allBlack, allBlack, "black against black");
    ExpectSameAnswers(allBlack, smooth, "black against a picture");
    ExpectSameAnswers(smooth, allBlack, "a picture against black");
    ExpectSameAnswers(blackened(MakePicture(Kind::Noise, w, h, 4), 0, 0, 1, 1), midBlack,
                      "noise with a black base pixel");
}

TEST(PlanesSimilar, RatiosThatLandExactlyOnTheBandEdges)
{
    // Pixels whose 100 s ÷ t is a whole k, against bands that start at k or
    // end just below it: the multiply-compare form decides these through F(k).
    const RatioTable& ratio = RatioTable::Instance();
    std::vector<std::pair<int, int>> exact; // (s, t) with t | 100 s
    for (int t = 1; t < kSums; t += 1) {
        for (int s = 1; s < kSums; ++s) {
            if (100 * s % t == 0 && s != t)
                exact.emplace_back(s, t);
        }
    }
    std::mt19937 random(17);
    const int w = 48, h = 40;
    for (int trial = 0; trial < 24; ++trial) {
        const auto [s0, t0] = exact[random() % exact.size()];
        const int k = 100 * s0 / t0;
        // Every pixel is a multiple of one exact pair or of its neighbours.
        std::vector<std::pair<int, int>> near;
        for (const auto& [s, t] : exact) {
            if (std::abs(100 * s / t - k) <= 1)
                near.emplace_back(s, t);
        }
        std::vector<std::pair<int, int>> pixels(std::size_t(w * h));
        for (auto& p : pixels)
            p = near[random() % near.size()];
        pixels[0] = {s0, t0};
        const TBitmap a = MakeBitmap(
            w, h, [&](int x, int y) { return OfSum(pixels[std::size_t(y * w + x)].first); });
        const TBitmap b = MakeBitmap(
            w, h, [&](int x, int y) { return OfSum(pixels[std::size_t(y * w + x)].second); });
        const int base = ratio(s0, t0);
        const Prepared first(a), second(b);
        for (const int errClr : {base - k, k - 1 - base, base - k + 1, k - base, 0}) {
            for (const int errCount : {0, 10, 50, 90}) {
                EXPECT_EQ(PlanesSimilar(first.plane, first.summary, second.plane, second.summary,
                                        errCount, errClr),
                          WorkBitmapsSimilar(a, b, errCount, errClr))
                    << s0 << "/" << t0 << " Err_Count " << errCount << " Err_Clr " << errClr;
            }
        }
        ExpectSameAnswers(a, b, "exact ratios near " + std::to_string(k));
    }
}

TEST(PlanesSimilar, RealPicturesFromTheCorpus)
{
    const QString corpus = orvelle::test::CorpusDir();
    if (corpus.isEmpty())
        GTEST_SKIP() << "the shared corpus is not here";
    std::vector<std::unique_ptr<TPicture>> pictures;
    for (const QString& name :
         QDir(corpus + "/bmp").entryList({"*.bmp"}, QDir::Files, QDir::Name)) {
        auto picture = std::make_unique<TPicture>();
        try {
            picture->LoadFile(corpus + "/bmp/" + name);
        } catch (const orvelle::Exception&) {
            continue; // the damaged files have their own tests
        }
        if (picture->Width() > 0 && picture->Height() > 0)
            pictures.push_back(std::move(picture));
    }
    ASSERT_GE(pictures.size(), 20u);
    int similar = 0, compared = 0;
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        for (std::size_t j = 0; j < pictures.size(); ++j) {
            if (i == j || (i * 7 + j) % 3 != 0)
                continue;
            const auto [width, height] =
                orvelle::CommonSize({pictures[i]->Width(), pictures[i]->Height()},
                                    {pictures[j]->Width(), pictures[j]->Height()});
            TBitmap a, b;
            for (TBitmap* bitmap : {&a, &b}) {
                bitmap->SetPixelFormat(TPixelFormat::pf24bit);
                bitmap->SetWidth(width);
                bitmap->SetHeight(height);
            }
            TCanvas(a).DrawStretched({0, 0, width, height}, pictures[i]->Graphic());
            TCanvas(b).DrawStretched({0, 0, width, height}, pictures[j]->Graphic());
            const Prepared first(a), second(b);
            for (const auto& [errCount, errClr] :
                 std::vector<std::pair<int, int>>{{25, 25}, {0, 0}, {10, 5}, {50, 60}}) {
                const bool expected = WorkBitmapsSimilar(a, b, errCount, errClr);
                ASSERT_EQ(PlanesSimilar(first.plane, first.summary, second.plane, second.summary,
                                        errCount, errClr),
                          expected)
                    << i << " against " << j << ", " << errCount << "/" << errClr;
                const Verdict verdict =
                    SummaryVerdict(first.summary, second.summary, errCount, errClr);
                if (verdict != Verdict::Unknown) {
                    ASSERT_EQ(verdict == Verdict::Similar, expected) << i << " against " << j;
                }
                similar += expected;
                ++compared;
            }
        }
    }
    // Both answers occur, or the corpus proves little.
    EXPECT_GT(similar, compared / 20);
    EXPECT_LT(similar, compared - compared / 20);
}

// ---- what the bounds are for ---------------------------------------------------------

TEST(PlanesSimilar, BoundsSettleClearPairsWithoutReadingPixels)
{
    const int w = 300, h = 200;
    // Half the pixels far outside the band of the base pixel, in flat halves.
    const Prepared halves(MakeBitmap(w, h, [](int x, int) { return OfSum(x < 150 ? 700 : 100); }));
    const Prepared flat(MakeBitmap(w, h, [](int, int) { return OfSum(300); }));
    ScanStats stats;
    EXPECT_FALSE(
        PlanesSimilar(halves.plane, halves.summary, flat.plane, flat.summary, 25, 25, &stats));
    EXPECT_EQ(stats.settled, ScanStats::Settled::Summary);
    EXPECT_EQ(stats.pixelsScanned, 0);
    EXPECT_TRUE(
        PlanesSimilar(halves.plane, halves.summary, flat.plane, flat.summary, 60, 25, &stats));
    EXPECT_EQ(stats.settled, ScanStats::Settled::Summary);

    // A slow gradient and a copy 5 % brighter: every block agrees.
    const TBitmap gradient =
        MakeBitmap(w, h, [](int x, int y) { return OfSum(200 + (x + 2 * y) / 4); });
    const TBitmap brighterBitmap = Scaled(gradient, 1.05, 0, 1);
    const Prepared slope(gradient), brighter(brighterBitmap);
    EXPECT_TRUE(
        PlanesSimilar(slope.plane, slope.summary, brighter.plane, brighter.summary, 0, 25, &stats));
    EXPECT_EQ(stats.settled, ScanStats::Settled::Summary);
    // With a band of ±2 points the blocks where the sums step are read, and
    // only those.
    EXPECT_EQ(
        PlanesSimilar(slope.plane, slope.summary, brighter.plane, brighter.summary, 0, 2, &stats),
        WorkBitmapsSimilar(gradient, brighterBitmap, 0, 2));
    EXPECT_EQ(stats.settled, ScanStats::Settled::Scan);
    EXPECT_GT(stats.pixelsScanned, 0);
    EXPECT_LT(stats.pixelsScanned, w * h);
}

TEST(PlanesSimilar, EmptyAndMismatchedPictures)
{
    TBitmap empty;
    empty.SetPixelFormat(TPixelFormat::pf24bit);
    const Prepared none(empty);
    EXPECT_FALSE(PlanesSimilar(none.plane, none.summary, none.plane, none.summary, 100, 100));
    EXPECT_EQ(SummaryVerdict(none.summary, none.summary, 100, 100), Verdict::NotSimilar);
    EXPECT_FALSE(WorkBitmapsSimilar(empty, empty, 100, 100));

    const Prepared wide(MakePicture(Kind::Smooth, 20, 10, 1));
    const Prepared tall(MakePicture(Kind::Smooth, 10, 20, 1));
    EXPECT_THROW(PlanesSimilar(wide.plane, wide.summary, tall.plane, tall.summary, 25, 25),
                 std::invalid_argument);
    EXPECT_THROW(SummaryVerdict(wide.summary, tall.summary, 25, 25), std::invalid_argument);
    EXPECT_THROW(PlanesSimilar(wide.plane, tall.summary, tall.plane, tall.summary, 25, 25),
                 std::invalid_argument);
}
