#include "EmfPlayer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QTransform>

#include "EmfContext.h"
#include "EmfReader.h"
#include "EmfRecords.h"
#include "Errors.h"
#include "PixelMemory.h"

namespace orvelle {

namespace {

// Point types of PolyDraw.
constexpr std::uint8_t kPtCloseFigure = 1;
constexpr std::uint8_t kPtLineTo = 2;
constexpr std::uint8_t kPtBezierTo = 4;
constexpr std::uint8_t kPtMoveTo = 6;

class Player {
public:
    Player(QPainter& painter, const QByteArray& data, const TRect& rect)
        : painter_(painter), data_(data)
    {
        header_ = ReadEmfHeader(data);
        objects_.resize(header_.handles);
        // The frame, in the reference device's pixels, goes onto the
        // rectangle with its right and bottom edges one pixel in.
        const double left = ReferencePixels(header_.frameLeft, true);
        const double top = ReferencePixels(header_.frameTop, false);
        const double right = ReferencePixels(header_.frameRight, true);
        const double bottom = ReferencePixels(header_.frameBottom, false);
        if (right == left || bottom == top)
            return;
        const double sx = (rect.Right - 1 - rect.Left) / (right - left);
        const double sy = (rect.Bottom - 1 - rect.Top) / (bottom - top);
        toTarget_ = QTransform(sx, 0, 0, sy, rect.Left - left * sx, rect.Top - top * sy);
        if (painter_.hasClipping())
            baseClip_ = painter_.clipRegion();
        patternReach_ = PatternReach(painter_);
        usable_ = true;
    }

    // Which part of the player plays a record type.
    static EmfFamily FamilyOf(EmfRecord type);

    void Play()
    {
        if (!usable_)
            return;
        qsizetype offset = 0;
        while (offset + 8 <= data_.size()) {
            const std::uint32_t type = ReadU32(data_, offset);
            const std::uint32_t size = ReadU32(data_, offset + 4);
            if (size < 8 || size % 4 != 0 || size > std::uint64_t(data_.size() - offset))
                FailInvalidMetafile();
            if (type == RecordNumber(EmfRecord::Eof))
                return;
            // Every object index is checked here, once: the handlers rely on it.
            if (!EmfObjectIndexValid(type, data_, offset, size, std::uint32_t(objects_.size())))
                FailInvalidMetafile();
            Dispatch(EmfRecord(type), RecordView{data_, offset, qsizetype(size)});
            offset += qsizetype(size);
        }
    }

private:
    double ReferencePixels(std::int32_t hundredthsOfMm, bool horizontal) const
    {
        const double pixels = horizontal ? header_.devicePixelsX : header_.devicePixelsY;
        const double mm = horizontal ? header_.deviceMillimetresX : header_.deviceMillimetresY;
        return mm == 0 ? 0 : hundredthsOfMm * pixels / (mm * 100);
    }

    // Logical units to target pixels: world transform, then window to
    // viewport, then the reference device onto the target rectangle.
    QTransform Mapping() const
    {
        const double wx = dc_.windowExt.x() == 0 ? 1 : dc_.windowExt.x();
        const double wy = dc_.windowExt.y() == 0 ? 1 : dc_.windowExt.y();
        const double kx = dc_.viewportExt.x() / wx;
        const double ky = dc_.viewportExt.y() / wy;
        const QTransform page(kx, 0, 0, ky, dc_.viewportOrg.x() - dc_.windowOrg.x() * kx,
                              dc_.viewportOrg.y() - dc_.windowOrg.y() * ky);
        return dc_.world * page * toTarget_;
    }

    QPoint Map(const QPointF& p) const { return Pixel(Mapping().map(p)); }

    static QPoint Pixel(const QPointF& p) { return ClampedPixel(p); }

    void SetFixedExtents(int mode)
    {
        const double mmX = header_.deviceMillimetresX;
        const double mmY = header_.deviceMillimetresY;
        double unitsPerMm = 0;
        switch (mode) {
        case kLoMetric:
            unitsPerMm = 10;
            break;
        case kHiMetric:
            unitsPerMm = 100;
            break;
        case kLoEnglish:
            unitsPerMm = 100 / 25.4;
            break;
        case kHiEnglish:
            unitsPerMm = 1000 / 25.4;
            break;
        case kTwips:
            unitsPerMm = 1440 / 25.4;
            break;
        case kIsotropic:
            unitsPerMm = 10;
            break;
        default:
            break;
        }
        if (mode == kText) {
            dc_.windowExt = {1, 1};
            dc_.viewportExt = {1, 1};
        } else if (unitsPerMm != 0) {
            dc_.windowExt = {mmX * unitsPerMm, mmY * unitsPerMm};
            dc_.viewportExt = {double(header_.devicePixelsX), -double(header_.devicePixelsY)};
        }
    }

