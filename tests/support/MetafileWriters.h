#pragma once

// Writers of enhanced and placeable Windows metafiles, byte by byte, and the
// helpers that load and render them onto white work bitmaps.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "Bitmap.h"
#include "Canvas.h"
#include "EmfRecords.h"
#include "Errors.h"
#include "ByteWriter.h"
#include "Metafile.h"
#include "TestSupport.h"

namespace orvelle::test {

// The writers and the tests that use them spell record types from the one list.
using orvelle::EmfRecord;

// Writes enhanced metafiles record by record. The reference device is 100 ×
// 100 pixels on 100 × 100 mm unless a test says otherwise, so one pixel is a
// millimetre: 100 frame units.
class EmfWriter {
public:
    EmfWriter(int left, int top, int right, int bottom) : frame_{left, top, right, bottom} {}

    int devicePixelsX = 100, devicePixelsY = 100, deviceMmX = 100, deviceMmY = 100;
    std::uint16_t handles = 8;

    // A record of 32-bit parameters.
    EmfWriter& Add(EmfRecord type, std::initializer_list<std::int64_t> words)
    {
        QByteArray r;
        for (std::int64_t w : words)
            PutU32(r, std::uint32_t(w));
        return Raw(type, r);
    }
    EmfWriter& Raw(EmfRecord type, const QByteArray& body)
    {
        QByteArray r;
        PutU32(r, RecordNumber(type));
        PutU32(r, std::uint32_t(8 + body.size()));
        records_ += r + body;
        return *this;
    }
    // A record of 16-bit points (Polygon16, Polyline16) with empty bounds.
    EmfWriter& Points16(EmfRecord type, std::initializer_list<int> xy)
    {
        QByteArray body(16, '\0');
        PutU32(body, std::uint32_t(xy.size() / 2));
        for (int v : xy)
            PutU16(body, unsigned(v) & 0xFFFF);
        if (body.size() % 4)
            body.append(2, '\0');
        return Raw(type, body);
    }

    QByteArray Bytes(bool withEof = true) const
    {
        QByteArray tail = records_;
        if (withEof) {
            PutU32(tail, RecordNumber(EmfRecord::Eof));
            PutU32(tail, 20);
            PutU32(tail, 0);
            PutU32(tail, 16);
            PutU32(tail, 20);
        }
        QByteArray h;
        PutU32(h, RecordNumber(EmfRecord::Header));
        PutU32(h, 108);
        for (int i = 0; i < 4; ++i)
            PutU32(h, 0); // bounds
        for (int v : frame_)
            PutU32(h, std::uint32_t(v));
        PutU32(h, 0x464D4520);
        PutU32(h, 0x10000);
        PutU32(h, std::uint32_t(108 + tail.size()));
        PutU32(h, 0); // records (not checked)
        PutU16(h, handles);
        PutU16(h, 0);
        PutU32(h, 0); // description
        PutU32(h, 0);
        PutU32(h, 0); // palette entries
        PutU32(h, std::uint32_t(devicePixelsX));
        PutU32(h, std::uint32_t(devicePixelsY));
        PutU32(h, std::uint32_t(deviceMmX));
        PutU32(h, std::uint32_t(deviceMmY));
        h.append(108 - h.size(), '\0');
        return h + tail;
    }

private:
    int frame_[4];
    QByteArray records_;
};

// A placeable WMF: the 22-byte header with a right checksum unless told
// otherwise, a standard header and the end record.
inline QByteArray PlaceableWmf(int left, int top, int right, int bottom, unsigned inch,
                               bool breakChecksum = false)
{
    QByteArray b;
    PutU32(b, 0x9AC6CDD7);
    PutU16(b, 0);
    for (int v : {left, top, right, bottom})
        PutU16(b, unsigned(v) & 0xFFFF);
    PutU16(b, inch);
    PutU32(b, 0);
    unsigned sum = 0;
    for (int i = 0; i < 10; ++i)
        sum ^= std::uint8_t(b[2 * i]) | std::uint8_t(b[2 * i + 1]) << 8;
    PutU16(b, breakChecksum ? sum ^ 1 : sum);
    // Standard header: disk type, 9 words, version 0x300, size, 0 objects.
    for (unsigned w : {1U, 9U, 0x300U, 12U, 0U, 0U, 3U, 0U, 0U})
        PutU16(b, w);
    PutU32(b, 3); // end record
    PutU16(b, 0);
    return b;
}

inline TMetafile Load(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    TMetafile m;
    m.LoadFromStream(buffer);
    return m;
}

// The class and message a load fails with; empty when it loads.
inline std::pair<std::string, QString> Failure(const QByteArray& bytes)
{
    try {
        Load(bytes);
        return {};
    } catch (const orvelle::Exception& e) {
        return {e.ClassName(), e.Message()};
    }
}

inline TBitmap WorkBitmap(int width, int height)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetWidth(width);
    b.SetHeight(height);
    return b;
}

