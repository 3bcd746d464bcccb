#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <QBrush>
#include <QByteArray>
#include <QPen>
#include <QPoint>
#include <QTransform>

#include "EmfReader.h"

class QPainter;

namespace orvelle {

// One record's bytes; fields beyond its end read as 0.
struct RecordView {
    const QByteArray& data;
    qsizetype offset;
    qsizetype size;

    bool Holds(qsizetype from, std::uint64_t bytes) const
    {
        return from >= 0 && from <= size && bytes <= std::uint64_t(size - from);
    }
    std::int32_t I32(qsizetype at) const { return Holds(at, 4) ? ReadI32(data, offset + at) : 0; }
    std::uint32_t U32(qsizetype at) const { return Holds(at, 4) ? ReadU32(data, offset + at) : 0; }
    std::int16_t I16(qsizetype at) const { return Holds(at, 2) ? ReadI16(data, offset + at) : 0; }
    float F32(qsizetype at) const { return Holds(at, 4) ? ReadF32(data, offset + at) : 0.0F; }
};

// Far-off or broken coordinates (a world transform of huge or undefined
// numbers) are kept where rounding to int stays defined; the painter clips
// them away.
inline constexpr double kCoordinateLimit = 1 << 24;

inline QPoint ClampedPixel(const QPointF& p)
{
    const auto clamp = [](double v) {
        constexpr double limit = kCoordinateLimit;
        return std::isnan(v) ? 0 : int(std::lround(std::clamp(v, -limit, limit)));
    };
    return QPoint(clamp(p.x()), clamp(p.y()));
}

// What the record families outside the player's core see of the device
// context while one record is drawn.
struct EmfDrawing {
    QPainter& painter;
    // Logical units to target pixels.
    QTransform mapping;
    QPen pen;
    QBrush brush;
    QPointF& position;
    bool winding = false;

    QPoint Map(const QPointF& p) const { return ClampedPixel(mapping.map(p)); }
};

// Arc, chord, pie, rounded rectangle and angle arc. False for any other record.
bool PlayShapeRecord(std::uint32_t type, const RecordView& r, EmfDrawing& dc);

// The DIB and block-transfer records. False for any other record.
bool PlayBitmapRecord(std::uint32_t type, const RecordView& r, EmfDrawing& dc);

} // namespace orvelle
