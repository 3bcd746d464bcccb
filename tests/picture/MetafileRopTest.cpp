#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>

#include "Bitmap.h"
#include "Canvas.h"
#include "EmfReader.h"
#include "Metafile.h"
#include "MetafileWriters.h"
#include "Picture.h"
#include "RasterOps.h"
#include "TestSupport.h"
#include "WmfTranslator.h"

using namespace orvelle::test;

namespace {

// The raster operations by their full codes.
constexpr std::uint32_t kSrcAnd = 0x008800C6, kSrcPaint = 0x00EE0086, kSrcInvert = 0x00660046,
                        kDstInvert = 0x00550009, kDspDxax = 0x00E20746, kPatCopy = 0x00F00021,
                        kPatInvert = 0x005A0049, kMergeCopy = 0x00C000CA;

constexpr unsigned kWhite = 0xFFFFFF, kCyan = 0x00FFFF, kMagenta = 0xFF00FF, kYellow = 0xFFFF00,
                   kRedRgb = 0xFF0000, kGreenRgb = 0x00FF00, kBlueRgb = 0x0000FF;

// 0xRRGGBB as a COLORREF (0x00BBGGRR).
std::int64_t Ref(unsigned rgb)
{
    return std::int64_t((rgb & 0xFF) << 16 | (rgb & 0xFF00) | rgb >> 16);
}

// The truth table read one bit at a time: bit P·4 + S·2 + D of the index
// is the result, for each of the 24 colour bits on its own.
unsigned ByTable(unsigned index, unsigned p, unsigned s, unsigned d, int bits = 24)
{
    unsigned result = 0;
    for (int bit = 0; bit < bits; ++bit) {
        const unsigned entry = ((p >> bit) & 1) * 4 + ((s >> bit) & 1) * 2 + ((d >> bit) & 1);
        result |= ((index >> entry) & 1U) << bit;
    }
    return result;
}

// Whether an input matters: some entry of the table changes when that
// input's bit (weight 4, 2 or 1 in the entry number) flips.
bool Depends(unsigned index, unsigned weight)
{
    for (unsigned entry = 0; entry < 8; ++entry)
        if (((index >> entry) & 1) != ((index >> (entry ^ weight)) & 1))
            return true;
    return false;
}

} // namespace

TEST(RasterOps, EveryIndexFollowsItsTruthTableOnEveryBit)
{
    const unsigned words[] = {0U,          ~0U,         0x0FF05A3CU, 0xC3A50F96U,
                              0x5AC30F69U, 0x12345678U, 0xFEDCBA98U};
    for (unsigned index = 0; index < 256; ++index) {
        const auto op = std::uint8_t(index);
        int wrong = 0;
        for (unsigned p : words)
            for (unsigned s : words)
                for (unsigned d : words) {
                    const std::uint32_t got = orvelle::ApplyRop(op, p, s, d);
                    wrong += got != ByTable(index, p, s, d, 32);
                    // The AND-then-XOR form the painter draws gives the same.
                    const orvelle::RopSteps steps = orvelle::RopStepsFor(op, p, s);
                    wrong += ((d & steps.keep) ^ steps.flip) != got;
                }
        EXPECT_EQ(wrong, 0) << "index " << index;
        EXPECT_EQ(orvelle::RopUsesPattern(op), Depends(index, 4)) << index;
        EXPECT_EQ(orvelle::RopUsesSource(op), Depends(index, 2)) << index;
        EXPECT_EQ(orvelle::RopUsesDestination(op), Depends(index, 1)) << index;
    }
    // The index is the code's third byte; the low word and a MaskBlt's
    // background byte do not count.
    EXPECT_EQ(orvelle::RopIndex(0x00CC0020), 0xCC);
    EXPECT_EQ(orvelle::RopIndex(0x55660046), 0x66);
}

