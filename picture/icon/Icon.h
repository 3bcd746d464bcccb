#pragma once

#include <QByteArray>
#include <QImage>

#include "Graphic.h"

// An icon file. The bytes are kept as loaded; the icon itself (one entry of
// the file, chosen for the standard icon size) is made on the first draw,
// and with it the icon's size. Icons are never scaled: they are drawn at
// their own size at the top-left corner of the rectangle, and pixels their
// mask or alpha leaves transparent keep what the target had.
class TIcon final : public TGraphic {
public:
    const char* ClassName() const noexcept override { return "TIcon"; }
    // Checks only the length and the type; entries are looked at when drawn.
    void LoadFromStream(QIODevice& file) override;
    // The made icon's size; the standard icon size before it is made.
    int Width() const override;
    int Height() const override;
    bool Empty() const override { return bytes_.isEmpty() && image_.isNull(); }
    // Makes the icon on the first call; a damaged entry raises
    // EInvalidGraphic on every draw until another file is loaded.
    void Draw(TCanvas& canvas, const TRect& rect) override;

private:
    void Make();

    QByteArray bytes_;
    // Non-premultiplied ARGB; null until made.
    QImage image_;
    int width_ = 0;
    int height_ = 0;
};
