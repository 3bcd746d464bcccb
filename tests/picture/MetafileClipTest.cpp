#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QStringList>

#include "MetafileWriters.h"
#include "RowName.h"

using namespace orvelle::test;

namespace {

constexpr std::int64_t kBlackBrush = 0x80000004, kNullPen = 0x80000008, kBlackPen = 0x80000007;

// Black fills without an outline: the usual set-up of these tests.
EmfWriter& BlackFill(EmfWriter& w)
{
    return w.Add(EmfRecord::SelectObject, {kBlackBrush}).Add(EmfRecord::SelectObject, {kNullPen});
}

// A rectangle far larger than any target here.
EmfWriter& FillEverything(EmfWriter& w)
{
    return w.Add(EmfRecord::Rectangle, {-50, -50, 100, 100});
}

// Region data: its header, then rectangles (left, top, right, bottom).
QByteArray Region(std::initializer_list<std::initializer_list<int>> rects)
{
    QByteArray data;
    for (std::uint32_t v : {32U, 1U, std::uint32_t(rects.size()), std::uint32_t(rects.size() * 16)})
        PutU32(data, v);
    for (int i = 0; i < 4; ++i)
        PutU32(data, 0); // bounds
    for (const auto& rect : rects)
        for (int v : rect)
            PutU32(data, std::uint32_t(v));
    return data;
}

QByteArray SelectRegion(std::uint32_t mode, const QByteArray& region)
{
    QByteArray body;
    PutU32(body, std::uint32_t(region.size()));
    PutU32(body, mode);
    return body + region;
}

// A 10 × 10 picture drawn onto a 10 × 10 target one to one.
TBitmap Draw(const EmfWriter& w)
{
    return Render(w.Bytes(), 10, 10, {0, 0, 11, 11});
}

// Outer square 0 … 8 and an inner one 2 … 6, both clockwise: the inner one
// is a hole under the alternate fill mode only.
QByteArray Squares()
{
    QByteArray body(16, '\0');
    for (unsigned v : {2U, 8U, 4U, 4U})
        PutU32(body, v);
    for (int v : {0, 0, 8, 0, 8, 8, 0, 8, 2, 2, 6, 2, 6, 6, 2, 6})
        PutU16(body, unsigned(v) & 0xFFFF);
    return body;
}

} // namespace

TEST(MetafileClip, ClipRectanglesIntersectExcludeAndSaveDcScopesThem)
{
    EmfWriter w(0, 0, 1000, 1000);
    BlackFill(w).Add(EmfRecord::IntersectClipRect, {2, 2, 8, 8}).Add(EmfRecord::SaveDC, {});
    w.Add(EmfRecord::ExcludeClipRect, {4, 4, 6, 6});
    FillEverything(w).Add(EmfRecord::RestoreDC, {-1});
    // Back outside the saved state the hole is gone, the outer clip stays.
    w.Add(EmfRecord::CreateBrushIndirect, {1, 0, kRed, 0})
        .Add(EmfRecord::SelectObject, {1})
        .Add(EmfRecord::Rectangle, {4, 4, 20, 20});
    const TBitmap b = Draw(w);
    const QStringList ink = Ink(b);
    EXPECT_EQ(ink[1], QStringLiteral(".........."));
    EXPECT_EQ(ink[2], QStringLiteral("..######.."));
    EXPECT_EQ(ink[7], QStringLiteral("..######.."));
    EXPECT_EQ(ink[8], QStringLiteral(".........."));
    EXPECT_EQ(Rgb(b, 3, 4), 0x000000U);
    EXPECT_EQ(Rgb(b, 4, 4), 0xFF0000U) << "red fills the excluded hole after RestoreDC";
    EXPECT_EQ(Rgb(b, 7, 7), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 8, 8), 0xFFFFFFU);
}

