#include <cstdint>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRect>
#include <QRegion>
#include <QStringDecoder>

#include "Bitmap.h"
#include "Canvas.h"
#include "EmfReader.h"
#include "Metafile.h"
#include "MetafileWriters.h"
#include "RowName.h"
#include "TestSupport.h"
#include "WmfTranslator.h"

using namespace orvelle::test;

namespace {

// A placeable WMF of a 20 × 20 unit box at 1440 units per inch around the
// records, with an object table of the given size.
QByteArray Wmf(const QByteArray& records, unsigned objects = 8)
{
    return PlaceableWmfAround(records, 20, 20, 1440, objects);
}

struct Record {
    EmfRecord type;
    QByteArray bytes;
    std::int32_t I32(qsizetype at) const { return orvelle::ReadI32(bytes, at); }
    std::uint32_t U32(qsizetype at) const { return orvelle::ReadU32(bytes, at); }
};

// The records of the enhanced file a WMF translates into.
std::vector<Record> Translated(const QByteArray& wmf)
{
    const QByteArray emf = orvelle::TranslateWmf(wmf.mid(22), {0, 0, 20, 20, 35, 35});
    std::vector<Record> records;
    for (qsizetype at = 0; at + 8 <= emf.size();) {
        const std::uint32_t size = orvelle::ReadU32(emf, at + 4);
        records.push_back({EmfRecord(orvelle::ReadU32(emf, at)), emf.mid(at, size)});
        at += size;
    }
    return records;
}

std::vector<Record> OfType(const std::vector<Record>& all, EmfRecord type)
{
    std::vector<Record> out;
    for (const Record& r : all)
        if (r.type == type)
            out.push_back(r);
    return out;
}

// A font record (LOGFONT with an 8-bit face name).
QByteArray FontRec(std::initializer_list<int> fields, std::initializer_list<int> bytes,
                   const QByteArray& face)
{
    QByteArray tail;
    for (int b : bytes)
        tail.append(char(b));
    return WmfRec(0x02FB, fields, tail + face + QByteArray(1, '\0'));
}

QString FaceOf(const Record& font)
{
    QString name;
    for (qsizetype at = 40; at < 40 + 64; at += 2) {
        const std::uint16_t c = orvelle::ReadU16(font.bytes, at);
        if (c == 0)
            break;
        name += QChar(c);
    }
    return name;
}

// A 2 × 2 24-bit bottom-up DIB: red, green over blue, yellow.
QByteArray DibInfo()
{
    QByteArray info;
    for (std::uint32_t v : {40U, 2U, 2U})
        PutU32(info, v);
    PutU16(info, 1);
    PutU16(info, 24);
    for (int i = 0; i < 6; ++i)
        PutU32(info, 0);
    return info;
}
QByteArray DibBits()
{
    return QByteArray("\xFF\x00\x00\x00\xFF\xFF\x00\x00"  // bottom row: blue, yellow
                      "\x00\x00\xFF\x00\xFF\x00\x00\x00", // top row: red, green
                      16);
}

constexpr std::uint32_t kSourceCopy = 0x00CC0020;
constexpr std::uint32_t kPatternCopy = 0x00F00021;

// EMR_BITBLT (76) or, with a source size, EMR_STRETCHBLT (77).
QByteArray Blit(std::initializer_list<int> destination, std::uint32_t rop, bool withDib,
                std::initializer_list<int> source = {})
{
    QByteArray body(16, '\0');
    for (int v : destination)
        PutU32(body, std::uint32_t(v));
    PutU32(body, rop);
    PutU32(body, 0);
    PutU32(body, 0);
    for (std::uint32_t v : {0x3F800000U, 0U, 0U, 0x3F800000U, 0U, 0U})
        PutU32(body, v);
    PutU32(body, 0xFFFFFF);
    const std::uint32_t at = 100 + std::uint32_t(source.size()) * 4;
    for (std::uint32_t v :
         {0U, withDib ? at : 0U, withDib ? 40U : 0U, withDib ? at + 40 : 0U, withDib ? 16U : 0U})
        PutU32(body, v);
    for (int v : source)
        PutU32(body, std::uint32_t(v));
    return withDib ? body + DibInfo() + DibBits() : body;
}

// EMR_STRETCHDIBITS (81) or EMR_SETDIBITSTODEVICE (80).
QByteArray DibRecord(std::initializer_list<int> placeAndSource,
                     std::initializer_list<std::uint32_t> tail)
{
    QByteArray body(16, '\0');
    for (int v : placeAndSource)
        PutU32(body, std::uint32_t(v));
    const std::uint32_t at = 8 + 16 + 24 + 20 + std::uint32_t(tail.size()) * 4;
    for (std::uint32_t v : {at, 40U, at + 40, 16U, 0U})
        PutU32(body, v);
    for (std::uint32_t v : tail)
        PutU32(body, v);
    return body + DibInfo() + DibBits();
}

// A region of rectangles given as bands: top, bottom, then left-right pairs.
QByteArray RegionRec(const std::vector<std::vector<int>>& bands)
{
    QByteArray scans;
    for (const std::vector<int>& band : bands) {
        const unsigned count = unsigned(band.size() - 2);
        PutU16(scans, count);
        for (int v : band)
            PutU16(scans, unsigned(v));
        PutU16(scans, count);
    }
    return WmfRec(0x06FF, {0, 6, 0, 0, 0, int(bands.size()), 0, 0, 0, 0, 0}, scans);
}

// The device-space clip a translated clip selection builds.
QRegion ClipOf(const std::vector<Record>& records)
{
    QRegion clip;
    for (const Record& r : records) {
        const QRect rect(QPoint(r.I32(8), r.I32(12)), QPoint(r.I32(16) - 1, r.I32(20) - 1));
        if (r.type == EmfRecord::ExtSelectClipRgn)
            clip = QRegion(-1000, -1000, 3000, 3000);
        else if (r.type == EmfRecord::IntersectClipRect)
            clip &= rect;
        else if (r.type == EmfRecord::ExcludeClipRect)
            clip -= rect;
    }
    return clip;
}

const std::initializer_list<int> kRedBrush = {0, WmfWriter::Low(kRed), WmfWriter::High(kRed), 0};

// Whether the player clips already: an intersected rectangle fill inks only
// the clip.
bool PlayerClips()
{
    EmfWriter w(0, 0, 2000, 2000);
    RedOnBlue(w)
        .Add(EmfRecord::IntersectClipRect, {0, 0, 5, 5})
        .Raw(EmfRecord::BitBlt, Blit({0, 0, 20, 20}, kPatternCopy, false));
    return Inked(Render(w.Bytes(), 20, 20, {0, 0, 21, 21})) == 25;
}

} // namespace