namespace {

// Pattern, source and destination values with bits that differ from
// channel to channel, besides all zeros and all ones.
constexpr unsigned kPatterns[] = {0x000000, 0xFFFFFF, 0x0FF05A, 0xC3A50F};
constexpr unsigned kSources[] = {0x000000, 0xFFFFFF, 0x3C96E1, 0xA55A0F};
constexpr unsigned kDestinations[] = {0x000000, 0xFFFFFF, 0x5AC30F, 0x96693C};

enum class Via { BitBlt, StretchBlt, StretchDIBits };

const char* Name(Via via)
{
    switch (via) {
    case Via::BitBlt:
        return "BitBlt";
    case Via::StretchBlt:
        return "StretchBlt";
    case Via::StretchDIBits:
        return "StretchDIBits";
    }
    return "";
}

// A 16 × 4 picture of the whole grid for one operation: row p has the
// brush of pattern p, and column s·4 + d source s over destination d.
QByteArray GridFile(unsigned index, Via via)
{
    std::vector<unsigned> destination, source, halfSource;
    for (unsigned s : kSources) {
        for (unsigned d : kDestinations) {
            destination.push_back(d);
            source.push_back(s);
        }
        halfSource.insert(halfSource.end(), {s, s});
    }
    const Dib under = MakeDib(16, 1, destination);
    const Dib over = MakeDib(16, 1, source);
    const Dib half = MakeDib(8, 1, halfSource); // stretched twice as wide
    const std::uint32_t rop = std::uint32_t(index) << 16;
    EmfWriter w(0, 0, 1600, 400);
    for (int p = 0; p < 4; ++p) {
        w.Raw(EmfRecord::StretchDIBits,
              DibRecordBody(under, {0, p, 0, 0, 16, 1}, {kSrcCopy, 16, 1}));
        w.Add(EmfRecord::CreateBrushIndirect, {1 + p, 0, Ref(kPatterns[p]), 0})
            .Add(EmfRecord::SelectObject, {1 + p});
        switch (via) {
        case Via::BitBlt:
            w.Raw(EmfRecord::BitBlt, BlitBody({0, p, 16, 1}, rop, &over));
            break;
        case Via::StretchBlt:
            w.Raw(EmfRecord::StretchBlt, BlitBody({0, p, 16, 1}, rop, &half, {8, 1}));
            break;
        case Via::StretchDIBits:
            w.Raw(EmfRecord::StretchDIBits, DibRecordBody(over, {0, p, 0, 0, 16, 1}, {rop, 16, 1}));
            break;
        }
    }
    return w.Bytes();
}

// How many cells of the grid differ from the table, and the first of them.
struct GridCheck {
    int wrong = 0;
    std::string first;
};

GridCheck CheckGrid(unsigned index, const std::function<unsigned(int x, int y)>& pixel)
{
    GridCheck check;
    for (int p = 0; p < 4; ++p)
        for (int s = 0; s < 4; ++s)
            for (int d = 0; d < 4; ++d) {
                const unsigned want = ByTable(index, kPatterns[p], kSources[s], kDestinations[d]);
                const unsigned got = pixel(s * 4 + d, p);
                if (got == want)
                    continue;
                if (check.wrong++ == 0)
                    check.first = "P " + std::to_string(p) + " S " + std::to_string(s) + " D " +
                                  std::to_string(d) + ": " + std::to_string(got) + " for " +
                                  std::to_string(want);
            }
    return check;
}

} // namespace

// Every operation through real records onto a work bitmap and through a
// painter onto images of the formats a window paints on; where the image
// has an alpha channel it stays opaque.
TEST(MetafileRop, EveryOperationOnAGridOfPatternSourceAndDestination)
{
    EnsureGuiApplication();
    for (Via via : {Via::BitBlt, Via::StretchBlt, Via::StretchDIBits}) {
        for (unsigned index = 0; index < 256; ++index) {
            const QByteArray emf = GridFile(index, via);
            const TBitmap b = Render(emf, 16, 4, {0, 0, 17, 5});
            const GridCheck onBitmap =
                CheckGrid(index, [&b](int x, int y) { return Rgb(b, x, y); });
            EXPECT_EQ(onBitmap.wrong, 0)
                << Name(via) << " index " << index << ", " << onBitmap.first;

            for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32,
                                          QImage::Format_ARGB32_Premultiplied}) {
                QImage image(16, 4, format);
                image.fill(Qt::white);
                TMetafile m = Load(emf);
                {
                    QPainter painter(&image);
                    TCanvas canvas(painter, 16, 4);
                    canvas.DrawStretched({0, 0, 17, 5}, &m);
                }
                int translucent = 0;
                const GridCheck onImage = CheckGrid(index, [&](int x, int y) {
                    translucent += qAlpha(image.pixel(x, y)) != 255;
                    return unsigned(image.pixel(x, y)) & 0xFFFFFFU;
                });
                EXPECT_EQ(onImage.wrong, 0)
                    << Name(via) << " through a painter onto format " << int(format) << ", index "
                    << index << ", " << onImage.first;
                EXPECT_EQ(translucent, 0) << Name(via) << " index " << index;
            }
        }
    }
}