TEST(MetafileClip, RegionsAreInDeviceUnitsAndScaleWithTheTarget)
{
    EmfWriter w(0, 0, 1000, 1000);
    BlackFill(w).Raw(EmfRecord::ExtSelectClipRgn,
                     SelectRegion(5, Region({{1, 1, 3, 3}, {6, 6, 7, 9}})));
    FillEverything(w);
    // Drawn at twice the size: a device pixel is two target pixels.
    const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    EXPECT_EQ(Inked(b), 4 * 4 + 2 * 6);
    EXPECT_EQ(Rgb(b, 2, 2), 0U);
    EXPECT_EQ(Rgb(b, 5, 5), 0U);
    EXPECT_EQ(Rgb(b, 6, 6), 0xFFFFFFU);
    EXPECT_EQ(Rgb(b, 12, 17), 0U);

    // A copy of no region ends the clipping; and, or and difference combine.
    EmfWriter all(0, 0, 1000, 1000);
    BlackFill(all).Raw(EmfRecord::ExtSelectClipRgn, SelectRegion(5, Region({{1, 1, 3, 3}})));
    all.Raw(EmfRecord::ExtSelectClipRgn, SelectRegion(5, {}));
    EXPECT_EQ(Inked(Draw(FillEverything(all))), 100);

    EmfWriter combined(0, 0, 1000, 1000);
    BlackFill(combined).Raw(EmfRecord::ExtSelectClipRgn, SelectRegion(5, Region({{0, 0, 4, 4}})));
    combined.Raw(EmfRecord::ExtSelectClipRgn, SelectRegion(2, Region({{6, 6, 8, 8}}))); // or
    combined.Raw(EmfRecord::ExtSelectClipRgn,
                 SelectRegion(4, Region({{0, 0, 2, 2}}))); // difference
    combined.Add(EmfRecord::OffsetClipRgn, {1, 0});
    const TBitmap c = Draw(FillEverything(combined));
    EXPECT_EQ(Inked(c), 16 - 4 + 4);
    EXPECT_EQ(Rgb(c, 0, 3), 0xFFFFFFU) << "moved right by one";
    EXPECT_EQ(Rgb(c, 1, 3), 0U);
    EXPECT_EQ(Rgb(c, 2, 0), 0xFFFFFFU);
    EXPECT_EQ(Rgb(c, 3, 0), 0U);
    EXPECT_EQ(Rgb(c, 8, 7), 0U);
}

TEST(MetafileClip, ClippedEllipseIsTheLeftHalfOfTheWholeOne)
{
    const auto ellipse = [](bool clipped) {
        EmfWriter w(0, 0, 2000, 2000);
        if (clipped)
            w.Add(EmfRecord::IntersectClipRect, {0, 0, 10, 20});
        w.Add(EmfRecord::SelectObject, {kBlackBrush}).Add(EmfRecord::Ellipse, {0, 0, 20, 20});
        return Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    };
    const QStringList whole = Ink(ellipse(false));
    const QStringList half = Ink(ellipse(true));
    for (int y = 0; y < 20; ++y) {
        EXPECT_EQ(half[y].left(10), whole[y].left(10)) << y;
        EXPECT_EQ(half[y].mid(10), QString(10, u'.')) << y;
    }
    EXPECT_GT(Inked(ellipse(true)), 100);
}

TEST(MetafilePaths, FilledPathFollowsTheFillModeAndAbortDiscardsIt)
{
    for (int mode : {1, 2}) {
        EmfWriter w(0, 0, 1000, 1000);
        BlackFill(w)
            .Add(EmfRecord::SetPolyFillMode, {mode})
            .Add(EmfRecord::BeginPath, {})
            .Raw(EmfRecord::PolyPolygon16, Squares());
        w.Add(EmfRecord::EndPath, {}).Add(EmfRecord::FillPath, {0, 0, 0, 0});
        const TBitmap b = Draw(w);
        EXPECT_EQ(Rgb(b, 1, 1), 0U) << mode;
        EXPECT_EQ(Rgb(b, 3, 3), mode == 2 ? 0U : 0xFFFFFFU) << mode;
        EXPECT_EQ(Inked(b), mode == 2 ? 64 : 64 - 16) << mode;
    }
    // Shapes inside the bracket draw nothing of their own; an aborted path
    // leaves nothing to fill.
    EmfWriter w(0, 0, 1000, 1000);
    BlackFill(w)
        .Add(EmfRecord::BeginPath, {})
        .Add(EmfRecord::Rectangle, {1, 1, 5, 5})
        .Add(EmfRecord::Ellipse, {0, 0, 9, 9});
    w.Add(EmfRecord::AbortPath, {}).Add(EmfRecord::FillPath, {0, 0, 0, 0});
    EXPECT_EQ(Inked(Draw(w)), 0);
}

