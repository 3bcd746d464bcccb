#pragma once

namespace orvelle {

// The windows name the classic Japanese Windows faces ("ＭＳ Ｐゴシック",
// "ＭＳ 明朝"). Where those are missing, the IPA faces stand in for them.
void RegisterFontSubstitutes();

} // namespace orvelle
