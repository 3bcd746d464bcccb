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

// The target pixels of one target row: each the nearest source pixel of
// its column of one source row.
void SampleRow(const TBitmap& source, const PixelReader& reader, const std::uint8_t* row,
               const std::vector<Span>& columns, std::uint8_t* out)
{
    const bool straight = source.Format().bitsPerPixel == 24;
    for (const Span& c : columns) {
        if (straight) {
            const std::uint8_t* p = row + std::int64_t(c.first) * 3;
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
        } else {
            const BgrColour colour = reader.At(row, c.first);
            out[0] = colour.blue;
            out[1] = colour.green;
            out[2] = colour.red;
        }
        out += 3;
    }
}

// Which of the two indices the pixels [first, last] of a two-colour row
// hold, found a byte at a time. Only the first stored bytes are looked at:
// the rest of the row reads 0. Answers how many pixels were looked at.
std::int64_t IndicesIn(const std::uint8_t* row, std::int64_t stored, int first, int last,
                       bool& zero, bool& one)
{
    const std::int64_t from = first / 8;
    const std::int64_t to = last / 8; // inclusive
    std::int64_t looked = 0;
    for (std::int64_t i = from; i <= to && !(zero && one); ++i) {
        unsigned mask = 0xFF;
        if (i == from)
            mask &= 0xFFu >> (first % 8);
        if (i == to)
            mask &= (0xFF00u >> (last % 8 + 1)) & 0xFF;
        if (i >= stored) {
            // Past the stored bytes everything is index 0.
            zero = true;
            break;
        }
        const unsigned byte = row[i];
        one = one || (byte & mask) != 0;
        zero = zero || (~byte & mask) != 0;
        looked += 8;
    }
    return looked;
}

} // namespace

std::int64_t StretchCopy(const BgrSurface& target, const TRect& rect, const TBitmap& source)
{
    const int w = rect.Width();
    const int h = rect.Height();
    const int sw = source.Width();
    const int sh = source.Height();
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0)
        return 0;
    const int x0 = std::max(rect.Left, 0);
    const int x1 = std::min(rect.Right, target.width);
    const int y0 = std::max(rect.Top, 0);
    const int y1 = std::min(rect.Bottom, target.height);
    if (x0 >= x1 || y0 >= y1)
        return 0;

    const bool twoColour = source.Format().bitsPerPixel == 1;
    const bool combineColumns = twoColour && w < sw;
    const bool combineRows = twoColour && h < sh;
    // Every buffer is as large as the part of the target drawn, never as the
    // source: a source may claim far more pixels than its file holds.
    const std::vector<Span> columns = Spans(x0, x1, rect.Left, sw, w, combineColumns);
    const std::vector<Span> rows = Spans(y0, y1, rect.Top, sh, h, combineRows);
    const std::size_t lineBytes = std::size_t(x1 - x0) * 3;
    std::vector<std::uint8_t> line(lineBytes);
    const PixelReader reader(source);
    const TBitmap::RowSpan shared = source.SharedRows();
    const int cycle = source.SharedRowCycle();
    std::int64_t looked = 0;

    if (!combineColumns && !combineRows) {
        // One source pixel a target pixel. Consecutive target rows that take
        // the same source row, or the one row every row past the file's data
        // shares, sample it once. 24-bit rows drawn at their own width are
        // copied as they are.
        const bool copyRows = source.Format().bitsPerPixel == 24 && w == sw;
        const std::uint8_t* sampled = nullptr;
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* from = source.PixelRow(rows[std::size_t(y - y0)].first);
            if (copyRows) {
                std::memcpy(target.bits + target.stride * y + std::int64_t(x0) * 3,
                            from + std::int64_t(x0 - rect.Left) * 3, lineBytes);
                looked += x1 - x0;
                continue;
            }
            if (from != sampled) {
                SampleRow(source, reader, from, columns, line.data());
                sampled = from;
                looked += x1 - x0;
            }
            std::memcpy(target.bits + target.stride * y + std::int64_t(x0) * 3, line.data(),
                        lineBytes);
        }
        return looked;
    }

    // Two colours, shrunk: each target pixel is the AND of the colours of
    // the source pixels it stands for, which is the AND of the colours of
    // the indices among them. So only which indices occur is found, and the
    // rows past the file's data, which share their pixels, are looked at
    // once for each row they share.
    const auto& palette = source.Palette();
    const BgrColour colours[2] = {palette.size() > 0 ? palette[0] : BgrColour{},
                                  palette.size() > 1 ? palette[1] : BgrColour{}};
    std::vector<std::uint8_t> seen(std::size_t(x1 - x0) * 2);
    Span last{-1, -1};
    for (int y = y0; y < y1; ++y) {
        const Span& span = rows[std::size_t(y - y0)];
        if (span.first != last.first || span.last != last.last) {
            std::fill(seen.begin(), seen.end(), std::uint8_t(0));
            int sharedSeen = 0;
            for (int sy = span.first; sy <= span.last; ++sy) {
                if (sy >= shared.first && sy < shared.last) {
                    // Consecutive shared rows take the shared rows in turn.
                    if (sharedSeen == cycle) {
                        sy = shared.last - 1;
                        continue;
                    }
                    ++sharedSeen;
                }
                const std::uint8_t* from = source.PixelRow(sy);
                const std::int64_t stored = source.StoredBytesOfRow(sy);
                for (std::size_t i = 0; i < columns.size(); ++i) {
                    bool zero = seen[2 * i] != 0;
                    bool one = seen[2 * i + 1] != 0;
                    looked += IndicesIn(from, stored, columns[i].first, columns[i].last, zero, one);
                    seen[2 * i] = zero;
                    seen[2 * i + 1] = one;
                }
            }
            std::uint8_t* out = line.data();
            for (std::size_t i = 0; i < columns.size(); ++i, out += 3) {
                std::uint8_t b = 0xFF, g = 0xFF, r = 0xFF;
                for (int index = 0; index < 2; ++index) {
                    if (!seen[2 * i + std::size_t(index)])
                        continue;
                    b &= colours[index].blue;
                    g &= colours[index].green;
                    r &= colours[index].red;
                }
                out[0] = b;
                out[1] = g;
                out[2] = r;
            }
            last = span;
        }
        std::memcpy(target.bits + target.stride * y + std::int64_t(x0) * 3, line.data(),
                    lineBytes);
    }
    return looked;
}

} // namespace orvelle