TEST(MetafilePaths, StrokedPathDrawsOnlyTheOutlineAndClipPathClips)
{
    EmfWriter w(0, 0, 1000, 1000);
    w.Add(EmfRecord::SelectObject, {kBlackPen})
        .Add(EmfRecord::BeginPath, {})
        .Add(EmfRecord::Rectangle, {1, 1, 8, 8});
    w.Add(EmfRecord::EndPath, {}).Add(EmfRecord::StrokePath, {0, 0, 0, 0});
    const QStringList ink = Ink(Draw(w));
    EXPECT_EQ(ink[1], QStringLiteral(".########."));
    EXPECT_EQ(ink[4], QStringLiteral(".#......#."));
    EXPECT_EQ(ink[8], QStringLiteral(".########."));

    // The ring of the two squares as the clip, then a fill of everything:
    // the same pixels as filling the path itself.
    EmfWriter clip(0, 0, 1000, 1000);
    BlackFill(clip)
        .Add(EmfRecord::BeginPath, {})
        .Raw(EmfRecord::PolyPolygon16, Squares())
        .Add(EmfRecord::EndPath, {});
    clip.Add(EmfRecord::SelectClipPath, {5});
    EmfWriter fill(0, 0, 1000, 1000);
    BlackFill(fill)
        .Add(EmfRecord::BeginPath, {})
        .Raw(EmfRecord::PolyPolygon16, Squares())
        .Add(EmfRecord::EndPath, {});
    fill.Add(EmfRecord::FillPath, {0, 0, 0, 0});
    EXPECT_EQ(Pixels(Draw(FillEverything(clip))), Pixels(Draw(fill)));
}

TEST(MetafileBrushes, PatternAndHatchBrushesTileFromTheTargetOrigin)
{
    // A 2 × 2 pattern: red, green / blue, yellow.
    const Dib dib = MakeDib(2, 2, kQuad);
    EmfWriter w(0, 0, 1000, 1000);
    w.Raw(EmfRecord::CreateDIBPatternBrushPt, PatternBrushBody(1, dib))
        .Add(EmfRecord::SelectObject, {1});
    w.Add(EmfRecord::SelectObject, {kNullPen}).Add(EmfRecord::Rectangle, {1, 1, 6, 6});
    const TBitmap b = Draw(w);
    EXPECT_EQ(Rgb(b, 2, 2), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 3, 2), 0x00FF00U);
    EXPECT_EQ(Rgb(b, 2, 3), 0x0000FFU);
    EXPECT_EQ(Rgb(b, 1, 1), 0xFFFF00U);
    EXPECT_EQ(Rgb(b, 0, 0), 0xFFFFFFU);

    // A horizontal hatch: the gaps take the background colour only while
    // the background is opaque.
    for (int bkMode : {1, 2}) {
        EmfWriter h(0, 0, 1000, 1000);
        h.Add(EmfRecord::SetBkColor, {0x00FF00}).Add(EmfRecord::SetBkMode, {bkMode});
        h.Add(EmfRecord::CreateBrushIndirect, {1, 2, kBlue, 0})
            .Add(EmfRecord::SelectObject, {1})
            .Add(EmfRecord::SelectObject, {kNullPen});
        FillEverything(h);
        const TBitmap hb = Draw(h);
        EXPECT_EQ(Rgb(hb, 3, 0), 0x0000FFU) << bkMode;
        EXPECT_EQ(Rgb(hb, 3, 8), 0x0000FFU) << bkMode;
        EXPECT_EQ(Rgb(hb, 3, 4), bkMode == 2 ? 0x00FF00U : 0xFFFFFFU) << bkMode;
    }
}