TEST(WmfTranslate, TextStateFontsAndStringsKeepTheirBytes)
{
    const QByteArray jis("\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E"); // ＭＳ ゴシック
    QByteArray r;
    r += WmfRec(0x0209, {0x3456, 0x12}) + WmfRec(0x0201, {0xFFEE, 0xDD}) + WmfRec(0x0102, {1});
    r += WmfRec(0x012E, {24}) + WmfRec(0x020A, {3, 12});
    r += FontRec({-13, 0, 900, 450, 700}, {1, 0, 1, 0, 3, 2, 1, 0x22}, "Caf\xE9\x80");
    r += FontRec({20, 5, 0, 0, 400}, {0, 1, 0, 128, 0, 0, 0, 0}, jis);
    r += WmfRec(0x012D, {1});
    r += WmfRec(0x0521, {5, 'H' | 'e' << 8, 'l' | 'l' << 8, 'o', 4, 3});
    r += WmfRec(0x0A32, {7, 2, 3, 6, 1, 2, 15, 9},
                QByteArray("\x82\xA0"
                           "A\0",
                           4) +
                    QByteArray("\x06\0\0\0\x05\0", 6));
    r += WmfRec(0x0A32, {1, 1, 2, 0}, "ab");
    const std::vector<Record> all = Translated(Wmf(r));

    EXPECT_EQ(OfType(all, EmfRecord::SetTextColor).at(0).U32(8), 0x123456U);
    EXPECT_EQ(OfType(all, EmfRecord::SetBkColor).at(0).U32(8), 0xDDFFEEU);
    EXPECT_EQ(OfType(all, EmfRecord::SetBkMode).at(0).U32(8), 1U);
    EXPECT_EQ(OfType(all, EmfRecord::SetTextAlign).at(0).U32(8), 24U);
    const Record justify = OfType(all, EmfRecord::SetTextJustification).at(0);
    EXPECT_EQ(justify.I32(8), 12); // extra space, then the number of breaks
    EXPECT_EQ(justify.I32(12), 3);

    const std::vector<Record> fonts = OfType(all, EmfRecord::ExtCreateFontIndirectW);
    ASSERT_EQ(fonts.size(), 2U);
    EXPECT_EQ(fonts[0].U32(8), 1U); // slots 0 and 1
    EXPECT_EQ(fonts[1].U32(8), 2U);
    for (auto [at, value] :
         std::vector<std::pair<int, int>>{{12, -13}, {16, 0}, {20, 900}, {24, 450}, {28, 700}})
        EXPECT_EQ(fonts[0].I32(at), value) << at;
    EXPECT_EQ(fonts[0].bytes.mid(32, 8), QByteArray("\x01\x00\x01\x00\x03\x02\x01\x22", 8));
    EXPECT_EQ(FaceOf(fonts[0]), QString::fromUtf8("Café€"));
    EXPECT_EQ(fonts[1].bytes[35], char(128));
    if (QStringDecoder("Shift_JIS").isValid()) {
        EXPECT_EQ(FaceOf(fonts[1]), QString::fromUtf8("ＭＳ ゴシック"));
    }
    EXPECT_EQ(OfType(all, EmfRecord::SelectObject).at(0).U32(8), 2U);

    const std::vector<Record> texts = OfType(all, EmfRecord::ExtTextOutA);
    ASSERT_EQ(texts.size(), 3U);
    // TextOut: the reference point, 5 bytes, no rectangle, no spacing.
    EXPECT_EQ(texts[0].I32(24), 1); // advanced graphics mode off
    EXPECT_EQ(texts[0].U32(28), 0U);
    EXPECT_EQ(texts[0].I32(36), 3);
    EXPECT_EQ(texts[0].I32(40), 4);
    EXPECT_EQ(texts[0].U32(44), 5U);
    EXPECT_EQ(texts[0].bytes.mid(qsizetype(texts[0].U32(48)), 5), QByteArray("Hello"));
    EXPECT_EQ(texts[0].U32(72), 0U);
    // ExtTextOut: options, its rectangle, the double-byte string as it is
    // and a 32-bit spacing entry per byte.
    const Record& ext = texts[1];
    EXPECT_EQ(ext.I32(36), 2);
    EXPECT_EQ(ext.I32(40), 7);
    EXPECT_EQ(ext.U32(44), 3U);
    EXPECT_EQ(ext.U32(52), 6U);
    for (auto [at, value] : std::vector<std::pair<int, int>>{{56, 1}, {60, 2}, {64, 15}, {68, 9}})
        EXPECT_EQ(ext.I32(at), value) << at;
    EXPECT_EQ(ext.bytes.mid(qsizetype(ext.U32(48)), 3), QByteArray("\x82\xA0"
                                                                   "A"));
    const qsizetype dx = qsizetype(ext.U32(72));
    ASSERT_GT(dx, 0);
    ASSERT_LE(dx + 12, ext.bytes.size());
    EXPECT_EQ(ext.I32(dx), 6);
    EXPECT_EQ(ext.I32(dx + 4), 0);
    EXPECT_EQ(ext.I32(dx + 8), 5);
    // Without options the rectangle is absent and so, here, is the spacing.
    EXPECT_EQ(texts[2].U32(44), 2U);
    EXPECT_EQ(texts[2].bytes.mid(qsizetype(texts[2].U32(48)), 2), QByteArray("ab"));
    EXPECT_EQ(texts[2].U32(72), 0U);
}

