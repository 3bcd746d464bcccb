#include "JPEGImage.h"

#include <cstdint>
#include <utility>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "JpegDecoder.h"

namespace {

const std::uint8_t* BytesOf(const QByteArray& bytes)
{
    return reinterpret_cast<const std::uint8_t*>(bytes.constData());
}

} // namespace

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::LoadFromStream(QIODevice& file)
{
    orvelle::AllocationsChecked([&] { Load(file); });
}

void TJPEGImage::Load(QIODevice& file)
{
    QByteArray bytes = file.readAll();
    // An empty file is not looked at: it loads as a picture of no size and
    // fails only when drawn.
    orvelle::JpegHeader header;
    if (!bytes.isEmpty())
        header = orvelle::ReadJpegHeader(BytesOf(bytes), static_cast<std::size_t>(bytes.size()));
    bytes_ = std::move(bytes);
    width_ = header.width;
    height_ = header.height;
    grayscale_ = header.grayscale;
    decoded_.reset();
}

int TJPEGImage::Width() const
{
    return decoded_ ? decoded_->Width() : width_;
}

int TJPEGImage::Height() const
{
    return decoded_ ? decoded_->Height() : height_;
}

bool TJPEGImage::Empty() const
{
    return bytes_.isEmpty() && (!decoded_ || decoded_->Empty());
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect)
{
    canvas.StretchBitmap(rect, Decoded());
}

const TBitmap& TJPEGImage::Decoded()
{
    if (!decoded_) {
        // Kept before decoding, so that a failed decode is not repeated.
        decoded_ = std::make_unique<TBitmap>();
        orvelle::AllocationsChecked([&] {
            orvelle::DecodeJpeg(BytesOf(bytes_), static_cast<std::size_t>(bytes_.size()),
                                *decoded_);
        });
    }
    return *decoded_;
}