inline unsigned Rgb(const TBitmap& b, int x, int y)
{
    const orvelle::BgrColour c = b.PixelColour(x, y);
    return unsigned(c.red) << 16 | unsigned(c.green) << 8 | c.blue;
}

// Which pixels of a work bitmap are not white, as rows of '#' and '.'.
inline QStringList Ink(const TBitmap& b)
{
    QStringList rows;
    for (int y = 0; y < b.Height(); ++y) {
        QString row;
        for (int x = 0; x < b.Width(); ++x)
            row += Rgb(b, x, y) == 0xFFFFFF ? u'.' : u'#';
        rows << row;
    }
    return rows;
}

inline TBitmap Render(const QByteArray& emf, int width, int height, const TRect& rect)
{
    orvelle::test::EnsureGuiApplication();
    TMetafile m = Load(emf);
    TBitmap target = WorkBitmap(width, height);
    TCanvas canvas(target);
    canvas.DrawStretched(rect, &m);
    return target;
}

inline constexpr std::uint32_t kRed = 0x0000FF, kBlue = 0xFF0000; // as COLORREF: 0x00BBGGRR

// Selects a red solid brush and a blue one-pixel pen.
inline EmfWriter& RedOnBlue(EmfWriter& w)
{
    return w.Add(EmfRecord::CreateBrushIndirect, {1, 0, kRed, 0})
        .Add(EmfRecord::SelectObject, {1})
        .Add(EmfRecord::CreatePen, {2, 0, 0, 0, kBlue})
        .Add(EmfRecord::SelectObject, {2});
}

inline const QString kInvalid = QStringLiteral("メタファイルが不正です");
inline const QString kRead = QStringLiteral("ストリームからの読み込みエラー");

// One WMF record: 16-bit parameters as stored, then raw bytes (strings,
// bitmaps), padded to a whole word.
inline QByteArray WmfRec(unsigned function, const std::vector<int>& words, QByteArray tail = {})
{
    if (tail.size() % 2)
        tail.append('\0');
    QByteArray r;
    PutU32(r, std::uint32_t(3 + words.size() + tail.size() / 2));
    PutU16(r, function);
    for (int w : words)
        PutU16(r, unsigned(w) & 0xFFFF);
    return r + tail;
}

// A placeable WMF of a right × bottom unit box at inch units per inch around
// the records as written, with an object table of the given size.
inline QByteArray PlaceableWmfAround(const QByteArray& records, int right, int bottom,
                                     unsigned inch, unsigned objects = 8)
{
    QByteArray b = PlaceableWmf(0, 0, right, bottom, inch);
    b.chop(6 + 18); // the standard header and end record are written again
    for (unsigned w : {1U, 9U, 0x300U})
        PutU16(b, w);
    PutU32(b, std::uint32_t(9 + (records.size() + 6) / 2));
    PutU16(b, objects);
    PutU32(b, 64); // longest record
    PutU16(b, 0);
    b += records;
    PutU32(b, 3);
    PutU16(b, 0);
    return b;
}

// Writes placeable Windows metafiles: records of 16-bit parameters in the
// order they are stored (the last argument of the call first).
class WmfWriter {
public:
    WmfWriter& Add(unsigned function, std::initializer_list<int> parameters)
    {
        PutU32(records_, std::uint32_t(3 + parameters.size()));
        PutU16(records_, function);
        for (int p : parameters)
            PutU16(records_, unsigned(p) & 0xFFFF);
        return *this;
    }
    // A colour as the two words of a COLORREF.
    static int Low(std::uint32_t colour) { return int(colour & 0xFFFF); }
    static int High(std::uint32_t colour) { return int(colour >> 16); }