    // In the isotropic mode one logical unit is as long in x as in y: the
    // viewport extent with the larger scale is shrunk to the smaller one.
    void AdjustIsotropic()
    {
        if (dc_.mapMode != kIsotropic || dc_.windowExt.x() == 0 || dc_.windowExt.y() == 0)
            return;
        const double kx = std::abs(dc_.viewportExt.x() / dc_.windowExt.x());
        const double ky = std::abs(dc_.viewportExt.y() / dc_.windowExt.y());
        if (kx < ky)
            dc_.viewportExt.setY(
                std::copysign(kx * std::abs(dc_.windowExt.y()), dc_.viewportExt.y()));
        else if (ky < kx)
            dc_.viewportExt.setX(
                std::copysign(ky * std::abs(dc_.windowExt.x()), dc_.viewportExt.x()));
    }

    QPen CurrentPen() const
    {
        const Pen& p = dc_.pen;
        if (p.null || p.style == Qt::NoPen)
            return QPen(Qt::NoPen);
        QPen pen(p.colour);
        pen.setStyle(p.style);
        int width = 1;
        if (p.width > 0) {
            // A logical width scales with the mapping, measured along x.
            const QTransform m = Mapping();
            const double scale = std::hypot(m.m11(), m.m12());
            // The painter takes widths below 32768 pixels only.
            const double pixels = p.width * scale;
            if (pixels >= 1.5)
                width = pixels < 32767 ? int(std::lround(pixels)) : 32767;
        }
        pen.setWidth(width);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        if (width == 1) {
            pen.setCapStyle(Qt::FlatCap);
            pen.setJoinStyle(Qt::MiterJoin);
        }
        return pen;
    }

    QBrush CurrentBrush() const { return BrushToQt(dc_.brush, dc_); }

    QPainter::CompositionMode RasterMode() const
    {
        switch (dc_.rop2) {
        case 1:
            return QPainter::RasterOp_ClearDestination;
        case 6:
            return QPainter::RasterOp_NotDestination;
        case 7:
            return QPainter::RasterOp_SourceXorDestination;
        case 9:
            return QPainter::RasterOp_SourceAndDestination;
        case 10:
            return QPainter::RasterOp_NotSourceXorDestination;
        case 15:
            return QPainter::RasterOp_SourceOrDestination;
        case 16:
            return QPainter::RasterOp_SetDestination;
        default:
            return QPainter::CompositionMode_SourceOver;
        }
    }

    void Prepare(bool fill)
    {
        painter_.setCompositionMode(RasterMode());
        painter_.setPen(CurrentPen());
        painter_.setBrush(fill ? CurrentBrush() : QBrush(Qt::NoBrush));
    }

    // The open path, while a path bracket records shapes instead of drawing them.
    QPainterPath* Recording() { return dc_.pathOpen ? &dc_.path : nullptr; }

    // Continues the path's figure from the current position, or starts one there.
    void FromCurrent(QPainterPath& path) const
    {
        const QPointF here = Map(dc_.position);
        if (path.elementCount() == 0 || path.currentPosition() != here)
            path.moveTo(here);
    }

    void SyncClip()
    {
        if (dc_.clip)
            painter_.setClipRegion(baseClip_ ? *dc_.clip & *baseClip_ : *dc_.clip);
        else if (baseClip_)
            painter_.setClipRegion(*baseClip_);
        else
            painter_.setClipping(false);
    }

    EmfDrawing Drawing()
    {
        return EmfDrawing{painter_,     Mapping(),   CurrentPen(), CurrentBrush(),
                          dc_.position, dc_.winding, dc_,          toTarget_};
    }

    // Points of a record: count at countAt, the points from pointsAt, 16 or
    // 32 bits a coordinate. Empty when they do not fit the record.
    std::vector<QPointF> Points(const RecordView& r, qsizetype pointsAt, std::uint32_t count,
                                bool small) const
    {
        std::vector<QPointF> points;
        const std::uint64_t bytes = std::uint64_t(count) * (small ? 4 : 8);
        if (!r.Holds(pointsAt, bytes))
            return points;
        points.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const qsizetype at = pointsAt + qsizetype(i) * (small ? 4 : 8);
            points.emplace_back(small ? r.I16(at) : r.I32(at),
                                small ? r.I16(at + 2) : r.I32(at + 4));
        }
        return points;
    }