namespace {

// What the usual operations leave on a cyan ground, drawn the same in an
// enhanced file and a WMF: red, green / blue, yellow ANDed at (0, 0), ORed
// twice as large at (4, 0), XORed at (10, 0); the ground inverted at
// (14, 0); and white, black through DSPDxax with the red brush at (0, 6),
// which takes the brush where the source is white and keeps the ground
// where it is black.
void ExpectUsualOperations(const TBitmap& b, const std::string& kind)
{
    // S AND D
    EXPECT_EQ(Rgb(b, 0, 0), 0x000000U) << kind;
    EXPECT_EQ(Rgb(b, 1, 0), kGreenRgb) << kind;
    EXPECT_EQ(Rgb(b, 0, 1), kBlueRgb) << kind;
    EXPECT_EQ(Rgb(b, 1, 1), kGreenRgb) << kind;
    // S OR D
    EXPECT_EQ(Rgb(b, 4, 0), kWhite) << kind;
    EXPECT_EQ(Rgb(b, 5, 1), kWhite) << kind;
    EXPECT_EQ(Rgb(b, 6, 0), kCyan) << kind;
    EXPECT_EQ(Rgb(b, 4, 2), kCyan) << kind;
    EXPECT_EQ(Rgb(b, 7, 3), kWhite) << kind;
    // S XOR D
    EXPECT_EQ(Rgb(b, 10, 0), kWhite) << kind;
    EXPECT_EQ(Rgb(b, 11, 0), kBlueRgb) << kind;
    EXPECT_EQ(Rgb(b, 10, 1), kGreenRgb) << kind;
    EXPECT_EQ(Rgb(b, 11, 1), kMagenta) << kind;
    // NOT D
    EXPECT_EQ(Rgb(b, 14, 0), kRedRgb) << kind;
    EXPECT_EQ(Rgb(b, 15, 1), kRedRgb) << kind;
    EXPECT_EQ(Rgb(b, 16, 0), kCyan) << kind;
    // DSPDxax
    EXPECT_EQ(Rgb(b, 0, 6), kRedRgb) << kind;
    EXPECT_EQ(Rgb(b, 1, 6), kCyan) << kind;
    // Around them the ground is untouched.
    EXPECT_EQ(Rgb(b, 2, 0), kCyan) << kind;
    EXPECT_EQ(Rgb(b, 8, 0), kCyan) << kind;
    EXPECT_EQ(Rgb(b, 0, 7), kCyan) << kind;
    EXPECT_EQ(Rgb(b, 19, 19), kCyan) << kind;
}

// A WMF block transfer: the operation's two words, then the parameters as
// stored, then a bitmap.
QByteArray WmfBlit(unsigned function, std::uint32_t rop, std::initializer_list<int> rest,
                   const QByteArray& bitmap = {})
{
    std::vector<int> words = {int(rop & 0xFFFF), int(rop >> 16)};
    words.insert(words.end(), rest);
    return WmfRec(function, words, bitmap);
}

QByteArray WmfBrush(unsigned style, unsigned rgb, unsigned hatch = 0)
{
    const auto ref = std::uint32_t(Ref(rgb));
    return WmfRec(0x02FC, {int(style), int(ref & 0xFFFF), int(ref >> 16), int(hatch)});
}

// A 2000 × 2000 picture drawn into 20 × 20 pixels whose ground is cyan:
// brush 1 laid over the whole target with PATCOPY.
EmfWriter CyanGround()
{
    EmfWriter w(0, 0, 2000, 2000);
    w.Add(EmfRecord::CreateBrushIndirect, {1, 0, Ref(kCyan), 0}).Add(EmfRecord::SelectObject, {1});
    w.Raw(EmfRecord::BitBlt, BlitBody({0, 0, 20, 20}, kPatCopy, nullptr));
    return w;
}

QByteArray WmfSelect(int slot)
{
    return WmfRec(0x012D, {slot});
}

} // namespace