    QByteArray Bytes(int right, int bottom, unsigned inch) const
    {
        return PlaceableWmfAround(records_, right, bottom, inch);
    }

private:
    QByteArray records_;
};

// The red brush in slot 0 and the blue pen in slot 1, both selected, as
// RedOnBlue does for enhanced files.
inline WmfWriter& RedOnBlue(WmfWriter& w)
{
    w.Add(0x02FC, {0, WmfWriter::Low(kRed), WmfWriter::High(kRed), 0}).Add(0x012D, {0});
    return w.Add(0x02FA, {0, 0, 0, WmfWriter::Low(kBlue), WmfWriter::High(kBlue)}).Add(0x012D, {1});
}

inline std::vector<unsigned> Pixels(const TBitmap& b)
{
    std::vector<unsigned> all;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            all.push_back(Rgb(b, x, y));
    return all;
}

inline int Inked(const TBitmap& b)
{
    int n = 0;
    for (const QString& row : Ink(b))
        n += int(row.count(u'#'));
    return n;
}

// A DIB's info header and pixel rows. colours are 0xRRGGBB, top row first;
// a negative height stores the rows top-down, else bottom row first. With a
// palette (entries 0xRRGGBB too) the pixels are 8-bit indices into it.
struct Dib {
    QByteArray info;
    QByteArray bits;
};

inline Dib MakeDib(int width, int height, const std::vector<unsigned>& pixels,
                   const std::vector<unsigned>& palette = {})
{
    Dib d;
    const bool indexed = !palette.empty();
    for (std::uint32_t v : {40U, std::uint32_t(width), std::uint32_t(height)})
        PutU32(d.info, v);
    PutU16(d.info, 1);
    PutU16(d.info, indexed ? 8 : 24);
    for (std::uint32_t v : {0U, 0U, 0U, 0U, std::uint32_t(palette.size()), 0U})
        PutU32(d.info, v);
    for (unsigned c : palette)
        PutU32(d.info, c); // blue, green, red, 0 in memory
    const int rows = std::abs(height);
    for (int r = 0; r < rows; ++r) {
        const int row = height > 0 ? rows - 1 - r : r;
        QByteArray line;
        for (int x = 0; x < width; ++x) {
            const unsigned c = pixels[std::size_t(row * width + x)];
            if (indexed)
                line.append(char(c));
            else
                line.append(char(c & 0xFF)).append(char((c >> 8) & 0xFF)).append(char(c >> 16));
        }
        while (line.size() % 4)
            line.append('\0');
        d.bits += line;
    }
    return d;
}

inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;

// StretchDIBits and SetDIBitsToDevice: destination, source
// rectangle and the bitmap after the fixed fields.
inline QByteArray DibRecordBody(const Dib& dib, std::initializer_list<int> placeAndSource,
                                std::initializer_list<std::uint32_t> tail)
{
    QByteArray body(16, '\0');
    for (int v : placeAndSource)
        PutU32(body, std::uint32_t(v));
    const std::uint32_t infoAt = 8 + 16 + 6 * 4 + 5 * 4 + std::uint32_t(tail.size()) * 4;
    for (std::uint32_t v :
         {infoAt, std::uint32_t(dib.info.size()), infoAt + std::uint32_t(dib.info.size()),
          std::uint32_t(dib.bits.size()), 0U})
        PutU32(body, v);
    for (std::uint32_t v : tail)
        PutU32(body, v);
    return body + dib.info + dib.bits;
}

// What BitBlt, StretchBlt and MaskBlt records begin with: the bounds left
// empty, the destination (x, y, width, height), the operation, the source
// from (0, 0) through the identity transform, and a white background.
inline QByteArray BlockBlitStart(std::initializer_list<int> destination, std::uint32_t rop)
{
    QByteArray body(16, '\0');
    for (int v : destination)
        PutU32(body, std::uint32_t(v));
    PutU32(body, rop);
    PutU32(body, 0); // source x, y
    PutU32(body, 0);
    for (std::uint32_t v : {0x3F800000U, 0U, 0U, 0x3F800000U, 0U, 0U})
        PutU32(body, v); // source transform: identity
    PutU32(body, 0xFFFFFF);
    return body;
}

