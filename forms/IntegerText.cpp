#include "IntegerText.h"

#include <cstdint>

namespace orvelle {

namespace {

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

// Hexadecimal digits only, at least one, value within 32 bits (leading zeros
// do not count against that).
bool ParseHex(QStringView digits, std::uint32_t& value)
{
    if (digits.isEmpty())
        return false;
    std::uint64_t v = 0;
    for (const QChar c : digits) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        v = v * 16 + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFu)
            return false;
    }
    value = static_cast<std::uint32_t>(v);
    return true;
}

// Decimal digits only, at least one, magnitude up to limit.
bool ParseDecimal(QStringView digits, std::uint64_t limit, std::uint64_t& value)
{
    if (digits.isEmpty())
        return false;
    std::uint64_t v = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + static_cast<std::uint64_t>(c.unicode() - u'0');
        if (v > limit)
            return false;
    }
    value = v;
    return true;
}

} // namespace

int ParseIniInteger(const QString& text, int def)
{
    std::uint32_t hex = 0;
    if (text.size() > 2 && text.at(0) == u'0' && (text.at(1) == u'x' || text.at(1) == u'X'))
        return ParseHex(QStringView(text).mid(2), hex) ? static_cast<std::int32_t>(hex) : def;
    return StrToIntDef(text, def);
}

int StrToIntDef(const QString& text, int def)
{
    std::uint32_t hex = 0;
    QStringView rest(text);
    while (!rest.isEmpty() && (rest.front() == u' ' || rest.front() == u'\t'))
        rest = rest.mid(1);
    bool negative = false;
    if (!rest.isEmpty() && (rest.front() == u'-' || rest.front() == u'+')) {
        negative = rest.front() == u'-';
        rest = rest.mid(1);
    }

    if (!rest.isEmpty() && rest.front() == u'$') {
        if (!ParseHex(rest.mid(1), hex))
            return def;
        // Unsigned arithmetic wraps, so "-$1" and "$FFFFFFFF" both give -1.
        return static_cast<std::int32_t>(negative ? 0u - hex : hex);
    }

    const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
    std::uint64_t magnitude = 0;
    if (!ParseDecimal(rest, limit, magnitude))
        return def;
    const std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<int>(value);
}

} // namespace orvelle
