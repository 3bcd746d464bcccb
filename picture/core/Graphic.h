#pragma once

#include <QIODevice>

class TCanvas;

// A rectangle as the drawing operations take it: right and bottom are
// exclusive, so the width is Right − Left.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const noexcept { return Right - Left; }
    int Height() const noexcept { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// One kind of picture: loads itself from a file's bytes, knows its size in
// pixels and draws itself onto a canvas.
class TGraphic {
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

protected:
    // Only a concrete kind moves, as a whole.
    TGraphic(TGraphic&&) = default;
    TGraphic& operator=(TGraphic&&) = default;

public:
    // The kind's class name ("TBitmap", "TJPEGImage" ...).
    virtual const char* ClassName() const noexcept = 0;

    // Reads the whole file from its start; throws the layer's errors.
    virtual void LoadFromStream(QIODevice& file) = 0;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Nothing to draw: DrawAt passes over an empty graphic.
    virtual bool Empty() const = 0;

    // Draws the whole picture into rect, scaled to it (DrawStretched).
    virtual void Draw(TCanvas& canvas, const TRect& rect) = 0;
};