// BitBlt or, with a source size, StretchBlt.
inline QByteArray BlitBody(std::initializer_list<int> destination, std::uint32_t rop,
                           const Dib* dib, std::initializer_list<int> sourceSize = {})
{
    QByteArray body = BlockBlitStart(destination, rop);
    const std::uint32_t infoAt = 8 + 92 + std::uint32_t(sourceSize.size()) * 4;
    const std::uint32_t infoBytes = dib ? std::uint32_t(dib->info.size()) : 0;
    for (std::uint32_t v : {0U, dib ? infoAt : 0U, infoBytes, dib ? infoAt + infoBytes : 0U,
                            dib ? std::uint32_t(dib->bits.size()) : 0U})
        PutU32(body, v);
    for (int v : sourceSize)
        PutU32(body, std::uint32_t(v));
    return dib ? body + dib->info + dib->bits : body;
}

// Red, green / blue, yellow.
inline const std::vector<unsigned> kQuad = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};

// A 32-bit DIB of 0xAARRGGBB pixels, top row first, stored bottom-up.
inline Dib MakeDib32(int width, int height, const std::vector<unsigned>& pixels)
{
    Dib d;
    for (std::uint32_t v : {40U, std::uint32_t(width), std::uint32_t(height)})
        PutU32(d.info, v);
    PutU16(d.info, 1);
    PutU16(d.info, 32);
    for (std::uint32_t v : {0U, 0U, 0U, 0U, 0U, 0U})
        PutU32(d.info, v);
    for (int r = height - 1; r >= 0; --r)
        for (int x = 0; x < width; ++x)
            PutU32(d.bits, pixels[std::size_t(r * width + x)]);
    return d;
}

// A two-colour DIB of rows of '0' and '1', top row first, stored bottom
// row first; its colour table is black, then white.
inline Dib MakeMonoDib(const std::vector<std::string>& rows)
{
    Dib d;
    const int width = rows.empty() ? 0 : int(rows.front().size());
    const int height = int(rows.size());
    for (std::uint32_t v : {40U, std::uint32_t(width), std::uint32_t(height)})
        PutU32(d.info, v);
    PutU16(d.info, 1);
    PutU16(d.info, 1);
    for (std::uint32_t v : {0U, 0U, 0U, 0U, 2U, 0U, 0x000000U, 0xFFFFFFU})
        PutU32(d.info, v);
    for (int r = height - 1; r >= 0; --r) {
        QByteArray line((width + 31) / 32 * 4, '\0');
        for (int x = 0; x < width; ++x)
            if (rows[std::size_t(r)][std::size_t(x)] == '1')
                line[x / 8] = char(line[x / 8] | (0x80 >> (x % 8)));
        d.bits += line;
    }
    return d;
}

// Where two bitmaps lie after a record's fixed fields of the given size:
// offset and size of the first one's info and bits, then the second one's
// (zeros for an absent one).
inline std::vector<std::uint32_t> TwoBitmapFields(std::uint32_t fixed, const Dib* first,
                                                  const Dib* second)
{
    std::vector<std::uint32_t> fields;
    std::uint32_t at = fixed;
    for (const Dib* dib : {first, second}) {
        if (dib == nullptr) {
            fields.insert(fields.end(), {0U, 0U, 0U, 0U});
            continue;
        }
        const auto info = std::uint32_t(dib->info.size());
        const auto bits = std::uint32_t(dib->bits.size());
        fields.insert(fields.end(), {at, info, at + info, bits});
        at += info + bits;
    }
    return fields;
}

// A CreateDIBPatternBrushPt body: the object index, then the bitmap
// straight after the fixed fields.
inline QByteArray PatternBrushBody(std::uint32_t index, const Dib& dib)
{
    QByteArray body;
    const auto infoBytes = std::uint32_t(dib.info.size());
    for (std::uint32_t v : {index, 0U, 32U, infoBytes, 32 + infoBytes, std::uint32_t(dib.bits.size())})
        PutU32(body, v);
    return body + dib.info + dib.bits;
}

