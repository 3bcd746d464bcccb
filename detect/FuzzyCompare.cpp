#include "FuzzyCompare.h"

#include <cstdint>
#include <memory>

#include "Bitmap.h"
#include "Canvas.h"
#include "ExtendedRatio.h"
#include "Picture.h"

namespace orvelle {

namespace {

int Sum(const std::uint8_t* p)
{
    return p[0] + p[1] + p[2];
}

// Each work bitmap is made as the comparison always makes it: 24 bits, then
// its width, then its height, white until drawn on.
void SizeWorkBitmaps(TBitmap& first, TBitmap& second, int width, int height)
{
    first.SetWidth(width);
    first.SetHeight(height);
    second.SetWidth(width);
    second.SetHeight(height);
}

} // namespace

PictureSize CommonSize(PictureSize first, PictureSize second)
{
    const bool takeSecond =
        first.width > second.width || (first.width == second.width && first.height > second.height);
    return takeSecond ? second : first;
}

bool WorkBitmapsSimilar(const TBitmap& first, const TBitmap& second, int Err_Count, int Err_Clr)
{
    const int width = first.Width();
    const int height = first.Height();
    const std::int64_t area64 = std::int64_t(width) * height;
    if (area64 <= 0 || area64 > INT32_MAX)
        return false;
    const auto area = static_cast<std::uint32_t>(area64);
    const RatioTable& ratio = RatioTable::Instance();

    const int base = [&] {
        const int t = Sum(second.PixelRow(0));
        return t == 0 ? 0 : ratio(Sum(first.PixelRow(0)), t);
    }();
    // Beyond these the tolerance cannot be met; comparing the ratio with
    // them in 64 bits keeps huge tolerances from overflowing.
    const std::int64_t low = std::int64_t(base) - Err_Clr;
    const std::int64_t high = std::int64_t(base) + Err_Clr;

    std::uint32_t deviating = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* a = first.PixelRow(y);
        const std::uint8_t* b = second.PixelRow(y);
        for (int x = 0; x < width; ++x, a += 3, b += 3) {
            const int s = Sum(a);
            const int t = Sum(b);
            if (s == t)
                continue;
            const int r = t == 0 ? 0 : ratio(s, t);
            if (r >= low && r <= high)
                continue;
            if (!ShareTolerated(++deviating, area, Err_Count))
                return false;
        }
    }
    return true;
}

bool ImagesSimilar(const QString& Path1, const QString& Path2, const FuzzyOptions& options)
{
    TBitmap first;
    TBitmap second;
    first.SetPixelFormat(TPixelFormat::pf24bit);
    second.SetPixelFormat(TPixelFormat::pf24bit);
    {
        // Both files are loaded before sizes decide anything, so a bad second
        // file is reported even when the sizes differ.
        TPicture picture1;
        TPicture picture2;
        picture1.LoadFile(Path1);
        picture2.LoadFile(Path2);
        const int w1 = picture1.Width(), h1 = picture1.Height();
        const int w2 = picture2.Width(), h2 = picture2.Height();
        if (!options.IgnoreSize && (w1 != w2 || h1 != h2))
            return false;
        const auto [width, height] = CommonSize({w1, h1}, {w2, h2});
        SizeWorkBitmaps(first, second, width, height);
        const TRect rect{0, 0, width, height};
        TCanvas(first).DrawStretched(rect, picture1.Graphic());
        TCanvas(second).DrawStretched(rect, picture2.Graphic());
    }
    return WorkBitmapsSimilar(first, second, options.Err_Count, options.Err_Clr);
}

} // namespace orvelle
