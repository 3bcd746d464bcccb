#include <climits>
#include <ostream>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QBuffer>

#include "Bitmap.h"
#include "BmpReader.h"
#include "Canvas.h"
#include "Errors.h"
#include "ByteWriter.h"
#include "Picture.h"
#include "RowName.h"
#include "TestSupport.h"

namespace {

using orvelle::test::PutU16;
using orvelle::test::PutU32;
using orvelle::test::RowName;

QByteArray Hex(const char* text)
{
    return QByteArray::fromHex(text); // spaces between the bytes are skipped
}

// Writes BMP files field by field, so that every header kind and every kind
// of damage can be put together. By default: a 40-byte header, 1 × 1, 24 bpp.
class Bmp {
public:
    Bmp& Header(std::uint32_t size) { return Set(headerSize_, size); }
    Bmp& Size(std::int32_t width, std::int32_t height)
    {
        width_ = width;
        return Set(height_, height);
    }
    Bmp& Planes(std::uint32_t planes) { return Set(planes_, planes); }
    Bmp& Bits(std::uint32_t bits) { return Set(bits_, bits); }
    Bmp& Compression(std::uint32_t compression) { return Set(compression_, compression); }
    Bmp& ImageSize(std::uint32_t bytes) { return Set(imageSize_, bytes); }
    Bmp& Used(std::uint32_t colours) { return Set(used_, colours); }
    // Inside headers of 52 bytes and more, after a 40-byte one.
    Bmp& Masks(std::uint32_t red, std::uint32_t green, std::uint32_t blue)
    {
        return Set(masks_, std::vector<std::uint32_t>{red, green, blue});
    }
    // Compression 3 with these masks.
    Bmp& BitFields(std::uint32_t red, std::uint32_t green, std::uint32_t blue)
    {
        return Compression(3).Masks(red, green, blue);
    }
    // 0xRRGGBB entries: three bytes each after a 12-byte header, else four.
    Bmp& Table(std::vector<unsigned> table) { return Set(table_, std::move(table)); }
    Bmp& Pixels(const char* hex) { return Set(pixels_, Hex(hex)); }
    Bmp& Pixels(QByteArray bytes) { return Set(pixels_, std::move(bytes)); }
    // The header's offset to the pixels; by default where they really start.
    Bmp& Offset(std::uint32_t offset) { return Set(offset_, offset); }

    operator QByteArray() const;

private:
    template <class Field, class Value> Bmp& Set(Field& field, Value value)
    {
        field = std::move(value);
        return *this;
    }

    std::uint32_t headerSize_ = 40;
    std::int32_t width_ = 1;
    std::int32_t height_ = 1;
    std::uint32_t planes_ = 1;
    std::uint32_t bits_ = 24;
    std::uint32_t compression_ = 0;
    std::uint32_t imageSize_ = 0;
    std::uint32_t used_ = 0;
    std::vector<std::uint32_t> masks_;
    std::vector<unsigned> table_;
    QByteArray pixels_;
    std::uint32_t offset_ = 0;
};

Bmp::operator QByteArray() const
{
    QByteArray header;
    if (headerSize_ == 12) {
        PutU32(header, 12);
        PutU16(header, std::uint32_t(width_));
        PutU16(header, std::uint32_t(height_));
        PutU16(header, planes_);
        PutU16(header, bits_);
    } else {
        PutU32(header, headerSize_);
        PutU32(header, std::uint32_t(width_));
        PutU32(header, std::uint32_t(height_));
        PutU16(header, planes_);
        PutU16(header, bits_);
        PutU32(header, compression_);
        PutU32(header, imageSize_);
        PutU32(header, 2835); // 72 dpi
        PutU32(header, 2835);
        PutU32(header, used_);
        PutU32(header, 0);
        for (std::uint32_t m : headerSize_ > 40 ? masks_ : std::vector<std::uint32_t>{})
            PutU32(header, m);
        header.resize(headerSize_, '\0');
        for (std::uint32_t m : headerSize_ == 40 ? masks_ : std::vector<std::uint32_t>{})
            PutU32(header, m);
    }
    for (unsigned c : table_) {
        header.append(char(c & 0xFF)).append(char((c >> 8) & 0xFF)).append(char(c >> 16));
        if (headerSize_ != 12)
            header.append('\0');
    }
    QByteArray file("BM");
    const auto offset = std::uint32_t(14 + header.size());
    PutU32(file, std::uint32_t(offset + pixels_.size()));
    PutU32(file, 0);
    PutU32(file, offset_ != 0 ? offset_ : offset);
    return file + header + pixels_;
}

// A colour for each index, none of them black, so a wrong index shows.
unsigned Shade(unsigned i)
{
    return 0x800000u | (i << 8) | (255 - i);
}

std::vector<unsigned> Shades(unsigned count)
{
    std::vector<unsigned> table;
    for (unsigned i = 0; i < count; ++i)
        table.push_back(Shade(i));
    return table;
}

// A run-length file with sixteen colours and the stream's length as its
// image size.
Bmp Rle(std::uint32_t bits, int width, int height, const char* stream)
{
    const QByteArray data = Hex(stream);
    return Bmp()
        .Size(width, height)
        .Bits(bits)
        .Compression(bits == 8 ? 1 : 2)
        .ImageSize(std::uint32_t(data.size()))
        .Used(16)
        .Table(Shades(16))
        .Pixels(data);
}

// Every RLE8 code once: runs, end of line, an odd absolute run with its pad
// byte, a delta over pixels that stay black, end of bitmap before more codes.
const char* const kRleTour = "0301 0000 0003 020301 00 0000 0002 0100 0103 0001 0202";

void Load(const QByteArray& bytes, TBitmap& into)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    into.LoadFromStream(buffer);
}