TEST(WmfTranslate, RegionSelectionClipsToExactlyItsRectangles)
{
    struct Row {
        const char* name;
        std::vector<std::vector<int>> bands;
    };
    const std::vector<Row> rows = {
        {"one rectangle", {{2, 8, 1, 9}}},
        {"a notch and a gap between bands", {{0, 5, 0, 10}, {5, 8, 0, 4, 6, 10}, {12, 15, 3, 7}}},
        {"offset bands", {{0, 4, 0, 6}, {4, 9, 3, 12}}},
    };
    for (const Row& row : rows) {
        QRegion expected;
        for (const std::vector<int>& band : row.bands)
            for (std::size_t i = 2; i + 1 < band.size(); i += 2)
                expected |= QRect(QPoint(band[i], band[0]), QPoint(band[i + 1] - 1, band[1] - 1));
        for (unsigned select : {0x012CU, 0x012DU}) {
            const std::vector<Record> all = Translated(
                Wmf(WmfRec(0x02FC, kRedBrush) + RegionRec(row.bands) + WmfRec(select, {1})));
            EXPECT_EQ(ClipOf(all), expected) << row.name << " " << select;
        }
    }
    // An empty region, a slot holding no region and a free slot all reset the clip.
    const QByteArray reset = WmfRec(0x02FC, kRedBrush) + RegionRec({}) + WmfRec(0x012C, {1}) +
                             WmfRec(0x012C, {0}) + WmfRec(0x012C, {5});
    const std::vector<Record> all = Translated(Wmf(reset));
    EXPECT_EQ(OfType(all, EmfRecord::ExtSelectClipRgn).size(), 3U);
    EXPECT_TRUE(OfType(all, EmfRecord::IntersectClipRect).empty());
}

