#pragma once

#include <QString>

namespace orvelle {

// True when both files have the same size and the same bytes. Path1 is
// opened first, each open is exclusive for the comparison's duration: the
// same file reached under a second name (a hard link, another spelling) is
// refused like a file opened elsewhere, with EFOpenError naming Path2.
bool FilesIdentical(const QString& Path1, const QString& Path2);

} // namespace orvelle
