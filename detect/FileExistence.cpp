#include "FileExistence.h"

#include <QDate>
#include <QDateTime>

#include "NativeFiles.h"

namespace orvelle {

namespace {

// The packed date-time keeps the year as an offset from 1980 in seven bits.
constexpr int kFirstPackedYear = 1980;
constexpr int kLastPackedYear = kFirstPackedYear + 127;

} // namespace

bool FileExists(const QString& path)
{
    // The status is that of a symbolic link's target, so a broken link does
    // not exist and a link to a folder is a folder.
    const std::optional<FileStatus> entry = StatusOf(path);
    if (!entry || entry->kind == EntryKind::Folder)
        return false;
    // Every second of a fitting year can be packed (an odd one is rounded
    // down), so only the year decides.
    const QDateTime written = entry->lastWrite;
    if (!written.isValid())
        return false;
    const int year = written.date().year();
    return year >= kFirstPackedYear && year <= kLastPackedYear;
}

} // namespace orvelle