TEST(MetafileBrushes, RegionFillUsesItsOwnBrushAndRasterOperationsCombine)
{
    EmfWriter w(0, 0, 1000, 1000);
    w.Add(EmfRecord::CreateBrushIndirect, {1, 0, kRed, 0})
        .Add(EmfRecord::SelectObject, {kBlackBrush});
    QByteArray body(16, '\0');
    const QByteArray region = Region({{2, 2, 4, 3}});
    PutU32(body, std::uint32_t(region.size()));
    PutU32(body, 1);
    w.Raw(EmfRecord::FillRgn, body + region);
    // A frame one unit wide round the square 5 … 9 at the top right.
    QByteArray frame(16, '\0');
    const QByteArray square = Region({{5, 0, 10, 5}});
    for (std::uint32_t v : {std::uint32_t(square.size()), 1U, 1U, 1U})
        PutU32(frame, v);
    w.Raw(EmfRecord::FrameRgn, frame + square);
    // R2_NOT twice over the same square leaves white; once leaves black.
    w.Add(EmfRecord::SelectObject, {kNullPen}).Add(EmfRecord::SetRop2, {6});
    w.Add(EmfRecord::Rectangle, {5, 5, 10, 10})
        .Add(EmfRecord::Rectangle, {5, 5, 10, 10})
        .Add(EmfRecord::Rectangle, {0, 5, 3, 10});
    const TBitmap b = Draw(w);
    EXPECT_EQ(Rgb(b, 2, 2), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 3, 2), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 2, 3), 0xFFFFFFU);
    EXPECT_EQ(Rgb(b, 6, 6), 0xFFFFFFU);
    EXPECT_EQ(Rgb(b, 1, 6), 0x000000U);
    const QStringList ink = Ink(b);
    EXPECT_EQ(ink[0].mid(5), QStringLiteral("#####"));
    EXPECT_EQ(ink[2].mid(5), QStringLiteral("#...#"));
    EXPECT_EQ(ink[4].mid(5), QStringLiteral("#####"));
}

TEST(MetafileBitmaps, AlphaBlendAndTransparentBlt)
{
    // Half-transparent red, premultiplied, over white; then plain green at
    // a constant half opacity.
    const Dib translucent = MakeDib32(1, 1, {0x80800000});
    const Dib green = MakeDib32(1, 1, {0xFF00FF00});
    EmfWriter w(0, 0, 1000, 1000);
    w.Raw(EmfRecord::AlphaBlend, BlitBody({1, 1, 2, 2}, 0x01FF0000, &translucent, {1, 1}));
    w.Raw(EmfRecord::AlphaBlend, BlitBody({4, 1, 2, 2}, 0x00800000, &green, {1, 1}));
    // Red and green with green left out.
    const Dib keyed = MakeDib(2, 1, {0xFF0000, 0x00FF00});
    w.Raw(EmfRecord::TransparentBlt, BlitBody({1, 5, 4, 2}, 0x00FF00, &keyed, {2, 1}));
    const TBitmap b = Draw(w);
    const auto near = [](unsigned got, unsigned want) {
        for (int shift : {0, 8, 16}) {
            const int d = int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF);
            if (d < -2 || d > 2)
                return false;
        }
        return true;
    };
    EXPECT_PRED2(near, Rgb(b, 1, 1), 0xFF7F7FU);
    EXPECT_PRED2(near, Rgb(b, 2, 2), 0xFF7F7FU);
    EXPECT_PRED2(near, Rgb(b, 4, 1), 0x7FFF7FU);
    EXPECT_EQ(Rgb(b, 1, 5), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 2, 6), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 3, 5), 0xFFFFFFU);
    EXPECT_EQ(Rgb(b, 6, 1), 0xFFFFFFU);
}

