#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QList>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QSet>
#include <QStringDecoder>

#include "EmfContext.h"
#include "EmfFonts.h"
#include "EmfTextShaping.h"
#include "SymbolFonts.h"

namespace orvelle {

namespace {

constexpr std::uint32_t kEtoOpaque = 0x2;
constexpr std::uint32_t kEtoClipped = 0x4;
constexpr std::uint32_t kEtoGlyphIndex = 0x10;
constexpr std::uint32_t kEtoNoRect = 0x100;
constexpr std::uint32_t kEtoSmallChars = 0x200;
constexpr std::uint32_t kEtoPdy = 0x2000;

// The text block inside the text-out records: reference point, count,
// string offset, options, rectangle, spacing offset.
constexpr qsizetype kEmrTextBytes = 40;

// The font size when the logical font leaves it to the device: 12 pixels
// of the device the picture was recorded on, what the usual system font
// has on a 96 dpi screen.
constexpr double kDefaultEmDevicePixels = 12;
// Sizes beyond this only come from broken or far-zoomed pictures; the
// glyphs would be larger than any target.
constexpr int kMaxEmPixels = 8192;

// What one text string of a record draws: characters (a surrogate pair
// or a double-byte character stays one cell) or glyph indices, each with
// the advance the record gives it.
struct TextRun {
    QPointF reference;
    std::uint32_t options = 0;
    bool hasRect = false;
    QPointF rectA;
    QPointF rectB;
    bool glyphIndices = false;
    // Each cell or glyph stands for a sign no installed font can draw:
    // an outlined box is drawn in its place.
    bool boxes = false;
    std::vector<QString> cells;
    std::vector<quint32> glyphs;
    // In logical units, one per cell or glyph; empty when the record
    // leaves the spacing to the font.
    std::vector<QPointF> advances;
};

std::uint16_t U16(const RecordView& r, qsizetype at)
{
    return std::uint16_t(r.I16(at));
}

std::uint8_t U8(const RecordView& r, qsizetype at)
{
    return r.Holds(at, 1) ? std::uint8_t(r.data[r.offset + at]) : 0;
}

// The spacing array: one advance per code unit, or an x and a y advance
// each with the per-direction option. Nothing when it does not fit the
// record; an empty list when the record has none.
std::optional<std::vector<QPointF>> ReadSpacing(const RecordView& r, std::uint32_t offset,
                                                std::uint32_t count, bool pairs)
{
    std::vector<QPointF> spacing;
    if (offset == 0 || count == 0)
        return spacing;
    const qsizetype step = pairs ? 8 : 4;
    if (!r.Holds(offset, std::uint64_t(count) * std::uint64_t(step)))
        return std::nullopt;
    spacing.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const qsizetype at = qsizetype(offset) + qsizetype(i) * step;
        spacing.emplace_back(r.I32(at), pairs ? r.I32(at + 4) : 0);
    }
    return spacing;
}

// Cells from code units that each take one spacing entry; a cell made of
// several units advances by the sum of theirs.
void AddCell(TextRun& run, QString text, qsizetype first, qsizetype units,
             const std::vector<QPointF>& spacing)
{
    run.cells.push_back(std::move(text));
    if (spacing.empty())
        return;
    QPointF advance;
    for (qsizetype i = first; i < first + units; ++i)
        advance += spacing[std::size_t(i)];
    run.advances.push_back(advance);
}

void CellsFromUtf16(TextRun& run, const std::vector<char16_t>& units,
                    const std::vector<QPointF>& spacing)
{
    run.cells.reserve(units.size());
    const qsizetype n = qsizetype(units.size());
    for (qsizetype i = 0; i < n;) {
        const char16_t u = units[std::size_t(i)];
        const bool pair = QChar::isHighSurrogate(u) && i + 1 < n &&
                          QChar::isLowSurrogate(units[std::size_t(i + 1)]);
        const qsizetype length = pair ? 2 : 1;
        AddCell(run, QString(reinterpret_cast<const QChar*>(&units[std::size_t(i)]), length), i,
                length, spacing);
        i += length;
    }
}

// 8-bit text decoded character by character, so each character keeps the
// spacing entries of all its bytes.
void CellsFromBytes(TextRun& run, const QByteArray& bytes, const Font& font,
                    const std::vector<QPointF>& spacing)
{
    const CodePage page = CodePageOf(font.charSet, font.faceName);
    QStringDecoder decoder = DecoderOf(page);
    const qsizetype n = bytes.size();
    run.cells.reserve(std::size_t(n));
    for (qsizetype i = 0; i < n;) {
        const qsizetype length =
            LeadsTwoBytes(page.doubleByte, std::uint8_t(bytes[i])) && i + 1 < n ? 2 : 1;
        QString text = decoder.decode(QByteArrayView(bytes.constData() + i, length));
        if (text.isEmpty())
            text = QString(QChar(0xFFFD));
        AddCell(run, std::move(text), i, length, spacing);
        i += length;
    }
}

// Cells of a picture font: each code becomes the sign it stands for, and a
// code the font leaves empty a white square, so nothing is drawn as a
// letter it never was. A face whose signs are unknown draws boxes.
void CellsFromSymbolCodes(TextRun& run, const std::vector<char16_t>& codes, SymbolSet set,
                          const std::vector<QPointF>& spacing)
{
    run.boxes = set == SymbolSet::Unmapped;
    run.cells.reserve(codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const char32_t sign = SymbolSign(set, codes[i]);
        const char32_t shown = run.boxes ? char32_t(codes[i]) : sign ? sign : U'\u25A1';
        AddCell(run, QString::fromUcs4(&shown, 1), qsizetype(i), 1, spacing);
    }
}

// The cells of a string given as 8-bit or UTF-16 code units.
void CellsFromUnits(TextRun& run, const std::vector<char16_t>& units, bool wide, const Font& font,
                    const std::vector<QPointF>& spacing)
{
    const SymbolSet set = SymbolSetOf(font.faceName, font.charSet);
    if (set != SymbolSet::None) {
        CellsFromSymbolCodes(run, units, set, spacing);
    } else if (wide) {
        CellsFromUtf16(run, units, spacing);
    } else {
        QByteArray bytes;
        bytes.reserve(qsizetype(units.size()));
        for (char16_t u : units)
            bytes.append(char(u));
        CellsFromBytes(run, bytes, font, spacing);
    }
}

// The text block at `at`; nothing when its string or spacing lies outside
// the record.
std::optional<TextRun> ReadTextBlock(const RecordView& r, qsizetype at, bool wide, const Font& font)
{
    TextRun run;
    run.reference = QPointF(r.I32(at), r.I32(at + 4));
    const std::uint32_t count = r.U32(at + 8);
    const std::uint32_t offString = r.U32(at + 12);
    run.options = r.U32(at + 16);
    qsizetype next = at + 20;
    if (!(run.options & kEtoNoRect)) {
        run.hasRect = true;
        run.rectA = QPointF(r.I32(next), r.I32(next + 4));
        run.rectB = QPointF(r.I32(next + 8), r.I32(next + 12));
        next += 16;
    }
    const std::uint32_t offDx = r.U32(next);
    if (!r.Holds(offString, std::uint64_t(count) * (wide ? 2 : 1)))
        return std::nullopt;
    const auto spacing = ReadSpacing(r, offDx, count, run.options & kEtoPdy);
    if (!spacing)
        return std::nullopt;
    if (run.options & kEtoGlyphIndex) {
        run.glyphIndices = true;
        run.glyphs.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i)
            run.glyphs.push_back(wide ? U16(r, offString + qsizetype(i) * 2)
                                      : U8(r, offString + qsizetype(i)));
        run.advances = *spacing;
        return run;
    }
    std::vector<char16_t> units(count);
    for (std::uint32_t i = 0; i < count; ++i)
        units[i] = wide ? char16_t(U16(r, offString + qsizetype(i) * 2))
                        : char16_t(U8(r, offString + qsizetype(i)));
    CellsFromUnits(run, units, wide, font, *spacing);
    return run;
}

