#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include "Bitmap.h"
#include "BmpReader.h"
#include "Canvas.h"
#include "DibHeader.h"
#include "EmfContext.h"
#include "Errors.h"
#include "PixelConversion.h"
#include "RasterOps.h"
#include "TernaryBlit.h"

namespace orvelle {

namespace {

// The operations drawn without combining anything: a copy of the source,
// the fills, and the one that leaves the destination as it is. Every other
// operation is combined pixel by pixel (Combine).
constexpr std::uint8_t kSourceCopy = 0xCC;
constexpr std::uint8_t kPatternCopy = 0xF0;
constexpr std::uint8_t kBlackness = 0x00;
constexpr std::uint8_t kWhiteness = 0xFF;
constexpr std::uint8_t kDestination = 0xAA;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;

// Only colour tables of real colours are drawn; palette indices have no
// palette to refer to here.
constexpr std::uint32_t kDibRgbColours = 0;

// Where a bitmap's info and bits lie in its record. Every record gives them
// as four 32-bit fields in a row: info offset and size, bits offset and size.
struct BitmapFields {
    std::uint32_t infoAt = 0;
    std::uint32_t infoBytes = 0;
    std::uint32_t bitsAt = 0;
    std::uint32_t bitsBytes = 0;

    static BitmapFields At(const RecordView& r, qsizetype at)
    {
        return {r.U32(at), r.U32(at + 4), r.U32(at + 8), r.U32(at + 12)};
    }
};

// MaskBlt and PlgBlt: a bitmap of one bit a pixel laid over the source
// rectangle from (x, y) on. Its 1 bits take the foreground operation, its 0
// bits the background one.
struct Mask {
    std::int32_t x = 0;
    std::int32_t y = 0;
    BitmapFields bitmap;
};

struct Blit {
    QPointF destination;
    QPointF destinationSize;
    std::uint32_t rop = 0;
    int sourceX = 0;
    int sourceY = 0;
    int sourceWidth = 0;
    int sourceHeight = 0;
    BitmapFields bitmap;
    std::uint32_t usage = 0;
    // The source rectangle of a bottom-up DIB is measured from its
    // bottom-left corner.
    bool fromBottom = false;
    // AlphaBlend: the constant opacity, and whether the source's own alpha
    // (premultiplied) counts too.
    int constantAlpha = 255;
    bool sourceAlpha = false;
    // TransparentBlt: the source colour left out.
    std::optional<QRgb> transparent;
    // SetDIBitsToDevice may carry only a band of the bitmap's scan lines:
    // how many, counted as the stored rows run.
    std::optional<std::int32_t> bandRows;
    // The mask, and the operation of its 0 bits.
    std::optional<Mask> mask;
    std::uint8_t background = kDestination;
    // PlgBlt: the target pixels of the source rectangle's top-left,
    // top-right and bottom-left corners, instead of a destination box.
    std::optional<std::array<QPoint, 3>> corners;
};

// The destination in target pixels: which way it runs tells whether the
// source is mirrored.
struct Placement {
    QRect rect;
    bool mirrorX = false;
    bool mirrorY = false;
};

Placement Place(const Blit& blit, const EmfDrawing& dc)
{
    const QPoint a = dc.Map(blit.destination);
    const QPoint b = dc.Map(blit.destination + blit.destinationSize);
    Placement p;
    p.mirrorX = b.x() < a.x();
    p.mirrorY = b.y() < a.y();
    p.rect = PixelsBetween(a, b);
    return p;
}

// Which target pixels a blit draws, and which pixel of its source rectangle
// (an offset from the rectangle's top-left corner) each of them takes by the
// nearest-pixel rule. A box is worked out a column and a row at a time; a
// PlgBlt parallelogram that is not a box, pixel by pixel from the pixel's
// centre, which for a box gives the same pixels as the rule.
class Grid {
public:
    Grid(const Blit& blit, const EmfDrawing& dc)
    {
        std::optional<Placement> box;
        if (!blit.corners) {
            box = Place(blit, dc);
        } else {
            const auto [a, b, c] = *blit.corners;
            if (a.y() == b.y() && a.x() == c.x())
                box = Placement{PixelsBetween(a, b + c - a), b.x() < a.x(), c.y() < a.y()};
            else
                SetParallelogram(a, b, c, blit, dc.painter);
        }
        if (box)
            SetBox(*box, blit, dc.painter);
    }

