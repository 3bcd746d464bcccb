#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "ExpectError.h"
#include "TestSupport.h"

using orvelle::BgrColour;
using orvelle::DibFormat;
using orvelle::test::ExpectError;

namespace {

// A fresh work bitmap, made in the order the comparison makes it.
TBitmap WorkBitmap(int width, int height)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetWidth(width);
    b.SetHeight(height);
    return b;
}

unsigned Rgb(const BgrColour& c)
{
    return (unsigned(c.red) << 16) | (unsigned(c.green) << 8) | c.blue;
}

unsigned PixelOf(const TBitmap& b, int x, int y)
{
    const std::uint8_t* p = b.PixelRow(y) + x * 3;
    return (unsigned(p[2]) << 16) | (unsigned(p[1]) << 8) | p[0];
}

// A 24-bit source whose pixel (x, y) is 0x0000XXYY-coded, so every pixel
// names where it came from.
TBitmap CodedSource(int width, int height, bool bottomUp)
{
    const DibFormat f{width, height, bottomUp, 24, 0, 0, 0};
    const std::int64_t stride = orvelle::RowStride(width, 24);
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride * height));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bits.data() + stride * (bottomUp ? height - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            row[x * 3] = std::uint8_t(y);
            row[x * 3 + 1] = std::uint8_t(x);
            row[x * 3 + 2] = 0x40;
        }
    }
    TBitmap b;
    b.Assign(f, {}, std::move(bits));
    return b;
}

// A two-colour source (palette black, white) from rows of '#' (black) and '.'.
TBitmap TwoColour(const std::vector<const char*>& rows)
{
    const int width = int(std::strlen(rows.front()));
    const int height = int(rows.size());
    const std::int64_t stride = orvelle::RowStride(width, 1);
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(stride * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (rows[std::size_t(y)][x] == '.')
                bits[std::size_t(stride * y + x / 8)] |= std::uint8_t(0x80 >> (x % 8));
        }
    }
    TBitmap b;
    b.Assign({width, height, false, 1, 0, 0, 0}, {{0, 0, 0}, {255, 255, 255}}, std::move(bits));
    return b;
}

} // namespace

TEST(WorkBitmap, IsWhiteRowsFromTheTopAndPaddedToFourBytes)
{
    TBitmap b = WorkBitmap(5, 3);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_EQ(b.Stride(), 16); // ((5 × 24 + 31) div 32) × 4
    for (int y = 0; y < 3; ++y) {
        for (int i = 0; i < 15; ++i)
            EXPECT_EQ(b.PixelRow(y)[i], 255);
    }
    EXPECT_EQ(std::abs(b.PixelRow(1) - b.PixelRow(0)), 16);

    for (int bad : {-1, 3}) {
        SCOPED_TRACE(bad);
        ExpectError<EInvalidGraphicOperation>(
            [&] { b.PixelRow(bad); },
            QStringLiteral("スキャンライン のインデックスが範囲を越えました"));
    }
    EXPECT_THROW(TBitmap().PixelRow(0), EInvalidGraphicOperation);
}

