#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>

#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QTransform>

#include "Bitmap.h"
#include "BmpReader.h"
#include "DibHeader.h"
#include "EmfContext.h"
#include "Errors.h"
#include "PixelConversion.h"

namespace orvelle {

namespace {

// Whether pixel (x, y) of an 8 × 8 hatch cell is on the hatch line.
bool OnHatch(Qt::BrushStyle style, int x, int y)
{
    switch (style) {
    case Qt::HorPattern:
        return y == 0;
    case Qt::VerPattern:
        return x == 0;
    case Qt::FDiagPattern:
        return x == y;
    case Qt::BDiagPattern:
        return x + y == 7;
    case Qt::CrossPattern:
        return x == 0 || y == 0;
    case Qt::DiagCrossPattern:
        return x == y || x + y == 7;
    default:
        return true;
    }
}

constexpr std::uint32_t kDibRgbColours = 0;

Qt::PenStyle PenStyleOf(std::uint32_t style)
{
    switch (style & 0xF) {
    case 1:
        return Qt::DashLine;
    case 2:
        return Qt::DotLine;
    case 3:
        return Qt::DashDotLine;
    case 4:
        return Qt::DashDotDotLine;
    case 5:
        return Qt::NoPen;
    default:
        return Qt::SolidLine;
    }
}

Qt::BrushStyle HatchOf(std::uint32_t hatch)
{
    switch (hatch) {
    case 0:
        return Qt::HorPattern;
    case 1:
        return Qt::VerPattern;
    case 2:
        return Qt::FDiagPattern;
    case 3:
        return Qt::BDiagPattern;
    case 4:
        return Qt::CrossPattern;
    case 5:
        return Qt::DiagCrossPattern;
    default:
        return Qt::SolidPattern;
    }
}

Brush BrushOf(std::uint32_t style, std::uint32_t colour, std::uint32_t hatch)
{
    Brush b;
    b.colour = ColourOf(colour);
    if (style == 1)
        b.null = true;
    else if (style == 2)
        b.style = HatchOf(hatch);
    return b;
}

} // namespace

Pen ReadPenRecord(const RecordView& r)
{
    Pen pen;
    pen.style = PenStyleOf(r.U32(12));
    pen.null = pen.style == Qt::NoPen;
    pen.width = r.I32(16);
    pen.colour = ColourOf(r.U32(24));
    return pen;
}

Pen ReadExtPenRecord(const RecordView& r)
{
    Pen pen;
    const std::uint32_t style = r.U32(28);
    pen.style = PenStyleOf(style);
    pen.null = pen.style == Qt::NoPen || r.U32(36) == 1;
    // A cosmetic pen is always one pixel wide.
    pen.width = (style & 0xF0000) == 0x10000 ? double(r.U32(32)) : 0;
    pen.colour = ColourOf(r.U32(40));
    return pen;
}

Brush ReadBrushRecord(const RecordView& r)
{
    return BrushOf(r.U32(12), r.U32(16), r.U32(20));
}

QBrush BrushToQt(const Brush& brush, const DcState& state)
{
    if (brush.null)
        return QBrush(Qt::NoBrush);
    if (!brush.pattern.isNull()) {
        QBrush pattern(brush.pattern);
        if (!brush.patternOrigin.isNull())
            pattern.setTransform(
                QTransform::fromTranslate(brush.patternOrigin.x(), brush.patternOrigin.y()));
        return pattern;
    }
    if (brush.style == Qt::SolidPattern)
        return QBrush(brush.colour);
    QImage cell(8, 8, QImage::Format_ARGB32);
    const QRgb gap = state.opaqueBackground ? state.backColour.rgb() : qRgba(0, 0, 0, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            cell.setPixel(x, y, OnHatch(brush.style, x, y) ? brush.colour.rgb() : gap);
    return QBrush(cell);
}

std::optional<QRect> PatternReach(const QPainter& painter)
{
    const QPaintDevice* device = painter.device();
    const QTransform& world = painter.worldTransform();
    const auto whole = [](double v) { return v == std::floor(v) && std::abs(v) <= kCoordinateLimit; };
    if (device == nullptr || world.type() > QTransform::TxTranslate || !whole(world.dx()) ||
        !whole(world.dy()))
        return std::nullopt;
    return QRect(-int(world.dx()), -int(world.dy()), device->width(), device->height());
}

Brush ReadPatternBrush(const RecordView& r, bool mono, const DcState& state,
                       const PatternRoom& room)
{
    // Index, usage, then where the bitmap info and bits lie in the record.
    const std::uint32_t usage = r.U32(12);
    const std::uint32_t infoAt = r.U32(16);
    const std::uint32_t infoBytes = r.U32(20);
    const std::uint32_t bitsAt = r.U32(24);
    const std::uint32_t bitsBytes = r.U32(28);
    Brush brush;
    brush.null = true;
    if ((!mono && usage != kDibRgbColours) || infoBytes == 0 ||
        !r.Holds(qsizetype(infoAt), infoBytes) || !r.Holds(qsizetype(bitsAt), bitsBytes))
        return brush;
    const QByteArrayView record(r.data.constData() + r.offset, r.size);
    // A pattern cell larger than this is no pattern a real file holds; it is
    // refused by its header, before anything is decoded.
    constexpr std::int64_t kMaxCell = 4096;
    TBitmap bitmap;
    try {
        const DibHeader dib = ParseDibHeader(record.sliced(infoAt, infoBytes));
        if (dib.info.width > kMaxCell || std::abs(std::int64_t(dib.info.height)) > kMaxCell)
            return brush;
        DecodeDib(dib, record.sliced(bitsAt, bitsBytes), bitmap);
    } catch (const Exception&) {
        return brush;
    }
    if (bitmap.Empty())
        return brush;
    const int cellWidth = bitmap.Width();
    const int cellHeight = bitmap.Height();
    // Only as much of the tile as can show is made: along an axis where the
    // reach is narrower than the tile, the reach's own stretch of it, the
    // tile laid from the painter's origin as ever.
    QRect kept(0, 0, cellWidth, cellHeight);
    if (room.reach && room.reach->width() < cellWidth) {
        kept.setLeft(room.reach->left());
        kept.setWidth(room.reach->width());
    }
    if (room.reach && room.reach->height() < cellHeight) {
        kept.setTop(room.reach->top());
        kept.setHeight(room.reach->height());
    }
    if (kept.isEmpty())
        return brush;
    MemoryBudget::Share share;
    if (room.budget)
        share = room.budget->Take(std::int64_t(kept.width()) * kept.height() * 4);
    QImage cell(kept.width(), kept.height(), QImage::Format_RGB32);
    if (cell.isNull())
        throw EOutOfResources(OutOfResourcesText());
    const auto wrap = [](std::int64_t v, int size) { return int(((v % size) + size) % size); };
    // A monochrome brush paints its 0 bits in the text colour and its 1 bits
    // in the background colour.
    const bool twoColour = mono && bitmap.PixelFormat() == TPixelFormat::pf1bit;
    const TBitmap& source = bitmap;
    const PixelReader reader(source);
    const QRgb zeroBits = state.textColour.rgb();
    const QRgb oneBits = state.backColour.rgb();
    for (int y = 0; y < kept.height(); ++y) {
        const std::uint8_t* bits = source.PixelRow(wrap(std::int64_t(kept.top()) + y, cellHeight));
        auto* out = reinterpret_cast<QRgb*>(cell.scanLine(y));
        for (int x = 0; x < kept.width(); ++x) {
            const int sx = wrap(std::int64_t(kept.left()) + x, cellWidth);
            if (twoColour) {
                const bool one = (bits[sx / 8] >> (7 - sx % 8)) & 1;
                out[x] = one ? oneBits : zeroBits;
            } else {
                const BgrColour c = reader.At(bits, sx);
                out[x] = qRgb(c.red, c.green, c.blue);
            }
        }
    }
    brush.null = false;
    brush.pattern = cell;
    brush.patternOrigin = kept.topLeft();
    brush.patternShare = std::make_shared<const MemoryBudget::Share>(std::move(share));
    return brush;
}

} // namespace orvelle