// Pixels as 0xRRGGBB, rows from the top.
using Rows = std::vector<std::vector<unsigned>>;

// The pixels as the comparison sees them: drawn at equal size into a work
// bitmap.
Rows Drawn(TGraphic& picture)
{
    TBitmap work;
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetWidth(picture.Width());
    work.SetHeight(picture.Height());
    TCanvas canvas(work);
    canvas.DrawStretched({0, 0, picture.Width(), picture.Height()}, &picture);
    Rows rows(std::size_t(work.Height()));
    for (int y = 0; y < work.Height(); ++y) {
        const std::uint8_t* p = work.PixelRow(y);
        for (int x = 0; x < work.Width(); ++x, p += 3)
            rows[std::size_t(y)].push_back((unsigned(p[2]) << 16) | (unsigned(p[1]) << 8) | p[0]);
    }
    return rows;
}

constexpr unsigned kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

struct Decodes {
    const char* guards;
    QByteArray file;
    Rows pixels;
};

std::vector<Decodes> DecodeCases()
{
    const unsigned a = Shade(0), b = Shade(1), c = Shade(2), d = Shade(3);
    const std::vector<unsigned> rgb = {kRed, kGreen, kBlue};
    return {
        // Header kinds and depths.
        {"core header: 16-bit sizes, two 3-byte entries, bottom row first",
         Bmp().Header(12).Size(3, 2).Bits(1).Table({a, b}).Pixels("A0000000 60000000"),
         {{a, b, b}, {b, a, b}}},
        {"core header, 4 bpp: all 16 entries are read before the pixels",
         Bmp().Header(12).Size(3, 1).Bits(4).Table(Shades(16)).Pixels("1F200000"),
         {{Shade(1), Shade(15), Shade(2)}}},
        {"core header, 8 bpp: 256 entries of 3 bytes",
         Bmp().Header(12).Size(2, 1).Bits(8).Table(Shades(256)).Pixels("05FE0000"),
         {{Shade(5), Shade(254)}}},
        {"16-byte header: the missing fields are 0 (no compression, no colours used)",
         Bmp().Header(16).Size(2, 1).Pixels("010203 040506 0000"),
         {{0x030201, 0x060504}}},
        {"16-byte header, 1 bpp: the two 4-byte entries follow it",
         Bmp().Header(16).Size(2, 1).Bits(1).Table({kRed, kBlue}).Pixels("40000000"),
         {{kRed, kBlue}}},
        {"40-byte header, 1 bpp bottom-up, two entries by default",
         Bmp().Size(2, 2).Bits(1).Table({kRed, kGreen}).Pixels("80000000 40000000"),
         {{kRed, kGreen}, {kGreen, kRed}}},
        {"4 bpp top-down: 16 entries by default, height reported positive",
         Bmp().Size(3, -2).Bits(4).Table(Shades(16)).Pixels("12300000 45600000"),
         {{Shade(1), Shade(2), Shade(3)}, {Shade(4), Shade(5), Shade(6)}}},
        {"8 bpp with 3 colours used: pixels follow the short table, index 7 is black",
         Bmp().Size(4, 1).Bits(8).Used(3).Table(rgb).Pixels("00010207"),
         {{kRed, kGreen, kBlue, 0}}},
        {"8 bpp with 300 colours used: the whole table is skipped, 256 kept",
         Bmp().Size(2, 1).Bits(8).Used(300).Table(Shades(300)).Pixels("FF000000"),
         {{Shade(255), Shade(0)}}},
        {"24 bpp bottom-up: rows padded to 4 bytes",
         Bmp().Size(3, 2).Pixels("010101 020202 030303 000000 040404 050505 060606 000000"),
         {{0x040404, 0x050505, 0x060606}, {0x010101, 0x020202, 0x030303}}},
        {"24 bpp top-down", Bmp().Size(1, -2).Pixels("0000FF00 00FF0000"), {{kRed}, {kGreen}}},
        {"24 bpp with a colour table: the table is skipped",
         Bmp().Used(2).Table({kRed, kGreen}).Pixels("FF000000"),
         {{kBlue}}},
        {"16 bpp without compression is 5-5-5",
         Bmp().Size(2, 1).Bits(16).Pixels("007C 2100"),
         {{kRed, 0x000808}}},
        {"16 bpp bit fields 5-6-5 after a 40-byte header",
         Bmp().Size(3, 1).Bits(16).BitFields(0xF800, 0x07E0, 0x001F).Pixels("00F8 E007 2000 0000"),
         {{kRed, kGreen, 0x000400}}},
        {"16 bpp bit fields inside a 52-byte header",
         Bmp().Header(52).Size(2, 1).Bits(16).BitFields(0xF800, 0x07E0, 0x1F).Pixels("1F00 E007"),
         {{kBlue, kGreen}}},
        {"16 bpp bit fields 5-5-5 inside a 56-byte header",
         Bmp().Header(56).Size(2, 1).Bits(16).BitFields(0x7C00, 0x03E0, 0x1F).Pixels("007C E003"),
         {{kRed, kGreen}}},
        {"32 bpp without compression is blue, green, red, unused",
         Bmp().Bits(32).Pixels("102030FF"),
         {{0x302010}}},
        {"32 bpp bit fields after a 40-byte header, red in the low byte",
         Bmp().Bits(32).BitFields(0xFF, 0xFF00, 0xFF0000).Pixels("10203000"),
         {{0x102030}}},
        {"32 bpp bit fields inside a 108-byte header, top-down",
         Bmp()
             .Header(108)
             .Size(1, -2)
             .Bits(32)
             .BitFields(0xFF, 0xFF00, 0xFF0000)
             .Pixels("10203000 40506000"),
         {{0x102030}, {0x405060}}},
        {"124-byte header without compression: its masks do not apply",
         Bmp().Header(124).Bits(32).Masks(0xFF, 0xFF00, 0xFF0000).Pixels("10203000"),
         {{0x302010}}},
        {"a 200-byte header: what lies past the known fields is skipped",
         Bmp().Header(200).Pixels("FF000000"),
         {{kBlue}}},

        // Where the pixels are and how many of them.
        {"the pixel-data offset is ignored, even when it points past the file",
         Bmp().Pixels("00FF0000").Offset(5000),
         {{kGreen}}},
        {"the pixel-data offset is ignored when it points into the header",
         Bmp().Pixels("00FF0000").Offset(14),
         {{kGreen}}},
        {"cut-short bottom-up pixels: the missing top rows are black, down to the byte",
         Bmp().Size(2, 3).Pixels("0000FF 00FF00 0000 FF"),
         {{0, 0}, {kBlue, 0}, {kRed, kGreen}}},
        {"cut-short palette pixels: the missing ones take entry 0",
         Bmp().Size(2, 2).Bits(8).Used(2).Table({kGreen, kRed}).Pixels("0101"),
         {{kGreen, kGreen}, {kRed, kRed}}},
        {"an image size shorter than the rows: the rest is 0",
         Bmp().Size(2, 1).ImageSize(3).Pixels("FFFFFF FFFFFF 0000"),
         {{0xFFFFFF, 0}}},
        {"an image size of 4 GiB: only what the file holds is read",
         Bmp().ImageSize(0xFFFFFFFF).Pixels("FF000000"),
         {{kBlue}}},

        // Run-length encoded, 8 bits: rows start at the bottom.
        {"RLE8: runs, end of line, odd absolute run with its pad byte, delta, end of bitmap",
         Rle(8, 4, 3, kRleTour),
         {{0, d, 0, 0}, {c, d, b, 0}, {b, b, b, 0}}},
        {"RLE8: an even absolute run has no pad byte; an index past the table is black",
         Rle(8, 4, 1, "0004 00011003 0001"),
         {{a, b, 0, d}}},
        {"RLE8: a run past the row end is cut, not wrapped onto the next row",
         Rle(8, 2, 2, "0501 0000 0102 0001"),
         {{c, 0}, {b, b}}},
        {"RLE8: codes after the last row are not drawn",
         Rle(8, 2, 1, "0201 0000 0202 0000 0203"),
         {{b, b}}},
        {"RLE8: a delta past the last row ends the image",
         Rle(8, 2, 2, "0101 0002 0005 0202"),
         {{0, 0}, {b, 0}}},
        {"RLE8: after a delta past the right edge nothing is drawn until the end of line",
         Rle(8, 2, 2, "0002 0500 0101 0000 0102"),
         {{c, 0}, {0, 0}}},
        {"RLE8: a stream cut inside an absolute run keeps what was drawn",
         Rle(8, 3, 1, "0005 0102"),
         {{b, c, 0}}},
        {"RLE8: a stream cut inside a delta", Rle(8, 2, 1, "0101 0002 01"), {{b, 0}}},
        {"RLE8: the image size bounds the stream",
         Rle(8, 3, 1, "0201 0102").ImageSize(2),
         {{b, b, 0}}},
        {"RLE8: an absolute run cut by the image size does not read on past it",
         Rle(8, 3, 1, "0003 0102 0300").ImageSize(4),
         {{b, c, 0}}},
        {"RLE8 without an image size: the stream ends after stride × height bytes",
         Rle(8, 8, 1, "0101 0102 0103 0104 0105").ImageSize(0),
         {{b, c, d, Shade(4), 0, 0, 0, 0}}},

        // Run-length encoded, 4 bits: two indices a byte, high nibble first.
        {"RLE4: a run alternates its two nibbles; an odd absolute run pads to 16 bits",
         Rle(4, 5, 2, "0512 0000 0005 345120 00 0001"),
         {{Shade(3), Shade(4), Shade(5), b, c}, {b, c, b, c, b}}},
        {"RLE4: three nibbles take two bytes and no pad; delta and end of bitmap",
         Rle(4, 5, 2, "0003 3450 0266 0000 0002 0200 0171 0001"),
         {{0, 0, Shade(7), 0, 0}, {Shade(3), Shade(4), Shade(5), Shade(6), Shade(6)}}},
    };
}