std::optional<TextRun> ReadSmallText(const RecordView& r, const Font& font)
{
    TextRun run;
    run.reference = QPointF(r.I32(8), r.I32(12));
    const std::uint32_t count = r.U32(16);
    run.options = r.U32(20);
    qsizetype at = 36;
    if (!(run.options & kEtoNoRect)) {
        run.hasRect = true;
        run.rectA = QPointF(r.I32(36), r.I32(40));
        run.rectB = QPointF(r.I32(44), r.I32(48));
        at += 16;
    }
    const bool small = run.options & kEtoSmallChars;
    if (!r.Holds(at, std::uint64_t(count) * (small ? 1 : 2)))
        return std::nullopt;
    std::vector<char16_t> units(count);
    for (std::uint32_t i = 0; i < count; ++i)
        units[i] =
            small ? char16_t(U8(r, at + qsizetype(i))) : char16_t(U16(r, at + qsizetype(i) * 2));
    if (run.options & kEtoGlyphIndex) {
        run.glyphIndices = true;
        run.glyphs.assign(units.begin(), units.end());
    } else {
        CellsFromUnits(run, units, true, font, {});
    }
    return run;
}

double ScaleX(const QTransform& m)
{
    return std::hypot(m.m11(), m.m12());
}

double ScaleY(const QTransform& m)
{
    return std::hypot(m.m21(), m.m22());
}