TEST(MetafileShapes, PolyDrawClosesFiguresAndArcDirectionReverses)
{
    // Move, line, line with the close flag: a triangle outline.
    QByteArray body(16, '\0');
    PutU32(body, 3);
    for (int v : {1, 1, 8, 1, 8, 8})
        PutU16(body, unsigned(v));
    body.append(char(6)).append(char(2)).append(char(3)).append(char(0));
    EmfWriter w(0, 0, 1000, 1000);
    w.Raw(EmfRecord::PolyDraw16, body);
    const TBitmap b = Draw(w);
    EXPECT_EQ(Rgb(b, 4, 1), 0U);
    EXPECT_EQ(Rgb(b, 8, 4), 0U);
    EXPECT_EQ(Rgb(b, 4, 4), 0U) << "the closing diagonal";
    EXPECT_EQ(Rgb(b, 2, 6), 0xFFFFFFU);

    // From the right point to the left one: counter-clockwise runs over the
    // top, clockwise under the bottom.
    for (int direction : {1, 2}) {
        EmfWriter a(0, 0, 2000, 2000);
        a.Add(EmfRecord::SetArcDirection, {direction})
            .Add(EmfRecord::Arc, {0, 0, 20, 20, 20, 10, 0, 10});
        const QStringList ink = Ink(Render(a.Bytes(), 20, 20, {0, 0, 21, 21}));
        EXPECT_EQ(ink[1].count(u'#') > 0, direction == 1) << direction;
        EXPECT_EQ(ink[18].count(u'#') > 0, direction == 2) << direction;
    }
}

TEST(MetafileDraw, ScaledWindowExtentMakesLogicalUnitsLarger)
{
    EmfWriter w(0, 0, 1000, 1000);
    BlackFill(w)
        .Add(EmfRecord::SetMapMode, {8})
        .Add(EmfRecord::SetWindowExtEx, {10, 10})
        .Add(EmfRecord::SetViewportExtEx, {10, 10});
    w.Add(EmfRecord::ScaleWindowExtEx, {1, 2, 1, 2}).Add(EmfRecord::Rectangle, {0, 0, 3, 3});
    // Two pixels a unit: 0 … 6, less the right and bottom edge the missing
    // pen leaves out.
    EXPECT_EQ(Inked(Draw(w)), 5 * 5);
}

namespace {

struct ObjectIndex {
    const char* what;
    EmfRecord type;
    std::int64_t index;
};

const ObjectIndex kIndicesOutside[] = {
    {"select past the table", EmfRecord::SelectObject, 99},
    {"delete past the table", EmfRecord::DeleteObject, 8},
    {"create into slot 0", EmfRecord::CreateBrushIndirect, 0},
    {"create past the table", EmfRecord::CreateBrushIndirect, 8},
    {"palette past the table", EmfRecord::SelectPalette, 12},
};

void PrintTo(const ObjectIndex& row, std::ostream* out)
{
    *out << row.what << ": record " << orvelle::RecordNumber(row.type) << ", index " << row.index;
}

class EmfObjectIndex : public ::testing::TestWithParam<ObjectIndex> {};

} // namespace

TEST_P(EmfObjectIndex, OutsideTheTableMakesTheFileInvalid)
{
    const ObjectIndex& row = GetParam();
    EmfWriter w(0, 0, 1000, 1000);
    if (row.type == EmfRecord::CreateBrushIndirect)
        w.Add(row.type, {row.index, 0, 0, 0});
    else
        w.Add(row.type, {row.index});
    EXPECT_EQ(Failure(w.Bytes()).second, kInvalid);
}

