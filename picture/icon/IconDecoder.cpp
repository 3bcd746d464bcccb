#include "IconDecoder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include "Bitmap.h"
#include "BmpReader.h"
#include "DibHeader.h"
#include "Errors.h"
#include "LittleEndian.h"
#include "PixelConversion.h"

namespace orvelle {

namespace {

constexpr qsizetype kIconHeaderSize = 6;
constexpr qsizetype kDirectoryEntrySize = 16;
constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

[[noreturn]] void RaiseInvalidIcon()
{
    throw EInvalidGraphic(InvalidIconText());
}

int EntrySide(std::uint8_t stored)
{
    return stored == 0 ? 256 : stored;
}

// Whether a candidate's size is at least as good as the taken entry's along
// one axis: no farther from the target, and not beyond it unless the taken
// one lies at least as far beyond.
bool AtLeastAsGood(int d, int d0)
{
    return std::abs(d) <= std::abs(d0) && (d <= 0 || d <= d0);
}

QImage DecodePng(QByteArrayView entry, QSize within)
{
    QByteArray bytes = QByteArray::fromRawData(entry.data(), entry.size());
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "PNG");
    // A small file can hold a picture of many millions of pixels, most of
    // which an icon throws away. The reader takes in the whole picture in
    // its stored format (no more than its allocation limit allows) and cuts
    // out the part wanted; only that part is converted to colours.
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > within.width() || size.height() > within.height()))
        reader.setClipRect(QRect(QPoint(0, 0), size.boundedTo(within)));
    QImage image;
    if (!reader.read(&image) || image.isNull())
        RaiseInvalidIcon();
    image = image.convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        throw EOutOfResources(OutOfResourcesText());
    return image;
}

// A DIB as icons store it: the info header gives twice the image's height,
// and the colour rows are followed by a 1-bit AND mask in the same row order
// (bottom row first).
QImage DecodeDibEntry(QByteArrayView entry, QSize within)
{
    const std::int64_t available = entry.size();
    // Icons carry no core headers.
    if (available < qsizetype(kInfoHeaderSize) || le::U32(entry.data()) < kInfoHeaderSize)
        RaiseInvalidIcon();
    // Every fault of the header is the icon's: a short table or a plane
    // count as much as a size the data cannot hold.
    DibHeader dib;
    try {
        dib = ParseDibHeader(entry, DibPlanes::Ignored);
    } catch (const EOutOfResources&) {
        throw;
    } catch (const Exception&) {
        RaiseInvalidIcon();
    }
    const std::int32_t width = dib.info.width;
    const std::int32_t height = dib.info.height / 2;
    const int bits = dib.info.bitCount;
    const std::uint32_t compression = dib.info.compression;
    if (width <= 0 || height <= 0)
        RaiseInvalidIcon();
    // Icons hold no run-length data.
    if (IsRunLength(compression) || !DibFormatAllowed(bits, compression))
        RaiseInvalidIcon();

    const std::int64_t length = dib.length;
    const std::int64_t stride = RowStride(width, bits);
    // Every size is weighed against the data before it is multiplied, so a
    // header that claims gigabytes cannot overflow the arithmetic.
    if (height > (available - length) / stride)
        RaiseInvalidIcon();
    const std::int64_t colourBytes = stride * height;

    // The colour part is decoded as an ordinary DIB of the real height; the
    // image size field is dropped, since the rows are known to be complete.
    dib.info.height = height;
    dib.info.imageSize = 0;
    const QByteArrayView colourRows = entry.sliced(qsizetype(length), qsizetype(colourBytes));
    TBitmap colour;
    try {
        DecodeDib(dib, colourRows, colour);
    } catch (const EOutOfResources&) {
        throw;
    } catch (const Exception&) {
        RaiseInvalidIcon();
    }

    // Only the part wanted is made; the whole image may be far larger than
    // anything an icon shows.
    const int shownWidth = std::min(width, within.width());
    const int shownHeight = std::min(height, within.height());
    QImage image(shownWidth, shownHeight, QImage::Format_ARGB32);
    if (image.isNull())
        throw EOutOfResources(OutOfResourcesText());

    // A 32-bit image that carries any alpha is shown by its alpha channel;
    // one whose fourth bytes are all 0 predates alpha and uses its mask.
    const bool alphaBits = bits == 32 && compression == kBiRgb;
    bool useAlpha = false;
    if (alphaBits) {
        for (std::int64_t i = 3; i < colourBytes && !useAlpha; i += 4)
            useAlpha = colourRows[qsizetype(i)] != 0;
    }

    // A mask cut short leaves the missing pixels opaque.
    const std::int64_t maskStride = RowStride(width, 1);
    const std::int64_t maskStart = length + colourBytes;
    const PixelReader reader(colour);
    for (int y = 0; y < shownHeight; ++y) {
        const std::uint8_t* colourRow = std::as_const(colour).PixelRow(y);
        const std::int64_t fileRow = height - 1 - y;
        const char* raw = colourRows.data() + fileRow * stride;
        const std::int64_t maskRow = maskStart + fileRow * maskStride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < shownWidth; ++x) {
            const BgrColour p = reader.At(colourRow, x);
            int alpha = 255;
            if (useAlpha) {
                alpha = static_cast<std::uint8_t>(raw[std::int64_t(x) * 4 + 3]);
            } else {
                const std::int64_t at = maskRow + x / 8;
                if (at < available &&
                    (static_cast<std::uint8_t>(entry[qsizetype(at)]) & (0x80 >> (x % 8))))
                    alpha = 0;
            }
            out[x] = qRgba(p.red, p.green, p.blue, alpha);
        }
    }
    return image;
}

} // namespace