// The drawing font for the logical font under the current mapping.
QFont DrawingFont(const Font& f, const EmfDrawing& dc)
{
    QFont font(SubstituteFontFamily(f.faceName, f.pitchAndFamily, f.charSet));
    // Pixels must not depend on the machine's font settings: no smoothing
    // and the font's own hinting.
    font.setStyleStrategy(QFont::NoAntialias);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setKerning(false);
    font.setWeight(QFont::Weight(f.weight == 0 ? 400 : std::clamp(f.weight, 1, 1000)));
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikeOut);

    double em = f.height == 0 ? kDefaultEmDevicePixels * ScaleY(dc.device)
                              : std::abs(double(f.height)) * ScaleY(dc.mapping);
    if (f.height > 0) {
        // A positive height is the whole cell, ascent and descent; the em
        // is smaller by the font's internal leading.
        QFont probe = font;
        probe.setPixelSize(1000);
        const QFontMetricsF fm(probe);
        const double cell = fm.ascent() + fm.descent();
        if (cell > 0)
            em = em * 1000 / cell;
    }
    if (!std::isfinite(em))
        em = 1;
    font.setPixelSize(int(std::lround(std::clamp(em, 1.0, double(kMaxEmPixels)))));

    // A given average width is kept under the mapping; without one, a
    // picture drawn wider or narrower than it was made stretches its
    // letters with it, so they keep to their spacing.
    double stretch = 100;
    if (f.width != 0) {
        const double wanted = std::abs(double(f.width)) * ScaleX(dc.mapping);
        const double average = AverageCharWidth(font);
        if (average > 0)
            stretch = 100 * wanted / average;
    } else if (ScaleY(dc.mapping) > 0) {
        stretch = 100 * ScaleX(dc.mapping) / ScaleY(dc.mapping);
    }
    if (std::isfinite(stretch) && std::abs(stretch - 100) >= 1)
        font.setStretch(int(std::lround(std::clamp(stretch, 1.0, 4000.0))));
    return font;
}

// The record's rectangle in target pixels, without its right and bottom edge.
QRect DeviceRect(const TextRun& run, const EmfDrawing& dc)
{
    return PixelsBetween(dc.Map(run.rectA), dc.Map(run.rectB));
}