    QPolygon Device(const std::vector<QPointF>& points) const
    {
        const QTransform m = Mapping();
        QPolygon polygon;
        polygon.reserve(qsizetype(points.size()));
        for (const QPointF& p : points)
            polygon << Pixel(m.map(p));
        return polygon;
    }

    // A box record's rectangle in target pixels, normalised; GDI leaves out
    // the right and bottom edge.
    std::optional<QRect> Box(const RecordView& r) const { return RecordBox(r, Mapping()); }

    void DrawPolys(const RecordView& r, bool small, bool closed)
    {
        const std::uint32_t polys = r.U32(24);
        const std::uint32_t total = r.U32(28);
        if (!r.Holds(32, std::uint64_t(polys) * 4))
            return;
        const std::vector<QPointF> points = Points(r, 32 + qsizetype(polys) * 4, total, small);
        if (points.size() != total)
            return;
        QPainterPath path;
        path.setFillRule(dc_.winding ? Qt::WindingFill : Qt::OddEvenFill);
        std::uint64_t used = 0;
        for (std::uint32_t i = 0; i < polys; ++i) {
            const std::uint32_t n = r.U32(32 + qsizetype(i) * 4);
            if (used + n > total)
                return;
            const std::vector<QPointF> part(points.begin() + qsizetype(used),
                                            points.begin() + qsizetype(used + n));
            used += n;
            QPolygon polygon = Device(part);
            if (polygon.isEmpty())
                continue;
            if (QPainterPath* recording = Recording()) {
                recording->addPolygon(QPolygonF(polygon));
                if (closed)
                    recording->closeSubpath();
                continue;
            }
            if (closed)
                polygon << polygon.first();
            path.addPolygon(QPolygonF(polygon));
        }
        if (Recording())
            return;
        Prepare(closed);
        painter_.drawPath(path);
    }

    void DrawBezier(const std::vector<QPointF>& points, bool fromCurrent)
    {
        std::vector<QPointF> all;
        if (fromCurrent)
            all.push_back(dc_.position);
        all.insert(all.end(), points.begin(), points.end());
        if (all.size() < 4)
            return;
        const QPolygon d = Device(all);
        QPainterPath own(d[0]);
        QPainterPath* recording = Recording();
        QPainterPath& path = recording ? *recording : own;
        if (!recording || !fromCurrent)
            path.moveTo(d[0]);
        else
            FromCurrent(path);
        std::size_t i = 1;
        for (; i + 2 < all.size(); i += 3)
            path.cubicTo(d[qsizetype(i)], d[qsizetype(i + 1)], d[qsizetype(i + 2)]);
        if (!recording) {
            Prepare(false);
            painter_.drawPath(path);
        }
        if (fromCurrent)
            dc_.position = all[i - 1];
    }

    void Select(std::uint32_t index)
    {
        if (index & 0x80000000U) {
            SelectStock(index & 0x7FFFFFFFU);
            return;
        }
        if (!objects_[index])
            return;
        if (const Pen* pen = std::get_if<Pen>(&*objects_[index]))
            dc_.pen = *pen;
        else if (const Brush* brush = std::get_if<Brush>(&*objects_[index]))
            dc_.brush = *brush;
        else if (const Font* font = std::get_if<Font>(&*objects_[index]))
            dc_.font = *font;
    }

    void SelectStock(std::uint32_t stock)
    {
        const int greys[] = {255, 192, 128, 64, 0};
        if (stock <= 4) {
            dc_.brush = Brush{};
            dc_.brush.colour = QColor(greys[stock], greys[stock], greys[stock]);
        } else if (stock == 5) {
            dc_.brush = Brush{};
            dc_.brush.null = true;
        } else if (stock == 6 || stock == 7) {
            dc_.pen = Pen{};
            dc_.pen.colour = stock == 6 ? QColor(Qt::white) : QColor(Qt::black);
        } else if (stock == 8) {
            dc_.pen = Pen{};
            dc_.pen.null = true;
        } else if (stock >= 10 && stock <= 17 && stock != 15) {
            // The stock fonts: fixed-pitch ones are the mono family.
            dc_.font = Font{};
            dc_.font.height = stock == 17 ? -11 : 16;
            dc_.font.pitchAndFamily = stock == 10 || stock == 11 || stock == 16 ? 0x31 : 0x22;
        } else if (stock == 18) {
            dc_.brush = Brush{};
        } else if (stock == 19) {
            dc_.pen = Pen{};
        }
    }

