#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include <QFile>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "Bitmap.h"
#include "Canvas.h"
#include "DuplicateTest.h"
#include "Errors.h"
#include "FuzzyCheck.h"
#include "Picture.h"
#include "ReferenceRun.h"
#include "TestSupport.h"

using orvelle::CheckOutcome;
using orvelle::CheckResult;
using orvelle::FuzzyOptions;
using orvelle::RunFuzzyCheck;
using orvelle::test::ExpectSame;
using orvelle::test::Jpeg;
using orvelle::test::Reference;
using orvelle::test::RunReference;
using orvelle::test::Sandbox;

namespace {

// A picture with smooth areas, edges and noise, so that block bounds settle
// some pairs and leave others to the scan.
unsigned Scene(int x, int y, int seed)
{
    const unsigned noise = (unsigned(x * 7919 + y * 104729 + seed * 31337) * 2654435761u) >> 27;
    const int r = (x * 255 / 160 + seed * 40) % 256;
    const int g = ((y / 16 + seed) % 2) ? 200 : 40;
    const int b = std::min(255, int((x + y) % 64 * 4 + noise));
    return unsigned(r) << 16 | unsigned(g) << 8 | unsigned(b);
}

unsigned Brighter(unsigned rgb, int percent)
{
    unsigned out = 0;
    for (int shift : {16, 8, 0}) {
        const int c = int((rgb >> shift) & 0xFF) * (100 + percent) / 100;
        out |= unsigned(std::clamp(c, 0, 255)) << shift;
    }
    return out;
}

// Pictures of every kind the comparison meets: families of one scene at one
// size (copies, brighter, re-saved, a few pixels changed), at other sizes
// (sampled and drawn), every BMP layout, JPEG in colour and grey, metafiles
// and icons, and the ways a pair fails: no picture format, a missing file, a
// damaged header, damaged image data, another name of one file.
struct Pool {
    Sandbox box;
    QStringList good;
    QStringList bad;

    Pool()
    {
        orvelle::test::EnsureGuiApplication();
        const auto scene = [](int seed) { return [seed](int x, int y) { return Scene(x, y, seed); }; };
        for (int k = 0; k < 2; ++k)
            good << box.WriteFile(QStringLiteral("p/a%1.bmp").arg(k), orvelle::test::Bmp24(160, 120, scene(1)));
        good << box.WriteFile("p/a-bright.bmp", orvelle::test::Bmp24(160, 120, [](int x, int y) {
            return Brighter(Scene(x, y, 1), 8);
        }));
        good << box.WriteFile("p/a-marked.bmp", orvelle::test::Bmp24(160, 120, [](int x, int y) {
            return x < 40 && y < 100 ? 0xFF00FFu : Scene(x, y, 1);
        }));
        good << box.WriteFile("p/b.bmp", orvelle::test::Bmp24(160, 120, scene(2)));
        good << box.WriteFile("p/a-half.bmp", orvelle::test::Bmp24(80, 60, [](int x, int y) {
            return Scene(2 * x, 2 * y, 1);
        }));
        good << box.WriteFile("p/a-wide.bmp", orvelle::test::Bmp24(200, 90, scene(1)));
        // Four times larger, and marked: drawn at the others' sizes, each of
        // their pixels is sampled from one of its blocks, the first from the
        // third pixel of the third row of a corner of changing greys.
        good << box.WriteFile("p/a-large.bmp", orvelle::test::Bmp24(640, 480, [](int x, int y) {
            if (x < 6 && y < 6)
                return 0x010101u * unsigned(20 + 40 * x + 7 * y);
            return x < 96 && y > 400 ? 0x00FF00u : Scene(x / 4, y / 4, 1);
        }));
        good << box.WriteFile("p/a-cut.bmp", orvelle::test::Bmp24(160, 100, scene(1)));
        good << box.WriteFile("p/a.jpg", Jpeg(160, 120, 90, false, scene(1)));
        good << box.WriteFile("p/a-low.jpg", Jpeg(160, 120, 50, false, scene(1)));
        good << box.WriteFile("p/a-gray.jpeg", Jpeg(160, 120, 85, true, scene(1)));
        good << box.WriteFile("p/a-small.jpg", Jpeg(120, 90, 85, false, scene(1)));
        good << box.WriteFile("p/tiny.bmp", orvelle::test::Bmp24(1, 1, scene(3)));
        const QString corpus = orvelle::test::CorpusDir();
        if (!corpus.isEmpty()) {
            for (const char* name : {"bmp/Info_1_Bit.bmp", "bmp/Info_8_Bit.bmp", "bmp/V3_R5_G6_B5.bmp",
                                     "bmp/Info_4_Bit_Top_Down.bmp", "bmp/Info_A8_R8_G8_B8.bmp",
                                     "bmp/pal4rle.bmp", "ico/smile.ico", "ico/png_l8.ico",
                                     "emf/test-026.emf", "wmf/formula1.wmf"})
                good << corpus + u'/' + QString::fromLatin1(name);
        }
#ifndef _WIN32
        if (::link(QFile::encodeName(good.front()).constData(),
                   QFile::encodeName(box("p/a-link.bmp")).constData()) == 0)
            good << box("p/a-link.bmp");
#endif
        good << box("p/../p/a1.bmp");

        const QByteArray jpeg = Jpeg(160, 120, 90, false, scene(4));
        bad << box.WriteFile("bad/a.gif", "GIF89a") << box("bad/missing.jpg")
            << box.WriteFile("bad/header.jpg", jpeg.left(40))
            << box.WriteFile("bad/header.bmp", QByteArray("BM") + QByteArray(20, '\x7f'));
        QByteArray garbled = jpeg;
        for (qsizetype i = garbled.size() / 2; i < garbled.size() - 2; i += 3)
            garbled[i] = '\xff';
        bad << box.WriteFile("bad/garbled.jpg", garbled);
        // An empty JPEG file (a camera that died mid-write) loads as a
        // picture of no size and fails only when drawn.
        bad << box.WriteFile("bad/data.jpg") << box.WriteFile("bad/data2.jpeg");
        // An icon whose one entry lies past the end of the file: it too loads
        // and fails when drawn, with another message than the JPEG's.
        QByteArray icon("\0\0\1\0\1\0", 6);
        icon += QByteArray("\x10\x10\0\0\1\0\x20\0\xe8\x03\0\0\x16\0\0\0", 16);
        bad << box.WriteFile("bad/entry.ico", icon + QByteArray(10, '\0'));
    }

