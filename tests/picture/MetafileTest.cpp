#include <cstdint>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>

#include "Bitmap.h"
#include "Canvas.h"
#include "EmfReader.h"
#include "Errors.h"
#include "Metafile.h"
#include "MetafileWriters.h"
#include "Picture.h"
#include "RowName.h"
#include "TestSupport.h"

using namespace orvelle::test;

TEST(MulDiv, RoundsHalvesAwayFromZeroWithoutOverflow)
{
    EXPECT_EQ(orvelle::MulDiv(5, 1, 2), 3);
    EXPECT_EQ(orvelle::MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(orvelle::MulDiv(5, -1, 2), -3);
    EXPECT_EQ(orvelle::MulDiv(7, 1, 3), 2);
    EXPECT_EQ(orvelle::MulDiv(2000000000, 3, 4), 1500000000);
    EXPECT_EQ(orvelle::MulDiv(1, 1, 0), 0);
}

namespace {

struct BrokenFile {
    const char* what;
    QByteArray bytes;
    std::string cls;
    QString message;
};

std::vector<BrokenFile> BrokenFiles()
{
    const QByteArray good = EmfWriter(0, 0, 1000, 1000).Bytes();
    QByteArray shortened = good;
    shortened.chop(4);
    QByteArray recordPastEnd =
        EmfWriter(0, 0, 1000, 1000).Add(EmfRecord::Rectangle, {0, 0, 5, 5}).Bytes();
    recordPastEnd[108 + 4] = char(0x40); // the rectangle claims 64 bytes, running over the end
    QByteArray zeroRecord =
        EmfWriter(0, 0, 1000, 1000).Add(EmfRecord::Rectangle, {0, 0, 5, 5}).Bytes();
    zeroRecord[108 + 4] = 0; // a record of size 0 would never end
    QByteArray wrongKey = PlaceableWmf(0, 0, 100, 100, 1440);
    wrongKey[0] = 0;
    QByteArray plainWmf = PlaceableWmf(0, 0, 100, 100, 1440).mid(22);
    plainWmf.append(100, '\0');
    QByteArray signatureOnly100 = good.left(100); // exactly 100 bytes is not an EMF
    QByteArray lengthInsideHeader = good;
    lengthInsideHeader[48] = 80;
    lengthInsideHeader[49] = 0;

    return {
        {"shorter than its stated length", shortened, "EReadError", kRead},
        {"a stated length inside the header", lengthInsideHeader, "EInvalidGraphic", kInvalid},
        {"a record running past the end", recordPastEnd, "EInvalidGraphic", kInvalid},
        {"a record of size 0", zeroRecord, "EInvalidGraphic", kInvalid},
        {"no end-of-file record", EmfWriter(0, 0, 10, 10).Bytes(false), "EInvalidGraphic",
         kInvalid},
        {"100 bytes of EMF header", signatureOnly100, "EInvalidGraphic", kInvalid},
        {"wrong placeable key", wrongKey, "EInvalidGraphic", kInvalid},
        {"wrong checksum", PlaceableWmf(0, 0, 100, 100, 1440, true), "EInvalidGraphic", kInvalid},
        {"WMF without placeable header", plainWmf, "EInvalidGraphic", kInvalid},
        {"placeable header without records", PlaceableWmf(0, 0, 9, 9, 0).left(22),
         "EInvalidGraphic", kInvalid},
        {"shorter than a placeable header", QByteArray(21, 'x'), "EReadError", kRead},
        {"empty file", QByteArray(), "EReadError", kRead},
    };
}

void PrintTo(const BrokenFile& row, std::ostream* out)
{
    *out << row.what;
}

class MetafileBroken : public ::testing::TestWithParam<BrokenFile> {};

} // namespace

TEST_P(MetafileBroken, FailsWithItsMessage)
{
    const BrokenFile& row = GetParam();
    const auto [cls, message] = Failure(row.bytes);
    EXPECT_EQ(cls, row.cls);
    EXPECT_EQ(message, row.message);
}

INSTANTIATE_TEST_SUITE_P(MetafileLoad, MetafileBroken, ::testing::ValuesIn(BrokenFiles()),
                         [](const ::testing::TestParamInfo<BrokenFile>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST(MetafileLoad, FailedLoadKeepsThePictureItHad)
{
    QBuffer good;
    good.setData(EmfWriter(0, 0, 2000, 1000).Bytes());
    good.open(QIODevice::ReadOnly);
    TMetafile m;
    m.LoadFromStream(good);
    QBuffer bad;
    bad.setData(QByteArray(30, 'x'));
    bad.open(QIODevice::ReadOnly);
    EXPECT_THROW(m.LoadFromStream(bad), EInvalidGraphic);
    EXPECT_EQ(m.Width(), 20);
    EXPECT_FALSE(m.Empty());
}

TEST(MetafileLoad, EmfSizesComeFromFrameAndReferenceDevice)
{
    EmfWriter w(100, 200, 2100, 1200); // 20 × 10 mm
    w.devicePixelsX = 1000;
    w.devicePixelsY = 300;
    w.deviceMmX = 250; // 4 pixels a millimetre
    w.deviceMmY = 80;  // 3.75 pixels a millimetre: 37.5 rounds up
    const TMetafile m = Load(w.Bytes());
    EXPECT_TRUE(m.Enhanced());
    EXPECT_EQ(m.UnitsPerInch(), 0);
    EXPECT_EQ(m.FrameWidth(), 2000);
    EXPECT_EQ(m.FrameHeight(), 1000);
    EXPECT_EQ(m.Width(), 80);
    EXPECT_EQ(m.Height(), 38);
}

TEST(MetafileLoad, PlaceableWmfSizesComeFromBoxAndUnitsPerInch)
{
    struct Row {
        int left, top, right, bottom;
        unsigned inch;
        int frameWidth, frameHeight, width, height;
    } rows[] = {
        {0, 0, 1440, 720, 1440, 2540, 1270, 96, 48},
        {10, 20, 154, 20 + 15, 1440, 254, 26, 10, 1}, // 9.6 → 10, 0.98 → 1
        {0, 0, 96, 48, 0, 2540, 1270, 96, 48},        // 0 units per inch count as 96
        {-100, -50, 100, 50, 200, 2540, 1270, 96, 48},
    };
    for (const Row& r : rows) {
        const TMetafile m = Load(PlaceableWmf(r.left, r.top, r.right, r.bottom, r.inch));
        EXPECT_FALSE(m.Enhanced());
        EXPECT_EQ(m.UnitsPerInch(), int(r.inch));
        EXPECT_EQ(m.FrameWidth(), r.frameWidth) << r.right;
        EXPECT_EQ(m.FrameHeight(), r.frameHeight) << r.right;
        EXPECT_EQ(m.Width(), r.width) << r.right;
        EXPECT_EQ(m.Height(), r.height) << r.right;
    }
}

TEST(MetafileLoad, ContentDecidesNotTheExtension)
{
    Sandbox box;
    TPicture picture;
    picture.LoadFile(box.WriteFile(QStringLiteral("図.wmf"), EmfWriter(0, 0, 3000, 1000).Bytes()));
    auto* m = dynamic_cast<TMetafile*>(picture.Graphic());
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(m->Enhanced());
    EXPECT_EQ(picture.Width(), 30);
    EXPECT_EQ(picture.Height(), 10);

    picture.LoadFile(box.WriteFile(QStringLiteral("b.emf"), PlaceableWmf(0, 0, 96, 96, 96)));
    EXPECT_EQ(picture.Width(), 96);
    EXPECT_FALSE(dynamic_cast<TMetafile*>(picture.Graphic())->Enhanced());
}

TEST(MetafileLoad, RealFilesLoadOrFailAsSpecified)
{
    const QString corpus = orvelle::test::CorpusDir();
    if (corpus.isEmpty())
        GTEST_SKIP() << "no corpus folder";
    orvelle::test::EnsureGuiApplication();
    int files = 0;
    for (const char* folder : {"emf", "wmf"}) {
        const QDir dir(corpus + QLatin1Char('/') + QLatin1String(folder));
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            ++files;
            const std::string file = name.toStdString();
            // Real files are whole: only a WMF without the placeable header
            // (first bytes not D7 CD C6 9A) is refused.
            QFile raw(dir.filePath(name));
            ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
            const QByteArray start = raw.read(44);
            const bool refused = start.left(4) != QByteArray("\xD7\xCD\xC6\x9A", 4) &&
                                 start.mid(40, 4) != QByteArray(" EMF");
            TPicture picture;
            try {
                picture.LoadFile(dir.filePath(name));
            } catch (const orvelle::Exception& e) {
                EXPECT_TRUE(refused) << file << ": " << e.what();
                EXPECT_EQ(e.Message(), kInvalid) << file;
                continue;
            }
            EXPECT_FALSE(refused) << file;
            // Real pictures are a few pixels to a few thousand across.
            EXPECT_GT(picture.Width(), 0) << file;
            EXPECT_GT(picture.Height(), 0) << file;
            EXPECT_LT(picture.Width(), 20000) << file;
            EXPECT_LT(picture.Height(), 20000) << file;
            TBitmap target = WorkBitmap(64, 64);
            TCanvas canvas(target);
            canvas.DrawStretched({0, 0, 64, 64}, picture.Graphic());
        }
    }
    EXPECT_GT(files, 0);
}

TEST(MetafileDraw, RectangleLandsOnTheMappedPixels)
{
    // Frame 0 … 10 mm onto 0 … 20: twice the reference pixels in x, four
    // times in y. The rectangle (2, 1)–(6, 3) lands on x 4 … 11, y 4 … 11.
    EmfWriter w(0, 0, 1000, 1000);
    RedOnBlue(w).Add(EmfRecord::Rectangle, {2, 1, 6, 3});
    const TBitmap b = Render(w.Bytes(), 24, 44, {0, 0, 21, 41});
    EXPECT_EQ(Rgb(b, 4, 4), 0x0000FFU);   // pen at the top-left corner
    EXPECT_EQ(Rgb(b, 11, 11), 0x0000FFU); // and at the bottom-right
    EXPECT_EQ(Rgb(b, 7, 7), 0xFF0000U);   // brush inside
    EXPECT_EQ(Rgb(b, 3, 4), 0xFFFFFFU);   // nothing outside
    EXPECT_EQ(Rgb(b, 12, 12), 0xFFFFFFU);
    EXPECT_EQ(Rgb(b, 4, 12), 0xFFFFFFU);
    int inked = 0;
    for (const QString& row : Ink(b))
        inked += int(row.count(u'#'));
    EXPECT_EQ(inked, 8 * 8);
}

TEST(MetafileDraw, FrameCornersMapOntoRectangleLessOnePixel)
{
    // Pixels at the frame's corners, the frame starting at 5 mm: they land on
    // the rectangle's left and top and on its right − 1 and bottom − 1.
    EmfWriter w(500, 500, 1500, 2500);
    w.Add(EmfRecord::SetPixelV, {5, 5, 0}).Add(EmfRecord::SetPixelV, {15, 25, 0});
    const TBitmap b = Render(w.Bytes(), 40, 40, {3, 7, 34, 28});
    EXPECT_EQ(Rgb(b, 3, 7), 0U);
    EXPECT_EQ(Rgb(b, 33, 27), 0U);
    int inked = 0;
    for (const QString& row : Ink(b))
        inked += int(row.count(u'#'));
    EXPECT_EQ(inked, 2);
}

TEST(MetafileDraw, EllipseAndPolygonFill)
{
    EmfWriter w(0, 0, 4000, 2000);
    RedOnBlue(w)
        .Add(EmfRecord::Ellipse, {0, 0, 20, 20})
        .Points16(EmfRecord::Polygon16, {20, 0, 40, 0, 30, 20});
    const TBitmap b = Render(w.Bytes(), 40, 20, {0, 0, 41, 21});
    EXPECT_EQ(Rgb(b, 10, 10), 0xFF0000U); // ellipse centre
    EXPECT_EQ(Rgb(b, 0, 0), 0xFFFFFFU);   // its box corners stay white
    EXPECT_EQ(Rgb(b, 0, 19), 0xFFFFFFU);
    EXPECT_EQ(Rgb(b, 10, 0), 0x0000FFU);  // the outline at the top
    EXPECT_EQ(Rgb(b, 30, 5), 0xFF0000U);  // inside the triangle
    EXPECT_EQ(Rgb(b, 22, 15), 0xFFFFFFU); // beside it
}

TEST(MetafileDraw, MappingModesAndSavedStates)
{
    // Anisotropic: window 100 × 100 onto a viewport of 10 × 5 pixels at
    // (2, 2); a rectangle over the whole window fills x 2 … 11, y 2 … 6. The
    // saved state ends the mapping: the second rectangle is in plain pixels.
    EmfWriter w(0, 0, 2000, 2000);
    w.Add(EmfRecord::SelectObject, {0x80000004}); // stock black brush
    w.Add(EmfRecord::SaveDC, {})
        .Add(EmfRecord::SetMapMode, {8})
        .Add(EmfRecord::SetWindowExtEx, {100, 100})
        .Add(EmfRecord::SetViewportExtEx, {10, 5})
        .Add(EmfRecord::SetViewportOrgEx, {2, 2});
    w.Add(EmfRecord::Rectangle, {0, 0, 100, 100})
        .Add(EmfRecord::RestoreDC, {-1})
        .Add(EmfRecord::Rectangle, {15, 15, 17, 17});
    const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    QStringList expected;
    for (int y = 0; y < 20; ++y) {
        QString row(20, u'.');
        for (int x = 0; x < 20; ++x)
            if ((x >= 2 && x <= 11 && y >= 2 && y <= 6) ||
                (x >= 15 && x <= 16 && y >= 15 && y <= 16))
                row[x] = u'#';
        expected << row;
    }
    EXPECT_EQ(Ink(b), expected);
}

TEST(MetafileDraw, IsotropicKeepsUnitsSquareAndMetricModesFlipY)
{
    EmfWriter iso(0, 0, 2000, 2000);
    iso.Add(EmfRecord::SelectObject, {0x80000004})
        .Add(EmfRecord::SetMapMode, {7})
        .Add(EmfRecord::SetWindowExtEx, {10, 10})
        .Add(EmfRecord::SetViewportExtEx, {20, 8});
    iso.Add(EmfRecord::Rectangle, {0, 0, 10, 10}); // 8 × 8, not 20 × 8
    const QStringList a = Ink(Render(iso.Bytes(), 20, 20, {0, 0, 21, 21}));
    EXPECT_EQ(a[0], QStringLiteral("########............"));
    EXPECT_EQ(a[7], QStringLiteral("########............"));
    EXPECT_EQ(a[8], QString(20, u'.'));

    // Low metric: 0.1 mm a unit, y upward; the viewport origin at the
    // bottom-left puts the square (0, 0)–(50, 50) on 5 × 5 pixels there.
    EmfWriter metric(0, 0, 2000, 2000);
    metric.Add(EmfRecord::SelectObject, {0x80000004})
        .Add(EmfRecord::SetMapMode, {2})
        .Add(EmfRecord::SetViewportOrgEx, {0, 20})
        .Add(EmfRecord::Rectangle, {0, 0, 50, 50});
    const QStringList m = Ink(Render(metric.Bytes(), 20, 20, {0, 0, 21, 21}));
    EXPECT_EQ(m[15], QStringLiteral("#####..............."));
    EXPECT_EQ(m[19], QStringLiteral("#####..............."));
    EXPECT_EQ(m[14], QString(20, u'.'));
}

TEST(MetafileDraw, UnknownRecordsAndDeletedObjectsAreHarmless)
{
    EmfWriter w(0, 0, 1000, 1000);
    w.Add(EmfRecord(0x7777), {1, 2, 3})
        .Add(EmfRecord::DeleteObject, {1})
        .Add(EmfRecord::SelectObject, {5}); // unknown, empty slot
    w.Add(EmfRecord::SelectObject, {0x80000008})
        .Add(EmfRecord::SelectObject, {0x80000004})
        .Add(EmfRecord::Rectangle, {1, 1, 4, 4}); // null pen, black brush
    const QStringList ink = Ink(Render(w.Bytes(), 10, 10, {0, 0, 11, 11}));
    // Without a pen the filled area is one pixel smaller: x and y 1 … 2.
    EXPECT_EQ(ink[1], QStringLiteral(".##......."));
    EXPECT_EQ(ink[2], QStringLiteral(".##......."));
    EXPECT_EQ(ink[3], QString(10, u'.'));
}

TEST(MetafileDraw, LinesLeaveOutTheirLastPixelAndWidePensScale)
{
    EmfWriter w(0, 0, 1000, 1000);
    w.Add(EmfRecord::MoveToEx, {1, 1}).Add(EmfRecord::LineTo, {6, 1}); // one pixel wide, 1 … 5
    w.Add(EmfRecord::CreatePen, {1, 0, 2, 0, 0})
        .Add(EmfRecord::SelectObject, {1}); // 2 units wide: 4 pixels at scale 2
    w.Add(EmfRecord::MoveToEx, {1, 6}).Add(EmfRecord::LineTo, {8, 6});
    const QStringList ink = Ink(Render(w.Bytes(), 20, 20, {0, 0, 21, 21}));
    EXPECT_EQ(ink[2], QStringLiteral("..##########........"));
    EXPECT_EQ(ink[1], QString(20, u'.'));
    int thick = 0;
    for (int y = 4; y < 20; ++y)
        thick += ink[y][8] == u'#' ? 1 : 0;
    EXPECT_EQ(thick, 4) << ink.join(u'\n').toStdString();
}

TEST(MetafileDraw, PolyPolygonHoleFollowsTheFillMode)
{
    // Two squares running the same way: a hole when alternating, filled
    // when winding.
    for (const bool winding : {false, true}) {
        EmfWriter w(0, 0, 1000, 1000);
        w.Add(EmfRecord::SelectObject, {0x80000008})
            .Add(EmfRecord::SelectObject, {0x80000004})
            .Add(EmfRecord::SetPolyFillMode, {winding ? 2 : 1});
        QByteArray body(16, '\0');
        PutU32(body, 2);
        PutU32(body, 8);
        PutU32(body, 4);
        PutU32(body, 4);
        for (int v : {0, 0, 10, 0, 10, 10, 0, 10, 3, 3, 7, 3, 7, 7, 3, 7})
            PutU16(body, unsigned(v));
        w.Raw(EmfRecord::PolyPolygon16, body);
        const TBitmap b = Render(w.Bytes(), 12, 12, {0, 0, 11, 11});
        EXPECT_EQ(Rgb(b, 1, 1), 0U) << winding;
        EXPECT_EQ(Rgb(b, 5, 5), winding ? 0U : 0xFFFFFFU) << winding;
        EXPECT_EQ(Rgb(b, 11, 11), 0xFFFFFFU) << winding;
    }
}

TEST(MetafileDraw, PaintsThroughAPainterAndOnBottomUpBitmaps)
{
    EmfWriter w(0, 0, 1000, 1000);
    RedOnBlue(w).Add(EmfRecord::Rectangle, {2, 2, 8, 8});
    const QByteArray emf = w.Bytes();
    const TBitmap expected = Render(emf, 12, 12, {0, 0, 11, 11});

    // A window's painter, already moved and with a pen of its own: the
    // picture lands at the same pixels and the painter is left as it was.
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::white);
    TMetafile m = Load(emf);
    {
        QPainter painter(&image);
        painter.translate(2, 3);
        painter.setPen(Qt::green);
        TCanvas canvas(painter, 16, 16);
        canvas.DrawStretched({0, 0, 11, 11}, &m);
        EXPECT_EQ(painter.pen().color(), QColor(Qt::green));
        EXPECT_EQ(painter.transform(), QTransform::fromTranslate(2, 3));
    }
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(image.pixel(x + 2, y + 3) & 0xFFFFFFU, Rgb(expected, x, y)) << x << "," << y;

    // A loaded BMP keeps its rows bottom row first.
    Sandbox box;
    TPicture bmp;
    bmp.LoadFile(box.WriteFile(QStringLiteral("w.bmp"),
                               orvelle::test::Bmp24(12, 12, [](int, int) { return 0xFFFFFFU; })));
    auto* target = dynamic_cast<TBitmap*>(bmp.Graphic());
    ASSERT_NE(target, nullptr);
    {
        TCanvas canvas(*target);
        canvas.DrawStretched({0, 0, 11, 11}, &m);
    }
    EXPECT_EQ(Ink(*target), Ink(expected));
    EXPECT_EQ(Rgb(*target, 2, 2), 0x0000FFU);
}

TEST(MetafileDraw, DamagedBytesNeverCrash)
{
    // Every byte of a file with each drawing kind set to 0xFF and to 0x7F in
    // turn: each variant loads or fails with a metafile error, and draws.
    EmfWriter w(0, 0, 1000, 1000);
    RedOnBlue(w)
        .Add(EmfRecord::SetMapMode, {8})
        .Add(EmfRecord::SetWindowExtEx, {10, 10})
        .Add(EmfRecord::SetViewportExtEx, {20, 20})
        .Add(EmfRecord::SaveDC, {});
    w.Add(EmfRecord::ModifyWorldTransform, {0x3F800000, 0, 0, 0x3F800000, 0, 0, 2})
        .Add(EmfRecord::Rectangle, {0, 0, 5, 5})
        .Add(EmfRecord::Ellipse, {1, 1, 4, 4});
    w.Points16(EmfRecord::Polygon16, {0, 0, 9, 0, 5, 9})
        .Points16(EmfRecord::Polyline16, {0, 0, 9, 9})
        .Add(EmfRecord::RestoreDC, {-1});
    QByteArray body(16, '\0');
    for (unsigned v : {1U, 3U, 3U, 0U, 0U, 5U, 0U, 0U, 5U})
        PutU32(body, v);
    body.append(QByteArray(4, '\0'));
    w.Raw(EmfRecord::PolyPolygon16, body);
    EachByteDamaged(w.Bytes(), 0, {char(0xFF), char(0x7F)}, {kInvalid, kRead});
}

namespace {

struct SameDrawing {
    const char* name;
    std::function<void(EmfWriter&)> emf;
    std::function<void(WmfWriter&)> wmf;
};

std::vector<SameDrawing> SameDrawings()
{
    return {
        {"rectangle and ellipse",
         [](EmfWriter& w) {
             RedOnBlue(w)
                 .Add(EmfRecord::Rectangle, {1, 1, 9, 7})
                 .Add(EmfRecord::Ellipse, {10, 2, 19, 18});
         },
         [](WmfWriter& w) {
             RedOnBlue(w).Add(0x041B, {7, 9, 1, 1}).Add(0x0418, {18, 19, 2, 10});
         }},
        {"polygon, polyline and a wide line",
         [](EmfWriter& w) {
             RedOnBlue(w)
                 .Points16(EmfRecord::Polygon16, {2, 2, 18, 4, 9, 17})
                 .Points16(EmfRecord::Polyline16, {0, 19, 19, 19, 19, 0});
             w.Add(EmfRecord::CreatePen, {3, 0, 3, 0, kBlue})
                 .Add(EmfRecord::SelectObject, {3})
                 .Add(EmfRecord::MoveToEx, {1, 10})
                 .Add(EmfRecord::LineTo, {15, 12});
         },
         [](WmfWriter& w) {
             RedOnBlue(w)
                 .Add(0x0324, {3, 2, 2, 18, 4, 9, 17})
                 .Add(0x0325, {3, 0, 19, 19, 19, 19, 0});
             w.Add(0x02FA, {0, 3, 0, WmfWriter::Low(kBlue), WmfWriter::High(kBlue)})
                 .Add(0x012D, {2});
             w.Add(0x0214, {10, 1}).Add(0x0213, {12, 15});
         }},
        {"polypolygon with a hole, both fill modes",
         [](EmfWriter& w) {
             QByteArray body(16, '\0');
             for (unsigned v : {2U, 8U, 4U, 4U})
                 PutU32(body, v);
             for (int v : {1, 1, 9, 1, 9, 9, 1, 9, 3, 3, 7, 3, 7, 7, 3, 7})
                 PutU16(body, unsigned(v));
             RedOnBlue(w)
                 .Raw(EmfRecord::PolyPolygon16, body)
                 .Add(EmfRecord::SetPolyFillMode, {2})
                 .Add(EmfRecord::SetWindowOrgEx, {-10, -10})
                 .Raw(EmfRecord::PolyPolygon16, body);
         },
         [](WmfWriter& w) {
             const std::initializer_list<int> poly = {2, 4, 4, 1, 1, 9, 1, 9, 9, 1,
                                                      9, 3, 3, 7, 3, 7, 7, 3, 7};
             RedOnBlue(w).Add(0x0538, poly).Add(0x0106, {2}).Add(0x020B, {-10, -10});
             w.Add(0x0538, poly);
         }},
        {"saved state scopes the window",
         [](EmfWriter& w) {
             RedOnBlue(w)
                 .Add(EmfRecord::SaveDC, {})
                 .Add(EmfRecord::SetWindowOrgEx, {-5, -5})
                 .Add(EmfRecord::Rectangle, {0, 0, 4, 4})
                 .Add(EmfRecord::RestoreDC, {-1});
             w.Add(EmfRecord::Rectangle, {0, 0, 4, 4});
         },
         [](WmfWriter& w) {
             RedOnBlue(w).Add(0x001E, {}).Add(0x020B, {-5, -5}).Add(0x041B, {4, 4, 0, 0});
             w.Add(0x0127, {-1}).Add(0x041B, {4, 4, 0, 0});
         }},
        {"freed slot is reused, palettes and regions take slots",
         [](EmfWriter& w) {
             w.Add(EmfRecord::CreatePen, {2, 0, 0, 0, kBlue}).Add(EmfRecord::SelectObject, {2});
             w.Add(EmfRecord::CreateBrushIndirect, {1, 0, 0x00FF00, 0})
                 .Add(EmfRecord::SelectObject, {1})
                 .Add(EmfRecord::Rectangle, {0, 0, 10, 10});
             w.Add(EmfRecord::CreateBrushIndirect, {4, 2, kRed, 4})
                 .Add(EmfRecord::SelectObject, {4})
                 .Add(EmfRecord::Rectangle, {10, 10, 20, 20});
         },
         [](WmfWriter& w) {
             w.Add(0x02FC, {0, WmfWriter::Low(kRed), 0, 0});
             w.Add(0x02FA, {0, 0, 0, WmfWriter::Low(kBlue), WmfWriter::High(kBlue)})
                 .Add(0x012D, {1});
             w.Add(0x01F0, {0}).Add(0x02FC, {0, 0xFF00, 0, 0}).Add(0x012D, {0});
             w.Add(0x041B, {10, 10, 0, 0});
             w.Add(0x00F7, {0x300, 0}).Add(0x06FF, {0, 0}); // slots 2 and 3
             w.Add(0x0626, {1, 2, 3});                      // an escape
             w.Add(0x02FC, {2, WmfWriter::Low(kRed), WmfWriter::High(kRed), 4}).Add(0x012D, {4});
             w.Add(0x041B, {20, 20, 10, 10});
         }},
        {"arcs, chords, pies and rounded rectangles",
         [](EmfWriter& w) {
             RedOnBlue(w)
                 .Add(EmfRecord::Arc, {0, 0, 10, 10, 10, 5, 5, 0})
                 .Add(EmfRecord::Chord, {10, 0, 20, 10, 20, 5, 10, 5});
             w.Add(EmfRecord::Pie, {0, 10, 10, 20, 10, 15, 5, 10})
                 .Add(EmfRecord::RoundRect, {10, 10, 20, 20, 6, 4});
         },
         [](WmfWriter& w) {
             RedOnBlue(w).Add(0x0817, {0, 5, 5, 10, 10, 10, 0, 0});
             w.Add(0x0830, {5, 10, 5, 20, 10, 20, 0, 10});
             w.Add(0x081A, {10, 5, 15, 10, 20, 10, 10, 0}).Add(0x061C, {4, 6, 20, 20, 10, 10});
         }},
    };
}

void PrintTo(const SameDrawing& row, std::ostream* out)
{
    *out << row.name;
}

class WmfAsEmf : public ::testing::TestWithParam<SameDrawing> {};

} // namespace

TEST_P(WmfAsEmf, SameDrawingAsEnhancedFileGivesSamePixels)
{
    // Logical units 0 … 20 on both sides; the WMF box is 20 units of an inch
    // of 1440, the EMF frame 20 reference pixels. Both land on 40 × 40 pixels.
    const SameDrawing& row = GetParam();
    EmfWriter emf(0, 0, 2000, 2000);
    row.emf(emf);
    WmfWriter wmf;
    row.wmf(wmf);
    const TBitmap a = Render(emf.Bytes(), 44, 44, {0, 0, 41, 41});
    const TBitmap b = Render(wmf.Bytes(20, 20, 1440), 44, 44, {0, 0, 41, 41});
    EXPECT_GT(Inked(a), 20);
    if (Pixels(a) != Pixels(b))
        ADD_FAILURE() << Ink(a).join(u'\n').toStdString() << "\n\n"
                      << Ink(b).join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(WmfDraw, WmfAsEmf, ::testing::ValuesIn(SameDrawings()),
                         [](const ::testing::TestParamInfo<SameDrawing>& info) {
                             return RowName(info.index, info.param.name);
                         });

TEST(WmfDraw, WindowOfTheFileFillsTheFrame)
{
    // The records' own window (100 × 50 units at 100, 100), not the box,
    // decides what fills the picture.
    WmfWriter w;
    w.Add(0x012D, {0}); // nothing in slot 0: no change
    w.Add(0x020B, {100, 100}).Add(0x020C, {50, 100}).Add(0x0103, {8});
    w.Add(0x02FC, {0, 0, 0, 0}).Add(0x012D, {0}).Add(0x041B, {150, 200, 100, 100});
    const TBitmap b = Render(w.Bytes(10, 10, 96), 24, 24, {0, 0, 21, 21});
    EXPECT_EQ(Inked(b), 20 * 20);
}

TEST(WmfDraw, DamagedRecordsNeverReadOutside)
{
    WmfWriter w;
    RedOnBlue(w).Add(0x0538, {2, 4, 4, 1, 1, 9, 1, 9, 9, 1, 9, 3, 3, 7, 3, 7, 7, 3, 7});
    w.Add(0x0324, {3, 2, 2, 18, 4, 9, 17}).Add(0x0817, {0, 5, 5, 10, 10, 10, 0, 0});
    w.Add(0x01F0, {1}).Add(0x012D, {7}).Add(0x061C, {4, 6, 20, 20, 10, 10});
    EachByteDamaged(w.Bytes(20, 20, 1440), 22, {char(0xFF), char(0x7F), char(0)}, {kInvalid});
}

TEST(MetafileShapes, ArcsRunCounterClockwiseFromStartToEnd)
{
    // Box 0 … 20 on 20 × 20 pixels; the start ray points right, the end ray up.
    struct Row {
        const char* name;
        EmfRecord type;
        std::vector<std::pair<int, int>> inked, clear;
    };
    const std::vector<Row> rows = {
        {"pie fills the upper right quarter",
         EmfRecord::Pie,
         {{14, 5}, {11, 9}},
         {{5, 5}, {14, 15}, {5, 15}}},
        {"chord cuts off the corner", EmfRecord::Chord, {{16, 4}}, {{12, 8}, {5, 5}, {14, 15}}},
        {"arc is only the outline", EmfRecord::Arc, {{10, 0}}, {{14, 5}, {0, 10}, {10, 19}}},
    };
    for (const Row& row : rows) {
        EmfWriter w(0, 0, 2000, 2000);
        RedOnBlue(w).Add(row.type, {0, 0, 20, 20, 20, 10, 10, 0});
        const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
        for (const auto& [x, y] : row.inked)
            EXPECT_NE(Rgb(b, x, y), 0xFFFFFFU) << row.name << " at " << x << "," << y;
        for (const auto& [x, y] : row.clear)
            EXPECT_EQ(Rgb(b, x, y), 0xFFFFFFU) << row.name << " at " << x << "," << y;
    }

    // Start and end on the same ray: the whole ellipse.
    EmfWriter whole(0, 0, 2000, 2000);
    RedOnBlue(whole).Add(EmfRecord::Chord, {0, 0, 20, 20, 20, 10, 20, 10});
    EmfWriter ellipse(0, 0, 2000, 2000);
    RedOnBlue(ellipse).Add(EmfRecord::Ellipse, {0, 0, 20, 20});
    EXPECT_EQ(Inked(Render(whole.Bytes(), 20, 20, {0, 0, 21, 21})),
              Inked(Render(ellipse.Bytes(), 20, 20, {0, 0, 21, 21})));
}

TEST(MetafileShapes, RoundRectKeepsCornersAndAngleArcMovesThePosition)
{
    EmfWriter round(0, 0, 2000, 2000);
    RedOnBlue(round).Add(EmfRecord::RoundRect, {0, 0, 20, 20, 10, 10});
    const TBitmap r = Render(round.Bytes(), 20, 20, {0, 0, 21, 21});
    EXPECT_EQ(Rgb(r, 0, 0), 0xFFFFFFU);
    EXPECT_EQ(Rgb(r, 19, 19), 0xFFFFFFU);
    EXPECT_EQ(Rgb(r, 10, 0), 0x0000FFU);  // the pen on the top edge
    EXPECT_EQ(Rgb(r, 10, 10), 0xFF0000U); // the brush inside
    // A half circle over the top from the right, joined to the current
    // position by a line; the next line starts where the arc ended.
    EmfWriter angle(0, 0, 2000, 2000);
    angle.Add(EmfRecord::MoveToEx, {0, 10})
        .Add(EmfRecord::AngleArc, {10, 10, 5, 0, 0x43340000})
        .Add(EmfRecord::LineTo, {5, 19}); // 180°
    const TBitmap a = Render(angle.Bytes(), 20, 20, {0, 0, 21, 21});
    EXPECT_NE(Rgb(a, 2, 10), 0xFFFFFFU);  // the joining line
    EXPECT_NE(Rgb(a, 10, 5), 0xFFFFFFU);  // the top of the arc
    EXPECT_EQ(Rgb(a, 10, 15), 0xFFFFFFU); // not the bottom
    EXPECT_NE(Rgb(a, 5, 16), 0xFFFFFFU);  // the line from the arc's end
    EXPECT_EQ(Rgb(a, 15, 16), 0xFFFFFFU);
}

namespace {

} // namespace

TEST(MetafileBitmaps, StretchedDibScalesByNearestPixelAndMirrors)
{
    for (int height : {2, -2}) {
        const Dib dib = MakeDib(2, 2, kQuad);
        const Dib stored = MakeDib(2, height, kQuad);
        EmfWriter w(0, 0, 2000, 2000);
        w.Raw(EmfRecord::StretchDIBits,
              DibRecordBody(stored, {2, 2, 0, 0, 2, 2}, {kSrcCopy, 8, 6}));
        // Mirrored: the destination runs leftwards from x 20.
        w.Raw(EmfRecord::StretchDIBits,
              DibRecordBody(dib, {20, 12, 0, 0, 2, 2}, {kSrcCopy, std::uint32_t(-6), 4}));
        const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
        EXPECT_EQ(Rgb(b, 2, 2), 0xFF0000U) << height;
        EXPECT_EQ(Rgb(b, 5, 4), 0xFF0000U) << height;
        EXPECT_EQ(Rgb(b, 6, 4), 0x00FF00U) << height;
        EXPECT_EQ(Rgb(b, 9, 7), 0xFFFF00U) << height;
        EXPECT_EQ(Rgb(b, 2, 7), 0x0000FFU) << height;
        EXPECT_EQ(Rgb(b, 10, 5), 0xFFFFFFU) << height;
        EXPECT_EQ(Rgb(b, 14, 12), 0x00FF00U) << height; // mirrored: green on the left
        EXPECT_EQ(Rgb(b, 19, 15), 0x0000FFU) << height;
        EXPECT_EQ(Inked(b), 8 * 6 + 6 * 4) << height;
    }
}

TEST(MetafileBitmaps, SourceRectanglesAndPalettedBits)
{
    // A bottom-up source's rectangle counts from its bottom-left corner:
    // (1, 0) is the yellow pixel. The paletted row is drawn at its own size.
    EmfWriter w(0, 0, 2000, 2000);
    w.Raw(EmfRecord::StretchDIBits,
          DibRecordBody(MakeDib(2, 2, kQuad), {0, 0, 1, 0, 1, 1}, {kSrcCopy, 3, 3}));
    const Dib row = MakeDib(3, -1, {2, 0, 1}, {0x000000, 0x00FF00, 0x0000FF});
    w.Raw(EmfRecord::SetDIBitsToDevice, DibRecordBody(row, {5, 10, 0, 0, 3, 1}, {0, 1}));
    const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    EXPECT_EQ(Rgb(b, 1, 1), 0xFFFF00U);
    EXPECT_EQ(Rgb(b, 5, 10), 0x0000FFU);
    EXPECT_EQ(Rgb(b, 6, 10), 0x000000U);
    EXPECT_EQ(Rgb(b, 7, 10), 0x00FF00U);
    EXPECT_EQ(Inked(b), 9 + 3);
}

TEST(MetafileBitmaps, BlockTransfersWithAndWithoutSource)
{
    const Dib dib = MakeDib(2, 2, kQuad);
    EmfWriter w(0, 0, 2000, 2000);
    RedOnBlue(w);
    w.Raw(EmfRecord::BitBlt, BlitBody({0, 0, 10, 10}, 0x00000042, nullptr)); // black
    w.Raw(EmfRecord::BitBlt, BlitBody({2, 2, 3, 3}, 0x00FF0062, nullptr));   // white inside it
    w.Raw(EmfRecord::BitBlt, BlitBody({12, 0, 4, 4}, 0x00F00021, nullptr));  // the red brush
    w.Raw(EmfRecord::StretchBlt,
          BlitBody({12, 12, 8, 8}, kSrcCopy, &dib, {2, 2}));           // stretched 4 times
    w.Raw(EmfRecord::BitBlt, BlitBody({0, 12, 2, 2}, kSrcCopy, &dib)); // the source at its size
    w.Raw(EmfRecord::BitBlt,
          BlitBody({5, 12, 4, 4}, 0x00660046, nullptr)); // not drawn: XOR with no source
    const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    EXPECT_EQ(Rgb(b, 0, 0), 0U);
    EXPECT_EQ(Rgb(b, 9, 9), 0U);
    EXPECT_EQ(Rgb(b, 3, 3), 0xFFFFFFU);
    EXPECT_EQ(Rgb(b, 15, 3), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 12, 12), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 19, 19), 0xFFFF00U);
    EXPECT_EQ(Rgb(b, 16, 15), 0x00FF00U);
    EXPECT_EQ(Rgb(b, 1, 13), 0xFFFF00U);
    EXPECT_EQ(Inked(b), 100 - 9 + 16 + 64 + 4);
}