namespace {

// The red brush in slot 0 and the blue pen in slot 1, both selected.
QByteArray RedOnBlueWmf()
{
    return WmfRec(0x02FC, kRedBrush) + WmfRec(0x012D, {0}) +
           WmfRec(0x02FA, {0, 0, 0, WmfWriter::Low(kBlue), WmfWriter::High(kBlue)}) +
           WmfRec(0x012D, {1});
}

// A record whose first two words are a raster operation.
QByteArray Rop(unsigned function, std::uint32_t rop, std::initializer_list<int> rest,
               const QByteArray& tail = {})
{
    std::vector<int> words = {int(rop & 0xFFFF), int(rop >> 16)};
    words.insert(words.end(), rest);
    return WmfRec(function, words, tail);
}

// ExtCreateFontIndirectW in slot 1 of a font of 8 units, "Arial".
QByteArray ArialRecord()
{
    QByteArray body;
    PutU32(body, 1);
    for (std::uint32_t v : {std::uint32_t(-8), 0U, 0U, 0U, 400U, 0U, 0U})
        PutU32(body, v);
    for (char c : QByteArray("Arial"))
        PutU16(body, unsigned(c));
    body.append(64 - 10, '\0');
    return body;
}

// ExtCreateFontIndirectW in slot 1 of a Shift_JIS font of 10 units.
QByteArray GothicRecord()
{
    QByteArray body;
    PutU32(body, 1);
    for (std::uint32_t v : {std::uint32_t(-10), 0U, 0U, 0U, 400U, 128U << 24, 0U})
        PutU32(body, v);
    const QString face = QString::fromUtf8("ＭＳ ゴシック");
    for (QChar c : face)
        PutU16(body, c.unicode());
    body.append(64 - face.size() * 2, '\0');
    return body;
}

// ExtTextOutA of "Hi" at (2, 3) with 6 units a byte.
QByteArray HiRecord()
{
    QByteArray body(16, '\0');
    for (std::uint32_t v : {1U, 0U, 0U, 2U, 3U, 2U, 76U, 0U, 0U, 0U, 0U, 0U, 80U})
        PutU32(body, v);
    body += QByteArray("Hi\0\0", 4);
    PutU32(body, 6);
    PutU32(body, 6);
    return body;
}

} // namespace

