#include "ToolPictures.h"

#include <array>

#include <QPainter>
#include <QSvgRenderer>

namespace orvelle {

namespace {

constexpr int kToolPictureSize = 16;

QString ToolPictureFile(ToolPicture picture)
{
    switch (picture) {
    case ToolPicture::AddFiles:
        return QStringLiteral(":/pictures/add-files.svg");
    case ToolPicture::AddFolder:
        return QStringLiteral(":/pictures/add-folder.svg");
    case ToolPicture::DeleteFile:
        return QStringLiteral(":/pictures/delete-file.svg");
    case ToolPicture::Clear:
        return QStringLiteral(":/pictures/clear.svg");
    case ToolPicture::Check:
        return QStringLiteral(":/pictures/check.svg");
    }
    return {};
}

// The program icon is drawn twice, pixel by pixel: once on a 16 grid for the
// title bar and once on a 32 grid for everything larger, since halving the
// large drawing loses the frames and the magnifier's rim.
QString ProgramIconFile(int size)
{
    return size < 32 ? QStringLiteral(":/pictures/program-icon-16.svg")
                     : QStringLiteral(":/pictures/program-icon.svg");
}

// A picture's pixels that carry its shape: dark enough to stay visible once
// turned grey. Light fills (white, silver, yellow, aqua) drop out, so that a
// disabled picture keeps its outlines rather than becoming a grey blob.
bool IsInk(QRgb pixel)
{
    return qAlpha(pixel) >= 128 && qGray(pixel) < 160;
}

} // namespace

QPixmap RenderDrawing(const QString& file, int size)
{
    if (size <= 0)
        return {};
    QSvgRenderer renderer(file);
    if (!renderer.isValid())
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(0, 0, size, size));
    }
    return QPixmap::fromImage(image);
}

QImage GreyedPicture(const QImage& picture)
{
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    QImage greyed(source.size(), QImage::Format_ARGB32);
    greyed.fill(Qt::transparent);
    const int width = source.width();
    const int height = source.height();
    // The white highlight goes down first and the grey on top of it, so a
    // stroke's own pixels stay grey where its neighbour's highlight would land.
    for (int y = 0; y + 1 < height; ++y)
        for (int x = 0; x + 1 < width; ++x)
            if (IsInk(source.pixel(x, y)))
                greyed.setPixel(x + 1, y + 1, qRgb(255, 255, 255));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (IsInk(source.pixel(x, y)))
                greyed.setPixel(x, y, qRgb(128, 128, 128));
    return greyed;
}

QIcon ToolButtonIcon(ToolPicture picture)
{
    const QPixmap normal = RenderDrawing(ToolPictureFile(picture), kToolPictureSize);
    if (normal.isNull())
        return {};
    QIcon icon;
    icon.addPixmap(normal, QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(GreyedPicture(normal.toImage())), QIcon::Disabled);
    return icon;
}

QPixmap ProgramIconPixmap(int size)
{
    return RenderDrawing(ProgramIconFile(size), size);
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (const int size : std::array{16, 24, 32, 48, 64}) {
        const QPixmap pixmap = ProgramIconPixmap(size);
        if (!pixmap.isNull())
            icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace orvelle
