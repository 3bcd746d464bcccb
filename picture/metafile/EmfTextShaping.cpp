#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>
#include <QTextOption>

#include "EmfTextShaping.h"

namespace orvelle {

namespace {

constexpr std::uint32_t kTaRtlReading = 0x100;
constexpr std::uint32_t kEtoRtlReading = 0x80;

// Wide enough for any string the player draws; Qt's own fixed-point
// coordinates end a little above 2^25.
constexpr double kLineWidth = 1 << 24;

char32_t CodePointAt(const QString& s, qsizetype& i)
{
    const QChar c = s[i];
    if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
        const char32_t u = QChar::surrogateToUcs4(c, s[i + 1]);
        i += 2;
        return u;
    }
    ++i;
    return c.unicode();
}

bool RightToLeft(QChar::Direction d)
{
    switch (d) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirAN:
    case QChar::DirRLE:
    case QChar::DirRLO:
    case QChar::DirRLI:
        return true;
    default:
        return false;
    }
}

// Scripts whose characters each draw one glyph of their own, whatever
// stands beside them.
bool DrawsAlone(QChar::Script script)
{
    switch (script) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
    case QChar::Script_Armenian:
    case QChar::Script_Georgian:
    case QChar::Script_Hangul:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Bopomofo:
    case QChar::Script_Han:
    case QChar::Script_Yi:
    case QChar::Script_Ethiopic:
    case QChar::Script_Cherokee:
        return true;
    default:
        return false;
    }
}

// A one-line layout of the text, its glyphs' x from 0 at the string's
// visual left whatever its direction.
struct Line {
    Line(const QString& text, const QFont& font, bool rightToLeft) : layout(text, font)
    {
        QTextOption option;
        option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
        option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
        option.setWrapMode(QTextOption::NoWrap);
        layout.setTextOption(option);
        layout.setCacheEnabled(true);
        layout.beginLayout();
        line = layout.createLine();
        if (line.isValid())
            line.setLineWidth(kLineWidth);
        layout.endLayout();
    }

    // Moves glyphs from where the layout has them to `by` in the text's
    // frame: the layout's baseline lies at the line's ascent.
    void Move(QList<QGlyphRun> runs, const QPointF& by, ShapedText& into) const
    {
        const QPointF offset = by - QPointF(0, line.ascent());
        for (QGlyphRun& run : runs) {
            QList<QPointF> positions = run.positions();
            for (QPointF& p : positions)
                p += offset;
            run.setPositions(positions);
            run.setBoundingRect(run.boundingRect().translated(offset));
            into.runs << run;
        }
    }

    QTextLayout layout;
    QTextLine line;
};

// Cells that draw together: a character, the marks on it and the
// characters one ligature joins to it.
struct Group {
    std::size_t first = 0;
    std::size_t last = 0;
    QList<QGlyphRun> runs;
    // Where the layout put the group's advance.
    double left = 0;
};

bool SharesAGlyph(const QList<QGlyphRun>& a, const QList<QGlyphRun>& b)
{
    for (const QGlyphRun& x : a)
        for (const QGlyphRun& y : b) {
            if (x.rawFont() != y.rawFont())
                continue;
            const QList<quint32> gx = x.glyphIndexes(), gy = y.glyphIndexes();
            const QList<QPointF> px = x.positions(), py = y.positions();
            for (qsizetype i = 0; i < gx.size(); ++i)
                for (qsizetype j = 0; j < gy.size(); ++j)
                    if (gx[i] == gy[j] && px[i] == py[j])
                        return true;
        }
    return false;
}

// Where each cell's advance starts, in logical order, and where the last
// one ends.
struct Spacing {
    const std::vector<QPointF>& starts;
    QPointF end;

    QPointF After(std::size_t i) const { return i + 1 < starts.size() ? starts[i + 1] : end; }
};

// Cells [first, last) laid out on their own. Qt's glyphs-of-a-range query
// walks the whole line, so asking it cell by cell costs the square of a
// string's length: long strings are laid out piece by piece, each piece
// ending after a space where one comes soon enough.
struct Piece {
    std::size_t first = 0;
    std::size_t last = 0;
};

