#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <QImage>
#include <QPainter>

#include "EmfContext.h"
#include "Errors.h"

namespace orvelle {

namespace {

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

} // namespace

void DrawGradientRecord(const RecordView& r, EmfDrawing& dc)
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
        const QRect pixels = VisibleOnDevice(box.normalized().toAlignedRect(), dc.painter);
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

} // namespace orvelle
