#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

// For the library's own message codes only; nothing here calls it.
#include <jpeglib.h>
// jerror.h takes the library version from jpeglib.h.
#include <jerror.h>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "JPEGImage.h"
#include "JpegDecoder.h"
#include "JpegMessages.h"
#include "Picture.h"
#include "RowName.h"
#include "TestSupport.h"

namespace orvelle {
namespace {

using test::RowName;
using test::Sandbox;

// A decoded picture as rows of RGB (channels 3) or gray (channels 1) bytes.
struct Image {
    int width = 0;
    int height = 0;
    int channels = 3;
    QByteArray pixels;
};

void AppendRgb(QByteArray& bytes, unsigned red, unsigned green, unsigned blue)
{
    bytes.append(char(red & 0xFF)).append(char(green & 0xFF)).append(char(blue & 0xFF));
}

bool HaveTools(const QStringList& tools)
{
    for (const QString& tool : tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return false;
    }
    return true;
}

#define REQUIRE_TOOLS(...)                                                                         \
    if (!HaveTools({__VA_ARGS__}))                                                                 \
    GTEST_SKIP() << "needs " << QStringList{__VA_ARGS__}.join(u' ').toStdString()

// Runs a tool to its end; its standard output, and its exit code in *code.
QByteArray RunTool(const QString& program, const QStringList& args, int* code = nullptr)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << program.toStdString() << " did not finish";
        return {};
    }
    if (code)
        *code = process.exitCode();
    else if (process.exitCode() != 0)
        ADD_FAILURE() << program.toStdString() << " " << args.join(u' ').toStdString() << ": "
                      << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput();
}

// Photograph-like test content: smooth gradients with a pseudo-random
// pattern on top, the same on every run.
QByteArray Pnm(int width, int height, bool gray)
{
    const int channels = gray ? 1 : 3;
    QByteArray bytes = QByteArray(gray ? "P5\n" : "P6\n") + QByteArray::number(width) + ' ' +
                       QByteArray::number(height) + "\n255\n";
    std::uint32_t grain = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            grain = grain * 1103515245u + 12345u;
            const int noise = int((grain >> 16) % 64) - 32;
            const int base[3] = {x * 255 / std::max(width - 1, 1),
                                 y * 255 / std::max(height - 1, 1), ((x + y) * 4) % 256};
            for (int c = 0; c < channels; ++c)
                bytes += char(std::clamp(base[c] + (c == 2 ? noise * 2 : noise), 0, 255));
        }
    }
    return bytes;
}

Image ParsePnm(const QByteArray& bytes)
{
    Image image;
    qsizetype at = 2;
    int fields[3] = {};
    for (int& field : fields) {
        while (at < bytes.size() && std::isspace(static_cast<unsigned char>(bytes[at])))
            ++at;
        while (at < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[at])))
            field = field * 10 + (bytes[at++] - '0');
    }
    image.width = fields[0];
    image.height = fields[1];
    image.channels = bytes.startsWith("P5") ? 1 : 3;
    image.pixels = bytes.mid(at + 1);
    EXPECT_EQ(image.pixels.size(), qsizetype(image.width) * image.height * image.channels);
    return image;
}

struct EncodeRow {
    const char* name;
    int width;
    int height;
    bool gray; // a grayscale source (PGM)
    QStringList options;
};

void PrintTo(const EncodeRow& row, std::ostream* out)
{
    *out << row.name << ": " << row.width << " x " << row.height << (row.gray ? " gray" : "")
         << " cjpeg " << row.options.join(u' ').toStdString();
}

std::string EncodeRowName(const testing::TestParamInfo<EncodeRow>& info)
{
    return RowName(info.index, info.param.name);
}

// The row's test picture written and encoded by cjpeg; the JPEG's path.
QString Encode(const Sandbox& box, const EncodeRow& row)
{
    const QString name = QString::fromLatin1(row.name);
    const QString source =
        box.WriteFile(name + (row.gray ? ".pgm" : ".ppm"), Pnm(row.width, row.height, row.gray));
    const QString target = box(name + ".jpg");
    RunTool(QStringLiteral("cjpeg"), row.options + QStringList{"-outfile", target, source});
    return target;
}

