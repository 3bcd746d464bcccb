#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QtEndian>

#include "Bitmap.h"
#include "BmpReader.h"
#include "ByteWriter.h"
#include "DibHeader.h"
#include "Errors.h"
#include "IconDecoder.h"

namespace {

using orvelle::test::PutU16;
using orvelle::test::PutU32;

// The leading part of a DIB, written field by field: the info header of the
// given size (12 is the core header), the three masks after a 40-byte header
// when bit fields are asked for, then the colour table. prefix is how many
// bytes that makes, counted as they are written.
struct DibParts {
    std::uint32_t headerSize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint32_t planes = 1;
    std::uint32_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t used = 0;
    std::vector<std::uint32_t> masks; // written when bit fields are asked for
    std::vector<unsigned> table;      // 0xRRGGBB entries

    QByteArray Prefix() const
    {
        QByteArray out;
        PutU32(out, headerSize);
        if (headerSize == 12) {
            PutU16(out, std::uint32_t(width));
            PutU16(out, std::uint32_t(height));
            PutU16(out, planes);
            PutU16(out, bits);
        } else {
            PutU32(out, std::uint32_t(width));
            PutU32(out, std::uint32_t(height));
            PutU16(out, planes);
            PutU16(out, bits);
            PutU32(out, compression);
            PutU32(out, 0); // image size
            PutU32(out, 0);
            PutU32(out, 0);
            PutU32(out, used);
            PutU32(out, 0);
            // Shorter headers stop part way; longer ones carry the masks
            // first, then fields the decoders do not read.
            out.truncate(std::min<qsizetype>(out.size(), headerSize));
            for (std::size_t i = 0; out.size() < qsizetype(headerSize); ++i)
                PutU32(out, i < masks.size() ? masks[i] : 0);
            if (headerSize == 40 && compression == 3)
                for (std::uint32_t m : masks)
                    PutU32(out, m);
        }
        for (unsigned c : table) {
            out.append(char(c & 0xFF)).append(char((c >> 8) & 0xFF)).append(char(c >> 16));
            if (headerSize != 12)
                out.append('\0');
        }
        return out;
    }
};

QByteArray BmpFile(const QByteArray& dib)
{
    QByteArray file("BM");
    PutU32(file, std::uint32_t(14 + dib.size()));
    PutU32(file, 0);
    PutU32(file, 0); // the offset, which the reader does not use
    return file + dib;
}

TBitmap ReadBmpBytes(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    TBitmap bitmap;
    orvelle::ReadBmp(buffer, bitmap);
    return bitmap;
}

unsigned Rgb(TBitmap bitmap, int x, int y)
{
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    const std::uint8_t* p = bitmap.PixelRow(y) + x * 3;
    return unsigned(p[2]) << 16 | unsigned(p[1]) << 8 | p[0];
}

// The class name and message a call raises; empty when it raises nothing.
template <typename Call> std::pair<std::string, QString> Outcome(Call call)
{
    try {
        call();
    } catch (const orvelle::Exception& e) {
        return {e.ClassName(), e.Message()};
    }
    return {};
}

// A table that lets no index fall outside it, for the bit counts that have
// one by default.
std::vector<unsigned> DefaultTable(std::uint32_t bits)
{
    if (bits == 1 || bits == 4 || bits == 8)
        return std::vector<unsigned>(std::size_t(1) << bits, 0x808080);
    return {};
}

} // namespace

// Which bit counts go with which compressions, written out here rather than
// taken from the decoder: every pairing of bit counts 0 … 33 with the
// compressions 0 … 5, through a whole BMP file and through an icon entry.
TEST(DibFormats, EveryBitCountAndCompressionIsTakenOrRefusedAsTheRulesSay)
{
    const std::set<std::pair<std::uint32_t, std::uint32_t>> bmpAllowed = {
        {1, 0},  {4, 0},  {8, 0}, {16, 0}, {24, 0}, {32, 0}, // uncompressed
        {16, 3}, {32, 3},                                    // bit fields
        {8, 1},                                              // RLE8
        {4, 2},                                              // RLE4
    };
    for (std::uint32_t compression = 0; compression <= 5; ++compression) {
        for (std::uint32_t bits = 0; bits <= 33; ++bits) {
            const bool bmpOk = bmpAllowed.count({bits, compression}) == 1;
            // Icons hold no run-length data.
            const bool iconOk = bmpOk && compression != 1 && compression != 2;
            EXPECT_EQ(orvelle::DibFormatAllowed(int(bits), compression), bmpOk)
                << bits << " bits, compression " << compression;

            DibParts parts;
            parts.bits = bits;
            parts.compression = compression;
            parts.masks = {0xF800, 0x07E0, 0x001F};
            parts.table = DefaultTable(bits);
            // Run-length data that ends at once; plain rows of zeros.
            const QByteArray pixels = QByteArray::fromHex("0001") + QByteArray(14, '\0');

            const auto bmp = Outcome([&] { ReadBmpBytes(BmpFile(parts.Prefix() + pixels)); });
            if (bmpOk)
                EXPECT_EQ(bmp.first, "") << bits << " bits, compression " << compression;
            else
                EXPECT_EQ(bmp, std::make_pair(std::string("EInvalidGraphic"),
                                              orvelle::InvalidBitmapText()))
                    << bits << " bits, compression " << compression;

            parts.height = 2; // colour rows and AND mask
            const QByteArray entry = parts.Prefix() + QByteArray(32, '\0');
            const auto icon = Outcome([&] { orvelle::DecodeIconImage(entry); });
            if (iconOk)
                EXPECT_EQ(icon.first, "") << bits << " bits, compression " << compression;
            else
                EXPECT_EQ(icon, std::make_pair(std::string("EInvalidGraphic"),
                                               orvelle::InvalidIconText()))
                    << bits << " bits, compression " << compression;
        }
    }
}

