#include <gtest/gtest.h>

#include <QFile>

#include "Bitmap.h"
#include "Canvas.h"
#include "DuplicateTest.h"
#include "Errors.h"
#include "ExpectError.h"
#include "FuzzyCompare.h"
#include "ByteWriter.h"
#include "MetafileWriters.h"
#include "Picture.h"
#include "TestSupport.h"
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#ifndef _WIN32
#include <unistd.h>
#endif

using orvelle::FuzzyOptions;
using orvelle::ImagesSimilar;
using orvelle::test::Bmp24;
using orvelle::test::ExpectError;
using orvelle::test::Sandbox;

namespace {

// A colour whose three channels add up to sum.
unsigned OfSum(int sum)
{
    const int b = sum / 3, g = (sum - b) / 2, r = sum - b - g;
    return unsigned(r << 16 | g << 8 | b);
}

FuzzyOptions Options(int noise, int colour, bool ignoreSize = true)
{
    return {ignoreSize, noise, colour};
}

} // namespace

TEST(ImagesSimilar, DirectionMattersTheFirstIsDividedByTheSecond)
{
    Sandbox box;
    const QString first =
        box.WriteFile("first.bmp", Bmp24(2, 1, [](int, int) { return OfSum(100); }));
    const QString second =
        box.WriteFile("second.bmp", Bmp24(2, 1, [](int x, int) { return OfSum(x ? 140 : 100); }));
    EXPECT_TRUE(ImagesSimilar(first, second, Options(0, 30)));  // 71 is within 30 of 100
    EXPECT_FALSE(ImagesSimilar(second, first, Options(0, 30))); // 140 is 40 away
    EXPECT_TRUE(ImagesSimilar(second, first, Options(50, 30))); // one of two pixels: 50 %
    EXPECT_FALSE(ImagesSimilar(second, first, Options(49, 30)));
}

TEST(ImagesSimilar, CopiesAndTolerances)
{
    Sandbox box;
    const auto noisy = [](int x, int y) { return unsigned((x * 7919 + y * 104729) & 0xFFFFFF); };
    const QString a = box.WriteFile("a.bmp", Bmp24(9, 7, noisy));
    const QString copy = box.WriteFile("copy.bmp", Bmp24(9, 7, noisy));
    const QString other = box.WriteFile(
        "other.bmp", Bmp24(9, 7, [&](int x, int y) { return noisy(y, x) ^ 0x5A5A5A; }));
    EXPECT_TRUE(ImagesSimilar(a, copy, Options(0, 0)));
    EXPECT_FALSE(ImagesSimilar(a, other, Options(0, 0)));
    EXPECT_TRUE(ImagesSimilar(a, other, Options(100, 0))); // the share never exceeds 100
    EXPECT_FALSE(ImagesSimilar(a, other, Options(-1, 0)));
    EXPECT_TRUE(ImagesSimilar(a, other, Options(0, 2000000000)));

    // A uniformly brighter copy keeps every ratio near the base ratio.
    const auto dim = [](int x, int y) { return OfSum(200 + 10 * ((x + y) % 5)); };
    const auto bright = [](int x, int y) { return OfSum(400 + 20 * ((x + y) % 5)); };
    const QString d = box.WriteFile("dim.bmp", Bmp24(6, 6, dim));
    const QString b = box.WriteFile("bright.bmp", Bmp24(6, 6, bright));
    EXPECT_TRUE(ImagesSimilar(d, b, Options(0, 1)));

    // 1 × 1: the only pixel is the base pixel.
    const QString black = box.WriteFile("black.bmp", Bmp24(1, 1, [](int, int) { return 0u; }));
    const QString white =
        box.WriteFile("white.bmp", Bmp24(1, 1, [](int, int) { return 0xFFFFFFu; }));
    EXPECT_TRUE(ImagesSimilar(black, white, Options(0, 0)));
}