// djpeg's decode with the layer's settings.
Image Djpeg(const QString& path, bool gray = false, int* code = nullptr)
{
    QStringList args{"-dct", "float"};
    if (gray)
        args << "-colors"
             << "236"
             << "-dither"
             << "fs";
    return ParsePnm(RunTool(QStringLiteral("djpeg"), args << path, code));
}

// The picture drawn into a fresh work bitmap of its own size, as RGB rows.
Image DrawOurs(TPicture& picture)
{
    Image image{picture.Width(), picture.Height(), 3, {}};
    TBitmap work;
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetSize(image.width, image.height);
    TCanvas canvas(work);
    canvas.DrawStretched({0, 0, image.width, image.height}, picture.Graphic());
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* row = work.PixelRow(y);
        for (int x = 0; x < image.width; ++x, row += 3)
            AppendRgb(image.pixels, row[2], row[1], row[0]);
    }
    return image;
}

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EJPEG& error) {
        return error.Message().toStdString();
    }
    return "no EJPEG";
}

// Draws the picture over all of work; the EJPEG message, if one is raised.
std::string DrawError(TPicture& picture, TBitmap& work)
{
    TCanvas canvas(work);
    return MessageOf([&] {
        canvas.DrawStretched({0, 0, work.Width(), work.Height()}, picture.Graphic());
    });
}

// Where the segments with this marker start; the entropy-coded data after a
// scan header is stepped over.
std::vector<qsizetype> Segments(const QByteArray& bytes, std::uint8_t marker)
{
    std::vector<qsizetype> found;
    auto at = [&](qsizetype i) { return static_cast<std::uint8_t>(bytes[i]); };
    qsizetype i = 2;
    while (i + 4 <= bytes.size() && at(i) == 0xFF && at(i + 1) != JPEG_EOI) {
        if (at(i + 1) == marker)
            found.push_back(i);
        const bool scan = at(i + 1) == 0xDA;
        i += 2 + (at(i + 2) << 8 | at(i + 3));
        while (scan && i + 1 < bytes.size() &&
               !(at(i) == 0xFF && at(i + 1) != 0 && (at(i + 1) < 0xD0 || at(i + 1) > 0xD7)))
            ++i;
    }
    return found;
}

void ExpectSameImage(const Image& ours, const Image& reference)
{
    ASSERT_EQ(ours.width, reference.width);
    ASSERT_EQ(ours.height, reference.height);
    ASSERT_EQ(ours.pixels.size(), reference.pixels.size());
    qsizetype first = 0;
    while (first < ours.pixels.size() && ours.pixels[first] == reference.pixels[first])
        ++first;
    EXPECT_EQ(first, ours.pixels.size()) << "first difference at byte " << first;
}

// Grayscale work bitmap pixels reduced to one channel, checking that blue,
// green and red agree and that each value is one of the 236 levels.
Image GrayOf(const Image& rgb)
{
    std::set<int> levels;
    for (int j = 0; j < 236; ++j)
        levels.insert((j * 255 + 117) / 235);
    Image gray{rgb.width, rgb.height, 1, {}};
    for (qsizetype i = 0; i + 2 < rgb.pixels.size(); i += 3) {
        const int v = static_cast<std::uint8_t>(rgb.pixels[i]);
        EXPECT_EQ(rgb.pixels[i + 1], rgb.pixels[i]);
        EXPECT_EQ(rgb.pixels[i + 2], rgb.pixels[i]);
        EXPECT_TRUE(levels.count(v)) << v;
        gray.pixels += char(v);
    }
    return gray;
}

class JpegImageTest : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureGuiApplication(); }
    Sandbox box;
};

// One picture encoded by cjpeg per row.
class EncodedJpeg : public JpegImageTest, public ::testing::WithParamInterface<EncodeRow> {};

