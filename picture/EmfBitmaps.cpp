#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include <QImage>
#include <QPaintDevice>
#include <QPainter>

#include "Bitmap.h"
#include "BmpReader.h"
#include "Canvas.h"
#include "EmfContext.h"
#include "Errors.h"

namespace orvelle {

namespace {

enum BitmapRecord : std::uint32_t {
    kBitBlt = 76,
    kStretchBlt = 77,
    kSetDiBitsToDevice = 80,
    kStretchDiBits = 81,
    kAlphaBlend = 114,
    kTransparentBlt = 116,
};

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
    p.rect = QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                   QPoint(std::max(a.x(), b.x()) - 1, std::max(a.y(), b.y()) - 1));
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
    std::vector<std::uint8_t> alpha;
    QByteArray info = record.sliced(blit.infoAt, blit.infoBytes).toByteArray();
    if (blit.bandRows && ReadU32(info, 0) >= 40) {
        // The band is a bitmap of its own rows only.
        const std::int32_t height = ReadI32(info, 8);
        const std::int32_t rows = height < 0 ? -*blit.bandRows : *blit.bandRows;
        for (int i = 0; i < 4; ++i)
            info[8 + i] = char((std::uint32_t(rows) >> (8 * i)) & 0xFF);
    }
    try {
        DecodeDib(info, record.sliced(blit.bitsAt, blit.bitsBytes), source);
        // The fourth byte of plain 32-bit pixels is their opacity.
        if (blit.sourceAlpha && source.PixelFormat() == TPixelFormat::pf32bit &&
            ReadU32(r.data, r.offset + blit.infoAt + 16) == 0) {
            alpha.reserve(std::size_t(source.Width()) * std::size_t(source.Height()));
            for (int y = 0; y < source.Height(); ++y) {
                const std::uint8_t* row = source.PixelRow(y);
                for (int x = 0; x < source.Width(); ++x)
                    alpha.push_back(row[x * 4 + 3]);
            }
        }
        source.SetPixelFormat(TPixelFormat::pf24bit);
    } catch (const Exception&) {
        // A damaged bitmap draws nothing; the rest of the picture still plays.
        return;
    }
    if (source.Empty())
        return;
    const bool bottomUp = blit.fromBottom && r.I32(qsizetype(blit.infoAt) + 8) > 0;
    const std::int64_t top = bottomUp
                                 ? std::int64_t(source.Height()) - blit.sourceY - blit.sourceHeight
                                 : std::int64_t(blit.sourceY);

    const Placement p = Place(blit, dc);
    const QRect visible = Visible(p.rect, dc.painter);
    if (visible.isEmpty())
        return;
    QImage image(visible.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const int width = p.rect.width();
    const int height = p.rect.height();
    for (int y = visible.top(); y <= visible.bottom(); ++y) {
        int ty = y - p.rect.top();
        if (p.mirrorY)
            ty = height - 1 - ty;
        const std::int64_t sy = top + NearestSource(ty, blit.sourceHeight, height);
        if (sy < 0 || sy >= source.Height())
            continue;
        const std::uint8_t* row = source.PixelRow(int(sy));
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y - visible.top()));
        for (int x = visible.left(); x <= visible.right(); ++x) {
            int tx = x - p.rect.left();
            if (p.mirrorX)
                tx = width - 1 - tx;
            const std::int64_t sx = blit.sourceX + NearestSource(tx, blit.sourceWidth, width);
            if (sx < 0 || sx >= source.Width())
                continue;
            const std::uint8_t* bgr = row + sx * 3;
            const QRgb colour = qRgb(bgr[2], bgr[1], bgr[0]);
            if (blit.transparent && colour == *blit.transparent)
                continue;
            if (blit.constantAlpha == 255 && alpha.empty()) {
                out[x - visible.left()] = colour;
                continue;
            }
            // The source is premultiplied by its own alpha (a colour channel
            // never above it), then everything is scaled by the constant one.
            const int a =
                alpha.empty()
                    ? 255
                    : alpha[std::size_t(sy) * std::size_t(source.Width()) + std::size_t(sx)];
            const int ca = blit.constantAlpha;
            const auto scaled = [a, ca](int v) { return (std::min(v, a) * ca + 127) / 255; };
            out[x - visible.left()] =
                qRgba(scaled(bgr[2]), scaled(bgr[1]), scaled(bgr[0]), scaled(a));
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

} // namespace

bool PlayBitmapRecord(std::uint32_t type, const RecordView& r, EmfDrawing& dc)
{
    switch (type) {
    case kStretchDiBits: {
        Blit b = DibBlit(r);
        b.rop = r.U32(68);
        b.destinationSize = QPointF(r.I32(72), r.I32(76));
        Draw(b, r, dc);
        return true;
    }
    case kSetDiBitsToDevice: {
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
    case kBitBlt:
    case kStretchBlt:
        Draw(BlockBlit(r, type == kStretchBlt), r, dc);
        return true;
    case kAlphaBlend: {
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
    case kTransparentBlt: {
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