std::vector<IconEntry> ReadIconDirectory(QByteArrayView file)
{
    if (file.size() < kIconHeaderSize)
        RaiseInvalidIcon();
    const int count = le::U16(file.data() + 4);
    if (count == 0 || file.size() < kIconHeaderSize + count * kDirectoryEntrySize)
        RaiseInvalidIcon();
    std::vector<IconEntry> entries;
    entries.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        const char* p = file.data() + kIconHeaderSize + i * kDirectoryEntrySize;
        IconEntry entry;
        entry.width = EntrySide(static_cast<std::uint8_t>(p[0]));
        entry.height = EntrySide(static_cast<std::uint8_t>(p[1]));
        const auto colourCount = static_cast<std::uint8_t>(p[2]);
        entry.colours = colourCount == 0 ? kUnlimitedColours : colourCount;
        entry.bytes = le::U32(p + 8);
        entry.offset = le::U32(p + 12);
        entries.push_back(entry);
    }
    return entries;
}

std::size_t ChooseIconEntry(const std::vector<IconEntry>& entries, int targetWidth,
                            int targetHeight, std::int64_t displayColours)
{
    std::size_t taken = 0;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const IconEntry& candidate = entries[i];
        const IconEntry& best = entries[taken];
        if (candidate.colours > displayColours || candidate.colours < best.colours)
            continue;
        if (AtLeastAsGood(candidate.width - targetWidth, best.width - targetWidth) &&
            AtLeastAsGood(candidate.height - targetHeight, best.height - targetHeight))
            taken = i;
    }
    return taken;
}

QImage DecodeIconImage(QByteArrayView entry, QSize within)
{
    constexpr qsizetype signatureLength = sizeof(kPngSignature) - 1;
    if (entry.size() >= signatureLength &&
        std::memcmp(entry.data(), kPngSignature, std::size_t(signatureLength)) == 0)
        return DecodePng(entry, within);
    return DecodeDibEntry(entry, within);
}

QImage StandardApplicationIcon()
{
    QImage image(kStandardIconSize, kStandardIconSize, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    // A window: dark frame, blue title bar with a close box, white client
    // area, and a grey shadow to the lower right.
    constexpr int left = 2, top = 4, right = 28, bottom = 26;
    const QRgb frame = qRgb(0, 0, 0);
    const QRgb title = qRgb(0, 0, 128);
    const QRgb client = qRgb(255, 255, 255);
    const QRgb shadow = qRgba(0, 0, 0, 96);
    const QRgb closeBox = qRgb(192, 192, 192);
    for (int y = top + 1; y <= bottom + 1; ++y)
        image.setPixel(right + 1, y, shadow);
    for (int x = left + 1; x <= right + 1; ++x)
        image.setPixel(x, bottom + 1, shadow);
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            const bool edge = x == left || x == right || y == top || y == bottom;
            QRgb pixel = client;
            if (edge)
                pixel = frame;
            else if (y <= top + 5)
                pixel = (x >= right - 5 && x <= right - 2 && y >= top + 2 && y <= top + 4)
                            ? closeBox
                            : title;
            else if (y == top + 6)
                pixel = frame;
            image.setPixel(x, y, pixel);
        }
    }
    return image;
}

void BlendIconImage(const BgrSurface& target, int x, int y, const QImage& image)
{
    const int x0 = std::max(x, 0);
    const int y0 = std::max(y, 0);
    const int x1 = int(std::min<std::int64_t>(std::int64_t(x) + image.width(), target.width));
    const int y1 = int(std::min<std::int64_t>(std::int64_t(y) + image.height(), target.height));
    for (int ty = y0; ty < y1; ++ty) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(ty - y));
        std::uint8_t* out = target.bits + target.stride * ty + std::int64_t(x0) * 3;
        for (int tx = x0; tx < x1; ++tx, out += 3) {
            const QRgb pixel = in[tx - x];
            const int alpha = qAlpha(pixel);
            if (alpha == 0)
                continue;
            const int keep = 255 - alpha;
            out[0] = std::uint8_t((qBlue(pixel) * alpha + out[0] * keep + 127) / 255);
            out[1] = std::uint8_t((qGreen(pixel) * alpha + out[1] * keep + 127) / 255);
            out[2] = std::uint8_t((qRed(pixel) * alpha + out[2] * keep + 127) / 255);
        }
    }
}

} // namespace orvelle
