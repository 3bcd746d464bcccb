#pragma once

#include <QString>

namespace orvelle {

// A signed 32-bit integer typed or stored as text: optional blanks, an
// optional sign, then decimal digits, or "$" and up to 32 bits of hexadecimal
// (wrapping into the signed range, so "$FFFFFFFF" is -1). Any other text,
// the empty one included, gives def.
int StrToIntDef(const QString& text, int def);

// The INI files' integers: "0x1E" is hexadecimal too, otherwise as
// StrToIntDef.
int ParseIniInteger(const QString& text, int def);

} // namespace orvelle