// Failure messages name the row by what it guards against, not by its bytes.
void PrintTo(const Decodes& row, std::ostream* out)
{
    *out << row.guards;
}

class BmpDecodes : public ::testing::TestWithParam<Decodes> {};

TEST_P(BmpDecodes, DecodesEveryHeaderDepthAndEncodingToTheExactPixels)
{
    const Decodes& row = GetParam();
    TBitmap bitmap;
    try {
        Load(row.file, bitmap);
    } catch (const orvelle::Exception& e) {
        FAIL() << e.ClassName() << ": " << e.Message().toStdString();
    }
    EXPECT_EQ(bitmap.Width(), int(row.pixels.front().size()));
    EXPECT_EQ(bitmap.Height(), int(row.pixels.size()));
    EXPECT_EQ(Drawn(bitmap), row.pixels);
    EXPECT_LE(bitmap.Palette().size(), 256u); // a bitmap's table holds no more
}

INSTANTIATE_TEST_SUITE_P(BmpReader, BmpDecodes, ::testing::ValuesIn(DecodeCases()),
                         [](const ::testing::TestParamInfo<Decodes>& info) {
                             return RowName(info.index, info.param.guards);
                         });

struct Fails {
    std::string guards;
    QByteArray file;
    const char* kind;
};

QString MessageOf(const std::string& kind)
{
    if (kind == "EReadError")
        return QStringLiteral("ストリームからの読み込みエラー");
    if (kind == "EOutOfResources")
        return QStringLiteral("システム リソースが足りません");
    return QStringLiteral("ビットマップイメージが不正です");
}