    // Play has made sure the slot is one of 1 … handles − 1: slot 0 is the
    // metafile itself.
    void Store(std::uint32_t index, Object object) { objects_[index] = std::move(object); }

    void DrawPolyDraw(const RecordView& r, bool small)
    {
        const std::uint32_t count = r.U32(24);
        const std::vector<QPointF> points = Points(r, 28, count, small);
        const qsizetype typesAt = 28 + qsizetype(count) * (small ? 4 : 8);
        if (points.size() != count || !r.Holds(typesAt, count))
            return;
        const QPolygon d = Device(points);
        QPainterPath own;
        QPainterPath* recording = Recording();
        QPainterPath& path = recording ? *recording : own;
        FromCurrent(path);
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto kind = std::uint8_t(r.data[r.offset + typesAt + qsizetype(i)]);
            const QPoint p = d[qsizetype(i)];
            switch (kind & ~kPtCloseFigure) {
            case kPtMoveTo:
                path.moveTo(p);
                break;
            case kPtLineTo:
                path.lineTo(p);
                break;
            case kPtBezierTo:
                if (i + 2 >= count)
                    return;
                path.cubicTo(p, d[qsizetype(i + 1)], d[qsizetype(i + 2)]);
                i += 2;
                break;
            default:
                return;
            }
            dc_.position = points[i];
            if (std::uint8_t(r.data[r.offset + typesAt + qsizetype(i)]) & kPtCloseFigure)
                path.closeSubpath();
        }
        if (!recording) {
            Prepare(false);
            painter_.drawPath(path);
        }
    }

    using Handler = void (Player::*)(EmfRecord, const RecordView&);

    struct Route {
        EmfRecord type;
        EmfFamily family;
        // The core's handler; the families' records go to the family's entry.
        Handler handler = nullptr;
    };

    static constexpr auto Routes();
    static const Route* Find(EmfRecord type);
    void Dispatch(EmfRecord type, const RecordView& r);

    // The mapping.

    void SetMapMode(EmfRecord, const RecordView& r)
    {
        const int mode = int(r.U32(8));
        if (mode < kText || mode > kAnisotropic)
            return;
        // Leaving a fixed mode for the anisotropic one keeps its extents.
        if (mode != kAnisotropic)
            SetFixedExtents(mode);
        dc_.mapMode = mode;
    }

    void SetExtent(EmfRecord type, const RecordView& r)
    {
        if (dc_.mapMode != kIsotropic && dc_.mapMode != kAnisotropic)
            return;
        const QPointF ext(r.I32(8), r.I32(12));
        if (ext.x() == 0 || ext.y() == 0)
            return;
        (type == EmfRecord::SetWindowExtEx ? dc_.windowExt : dc_.viewportExt) = ext;
        AdjustIsotropic();
    }

    void ScaleExtent(EmfRecord type, const RecordView& r)
    {
        if (dc_.mapMode != kIsotropic && dc_.mapMode != kAnisotropic)
            return;
        const double xNum = r.I32(8), xDenom = r.I32(12), yNum = r.I32(16), yDenom = r.I32(20);
        if (xDenom == 0 || yDenom == 0)
            return;
        QPointF& ext = type == EmfRecord::ScaleWindowExtEx ? dc_.windowExt : dc_.viewportExt;
        const QPointF scaled(std::trunc(ext.x() * xNum / xDenom),
                             std::trunc(ext.y() * yNum / yDenom));
        if (scaled.x() == 0 || scaled.y() == 0)
            return;
        ext = scaled;
        AdjustIsotropic();
    }

    void SetOrigin(EmfRecord type, const RecordView& r)
    {
        (type == EmfRecord::SetWindowOrgEx ? dc_.windowOrg : dc_.viewportOrg) =
            QPointF(r.I32(8), r.I32(12));
    }

