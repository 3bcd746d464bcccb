#pragma once

#include <climits>
#include <cstdint>
#include <limits>
#include <vector>

#include <QByteArrayView>
#include <QImage>
#include <QSize>

#include "Canvas.h"

namespace orvelle {

// An entry's or the display's number of colours when it has no limit.
constexpr std::int64_t kUnlimitedColours = std::numeric_limits<std::int64_t>::max();

// The platform's standard icon size.
constexpr int kStandardIconSize = 32;

// One 16-byte entry of an icon file's directory.
struct IconEntry {
    int width = 0;                            // a stored 0 means 256
    int height = 0;                           // a stored 0 means 256
    std::int64_t colours = kUnlimitedColours; // a stored colour count of 0 means unlimited
    std::uint32_t bytes = 0;
    std::uint32_t offset = 0;
};

// The directory of a type-1 icon file (the 6-byte header included). A
// directory that runs past the data, or one without entries, raises
// EInvalidGraphic.
std::vector<IconEntry> ReadIconDirectory(QByteArrayView file);

// The entry the platform takes for a target size and the display's colours:
// entry 0, replaced in file order by every later one whose colours are
// within the display's and no fewer than the taken one's, and whose size
// lies no farther from the target on either axis, and not beyond it unless
// the taken one lies farther beyond.
std::size_t ChooseIconEntry(const std::vector<IconEntry>& entries, int targetWidth,
                            int targetHeight, std::int64_t displayColours);

// The image of one entry (a DIB with its AND mask, or a PNG file) as
// non-premultiplied ARGB: alpha 0 where the target stays as it is. A 32-bit
// DIB whose alpha bytes are not all 0 is taken by its alpha channel and its
// AND mask is not used. Damaged data raises EInvalidGraphic.
//
// Only the top-left part within the given size is made (an icon is as large
// as its directory entry says, whatever its image claims); the image is then
// that part of the whole one, pixel for pixel.
QImage DecodeIconImage(QByteArrayView entry, QSize within = QSize(INT_MAX, INT_MAX));

// The standard application icon: a framed window, 32 × 32.
QImage StandardApplicationIcon();

// Puts the image with its top-left corner at (x, y) onto rows of
// blue-green-red pixels, blending by alpha; pixels outside the surface are
// left out.
void BlendIconImage(const BgrSurface& target, int x, int y, const QImage& image);

} // namespace orvelle