std::vector<Fails> FailureCases()
{
    const char* const read = "EReadError";
    const char* const invalid = "EInvalidGraphic";
    const char* const resources = "EOutOfResources";
    const QByteArray valid = Bmp().Pixels("FF000000");
    const QByteArray masked = Bmp().Bits(16).BitFields(0xF800, 0x7E0, 0x1F);
    const QByteArray palette = Bmp().Bits(8).Table(Shades(256)).Pixels("00");

    std::vector<Fails> rows;
    for (int size = 1; size <= 13; ++size)
        rows.push_back({"a file of " + std::to_string(size) + " bytes ends inside the file header",
                        valid.left(size), read});
    rows.insert(
        rows.end(),
        {
            {"no BM signature", QByteArray("BA") + valid.mid(2), invalid},
            {"the signature bytes swapped", QByteArray("MB") + valid.mid(2), invalid},
            {"JPEG bytes", Hex("FFD8FFE0 00104A46 49460001 01000001 00010000"), invalid},
            {"a file header alone, no info-header size", valid.left(14), read},
            {"the info-header size cut short", valid.left(17), read},
            {"a 40-byte header cut short", valid.left(14 + 30), read},
            {"a core header cut short", QByteArray(Bmp().Header(12)).left(14 + 10), read},
            {"a header size of 0x7FFFFFFF", valid.left(14) + Hex("FFFFFF7F") + valid.mid(18), read},
            {"planes 0", Bmp().Planes(0).Pixels("00000000"), invalid},
            {"planes 2", Bmp().Planes(2).Pixels("00000000"), invalid},
            {"planes 2 is found before the missing colour table", Bmp().Planes(2).Bits(8), invalid},
            {"the colour masks cut short", masked.left(14 + 40 + 6), read},
            {"the colour table cut short", palette.left(14 + 40 + 4 * 255), read},
            {"a core colour table cut short", Bmp().Header(12).Bits(8).Table(Shades(100)), read},
            {"0x7FFFFFFF colours used", Bmp().Bits(8).Used(0x7FFFFFFF).Pixels("00"), read},
            {"0xFFFFFFFF colours used with 24 bpp", Bmp().Used(0xFFFFFFFF).Pixels("00"), read},
            {"bit count 0", Bmp().Bits(0).Pixels("00"), invalid},
            {"bit count 2", Bmp().Bits(2).Pixels("00"), invalid},
            {"bit count 64", Bmp().Bits(64).Pixels("00"), invalid},
            {"width 0", Bmp().Size(0, 1), invalid},
            {"a negative width", Bmp().Size(-1, 1), invalid},
            {"height 0", Bmp().Size(1, 0), invalid},
            {"bit fields with 24 bpp", Bmp().Compression(3).Pixels("00"), invalid},
            {"bit fields with 8 bpp", Bmp().Bits(8).Compression(3).Table(Shades(256)), invalid},
            {"RLE8 with 4 bpp", Rle(8, 1, 1, "0001").Bits(4), invalid},
            {"RLE4 with 8 bpp", Rle(4, 1, 1, "0001").Bits(8), invalid},
            {"RLE8 top-down", Rle(8, 1, -1, "0001"), invalid},
            {"RLE4 top-down", Rle(4, 1, -1, "0001"), invalid},
            {"compression 4 (JPEG)", Bmp().Compression(4).Pixels("00"), invalid},
            {"compression 5 (PNG)", Bmp().Compression(5).Pixels("00"), invalid},
            {"compression 6 (alpha bit fields)", Bmp().Bits(32).Compression(6), invalid},
            {"compression 0xFFFFFFFF", Bmp().Compression(0xFFFFFFFF), invalid},
            {"100000 × 100000 at 24 bpp in a small file",
             Bmp().Size(100000, 100000).Pixels(QByteArray(40, '\0')), resources},
            {"RLE8 counts the 24-bit expansion: 50000 × 20000 takes 3 GB",
             Rle(8, 50000, 20000, "0001"), resources},
            {"the most negative height, top-down", Bmp().Size(1, INT_MIN), resources},
            {"the largest width and height at 32 bpp do not overflow the size",
             Bmp().Size(INT_MAX, INT_MAX).Bits(32), resources},
            {"a 65535 × 65535 core header", Bmp().Header(12).Size(65535, 65535), resources},
        });
    return rows;
}

