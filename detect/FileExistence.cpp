#include "FileExistence.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>

namespace orvelle {

namespace {

// The packed date-time keeps the year as an offset from 1980 in seven bits.
constexpr int kFirstPackedYear = 1980;
constexpr int kLastPackedYear = kFirstPackedYear + 127;

} // namespace

bool FileExists(const QString& path)
{
    // QFileInfo reports on the target of a symbolic link, so a broken link
    // does not exist and a link to a folder is a folder.
    const QFileInfo entry(path);
    if (!entry.exists() || entry.isDir())
        return false;
    // Every second of a fitting year can be packed (an odd one is rounded
    // down), so only the year decides.
    const QDateTime written = entry.lastModified().toLocalTime();
    if (!written.isValid())
        return false;
    const int year = written.date().year();
    return year >= kFirstPackedYear && year <= kLastPackedYear;
}

} // namespace orvelle
