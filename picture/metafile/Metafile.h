#pragma once

#include <cstdint>

#include <QByteArray>

#include "EmfHeader.h"
#include "Graphic.h"

namespace orvelle {

// The screen's logical pixels per inch (vertical), which placeable WMF
// pictures are measured with. Set once at start-up by a program with a
// screen; 96 until then, as on a machine without one.
void SetScreenPixelsPerInch(int pixelsPerInch);
int ScreenPixelsPerInch();

} // namespace orvelle

// A vector picture from an EMF or a placeable WMF file; the content, not the
// extension, decides which of the two is read.
class TMetafile final : public TGraphic {
public:
    const char* ClassName() const noexcept override { return "TMetafile"; }
    void LoadFromStream(QIODevice& file) override;
    int Width() const override;
    int Height() const override;
    bool Empty() const override { return emf_.isEmpty() && wmf_.isEmpty(); }
    void Draw(TCanvas& canvas, const TRect& rect) override;

    // The frame size in hundredths of a millimetre.
    int FrameWidth() const noexcept { return frameWidth_; }
    int FrameHeight() const noexcept { return frameHeight_; }
    // The units per inch of a placeable WMF header; 0 for an EMF file.
    int UnitsPerInch() const noexcept { return unitsPerInch_; }
    bool Enhanced() const noexcept { return enhanced_; }

private:
    void LoadEnhanced(const QByteArray& data);
    void LoadPlaceable(const QByteArray& data);

    // The whole enhanced metafile (for a Windows metafile, its translation)
    // and the records of a Windows metafile after its placeable header.
    QByteArray emf_;
    QByteArray wmf_;
    orvelle::EmfHeader header_{};
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    int unitsPerInch_ = 0;
    bool enhanced_ = false;
};