namespace {

struct BitmapField {
    const char* name;
    qsizetype field; // byte offset of a field in the record
    std::uint32_t value;
};

const BitmapField kBitmapFields[] = {
    {"info past the record", 48, 0x7FFFFFF0},
    {"info longer than the record", 52, 0xFFFFFFF0},
    {"bits past the record", 56, 0x10000},
    {"bits longer than the record", 60, 0x7FFFFFFF},
    {"palette indices", 64, 1},
    {"huge destination", 72, 0x7FFFFFFF},
};

void PrintTo(const BitmapField& row, std::ostream* out)
{
    *out << row.name << ": " << row.value << " at " << row.field;
}

class MetafileBitmapField : public ::testing::TestWithParam<BitmapField> {};

} // namespace

TEST_P(MetafileBitmapField, OutsideTheRecordDrawsNothing)
{
    const BitmapField& row = GetParam();
    const Dib dib = MakeDib(2, 2, kQuad);
    QByteArray body = DibRecordBody(dib, {0, 0, 0, 0, 2, 2}, {kSrcCopy, 8, 8});
    const qsizetype at = row.field - 8;
    for (int i = 0; i < 4; ++i)
        body[at + i] = char((row.value >> (8 * i)) & 0xFF);
    EmfWriter w(0, 0, 2000, 2000);
    w.Raw(EmfRecord::StretchDIBits, body);
    const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    if (row.field == 72)
        EXPECT_EQ(Inked(b), 20 * 8); // the visible part of the red pixel
    else
        EXPECT_EQ(Inked(b), 0);
}