TEST(MetafileRop, UsualOperationsInEnhancedFiles)
{
    const Dib quad = MakeDib(2, 2, kQuad);
    const Dib whiteBlack = MakeDib(2, 1, {kWhite, 0x000000});
    EmfWriter w = CyanGround();
    w.Add(EmfRecord::CreateBrushIndirect, {2, 0, Ref(kRedRgb), 0})
        .Add(EmfRecord::SelectObject, {2});
    w.Raw(EmfRecord::BitBlt, BlitBody({0, 0, 2, 2}, kSrcAnd, &quad));
    w.Raw(EmfRecord::StretchBlt, BlitBody({4, 0, 4, 4}, kSrcPaint, &quad, {2, 2}));
    w.Raw(EmfRecord::StretchDIBits, DibRecordBody(quad, {10, 0, 0, 0, 2, 2}, {kSrcInvert, 2, 2}));
    w.Raw(EmfRecord::BitBlt, BlitBody({14, 0, 2, 2}, kDstInvert, nullptr));
    w.Raw(EmfRecord::BitBlt, BlitBody({0, 6, 2, 1}, kDspDxax, &whiteBlack));
    ExpectUsualOperations(Render(w.Bytes(), 20, 20, {0, 0, 21, 21}), "EMF");
}

TEST(MetafileRop, UsualOperationsInWmfFilesKeepTheirOperation)
{
    const Dib quad = MakeDib(2, 2, kQuad);
    const QByteArray dib = quad.info + quad.bits;
    // Device-dependent bitmaps: white, black in one bit a pixel (1 bits
    // white), and red, blue in 24 bits (blue, green, red bytes).
    const QByteArray mono = Bitmap16(2, 1, {QByteArray("\x80", 1)});
    const QByteArray colour = Bitmap16(2, 24, {QByteArray("\x00\x00\xFF\xFF\x00\x00", 6)});
    QByteArray records = WmfBrush(0, kCyan) + WmfSelect(0);
    records += WmfBlit(0x061D, kPatCopy, {20, 20, 0, 0}); // PatBlt
    records += WmfBrush(0, kRedRgb) + WmfSelect(1);
    records += WmfBlit(0x0940, kSrcAnd, {0, 0, 2, 2, 0, 0}, dib);              // DIBBitBlt
    records += WmfBlit(0x0B41, kSrcPaint, {2, 2, 0, 0, 4, 4, 0, 4}, dib);      // DIBStretchBlt
    records += WmfBlit(0x0F43, kSrcInvert, {0, 2, 2, 0, 0, 2, 2, 0, 10}, dib); // StretchDIB
    records += WmfBlit(0x061D, kDstInvert, {2, 2, 0, 14});                     // PatBlt
    records += WmfBlit(0x0922, kDspDxax, {0, 0, 1, 2, 6, 0}, mono);            // BitBlt
    records += WmfBlit(0x0B23, kSrcInvert, {1, 2, 0, 0, 2, 4, 10, 4}, colour); // StretchBlt
    records += WmfBlit(0x0922, kSrcInvert, {0, 0, 0, 2, 2, 14, 14});           // no bitmap
    const TBitmap b = Render(PlaceableWmfAround(records, 20, 20, 1440), 20, 20, {0, 0, 21, 21});
    ExpectUsualOperations(b, "WMF");
    // The 24-bit bitmap stretched to 4 × 2: red, blue XORed with cyan.
    EXPECT_EQ(Rgb(b, 4, 10), kWhite);
    EXPECT_EQ(Rgb(b, 5, 11), kWhite);
    EXPECT_EQ(Rgb(b, 6, 10), kGreenRgb);
    EXPECT_EQ(Rgb(b, 7, 11), kGreenRgb);
    EXPECT_EQ(Rgb(b, 8, 10), kCyan);
    // An operation that needs a source and has none draws nothing.
    EXPECT_EQ(Rgb(b, 14, 14), kCyan);
}

