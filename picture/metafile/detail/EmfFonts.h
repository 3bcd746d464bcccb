#pragma once

#include <cstdint>

#include <QByteArrayView>
#include <QString>

namespace orvelle {

// Character sets of a logical font that change how 8-bit text is read.
inline constexpr std::uint8_t kShiftJisCharSet = 128;

// The installed family a metafile's face name is drawn with. Windows
// families map onto metric-compatible free fonts, so a picture draws the
// same on every machine; a face the table does not know falls back by its
// pitch-and-family bits and its character set.
QString SubstituteFontFamily(const QString& faceName, std::uint8_t pitchAndFamily,
                             std::uint8_t charSet);

// The code page 8-bit text in a font of this character set is written in.
const char* CodePageOf(std::uint8_t charSet);

// 8-bit text of a font's character set as Unicode; Latin-1 where Qt has no
// converter for the code page.
QString DecodeCharSetText(QByteArrayView bytes, std::uint8_t charSet);

} // namespace orvelle