std::vector<EncodeRow> ColourRows()
{
    return {
        {"s420", 97, 61, false, {"-quality", "90", "-sample", "2x2"}},
        {"s422", 97, 61, false, {"-quality", "75", "-sample", "2x1"}},
        {"s444", 64, 48, false, {"-quality", "95", "-sample", "1x1"}},
        // Block smoothing shows in progressive files, most at low quality.
        {"progressive", 120, 90, false, {"-quality", "30", "-progressive"}},
        {"progressive444", 33, 17, false, {"-sample", "1x1", "-progressive"}},
        {"restart", 97, 61, false, {"-restart", "1"}},
        {"restartBlocks", 50, 40, false, {"-restart", "3B", "-progressive"}},
        {"oneHigh", 57, 1, false, {"-sample", "2x2"}},
        {"oneWide", 1, 43, false, {"-sample", "2x2"}},
        {"onePixel", 1, 1, false, {}},
        {"large", 1030, 770, false, {"-quality", "85"}},
    };
}

class ColourJpeg : public EncodedJpeg {};

TEST_P(ColourJpeg, MatchesTheReferenceDecoderExactly)
{
    REQUIRE_TOOLS("cjpeg", "djpeg");
    const EncodeRow& row = GetParam();
    const QString path = Encode(box, row);
    TPicture picture;
    picture.LoadFile(path);
    ASSERT_STREQ(picture.Graphic()->ClassName(), "TJPEGImage");
    EXPECT_FALSE(static_cast<TJPEGImage*>(picture.Graphic())->Grayscale());
    // The size comes from the header, before anything is decoded.
    EXPECT_EQ(picture.Width(), row.width);
    EXPECT_EQ(picture.Height(), row.height);
    ExpectSameImage(DrawOurs(picture), Djpeg(path));
    EXPECT_EQ(picture.Width(), row.width);
}

INSTANTIATE_TEST_SUITE_P(JpegImage, ColourJpeg, ::testing::ValuesIn(ColourRows()), EncodeRowName);

std::vector<EncodeRow> GrayRows()
{
    return {
        {"gray", 97, 61, true, {}},
        {"grayProgressive", 80, 64, true, {"-progressive", "-quality", "40"}},
        {"grayFromColour", 64, 33, false, {"-grayscale"}},
        {"grayRestart", 40, 40, true, {"-restart", "1"}},
        {"grayOneHigh", 70, 1, true, {}},
    };
}

class GrayJpeg : public EncodedJpeg {};

TEST_P(GrayJpeg, IsDitheredTo236Levels)
{
    REQUIRE_TOOLS("cjpeg", "djpeg");
    const QString path = Encode(box, GetParam());
    TPicture picture;
    picture.LoadFile(path);
    EXPECT_TRUE(static_cast<TJPEGImage*>(picture.Graphic())->Grayscale());
    ExpectSameImage(GrayOf(DrawOurs(picture)), Djpeg(path, true));
}

INSTANTIATE_TEST_SUITE_P(JpegImage, GrayJpeg, ::testing::ValuesIn(GrayRows()), EncodeRowName);

TEST_F(JpegImageTest, DataWithoutStartOfImageFailsAtLoad)
{
    const struct {
        const char* name;
        QByteArray bytes;
        const char* message;
    } rows[] = {
        {"text.jpg", "This is not a picture.\r\n", "JPEG エラー #52"},
        {"one.jpg", "\xFF", "JPEG エラー #52"},
        {"png.jpg", "\x89PNG\r\n\x1a\n", "JPEG エラー #52"},
        // A start marker and nothing more holds no image.
        {"soi.jpg", "\xFF\xD8", "JPEG エラー #50"},
    };
    for (const auto& row : rows) {
        const QString path = box.WriteFile(QString::fromLatin1(row.name), row.bytes);
        TPicture picture;
        EXPECT_EQ(MessageOf([&] { picture.LoadFile(path); }), row.message) << row.name;
        EXPECT_EQ(picture.Graphic(), nullptr) << row.name;
    }
}

TEST_F(JpegImageTest, EmptyFileLoadsAndFailsOnItsFirstDrawOnly)
{
    TPicture picture;
    picture.LoadFile(box.WriteFile(QStringLiteral("empty.jpg")));
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    EXPECT_TRUE(picture.Graphic()->Empty());

    TBitmap work;
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetSize(4, 3);
    EXPECT_EQ(DrawError(picture, work), "JPEG エラー #41");
    EXPECT_EQ(DrawError(picture, work), "no EJPEG");
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    EXPECT_EQ(work.PixelRow(2)[0], 255);
}

