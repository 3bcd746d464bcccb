#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRawFont>
#include <QString>
#include <QTextLayout>

#include "EmfContext.h"
#include "TestSupport.h"
#include "TextRecords.h"

using namespace orvelle::test;
using orvelle::EmfRecord;

namespace {

constexpr std::uint32_t kTaRtlReading = 0x100;
constexpr std::uint32_t kEtoRtlReading = 0x80;
constexpr int kBaseline = 40;

const QString kShin = QStringLiteral("\u05E9"), kLamed = QStringLiteral("\u05DC"),
              kVav = QStringLiteral("\u05D5");

// The drawing font the player makes for the fixture's logical font of
// 20 pixels, named by its installed family.
QFont Drawing(const QString& family)
{
    QFont font(family);
    font.setPixelSize(20);
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setKerning(false);
    return font;
}

bool HasFontFor(QFontDatabase::WritingSystem system)
{
    return !QFontDatabase::families(system).isEmpty();
}

// Qt's own drawing on a white image of the fixture's size.
template <typename Draw> QImage Oracle(Draw draw, QSize size = {160, 80})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setPen(Qt::black);
    painter.setFont(Drawing(QStringLiteral("Liberation Sans")));
    draw(painter);
    return image;
}

// Letters each drawn alone by Qt, with its left at its slot.
struct Placed {
    QString text;
    int left;
};

QImage Alone(const std::vector<Placed>& letters)
{
    return Oracle([&](QPainter& p) {
        for (const Placed& l : letters)
            p.drawText(QPointF(l.left, kBaseline), l.text);
    });
}

// The columns [from, to) of an image.
QImage Columns(const QImage& image, int from, int to)
{
    return image.copy(from, 0, to - from, image.height());
}

// The ink inside the columns [from, to), in the image's coordinates.
QRect InkIn(const QImage& image, int from, int to)
{
    const QRect box = InkBox(Columns(image, from, to));
    return box.isNull() ? box : box.translated(from, 0);
}

// Whether the ink is one outlined rectangle: its edges all ink, its inside
// all white.
bool IsOutline(const QImage& image, const QRect& box)
{
    if (box.width() < 3 || box.height() < 3)
        return false;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const bool edge =
                x == box.left() || x == box.right() || y == box.top() || y == box.bottom();
            if ((image.pixel(x, y) != qRgb(255, 255, 255)) != edge)
                return false;
        }
    return true;
}

class ScriptPlay : public TextPlay {
protected:
    void SetUp() override
    {
        TextPlay::SetUp();
        state.textAlign = orvelle::kTaBaseline;
        if (!HasFontFor(QFontDatabase::Hebrew))
            GTEST_SKIP() << "no installed font has Hebrew letters (fonts-dejavu-core has)";
    }
};

TEST_F(ScriptPlay, HebrewWithSpacingTakesItsSlotsFromTheRight)
{
    // Shin, lamed, vav in logical order, each given its own advance: read
    // from the right, the first letter takes the rightmost slot.
    const QImage drawn = Play({TextW({20, kBaseline, 0, {}, {26, 20, 12}}, kShin + kLamed + kVav)});
    const QImage expected = Alone({{kVav, 20}, {kLamed, 32}, {kShin, 52}});
    EXPECT_EQ(Columns(drawn, 20, 32), Columns(expected, 20, 32)) << "vav";
    EXPECT_EQ(Columns(drawn, 32, 52), Columns(expected, 32, 52)) << "lamed";
    EXPECT_EQ(Columns(drawn, 52, 78), Columns(expected, 52, 78)) << "shin";
    EXPECT_EQ(drawn, expected);

    // The string's advance is the sum of its slots, whatever their order.
    state.textAlign = orvelle::kTaBaseline | orvelle::kTaRight;
    EXPECT_EQ(Play({TextW({78, kBaseline, 0, {}, {26, 20, 12}}, kShin + kLamed + kVav)}), expected);
}

TEST_F(ScriptPlay, MixedLatinAndHebrewKeepTheLatinLeftToRight)
{
    // "ab ", then shin and lamed: the Latin letters stay where their
    // spacing puts them, the Hebrew word turns around after them.
    const QImage drawn = Play({TextW({10, kBaseline, 0, {}, {14, 14, 10, 22, 16}},
                                     QStringLiteral("ab ") + kShin + kLamed)});
    EXPECT_EQ(
        drawn,
        Alone({{QStringLiteral("a"), 10}, {QStringLiteral("b"), 24}, {kLamed, 48}, {kShin, 64}}));

    // Read from the right, the Hebrew word comes first and the Latin
    // letters after it, still from left to right.
    const QImage rtl = Play({TextW({10, kBaseline, kEtoRtlReading, {}, {14, 14, 10, 22, 16}},
                                   QStringLiteral("ab ") + kShin + kLamed)});
    EXPECT_EQ(
        rtl,
        Alone({{kLamed, 10}, {kShin, 26}, {QStringLiteral("a"), 58}, {QStringLiteral("b"), 72}}));
}

