#include <cstdint>
#include <vector>

#include <QImage>

#include "Bitmap.h"
#include "BmpReader.h"
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
    if (!brush.pattern.isNull())
        return QBrush(brush.pattern);
    if (brush.style == Qt::SolidPattern)
        return QBrush(brush.colour);
    QImage cell(8, 8, QImage::Format_ARGB32);
    const QRgb gap = state.opaqueBackground ? state.backColour.rgb() : qRgba(0, 0, 0, 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            cell.setPixel(x, y, OnHatch(brush.style, x, y) ? brush.colour.rgb() : gap);
    return QBrush(cell);
}

Brush ReadPatternBrush(const RecordView& r, bool mono, const DcState& state)
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
    TBitmap bitmap;
    try {
        DecodeDib(record.sliced(infoAt, infoBytes), record.sliced(bitsAt, bitsBytes), bitmap);
    } catch (const Exception&) {
        return brush;
    }
    // A pattern cell larger than this is no pattern a real file holds.
    constexpr int kMaxCell = 4096;
    if (bitmap.Empty() || bitmap.Width() > kMaxCell || bitmap.Height() > kMaxCell)
        return brush;
    QImage cell(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
    // A monochrome brush paints its 0 bits in the text colour and its 1 bits
    // in the background colour.
    const bool twoColour = mono && bitmap.PixelFormat() == TPixelFormat::pf1bit;
    // Each row is converted once; converting it again for every pixel, as
    // PixelColour does, made a large cell take hours.
    std::vector<std::uint8_t> line(twoColour ? 0 : std::size_t(bitmap.Width()) * 3);
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* bits = twoColour ? bitmap.PixelRow(y) : nullptr;
        if (!twoColour)
            ConvertRowToBgr(bitmap, y, line.data());
        for (int x = 0; x < bitmap.Width(); ++x) {
            if (twoColour) {
                const bool one = (bits[x / 8] >> (7 - x % 8)) & 1;
                cell.setPixel(x, y, (one ? state.backColour : state.textColour).rgb());
            } else {
                const std::uint8_t* c = line.data() + std::size_t(x) * 3;
                cell.setPixel(x, y, qRgb(c[2], c[1], c[0]));
            }
        }
    }
    brush.null = false;
    brush.pattern = cell;
    return brush;
}

} // namespace orvelle