std::vector<EncodeRow> TruncatedRows()
{
    return {
        {"cutBaseline", 97, 61, false, {"-sample", "2x2"}},
        {"cutProgressive", 97, 61, false, {"-progressive"}},
        {"cutGray", 97, 61, true, {}},
    };
}

class TruncatedJpeg : public EncodedJpeg {};

TEST_P(TruncatedJpeg, DrawsLikeTheReferenceDecoder)
{
    REQUIRE_TOOLS("cjpeg", "djpeg");
    const EncodeRow& row = GetParam();
    const QString whole = Encode(box, row);
    const QByteArray bytes = box.ReadFile(QString::fromLatin1(row.name) + ".jpg");
    const std::vector<qsizetype> scans = Segments(bytes, 0xDA);
    ASSERT_FALSE(scans.empty());
    // Cut in the middle of the last scan's data; a progressive file also
    // in its second scan, which leaves coefficients unknown, so that
    // block smoothing has work to do.
    std::vector<qsizetype> cuts{(scans.back() + bytes.size()) / 2};
    if (scans.size() > 2)
        cuts.push_back((scans[1] + scans[2]) / 2);
    TPicture full;
    full.LoadFile(whole);
    const Image wholeImage = DrawOurs(full);
    for (const qsizetype cut : cuts) {
        SCOPED_TRACE(cut);
        const QString path =
            box.WriteFile(QString::fromLatin1(row.name) + "-cut.jpg", bytes.left(cut));
        TPicture picture;
        picture.LoadFile(path);
        EXPECT_EQ(picture.Width(), row.width);
        EXPECT_EQ(picture.Height(), row.height);
        Image ours;
        EXPECT_NO_THROW(ours = DrawOurs(picture));
        int code = 0;
        const Image reference = Djpeg(path, row.gray, &code);
        EXPECT_EQ(code, 2) << "the reference decoder should warn";
        ExpectSameImage(row.gray ? GrayOf(ours) : ours, reference);
        // The cut is real: the lower part differs from the whole file's.
        EXPECT_NE(ours.pixels, wholeImage.pixels);
    }
}

INSTANTIATE_TEST_SUITE_P(JpegImage, TruncatedJpeg, ::testing::ValuesIn(TruncatedRows()),
                         EncodeRowName);

// Tall pictures cut inside their first scan: a progressive or multi-scan
// decoder takes in every scan before a row comes out, and here the data
// reaches only the first rows, so only those are decoded; the rest must
// still come out exactly as the reference decoder makes them.
std::vector<EncodeRow> CutInFirstScanRows()
{
    return {
        {"tallProgressive", 96, 2400, false, {"-progressive"}},
        {"tallProgressive444", 90, 2000, false, {"-progressive", "-sample", "1x1"}},
        {"tallProgressive422", 90, 2000, false, {"-progressive", "-sample", "2x1"}},
        {"tallProgressiveGray", 100, 2400, true, {"-progressive"}},
        {"tallProgressiveRestarts", 96, 2400, false, {"-progressive", "-restart", "1"}},
        {"tallMultiScan", 96, 2400, false, {"-scans", "SCANS"}},
    };
}

class CutInFirstScan : public EncodedJpeg {
protected:
    // The file cut a little way into its first scan's data and far into
    // it, each drawn and laid beside the reference decoder's drawing.
    void ExpectCutsLikeTheReference(const QString& name, const QByteArray& bytes, int height,
                                    bool gray)
    {
        const std::vector<qsizetype> starts = Segments(bytes, 0xDA);
        ASSERT_FALSE(starts.empty());
        const qsizetype first = starts[0] + 2 + (std::uint8_t(bytes[starts[0] + 2]) << 8 |
                                                 std::uint8_t(bytes[starts[0] + 3]));
        const qsizetype end = starts.size() > 1 ? starts[1] : bytes.size() - 2;
        for (const int perMille : {5, 300}) {
            SCOPED_TRACE(perMille);
            const QString path = box.WriteFile(name + "-cut.jpg",
                                               bytes.left(first + (end - first) * perMille / 1000));
            TPicture picture;
            picture.LoadFile(path);
            Image ours;
            EXPECT_NO_THROW(ours = DrawOurs(picture));
            auto* image = dynamic_cast<TJPEGImage*>(picture.Graphic());
            ASSERT_NE(image, nullptr);
            // A block costs at least one bit (two in a sequential scan), and
            // real ones far more: cut early, the file cannot reach half its
            // rows.
            if (perMille < 10) {
                EXPECT_LT(image->Decoded().StoredRows(), height / 2);
            }
            int code = 0;
            const Image reference = Djpeg(path, gray, &code);
            EXPECT_EQ(code, 2) << "the reference decoder should warn";
            ExpectSameImage(gray ? GrayOf(ours) : ours, reference);
        }
    }
};

