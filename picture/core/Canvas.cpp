#include "Canvas.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include <QImage>
#include <QPainter>

#include "Bitmap.h"
#include "Errors.h"
#include "PixelConversion.h"

namespace orvelle {

int NearestSource(std::int64_t t, std::int64_t sourceSize, std::int64_t targetSize)
{
    return static_cast<int>(((2 * t + 1) * sourceSize) / (2 * targetSize));
}

namespace {

// The source pixels one target pixel stands for along one axis: the nearest
// one, or, for a shrunk two-colour source, every source pixel whose centre
// falls inside the target pixel.
struct Span {
    int first = 0;
    int last = 0; // inclusive
};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

std::int64_t CeilDiv(std::int64_t a, std::int64_t b)
{
    return -FloorDiv(-a, b);
}

std::vector<Span> Spans(int from, int to, int offset, int sourceSize, int targetSize, bool combine)
{
    std::vector<Span> spans;
    spans.reserve(static_cast<std::size_t>(to - from));
    for (int t = from; t < to; ++t) {
        const std::int64_t local = std::int64_t(t) - offset;
        const int nearest = NearestSource(local, sourceSize, targetSize);
        if (!combine) {
            spans.push_back({nearest, nearest});
            continue;
        }
        // Source pixel s belongs to target pixel ⌊(2s + 1) · T / (2S)⌋, so
        // target pixel t holds s from ⌈(2St − T) / 2T⌉ to ⌊(2S(t + 1) − T − 1) / 2T⌋.
        const std::int64_t S = sourceSize;
        const std::int64_t T = targetSize;
        const int first =
            static_cast<int>(std::max<std::int64_t>(0, CeilDiv(2 * S * local - T, 2 * T)));
        const int last = static_cast<int>(
            std::min<std::int64_t>(S - 1, FloorDiv(2 * S * (local + 1) - T - 1, 2 * T)));
        spans.push_back({std::min(first, nearest), std::max(last, nearest)});
    }
    return spans;
}

} // namespace

void StretchCopy(const BgrSurface& target, const TRect& rect, const TBitmap& source)
{
    const int w = rect.Width();
    const int h = rect.Height();
    const int sw = source.Width();
    const int sh = source.Height();
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0)
        return;
    const int x0 = std::max(rect.Left, 0);
    const int x1 = std::min(rect.Right, target.width);
    const int y0 = std::max(rect.Top, 0);
    const int y1 = std::min(rect.Bottom, target.height);
    if (x0 >= x1 || y0 >= y1)
        return;

    const bool twoColour = source.Format().bitsPerPixel == 1;
    const std::vector<Span> columns = Spans(x0, x1, rect.Left, sw, w, twoColour && w < sw);
    const std::vector<Span> rows = Spans(y0, y1, rect.Top, sh, h, twoColour && h < sh);

    // 24-bit rows are read in place; others are converted once and reused
    // while consecutive target rows take the same source row.
    const bool straight = source.Format().bitsPerPixel == 24;
    // Without horizontal scaling a row is one copy.
    const bool sameWidth = w == sw;
    std::vector<std::uint8_t> line(static_cast<std::size_t>(sw) * 3);
    std::vector<std::uint8_t> combined;
    int converted = -1;
    for (int y = y0; y < y1; ++y) {
        const Span& span = rows[static_cast<std::size_t>(y - y0)];
        const std::uint8_t* from = nullptr;
        if (span.first == span.last && straight) {
            from = source.PixelRow(span.first);
        } else if (span.first == span.last) {
            if (converted != span.first) {
                ConvertRowToBgr(source, span.first, line.data());
                converted = span.first;
            }
            from = line.data();
        } else {
            combined.assign(line.size(), 0xFF);
            for (int sy = span.first; sy <= span.last; ++sy) {
                ConvertRowToBgr(source, sy, line.data());
                for (std::size_t i = 0; i < combined.size(); ++i)
                    combined[i] &= line[i];
            }
            converted = -1;
            from = combined.data();
        }
        std::uint8_t* out = target.bits + target.stride * y + std::int64_t(x0) * 3;
        if (sameWidth) {
            std::memcpy(out, from + std::size_t(x0 - rect.Left) * 3, std::size_t(x1 - x0) * 3);
            continue;
        }
        for (const Span& c : columns) {
            const std::uint8_t* p = from + std::size_t(c.first) * 3;
            std::uint8_t b = p[0], g = p[1], r = p[2];
            for (int sx = c.first + 1; sx <= c.last; ++sx) {
                p += 3;
                b &= p[0];
                g &= p[1];
                r &= p[2];
            }
            out[0] = b;
            out[1] = g;
            out[2] = r;
            out += 3;
        }
    }
}

} // namespace orvelle