    QStringList Draw(std::mt19937& random, int size, bool withBad) const
    {
        return orvelle::test::RandomList(random, good, withBad ? bad : QStringList{}, size, 8);
    }
};

const Pool& ThePool()
{
    static const Pool pool;
    return pool;
}

orvelle::PairTest Oracle(const std::shared_ptr<orvelle::DuplicateTest>& test)
{
    return [test](const QString& a, const QString& b) { return test->IsDuplicate(a, b); };
}

} // namespace

TEST(FuzzyCheck, MatchesTheReferenceOnRandomListsOfRealPictures)
{
    const Pool& pool = ThePool();
    std::mt19937 random(4096);
    const int counts[] = {-1, 0, 1, 5, 25, 60, 100};
    const int colours[] = {-5, 0, 10, 25, 50, 200};
    const std::int64_t caches[] = {0, 40 * 1024, std::int64_t(1) << 30};
    for (int round = 0; round < 300; ++round) {
        FuzzyOptions options;
        options.IgnoreSize = random() % 2 == 0;
        options.Err_Count = counts[random() % std::size(counts)];
        options.Err_Clr = colours[random() % std::size(colours)];
        const QStringList files = pool.Draw(random, int(random() % 12), round % 3 == 0);
        const auto test = std::make_shared<orvelle::DuplicateTest>(false, options);
        const Reference reference = RunReference(files, Oracle(test));
        const std::atomic<bool> cancel{false};
        const std::int64_t cache = caches[random() % std::size(caches)];
        const int threads = 1 + int(random() % 3);
        ExpectSame(RunFuzzyCheck(files, options, cache, cancel, {}, threads), reference,
                   "round " + std::to_string(round) + " ignore " +
                       std::to_string(options.IgnoreSize) + " count " +
                       std::to_string(options.Err_Count) + " colour " +
                       std::to_string(options.Err_Clr) + " cache " + std::to_string(cache));
    }
}

TEST(FuzzyCheck, EveryPairOfFailingAndOddPicturesFailsAsTheReferenceDoes)
{
    // Which error a pair raises depends on the order of loading, the size
    // test, the work bitmaps and the two draws; every ordered pair of these
    // pictures puts that order to the test.
    const Pool& pool = ThePool();
    QStringList some = pool.bad;
    for (const char* name : {"p/a0.bmp", "p/a-cut.bmp", "p/tiny.bmp", "p/a-small.jpg"})
        some << pool.box(QString::fromLatin1(name));
    for (const QString& file : pool.good) {
        if (file.endsWith(u".ico") || file.endsWith(u".emf") || file.endsWith(u"1_Bit.bmp"))
            some << file;
    }
    for (const bool ignoreSize : {false, true}) {
        FuzzyOptions options;
        options.IgnoreSize = ignoreSize;
        const auto test = std::make_shared<orvelle::DuplicateTest>(false, options);
        for (const QString& x : some) {
            for (const QString& y : some) {
                const QStringList files{x, y};
                const std::atomic<bool> cancel{false};
                ExpectSame(RunFuzzyCheck(files, options, std::int64_t(1) << 30, cancel, {}, 1),
                           RunReference(files, Oracle(test)),
                           (x + u' ' + y + u' ' + QString::number(ignoreSize)).toStdString());
            }
        }
    }
}

TEST(FuzzyCheck, CancelLeavesAStateTheRunPassesThrough)
{
    const Pool& pool = ThePool();
    std::mt19937 random(99);
    int cancelled = 0;
    for (int round = 0; round < 20; ++round) {
        FuzzyOptions options;
        options.IgnoreSize = round % 2 == 0;
        const QStringList files = pool.Draw(random, 14, false);
        const auto delay = std::chrono::microseconds(round == 0 ? 0 : 1 + random() % 30000);
        cancelled += orvelle::test::ExpectCancelSeenBetweenPairs(
            files, Oracle(std::make_shared<orvelle::DuplicateTest>(false, options)), delay,
            [&](const std::atomic<bool>& cancel) {
                return RunFuzzyCheck(files, options, std::int64_t(1) << 30, cancel, {}, 2);
            },
            "round " + std::to_string(round));
    }
    EXPECT_GT(cancelled, 0);
}

TEST(FuzzyCheck, ThePoolHasAPictureThatFailsOnlyWhenDrawn)
{
    // Without one, the draw-error order of a pair would go untested above.
    const Pool& pool = ThePool();
    TPicture picture;
    ASSERT_NO_THROW(picture.LoadFile(pool.box("bad/data.jpg")));
    TBitmap bitmap;
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    bitmap.SetSize(8, 8);
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_THROW(TCanvas(bitmap).DrawStretched({0, 0, 8, 8}, picture.Graphic()), EJPEG);
    TPicture icon;
    ASSERT_NO_THROW(icon.LoadFile(pool.box("bad/entry.ico")));
    EXPECT_THROW(TCanvas(bitmap).DrawStretched({0, 0, 8, 8}, icon.Graphic()), EInvalidGraphic);
}