TEST_P(CutInFirstScan, DecodesTheRowsItsDataReachesAndTheRestAsTheReferenceDecoder)
{
    REQUIRE_TOOLS("cjpeg", "djpeg");
    EncodeRow row = GetParam();
    // A sequential file of one scan a component, written from a scan script.
    const QString scans = box.WriteFile(QStringLiteral("scans.txt"), "0;\n1;\n2;\n");
    row.options.replaceInStrings(QStringLiteral("SCANS"), scans);
    Encode(box, row);
    const QString name = QString::fromLatin1(row.name);
    ExpectCutsLikeTheReference(name, box.ReadFile(name + ".jpg"), row.height, row.gray);
}

// Four-component rows come out through a conversion of their own, so even
// a single scan of them is decoded as far as its data can reach.
TEST_F(CutInFirstScan, FourComponentFileDecodesTheRowsItsDataReaches)
{
    REQUIRE_TOOLS("convert", "djpeg");
    const QString source = box.WriteFile(QStringLiteral("tall.ppm"), Pnm(96, 2400, false));
    const QString path = box(QStringLiteral("tallCmyk.jpg"));
    RunTool(QStringLiteral("convert"), {source, "-colorspace", "CMYK", "-quality", "90", path});
    ExpectCutsLikeTheReference(QStringLiteral("tallCmyk"), box.ReadFile(QStringLiteral("tallCmyk.jpg")),
                               2400, false);
}

INSTANTIATE_TEST_SUITE_P(JpegImage, CutInFirstScan, ::testing::ValuesIn(CutInFirstScanRows()),
                         EncodeRowName);

// Bits put first bit first, a 0 byte stuffed after every 0xFF and the
// last byte filled up with 1 bits, as entropy-coded data is written.
class BitWriter {
public:
    void Put(unsigned value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            current_ = current_ << 1 | (value >> i & 1);
            if (++filled_ == 8)
                Flush();
        }
    }
    QByteArray Bytes()
    {
        while (filled_ != 0)
            Put(1, 1);
        return bytes_;
    }

private:
    void Flush()
    {
        bytes_.append(char(current_));
        if (current_ == 0xFF)
            bytes_.append(char(0));
        current_ = 0;
        filled_ = 0;
    }
    QByteArray bytes_;
    unsigned current_ = 0;
    int filled_ = 0;
};

