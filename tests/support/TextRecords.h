#pragma once

// Text-out records written byte by byte, and a fixture that plays them
// straight into an image through the player's text family.

#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QTransform>

#include "ByteWriter.h"
#include "EmfContext.h"
#include "EmfReader.h"
#include "EmfRecords.h"
#include "TestSupport.h"

namespace orvelle::test {

// Options of the text-out records.
inline constexpr std::uint32_t kOpaque = 0x2, kClipped = 0x4, kGlyphIndex = 0x10, kNoRect = 0x100,
                               kSmallChars = 0x200, kPdy = 0x2000;

struct Text {
    Text(int x_, int y_, std::uint32_t options_ = 0, QRect rect_ = QRect(0, 0, 0, 0),
         std::vector<std::int32_t> dx_ = {})
        : x(x_), y(y_), options(options_), rect(rect_), dx(std::move(dx_))
    {
    }
    int x, y;
    std::uint32_t options;
    // Written as left, top, right + 1, bottom + 1.
    QRect rect;
    std::vector<std::int32_t> dx;
};

inline void Pad(QByteArray& b)
{
    while (b.size() % 4)
        b.append('\0');
}

// The text block of the text-out records with its string and spacing
// placed after `blockAt`, offsets counted from the start of the record.
inline QByteArray TextBlock(const Text& t, const QByteArray& string, std::uint32_t units,
                            std::uint32_t stringAt)
{
    QByteArray block;
    for (std::int64_t v : {std::int64_t(t.x), std::int64_t(t.y), std::int64_t(units)})
        PutU32(block, std::uint32_t(v));
    PutU32(block, stringAt);
    PutU32(block, t.options);
    for (int v : {t.rect.left(), t.rect.top(), t.rect.right() + 1, t.rect.bottom() + 1})
        PutU32(block, std::uint32_t(v));
    QByteArray padded = string;
    Pad(padded);
    PutU32(block, t.dx.empty() ? 0 : stringAt + std::uint32_t(padded.size()));
    return block;
}

inline QByteArray Tail(const Text& t, const QByteArray& string)
{
    QByteArray tail = string;
    Pad(tail);
    for (std::int32_t d : t.dx)
        PutU32(tail, std::uint32_t(d));
    return tail;
}

inline QByteArray Utf16(const QString& s)
{
    QByteArray b;
    for (QChar c : s)
        PutU16(b, c.unicode());
    return b;
}

// An ExtTextOut body (after type and size): bounds, graphics mode,
// scales, text block, string, spacing.
inline QByteArray ExtTextOutBody(const Text& t, const QByteArray& string, std::uint32_t units)
{
    QByteArray body(16, '\0');
    PutU32(body, 1);
    PutU32(body, 0);
    PutU32(body, 0);
    return body + TextBlock(t, string, units, 8 + 28 + 40) + Tail(t, string);
}

inline QByteArray Record(EmfRecord type, const QByteArray& body)
{
    QByteArray r;
    PutU32(r, orvelle::RecordNumber(type));
    PutU32(r, std::uint32_t(8 + body.size()));
    return r + body;
}

inline QByteArray TextW(const Text& t, const QString& s)
{
    return Record(EmfRecord::ExtTextOutW, ExtTextOutBody(t, Utf16(s), std::uint32_t(s.size())));
}

inline QByteArray TextA(const Text& t, const QByteArray& bytes)
{
    return Record(EmfRecord::ExtTextOutA, ExtTextOutBody(t, bytes, std::uint32_t(bytes.size())));
}

// Plays records straight into an image through the text family, with a
// device context the test sets up: logical units are pixels.
class TextPlay : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureGuiApplication();
        state.font.height = -20;
        state.font.faceName = QStringLiteral("Arial");
        state.opaqueBackground = false;
    }

    QImage Play(const std::vector<QByteArray>& records, QSize size = {160, 80})
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        for (const QByteArray& bytes : records) {
            EmfDrawing dc{painter,        mapping, QPen(), QBrush(),
                          state.position, false,   state,  QTransform()};
            const RecordView r{bytes, 0, bytes.size()};
            EXPECT_TRUE(orvelle::PlayTextRecord(EmfRecord(orvelle::ReadU32(bytes, 0)), r, dc));
        }
        return image;
    }

    DcState state;
    QTransform mapping;
};

// The bounding box of the pixels that are not white; null when none are.
inline QRect InkBox(const QImage& image, QRgb ignore = qRgb(255, 255, 255))
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != ignore && image.pixel(x, y) != qRgb(255, 255, 255))
                box |= QRect(x, y, 1, 1);
    return box;
}

inline int Count(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour;
    return n;
}

} // namespace orvelle::test
