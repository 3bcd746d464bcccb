#include "Metafile.h"

#include <atomic>
#include <limits>
#include <utility>

#include <QPainter>

#include "Canvas.h"
#include "EmfPlayer.h"
#include "EmfReader.h"
#include "Errors.h"
#include "WmfTranslator.h"

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr qsizetype kPlaceableHeaderSize = 22;

// Without a screen (the command-line tool) sizes are reckoned for the usual
// 96 logical pixels per inch.
constexpr int kDefaultPixelsPerInch = 96;

// Written once at start-up, before any picture is measured, and read from
// the comparison's threads after that.
std::atomic<int> screenPixelsPerInch{kDefaultPixelsPerInch};

// Frame size × device pixels / (device millimetres × 100); a millimetre count
// too large for that product measures as nothing.
int DeviceSize(int frame, int pixels, int millimetres)
{
    const std::int64_t divisor = std::int64_t(millimetres) * 100;
    if (divisor > std::numeric_limits<int>::max() || divisor < std::numeric_limits<int>::min())
        return 0;
    return orvelle::MulDiv(frame, pixels, int(divisor));
}

} // namespace

void orvelle::SetScreenPixelsPerInch(int pixelsPerInch)
{
    if (pixelsPerInch > 0)
        screenPixelsPerInch.store(pixelsPerInch);
}

int orvelle::ScreenPixelsPerInch()
{
    return screenPixelsPerInch.load();
}

void TMetafile::LoadFromStream(QIODevice& file)
{
    orvelle::AllocationsChecked([&] {
        const QByteArray data = file.readAll();
        // Everything is worked out aside, so a failed load leaves this picture as it was.
        TMetafile loaded;
        if (orvelle::LooksLikeEmf(data))
            loaded.LoadEnhanced(data);
        else
            loaded.LoadPlaceable(data);
        *this = std::move(loaded);
    });
}

void TMetafile::LoadEnhanced(const QByteArray& data)
{
    const orvelle::EmfHeader header = orvelle::ReadEmfHeader(data);
    if (std::uint64_t(data.size()) < header.totalBytes)
        throw EReadError(orvelle::StreamReadText());
    QByteArray emf = data.left(qsizetype(header.totalBytes));
    if (!orvelle::EmfRecordsValid(emf))
        throw EInvalidGraphic(orvelle::InvalidMetafileText());
    emf_ = std::move(emf);
    header_ = header;
    frameWidth_ = int(std::int64_t(header.frameRight) - header.frameLeft);
    frameHeight_ = int(std::int64_t(header.frameBottom) - header.frameTop);
    unitsPerInch_ = 0;
    enhanced_ = true;
}

void TMetafile::LoadPlaceable(const QByteArray& data)
{
    if (data.size() < kPlaceableHeaderSize)
        throw EReadError(orvelle::StreamReadText());
    std::uint16_t checksum = 0;
    for (int word = 0; word < 10; ++word)
        checksum ^= orvelle::ReadU16(data, word * 2);
    if (orvelle::ReadU32(data, 0) != kPlaceableKey || orvelle::ReadU16(data, 20) != checksum)
        throw EInvalidGraphic(orvelle::InvalidMetafileText());
    if (!orvelle::WmfRecordsValid(data, kPlaceableHeaderSize))
        throw EInvalidGraphic(orvelle::InvalidMetafileText());

    const int left = orvelle::ReadI16(data, 6);
    const int top = orvelle::ReadI16(data, 8);
    const int right = orvelle::ReadI16(data, 10);
    const int bottom = orvelle::ReadI16(data, 12);
    const int inch = orvelle::ReadU16(data, 14);
    const int units = inch == 0 ? 96 : inch;
    wmf_ = data.mid(kPlaceableHeaderSize);
    frameWidth_ = orvelle::MulDiv(right - left, 2540, units);
    frameHeight_ = orvelle::MulDiv(bottom - top, 2540, units);
    // Drawn by the same player as enhanced files, through a translation.
    emf_ = orvelle::TranslateWmf(wmf_, {left, top, right, bottom, frameWidth_, frameHeight_});
    if (emf_.isEmpty())
        throw EInvalidGraphic(orvelle::InvalidMetafileText());
    unitsPerInch_ = inch;
    enhanced_ = false;
}

int TMetafile::Width() const
{
    // A WMF whose header gave no units per inch is measured like one of 96,
    // the resolution its frame was reckoned with.
    if (unitsPerInch_ != 0 || !enhanced_)
        return orvelle::MulDiv(frameWidth_, orvelle::ScreenPixelsPerInch(), 2540);
    return DeviceSize(frameWidth_, header_.devicePixelsX, header_.deviceMillimetresX);
}

int TMetafile::Height() const
{
    if (unitsPerInch_ != 0 || !enhanced_)
        return orvelle::MulDiv(frameHeight_, orvelle::ScreenPixelsPerInch(), 2540);
    return DeviceSize(frameHeight_, header_.devicePixelsY, header_.deviceMillimetresY);
}

void TMetafile::Draw(TCanvas& canvas, const TRect& rect)
{
    if (emf_.isEmpty())
        return;
    canvas.PaintWith(
        [&](QPainter& painter) { orvelle::PlayEnhancedMetafile(painter, emf_, rect); });
}