// Where each cell or glyph starts along the baseline, in pixels of the
// text's own frame (x along the baseline, y down), and where the string ends.
struct Layout {
    std::vector<QPointF> starts;
    QPointF end;
};

Layout FromSpacing(const std::vector<QPointF>& advances, const EmfDrawing& dc)
{
    const double sx = ScaleX(dc.mapping);
    const double sy = dc.mapping.m22() < 0 ? -ScaleY(dc.mapping) : ScaleY(dc.mapping);
    Layout layout;
    layout.starts.reserve(advances.size());
    QPointF at;
    for (const QPointF& a : advances) {
        layout.starts.push_back(at);
        at += QPointF(a.x() * sx, a.y() * sy);
    }
    layout.end = at;
    return layout;
}

bool Finite(const QPointF& p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::abs(p.x()) < kCoordinateLimit &&
           std::abs(p.y()) < kCoordinateLimit;
}

// Whether the run's glyph indices can be drawn with the drawing font.
bool DrawsGlyphIndices(const QFont& font, const QString& faceName)
{
    // Glyph indices number the glyphs of the font file the picture was made
    // with. A substitute, even one with the same metrics, orders its glyphs
    // as its own makers chose, and without the original file there is no
    // way to map one order onto the other: only the named face itself
    // draws them as meant.
    return QFontInfo(font).family().compare(faceName, Qt::CaseInsensitive) == 0;
}

// Each cell or glyph one advance after the other, for runs whose own
// advances are unknown.
Layout Evenly(std::size_t count, double advance)
{
    Layout layout;
    layout.starts.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        layout.starts.push_back(layout.end);
        layout.end += QPointF(advance, 0);
    }
    return layout;
}

// What the painter's target shows, in its current coordinates, with a
// margin for glyphs that start outside and reach in.
QRectF VisibleFrame(const QPainter& painter, const QFont& font)
{
    const QPaintDevice* device = painter.device();
    const double margin = 2.0 * font.pixelSize() + 2;
    return painter.deviceTransform()
        .inverted()
        .mapRect(QRectF(0, 0, device->width(), device->height()))
        .adjusted(-margin, -margin, margin, margin);
}