INSTANTIATE_TEST_SUITE_P(MetafileLoad, EmfObjectIndex, ::testing::ValuesIn(kIndicesOutside),
                         [](const ::testing::TestParamInfo<ObjectIndex>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST(MetafileLoad, StockDeletedAndEmptySlotsAreInsideTheTable)
{
    EmfWriter fine(0, 0, 1000, 1000);
    fine.Add(EmfRecord::SelectObject, {kBlackBrush})
        .Add(EmfRecord::DeleteObject, {7})
        .Add(EmfRecord::SelectObject, {7})
        .Add(EmfRecord::SelectPalette, {0x8000000F});
    EXPECT_TRUE(Failure(fine.Bytes()).second.isEmpty());
}

TEST(MetafileBitmaps, SetDibitsToDeviceDrawsABandOfScanLines)
{
    // A bitmap of four rows, red, green, blue, yellow from the top, of which
    // the record carries scans 2 and 3 (counted from the bottom): green and red.
    Dib band = MakeDib(1, 2, {0xFF0000, 0x00FF00});
    band.info[8] = 4;
    EmfWriter w(0, 0, 1000, 1000);
    w.Raw(EmfRecord::SetDIBitsToDevice, DibRecordBody(band, {3, 3, 0, 2, 1, 2}, {2, 2}));
    const TBitmap b = Draw(w);
    EXPECT_EQ(Rgb(b, 3, 3), 0xFF0000U);
    EXPECT_EQ(Rgb(b, 3, 4), 0x00FF00U);
    EXPECT_EQ(Inked(b), 2);
}

TEST(MetafileDraw, DualFilesPlayTheirGdiRecordsAndSkipTheEmfPlusComments)
{
    // An EMF+ comment ("EMF+" after the data size) that would draw if it were
    // read as anything but a comment, then the GDI drawing.
    QByteArray comment;
    PutU32(comment, 16);
    PutU32(comment, 0x2B464D45);
    for (std::uint32_t v : {0x4001U, 12U, 0U})
        PutU32(comment, v);
    EmfWriter w(0, 0, 1000, 1000);
    w.Raw(EmfRecord::Comment, comment);
    BlackFill(w).Add(EmfRecord::Rectangle, {2, 2, 5, 5});
    EXPECT_EQ(Inked(Draw(w)), 4);
}

namespace {

// On the test's reference device a pixel is a millimetre. Each row: the
// mode and about 5 mm in its units.
struct MappingMode {
    const char* unit;
    int mode;
    int fiveMm;
};

const MappingMode kFixedModes[] = {
    {"text mode pixels", 1, 5},
    {"tenths of a millimetre", 2, 50},
    {"hundredths of a millimetre", 3, 500},
    {"hundredths of an inch", 4, 20},
    {"thousandths of an inch", 5, 197},
    {"twentieths of a point", 6, 283},
};

void PrintTo(const MappingMode& row, std::ostream* out)
{
    *out << "mode " << row.mode << ", " << row.unit;
}

class EmfMappingMode : public ::testing::TestWithParam<MappingMode> {};

} // namespace

TEST_P(EmfMappingMode, EveryFixedModeHasItsOwnUnit)
{
    // y runs upwards in all but the text mode, so the square sits on the
    // viewport origin at the bottom-left.
    const MappingMode& m = GetParam();
    EmfWriter w(0, 0, 2000, 2000);
    w.Add(EmfRecord::SelectObject, {kBlackBrush})
        .Add(EmfRecord::SetMapMode, {m.mode})
        .Add(EmfRecord::SetViewportOrgEx, {0, 20});
    w.Add(EmfRecord::Rectangle, {0, 0, m.fiveMm, m.fiveMm});
    const QStringList ink = Ink(Render(w.Bytes(), 20, 25, {0, 0, 21, 21}));
    const int top = m.mode == 1 ? 20 : 15;
    QStringList expected;
    for (int y = 0; y < 25; ++y)
        expected << (y >= top && y < top + 5 ? QStringLiteral("#####...............")
                                             : QString(20, u'.'));
    EXPECT_EQ(ink.join(u'\n').toStdString(), expected.join(u'\n').toStdString());
}

INSTANTIATE_TEST_SUITE_P(MetafileDraw, EmfMappingMode, ::testing::ValuesIn(kFixedModes),
                         [](const ::testing::TestParamInfo<MappingMode>& info) {
                             return RowName(info.index, info.param.unit);
                         });

TEST(MetafileLoad, PlaceableSizesFollowTheScreenResolutionSetAtStart)
{
    // A box of 2 × 1 inches at 1000 units an inch.
    const QByteArray wmf = PlaceableWmf(0, 0, 2000, 1000, 1000);
    const TMetafile at96 = Load(wmf);
    EXPECT_EQ(at96.Width(), 192);
    EXPECT_EQ(at96.Height(), 96);
    orvelle::SetScreenPixelsPerInch(120);
    const TMetafile at120 = Load(wmf);
    EXPECT_EQ(at120.Width(), 240);
    EXPECT_EQ(at120.Height(), 120);
    orvelle::SetScreenPixelsPerInch(96);
}

TEST(MetafileBrushes, GradientFillsRectanglesAcrossAndDownAndTriangles)
{
    // Vertices: x, y, then red, green, blue, alpha of 16 bits each.
    const auto vertex = [](QByteArray& body, int x, int y, unsigned r, unsigned g, unsigned b) {
        PutU32(body, std::uint32_t(x));
        PutU32(body, std::uint32_t(y));
        for (unsigned c : {r, g, b, 0U})
            PutU16(body, c);
    };
    const auto gradient = [&](std::uint32_t mode) {
        QByteArray body(16, '\0');
        const bool triangle = mode == 2;
        for (std::uint32_t v : {triangle ? 3U : 2U, 1U, mode})
            PutU32(body, v);
        vertex(body, 0, 0, 0, 0, 0);
        vertex(body, 10, 10, 0xFF00, 0xFF00, 0xFF00);
        if (triangle)
            vertex(body, 0, 10, 0xFF00, 0, 0);
        for (std::uint32_t index : {0U, 1U})
            PutU32(body, index);
        if (triangle)
            PutU32(body, 2);
        EmfWriter w(0, 0, 1000, 1000);
        w.Raw(EmfRecord::GradientFill, body);
        return Draw(w);
    };
    const TBitmap across = gradient(0);
    EXPECT_EQ(Rgb(across, 0, 5), 0x0C0C0CU); // a twentieth of the way
    EXPECT_EQ(Rgb(across, 9, 0), 0xF2F2F2U);
    EXPECT_EQ(Rgb(across, 5, 2), Rgb(across, 5, 9));
    const TBitmap down = gradient(1);
    EXPECT_EQ(Rgb(down, 5, 0), 0x0C0C0CU);
    EXPECT_EQ(Rgb(down, 0, 9), 0xF2F2F2U);
    // The triangle below the diagonal only; red grows towards its corner.
    const TBitmap triangle = gradient(2);
    EXPECT_EQ(Rgb(triangle, 8, 2), 0xFFFFFFU);
    EXPECT_EQ(Inked(triangle), 55); // centres on the diagonal count as inside
    const unsigned corner = Rgb(triangle, 0, 9);
    EXPECT_GT(corner >> 16, 0xE0U);
    EXPECT_LT(corner & 0xFF, 0x20U);
}

TEST(MetafilePaths, AClipPathFarBeyondTheTargetClipsWhatTheTargetShows)
{
    // A triangle with corners a million units out, whose long edge runs
    // through the target's diagonal.
    QByteArray body(16, '\0');
    PutU32(body, 3);
    for (int v : {-1000000, -1000000, 1000010, 1000010, -1000000, 1000010})
        PutU32(body, std::uint32_t(v));
    EmfWriter w(0, 0, 1000, 1000);
    BlackFill(w)
        .Add(EmfRecord::BeginPath, {})
        .Raw(EmfRecord::Polygon, body)
        .Add(EmfRecord::EndPath, {})
        .Add(EmfRecord::SelectClipPath, {5});
    const TBitmap b = Draw(FillEverything(w));
    EXPECT_EQ(Rgb(b, 0, 9), 0U);
    EXPECT_EQ(Rgb(b, 9, 0), 0xFFFFFFU);
    EXPECT_EQ(Inked(b), 55);
}
