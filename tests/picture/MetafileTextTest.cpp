#include <cstdint>
#include <initializer_list>
#include <ios>
#include <ostream>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRect>
#include <QString>

#include "EmfContext.h"
#include "EmfFonts.h"
#include "MetafileWriters.h"
#include "RowName.h"
#include "SymbolFonts.h"
#include "TestSupport.h"
#include "TextRecords.h"

using namespace orvelle::test;
using orvelle::DcState;
using orvelle::EmfDrawing;
using orvelle::RecordView;

namespace {

struct Alignment {
    const char* what;
    std::uint32_t align;
    // Expected side of the reference point (80, 40): -1 before, 0 across, 1 after.
    int horizontal;
    int vertical;
};

const Alignment kAlignments[] = {
    {"left top", 0, 1, 1},
    {"right top", orvelle::kTaRight, -1, 1},
    {"centre top", orvelle::kTaCenter, 0, 1},
    {"left bottom", orvelle::kTaBottom, 1, -1},
    {"left baseline", orvelle::kTaBaseline, 1, -1},
};

void PrintTo(const Alignment& row, std::ostream* out)
{
    *out << row.what;
}

class TextAlignment : public TextPlay, public ::testing::WithParamInterface<Alignment> {};

TEST_P(TextAlignment, ReferencePointFollowsTheAlignment)
{
    const Alignment& row = GetParam();
    state.textAlign = row.align;
    const QRect ink = InkBox(Play({TextW({80, 40}, QStringLiteral("HH"))}));
    ASSERT_FALSE(ink.isNull());
    if (row.horizontal > 0)
        EXPECT_GE(ink.left(), 80);
    else if (row.horizontal < 0)
        EXPECT_LT(ink.right(), 80);
    else
        EXPECT_TRUE(ink.left() < 80 && ink.right() > 80);
    if (row.vertical > 0)
        EXPECT_GE(ink.top(), 40);
    else
        EXPECT_LT(ink.bottom(), 40);
}

INSTANTIATE_TEST_SUITE_P(TextPlay, TextAlignment, ::testing::ValuesIn(kAlignments),
                         [](const ::testing::TestParamInfo<Alignment>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST_F(TextPlay, BaselineSitsOnTheReferenceLineAndTheCellBottomAboveIt)
{
    // The baseline sits on the reference line, the bottom of the cell
    // (below the baseline by the descent) above it.
    state.textAlign = orvelle::kTaBaseline;
    const QRect onBaseline = InkBox(Play({TextW({80, 40}, QStringLiteral("HH"))}));
    state.textAlign = orvelle::kTaBottom;
    const QRect onBottom = InkBox(Play({TextW({80, 40}, QStringLiteral("HH"))}));
    EXPECT_EQ(onBaseline.bottom(), 39);
    EXPECT_LT(onBottom.bottom(), onBaseline.bottom());
}

TEST_F(TextPlay, SpacingArrayPlacesEachCharacter)
{
    Text wide{20, 20};
    wide.dx = {40, 0};
    Text narrow{20, 20};
    narrow.dx = {10, 0};
    const QRect a = InkBox(Play({TextW(wide, QStringLiteral("II"))}));
    const QRect b = InkBox(Play({TextW(narrow, QStringLiteral("II"))}));
    EXPECT_EQ(a.left(), b.left());
    EXPECT_EQ(a.width() - b.width(), 30);

    // With per-direction spacing the second character also moves down.
    Text down{20, 10};
    down.options = kPdy;
    down.dx = {10, 30, 0, 0};
    const QRect c = InkBox(Play({TextW(down, QStringLiteral("II"))}));
    EXPECT_GE(c.height() - b.height(), 29);

    // A spacing array stretched by the mapping: the gap doubles.
    mapping = QTransform::fromScale(2, 2);
    Text half{10, 10};
    half.dx = {20, 0};
    const QRect d = InkBox(Play({TextW(half, QStringLiteral("I"))}));
    const QRect e = InkBox(Play({TextW(half, QStringLiteral("II"))}));
    EXPECT_EQ(e.width() - d.width(), 40);
}

TEST_F(TextPlay, OpaqueAndClippedRectangles)
{
    state.backColour = QColor(255, 0, 0);
    Text fill{0, 0, kOpaque, QRect(QPoint(10, 10), QPoint(49, 39))};
    QImage image = Play({TextW(fill, QString())});
    EXPECT_EQ(InkBox(image), QRect(QPoint(10, 10), QPoint(49, 39)));
    EXPECT_EQ(Count(image, qRgb(255, 0, 0)), 40 * 30);

    // Large text clipped to a small box leaves ink only inside it.
    state.font.height = -60;
    Text clipped{5, 5, kClipped, QRect(QPoint(20, 20), QPoint(39, 39))};
    const QRect unclipped = InkBox(Play({TextW({5, 5}, QStringLiteral("WWW"))}));
    const QRect inside = InkBox(Play({TextW(clipped, QStringLiteral("WWW"))}));
    EXPECT_FALSE(inside.isNull());
    EXPECT_TRUE(QRect(QPoint(20, 20), QPoint(39, 39)).contains(inside));
    EXPECT_GT(unclipped.width(), 40);
}

TEST_F(TextPlay, OpaqueBackgroundFillsTheTextCell)
{
    state.backColour = QColor(0, 255, 0);
    state.textColour = QColor(0, 0, 255);
    const QImage transparent = Play({TextW({10, 10}, QStringLiteral("Hi"))});
    state.opaqueBackground = true;
    const QImage opaque = Play({TextW({10, 10}, QStringLiteral("Hi"))});
    EXPECT_EQ(Count(transparent, qRgb(0, 255, 0)), 0);
    EXPECT_GT(Count(transparent, qRgb(0, 0, 255)), 0);
    EXPECT_GT(Count(opaque, qRgb(0, 255, 0)), 0);
    // The cell starts at the reference point and holds all of the ink.
    const QRect cell = InkBox(opaque, qRgb(0, 0, 255));
    EXPECT_EQ(cell.topLeft(), QPoint(10, 10));
    EXPECT_TRUE(cell.contains(InkBox(transparent)));
}

TEST_F(TextPlay, EscapementTurnsTheTextCounterClockwise)
{
    const QRect level = InkBox(Play({TextW({20, 70}, QStringLiteral("HHHH"))}, {160, 160}));
    state.font.escapement = 900;
    const QRect turned = InkBox(Play({TextW({20, 150}, QStringLiteral("HHHH"))}, {160, 160}));
    EXPECT_GT(level.width(), level.height());
    EXPECT_GT(turned.height(), turned.width());
    // Turned up from the reference point, the string runs towards the top.
    EXPECT_LT(turned.bottom(), 150);
    EXPECT_GE(turned.left(), 20);
}

TEST_F(TextPlay, LettersStretchWithAnUnevenMapping)
{
    // A picture drawn at half its width keeps its letters inside their
    // spacing: the string narrows with it, its height stays.
    const QRect even = InkBox(Play({TextW({20, 20}, QStringLiteral("WWWW"))}));
    mapping = QTransform::fromScale(0.5, 1);
    const QRect narrow = InkBox(Play({TextW({40, 20}, QStringLiteral("WWWW"))}));
    EXPECT_NEAR(narrow.width(), even.width() / 2.0, 3);
    EXPECT_EQ(narrow.height(), even.height());
}

// A logical font's width is measured as Windows measures Arial's: 904 of
// 2048 units of the em (its OS/2 average), so the width a program writes
// for a plain Arial draws plain letters, and twice that doubles them.
TEST_F(TextPlay, AGivenWidthIsReadAgainstTheOriginalFontsAverage)
{
    state.font.height = -40;
    const QString text = QStringLiteral("mmmm");
    const QRect plain = InkBox(Play({TextW({10, 10}, text)}, {400, 80}));
    state.font.width = 18; // 40 * 904 / 2048
    const QRect given = InkBox(Play({TextW({10, 10}, text)}, {400, 80}));
    // Hinting a font stretched by 2 % rounds its advances up a little.
    EXPECT_NEAR(given.width(), plain.width() * 1.02, plain.width() * 0.04);
    EXPECT_EQ(given.height(), plain.height());
    state.font.width = 36;
    const QRect doubled = InkBox(Play({TextW({10, 10}, text)}, {400, 80}));
    EXPECT_NEAR(doubled.width(), 2 * 1.02 * plain.width(), plain.width() * 0.08);
}

TEST_F(TextPlay, UpdateCpUsesAndMovesTheCurrentPosition)
{
    state.textAlign = orvelle::kTaUpdateCp;
    state.position = QPointF(10, 20);
    const QImage one = Play({TextW({100, 70}, QStringLiteral("H"))});
    const double after = state.position.x();
    EXPECT_GT(after, 15);
    EXPECT_EQ(state.position.y(), 20);
    EXPECT_GE(InkBox(one).left(), 10);
    EXPECT_LT(InkBox(one).bottom(), 50);

    // The second string follows the first as one string would.
    state.position = QPointF(10, 20);
    const QImage two =
        Play({TextW({0, 0}, QStringLiteral("H")), TextW({0, 0}, QStringLiteral("H"))});
    state.textAlign = 0;
    const QImage whole = Play({TextW({10, 20}, QStringLiteral("HH"))});
    EXPECT_EQ(two, whole);

    // Right-aligned text moves it back over the string.
    state.textAlign = orvelle::kTaUpdateCp | orvelle::kTaRight;
    state.position = QPointF(100, 20);
    Play({TextW({0, 0}, QStringLiteral("H"))});
    EXPECT_DOUBLE_EQ(state.position.x(), 100 - (after - 10));
}

TEST_F(TextPlay, EightBitTextIsReadInTheFontsCodePage)
{
    // 日本語 in Shift_JIS, with a spacing entry for every byte.
    state.font.charSet = orvelle::kShiftJisCharSet;
    state.font.faceName = QStringLiteral("ＭＳ Ｐゴシック");
    const QByteArray sjis("\x93\xFA\x96\x7B\x8C\xEA", 6);
    const QString text = QStringLiteral("日本語");
    EXPECT_EQ(Play({TextA({10, 10}, sjis)}), Play({TextW({10, 10}, text)}));
    Text bytes{10, 10};
    bytes.dx = {14, 14, 5, 5, 20, 20};
    Text chars{10, 10};
    chars.dx = {28, 10, 40};
    const QImage a = Play({TextA(bytes, sjis)});
    EXPECT_EQ(a, Play({TextW(chars, text)}));
    EXPECT_NE(a, Play({TextW({10, 10}, text)}));

    // Western fonts read Windows-1252: é and the euro sign.
    state.font.charSet = 0;
    state.font.faceName = QStringLiteral("Arial");
    EXPECT_EQ(Play({TextA({10, 10}, QByteArray("\xE9\x80", 2))}),
              Play({TextW({10, 10}, QStringLiteral("é€"))}));
}

TEST_F(TextPlay, SmallTextPolyTextAndGlyphIndicesDrawLikeExtTextOut)
{
    const QImage reference = Play({TextW({10, 10}, QStringLiteral("Hg"))});

    QByteArray small;
    for (std::uint32_t v : {10U, 10U, 2U, kNoRect | kSmallChars, 1U, 0U, 0U})
        PutU32(small, v);
    small.append("Hg", 2);
    Pad(small);
    EXPECT_EQ(Play({Record(EmfRecord::SmallTextOut, small)}), reference);

    QByteArray wide;
    for (std::uint32_t v : {10U, 10U, 2U, 0U, 1U, 0U, 0U, 0U, 0U, 0U, 0U})
        PutU32(wide, v);
    wide += Utf16(QStringLiteral("Hg"));
    EXPECT_EQ(Play({Record(EmfRecord::SmallTextOut, wide)}), reference);

    // Two strings of one record, each at its own point.
    QByteArray poly(16, '\0');
    for (std::uint32_t v : {1U, 0U, 0U, 2U})
        PutU32(poly, v);
    const std::uint32_t stringsAt = 8 + 32 + 2 * 40;
    poly += TextBlock({10, 10}, Utf16(QStringLiteral("Hg")), 2, stringsAt);
    poly += TextBlock({60, 40}, Utf16(QStringLiteral("Hg")), 2, stringsAt + 4);
    poly += Utf16(QStringLiteral("HgHg"));
    const QImage both = Play({Record(EmfRecord::PolyTextOutW, poly)});
    const QImage second = Play({TextW({60, 40}, QStringLiteral("Hg"))});
    EXPECT_EQ(InkBox(both), InkBox(reference) | InkBox(second));

    // Glyph indices give the same letters when the picture names the face
    // they belong to (indices of a face we only substitute draw boxes).
    state.font.faceName = QStringLiteral("Liberation Sans");
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(20);
    font.setHintingPreference(QFont::PreferFullHinting);
    const QList<quint32> glyphs =
        QRawFont::fromFont(font).glyphIndexesForString(QStringLiteral("Hg"));
    ASSERT_EQ(glyphs.size(), 2);
    QByteArray indices;
    for (quint32 g : glyphs)
        PutU16(indices, g);
    Text byIndex{10, 10, kGlyphIndex};
    const QImage indexed =
        Play({Record(EmfRecord::ExtTextOutW, ExtTextOutBody(byIndex, indices, 2))});
    EXPECT_EQ(InkBox(indexed), InkBox(reference));
}

TEST_F(TextPlay, TextInAPathGoesIntoThePath)
{
    state.pathOpen = true;
    const QImage image = Play({TextW({10, 10}, QStringLiteral("Hg"))});
    EXPECT_TRUE(InkBox(image).isNull());
    ASSERT_FALSE(state.path.isEmpty());
    const QRectF bounds = state.path.boundingRect();
    EXPECT_GE(bounds.left(), 9);
    EXPECT_GE(bounds.top(), 9);
    EXPECT_LT(bounds.bottom(), 40);
}

struct TextField {
    const char* what;
    qsizetype at;
    std::uint32_t value;
};

const TextField kTextFields[] = {
    {"count past the end", 36 + 8, 1000},
    {"count of 2^32 - 1", 36 + 8, 0xFFFFFFFF},
    {"string offset past the end", 36 + 12, 0x10000},
    {"string offset near 2^32", 36 + 12, 0xFFFFFFFE},
    {"spacing offset past the end", 36 + 36, 0x10000},
};

void PrintTo(const TextField& row, std::ostream* out)
{
    *out << row.what << ": " << row.value << " at " << row.at;
}

class TextRecordField : public TextPlay, public ::testing::WithParamInterface<TextField> {};

TEST_P(TextRecordField, OutsideTheRecordDrawsNothing)
{
    const TextField& row = GetParam();
    state.backColour = QColor(255, 0, 0);
    const Text fill{0, 0, kOpaque, QRect(QPoint(0, 0), QPoint(50, 50))};
    const QByteArray good = TextW(fill, QStringLiteral("Hg"));
    ASSERT_FALSE(InkBox(Play({good})).isNull());
    QByteArray bad = good;
    for (int i = 0; i < 4; ++i)
        bad[row.at + i] = char((row.value >> (8 * i)) & 0xFF);
    EXPECT_TRUE(InkBox(Play({bad})).isNull());
}

INSTANTIATE_TEST_SUITE_P(TextPlay, TextRecordField, ::testing::ValuesIn(kTextFields),
                         [](const ::testing::TestParamInfo<TextField>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST_F(TextPlay, FieldsOutsideTheRecordDrawNothing)
{
    state.backColour = QColor(255, 0, 0);
    const Text fill{0, 0, kOpaque, QRect(QPoint(0, 0), QPoint(50, 50))};
    const QByteArray good = TextW(fill, QStringLiteral("Hg"));
    ASSERT_FALSE(InkBox(Play({good})).isNull());
    // A spacing array cut short by the end of the record.
    QByteArray shortSpacing =
        TextW({0, 0, kOpaque, QRect(0, 0, 51, 51), {1, 1}}, QStringLiteral("Hg"));
    shortSpacing.chop(4);
    shortSpacing[4] = char(shortSpacing.size());
    EXPECT_TRUE(InkBox(Play({shortSpacing})).isNull());
    QByteArray poly(16, '\0');
    for (std::uint32_t v : {1U, 0U, 0U, 0x08000000U})
        PutU32(poly, v);
    EXPECT_TRUE(InkBox(Play({Record(EmfRecord::PolyTextOutW, poly)})).isNull());
    QByteArray small;
    for (std::uint32_t v : {1U, 1U, 0xFFFFFFFFU, kNoRect, 1U, 0U, 0U})
        PutU32(small, v);
    EXPECT_TRUE(InkBox(Play({Record(EmfRecord::SmallTextOut, small)})).isNull());
    // Records cut short read their missing fields as 0 and draw no text.
    for (qsizetype length = 8; length < good.size(); length += 4) {
        QByteArray cut = good.left(length);
        cut[4] = char(length);
        Play({cut});
    }
}

TEST_F(TextPlay, LongStringsDraw)
{
    // A hundred thousand characters, spread out and stacked on one spot.
    const QString text(100000, QChar(u'W'));
    Text spread{0, 10};
    spread.dx.assign(100000, 3);
    Text stacked{0, 10};
    stacked.dx.assign(100000, 0);
    EXPECT_FALSE(InkBox(Play({TextW(spread, text)})).isNull());
    EXPECT_EQ(Play({TextW(stacked, text)}), Play({TextW({0, 10}, QStringLiteral("W"))}));
    EXPECT_FALSE(InkBox(Play({TextW({0, 10}, text)})).isNull());
}

struct Substitution {
    const char* what;
    QString face;
    std::uint8_t pitchAndFamily;
    std::uint8_t charSet;
    QString family;
};

std::vector<Substitution> Substitutions()
{
    return {
        {"Arial", QStringLiteral("Arial"), 0, 0, QStringLiteral("Liberation Sans")},
        {"Arial in capitals", QStringLiteral("ARIAL"), 0, 0, QStringLiteral("Liberation Sans")},
        {"Times New Roman", QStringLiteral("Times New Roman"), 0, 0,
         QStringLiteral("Liberation Serif")},
        {"Courier New", QStringLiteral("Courier New"), 0, 0, QStringLiteral("Liberation Mono")},
        {"Arial Narrow", QStringLiteral("Arial Narrow"), 0, 0,
         QStringLiteral("Liberation Sans Narrow")},
        {"MS PGothic in full-width letters", QStringLiteral("ＭＳ Ｐゴシック"), 0, 128,
         QStringLiteral("IPAPGothic")},
        {"MS PGothic in full-width small letters", QStringLiteral("ｍｓ ｐゴシック"), 0, 128,
         QStringLiteral("IPAPGothic")},
        {"MS Gothic in full-width letters", QStringLiteral("ＭＳ ゴシック"), 0, 128,
         QStringLiteral("IPAGothic")},
        {"vertical MS Mincho", QStringLiteral("@ＭＳ 明朝"), 0, 128, QStringLiteral("IPAMincho")},
        {"MS PMincho", QStringLiteral("MS PMincho"), 0, 128, QStringLiteral("IPAPMincho")},
        {"Meiryo", QStringLiteral("Meiryo"), 0, 0, QStringLiteral("IPAPGothic")},
        {"unknown roman face", QStringLiteral("No Such Face"), 0x12, 0,
         QStringLiteral("Liberation Serif")},
        {"unknown modern face", QStringLiteral("No Such Face"), 0x31, 0,
         QStringLiteral("Liberation Mono")},
        {"no face, fixed pitch", QStringLiteral(""), 0x01, 0, QStringLiteral("Liberation Mono")},
        {"no face, swiss family", QStringLiteral(""), 0x22, 0, QStringLiteral("Liberation Sans")},
        {"unknown face in Shift_JIS", QStringLiteral("No Such Face"), 0x12, 128,
         QStringLiteral("IPAPGothic")},
        {"Symbol", QStringLiteral("Symbol"), 0, 2, QStringLiteral("Symbola")},
        {"Wingdings in the default set", QStringLiteral("WingDings"), 0, 1,
         QStringLiteral("Symbola")},
        {"Wingdings 2", QStringLiteral("Wingdings 2"), 0, 2, QStringLiteral("Symbola")},
        {"Webdings", QStringLiteral("Webdings"), 0, 2, QStringLiteral("Symbola")},
    };
}

void PrintTo(const Substitution& row, std::ostream* out)
{
    *out << row.what << ": " << row.face.toStdString();
}

class FontFamily : public ::testing::TestWithParam<Substitution> {};

TEST_P(FontFamily, WindowsFamiliesDrawWithInstalledFonts)
{
    EnsureGuiApplication();
    const Substitution& row = GetParam();
    const QString family = orvelle::SubstituteFontFamily(row.face, row.pitchAndFamily, row.charSet);
    EXPECT_EQ(family, row.family);
    EXPECT_EQ(QFontInfo(QFont(family)).family(), row.family);
}

INSTANTIATE_TEST_SUITE_P(FontSubstitution, FontFamily, ::testing::ValuesIn(Substitutions()),
                         [](const ::testing::TestParamInfo<Substitution>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST(FontSubstitution, UnknownPictureFacesKeepTheirNameForTheirBoxes)
{
    EnsureGuiApplication();
    EXPECT_EQ(orvelle::SubstituteFontFamily(QStringLiteral("No Such Picture Font"), 0, 2),
              QStringLiteral("No Such Picture Font"));
    EXPECT_EQ(orvelle::SymbolSetOf(u"No Such Picture Font", 2), orvelle::SymbolSet::Unmapped);
    EXPECT_EQ(orvelle::SymbolSetOf(u"Marlett", 0), orvelle::SymbolSet::Unmapped);
    // A face the system has draws its own signs, and the text sets stay text.
    EXPECT_EQ(orvelle::SymbolSetOf(u"DejaVu Sans", 2), orvelle::SymbolSet::None);
    EXPECT_EQ(orvelle::SymbolSetOf(u"Arial", 0), orvelle::SymbolSet::None);
}

TEST(FontRecord, ReadsTheLogicalFontInsideTheRecord)
{
    QByteArray r;
    for (std::int64_t v : {82, 0, 3, -24, 7, 900, 450, 700})
        PutU32(r, std::uint32_t(v));
    r.append("\x01\x01\x00\x80\x00\x00\x00\x12", 8);
    r += Utf16(QStringLiteral("ＭＳ 明朝"));
    r.append(64 - 10, '\0');
    r[4] = char(r.size());
    const orvelle::Font f = orvelle::ReadFontRecord(RecordView{r, 0, r.size()});
    EXPECT_EQ(f.height, -24);
    EXPECT_EQ(f.width, 7);
    EXPECT_EQ(f.escapement, 900);
    EXPECT_EQ(f.orientation, 450);
    EXPECT_EQ(f.weight, 700);
    EXPECT_TRUE(f.italic);
    EXPECT_TRUE(f.underline);
    EXPECT_FALSE(f.strikeOut);
    EXPECT_EQ(f.charSet, 128);
    EXPECT_EQ(f.pitchAndFamily, 0x12);
    EXPECT_EQ(f.faceName, QStringLiteral("ＭＳ 明朝"));

    // A face name without its end, in a record cut inside it, stops at the record.
    QByteArray cut = r.left(40 + 6);
    cut.replace(40, 6, Utf16(QStringLiteral("abc")));
    const orvelle::Font g = orvelle::ReadFontRecord(RecordView{cut, 0, 40 + 5});
    EXPECT_EQ(g.faceName, QStringLiteral("ab"));
    QByteArray full = r;
    full.replace(40, 64, Utf16(QString(40, u'x')).left(64));
    EXPECT_EQ(orvelle::ReadFontRecord(RecordView{full, 0, full.size()}).faceName.size(), 32);
}

// Whole files through the player, with the device context of a fresh file.
QByteArray TextFile()
{
    EmfWriter w(0, 0, 9900, 4900);
    Text spaced{5, 5, kOpaque, QRect(QPoint(2, 2), QPoint(20, 20)), {12, 12}};
    const QByteArray a = TextW(spaced, QStringLiteral("Hg"));
    w.Raw(EmfRecord::ExtTextOutW, a.mid(8));
    const QByteArray b =
        TextA({40, 5, kClipped, QRect(QPoint(40, 5), QPoint(60, 20))}, QByteArray("abc", 3));
    w.Raw(EmfRecord::ExtTextOutA, b.mid(8));
    QByteArray small;
    for (std::uint32_t v : {70U, 10U, 2U, kNoRect | kSmallChars, 1U, 0U, 0U})
        PutU32(small, v);
    small.append("Hi", 2);
    Pad(small);
    w.Raw(EmfRecord::SmallTextOut, small);
    return w.Bytes();
}

TEST(MetafileTextFile, DrawsTheSamePixelsEveryTime)
{
    const QByteArray emf = TextFile();
    const TBitmap first = Render(emf, 100, 50, {0, 0, 100, 50});
    const TBitmap second = Render(emf, 100, 50, {0, 0, 100, 50});
    EXPECT_GT(Inked(first), 0);
    EXPECT_EQ(Pixels(first), Pixels(second));
}

TEST(MetafileTextFile, DamagedBytesNeverCrash)
{
    EachByteDamaged(TextFile(), 108, {char(0xFF), char(0x7F), char(0x00)}, {kInvalid, kRead});
}

// What the picture fonts' codes stand for, from sources apart from the
// tables: the Unicode names of the signs these fonts are known for.
TEST(SymbolSigns, KnownCodesStandForTheirSigns)
{
    using orvelle::SymbolSet;
    using orvelle::SymbolSign;
    struct Known {
        SymbolSet set;
        char32_t code;
        char32_t sign;
    };
    const Known known[] = {
        {SymbolSet::Symbol, 'a', U'\u03B1'},      // GREEK SMALL LETTER ALPHA
        {SymbolSet::Symbol, 'p', U'\u03C0'},      // GREEK SMALL LETTER PI
        {SymbolSet::Symbol, 'W', U'\u03A9'},      // GREEK CAPITAL LETTER OMEGA
        {SymbolSet::Symbol, 0xE5, U'\u2211'},     // N-ARY SUMMATION
        {SymbolSet::Symbol, 0xE6, U'\u239B'},     // the left parenthesis' upper hook
        {SymbolSet::Symbol, 0xA0, U'\u20AC'},     // EURO SIGN
        {SymbolSet::Wingdings, 'J', U'\u263A'},   // WHITE SMILING FACE
        {SymbolSet::Wingdings, 0xFC, U'\u2713'},  // CHECK MARK
        {SymbolSet::Wingdings, '^', U'\u2648'},   // ARIES
        {SymbolSet::Wingdings2, 'R', U'\u2611'},  // BALLOT BOX WITH CHECK
        {SymbolSet::Wingdings2, 'T', U'\u2612'},  // BALLOT BOX WITH X
        {SymbolSet::Wingdings2, 'j', U'\u2460'},  // CIRCLED DIGIT ONE
        {SymbolSet::Wingdings3, 'p', U'\u25B2'},  // BLACK UP-POINTING TRIANGLE
        {SymbolSet::Webdings, 'a', U'\u2714'},    // HEAVY CHECK MARK
    };
    for (const Known& k : known) {
        EXPECT_EQ(SymbolSign(k.set, k.code), k.sign) << std::hex << unsigned(k.code);
        // Windows writes symbol text in UTF-16 at U+F020..U+F0FF.
        EXPECT_EQ(SymbolSign(k.set, 0xF000 + k.code), k.sign) << std::hex << unsigned(k.code);
    }
    // Codes the fonts leave empty, codes outside them, and text fonts.
    EXPECT_EQ(SymbolSign(SymbolSet::Symbol, 0x80), 0U);
    EXPECT_EQ(SymbolSign(SymbolSet::Wingdings, 0xFF), 0U);
    EXPECT_EQ(SymbolSign(SymbolSet::Wingdings3, 0xF5), 0U);
    EXPECT_EQ(SymbolSign(SymbolSet::Wingdings, 0x1F), 0U);
    EXPECT_EQ(SymbolSign(SymbolSet::Wingdings, 0x141), 0U);
    EXPECT_EQ(SymbolSign(SymbolSet::None, 'a'), 0U);
    EXPECT_EQ(SymbolSign(SymbolSet::Unmapped, 'a'), 0U);
}

TEST(SymbolSigns, TheSignFontCarriesEverySign)
{
    EnsureGuiApplication();
    QFont font(orvelle::kSignFamily.toString());
    font.setPixelSize(20);
    ASSERT_EQ(QFontInfo(font).family(), orvelle::kSignFamily.toString())
        << "fonts-symbola is not installed";
    const QRawFont raw = QRawFont::fromFont(font);
    for (auto set : {orvelle::SymbolSet::Symbol, orvelle::SymbolSet::Wingdings,
                     orvelle::SymbolSet::Wingdings2, orvelle::SymbolSet::Wingdings3,
                     orvelle::SymbolSet::Webdings}) {
        int signs = 0;
        for (char32_t code = 0x20; code <= 0xFF; ++code) {
            if (const char32_t sign = orvelle::SymbolSign(set, code)) {
                ++signs;
                EXPECT_TRUE(raw.supportsCharacter(sign))
                    << int(set) << " " << std::hex << unsigned(code) << " " << unsigned(sign);
            }
        }
        EXPECT_GT(signs, 180) << int(set);
    }
}

// The sign drawn straight through Qt in the sign font, as the player sets
// its fonts up, with its cell's top-left corner at `at`.
void DrawSign(QImage& image, QPoint at, const QString& sign)
{
    QFont font(orvelle::kSignFamily.toString());
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setKerning(false);
    font.setPixelSize(20);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(at) + QPointF(0, QFontMetricsF(font).ascent()), sign);
}

// A table of a picture font, one code to a cell as character maps print
// them, drawn by 8-bit records and by UTF-16 ones at U+F0xx, against the
// signs drawn directly.
TEST_F(TextPlay, PictureFontTablesDrawTheirSigns)
{
    constexpr int kColumns = 16, kCell = 28;
    const QSize size(kColumns * kCell, 14 * kCell);
    for (auto [face, set] : {std::pair{u"Wingdings 2", orvelle::SymbolSet::Wingdings2},
                             std::pair{u"Symbol", orvelle::SymbolSet::Symbol},
                             std::pair{u"Webdings", orvelle::SymbolSet::Webdings}}) {
        state.font.faceName = QString::fromUtf16(face);
        state.font.charSet = orvelle::kSymbolCharSet;
        std::vector<QByteArray> eightBit, wide;
        QImage expected(size, QImage::Format_RGB32);
        expected.fill(Qt::white);
        for (int code = 0x21; code <= 0xFF; ++code) {
            const QPoint at(((code - 0x20) % kColumns) * kCell, ((code - 0x20) / kColumns) * kCell);
            eightBit.push_back(TextA({at.x(), at.y()}, QByteArray(1, char(code))));
            wide.push_back(TextW({at.x(), at.y()}, QString(QChar(0xF000 + code))));
            const char32_t sign = orvelle::SymbolSign(set, char32_t(code));
            const char32_t shown = sign ? sign : U'\u25A1';
            DrawSign(expected, at, QString::fromUcs4(&shown, 1));
        }
        const QImage drawn = Play(eightBit, size);
        EXPECT_EQ(drawn, expected) << QString::fromUtf16(face).toStdString();
        EXPECT_EQ(Play(wide, size), drawn) << QString::fromUtf16(face).toStdString();
    }
    // The same code in a text font is a letter, not the sign.
    state.font.faceName = QStringLiteral("Symbol");
    const QImage alpha = Play({TextA({10, 10}, QByteArray("a"))});
    state.font.faceName = QStringLiteral("Arial");
    state.font.charSet = 0;
    EXPECT_NE(alpha, Play({TextA({10, 10}, QByteArray("a"))}));
}

struct CodePageCase {
    const char* what;
    std::uint8_t charSet;
    const char* face;
    QByteArray bytes;
    char32_t character;
    QFontDatabase::WritingSystem script;
};

void PrintTo(const CodePageCase& row, std::ostream* out)
{
    *out << row.what;
}

// Each Windows character set read in its code page; the characters are
// what Python's codecs give for the same bytes.
const CodePageCase kCodePages[] = {
    {"Hebrew", 177, "Arial", "\xE0", U'\u05D0', QFontDatabase::Hebrew},
    {"Arabic", 178, "Arial", "\xC7", U'\u0627', QFontDatabase::Arabic},
    {"Greek", 161, "Arial", "\xE1", U'\u03B1', QFontDatabase::Greek},
    {"Turkish", 162, "Arial", "\xF0", U'\u011F', QFontDatabase::Latin},
    {"Baltic", 186, "Arial", "\xE8", U'\u010D', QFontDatabase::Latin},
    {"Cyrillic", 204, "Arial", "\xC0", U'\u0410', QFontDatabase::Cyrillic},
    {"Central European", 238, "Arial", "\xE8", U'\u010D', QFontDatabase::Latin},
    {"Thai", 222, "Tahoma", "\xA1", U'\u0E01', QFontDatabase::Thai},
    {"Vietnamese", 163, "Arial", "\xD0", U'\u0110', QFontDatabase::Vietnamese},
    {"OEM", 255, "Terminal", "\xB0", U'\u2591', QFontDatabase::Any},
    {"Mac", 77, "Arial", "\x80", U'\u00C4', QFontDatabase::Latin},
    {"Simplified Chinese", 134, "SimSun", "\xC4\xE3", U'\u4F60',
     QFontDatabase::SimplifiedChinese},
    {"Traditional Chinese", 136, "MingLiU", "\xA7\x41", U'\u4F60',
     QFontDatabase::TraditionalChinese},
    {"Korean", 129, "Gulim", "\xC7\xD1", U'\uD55C', QFontDatabase::Korean},
    {"Japanese with the NEC signs", 128, "MS Gothic", "\x87\x40", U'\u2460',
     QFontDatabase::Japanese},
    {"the default set of a Japanese face", 1, "ＭＳ ゴシック", "\x93\xFA", U'\u65E5',
     QFontDatabase::Japanese},
    {"the default set of a Western face", 1, "Arial", "\x80", U'\u20AC', QFontDatabase::Latin},
};

class CodePages : public TextPlay, public ::testing::WithParamInterface<CodePageCase> {};

TEST_P(CodePages, EightBitTextIsReadInTheCharacterSetsCodePage)
{
    const CodePageCase& row = GetParam();
    const QString face = QString::fromUtf8(row.face);
    const QString character = QString::fromUcs4(&row.character, 1);
    EXPECT_EQ(orvelle::DecodeCharSetText(row.bytes, row.charSet, face), character);
    // A two-byte character is one character, whatever follows it.
    const orvelle::CodePage page = orvelle::CodePageOf(row.charSet, face);
    EXPECT_EQ(orvelle::LeadsTwoBytes(page.doubleByte, std::uint8_t(row.bytes[0])),
              row.bytes.size() == 2);

    // Drawn, it is that character, in a font the set-up installs for it.
    state.font.charSet = row.charSet;
    state.font.faceName = face;
    const QImage drawn = Play({TextA({10, 10}, row.bytes + QByteArray(" "))});
    EXPECT_EQ(drawn, Play({TextW({10, 10}, character + u' ')}));
    EXPECT_FALSE(InkBox(drawn).isNull());
    EXPECT_FALSE(QFontDatabase::families(row.script).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(TextPlay, CodePages, ::testing::ValuesIn(kCodePages),
                         [](const ::testing::TestParamInfo<CodePageCase>& info) {
                             return RowName(info.index, info.param.what);
                         });
TEST_F(TextPlay, DoubleByteCharactersKeepTheSpacingOfBothBytes)
{
    // 你好 in GBK, with a spacing entry for every byte.
    state.font.charSet = 134;
    state.font.faceName = QStringLiteral("SimSun");
    Text bytes{10, 10};
    bytes.dx = {10, 20, 15, 15};
    Text chars{10, 10};
    chars.dx = {30, 30};
    EXPECT_EQ(Play({TextA(bytes, QByteArray("\xC4\xE3\xBA\xC3", 4))}),
              Play({TextW(chars, QStringLiteral("你好"))}));
}

} // namespace