// The pixels start right after the header, masks and table, whatever the
// header's kind: a length one entry off shifts the pixel read and changes
// its colour, and DibInfoLength must name exactly the bytes written.
TEST(DibHeaderLength, PixelsStartRightAfterHeaderMasksAndTableOfEveryHeaderKind)
{
    for (std::uint32_t headerSize : {12U, 16U, 40U, 52U, 56U, 64U, 108U, 124U}) {
        // Index 1 of a two-entry table.
        DibParts indexed;
        indexed.headerSize = headerSize;
        indexed.bits = 8;
        indexed.used = 2;
        indexed.table = {0x112233, 0xA0B0C0};
        // Headers shorter than the colour count take the whole table.
        if (headerSize < 40)
            indexed.table.resize(256, 0x112233);
        const QByteArray prefix = indexed.Prefix();
        EXPECT_EQ(orvelle::DibInfoLength(prefix + QByteArray(4, '\0')), prefix.size())
            << headerSize;
        const QByteArray pixel = QByteArray::fromHex("01000000");
        EXPECT_EQ(Rgb(ReadBmpBytes(BmpFile(prefix + pixel)), 0, 0), 0xA0B0C0U) << headerSize;

        if (headerSize < 40 || headerSize == 64)
            continue;
        // 16-bit bit fields: the masks follow a 40-byte header and lie
        // inside the longer ones. A pure red 5-6-5 pixel.
        DibParts fields;
        fields.headerSize = headerSize;
        fields.bits = 16;
        fields.compression = 3;
        fields.masks = {0xF800, 0x07E0, 0x001F};
        const QByteArray fieldsPrefix = fields.Prefix();
        EXPECT_EQ(orvelle::DibInfoLength(fieldsPrefix + QByteArray(4, '\0')), fieldsPrefix.size())
            << headerSize;
        const QByteArray red = QByteArray::fromHex("00F80000");
        EXPECT_EQ(Rgb(ReadBmpBytes(BmpFile(fieldsPrefix + red)), 0, 0), 0xFF0000U) << headerSize;

        // The same header as an icon entry: doubled height, then the AND
        // mask after the colour rows.
        indexed.height = 2;
        const QImage image =
            orvelle::DecodeIconImage(indexed.Prefix() + pixel + QByteArray(4, '\0'));
        EXPECT_EQ(image.pixel(0, 0), qRgb(0xA0, 0xB0, 0xC0)) << headerSize;
        fields.height = 2;
        const QImage fieldsImage =
            orvelle::DecodeIconImage(fields.Prefix() + red + QByteArray(4, '\0'));
        EXPECT_EQ(fieldsImage.pixel(0, 0), qRgb(0xFF, 0, 0)) << headerSize;
    }
}

// The plane count is a bitmap's rule, checked before the table is read; an
// icon's is never looked at. Every fault of an icon's header is the icon's.
TEST(DibHeaderRules, PlanesAndShortDataAreTheBitmapsFaultsButTheIconsOwn)
{
    DibParts parts;
    parts.bits = 8;
    parts.planes = 0;
    parts.table = DefaultTable(8);
    const QByteArray prefix = parts.Prefix();
    EXPECT_EQ(Outcome([&] { ReadBmpBytes(BmpFile(prefix + QByteArray(4, '\0'))); }),
              std::make_pair(std::string("EInvalidGraphic"), orvelle::InvalidBitmapText()));
    // Planes are refused before the cut table is noticed.
    EXPECT_EQ(Outcome([&] { ReadBmpBytes(BmpFile(prefix.left(100))); }),
              std::make_pair(std::string("EInvalidGraphic"), orvelle::InvalidBitmapText()));
    parts.planes = 1;
    EXPECT_EQ(Outcome([&] { ReadBmpBytes(BmpFile(parts.Prefix().left(100))); }),
              std::make_pair(std::string("EReadError"), orvelle::StreamReadText()));

    parts.planes = 0;
    parts.height = 2;
    EXPECT_EQ(
        Outcome([&] { orvelle::DecodeIconImage(parts.Prefix() + QByteArray(8, '\0')); }).first, "");
    parts.planes = 1;
    for (const QByteArray& damaged : {parts.Prefix().left(100), parts.Prefix().left(39)}) {
        EXPECT_EQ(Outcome([&] { orvelle::DecodeIconImage(damaged); }),
                  std::make_pair(std::string("EInvalidGraphic"), orvelle::InvalidIconText()));
    }
    // Icons carry no core headers.
    DibParts core;
    core.headerSize = 12;
    core.height = 2;
    EXPECT_EQ(Outcome([&] { orvelle::DecodeIconImage(core.Prefix() + QByteArray(64, '\0')); }),
              std::make_pair(std::string("EInvalidGraphic"), orvelle::InvalidIconText()));
}
