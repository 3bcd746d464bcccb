// Pictures whose headers claim far more than their files hold: each is drawn
// at 64 × 64 as the fuzzy check and the preview draw it, and must give a
// picture (the pixels it always gave) or EOutOfResources, while the memory
// it takes and the pixels it looks at follow the data, not the claim.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include "Bitmap.h"
#include "ByteWriter.h"
#include "Canvas.h"
#include "EmfContext.h"
#include "Errors.h"
#include "Icon.h"
#include "JPEGImage.h"
#include "MemoryBudget.h"
#include "MetafileWriters.h"
#include "TestSupport.h"

namespace {

using namespace orvelle::test;
using orvelle::BgrColour;

// How far the resident memory rose while work ran, in MiB: the peak the
// system recorded after being told to forget the earlier one. None where
// the system keeps no such record.
std::optional<double> PeakRiseMiB(const std::function<void()>& work)
{
    const auto field = [](const char* name) -> std::optional<double> {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return std::nullopt;
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(name))
                return line.mid(qsizetype(std::strlen(name))).trimmed().split(' ').front().toDouble() /
                       1024;
        }
        return std::nullopt;
    };
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    const std::optional<double> before = field("VmRSS:");
    if (!before || !clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        return std::nullopt;
    clear.close();
    work();
    const std::optional<double> peak = field("VmHWM:");
    if (!peak)
        return std::nullopt;
    return *peak - *before;
}

// Under AddressSanitizer every allocation carries its shadow and freed blocks
// wait in quarantine, so the process's peak says nothing about the layer.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasured = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryMeasured = false;
#else
constexpr bool kMemoryMeasured = true;
#endif
#else
constexpr bool kMemoryMeasured = true;
#endif

// Runs work and expects the memory it took to stay under limit MiB.
void ExpectPeakBelow(double limit, const std::function<void()>& work)
{
    if (!kMemoryMeasured) {
        work();
        return;
    }
    const std::optional<double> rise = PeakRiseMiB(work);
    if (!rise) {
        ::testing::Test::RecordProperty("peak memory", "not reported by the system");
        return;
    }
    EXPECT_LT(*rise, limit) << "MiB taken";
}

constexpr double kBoundMiB = 64;

// A BMP file: the 40-byte info header, a colour table of 0xRRGGBB entries
// and the pixel bytes as given.
QByteArray BmpFile(std::int32_t width, std::int32_t height, int bits,
                   const std::vector<unsigned>& table, const QByteArray& pixels,
                   std::uint32_t compression = 0)
{
    QByteArray info;
    for (std::uint32_t v : {40U, std::uint32_t(width), std::uint32_t(height)})
        PutU32(info, v);
    PutU16(info, 1);
    PutU16(info, unsigned(bits));
    for (std::uint32_t v : {compression, 0U, 2835U, 2835U, std::uint32_t(table.size()), 0U})
        PutU32(info, v);
    for (unsigned c : table)
        PutU32(info, c); // blue, green, red, 0
    QByteArray file("BM");
    PutU32(file, std::uint32_t(14 + info.size() + pixels.size()));
    PutU32(file, 0);
    PutU32(file, std::uint32_t(14 + info.size()));
    return file + info + pixels;
}

void LoadInto(TGraphic& graphic, const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    graphic.LoadFromStream(buffer);
}

// The graphic drawn over a white 64 × 64 work bitmap, and how many source
// pixels the canvas looked at.
struct Drawn {
    TBitmap bitmap;
    std::int64_t looked = 0;
};

Drawn Draw64(TGraphic& graphic)
{
    Drawn drawn{WorkBitmap(64, 64)};
    TCanvas canvas(drawn.bitmap);
    canvas.DrawStretched({0, 0, 64, 64}, &graphic);
    drawn.looked = canvas.SourcePixelsRead();
    return drawn;
}

