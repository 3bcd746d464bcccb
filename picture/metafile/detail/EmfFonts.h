#pragma once

#include <cstdint>

#include <QByteArrayView>
#include <QFont>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

namespace orvelle {

// Character sets of a logical font that change how 8-bit text is read.
inline constexpr std::uint8_t kShiftJisCharSet = 128;

// The installed family a metafile's face name is drawn with. Windows
// families map onto metric-compatible free fonts, so a picture draws the
// same on every machine; a face the table does not know falls back by its
// pitch-and-family bits and its character set.
QString SubstituteFontFamily(const QString& faceName, std::uint8_t pitchAndFamily,
                             std::uint8_t charSet);

// Which bytes of a code page lead a two-byte character.
enum class DoubleByte : std::uint8_t { None, ShiftJis, Wide, Johab };

// The code page 8-bit text in a font is written in: its converter's name
// (null where there is none) and its double-byte rule.
struct CodePage {
    const char* name;
    DoubleByte doubleByte;
};

// The code page of a font's character set; the face tells which one the
// default character set stood for.
CodePage CodePageOf(std::uint8_t charSet, QStringView faceName);

bool LeadsTwoBytes(DoubleByte kind, std::uint8_t b);

// A stateless decoder for the code page; Latin-1 where Qt has no
// converter for it.
QStringDecoder DecoderOf(const CodePage& page);

// 8-bit text of a font's character set as Unicode.
QString DecodeCharSetText(QByteArrayView bytes, std::uint8_t charSet, QStringView faceName);

// The average character width a logical font's width is measured against,
// as Windows figures it for the fonts our substitutes stand in for.
double AverageCharWidth(const QFont& font);

} // namespace orvelle