TEST_F(ScriptPlay, WithoutSpacingTheStringIsLaidOutByQt)
{
    const QString text = QStringLiteral("ab ") + kShin + kLamed + kVav;
    const auto qt = [&](Qt::LayoutDirection direction) {
        return Oracle([&](QPainter& p) {
            p.setLayoutDirection(direction);
            p.drawText(QPointF(10, kBaseline), text);
        });
    };
    const QImage leftToRight = qt(Qt::LeftToRight);
    const QImage rightToLeft = qt(Qt::RightToLeft);
    ASSERT_NE(leftToRight, rightToLeft);
    EXPECT_EQ(Play({TextW({10, kBaseline}, text)}), leftToRight);
    EXPECT_EQ(Play({TextW({10, kBaseline, kEtoRtlReading}, text)}), rightToLeft);
    state.textAlign |= kTaRtlReading;
    EXPECT_EQ(Play({TextW({10, kBaseline}, text)}), rightToLeft);

    // Right and centre alignment measure the string laid out from the right.
    const double width =
        QFontMetricsF(Drawing(QStringLiteral("Liberation Sans"))).horizontalAdvance(text);
    ASSERT_EQ(width, std::round(width));
    state.textAlign |= orvelle::kTaRight;
    EXPECT_EQ(Play({TextW({10 + int(width), kBaseline}, text)}), rightToLeft);
}