// A Graphic loaded from file and drawn as Draw64 draws it, the loading, the
// drawing and the graphic's end together kept under kBoundMiB. loaded looks
// at the graphic before it is drawn, drawn after; both inside the bound.
template <class Graphic>
Drawn LoadAndDraw64(const QByteArray& file, const std::function<void(Graphic&)>& loaded = {},
                    const std::function<void(Graphic&)>& drawn = {})
{
    Drawn result;
    ExpectPeakBelow(kBoundMiB, [&] {
        Graphic graphic;
        LoadInto(graphic, file);
        if (loaded)
            loaded(graphic);
        result = Draw64(graphic);
        if (drawn)
            drawn(graphic);
    });
    return result;
}

unsigned AndOf(unsigned a, unsigned b)
{
    return a & b;
}

// The source pixels target pixel t stands for along one axis, by the
// canvas's rule: the nearest one, and when a two-colour source is shrunk
// every source pixel whose centre falls inside the target pixel.
std::pair<int, int> Stands(int t, int source, int target, bool combine)
{
    const int nearest = orvelle::NearestSource(t, source, target);
    int first = nearest, last = nearest;
    if (combine) {
        for (int s = 0; s < source; ++s) {
            if ((2 * std::int64_t(s) + 1) * target / (2 * std::int64_t(source)) == t) {
                first = std::min(first, s);
                last = std::max(last, s);
            }
        }
    }
    return {first, last};
}

class PictureCostTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureGuiApplication(); }
};

// The three files that first showed the fault, as they were.

TEST_F(PictureCostTest, OneRowOfTwoThousandMillionPixelsDrawsFromItsDataAlone)
{
    // 126 bytes: 512 two-colour pixels of data in a row that claims
    // 2,147,483,647. Drawn 64 wide, the first target pixel holds the data's
    // both colours, ANDed; every other one only zeros, the first colour.
    constexpr unsigned zero = 0x30C0F0, one = 0xF0C030;
    const QByteArray file = BmpFile(2147483647, 1, 1, {zero, one}, QByteArray(64, char(0x55)));
    ASSERT_EQ(file.size(), 126);
    const Drawn drawn = LoadAndDraw64<TBitmap>(
        file, [](TBitmap& bitmap) { EXPECT_EQ(bitmap.Width(), 2147483647); });
    for (int y = 0; y < 64; ++y) {
        EXPECT_EQ(Rgb(drawn.bitmap, 0, y), AndOf(zero, one)) << y;
        for (int x = 1; x < 64; ++x)
            ASSERT_EQ(Rgb(drawn.bitmap, x, y), zero) << x << ", " << y;
    }
    // The stored bytes, not the two thousand million pixels.
    EXPECT_LE(drawn.looked, 64 * 8);
}

TEST_F(PictureCostTest, SixteenKilobytesClaimingTwoGigabytesTakeOnlyWhatTheyHold)
{
    // 16,711,807 × 64 16-bit pixels are 2,139,111,424 bytes, just inside
    // what a bitmap may take; the file holds the start of the bottom row.
    QByteArray pixels;
    for (int i = 0; i < 7936; ++i)
        PutU16(pixels, unsigned(i * 37) & 0x7FFF);
    const QByteArray file = BmpFile(16711807, 64, 16, {}, pixels);
    const Drawn drawn =
        LoadAndDraw64<TBitmap>(file, [](TBitmap& bitmap) { EXPECT_EQ(bitmap.StoredRows(), 1); });
    // Every column drawn takes a source pixel past the data: all of them 0.
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(Rgb(drawn.bitmap, x, y), 0u) << x << ", " << y;
    // The bottom row and the one row all the others share.
    EXPECT_LE(drawn.looked, 2 * 64);
}

TEST_F(PictureCostTest, TwoColourPictureOfFourThousandMillionPixelsShrinksByItsData)
{
    // 259 bytes, 65,542 × 65,536 two-colour pixels: the data fills the
    // start of the bottom row. Shrunk to 64 × 64 every target pixel ANDs
    // about a million source pixels; only the bottom-left one sees both
    // colours.
    constexpr unsigned zero = 0x30C0F0, one = 0xF0C030;
    const QByteArray file = BmpFile(65542, 65536, 1, {zero, one}, QByteArray(197, char(0xAA)));
    ASSERT_EQ(file.size(), 259);
    const Drawn drawn = LoadAndDraw64<TBitmap>(file);
    // The data's 1,576 pixels, both colours among them, fall to the first
    // target columns of the bottom row.
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool both = y == 63 && Stands(x, 65542, 64, true).first < 197 * 8;
            ASSERT_EQ(Rgb(drawn.bitmap, x, y), both ? AndOf(zero, one) : zero) << x << ", " << y;
        }
    EXPECT_LT(drawn.looked, 100000);
}