TEST(MetafileRop, MaskBltTakesTheForegroundOperationOnOneBitsAndTheBackgroundOnZeros)
{
    const Dib quad = MakeDib(2, 2, kQuad);
    const Dib diagonal = MakeMonoDib({"10", "01"});
    const Dib shifted = MakeMonoDib({"011", "110"}); // read from its second column
    EmfWriter w = CyanGround();
    w.Add(EmfRecord::CreateBrushIndirect, {2, 0, Ref(kBlueRgb), 0})
        .Add(EmfRecord::SelectObject, {2});
    // Foreground source copy, background the blue brush.
    w.Raw(EmfRecord::MaskBlt, MaskBltBody({0, 0, 2, 2}, 0xF0CC0020, &quad, 0, 0, &diagonal));
    // Foreground S XOR D, background NOT D.
    w.Raw(EmfRecord::MaskBlt, MaskBltBody({4, 0, 2, 2}, 0x55660046, &quad, 1, 0, &shifted));
    // Without a mask: the foreground operation everywhere.
    w.Raw(EmfRecord::MaskBlt, MaskBltBody({8, 0, 2, 2}, 0x55660046, &quad, 0, 0, nullptr));
    // Without a source: the brush where the mask is set, the ground kept
    // elsewhere.
    w.Raw(EmfRecord::MaskBlt, MaskBltBody({12, 0, 2, 2}, 0xAAF00021, nullptr, 0, 0, &diagonal));
    // A mask of more than one bit a pixel is no mask: nothing is drawn.
    w.Raw(EmfRecord::MaskBlt, MaskBltBody({16, 0, 2, 2}, 0xF0CC0020, &quad, 0, 0, &quad));
    const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    EXPECT_EQ(Rgb(b, 0, 0), kRedRgb);
    EXPECT_EQ(Rgb(b, 1, 0), kBlueRgb);
    EXPECT_EQ(Rgb(b, 0, 1), kBlueRgb);
    EXPECT_EQ(Rgb(b, 1, 1), kYellow);

    EXPECT_EQ(Rgb(b, 4, 0), kWhite);    // red XOR cyan
    EXPECT_EQ(Rgb(b, 5, 0), kBlueRgb);  // green XOR cyan
    EXPECT_EQ(Rgb(b, 4, 1), kGreenRgb); // blue XOR cyan
    EXPECT_EQ(Rgb(b, 5, 1), kRedRgb);   // NOT cyan

    EXPECT_EQ(Rgb(b, 8, 0), kWhite);
    EXPECT_EQ(Rgb(b, 9, 0), kBlueRgb);
    EXPECT_EQ(Rgb(b, 8, 1), kGreenRgb);
    EXPECT_EQ(Rgb(b, 9, 1), kMagenta);

    EXPECT_EQ(Rgb(b, 12, 0), kBlueRgb);
    EXPECT_EQ(Rgb(b, 13, 0), kCyan);
    EXPECT_EQ(Rgb(b, 12, 1), kCyan);
    EXPECT_EQ(Rgb(b, 13, 1), kBlueRgb);

    EXPECT_EQ(Rgb(b, 16, 0), kCyan);
    EXPECT_EQ(Rgb(b, 17, 1), kCyan);
}

TEST(MetafileRop, PlgBltCopiesOntoItsParallelogramAndThroughItsMask)
{
    const Dib quad = MakeDib(2, 2, kQuad);
    const Dib diagonal = MakeMonoDib({"10", "01"});
    EmfWriter w(0, 0, 2000, 2000);
    // A box mirrored left to right: its top-left corner lands at (4, 0).
    w.Raw(EmfRecord::PlgBlt, PlgBltBody({4, 0, 0, 0, 4, 4}, {0, 0, 2, 2}, quad));
    // Turned a quarter clockwise: the top edge runs down from (14, 10),
    // the left edge leftwards.
    w.Raw(EmfRecord::PlgBlt, PlgBltBody({14, 10, 14, 14, 10, 10}, {0, 0, 2, 2}, quad));
    // Slanted: the top edge climbs two pixels down over four across.
    w.Raw(EmfRecord::PlgBlt, PlgBltBody({0, 10, 4, 12, 0, 14}, {0, 0, 2, 2}, quad));
    // Through a mask: its 0 bits keep the destination.
    w.Raw(EmfRecord::PlgBlt, PlgBltBody({6, 0, 8, 0, 6, 2}, {0, 0, 2, 2}, quad, &diagonal));
    const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    EXPECT_EQ(Rgb(b, 0, 0), kGreenRgb);
    EXPECT_EQ(Rgb(b, 3, 0), kRedRgb);
    EXPECT_EQ(Rgb(b, 0, 3), kYellow);
    EXPECT_EQ(Rgb(b, 3, 3), kBlueRgb);
    EXPECT_EQ(Rgb(b, 4, 0), kWhite);

    EXPECT_EQ(Rgb(b, 13, 10), kRedRgb);
    EXPECT_EQ(Rgb(b, 13, 13), kGreenRgb);
    EXPECT_EQ(Rgb(b, 10, 10), kBlueRgb);
    EXPECT_EQ(Rgb(b, 10, 13), kYellow);
    EXPECT_EQ(Rgb(b, 14, 10), kWhite);
    EXPECT_EQ(Rgb(b, 9, 12), kWhite);
    EXPECT_EQ(Rgb(b, 12, 14), kWhite);

    EXPECT_EQ(Rgb(b, 1, 11), kRedRgb);
    EXPECT_EQ(Rgb(b, 3, 14), kYellow);
    EXPECT_EQ(Rgb(b, 3, 10), kWhite); // above the slanted top edge
    EXPECT_EQ(Rgb(b, 0, 15), kWhite); // below the slanted bottom edge

    EXPECT_EQ(Rgb(b, 6, 0), kRedRgb);
    EXPECT_EQ(Rgb(b, 7, 0), kWhite);
    EXPECT_EQ(Rgb(b, 6, 1), kWhite);
    EXPECT_EQ(Rgb(b, 7, 1), kYellow);
}