    // The target pixels that may be drawn, all of them on the device.
    const QRect& Area() const { return area_; }

    bool At(int x, int y, std::int64_t& ox, std::int64_t& oy) const
    {
        if (!slanted_) {
            ox = columns_[std::size_t(x - area_.left())];
            oy = rows_[std::size_t(y - area_.top())];
            return true;
        }
        const double px = x + 0.5 - origin_.x();
        const double py = y + 0.5 - origin_.y();
        const double u = (px * across_[0] + py * across_[1]);
        const double v = (px * down_[0] + py * down_[1]);
        if (!(u >= 0 && u < 1 && v >= 0 && v < 1))
            return false;
        ox = std::min<std::int64_t>(std::int64_t(u * width_), width_ - 1);
        oy = std::min<std::int64_t>(std::int64_t(v * height_), height_ - 1);
        return true;
    }

private:
    void SetBox(const Placement& p, const Blit& blit, const QPainter& painter)
    {
        area_ = VisibleOnDevice(p.rect, painter);
        if (area_.isEmpty())
            return;
        const int width = p.rect.width();
        const int height = p.rect.height();
        columns_.resize(std::size_t(area_.width()));
        for (int x = area_.left(); x <= area_.right(); ++x) {
            const int tx = p.mirrorX ? p.rect.right() - x : x - p.rect.left();
            columns_[std::size_t(x - area_.left())] = NearestSource(tx, blit.sourceWidth, width);
        }
        rows_.resize(std::size_t(area_.height()));
        for (int y = area_.top(); y <= area_.bottom(); ++y) {
            const int ty = p.mirrorY ? p.rect.bottom() - y : y - p.rect.top();
            rows_[std::size_t(y - area_.top())] = NearestSource(ty, blit.sourceHeight, height);
        }
    }

    void SetParallelogram(const QPoint& a, const QPoint& b, const QPoint& c, const Blit& blit,
                          const QPainter& painter)
    {
        const QPointF e1 = b - a;
        const QPointF e2 = c - a;
        const double det = e1.x() * e2.y() - e1.y() * e2.x();
        if (det == 0 || blit.sourceWidth <= 0 || blit.sourceHeight <= 0)
            return;
        const QPoint d = b + c - a;
        const int left = std::min({a.x(), b.x(), c.x(), d.x()});
        const int top = std::min({a.y(), b.y(), c.y(), d.y()});
        const int right = std::max({a.x(), b.x(), c.x(), d.x()});
        const int bottom = std::max({a.y(), b.y(), c.y(), d.y()});
        area_ = VisibleOnDevice(QRect(left, top, right - left, bottom - top), painter);
        slanted_ = true;
        origin_ = a;
        // The inverse of the map (u, v) ↦ a + u·e1 + v·e2.
        across_ = {e2.y() / det, -e2.x() / det};
        down_ = {-e1.y() / det, e1.x() / det};
        width_ = blit.sourceWidth;
        height_ = blit.sourceHeight;
    }