// A progressive grayscale file 64 pixels wide, 8 blocks a row: a DC scan of
// three bytes, then an AC scan whose first two codes are runs of 30,000
// empty blocks each, so that its third puts a coefficient in block 60,000,
// 7,500 rows of blocks down. Data reaches that far in a few bytes, and a
// decoder that took the DC scan's size for the data's reach would miss it.
TEST_F(JpegImageTest, ARunOfEmptyBlocksCarriesDataFarDownAndIsDecoded)
{
    REQUIRE_TOOLS("djpeg");
    constexpr int kWidth = 64;
    constexpr int kHeight = 60016;
    QByteArray j("\xFF\xD8", 2);
    const auto segment = [&](unsigned marker, const QByteArray& body) {
        j.append(char(0xFF)).append(char(marker));
        j.append(char((body.size() + 2) >> 8)).append(char((body.size() + 2) & 0xFF));
        j += body;
    };
    segment(0xDB, QByteArray(1, 0) + QByteArray(64, char(16)));
    QByteArray frame("\x08", 1);
    frame.append(char(kHeight >> 8)).append(char(kHeight & 0xFF)).append(char(0)).append(char(kWidth));
    frame.append("\x01\x01\x11\x00", 4);
    segment(0xC2, frame);
    // Both tables: a 1-bit code and a 2-bit one. DC: a difference of 0 or of
    // size 1; AC: a run of 2^14 + 14 more bits empty blocks, or a
    // coefficient of size 1.
    segment(0xC4, QByteArray("\x00\x01\x01", 3) + QByteArray(14, 0) + QByteArray("\x00\x01", 2));
    segment(0xC4, QByteArray("\x10\x01\x01", 3) + QByteArray(14, 0) + QByteArray("\xE0\x01", 2));
    BitWriter dc;
    for (int block = 0; block < 8; ++block) {
        dc.Put(0b10, 2);
        dc.Put(1, 1);
    }
    segment(0xDA, QByteArray("\x01\x01\x00\x00\x00\x00", 6));
    j += dc.Bytes();
    BitWriter ac;
    ac.Put(0, 1);
    ac.Put(30000 - (1 << 14), 14);
    ac.Put(0, 1);
    ac.Put(30000 - (1 << 14), 14);
    ac.Put(0b10, 2);
    ac.Put(1, 1);
    ac.Put(0, 1);
    ac.Put(0, 14);
    segment(0xDA, QByteArray("\x01\x01\x00\x01\x3F\x00", 6));
    j += ac.Bytes();
    j.append("\xFF\xD9", 2);
    const QString path = box.WriteFile(QStringLiteral("farDown.jpg"), j);

    TPicture picture;
    picture.LoadFile(path);
    ASSERT_EQ(picture.Height(), kHeight);
    const Image ours = GrayOf(DrawOurs(picture));
    int code = 0;
    const Image reference = Djpeg(path, true, &code);
    ExpectSameImage(ours, reference);
    // The block far down is there: its pixels are not all alike.
    const auto at = [&](int x, int y) { return reference.pixels[qsizetype(y) * kWidth + x]; };
    EXPECT_NE(at(0, 60003), at(7, 60003));
    EXPECT_EQ(at(20, 60003), at(20, 30000));
}

TEST_F(JpegImageTest, FailureAfterTheRowsKeepsThemAndIsNotRepeated)
{
    REQUIRE_TOOLS("cjpeg", "djpeg");
    const QString good = Encode(box, {"good", 97, 61, false, {}});
    QByteArray bytes = box.ReadFile(QStringLiteral("good.jpg"));
    // A second scan header where the single scan should have been followed
    // by the end marker: the library notices only when finishing.
    const qsizetype sos = Segments(bytes, 0xDA).front();
    const int length = (std::uint8_t(bytes[sos + 2]) << 8) | std::uint8_t(bytes[sos + 3]);
    bytes.insert(bytes.size() - 2, bytes.mid(sos, 2 + length));
    TPicture picture;
    picture.LoadFile(box.WriteFile(QStringLiteral("twoScans.jpg"), bytes));

    TBitmap work;
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetSize(97, 61);
    EXPECT_EQ(DrawError(picture, work), "JPEG エラー #34");
    EXPECT_EQ(picture.Width(), 97);
    EXPECT_EQ(picture.Height(), 61);
    Image again;
    EXPECT_NO_THROW(again = DrawOurs(picture));
    ExpectSameImage(again, Djpeg(good));
}

TEST_F(JpegImageTest, FailureBeforeTheOutputSizeLeavesNoPicture)
{
    REQUIRE_TOOLS("cjpeg");
    Encode(box, {"prog", 97, 61, false, {"-progressive"}});
    QByteArray bytes = box.ReadFile(QStringLiteral("prog.jpg"));
    // The second scan asks for coefficients past the last one. The header
    // reads fine; progressive data is taken in before the output starts.
    const std::vector<qsizetype> scans = Segments(bytes, 0xDA);
    ASSERT_GE(scans.size(), 2u);
    const qsizetype second = scans[1];
    const int components = std::uint8_t(bytes[second + 4]);
    bytes[second + 5 + 2 * components + 1] = char(64);
    TPicture picture;
    picture.LoadFile(box.WriteFile(QStringLiteral("badScan.jpg"), bytes));
    EXPECT_EQ(picture.Width(), 97);

    TBitmap work;
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetSize(5, 5);
    EXPECT_EQ(DrawError(picture, work), "JPEG エラー #15");
    EXPECT_EQ(DrawError(picture, work), "no EJPEG");
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    EXPECT_EQ(work.PixelRow(4)[14], 255);
}