INSTANTIATE_TEST_SUITE_P(MetafileBitmaps, MetafileBitmapField, ::testing::ValuesIn(kBitmapFields),
                         [](const ::testing::TestParamInfo<BitmapField>& info) {
                             return RowName(info.index, info.param.name);
                         });

TEST(MetafileBitmaps, DamagedShapeAndBitmapRecordsNeverCrash)
{
    const Dib dib = MakeDib(2, 2, kQuad);
    EmfWriter w(0, 0, 1000, 1000);
    RedOnBlue(w)
        .Add(EmfRecord::Arc, {0, 0, 9, 9, 9, 5, 5, 0})
        .Add(EmfRecord::Pie, {0, 0, 9, 9, 9, 5, 5, 0});
    w.Add(EmfRecord::RoundRect, {1, 1, 8, 8, 3, 3})
        .Add(EmfRecord::MoveToEx, {0, 5})
        .Add(EmfRecord::AngleArc, {5, 5, 3, 0, 0x43340000});
    w.Raw(EmfRecord::StretchDIBits, DibRecordBody(dib, {0, 0, 0, 0, 2, 2}, {kSrcCopy, 8, 8}));
    w.Raw(EmfRecord::StretchBlt, BlitBody({2, 2, 4, 4}, kSrcCopy, &dib, {2, 2}));
    EachByteDamaged(w.Bytes(), 108, {char(0xFF), char(0x7F), char(0x80)}, {kInvalid});
}