TCanvas::TCanvas(TBitmap& target) : bitmap_(&target)
{
    if (target.PixelFormat() != TPixelFormat::pf24bit || target.Format().redMask ||
        target.Format().greenMask || target.Format().blueMask)
        target.SetPixelFormat(TPixelFormat::pf24bit);
}

TCanvas::TCanvas(QPainter& painter, int deviceWidth, int deviceHeight)
    : painter_(&painter), deviceWidth_(deviceWidth), deviceHeight_(deviceHeight)
{
}

void TCanvas::DrawAt(int x, int y, TGraphic* graphic)
{
    if (!graphic || graphic->Empty())
        return;
    graphic->Draw(*this, {x, y, x + graphic->Width(), y + graphic->Height()});
}

void TCanvas::DrawStretched(const TRect& rect, TGraphic* graphic)
{
    if (graphic)
        graphic->Draw(*this, rect);
}

void TCanvas::StretchBitmap(const TRect& rect, const TBitmap& source)
{
    if (bitmap_) {
        if (bitmap_->Empty())
            return;
        // Rows may be stored bottom row first: walk them from the top with a
        // negative stride.
        std::uint8_t* top = bitmap_->PixelRow(0);
        const std::int64_t stride =
            bitmap_->Height() > 1 ? bitmap_->PixelRow(1) - top : bitmap_->Stride();
        orvelle::StretchCopy({top, stride, bitmap_->Width(), bitmap_->Height()}, rect, source);
        return;
    }
    // Through a painter: the visible part is made at full resolution and
    // put on the device without further scaling.
    const int x0 = std::max(rect.Left, 0);
    const int y0 = std::max(rect.Top, 0);
    const int x1 = std::min(rect.Right, deviceWidth_);
    const int y1 = std::min(rect.Bottom, deviceHeight_);
    if (x0 >= x1 || y0 >= y1 || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    QImage image(x1 - x0, y1 - y0, QImage::Format_BGR888);
    if (image.isNull())
        return;
    const TRect local{rect.Left - x0, rect.Top - y0, rect.Right - x0, rect.Bottom - y0};
    orvelle::StretchCopy({image.bits(), image.bytesPerLine(), image.width(), image.height()}, local,
                         source);
    painter_->drawImage(QPoint(x0, y0), image);
}

void TCanvas::PaintWith(const std::function<void(QPainter&)>& draw)
{
    if (painter_) {
        draw(*painter_);
        return;
    }
    if (!bitmap_ || bitmap_->Empty())
        return;
    const int width = bitmap_->Width();
    const int height = bitmap_->Height();
    std::uint8_t* top = bitmap_->PixelRow(0);
    const std::int64_t stride = height > 1 ? bitmap_->PixelRow(1) - top : bitmap_->Stride();
    if (stride > 0) {
        QImage image(top, width, height, static_cast<qsizetype>(stride), QImage::Format_BGR888);
        QPainter painter(&image);
        draw(painter);
        return;
    }
    // Rows stored bottom row first cannot be wrapped: paint on a copy and
    // put its rows back.
    QImage image(width, height, QImage::Format_BGR888);
    if (image.isNull())
        throw EOutOfResources(orvelle::OutOfResourcesText());
    const std::size_t rowBytes = std::size_t(width) * 3;
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), bitmap_->PixelRow(y), rowBytes);
    {
        QPainter painter(&image);
        draw(painter);
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(bitmap_->PixelRow(y), image.constScanLine(y), rowBytes);
}