    void SetWorldTransform(EmfRecord, const RecordView& r)
    {
        dc_.world = QTransform(r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28));
    }

    void ModifyWorldTransform(EmfRecord, const RecordView& r)
    {
        const QTransform x(r.F32(8), r.F32(12), r.F32(16), r.F32(20), r.F32(24), r.F32(28));
        switch (r.U32(32)) {
        case 1:
            dc_.world = QTransform();
            break;
        case 2:
            dc_.world = x * dc_.world;
            break;
        case 3:
            dc_.world = dc_.world * x;
            break;
        case 4:
            dc_.world = x;
            break;
        default:
            break;
        }
    }

    // The saved states.

    void SaveDc(EmfRecord, const RecordView&)
    {
        // A file of nothing but saves must not eat the memory.
        if (saved_.size() < kMaxSavedStates)
            saved_.push_back(dc_);
    }

    void RestoreDc(EmfRecord, const RecordView& r)
    {
        const std::optional<std::size_t> target = RestoredState(r.I32(8), saved_.size());
        if (!target)
            return;
        dc_ = saved_[*target];
        saved_.resize(*target);
        SyncClip();
    }

    // The objects.

    void CreatePen(EmfRecord, const RecordView& r) { Store(r.U32(8), ReadPenRecord(r)); }
    void ExtCreatePen(EmfRecord, const RecordView& r) { Store(r.U32(8), ReadExtPenRecord(r)); }
    void CreateBrush(EmfRecord, const RecordView& r) { Store(r.U32(8), ReadBrushRecord(r)); }
    void CreateFont(EmfRecord, const RecordView& r) { Store(r.U32(8), ReadFontRecord(r)); }

    void CreatePatternBrush(EmfRecord type, const RecordView& r)
    {
        Store(r.U32(8), ReadPatternBrush(r, type == EmfRecord::CreateMonoBrush, dc_,
                                         {patternReach_, &budget_}));
    }

    // Palettes and colour spaces only take their slot.
    void CreateOther(EmfRecord, const RecordView& r) { Store(r.U32(8), OtherObject{}); }

    void SelectObject(EmfRecord, const RecordView& r) { Select(r.U32(8)); }

    void DeleteObject(EmfRecord, const RecordView& r)
    {
        const std::uint32_t index = r.U32(8);
        // Stock objects are never deleted.
        if (index & 0x80000000U)
            return;
        objects_[index].reset();
    }

    // The rest of the device context.

    void SetPolyFillMode(EmfRecord, const RecordView& r) { dc_.winding = r.U32(8) == 2; }
    void SetBkMode(EmfRecord, const RecordView& r) { dc_.opaqueBackground = r.U32(8) == 2; }
    void SetRop2(EmfRecord, const RecordView& r) { dc_.rop2 = int(r.U32(8)); }
    void SetTextAlign(EmfRecord, const RecordView& r) { dc_.textAlign = r.U32(8); }
    void SetTextColor(EmfRecord, const RecordView& r) { dc_.textColour = ColourOf(r.U32(8)); }
    void SetBkColor(EmfRecord, const RecordView& r) { dc_.backColour = ColourOf(r.U32(8)); }
    void SetArcDirection(EmfRecord, const RecordView& r) { dc_.clockwiseArcs = r.U32(8) == 2; }

    void SetTextJustification(EmfRecord, const RecordView& r)
    {
        dc_.breakExtra = r.I32(8);
        dc_.breakCount = r.I32(12);
    }

    // Lines, boxes and polygons.

    void MoveTo(EmfRecord, const RecordView& r)
    {
        dc_.position = QPointF(r.I32(8), r.I32(12));
        if (QPainterPath* recording = Recording())
            recording->moveTo(Map(dc_.position));
    }

    void LineTo(EmfRecord, const RecordView& r)
    {
        const QPointF to(r.I32(8), r.I32(12));
        if (QPainterPath* recording = Recording()) {
            FromCurrent(*recording);
            recording->lineTo(Map(to));
        } else {
            Prepare(false);
            painter_.drawLine(Map(dc_.position), Map(to));
        }
        dc_.position = to;
    }

    void Rectangle(EmfRecord, const RecordView& r)
    {
        if (QPainterPath* recording = Recording()) {
            recording->addPolygon(QPolygonF(
                QRectF(Map(QPointF(r.I32(8), r.I32(12))), Map(QPointF(r.I32(16), r.I32(20))))
                    .normalized()));
            recording->closeSubpath();
        } else if (const auto box = Box(r)) {
            Prepare(true);
            painter_.drawRect(*box);
        }
    }

    void Ellipse(EmfRecord, const RecordView& r)
    {
        if (QPainterPath* recording = Recording()) {
            recording->addEllipse(
                QRectF(Map(QPointF(r.I32(8), r.I32(12))), Map(QPointF(r.I32(16), r.I32(20))))
                    .normalized());
        } else if (const auto box = Box(r)) {
            Prepare(true);
            painter_.drawEllipse(*box);
        }
    }

    void FillOrFrameRegion(EmfRecord type, const RecordView& r)
    {
        // The brush of the record, without disturbing what is selected.
        const Pen pen = dc_.pen;
        const Brush brush = dc_.brush;
        const Font font = dc_.font;
        Select(r.U32(28));
        const QBrush fill = CurrentBrush();
        dc_.pen = pen;
        dc_.brush = brush;
        dc_.font = font;
        const bool frame = type == EmfRecord::FrameRgn;
        std::optional<QRegion> region = ReadRegion(r, frame ? 40 : 32, r.U32(24), toTarget_);
        if (!region)
            return;
        if (frame) {
            // The frame is what is left once the region is shrunk by
            // the stroke's width and height (logical units) on every side.
            const QTransform m = Mapping();
            const int w = std::max(1, int(std::lround(std::abs(r.I32(32) * m.m11()))));
            const int h = std::max(1, int(std::lround(std::abs(r.I32(36) * m.m22()))));
            const QRegion inner = region->intersected(region->translated(w, 0))
                                      .intersected(region->translated(-w, 0))
                                      .intersected(region->translated(0, h))
                                      .intersected(region->translated(0, -h));
            region = region->subtracted(inner);
        }
        QPainterPath area;
        area.addRegion(*region);
        painter_.setCompositionMode(RasterMode());
        painter_.fillPath(area, fill);
    }

    void PolyDraw(EmfRecord type, const RecordView& r)
    {
        DrawPolyDraw(r, type == EmfRecord::PolyDraw16);
    }

    void SetPixel(EmfRecord, const RecordView& r)
    {
        const QPoint p = Map(QPointF(r.I32(8), r.I32(12)));
        painter_.fillRect(QRect(p, QSize(1, 1)), ColourOf(r.U32(16)));
    }

    // Polygon, Polyline and PolylineTo, of 32- or 16-bit points.
    void PolyPoints(EmfRecord type, const RecordView& r)
    {
        using enum EmfRecord;
        const bool small = type == Polygon16 || type == Polyline16 || type == PolylineTo16;
        std::vector<QPointF> points = Points(r, 28, r.U32(24), small);
        if (points.empty())
            return;
        const bool to = type == PolylineTo || type == PolylineTo16;
        const bool closed = type == Polygon || type == Polygon16;
        if (to) {
            points.insert(points.begin(), dc_.position);
            dc_.position = points.back();
        }
        const QPolygon polygon = Device(points);
        if (QPainterPath* recording = Recording()) {
            if (to) {
                FromCurrent(*recording);
                for (qsizetype i = 1; i < polygon.size(); ++i)
                    recording->lineTo(polygon[i]);
            } else {
                recording->addPolygon(QPolygonF(polygon));
                if (closed)
                    recording->closeSubpath();
            }
        } else if (closed) {
            Prepare(true);
            painter_.drawPolygon(polygon, dc_.winding ? Qt::WindingFill : Qt::OddEvenFill);
        } else {
            Prepare(false);
            painter_.drawPolyline(polygon);
        }
    }

    void PolyBezier(EmfRecord type, const RecordView& r)
    {
        using enum EmfRecord;
        const bool small = type == PolyBezier16 || type == PolyBezierTo16;
        const std::vector<QPointF> points = Points(r, 28, r.U32(24), small);
        if (!points.empty())
            DrawBezier(points, type == PolyBezierTo || type == PolyBezierTo16);
    }

    void PolyPoly(EmfRecord type, const RecordView& r)
    {
        using enum EmfRecord;
        DrawPolys(r, type == PolyPolygon16 || type == PolyPolyline16,
                  type == PolyPolygon || type == PolyPolygon16);
    }

    QPainter& painter_;
    const QByteArray& data_;
    EmfHeader header_;
    QTransform toTarget_;
    std::optional<QRegion> baseClip_;
    std::optional<QRect> patternReach_;
    bool usable_ = false;
    // What the brush patterns may take; before every state that holds them,
    // so that it outlives them.
    MemoryBudget budget_{PixelMemoryLimit()};
    DcState dc_;
    std::vector<DcState> saved_;
    std::vector<std::optional<Object>> objects_;
};

