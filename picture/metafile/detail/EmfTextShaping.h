#pragma once

// Text of the metafile player that cannot be drawn cell by cell: strings
// that Qt must shape and order as a whole (right-to-left scripts, joining
// letters, combining marks), and the boxes drawn for signs no installed font
// has. Everything here works in the text's own frame: x along the baseline
// from the string's start, y down, the baseline at y = 0.

#include <cstdint>
#include <optional>
#include <vector>

#include <QColor>
#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;
class QPainterPath;

namespace orvelle {

// Whether the text alignment or the record's options ask for a paragraph
// read from right to left.
bool RightToLeftReading(std::uint32_t textAlign, std::uint32_t options);

// Whether the cells need Qt's bidi ordering and shaping: right-to-left
// characters, scripts whose letters join or reorder, combining marks.
// Latin, Greek, Cyrillic and CJK text draws cell by cell, which keeps long
// strings quick.
bool NeedsShaping(const std::vector<QString>& cells);

// Glyphs as Qt shaped them, placed in the text's frame.
struct ShapedText {
    QList<QGlyphRun> runs;
    // The string's advance.
    double width = 0;
};

// The string shaped and ordered as one paragraph of the given direction.
ShapedText ShapeWhole(const QString& text, const QFont& font, bool rightToLeft);

// The cells shaped as one string, each group of cells that shares glyphs
// moved to the slot the spacing gives it. Slots follow one another in
// visual order, each as wide as its cells' advances (`starts` is where each
// cell's advance starts in logical order, `end` where the last one ends).
// Groups whose slot starts outside `visible` are left out.
ShapedText ShapeSpaced(const std::vector<QString>& cells, const std::vector<QPointF>& starts,
                       const QPointF& end, const QFont& font, bool rightToLeft,
                       const std::optional<QRectF>& visible);

void DrawShaped(QPainter& painter, const ShapedText& text, const QPointF& shift);
void AddShaped(QPainterPath& path, const ShapedText& text, const QPointF& shift);

// Boxes standing for signs that cannot be drawn: one per advance, standing
// on the baseline, a little narrower than its advance (or than the font's
// average width where the advance is nil) and about as tall as a capital.
struct Boxes {
    std::vector<QRectF> rects;
    double outline = 1;
};

Boxes BoxesAt(const std::vector<QPointF>& starts, const QPointF& end, const QFont& font);
// Each box outlined in the colour, its outline inside the box.
void DrawBoxes(QPainter& painter, const Boxes& boxes, const QPointF& shift, const QColor& colour);
void AddBoxes(QPainterPath& path, const Boxes& boxes, const QPointF& shift);

} // namespace orvelle