TEST(WorkBitmap, ResizingKeepsTheTopLeftAndFillsWhite)
{
    TBitmap b = WorkBitmap(2, 2);
    b.PixelRow(0)[0] = 1;
    b.PixelRow(1)[5] = 2;
    b.SetWidth(3);
    b.SetHeight(3);
    EXPECT_EQ(b.PixelRow(0)[0], 1);
    EXPECT_EQ(b.PixelRow(1)[5], 2);
    EXPECT_EQ(PixelOf(b, 2, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(b, 0, 2), 0xFFFFFFu);
    b.SetWidth(1);
    EXPECT_EQ(b.PixelRow(0)[0], 1);
    EXPECT_EQ(b.Stride(), 4);
}

TEST(WorkBitmap, HugeSizesAreRefusedNotAttempted)
{
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetWidth(100000);
    ExpectError<EOutOfResources>([&] { b.SetHeight(100000); },
                                 QStringLiteral("システム リソースが足りません"));
}

TEST(NearestSource, TakesThePixelWhoseCentreIsNearestRightOnATie)
{
    // Equal sizes: identity.
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(orvelle::NearestSource(x, 7, 7), x);
    // 5 → 2: centres 1.25 and 3.75 of the source.
    EXPECT_EQ(orvelle::NearestSource(0, 5, 2), 1);
    EXPECT_EQ(orvelle::NearestSource(1, 5, 2), 3);
    // 2 → 1: a tie between 0 and 1 goes right.
    EXPECT_EQ(orvelle::NearestSource(0, 2, 1), 1);
    // 2 → 5 enlarges: 0 0 1 1 1.
    const int expected[] = {0, 0, 1, 1, 1};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(orvelle::NearestSource(x, 2, 5), expected[x]);
    // No overflow with large sizes.
    EXPECT_EQ(orvelle::NearestSource(1999999, 3000000, 2000000), 2999999);
}

TEST(StretchCopy, EqualSizeIsAnExactCopyInBothRowOrders)
{
    for (bool bottomUp : {false, true}) {
        const TBitmap source = CodedSource(7, 5, bottomUp);
        TBitmap target = WorkBitmap(7, 5);
        TCanvas(target).StretchBitmap({0, 0, 7, 5}, source);
        for (int y = 0; y < 5; ++y) {
            for (int x = 0; x < 7; ++x)
                ASSERT_EQ(PixelOf(target, x, y), 0x400000u | (x << 8) | y) << x << "," << y;
        }
    }
}

TEST(StretchCopy, ScalingTakesOneSourcePixelPerTargetPixelByTheRule)
{
    const TBitmap source = CodedSource(13, 9, true);
    for (const auto& [w, h] : {std::pair{5, 4}, {13, 3}, {29, 20}, {1, 1}, {2, 17}}) {
        TBitmap target = WorkBitmap(w, h);
        TCanvas(target).StretchBitmap({0, 0, w, h}, source);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const unsigned sx = unsigned(((2 * x + 1) * 13) / (2 * w));
                const unsigned sy = unsigned(((2 * y + 1) * 9) / (2 * h));
                ASSERT_EQ(PixelOf(target, x, y), 0x400000u | (sx << 8) | sy)
                    << w << "x" << h << " at " << x << "," << y;
            }
        }
    }
}

TEST(StretchCopy, OnlyPixelsInsideRectAndTargetChange)
{
    const TBitmap source = CodedSource(4, 4, false);
    TBitmap target = WorkBitmap(6, 6);
    // Half outside on the left and top, the rest inside.
    TCanvas(target).StretchBitmap({-2, -2, 2, 2}, source);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            const unsigned want =
                (x < 2 && y < 2) ? 0x400000u | unsigned((x + 2) << 8) | unsigned(y + 2) : 0xFFFFFFu;
            ASSERT_EQ(PixelOf(target, x, y), want) << x << "," << y;
        }
    }
    // Off the target altogether, or an empty rect: nothing.
    TCanvas(target).StretchBitmap({6, 0, 10, 4}, source);
    TCanvas(target).StretchBitmap({3, 3, 3, 5}, source);
    EXPECT_EQ(PixelOf(target, 3, 3), 0xFFFFFFu);
}

