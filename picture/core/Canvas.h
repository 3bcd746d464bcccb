#pragma once

#include <cstdint>
#include <functional>

#include <QColor>

#include "Graphic.h"
#include "PixelTypes.h"

class QPainter;
class TBitmap;

// Where pictures are drawn: a 24-bit work bitmap, or a window's painter.
// Bitmaps are copied (source copy) with nearest-pixel scaling by one fixed
// rule: target pixel x of a target w wide takes source pixel
// ⌊(2x + 1) · W / (2w)⌋ of a source W wide, and the same for rows. A
// two-colour source that is shrunk combines the pixels that fall into one
// target pixel with AND, so black wins.
class TCanvas {
public:
    // Drawing on a bitmap of another format first converts it to 24 bits.
    explicit TCanvas(TBitmap& target);
    // Drawing through a painter onto a device of this size in pixels.
    TCanvas(QPainter& painter, int deviceWidth, int deviceHeight);
    // The same, where only the device's pixels inside visible need painting
    // (a paint event's exposed rectangle): a bitmap drawn at any size is
    // made for that part alone, so a picture larger than any one image can
    // be still shows where the window shows it.
    TCanvas(QPainter& painter, int deviceWidth, int deviceHeight, const TRect& visible);

    // The canvas's brush and font colours: white and the window-text colour.
    QColor BrushColor{Qt::white};
    QColor FontColor{Qt::black};

    // Draws the graphic at its own size with its top-left corner at (x, y);
    // nothing for an absent or empty graphic.
    void DrawAt(int x, int y, TGraphic* graphic);
    // Draws the graphic scaled into rect; nothing for an absent graphic.
    void DrawStretched(const TRect& rect, TGraphic* graphic);

    // What the graphic kinds draw with.
    void StretchBitmap(const TRect& rect, const TBitmap& source);
    // Vector drawing: draw paints on the target in its pixel coordinates,
    // the work bitmap's rows wrapped in place or the window's painter.
    void PaintWith(const std::function<void(QPainter&)>& draw);
    TBitmap* TargetBitmap() const noexcept { return bitmap_; }
    QPainter* TargetPainter() const noexcept { return painter_; }

    // How many source pixels the bitmap draws on this canvas have looked
    // at: what drawing cost, which follows the pixels drawn and the data a
    // file holds, never the size it claims. For tests and benchmarks.
    std::int64_t SourcePixelsRead() const noexcept { return sourcePixelsRead_; }

private:
    TBitmap* bitmap_ = nullptr;
    QPainter* painter_ = nullptr;
    // The device's pixels that are painted, in its coordinates.
    TRect visible_{};
    std::int64_t sourcePixelsRead_ = 0;
};

namespace orvelle {

// Copies source into rect of the surface by the canvas rule above, changing
// only the pixels inside both rect and the surface. Only the source pixels
// the rule takes are looked at, the rows past a file's data once; answers
// how many were.
std::int64_t StretchCopy(const BgrSurface& target, const TRect& rect, const TBitmap& source);

// The source pixel a target pixel takes: ⌊(2t + 1) · sourceSize / (2 · targetSize)⌋.
int NearestSource(std::int64_t t, std::int64_t sourceSize, std::int64_t targetSize);

} // namespace orvelle