namespace {

// Both files are 20 logical units across and land on 41 × 41 pixels.
struct Family {
    const char* name;
    std::function<void(EmfWriter&)> emf;
    QByteArray wmf;
    int inked; // the least ink expected; 0 where the player draws nothing yet
};

std::vector<Family> Families()
{
    const QByteArray dib = DibInfo() + DibBits();
    const QByteArray font = WmfRec(0x02FB, {-8, 0, 0, 0, 400}, QByteArray(8, '\0') + "Arial");
    const QByteArray jis("\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E");
    return {
        {"bitmaps at their size, stretched, by rows, and raster operations",
         [](EmfWriter& w) {
             RedOnBlue(w).Raw(EmfRecord::StretchDIBits,
                              DibRecord({2, 2, 0, 0, 2, 2}, {kSourceCopy, 8, 6}));
             w.Raw(EmfRecord::BitBlt, Blit({12, 2, 2, 2}, kSourceCopy, true));
             w.Raw(EmfRecord::StretchBlt, Blit({0, 12, 8, 8}, kSourceCopy, true, {2, 2}));
             w.Raw(EmfRecord::SetDIBitsToDevice, DibRecord({12, 12, 0, 0, 2, 2}, {0, 2}));
             w.Raw(EmfRecord::BitBlt, Blit({15, 15, 3, 3}, 0x00000042, false));
             w.Raw(EmfRecord::BitBlt, Blit({16, 16, 1, 1}, 0x00FF0062, false));
             w.Raw(EmfRecord::BitBlt, Blit({10, 8, 8, 2}, kPatternCopy, false));
         },
         RedOnBlueWmf() + Rop(0x0F43, kSourceCopy, {0, 2, 2, 0, 0, 6, 8, 2, 2}, dib) +
             Rop(0x0940, kSourceCopy, {0, 0, 2, 2, 2, 12}, dib) +
             Rop(0x0B41, kSourceCopy, {2, 2, 0, 0, 8, 8, 12, 0}, dib) +
             WmfRec(0x0D33, {0, 2, 0, 0, 0, 2, 2, 12, 12}, dib) +
             Rop(0x0940, 0x00000042, {0, 0, 0, 3, 3, 15, 15}) +
             Rop(0x0B41, 0x00FF0062, {0, 0, 0, 0, 0, 1, 1, 16, 16}) +
             Rop(0x061D, kPatternCopy, {2, 8, 8, 10}),
         (48 + 4 + 64 + 4 + 8 + 16) * 4},
        {"clipping by rectangles and an offset clip",
         [](EmfWriter& w) {
             RedOnBlue(w)
                 .Add(EmfRecord::IntersectClipRect, {1, 1, 15, 15})
                 .Add(EmfRecord::ExcludeClipRect, {4, 4, 8, 8})
                 .Add(EmfRecord::OffsetClipRgn, {2, 1});
             w.Add(EmfRecord::Rectangle, {0, 0, 20, 20});
         },
         RedOnBlueWmf() + WmfRec(0x0416, {15, 15, 1, 1}) + WmfRec(0x0415, {8, 8, 4, 4}) +
             WmfRec(0x0220, {1, 2}) + WmfRec(0x041B, {20, 20, 0, 0}),
         100},
        {"pattern brush from a bitmap",
         [dib](EmfWriter& w) {
             QByteArray body;
             for (std::uint32_t v : {3U, 0U, 32U, 40U, 72U, 16U})
                 PutU32(body, v);
             RedOnBlue(w)
                 .Raw(EmfRecord::CreateDIBPatternBrushPt, body + dib)
                 .Add(EmfRecord::SelectObject, {3})
                 .Add(EmfRecord::Rectangle, {2, 2, 18, 18});
         },
         RedOnBlueWmf() + WmfRec(0x0142, {5, 0}, dib) + WmfRec(0x012D, {2}) +
             WmfRec(0x041B, {18, 18, 2, 2}),
         100},
        {"text with its font, colours and spacing",
         [](EmfWriter& w) {
             w.Add(EmfRecord::SetTextColor, {kBlue})
                 .Add(EmfRecord::SetBkMode, {1})
                 .Add(EmfRecord::SetTextAlign, {0});
             w.Raw(EmfRecord::ExtCreateFontIndirectW, ArialRecord())
                 .Add(EmfRecord::SelectObject, {1})
                 .Raw(EmfRecord::ExtTextOutA, HiRecord());
         },
         WmfRec(0x0209, {WmfWriter::Low(kBlue), WmfWriter::High(kBlue)}) + WmfRec(0x0102, {1}) +
             WmfRec(0x012E, {0}) + font + WmfRec(0x012D, {0}) +
             WmfRec(0x0A32, {3, 2, 2, 0}, QByteArray("Hi\x06\0\x06\0", 6)),
         0},
        {"double-byte text keeps a spacing entry per byte",
         [](EmfWriter& w) {
             QByteArray text(16, '\0');
             for (std::uint32_t v : {1U, 0U, 0U, 1U, 12U, 4U, 76U, 0U, 0U, 0U, 0U, 0U, 80U})
                 PutU32(text, v);
             text += QByteArray("\x82\xA0\x82\xA2", 4);
             for (std::uint32_t v : {9U, 0U, 9U, 0U})
                 PutU32(text, v);
             w.Raw(EmfRecord::ExtCreateFontIndirectW, GothicRecord())
                 .Add(EmfRecord::SelectObject, {1})
                 .Add(EmfRecord::SetTextAlign, {24})
                 .Raw(EmfRecord::ExtTextOutA, text);
         },
         WmfRec(0x02FB, {-10, 0, 0, 0, 400}, QByteArray("\0\0\0\x80\0\0\0\0", 8) + jis) +
             WmfRec(0x012D, {0}) + WmfRec(0x012E, {24}) +
             WmfRec(0x0A32, {12, 1, 4, 0}, QByteArray("\x82\xA0\x82\xA2\x09\0\0\0\x09\0\0\0", 12)),
         0},
        {"state records the player keeps",
         [](EmfWriter& w) {
             RedOnBlue(w)
                 .Add(EmfRecord::SetRop2, {7})
                 .Add(EmfRecord::SetStretchBltMode, {3})
                 .Add(EmfRecord::Rectangle, {2, 2, 18, 18});
         },
         RedOnBlueWmf() + WmfRec(0x0104, {7}) + WmfRec(0x0107, {3}) +
             WmfRec(0x041B, {18, 18, 2, 2}),
         100},
    };
}

void PrintTo(const Family& row, std::ostream* out)
{
    *out << row.name;
}

class WmfFamily : public ::testing::TestWithParam<Family> {};

} // namespace