TEST(MetafileRop, TransfersWithoutSourceTakeHatchesAndPatternsAsTheBrushIsLaid)
{
    // A blue cross hatch (lines on every eighth row and column from the
    // target's origin) with green gaps, inverted onto white, in an enhanced
    // file and in a WMF; on a transparent background the gaps stay white.
    const auto expectHatch = [](const TBitmap& b, bool opaque, const std::string& kind) {
        int wrong = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool line = x % 8 == 0 || y % 8 == 0;
                const unsigned want = line ? kYellow : opaque ? kMagenta : kWhite;
                wrong += Rgb(b, x, y) != want;
            }
        EXPECT_EQ(wrong, 0) << kind << (opaque ? " opaque" : " transparent");
    };
    for (int bkMode : {1, 2}) {
        EmfWriter h(0, 0, 2000, 2000);
        h.Add(EmfRecord::SetBkColor, {Ref(kGreenRgb)}).Add(EmfRecord::SetBkMode, {bkMode});
        h.Add(EmfRecord::CreateBrushIndirect, {1, 2, Ref(kBlueRgb), 4})
            .Add(EmfRecord::SelectObject, {1});
        h.Raw(EmfRecord::BitBlt, BlitBody({0, 0, 20, 20}, kPatInvert, nullptr));
        expectHatch(Render(h.Bytes(), 20, 20, {0, 0, 21, 21}), bkMode == 2, "EMF");

        const QByteArray records =
            WmfRec(0x0201, {int(Ref(kGreenRgb) & 0xFFFF), int(Ref(kGreenRgb) >> 16)}) +
            WmfRec(0x0102, {bkMode}) + WmfBrush(2, kBlueRgb, 4) + WmfSelect(0) +
            WmfBlit(0x061D, kPatInvert, {20, 20, 0, 0});
        expectHatch(Render(PlaceableWmfAround(records, 20, 20, 1440), 20, 20, {0, 0, 21, 21}),
                    bkMode == 2, "WMF");
    }

    // A 2 × 2 pattern brush (red, green / blue, yellow) from the target's
    // origin: XORed onto cyan at (3, 3), then ANDed with a white source
    // (MERGECOPY) at (11, 3), which leaves the pattern itself.
    const Dib tile = MakeDib(2, 2, kQuad);
    const Dib white = MakeDib(1, 1, {kWhite});
    EmfWriter w = CyanGround();
    w.Raw(EmfRecord::CreateDIBPatternBrushPt, PatternBrushBody(2, tile))
        .Add(EmfRecord::SelectObject, {2});
    w.Raw(EmfRecord::BitBlt, BlitBody({3, 3, 6, 6}, kPatInvert, nullptr));
    w.Raw(EmfRecord::StretchBlt, BlitBody({11, 3, 6, 6}, kMergeCopy, &white, {1, 1}));
    const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
    const unsigned inverted[] = {kWhite, kBlueRgb, kGreenRgb, kMagenta}; // the tile XOR cyan
    int wrong = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const int cell = (y % 2) * 2 + x % 2;
            unsigned want = kCyan;
            if (y >= 3 && y < 9 && x >= 3 && x < 9)
                want = inverted[cell];
            else if (y >= 3 && y < 9 && x >= 11 && x < 17)
                want = kQuad[std::size_t(cell)];
            wrong += Rgb(b, x, y) != want;
        }
    EXPECT_EQ(wrong, 0);
}

