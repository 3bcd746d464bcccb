#include "TernaryBlit.h"

#include <QBrush>
#include <QPainter>

#include "Errors.h"
#include "RasterOps.h"

namespace orvelle {

namespace {

constexpr std::uint32_t kColourBits = 0xFFFFFF;
// The images below are drawn opaque: the raster operations of the painter
// combine colour bits only and leave every device pixel opaque.
constexpr QRgb kOpaque = 0xFF000000;

// Puts the painter's composition mode back however the drawing ends.
class KeptMode {
public:
    explicit KeptMode(QPainter& painter) : painter_(painter), mode_(painter.compositionMode()) {}
    ~KeptMode() { painter_.setCompositionMode(mode_); }
    KeptMode(const KeptMode&) = delete;
    KeptMode& operator=(const KeptMode&) = delete;

private:
    QPainter& painter_;
    QPainter::CompositionMode mode_;
};

} // namespace

BrushPixels::BrushPixels(const QBrush& brush, const QPainter& painter, const QRect& area)
    : area_(area)
{
    if (brush.style() == Qt::NoBrush) {
        none_ = true;
        return;
    }
    if (brush.style() == Qt::SolidPattern && brush.color().alpha() == 255) {
        solid_ = brush.color().rgb() & kColourBits;
        return;
    }
    // Hatches and patterns: the brush fills a picture of the area exactly
    // as it would fill the area on the painter itself.
    image_ = QImage(area.size(), QImage::Format_ARGB32);
    if (image_.isNull())
        throw EOutOfResources(OutOfResourcesText());
    image_.fill(Qt::transparent);
    QPainter fill(&image_);
    fill.setCompositionMode(QPainter::CompositionMode_Source);
    fill.translate(-area.topLeft());
    fill.setBrushOrigin(painter.brushOrigin());
    fill.fillRect(area, brush);
}

void PaintTernary(QPainter& painter, const QRect& area, const TernarySource& pixelAt)
{
    if (area.isEmpty())
        return;
    QImage keep(area.size(), QImage::Format_RGB32);
    QImage flip(area.size(), QImage::Format_RGB32);
    if (keep.isNull() || flip.isNull())
        throw EOutOfResources(OutOfResourcesText());
    bool keepsAll = true;
    bool flipsNone = true;
    // Neighbouring pixels mostly share their pattern and source colours.
    TernaryPixel last;
    RopSteps lastSteps;
    bool haveLast = false;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* keepRow = reinterpret_cast<QRgb*>(keep.scanLine(y - area.top()));
        auto* flipRow = reinterpret_cast<QRgb*>(flip.scanLine(y - area.top()));
        for (int x = area.left(); x <= area.right(); ++x) {
            TernaryPixel pixel;
            RopSteps steps;
            if (pixelAt(x, y, pixel)) {
                if (!haveLast || pixel.operation != last.operation ||
                    pixel.pattern != last.pattern || pixel.source != last.source) {
                    lastSteps = RopStepsFor(pixel.operation, pixel.pattern, pixel.source);
                    last = pixel;
                    haveLast = true;
                }
                steps = lastSteps;
            }
            const std::uint32_t k = steps.keep & kColourBits;
            const std::uint32_t f = steps.flip & kColourBits;
            keepRow[x - area.left()] = kOpaque | k;
            flipRow[x - area.left()] = kOpaque | f;
            keepsAll = keepsAll && k == kColourBits;
            flipsNone = flipsNone && f == 0;
        }
    }
    const KeptMode kept(painter);
    if (!keepsAll) {
        painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        painter.drawImage(area.topLeft(), keep);
    }
    if (!flipsNone) {
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.drawImage(area.topLeft(), flip);
    }
}

} // namespace orvelle
