#pragma once

#include <cstdint>

#include <QStringView>

namespace orvelle {

// The picture fonts whose codes stand for signs rather than letters.
enum class SymbolSet : std::uint8_t {
    None,       // a text font
    Symbol,     // Greek letters and mathematical signs
    Wingdings,
    Wingdings2,
    Wingdings3,
    Webdings,
    Unmapped,   // a symbol-charset face whose signs we cannot name
};

// The character set a logical font names for picture fonts.
inline constexpr std::uint8_t kSymbolCharSet = 2;

// Which signs a logical font draws. A known picture family is known by its
// name whatever character set the file gives it; another face asking for
// the symbol character set is Unmapped unless the system has it under its
// own name.
SymbolSet SymbolSetOf(QStringView faceName, std::uint8_t charSet);

// The Unicode sign a code of the set stands for; 0 where the font leaves
// the code empty. Codes may come as bytes or, as Windows writes symbol
// text in UTF-16, at U+F020..U+F0FF.
char32_t SymbolSign(SymbolSet set, char32_t code);

// The installed family that draws the mapped signs.
inline constexpr QStringView kSignFamily = u"Symbola";

} // namespace orvelle