void DrawRun(const TextRun& run, EmfDrawing& dc)
{
    const DcState& state = dc.state;
    const bool useCurrent = state.textAlign & kTaUpdateCp;
    const QPointF origin = dc.mapping.map(useCurrent ? dc.position : run.reference);
    if (!Finite(origin))
        return;
    const QFont font = DrawingFont(state.font, dc);
    const QFontMetricsF metrics(font);
    QPainterPath* path = dc.Path();
    QPainter& painter = dc.painter;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    if (run.hasRect && !path) {
        const QRect box = DeviceRect(run, dc);
        if ((run.options & kEtoOpaque) && box.isValid())
            painter.fillRect(box, state.backColour);
        if (run.options & kEtoClipped)
            painter.setClipRect(box.isValid() ? box : QRect(), Qt::IntersectClip);
    }

    const bool rightToLeft = RightToLeftReading(state.textAlign, run.options);
    const bool boxes =
        run.boxes || (run.glyphIndices && !DrawsGlyphIndices(font, state.font.faceName));
    const std::size_t count = run.glyphIndices ? run.glyphs.size() : run.cells.size();
    // Strings with right-to-left or joining letters are shaped by Qt as a
    // whole; the rest draws cell by cell, which stays quick for long ones.
    const bool shaped = !boxes && !run.glyphIndices && (rightToLeft || NeedsShaping(run.cells));
    QRawFont raw;
    if (run.glyphIndices && !boxes)
        raw = QRawFont::fromFont(font);
    Layout layout;
    const bool spaced = !run.advances.empty();
    QString whole;
    ShapedText paragraph;
    if (spaced) {
        layout = FromSpacing(run.advances, dc);
    } else if (boxes) {
        layout = Evenly(count, metrics.averageCharWidth());
    } else if (run.glyphIndices) {
        if (raw.isValid()) {
            const QList<quint32> indices(run.glyphs.begin(), run.glyphs.end());
            const QList<QPointF> advances = raw.advancesForGlyphIndexes(indices);
            layout.starts.reserve(std::size_t(advances.size()));
            for (const QPointF& a : advances) {
                layout.starts.push_back(layout.end);
                layout.end += a;
            }
        }
    } else {
        for (const QString& cell : run.cells)
            whole += cell;
        if (rightToLeft) {
            paragraph = ShapeWhole(whole, font, true);
            layout.end = QPointF(paragraph.width, 0);
        } else {
            layout.end = QPointF(metrics.horizontalAdvance(whole), 0);
        }
    }

    // The reference point is the left, centre or right of the string's
    // advance, and its top, baseline or bottom.
    const std::uint32_t horizontal = state.textAlign & kTaCenter;
    const std::uint32_t vertical = state.textAlign & kTaBaseline;
    const double x0 = horizontal == kTaCenter  ? -layout.end.x() / 2
                      : horizontal == kTaRight ? -layout.end.x()
                                               : 0;
    const double baseline = vertical == kTaBaseline ? 0
                            : vertical == kTaBottom ? -metrics.descent()
                                                    : metrics.ascent();
    const QPointF shift(x0, baseline);
    const double angle = state.font.escapement / 10.0;
    QTransform frame;
    frame.translate(origin.x(), origin.y());
    frame.rotate(-angle);

    const bool anything = count > 0;
    if (path && anything) {
        QPainterPath glyphs;
        if (boxes) {
            AddBoxes(glyphs, BoxesAt(layout.starts, layout.end, font), shift);
        } else if (run.glyphIndices) {
            for (std::size_t i = 0; i < run.glyphs.size() && raw.isValid(); ++i)
                glyphs.addPath(
                    raw.pathForGlyph(run.glyphs[i]).translated(layout.starts[i] + shift));
        } else if (spaced && shaped) {
            AddShaped(glyphs,
                      ShapeSpaced(run.cells, layout.starts, layout.end, font, rightToLeft, {}),
                      shift);
        } else if (spaced) {
            for (std::size_t i = 0; i < run.cells.size(); ++i)
                glyphs.addText(layout.starts[i] + shift, font, run.cells[i]);
        } else if (rightToLeft) {
            AddShaped(glyphs, paragraph, shift);
        } else {
            glyphs.addText(shift, font, whole);
        }
        path->addPath(frame.map(glyphs));
    } else if (anything) {
        painter.setTransform(frame, true);
        if (state.opaqueBackground) {
            const QRectF cell(x0, baseline - metrics.ascent(), layout.end.x(),
                              metrics.ascent() + metrics.descent());
            painter.fillRect(cell.normalized(), state.backColour);
        }
        painter.setPen(state.textColour);
        painter.setFont(font);
        // A paragraph reads from left to right unless the record says
        // otherwise, whatever the machine's language.
        painter.setLayoutDirection(Qt::LeftToRight);
        if (boxes) {
            DrawBoxes(painter, BoxesAt(layout.starts, layout.end, font), shift, state.textColour);
        } else if (run.glyphIndices) {
            if (raw.isValid() && layout.starts.size() == run.glyphs.size()) {
                QGlyphRun glyphs;
                glyphs.setRawFont(raw);
                glyphs.setGlyphIndexes(QList<quint32>(run.glyphs.begin(), run.glyphs.end()));
                QList<QPointF> positions;
                positions.reserve(qsizetype(layout.starts.size()));
                for (const QPointF& p : layout.starts)
                    positions << p + shift;
                glyphs.setPositions(positions);
                glyphs.setUnderline(font.underline());
                glyphs.setStrikeOut(font.strikeOut());
                painter.drawGlyphRun(QPointF(0, 0), glyphs);
            }
        } else if (spaced && shaped) {
            const QRectF visible = VisibleFrame(painter, font).translated(-shift);
            DrawShaped(
                painter,
                ShapeSpaced(run.cells, layout.starts, layout.end, font, rightToLeft, visible),
                shift);
        } else if (spaced) {
            // Cells outside the target are left out, and a cell drawn again
            // where it already stands changes no pixel: a long string or
            // one stacked on a single spot stays quick.
            const QRectF visible = VisibleFrame(painter, font);
            QSet<QString> drawnHere;
            QPointF here(qQNaN(), qQNaN());
            for (std::size_t i = 0; i < run.cells.size(); ++i) {
                const QPointF at = layout.starts[i] + shift;
                if (!visible.contains(at))
                    continue;
                if (at != here) {
                    here = at;
                    drawnHere.clear();
                }
                if (drawnHere.contains(run.cells[i]))
                    continue;
                drawnHere.insert(run.cells[i]);
                painter.drawText(at, run.cells[i]);
            }
        } else if (rightToLeft) {
            DrawShaped(painter, paragraph, shift);
        } else {
            painter.drawText(shift, whole);
        }
    }
    painter.restore();

    if (useCurrent) {
        // The current position moves past the string, or back over it for
        // right-aligned text; centred text leaves it where it was.
        QPointF moved;
        if (horizontal == kTaRight)
            moved = -layout.end;
        else if (horizontal != kTaCenter)
            moved = layout.end;
        bool invertible = false;
        const QTransform back = dc.mapping.inverted(&invertible);
        const QPointF to = back.map(frame.map(moved));
        if (invertible && Finite(to))
            dc.position = to;
    }
}

} // namespace