TEST(StretchCopy, TwoColourShrinkingCombinesWithAndSoBlackWins)
{
    // 4 → 2 columns and 4 → 2 rows: each target pixel stands for a 2 × 2 block.
    const TBitmap source = TwoColour({"#...", "....", "....", "...#"});
    TBitmap target = WorkBitmap(2, 2);
    TCanvas(target).StretchBitmap({0, 0, 2, 2}, source);
    EXPECT_EQ(PixelOf(target, 0, 0), 0x000000u);
    EXPECT_EQ(PixelOf(target, 1, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(target, 0, 1), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(target, 1, 1), 0x000000u);

    // A colour source of the same pattern keeps only the nearest pixel.
    TBitmap colour = TwoColour({"#...", "....", "....", "...#"});
    colour.SetPixelFormat(TPixelFormat::pf24bit);
    TBitmap plain = WorkBitmap(2, 2);
    TCanvas(plain).StretchBitmap({0, 0, 2, 2}, colour);
    EXPECT_EQ(PixelOf(plain, 0, 0), 0xFFFFFFu); // source (1, 1)
    EXPECT_EQ(PixelOf(plain, 1, 1), 0x000000u); // source (3, 3)

    // Enlarging a two-colour source is plain nearest-pixel copying.
    TBitmap big = WorkBitmap(8, 2);
    TCanvas(big).StretchBitmap({0, 0, 8, 2}, TwoColour({"#..#"}));
    const unsigned row[] = {0, 0, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0, 0};
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(PixelOf(big, x, 1), row[x]) << x;
}

TEST(PixelConversion, PaletteAndMasksWidenByOneFixedRule)
{
    // 8-bit with a three-entry table; index 3 lies past it and is black.
    std::vector<std::uint8_t> bits{0, 1, 2, 3};
    TBitmap indexed;
    indexed.Assign({4, 1, false, 8, 0, 0, 0}, {{1, 2, 3}, {4, 5, 6}, {200, 100, 50}},
                   std::move(bits));
    EXPECT_EQ(Rgb(indexed.PixelColour(0, 0)), 0x030201u);
    EXPECT_EQ(Rgb(indexed.PixelColour(2, 0)), 0x3264C8u);
    EXPECT_EQ(Rgb(indexed.PixelColour(3, 0)), 0u);

    // 5-5-5: 0 → 0, 1 → 8, 3 → 25, 31 → 255.
    auto five = [](unsigned r, unsigned g, unsigned b) { return (r << 10) | (g << 5) | b; };
    std::vector<std::uint8_t> words;
    for (unsigned v : {five(0, 1, 3), five(31, 31, 31)}) {
        words.push_back(std::uint8_t(v & 0xFF));
        words.push_back(std::uint8_t(v >> 8));
    }
    TBitmap rgb555;
    rgb555.Assign({2, 1, false, 16, 0, 0, 0}, {}, std::move(words));
    EXPECT_EQ(Rgb(rgb555.PixelColour(0, 0)), 0x000819u);
    EXPECT_EQ(Rgb(rgb555.PixelColour(1, 0)), 0xFFFFFFu);

    // 5-6-5 by bit fields: green has 64 levels, 1 → 4, 63 → 255.
    const std::uint16_t green1 = 1 << 5, green63 = 63 << 5;
    std::vector<std::uint8_t> w565{std::uint8_t(green1), std::uint8_t(green1 >> 8),
                                   std::uint8_t(green63), std::uint8_t(green63 >> 8)};
    TBitmap rgb565;
    rgb565.Assign({2, 1, false, 16, 0xF800, 0x07E0, 0x001F}, {}, std::move(w565));
    EXPECT_EQ(Rgb(rgb565.PixelColour(0, 0)), 0x000400u);
    EXPECT_EQ(Rgb(rgb565.PixelColour(1, 0)), 0x00FF00u);

    // Drawn into a work bitmap, a palette image gives the table's colours.
    TBitmap target = WorkBitmap(4, 1);
    TCanvas(target).StretchBitmap({0, 0, 4, 1}, indexed);
    EXPECT_EQ(PixelOf(target, 2, 0), 0x3264C8u);
}

TEST(Canvas, DrawAtPassesOverEmptyGraphicsAndDrawsAtOwnSize)
{
    TBitmap target = WorkBitmap(4, 4);
    TCanvas canvas(target);
    TBitmap empty;
    canvas.DrawAt(0, 0, &empty);
    canvas.DrawAt(0, 0, nullptr);
    canvas.DrawStretched({0, 0, 4, 4}, nullptr);
    canvas.DrawStretched({0, 0, 4, 4}, &empty);
    EXPECT_EQ(PixelOf(target, 0, 0), 0xFFFFFFu);

    TBitmap source = CodedSource(2, 2, false);
    canvas.DrawAt(1, 2, &source);
    EXPECT_EQ(PixelOf(target, 1, 2), 0x400000u);
    EXPECT_EQ(PixelOf(target, 2, 3), 0x400101u);
    EXPECT_EQ(PixelOf(target, 0, 2), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(target, 3, 3), 0xFFFFFFu);
}

TEST(Canvas, APainterGetsTheSamePixelsAsAWorkBitmap)
{
    orvelle::test::EnsureGuiApplication();
    const TBitmap source = CodedSource(11, 7, true);
    QImage screen(40, 30, QImage::Format_RGB32);
    screen.fill(Qt::white);
    {
        QPainter painter(&screen);
        TCanvas canvas(painter, screen.width(), screen.height());
        TBitmap copy = CodedSource(11, 7, true);
        canvas.DrawStretched({3, 2, 33, 52}, &copy); // runs past the bottom edge
    }
    TBitmap work = WorkBitmap(40, 30);
    TCanvas(work).StretchBitmap({3, 2, 33, 52}, source);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(screen.pixel(x, y) & 0xFFFFFFu, PixelOf(work, x, y)) << x << "," << y;
    }
}
