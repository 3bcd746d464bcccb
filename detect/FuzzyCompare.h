#pragma once

#include <QString>

#include "CheckDefaults.h"

class TBitmap;

namespace orvelle {

// What the fuzzy comparison takes from the run besides the two paths.
struct FuzzyOptions {
    bool IgnoreSize = true;
    int Err_Count = kDefaultErrCount; // largest share of deviating pixels, in percent
    int Err_Clr = kDefaultErrClr;     // largest distance from the base ratio, in points
};

// Whether the two pictures look alike once drawn at a common size: the
// narrower picture's size (at equal widths the lower one's, at equal sizes
// the first's), unless sizes must match. Each pixel's brightness ratio
// (sum of the first over sum of the second, in percent) is compared with
// the ratio at the top-left pixel; more than Err_Count percent of pixels off
// by more than Err_Clr points make the pair not similar. Directional: Path1
// is always divided by Path2. Loading and drawing errors pass on.
bool ImagesSimilar(const QString& Path1, const QString& Path2, const FuzzyOptions& options);

// The common size of two pictures: the narrower one's, at equal widths the
// lower one's, at equal sizes the first's.
struct PictureSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PictureSize&, const PictureSize&) = default;
};
PictureSize CommonSize(PictureSize first, PictureSize second);

// The pixel scan alone, over two 24-bit work bitmaps of one size.
bool WorkBitmapsSimilar(const TBitmap& first, const TBitmap& second, int Err_Count, int Err_Clr);

} // namespace orvelle
