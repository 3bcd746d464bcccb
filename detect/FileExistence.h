#pragma once

#include <QString>

namespace orvelle {

// True for an existing entry that is not a folder and whose last-write time,
// as local time, fits the packed date-time format (years 1980 to 2107, seconds
// in steps of two). Follows symbolic links.
bool FileExists(const QString& path);

} // namespace orvelle