// What MaskBlt and PlgBlt end with: the source's four offset and size
// fields, the mask's origin, its colour usage and its four fields, then the
// bitmaps themselves.
inline void AppendSourceAndMask(QByteArray& body, const std::vector<std::uint32_t>& at,
                                const Dib* source, int maskX, int maskY, const Dib* mask)
{
    for (int i = 0; i < 4; ++i)
        PutU32(body, at[std::size_t(i)]);
    PutU32(body, std::uint32_t(maskX));
    PutU32(body, std::uint32_t(maskY));
    PutU32(body, 0);
    for (int i = 4; i < 8; ++i)
        PutU32(body, at[std::size_t(i)]);
    for (const Dib* dib : {source, mask})
        if (dib != nullptr)
            body += dib->info + dib->bits;
}

// MaskBlt: the destination (x, y, width, height), the four-operation code,
// the source bitmap from its top-left corner and the mask from maskX, maskY.
inline QByteArray MaskBltBody(std::initializer_list<int> destination, std::uint32_t rop,
                              const Dib* source, int maskX, int maskY, const Dib* mask)
{
    const std::vector<std::uint32_t> at = TwoBitmapFields(128, source, mask);
    QByteArray body = BlockBlitStart(destination, rop);
    PutU32(body, 0); // real colours
    AppendSourceAndMask(body, at, source, maskX, maskY, mask);
    return body;
}

// PlgBlt: the target of the source rectangle's top-left, top-right and
// bottom-left corners (x, y each), the source rectangle (x, y, width,
// height), and the mask from maskX, maskY.
inline QByteArray PlgBltBody(std::initializer_list<int> corners,
                             std::initializer_list<int> sourceRect, const Dib& source,
                             const Dib* mask = nullptr, int maskX = 0, int maskY = 0)
{
    const std::vector<std::uint32_t> at = TwoBitmapFields(140, &source, mask);
    QByteArray body(16, '\0');
    for (int v : corners)
        PutU32(body, std::uint32_t(v));
    for (int v : sourceRect)
        PutU32(body, std::uint32_t(v));
    for (std::uint32_t v : {0x3F800000U, 0U, 0U, 0x3F800000U, 0U, 0U})
        PutU32(body, v);
    PutU32(body, 0xFFFFFF);
    PutU32(body, 0);
    AppendSourceAndMask(body, at, &source, maskX, maskY, mask);
    return body;
}

// A WMF device-dependent bitmap (Bitmap16) of rows of bytes as stored, top
// row first, each padded to the even row length the header gives.
inline QByteArray Bitmap16(int width, int bitsPixel, const std::vector<QByteArray>& rows)
{
    const int rowBytes = (width * bitsPixel + 15) / 16 * 2;
    QByteArray b;
    for (unsigned v : {0U, unsigned(width), unsigned(rows.size()), unsigned(rowBytes)})
        PutU16(b, v);
    b.append(char(1)).append(char(bitsPixel));
    for (QByteArray row : rows) {
        row.append(rowBytes - row.size(), '\0');
        b += row;
    }
    return b;
}

// Sets each byte from `from` on to each of the values in turn. Every variant
// must load or fail with one of the allowed messages, and draw when it
// loads; inspect, when given, sees each variant first.
inline void EachByteDamaged(const QByteArray& file, qsizetype from,
                            std::initializer_list<char> values, const QStringList& allowed,
                            const std::function<void(const QByteArray&, qsizetype)>& inspect = {})
{
    EnsureGuiApplication();
    TBitmap target = WorkBitmap(16, 16);
    TCanvas canvas(target);
    for (qsizetype i = from; i < file.size(); ++i) {
        for (char value : values) {
            QByteArray damaged = file;
            damaged[i] = value;
            if (inspect)
                inspect(damaged, i);
            TMetafile m;
            try {
                m = Load(damaged);
            } catch (const orvelle::Exception& e) {
                EXPECT_TRUE(allowed.contains(e.Message())) << i;
                continue;
            }
            canvas.DrawStretched({0, 0, 16, 16}, &m);
        }
    }
}

} // namespace orvelle::test
