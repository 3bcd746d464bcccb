#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include <QImage>
#include <QList>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygon>
#include <QRegion>

#include "EmfContext.h"

namespace orvelle {

namespace {

enum RegionMode : std::uint32_t { kAnd = 1, kOr = 2, kXor = 3, kDiff = 4, kCopy = 5 };

// Everything the target could ever show; what no clipping leaves out.
QRegion Everything()
{
    constexpr int limit = int(kCoordinateLimit);
    return QRegion(-limit, -limit, 2 * limit, 2 * limit);
}

// The union of many rectangles, merged pairwise so a region of thousands of
// rectangles stays quick.
QRegion Unite(std::vector<QRegion> parts)
{
    if (parts.empty())
        return {};
    while (parts.size() > 1) {
        std::vector<QRegion> merged;
        merged.reserve(parts.size() / 2 + 1);
        for (std::size_t i = 0; i + 1 < parts.size(); i += 2)
            merged.push_back(parts[i].united(parts[i + 1]));
        if (parts.size() % 2 != 0)
            merged.push_back(parts.back());
        parts = std::move(merged);
    }
    return parts.front();
}

// What the painter can reach, in its own coordinates.
QRect Reachable(const QPainter& painter)
{
    const QPaintDevice* device = painter.device();
    if (device == nullptr)
        return {};
    bool invertible = false;
    const QTransform back = painter.worldTransform().inverted(&invertible);
    const QRect all(0, 0, device->width(), device->height());
    return invertible ? back.mapRect(all) : all;
}

// The pixels a fill of the path covers, found by filling it, so a clip path
// lets through exactly what filling the same path paints. Only the part the
// painter can reach is worked out, however far the path runs.
QRegion RegionOf(const QPainterPath& path, bool winding, const QRect& reachable)
{
    const QRect area = path.controlPointRect().toAlignedRect().intersected(reachable);
    if (area.isEmpty())
        return {};
    QImage mask(area.size(), QImage::Format_Grayscale8);
    mask.fill(0);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.translate(-area.topLeft());
        QPainterPath filled = path;
        filled.setFillRule(winding ? Qt::WindingFill : Qt::OddEvenFill);
        painter.fillPath(filled, Qt::white);
    }
    // Runs of each row, top to bottom and left to right: the order a region
    // keeps its rectangles in.
    QList<QRect> runs;
    for (int y = 0; y < mask.height(); ++y) {
        const uchar* row = mask.constScanLine(y);
        for (int x = 0; x < mask.width();) {
            if (row[x] == 0) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < mask.width() && row[x] != 0)
                ++x;
            runs.append(QRect(area.left() + start, area.top() + y, x - start, 1));
        }
    }
    QRegion region;
    region.setRects(runs.constData(), int(runs.size()));
    return region;
}

void Combine(std::optional<QRegion>& clip, const QRegion& region, std::uint32_t mode)
{
    switch (mode) {
    case kAnd:
        clip = clip ? clip->intersected(region) : region;
        return;
    case kOr:
        if (clip)
            clip = clip->united(region);
        return;
    case kXor:
        clip = (clip ? *clip : Everything()).xored(region);
        return;
    case kDiff:
        clip = (clip ? *clip : Everything()).subtracted(region);
        return;
    case kCopy:
        clip = region;
        return;
    default:
        return;
    }
}

// The logical rectangle at byte 8 in target pixels.
QRect LogicalBox(const RecordView& r, const EmfDrawing& dc)
{
    return PixelsBetween(dc.Map(QPointF(r.I32(8), r.I32(12))),
                         dc.Map(QPointF(r.I32(16), r.I32(20))));
}

void FinishPath(EmfDrawing& dc)
{
    dc.state.path = QPainterPath();
}

// A closed path for the records that use it; an open bracket or an empty
// path is none.
const QPainterPath* ClosedPath(const EmfDrawing& dc)
{
    if (dc.state.pathOpen || dc.state.path.isEmpty())
        return nullptr;
    return &dc.state.path;
}

QPainterPath Flattened(const QPainterPath& path)
{
    QPainterPath flat;
    for (const QPolygonF& polygon : path.toSubpathPolygons()) {
        if (polygon.isEmpty())
            continue;
        flat.moveTo(polygon.first());
        for (qsizetype i = 1; i < polygon.size(); ++i)
            flat.lineTo(polygon[i]);
    }
    return flat;
}

} // namespace