    QRect area_;
    std::vector<std::int64_t> columns_;
    std::vector<std::int64_t> rows_;
    bool slanted_ = false;
    QPointF origin_;
    std::array<double, 2> across_{};
    std::array<double, 2> down_{};
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
};

// A bitmap of a record, decoded.
struct Decoded {
    TBitmap bitmap;
    // Stored bottom row first.
    bool bottomUp = false;
    // Plain 32-bit pixels, whose fourth byte may be their opacity.
    bool plain32 = false;
};

// Nothing when the bitmap lies outside the record, is damaged or empty, or
// does not fit the pixel memory.
std::optional<Decoded> Decode(const RecordView& r, const BitmapFields& at,
                              std::optional<std::int32_t> bandRows = {})
{
    const auto [infoAt, infoBytes, bitsAt, bitsBytes] = at;
    if (infoBytes == 0 || !r.Holds(qsizetype(infoAt), infoBytes) ||
        !r.Holds(qsizetype(bitsAt), bitsBytes))
        return std::nullopt;
    const QByteArrayView record(r.data.constData() + r.offset, r.size);
    Decoded d;
    try {
        DibHeader dib = ParseDibHeader(record.sliced(infoAt, infoBytes));
        d.bottomUp = dib.info.height > 0;
        if (bandRows && dib.info.headerSize >= kInfoHeaderSize) {
            // The band is a bitmap of its own rows only.
            dib.info.height = dib.info.height < 0 ? -*bandRows : *bandRows;
        }
        DecodeDib(dib, record.sliced(bitsAt, bitsBytes), d.bitmap);
        d.plain32 =
            d.bitmap.PixelFormat() == TPixelFormat::pf32bit && dib.info.compression == kBiRgb;
    } catch (const Exception&) {
        // A damaged bitmap draws nothing; the rest of the picture still plays.
        return std::nullopt;
    }
    if (d.bitmap.Empty())
        return std::nullopt;
    // A bitmap used to be drawn from a 24-bit copy of it whole, and one whose
    // copy did not fit the pixel memory drew nothing. It still draws nothing,
    // though now only the pixels drawn are looked at, so that every picture
    // keeps the pixels it had.
    if (RowStride(d.bitmap.Width(), 24) > PixelMemoryLimit() / d.bitmap.Height())
        return std::nullopt;
    return d;
}

// The source's decoded bitmap and the row its rectangle starts at.
struct Source {
    Decoded decoded;
    std::int64_t top = 0;
};

std::optional<Source> ReadSource(const Blit& blit, const RecordView& r)
{
    if (blit.usage != kDibRgbColours || blit.sourceWidth <= 0 || blit.sourceHeight <= 0)
        return std::nullopt;
    std::optional<Decoded> d =
        Decode(r, blit.bitmap, blit.bandRows);
    if (!d)
        return std::nullopt;
    const bool bottomUp = blit.fromBottom && d->bottomUp;
    const std::int64_t top =
        bottomUp ? std::int64_t(d->bitmap.Height()) - blit.sourceY - blit.sourceHeight
                 : std::int64_t(blit.sourceY);
    return Source{std::move(*d), top};
}

void Fill(std::uint8_t operation, const Blit& blit, EmfDrawing& dc)
{
    const Placement p = Place(blit, dc);
    if (p.rect.isEmpty())
        return;
    if (operation == kPatternCopy)
        dc.painter.fillRect(p.rect, dc.brush);
    else
        dc.painter.fillRect(p.rect,
                            operation == kBlackness ? QColor(Qt::black) : QColor(Qt::white));
}

void CopySource(const Blit& blit, const RecordView& r, EmfDrawing& dc)
{
    const std::optional<Source> read = ReadSource(blit, r);
    if (!read)
        return;
    const TBitmap& source = read->decoded.bitmap;
    const bool withAlpha = blit.sourceAlpha && read->decoded.plain32;
    const Grid grid(blit, dc);
    const QRect& visible = grid.Area();
    if (visible.isEmpty())
        return;
    QImage image(visible.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw EOutOfResources(OutOfResourcesText());
    image.fill(Qt::transparent);
    const PixelReader reader(source);
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y - visible.top()));
        for (int x = visible.left(); x <= visible.right(); ++x) {
            std::int64_t ox = 0;
            std::int64_t oy = 0;
            if (!grid.At(x, y, ox, oy))
                continue;
            const std::int64_t sx = blit.sourceX + ox;
            const std::int64_t sy = read->top + oy;
            if (sx < 0 || sx >= source.Width() || sy < 0 || sy >= source.Height())
                continue;
            const std::uint8_t* row = source.PixelRow(int(sy));
            const BgrColour bgr = reader.At(row, int(sx));
            const QRgb colour = qRgb(bgr.red, bgr.green, bgr.blue);
            if (blit.transparent && colour == *blit.transparent)
                continue;
            if (blit.constantAlpha == 255 && !withAlpha) {
                out[x - visible.left()] = colour;
                continue;
            }
            // The source is premultiplied by its own alpha (a colour channel
            // never above it), then everything is scaled by the constant one.
            const int a = withAlpha ? row[sx * 4 + 3] : 255;
            const int ca = blit.constantAlpha;
            const auto scaled = [a, ca](int v) { return (std::min(v, a) * ca + 127) / 255; };
            out[x - visible.left()] =
                qRgba(scaled(bgr.red), scaled(bgr.green), scaled(bgr.blue), scaled(a));
        }
    }
    dc.painter.drawImage(visible.topLeft(), image);
}