TEST(MetafileRop, CombinedTransfersKeepTheClipAndLeaveLaterDrawingPlain)
{
    // S XOR D of the 2 × 2 quad stretched over 8 × 8 of white, clipped to
    // 2 … 5: red becomes cyan, green magenta, only inside the clip. The
    // pixels set afterwards take their colour as it is, not XORed.
    const Dib quad = MakeDib(2, 2, kQuad);
    EmfWriter w(0, 0, 1000, 1000);
    w.Add(EmfRecord::IntersectClipRect, {2, 2, 6, 6});
    w.Raw(EmfRecord::StretchBlt, BlitBody({0, 0, 8, 8}, kSrcInvert, &quad, {2, 2}));
    w.Add(EmfRecord::SetPixelV, {3, 3, Ref(0x000000)});
    w.Add(EmfRecord::SetPixelV, {5, 5, Ref(kRedRgb)});
    const TBitmap b = Render(w.Bytes(), 10, 10, {0, 0, 11, 11});
    EXPECT_EQ(Rgb(b, 2, 2), kCyan);
    EXPECT_EQ(Rgb(b, 4, 2), kMagenta);
    EXPECT_EQ(Rgb(b, 2, 4), kYellow); // blue XOR white
    EXPECT_EQ(Rgb(b, 3, 3), 0x000000U);
    EXPECT_EQ(Rgb(b, 5, 5), kRedRgb);
    EXPECT_EQ(Rgb(b, 1, 1), kWhite);
    EXPECT_EQ(Rgb(b, 6, 6), kWhite);
    EXPECT_EQ(Inked(b), 16);
}

TEST(MetafileRop, HugeDestinationsComputeOnlyTheVisiblePixels)
{
    // Destinations some million pixels across: only the 20 × 20 on the
    // target are worked out, each the source's first pixel, red, XORed
    // with white.
    const Dib quad = MakeDib(2, 2, kQuad);
    // A mask of 1 bits as large as what shows: NOT D everywhere.
    const Dib mask = MakeMonoDib(std::vector<std::string>(20, std::string(20, '1')));
    constexpr int kHuge = 0xFFFFFF;
    for (EmfRecord type : {EmfRecord::StretchBlt, EmfRecord::MaskBlt, EmfRecord::PlgBlt}) {
        EmfWriter w(0, 0, 2000, 2000);
        if (type == EmfRecord::StretchBlt)
            w.Raw(type, BlitBody({0, 0, kHuge, kHuge}, kSrcInvert, &quad, {2, 2}));
        else if (type == EmfRecord::MaskBlt)
            w.Raw(type, MaskBltBody({0, 0, kHuge, kHuge}, 0xF0550009, nullptr, 0, 0, &mask));
        else
            w.Raw(type, PlgBltBody({0, 0, kHuge, 1, 0, kHuge}, {0, 0, 2, 2}, quad));
        const TBitmap b = Render(w.Bytes(), 20, 20, {0, 0, 21, 21});
        const unsigned want = type == EmfRecord::StretchBlt ? kCyan
                              : type == EmfRecord::MaskBlt  ? 0x000000U // NOT white
                                                            : kRedRgb;
        int wrong = 0;
        for (unsigned v : Pixels(b))
            wrong += v != want;
        EXPECT_EQ(wrong, 0) << RecordNumber(type);
    }
}

