#pragma once

#include <memory>

#include <QByteArray>

#include "Graphic.h"

class TBitmap;

// A JPEG file: its bytes are kept as loaded and decoded on the first draw;
// the decoded bitmap then serves every later draw and size query.
class TJPEGImage final : public TGraphic {
public:
    TJPEGImage();
    ~TJPEGImage() override;

    const char* ClassName() const noexcept override { return "TJPEGImage"; }
    // Reads the markers up to the first scan for the size; no pixels yet.
    void LoadFromStream(QIODevice& file) override;
    int Width() const override;
    int Height() const override;
    bool Empty() const override;
    // Decodes on the first call. A decode that fails raises once; the
    // bitmap keeps what was decoded up to then and is drawn from then on.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    // The decoded pixels every draw is made from, decoding them as the first
    // draw would (and raising what it would raise).
    const TBitmap& Decoded();

    // Whether the header named a grayscale image.
    bool Grayscale() const noexcept { return grayscale_; }

private:
    void Load(QIODevice& file);

    QByteArray bytes_;
    int width_ = 0;
    int height_ = 0;
    bool grayscale_ = false;
    // Made by the first draw, also when decoding failed.
    std::unique_ptr<TBitmap> decoded_;
};