TEST_P(WmfFamily, DrawsAsTheEnhancedEquivalent)
{
    const Family& row = GetParam();
    EmfWriter emf(0, 0, 2000, 2000);
    row.emf(emf);
    const TBitmap a = Render(emf.Bytes(), 44, 44, {0, 0, 41, 41});
    const TBitmap b = Render(Wmf(row.wmf), 44, 44, {0, 0, 41, 41});
    EXPECT_GE(Inked(a), row.inked);
    if (Pixels(a) != Pixels(b))
        ADD_FAILURE() << Ink(a).join(u'\n').toStdString() << "\n\n"
                      << Ink(b).join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(WmfDraw, WmfFamily, ::testing::ValuesIn(Families()),
                         [](const ::testing::TestParamInfo<Family>& info) {
                             return RowName(info.index, info.param.name);
                         });

TEST(WmfDraw, BitmapsLandOnTheirPixels)
{
    // 20 units on 20 pixels: a bitmap stretched 4 times from (2, 2), one at
    // its size at (12, 2), whose top-left pixel is red, and a black block.
    const QByteArray dib = DibInfo() + DibBits();
    const QByteArray wmf = Rop(0x0F43, kSourceCopy, {0, 2, 2, 0, 0, 8, 8, 2, 2}, dib) +
                           Rop(0x0940, kSourceCopy, {0, 0, 2, 2, 2, 12}, dib) +
                           Rop(0x061D, 0x00000042, {3, 3, 15, 15});
    const TBitmap b = Render(Wmf(wmf), 20, 20, {0, 0, 21, 21});
    EXPECT_EQ(Rgb(b, 2, 2), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 9, 2), 0x00FF00U);
    EXPECT_EQ(Rgb(b, 2, 9), 0x0000FFU);
    EXPECT_EQ(Rgb(b, 9, 9), 0xFFFF00U);
    EXPECT_EQ(Rgb(b, 12, 2), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 13, 3), 0xFFFF00U);
    EXPECT_EQ(Rgb(b, 17, 17), 0U);
    EXPECT_EQ(Inked(b), 64 + 4 + 9);
}

TEST(WmfDraw, RegionsFillAndClipAsTheirRectangles)
{
    // FillRgn with its own brush leaves the selected one in place; PaintRgn
    // uses the selected one. Each rectangle is filled edge to edge.
    const QByteArray region = RegionRec({{0, 5, 0, 10}, {5, 8, 0, 4, 6, 10}});
    const QByteArray green = WmfRec(0x02FC, {0, 0xFF00, 0, 0});
    const QByteArray fills = RedOnBlueWmf() + green + region + WmfRec(0x0228, {2, 3}) +
                             WmfRec(0x0220, {0, 0}) + WmfRec(0x061D, {0x21, 0xF0, 2, 2, 17, 17});
    EmfWriter w(0, 0, 2000, 2000);
    RedOnBlue(w)
        .Add(EmfRecord::CreateBrushIndirect, {3, 0, 0x00FF00, 0})
        .Add(EmfRecord::SaveDC, {})
        .Add(EmfRecord::SelectObject, {3});
    w.Raw(EmfRecord::BitBlt, Blit({0, 0, 10, 5}, kPatternCopy, false))
        .Raw(EmfRecord::BitBlt, Blit({0, 5, 4, 3}, kPatternCopy, false));
    w.Raw(EmfRecord::BitBlt, Blit({6, 5, 4, 3}, kPatternCopy, false))
        .Add(EmfRecord::RestoreDC, {-1})
        .Add(EmfRecord::OffsetClipRgn, {0, 0});
    w.Raw(EmfRecord::BitBlt, Blit({17, 17, 2, 2}, kPatternCopy, false));
    const TBitmap a = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    const TBitmap b = Render(Wmf(fills), 20, 20, {0, 0, 21, 21});
    EXPECT_EQ(Inked(a), 50 + 24 + 4);
    EXPECT_EQ(Rgb(a, 18, 18), 0xFF0000U);
    EXPECT_EQ(Pixels(a), Pixels(b));

    if (!PlayerClips())
        GTEST_SKIP() << "the player does not clip yet";
    // The same shape as a clip: a fill of everything inks only the region.
    const TBitmap c = Render(Wmf(RedOnBlueWmf() + region + WmfRec(0x012C, {2}) +
                                 Rop(0x061D, kPatternCopy, {20, 20, 0, 0})),
                             20, 20, {0, 0, 21, 21});
    EmfWriter e(0, 0, 2000, 2000);
    RedOnBlue(e).Raw(EmfRecord::BitBlt, Blit({0, 0, 10, 5}, kPatternCopy, false));
    e.Raw(EmfRecord::BitBlt, Blit({0, 5, 4, 3}, kPatternCopy, false))
        .Raw(EmfRecord::BitBlt, Blit({6, 5, 4, 3}, kPatternCopy, false));
    EXPECT_EQ(Pixels(c), Pixels(Render(e.Bytes(), 20, 20, {0, 0, 21, 21})));
}