// The drawing rule itself, on bitmaps whose data ends part-way, against the
// rule computed pixel by pixel from the file's bytes.

struct PartialRow {
    const char* name;
    int width;
    int height; // negative: stored top row first
    int bits;
    int dataBytes;
};

// The colour index (or 24-bit colour) of pixel (x, y) from the top, read
// straight from the file's pixel bytes: 0 past the data.
unsigned FilePixel(const PartialRow& row, const QByteArray& data, int x, int y)
{
    const int rows = std::abs(row.height);
    const std::int64_t stride = orvelle::RowStride(row.width, row.bits);
    const std::int64_t stored = row.height > 0 ? rows - 1 - y : y;
    const std::int64_t at = stride * stored + std::int64_t(x) * row.bits / 8;
    const auto byte = [&](std::int64_t i) {
        return i < data.size() ? unsigned(std::uint8_t(data[qsizetype(i)])) : 0u;
    };
    switch (row.bits) {
    case 1:
        return (byte(at) >> (7 - x % 8)) & 1;
    case 4:
        return x % 2 == 0 ? byte(at) >> 4 : byte(at) & 0x0F;
    case 8:
        return byte(at);
    default:
        return byte(at + 2) << 16 | byte(at + 1) << 8 | byte(at);
    }
}

TEST_F(PictureCostTest, PicturesWhoseDataEndsDrawByThePixelRule)
{
    const std::vector<unsigned> table = {0x30C0F0, 0xF0C030, 0x123456, 0xABCDEF};
    const PartialRow rows[] = {
        {"two colours, bottom-up, cut in a row", 203, 157, 1, 1300},
        {"two colours, top-down, cut in a row", 203, -157, 1, 1300},
        {"two colours, one row of data", 150, 90, 1, 20},
        {"two colours, no data", 40, 40, 1, 0},
        {"16 colours, bottom-up", 77, 61, 4, 700},
        {"256 colours, top-down", 77, -61, 8, 2000},
        {"24 bits, bottom-up", 31, 97, 24, 4000},
    };
    const std::pair<int, int> targets[] = {{64, 64}, {300, 40}, {13, 500}, {1, 1}};
    std::mt19937 random(7);
    for (const PartialRow& row : rows) {
        SCOPED_TRACE(row.name);
        QByteArray data;
        for (int i = 0; i < row.dataBytes; ++i)
            data.append(char(row.bits == 4 ? random() & 0x33 : random() & (row.bits == 8 ? 3 : 0xFF)));
        const std::vector<unsigned> colours(table.begin(), table.begin() + (row.bits < 24 ? 4 : 0));
        TBitmap bitmap;
        LoadInto(bitmap, BmpFile(row.width, row.height, row.bits, colours, data));
        const int width = row.width, height = std::abs(row.height);
        const auto colourAt = [&](int x, int y) {
            const unsigned p = FilePixel(row, data, x, y);
            return row.bits == 24 ? p : (p < colours.size() ? colours[p] : 0u);
        };
        for (const auto& [tw, th] : targets) {
            SCOPED_TRACE(std::to_string(tw) + " × " + std::to_string(th));
            TBitmap target = WorkBitmap(tw, th);
            TCanvas(target).DrawStretched({0, 0, tw, th}, &bitmap);
            const bool two = row.bits == 1;
            for (int ty = 0; ty < th; ++ty) {
                const auto [y0, y1] = Stands(ty, height, th, two && th < height);
                for (int tx = 0; tx < tw; ++tx) {
                    const auto [x0, x1] = Stands(tx, width, tw, two && tw < width);
                    unsigned expected = 0xFFFFFF;
                    for (int y = y0; y <= y1; ++y)
                        for (int x = x0; x <= x1; ++x)
                            expected &= colourAt(x, y);
                    ASSERT_EQ(Rgb(target, tx, ty), expected) << tx << ", " << ty;
                }
            }
        }
    }
}