// Any ternary operation, or a mask's two: the pattern is the brush as the
// painter lays it, the source the record's bitmap by the nearest-pixel rule,
// the destination whatever the target holds. A pixel the operation needs
// and the blit lacks (a source pixel outside the bitmap, a gap of a hatch
// on a transparent background) is left as it is.
void Combine(const Blit& blit, const RecordView& r, EmfDrawing& dc)
{
    const std::uint8_t fore = RopIndex(blit.rop);
    const std::uint8_t back = blit.mask ? blit.background : fore;
    std::optional<Source> source;
    if (RopUsesSource(fore) || RopUsesSource(back)) {
        // An operation that takes a source cannot be drawn without one.
        source = ReadSource(blit, r);
        if (!source)
            return;
    }
    std::optional<Decoded> mask;
    if (blit.mask) {
        // A mask is one bit a pixel; any other bitmap in its place makes the
        // transfer fail.
        const Mask& m = *blit.mask;
        mask = Decode(r, m.bitmap);
        if (!mask || mask->bitmap.PixelFormat() != TPixelFormat::pf1bit)
            return;
    }
    const Grid grid(blit, dc);
    const QRect& area = grid.Area();
    if (area.isEmpty())
        return;
    std::optional<BrushPixels> brush;
    if (RopUsesPattern(fore) || RopUsesPattern(back))
        brush.emplace(dc.brush, dc.painter, area);
    std::optional<PixelReader> reader;
    if (source)
        reader.emplace(source->decoded.bitmap);
    PaintTernary(dc.painter, area, [&](int x, int y, TernaryPixel& pixel) {
        std::int64_t ox = 0;
        std::int64_t oy = 0;
        if (!grid.At(x, y, ox, oy))
            return false;
        pixel.operation = fore;
        if (mask) {
            const TBitmap& bits = mask->bitmap;
            const std::int64_t mx = blit.mask->x + ox;
            const std::int64_t my = blit.mask->y + oy;
            if (mx < 0 || mx >= bits.Width() || my < 0 || my >= bits.Height())
                return false;
            const std::uint8_t* row = bits.PixelRow(int(my));
            pixel.operation = ((row[mx / 8] >> (7 - mx % 8)) & 1) != 0 ? fore : back;
        }
        if (pixel.operation == kDestination)
            return false;
        if (RopUsesSource(pixel.operation)) {
            const TBitmap& bitmap = source->decoded.bitmap;
            const std::int64_t sx = blit.sourceX + ox;
            const std::int64_t sy = source->top + oy;
            if (sx < 0 || sx >= bitmap.Width() || sy < 0 || sy >= bitmap.Height())
                return false;
            const BgrColour c = reader->At(bitmap.PixelRow(int(sy)), int(sx));
            pixel.source = std::uint32_t(c.red) << 16 | std::uint32_t(c.green) << 8 | c.blue;
        }
        if (RopUsesPattern(pixel.operation)) {
            const std::optional<std::uint32_t> p = brush->At(x, y);
            if (!p)
                return false;
            pixel.pattern = *p;
        }
        return true;
    });
}

void Draw(const Blit& blit, const RecordView& r, EmfDrawing& dc)
{
    const std::uint8_t operation = RopIndex(blit.rop);
    if (!blit.mask) {
        switch (operation) {
        case kSourceCopy:
            CopySource(blit, r, dc);
            return;
        case kDestination:
            return;
        case kPatternCopy:
        case kBlackness:
        case kWhiteness:
            if (!blit.corners) {
                Fill(operation, blit, dc);
                return;
            }
            break;
        default:
            break;
        }
    }
    Combine(blit, r, dc);
}

// StretchDIBits and SetDIBitsToDevice share their first fields.
Blit DibBlit(const RecordView& r)
{
    Blit b;
    b.destination = QPointF(r.I32(24), r.I32(28));
    b.sourceX = r.I32(32);
    b.sourceY = r.I32(36);
    b.sourceWidth = r.I32(40);
    b.sourceHeight = r.I32(44);
    b.bitmap = BitmapFields::At(r, 48);
    b.usage = r.U32(64);
    b.fromBottom = true;
    return b;
}

Blit BlockBlit(const RecordView& r, bool stretch)
{
    Blit b;
    b.destination = QPointF(r.I32(24), r.I32(28));
    b.destinationSize = QPointF(r.I32(32), r.I32(36));
    b.rop = r.U32(40);
    b.sourceX = r.I32(44);
    b.sourceY = r.I32(48);
    b.usage = r.U32(80);
    b.bitmap = BitmapFields::At(r, 84);
    b.sourceWidth = stretch ? r.I32(100) : r.I32(32);
    b.sourceHeight = stretch ? r.I32(104) : r.I32(36);
    return b;
}