void PrintTo(const Fails& row, std::ostream* out)
{
    *out << row.guards;
}

class BmpRefuses : public ::testing::TestWithParam<Fails> {};

TEST_P(BmpRefuses, RefusesDamagedFilesWithTheRightErrorAndLeavesTheBitmapAlone)
{
    const Fails& row = GetParam();
    TBitmap bitmap;
    Load(Bmp().Pixels("FF000000"), bitmap);
    try {
        Load(row.file, bitmap);
        ADD_FAILURE() << "loaded";
    } catch (const orvelle::Exception& e) {
        EXPECT_STREQ(e.ClassName(), row.kind);
        EXPECT_EQ(e.Message(), MessageOf(row.kind));
    }
    EXPECT_EQ(Drawn(bitmap), Rows{{kBlue}});
}

INSTANTIATE_TEST_SUITE_P(BmpReader, BmpRefuses, ::testing::ValuesIn(FailureCases()),
                         [](const ::testing::TestParamInfo<Fails>& info) {
                             return RowName(info.index, info.param.guards);
                         });

TEST(BmpReader, AnEmptyFileIsAnEmptyBitmap)
{
    TBitmap bitmap;
    Load(Bmp().Size(2, 1).Pixels("00000000 00000000"), bitmap);
    Load(QByteArray(), bitmap);
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_TRUE(bitmap.Empty());
}

