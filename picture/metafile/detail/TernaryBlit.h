#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include <QImage>
#include <QRect>
#include <QRgb>

class QBrush;
class QPainter;

namespace orvelle {

// One target pixel of a block transfer by a ternary raster operation: the
// operation's index and the pattern and source colours (0xRRGGBB) it
// combines with the destination.
struct TernaryPixel {
    std::uint8_t operation = 0xAA;
    std::uint32_t pattern = 0;
    std::uint32_t source = 0;
};

// A brush's colours over an area of a painter, laid as that painter lays
// the brush when it fills, so that a pattern lines up with the fills around
// it. None where the brush leaves a pixel alone: everywhere for a null
// brush, the gaps of a hatch on a transparent background.
class BrushPixels {
public:
    BrushPixels(const QBrush& brush, const QPainter& painter, const QRect& area);

    // x and y in the painter's coordinates, inside area.
    std::optional<std::uint32_t> At(int x, int y) const
    {
        if (none_)
            return std::nullopt;
        if (solid_)
            return solid_;
        const QRgb c =
            reinterpret_cast<const QRgb*>(image_.constScanLine(y - area_.top()))[x - area_.left()];
        if (qAlpha(c) == 0)
            return std::nullopt;
        return c & 0xFFFFFFU;
    }

private:
    QRect area_;
    bool none_ = false;
    std::optional<std::uint32_t> solid_;
    QImage image_;
};

// What a ternary transfer does at pixel (x, y): fills in the pixel and
// answers true, or answers false where the destination stays as it is.
using TernarySource = std::function<bool(int x, int y, TernaryPixel& pixel)>;

// Combines every pixel of area (painter coordinates) with what the
// painter's device holds there, as pixelAt says, and keeps the painter's
// clipping. The device's pixels are never read, so a window's painter
// serves as well as a work bitmap's; the painter's composition mode is
// handed back as it came. Raises EOutOfResources when the two images the
// area takes do not fit.
void PaintTernary(QPainter& painter, const QRect& area, const TernarySource& pixelAt);

} // namespace orvelle