// The mask fields of MaskBlt and PlgBlt from byte at: position, usage (of
// no account for one bit a pixel), then where its info and bits lie. A
// record without mask bitmap has none.
std::optional<Mask> MaskAt(const RecordView& r, qsizetype at)
{
    const Mask m{r.I32(at), r.I32(at + 4), BitmapFields::At(r, at + 12)};
    if (m.bitmap.infoBytes == 0)
        return std::nullopt;
    return m;
}

} // namespace

QRect VisibleOnDevice(const QRect& rect, const QPainter& painter)
{
    const QPaintDevice* device = painter.device();
    if (device == nullptr)
        return {};
    return rect.intersected(QRect(0, 0, device->width(), device->height()));
}

bool PlayBitmapRecord(EmfRecord type, const RecordView& r, EmfDrawing& dc)
{
    switch (type) {
    case EmfRecord::StretchDIBits: {
        Blit b = DibBlit(r);
        b.rop = r.U32(68);
        b.destinationSize = QPointF(r.I32(72), r.I32(76));
        Draw(b, r, dc);
        return true;
    }
    case EmfRecord::SetDIBitsToDevice: {
        // The bits are copied at their own size in logical units.
        Blit b = DibBlit(r);
        b.rop = kSrcCopy;
        b.destinationSize = QPointF(b.sourceWidth, b.sourceHeight);
        const std::uint32_t startScan = r.U32(68);
        const std::uint32_t scans = r.U32(72);
        const std::int64_t height = std::abs(std::int64_t(r.I32(qsizetype(b.bitmap.infoAt) + 8)));
        if (scans > 0 && scans < height && startScan < height) {
            b.bandRows = std::int32_t(scans);
            b.sourceY -= std::int32_t(startScan);
        }
        Draw(b, r, dc);
        return true;
    }
    case EmfRecord::BitBlt:
    case EmfRecord::StretchBlt:
        Draw(BlockBlit(r, type == EmfRecord::StretchBlt), r, dc);
        return true;
    case EmfRecord::MaskBlt: {
        // The fields of BitBlt, then the mask's. The code's top byte is the
        // background operation; without a mask the foreground one is drawn
        // everywhere.
        Blit b = BlockBlit(r, false);
        b.mask = MaskAt(r, 100);
        b.background = std::uint8_t(b.rop >> 24);
        Draw(b, r, dc);
        return true;
    }
    case EmfRecord::PlgBlt: {
        // Three corners, the source rectangle and bitmap, then the mask.
        // The source is copied where the mask has 1 bits (everywhere
        // without a mask) and the destination kept elsewhere.
        Blit b;
        b.corners = std::array<QPoint, 3>{dc.Map(QPointF(r.I32(24), r.I32(28))),
                                          dc.Map(QPointF(r.I32(32), r.I32(36))),
                                          dc.Map(QPointF(r.I32(40), r.I32(44)))};
        b.rop = kSrcCopy;
        b.sourceX = r.I32(48);
        b.sourceY = r.I32(52);
        b.sourceWidth = r.I32(56);
        b.sourceHeight = r.I32(60);
        b.usage = r.U32(92);
        b.bitmap = BitmapFields::At(r, 96);
        b.mask = MaskAt(r, 112);
        b.background = kDestination;
        Draw(b, r, dc);
        return true;
    }
    case EmfRecord::AlphaBlend: {
        // The blend function takes the raster operation's place: operation,
        // flags, constant opacity, alpha format.
        Blit b = BlockBlit(r, true);
        const std::uint32_t blend = b.rop;
        b.rop = kSrcCopy;
        b.constantAlpha = int((blend >> 16) & 0xFF);
        b.sourceAlpha = ((blend >> 24) & 0xFF) == 1;
        if ((blend & 0xFF) == 0)
            CopySource(b, r, dc);
        return true;
    }
    case EmfRecord::GradientFill:
        DrawGradientRecord(r, dc);
        return true;
    case EmfRecord::TransparentBlt: {
        Blit b = BlockBlit(r, true);
        const QColor key = ColourOf(b.rop);
        b.transparent = key.rgb();
        b.rop = kSrcCopy;
        CopySource(b, r, dc);
        return true;
    }
    default:
        return false;
    }
}

} // namespace orvelle