TEST_F(ScriptPlay, ArabicWithSpacingKeepsItsJoinedForms)
{
    if (!HasFontFor(QFontDatabase::Arabic))
        GTEST_SKIP() << "no installed font has Arabic letters (fonts-dejavu-core has)";
    // Beh, yeh, teh: the yeh joins on both sides, its medial form.
    const QString word = QStringLiteral("\u0628\u064A\u062A");
    const QFont font = Drawing(QStringLiteral("Liberation Sans"));
    QTextLayout layout(word, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> middle = layout.glyphRuns(1, 1);
    ASSERT_EQ(middle.size(), 1);
    ASSERT_EQ(middle[0].glyphIndexes().size(), 1);
    const QRawFont arabic = middle[0].rawFont();
    const quint32 medial = middle[0].glyphIndexes()[0];
    ASSERT_NE(medial, arabic.glyphIndexesForString(word.mid(1, 1)).value(0));

    // Visual order from the left: teh, yeh, beh.
    const QImage drawn = Play({TextW({20, kBaseline, 0, {}, {24, 18, 30}}, word)});
    const QImage joined = Oracle([&](QPainter& p) {
        QGlyphRun run;
        run.setRawFont(arabic);
        run.setGlyphIndexes({medial});
        run.setPositions({QPointF(50, kBaseline)});
        p.drawGlyphRun(QPointF(0, 0), run);
    });
    const QImage isolated = Alone({{word.mid(1, 1), 50}});
    EXPECT_EQ(Columns(drawn, 50, 68), Columns(joined, 50, 68));
    EXPECT_NE(Columns(drawn, 50, 68), Columns(isolated, 50, 68));
    // The other two letters, each in its own slot.
    EXPECT_FALSE(InkIn(drawn, 20, 50).isNull());
    EXPECT_FALSE(InkIn(drawn, 68, 92).isNull());
    EXPECT_TRUE(InkIn(drawn, 92, 160).isNull());

    // Lam and alef make one ligature: drawn once, at the left of the slot
    // of both, as Qt draws the pair.
    const QString lamAlef = QStringLiteral("\u0644\u0627");
    EXPECT_EQ(Play({TextW({20, kBaseline, 0, {}, {16, 16}}, lamAlef)}),
              Oracle([&](QPainter& p) { p.drawText(QPointF(20, kBaseline), lamAlef); }));
}

TEST_F(ScriptPlay, LongRightToLeftStringsKeepTheirOrder)
{
    // Long strings are laid out piece by piece; the pieces still follow
    // one another from the right.
    constexpr int n = 700;
    QString text = kShin;
    std::vector<Placed> alone{{kShin, 10 + 2 * (n - 1)}};
    for (int i = 1; i < n; ++i) {
        const QString letter = i % 50 == 0 ? kLamed : kVav;
        text += letter;
        alone.push_back({letter, 10 + 2 * (n - 1 - i)});
    }
    Text spaced{10, kBaseline};
    spaced.dx.assign(n, 2);
    const QSize size(2 * n + 40, 80);
    EXPECT_EQ(Play({TextW(spaced, text)}, size), Oracle(
                                                     [&](QPainter& p) {
                                                         for (const Placed& l : alone)
                                                             p.drawText(QPointF(l.left, kBaseline),
                                                                        l.text);
                                                     },
                                                     size));
}

TEST_F(ScriptPlay, PiecesOutsideTheTargetAreLeftOutUnseen)
{
    // The same long string in a narrow target and in a wide one: the
    // pieces the narrow one cannot show are not shaped, and what it shows
    // is the wide one's left part, pixel for pixel. Started far to the
    // left, nothing of it shows.
    constexpr int n = 3000;
    QString text;
    for (int i = 0; i < n; ++i)
        text += i % 50 == 0 ? kLamed : i % 7 == 0 ? kShin : kVav;
    Text spaced{10, kBaseline};
    spaced.dx.assign(n, 3);
    const QImage wide = Play({TextW(spaced, text)}, {3 * n + 40, 80});
    const QImage narrow = Play({TextW(spaced, text)}, {200, 80});
    EXPECT_EQ(narrow, wide.copy(0, 0, 200, 80));
    EXPECT_FALSE(InkBox(narrow).isNull());
    spaced.x = -3 * n - 100;
    EXPECT_TRUE(InkBox(Play({TextW(spaced, text)}, {200, 80})).isNull());
}

TEST_F(ScriptPlay, HebrewInAPathTakesTheSameSlots)
{
    state.pathOpen = true;
    EXPECT_TRUE(InkBox(Play({TextW({20, kBaseline, 0, {}, {26, 20, 12}}, kShin + kLamed + kVav)}))
                    .isNull());
    // Filled, the path's letters stand in the slots the drawn ones take:
    // the wide shin on the right, the narrow vav on the left.
    const QImage filled = Oracle([&](QPainter& p) { p.fillPath(state.path, Qt::black); });
    const QRect vav = InkIn(filled, 20, 32);
    const QRect lamed = InkIn(filled, 32, 52);
    const QRect shin = InkIn(filled, 52, 78);
    ASSERT_FALSE(vav.isNull() || lamed.isNull() || shin.isNull());
    EXPECT_TRUE(InkIn(filled, 78, 160).isNull());
    EXPECT_LT(2 * vav.width(), shin.width());
    EXPECT_LT(lamed.top(), shin.top()) << "the lamed rises above the others";
}

// Glyph indices of Liberation Sans for "Hg".
QByteArray HgIndices()
{
    const QList<quint32> glyphs = QRawFont::fromFont(Drawing(QStringLiteral("Liberation Sans")))
                                      .glyphIndexesForString(QStringLiteral("Hg"));
    QByteArray indices;
    for (quint32 g : glyphs)
        PutU16(indices, g);
    return indices;
}

QByteArray ByIndex(const Text& t)
{
    return Record(EmfRecord::ExtTextOutW, ExtTextOutBody(t, HgIndices(), 2));
}

TEST_F(TextPlay, GlyphIndicesDrawOnlyWithTheFaceTheyBelongTo)
{
    state.textAlign = orvelle::kTaBaseline;
    const Text spaced{20, kBaseline, kGlyphIndex, {}, {30, 30}};
    // The installed face itself: its glyphs, as its characters draw.
    state.font.faceName = QStringLiteral("liberation sans");
    EXPECT_EQ(Play({ByIndex(spaced)}),
              Play({TextW({20, kBaseline, 0, {}, {30, 30}}, QStringLiteral("Hg"))}));

    // Arial's indices drawn with its substitute would be other signs: a box
    // stands in each slot instead.
    state.font.faceName = QStringLiteral("Arial");
    const QImage boxes = Play({ByIndex(spaced)});
    const QRect first = InkIn(boxes, 20, 50);
    const QRect second = InkIn(boxes, 50, 80);
    ASSERT_FALSE(first.isNull() || second.isNull());
    EXPECT_TRUE(InkIn(boxes, 80, 160).isNull());
    EXPECT_TRUE(IsOutline(boxes, first));
    EXPECT_TRUE(IsOutline(boxes, second));
    EXPECT_EQ(second, first.translated(30, 0));
    EXPECT_EQ(first.bottom(), kBaseline - 1) << "standing on the baseline";
    EXPECT_EQ(first.top(), second.top());
    EXPECT_GT(first.width(), 15);
    EXPECT_LT(first.width(), 30);
    EXPECT_GT(first.height(), 10);
    EXPECT_LT(first.height(), 20);

    // In the text colour, and on the opaque rectangle.
    state.textColour = QColor(0, 0, 255);
    state.backColour = QColor(255, 0, 0);
    const QImage coloured = Play({ByIndex(
        {20, kBaseline, kGlyphIndex | kOpaque, QRect(QPoint(10, 10), QPoint(99, 59)), {30, 30}})});
    EXPECT_EQ(InkBox(coloured, qRgb(255, 0, 0)), first | second);
    EXPECT_EQ(Count(coloured, qRgb(0, 0, 255)), Count(boxes, qRgb(0, 0, 0)));
}

// A symbol-charset face whose signs are unknown draws the same boxes as
// indices of a font we lack, rather than the Latin letters of its codes.
TEST_F(TextPlay, UnknownPictureFacesDrawBoxes)
{
    state.textAlign = orvelle::kTaBaseline;
    state.font.faceName = QStringLiteral("No Such Picture Font");
    state.font.charSet = 2;
    const QImage boxes = Play({ByIndex({20, kBaseline, kGlyphIndex, {}, {30, 30}})});
    EXPECT_EQ(Play({TextA({20, kBaseline, 0, {}, {30, 30}}, QByteArray("ab"))}), boxes);
    EXPECT_EQ(Play({TextW({20, kBaseline, 0, {}, {30, 30}}, QStringLiteral("\uF061\uF062"))}),
              boxes);
    EXPECT_TRUE(IsOutline(boxes, InkIn(boxes, 20, 50)));
    EXPECT_TRUE(IsOutline(boxes, InkIn(boxes, 50, 80)));
}

TEST_F(TextPlay, BoxesFollowTheAlignmentAndGoIntoAPath)
{
    // Without spacing, each box takes the font's average width.
    state.font.faceName = QStringLiteral("Arial");
    const double average =
        QFontMetricsF(Drawing(QStringLiteral("Liberation Sans"))).averageCharWidth();
    const QRect left = InkBox(Play({ByIndex({80, 40, kGlyphIndex})}));
    ASSERT_FALSE(left.isNull());
    EXPECT_GE(left.left(), 80);
    EXPECT_LE(left.right(), 80 + 2 * average);
    EXPECT_GT(left.right(), 80 + average);
    state.textAlign = orvelle::kTaRight;
    const QRect right = InkBox(Play({ByIndex({80, 40, kGlyphIndex})}));
    EXPECT_LT(right.right(), 80);
    EXPECT_GE(right.left(), 80 - 2 * average);
    state.textAlign = orvelle::kTaCenter;
    const QRect centre = InkBox(Play({ByIndex({80, 40, kGlyphIndex})}));
    EXPECT_LT(centre.left(), 80);
    EXPECT_GT(centre.right(), 80);

    // Into an open path, one rectangle a box.
    state.textAlign = orvelle::kTaBaseline;
    state.pathOpen = true;
    EXPECT_TRUE(InkBox(Play({ByIndex({20, kBaseline, kGlyphIndex, {}, {30, 30}})})).isNull());
    const QList<QPolygonF> rects = state.path.toSubpathPolygons();
    ASSERT_EQ(rects.size(), 2);
    for (const QPolygonF& r : rects) {
        EXPECT_EQ(r.size(), 5);
        EXPECT_EQ(r.boundingRect().bottom(), kBaseline);
    }
    EXPECT_GE(rects[0].boundingRect().left(), 20);
    EXPECT_LE(rects[0].boundingRect().right(), 50);
    EXPECT_GE(rects[1].boundingRect().left(), 50);
    EXPECT_LE(rects[1].boundingRect().right(), 80);
}

TEST_F(TextPlay, LatinWithSpacingStillDrawsCellByCell)
{
    // Latin, Greek and CJK keep the quick path: each character drawn alone
    // at its own start, as Qt draws it alone.
    state.textAlign = orvelle::kTaBaseline;
    const QString text = QStringLiteral("Wa\u03A9");
    EXPECT_EQ(Play({TextW({10, kBaseline, 0, {}, {30, 20, 25}}, text)}),
              Alone({{QStringLiteral("W"), 10},
                     {QStringLiteral("a"), 40},
                     {QStringLiteral("\u03A9"), 60}}));
    // A combining accent goes with its letter, not alone at its own start.
    const QImage accented =
        Play({TextW({10, kBaseline, 0, {}, {30, 0, 20}}, QStringLiteral("e\u0301x"))});
    EXPECT_EQ(accented, Oracle([&](QPainter& p) {
                  p.drawText(QPointF(10, kBaseline), QStringLiteral("e\u0301"));
                  p.drawText(QPointF(40, kBaseline), QStringLiteral("x"));
              }));
}

} // namespace