TEST_F(PictureCostTest, RunLengthPictureClaimingAGigabyteCommitsWhatItsCodesPaint)
{
    // 20,000 × 20,000 run-length pixels expand to 1.2 GB of 24-bit rows.
    // The codes paint one run in the two rows the 64 × 64 draw samples first
    // and last, and move between them by deltas.
    constexpr int side = 20000;
    const int sampledLast = orvelle::NearestSource(63, side, 64); // from the top
    const int sampledFirst = orvelle::NearestSource(0, side, 64);
    QByteArray codes;
    const auto delta = [&](int up) {
        for (; up > 0; up -= std::min(up, 255))
            codes.append(char(0)).append(char(2)).append(char(0)).append(char(std::min(up, 255)));
    };
    delta(side - 1 - sampledLast); // rows count from the bottom
    codes.append(char(255)).append(char(1));
    codes.append(char(0)).append(char(0)); // end of line
    delta((side - 1 - sampledFirst) - (side - 1 - sampledLast) - 1);
    codes.append(char(255)).append(char(2));
    codes.append(char(0)).append(char(1)); // end of bitmap
    const std::vector<unsigned> table = {0x111111, 0xFF8000, 0x0080FF};
    const QByteArray file = BmpFile(side, side, 8, table, codes, 1);
    const Drawn drawn = LoadAndDraw64<TBitmap>(file);
    // The runs hold the first source column the draw takes, and no other.
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            unsigned expected = 0;
            if (x == 0 && y == 63)
                expected = table[1];
            if (x == 0 && y == 0)
                expected = table[2];
            ASSERT_EQ(Rgb(drawn.bitmap, x, y), expected) << x << ", " << y;
        }
}

// JPEG files put together by hand: one quantization table, and Huffman
// tables so small that a block takes two or four bits (a DC difference of 0,
// "0", or of ±1, "10" and one bit; then end of block, "0"), so a few bytes
// of scan data draw blocks of changing brightness. entropy must hold no
// 0xFF byte.
QByteArray HandMadeJpeg(int width, int height, int components, const QByteArray& entropy,
                        bool progressive = false, bool endMarker = true)
{
    QByteArray j;
    const auto marker = [&](unsigned m) { j.append(char(0xFF)).append(char(m)); };
    const auto big16 = [&](unsigned v) { j.append(char(v >> 8)).append(char(v & 0xFF)); };
    marker(0xD8);
    marker(0xDB);
    big16(67);
    j.append(char(0)).append(QByteArray(64, char(64)));
    marker(progressive ? 0xC2 : 0xC0);
    big16(8 + 3 * unsigned(components));
    j.append(char(8));
    big16(unsigned(height));
    big16(unsigned(width));
    j.append(char(components));
    for (int c = 1; c <= components; ++c)
        j.append(char(c)).append(char(c == 1 && components == 3 ? 0x22 : 0x11)).append(char(0));
    const auto table = [&](unsigned classAndId, std::vector<int> lengths, QByteArray symbols) {
        marker(0xC4);
        big16(3 + 16 + unsigned(symbols.size()));
        j.append(char(classAndId));
        lengths.resize(16);
        for (int n : lengths)
            j.append(char(n));
        j += symbols;
    };
    table(0x00, {1, 1}, QByteArray("\x00\x01", 2));
    table(0x10, {1}, QByteArray(1, '\0'));
    marker(0xDA);
    big16(6 + 2 * unsigned(components));
    j.append(char(components));
    for (int c = 1; c <= components; ++c)
        j.append(char(c)).append(char(0));
    // A progressive file has its DC scan only.
    j.append(char(0)).append(char(progressive ? 0 : 63)).append(char(0));
    j += entropy;
    if (endMarker)
        marker(0xD9);
    return j;
}

QByteArray ScanData(int bytes)
{
    std::mt19937 random(11);
    QByteArray data;
    for (int i = 0; i < bytes; ++i)
        data.append(char(random() % 0xFF));
    return data;
}

bool HaveTool(const QString& tool)
{
    return !QStandardPaths::findExecutable(tool).isEmpty();
}