TEST_F(JpegImageTest, OrientationTagDoesNotTurnThePicture)
{
    REQUIRE_TOOLS("cjpeg", "djpeg");
    const QString plain = Encode(box, {"plain", 97, 61, false, {}});
    QByteArray bytes = box.ReadFile(QStringLiteral("plain.jpg"));
    // APP1 "Exif": a big-endian TIFF header with one entry, orientation
    // (0x0112) = 6, "turn 90° clockwise to view".
    const QByteArray exif("\xFF\xE1\x00\x22"
                          "Exif\x00\x00"
                          "MM\x00\x2A\x00\x00\x00\x08"
                          "\x00\x01"
                          "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
                          "\x00\x00\x00\x00",
                          36);
    bytes.insert(2, exif);
    const QString path = box.WriteFile(QStringLiteral("turned.jpg"), bytes);
    TPicture picture;
    picture.LoadFile(path);
    EXPECT_EQ(picture.Width(), 97);
    EXPECT_EQ(picture.Height(), 61);
    ExpectSameImage(DrawOurs(picture), Djpeg(plain));
}

TEST_F(JpegImageTest, CmykImagesComeOutInTheirColours)
{
    REQUIRE_TOOLS("convert", "identify", "djpeg");
    // Flat patches, big enough that their centres keep the colour.
    const unsigned colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF,
                                0x000000, 0x808080, 0xFFC020, 0x3060A0};
    const int patch = 24;
    const int width = 4 * patch, height = 2 * patch;
    QByteArray ppm =
        "P6\n" + QByteArray::number(width) + ' ' + QByteArray::number(height) + "\n255\n";
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned c = colours[(y / patch) * 4 + x / patch];
            AppendRgb(ppm, c >> 16, c >> 8, c);
        }
    }
    const QString source = box.WriteFile(QStringLiteral("patches.ppm"), ppm);
    const QString path = box(QStringLiteral("cmyk.jpg"));
    RunTool(QStringLiteral("convert"), {source, "-colorspace", "CMYK", "-quality", "92", path});
    ASSERT_EQ(RunTool(QStringLiteral("identify"), {"-format", "%[colorspace]", path}), "CMYK");

    TPicture picture;
    picture.LoadFile(path);
    const Image ours = DrawOurs(picture);
    // The reference decoder writes CMYK files as RGB with the Adobe rule.
    ExpectSameImage(ours, Djpeg(path));
    const QString back = box(QStringLiteral("back.ppm"));
    RunTool(QStringLiteral("convert"), {path, "-colorspace", "sRGB", back});
    const Image theirs = ParsePnm(box.ReadFile(QStringLiteral("back.ppm")));
    ASSERT_EQ(theirs.pixels.size(), ours.pixels.size());
    long long total = 0;
    for (qsizetype i = 0; i < ours.pixels.size(); ++i)
        total += std::abs(std::uint8_t(ours.pixels[i]) - std::uint8_t(theirs.pixels[i]));
    EXPECT_LT(double(total) / double(ours.pixels.size()), 2.0);
    for (int p = 0; p < 8; ++p) {
        const int x = (p % 4) * patch + patch / 2, y = (p / 4) * patch + patch / 2;
        const qsizetype at = (qsizetype(y) * width + x) * 3;
        for (int c = 0; c < 3; ++c) {
            const int want = (colours[p] >> (16 - 8 * c)) & 0xFF;
            EXPECT_NEAR(std::uint8_t(ours.pixels[at + c]), want, 6)
                << "patch " << p << " channel " << c;
        }
    }
}

// C, M, Y, K as stored; then blue, green, red.
struct CmykRow {
    const char* what;
    std::uint8_t cmyk[4];
    bool adobe;
    std::uint8_t bgr[3];
};