// Whether slots from cell `first` up to `last` (exclusive) can reach the
// visible frame: the slots lie between `x` and `x` plus the cells'
// advances, at the heights their starts give.
bool Reaches(const std::optional<QRectF>& visible, const Spacing& spacing, std::size_t first,
             std::size_t last, double x)
{
    if (!visible || first >= last)
        return true;
    const double x1 = x + spacing.After(last - 1).x() - spacing.starts[first].x();
    double y0 = spacing.starts[first].y();
    double y1 = y0;
    for (std::size_t i = first; i < last; ++i) {
        y0 = std::min(y0, spacing.starts[i].y());
        y1 = std::max(y1, spacing.starts[i].y());
    }
    return std::max(x, x1) >= visible->left() && std::min(x, x1) <= visible->right() &&
           y1 >= visible->top() && y0 <= visible->bottom();
}

constexpr std::size_t kPieceCells = 256;
constexpr std::size_t kSpaceReach = 64;

std::vector<Piece> Pieces(const std::vector<QString>& cells)
{
    std::vector<Piece> pieces;
    for (std::size_t first = 0; first < cells.size();) {
        std::size_t last = std::min(cells.size(), first + kPieceCells);
        for (std::size_t i = last; i < std::min(cells.size(), last + kSpaceReach); ++i)
            if (cells[i] == QStringLiteral(" ")) {
                last = i + 1;
                break;
            }
        // Marks stay with their letter.
        while (last < cells.size() && !cells[last].isEmpty() && cells[last].front().isMark())
            ++last;
        pieces.push_back({first, last});
        first = last;
    }
    return pieces;
}

// The piece's cells shaped as one string, each group of cells that shares
// glyphs moved to its slot; the slots start at `x`, which ends past them.
void ShapePiece(const std::vector<QString>& cells, const Piece& piece, const Spacing& spacing,
                const QFont& font, bool rightToLeft, const std::optional<QRectF>& visible,
                double& x, ShapedText& into)
{
    QString text;
    std::vector<int> from;
    from.reserve(piece.last - piece.first + 1);
    for (std::size_t i = piece.first; i < piece.last; ++i) {
        from.push_back(int(text.size()));
        text += cells[i];
    }
    from.push_back(int(text.size()));
    const Line line(text, font, rightToLeft);
    if (!line.line.isValid())
        return;
    const auto at = [&](std::size_t i) { return from[i - piece.first]; };

    // A cell joins the group before it when it starts inside a character
    // (a mark on it) or shares a glyph with it (a ligature): drawn apart,
    // their glyphs would be drawn twice or torn from one another.
    std::vector<Group> groups;
    for (std::size_t i = piece.first; i < piece.last; ++i) {
        QList<QGlyphRun> runs = line.layout.glyphRuns(at(i), at(i + 1) - at(i));
        if (!groups.empty() &&
            (!line.layout.isValidCursorPosition(at(i)) || SharesAGlyph(groups.back().runs, runs))) {
            Group& g = groups.back();
            g.last = i;
            g.runs = line.layout.glyphRuns(at(g.first), at(i + 1) - at(g.first));
        } else {
            groups.push_back(Group{i, i, std::move(runs)});
        }
    }
    for (Group& g : groups) {
        if (g.runs.isEmpty()) {
            g.left = line.line.cursorToX(at(g.first));
            continue;
        }
        g.left = g.runs.front().boundingRect().left();
        for (const QGlyphRun& run : g.runs)
            g.left = std::min(g.left, run.boundingRect().left());
    }

    // Slots are laid from the left in the order the layout shows the
    // groups, so the logical first letter of a right-to-left word takes
    // the rightmost slot.
    std::vector<std::size_t> order(groups.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return groups[a].left < groups[b].left; });
    for (const std::size_t k : order) {
        const Group& g = groups[k];
        const QPointF slot(x, spacing.starts[g.first].y());
        x += spacing.After(g.last).x() - spacing.starts[g.first].x();
        if (visible && !visible->contains(slot))
            continue;
        line.Move(g.runs, slot - QPointF(g.left, 0), into);
    }
}

} // namespace

bool RightToLeftReading(std::uint32_t textAlign, std::uint32_t options)
{
    return (textAlign & kTaRtlReading) || (options & kEtoRtlReading);
}

bool NeedsShaping(const std::vector<QString>& cells)
{
    for (const QString& cell : cells)
        for (qsizetype i = 0; i < cell.size();) {
            const char32_t u = CodePointAt(cell, i);
            if (u < 0x300)
                continue;
            if (RightToLeft(QChar::direction(u)) || QChar::isMark(u) ||
                !DrawsAlone(QChar::script(u)))
                return true;
        }
    return false;
}

ShapedText ShapeWhole(const QString& text, const QFont& font, bool rightToLeft)
{
    ShapedText shaped;
    const Line line(text, font, rightToLeft);
    if (!line.line.isValid())
        return shaped;
    shaped.width = line.line.naturalTextWidth();
    line.Move(line.line.glyphRuns(), QPointF(-line.line.naturalTextRect().left(), 0), shaped);
    return shaped;
}