TEST(ImagesSimilar, SizesAndTheCommonSize)
{
    using orvelle::CommonSize;
    using S = orvelle::PictureSize;
    EXPECT_EQ(CommonSize({100, 50}, {200, 10}), (S{100, 50})); // the narrower
    EXPECT_EQ(CommonSize({200, 10}, {100, 50}), (S{100, 50}));
    EXPECT_EQ(CommonSize({80, 60}, {80, 40}), (S{80, 40})); // equal widths: the lower
    EXPECT_EQ(CommonSize({80, 40}, {80, 60}), (S{80, 40}));
    EXPECT_EQ(CommonSize({64, 64}, {64, 64}), (S{64, 64}));

    Sandbox box;
    const auto stripes = [](int x, int) { return x % 2 ? 0xFFFFFFu : 0u; };
    const QString narrow = box.WriteFile("n.bmp", Bmp24(100, 50, stripes));
    const QString taller = box.WriteFile("t.bmp", Bmp24(100, 60, stripes));
    EXPECT_FALSE(ImagesSimilar(narrow, taller, Options(100, 100, false)));
    EXPECT_TRUE(ImagesSimilar(narrow, taller, Options(0, 0, true)));

    // An empty picture gives an empty common size when it is the one chosen.
    const QString empty = box.WriteFile("empty.bmp");
    EXPECT_FALSE(ImagesSimilar(empty, narrow, Options(100, 100)));
    EXPECT_FALSE(ImagesSimilar(narrow, empty, Options(100, 100)));

    // Both files are loaded before the sizes decide: a bad second file is an error.
    const QString bad = box.WriteFile("bad.bmp", "definitely not a bitmap");
    EXPECT_THROW(ImagesSimilar(narrow, bad, Options(0, 0, false)), EInvalidGraphic);
    // The first file's error comes first.
    ExpectError<EInvalidGraphic>([&] { ImagesSimilar(bad, box("missing.bmp"), Options(0, 0)); },
                                 QStringLiteral("ビットマップイメージが不正です"));
}

TEST(DuplicateTest, TwoNamesOfOneFileAreNeverComparedInFuzzyMode)
{
    Sandbox box;
    const QString a =
        box.WriteFile("a.bmp", Bmp24(3, 3, [](int x, int y) { return unsigned(x * y); }));
    const QString link = box("link.bmp");
    ASSERT_TRUE(QFile::link(a, link));
    const orvelle::DuplicateTest fuzzy(false, Options(25, 25));
    EXPECT_FALSE(fuzzy.IsDuplicate(a, link));
    EXPECT_FALSE(fuzzy.IsDuplicate(a, a));
    const QString copy = box.WriteFile("copy.bmp", box.ReadFile("a.bmp"));
    EXPECT_TRUE(fuzzy.IsDuplicate(a, copy));

    const orvelle::DuplicateTest exact(true, Options(25, 25));
    EXPECT_THROW(exact.IsDuplicate(a, link), EFOpenError);
    EXPECT_TRUE(exact.IsDuplicate(a, copy));
}

TEST(ImagesSimilar, JpegAgainstItsOwnPixelsAsBitmap)
{
    const QString cjpeg = QStandardPaths::findExecutable(QStringLiteral("cjpeg"));
    if (cjpeg.isEmpty())
        GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    Sandbox box;
    // A picture as PPM, made into a JPEG by the library's own encoder.
    QByteArray ppm("P6\n24 16\n255\n");
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 24; ++x)
            ppm.append(char(x * 10)).append(char(y * 15)).append(char((x * y) & 0xFF));
    }
    const QString source = box.WriteFile("p.ppm", ppm);
    const QString jpeg = box("p.jpg");
    QProcess encode;
    encode.start(cjpeg, {"-quality", "80", "-outfile", jpeg, source});
    ASSERT_TRUE(encode.waitForFinished(30000));
    ASSERT_EQ(encode.exitCode(), 0);

    // The decoded pixels, stored as a bitmap: the same picture to the last pixel.
    TPicture picture;
    picture.LoadFile(jpeg);
    TBitmap work;
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetWidth(24);
    work.SetHeight(16);
    TCanvas(work).DrawStretched({0, 0, 24, 16}, picture.Graphic());
    const QString bmp = box.WriteFile("p.bmp", Bmp24(24, 16, [&](int x, int y) {
                                          const std::uint8_t* p = work.PixelRow(y) + 3 * x;
                                          return unsigned(p[2] << 16 | p[1] << 8 | p[0]);
                                      }));
    EXPECT_TRUE(ImagesSimilar(jpeg, bmp, Options(0, 0)));
    EXPECT_TRUE(ImagesSimilar(bmp, jpeg, Options(0, 0)));
    const QString copy = box.WriteFile("copy.jpg", box.ReadFile("p.jpg"));
    EXPECT_TRUE(ImagesSimilar(jpeg, copy, Options(0, 0)));
}