const CmykRow kCmykRows[] = {
    {"Adobe, no ink", {255, 255, 255, 255}, true, {255, 255, 255}},
    {"Adobe, full black", {255, 255, 255, 0}, true, {0, 0, 0}},
    {"Adobe, magenta and yellow make red", {255, 0, 0, 255}, true, {0, 0, 255}},
    // 10·100/255 = 3.9 rounds up.
    {"Adobe, black scales the rest and rounds", {128, 200, 10, 100}, true, {4, 78, 50}},
    {"plain, no ink", {0, 0, 0, 0}, false, {255, 255, 255}},
    {"plain, full black", {0, 0, 0, 255}, false, {0, 0, 0}},
    {"plain, magenta and yellow make red", {0, 255, 255, 0}, false, {0, 0, 255}},
    {"plain, the same mix as the Adobe one", {127, 55, 245, 155}, false, {4, 78, 50}},
};

void PrintTo(const CmykRow& row, std::ostream* out)
{
    *out << row.what << ": " << int(row.cmyk[0]) << " " << int(row.cmyk[1]) << " "
         << int(row.cmyk[2]) << " " << int(row.cmyk[3]);
}

class JpegCmykRow : public ::testing::TestWithParam<CmykRow> {};

TEST_P(JpegCmykRow, AdobeFilesStoreTheChannelsInverted)
{
    const CmykRow& row = GetParam();
    std::uint8_t bgr[3] = {};
    CmykRowToBgr(row.cmyk, bgr, 1, row.adobe);
    EXPECT_EQ(std::vector<int>(bgr, bgr + 3), std::vector<int>(row.bgr, row.bgr + 3));
}

INSTANTIATE_TEST_SUITE_P(JpegCmyk, JpegCmykRow, ::testing::ValuesIn(kCmykRows),
                         [](const ::testing::TestParamInfo<CmykRow>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST(JpegMessagesTest, LibraryCodesAreReportedInTheClassicNumbering)
{
    EXPECT_EQ(ClassicJpegCode(JMSG_NOMESSAGE), 0);
    EXPECT_EQ(ClassicJpegCode(JERR_ARITH_NOTIMPL), 1);
    EXPECT_EQ(ClassicJpegCode(JERR_BAD_BUFFER_MODE), 3);
    EXPECT_EQ(ClassicJpegCode(JERR_BAD_PROGRESSION), 15);
    EXPECT_EQ(ClassicJpegCode(JERR_EOI_EXPECTED), 34);
    EXPECT_EQ(ClassicJpegCode(JERR_INPUT_EMPTY), 41);
    EXPECT_EQ(ClassicJpegCode(JERR_NO_IMAGE), 50);
    EXPECT_EQ(ClassicJpegCode(JERR_NO_SOI), 52);
    EXPECT_EQ(ClassicJpegCode(JERR_XMS_WRITE), 71);
    // Codes the classic list does not have keep numbers of their own.
    EXPECT_EQ(ClassicJpegCode(JERR_BAD_ALLOC_CHUNK), kFirstNewJpegCode + JERR_BAD_ALLOC_CHUNK);
    EXPECT_EQ(ClassicJpegCode(JERR_BAD_CROP_SPEC), kFirstNewJpegCode + JERR_BAD_CROP_SPEC);
    EXPECT_EQ(JpegErrorText(52), QStringLiteral("JPEG エラー #52"));

    // Each classic number is given to exactly one library code, so no name
    // in the classic list is misspelt, and no two codes share a number.
    std::vector<int> owners(kFirstNewJpegCode, 0);
    std::set<int> seen;
    for (int code = 0; code < JMSG_LASTMSGCODE; ++code) {
        const int classic = ClassicJpegCode(code);
        EXPECT_TRUE(seen.insert(classic).second) << code;
        if (classic < kFirstNewJpegCode)
            ++owners[std::size_t(classic)];
    }
    for (int classic = 0; classic < kFirstNewJpegCode; ++classic)
        EXPECT_EQ(owners[std::size_t(classic)], 1) << classic;
}

} // namespace
} // namespace orvelle