TEST_F(PictureCostTest, JpegRowsPastTheDataComeOutAsTheReferenceDecoderMakesThem)
{
    if (!HaveTool(QStringLiteral("djpeg")))
        GTEST_SKIP() << "needs djpeg";
    struct Row {
        const char* name;
        int components;
        bool endMarker;
        int mcuRows;
    };
    const Row rows[] = {
        {"colour, 4:2:0, ending at its marker", 3, true, 16},
        {"colour, cut off without a marker", 3, false, 16},
        {"grayscale, dithered to 236 levels", 1, true, 8},
    };
    Sandbox box;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QByteArray file = HandMadeJpeg(320, 400, row.components, ScanData(200), false,
                                             row.endMarker);
        const QString path = box.WriteFile(QStringLiteral("hand.jpg"), file);
        TJPEGImage image;
        LoadInto(image, file);
        const TBitmap& decoded = image.Decoded();
        ASSERT_EQ(decoded.Height(), 400);
        // The data fills a few rows of MCUs; far from all rows were decoded.
        EXPECT_LT(decoded.StoredRows(), 400 - 4 * row.mcuRows);

        QProcess djpeg;
        QStringList args{"-dct", "float"};
        if (row.components == 1)
            args << "-colors" << "236" << "-dither" << "fs";
        djpeg.start(QStringLiteral("djpeg"), args << path);
        ASSERT_TRUE(djpeg.waitForFinished(60000));
        const QByteArray pnm = djpeg.readAllStandardOutput();
        const qsizetype channels = row.components;
        const QByteArray pixels = pnm.right(qsizetype(320) * 400 * channels);
        for (int y = 0; y < 400; ++y) {
            for (int x = 0; x < 320; ++x) {
                const BgrColour c = decoded.PixelColour(x, y);
                const char* p = pixels.constData() + (qsizetype(y) * 320 + x) * channels;
                const unsigned expected =
                    channels == 1 ? unsigned(std::uint8_t(p[0])) * 0x010101u
                                  : unsigned(std::uint8_t(p[0])) << 16 |
                                        unsigned(std::uint8_t(p[1])) << 8 | std::uint8_t(p[2]);
                ASSERT_EQ(unsigned(c.red) << 16 | unsigned(c.green) << 8 | c.blue, expected)
                    << x << ", " << y;
            }
        }
    }
}

TEST_F(PictureCostTest, TinyJpegClaimingSixteenThousandSquareDecodesItsDataOnly)
{
    const QByteArray file = HandMadeJpeg(16000, 16000, 3, ScanData(200));
    const Drawn drawn = LoadAndDraw64<TJPEGImage>(file, {}, [](TJPEGImage& image) {
        EXPECT_EQ(image.Height(), 16000);
        EXPECT_LT(image.Decoded().StoredRows(), 200);
    });
    // Every row the draw samples lies past the data: the empty-block gray.
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(Rgb(drawn.bitmap, x, y), 0x808080u) << x << ", " << y;
}

TEST_F(PictureCostTest, ProgressiveJpegWhoseDataEndsInItsFirstRowsDecodesThoseOnly)
{
    // A progressive decoder holds every coefficient of the image before a
    // row comes out. Here the data ends inside the first scan, a few rows
    // of MCUs in: those are decoded, and the 20,000 rows claimed are the
    // empty-block gray without their coefficients or rows being made.
    const QByteArray file = HandMadeJpeg(20000, 20000, 3, ScanData(200), true);
    Drawn drawn;
    ExpectPeakBelow(kBoundMiB, [&] {
        TJPEGImage image;
        LoadInto(image, file);
        drawn = Draw64(image);
        EXPECT_EQ(image.Height(), 20000);
        EXPECT_LT(image.Decoded().StoredRows(), 200);
    });
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(Rgb(drawn.bitmap, x, y), 0x808080u) << x << ", " << y;
}

