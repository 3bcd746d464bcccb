#include "Icon.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include <QPainter>
#include <QtEndian>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "IconDecoder.h"

namespace {

constexpr qsizetype kIconHeaderSize = 6;
constexpr std::uint16_t kStandardIconType = 0;
constexpr std::uint16_t kIconType = 1;

std::uint16_t FileType(const QByteArray& bytes)
{
    return qFromLittleEndian<std::uint16_t>(bytes.constData() + 2);
}

} // namespace

void TIcon::LoadFromStream(QIODevice& file)
{
    QByteArray bytes = orvelle::AllocationsChecked([&] { return file.readAll(); });
    if (bytes.size() < kIconHeaderSize)
        throw EReadError(orvelle::StreamReadText());
    const std::uint16_t type = FileType(bytes);
    if (type != kStandardIconType && type != kIconType)
        throw EInvalidGraphic(orvelle::InvalidIconText());
    bytes_ = std::move(bytes);
    image_ = QImage();
    width_ = 0;
    height_ = 0;
}

int TIcon::Width() const
{
    return width_ > 0 ? width_ : orvelle::kStandardIconSize;
}

int TIcon::Height() const
{
    return height_ > 0 ? height_ : orvelle::kStandardIconSize;
}

void TIcon::Make()
{
    if (FileType(bytes_) == kStandardIconType) {
        image_ = orvelle::StandardApplicationIcon();
        width_ = image_.width();
        height_ = image_.height();
        return;
    }
    // The display has more than 8 bits per pixel, so its colours are
    // unlimited.
    const std::vector<orvelle::IconEntry> entries = orvelle::ReadIconDirectory(bytes_);
    const orvelle::IconEntry& entry =
        entries[orvelle::ChooseIconEntry(entries, orvelle::kStandardIconSize,
                                         orvelle::kStandardIconSize, orvelle::kUnlimitedColours)];
    if (entry.offset > std::uint64_t(bytes_.size()) ||
        entry.bytes > std::uint64_t(bytes_.size()) - entry.offset)
        throw EInvalidGraphic(orvelle::InvalidIconText());
    QImage image = orvelle::DecodeIconImage(
        QByteArrayView(bytes_).sliced(qsizetype(entry.offset), qsizetype(entry.bytes)),
        QSize(entry.width, entry.height));
    // The icon is as large as its entry says; an image of another size is
    // cut there, or leaves the rest transparent.
    if (image.width() > entry.width || image.height() > entry.height)
        image = image.copy(0, 0, std::min(image.width(), entry.width),
                           std::min(image.height(), entry.height));
    image_ = std::move(image);
    width_ = entry.width;
    height_ = entry.height;
}

void TIcon::Draw(TCanvas& canvas, const TRect& rect)
{
    if (image_.isNull()) {
        if (bytes_.isEmpty())
            return;
        Make();
    }
    if (TBitmap* bitmap = canvas.TargetBitmap()) {
        if (bitmap->Empty())
            return;
        // Rows may be stored bottom row first: walk them from the top with a
        // negative stride.
        std::uint8_t* top = bitmap->PixelRow(0);
        const std::int64_t stride =
            bitmap->Height() > 1 ? bitmap->PixelRow(1) - top : bitmap->Stride();
        orvelle::BlendIconImage({top, stride, bitmap->Width(), bitmap->Height()}, rect.Left,
                                rect.Top, image_);
        return;
    }
    if (QPainter* painter = canvas.TargetPainter()) {
        const QImage premultiplied = image_.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        painter->save();
        painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter->drawImage(QPoint(rect.Left, rect.Top), premultiplied);
        painter->restore();
    }
}
