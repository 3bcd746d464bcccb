#include <algorithm>
#include <cmath>
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

namespace orvelle {

namespace {

// The raster operations drawn; any other is passed over.
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr std::uint32_t kPatCopy = 0x00F00021;
constexpr std::uint32_t kBlackness = 0x00000042;
constexpr std::uint32_t kWhiteness = 0x00FF0062;

// Only colour tables of real colours are drawn; palette indices have no
// palette to refer to here.
constexpr std::uint32_t kDibRgbColours = 0;

struct Blit {
    QPointF destination;
    QPointF destinationSize;
    std::uint32_t rop = 0;
    int sourceX = 0;
    int sourceY = 0;
    int sourceWidth = 0;
    int sourceHeight = 0;
    // Where the bitmap info and bits lie in the record.
    std::uint32_t infoAt = 0;
    std::uint32_t infoBytes = 0;
    std::uint32_t bitsAt = 0;
    std::uint32_t bitsBytes = 0;
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

// The part of the destination on the painter's device: nothing beyond it is
// ever computed, however large the record says the picture is.
QRect Visible(const QRect& rect, const QPainter& painter)
{
    const QPaintDevice* device = painter.device();
    if (device == nullptr)
        return {};
    return rect.intersected(QRect(0, 0, device->width(), device->height()));
}

void Fill(const Blit& blit, EmfDrawing& dc)
{
    const Placement p = Place(blit, dc);
    if (p.rect.isEmpty())
        return;
    if (blit.rop == kPatCopy)
        dc.painter.fillRect(p.rect, dc.brush);
    else
        dc.painter.fillRect(p.rect, blit.rop == kBlackness ? QColor(Qt::black) : QColor(Qt::white));
}

void CopySource(const Blit& blit, const RecordView& r, EmfDrawing& dc)
{
    if (blit.usage != kDibRgbColours || blit.infoBytes == 0 || blit.sourceWidth <= 0 ||
        blit.sourceHeight <= 0)
        return;
    if (!r.Holds(qsizetype(blit.infoAt), blit.infoBytes) ||
        !r.Holds(qsizetype(blit.bitsAt), blit.bitsBytes))
        return;
    const QByteArrayView record(r.data.constData() + r.offset, r.size);
    TBitmap source;
    bool bottomUp = false;
    bool withAlpha = false;
    try {
        DibHeader dib = ParseDibHeader(record.sliced(blit.infoAt, blit.infoBytes));
        bottomUp = blit.fromBottom && dib.info.height > 0;
        if (blit.bandRows && dib.info.headerSize >= kInfoHeaderSize) {
            // The band is a bitmap of its own rows only.
            dib.info.height = dib.info.height < 0 ? -*blit.bandRows : *blit.bandRows;
        }
        DecodeDib(dib, record.sliced(blit.bitsAt, blit.bitsBytes), source);
        // The fourth byte of plain 32-bit pixels is their opacity.
        withAlpha = blit.sourceAlpha && source.PixelFormat() == TPixelFormat::pf32bit &&
                    dib.info.compression == kBiRgb;
    } catch (const Exception&) {
        // A damaged bitmap draws nothing; the rest of the picture still plays.
        return;
    }
    if (source.Empty())
        return;
    // A bitmap used to be drawn from a 24-bit copy of it whole, and one whose
    // copy did not fit the pixel memory drew nothing. It still draws nothing,
    // though now only the pixels drawn are looked at, so that every picture
    // keeps the pixels it had.
    if (RowStride(source.Width(), 24) > PixelMemoryLimit() / source.Height())
        return;
    const std::int64_t top = bottomUp
                                 ? std::int64_t(source.Height()) - blit.sourceY - blit.sourceHeight
                                 : std::int64_t(blit.sourceY);

    const Placement p = Place(blit, dc);
    const QRect visible = Visible(p.rect, dc.painter);
    if (visible.isEmpty())
        return;
    QImage image(visible.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw EOutOfResources(OutOfResourcesText());
    image.fill(Qt::transparent);
    const PixelReader reader(source);
    const int width = p.rect.width();
    const int height = p.rect.height();
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        int ty = y - p.rect.top();
        if (p.mirrorY)
            ty = height - 1 - ty;
        const std::int64_t sy = top + NearestSource(ty, blit.sourceHeight, height);
        if (sy < 0 || sy >= source.Height())
            continue;
        const std::uint8_t* row = std::as_const(source).PixelRow(int(sy));
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y - visible.top()));
        for (int x = visible.left(); x <= visible.right(); ++x) {
            int tx = x - p.rect.left();
            if (p.mirrorX)
                tx = width - 1 - tx;
            const std::int64_t sx = blit.sourceX + NearestSource(tx, blit.sourceWidth, width);
            if (sx < 0 || sx >= source.Width())
                continue;
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

void Draw(const Blit& blit, const RecordView& r, EmfDrawing& dc)
{
    switch (blit.rop) {
    case kSrcCopy:
        CopySource(blit, r, dc);
        return;
    case kPatCopy:
    case kBlackness:
    case kWhiteness:
        Fill(blit, dc);
        return;
    default:
        return;
    }
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
    b.infoAt = r.U32(48);
    b.infoBytes = r.U32(52);
    b.bitsAt = r.U32(56);
    b.bitsBytes = r.U32(60);
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
    b.infoAt = r.U32(84);
    b.infoBytes = r.U32(88);
    b.bitsAt = r.U32(92);
    b.bitsBytes = r.U32(96);
    b.sourceWidth = stretch ? r.I32(100) : r.I32(32);
    b.sourceHeight = stretch ? r.I32(104) : r.I32(36);
    return b;
}

// GradientFill: colours of 16 bits a channel at the vertices, spread
// linearly over rectangles (across or down) or over triangles.
struct Vertex {
    QPointF at;
    double channel[4] = {};
};

QRgb Mixed(const Vertex* v, const double* weight, int count)
{
    double c[4] = {};
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < 4; ++k)
            c[k] += v[i].channel[k] * weight[i];
    // A vertex mapped far outside any device can make a weight infinite or
    // not a number; such a pixel takes black rather than an undefined value.
    const auto byte = [](double x) {
        return std::isnan(x) ? 0 : int(std::clamp(x / 256, 0.0, 255.0));
    };
    return qRgb(byte(c[0]), byte(c[1]), byte(c[2]));
}

void DrawGradient(const RecordView& r, EmfDrawing& dc)
{
    const std::uint32_t vertices = r.U32(24);
    const std::uint32_t parts = r.U32(28);
    const std::uint32_t mode = r.U32(32);
    const qsizetype partsAt = 36 + qsizetype(vertices) * 16;
    const std::uint32_t partBytes = mode == 2 ? 12 : 8;
    if (mode > 2 || !r.Holds(36, std::uint64_t(vertices) * 16) ||
        !r.Holds(partsAt, std::uint64_t(parts) * partBytes))
        return;
    std::vector<Vertex> v(vertices);
    for (std::uint32_t i = 0; i < vertices; ++i) {
        const qsizetype at = 36 + qsizetype(i) * 16;
        v[i].at = dc.mapping.map(QPointF(r.I32(at), r.I32(at + 4)));
        for (int k = 0; k < 4; ++k)
            v[i].channel[k] = std::uint16_t(r.I16(at + 8 + k * 2));
    }
    for (std::uint32_t p = 0; p < parts; ++p) {
        const qsizetype at = partsAt + qsizetype(p) * partBytes;
        const std::uint32_t count = mode == 2 ? 3 : 2;
        Vertex corner[3];
        bool inside = true;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t index = r.U32(at + qsizetype(i) * 4);
            inside = inside && index < vertices;
            if (inside)
                corner[i] = v[index];
        }
        if (!inside)
            continue;
        QRectF box(corner[0].at, corner[1].at);
        if (mode == 2)
            box = box.united(QRectF(corner[2].at, corner[2].at));
        const QRect pixels = Visible(box.normalized().toAlignedRect(), dc.painter);
        if (pixels.isEmpty())
            continue;
        QImage image(pixels.size(), QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            throw EOutOfResources(OutOfResourcesText());
        image.fill(Qt::transparent);
        const QPointF a = corner[0].at, b = corner[1].at, c = corner[2].at;
        const double area = (b.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (b.y() - a.y());
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(y - pixels.top()));
            for (int x = pixels.left(); x <= pixels.right(); ++x) {
                const QPointF centre(x + 0.5, y + 0.5);
                double weight[3] = {};
                if (mode == 2) {
                    if (area == 0)
                        break;
                    weight[1] = ((centre.x() - a.x()) * (c.y() - a.y()) -
                                 (c.x() - a.x()) * (centre.y() - a.y())) /
                                area;
                    weight[2] = ((b.x() - a.x()) * (centre.y() - a.y()) -
                                 (centre.x() - a.x()) * (b.y() - a.y())) /
                                area;
                    weight[0] = 1 - weight[1] - weight[2];
                    if (weight[0] < 0 || weight[1] < 0 || weight[2] < 0)
                        continue;
                } else {
                    if (!box.normalized().contains(centre))
                        continue;
                    const bool across = mode == 0;
                    const double from = across ? a.x() : a.y();
                    const double to = across ? b.x() : b.y();
                    const double t =
                        to == from ? 0 : ((across ? centre.x() : centre.y()) - from) / (to - from);
                    weight[1] = std::clamp(t, 0.0, 1.0);
                    weight[0] = 1 - weight[1];
                }
                out[x - pixels.left()] = Mixed(corner, weight, int(count));
            }
        }
        dc.painter.drawImage(pixels.topLeft(), image);
    }
}

} // namespace

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
        const std::int64_t height = std::abs(std::int64_t(r.I32(qsizetype(b.infoAt) + 8)));
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
        DrawGradient(r, dc);
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