TEST_F(PictureCostTest, ProgressiveJpegWhoseCoefficientsPassTheBudgetIsRefusedAtOnce)
{
    // After the first scan's few bytes, an AC scan: a code of it may skip
    // 32,767 blocks, so its 200 bytes can reach every row of 20,000 ×
    // 20,000 pixels. Every coefficient must then be held, which with the
    // rows passes what one picture may take: nothing of it is taken.
    QByteArray file = HandMadeJpeg(20000, 20000, 3, ScanData(200), true);
    QByteArray acScan("\xFF\xDA\x00\x08\x01\x01\x00\x01\x3F\x00", 10);
    file.insert(file.size() - 2, acScan + ScanData(200));
    ExpectPeakBelow(kBoundMiB, [&] {
        TJPEGImage image;
        LoadInto(image, file);
        TBitmap target = WorkBitmap(64, 64);
        TCanvas canvas(target);
        EXPECT_THROW(canvas.DrawStretched({0, 0, 64, 64}, &image), EOutOfResources);
    });
}

// An icon whose PNG entry holds 6,000 × 4,000 gray pixels in a few dozen
// kilobytes; the icon is the 32 × 32 its directory says. The image reader
// takes in the whole picture in its own format, but only the icon's part
// is made into colours.
TEST_F(PictureCostTest, IconEntryOfTwentyFourMillionPixelsMakesOnlyTheIconsOwn)
{
    QImage huge(6000, 4000, QImage::Format_Grayscale8);
    huge.fill(40);
    for (int i = 0; i < 40; ++i)
        huge.setPixel(i, (i * 7) % 40, qRgb(i * 6, i * 6, i * 6));
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(huge.save(&buffer, "PNG"));
    }
    QByteArray file;
    for (unsigned v : {0U, 1U, 1U})
        PutU16(file, v);
    file.append(char(32)).append(char(32)).append(char(0)).append(char(0));
    PutU16(file, 1);
    PutU16(file, 32);
    PutU32(file, std::uint32_t(png.size()));
    PutU32(file, 22);
    file += png;

    const Drawn drawn =
        LoadAndDraw64<TIcon>(file, {}, [](TIcon& icon) { EXPECT_EQ(icon.Width(), 32); });
    const QImage reference = QImage::fromData(png).convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(Rgb(drawn.bitmap, x, y),
                      x < 32 && y < 32 ? reference.pixel(x, y) & 0xFFFFFF : 0xFFFFFFu)
                << x << ", " << y;
}

// Metafiles whose bitmap records claim millions of rows and whose brushes
// claim 4096 × 4096 cells, drawn beside the same records with bitmaps of
// only the part that shows: the pixels must be the same.

constexpr std::uint32_t kPatCopy = 0x00F00021;

// A top-down 8-bit DIB of width × rows pixels of which only the first
// filled rows have data: pixel (x, y) is index (x + 2y) % 4 there, and 0 below.
Dib TallDib(int width, int rows, int filled)
{
    Dib d;
    for (std::uint32_t v : {40U, std::uint32_t(width), std::uint32_t(-rows)})
        PutU32(d.info, v);
    PutU16(d.info, 1);
    PutU16(d.info, 8);
    for (std::uint32_t v : {0U, 0U, 0U, 0U, 4U, 0U})
        PutU32(d.info, v);
    for (unsigned c : {0x102030U, 0xF08000U, 0x00C0FFU, 0x40FF40U})
        PutU32(d.info, c);
    const std::int64_t stride = orvelle::RowStride(width, 8);
    for (int y = 0; y < filled; ++y) {
        QByteArray line(qsizetype(stride), '\0');
        for (int x = 0; x < width; ++x)
            line[x] = char((x + 2 * y) % 4);
        d.bits += line;
    }
    return d;
}

// A 64 × 64 picture, one reference pixel a unit.
TBitmap RenderEmf(const std::function<void(EmfWriter&)>& records)
{
    EmfWriter w(0, 0, 6300, 6300);
    records(w);
    return Render(w.Bytes(), 64, 64, {0, 0, 64, 64});
}