// Every record type the player knows, in numeric order: the core's with
// their handlers, the families' and the ones passed over on purpose.
constexpr auto Player::Routes()
{
    using enum EmfRecord;
    using F = EmfFamily;
    return std::to_array<Route>({
        {Header, F::Ignored},
        {PolyBezier, F::Core, &Player::PolyBezier},
        {Polygon, F::Core, &Player::PolyPoints},
        {Polyline, F::Core, &Player::PolyPoints},
        {PolyBezierTo, F::Core, &Player::PolyBezier},
        {PolylineTo, F::Core, &Player::PolyPoints},
        {PolyPolyline, F::Core, &Player::PolyPoly},
        {PolyPolygon, F::Core, &Player::PolyPoly},
        {SetWindowExtEx, F::Core, &Player::SetExtent},
        {SetWindowOrgEx, F::Core, &Player::SetOrigin},
        {SetViewportExtEx, F::Core, &Player::SetExtent},
        {SetViewportOrgEx, F::Core, &Player::SetOrigin},
        {SetBrushOrgEx, F::Ignored},
        // Eof ends the playback before it is dispatched.
        {SetPixelV, F::Core, &Player::SetPixel},
        {SetMapperFlags, F::Ignored},
        {SetMapMode, F::Core, &Player::SetMapMode},
        {SetBkMode, F::Core, &Player::SetBkMode},
        {SetPolyFillMode, F::Core, &Player::SetPolyFillMode},
        {SetRop2, F::Core, &Player::SetRop2},
        // Pictures are stretched pixel by pixel whatever mode they ask for.
        {SetStretchBltMode, F::Ignored},
        {SetTextAlign, F::Core, &Player::SetTextAlign},
        {SetColorAdjustment, F::Ignored},
        {SetTextColor, F::Core, &Player::SetTextColor},
        {SetBkColor, F::Core, &Player::SetBkColor},
        {OffsetClipRgn, F::Path},
        {MoveToEx, F::Core, &Player::MoveTo},
        {SetMetaRgn, F::Ignored},
        {ExcludeClipRect, F::Path},
        {IntersectClipRect, F::Path},
        {ScaleViewportExtEx, F::Core, &Player::ScaleExtent},
        {ScaleWindowExtEx, F::Core, &Player::ScaleExtent},
        {SaveDC, F::Core, &Player::SaveDc},
        {RestoreDC, F::Core, &Player::RestoreDc},
        {SetWorldTransform, F::Core, &Player::SetWorldTransform},
        {ModifyWorldTransform, F::Core, &Player::ModifyWorldTransform},
        {SelectObject, F::Core, &Player::SelectObject},
        {CreatePen, F::Core, &Player::CreatePen},
        {CreateBrushIndirect, F::Core, &Player::CreateBrush},
        {DeleteObject, F::Core, &Player::DeleteObject},
        {AngleArc, F::Shape},
        {Ellipse, F::Core, &Player::Ellipse},
        {Rectangle, F::Core, &Player::Rectangle},
        {RoundRect, F::Shape},
        {Arc, F::Shape},
        {Chord, F::Shape},
        {Pie, F::Shape},
        // No palettes are kept: selecting one, its index checked by Play,
        // changes nothing, not even the painter.
        {SelectPalette, F::Core},
        {CreatePalette, F::Core, &Player::CreateOther},
        {SetPaletteEntries, F::Ignored},
        {ResizePalette, F::Ignored},
        {RealizePalette, F::Ignored},
        {ExtFloodFill, F::Ignored},
        {LineTo, F::Core, &Player::LineTo},
        {ArcTo, F::Shape},
        {PolyDraw, F::Core, &Player::PolyDraw},
        {SetArcDirection, F::Core, &Player::SetArcDirection},
        {SetMiterLimit, F::Ignored},
        {BeginPath, F::Path},
        {EndPath, F::Path},
        {CloseFigure, F::Path},
        {FillPath, F::Path},
        {StrokeAndFillPath, F::Path},
        {StrokePath, F::Path},
        {FlattenPath, F::Path},
        {WidenPath, F::Path},
        {SelectClipPath, F::Path},
        {AbortPath, F::Path},
        // Comments, the EMF+ records of dual files among them: the GDI
        // records beside them draw the same picture.
        {Comment, F::Ignored},
        {FillRgn, F::Core, &Player::FillOrFrameRegion},
        {FrameRgn, F::Core, &Player::FillOrFrameRegion},
        {InvertRgn, F::Path},
        {PaintRgn, F::Path},
        {ExtSelectClipRgn, F::Path},
        {BitBlt, F::Bitmap},
        {StretchBlt, F::Bitmap},
        {MaskBlt, F::Bitmap},
        {PlgBlt, F::Bitmap},
        {SetDIBitsToDevice, F::Bitmap},
        {StretchDIBits, F::Bitmap},
        {ExtCreateFontIndirectW, F::Core, &Player::CreateFont},
        {ExtTextOutA, F::Text},
        {ExtTextOutW, F::Text},
        {PolyBezier16, F::Core, &Player::PolyBezier},
        {Polygon16, F::Core, &Player::PolyPoints},
        {Polyline16, F::Core, &Player::PolyPoints},
        {PolyBezierTo16, F::Core, &Player::PolyBezier},
        {PolylineTo16, F::Core, &Player::PolyPoints},
        {PolyPolyline16, F::Core, &Player::PolyPoly},
        {PolyPolygon16, F::Core, &Player::PolyPoly},
        {PolyDraw16, F::Core, &Player::PolyDraw},
        {CreateMonoBrush, F::Core, &Player::CreatePatternBrush},
        {CreateDIBPatternBrushPt, F::Core, &Player::CreatePatternBrush},
        {ExtCreatePen, F::Core, &Player::ExtCreatePen},
        {PolyTextOutA, F::Text},
        {PolyTextOutW, F::Text},
        {SetICMMode, F::Ignored},
        {CreateColorSpace, F::Core, &Player::CreateOther},
        {SetColorSpace, F::Ignored},
        {DeleteColorSpace, F::Ignored},
        {GLSRecord, F::Ignored},
        {GLSBoundedRecord, F::Ignored},
        {PixelFormat, F::Ignored},
        {DrawEscape, F::Ignored},
        {ExtEscape, F::Ignored},
        {SmallTextOut, F::Text},
        {ForceUFIMapping, F::Ignored},
        {NamedEscape, F::Ignored},
        {ColorCorrectPalette, F::Ignored},
        {SetICMProfileA, F::Ignored},
        {SetICMProfileW, F::Ignored},
        {AlphaBlend, F::Bitmap},
        {SetLayout, F::Ignored},
        {TransparentBlt, F::Bitmap},
        {GradientFill, F::Bitmap},
        {SetLinkedUFIs, F::Ignored},
        {SetTextJustification, F::Core, &Player::SetTextJustification},
        {ColorMatchToTargetW, F::Ignored},
        {CreateColorSpaceW, F::Core, &Player::CreateOther},
    });
}