namespace {

// A one-entry icon file: a 32-bit image of one opaque colour with an empty mask.
QByteArray SolidIcon(int size, unsigned rgb)
{
    const int maskStride = ((size + 31) / 32) * 4;
    const int imageBytes = 40 + size * size * 4 + maskStride * size;
    QByteArray ico(6 + 16 + imageBytes, '\0');
    auto put16 = [&](int at, unsigned v) { orvelle::test::SetU16(ico, at, v); };
    auto put32 = [&](int at, unsigned v) { orvelle::test::SetU32(ico, at, v); };
    put16(2, 1);
    put16(4, 1);
    ico[6] = char(size);
    ico[7] = char(size);
    put16(10, 1);
    put16(12, 32);
    put32(14, unsigned(imageBytes));
    put32(18, 22);
    put32(22, 40);
    put32(26, unsigned(size));
    put32(30, unsigned(size * 2));
    put16(34, 1);
    put16(36, 32);
    for (int p = 0; p < size * size; ++p)
        put32(62 + 4 * p, 0xFF000000u | rgb);
    return ico;
}

} // namespace

TEST(ImagesSimilar, IconsAreMeasuredAtTheStandardSizeBeforeTheyAreDrawn)
{
    Sandbox box;
    // Both report 32 × 32 before drawing, so that is the common size; the
    // small one then covers a quarter of it and leaves the rest white.
    const QString small = box.WriteFile("small.ico", SolidIcon(16, 0xFF0000));
    const QString large = box.WriteFile("large.ico", SolidIcon(48, 0xFF0000));
    EXPECT_TRUE(ImagesSimilar(small, large, Options(75, 0)));
    EXPECT_FALSE(ImagesSimilar(small, large, Options(74, 0)));
    EXPECT_TRUE(
        ImagesSimilar(large, box.WriteFile("copy.ico", SolidIcon(48, 0xFF0000)), Options(0, 0)));
}

TEST(ImagesSimilar, MetafilesAreComparedAsTheyDraw)
{
    Sandbox box;
    // The same drawing as an enhanced file and as a placeable one, both 20 ×
    // 20 pixels; and the enhanced one with its ellipse moved.
    const auto emf = [](int ellipseLeft) {
        orvelle::test::EmfWriter w(0, 0, 2000, 2000);
        RedOnBlue(w)
            .Add(orvelle::EmfRecord::Rectangle, {1, 1, 9, 7})
            .Add(orvelle::EmfRecord::Ellipse, {ellipseLeft, 2, ellipseLeft + 9, 18});
        return w.Bytes();
    };
    orvelle::test::WmfWriter wmf;
    RedOnBlue(wmf).Add(0x041B, {7, 9, 1, 1}).Add(0x0418, {18, 19, 2, 10});
    const QString enhanced = box.WriteFile("a.emf", emf(10));
    const QString placeable = box.WriteFile("a.wmf", wmf.Bytes(20, 20, 96));
    const QString moved = box.WriteFile("b.emf", emf(6));
    EXPECT_TRUE(ImagesSimilar(enhanced, placeable, Options(0, 0)));
    EXPECT_FALSE(ImagesSimilar(enhanced, moved, Options(0, 0)));
    EXPECT_TRUE(ImagesSimilar(enhanced, moved, Options(40, 0)));
}