std::optional<QRegion> ReadRegion(const RecordView& r, qsizetype at, std::uint32_t bytes,
                                  const QTransform& device)
{
    // The region header, then its rectangles in device units.
    constexpr std::uint32_t kHeader = 32;
    if (bytes < kHeader || !r.Holds(at, bytes))
        return std::nullopt;
    const std::uint64_t count = r.U32(at + 8);
    if (count > (bytes - kHeader) / 16)
        return std::nullopt;
    std::vector<QRegion> parts;
    parts.reserve(std::size_t(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        const qsizetype rect = at + kHeader + qsizetype(i) * 16;
        const QPoint a = ClampedPixel(device.map(QPointF(r.I32(rect), r.I32(rect + 4))));
        const QPoint b = ClampedPixel(device.map(QPointF(r.I32(rect + 8), r.I32(rect + 12))));
        const QRect covered = PixelsBetween(a, b);
        if (!covered.isEmpty())
            parts.emplace_back(covered);
    }
    return Unite(std::move(parts));
}

bool PlayPathRecord(EmfRecord type, const RecordView& r, EmfDrawing& dc)
{
    DcState& state = dc.state;
    switch (type) {
    case EmfRecord::BeginPath:
        state.path = QPainterPath();
        state.pathOpen = true;
        return true;
    case EmfRecord::EndPath:
        state.pathOpen = false;
        return true;
    case EmfRecord::AbortPath:
        state.path = QPainterPath();
        state.pathOpen = false;
        return true;
    case EmfRecord::CloseFigure:
        if (state.pathOpen && !state.path.isEmpty())
            state.path.closeSubpath();
        return true;
    case EmfRecord::FillPath:
    case EmfRecord::StrokeAndFillPath:
    case EmfRecord::StrokePath: {
        const QPainterPath* path = ClosedPath(dc);
        if (path == nullptr)
            return true;
        QPainterPath drawn = *path;
        drawn.setFillRule(dc.winding ? Qt::WindingFill : Qt::OddEvenFill);
        dc.painter.setPen(type == EmfRecord::FillPath ? QPen(Qt::NoPen) : dc.pen);
        dc.painter.setBrush(type == EmfRecord::StrokePath ? QBrush(Qt::NoBrush) : dc.brush);
        dc.painter.drawPath(drawn);
        FinishPath(dc);
        return true;
    }
    case EmfRecord::FlattenPath:
        if (const QPainterPath* path = ClosedPath(dc))
            state.path = Flattened(*path);
        return true;
    case EmfRecord::WidenPath:
        if (const QPainterPath* path = ClosedPath(dc)) {
            if (dc.pen.style() != Qt::NoPen)
                state.path = QPainterPathStroker(dc.pen).createStroke(*path);
        }
        return true;
    case EmfRecord::SelectClipPath:
        if (const QPainterPath* path = ClosedPath(dc)) {
            Combine(state.clip, RegionOf(*path, dc.winding, Reachable(dc.painter)), r.U32(8));
            FinishPath(dc);
        }
        return true;
    case EmfRecord::IntersectClipRect:
        Combine(state.clip, LogicalBox(r, dc), kAnd);
        return true;
    case EmfRecord::ExcludeClipRect:
        Combine(state.clip, LogicalBox(r, dc), kDiff);
        return true;
    case EmfRecord::OffsetClipRgn:
        if (state.clip) {
            const QPoint origin = dc.Map(QPointF(0, 0));
            state.clip->translate(dc.Map(QPointF(r.I32(8), r.I32(12))) - origin);
        }
        return true;
    case EmfRecord::ExtSelectClipRgn: {
        const std::uint32_t bytes = r.U32(8);
        const std::uint32_t mode = r.U32(12);
        // A copy of no region turns the clipping off.
        if (mode == kCopy && bytes == 0) {
            state.clip.reset();
            return true;
        }
        if (const auto region = ReadRegion(r, 16, bytes, dc.device))
            Combine(state.clip, *region, mode);
        return true;
    }
    case EmfRecord::PaintRgn:
    case EmfRecord::InvertRgn:
        if (const auto region = ReadRegion(r, 28, r.U32(24), dc.device)) {
            QPainterPath area;
            area.addRegion(*region);
            if (type == EmfRecord::InvertRgn) {
                dc.painter.setCompositionMode(QPainter::RasterOp_NotDestination);
                dc.painter.fillPath(area, Qt::black);
            } else {
                dc.painter.fillPath(area, dc.brush);
            }
        }
        return true;
    default:
        return false;
    }
}

} // namespace orvelle
