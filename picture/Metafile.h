#pragma once

#include "Graphic.h"

class TMetafile final : public TGraphic {
public:
    const char* ClassName() const noexcept override { return "TMetafile"; }
    void LoadFromStream(QIODevice& file) override;
    int Width() const override { return 0; }
    int Height() const override { return 0; }
    bool Empty() const override { return true; }
    void Draw(TCanvas& canvas, const TRect& rect) override;
};
