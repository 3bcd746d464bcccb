#pragma once

#include <QString>
#include <QStringList>

namespace orvelle {

// Where a fresh installation starts. The window and the command-line tool
// both take these, so that the two compare alike out of the box.

// The fuzzy tolerances: the largest share of deviating pixels, in percent,
// and the largest distance from the base ratio, in points.
inline constexpr int kDefaultErrCount = 25;
inline constexpr int kDefaultErrClr = 25;

// The patterns of a fresh extension list, all ticked, in this order.
inline QStringList DefaultExtensionPatterns()
{
    return {QStringLiteral("*.bmp"), QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"),
            QStringLiteral("*.emf"), QStringLiteral("*.wmf")};
}

} // namespace orvelle
