#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QtEndian>

#include "Bitmap.h"
#include "Canvas.h"
#include "Errors.h"
#include "TestSupport.h"

// BMP files written by other programs, checked against PNG renderings that
// another decoder made of them.

namespace {

// Files our rules refuse, by name relative to the bmp folder.
const std::map<QString, const char*> kRefused = {
    {QStringLiteral("pal2.bmp"), "EInvalidGraphic"},       // 2 bits per pixel
    {QStringLiteral("pal2color.bmp"), "EInvalidGraphic"},  // 2 bits per pixel
    {QStringLiteral("rgb24rle24.bmp"), "EInvalidGraphic"}, // compression 4 (OS/2 RLE24)
    {QStringLiteral("rgba32abf.bmp"), "EInvalidGraphic"},  // compression 6 (alpha bit fields)
    {QStringLiteral("lenient/badplanes.bmp"), "EInvalidGraphic"},  // planes 30000
    {QStringLiteral("lenient/rletopdown.bmp"), "EInvalidGraphic"}, // RLE8 stored top row first
    {QStringLiteral("lenient/badpalettesize.bmp"), "EReadError"},  // 305 million colours used
};

// Files that load but whose reference rendering follows other rules.
struct Departure {
    int tolerance; // largest channel difference allowed; -1: no comparison
    const char* why;
};
const std::map<QString, Departure> kDepartures = {
    {QStringLiteral("pal8os2sp.bmp"),
     {-1, "a 252-entry OS/2 table: we read 256 entries and ignore the pixel offset"}},
    {QStringLiteral("rgb32-111110.bmp"),
     {1, "11- and 10-bit channels: we round to nearest, the reference drops low bits"}},
    {QStringLiteral("rgba32-61754.bmp"),
     {1, "a 17-bit green channel: we round to nearest, the reference drops low bits"}},
};

bool OneOfOurLoadErrors(const orvelle::Exception& e)
{
    return dynamic_cast<const EReadError*>(&e) || dynamic_cast<const EInvalidGraphic*>(&e) ||
           dynamic_cast<const EOutOfResources*>(&e);
}

// Loads the bytes; the class name of the error, or empty when it loaded.
QString LoadOutcome(const QByteArray& bytes, TBitmap& into)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        into.LoadFromStream(buffer);
        return {};
    } catch (const orvelle::Exception& e) {
        if (!OneOfOurLoadErrors(e))
            ADD_FAILURE() << "unexpected " << e.ClassName();
        return QString::fromLatin1(e.ClassName());
    }
}

// The bitmap drawn at its own size into a work bitmap, as the comparison
// draws it.
TBitmap WorkCopy(TBitmap& source)
{
    TBitmap work;
    work.SetPixelFormat(TPixelFormat::pf24bit);
    work.SetWidth(source.Width());
    work.SetHeight(source.Height());
    TCanvas(work).DrawStretched({0, 0, source.Width(), source.Height()}, &source);
    return work;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList CorpusFiles(const QString& root)
{
    QStringList names;
    QDirIterator it(root, {QStringLiteral("*.bmp")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        names << QDir(root).relativeFilePath(it.next());
    names.sort();
    return names;
}

class BmpCorpus : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString corpus = orvelle::test::CorpusDir();
        root_ = corpus.isEmpty() ? QString() : corpus + QStringLiteral("/bmp");
        if (root_.isEmpty() || !QFileInfo(root_).isDir())
            GTEST_SKIP() << "no BMP corpus (shared/corpus/bmp) beside the project";
        references_ = corpus + QStringLiteral("/bmp-reference");
    }

    QString root_;
    QString references_;
};

TEST_F(BmpCorpus, EveryFileLoadsOrFailsAsOurRulesSayAndMatchesItsReference)
{
    const QStringList names = CorpusFiles(root_);
    EXPECT_EQ(names.size(), 66);
    int compared = 0;
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        TBitmap bitmap;
        const QString outcome = LoadOutcome(ReadAll(root_ + u'/' + name), bitmap);
        const auto refused = kRefused.find(name);
        if (refused != kRefused.end()) {
            EXPECT_EQ(outcome, QString::fromLatin1(refused->second));
            continue;
        }
        ASSERT_EQ(outcome, QString()) << "should load";

        const auto departure = kDepartures.find(name);
        const int tolerance = departure == kDepartures.end() ? 0 : departure->second.tolerance;
        const QImage reference =
            QImage(references_ + u'/' + QFileInfo(name).fileName() + QStringLiteral(".png"))
                .convertToFormat(QImage::Format_ARGB32);
        if (reference.isNull() || tolerance < 0)
            continue;
        ASSERT_EQ(bitmap.Width(), reference.width());
        ASSERT_EQ(bitmap.Height(), reference.height());
        const TBitmap work = WorkCopy(bitmap);
        int worst = 0;
        for (int y = 0; y < work.Height(); ++y) {
            const std::uint8_t* row = work.PixelRow(y);
            for (int x = 0; x < work.Width(); ++x, row += 3) {
                // Colour only: the reference keeps a fourth channel as alpha.
                const QRgb want = reference.pixel(x, y);
                worst = std::max({worst, std::abs(qBlue(want) - row[0]),
                                  std::abs(qGreen(want) - row[1]), std::abs(qRed(want) - row[2])});
            }
        }
        EXPECT_LE(worst, tolerance);
        ++compared;
    }
    EXPECT_EQ(compared, 52);
}

TEST_F(BmpCorpus, CutAndDamagedCopiesNeverCrashOrRaiseAnythingElse)
{
    std::mt19937 random(20240601);
    for (const QString& name : CorpusFiles(root_)) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = ReadAll(root_ + u'/' + name);
        // Every length for small files, some two hundred for large ones.
        const qsizetype step = std::max<qsizetype>(1, bytes.size() / 200);
        for (qsizetype length = 0; length < bytes.size(); length += step) {
            TBitmap bitmap;
            LoadOutcome(bytes.left(length), bitmap);
        }
        // Random bytes overwritten behind the info header: masks, colour
        // table and pixels, run-length codes above all. (Damaged sizes in
        // the header would only make the loader claim up to 2 GiB over and
        // over; the tables of hand-made files cover them.)
        if (bytes.size() < 18)
            continue;
        const qsizetype from = std::min<qsizetype>(
            bytes.size() - 1, 14 + qFromLittleEndian<quint32>(bytes.constData() + 14));
        for (int round = 0; round < 100; ++round) {
            QByteArray damaged = bytes;
            for (int i = 0; i < 4; ++i) {
                const auto at =
                    std::uniform_int_distribution<qsizetype>(from, damaged.size() - 1)(random);
                damaged[at] = char(random() & 0xFF);
            }
            TBitmap bitmap;
            if (LoadOutcome(damaged, bitmap).isEmpty() && !bitmap.Empty())
                WorkCopy(bitmap);
        }
    }
}

} // namespace
