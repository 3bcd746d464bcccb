#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include "EmfContext.h"

namespace orvelle {

namespace {

// The angle, counter-clockwise on the screen in degrees, of the point where
// the ray from the box centre through p meets the ellipse in the box. Qt
// measures its arc angles along the ellipse, so the ray's angle is
// stretched by the box's proportions.
double EllipseAngle(const QRectF& box, const QPointF& p)
{
    const QPointF c = box.center();
    const double a = std::max(box.width() / 2, 0.5);
    const double b = std::max(box.height() / 2, 0.5);
    const double dx = p.x() - c.x();
    const double dy = c.y() - p.y();
    if (dx == 0 && dy == 0)
        return 0;
    return std::atan2(dy / b, dx / a) * 180 / std::numbers::pi;
}

struct ArcSpan {
    double start = 0;
    double sweep = 360;
};

// Arcs run counter-clockwise from the start ray to the end ray; equal rays
// make the whole ellipse.
ArcSpan SpanOf(const RecordView& r, const EmfDrawing& dc, const QRectF& box)
{
    const QPointF start = dc.mapping.map(QPointF(r.I32(24), r.I32(28)));
    const QPointF end = dc.mapping.map(QPointF(r.I32(32), r.I32(36)));
    ArcSpan span;
    span.start = EllipseAngle(box, start);
    double sweep = EllipseAngle(box, end) - span.start;
    while (sweep <= 0)
        sweep += 360;
    while (sweep > 360)
        sweep -= 360;
    // Clockwise arcs run the other way round between the same two rays.
    span.sweep = dc.state.clockwiseArcs ? sweep - 360 : sweep;
    if (dc.state.clockwiseArcs && span.sweep == 0)
        span.sweep = -360;
    return span;
}

void DrawArcFamily(EmfRecord type, const RecordView& r, EmfDrawing& dc)
{
    const auto box = RecordBox(r, dc.mapping);
    if (!box)
        return;
    const QRectF rect(*box);
    const ArcSpan span = SpanOf(r, dc, rect);
    if (!std::isfinite(span.start) || !std::isfinite(span.sweep))
        return;
    const bool fill = type == EmfRecord::Chord || type == EmfRecord::Pie;
    QPainterPath* recording = dc.Path();
    dc.painter.setPen(dc.pen);
    dc.painter.setBrush(fill ? dc.brush : QBrush(Qt::NoBrush));
    // A whole turn is drawn as the ellipse record draws it, pixel for pixel.
    if (std::abs(span.sweep) == 360 && type != EmfRecord::ArcTo && recording == nullptr) {
        dc.painter.drawEllipse(*box);
        return;
    }
    QPainterPath own;
    QPainterPath& path = recording ? *recording : own;
    if (type == EmfRecord::Pie) {
        path.moveTo(rect.center());
        path.arcTo(rect, span.start, span.sweep);
        path.closeSubpath();
    } else {
        if (type != EmfRecord::ArcTo)
            path.arcMoveTo(rect, span.start);
        else if (path.elementCount() == 0 || path.currentPosition() != QPointF(dc.Map(dc.position)))
            path.moveTo(dc.Map(dc.position));
        path.arcTo(rect, span.start, span.sweep);
        if (type == EmfRecord::Chord)
            path.closeSubpath();
    }
    if (recording == nullptr)
        dc.painter.drawPath(path);
    if (type == EmfRecord::ArcTo) {
        bool invertible = false;
        const QTransform back = dc.mapping.inverted(&invertible);
        if (invertible)
            dc.position = back.map(path.currentPosition());
    }
}

void DrawRoundRect(const RecordView& r, EmfDrawing& dc)
{
    const auto box = RecordBox(r, dc.mapping);
    if (!box)
        return;
    const double sx = std::hypot(dc.mapping.m11(), dc.mapping.m12());
    const double sy = std::hypot(dc.mapping.m21(), dc.mapping.m22());
    const double rx = std::min(std::abs(r.I32(24)) * sx / 2, box->width() / 2.0);
    const double ry = std::min(std::abs(r.I32(28)) * sy / 2, box->height() / 2.0);
    if (QPainterPath* recording = dc.Path()) {
        recording->addRoundedRect(*box, rx, ry, Qt::AbsoluteSize);
        return;
    }
    dc.painter.setPen(dc.pen);
    dc.painter.setBrush(dc.brush);
    dc.painter.drawRoundedRect(*box, rx, ry, Qt::AbsoluteSize);
}

// A line from the current position to the start of an arc of a circle,
// then the arc, in logical units, so any world transform bends it too.
void DrawAngleArc(const RecordView& r, EmfDrawing& dc)
{
    const QPointF centre(r.I32(8), r.I32(12));
    const double radius = r.U32(16);
    const double start = r.F32(20);
    const double sweep = r.F32(24);
    if (!std::isfinite(start) || !std::isfinite(sweep))
        return;
    const auto at = [&](double degrees) {
        const double a = degrees * std::numbers::pi / 180;
        return QPointF(centre.x() + radius * std::cos(a), centre.y() - radius * std::sin(a));
    };
    // Turns beyond a whole circle draw over themselves.
    const double drawn = std::clamp(sweep, -360.0, 360.0);
    const int steps = std::max(2, int(std::ceil(std::abs(drawn) / 2)));
    QPolygon polygon;
    polygon << dc.Map(dc.position);
    for (int i = 0; i <= steps; ++i)
        polygon << dc.Map(at(start + drawn * i / steps));
    dc.position = at(start + sweep);
    if (QPainterPath* recording = dc.Path()) {
        if (recording->elementCount() == 0 ||
            recording->currentPosition() != QPointF(polygon.first()))
            recording->moveTo(polygon.first());
        for (qsizetype i = 1; i < polygon.size(); ++i)
            recording->lineTo(polygon[i]);
        return;
    }
    dc.painter.setPen(dc.pen);
    dc.painter.setBrush(Qt::NoBrush);
    dc.painter.drawPolyline(polygon);
}

} // namespace

std::optional<QRect> RecordBox(const RecordView& r, const QTransform& mapping)
{
    const QRect box = PixelsBetween(ClampedPixel(mapping.map(QPointF(r.I32(8), r.I32(12)))),
                                    ClampedPixel(mapping.map(QPointF(r.I32(16), r.I32(20)))));
    if (box.width() < 1 || box.height() < 1)
        return std::nullopt;
    // The painter outlines a rectangle one pixel beyond its size.
    return box.adjusted(0, 0, -1, -1);
}

bool PlayShapeRecord(EmfRecord type, const RecordView& r, EmfDrawing& dc)
{
    switch (type) {
    case EmfRecord::Arc:
    case EmfRecord::ArcTo:
    case EmfRecord::Chord:
    case EmfRecord::Pie:
        DrawArcFamily(type, r, dc);
        return true;
    case EmfRecord::RoundRect:
        DrawRoundRect(r, dc);
        return true;
    case EmfRecord::AngleArc:
        DrawAngleArc(r, dc);
        return true;
    default:
        return false;
    }
}

} // namespace orvelle