TEST(WmfDraw, OffsetOriginsFollowSavedStates)
{
    // The window origin moves by offsets, relative and absolute restores
    // bring back the origin of that state, a restore of no saved state
    // changes nothing. 7 viewport units of the WMF are 4 logical units.
    QByteArray wmf = RedOnBlueWmf();
    wmf += WmfRec(0x020F, {-2, -2}) + WmfRec(0x001E, {}) + WmfRec(0x020F, {0, -5}) +
           WmfRec(0x001E, {});
    wmf += WmfRec(0x0211, {0, 7}) + WmfRec(0x041B, {3, 3, 0, 0}) + WmfRec(0x0127, {-1});
    wmf += WmfRec(0x041B, {6, 3, 3, 0}) + WmfRec(0x0127, {1}) + WmfRec(0x041B, {9, 3, 6, 0});
    wmf += WmfRec(0x020F, {1, 1}) + WmfRec(0x0127, {5}) + WmfRec(0x041B, {12, 3, 9, 0});
    EmfWriter w(0, 0, 2000, 2000);
    RedOnBlue(w)
        .Add(EmfRecord::SetWindowOrgEx, {-2, -2})
        .Add(EmfRecord::SaveDC, {})
        .Add(EmfRecord::SetWindowOrgEx, {-7, -2})
        .Add(EmfRecord::SaveDC, {});
    w.Add(EmfRecord::SetViewportOrgEx, {4, 0})
        .Add(EmfRecord::Rectangle, {0, 0, 3, 3})
        .Add(EmfRecord::RestoreDC, {-1})
        .Add(EmfRecord::SetViewportOrgEx, {0, 0});
    w.Add(EmfRecord::Rectangle, {0, 3, 3, 6})
        .Add(EmfRecord::RestoreDC, {1})
        .Add(EmfRecord::Rectangle, {0, 6, 3, 9});
    w.Add(EmfRecord::SetWindowOrgEx, {-1, -1}).Add(EmfRecord::Rectangle, {0, 9, 3, 12});
    const TBitmap a = Render(w.Bytes(), 44, 44, {0, 0, 41, 41});
    const TBitmap b = Render(Wmf(wmf), 44, 44, {0, 0, 41, 41});
    EXPECT_GT(Inked(a), 4 * 30);
    if (Pixels(a) != Pixels(b))
        ADD_FAILURE() << Ink(a).join(u'\n').toStdString() << "\n\n"
                      << Ink(b).join(u'\n').toStdString();

    // Scaled extents keep their numerators and denominators.
    const std::vector<Record> all =
        Translated(Wmf(WmfRec(0x0410, {3, 4, 1, 2}) + WmfRec(0x0412, {7, 8, 5, 6})));
    const Record window = OfType(all, EmfRecord::ScaleWindowExtEx).at(0);
    const Record viewport = OfType(all, EmfRecord::ScaleViewportExtEx).at(0);
    EXPECT_EQ(window.bytes.mid(8), QByteArray("\2\0\0\0\1\0\0\0\4\0\0\0\3\0\0\0", 16));
    EXPECT_EQ(viewport.bytes.mid(8), QByteArray("\6\0\0\0\5\0\0\0\x08\0\0\0\7\0\0\0", 16));
}