TEST_F(PictureCostTest, MetafileBitmapsClaimingMillionsOfRowsDrawTheRowsTheyHold)
{
    struct Row {
        const char* name;
        std::function<void(EmfWriter&, const Dib&, int rows)> records;
    };
    const Row rows[] = {
        {"StretchDIBits",
         [](EmfWriter& w, const Dib& dib, int) {
             w.Raw(EmfRecord::StretchDIBits,
                   DibRecordBody(dib, {0, 0, 0, 0, 64, 64}, {kSrcCopy, 64, 64}));
         }},
        {"SetDIBitsToDevice, all its scan lines",
         [](EmfWriter& w, const Dib& dib, int rows) {
             w.Raw(EmfRecord::SetDIBitsToDevice,
                   DibRecordBody(dib, {0, 0, 0, 0, 64, 64}, {0, std::uint32_t(rows)}));
         }},
        {"StretchBlt",
         [](EmfWriter& w, const Dib& dib, int) {
             w.Raw(EmfRecord::StretchBlt, BlitBody({0, 0, 64, 64}, kSrcCopy, &dib, {64, 64}));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const TBitmap small =
            RenderEmf([&](EmfWriter& w) { row.records(w, TallDib(64, 64, 64), 64); });
        // 8,000,000 rows of 64 pixels; its 24-bit form is 1.5 GB.
        TBitmap tall;
        ExpectPeakBelow(kBoundMiB, [&] {
            tall = RenderEmf(
                [&](EmfWriter& w) { row.records(w, TallDib(64, 8000000, 64), 8000000); });
        });
        ASSERT_EQ(Pixels(tall), Pixels(small));
        EXPECT_GT(Inked(small), 4000); // the bitmap was drawn, not passed over
    }
}

TEST_F(PictureCostTest, PatternBrushOfAHugeCellMakesOnlyThePartThatShows)
{
    const auto fill = [](const Dib& cell) {
        return RenderEmf([&](EmfWriter& w) {
            w.Raw(EmfRecord::CreateDIBPatternBrushPt, PatternBrushBody(3, cell))
                .Add(EmfRecord::SelectObject, {3})
                .Raw(EmfRecord::BitBlt, BlitBody({0, 0, 64, 64}, kPatCopy, nullptr));
        });
    };
    const TBitmap small = fill(TallDib(64, 64, 64));
    TBitmap huge;
    ExpectPeakBelow(kBoundMiB, [&] { huge = fill(TallDib(4096, 4096, 64)); });
    ASSERT_EQ(Pixels(huge), Pixels(small));
    EXPECT_EQ(Inked(small), 64 * 64);
}

TEST_F(PictureCostTest, CutPatternCellLiesWhereTheWholeOneWouldThroughAMovedPainter)
{
    // A painter moved by (-10, -5): the part of the cell kept starts at its
    // column 10 and row 5, and must still land on the pixels it always did.
    EmfWriter w(0, 0, 6300, 6300);
    w.Raw(EmfRecord::CreateDIBPatternBrushPt, PatternBrushBody(3, TallDib(4096, 4096, 64)))
        .Add(EmfRecord::SelectObject, {3})
        .Raw(EmfRecord::BitBlt, BlitBody({0, 0, 64, 64}, kPatCopy, nullptr));
    TMetafile m = Load(w.Bytes());
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.translate(-10, -5);
        TCanvas canvas(painter, 64, 64);
        canvas.DrawStretched({10, 5, 74, 69}, &m);
    }
    const unsigned colours[] = {0x102030, 0xF08000, 0x00C0FF, 0x40FF40};
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int cellX = x + 10, cellY = y + 5;
            const unsigned expected = cellY < 64 ? colours[(cellX + 2 * cellY) % 4] : colours[0];
            ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, expected) << x << ", " << y;
        }
}

