#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <memory>
#include <optional>
#include <variant>

#include <QBrush>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPen>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QString>
#include <QTransform>

#include "EmfReader.h"
#include "EmfRecords.h"
#include "MemoryBudget.h"

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

QColor ColourOf(std::uint32_t colourRef);

struct Pen {
    bool null = false;
    QColor colour{Qt::black};
    // In logical units; 0 draws one pixel wide whatever the mapping.
    double width = 0;
    Qt::PenStyle style = Qt::SolidLine;
};

struct Brush {
    bool null = false;
    QColor colour{Qt::white};
    Qt::BrushStyle style = Qt::SolidPattern;
    // A pattern brush's tile, in target pixels; null for the other brushes.
    // Its top-left pixel lies at patternOrigin, and it is held in the
    // playback's budget for as long as any copy of the brush lives.
    QImage pattern;
    QPoint patternOrigin;
    std::shared_ptr<const MemoryBudget::Share> patternShare;
};

// A logical font as the records give it.
struct Font {
    // Negative: the em height; positive: the cell height; 0: a default size.
    std::int32_t height = 0;
    std::int32_t width = 0;
    // Tenths of a degree, counter-clockwise.
    std::int32_t escapement = 0;
    std::int32_t orientation = 0;
    std::int32_t weight = 0;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::uint8_t charSet = 0;
    std::uint8_t pitchAndFamily = 0;
    QString faceName;
};

// Palettes and the other objects the player keeps no use for still take
// their slot.
struct OtherObject {};

using Object = std::variant<Pen, Brush, Font, OtherObject>;

enum MapMode {
    kText = 1,
    kLoMetric,
    kHiMetric,
    kLoEnglish,
    kHiEnglish,
    kTwips,
    kIsotropic,
    kAnisotropic
};

// Text alignment flags.
inline constexpr std::uint32_t kTaUpdateCp = 1;
inline constexpr std::uint32_t kTaRight = 2;
inline constexpr std::uint32_t kTaCenter = 6;
inline constexpr std::uint32_t kTaBottom = 8;
inline constexpr std::uint32_t kTaBaseline = 24;

// The state SaveDC copies and RestoreDC brings back.
struct DcState {
    int mapMode = kText;
    QPointF windowOrg{0, 0};
    QPointF windowExt{1, 1};
    QPointF viewportOrg{0, 0};
    QPointF viewportExt{1, 1};
    QTransform world;
    QPointF position{0, 0};
    Pen pen;
    Brush brush;
    Font font;
    bool winding = false;
    bool clockwiseArcs = false;
    QColor textColour{Qt::black};
    QColor backColour{Qt::white};
    bool opaqueBackground = true;
    std::uint32_t textAlign = 0;
    // Extra space after each break character, in logical units, and the
    // number of breaks it is spread over (SetTextJustification).
    std::int32_t breakExtra = 0;
    std::int32_t breakCount = 0;
    // The binary raster operation lines and fills are combined with.
    int rop2 = 13;
    // Device-space clipping in target pixels; none clips nothing.
    std::optional<QRegion> clip;
    // The path being recorded or the last one closed, in target pixels.
    QPainterPath path;
    bool pathOpen = false;
};

// The pixels of the box with corners a and b, in either order, its right
// and bottom edge left out as GDI leaves them.
inline QRect PixelsBetween(const QPoint& a, const QPoint& b)
{
    const int left = std::min(a.x(), b.x());
    const int top = std::min(a.y(), b.y());
    return QRect(left, top, std::max(a.x(), b.x()) - left, std::max(a.y(), b.y()) - top);
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
    DcState& state;
    // The reference device's pixels to target pixels: what region records
    // are given in.
    QTransform device;

    QPoint Map(const QPointF& p) const { return ClampedPixel(mapping.map(p)); }
    // While a path is being recorded, shapes go into it instead of onto the target.
    QPainterPath* Path() const { return state.pathOpen ? &state.path : nullptr; }
};

[[noreturn]] void FailInvalidMetafile();

// The logical pens and brushes of CreatePen, ExtCreatePen and
// CreateBrushIndirect.
Pen ReadPenRecord(const RecordView& r);
Pen ReadExtPenRecord(const RecordView& r);
Brush ReadBrushRecord(const RecordView& r);

// The painter brush of a logical brush: hatches are 8 × 8 pixel patterns
// whose gaps take the background colour when the background is opaque.
QBrush BrushToQt(const Brush& brush, const DcState& state);

// Where pattern brushes can show and what they may take.
struct PatternRoom {
    // What the painter reaches, in its own coordinates, when those are the
    // device's moved by whole pixels; none when they are turned or scaled.
    std::optional<QRect> reach;
    // The playback's; every tile kept is held in it.
    MemoryBudget* budget = nullptr;
};

// What the painter reaches, for PatternRoom.
std::optional<QRect> PatternReach(const QPainter& painter);

// The pattern brush of EMR_CREATEDIBPATTERNBRUSHPT and EMR_CREATEMONOBRUSH; a
// brush whose bitmap cannot be decoded paints nothing. A tile wider or
// taller than what the painter reaches is kept only as far as it can show:
// the part the reach covers, starting where the reach does. Raises
// EOutOfResources when the tile does not fit the budget.
Brush ReadPatternBrush(const RecordView& r, bool mono, const DcState& state,
                       const PatternRoom& room);

// The rectangles of region data (a 32-byte header, then rectangles in the
// reference device's units) at byte at of the record, in target pixels;
// none when they do not fit the bytes given.
std::optional<QRegion> ReadRegion(const RecordView& r, qsizetype at, std::uint32_t bytes,
                                  const QTransform& device);

// Who plays a record type: the player's own core (the device context,
// objects, lines, boxes and polygons), one of the record families below, or
// nobody (known and passed over, as every unknown type is too). The
// families are tried in no order: each record belongs to one of them only.
// Shape and path records are combined with the raster operation set by
// SetROP2; the others are drawn plainly.
enum class EmfFamily { Core, Shape, Path, Bitmap, Text, Ignored };
EmfFamily EmfFamilyOf(EmfRecord type);

// Paths (begin, end, close, abort, fill, stroke, flatten, widen, select as
// clip), clipping and the region records. False for any other record.
bool PlayPathRecord(EmfRecord type, const RecordView& r, EmfDrawing& dc);

// The box at byte 8 of a record (left, top, right, bottom) in target
// pixels, normalised, without its right and bottom edge as GDI draws it;
// nothing when it has no inside.
std::optional<QRect> RecordBox(const RecordView& r, const QTransform& mapping);

// Arc, chord, pie, rounded rectangle and angle arc. False for any other record.
bool PlayShapeRecord(EmfRecord type, const RecordView& r, EmfDrawing& dc);

// The DIB and block-transfer records. False for any other record.
bool PlayBitmapRecord(EmfRecord type, const RecordView& r, EmfDrawing& dc);

// The pixels of rect on the painter's device: what the bitmap records work
// out, nothing beyond it, however large a record says its picture is.
QRect VisibleOnDevice(const QRect& rect, const QPainter& painter);

// GradientFill, which the bitmap records' family plays.
void DrawGradientRecord(const RecordView& r, EmfDrawing& dc);

// A font-creation record's logical font (ExtCreateFontIndirectW).
Font ReadFontRecord(const RecordView& r);

// ExtTextOutW/A, PolyTextOut and SmallTextOut. False for any other record.
bool PlayTextRecord(EmfRecord type, const RecordView& r, EmfDrawing& dc);

} // namespace orvelle