namespace {

struct ObjectTable {
    const char* name;
    QByteArray records;
    unsigned objects;
    bool loads;
};

std::vector<ObjectTable> ObjectTables()
{
    const QByteArray pen = WmfRec(0x02FA, {0, 0, 0, 0, 0});
    return {
        {"table full", pen + pen + pen, 2, false},
        {"no table at all", pen, 0, false},
        {"a freed slot is made again", pen + pen + WmfRec(0x01F0, {0}) + pen, 2, true},
        {"select past the table", pen + WmfRec(0x012D, {2}), 2, false},
        {"delete past the table", WmfRec(0x01F0, {9}), 2, false},
        {"clip region past the table", WmfRec(0x012C, {4}), 2, false},
        {"free slot inside the table", pen + WmfRec(0x012D, {1}) + WmfRec(0x01F0, {1}), 2, true},
        {"palettes and regions count", WmfRec(0x00F7, {0x300, 0}) + RegionRec({}) + pen, 2, false},
    };
}

void PrintTo(const ObjectTable& row, std::ostream* out)
{
    *out << row.name << ", " << row.objects << " slots";
}

class WmfObjectTable : public ::testing::TestWithParam<ObjectTable> {};

} // namespace

TEST_P(WmfObjectTable, IndicesOutsideTheTableFailTheLoad)
{
    const ObjectTable& row = GetParam();
    const auto [kind, message] = Failure(Wmf(row.records, row.objects));
    if (row.loads) {
        EXPECT_TRUE(kind.empty());
    } else {
        EXPECT_EQ(kind, "EInvalidGraphic");
        EXPECT_EQ(message, kInvalid);
    }
}

INSTANTIATE_TEST_SUITE_P(WmfLoad, WmfObjectTable, ::testing::ValuesIn(ObjectTables()),
                         [](const ::testing::TestParamInfo<ObjectTable>& info) {
                             return RowName(info.index, info.param.name);
                         });

TEST(WmfLoad, DamagedBytesNeverCrashOrReadOutside)
{
    // Every byte of a file with each translated family set to 0xFF and to
    // 0x7F in turn: each variant loads or fails with a metafile error, and draws.
    const QByteArray dib = DibInfo() + DibBits();
    QByteArray r = RedOnBlueWmf() + RegionRec({{0, 5, 0, 10}, {5, 8, 0, 4, 6, 10}});
    r += WmfRec(0x012C, {2}) + WmfRec(0x0228, {0, 2}) + WmfRec(0x012B, {2});
    r += FontRec({-8, 0, 0, 0, 400}, {0, 0, 0, 128, 0, 0, 0, 0},
                 "\x82\x6C"
                 "A");
    r += WmfRec(0x012D, {3}) + WmfRec(0x0A32, {3, 2, 3, 6, 0, 0, 9, 9},
                                      QByteArray("\x82\xA0"
                                                 "A\0\1\0\2\0\3\0",
                                                 10));
    r += WmfRec(0x0521, {2, 'a' | 'b' << 8, 1, 1});
    r += Rop(0x0F43, kSourceCopy, {0, 2, 2, 0, 0, 8, 8, 2, 2}, dib);
    r += Rop(0x0B41, kSourceCopy, {2, 2, 0, 0, 8, 8, 12, 0}, dib) +
         WmfRec(0x0D33, {0, 2, 0, 0, 0, 2, 2, 1, 1}, dib);
    r += WmfRec(0x0142, {5, 0}, dib) + WmfRec(0x001E, {}) + WmfRec(0x020F, {1, 1}) +
         WmfRec(0x0127, {-1});
    const QByteArray wmf = Wmf(r);
    ASSERT_TRUE(Failure(wmf).first.empty());
    EachByteDamaged(
        wmf, 0, {char(0xFF), char(0x7F)}, {kInvalid, kRead},
        [](const QByteArray& damaged, qsizetype i) {
            // A translation is refused or a whole enhanced file.
            const QByteArray emf = orvelle::TranslateWmf(damaged.mid(22), {0, 0, 20, 20, 35, 35});
            EXPECT_TRUE(emf.isEmpty() || orvelle::EmfRecordsValid(emf)) << i;
        });
}

TEST(WmfLoad, RealFilesKeepLoadingAndDrawing)
{
    const QString corpus = orvelle::test::CorpusDir();
    if (corpus.isEmpty())
        GTEST_SKIP() << "no corpus folder";
    const QDir dir(corpus + QStringLiteral("/wmf"));
    int placeable = 0;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        if (!bytes.startsWith(QByteArray("\xD7\xCD\xC6\x9A", 4)))
            continue;
        ++placeable;
        ASSERT_TRUE(Failure(bytes).first.empty()) << name.toStdString();
        EXPECT_TRUE(orvelle::EmfRecordsValid(orvelle::TranslateWmf(bytes.mid(22), {})))
            << name.toStdString();
        EXPECT_GT(Inked(Render(bytes, 64, 64, {0, 0, 64, 64})), 0) << name.toStdString();
    }
    EXPECT_GT(placeable, 0);
}