TEST_F(PictureCostTest, PatternCellsAreHeldInThePlaybacksBudget)
{
    // A cell as large as the painter's reach is kept whole; a cell that
    // does not fit what is left of the budget raises EOutOfResources.
    EmfWriter w(0, 0, 100, 100);
    const Dib cell = TallDib(64, 64, 64);
    w.Raw(EmfRecord::CreateDIBPatternBrushPt, PatternBrushBody(3, cell));
    const QByteArray emf = w.Bytes();
    const orvelle::RecordView record{emf, 108, emf.size() - 108 - 20};
    orvelle::MemoryBudget budget(3 * 64 * 64 * 4);
    const orvelle::DcState state;
    std::vector<orvelle::Brush> kept;
    for (int i = 0; i < 3; ++i)
        kept.push_back(orvelle::ReadPatternBrush(record, false, state, {QRect(0, 0, 64, 64), &budget}));
    EXPECT_EQ(budget.Held(), budget.Limit());
    EXPECT_THROW(orvelle::ReadPatternBrush(record, false, state, {QRect(0, 0, 64, 64), &budget}),
                 EOutOfResources);
    // What a brush held is given back when the last copy of it goes.
    orvelle::Brush copy = kept.front();
    kept.erase(kept.begin());
    EXPECT_EQ(budget.Held(), budget.Limit());
    copy = {};
    EXPECT_EQ(budget.Held(), 2 * 64 * 64 * 4);
    const orvelle::Brush narrow =
        orvelle::ReadPatternBrush(record, false, state, {QRect(5, 7, 10, 20), &budget});
    EXPECT_EQ(narrow.pattern.size(), QSize(10, 20));
    EXPECT_EQ(narrow.patternOrigin, QPoint(5, 7));
}

// The same in a Windows metafile, whose bitmap records the player gets
// through their translation.
TEST_F(PictureCostTest, WindowsMetafileBitmapsAndBrushesTakeWhatShows)
{
    const auto stretch = [](const Dib& dib) {
        return WmfRec(0x0F43, {int(kSrcCopy & 0xFFFF), int(kSrcCopy >> 16), 0, 64, 64, 0, 0, 64,
                               64, 0, 0},
                      dib.info + dib.bits);
    };
    const auto brush = [](const Dib& dib) {
        return WmfRec(0x0142, {5, 0}, dib.info + dib.bits) + WmfRec(0x012D, {0}) +
               WmfRec(0x061D, {int(kPatCopy & 0xFFFF), int(kPatCopy >> 16), 32, 64, 32, 0});
    };
    const auto render = [](const QByteArray& records) {
        TMetafile m = Load(PlaceableWmfAround(records, 64, 64, 96, 4));
        TBitmap target = WorkBitmap(64, 64);
        TCanvas(target).DrawStretched({0, 0, 64, 64}, &m);
        return target;
    };
    const TBitmap small = render(stretch(TallDib(64, 64, 64)) + brush(TallDib(64, 64, 64)));
    TBitmap huge;
    ExpectPeakBelow(kBoundMiB, [&] {
        huge = render(stretch(TallDib(64, 8000000, 64)) + brush(TallDib(4096, 4096, 64)));
    });
    ASSERT_EQ(Pixels(huge), Pixels(small));
    EXPECT_GT(Inked(small), 3000);
}

// The command-line tool under an address-space limit far below what the
// first file's claim once made it take: it draws, it does not die.
TEST_F(PictureCostTest, CommandLineRenderStaysInsideAnAddressSpaceLimit)
{
    if (!HaveTool(QStringLiteral("prlimit")))
        GTEST_SKIP() << "needs prlimit";
    if (!kMemoryMeasured)
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
    Sandbox box;
    constexpr unsigned zero = 0x30C0F0, one = 0xF0C030;
    const QString path = box.WriteFile(
        QStringLiteral("wide.bmp"), BmpFile(2147483647, 1, 1, {zero, one}, QByteArray(64, char(0x55))));
    QProcess cli;
    cli.start(QStringLiteral("prlimit"),
              {QStringLiteral("--as=%1").arg(qint64(3) << 30), QStringLiteral(ORVELLE_CLI),
               QStringLiteral("render"), path, QStringLiteral("--size"), QStringLiteral("64x64"),
               QStringLiteral("-o"), box(QStringLiteral("wide.ppm"))});
    ASSERT_TRUE(cli.waitForFinished(120000));
    ASSERT_EQ(cli.exitStatus(), QProcess::NormalExit) << cli.readAllStandardError().toStdString();
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    const QImage drawn(box(QStringLiteral("wide.ppm")));
    ASSERT_EQ(drawn.size(), QSize(64, 64));
    EXPECT_EQ(drawn.pixel(0, 10) & 0xFFFFFF, AndOf(zero, one));
    EXPECT_EQ(drawn.pixel(40, 10) & 0xFFFFFF, zero);
}

} // namespace
