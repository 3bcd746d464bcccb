#pragma once

#include <QFont>

namespace orvelle {

// The windows name the classic Japanese Windows faces ("ＭＳ Ｐゴシック",
// "ＭＳ 明朝"). Where those are missing, the IPA faces stand in for them.
void RegisterFontSubstitutes();

// "ＭＳ Ｐゴシック" at a size in pixels: the face of every window.
QFont FormFont(int pixelSize = 12);

} // namespace orvelle