const Player::Route* Player::Find(EmfRecord type)
{
    static constexpr auto kRoutes = Routes();
    static_assert(std::ranges::adjacent_find(kRoutes, std::ranges::greater_equal{}, &Route::type) ==
                      kRoutes.end(),
                  "routes in strictly numeric order");
    const auto found = std::ranges::lower_bound(kRoutes, type, {}, &Route::type);
    return found != kRoutes.end() && found->type == type ? &*found : nullptr;
}

EmfFamily Player::FamilyOf(EmfRecord type)
{
    const Route* route = Find(type);
    // A record nobody knows is passed over like the known ones nobody draws.
    return route != nullptr ? route->family : EmfFamily::Ignored;
}

void Player::Dispatch(EmfRecord type, const RecordView& r)
{
    const EmfFamily family = FamilyOf(type);
    if (family == EmfFamily::Core) {
        if (const Handler handler = Find(type)->handler)
            (this->*handler)(type, r);
        return;
    }
    EmfDrawing drawing = Drawing();
    switch (family) {
    case EmfFamily::Shape:
        painter_.setCompositionMode(RasterMode());
        PlayShapeRecord(type, r, drawing);
        return;
    case EmfFamily::Path:
        painter_.setCompositionMode(RasterMode());
        PlayPathRecord(type, r, drawing);
        SyncClip();
        return;
    case EmfFamily::Bitmap:
    case EmfFamily::Text:
    case EmfFamily::Ignored:
        // Raster operations combine lines and fills only. A record passed
        // over leaves the painter drawing plainly too, so a SetPixelV after
        // it is not combined with the last line's raster operation.
        painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (family == EmfFamily::Bitmap)
            PlayBitmapRecord(type, r, drawing);
        else if (family == EmfFamily::Text)
            PlayTextRecord(type, r, drawing);
        return;
    case EmfFamily::Core:
        return;
    }
}

} // namespace

void FailInvalidMetafile()
{
    throw EInvalidGraphic(InvalidMetafileText());
}

EmfFamily EmfFamilyOf(EmfRecord type)
{
    return Player::FamilyOf(type);
}

QColor ColourOf(std::uint32_t colourRef)
{
    return QColor(int(colourRef & 0xFF), int((colourRef >> 8) & 0xFF),
                  int((colourRef >> 16) & 0xFF));
}

void PlayEnhancedMetafile(QPainter& painter, const QByteArray& data, const TRect& rect)
{
    // The painter is handed back as it came, also when a broken record
    // ends the playback with an error.
    struct Restore {
        QPainter& painter;
        explicit Restore(QPainter& p) : painter(p) { painter.save(); }
        ~Restore() { painter.restore(); }
        Restore(const Restore&) = delete;
        Restore& operator=(const Restore&) = delete;
    } restore(painter);
    painter.setRenderHint(QPainter::Antialiasing, false);
    Player(painter, data, rect).Play();
}

} // namespace orvelle
