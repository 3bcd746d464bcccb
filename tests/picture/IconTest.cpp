#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QtEndian>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "Icon.h"
#include "ByteWriter.h"
#include "RowName.h"
#include "TestSupport.h"

namespace {

using orvelle::test::PutU16;
using orvelle::test::PutU32;
using orvelle::test::RowName;
using orvelle::test::SetU16;
using orvelle::test::SetU32;

const QString kInvalidIcon = QStringLiteral("アイコンイメージが不正です");

class GuiEnvironment : public ::testing::Environment {
public:
    void SetUp() override { orvelle::test::EnsureGuiApplication(); }
};
const auto* const kGui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// ---- a small icon-file writer ------------------------------------------------

void PadRow(QByteArray& out, qsizetype rowStart)
{
    while ((out.size() - rowStart) % 4 != 0)
        out.append('\0');
}

using PixelTest = std::function<bool(int x, int y)>;
using PixelAlpha = std::function<int(int x, int y)>;

// A DIB entry of one colour (0xRRGGBB); palette images use entry 0 of their
// table. masked(x, y) sets the AND-mask bit, alpha(x, y) the fourth byte of
// 32-bit pixels; both count y from the top.
QByteArray DibEntry(int width, int height, int bits, unsigned colour, const PixelTest& masked = {},
                    const PixelAlpha& alpha = {})
{
    QByteArray out;
    PutU32(out, 40);
    PutU32(out, std::uint32_t(width));
    PutU32(out, std::uint32_t(height * 2));
    PutU16(out, 1);
    PutU16(out, unsigned(bits));
    for (int i = 0; i < 6; ++i)
        PutU32(out, 0);
    const char b = char(colour & 0xFF), g = char((colour >> 8) & 0xFF), r = char(colour >> 16);
    if (bits <= 8) {
        for (int i = 0; i < (1 << bits); ++i)
            for (char c : {b, g, r, '\0'})
                out.append(i == 0 ? c : '\0');
    }
    for (int y = height - 1; y >= 0; --y) {
        const qsizetype start = out.size();
        for (int x = 0; x < width; ++x) {
            if (bits == 24 || bits == 32)
                for (char c : {b, g, r})
                    out.append(c);
            if (bits == 32)
                out.append(char(alpha ? alpha(x, y) : 0));
        }
        if (bits <= 8)
            out.append(QByteArray((width * bits + 7) / 8, '\0'));
        PadRow(out, start);
    }
    for (int y = height - 1; y >= 0; --y) {
        const qsizetype start = out.size();
        QByteArray row((width + 7) / 8, '\0');
        for (int x = 0; x < width; ++x)
            if (masked && masked(x, y))
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        out.append(row);
        PadRow(out, start);
    }
    return out;
}

struct Entry {
    int width;  // 256 is stored as 0
    int height; // 256 is stored as 0
    int colourCount;
    QByteArray data;
};

QByteArray IconFile(const std::vector<Entry>& entries, unsigned type = 1)
{
    QByteArray out;
    PutU16(out, 0);
    PutU16(out, type);
    PutU16(out, unsigned(entries.size()));
    std::uint32_t offset = std::uint32_t(6 + 16 * entries.size());
    for (const Entry& e : entries) {
        out.append(char(e.width & 0xFF));
        out.append(char(e.height & 0xFF));
        out.append(char(e.colourCount));
        out.append('\0');
        PutU16(out, 1);
        PutU16(out, 32);
        PutU32(out, std::uint32_t(e.data.size()));
        PutU32(out, offset);
        offset += std::uint32_t(e.data.size());
    }
    for (const Entry& e : entries)
        out.append(e.data);
    return out;
}

QByteArray PngEntry(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// ---- loading and drawing -----------------------------------------------------

std::unique_ptr<TIcon> Load(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    auto icon = std::make_unique<TIcon>();
    icon->LoadFromStream(buffer);
    return icon;
}

TBitmap WhiteWork(int width, int height)
{
    TBitmap work;
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetSize(width, height);
    return work;
}

void Fill(TBitmap& work, unsigned colour)
{
    for (int y = 0; y < work.Height(); ++y) {
        std::uint8_t* row = work.PixelRow(y);
        for (int x = 0; x < work.Width(); ++x, row += 3) {
            row[0] = std::uint8_t(colour);
            row[1] = std::uint8_t(colour >> 8);
            row[2] = std::uint8_t(colour >> 16);
        }
    }
}

void Draw(TIcon& icon, TBitmap& work, const TRect& rect)
{
    TCanvas canvas(work);
    canvas.DrawStretched(rect, &icon);
}

unsigned At(const TBitmap& work, int x, int y)
{
    const orvelle::BgrColour c = work.PixelColour(x, y);
    return unsigned(c.red) << 16 | unsigned(c.green) << 8 | c.blue;
}

// The message the draw raised, or empty when it drew.
QString DrawOutcome(TIcon& icon)
{
    TBitmap work = WhiteWork(64, 64);
    try {
        Draw(icon, work, {0, 0, 64, 64});
        return {};
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
}

// ---- loading -----------------------------------------------------------------

struct HeaderCase {
    const char* what;
    QByteArray bytes;
    const char* error; // nullptr: loads
    QString message;
};

std::vector<HeaderCase> HeaderCases()
{
    return {
        {"empty file", {}, "EReadError", orvelle::StreamReadText()},
        {"header cut short", QByteArray("\0\0\1\0\1", 5), "EReadError", orvelle::StreamReadText()},
        {"type 2", QByteArray("\0\0\2\0\1\0", 6), "EInvalidGraphic", kInvalidIcon},
        {"type 0xFFFF", QByteArray("\0\0\xff\xff\1\0", 6), "EInvalidGraphic", kInvalidIcon},
        {"type 0 loads", QByteArray("\0\0\0\0\0\0", 6), nullptr, {}},
        // Nothing but the length and the type is looked at when loading.
        {"nine entries that are not there load", QByteArray("\0\0\1\0\x09\0", 6), nullptr, {}},
    };
}

void PrintTo(const HeaderCase& c, std::ostream* out)
{
    *out << c.what << ": " << c.bytes.toHex().toStdString();
}

class IconHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(IconHeader, ShortFilesAndUnknownTypesFail)
{
    const HeaderCase& c = GetParam();
    try {
        const auto icon = Load(c.bytes);
        EXPECT_EQ(c.error, nullptr) << "loaded";
        EXPECT_EQ(icon->Width(), 32);
        EXPECT_EQ(icon->Height(), 32);
    } catch (const orvelle::Exception& e) {
        ASSERT_NE(c.error, nullptr) << e.ClassName();
        EXPECT_STREQ(e.ClassName(), c.error);
        EXPECT_EQ(e.Message(), c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(IconLoad, IconHeader, ::testing::ValuesIn(HeaderCases()),
                         [](const ::testing::TestParamInfo<HeaderCase>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST(IconLoad, FailedLoadKeepsTheIconAsItWas)
{
    const auto icon = Load(IconFile({{16, 16, 0, DibEntry(16, 16, 24, 0xFF0000)}}));
    QBuffer bad;
    bad.setData(QByteArray("\0\0\2\0\1\0", 6));
    bad.open(QIODevice::ReadOnly);
    EXPECT_THROW(icon->LoadFromStream(bad), EInvalidGraphic);
    TBitmap work = WhiteWork(20, 20);
    Draw(*icon, work, {0, 0, 20, 20});
    EXPECT_EQ(icon->Width(), 16);
    EXPECT_EQ(At(work, 0, 0), 0xFF0000u);
}

struct DamagedEntry {
    const char* guards;
    QByteArray file;
};

std::vector<DamagedEntry> DamagedEntries()
{
    const QByteArray good = DibEntry(8, 8, 24, 0x123456);
    QByteArray offsetPastEnd = IconFile({{8, 8, 0, good}});
    SetU32(offsetPastEnd, 18, std::uint32_t(offsetPastEnd.size() + 1));
    QByteArray sizePastEnd = IconFile({{8, 8, 0, good}});
    SetU32(sizePastEnd, 14, std::uint32_t(good.size() + 1));
    // Offset and size whose 32-bit sum wraps round to a small number.
    QByteArray wrapping = IconFile({{8, 8, 0, good}});
    SetU32(wrapping, 14, 0xFFFFFFF0u);
    SetU32(wrapping, 18, 0x20u);
    QByteArray hugeWidth = good;
    SetU32(hugeWidth, 4, 0x7FFFFFFFu);
    QByteArray hugeHeight = good;
    SetU32(hugeHeight, 8, 0x7FFFFFFEu);
    QByteArray twoBits = good;
    SetU16(twoBits, 14, 2);
    QByteArray runLength = DibEntry(8, 8, 8, 0x123456);
    SetU32(runLength, 16, 1);
    QByteArray tinyHeader = good;
    SetU32(tinyHeader, 0, 12);
    QByteArray damagedPng = PngEntry(QImage(8, 8, QImage::Format_ARGB32));
    damagedPng.truncate(30);

    return {
        {"no entries", QByteArray("\0\0\1\0\0\0", 6)},
        {"directory cut short", IconFile({{8, 8, 0, good}}).left(20)},
        {"offset past the end", offsetPastEnd},
        {"size past the end", sizePastEnd},
        {"wrapping offset and size", wrapping},
        {"colour rows cut short", IconFile({{8, 8, 0, good.left(40 + 7 * 24 + 5)}})},
        {"width beyond the data", IconFile({{8, 8, 0, hugeWidth}})},
        {"height beyond the data", IconFile({{8, 8, 0, hugeHeight}})},
        {"2 bits per pixel", IconFile({{8, 8, 0, twoBits}})},
        {"run-length compression", IconFile({{8, 8, 0, runLength}})},
        {"core header", IconFile({{8, 8, 0, tinyHeader}})},
        {"empty entry", IconFile({{8, 8, 0, {}}})},
        {"damaged PNG", IconFile({{8, 8, 0, damagedPng}})},
    };
}

void PrintTo(const DamagedEntry& row, std::ostream* out)
{
    *out << row.guards;
}

class IconDamagedEntry : public ::testing::TestWithParam<DamagedEntry> {};

TEST_P(IconDamagedEntry, FailsOnTheFirstDraw)
{
    const auto icon = Load(GetParam().file);
    EXPECT_EQ(DrawOutcome(*icon), kInvalidIcon);
    // It stays unmade: the next draw fails again, the size stays standard.
    EXPECT_EQ(DrawOutcome(*icon), kInvalidIcon);
    EXPECT_EQ(icon->Width(), 32);
    EXPECT_EQ(icon->Height(), 32);
}

INSTANTIATE_TEST_SUITE_P(IconLoad, IconDamagedEntry, ::testing::ValuesIn(DamagedEntries()),
                         [](const ::testing::TestParamInfo<DamagedEntry>& info) {
                             return RowName(info.index, info.param.guards);
                         });

// ---- size and entry choice ---------------------------------------------------

TEST(IconSize, StandardBeforeTheFirstDrawThenTheEntrysOwn)
{
    const auto icon = Load(IconFile({{16, 24, 0, DibEntry(16, 24, 24, 0x00FF00)}}));
    EXPECT_EQ(icon->Width(), 32);
    EXPECT_EQ(icon->Height(), 32);
    EXPECT_FALSE(icon->Empty());
    TBitmap work = WhiteWork(40, 40);
    Draw(*icon, work, {0, 0, 40, 40});
    EXPECT_EQ(icon->Width(), 16);
    EXPECT_EQ(icon->Height(), 24);

    // Loading again forgets the made icon.
    QBuffer again;
    again.setData(IconFile({{48, 48, 0, DibEntry(48, 48, 24, 0)}}));
    again.open(QIODevice::ReadOnly);
    icon->LoadFromStream(again);
    EXPECT_EQ(icon->Width(), 32);
}

TEST(IconSize, StoredZeroMeans256AndASmallerImageLeavesTheRest)
{
    const auto icon = Load(IconFile({{256, 256, 0, DibEntry(16, 16, 24, 0x0000FF)}}));
    TBitmap work = WhiteWork(300, 300);
    Draw(*icon, work, {0, 0, 300, 300});
    EXPECT_EQ(icon->Width(), 256);
    EXPECT_EQ(icon->Height(), 256);
    EXPECT_EQ(At(work, 15, 15), 0x0000FFu);
    EXPECT_EQ(At(work, 16, 0), 0xFFFFFFu);
    EXPECT_EQ(At(work, 100, 100), 0xFFFFFFu);
}

TEST(IconSize, AnImageLargerThanItsEntryIsCut)
{
    const auto icon = Load(IconFile({{8, 4, 0, DibEntry(16, 16, 24, 0x0000FF)}}));
    TBitmap work = WhiteWork(20, 20);
    Draw(*icon, work, {0, 0, 20, 20});
    EXPECT_EQ(icon->Width(), 8);
    EXPECT_EQ(icon->Height(), 4);
    EXPECT_EQ(At(work, 7, 3), 0x0000FFu);
    EXPECT_EQ(At(work, 8, 0), 0xFFFFFFu);
    EXPECT_EQ(At(work, 0, 4), 0xFFFFFFu);
}

struct Shape {
    int width;
    int height;
    int colourCount;
    int bits = 24;
};

struct ChoiceCase {
    const char* name;
    std::vector<Shape> shapes;
    std::size_t chosen;
};

std::vector<ChoiceCase> ChoiceCases()
{
    return {
        {"exact size among others", {{16, 16, 0}, {32, 32, 0}, {48, 48, 0}}, 1},
        {"exact size after a larger one", {{48, 48, 0}, {32, 32, 0}}, 1},
        {"a later equal entry wins", {{32, 32, 0}, {32, 32, 0}}, 1},
        {"fewer colours are passed over", {{32, 32, 0}, {32, 32, 16, 4}}, 0},
        {"more colours are taken", {{32, 32, 16, 4}, {32, 32, 0, 8}, {32, 32, 0, 32}}, 2},
        {"a 2-colour entry gives way to 16", {{32, 32, 2, 1}, {32, 32, 16, 4}}, 1},
        {"closer from below", {{16, 16, 0}, {24, 24, 0}}, 1},
        {"smaller at the same distance", {{48, 48, 0}, {16, 16, 0}}, 1},
        {"larger at the same distance is not", {{16, 16, 0}, {48, 48, 0}}, 0},
        {"closer from above", {{64, 64, 0}, {40, 40, 0}}, 1},
        {"farther above is not", {{40, 40, 0}, {64, 64, 0}}, 0},
        {"both axes must be as good", {{32, 16, 0}, {16, 32, 0}}, 0},
        {"256 is far", {{16, 16, 0}, {256, 256, 0}}, 0},
        {"after 256 anything closer", {{256, 256, 0}, {32, 32, 0}}, 1},
        {"more colours but a worse size", {{32, 32, 16, 4}, {48, 48, 0}}, 0},
    };
}

void PrintTo(const ChoiceCase& c, std::ostream* out)
{
    *out << c.name;
}

class IconChoiceRule : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(IconChoiceRule, TakesTheEntryTheRulesPick)
{
    const ChoiceCase& c = GetParam();
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < c.shapes.size(); ++i) {
        const Shape& s = c.shapes[i];
        // A colour of its own for each entry, so the drawing tells which.
        const unsigned colour = 0x102030u * unsigned(i + 1);
        const int side = std::min(s.width, 64);
        entries.push_back({s.width, s.height, s.colourCount,
                           DibEntry(side, std::min(s.height, 64), s.bits, colour)});
    }
    const auto icon = Load(IconFile(entries));
    TBitmap work = WhiteWork(8, 8);
    Draw(*icon, work, {0, 0, 8, 8});
    EXPECT_EQ(At(work, 0, 0), 0x102030u * unsigned(c.chosen + 1));
    EXPECT_EQ(icon->Width(), c.shapes[c.chosen].width);
    EXPECT_EQ(icon->Height(), c.shapes[c.chosen].height);
}

INSTANTIATE_TEST_SUITE_P(IconChoice, IconChoiceRule, ::testing::ValuesIn(ChoiceCases()),
                         [](const ::testing::TestParamInfo<ChoiceCase>& info) {
                             return RowName(info.index, info.param.name);
                         });

// ---- drawing -----------------------------------------------------------------

TEST(IconDraw, NeverScaledAndOnlyItsOwnSizeChanges)
{
    const auto icon = Load(IconFile({{16, 16, 0, DibEntry(16, 16, 24, 0xFF0000)}}));
    TBitmap work = WhiteWork(64, 48);
    Draw(*icon, work, {5, 7, 64, 48});
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool inside = x >= 5 && x < 21 && y >= 7 && y < 23;
            ASSERT_EQ(At(work, x, y), inside ? 0xFF0000u : 0xFFFFFFu) << x << "," << y;
        }
    // A rectangle smaller than the icon does not shrink or clip it.
    TBitmap small = WhiteWork(32, 32);
    Draw(*icon, small, {0, 0, 4, 4});
    EXPECT_EQ(At(small, 15, 15), 0xFF0000u);
    // Off the target's edges nothing is written out of bounds.
    TBitmap edge = WhiteWork(10, 10);
    Draw(*icon, edge, {-8, 4, 2, 14});
    EXPECT_EQ(At(edge, 7, 9), 0xFF0000u);
    EXPECT_EQ(At(edge, 8, 9), 0xFFFFFFu);
    EXPECT_EQ(At(edge, 0, 3), 0xFFFFFFu);
}

TEST(IconDraw, TheAndMaskKeepsTargetPixels)
{
    const PixelTest checker = [](int x, int y) { return (x + y) % 2 == 0; };
    for (int bits : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(bits);
        const auto icon = Load(IconFile({{12, 10, 0, DibEntry(12, 10, bits, 0x804020, checker)}}));
        TBitmap work = WhiteWork(16, 16);
        Fill(work, 0x00AA00);
        Draw(*icon, work, {0, 0, 16, 16});
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x)
                ASSERT_EQ(At(work, x, y), checker(x, y) ? 0x00AA00u : 0x804020u) << x << "," << y;
        EXPECT_EQ(At(work, 13, 13), 0x00AA00u);
    }
}

TEST(IconDraw, AlphaIsBlendedAndThenOutranksTheMask)
{
    // Alpha per column: 0, 128, 255, 64; the mask claims every pixel
    // transparent, which the alpha channel overrides.
    const int alphas[] = {0, 128, 255, 64};
    const auto icon = Load(IconFile({{4, 2, 0,
                                      DibEntry(
                                          4, 2, 32, 0x000000, [](int, int) { return true; },
                                          [&](int x, int) { return alphas[x]; })}}));
    TBitmap work = WhiteWork(4, 2);
    Draw(*icon, work, {0, 0, 4, 2});
    EXPECT_EQ(At(work, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(At(work, 1, 1), 0x7F7F7Fu); // (255 · 127 + 127) / 255
    EXPECT_EQ(At(work, 2, 0), 0x000000u);
    EXPECT_EQ(At(work, 3, 1), 0xBFBFBFu); // (255 · 191 + 127) / 255

    // Without any alpha the 32-bit pixels are opaque where the mask says so.
    const auto plain = Load(
        IconFile({{4, 2, 0, DibEntry(4, 2, 32, 0x3366CC, [](int x, int) { return x == 0; })}}));
    TBitmap second = WhiteWork(4, 2);
    Draw(*plain, second, {0, 0, 4, 2});
    EXPECT_EQ(At(second, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(At(second, 1, 0), 0x3366CCu);
}

TEST(IconDraw, PngEntriesAreDecodedWithTheirAlpha)
{
    QImage image(6, 5, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 255, 255));
    image.setPixel(0, 0, qRgba(0, 0, 0, 0));
    image.setPixel(1, 0, qRgba(255, 0, 0, 128));
    const auto icon = Load(IconFile({{6, 5, 0, PngEntry(image)}}));
    TBitmap work = WhiteWork(8, 8);
    Draw(*icon, work, {0, 0, 8, 8});
    EXPECT_EQ(icon->Width(), 6);
    EXPECT_EQ(icon->Height(), 5);
    EXPECT_EQ(At(work, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(At(work, 1, 0), 0xFF7F7Fu);
    EXPECT_EQ(At(work, 5, 4), 0x0000FFu);
    EXPECT_EQ(At(work, 6, 4), 0xFFFFFFu);
}

TEST(IconDraw, TypeZeroIsTheStandardApplicationIcon)
{
    const auto icon = Load(QByteArray("\0\0\0\0\0\0", 6));
    TBitmap work = WhiteWork(40, 40);
    Draw(*icon, work, {0, 0, 40, 40});
    EXPECT_EQ(icon->Width(), 32);
    EXPECT_EQ(icon->Height(), 32);
    int drawn = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            if (At(work, x, y) != 0xFFFFFFu) {
                ++drawn;
                EXPECT_TRUE(x < 32 && y < 32) << x << "," << y;
            }
    EXPECT_GT(drawn, 100);
    // Its corners are transparent.
    EXPECT_EQ(At(work, 0, 0), 0xFFFFFFu);
}

TEST(IconDraw, APainterTargetGetsTheSamePixels)
{
    const PixelTest ring = [](int x, int y) { return x == 0 || y == 0; };
    const auto icon = Load(IconFile(
        {{10, 10, 0, DibEntry(10, 10, 32, 0x2040F0, ring, [](int x, int) { return x * 25; })}}));
    TBitmap work = WhiteWork(20, 20);
    Draw(*icon, work, {3, 4, 20, 20});

    QImage device(20, 20, QImage::Format_RGB32);
    device.fill(Qt::white);
    {
        QPainter painter(&device);
        TCanvas canvas(painter, 20, 20);
        canvas.DrawStretched({3, 4, 20, 20}, icon.get());
    }
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const QRgb p = device.pixel(x, y);
            const unsigned want = At(work, x, y);
            // Premultiplying may round a channel by one.
            ASSERT_NEAR(qRed(p), int(want >> 16), 1) << x << "," << y;
            ASSERT_NEAR(qGreen(p), int((want >> 8) & 0xFF), 1) << x << "," << y;
            ASSERT_NEAR(qBlue(p), int(want & 0xFF), 1) << x << "," << y;
        }
}

TEST(IconDraw, DrawAtUsesTheStandardSizeRectangleAndANewIconIsEmpty)
{
    TIcon fresh;
    EXPECT_TRUE(fresh.Empty());
    TBitmap work = WhiteWork(4, 4);
    TCanvas canvas(work);
    canvas.DrawAt(0, 0, &fresh);
    canvas.DrawStretched({0, 0, 4, 4}, &fresh);
    EXPECT_EQ(At(work, 0, 0), 0xFFFFFFu);

    const auto icon = Load(IconFile({{2, 2, 0, DibEntry(2, 2, 24, 0x010203)}}));
    canvas.DrawAt(1, 1, icon.get());
    EXPECT_EQ(At(work, 1, 1), 0x010203u);
    EXPECT_EQ(At(work, 2, 2), 0x010203u);
    EXPECT_EQ(At(work, 3, 3), 0xFFFFFFu);
}

// ---- icon files written by other programs ------------------------------------

// Files whose reference rendering shows another entry than the one we
// take, with the size of ours.
struct OtherEntry {
    int width;
    int height;
    int shown; // the entry the reference shows
    const char* why;
};
const std::map<QString, OtherEntry> kOtherEntry = {
    {QStringLiteral("multiple_entries_with_different_bit_depth.ico"),
     {32, 32, 5,
      "the reference shows the 48 x 48 entry; for a 32 x 32 icon we take the last "
      "32 x 32 one, with 32 bits"}},
    {QStringLiteral("two-entry-order-test.ico"),
     {48, 48, 0,
      "two entries alike in size and colours: the reference shows the first, we take "
      "the later one"}},
};

// The file cut down to one of its entries.
QByteArray OnlyEntry(const QByteArray& file, int index)
{
    const char* dir = file.constData() + 6 + 16 * index;
    const auto bytes = qFromLittleEndian<std::uint32_t>(dir + 8);
    const auto offset = qFromLittleEndian<std::uint32_t>(dir + 12);
    QByteArray out = file.left(6) + QByteArray(dir, 16) + file.mid(offset, bytes);
    SetU16(out, 4, 1);
    SetU32(out, 18, 22);
    return out;
}

// The largest channel difference between the work bitmap and the reference
// composed over white.
int WorstDifference(const TBitmap& work, const QImage& reference)
{
    const QImage rgba = reference.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int y = 0; y < rgba.height(); ++y)
        for (int x = 0; x < rgba.width(); ++x) {
            const QRgb p = rgba.pixel(x, y);
            const int a = qAlpha(p);
            const auto over = [a](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            const unsigned got = At(work, x, y);
            worst = std::max({worst, std::abs(int(got >> 16) - over(qRed(p))),
                              std::abs(int((got >> 8) & 0xFF) - over(qGreen(p))),
                              std::abs(int(got & 0xFF) - over(qBlue(p)))});
        }
    return worst;
}

TEST(IconCorpus, EveryFileLoadsAndDrawsAndMatchesItsReference)
{
    const QString corpus = orvelle::test::CorpusDir();
    if (corpus.isEmpty() || !QDir(corpus + "/ico").exists())
        GTEST_SKIP() << "the shared corpus of icon files is absent";
    const QDir files(corpus + "/ico");
    const QStringList names = files.entryList({"*.ico"}, QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty());
    int compared = 0;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        QFile file(files.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const auto icon = Load(bytes);
        TBitmap work = WhiteWork(300, 300);
        ASSERT_NO_THROW(Draw(*icon, work, {0, 0, 300, 300}));
        EXPECT_GT(icon->Width(), 0);
        EXPECT_LE(icon->Width(), 256);
        EXPECT_LE(icon->Height(), 256);

        const QImage reference(corpus + "/ico-reference/" + name + ".png");
        if (const auto other = kOtherEntry.find(name); other != kOtherEntry.end()) {
            EXPECT_EQ(icon->Width(), other->second.width) << other->second.why;
            EXPECT_EQ(icon->Height(), other->second.height) << other->second.why;
            // The entry the reference shows, on its own, draws like it.
            const auto shown = Load(OnlyEntry(bytes, other->second.shown));
            TBitmap alone = WhiteWork(300, 300);
            Draw(*shown, alone, {0, 0, 300, 300});
            ASSERT_EQ(reference.size(), QSize(shown->Width(), shown->Height()));
            EXPECT_LE(WorstDifference(alone, reference), 1);
            continue;
        }
        if (reference.isNull())
            continue;
        ASSERT_EQ(reference.width(), icon->Width());
        ASSERT_EQ(reference.height(), icon->Height());
        EXPECT_LE(WorstDifference(work, reference), 1);
        ++compared;
    }
    EXPECT_EQ(compared, 7);
}

} // namespace