Font ReadFontRecord(const RecordView& r)
{
    // The logical font follows the object index at byte 8.
    constexpr qsizetype at = 12;
    Font f;
    f.height = r.I32(at);
    f.width = r.I32(at + 4);
    f.escapement = r.I32(at + 8);
    f.orientation = r.I32(at + 12);
    f.weight = r.I32(at + 16);
    f.italic = U8(r, at + 20) != 0;
    f.underline = U8(r, at + 21) != 0;
    f.strikeOut = U8(r, at + 22) != 0;
    f.charSet = U8(r, at + 23);
    f.pitchAndFamily = U8(r, at + 27);
    constexpr qsizetype face = at + 28;
    constexpr int faceUnits = 32;
    for (int i = 0; i < faceUnits && r.Holds(face + i * 2, 2); ++i) {
        const std::uint16_t u = U16(r, face + i * 2);
        if (u == 0)
            break;
        f.faceName += QChar(u);
    }
    return f;
}

bool PlayTextRecord(EmfRecord type, const RecordView& r, EmfDrawing& dc)
{
    if (type != EmfRecord::ExtTextOutA && type != EmfRecord::ExtTextOutW &&
        type != EmfRecord::PolyTextOutA && type != EmfRecord::PolyTextOutW &&
        type != EmfRecord::SmallTextOut)
        return false;
    // Fonts need the GUI side of Qt; a program without it draws no text.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return true;
    const Font& font = dc.state.font;
    switch (type) {
    case EmfRecord::ExtTextOutA:
    case EmfRecord::ExtTextOutW:
        if (const auto run = ReadTextBlock(r, 36, type == EmfRecord::ExtTextOutW, font))
            DrawRun(*run, dc);
        return true;
    case EmfRecord::PolyTextOutA:
    case EmfRecord::PolyTextOutW: {
        const std::uint32_t strings = r.U32(36);
        if (!r.Holds(40, std::uint64_t(strings) * kEmrTextBytes))
            return true;
        for (std::uint32_t i = 0; i < strings; ++i) {
            if (const auto run = ReadTextBlock(r, 40 + qsizetype(i) * kEmrTextBytes,
                                               type == EmfRecord::PolyTextOutW, font))
                DrawRun(*run, dc);
        }
        return true;
    }
    default:
        if (const auto run = ReadSmallText(r, font))
            DrawRun(*run, dc);
        return true;
    }
}

} // namespace orvelle