ShapedText ShapeSpaced(const std::vector<QString>& cells, const std::vector<QPointF>& starts,
                       const QPointF& end, const QFont& font, bool rightToLeft,
                       const std::optional<QRectF>& visible)
{
    ShapedText shaped;
    shaped.width = end.x();
    if (cells.empty() || starts.size() != cells.size())
        return shaped;
    const Spacing spacing{starts, end};
    // A string whose slots all lie outside the target is not shaped at
    // all, nor a piece of one whose slots do: a file of long strings drawn
    // off the page stays quick.
    if (!Reaches(visible, spacing, 0, cells.size(), 0))
        return shaped;
    const std::vector<Piece> pieces = Pieces(cells);
    double x = 0;
    if (pieces.size() == 1) {
        ShapePiece(cells, pieces.front(), spacing, font, rightToLeft, visible, x, shaped);
        return shaped;
    }
    // The pieces follow one another as the whole string's layout shows
    // them.
    QString whole;
    std::vector<int> from;
    from.reserve(cells.size() + 1);
    for (const QString& cell : cells) {
        from.push_back(int(whole.size()));
        whole += cell;
    }
    from.push_back(int(whole.size()));
    const Line line(whole, font, rightToLeft);
    std::vector<std::pair<double, std::size_t>> order;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const double a = line.line.isValid() ? line.line.cursorToX(from[pieces[k].first]) : 0;
        const double b = line.line.isValid() ? line.line.cursorToX(from[pieces[k].last]) : 0;
        order.emplace_back(std::min(a, b), k);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [left, k] : order) {
        const Piece& piece = pieces[k];
        if (Reaches(visible, spacing, piece.first, piece.last, x))
            ShapePiece(cells, piece, spacing, font, rightToLeft, visible, x, shaped);
        else
            x += spacing.After(piece.last - 1).x() - spacing.starts[piece.first].x();
    }
    return shaped;
}

void DrawShaped(QPainter& painter, const ShapedText& text, const QPointF& shift)
{
    for (const QGlyphRun& run : text.runs)
        painter.drawGlyphRun(shift, run);
}

void AddShaped(QPainterPath& path, const ShapedText& text, const QPointF& shift)
{
    for (const QGlyphRun& run : text.runs) {
        const QRawFont raw = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i)
            path.addPath(raw.pathForGlyph(glyphs[i]).translated(positions[i] + shift));
    }
}

Boxes BoxesAt(const std::vector<QPointF>& starts, const QPointF& end, const QFont& font)
{
    const double em = font.pixelSize() > 0 ? font.pixelSize() : QFontMetricsF(font).height();
    const double average = std::max(1.0, QFontMetricsF(font).averageCharWidth());
    // What a missing glyph looks like in most fonts: an outline a little
    // inside its advance, about as tall as a capital.
    const double height = std::max(2.0, std::round(0.7 * em));
    Boxes boxes;
    boxes.outline = std::max(1.0, std::round(em / 24));
    boxes.rects.reserve(starts.size());
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const QPointF after = i + 1 < starts.size() ? starts[i + 1] : end;
        double advance = after.x() - starts[i].x();
        if (std::abs(advance) < 1)
            advance = average;
        const double width = std::max(2 * boxes.outline + 1, std::round(std::abs(advance) * 0.8));
        const double left = std::min(starts[i].x(), starts[i].x() + advance) +
                            std::floor((std::abs(advance) - width) / 2);
        boxes.rects.emplace_back(left, starts[i].y() - height, width, height);
    }
    return boxes;
}

void DrawBoxes(QPainter& painter, const Boxes& boxes, const QPointF& shift, const QColor& colour)
{
    const double t = boxes.outline;
    for (const QRectF& box : boxes.rects) {
        const QRectF r = box.translated(shift);
        painter.fillRect(QRectF(r.left(), r.top(), r.width(), t), colour);
        painter.fillRect(QRectF(r.left(), r.bottom() - t, r.width(), t), colour);
        painter.fillRect(QRectF(r.left(), r.top() + t, t, r.height() - 2 * t), colour);
        painter.fillRect(QRectF(r.right() - t, r.top() + t, t, r.height() - 2 * t), colour);
    }
}

void AddBoxes(QPainterPath& path, const Boxes& boxes, const QPointF& shift)
{
    for (const QRectF& box : boxes.rects)
        path.addRect(box.translated(shift));
}

} // namespace orvelle