TCanvas::TCanvas(TBitmap& target) : bitmap_(&target)
{
    if (target.PixelFormat() != TPixelFormat::pf24bit || target.Format().redMask ||
        target.Format().greenMask || target.Format().blueMask)
        target.SetPixelFormat(TPixelFormat::pf24bit);
}

TCanvas::TCanvas(QPainter& painter, int deviceWidth, int deviceHeight)
    : TCanvas(painter, deviceWidth, deviceHeight, {0, 0, deviceWidth, deviceHeight})
{
}

TCanvas::TCanvas(QPainter& painter, int deviceWidth, int deviceHeight, const TRect& visible)
    : painter_(&painter),
      visible_{std::max(visible.Left, 0), std::max(visible.Top, 0),
               std::min(visible.Right, deviceWidth), std::min(visible.Bottom, deviceHeight)}
{
}

void TCanvas::DrawAt(int x, int y, TGraphic* graphic)
{
    if (!graphic || graphic->Empty())
        return;
    orvelle::AllocationsChecked(
        [&] { graphic->Draw(*this, {x, y, x + graphic->Width(), y + graphic->Height()}); });
}

void TCanvas::DrawStretched(const TRect& rect, TGraphic* graphic)
{
    if (graphic)
        orvelle::AllocationsChecked([&] { graphic->Draw(*this, rect); });
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
        sourcePixelsRead_ += orvelle::StretchCopy({top, stride, bitmap_->Width(), bitmap_->Height()},
                                                  rect, source);
        return;
    }
    // Through a painter: the part of rect that is painted is made at full
    // resolution and put on the device without further scaling.
    const int x0 = std::max(rect.Left, visible_.Left);
    const int y0 = std::max(rect.Top, visible_.Top);
    const int x1 = std::min(rect.Right, visible_.Right);
    const int y1 = std::min(rect.Bottom, visible_.Bottom);
    if (x0 >= x1 || y0 >= y1 || rect.Width() <= 0 || rect.Height() <= 0)
        return;
    QImage image(x1 - x0, y1 - y0, QImage::Format_BGR888);
    // A painted part too large for one image (no window is) shows nothing:
    // an error here would come back with every repaint.
    if (image.isNull())
        return;
    const TRect local{rect.Left - x0, rect.Top - y0, rect.Right - x0, rect.Bottom - y0};
    sourcePixelsRead_ += orvelle::StretchCopy(
        {image.bits(), image.bytesPerLine(), image.width(), image.height()}, local, source);
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