TEST(MetafileRop, DamagedMaskAndParallelogramRecordsNeverCrash)
{
    const Dib quad = MakeDib(2, 2, kQuad);
    const Dib mask = MakeMonoDib({"10", "01"});
    EmfWriter w(0, 0, 1000, 1000);
    w.Raw(EmfRecord::MaskBlt, MaskBltBody({0, 0, 4, 4}, 0x55660046, &quad, 0, 0, &mask));
    w.Raw(EmfRecord::PlgBlt, PlgBltBody({8, 0, 8, 8, 0, 0}, {0, 0, 2, 2}, quad, &mask));
    w.Raw(EmfRecord::StretchDIBits, DibRecordBody(quad, {0, 0, 0, 0, 2, 2}, {kDspDxax, 8, 8}));
    EachByteDamaged(w.Bytes(), 108, {char(0xFF), char(0x7F), char(0x80)}, {kInvalid});

    // WMF device-dependent bitmaps: a damaged size or row length never
    // reads past the record, and the translation stays a whole file.
    QByteArray records =
        WmfBlit(0x0922, kDspDxax, {0, 0, 1, 2, 6, 0}, Bitmap16(2, 1, {QByteArray("\x80", 1)}));
    records += WmfBlit(0x0B23, kSrcInvert, {1, 2, 0, 0, 2, 4, 10, 4},
                       Bitmap16(2, 24, {QByteArray("\x00\x00\xFF\xFF\x00\x00", 6)}));
    const QByteArray wmf = PlaceableWmfAround(records, 20, 20, 1440);
    ASSERT_TRUE(Failure(wmf).first.empty());
    EachByteDamaged(
        wmf, 22, {char(0xFF), char(0x7F), char(0x80)}, {kInvalid, kRead},
        [](const QByteArray& damaged, qsizetype i) {
            const QByteArray emf = orvelle::TranslateWmf(damaged.mid(22), {0, 0, 20, 20, 35, 35});
            EXPECT_TRUE(emf.isEmpty() || orvelle::EmfRecordsValid(emf)) << i;
        });
}

namespace {

TBitmap RenderCorpusFile(const QString& path)
{
    EnsureGuiApplication();
    TPicture picture;
    picture.LoadFile(path);
    TBitmap target = WorkBitmap(picture.Width(), picture.Height());
    TCanvas canvas(target);
    canvas.DrawStretched({0, 0, picture.Width(), picture.Height()}, picture.Graphic());
    return target;
}

bool Reddish(unsigned rgb)
{
    const int r = int(rgb >> 16), g = int((rgb >> 8) & 0xFF), b = int(rgb & 0xFF);
    return r > 150 && r > g + 60 && r > b + 60;
}

bool Bluish(unsigned rgb)
{
    const int r = int(rgb >> 16), g = int((rgb >> 8) & 0xFF), b = int(rgb & 0xFF);
    return b > 150 && b > r + 60 && b > g + 30;
}

} // namespace

// Charts whose bars are a mask laid down with SRCPAINT and the picture
// with SRCAND, and icons XORed on, masked and XORed again: the places were
// found by drawing the files and looking at them.
TEST(MetafileRopCorpus, MaskedBarsAndIconsShow)
{
    const QString corpus = CorpusDir();
    if (corpus.isEmpty())
        GTEST_SKIP() << "no corpus folder";
    const QDir emf(corpus + QStringLiteral("/emf"));

    const TBitmap bars = RenderCorpusFile(emf.filePath(QStringLiteral("test-000.emf")));
    ASSERT_EQ(bars.Width(), 491);
    EXPECT_PRED1(Reddish, Rgb(bars, 155, 60)); // the tall red bar on the left
    EXPECT_PRED1(Reddish, Rgb(bars, 155, 100));
    EXPECT_PRED1(Reddish, Rgb(bars, 300, 110)); // the red bar on the right
    EXPECT_PRED1(Bluish, Rgb(bars, 120, 150));  // the short blue bars
    EXPECT_PRED1(Bluish, Rgb(bars, 250, 145));
    EXPECT_EQ(Rgb(bars, 120, 100), kWhite); // above the short blue bar

    const TBitmap columns = RenderCorpusFile(emf.filePath(QStringLiteral("test-120.emf")));
    ASSERT_EQ(columns.Width(), 510);
    EXPECT_PRED1(Bluish, Rgb(columns, 150, 100));
    EXPECT_PRED1(Bluish, Rgb(columns, 250, 80));
    EXPECT_EQ(Rgb(columns, 150, 60), kWhite); // above the left column

    // The pie icon at the top left: its green, yellow and red parts, and
    // white where the mask leaves the ground alone inside its box.
    const TBitmap icons = RenderCorpusFile(emf.filePath(QStringLiteral("test-164.emf")));
    ASSERT_EQ(icons.Width(), 948);
    EXPECT_EQ(Rgb(icons, 195, 40), kGreenRgb);
    EXPECT_EQ(Rgb(icons, 215, 38), kYellow);
    EXPECT_EQ(Rgb(icons, 210, 60), kRedRgb);
    EXPECT_EQ(Rgb(icons, 225, 62), kWhite);
    EXPECT_EQ(Rgb(icons, 193, 26), kWhite);
}