TEST(BmpReader, ReadsFromTheStartOfTheDevice)
{
    QBuffer buffer;
    buffer.setData(Bmp().Pixels("0000FF00"));
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(20);
    TBitmap bitmap;
    bitmap.LoadFromStream(buffer);
    EXPECT_EQ(Drawn(bitmap), Rows{{kRed}});
}

TEST(DecodeDib, DecodesAHeaderAndPixelsHeldApart)
{
    // As a metafile record holds them: the info header with its table, and
    // the pixels elsewhere, here cut short.
    const QByteArray info = QByteArray(Bmp().Size(2, 2).Bits(1).Table({kRed, kGreen})).mid(14);
    TBitmap bitmap;
    orvelle::DecodeDib(info, Hex("40"), bitmap);
    EXPECT_EQ(Drawn(bitmap), (Rows{{kRed, kRed}, {kRed, kGreen}}));

    EXPECT_THROW(orvelle::DecodeDib(info.left(40 + 5), Hex("40"), bitmap), EReadError);
    EXPECT_THROW(orvelle::DecodeDib(info.left(3), {}, bitmap), EReadError);
    EXPECT_EQ(bitmap.Width(), 2);
}

TEST(BmpReader, LoadsThroughTPictureFromRealFiles)
{
    orvelle::test::Sandbox box;
    const unsigned b = Shade(1), c = Shade(2), d = Shade(3);
    const struct {
        const char* name;
        QByteArray bytes;
        Rows pixels;
    } loads[] = {
        {"rle.bmp", Rle(8, 4, 3, kRleTour), {{0, d, 0, 0}, {c, d, b, 0}, {b, b, b, 0}}},
        {"two colours.BMP",
         Bmp().Size(9, 2).Bits(1).Table({0, 0xFFFFFF}).Pixels("FF800000 00000000"),
         {std::vector<unsigned>(9, 0), std::vector<unsigned>(9, 0xFFFFFF)}},
        {"empty.bmp", QByteArray(), {}},
    };
    for (const auto& row : loads) {
        SCOPED_TRACE(row.name);
        TPicture picture;
        picture.LoadFile(box.WriteFile(QString::fromUtf8(row.name), row.bytes));
        ASSERT_NE(picture.Graphic(), nullptr);
        EXPECT_STREQ(picture.Graphic()->ClassName(), "TBitmap");
        EXPECT_EQ(picture.Height(), int(row.pixels.size()));
        if (!row.pixels.empty()) {
            EXPECT_EQ(picture.Width(), int(row.pixels.front().size()));
            EXPECT_EQ(Drawn(*picture.Graphic()), row.pixels);
        }
    }

    const struct {
        const char* name;
        QByteArray bytes;
        const char* kind;
    } failures[] = {
        {"short.bmp", QByteArray("BM\0\0", 4), "EReadError"},
        {"planes.bmp", Bmp().Planes(2), "EInvalidGraphic"},
        {"huge.bmp", Bmp().Size(100000, 100000), "EOutOfResources"},
    };
    for (const auto& row : failures) {
        SCOPED_TRACE(row.name);
        TPicture picture;
        try {
            picture.LoadFile(box.WriteFile(QString::fromUtf8(row.name), row.bytes));
            ADD_FAILURE() << "loaded";
        } catch (const orvelle::Exception& e) {
            EXPECT_STREQ(e.ClassName(), row.kind);
            EXPECT_EQ(e.Message(), MessageOf(row.kind));
        }
    }
}

} // namespace
